#include "host/convert.h"

#include <cmath>
#include <cstring>
#include <ctime>
#include <limits>

#include "device/records.h"

namespace x9 {

ClockAdjust g_clockAdjust;

namespace {

int32_t TruncateSaturating(double value) {
  if (std::isnan(value)) return 0;
  if (value >= 2147483647.0) return std::numeric_limits<int32_t>::max();
  if (value <= -2147483648.0) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(value);  // truncates toward zero
}

int64_t FloorDiv(int64_t a, int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

// Days from 1970-01-01 to the proleptic Gregorian date (month 1..12).
int64_t DaysFromCivil(int64_t y, int64_t m, int64_t d) {
  y -= m <= 2;
  const int64_t era = FloorDiv(y, 400);
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void CivilFromDays(int64_t z, int64_t& y, int64_t& m, int64_t& d) {
  z += 719468;
  const int64_t era = FloorDiv(z, 146097);
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  d = doy - (153 * mp + 2) / 5 + 1;
  m = mp < 10 ? mp + 3 : mp - 9;
  y = yoe + era * 400 + (m <= 2);
}

constexpr int64_t kSecondsPerDay = 86400;
constexpr int64_t kMaxHostTime = 2147483647;
// Wider than any zone's distance from UTC: outside this band of the range's ends the wall
// reading alone decides, inside it the C library's local-time conversion does.
constexpr int64_t kZoneMargin = 3 * kSecondsPerDay;

// mktime's verdict on whether the local wall time w lies inside 0..2^31-1 seconds UTC. Out of
// line: it is the rare path, and its calendar record would weigh on every call.
[[gnu::noinline]] bool InstantInRange(int64_t w) {
  const int64_t days = FloorDiv(w, kSecondsPerDay);
  const int64_t secs = w - days * kSecondsPerDay;
  int64_t y, m, d;
  CivilFromDays(days, y, m, d);
  std::tm fields{};
  fields.tm_year = static_cast<int>(y - 1900);
  fields.tm_mon = static_cast<int>(m - 1);
  fields.tm_mday = static_cast<int>(d);
  fields.tm_hour = static_cast<int>(secs / 3600);
  fields.tm_min = static_cast<int>(secs / 60 % 60);
  fields.tm_sec = static_cast<int>(secs % 60);
  fields.tm_isdst = -1;
  const std::time_t t = std::mktime(&fields);
  // A failed conversion reports -1, which is outside the range as well.
  return t >= 0 && static_cast<int64_t>(t) <= kMaxHostTime;
}

}  // namespace

int32_t DegreesToDevice(double degrees) { return TruncateSaturating(degrees * 1e7); }

int32_t AltitudeToDevice(double metres) { return TruncateSaturating(metres); }

int64_t WallSecondsFromCivil(int64_t year, int64_t month, int64_t day, int64_t hour,
                             int64_t minute, int64_t second) {
  // mktime's normalisation: months carry into years, everything else is a linear offset.
  const int64_t month0 = month - 1;
  const int64_t y = year + FloorDiv(month0, 12);
  const int64_t m = month0 - FloorDiv(month0, 12) * 12 + 1;
  const int64_t days = DaysFromCivil(y, m, 1) + (day - 1);
  return days * kSecondsPerDay + hour * 3600 + minute * 60 + second;
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

int32_t HostTimeFromDevice(int32_t year, int32_t month, int32_t day, int32_t hour,
                           int32_t minute, int32_t second) {
  // Calendar arithmetic for every point; the C library's conversion only near the range's ends.
  int64_t wall;
  if (year >= 1 && month >= 1 && month <= 12) {
    wall = (FirstOfMonthDays(static_cast<uint32_t>(year), static_cast<uint32_t>(month)) +
            (static_cast<int64_t>(day) - 1)) * kSecondsPerDay +
           static_cast<int64_t>(hour) * 3600 + static_cast<int64_t>(minute) * 60 + second;
    // Well inside the range, whatever the zone: the wall reading is the value.
    if (wall > kZoneMargin && wall < kMaxHostTime - kZoneMargin) return static_cast<int32_t>(wall);
  } else {
    wall = WallSecondsFromCivil(year, month, day, hour, minute, second);
  }
  bool inRange;
  if (wall < -kZoneMargin || wall > kMaxHostTime + kZoneMargin) {
    inRange = false;
  } else if (wall > kZoneMargin && wall < kMaxHostTime - kZoneMargin) {
    inRange = true;
  } else {
    inRange = InstantInRange(wall);
  }
  const int64_t result = inRange ? wall : -1 - static_cast<int64_t>(g_clockAdjust.zoneOffset);
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
  uint32_t magnitude = number < 0 ? 0u - static_cast<uint32_t>(number) : static_cast<uint32_t>(number);
  size_t digits = 1;
  for (uint32_t rest = magnitude; rest >= 10; rest /= 10) ++digits;
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

size_t DeviceNameLength(const char* text, size_t limit) {
  if (text == nullptr) return 0;
  size_t i = 0;
  while (i < kDeviceNameMax && i < limit && text[i] != '\0') {
    if (!IsLeadByte(static_cast<unsigned char>(text[i]))) {
      ++i;
      continue;
    }
    if (i + 1 >= kDeviceNameMax) break;  // the 19th byte never starts a double-byte character
    if (i + 1 >= limit || text[i + 1] == '\0') {
      ++i;  // a lone lead byte ends the text; nothing is cut
      break;
    }
    i += 2;
  }
  return i;
}

void CopyNameToDevice(char (&field)[20], const char* text) {
  const size_t length = DeviceNameLength(text);
  std::memset(field, 0, sizeof field);
  if (length != 0) std::memcpy(field, text, length);
}

void TerminateDeviceName(char (&field)[20]) {
  if (std::memchr(field, '\0', sizeof field) != nullptr) return;
  field[DeviceNameLength(field, sizeof field)] = '\0';
}

namespace {
unsigned char FoldAscii(unsigned char c) { return (c >= 'A' && c <= 'Z') ? c + ('a' - 'A') : c; }
}  // namespace

bool EqualsIgnoringAsciiCase(const char* a, const char* b) {
  const auto* p = reinterpret_cast<const unsigned char*>(a ? a : "");
  const auto* q = reinterpret_cast<const unsigned char*>(b ? b : "");
  for (;; ++p, ++q) {
    if (FoldAscii(*p) != FoldAscii(*q)) return false;
    if (*p == 0) return true;
  }
}

bool EqualsCp932IgnoringCase(const char* a, const char* b) {
  const auto* p = reinterpret_cast<const unsigned char*>(a ? a : "");
  const auto* q = reinterpret_cast<const unsigned char*>(b ? b : "");
  while (*p != 0 && *q != 0) {
    const bool leadP = IsLeadByte(*p), leadQ = IsLeadByte(*q);
    if (leadP != leadQ) return false;
    if (leadP) {
      // Compared as one unit; a trail byte is never folded.
      if (p[0] != q[0] || p[1] != q[1]) return false;
      if (p[1] == 0) return true;  // both end in the same lone lead byte
      p += 2;
      q += 2;
    } else {
      if (FoldAscii(*p) != FoldAscii(*q)) return false;
      ++p;
      ++q;
    }
  }
  return *p == *q;
}

bool IsMyPointsName(const char* name) { return EqualsIgnoringAsciiCase(name, "MYPOINTS"); }

}  // namespace x9
