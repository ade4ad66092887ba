#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "host/convert.h"
#include "support/sim_fixture.h"
#include "transfer/transfer_steps.h"
#include "ui/messages.h"

namespace {

using x9test::AddTrack;
using x9test::MakeTrackPoint;

class TrackDownloadTest : public x9test::SimFixture {
 protected:
  // Runs a track request, answering its question Yes, and checks what every request must hold.
  long Download() {
    const long result = Request(0x02);
    EXPECT_TRUE(WatchLibraryReleased());
    EXPECT_EQ(Refreshes(), std::vector<unsigned>{1});
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
  ASSERT_EQ(X9Host_SetCount(), 2);
  const tagGPSDBHEADER* set = X9Host_Set(1);
  EXPECT_STREQ(set->name, "Segment: 1");
  EXPECT_EQ(set->value8, 1);
  EXPECT_EQ(set->itemCount, 0);
  EXPECT_EQ(set->value16, 0);
  EXPECT_EQ(set->kind, 1);
  EXPECT_EQ(set->value20, 255);
  EXPECT_EQ(set->value24, 2);
  EXPECT_EQ(set->value28, 1);

  ASSERT_EQ(X9Host_ItemCount(1), 1);
  const tagGPSDBITEM* item = X9Host_Item(1, 0);
  EXPECT_EQ(item->size, static_cast<int32_t>(sizeof(tagGPSDBITEM)));
  EXPECT_STREQ(item->name, "No. 1");
  EXPECT_EQ(item->latitude, -90.0);
  EXPECT_EQ(item->longitude, 180.0);
  EXPECT_EQ(item->altitude, -12.0);
  EXPECT_EQ(item->value32, 655350.0);  // unsigned 16 bits, times ten
  EXPECT_EQ(item->value40, -9999.9);
  EXPECT_EQ(item->time, 1104537600);  // the wall clock, in any zone
  EXPECT_EQ(item->kind, 1);
  EXPECT_EQ(item->datum, 0);
  EXPECT_EQ(item->value56, 1);
  EXPECT_EQ(item->value60, 901001);
  EXPECT_EQ(item->ident, nullptr);
  EXPECT_EQ(item->value68, 0);
  EXPECT_EQ(item->value72, -1.0f);  // signed 32 bits, single precision
  EXPECT_EQ(item->value76, 0);
  EXPECT_EQ(item->value92, 2);
}

TEST_F(TrackDownloadTest, EmptyTracksGetNoSetAndLeaveGapsInTheNumbering) {
  AddTrack(3);
  AddTrack(0);
  AddTrack(2);
  EXPECT_EQ(Download(), 1);
  ASSERT_EQ(X9Host_SetCount(), 3);
  EXPECT_STREQ(X9Host_Set(1)->name, "Segment: 1");
  EXPECT_STREQ(X9Host_Set(2)->name, "Segment: 3");
  EXPECT_EQ(HostItemNames(1), (std::vector<std::string>{"No. 1", "No. 2", "No. 3"}));
  EXPECT_EQ(HostItemNames(2), (std::vector<std::string>{"No. 1", "No. 2"}));
  // The empty track's points are never asked for.
  EXPECT_EQ(WatchLog(), (std::vector<std::string>{"SearchOnPorts", "GetTrackCount", "GetTrackHeader 1",
                                                   "GetTrackHeader 2", "GetTrackHeader 3",
                                                   "GetTrackPoints 1", "GetTrackPoints 3"}));
  // Points arrive in the watch's order, each track's from its own records.
  EXPECT_EQ(X9Host_Item(2, 1)->latitude, x9::DegreesFromDevice(X9Watch_TrackPoints(3)[1].latitude));
}

TEST_F(TrackDownloadTest, ProgressOfFourTracks) {
  for (int i = 0; i < 4; ++i) AddTrack(2);
  EXPECT_EQ(Download(), 1);
  EXPECT_EQ(Positions(), (std::vector<int>{0, 0, 2, 5, 7, 10, 32, 55, 77, 100}));
  EXPECT_EQ(ui.windows[0].message, x9::MessageText(3));
  EXPECT_TRUE(ui.windows[0].abortEnabled);
  EXPECT_EQ(Pumps(), 8);
}

TEST_F(TrackDownloadTest, ProgressOfOneTrack) {
  AddTrack(5);
  EXPECT_EQ(Download(), 1);
  EXPECT_EQ(Positions(), (std::vector<int>{0, 0, 10, 100}));
}

TEST_F(TrackDownloadTest, NoTracksShowsMessage18ButSucceeds) {
  EXPECT_EQ(Download(), 1);
  EXPECT_EQ(x9test::BoxTexts(ui), (std::vector<std::string>{x9::MessageText(23), x9::MessageText(18)}));
  EXPECT_EQ(ui.boxes[1].style, 0x30u);
  EXPECT_TRUE(ui.boxes[1].progressWindowOpen);
  EXPECT_EQ(X9Host_SetCount(), 1);
}

TEST_F(TrackDownloadTest, AllTracksEmptyReadsNoPointsAndStillReaches100) {
  AddTrack(0);
  AddTrack(0);
  EXPECT_EQ(Download(), 1);
  EXPECT_EQ(ui.boxes.size(), 1u);  // the question only
  EXPECT_EQ(X9Watch_CallCount("GetTrackPoints"), 0);
  EXPECT_EQ(X9Host_SetCount(), 1);
  EXPECT_EQ(Positions().back(), 100);
}

TEST_F(TrackDownloadTest, AThousandPointsKeepTheirOrder) {
  AddTrack(1000);
  EXPECT_EQ(Download(), 1);
  ASSERT_EQ(X9Host_ItemCount(1), 1000);
  for (int i = 0; i < 1000; ++i) {
    ASSERT_EQ(std::string(X9Host_Item(1, i)->name), "No. " + std::to_string(i + 1));
    ASSERT_EQ(X9Host_Item(1, i)->latitude, x9::DegreesFromDevice(X9Watch_TrackPoints(1)[i].latitude));
  }
}

TEST_F(TrackDownloadTest, FailuresAndAbortLeaveTheHostListAsItWas) {
  struct Case {
    const char* name;
    const char* failing;  // entry point made to fail at its callNumber-th call
    int callNumber;
    int abortAtPump;
    bool message18;
  };
  const Case cases[] = {
      {"points of the last track", "GetTrackPoints", 3, 0, true},
      {"second header", "GetTrackHeader", 2, 0, true},
      {"abort in the header pass", nullptr, 0, 2, false},
      {"abort in the point pass", nullptr, 0, 5, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    AddTrack(4);
    AddTrack(2);
    AddTrack(3);
    const std::string before = X9HostDumpString();
    if (c.failing) X9Watch_SetResult(c.failing, c.callNumber, -1);
    AbortAtPump(c.abortAtPump);
    EXPECT_EQ(Download(), 0);
    EXPECT_EQ(X9HostDumpString(), before);
    if (c.message18) {
      ASSERT_EQ(ui.boxes.size(), 2u);
      EXPECT_EQ(ui.boxes[1].text, x9::MessageText(18));
      EXPECT_EQ(ui.boxes[1].style, 0x30u);
    } else {
      EXPECT_EQ(ui.boxes.size(), 1u);
    }
    TearDown();
  }
}

TEST_F(TrackDownloadTest, EveryWorkingBufferFailingShowsMessage19) {
  for (int failing = 1; failing <= 3; ++failing) {  // headers, points, names
    SCOPED_TRACE(failing);
    SetUp();
    AddTrack(3);
    const std::string before = X9HostDumpString();
    x9::AllocationControl::FailAllocation(failing);
    EXPECT_EQ(Download(), 0);
    EXPECT_EQ(X9HostDumpString(), before);
    ASSERT_EQ(ui.boxes.size(), 2u);
    EXPECT_EQ(ui.boxes[1].text, x9::MessageText(19));
    EXPECT_EQ(ui.boxes[1].style, 0x30u);
    TearDown();
  }
}

TEST_F(TrackDownloadTest, PointCountsTooLargeForMemoryAreAMemoryFailure) {
  AddTrack(0, 0x7FFFFFFF);
  AddTrack(0, 0x7FFFFFFF);
  EXPECT_EQ(Download(), 0);
  ASSERT_EQ(ui.boxes.size(), 2u);
  EXPECT_EQ(ui.boxes[1].text, x9::MessageText(19));
  EXPECT_EQ(X9Watch_CallCount("GetTrackPoints"), 0);
  EXPECT_EQ(X9Host_SetCount(), 1);
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

}  // namespace
