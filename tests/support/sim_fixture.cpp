#include "support/sim_fixture.h"

#include <algorithm>
#include <cstring>
#include <sstream>

#include "support/test_paths.h"
#include "transfer/dispatcher.h"
#include "transfer/transfer_steps.h"
#include "ui/user_interface.h"

namespace x9test {

namespace {
// Up to 20 bytes of text, zero-filled; a 20-byte text leaves the field unterminated on purpose.
void SetField(char (&field)[20], const char* text) {
  std::memset(field, 0, sizeof field);
  std::memcpy(field, text, std::min(std::strlen(text), sizeof field));
}
}  // namespace

x9::TrackPoint MakeTrackPoint(int year, int month, int day, int hour, int minute, int second,
                              int32_t latitude, int32_t longitude, int32_t altitude,
                              int32_t value36, uint16_t value40) {
  x9::TrackPoint p{};
  p.year = year;
  p.month = month;
  p.day = day;
  p.hour = hour;
  p.minute = minute;
  p.second = second;
  p.latitude = latitude;
  p.longitude = longitude;
  p.altitude = altitude;
  p.value36 = value36;
  p.value40 = value40;
  return p;
}

x9::RoutePoint MakeRoutePoint(const char* name, int32_t latitude, int32_t longitude,
                              int32_t altitude) {
  x9::RoutePoint p{};
  SetField(p.name, name);
  p.latitude = latitude;
  p.longitude = longitude;
  p.altitude = altitude;
  return p;
}

int AddTrack(int pointCount, int claimedCount) {
  static int serial = 0;
  ++serial;
  std::vector<x9::TrackPoint> points;
  for (int i = 0; i < pointCount; ++i) {
    points.push_back(MakeTrackPoint(2005, 6, 1 + serial % 28, 10, i / 60 % 60, i % 60,
                                    356000000 + serial * 1000 + i, 1397000000 - i, 10 + i,
                                    i * 3 - 7, static_cast<uint16_t>(i * 11)));
  }
  x9::TrackHeader header{};
  header.pointCount = claimedCount >= 0 ? claimedCount : pointCount;
  return X9Watch_AddTrack(&header, points.data(), pointCount);
}

int AddRoute(const std::string& name, int pointCount, int claimedCount) {
  std::vector<x9::RoutePoint> points;
  for (int i = 0; i < pointCount; ++i) {
    const std::string pointName = name.substr(0, 8) + "-" + std::to_string(i + 1);
    points.push_back(
        MakeRoutePoint(pointName.c_str(), 350000000 + i * 1000, -1200000000 - i, i * 2));
  }
  x9::RouteHeader header{};
  SetField(header.name, name.c_str());
  header.pointCount = claimedCount >= 0 ? claimedCount : pointCount;
  return X9Watch_AddRoute(&header, points.data(), pointCount);
}

tagGPSDBITEM MakeHostItem(const char* ident, double latitude, double longitude, double altitude,
                          uint8_t kind, uint8_t datum) {
  tagGPSDBITEM item{};
  item.size = sizeof item;
  item.name = ident;
  item.ident = ident;
  item.latitude = latitude;
  item.longitude = longitude;
  item.altitude = altitude;
  item.kind = kind;
  item.datum = datum;
  return item;
}

std::vector<std::string> WatchRouteNames() {
  std::vector<std::string> names;
  for (int i = 1; i <= X9Watch_RouteCount(); ++i)
    names.push_back(X9Watch_Route(i)->name);
  return names;
}

int AddHostRoute(const char* name, const std::vector<tagGPSDBITEM>& items) {
  tagGPSDBHEADER header{};
  header.size = sizeof header;
  header.name = name;
  header.kind = x9::kListRoutes;
  const int set = X9Host_AddSet(&header);
  for (const auto& item : items)
    X9Host_AddItem(set, &item);
  return set;
}

void SimFixture::SetUp() {
  ui = ScriptedUi{};
  abortAtPump_ = 0;
  pumps_ = 0;
  X9Host_Reset();
  X9Watch_Reset();
  X9Host_SetPluginDir(PluginDirectory().c_str());
  X9Host_SetPumpHook(&SimFixture::OnPump, this);
  x9::SetUserInterface(&ui);
  x9::g_settleMilliseconds = 0;  // keeps hundreds of transfers fast; one test checks the pause
  x9::g_settlePause = &x9::platform::PauseMilliseconds;
  x9::AllocationControl::SetLimit(x9::kDefaultBufferLimit);
  x9::AllocationControl::Reset();
}

void SimFixture::TearDown() {
  x9::SetUserInterface(nullptr);
  X9Host_SetPumpHook(nullptr, nullptr);
  X9Host_SetCallHook(nullptr, nullptr);
  x9::AllocationControl::SetLimit(x9::kDefaultBufferLimit);
  x9::AllocationControl::Reset();
  EXPECT_EQ(x9::AllocationControl::LiveBytes(), 0u) << "a working buffer outlived its transfer";
  EXPECT_EQ(ui.OpenWindows(), 0) << "a progress window outlived its transfer";
}

long SimFixture::Request(unsigned flags) { return TransferCallback(0, flags, 0); }

void SimFixture::OnPump(void* self) {
  auto* fixture = static_cast<SimFixture*>(self);
  ++fixture->pumps_;
  if (fixture->pumps_ == fixture->abortAtPump_) fixture->ui.PressAbort();
}

namespace {
std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);)
    lines.push_back(line);
  return lines;
}
}  // namespace

std::vector<unsigned> SimFixture::Refreshes() const {
  std::vector<unsigned> kinds;
  const std::string prefix = "TPI_ShowAllDataGarminUplist ";
  for (const auto& line : Lines(X9HostCallLogString())) {
    if (line.rfind(prefix, 0) == 0)
      kinds.push_back(static_cast<unsigned>(std::stoul(line.substr(prefix.size()))));
  }
  return kinds;
}

std::vector<std::string> SimFixture::WatchLog() const { return Lines(X9WatchCallLogString()); }

std::vector<std::string> SimFixture::HostItemNames(int set) const {
  std::vector<std::string> names;
  for (int i = 0; i < X9Host_ItemCount(set); ++i) {
    const tagGPSDBITEM* item = X9Host_Item(set, i);
    names.push_back(item->name ? item->name : "(null)");
  }
  return names;
}

}  // namespace x9test
