#include "host/convert.h"

#include <cstring>

#include "host/civil_time.h"

namespace x9 {

ClockAdjust g_clockAdjust;

ClockAdjust ClockAdjustFromZone(const platform::ZoneValues& zone) {
  ClockAdjust adjust;
  adjust.zoneOffset = static_cast<int32_t>(zone.timezoneSeconds);
  adjust.daylightAdjust = zone.daylight != 0 ? -3600 : 0;
  return adjust;
}

namespace {

// DaysFromCivil(year, month, 1) for a year of at least 1 and a month of 1..12, the fields every
// recorded point has: nothing is negative, so plain division serves as floor division, and
// no month carries into the year. The same formula, so the same day numbers.
inline int64_t FirstOfMonthDays(uint32_t year, uint32_t month) {
  const uint32_t y = year - (month <= 2);
  const uint32_t era = y / 400;
  const uint32_t yoe = y - era * 400;
  const uint32_t doy = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5;
  const uint32_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return static_cast<int64_t>(era) * 146097 + static_cast<int64_t>(doe) - 719468;
}

}  // namespace

int32_t HostTimeFromDevice(int32_t year, int32_t month, int32_t day, int32_t hour, int32_t minute,
                           int32_t second) {
  // Calendar arithmetic for every point; the C library's conversion only near the range's ends.
  const int64_t wall =
      year >= 1 && month >= 1 && month <= 12
          ? (FirstOfMonthDays(static_cast<uint32_t>(year), static_cast<uint32_t>(month)) +
             (static_cast<int64_t>(day) - 1)) *
                    kSecondsPerDay +
                static_cast<int64_t>(hour) * 3600 + static_cast<int64_t>(minute) * 60 + second
          : WallSecondsFromCivil(year, month, day, hour, minute, second);
  const int64_t result =
      WallClockInHostRange(wall) ? wall : -1 - static_cast<int64_t>(g_clockAdjust.zoneOffset);
  return static_cast<int32_t>(static_cast<uint32_t>(result));
}

namespace {
constexpr char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";
}  // namespace

size_t FormatPointName(char* text, int32_t number) {
  // The magnitude in unsigned arithmetic: -2147483648 has no positive int32.
  uint32_t magnitude =
      number < 0 ? 0u - static_cast<uint32_t>(number) : static_cast<uint32_t>(number);
  size_t digits = 1;
  for (uint32_t rest = magnitude; rest >= 10; rest /= 10)
    ++digits;
  std::memcpy(text, "No. ", 4);
  size_t length = 4;
  if (number < 0) text[length++] = '-';
  length += digits;
  text[length] = '\0';
  // From the last digit back, two at a time.
  char* out = text + length;
  while (magnitude >= 100) {
    out -= 2;
    std::memcpy(out, kDigitPairs + magnitude % 100 * 2, 2);
    magnitude /= 100;
  }
  if (magnitude >= 10) {
    std::memcpy(out - 2, kDigitPairs + magnitude * 2, 2);
  } else {
    out[-1] = static_cast<char>('0' + magnitude);
  }
  return length;
}

}  // namespace x9
