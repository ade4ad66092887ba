// The watch library's eleven entry points, resolved by name in this order. Every pointer type
// carries the calling convention: on i686 a mismatch silently corrupts the stack.
#pragma once

#include <cstdint>

#include "device/records.h"
#include "platform/abi.h"

namespace x9 {

// The watch library's file, in the module's directory.
inline constexpr char kDeviceLibraryName[] = "x9.dll";

using GetLibVersionFn = int(X9_STDCALL*)(void);
using SearchOnPortsFn = int(X9_STDCALL*)(uint64_t ports);
using GetSettingsFn = int(X9_STDCALL*)(void);
using GetTrackCountFn = int(X9_STDCALL*)(void);
using GetTrackHeaderFn = int(X9_STDCALL*)(int track, TrackHeader* header);
using GetTrackPointsFn = int(X9_STDCALL*)(int track, TrackPoint* points);
using GetRouteCountFn = int(X9_STDCALL*)(void);
using GetRouteHeaderFn = int(X9_STDCALL*)(int route, RouteHeader* header);
using GetRoutePointsFn = int(X9_STDCALL*)(int route, RoutePoint* points);
using PutRouteFn = int(X9_STDCALL*)(RouteHeader header, const RoutePoint* points);
using DeleteRouteFn = int(X9_STDCALL*)(int route);

struct DeviceApi {
  GetLibVersionFn GetLibVersion;
  SearchOnPortsFn SearchOnPorts;
  GetSettingsFn GetSettings;
  GetTrackCountFn GetTrackCount;
  GetTrackHeaderFn GetTrackHeader;
  GetTrackPointsFn GetTrackPoints;
  GetRouteCountFn GetRouteCount;
  GetRouteHeaderFn GetRouteHeader;
  GetRoutePointsFn GetRoutePoints;
  PutRouteFn PutRoute;
  DeleteRouteFn DeleteRoute;
};

inline constexpr int kEntryPointCount = 11;
inline constexpr const char* kEntryPointNames[kEntryPointCount] = {
    "GetLibVersion",  "SearchOnPorts",  "GetSettings",   "GetTrackCount",
    "GetTrackHeader", "GetTrackPoints", "GetRouteCount", "GetRouteHeader",
    "GetRoutePoints", "PutRoute",       "DeleteRoute"};

// The only value of a device call that means failure.
inline constexpr int kDeviceFailure = -1;

}  // namespace x9
