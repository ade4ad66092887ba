// The one UTF-8 decoder every reader of x9host uses: where each length's code points begin and
// end, and the forms that look like characters but are not (overlong, surrogates, beyond
// U+10FFFF, cut short).
#include <gtest/gtest.h>

#include <string>

#include "codec/utf8.h"
#include "codec/width.h"

namespace {

using x9host::AppendUtf8;
using x9host::DecodeUtf8;
using x9host::Utf8Character;
using x9host::Utf8SequenceLength;
using Status = Utf8Character::Status;

struct Case {
  const char* what;
  std::string bytes;
  Status status;
  uint32_t code;  // kOk only
  size_t length;
};

const Case kCases[] = {
    // Each length's first and last code point.
    {"U+0000", std::string("\0", 1), Status::kOk, 0x0, 1},
    {"U+007F", "\x7F", Status::kOk, 0x7F, 1},
    {"U+0080", "\xC2\x80", Status::kOk, 0x80, 2},
    {"U+07FF", "\xDF\xBF", Status::kOk, 0x7FF, 2},
    {"U+0800", "\xE0\xA0\x80", Status::kOk, 0x800, 3},
    {"U+FFFF", "\xEF\xBF\xBF", Status::kOk, 0xFFFF, 3},
    {"U+10000", "\xF0\x90\x80\x80", Status::kOk, 0x10000, 4},
    {"U+10FFFF", "\xF4\x8F\xBF\xBF", Status::kOk, 0x10FFFF, 4},
    // What follows a character is not part of it.
    {"e-acute then x", "\xC3\xA9x", Status::kOk, 0xE9, 2},
    // Around the surrogates.
    {"U+D7FF", "\xED\x9F\xBF", Status::kOk, 0xD7FF, 3},
    {"U+D800", "\xED\xA0\x80", Status::kInvalid, 0, 3},
    {"U+DFFF", "\xED\xBF\xBF", Status::kInvalid, 0, 3},
    {"U+E000", "\xEE\x80\x80", Status::kOk, 0xE000, 3},
    // Overlong forms, each one short of its length's first code point.
    {"overlong U+0000", "\xC0\x80", Status::kInvalid, 0, 2},
    {"overlong U+007F", "\xC1\xBF", Status::kInvalid, 0, 2},
    {"overlong U+07FF", "\xE0\x9F\xBF", Status::kInvalid, 0, 3},
    {"overlong U+FFFF", "\xF0\x8F\xBF\xBF", Status::kInvalid, 0, 4},
    // Beyond U+10FFFF.
    {"U+110000", "\xF4\x90\x80\x80", Status::kInvalid, 0, 4},
    {"lead F5", "\xF5\x80\x80\x80", Status::kInvalid, 0, 4},
    {"lead FF", "\xFF", Status::kInvalid, 0, 1},
    // Bytes that begin nothing, and characters cut short.
    {"stray continuation", "\x80", Status::kInvalid, 0, 1},
    {"two-byte, text ends", "\xC3", Status::kIncomplete, 0, 1},
    {"three-byte, text ends", "\xE3\x81", Status::kIncomplete, 0, 2},
    {"four-byte, text ends", "\xF0\x9F\x98", Status::kIncomplete, 0, 3},
    {"overlong start, text ends", "\xE0\x80", Status::kInvalid, 0, 2},
    {"two-byte, ASCII next",
     "\xC3"
     "A",
     Status::kInvalid, 0, 1},
    {"three-byte, ASCII third",
     "\xE3\x81"
     "A",
     Status::kInvalid, 0, 2},
};

TEST(X9hostUtf8, DecodesEachFormAsWellFormedUtf8Says) {
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    const Utf8Character character = DecodeUtf8(c.bytes);
    EXPECT_EQ(character.status, c.status);
    EXPECT_EQ(character.length, c.length);
    // A reader steps over a bad sequence as over a character: by the same length.
    EXPECT_EQ(Utf8SequenceLength(c.bytes), c.length);
    if (c.status == Status::kOk) {
      EXPECT_EQ(character.code, c.code);
    }
  }
}

TEST(X9hostUtf8, WritesEveryBoundaryCodePointSoThatItReadsBack) {
  const struct {
    uint32_t code;
    size_t length;
  } kBoundaries[] = {{0x0, 1},    {0x7F, 1},   {0x80, 2},   {0x7FF, 2},   {0x800, 3},
                     {0xD7FF, 3}, {0xE000, 3}, {0xFFFF, 3}, {0x10000, 4}, {0x10FFFF, 4}};
  for (const auto& boundary : kBoundaries) {
    SCOPED_TRACE(boundary.code);
    std::string bytes;
    AppendUtf8(bytes, boundary.code);
    ASSERT_EQ(bytes.size(), boundary.length);
    const Utf8Character back = DecodeUtf8(bytes);
    EXPECT_EQ(back.status, Status::kOk);
    EXPECT_EQ(back.code, boundary.code);
    EXPECT_EQ(back.length, boundary.length);
  }
}

TEST(X9hostUtf8, ASequenceNeverReachesPastTheText) {
  EXPECT_EQ(Utf8SequenceLength(""), 0u);
  EXPECT_EQ(Utf8SequenceLength("\xF0\x9F"), 2u);
  EXPECT_EQ(Utf8SequenceLength("\xF0\x9F\x98\x80\x80"), 4u);  // a fifth continuation is not its own
}

}  // namespace

namespace {

TEST(X9hostDisplayWidth, WideCharactersTakeTwoColumnsSoATableLinesUp) {
  const struct {
    const char* text;
    size_t columns;
  } cases[] = {
      {"", 0},
      {"track", 5},
      {"トラック", 8},  // katakana: wide
      {"ｶﾀｶﾅ", 4},      // half-width katakana: narrow
      {"ＡＢ", 4},      // full-width forms
      {"東京 2", 6},
      {"e\xcc\x81", 1},         // a combining accent takes no column
      {"\xf0\x9f\x97\xbb", 2},  // U+1F5FB, a wide pictograph
      {"\xff", 1},              // a stray byte: one column, as it is shown escaped
  };
  for (const auto& c : cases)
    EXPECT_EQ(x9host::DisplayWidth(c.text), c.columns) << c.text;
  EXPECT_EQ(x9host::PadToWidth("ルート", 9), "ルート   ");
  EXPECT_EQ(x9host::PadLeftToWidth("12", 4), "  12");
  EXPECT_EQ(x9host::PadToWidth("ウェイポイント", 4), "ウェイポイント");
}

}  // namespace
