// Times. GPX holds UTC; the watch keeps the local wall clock as calendar fields; the host keeps
// the wall clock as seconds from 1970-01-01 00:00:00 read on that same clock. The machine's
// local zone links them, as it is the zone the watch was set to.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace x9host {

struct CivilTime {
  int64_t year = 1970;
  int month = 1;  // 1..12
  int day = 1;
  int hour = 0;
  int minute = 0;
  int second = 0;
};

// Calendar arithmetic without any zone: seconds from 1970-01-01 00:00:00 and back.
int64_t SecondsFromCivil(const CivilTime& civil);
CivilTime CivilFromSeconds(int64_t seconds);

// UTC to the local wall clock and back, with the C library's zone rules. An hour that the
// daylight-saving change repeats reads as whichever the C library picks; nullopt when the
// library cannot convert the value.
std::optional<CivilTime> LocalFromUtc(int64_t utcSeconds);
std::optional<int64_t> UtcFromLocal(const CivilTime& local);

// xsd:dateTime ("2024-05-03T00:12:05Z", fractions ignored, "+09:00" offsets applied, no zone
// read as UTC) to UTC seconds; nullopt when it is not one.
std::optional<int64_t> ParseDateTime(std::string_view text);

std::string FormatUtc(int64_t utcSeconds);     // 2024-05-03T00:12:05Z
std::string FormatCivil(const CivilTime& t);   // 2024-05-03 09:12:05

}  // namespace x9host
