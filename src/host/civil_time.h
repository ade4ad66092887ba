// Calendar arithmetic without any zone: proleptic Gregorian dates and seconds counted from
// 1970-01-01 00:00:00 on the same clock. The module's time conversion and x9host's GPX times
// both count this way.
#pragma once

#include <cstdint>

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

static_assert(DaysFromCivil(1970, 1, 1) == 0);
static_assert(WallSecondsFromCivil(2005, 1, 1, 0, 0, 0) == 1104537600);
static_assert(CivilFromDays(DaysFromCivil(2024, 2, 29)).day == 29);

}  // namespace x9
