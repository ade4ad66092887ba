#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "support/named_values.h"
#include "ui/messages.h"

namespace {

using x9::MessageText;

TEST(Catalogue, EveryTextHasItsByteCount) {
  constexpr size_t kBytes[x9::kMessageCount] = {19,  33, 25,  27, 33, 25, 27, 62, 66,
                                                56,  75, 106, 33, 27, 65, 61, 26, 62,
                                                155, 19, 76,  54, 36, 38, 36, 63, 65};
  for (x9::MessageId id = 0; id < x9::kMessageCount; ++id) {
    EXPECT_EQ(std::strlen(MessageText(id)), kBytes[id]) << "message " << id;
  }
}

TEST(Catalogue, TextsAreShiftJisBytes) {
  // "メモリが足りません."
  EXPECT_STREQ(MessageText(x9::kMsgOutOfMemory),
               "\x83\x81\x83\x82\x83\x8a\x82\xaa\x91\xab\x82\xe8\x82\xdc\x82\xb9\x82\xf1.");
  // "必要なDLLが見つかりません."
  EXPECT_STREQ(MessageText(x9::kMsgDllMissing),
               "\x95\x4b\x97\x76\x82\xc8"
               "DLL"
               "\x82\xaa\x8c\xa9\x82\xc2\x82\xa9\x82\xe8\x82\xdc\x82\xb9\x82\xf1.");
  // Kept as the watch maker spells it here.
  EXPECT_NE(std::strstr(MessageText(x9::kMsgNoWatch), " SUNNTO "), nullptr);
  EXPECT_EQ(std::string(MessageText(x9::kMsgConnectionLost)).rfind("SUUNTO ", 0), 0u);
  EXPECT_NE(std::strstr(MessageText(x9::kMsgStartWaypointDownload), "(MyPoints)"), nullptr);
}

TEST(Catalogue, LineStructure) {
  const std::string watchFull = MessageText(x9test::kMsgWatchFull);
  const std::string notForThisGps = MessageText(x9::kMsgNotForThisGps);
  const std::string connectionLost = MessageText(x9::kMsgConnectionLost);
  EXPECT_EQ(watchFull.back(), '\n');
  EXPECT_EQ(notForThisGps.back(), '\n');
  EXPECT_NE(connectionLost.find("\n\n"), std::string::npos);
  EXPECT_EQ(std::string(MessageText(x9test::kMsgTooManyRoutePoints)).substr(72), "\n%s");
  EXPECT_NE(std::string(MessageText(x9::kMsgCannotUploadMyPoints)).find('\n'), std::string::npos);
}

TEST(Catalogue, LargerValuesAreTheCallersOwnText) {
  EXPECT_EQ(reinterpret_cast<uintptr_t>(MessageText(x9::kMessageCount)), x9::kMessageCount);
  static const char own[] = "own text";
  EXPECT_EQ(MessageText(reinterpret_cast<x9::MessageId>(own)), own);
  EXPECT_NE(MessageText(x9::kMsgNotImplemented), nullptr);
  EXPECT_EQ(std::strlen(MessageText(x9::kMsgNotImplemented)), 65u);
}

TEST(Catalogue, TooOldHostText) {
  EXPECT_EQ(std::strlen(x9::kTooOldHostText), 78u);
  EXPECT_EQ(std::string(x9::kTooOldHostText).substr(0, 7), "SUUNTO ");
  EXPECT_NE(std::string(x9::kTooOldHostText).find("\nTirvane"), std::string::npos);
}

}  // namespace
