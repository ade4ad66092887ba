// Times. GPX holds UTC; the watch keeps the local wall clock as calendar fields; the host keeps
// the wall clock as seconds from 1970-01-01 00:00:00 read on that same clock. The machine's
// local zone links them, as it is the zone the watch was set to.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "host/civil_time.h"

namespace x9host {

struct CivilTime {
  int64_t year = 1970;
  int month = 1;  // 1..12
  int day = 1;
  int hour = 0;
  int minute = 0;
  int second = 0;
};

// Calendar arithmetic without any zone (the shared civil-day rules): seconds from
// 1970-01-01 00:00:00 and back.
int64_t SecondsFromCivil(const CivilTime& civil);
CivilTime CivilFromSeconds(int64_t seconds);

// The host keeps a time as the local wall clock counted from 1970 in 32 bits
// (host/civil_time.h): the first second after its "no time" to x9::kHostTimeLast.
inline constexpr int64_t kHostTimeFirst = x9::kHostNoTime + 1;
// The host's value of a UTC time, or nullopt when the host cannot hold it.
std::optional<int32_t> HostWallClock(int64_t utcSeconds);
// The same for a time put on the watch: the module hands the watch's wall clock to the host
// only when that wall clock, read back on the local zone, is an instant the host can hold
// (x9::WallClockInHostRange; else it gives a fixed fallback). Near the range's ends in a zone
// off UTC that refuses times HostWallClock keeps.
std::optional<int32_t> WatchWallClock(int64_t utcSeconds);
// The other instant whose local wall clock is a UTC time's own, where the zone shows a stretch
// of wall clock twice (clocks set back: the end of daylight saving, of whatever size, or any
// other change of offset); nullopt where the wall clock is shown once. A wall clock cannot tell
// the two apart, so one of them reads back as the other.
std::optional<int64_t> WallClockTwin(int64_t utcSeconds);
// "2023-11-05T06:30:00Z, the same wall clock as 2023-11-05T05:30:00Z, 1 hour earlier".
std::string TwinText(int64_t utcSeconds, int64_t twin);

// UTC to the local wall clock and back, with the C library's zone rules. A wall clock the zone
// shows twice (the hour a daylight-saving change repeats) reads as the earlier of its two
// instants; nullopt when the library cannot convert the value.
std::optional<CivilTime> LocalFromUtc(int64_t utcSeconds);
std::optional<int64_t> UtcFromLocal(const CivilTime& local);

// xsd:dateTime ("2024-05-03T00:12:05Z", fractions ignored, "+09:00" offsets applied, no zone
// read as UTC) to UTC seconds; nullopt when it is not one.
std::optional<int64_t> ParseDateTime(std::string_view text);

std::string FormatUtc(int64_t utcSeconds);    // 2024-05-03T00:12:05Z
std::string FormatCivil(const CivilTime& t);  // 2024-05-03 09:12:05

}  // namespace x9host
