// Watch simulator: an in-memory watch behind the eleven entry points, with call counting and
// fault injection by call number. x9.dll only forwards here, so this state survives every load
// and unload of the module.
#include "sim/watch/watch_sim.h"

#include <array>
#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "device/device_api.h"

namespace {

enum Entry : int {
  kGetLibVersion,
  kSearchOnPorts,
  kGetSettings,
  kGetTrackCount,
  kGetTrackHeader,
  kGetTrackPoints,
  kGetRouteCount,
  kGetRouteHeader,
  kGetRoutePoints,
  kPutRoute,
  kDeleteRoute,
  kEntryCount
};
static_assert(kEntryCount == x9::kEntryPointCount);

constexpr int kLibVersion = 100;
constexpr int kSuccess = 1;

struct Track {
  x9::TrackHeader header;
  std::vector<x9::TrackPoint> points;
};

struct Route {
  x9::RouteHeader header;
  std::vector<x9::RoutePoint> points;
};

struct WatchState {
  std::vector<Track> tracks;
  std::vector<Route> routes;
  std::array<int, kEntryCount> calls{};
  std::vector<std::string> log;
  std::map<std::pair<int, int>, int> resultByCall;  // (entry, call number) -> result
  std::array<std::optional<int>, kEntryCount> forcedResult{};
};

// Never destroyed: the module's detach may run after this library's static destructors.
WatchState& State() {
  static WatchState* state = new WatchState;
  return *state;
}

// Plain integers for the same reason.
int g_loads = 0;
int g_unloads = 0;

int EntryOf(const char* name) {
  if (name == nullptr) return -1;
  for (int i = 0; i < kEntryCount; ++i) {
    if (std::strcmp(name, x9::kEntryPointNames[i]) == 0) return i;
  }
  return -1;
}

// Counts and logs the call, then says what a fault rule makes it return, if any. A rule for this
// very call wins over a forced result.
std::optional<int> Enter(Entry entry, const std::string& arguments = std::string()) {
  WatchState& state = State();
  const int callNumber = ++state.calls[entry];
  std::string line = x9::kEntryPointNames[entry];
  if (!arguments.empty()) line += ' ' + arguments;
  state.log.push_back(std::move(line));
  const auto rule = state.resultByCall.find({entry, callNumber});
  if (rule != state.resultByCall.end()) return rule->second;
  return state.forcedResult[entry];
}

bool Refused(const std::optional<int>& override) {
  return override.has_value() && *override == x9::kDeviceFailure;
}

template <typename Item>
bool InRange(const std::vector<Item>& items, int number) {
  return number >= 1 && static_cast<size_t>(number) <= items.size();
}

// The name as the watch holds it: up to the first zero, never past the field.
std::string FieldText(const char (&field)[x9::kDeviceNameField]) {
  return std::string(x9::DeviceNameBytes(field));
}

// Writes exactly claimed records: the stored ones, then zero records.
template <typename Point>
void WritePoints(const std::vector<Point>& stored, int32_t claimed, Point* out) {
  if (out == nullptr || claimed <= 0) return;
  const size_t count = static_cast<size_t>(claimed);
  const size_t copied = stored.size() < count ? stored.size() : count;
  if (copied != 0) std::memcpy(out, stored.data(), copied * sizeof(Point));
  if (count > copied) std::memset(out + copied, 0, (count - copied) * sizeof(Point));
}

template <typename Point>
std::vector<Point> CopyPoints(const Point* points, int count) {
  if (points == nullptr || count <= 0) return {};
  return std::vector<Point>(points, points + count);
}

}  // namespace

extern "C" {

// --- Content -----------------------------------------------------------------------------------

void X9Watch_Reset(void) {
  State() = WatchState{};
  g_loads = 0;
  g_unloads = 0;
}

int X9Watch_AddTrack(const x9::TrackHeader* header, const x9::TrackPoint* points, int pointCount) {
  if (header == nullptr) return -1;
  State().tracks.push_back(Track{*header, CopyPoints(points, pointCount)});
  return static_cast<int>(State().tracks.size());
}

int X9Watch_AddRoute(const x9::RouteHeader* header, const x9::RoutePoint* points, int pointCount) {
  if (header == nullptr) return -1;
  State().routes.push_back(Route{*header, CopyPoints(points, pointCount)});
  return static_cast<int>(State().routes.size());
}

int X9Watch_TrackCount(void) { return static_cast<int>(State().tracks.size()); }
int X9Watch_RouteCount(void) { return static_cast<int>(State().routes.size()); }

const x9::RouteHeader* X9Watch_Route(int number) {
  const auto& routes = State().routes;
  return InRange(routes, number) ? &routes[static_cast<size_t>(number - 1)].header : nullptr;
}

int X9Watch_RoutePointCount(int number) {
  const auto& routes = State().routes;
  return InRange(routes, number)
             ? static_cast<int>(routes[static_cast<size_t>(number - 1)].points.size())
             : -1;
}

const x9::RoutePoint* X9Watch_RoutePoints(int number) {
  const auto& routes = State().routes;
  return InRange(routes, number) ? routes[static_cast<size_t>(number - 1)].points.data() : nullptr;
}

const x9::TrackHeader* X9Watch_Track(int number) {
  const auto& tracks = State().tracks;
  return InRange(tracks, number) ? &tracks[static_cast<size_t>(number - 1)].header : nullptr;
}

int X9Watch_TrackPointCount(int number) {
  const auto& tracks = State().tracks;
  return InRange(tracks, number)
             ? static_cast<int>(tracks[static_cast<size_t>(number - 1)].points.size())
             : -1;
}

const x9::TrackPoint* X9Watch_TrackPoints(int number) {
  const auto& tracks = State().tracks;
  return InRange(tracks, number) ? tracks[static_cast<size_t>(number - 1)].points.data() : nullptr;
}

// --- Faults, counts, log -----------------------------------------------------------------------

void X9Watch_SetResult(const char* entryPoint, int callNumber, int result) {
  const int entry = EntryOf(entryPoint);
  if (entry >= 0) State().resultByCall[{entry, callNumber}] = result;
}

void X9Watch_ForceResult(const char* entryPoint, int result) {
  const int entry = EntryOf(entryPoint);
  if (entry >= 0) State().forcedResult[static_cast<size_t>(entry)] = result;
}

void X9Watch_ClearFaults(void) {
  State().resultByCall.clear();
  State().forcedResult = {};
}

int X9Watch_CallCount(const char* entryPoint) {
  const int entry = EntryOf(entryPoint);
  return entry < 0 ? -1 : State().calls[static_cast<size_t>(entry)];
}

size_t X9Watch_CallLog(char* buffer, size_t capacity) {
  std::string text;
  for (const std::string& line : State().log)
    text += line + '\n';
  if (buffer != nullptr) {
    std::memcpy(buffer, text.data(), text.size() < capacity ? text.size() : capacity);
  }
  return text.size();
}

int X9Watch_LoadCount(void) { return g_loads; }
int X9Watch_UnloadCount(void) { return g_unloads; }
void X9Watch_NoteAttach(void) { ++g_loads; }
void X9Watch_NoteDetach(void) { ++g_unloads; }

// --- The entry points' work --------------------------------------------------------------------

int X9Watch_GetLibVersion(void) { return Enter(kGetLibVersion).value_or(kLibVersion); }

int X9Watch_SearchOnPorts(uint64_t) { return Enter(kSearchOnPorts).value_or(kSuccess); }

int X9Watch_GetSettings(void) { return Enter(kGetSettings).value_or(kSuccess); }

int X9Watch_GetTrackCount(void) {
  return Enter(kGetTrackCount).value_or(static_cast<int>(State().tracks.size()));
}

int X9Watch_GetRouteCount(void) {
  return Enter(kGetRouteCount).value_or(static_cast<int>(State().routes.size()));
}

int X9Watch_GetTrackHeader(int track, x9::TrackHeader* header) {
  const auto override = Enter(kGetTrackHeader, std::to_string(track));
  if (Refused(override)) return x9::kDeviceFailure;
  const auto& tracks = State().tracks;
  if (!InRange(tracks, track) || header == nullptr) return override.value_or(x9::kDeviceFailure);
  std::memcpy(header, &tracks[static_cast<size_t>(track - 1)].header, sizeof *header);
  return override.value_or(kSuccess);
}

int X9Watch_GetTrackPoints(int track, x9::TrackPoint* points) {
  const auto override = Enter(kGetTrackPoints, std::to_string(track));
  if (Refused(override)) return x9::kDeviceFailure;
  const auto& tracks = State().tracks;
  if (!InRange(tracks, track)) return override.value_or(x9::kDeviceFailure);
  const Track& stored = tracks[static_cast<size_t>(track - 1)];
  WritePoints(stored.points, stored.header.pointCount, points);
  return override.value_or(kSuccess);
}

int X9Watch_GetRouteHeader(int route, x9::RouteHeader* header) {
  const auto override = Enter(kGetRouteHeader, std::to_string(route));
  if (Refused(override)) return x9::kDeviceFailure;
  const auto& routes = State().routes;
  if (!InRange(routes, route) || header == nullptr) return override.value_or(x9::kDeviceFailure);
  std::memcpy(header, &routes[static_cast<size_t>(route - 1)].header, sizeof *header);
  return override.value_or(kSuccess);
}

int X9Watch_GetRoutePoints(int route, x9::RoutePoint* points) {
  const auto override = Enter(kGetRoutePoints, std::to_string(route));
  if (Refused(override)) return x9::kDeviceFailure;
  const auto& routes = State().routes;
  if (!InRange(routes, route)) return override.value_or(x9::kDeviceFailure);
  const Route& stored = routes[static_cast<size_t>(route - 1)];
  WritePoints(stored.points, stored.header.pointCount, points);
  return override.value_or(kSuccess);
}

int X9Watch_PutRoute(const x9::RouteHeader* header, const x9::RoutePoint* points) {
  if (header == nullptr) return Enter(kPutRoute, "null").value_or(x9::kDeviceFailure);
  const auto override =
      Enter(kPutRoute, FieldText(header->name) + ' ' + std::to_string(header->pointCount));
  if (Refused(override)) return x9::kDeviceFailure;
  // A new route goes after the existing ones, as the watch numbers them.
  State().routes.push_back(Route{*header, CopyPoints(points, header->pointCount)});
  return override.value_or(kSuccess);
}

int X9Watch_DeleteRoute(int route) {
  const auto override = Enter(kDeleteRoute, std::to_string(route));
  if (Refused(override)) return x9::kDeviceFailure;
  auto& routes = State().routes;
  if (!InRange(routes, route)) return override.value_or(x9::kDeviceFailure);
  // Later routes move down one number.
  routes.erase(routes.begin() + (route - 1));
  return override.value_or(kSuccess);
}

}  // extern "C"
