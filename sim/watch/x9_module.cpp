// x9.dll: the watch library's eleven entry points, each forwarding to the simulator in x9watch,
// and the export that says it is the simulator. Built twice more: without GetSettings, for the
// case of a library that lacks an entry point; and as the real watch's library (the eleven
// entry points only, over a watch that holds a little from the start), which a host cannot
// tell from the watch maker's.
//
// On Windows the module imports x9watch.dll. It is loaded by full path from the plug-in
// directory, where x9watch.dll is not: the programs that load it (tests, x9host) link x9watch
// themselves, so the library is already in the process and the loader binds to that copy. That
// is also what makes the watch's state one and the same for the test and the module.
#include <cstring>
#include <type_traits>

#include "device/device_api.h"
#include "host/coordinates.h"
#include "sim/watch/watch_sim.h"
#include "text/cp932.h"

#if defined(_WIN32)
#include <windows.h>
// Exported under their undecorated names by the .def file.
#define X9_ENTRY_POINT extern "C"
#else
#define X9_ENTRY_POINT extern "C" __attribute__((visibility("default")))
#endif

X9_ENTRY_POINT int X9_STDCALL GetLibVersion(void) { return X9Watch_GetLibVersion(); }

X9_ENTRY_POINT int X9_STDCALL SearchOnPorts(uint64_t ports) { return X9Watch_SearchOnPorts(ports); }

#if !defined(X9_WATCH_WITHOUT_GETSETTINGS)
X9_ENTRY_POINT int X9_STDCALL GetSettings(void) { return X9Watch_GetSettings(); }
static_assert(std::is_same_v<decltype(&GetSettings), x9::GetSettingsFn>);
#endif

X9_ENTRY_POINT int X9_STDCALL GetTrackCount(void) { return X9Watch_GetTrackCount(); }

X9_ENTRY_POINT int X9_STDCALL GetTrackHeader(int track, x9::TrackHeader* header) {
  return X9Watch_GetTrackHeader(track, header);
}

X9_ENTRY_POINT int X9_STDCALL GetTrackPoints(int track, x9::TrackPoint* points) {
  return X9Watch_GetTrackPoints(track, points);
}

X9_ENTRY_POINT int X9_STDCALL GetRouteCount(void) { return X9Watch_GetRouteCount(); }

X9_ENTRY_POINT int X9_STDCALL GetRouteHeader(int route, x9::RouteHeader* header) {
  return X9Watch_GetRouteHeader(route, header);
}

X9_ENTRY_POINT int X9_STDCALL GetRoutePoints(int route, x9::RoutePoint* points) {
  return X9Watch_GetRoutePoints(route, points);
}

// The header arrives by value: on i686 the callee pops its 28 bytes and the pointer.
X9_ENTRY_POINT int X9_STDCALL PutRoute(x9::RouteHeader header, const x9::RoutePoint* points) {
  return X9Watch_PutRoute(&header, points);
}

X9_ENTRY_POINT int X9_STDCALL DeleteRoute(int route) { return X9Watch_DeleteRoute(route); }

// The calling convention is part of these types: a mismatch with what the module expects
// fails here rather than corrupting the stack at run time.
static_assert(std::is_same_v<decltype(&GetLibVersion), x9::GetLibVersionFn>);
static_assert(std::is_same_v<decltype(&SearchOnPorts), x9::SearchOnPortsFn>);
static_assert(std::is_same_v<decltype(&GetTrackCount), x9::GetTrackCountFn>);
static_assert(std::is_same_v<decltype(&GetTrackHeader), x9::GetTrackHeaderFn>);
static_assert(std::is_same_v<decltype(&GetTrackPoints), x9::GetTrackPointsFn>);
static_assert(std::is_same_v<decltype(&GetRouteCount), x9::GetRouteCountFn>);
static_assert(std::is_same_v<decltype(&GetRouteHeader), x9::GetRouteHeaderFn>);
static_assert(std::is_same_v<decltype(&GetRoutePoints), x9::GetRoutePointsFn>);
static_assert(std::is_same_v<decltype(&PutRoute), x9::PutRouteFn>);
static_assert(std::is_same_v<decltype(&DeleteRoute), x9::DeleteRouteFn>);

#if defined(X9_WATCH_REAL_WATCH_LIBRARY)
namespace {

// What the real watch holds when it is first attached: a waypoint, a route, a track.
void FillRealWatch() {
  if (X9Watch_TrackCount() != 0 || X9Watch_RouteCount() != 0) return;
  x9::RouteHeader myPoints{};
  std::memcpy(myPoints.name, x9::kMyPointsName, sizeof x9::kMyPointsName);
  x9::RoutePoint waypoint{};
  std::memcpy(waypoint.name, "HUT", 4);
  waypoint.latitude = 356250000;
  waypoint.longitude = 1392430000;
  waypoint.altitude = 599;
  myPoints.pointCount = 1;
  X9Watch_AddRoute(&myPoints, &waypoint, 1);

  x9::RouteHeader route{};
  std::memcpy(route.name, "STAND-IN ROUTE", 15);
  x9::RoutePoint points[2]{};
  std::memcpy(points[0].name, "A", 2);
  std::memcpy(points[1].name, "B", 2);
  points[0].latitude = 356000000;
  points[0].longitude = 1393000000;
  points[1].latitude = 356100000;
  points[1].longitude = 1393100000;
  points[0].altitude = points[1].altitude = x9::kDeviceNoAltitude;
  route.pointCount = 2;
  X9Watch_AddRoute(&route, points, 2);

  x9::TrackHeader track{};
  x9::TrackPoint trackPoints[3]{};
  for (int i = 0; i < 3; ++i) {
    trackPoints[i].year = 2024;
    trackPoints[i].month = 6;
    trackPoints[i].day = 1;
    trackPoints[i].hour = 9;
    trackPoints[i].minute = i;
    trackPoints[i].latitude = 356000000 + i * 1000;
    trackPoints[i].longitude = 1393000000 + i * 1000;
    trackPoints[i].altitude = 100 + i;
  }
  track.pointCount = 3;
  X9Watch_AddTrack(&track, trackPoints, 3);
}

}  // namespace
#else
X9_ENTRY_POINT int X9_STDCALL X9Sim_WatchSimulator(void) { return kWatchSimulatorSignature; }
#endif

// Attach and detach are counted, so tests can see that every load is matched by an unload.
#if defined(_WIN32)
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) X9Watch_NoteAttach();
#if defined(X9_WATCH_REAL_WATCH_LIBRARY)
  if (reason == DLL_PROCESS_ATTACH) FillRealWatch();
#endif
  if (reason == DLL_PROCESS_DETACH) X9Watch_NoteDetach();
  return TRUE;
}
#else
__attribute__((constructor)) static void NoteModuleAttach() {
  X9Watch_NoteAttach();
#if defined(X9_WATCH_REAL_WATCH_LIBRARY)
  FillRealWatch();
#endif
}
__attribute__((destructor)) static void NoteModuleDetach() { X9Watch_NoteDetach(); }
#endif
