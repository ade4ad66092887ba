#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "device/device_api.h"
#include "host/convert.h"
#include "sim/host/datum_shift.h"
#include "support/sim_fixture.h"
#include "transfer/dispatcher.h"
#include "ui/messages.h"

namespace {

using x9test::AddHostRoute;
using x9test::AddRoute;
using x9test::MakeHostItem;
using x9test::WatchRouteNames;

class RouteUploadTest : public x9test::SimFixture {
 protected:
  long Upload() {
    const long result = Request(x9::kFlagUploadRoutes);
    EXPECT_TRUE(WatchLibraryReleased());
    EXPECT_EQ(Refreshes(), std::vector<unsigned>{x9::kListRoutes});
    return result;
  }
  std::vector<std::string> WatchCalls(const char* prefix) const {
    std::vector<std::string> calls;
    for (const auto& line : WatchLog())
      if (line.rfind(prefix, 0) == 0) calls.push_back(line);
    return calls;
  }
  std::string Composed(x9::MessageId id, const std::string& name) const {
    return std::string(x9::MessageText(id)) + "\n" + name;
  }
};

TEST_F(RouteUploadTest, PutsEveryRouteSetWithConvertedPoints) {
  AddHostRoute("Walk", {MakeHostItem("P1", 64.471201, -35.6812345678, 12.9),
                        MakeHostItem("waypoint", 1, 1, 1, x9::kListWaypoints),
                        MakeHostItem("P2", -0.0002, 180.0, x9::NO_VALUE),
                        MakeHostItem(nullptr, 0, 0, -0.5)});
  EXPECT_EQ(Upload(), 1);
  ASSERT_EQ(X9Watch_RouteCount(), 1);
  const x9::RouteHeader* route = X9Watch_Route(1);
  EXPECT_EQ(std::string(route->name, 20), std::string("Walk") + std::string(16, '\0'));
  EXPECT_EQ(route->pointCount, 3);
  EXPECT_EQ(route->value24, 0);
  ASSERT_EQ(X9Watch_RoutePointCount(1), 3);
  const x9::RoutePoint* points = X9Watch_RoutePoints(1);
  EXPECT_STREQ(points[0].name, "P1");
  EXPECT_EQ(points[0].latitude, 644712009);  // truncated, not rounded
  EXPECT_EQ(points[0].longitude, -356812345);
  EXPECT_EQ(points[0].altitude, 12);
  EXPECT_STREQ(points[1].name, "P2");
  EXPECT_EQ(points[1].latitude, -2000);
  EXPECT_EQ(points[1].longitude, 1800000000);
  EXPECT_EQ(points[1].altitude, x9::kDeviceNoAltitude);
  EXPECT_EQ(std::string(points[2].name, 20), std::string(20, '\0'));
  EXPECT_EQ(points[2].altitude, 0);
  EXPECT_EQ(ui.windows.at(0).message, x9::MessageText(x9::kMsgUploadingRoutes));
}

TEST_F(RouteUploadTest, ConvertsTheDatumOnItsOwnCopyOnly) {
  AddHostRoute("Tokyo",
               {MakeHostItem("T", 35.681236, 139.767125, 0, x9::kListRoutes, x9sim::kDatumTokyo)});
  const std::string before = X9HostDumpString();
  EXPECT_EQ(Upload(), 1);
  EXPECT_EQ(X9HostDumpString(), before);
  tagGPSDBITEM expected =
      MakeHostItem("T", 35.681236, 139.767125, 0, x9::kListRoutes, x9sim::kDatumTokyo);
  TPI_ConvertDatum(&expected, &expected, x9sim::kDatumTokyo, x9sim::kDatumWgs84);
  ASSERT_NE(expected.latitude, 35.681236);  // the host really converts
  EXPECT_EQ(X9Watch_RoutePoints(1)[0].latitude, x9::DegreesToDevice(expected.latitude));
  EXPECT_EQ(X9Watch_RoutePoints(1)[0].longitude, x9::DegreesToDevice(expected.longitude));
}

TEST_F(RouteUploadTest, ProgressFollowsTheSetIndexInTheWholeList) {
  AddHostRoute("One", {MakeHostItem("a", 1, 1, 1)});
  AddHostRoute("Two", {});
  EXPECT_EQ(Upload(), 1);
  EXPECT_EQ(ui.windows.at(0).positions, (std::vector<int>{0, 1, 33, 66}));
  EXPECT_EQ(X9Watch_Route(2)->pointCount, 0);  // a set without route points is put empty
  EXPECT_EQ(Pumps(), 2);
}

TEST_F(RouteUploadTest, NoRouteSetsWritesNothing) {
  tagGPSDBHEADER track{};
  track.size = sizeof track;
  track.name = "Track";
  track.kind = x9::kListTracks;
  X9Host_AddSet(&track);
  EXPECT_EQ(Upload(), 1);
  EXPECT_EQ(X9Watch_RouteCount(), 0);
  EXPECT_EQ(ui.windows.at(0).positions, (std::vector<int>{0, 1}));
  EXPECT_EQ(Pumps(), 0);  // sets of other kinds pass without pumping
}

TEST_F(RouteUploadTest, TheWaypointRouteNameIsRefused) {
  AddHostRoute("MyPoints", {MakeHostItem("a", 1, 1, 1)});
  AddHostRoute("mypoints", {});
  AddHostRoute("MYPOINTS2", {});
  EXPECT_EQ(Upload(), 1);
  EXPECT_EQ(x9test::BoxTexts(ui),
            (std::vector<std::string>{x9::MessageText(x9::kMsgStartRouteUpload),
                                      Composed(x9::kMsgCannotUploadMyPoints, "MyPoints"),
                                      Composed(x9::kMsgCannotUploadMyPoints, "mypoints")}));
  EXPECT_EQ(ui.boxes[1].style, x9::kStyleExclamation);
  EXPECT_EQ(WatchRouteNames(), std::vector<std::string>{"MYPOINTS2"});
}

TEST_F(RouteUploadTest, LongNamesAreCutBeforeEveryTest) {
  AddRoute("ABCDEFGHIJKLMNOPQRS", 1);
  AddHostRoute("ABCDEFGHIJKLMNOPQRSTUVWXY", {});
  ui.answers = {x9::kAnswerYes, x9::kAnswerYes};
  EXPECT_EQ(Upload(), 1);
  ASSERT_EQ(ui.boxes.size(), 2u);
  EXPECT_EQ(ui.boxes[1].text, Composed(x9::kMsgSameNameOnWatch, "ABCDEFGHIJKLMNOPQRS"));
  EXPECT_EQ(ui.boxes[1].style, x9::kStyleQuestion);
  EXPECT_EQ(WatchRouteNames(), std::vector<std::string>{"ABCDEFGHIJKLMNOPQRS"});
  EXPECT_EQ(WatchCalls("DeleteRoute"), std::vector<std::string>{"DeleteRoute 1"});
}

TEST_F(RouteUploadTest, SameNameAnsweredYesDeletesEveryMatchFromTheLastDown) {
  AddRoute("Alpha", 1);
  AddRoute("alpha", 1);
  AddRoute("Beta", 1);
  AddHostRoute("ALPHA", {MakeHostItem("a", 1, 1, 1)});
  EXPECT_EQ(Upload(), 1);
  EXPECT_EQ(ui.boxes.size(), 2u);  // one question for the set
  EXPECT_EQ(WatchCalls("DeleteRoute"),
            (std::vector<std::string>{"DeleteRoute 2", "DeleteRoute 1"}));
  EXPECT_EQ(WatchRouteNames(), (std::vector<std::string>{"Beta", "ALPHA"}));
}

TEST_F(RouteUploadTest, SameNameAnsweredNoPutsBesideThem) {
  AddRoute("Alpha", 1);
  AddRoute("alpha", 1);
  AddHostRoute("ALPHA", {});
  ui.answers = {x9::kAnswerYes, x9::kAnswerNo};
  EXPECT_EQ(Upload(), 1);
  EXPECT_EQ(ui.boxes.size(), 2u);
  EXPECT_TRUE(WatchCalls("DeleteRoute").empty());
  EXPECT_EQ(WatchRouteNames(), (std::vector<std::string>{"Alpha", "alpha", "ALPHA"}));
}

TEST_F(RouteUploadTest, DeletionsKeepTheNameListInStepWithTheWatch) {
  AddRoute("A", 1);
  AddRoute("B", 1);
  AddHostRoute("A", {});
  AddHostRoute("B", {});
  EXPECT_EQ(Upload(), 1);
  EXPECT_EQ(WatchCalls("DeleteRoute"),
            (std::vector<std::string>{"DeleteRoute 1", "DeleteRoute 1"}));
  EXPECT_EQ(WatchRouteNames(), (std::vector<std::string>{"A", "B"}));
  EXPECT_EQ(X9Watch_RoutePointCount(1), 0);  // both are the new, empty routes
  EXPECT_EQ(X9Watch_RoutePointCount(2), 0);
}

TEST_F(RouteUploadTest, RoutesPutByThisTransferAreNotAskedAbout) {
  AddHostRoute("New", {});
  AddHostRoute("New", {});
  EXPECT_EQ(Upload(), 1);
  EXPECT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(WatchRouteNames(), (std::vector<std::string>{"New", "New"}));
}

TEST_F(RouteUploadTest, AFailedDeletionKeepsItsName) {
  AddRoute("X", 1);
  AddHostRoute("X", {});
  AddHostRoute("X", {});
  X9Watch_SetResult("DeleteRoute", 1, x9::kDeviceFailure);
  EXPECT_EQ(Upload(), 1);
  EXPECT_EQ(ui.boxes.size(), 3u);  // asked for each set
  EXPECT_EQ(WatchCalls("DeleteRoute"),
            (std::vector<std::string>{"DeleteRoute 1", "DeleteRoute 1"}));
  // The second deletion removed the original route, as the user agreed.
  EXPECT_EQ(WatchRouteNames(), (std::vector<std::string>{"X", "X"}));
  EXPECT_EQ(X9Watch_RoutePointCount(1), 0);
}

TEST_F(RouteUploadTest, DoubleByteNamesCompareAsCharacters) {
  AddRoute("\x83\x61", 1);       // trail byte 'a'
  AddHostRoute("\x83\x41", {});  // trail byte 'A': another character
  AddRoute("\x83\x41x", 1);
  AddHostRoute("\x83\x41X", {});  // same character, ASCII case differs
  EXPECT_EQ(Upload(), 1);
  ASSERT_EQ(ui.boxes.size(), 2u);
  EXPECT_EQ(ui.boxes[1].text, Composed(x9::kMsgSameNameOnWatch, "\x83\x41X"));
  EXPECT_EQ(WatchCalls("DeleteRoute"), std::vector<std::string>{"DeleteRoute 2"});
}

TEST_F(RouteUploadTest, AFailedNameReadPutsNothing) {
  AddRoute("R1", 1);
  AddRoute("R2", 1);
  AddRoute("R3", 1);
  AddHostRoute("R1", {});
  X9Watch_SetResult("GetRouteHeader", 2, x9::kDeviceFailure);
  EXPECT_EQ(Upload(), 0);
  EXPECT_EQ(x9test::BoxTexts(ui),
            (std::vector<std::string>{x9::MessageText(x9::kMsgStartRouteUpload),
                                      x9::MessageText(x9::kMsgConnectionLost)}));
  EXPECT_TRUE(WatchCalls("PutRoute").empty());
  EXPECT_TRUE(WatchCalls("DeleteRoute").empty());
}

TEST_F(RouteUploadTest, AFailedPutStopsTheTransferAndKeepsWhatWasDone) {
  AddHostRoute("First", {});
  AddHostRoute("Second", {});
  AddHostRoute("Third", {});
  X9Watch_SetResult("PutRoute", 2, x9::kDeviceFailure);
  EXPECT_EQ(Upload(), 0);
  EXPECT_EQ(WatchRouteNames(), std::vector<std::string>{"First"});
  EXPECT_EQ(ui.boxes.back().text, x9::MessageText(x9::kMsgConnectionLost));
  EXPECT_EQ(ui.windows.at(0).positions, (std::vector<int>{0, 1, 25}));
}

TEST_F(RouteUploadTest, AbortIsSeenAfterTheCurrentSet) {
  AddHostRoute("First", {});
  AddHostRoute("Second", {});
  AbortAtPump(1);
  EXPECT_EQ(Upload(), 0);
  EXPECT_EQ(WatchRouteNames(), std::vector<std::string>{"First"});
  EXPECT_EQ(ui.boxes.size(), 1u);
}

TEST_F(RouteUploadTest, APointArrayThatCannotBeAllocatedShowsOutOfMemory) {
  AddHostRoute("First", {MakeHostItem("a", 1, 1, 1)});
  AddHostRoute("Second", {MakeHostItem("a", 1, 1, 1)});
  x9::AllocationControl::FailAllocation(2);
  EXPECT_EQ(Upload(), 0);
  EXPECT_EQ(ui.boxes.back().text, x9::MessageText(x9::kMsgOutOfMemory));
  EXPECT_EQ(WatchRouteNames(), std::vector<std::string>{"First"});
}

TEST_F(RouteUploadTest, AFailedRouteCountMeansNoRoutesOnTheWatch) {
  X9Watch_ForceResult("GetRouteCount", x9::kDeviceFailure);
  AddHostRoute("R", {});
  EXPECT_EQ(Upload(), 1);
  EXPECT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(X9Watch_CallCount("GetRouteHeader"), 0);
}

TEST_F(RouteUploadTest, AHostThatFillsNothingGetsNothingUploaded) {
  AddHostRoute("R", {MakeHostItem("a", 1, 1, 1)});
  X9Host_SetReadsFillNothing(1);
  EXPECT_EQ(Upload(), 1);
  EXPECT_EQ(X9Watch_RouteCount(), 0);
}

TEST_F(RouteUploadTest, AShrinkingItemCountNeverSendsUnfilledPoints) {
  std::vector<tagGPSDBITEM> items;
  for (int i = 0; i < 6; ++i)
    items.push_back(MakeHostItem("p", 10 + i, 20, 30));
  const int set = AddHostRoute("Drift", items);
  X9Host_SetItemCountDrift(set, -1);
  EXPECT_EQ(Upload(), 1);
  ASSERT_EQ(X9Watch_RouteCount(), 1);
  const int sent = X9Watch_Route(1)->pointCount;
  EXPECT_LT(sent, 6);
  ASSERT_EQ(X9Watch_RoutePointCount(1), sent);
  for (int i = 0; i < sent; ++i)
    EXPECT_EQ(X9Watch_RoutePoints(1)[i].latitude, (10 + i) * 10000000);
}

}  // namespace
