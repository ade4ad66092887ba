// Calendar arithmetic without any zone: proleptic Gregorian dates and seconds counted from
// 1970-01-01 00:00:00 on the same clock. The module's time conversion and x9host's GPX times
// both count this way. Besides, the host's range of times and the one rule that reads a wall
// clock back through the process's zone, so that the module and x9host refuse the same times.
#pragma once

#include <cstdint>
#include <ctime>

namespace x9 {

inline constexpr int64_t kSecondsPerDay = 86400;

// Division rounding toward minus infinity (b > 0).
constexpr int64_t FloorDiv(int64_t a, int64_t b) {
  return a / b - ((a % b != 0) && ((a < 0) != (b < 0)));
}

// Days from 1970-01-01 to the date (month 1..12).
constexpr int64_t DaysFromCivil(int64_t y, int64_t m, int64_t d) {
  y -= m <= 2;
  const int64_t era = FloorDiv(y, 400);
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

// The date of a day counted from 1970-01-01; month 1..12.
struct CivilDate {
  int64_t year;
  int64_t month;
  int64_t day;
};
constexpr CivilDate CivilFromDays(int64_t z) {
  z += 719468;
  const int64_t era = FloorDiv(z, 146097);
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  const int64_t d = doy - (153 * mp + 2) / 5 + 1;
  const int64_t m = mp < 10 ? mp + 3 : mp - 9;
  return CivilDate{yoe + era * 400 + (m <= 2), m, d};
}

// Seconds from 1970-01-01 00:00:00 to the calendar fields, normalised as mktime does: months
// carry into years, every other field is a linear offset.
constexpr int64_t WallSecondsFromCivil(int64_t year, int64_t month, int64_t day, int64_t hour,
                                       int64_t minute, int64_t second) {
  const int64_t month0 = month - 1;
  const int64_t y = year + FloorDiv(month0, 12);
  const int64_t m = month0 - FloorDiv(month0, 12) * 12 + 1;
  const int64_t days = DaysFromCivil(y, m, 1) + (day - 1);
  return days * kSecondsPerDay + hour * 3600 + minute * 60 + second;
}

// The host keeps a time as its 32-bit count of wall-clock seconds from 1970-01-01 00:00:00;
// kHostNoTime is its "no time".
inline constexpr int64_t kHostNoTime = 0;
inline constexpr int64_t kHostTimeLast = 2147483647;

// Calendar fields as mktime takes them, the season left to the C library (tm_isdst -1). Fields
// out of range stay as they are, for mktime to normalise; year - 1900 must fit an int.
inline std::tm LocalTmFromCivil(int64_t year, int64_t month, int64_t day, int64_t hour,
                                int64_t minute, int64_t second) {
  std::tm fields{};
  fields.tm_year = static_cast<int>(year - 1900);
  fields.tm_mon = static_cast<int>(month - 1);
  fields.tm_mday = static_cast<int>(day);
  fields.tm_hour = static_cast<int>(hour);
  fields.tm_min = static_cast<int>(minute);
  fields.tm_sec = static_cast<int>(second);
  fields.tm_isdst = -1;
  return fields;
}

// mktime's verdict on whether the wall clock reading `wall` (seconds from 1970-01-01 00:00:00 on
// the local clock), read back through the process's zone, is an instant inside
// 0..kHostTimeLast seconds UTC. A failed conversion is outside. Out of line: it is the rare path.
bool WallClockReadsBackInHostRange(int64_t wall);

// The same verdict for any reading. Wider than any zone's distance from UTC: outside this band of
// the range's ends the wall reading alone decides, inside it the C library's conversion does.
inline constexpr int64_t kZoneMargin = 3 * kSecondsPerDay;
inline bool WallClockInHostRange(int64_t wall) {
  if (wall > kZoneMargin && wall < kHostTimeLast - kZoneMargin) return true;
  if (wall < -kZoneMargin || wall > kHostTimeLast + kZoneMargin) return false;
  return WallClockReadsBackInHostRange(wall);
}

static_assert(DaysFromCivil(1970, 1, 1) == 0);
static_assert(WallSecondsFromCivil(2005, 1, 1, 0, 0, 0) == 1104537600);
static_assert(CivilFromDays(DaysFromCivil(2024, 2, 29)).day == 29);

}  // namespace x9
