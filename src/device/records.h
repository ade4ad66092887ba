// Records the watch library fills and reads: little-endian, packed, no size field. In arrays the
// 32-bit fields of every second 70- or 42-byte record are misaligned; packed members make the
// compiler use unaligned accesses, and nothing takes their address.
#pragma once

#include <cstddef>
#include <cstdint>

#include "text/cp932.h"

namespace x9 {

#pragma pack(push, 1)

// One per track (70 bytes). Only pointCount is ours to read.
struct TrackHeader {
  uint8_t opaque0[24];
  int32_t pointCount;  // 24: points in the track
  uint8_t opaque28[42];
};

// One per track point (42 bytes); every byte is read.
struct TrackPoint {
  int32_t year;       // 0: full year
  int32_t month;      // 4: 1..12
  int32_t day;        // 8
  int32_t hour;       // 12
  int32_t minute;     // 16
  int32_t second;     // 20
  int32_t latitude;   // 24: 1e-7 degree
  int32_t longitude;  // 28: 1e-7 degree
  int32_t altitude;   // 32: metres
  int32_t value36;    // 36: carried to the item's float at 72
  uint16_t value40;   // 40: carried x 10 to the item's double at 32
};

// One per route (28 bytes); passed by value to PutRoute.
struct RouteHeader {
  char name[kDeviceNameField];  // 0
  int32_t pointCount;           // 20
  int32_t value24;              // 24: 0 when we write it
};

// One per route point (32 bytes).
struct RoutePoint {
  char name[kDeviceNameField];  // 0
  int32_t latitude;             // 20: 1e-7 degree
  int32_t longitude;            // 24: 1e-7 degree
  int32_t altitude;             // 28: metres
};

#pragma pack(pop)

static_assert(sizeof(TrackHeader) == 70 && offsetof(TrackHeader, pointCount) == 24);
static_assert(sizeof(TrackPoint) == 42);
static_assert(offsetof(TrackPoint, latitude) == 24 && offsetof(TrackPoint, longitude) == 28);
static_assert(offsetof(TrackPoint, altitude) == 32 && offsetof(TrackPoint, value36) == 36);
static_assert(offsetof(TrackPoint, value40) == 40);
static_assert(sizeof(RouteHeader) == 28 && offsetof(RouteHeader, pointCount) == 20);
static_assert(offsetof(RouteHeader, value24) == 24);
static_assert(sizeof(RoutePoint) == 32 && offsetof(RoutePoint, latitude) == 20);
static_assert(offsetof(RoutePoint, longitude) == 24 && offsetof(RoutePoint, altitude) == 28);
static_assert(alignof(TrackPoint) == 1 && alignof(TrackHeader) == 1);

}  // namespace x9
