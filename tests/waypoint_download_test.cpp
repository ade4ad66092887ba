#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "support/sim_fixture.h"
#include "ui/messages.h"

namespace {

using x9test::AddRoute;

class WaypointDownloadTest : public x9test::SimFixture {
 protected:
  long Download() {
    const long result = Request(0x01);
    EXPECT_TRUE(WatchLibraryReleased());
    EXPECT_EQ(Refreshes(), std::vector<unsigned>{2});
    return result;
  }
  // Gives set 0 a header the way a host with waypoints would have it.
  void SeedWaypointSet(int itemCount) {
    tagGPSDBHEADER header{};
    header.size = sizeof header;
    header.name = "My waypoints";
    header.value8 = 7;
    header.itemCount = itemCount;
    header.value16 = 9;
    header.kind = 2;
    header.reserved18[0] = 0x12;
    header.reserved18[1] = 0x34;
    header.value20 = 1;
    header.value24 = 1;
    header.value28 = 1;
    TPI_SetStatGpsProtocol(0, &header);
    X9Host_ClearLog();
  }
};

TEST_F(WaypointDownloadTest, AppendsTheCollectionAndRewritesTheSetHeader) {
  SeedWaypointSet(10);
  AddRoute("Route", 2);
  AddRoute("MYPOINTS", 5);
  EXPECT_EQ(Download(), 1);
  EXPECT_EQ(X9Host_SetCount(), 1);  // no new set
  const tagGPSDBHEADER* set = X9Host_Set(0);
  EXPECT_STREQ(set->name, "");
  EXPECT_EQ(set->value8, 1);
  EXPECT_EQ(set->itemCount, 15);
  EXPECT_EQ(set->value16, 0);
  EXPECT_EQ(set->kind, 2);
  EXPECT_EQ(set->reserved18[0], 0x12);  // passed back as the host delivered them
  EXPECT_EQ(set->reserved18[1], 0x34);
  EXPECT_EQ(set->value20, 255);
  EXPECT_EQ(set->value24, 2);
  EXPECT_EQ(set->value28, 1);
  EXPECT_EQ(HostItemNames(0), (std::vector<std::string>{"MYPOINTS-1", "MYPOINTS-2", "MYPOINTS-3",
                                                         "MYPOINTS-4", "MYPOINTS-5"}));
  EXPECT_EQ(X9Host_Item(0, 0)->kind, 2);
  EXPECT_EQ(X9Host_Item(0, 0)->value32, -9999.0);
  EXPECT_STREQ(X9Host_Item(0, 4)->ident, "MYPOINTS-5");
  // The ordinary route's header is read, its points are not.
  EXPECT_EQ(X9Watch_CallCount("GetRouteHeader"), 2);
  EXPECT_EQ(WatchLog().back(), "GetRoutePoints 2");
  // The header is written once, before the first waypoint.
  const std::string log = X9HostCallLogString();
  EXPECT_LT(log.find("TPI_SetStatGpsProtocol"), log.find("TPI_AddDataItemGpsProtocol"));
  EXPECT_EQ(X9Host_CallCount("TPI_SetStatGpsProtocol"), 1);
  EXPECT_EQ(ui.windows.at(0).message, x9::MessageText(1));
}

TEST_F(WaypointDownloadTest, EveryCollectionInAnyCaseIsTakenInOrder) {
  AddRoute("MYPOINTS", 3);
  AddRoute("Other", 1);
  AddRoute("mypoints", 2);
  EXPECT_EQ(Download(), 1);
  EXPECT_EQ(HostItemNames(0), (std::vector<std::string>{"MYPOINTS-1", "MYPOINTS-2", "MYPOINTS-3",
                                                         "mypoints-1", "mypoints-2"}));
  EXPECT_EQ(X9Host_Set(0)->itemCount, 5);
}

TEST_F(WaypointDownloadTest, NoCollectionStillRewritesTheHeader) {
  SeedWaypointSet(4);
  AddRoute("Route", 2);
  AddRoute("MYPOINTS", 0);
  EXPECT_EQ(Download(), 1);
  EXPECT_EQ(X9Watch_CallCount("GetRoutePoints"), 0);
  EXPECT_EQ(X9Host_Set(0)->itemCount, 4);
  EXPECT_STREQ(X9Host_Set(0)->name, "");
  EXPECT_EQ(X9Host_Set(0)->value8, 1);
  EXPECT_EQ(X9Host_ItemCount(0), 0);
  EXPECT_EQ(ui.boxes.size(), 1u);
}

TEST_F(WaypointDownloadTest, DownloadingTwiceAppendsTwice) {
  AddRoute("MYPOINTS", 2);
  EXPECT_EQ(Request(0x01), 1);
  EXPECT_EQ(Request(0x01), 1);
  EXPECT_EQ(X9Host_ItemCount(0), 4);
  EXPECT_EQ(X9Host_Set(0)->itemCount, 4);
}

TEST_F(WaypointDownloadTest, NoRoutesTouchesNeitherHeaderNorItems) {
  SeedWaypointSet(3);
  const std::string before = X9HostDumpString();
  EXPECT_EQ(Download(), 1);
  EXPECT_EQ(x9test::BoxTexts(ui), (std::vector<std::string>{x9::MessageText(21), x9::MessageText(18)}));
  EXPECT_EQ(X9Host_CallCount("TPI_GetStatGpsProtocol"), 0);
  EXPECT_EQ(X9Host_CallCount("TPI_SetStatGpsProtocol"), 0);
  EXPECT_EQ(X9HostDumpString(), before);
}

TEST_F(WaypointDownloadTest, FailuresAndAbortLeaveTheWaypointSetUntouched) {
  struct Case {
    const char* failing;
    int abortAtPump;
    int failingAllocation;
    x9::MessageId message;  // 0: none
  };
  const Case cases[] = {{"GetRoutePoints", 0, 0, 18}, {"GetRouteHeader", 0, 0, 18},
                        {nullptr, 1, 0, 0},           {nullptr, 0, 1, 19},
                        {nullptr, 0, 2, 19}};
  for (const Case& c : cases) {
    SetUp();
    SeedWaypointSet(1);
    AddRoute("Route", 1);
    AddRoute("MYPOINTS", 3);
    const std::string before = X9HostDumpString();
    if (c.failing) X9Watch_SetResult(c.failing, 1, -1);
    AbortAtPump(c.abortAtPump);
    x9::AllocationControl::FailAllocation(c.failingAllocation);
    EXPECT_EQ(Download(), 0);
    EXPECT_EQ(X9HostDumpString(), before);
    EXPECT_EQ(X9Host_CallCount("TPI_SetStatGpsProtocol"), 0);
    if (c.message != 0) {
      ASSERT_EQ(ui.boxes.size(), 2u);
      EXPECT_EQ(ui.boxes[1].text, x9::MessageText(c.message));
    } else {
      EXPECT_EQ(ui.boxes.size(), 1u);
    }
    TearDown();
  }
}

}  // namespace
