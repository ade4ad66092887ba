// Tests of the host simulator itself: every other suite takes its word for what the host holds,
// what it was asked and how it converts datums.
#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#if defined(_WIN32)
#include <windows.h>
#endif

#include "host/records.h"
#include "host/tpi.h"
#include "sim/host/datum_shift.h"
#include "sim/host/host_sim.h"
#include "support/byte_copy.h"

namespace {

using x9test::CopyBytes;

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
// Datum numbers the host does not know.
constexpr int kUnknownDatum = 7;
constexpr int kOtherUnknownDatum = 9;

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

struct Place {
  const char* name;
  double latitude;
  double longitude;
};
constexpr Place kTokyoStation = {"Tokyo Station", 35.6781, 139.7704};
constexpr Place kPlaces[] = {
    kTokyoStation,
    {"Sapporo", 43.0642, 141.3469},
    {"Naha", 26.2124, 127.6792},
    {"Wakkanai", 45.4156, 141.6731},
    {"Southern hemisphere", -33.8688, 151.2093},
};

void PrintTo(const Place& place, std::ostream* out) { *out << place.name; }

class HostTest : public ::testing::Test {
 protected:
  void SetUp() override { X9Host_Reset(); }
  // No hook of a finished test may outlive it.
  void TearDown() override { X9Host_Reset(); }
};

// The Tokyo datum's coordinates of each place, shifted to WGS 84 and back.
class DatumShiftTest : public HostTest, public ::testing::WithParamInterface<Place> {};

TEST_P(DatumShiftTest, AgreesWithTheGeocentricReference) {
  const Place& place = GetParam();
  tagGPSDBITEM tokyo, wgs, back;
  Pattern(tokyo, place.latitude, place.longitude);
  Pattern(wgs, 0, 0);
  Pattern(back, 0, 0);
  TPI_ConvertDatum(&tokyo, &wgs, x9sim::kDatumTokyo, x9sim::kDatumWgs84);
  double latitude = place.latitude, longitude = place.longitude;
  ReferenceShift(kBessel, kWgs84, 1.0, latitude, longitude);
  EXPECT_NEAR(wgs.latitude, latitude, kOneMetreInDegrees);
  EXPECT_NEAR(wgs.longitude, longitude, kOneMetreInDegrees);

  // The same numbers read as WGS 84 this time.
  TPI_ConvertDatum(&tokyo, &back, x9sim::kDatumWgs84, x9sim::kDatumTokyo);
  latitude = place.latitude;
  longitude = place.longitude;
  ReferenceShift(kWgs84, kBessel, -1.0, latitude, longitude);
  EXPECT_NEAR(back.latitude, latitude, kOneMetreInDegrees);
  EXPECT_NEAR(back.longitude, longitude, kOneMetreInDegrees);
}

TEST_P(DatumShiftTest, RoundTripIsCloseToIdentityAndTouchesOnlyCoordinates) {
  const Place& place = GetParam();
  tagGPSDBITEM original, item;
  Pattern(original, place.latitude, place.longitude);
  x9test::CopyBytes(item, original);
  TPI_ConvertDatum(&item, &item, x9sim::kDatumTokyo, x9sim::kDatumWgs84);  // in place
  EXPECT_GT(std::fabs(item.latitude - original.latitude), 100 * kOneMetreInDegrees);
  TPI_ConvertDatum(&item, &item, x9sim::kDatumWgs84, x9sim::kDatumTokyo);
  // Each direction is a first-order formula evaluated at its own starting point: back within
  // a decimetre, not bit for bit.
  EXPECT_NEAR(item.latitude, original.latitude, 0.2 * kOneMetreInDegrees);
  EXPECT_NEAR(item.longitude, original.longitude, 0.2 * kOneMetreInDegrees);
  EXPECT_EQ(0, std::memcmp(&item.altitude, &original.altitude,
                           sizeof item - offsetof(tagGPSDBITEM, altitude)));
  EXPECT_EQ(0, std::memcmp(&item, &original, offsetof(tagGPSDBITEM, latitude)));
}

INSTANTIATE_TEST_SUITE_P(HostTest, DatumShiftTest, ::testing::ValuesIn(kPlaces),
                         [](const ::testing::TestParamInfo<Place>& info) {
                           // "Southern hemisphere" becomes SouthernHemisphere.
                           std::string name;
                           bool wordStart = true;
                           for (const char* c = info.param.name; *c != '\0'; ++c) {
                             const auto byte = static_cast<unsigned char>(*c);
                             if (!std::isalnum(byte)) {
                               wordStart = true;
                               continue;
                             }
                             name += wordStart ? static_cast<char>(std::toupper(byte)) : *c;
                             wordStart = false;
                           }
                           return name;
                         });

TEST_F(HostTest, AroundTokyoTheDatumsDifferByAboutTwelveSecondsNorthAndWest) {
  tagGPSDBITEM station;
  Pattern(station, kTokyoStation.latitude, kTokyoStation.longitude);
  TPI_ConvertDatum(&station, &station, x9sim::kDatumTokyo, x9sim::kDatumWgs84);
  EXPECT_NEAR(station.latitude - kTokyoStation.latitude, 0.00323, 0.0002);
  EXPECT_NEAR(station.longitude - kTokyoStation.longitude, -0.00322, 0.0002);
}

// The same datum on both sides, or a datum the host does not know: a plain copy.
class DatumCopyTest : public HostTest, public ::testing::WithParamInterface<std::pair<int, int>> {};

TEST_P(DatumCopyTest, CopiesUnchanged) {
  tagGPSDBITEM source;
  Pattern(source, 35.5, 139.5);
  tagGPSDBITEM destination;
  std::memset(&destination, 0xEE, sizeof destination);
  TPI_ConvertDatum(&source, &destination, GetParam().first, GetParam().second);
  EXPECT_EQ(0, std::memcmp(&source, &destination, sizeof source));
}

INSTANTIATE_TEST_SUITE_P(HostTest, DatumCopyTest,
                         ::testing::Values(std::pair{x9sim::kDatumWgs84, x9sim::kDatumWgs84},
                                           std::pair{x9sim::kDatumTokyo, x9sim::kDatumTokyo},
                                           std::pair{x9sim::kDatumTokyo, kUnknownDatum},
                                           std::pair{kOtherUnknownDatum, x9sim::kDatumWgs84}),
                         [](const ::testing::TestParamInfo<std::pair<int, int>>& info) {
                           return "From" + std::to_string(info.param.first) + "To" +
                                  std::to_string(info.param.second);
                         });

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
  char ident[] = "ID";
  tagGPSDBITEM item, sent;
  Pattern(item, 35.1, 139.2);
  item.name = name;
  ASSERT_EQ(1, TPI_AddDataItemGpsProtocol(set, &item));
  item.ident = ident;
  ASSERT_EQ(1, TPI_AddDataItemGpsProtocol(set, &item));
  item.ident = nullptr;
  CopyBytes(sent, item);
  std::memset(name, 'x', sizeof name - 1);  // the caller's buffers are its own again
  std::memset(ident, 'x', sizeof ident - 1);
  std::memset(setName, 'x', sizeof setName - 1);

  tagGPSDBITEM got;
  std::memset(&got, 0, sizeof got);
  got.size = sizeof got;
  ASSERT_EQ(1, TPI_GetItemGpsProtocol(set, 1, &got));
  EXPECT_STREQ("ID", got.ident);
  EXPECT_STREQ("ID", X9Host_Item(set, 1)->ident);
  EXPECT_STREQ("\x83\x7C\x83\x43\x83\x93\x83\x67", X9Host_Item(set, 1)->name);
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
  EXPECT_STREQ("RENAMED", X9Host_GetSet(set)->name);
  EXPECT_EQ(5, X9Host_GetSet(set)->itemCount);
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
  EXPECT_EQ(1, X9Host_GetSetCount());
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
  for (int i = 0; i < 3; ++i)
    X9Host_AddItem(set, &item);
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

// Every size check of the other suites reads the host's log: the log must show the size the
// record really carried, and the list must keep it, whatever it is.
TEST_F(HostTest, TheLogAndTheListShowTheSizeEachRecordReallyCarried) {
  for (const int32_t size : {0, 7, 95, 96, 97, -1}) {
    SCOPED_TRACE(size);
    X9Host_Reset();
    tagGPSDBHEADER header;
    Fill(header, "S", x9::kListRoutes);
    header.size = size;
    const int set = TPI_AddDataTrackGpsProtocol(&header);
    TPI_SetStatGpsProtocol(set, &header);
    tagGPSDBITEM item;
    Pattern(item, 1, 2);
    item.size = size;
    TPI_AddDataItemGpsProtocol(set, &item);
    tagGPSDBHEADER read;
    Fill(read, nullptr, 0);
    read.size = size;
    TPI_GetStatGpsProtocol(set, &read);
    tagGPSDBITEM got = item;
    TPI_ConvertDatum(&got, &got, 0, 0);
    TPI_GetItemGpsProtocol(set, 0, &got);
    const std::string n = std::to_string(size);
    EXPECT_EQ(X9HostCallLogString(),
              "TPI_AddDataTrackGpsProtocol " + n + "\nTPI_SetStatGpsProtocol 1," + n +
                  "\nTPI_AddDataItemGpsProtocol 1," + n + "\nTPI_GetStatGpsProtocol 1," + n +
                  "\nTPI_ConvertDatum " + n + "," + n + ",0,0\nTPI_GetItemGpsProtocol 1,0," + n +
                  "\n");
    EXPECT_EQ(X9Host_GetSet(set)->size, size);
    EXPECT_EQ(X9Host_Item(set, 0)->size, size);
  }
}

// The hostile host stores what a well-behaved one stores, then overwrites the record and its
// texts; the call hook sees each record as it was handed over, before that.
TEST_F(HostTest, AHostileHostStoresTheSameThenOverwritesWhatItWasHanded) {
  struct Seen {
    std::vector<std::string> lines;
    std::vector<double> latitudes;
  };
  const auto run = [](bool hostile, char* setName, char* itemName, Seen& seen) {
    X9Host_Reset();
    X9Host_SetOverwritesWhatItWasHanded(hostile ? 1 : 0);
    X9Host_SetCallHook(
        [](const char* line, const void* record, void* context) {
          auto* s = static_cast<Seen*>(context);
          s->lines.push_back(line);
          if (std::string(line).rfind("TPI_AddDataItemGpsProtocol", 0) == 0)
            s->latitudes.push_back(static_cast<const tagGPSDBITEM*>(record)->latitude);
        },
        &seen);
    tagGPSDBHEADER header;
    Fill(header, setName, x9::kListRoutes);
    const int set = TPI_AddDataTrackGpsProtocol(&header);
    tagGPSDBITEM item;
    Pattern(item, 3, 4);
    item.name = itemName;
    item.ident = itemName;
    TPI_AddDataItemGpsProtocol(set, &item);
    const bool overwritten = header.value8 != 0 && item.latitude != 3;
    return std::make_pair(X9HostDumpString(), overwritten);
  };
  char setName[] = "SET", itemName[] = "ITEM";
  Seen cleanSeen, hostileSeen;
  const auto clean = run(false, setName, itemName, cleanSeen);
  EXPECT_FALSE(clean.second);
  EXPECT_STREQ(setName, "SET");
  const auto hostile = run(true, setName, itemName, hostileSeen);
  EXPECT_TRUE(hostile.second);
  EXPECT_EQ(hostile.first, clean.first);
  EXPECT_STREQ(setName, "ZZZ");
  EXPECT_STREQ(itemName, "ZZZZ");
  const std::vector<std::string> lines = {
      "TPI_AddDataTrackGpsProtocol " + std::to_string(sizeof(tagGPSDBHEADER)),
      "TPI_AddDataItemGpsProtocol 1," + std::to_string(sizeof(tagGPSDBITEM))};
  EXPECT_EQ(cleanSeen.lines, lines);
  EXPECT_EQ(hostileSeen.lines, lines);
  EXPECT_EQ(hostileSeen.latitudes, std::vector<double>{3});
}

}  // namespace
