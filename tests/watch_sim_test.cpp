// Tests of the watch simulator itself, in process and loaded as x9.dll the way the module loads
// it: every other suite takes its word for what the watch holds and what it was asked.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "device/device_api.h"
#include "device/records.h"
#include "platform/platform.h"
#include "sim/watch/watch_sim.h"
#include "support/byte_copy.h"
#include "support/test_paths.h"

namespace {

using x9test::CopyBytes;

// --- Watch -------------------------------------------------------------------------------------

x9::RouteHeader RouteNamed(const char* name, int32_t pointCount) {
  x9::RouteHeader header{};
  std::memcpy(header.name, name, std::min(std::strlen(name), sizeof header.name - 1));
  header.pointCount = pointCount;
  return header;
}

std::vector<x9::RoutePoint> RoutePoints(int count, int32_t firstLatitude) {
  std::vector<x9::RoutePoint> points(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) {
    std::snprintf(points[static_cast<size_t>(i)].name, sizeof points[0].name, "P%d", i);
    points[static_cast<size_t>(i)].latitude = firstLatitude + i;
  }
  return points;
}

class WatchTest : public ::testing::Test {
 protected:
  void SetUp() override { X9Watch_Reset(); }
};

TEST_F(WatchTest, PutAppendsAndDeleteRenumbersTheRoutesAfter) {
  for (const char* name : {"FIRST", "SECOND"}) {
    const x9::RouteHeader header = RouteNamed(name, 1);
    X9Watch_AddRoute(&header, RoutePoints(1, 0).data(), 1);
  }
  const x9::RouteHeader third = RouteNamed("THIRD", 2);
  const auto points = RoutePoints(2, 350000000);
  EXPECT_EQ(1, X9Watch_PutRoute(&third, points.data()));
  ASSERT_EQ(3, X9Watch_GetRouteCount());

  EXPECT_EQ(1, X9Watch_DeleteRoute(2));
  ASSERT_EQ(2, X9Watch_RouteCount());
  EXPECT_STREQ("FIRST", X9Watch_Route(1)->name);
  EXPECT_STREQ("THIRD", X9Watch_Route(2)->name);
  ASSERT_EQ(2, X9Watch_RoutePointCount(2));
  EXPECT_EQ(350000001, X9Watch_RoutePoints(2)[1].latitude);

  x9::RouteHeader read{};
  EXPECT_EQ(1, X9Watch_GetRouteHeader(2, &read));
  EXPECT_STREQ("THIRD", read.name);
  EXPECT_EQ(x9::kDeviceFailure, X9Watch_DeleteRoute(3));
  EXPECT_EQ(x9::kDeviceFailure, X9Watch_DeleteRoute(0));
  EXPECT_EQ(2, X9Watch_RouteCount());
  EXPECT_EQ(
      "PutRoute THIRD 2\nGetRouteCount\nDeleteRoute 2\nGetRouteHeader 2\nDeleteRoute 3\n"
      "DeleteRoute 0\n",
      X9WatchCallLogString());
  EXPECT_EQ(3, X9Watch_CallCount("DeleteRoute"));
  EXPECT_EQ(-1, X9Watch_CallCount("DeleteRoutes"));  // a misspelt name is not a zero count
}

TEST_F(WatchTest, SetResultAffectsOnlyTheNumberedCall) {
  const x9::RouteHeader header = RouteNamed("R", 0);
  X9Watch_SetResult("PutRoute", 2, x9::kDeviceFailure);
  X9Watch_SetResult("PutRoute", 3, 0);
  EXPECT_EQ(1, X9Watch_PutRoute(&header, nullptr));
  EXPECT_EQ(x9::kDeviceFailure, X9Watch_PutRoute(&header, nullptr));  // refused: nothing stored
  EXPECT_EQ(1, X9Watch_RouteCount());
  EXPECT_EQ(0, X9Watch_PutRoute(&header, nullptr));  // other results still do the work
  EXPECT_EQ(2, X9Watch_RouteCount());
  EXPECT_EQ(1, X9Watch_PutRoute(&header, nullptr));
  EXPECT_EQ(3, X9Watch_RouteCount());

  X9Watch_SetResult("DeleteRoute", 1, x9::kDeviceFailure);
  EXPECT_EQ(x9::kDeviceFailure, X9Watch_DeleteRoute(1));
  EXPECT_EQ(3, X9Watch_RouteCount());

  x9::RouteHeader read, before;
  std::memset(&read, 0x77, sizeof read);
  CopyBytes(before, read);
  X9Watch_SetResult("GetRouteHeader", 1, x9::kDeviceFailure);
  EXPECT_EQ(x9::kDeviceFailure, X9Watch_GetRouteHeader(1, &read));
  EXPECT_EQ(0, std::memcmp(&read, &before, sizeof read));

  X9Watch_ForceResult("GetRouteCount", 7);
  X9Watch_ForceResult("SearchOnPorts", x9::kDeviceFailure);
  X9Watch_SetResult("GetRouteCount", 2, 9);  // a numbered call's rule wins over the forced one
  EXPECT_EQ(7, X9Watch_GetRouteCount());
  EXPECT_EQ(9, X9Watch_GetRouteCount());
  EXPECT_EQ(7, X9Watch_GetRouteCount());
  EXPECT_EQ(x9::kDeviceFailure, X9Watch_SearchOnPorts(0));
  X9Watch_ClearFaults();
  EXPECT_EQ(3, X9Watch_GetRouteCount());
  EXPECT_EQ(1, X9Watch_SearchOnPorts(0));
}

TEST_F(WatchTest, PointsAreWrittenExactlyAsManyAsTheHeaderClaims) {
  x9::TrackHeader header{};
  header.pointCount = 3;
  x9::TrackPoint stored{};
  stored.year = 2004;
  stored.value40 = 0xBEEF;
  ASSERT_EQ(1, X9Watch_AddTrack(&header, &stored, 1));
  header.pointCount = 0;
  ASSERT_EQ(2, X9Watch_AddTrack(&header, &stored, 1));

  x9::TrackPoint out[4];
  std::memset(out, 0x66, sizeof out);
  x9::TrackPoint sentinel;
  CopyBytes(sentinel, out[3]);
  EXPECT_EQ(1, X9Watch_GetTrackPoints(1, out));
  EXPECT_EQ(0, std::memcmp(&out[0], &stored, sizeof stored));
  const x9::TrackPoint zero{};
  EXPECT_EQ(0, std::memcmp(&out[1], &zero, sizeof zero));
  EXPECT_EQ(0, std::memcmp(&out[2], &zero, sizeof zero));
  EXPECT_EQ(0, std::memcmp(&out[3], &sentinel, sizeof sentinel));

  std::memset(out, 0x66, sizeof out);
  EXPECT_EQ(1, X9Watch_GetTrackPoints(2, out));  // claims none: writes none
  EXPECT_EQ(0, std::memcmp(&out[0], &sentinel, sizeof sentinel));
  EXPECT_EQ(x9::kDeviceFailure, X9Watch_GetTrackPoints(4, out));

  const x9::RouteHeader negative = RouteNamed("NEGATIVE", -1);
  ASSERT_EQ(1, X9Watch_AddRoute(&negative, nullptr, 0));
  x9::RoutePoint routeOut[1];
  std::memset(routeOut, 0x66, sizeof routeOut);
  EXPECT_EQ(1, X9Watch_GetRoutePoints(1, routeOut));
  EXPECT_EQ(0x66666666, routeOut[0].latitude);

  x9::TrackHeader read{};
  EXPECT_EQ(x9::kDeviceFailure, X9Watch_GetTrackHeader(0, &read));
  EXPECT_EQ(1, X9Watch_GetTrackHeader(1, &read));
  EXPECT_EQ(3, read.pointCount);
}

// --- x9.dll loaded as the module loads it ------------------------------------------------------

using x9::platform::Library;

// The watch library in one of the build's plug-in directories.
std::string WatchLibraryPath(const std::string& directory) {
  return directory + x9::platform::PathSeparator() + "x9.dll";
}

template <typename Fn>
Fn Entry(const Library& library, const char* name) {
  return library.Find<Fn>(name);
}

TEST_F(WatchTest, ModuleForwardsEveryEntryPointAndCountsItsLoads) {
  Library library(WatchLibraryPath(x9test::PluginDirectory()).c_str());
  ASSERT_TRUE(library.IsLoaded()) << WatchLibraryPath(x9test::PluginDirectory());
  EXPECT_EQ(1, X9Watch_LoadCount());
  for (const char* name : x9::kEntryPointNames)
    EXPECT_NE(nullptr, library.Find(name)) << name;

  // Through the module's own types: a wrong calling convention or stack size breaks here.
  const auto points = RoutePoints(3, 1000);
  const x9::RouteHeader header = RouteNamed("BY VALUE", 3);
  EXPECT_EQ(1, Entry<x9::SearchOnPortsFn>(library, "SearchOnPorts")(0x100000002ull));
  EXPECT_EQ(1, Entry<x9::PutRouteFn>(library, "PutRoute")(header, points.data()));
  EXPECT_EQ(1, Entry<x9::GetRouteCountFn>(library, "GetRouteCount")());
  x9::RoutePoint read[3];
  EXPECT_EQ(1, Entry<x9::GetRoutePointsFn>(library, "GetRoutePoints")(1, read));
  EXPECT_EQ(0, std::memcmp(read, points.data(), sizeof read));
  EXPECT_EQ(1, Entry<x9::DeleteRouteFn>(library, "DeleteRoute")(1));
  EXPECT_EQ(0, X9Watch_RouteCount());
  EXPECT_EQ("SearchOnPorts\nPutRoute BY VALUE 3\nGetRouteCount\nGetRoutePoints 1\nDeleteRoute 1\n",
            X9WatchCallLogString());

  library.Reset();
  EXPECT_EQ(1, X9Watch_UnloadCount());
}

TEST_F(WatchTest, MissingModuleLacksOnlyGetSettings) {
  Library library(WatchLibraryPath(x9test::MissingEntryPluginDirectory()).c_str());
  ASSERT_TRUE(library.IsLoaded()) << WatchLibraryPath(x9test::MissingEntryPluginDirectory());
  for (const char* name : x9::kEntryPointNames) {
    EXPECT_EQ(std::strcmp(name, "GetSettings") != 0, library.Find(name) != nullptr) << name;
  }
}

}  // namespace
