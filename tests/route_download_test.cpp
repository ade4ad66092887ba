#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "device/device_api.h"
#include "host/convert.h"
#include "support/record_expectations.h"
#include "support/sim_fixture.h"
#include "transfer/dispatcher.h"
#include "ui/messages.h"

namespace {

using x9test::AddRoute;
using x9test::MakeRoutePoint;

class RouteDownloadTest : public x9test::SimFixture {
 protected:
  long Download() {
    const long result = Request(x9::kFlagDownloadRoutes);
    EXPECT_TRUE(WatchLibraryReleased());
    EXPECT_EQ(Refreshes(), std::vector<unsigned>{x9::kListRoutes});
    return result;
  }
  std::vector<std::string> SetNames() const {
    std::vector<std::string> names;
    for (int i = 1; i < X9Host_GetSetCount(); ++i)
      names.push_back(X9Host_GetSet(i)->name);
    return names;
  }
};

TEST_F(RouteDownloadTest, EachRouteBecomesASetInTheWatchsOrder) {
  const x9::RoutePoint a[] = {MakeRoutePoint("A1", 356000000, 1397000000, 123),
                              MakeRoutePoint("A2", -1, -2000, 0),
                              MakeRoutePoint("A3", 1800000000, -1800000000, -5)};
  x9::RouteHeader header{};
  std::strcpy(header.name, "A");
  header.pointCount = 3;
  X9Watch_AddRoute(&header, a, 3);
  AddRoute("B", 2);

  EXPECT_EQ(Download(), 1);
  EXPECT_EQ(SetNames(), (std::vector<std::string>{"A", "B"}));
  EXPECT_TRUE(x9test::SameSetHeader(*X9Host_GetSet(1), x9::NewSetHeader("A", x9::kListRoutes)));
  EXPECT_EQ(HostItemNames(1), (std::vector<std::string>{"A1", "A2", "A3"}));
  EXPECT_EQ(HostItemNames(2), (std::vector<std::string>{"B-1", "B-2"}));

  // A new route point with the watch's name as both name and ident, and no time.
  tagGPSDBITEM expected = x9::NewItem(x9::kListRoutes);
  expected.name = "A1";
  expected.ident = "A1";
  expected.latitude = 356000000 * 1e-7;
  expected.longitude = 1397000000 * 1e-7;
  expected.altitude = 123.0;
  EXPECT_TRUE(x9test::SameItem(*X9Host_Item(1, 0), expected));
  EXPECT_EQ(X9Host_Item(1, 1)->latitude, -1e-7);
  EXPECT_EQ(X9Host_Item(1, 2)->longitude, -180.0);
}

TEST_F(RouteDownloadTest, TheWaypointRouteAndEmptyRoutesAreSkipped) {
  AddRoute("MyPoints", 3);
  AddRoute("mypoints", 1);
  AddRoute("MYPOINTS2", 2);
  AddRoute("Empty", 0);
  AddRoute("Last", 1);
  EXPECT_EQ(Download(), 1);
  EXPECT_EQ(SetNames(), (std::vector<std::string>{"MYPOINTS2", "Last"}));
  EXPECT_EQ(X9Watch_CallCount("GetRouteHeader"), 5);
  EXPECT_EQ(X9Watch_CallCount("GetRoutePoints"), 2);
}

TEST_F(RouteDownloadTest, OnlyTheWaypointRouteMeansNothingToAdd) {
  AddRoute("MYPOINTS", 4);
  EXPECT_EQ(Download(), 1);
  EXPECT_EQ(X9Host_GetSetCount(), 1);
  EXPECT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.windows.at(0).positions, (std::vector<int>{0, 0, 10, 100}));
}

// Whether the watch has no routes or the count cannot be read, the user is told the connection
// was lost and the request ends well, reading nothing more.
class RouteCountTest : public RouteDownloadTest, public ::testing::WithParamInterface<int> {};

TEST_P(RouteCountTest, BelowOneShowsConnectionLostAndSucceeds) {
  // The watch is empty; a failed count is forced on top of that.
  if (GetParam() != 0) X9Watch_ForceResult("GetRouteCount", GetParam());
  EXPECT_EQ(Download(), 1);
  EXPECT_EQ(x9test::BoxTexts(ui),
            (std::vector<std::string>{x9::MessageText(x9::kMsgStartRouteDownload),
                                      x9::MessageText(x9::kMsgConnectionLost)}));
  EXPECT_EQ(X9Watch_CallCount("GetRouteHeader"), 0);
}

INSTANTIATE_TEST_SUITE_P(RouteDownloadTest, RouteCountTest,
                         ::testing::Values(0, x9::kDeviceFailure),
                         [](const ::testing::TestParamInfo<int>& info) {
                           return std::string(info.param == 0 ? "NoRoutes" : "FailedCount");
                         });

TEST_F(RouteDownloadTest, ProgressOfFourRoutes) {
  AddRoute("R1", 1);
  AddRoute("MYPOINTS", 1);
  AddRoute("R3", 0);
  AddRoute("R4", 2);
  EXPECT_EQ(Download(), 1);
  EXPECT_EQ(ui.windows.at(0).positions, (std::vector<int>{0, 0, 2, 5, 7, 10, 32, 55, 77, 100}));
  EXPECT_EQ(ui.windows.at(0).message, x9::MessageText(x9::kMsgDownloadingRoutes));
}

// One example; reliability/fault_sweep_test.cpp fails every device call, presses Abort at every
// pump and fails every working buffer of a route download in turn.
TEST_F(RouteDownloadTest, AFailedHeaderReadLeavesTheHostListAsItWas) {
  for (int i = 0; i < 5; ++i)
    AddRoute("R" + std::to_string(i), 2);
  const std::string before = X9HostDumpString();
  X9Watch_SetResult("GetRouteHeader", 3, x9::kDeviceFailure);
  EXPECT_EQ(Download(), 0);
  EXPECT_EQ(X9HostDumpString(), before);
  EXPECT_EQ(x9test::BoxTexts(ui),
            (std::vector<std::string>{x9::MessageText(x9::kMsgStartRouteDownload),
                                      x9::MessageText(x9::kMsgConnectionLost)}));
}

TEST_F(RouteDownloadTest, HugePointCountsAreAMemoryFailureNotAnOverflow) {
  AddRoute("R1", 0, std::numeric_limits<int32_t>::max());
  AddRoute("R2", 0, std::numeric_limits<int32_t>::max());
  EXPECT_EQ(Download(), 0);
  ASSERT_EQ(ui.boxes.size(), 2u);
  EXPECT_EQ(ui.boxes[1].text, x9::MessageText(x9::kMsgOutOfMemory));
  EXPECT_EQ(X9Watch_CallCount("GetRoutePoints"), 0);
  EXPECT_EQ(X9Host_GetSetCount(), 1);
}

TEST_F(RouteDownloadTest, UnterminatedNamesReachTheHostCutOnACharacterBoundary) {
  x9::RouteHeader header{};
  std::memcpy(header.name, "ABCDEFGHIJKLMNOPQRST", 20);  // no zero byte
  header.pointCount = 1;
  x9::RoutePoint point{};
  std::memcpy(point.name, "abcdefghijklmnopqr\x88\x9f", 20);  // split character at the end
  X9Watch_AddRoute(&header, &point, 1);
  EXPECT_EQ(Download(), 1);
  EXPECT_STREQ(X9Host_GetSet(1)->name, "ABCDEFGHIJKLMNOPQRS");
  EXPECT_STREQ(X9Host_Item(1, 0)->name, "abcdefghijklmnopqr");
  EXPECT_STREQ(X9Host_Item(1, 0)->ident, "abcdefghijklmnopqr");
}

}  // namespace
