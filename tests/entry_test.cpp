#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "host/convert.h"
#include "plugin/exports.h"
#include "support/named_values.h"
#include "support/sim_fixture.h"
#include "transfer/dispatcher.h"
#include "ui/messages.h"

namespace {

class EntryTest : public x9test::SimFixture {};

void SetZone(const char* tz) {
#if defined(_WIN32)
  _putenv((std::string("TZ=") + tz).c_str());
#else
  setenv("TZ", tz, 1);
#endif
}

TEST_F(EntryTest, RefusesAnOlderHostAndLeavesTheRecordAlone) {
  X9Host_SetVersion(x9test::kOldestHostVersion - 1);
  PluginInfo info;
  std::memset(&info, 0xAB, sizeof info);
  EXPECT_EQ(Init(&info, 77), 0);
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].text, x9::kTooOldHostText);
  EXPECT_EQ(ui.boxes[0].style, x9::kStyleInformation);
  const unsigned char* bytes = reinterpret_cast<const unsigned char*>(&info);
  for (size_t i = 0; i < sizeof info; ++i)
    ASSERT_EQ(bytes[i], 0xAB) << i;
}

TEST_F(EntryTest, FillsTheIdentificationRecordByteForByte) {
  X9Host_SetVersion(x9test::kOldestHostVersion);
  PluginInfo info;
  std::memset(&info, 0xAB, sizeof info);
  EXPECT_EQ(Init(&info, 77), 1);
  EXPECT_TRUE(ui.boxes.empty());
  const char* bytes = reinterpret_cast<const char*>(&info);
  EXPECT_EQ(info.size, sizeof info);
  EXPECT_EQ(std::string(bytes + 4, 22), "SUUNTO Protocol Plugin");
  EXPECT_EQ(bytes[26], '\0');
  EXPECT_STREQ(bytes + 84, "0.1.0");
  const size_t noticeLength = std::strlen(bytes + 114);
  EXPECT_GT(noticeLength, 0u);
  EXPECT_LT(noticeLength, 162u);
  EXPECT_EQ(std::string(bytes + 114, noticeLength).find('\n'), std::string::npos);  // one line
  // Every byte after each text, up to the next field, is zero; so is offset 276.
  for (size_t i = 26; i < 84; ++i)
    ASSERT_EQ(bytes[i], 0) << i;
  for (size_t i = 89; i < 114; ++i)
    ASSERT_EQ(bytes[i], 0) << i;
  for (size_t i = 114 + noticeLength; i < sizeof info; ++i)
    ASSERT_EQ(bytes[i], 0) << i;
}

TEST_F(EntryTest, CapturesTheZoneOffsetAndTheDaylightAdjustment) {
  PluginInfo info;
  SetZone("JST-9");
  ASSERT_EQ(Init(&info, 1), 1);
  EXPECT_EQ(x9::g_clockAdjust.zoneOffset, -32400);
  EXPECT_EQ(x9::g_clockAdjust.daylightAdjust, 0);
#if !defined(_WIN32)
  SetZone("Europe/Berlin");
  ASSERT_EQ(Init(&info, 1), 1);
  EXPECT_EQ(x9::g_clockAdjust.zoneOffset, -3600);
  EXPECT_EQ(x9::g_clockAdjust.daylightAdjust, -3600);
#endif
  SetZone("JST-9");
  Init(&info, 1);
}

TEST_F(EntryTest, AboutShowsVersionAndNotice) {
  PluginInfo info;
  ASSERT_EQ(Init(&info, 1), 1);
  ui.boxes.clear();
  EXPECT_EQ(About(), x9::kAnswerOk);
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].text, std::string("SUUNTO Protocol Plugin [Ver 0.1.0] ") + info.notice);
  EXPECT_EQ(ui.boxes[0].style, x9::kStyleInformation);
  EXPECT_EQ(ui.owners.back(), X9Host_Window());
  EXPECT_EQ(Close(), 1);
  Release();
}

TEST_F(EntryTest, LoadRegistersTheProtocolWithTheIdInitWasGiven) {
  PluginInfo info;
  ASSERT_EQ(Init(&info, 0x1234), 1);
  EXPECT_EQ(Load(), 1);
  EXPECT_STREQ(X9Host_ProtocolName(), x9::kProtocolName);
  EXPECT_EQ(X9Host_ProtocolPluginId(), 0x1234u);
  EXPECT_EQ(X9Host_Callback(), &TransferCallback);
  const tagGPSPROTOCOLINFO* record = X9Host_ProtocolInfo();
  ASSERT_NE(record, nullptr);
  const char* bytes = reinterpret_cast<const char*>(record);
  EXPECT_EQ(record->size, sizeof *record);
  EXPECT_EQ(std::string(bytes + 4, 8), "NORMAL  ");
  const uint32_t expected[15] = {1, 1, 1, 1, 0, 0, 20, 500, 20, 50, 50, 8, 25, 8000, 0};
  for (int i = 0; i < 15; ++i) {
    uint32_t value;
    std::memcpy(&value, bytes + 12 + 4 * i, 4);
    EXPECT_EQ(value, expected[i]) << "offset " << 12 + 4 * i;
  }
}

}  // namespace
