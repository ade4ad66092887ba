#include "host/civil_time.h"

namespace x9 {

[[gnu::noinline]] bool WallClockReadsBackInHostRange(int64_t wall) {
  const int64_t days = FloorDiv(wall, kSecondsPerDay);
  const int64_t secs = wall - days * kSecondsPerDay;
  const CivilDate date = CivilFromDays(days);
  std::tm fields =
      LocalTmFromCivil(date.year, date.month, date.day, secs / 3600, secs / 60 % 60, secs % 60);
  const std::time_t t = std::mktime(&fields);
  // A failed conversion reports -1, which is outside the range as well.
  return t >= 0 && static_cast<int64_t>(t) <= kHostTimeLast;
}

}  // namespace x9
