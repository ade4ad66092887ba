#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "host/convert.h"
#include "support/sim_fixture.h"
#include "ui/messages.h"

namespace {

using x9test::AddRoute;
using x9test::MakeRoutePoint;

class RouteDownloadTest : public x9test::SimFixture {
 protected:
  long Download() {
    const long result = Request(0x04);
    EXPECT_TRUE(WatchLibraryReleased());
    EXPECT_EQ(Refreshes(), std::vector<unsigned>{3});
    return result;
  }
  std::vector<std::string> SetNames() const {
    std::vector<std::string> names;
    for (int i = 1; i < X9Host_SetCount(); ++i) names.push_back(X9Host_Set(i)->name);
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
  const tagGPSDBHEADER* set = X9Host_Set(1);
  EXPECT_EQ(set->kind, 3);
  EXPECT_EQ(set->itemCount, 0);
  EXPECT_EQ(set->value8, 1);
  EXPECT_EQ(set->value20, 255);
  EXPECT_EQ(set->value24, 2);
  EXPECT_EQ(set->value28, 1);
  EXPECT_EQ(HostItemNames(1), (std::vector<std::string>{"A1", "A2", "A3"}));
  EXPECT_EQ(HostItemNames(2), (std::vector<std::string>{"B-1", "B-2"}));

  const tagGPSDBITEM* item = X9Host_Item(1, 0);
  EXPECT_STREQ(item->ident, "A1");
  EXPECT_EQ(item->latitude, 356000000 * 1e-7);
  EXPECT_EQ(item->longitude, 1397000000 * 1e-7);
  EXPECT_EQ(item->altitude, 123.0);
  EXPECT_EQ(item->value32, -9999.0);
  EXPECT_EQ(item->value40, -9999.9);
  EXPECT_EQ(item->time, 0);
  EXPECT_EQ(item->kind, 3);
  EXPECT_EQ(item->datum, 0);
  EXPECT_EQ(item->value56, 1);
  EXPECT_EQ(item->value60, 901001);
  EXPECT_EQ(item->value68, 0);
  EXPECT_EQ(item->value72, 0.0f);
  EXPECT_EQ(item->value76, 0);
  EXPECT_EQ(item->value92, 0);
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
  EXPECT_EQ(X9Host_SetCount(), 1);
  EXPECT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.windows.at(0).positions, (std::vector<int>{0, 0, 10, 100}));
}

TEST_F(RouteDownloadTest, NoRoutesOrAFailedCountShowMessage18AndSucceed) {
  for (int forced : {0, -1}) {
    SetUp();
    if (forced != 0) X9Watch_ForceResult("GetRouteCount", forced);
    EXPECT_EQ(Download(), 1);
    EXPECT_EQ(x9test::BoxTexts(ui), (std::vector<std::string>{x9::MessageText(22), x9::MessageText(18)}));
    EXPECT_EQ(X9Watch_CallCount("GetRouteHeader"), 0);
    TearDown();
  }
}

TEST_F(RouteDownloadTest, ProgressOfFourRoutes) {
  AddRoute("R1", 1);
  AddRoute("MYPOINTS", 1);
  AddRoute("R3", 0);
  AddRoute("R4", 2);
  EXPECT_EQ(Download(), 1);
  EXPECT_EQ(ui.windows.at(0).positions, (std::vector<int>{0, 0, 2, 5, 7, 10, 32, 55, 77, 100}));
  EXPECT_EQ(ui.windows.at(0).message, x9::MessageText(2));
}

TEST_F(RouteDownloadTest, FailuresAndAbortLeaveTheHostListAsItWas) {
  struct Case {
    const char* failing;
    int callNumber;
    int abortAtPump;
  };
  const Case cases[] = {{"GetRouteHeader", 3, 0}, {"GetRoutePoints", 2, 0}, {nullptr, 0, 7}, {nullptr, 0, 1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.failing ? c.failing : "abort");
    SetUp();
    for (int i = 0; i < 5; ++i) AddRoute("R" + std::to_string(i), 2);
    const std::string before = X9HostDumpString();
    if (c.failing) X9Watch_SetResult(c.failing, c.callNumber, -1);
    AbortAtPump(c.abortAtPump);
    EXPECT_EQ(Download(), 0);
    EXPECT_EQ(X9HostDumpString(), before);
    EXPECT_EQ(ui.boxes.size(), c.failing ? 2u : 1u);
    if (c.failing) {
      EXPECT_EQ(ui.boxes[1].text, x9::MessageText(18));
    }
    TearDown();
  }
}

TEST_F(RouteDownloadTest, EveryWorkingBufferFailingShowsMessage19) {
  for (int failing = 1; failing <= 2; ++failing) {  // headers, points
    SCOPED_TRACE(failing);
    SetUp();
    AddRoute("R", 2);
    const std::string before = X9HostDumpString();
    x9::AllocationControl::FailAllocation(failing);
    EXPECT_EQ(Download(), 0);
    EXPECT_EQ(X9HostDumpString(), before);
    ASSERT_EQ(ui.boxes.size(), 2u);
    EXPECT_EQ(ui.boxes[1].text, x9::MessageText(19));
    TearDown();
  }
}

TEST_F(RouteDownloadTest, HugePointCountsAreAMemoryFailureNotAnOverflow) {
  AddRoute("R1", 0, 0x7FFFFFFF);
  AddRoute("R2", 0, 0x7FFFFFFF);
  EXPECT_EQ(Download(), 0);
  ASSERT_EQ(ui.boxes.size(), 2u);
  EXPECT_EQ(ui.boxes[1].text, x9::MessageText(19));
  EXPECT_EQ(X9Watch_CallCount("GetRoutePoints"), 0);
  EXPECT_EQ(X9Host_SetCount(), 1);
}

TEST_F(RouteDownloadTest, UnterminatedNamesReachTheHostCutOnACharacterBoundary) {
  x9::RouteHeader header{};
  std::memcpy(header.name, "ABCDEFGHIJKLMNOPQRST", 20);  // no zero byte
  header.pointCount = 1;
  x9::RoutePoint point{};
  std::memcpy(point.name, "abcdefghijklmnopqr\x88\x9f", 20);  // split character at the end
  X9Watch_AddRoute(&header, &point, 1);
  EXPECT_EQ(Download(), 1);
  EXPECT_STREQ(X9Host_Set(1)->name, "ABCDEFGHIJKLMNOPQRS");
  EXPECT_STREQ(X9Host_Item(1, 0)->name, "abcdefghijklmnopqr");
  EXPECT_STREQ(X9Host_Item(1, 0)->ident, "abcdefghijklmnopqr");
}

}  // namespace
