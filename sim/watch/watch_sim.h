// Control interface of the watch simulator. The state lives in the x9watch library; x9.dll is a
// thin module with the eleven entry points over it, so the state outlives every load and unload
// of x9.dll that a request makes, and the loads and unloads can be counted.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "device/records.h"
#include "platform/abi.h"

#if defined(X9_BUILDING_WATCH_SIM)
#define X9_WATCH_API X9_EXPORT
#elif defined(_WIN32)
#define X9_WATCH_API __declspec(dllimport)
#else
#define X9_WATCH_API
#endif

// The simulator's x9.dll exports this beside the eleven entry points (a real watch library has
// no such export), so that a host can tell the simulator from a library it cannot inspect:
// int X9_STDCALL X9Sim_WatchSimulator(void) returns kWatchSimulatorSignature.
inline constexpr char kWatchSimulatorExport[] = "X9Sim_WatchSimulator";
inline constexpr int kWatchSimulatorSignature = 0x58395357;

extern "C" {

// No tracks, no routes, SearchOnPorts answering 1, no faults, empty log, counters at 0.
X9_WATCH_API void X9Watch_Reset(void);

// Content. A track's header is stored as given (its pointCount is what GetTrackHeader reports);
// GetTrackPoints writes exactly that many records: the stored points, then zero records if the
// header claims more than were stored. Routes likewise. Returns the new 1-based number.
X9_WATCH_API int X9Watch_AddTrack(const x9::TrackHeader* header, const x9::TrackPoint* points,
                                  int pointCount);
X9_WATCH_API int X9Watch_AddRoute(const x9::RouteHeader* header, const x9::RoutePoint* points,
                                  int pointCount);
X9_WATCH_API int X9Watch_TrackCount(void);
X9_WATCH_API int X9Watch_RouteCount(void);
// Route number (1-based) as stored now: header, and the points actually stored.
X9_WATCH_API const x9::RouteHeader* X9Watch_Route(int number);
X9_WATCH_API int X9Watch_RoutePointCount(int number);
X9_WATCH_API const x9::RoutePoint* X9Watch_RoutePoints(int number);
X9_WATCH_API const x9::TrackHeader* X9Watch_Track(int number);
X9_WATCH_API int X9Watch_TrackPointCount(int number);
X9_WATCH_API const x9::TrackPoint* X9Watch_TrackPoints(int number);

// Faults: the callNumber-th call (1-based, counted since Reset) of the named entry point returns
// result. A result of -1 does nothing else (nothing written, stored or deleted); any other
// result does the call's work and returns that value. Several rules may be set; a rule for the
// numbered call wins over ForceResult. Unknown entry-point names are ignored.
X9_WATCH_API void X9Watch_SetResult(const char* entryPoint, int callNumber, int result);
// Every call of the named entry point from now on returns result (same rule as above);
// GetTrackCount/GetRouteCount with a forced result report it as the count.
X9_WATCH_API void X9Watch_ForceResult(const char* entryPoint, int result);
X9_WATCH_API void X9Watch_ClearFaults(void);

// Calls made since Reset: per entry point, and as a log of lines such as "GetRouteHeader 2",
// "GetTrackPoints 1", "PutRoute NAME 3" (name bytes as stored, then pointCount),
// "DeleteRoute 2", "SearchOnPorts". CallCount of an unknown name is -1, so a misspelt name in a
// test does not read as "never called".
X9_WATCH_API int X9Watch_CallCount(const char* entryPoint);
X9_WATCH_API size_t X9Watch_CallLog(char* buffer, size_t capacity);  // returns the size needed

// How many times x9.dll was attached to and detached from the process since Reset.
X9_WATCH_API int X9Watch_LoadCount(void);
X9_WATCH_API int X9Watch_UnloadCount(void);

// Called by x9.dll's attach and detach; not for tests.
X9_WATCH_API void X9Watch_NoteAttach(void);
X9_WATCH_API void X9Watch_NoteDetach(void);

// The eleven entry points' work, called by x9.dll's exports.
X9_WATCH_API int X9Watch_GetLibVersion(void);
X9_WATCH_API int X9Watch_SearchOnPorts(uint64_t ports);
X9_WATCH_API int X9Watch_GetSettings(void);
X9_WATCH_API int X9Watch_GetTrackCount(void);
X9_WATCH_API int X9Watch_GetTrackHeader(int track, x9::TrackHeader* header);
X9_WATCH_API int X9Watch_GetTrackPoints(int track, x9::TrackPoint* points);
X9_WATCH_API int X9Watch_GetRouteCount(void);
X9_WATCH_API int X9Watch_GetRouteHeader(int route, x9::RouteHeader* header);
X9_WATCH_API int X9Watch_GetRoutePoints(int route, x9::RoutePoint* points);
X9_WATCH_API int X9Watch_PutRoute(const x9::RouteHeader* header, const x9::RoutePoint* points);
X9_WATCH_API int X9Watch_DeleteRoute(int route);

}  // extern "C"

inline std::string X9WatchCallLogString() {
  std::string out(X9Watch_CallLog(nullptr, 0), '\0');
  X9Watch_CallLog(out.data(), out.size());
  return out;
}
