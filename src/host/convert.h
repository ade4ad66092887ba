// Conversions between the watch's times and the host's, and the zone values they depend on;
// coordinates and altitudes are in coordinates.h.
#pragma once

#include <cstddef>
#include <cstdint>

#include "host/coordinates.h"
#include "platform/platform.h"

namespace x9 {

// The zone values Init captures; both 0 until then.
struct ClockAdjust {
  int32_t zoneOffset = 0;      // seconds, UTC minus local standard time
  int32_t daylightAdjust = 0;  // -3600 when the zone has a daylight-saving rule
};
extern ClockAdjust g_clockAdjust;

// What Init captures from the runtime's zone values: the offset as it is, and one hour of
// daylight adjustment whenever the zone has a daylight-saving rule.
ClockAdjust ClockAdjustFromZone(const platform::ZoneValues& zone);

// The watch's calendar fields to the host's time: seconds from 1970-01-01 00:00:00 to the
// given date and time, both read on the same (local wall) clock. Out-of-range fields are
// normalised as mktime does. When the instant is not one the host can hold
// (WallClockInHostRange in civil_time.h), the result is -1 minus the zone offset.
int32_t HostTimeFromDevice(int32_t year, int32_t month, int32_t day, int32_t hour, int32_t minute,
                           int32_t second);

// The most a track point's name takes: "No. -2147483648" and its zero.
inline constexpr size_t kPointNameSize = 16;

// Writes "No. %d" of number and a terminating zero at text, exactly the bytes snprintf writes
// for that format and nothing after them; returns the length without the zero. Runs for every
// point of a download, so it stays clear of the C library's formatter.
size_t FormatPointName(char* text, int32_t number);

}  // namespace x9
