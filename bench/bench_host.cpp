#include "bench_host.h"

#include <strings.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <new>

#include "device/device_api.h"
#include "host/convert.h"
#include "host/tpi.h"
#include "transfer/transfer_steps.h"
#include "ui/user_interface.h"

namespace x9bench {
namespace {

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "bench host: %s\n", what);
  std::abort();
}

// Strings the host keeps are cut to the slot; the module never hands over longer ones.
void CopyText(TextSlot& slot, const char* text) {
  if (text == nullptr) {
    slot[0] = '\0';
    return;
  }
  const size_t length = strnlen(text, kTextSlot - 1);
  std::memcpy(slot.data(), text, length);
  slot[length] = '\0';
}

}  // namespace

void HostStore::Reserve(size_t sets, size_t items) {
  // Filled, not merely reserved: the pages are touched now, not while a transfer is measured.
  sets_.assign(sets + 1, StoredSet{});
  items_.assign(items, tagGPSDBITEM{});
  names_.assign(items, TextSlot{});
  idents_.assign(items, TextSlot{});
  Clear();
}

void HostStore::Clear() {
  itemCount_ = 0;
  setCount_ = 0;
  shownSets_ = 0;
  if (sets_.empty()) sets_.resize(1);
  tagGPSDBHEADER waypoints{};
  waypoints.size = sizeof waypoints;
  waypoints.kind = x9::kListWaypoints;
  AddSet(waypoints);
}

int HostStore::AddSet(const tagGPSDBHEADER& header) {
  if (setCount_ == sets_.size()) Fail("more sets than reserved");
  StoredSet& set = sets_[setCount_];
  set.header = header;
  CopyText(set.name, header.name);
  set.header.name = set.name.data();
  set.firstItem = itemCount_;
  set.itemCount = 0;
  return static_cast<int>(setCount_++);
}

int HostStore::AddItem(int setIndex, const tagGPSDBITEM& item) {
  if (setIndex < 0 || static_cast<size_t>(setIndex) >= setCount_) return 0;
  StoredSet& set = sets_[static_cast<size_t>(setIndex)];
  if (set.itemCount == 0) set.firstItem = itemCount_;
  if (set.firstItem + set.itemCount != itemCount_) Fail("items of a set are not contiguous");
  if (itemCount_ == items_.size()) Fail("more items than reserved");
  const uint64_t n = itemCount_++;
  ++set.itemCount;
  tagGPSDBITEM& stored = items_[n];
  stored = item;
  CopyText(names_[n], item.name);
  CopyText(idents_[n], item.ident);
  stored.name = item.name != nullptr ? names_[n].data() : nullptr;
  stored.ident = item.ident != nullptr ? idents_[n].data() : nullptr;
  return 1;
}

HostStore& Host() {
  static HostStore store;
  return store;
}

FakeWatch& Watch() {
  static FakeWatch watch;
  return watch;
}

}  // namespace x9bench

// --- The host's services -------------------------------------------------------------------------

using x9bench::Host;

extern "C" {

int X9_STDCALL TPI_GetVersion(void) { return 9000; }

unsigned X9_STDCALL TPI_AddGpsProtocol(unsigned, TransferCallbackFn, const char*,
                                       tagGPSPROTOCOLINFO*) {
  return 1;
}

void X9_STDCALL TPI_GetPluginDir(char* buffer260) {
  if (buffer260 != nullptr) buffer260[0] = '\0';
}

void* X9_STDCALL TPI_GetGarminUplist(void) {
  static int window;
  return &window;
}

int X9_STDCALL TPI_Pump(void) { return 1; }

void X9_STDCALL TPI_ShowAllDataGarminUplist(unsigned) {}

int X9_STDCALL TPI_GetTrackCountGpsProtocol(void) {
  return static_cast<int>(Host().ShownSetCount());
}

int X9_STDCALL TPI_GetStatGpsProtocol(int setIndex, tagGPSDBHEADER* header) {
  if (setIndex < 0 || static_cast<size_t>(setIndex) >= Host().SetCount()) return 0;
  *header = Host().Set(static_cast<size_t>(setIndex)).header;
  return 1;
}

void X9_STDCALL TPI_SetStatGpsProtocol(int setIndex, tagGPSDBHEADER* header) {
  if (setIndex < 0 || static_cast<size_t>(setIndex) >= Host().SetCount()) return;
  x9bench::StoredSet& set = Host().Set(static_cast<size_t>(setIndex));
  set.header = *header;
  x9bench::CopyText(set.name, header->name);
  set.header.name = set.name.data();
}

int X9_STDCALL TPI_GetItemCountGpsProtocol(int setIndex) {
  if (setIndex < 0 || static_cast<size_t>(setIndex) >= Host().SetCount()) return 0;
  return static_cast<int>(Host().Set(static_cast<size_t>(setIndex)).itemCount);
}

int X9_STDCALL TPI_GetItemGpsProtocol(int setIndex, int itemIndex, tagGPSDBITEM* item) {
  if (setIndex < 0 || static_cast<size_t>(setIndex) >= Host().SetCount()) return 0;
  const x9bench::StoredSet& set = Host().Set(static_cast<size_t>(setIndex));
  if (itemIndex < 0 || static_cast<uint64_t>(itemIndex) >= set.itemCount) return 0;
  *item = Host().Item(set.firstItem + static_cast<uint64_t>(itemIndex));
  return 1;
}

int X9_STDCALL TPI_AddDataTrackGpsProtocol(tagGPSDBHEADER* header) {
  return Host().AddSet(*header);
}

int X9_STDCALL TPI_AddDataItemGpsProtocol(int setIndex, tagGPSDBITEM* item) {
  return Host().AddItem(setIndex, *item);
}

void X9_STDCALL TPI_ConvertDatum(tagGPSDBITEM* source, tagGPSDBITEM* destination, int, int) {
  // Every measured item is in the watch's datum already: only the copy remains.
  std::memmove(destination, source, sizeof *destination);
}

}  // extern "C"

// --- The watch -----------------------------------------------------------------------------------

namespace x9bench {
namespace {

int X9_STDCALL GetLibVersion() { return 1; }
int X9_STDCALL SearchOnPorts(uint64_t) { return 1; }
int X9_STDCALL GetSettings() { return 1; }
int X9_STDCALL GetTrackCount() { return static_cast<int>(Watch().trackHeaders.size()); }

int X9_STDCALL GetTrackHeader(int track, x9::TrackHeader* header) {
  std::memcpy(header, &Watch().trackHeaders[static_cast<size_t>(track - 1)], sizeof *header);
  return 1;
}

int X9_STDCALL GetTrackPoints(int track, x9::TrackPoint* points) {
  const FakeWatch& watch = Watch();
  const size_t t = static_cast<size_t>(track - 1);
  std::memcpy(points, &watch.trackPoints[watch.trackFirstPoint[t]],
              static_cast<size_t>(watch.trackHeaders[t].pointCount) * sizeof *points);
  return 1;
}

int X9_STDCALL GetRouteCount() { return static_cast<int>(Watch().routeHeaders.size()); }

int X9_STDCALL GetRouteHeader(int route, x9::RouteHeader* header) {
  std::memcpy(header, &Watch().routeHeaders[static_cast<size_t>(route - 1)], sizeof *header);
  return 1;
}

int X9_STDCALL GetRoutePoints(int route, x9::RoutePoint* points) {
  const FakeWatch& watch = Watch();
  const size_t r = static_cast<size_t>(route - 1);
  std::memcpy(points, &watch.routePoints[watch.routeFirstPoint[r]],
              static_cast<size_t>(watch.routeHeaders[r].pointCount) * sizeof *points);
  return 1;
}

int X9_STDCALL PutRoute(x9::RouteHeader header, const x9::RoutePoint* points) {
  FakeWatch& watch = Watch();
  size_t count = header.pointCount > 0 ? static_cast<size_t>(header.pointCount) : 0;
  if (count > watch.putSink.size()) Fail("a route larger than the watch was prepared for");
  std::memcpy(watch.putSink.data(), points, count * sizeof *points);
  ++watch.routesPut;
  return 1;
}

int X9_STDCALL DeleteRoute(int) {
  ++Watch().routesDeleted;
  return 1;
}

class QuietWindow : public x9::ProgressWindow {
 public:
  void SetBarPosition(int) override {}
};

// Nothing reaches the terminal: its output would be measured with the transfer.
class QuietUi : public x9::UserInterface {
 public:
  int ShowMessageBox(x9::WindowHandle, const char*, unsigned) override {
    ++shown;
    return x9::kAnswerNo;
  }
  std::unique_ptr<x9::ProgressWindow> CreateProgressWindow(x9::WindowHandle, const char*, bool,
                                                           int*) override {
    return std::make_unique<QuietWindow>();
  }
  int shown = 0;
};

QuietUi g_ui;

// A small generator, so every run measures the same data.
struct Lcg {
  uint64_t state;
  uint32_t Next() {
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<uint32_t>(state >> 33);
  }
};

}  // namespace

const x9::DeviceApi& FakeDevice() {
  static constexpr x9::DeviceApi kTable{
      GetLibVersion, SearchOnPorts,  GetSettings,    GetTrackCount, GetTrackHeader, GetTrackPoints,
      GetRouteCount, GetRouteHeader, GetRoutePoints, PutRoute,      DeleteRoute};
  return kTable;
}

void InstallFakes() {
  x9::SetUserInterface(&g_ui);
  x9::g_settleMilliseconds = 0;
  x9::g_clockAdjust = x9::ClockAdjustFromZone(x9::platform::ReadZoneValues());
}

int MessageBoxesShown() { return g_ui.shown; }

namespace {
uint64_t g_newCalls = 0;
}  // namespace

uint64_t NewCalls() { return g_newCalls; }

void BuildTrackWatch(int tracks, int pointsPerTrack) {
  FakeWatch& watch = Watch();
  watch = FakeWatch{};
  const size_t total = static_cast<size_t>(tracks) * static_cast<size_t>(pointsPerTrack);
  watch.trackHeaders.assign(static_cast<size_t>(tracks), x9::TrackHeader{});
  watch.trackPoints.assign(total, x9::TrackPoint{});
  Lcg random{42};
  // 2005-03-20 08:00:00 on the watch's clock, a fix every 3 s: the points cross the spring
  // change of European summer time and many midnights.
  time_t clock = 1111305600;
  int32_t latitude = 476543210, longitude = 85432100;
  for (size_t t = 0; t < static_cast<size_t>(tracks); ++t) {
    watch.trackHeaders[t].pointCount = pointsPerTrack;
    std::memset(watch.trackHeaders[t].opaque0, static_cast<int>(t & 0x7F), 24);
    watch.trackFirstPoint.push_back(t * static_cast<size_t>(pointsPerTrack));
    for (int d = 0; d < pointsPerTrack; ++d) {
      x9::TrackPoint& p =
          watch.trackPoints[t * static_cast<size_t>(pointsPerTrack) + static_cast<size_t>(d)];
      std::tm fields{};
      gmtime_r(&clock, &fields);
      p.year = fields.tm_year + 1900;
      p.month = fields.tm_mon + 1;
      p.day = fields.tm_mday;
      p.hour = fields.tm_hour;
      p.minute = fields.tm_min;
      p.second = fields.tm_sec;
      latitude += static_cast<int32_t>(random.Next() % 2001) - 1000;
      longitude += static_cast<int32_t>(random.Next() % 2001) - 1000;
      p.latitude = latitude;
      p.longitude = longitude;
      p.altitude = static_cast<int32_t>(random.Next() % 3000);
      p.value36 = static_cast<int32_t>(random.Next() % 200000) - 100000;
      p.value40 = static_cast<uint16_t>(random.Next());
      clock += 3;
    }
    clock += 3600;  // a pause between tracks
  }
}

void BuildRouteWatch(int routes, int pointsPerRoute, int waypoints) {
  FakeWatch& watch = Watch();
  watch = FakeWatch{};
  Lcg random{7};
  auto addRoute = [&](const char* name, int count, const char* pointPrefix) {
    x9::RouteHeader header{};
    std::snprintf(header.name, sizeof header.name, "%s", name);
    header.pointCount = count;
    watch.routeFirstPoint.push_back(watch.routePoints.size());
    watch.routeHeaders.push_back(header);
    for (int d = 0; d < count; ++d) {
      x9::RoutePoint point{};
      // Names of every length a watch holds, the full 19 bytes included.
      std::snprintf(point.name, sizeof point.name, "%s%0*d", pointPrefix,
                    static_cast<int>(1 + random.Next() % 12), d);
      point.latitude = static_cast<int32_t>(random.Next() % 1800000000) - 900000000;
      point.longitude = static_cast<int32_t>(random.Next() % 2000000000) - 1000000000;
      point.altitude = static_cast<int32_t>(random.Next() % 4000);
      watch.routePoints.push_back(point);
    }
  };
  watch.routePoints.reserve(static_cast<size_t>(routes) * static_cast<size_t>(pointsPerRoute) +
                            static_cast<size_t>(waypoints));
  char name[32];
  for (int r = 0; r < routes; ++r) {
    std::snprintf(name, sizeof name, "Route %d", r + 1);
    addRoute(name, pointsPerRoute, "RTEPNT");
  }
  addRoute("MYPOINTS", waypoints, "WAYPOINT");
}

void BuildUploadSource(int sets, int pointsPerSet, int watchRoutes) {
  FakeWatch& watch = Watch();
  watch = FakeWatch{};
  for (int r = 0; r < watchRoutes; ++r) {
    x9::RouteHeader header{};
    std::snprintf(header.name, sizeof header.name, "On watch %d", r + 1);
    header.pointCount = 10;
    watch.routeHeaders.push_back(header);
    watch.routeFirstPoint.push_back(0);
  }
  watch.putSink.assign(static_cast<size_t>(pointsPerSet), x9::RoutePoint{});

  HostStore& host = Host();
  host.Reserve(static_cast<size_t>(sets) + 1,
               static_cast<size_t>(sets) * static_cast<size_t>(pointsPerSet));
  Lcg random{99};
  char name[32];
  for (int s = 0; s < sets; ++s) {
    tagGPSDBHEADER header{};
    header.size = sizeof header;
    std::snprintf(name, sizeof name, "Upload %d", s + 1);
    header.name = name;
    header.kind = x9::kListRoutes;
    const int setIndex = host.AddSet(header);
    for (int k = 0; k < pointsPerSet; ++k) {
      tagGPSDBITEM item{};
      item.size = sizeof item;
      char ident[32];
      std::snprintf(ident, sizeof ident, "U%d-%d", s + 1, k + 1);
      item.name = ident;
      item.ident = ident;
      item.latitude =
          static_cast<double>(static_cast<int32_t>(random.Next() % 1800000000) - 900000000) * 1e-7;
      item.longitude =
          static_cast<double>(static_cast<int32_t>(random.Next() % 2000000000) - 1000000000) * 1e-7;
      item.altitude = static_cast<double>(random.Next() % 40000) / 10.0;
      item.kind = x9::kListRoutes;
      item.datum = 0;
      host.AddItem(setIndex, item);
    }
  }
}

namespace {
uint64_t DecimalDigits(uint64_t n) {
  uint64_t digits = 1;
  while (n >= 10) {
    n /= 10;
    ++digits;
  }
  return digits;
}
}  // namespace

uint64_t TrackDownloadExactBytes(const std::vector<x9::TrackHeader>& headers) {
  uint64_t points = 0, nameBytes = 0;
  for (const x9::TrackHeader& header : headers) {
    if (header.pointCount <= 0) continue;
    const uint64_t count = static_cast<uint64_t>(header.pointCount);
    points += count;
    // "No. " + the number + the terminating zero, for 1 .. count.
    for (uint64_t d = 1; d <= count; ++d)
      nameBytes += 4 + DecimalDigits(d) + 1;
  }
  return headers.size() * sizeof(x9::TrackHeader) + points * sizeof(x9::TrackPoint) + nameBytes;
}

uint64_t RouteDownloadExactBytes(const std::vector<x9::RouteHeader>& headers, bool waypoints) {
  uint64_t points = 0;
  for (const x9::RouteHeader& header : headers) {
    if (header.pointCount <= 0) continue;
    const bool isWaypoints = strcasecmp(header.name, "MYPOINTS") == 0;
    if (isWaypoints == waypoints) points += static_cast<uint64_t>(header.pointCount);
  }
  // The names stay in the device records: no text buffers of their own.
  return headers.size() * sizeof(x9::RouteHeader) + points * sizeof(x9::RoutePoint);
}

}  // namespace x9bench

// Counting replacements of the plain allocation functions; the rest of the family uses these.
void* operator new(std::size_t size) {
  ++x9bench::g_newCalls;
  if (void* p = std::malloc(size != 0 ? size : 1)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
