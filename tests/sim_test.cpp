// Tests of the host and watch simulators themselves: every other suite takes their word for what
// the host holds and what the watch did.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#endif

#include "device/device_api.h"
#include "platform/platform.h"
#include "host/host_sim.h"
#include "host/tpi.h"
#include "watch/watch_sim.h"

namespace {

// --- Datum conversion --------------------------------------------------------------------------

// Reference for the host's datum shift, computed the long way: geodetic to geocentric on one
// ellipsoid, translate, and back on the other by iteration. The shift is exact this way; the
// host's closed formulas must agree to well under a metre.
struct Ellipsoid {
  double a;
  double f;
};
constexpr Ellipsoid kBessel{6377397.155, 1.0 / 299.1528128};
constexpr Ellipsoid kWgs84{6378137.0, 1.0 / 298.257223563};
constexpr double kTokyoToWgs84[3] = {-148.0, 507.0, 685.0};
constexpr double kRadian = 3.14159265358979323846 / 180.0;
constexpr double kOneMetreInDegrees = 1.0 / 111000.0;

void ReferenceShift(const Ellipsoid& from, const Ellipsoid& to, double sign, double& latitude,
                    double& longitude) {
  const double e2From = from.f * (2 - from.f);
  const double sinLat = std::sin(latitude * kRadian);
  const double n = from.a / std::sqrt(1 - e2From * sinLat * sinLat);
  double x = n * std::cos(latitude * kRadian) * std::cos(longitude * kRadian);
  double y = n * std::cos(latitude * kRadian) * std::sin(longitude * kRadian);
  double z = n * (1 - e2From) * sinLat;
  x += sign * kTokyoToWgs84[0];
  y += sign * kTokyoToWgs84[1];
  z += sign * kTokyoToWgs84[2];

  const double e2 = to.f * (2 - to.f);
  const double p = std::hypot(x, y);
  double phi = std::atan2(z, p * (1 - e2));
  for (int i = 0; i < 20; ++i) {
    const double nTo = to.a / std::sqrt(1 - e2 * std::sin(phi) * std::sin(phi));
    const double h = p / std::cos(phi) - nTo;
    phi = std::atan2(z, p * (1 - e2 * nTo / (nTo + h)));
  }
  latitude = phi / kRadian;
  longitude = std::atan2(y, x) / kRadian;
}

// Records are filled and copied with memset and memcpy only: padding bytes (64-bit build) are
// compared too, and struct copies need not keep them.
void Pattern(tagGPSDBITEM& item, double latitude, double longitude) {
  std::memset(&item, 0x5A, sizeof item);  // every unassigned byte recognisable
  item.size = sizeof item;
  item.name = nullptr;
  item.ident = nullptr;
  item.latitude = latitude;
  item.longitude = longitude;
  item.altitude = 40.0;
}

template <typename Record>
void CopyBytes(Record& to, const Record& from) {
  std::memcpy(&to, &from, sizeof to);
}

struct Place {
  const char* name;
  double latitude;
  double longitude;
};
constexpr Place kPlaces[] = {
    {"Tokyo Station", 35.6781, 139.7704},
    {"Sapporo", 43.0642, 141.3469},
    {"Naha", 26.2124, 127.6792},
    {"Wakkanai", 45.4156, 141.6731},
    {"Southern hemisphere", -33.8688, 151.2093},
};

class HostTest : public ::testing::Test {
 protected:
  void SetUp() override { X9Host_Reset(); }
};

TEST_F(HostTest, DatumShiftsAgreeWithTheGeocentricReference) {
  for (const Place& place : kPlaces) {
    SCOPED_TRACE(place.name);
    tagGPSDBITEM tokyo, wgs, back;
    Pattern(tokyo, place.latitude, place.longitude);
    Pattern(wgs, 0, 0);
    Pattern(back, 0, 0);
    TPI_ConvertDatum(&tokyo, &wgs, 1, 0);
    double latitude = place.latitude, longitude = place.longitude;
    ReferenceShift(kBessel, kWgs84, 1.0, latitude, longitude);
    EXPECT_NEAR(wgs.latitude, latitude, kOneMetreInDegrees);
    EXPECT_NEAR(wgs.longitude, longitude, kOneMetreInDegrees);

    TPI_ConvertDatum(&tokyo, &back, 0, 1);  // the same numbers read as WGS 84 this time
    latitude = place.latitude;
    longitude = place.longitude;
    ReferenceShift(kWgs84, kBessel, -1.0, latitude, longitude);
    EXPECT_NEAR(back.latitude, latitude, kOneMetreInDegrees);
    EXPECT_NEAR(back.longitude, longitude, kOneMetreInDegrees);
  }
  // Around Tokyo the datums are known to differ by about 12 seconds north and 12 seconds west.
  tagGPSDBITEM station;
  Pattern(station, kPlaces[0].latitude, kPlaces[0].longitude);
  TPI_ConvertDatum(&station, &station, 1, 0);
  EXPECT_NEAR(station.latitude - kPlaces[0].latitude, 0.00323, 0.0002);
  EXPECT_NEAR(station.longitude - kPlaces[0].longitude, -0.00322, 0.0002);
}

TEST_F(HostTest, DatumRoundTripIsCloseToIdentityAndTouchesOnlyCoordinates) {
  for (const Place& place : kPlaces) {
    SCOPED_TRACE(place.name);
    tagGPSDBITEM original, item;
    Pattern(original, place.latitude, place.longitude);
    CopyBytes(item, original);
    TPI_ConvertDatum(&item, &item, 1, 0);  // in place
    EXPECT_GT(std::fabs(item.latitude - original.latitude), 100 * kOneMetreInDegrees);
    TPI_ConvertDatum(&item, &item, 0, 1);
    // Each direction is a first-order formula evaluated at its own starting point: back within
    // a decimetre, not bit for bit.
    EXPECT_NEAR(item.latitude, original.latitude, 0.2 * kOneMetreInDegrees);
    EXPECT_NEAR(item.longitude, original.longitude, 0.2 * kOneMetreInDegrees);
    EXPECT_EQ(0, std::memcmp(&item.altitude, &original.altitude,
                             sizeof item - offsetof(tagGPSDBITEM, altitude)));
    EXPECT_EQ(0, std::memcmp(&item, &original, offsetof(tagGPSDBITEM, latitude)));
  }
}

TEST_F(HostTest, DatumConversionCopiesUnchangedForSameOrUnknownDatums) {
  tagGPSDBITEM source;
  Pattern(source, 35.5, 139.5);
  for (const auto& [from, to] :
       {std::pair{0, 0}, std::pair{1, 1}, std::pair{1, 7}, std::pair{9, 0}}) {
    SCOPED_TRACE(std::to_string(from) + "->" + std::to_string(to));
    tagGPSDBITEM destination;
    std::memset(&destination, 0xEE, sizeof destination);
    TPI_ConvertDatum(&source, &destination, from, to);
    EXPECT_EQ(0, std::memcmp(&source, &destination, sizeof source));
  }
}

// --- Transfer list -----------------------------------------------------------------------------

void Fill(tagGPSDBHEADER& header, const char* name, uint8_t kind) {
  std::memset(&header, 0, sizeof header);
  header.size = sizeof header;
  header.name = name;
  header.kind = kind;
}

TEST_F(HostTest, ResetLeavesOnlyAnEmptyWaypointSet) {
  tagGPSDBHEADER route;
  Fill(route, "R", x9::kListRoutes);
  ASSERT_EQ(1, TPI_AddDataTrackGpsProtocol(&route));
  tagGPSDBITEM item;
  Pattern(item, 1, 2);
  ASSERT_EQ(1, TPI_AddDataItemGpsProtocol(0, &item));
  X9Host_Reset();
  EXPECT_EQ(1, TPI_GetTrackCountGpsProtocol());
  EXPECT_EQ(0, TPI_GetItemCountGpsProtocol(0));
  tagGPSDBHEADER header;
  Fill(header, nullptr, 0);
  ASSERT_EQ(1, TPI_GetStatGpsProtocol(0, &header));
  EXPECT_EQ(x9::kListWaypoints, header.kind);
  ASSERT_NE(nullptr, header.name);
  EXPECT_STREQ("", header.name);
}

TEST_F(HostTest, ItemsAreStoredWithEveryByteAndTheirOwnTexts) {
  char setName[] = "ROUTE A";
  tagGPSDBHEADER header;
  Fill(header, setName, x9::kListRoutes);
  header.reserved18[0] = 0x12;
  header.reserved18[1] = 0x34;
  const int set = TPI_AddDataTrackGpsProtocol(&header);
  ASSERT_EQ(1, set);

  char name[] = "\x83\x7C\x83\x43\x83\x93\x83\x67";  // Shift-JIS bytes travel untouched
  tagGPSDBITEM item, sent;
  Pattern(item, 35.1, 139.2);
  item.name = name;
  ASSERT_EQ(1, TPI_AddDataItemGpsProtocol(set, &item));
  CopyBytes(sent, item);
  std::memset(name, 'x', sizeof name - 1);  // the caller's buffers are its own again
  std::memset(setName, 'x', sizeof setName - 1);

  tagGPSDBITEM got;
  std::memset(&got, 0, sizeof got);
  got.size = sizeof got;
  ASSERT_EQ(1, TPI_GetItemGpsProtocol(set, 0, &got));
  EXPECT_STREQ("\x83\x7C\x83\x43\x83\x93\x83\x67", got.name);
  EXPECT_EQ(nullptr, got.ident);
  got.name = sent.name;
  EXPECT_EQ(0, std::memcmp(&got, &sent, sizeof got));

  tagGPSDBHEADER stored;
  Fill(stored, nullptr, 0);
  ASSERT_EQ(1, TPI_GetStatGpsProtocol(set, &stored));
  EXPECT_STREQ("ROUTE A", stored.name);
  EXPECT_EQ(0x12, stored.reserved18[0]);
  EXPECT_EQ(0x34, stored.reserved18[1]);

  // Replacing the header copies its name as well.
  char newName[] = "RENAMED";
  stored.name = newName;
  stored.itemCount = 5;
  TPI_SetStatGpsProtocol(set, &stored);
  newName[0] = 'x';
  EXPECT_STREQ("RENAMED", X9Host_Set(set)->name);
  EXPECT_EQ(5, X9Host_Set(set)->itemCount);
}

TEST_F(HostTest, OutOfRangeIndexesWriteAndStoreNothing) {
  tagGPSDBHEADER header, untouchedHeader;
  std::memset(&header, 0xCC, sizeof header);
  CopyBytes(untouchedHeader, header);
  EXPECT_EQ(0, TPI_GetStatGpsProtocol(1, &header));
  EXPECT_EQ(0, TPI_GetStatGpsProtocol(-1, &header));
  EXPECT_EQ(0, std::memcmp(&header, &untouchedHeader, sizeof header));

  tagGPSDBITEM item, untouchedItem;
  Pattern(item, 1, 2);
  CopyBytes(untouchedItem, item);
  EXPECT_EQ(0, TPI_GetItemGpsProtocol(0, 0, &item));  // the waypoint set is empty
  EXPECT_EQ(0, std::memcmp(&item, &untouchedItem, sizeof item));

  EXPECT_EQ(0, TPI_AddDataItemGpsProtocol(3, &item));
  EXPECT_EQ(0, TPI_GetItemCountGpsProtocol(3));
  EXPECT_EQ(1, X9Host_SetCount());
  EXPECT_EQ(0, X9Host_ItemCount(0));
}

TEST_F(HostTest, DumpSeesEveryItemByteButNotWhereTextsLive) {
  const auto seed = [](const char* name, uint8_t reservedByte) {
    X9Host_Reset();
    tagGPSDBHEADER header;
    Fill(header, name, x9::kListTracks);
    const int set = X9Host_AddSet(&header);
    tagGPSDBITEM item;
    Pattern(item, 10, 20);
    item.name = name;
    item.reserved80[7] = reservedByte;
    X9Host_AddItem(set, &item);
    return X9HostDumpString();
  };
  std::string firstBuffer = "TRACK", secondBuffer = "TRACK";
  const std::string reference = seed(firstBuffer.c_str(), 0x5A);
  EXPECT_EQ(reference, seed(secondBuffer.c_str(), 0x5A));
  EXPECT_NE(reference, seed(firstBuffer.c_str(), 0x5B));
  EXPECT_NE(reference, seed("TRACl", 0x5A));
  // A short buffer gets the first bytes, and the full size is still reported.
  std::vector<char> shortBuffer(10, '\0');
  EXPECT_EQ(reference.size(), X9Host_Dump(shortBuffer.data(), shortBuffer.size()));
}

// --- Other services ----------------------------------------------------------------------------

TEST_F(HostTest, CallsAreLoggedInOrderWithRecordSizes) {
  tagGPSDBHEADER header;
  Fill(header, "S", x9::kListRoutes);
  tagGPSDBITEM item;
  Pattern(item, 1, 2);
  X9Host_SetVersion(8600);
  EXPECT_EQ(8600, TPI_GetVersion());
  const int set = TPI_AddDataTrackGpsProtocol(&header);
  TPI_AddDataItemGpsProtocol(set, &item);
  TPI_ShowAllDataGarminUplist(3);
  TPI_ShowAllDataGarminUplist(2);
  const std::string expected = "TPI_GetVersion\nTPI_AddDataTrackGpsProtocol " +
                               std::to_string(sizeof header) + "\nTPI_AddDataItemGpsProtocol 1," +
                               std::to_string(sizeof item) +
                               "\nTPI_ShowAllDataGarminUplist 3\nTPI_ShowAllDataGarminUplist 2\n";
  EXPECT_EQ(expected, X9HostCallLogString());
  EXPECT_EQ(2, X9Host_CallCount("TPI_ShowAllDataGarminUplist"));
  EXPECT_EQ(0, X9Host_CallCount("TPI_ShowAllData"));  // whole names only
  X9Host_ClearLog();
  EXPECT_EQ("", X9HostCallLogString());
}

TEST_F(HostTest, PluginDirectoryIsHandedOverByteForByte) {
  char buffer[270];
  std::memset(buffer, '#', sizeof buffer);
  X9Host_SetPluginDir("C:\\Host\\Plugins");
  TPI_GetPluginDir(buffer);
  EXPECT_STREQ("C:\\Host\\Plugins", buffer);
  EXPECT_EQ('#', buffer[sizeof "C:\\Host\\Plugins"]);

  const std::string unterminated(300, 'd');
  X9Host_SetPluginDirBytes(unterminated.data(), unterminated.size());
  std::memset(buffer, '#', sizeof buffer);
  TPI_GetPluginDir(buffer);
  EXPECT_EQ(std::string(260, 'd'), std::string(buffer, 260));
  EXPECT_EQ('#', buffer[260]);
}

long X9_STDCALL RecordingCallback(int, unsigned, long) { return 1; }

TEST_F(HostTest, ProtocolRegistrationKeepsCopies) {
  EXPECT_EQ(nullptr, X9Host_Callback());
  char name[] = "Watch protocol";
  tagGPSPROTOCOLINFO info;
  for (size_t i = 0; i < sizeof info; ++i)
    reinterpret_cast<unsigned char*>(&info)[i] = static_cast<unsigned char>(i);
  info.size = sizeof info;
  const tagGPSPROTOCOLINFO sent = info;
  EXPECT_NE(0u, TPI_AddGpsProtocol(42, RecordingCallback, name, &info));
  name[0] = 'x';
  std::memset(&info, 0, sizeof info);
  EXPECT_EQ(&RecordingCallback, X9Host_Callback());
  EXPECT_STREQ("Watch protocol", X9Host_ProtocolName());
  EXPECT_EQ(42u, X9Host_ProtocolPluginId());
  EXPECT_EQ(0, std::memcmp(&sent, X9Host_ProtocolInfo(), sizeof sent));
}

void CountPump(void* context) { ++*static_cast<int*>(context); }

TEST_F(HostTest, PumpRunsTheHookEachTimeAndTheWindowStaysTheSame) {
  int pumps = 0;
  X9Host_SetPumpHook(CountPump, &pumps);
  TPI_Pump();
  TPI_Pump();
  EXPECT_EQ(2, pumps);
  X9Host_SetPumpHook(nullptr, nullptr);
  TPI_Pump();
  EXPECT_EQ(2, pumps);
  EXPECT_EQ(3, X9Host_CallCount("TPI_Pump"));

  void* window = TPI_GetGarminUplist();
  ASSERT_NE(nullptr, window);
  EXPECT_EQ(window, TPI_GetGarminUplist());
  EXPECT_EQ(window, X9Host_Window());
}

#if defined(_WIN32)
// What lets a progress window see its Abort click during a transfer: the host's pump delivers
// what is queued, and only then runs the hook.
int g_delivered = 0;

LRESULT CALLBACK CountingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_APP + 1) {
    ++g_delivered;
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

void NoteDeliveredSoFar(void* context) { *static_cast<int*>(context) = g_delivered; }

TEST_F(HostTest, PumpDeliversQueuedMessagesBeforeTheHook) {
  EXPECT_TRUE(IsWindow(static_cast<HWND>(X9Host_Window())));
  WNDCLASSW windowClass{};
  windowClass.lpfnWndProc = CountingProc;
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.lpszClassName = L"X9SimTestCounter";
  RegisterClassW(&windowClass);
  const HWND window = CreateWindowExW(0, windowClass.lpszClassName, L"", 0, 0, 0, 0, 0,
                                      HWND_MESSAGE, nullptr, windowClass.hInstance, nullptr);
  ASSERT_NE(nullptr, window);
  int deliveredAtHook = -1;
  X9Host_SetPumpHook(NoteDeliveredSoFar, &deliveredAtHook);
  PostMessageW(window, WM_APP + 1, 0, 0);
  PostMessageW(window, WM_APP + 1, 0, 0);
  TPI_Pump();
  EXPECT_EQ(2, g_delivered);
  EXPECT_EQ(2, deliveredAtHook);
  DestroyWindow(window);
}
#endif

TEST_F(HostTest, HostileItemCountDriftsOnEachCallOfItsSetOnly) {
  tagGPSDBHEADER header;
  Fill(header, "R", x9::kListRoutes);
  const int set = X9Host_AddSet(&header);
  tagGPSDBITEM item;
  Pattern(item, 1, 2);
  for (int i = 0; i < 3; ++i) X9Host_AddItem(set, &item);
  X9Host_AddItem(0, &item);

  X9Host_SetItemCountDrift(set, -1);
  EXPECT_EQ(3, TPI_GetItemCountGpsProtocol(set));
  EXPECT_EQ(1, TPI_GetItemCountGpsProtocol(0));
  EXPECT_EQ(2, TPI_GetItemCountGpsProtocol(set));
  EXPECT_EQ(1, TPI_GetItemCountGpsProtocol(set));
  X9Host_SetItemCountDrift(set, 2);
  EXPECT_EQ(3, TPI_GetItemCountGpsProtocol(set));
  EXPECT_EQ(5, TPI_GetItemCountGpsProtocol(set));
  X9Host_SetItemCountDrift(set, 0);
  EXPECT_EQ(3, TPI_GetItemCountGpsProtocol(set));
  EXPECT_EQ(3, TPI_GetItemCountGpsProtocol(set));
}

TEST_F(HostTest, HostileReadsLeaveTheRecordsUntouched) {
  tagGPSDBITEM item;
  Pattern(item, 1, 2);
  item.name = "W";
  X9Host_AddItem(0, &item);

  X9Host_SetReadsFillNothing(1);
  tagGPSDBHEADER header, headerBefore;
  std::memset(&header, 0xAB, sizeof header);
  CopyBytes(headerBefore, header);
  tagGPSDBITEM got, itemBefore;
  std::memset(&got, 0xAB, sizeof got);
  CopyBytes(itemBefore, got);
  TPI_GetStatGpsProtocol(0, &header);
  TPI_GetItemGpsProtocol(0, 0, &got);
  EXPECT_EQ(0, std::memcmp(&header, &headerBefore, sizeof header));
  EXPECT_EQ(0, std::memcmp(&got, &itemBefore, sizeof got));

  X9Host_SetReadsFillNothing(0);
  ASSERT_EQ(1, TPI_GetItemGpsProtocol(0, 0, &got));
  EXPECT_STREQ("W", got.name);
}

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
  EXPECT_EQ(-1, X9Watch_DeleteRoute(3));
  EXPECT_EQ(-1, X9Watch_DeleteRoute(0));
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
  X9Watch_SetResult("PutRoute", 2, -1);
  X9Watch_SetResult("PutRoute", 3, 0);
  EXPECT_EQ(1, X9Watch_PutRoute(&header, nullptr));
  EXPECT_EQ(-1, X9Watch_PutRoute(&header, nullptr));  // refused: nothing stored
  EXPECT_EQ(1, X9Watch_RouteCount());
  EXPECT_EQ(0, X9Watch_PutRoute(&header, nullptr));  // other results still do the work
  EXPECT_EQ(2, X9Watch_RouteCount());
  EXPECT_EQ(1, X9Watch_PutRoute(&header, nullptr));
  EXPECT_EQ(3, X9Watch_RouteCount());

  X9Watch_SetResult("DeleteRoute", 1, -1);
  EXPECT_EQ(-1, X9Watch_DeleteRoute(1));
  EXPECT_EQ(3, X9Watch_RouteCount());

  x9::RouteHeader read, before;
  std::memset(&read, 0x77, sizeof read);
  CopyBytes(before, read);
  X9Watch_SetResult("GetRouteHeader", 1, -1);
  EXPECT_EQ(-1, X9Watch_GetRouteHeader(1, &read));
  EXPECT_EQ(0, std::memcmp(&read, &before, sizeof read));

  X9Watch_ForceResult("GetRouteCount", 7);
  X9Watch_ForceResult("SearchOnPorts", -1);
  X9Watch_SetResult("GetRouteCount", 2, 9);  // a numbered call's rule wins over the forced one
  EXPECT_EQ(7, X9Watch_GetRouteCount());
  EXPECT_EQ(9, X9Watch_GetRouteCount());
  EXPECT_EQ(7, X9Watch_GetRouteCount());
  EXPECT_EQ(-1, X9Watch_SearchOnPorts(0));
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
  EXPECT_EQ(-1, X9Watch_GetTrackPoints(4, out));

  const x9::RouteHeader negative = RouteNamed("NEGATIVE", -1);
  ASSERT_EQ(1, X9Watch_AddRoute(&negative, nullptr, 0));
  x9::RoutePoint routeOut[1];
  std::memset(routeOut, 0x66, sizeof routeOut);
  EXPECT_EQ(1, X9Watch_GetRoutePoints(1, routeOut));
  EXPECT_EQ(0x66666666, routeOut[0].latitude);

  x9::TrackHeader read{};
  EXPECT_EQ(-1, X9Watch_GetTrackHeader(0, &read));
  EXPECT_EQ(1, X9Watch_GetTrackHeader(1, &read));
  EXPECT_EQ(3, read.pointCount);
}

// --- x9.dll loaded as the module loads it ------------------------------------------------------

using x9::platform::Library;

// The build puts programs in bin/ and the watch library in plugins/ (and plugins-missing/) beside.
std::string WatchLibraryPath(const char* folder) {
#if defined(_WIN32)
  char path[MAX_PATH];
  const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  const char separator = '\\';
#else
  char path[PATH_MAX];
  const ssize_t length = readlink("/proc/self/exe", path, sizeof path);
  const char separator = '/';
#endif
  std::string executable(path, length > 0 ? static_cast<size_t>(length) : 0);
  const std::string bin = executable.substr(0, executable.find_last_of("\\/"));
  return bin.substr(0, bin.find_last_of("\\/")) + separator + folder + separator + "x9.dll";
}

template <typename Fn>
Fn Entry(const Library& library, const char* name) {
  return library.Find<Fn>(name);
}

TEST_F(WatchTest, ModuleForwardsEveryEntryPointAndCountsItsLoads) {
  Library library(WatchLibraryPath("plugins").c_str());
  ASSERT_TRUE(library.IsLoaded()) << WatchLibraryPath("plugins");
  EXPECT_EQ(1, X9Watch_LoadCount());
  for (const char* name : x9::kEntryPointNames) EXPECT_NE(nullptr, library.Find(name)) << name;

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
  Library library(WatchLibraryPath("plugins-missing").c_str());
  ASSERT_TRUE(library.IsLoaded()) << WatchLibraryPath("plugins-missing");
  for (const char* name : x9::kEntryPointNames) {
    EXPECT_EQ(std::strcmp(name, "GetSettings") != 0, library.Find(name) != nullptr) << name;
  }
}

}  // namespace
