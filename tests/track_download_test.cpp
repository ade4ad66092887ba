#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "device/device_api.h"
#include "host/convert.h"
#include "support/record_expectations.h"
#include "support/sim_fixture.h"
#include "transfer/allocation.h"
#include "transfer/dispatcher.h"
#include "transfer/transfer_steps.h"
#include "ui/messages.h"

namespace {

using x9test::AddTrack;
using x9test::MakeTrackPoint;

class TrackDownloadTest : public x9test::SimFixture {
 protected:
  // Runs a track request, answering its question Yes, and checks what every request must hold.
  long Download() {
    const long result = Request(x9::kFlagDownloadTracks);
    EXPECT_TRUE(WatchLibraryReleased());
    EXPECT_EQ(Refreshes(), std::vector<unsigned>{x9::kListTracks});
    return result;
  }
  std::vector<int> Positions() const { return ui.windows.at(0).positions; }
};

TEST_F(TrackDownloadTest, ConvertsEveryFieldOfATrackPoint) {
  const x9::TrackPoint point =
      MakeTrackPoint(2005, 1, 1, 0, 0, 0, -900000000, 1800000000, -12, -1, 65535);
  x9::TrackHeader header{};
  header.pointCount = 1;
  X9Watch_AddTrack(&header, &point, 1);

  EXPECT_EQ(Download(), 1);
  ASSERT_EQ(X9Host_GetSetCount(), 2);
  // A new track set, named after the track's number, whose items follow it.
  EXPECT_TRUE(
      x9test::SameSetHeader(*X9Host_GetSet(1), x9::NewSetHeader("Segment: 1", x9::kListTracks)));

  ASSERT_EQ(X9Host_ItemCount(1), 1);
  tagGPSDBITEM expected = x9::NewItem(x9::kListTracks);
  expected.name = "No. 1";
  expected.latitude = -90.0;
  expected.longitude = 180.0;
  expected.altitude = -12.0;
  expected.value32 = 655350.0;  // unsigned 16 bits, times ten
  expected.time = 1104537600;   // the wall clock, in any zone
  expected.value72 = -1.0f;     // signed 32 bits, single precision
  EXPECT_TRUE(x9test::SameItem(*X9Host_Item(1, 0), expected));
}

TEST_F(TrackDownloadTest, EmptyTracksGetNoSetAndLeaveGapsInTheNumbering) {
  AddTrack(3);
  AddTrack(0);
  AddTrack(2);
  EXPECT_EQ(Download(), 1);
  ASSERT_EQ(X9Host_GetSetCount(), 3);
  EXPECT_STREQ(X9Host_GetSet(1)->name, "Segment: 1");
  EXPECT_STREQ(X9Host_GetSet(2)->name, "Segment: 3");
  EXPECT_EQ(HostItemNames(1), (std::vector<std::string>{"No. 1", "No. 2", "No. 3"}));
  EXPECT_EQ(HostItemNames(2), (std::vector<std::string>{"No. 1", "No. 2"}));
  // The empty track's points are never asked for.
  EXPECT_EQ(WatchLog(),
            (std::vector<std::string>{"SearchOnPorts", "GetTrackCount", "GetTrackHeader 1",
                                      "GetTrackHeader 2", "GetTrackHeader 3", "GetTrackPoints 1",
                                      "GetTrackPoints 3"}));
  // Points arrive in the watch's order, each track's from its own records.
  EXPECT_EQ(X9Host_Item(2, 1)->latitude, x9::DegreesFromDevice(X9Watch_TrackPoints(3)[1].latitude));
}

TEST_F(TrackDownloadTest, ProgressOfFourTracks) {
  for (int i = 0; i < 4; ++i)
    AddTrack(2);
  EXPECT_EQ(Download(), 1);
  EXPECT_EQ(Positions(), (std::vector<int>{0, 0, 2, 5, 7, 10, 32, 55, 77, 100}));
  EXPECT_EQ(ui.windows[0].message, x9::MessageText(x9::kMsgDownloadingTracks));
  EXPECT_TRUE(ui.windows[0].abortEnabled);
  EXPECT_EQ(Pumps(), 8);
}

TEST_F(TrackDownloadTest, ProgressOfOneTrack) {
  AddTrack(5);
  EXPECT_EQ(Download(), 1);
  EXPECT_EQ(Positions(), (std::vector<int>{0, 0, 10, 100}));
}

TEST_F(TrackDownloadTest, NoTracksShowsConnectionLostButSucceeds) {
  EXPECT_EQ(Download(), 1);
  EXPECT_EQ(x9test::BoxTexts(ui),
            (std::vector<std::string>{x9::MessageText(x9::kMsgStartTrackDownload),
                                      x9::MessageText(x9::kMsgConnectionLost)}));
  EXPECT_EQ(ui.boxes[1].style, x9::kStyleExclamation);
  EXPECT_TRUE(ui.boxes[1].progressWindowOpen);
  EXPECT_EQ(X9Host_GetSetCount(), 1);
}

TEST_F(TrackDownloadTest, AllTracksEmptyReadsNoPointsAndStillReaches100) {
  AddTrack(0);
  AddTrack(0);
  EXPECT_EQ(Download(), 1);
  EXPECT_EQ(ui.boxes.size(), 1u);  // the question only
  EXPECT_EQ(X9Watch_CallCount("GetTrackPoints"), 0);
  EXPECT_EQ(X9Host_GetSetCount(), 1);
  EXPECT_EQ(Positions().back(), 100);
}

TEST_F(TrackDownloadTest, AThousandPointsKeepTheirOrder) {
  AddTrack(1000);
  EXPECT_EQ(Download(), 1);
  ASSERT_EQ(X9Host_ItemCount(1), 1000);
  for (int i = 0; i < 1000; ++i) {
    ASSERT_EQ(std::string(X9Host_Item(1, i)->name), "No. " + std::to_string(i + 1));
    ASSERT_EQ(X9Host_Item(1, i)->latitude,
              x9::DegreesFromDevice(X9Watch_TrackPoints(1)[i].latitude));
  }
}

// One example; reliability/fault_sweep_test.cpp fails every device call, presses Abort at every
// pump and fails every working buffer of a track download in turn.
TEST_F(TrackDownloadTest, AFailedPointReadLeavesTheHostListAsItWas) {
  AddTrack(4);
  AddTrack(2);
  AddTrack(3);
  const std::string before = X9HostDumpString();
  X9Watch_SetResult("GetTrackPoints", 3, x9::kDeviceFailure);  // the last track's points
  EXPECT_EQ(Download(), 0);
  EXPECT_EQ(X9HostDumpString(), before);
  EXPECT_EQ(x9test::BoxTexts(ui),
            (std::vector<std::string>{x9::MessageText(x9::kMsgStartTrackDownload),
                                      x9::MessageText(x9::kMsgConnectionLost)}));
  EXPECT_EQ(ui.boxes[1].style, x9::kStyleExclamation);
  EXPECT_TRUE(ui.boxes[1].progressWindowOpen);
}

TEST_F(TrackDownloadTest, PointCountsTooLargeForMemoryAreAMemoryFailure) {
  AddTrack(0, std::numeric_limits<int32_t>::max());
  AddTrack(0, std::numeric_limits<int32_t>::max());
  EXPECT_EQ(Download(), 0);
  ASSERT_EQ(ui.boxes.size(), 2u);
  EXPECT_EQ(ui.boxes[1].text, x9::MessageText(x9::kMsgOutOfMemory));
  EXPECT_EQ(X9Watch_CallCount("GetTrackPoints"), 0);
  EXPECT_EQ(X9Host_GetSetCount(), 1);
}

TEST_F(TrackDownloadTest, GivesTheWatch100MillisecondsAfterOpeningTheWindow) {
  x9::g_settleMilliseconds = 100;
  AddTrack(1);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Download(), 1);
  // A little slack: the sleep and the clock may round differently, never by a tenth.
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(90));
}

TEST_F(TrackDownloadTest, RunsWithoutAProgressWindowWhenNoneCanBeMade) {
  ui.failWindowCreation = true;
  AddTrack(2);
  EXPECT_EQ(Download(), 1);
  EXPECT_EQ(X9Host_ItemCount(1), 2);
  EXPECT_EQ(Pumps(), 2);
}

// The points' names live in one buffer sized exactly for them: at the counts where a name gains
// a digit, each name the host is handed lies whole, terminator included, within a working buffer
// of the transfer, reads as its number and keeps reading so until the transfer ends.
class PointNameBufferTest : public TrackDownloadTest, public ::testing::WithParamInterface<int> {};

TEST_P(PointNameBufferTest, EveryNameLiesWholeWithinTheBuffer) {
  const int count = GetParam();
  AddTrack(count);
  AddTrack(1);
  struct Check {
    int items = 0;
    std::vector<std::string> outside;
    std::vector<const char*> handed;  // every name text handed over so far
    std::vector<std::string> read;    // what each read when it was handed
    int changed = 0;                  // texts that no longer read so while the transfer runs
  } check;
  X9Host_SetCallHook(
      [](const char* line, const void* record, void* context) {
        if (std::string(line).rfind("TPI_AddDataItemGpsProtocol", 0) != 0) return;
        auto* c = static_cast<Check*>(context);
        ++c->items;
        const char* name = static_cast<const tagGPSDBITEM*>(record)->name;
        if (!x9::AllocationControl::Holds(name, std::strlen(name) + 1)) c->outside.push_back(name);
        // Item texts live until the transfer ends: each one keeps its own.
        c->handed.push_back(name);
        c->read.push_back(name);
        for (size_t i = 0; i < c->handed.size(); ++i)
          c->changed += c->read[i] != c->handed[i] ? 1 : 0;
      },
      &check);
  EXPECT_EQ(Download(), 1);
  X9Host_SetCallHook(nullptr, nullptr);
  EXPECT_EQ(check.items, count + 1);
  EXPECT_EQ(check.outside, std::vector<std::string>{});
  EXPECT_EQ(check.changed, 0) << "a name text was reused while the transfer ran";
  ASSERT_EQ(X9Host_ItemCount(1), count);
  EXPECT_STREQ(X9Host_Item(1, count - 1)->name, ("No. " + std::to_string(count)).c_str());
  EXPECT_STREQ(X9Host_Item(2, 0)->name, "No. 1");
}

INSTANTIATE_TEST_SUITE_P(TrackDownloadTest, PointNameBufferTest,
                         ::testing::Values(9, 10, 11, 99, 100, 101, 999, 1000, 1001),
                         [](const ::testing::TestParamInfo<int>& info) {
                           return "Points" + std::to_string(info.param);
                         });

}  // namespace
