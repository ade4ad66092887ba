// The rules of code page 932 text: the watch's 20-byte name fields cut on a character boundary,
// and the comparisons of names.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "device/path.h"
#include "text/cp932.h"

namespace {

using namespace x9;

TEST(DeviceNames, CutAtNineteenBytesNeverSplittingACharacter) {
  char field[20];
  std::memset(field, 'x', sizeof field);
  CopyNameToDevice(field, "ABCDEFGHIJKLMNOPQRSTUVWXY");  // 25 bytes
  EXPECT_EQ(std::string(field, 20), std::string("ABCDEFGHIJKLMNOPQRS") + '\0');

  CopyNameToDevice(field, "Short");
  EXPECT_EQ(std::string(field, 20), std::string("Short") + std::string(15, '\0'));

  // 18 ASCII bytes and a double-byte character: the character would straddle the cut.
  CopyNameToDevice(field, "ABCDEFGHIJKLMNOPQR\x83\x41");
  EXPECT_EQ(std::string(field), "ABCDEFGHIJKLMNOPQR");
  // 17 ASCII bytes and the same character: it fits exactly.
  CopyNameToDevice(field, "ABCDEFGHIJKLMNOPQ\x83\x41Z");
  EXPECT_EQ(std::string(field), "ABCDEFGHIJKLMNOPQ\x83\x41");
  // Half-width katakana are single bytes.
  CopyNameToDevice(
      field, "\xb1\xb2\xb3\xb4\xb5\xb6\xb7\xb8\xb9\xba\xbb\xbc\xbd\xbe\xbf\xc0\xc1\xc2\xc3\xc4");
  EXPECT_EQ(std::strlen(field), 19u);

  CopyNameToDevice(field, nullptr);
  EXPECT_EQ(std::string(field, 20), std::string(20, '\0'));
}

TEST(DeviceNames, UnterminatedFieldsFromTheWatchAreCutInPlace) {
  char field[20];
  std::memcpy(field, "ABCDEFGHIJKLMNOPQRST", 20);
  TerminateDeviceName(field);
  EXPECT_EQ(std::string(field), "ABCDEFGHIJKLMNOPQRS");

  std::memcpy(field, "ABCDEFGHIJKLMNOPQR\x88\x9f", 20);  // lead byte at the 19th position
  TerminateDeviceName(field);
  EXPECT_EQ(std::string(field), "ABCDEFGHIJKLMNOPQR");

  // A terminated field stays as the watch wrote it.
  std::memcpy(field, "ABCDEFGHIJKLMNOPQR\x88", 19);
  field[19] = '\0';
  TerminateDeviceName(field);
  EXPECT_EQ(std::strlen(field), 19u);
}

TEST(NameComparison, MyPointsIsTheWholeNameIgnoringAsciiCase) {
  EXPECT_TRUE(IsMyPointsName("MYPOINTS"));
  EXPECT_TRUE(IsMyPointsName("MyPoints"));
  EXPECT_TRUE(IsMyPointsName("mypoints"));
  EXPECT_FALSE(IsMyPointsName("MYPOINTS2"));
  EXPECT_FALSE(IsMyPointsName("MYPOINT"));
  EXPECT_FALSE(IsMyPointsName(""));
  EXPECT_FALSE(IsMyPointsName(nullptr));
}

TEST(NameComparison, Cp932ComparesDoubleByteCharactersExactly) {
  EXPECT_TRUE(EqualsCp932IgnoringCase("Alpha", "ALPHA"));
  EXPECT_TRUE(EqualsCp932IgnoringCase("\x83\x41x", "\x83\x41X"));
  // Trail bytes 'A' (0x41) and 'a' (0x61) belong to different characters.
  EXPECT_FALSE(EqualsCp932IgnoringCase("\x83\x41", "\x83\x61"));
  EXPECT_FALSE(EqualsCp932IgnoringCase("\x83\x41", "\x83"));
  EXPECT_FALSE(EqualsCp932IgnoringCase("Alpha", "Alphab"));
  EXPECT_TRUE(EqualsCp932IgnoringCase("", nullptr));
  // Half-width katakana are single bytes and are not folded.
  EXPECT_FALSE(EqualsCp932IgnoringCase("\xb1", "\xd1"));
}

}  // namespace

namespace {

using namespace x9;

// The boundaries of the lead-byte ranges, each seen through every rule that walks characters:
// the backslash test, the 19-byte cut and the same-name comparison.
struct LeadByteCase {
  unsigned char byte;
  bool lead;
};

class LeadByteBoundaryTest : public ::testing::TestWithParam<LeadByteCase> {};

TEST_P(LeadByteBoundaryTest, EveryRuleAgreesOnWhatStartsACharacter) {
  const char b = static_cast<char>(GetParam().byte);
  const bool lead = GetParam().lead;
  EXPECT_EQ(IsLeadByte(GetParam().byte), lead);
  // A trail byte 0x5C is no backslash.
  EXPECT_EQ(EndsWithSeparator((std::string(1, b) + "\\").c_str(), '\\'), !lead);
  // 18 bytes, then the byte as the 19th of a longer name: cut before it only when it is a lead.
  const std::string name = std::string(18, 'A') + b + "B";
  EXPECT_EQ(DeviceNameLength(name.c_str()), lead ? 18u : 19u);
  // The same byte as the 19th and last: a name of 19 bytes is never shortened.
  EXPECT_EQ(DeviceNameLength((std::string(18, 'A') + b).c_str()), 19u);
  // After a lead byte, 'A' and 'a' are trail bytes of different characters.
  EXPECT_EQ(
      EqualsCp932IgnoringCase((std::string(1, b) + "A").c_str(), (std::string(1, b) + "a").c_str()),
      !lead);
}

INSTANTIATE_TEST_SUITE_P(DeviceNames, LeadByteBoundaryTest,
                         ::testing::Values(LeadByteCase{0x7F, false}, LeadByteCase{0x80, true},
                                           LeadByteCase{0x9F, true}, LeadByteCase{0xA0, false},
                                           LeadByteCase{0xDF, false}, LeadByteCase{0xE0, true},
                                           LeadByteCase{0xFF, true}),
                         [](const ::testing::TestParamInfo<LeadByteCase>& info) {
                           static const char kDigits[] = "0123456789ABCDEF";
                           return std::string("Byte") + kDigits[info.param.byte >> 4] +
                                  kDigits[info.param.byte & 15];
                         });

// Names up to 19 bytes arrive whole, whatever they end in; the cut applies to longer ones only.
TEST(DeviceNames, ANameOfNineteenBytesEndingInALoneLeadByteIsKept) {
  char field[20];
  CopyNameToDevice(field, "ABCDEFGHIJKLMNOPQR\x88");
  EXPECT_EQ(std::string(field, 20), std::string("ABCDEFGHIJKLMNOPQR\x88") + '\0');
  CopyNameToDevice(field, "ABCDEFGHIJKLMNOPQ\x88");  // 18 bytes
  EXPECT_EQ(std::string(field), "ABCDEFGHIJKLMNOPQ\x88");
  // Longer, with the lead byte 19th: its character would be split.
  CopyNameToDevice(field, "ABCDEFGHIJKLMNOPQR\x88\x41");
  EXPECT_EQ(std::string(field), "ABCDEFGHIJKLMNOPQR");
}

}  // namespace
