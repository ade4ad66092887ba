#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "device/device_api.h"
#include "support/record_expectations.h"
#include "support/sim_fixture.h"
#include "transfer/dispatcher.h"
#include "ui/messages.h"

namespace {

using x9test::AddRoute;

class WaypointDownloadTest : public x9test::SimFixture {
 protected:
  long Download() {
    const long result = Request(x9::kFlagDownloadWaypoints);
    EXPECT_TRUE(WatchLibraryReleased());
    EXPECT_EQ(Refreshes(), std::vector<unsigned>{x9::kListWaypoints});
    return result;
  }
  // Gives set 0 a header the way a host with waypoints would have it; returns it.
  tagGPSDBHEADER SeedWaypointSet(int itemCount) {
    tagGPSDBHEADER header{};
    header.size = sizeof header;
    header.name = "My waypoints";
    header.value8 = 7;
    header.itemCount = itemCount;
    header.value16 = 9;
    header.kind = x9::kListWaypoints;
    header.reserved18[0] = 0x12;
    header.reserved18[1] = 0x34;
    header.value20 = 1;
    header.value24 = 1;
    header.value28 = 1;
    TPI_SetStatGpsProtocol(0, &header);
    X9Host_ClearLog();
    return header;
  }
};

TEST_F(WaypointDownloadTest, AppendsTheCollectionAndRewritesTheSetHeader) {
  const tagGPSDBHEADER seeded = SeedWaypointSet(10);
  AddRoute("Route", 2);
  AddRoute("MYPOINTS", 5);
  EXPECT_EQ(Download(), 1);
  EXPECT_EQ(X9Host_GetSetCount(), 1);  // no new set
  // The header as the host delivered it (its reserved bytes too), with a set's fixed values, no
  // name and the waypoints counted in.
  tagGPSDBHEADER expected = seeded;
  x9::SetHeaderDefaults(expected, "", x9::kListWaypoints);
  expected.itemCount = 15;
  EXPECT_TRUE(x9test::SameSetHeader(*X9Host_GetSet(0), expected));
  EXPECT_EQ(HostItemNames(0), (std::vector<std::string>{"MYPOINTS-1", "MYPOINTS-2", "MYPOINTS-3",
                                                        "MYPOINTS-4", "MYPOINTS-5"}));
  EXPECT_EQ(X9Host_Item(0, 0)->kind, x9::kListWaypoints);
  EXPECT_EQ(X9Host_Item(0, 0)->value32, x9::NO_VALUE);
  EXPECT_STREQ(X9Host_Item(0, 4)->ident, "MYPOINTS-5");
  // The ordinary route's header is read, its points are not.
  EXPECT_EQ(X9Watch_CallCount("GetRouteHeader"), 2);
  EXPECT_EQ(WatchLog().back(), "GetRoutePoints 2");
  // The header is written once, before the first waypoint.
  const std::string log = X9HostCallLogString();
  EXPECT_LT(log.find("TPI_SetStatGpsProtocol"), log.find("TPI_AddDataItemGpsProtocol"));
  EXPECT_EQ(X9Host_CallCount("TPI_SetStatGpsProtocol"), 1);
  EXPECT_EQ(ui.windows.at(0).message, x9::MessageText(x9::kMsgDownloadingWaypoints));
}

TEST_F(WaypointDownloadTest, EveryCollectionInAnyCaseIsTakenInOrder) {
  AddRoute("MYPOINTS", 3);
  AddRoute("Other", 1);
  AddRoute("mypoints", 2);
  EXPECT_EQ(Download(), 1);
  EXPECT_EQ(HostItemNames(0), (std::vector<std::string>{"MYPOINTS-1", "MYPOINTS-2", "MYPOINTS-3",
                                                        "mypoints-1", "mypoints-2"}));
  EXPECT_EQ(X9Host_GetSet(0)->itemCount, 5);
}

TEST_F(WaypointDownloadTest, NoCollectionStillRewritesTheHeader) {
  SeedWaypointSet(4);
  AddRoute("Route", 2);
  AddRoute("MYPOINTS", 0);
  EXPECT_EQ(Download(), 1);
  EXPECT_EQ(X9Watch_CallCount("GetRoutePoints"), 0);
  EXPECT_EQ(X9Host_GetSet(0)->itemCount, 4);
  EXPECT_STREQ(X9Host_GetSet(0)->name, "");
  EXPECT_EQ(X9Host_GetSet(0)->value8, x9::kSetValue8);
  EXPECT_EQ(X9Host_ItemCount(0), 0);
  EXPECT_EQ(ui.boxes.size(), 1u);
}

TEST_F(WaypointDownloadTest, DownloadingTwiceAppendsTwice) {
  AddRoute("MYPOINTS", 2);
  EXPECT_EQ(Request(x9::kFlagDownloadWaypoints), 1);
  EXPECT_EQ(Request(x9::kFlagDownloadWaypoints), 1);
  EXPECT_EQ(X9Host_ItemCount(0), 4);
  EXPECT_EQ(X9Host_GetSet(0)->itemCount, 4);
}

TEST_F(WaypointDownloadTest, NoRoutesTouchesNeitherHeaderNorItems) {
  SeedWaypointSet(3);
  const std::string before = X9HostDumpString();
  EXPECT_EQ(Download(), 1);
  EXPECT_EQ(x9test::BoxTexts(ui),
            (std::vector<std::string>{x9::MessageText(x9::kMsgStartWaypointDownload),
                                      x9::MessageText(x9::kMsgConnectionLost)}));
  EXPECT_EQ(X9Host_CallCount("TPI_GetStatGpsProtocol"), 0);
  EXPECT_EQ(X9Host_CallCount("TPI_SetStatGpsProtocol"), 0);
  EXPECT_EQ(X9HostDumpString(), before);
}

// One example; reliability/fault_sweep_test.cpp fails every device call, presses Abort at every
// pump and fails every working buffer of a waypoint download in turn, and checks that none of
// them writes to the host.
TEST_F(WaypointDownloadTest, AFailedPointReadLeavesTheWaypointSetUntouched) {
  SeedWaypointSet(1);
  AddRoute("Route", 1);
  AddRoute("MYPOINTS", 3);
  const std::string before = X9HostDumpString();
  X9Watch_SetResult("GetRoutePoints", 1, x9::kDeviceFailure);
  EXPECT_EQ(Download(), 0);
  EXPECT_EQ(X9HostDumpString(), before);
  EXPECT_EQ(X9Host_CallCount("TPI_SetStatGpsProtocol"), 0);
  EXPECT_EQ(x9test::BoxTexts(ui),
            (std::vector<std::string>{x9::MessageText(x9::kMsgStartWaypointDownload),
                                      x9::MessageText(x9::kMsgConnectionLost)}));
}

TEST_F(WaypointDownloadTest, ProgressOfFourRoutes) {
  AddRoute("A", 1);
  AddRoute("MYPOINTS", 2);
  AddRoute("B", 0);
  AddRoute("C", 3);
  EXPECT_EQ(Download(), 1);
  EXPECT_EQ(ui.windows.at(0).positions, (std::vector<int>{0, 0, 2, 5, 7, 10, 32, 55, 77, 100}));
  EXPECT_EQ(Pumps(), 8);
}

// A host whose read of set 0 fills nothing: the header written back is the one the transfer
// prepared, with its size, no bytes but zeros where nothing is assigned, and the waypoints
// counted from 0.
TEST_F(WaypointDownloadTest, AHeaderReadThatFillsNothingWritesBackAPreparedHeader) {
  SeedWaypointSet(6);
  AddRoute("MYPOINTS", 3);
  X9Host_SetReadsFillNothing(1);
  EXPECT_EQ(Download(), 1);
  tagGPSDBHEADER expected = x9::NewSetHeader("", x9::kListWaypoints);
  expected.itemCount = 3;
  EXPECT_TRUE(x9test::SameSetHeader(*X9Host_GetSet(0), expected));
  EXPECT_EQ(X9Host_ItemCount(0), 3);
}

}  // namespace
