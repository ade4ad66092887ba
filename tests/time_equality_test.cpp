// The per-point conversions of a track download are done without the C library's calendar
// conversion and formatter. These tests hold them to the C library, point by point: every minute
// of whole years in zones with daylight saving, the days around both ends of the 32-bit range,
// and fields far out of range.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <limits>
#include <string>

#include "host/convert.h"

namespace {

using x9::FormatPointName;
using x9::HostTimeFromDevice;

#if !defined(_WIN32)
// Wine's runtime applies no zone rules, so the zones are compared natively only.

// A whole year of minutes per zone is a few hundred thousand conversions, each checked against
// two calls into the C library; under the sanitizers every seventh minute keeps the run short and
// still meets every hour and every transition day.
#if defined(__SANITIZE_ADDRESS__)
constexpr int kMinuteStride = 7;
#else
constexpr int kMinuteStride = 1;
#endif

// The zones: a whole-hour shift, a 30-minute daylight shift, and a zone off the hour.
constexpr const char* kZones[] = {"Europe/Berlin", "Australia/Lord_Howe", "America/St_Johns"};

std::string ZoneName(const ::testing::TestParamInfo<const char*>& info) {
  std::string name;
  for (const char* c = info.param; *c != '\0'; ++c)
    if (*c != '/' && *c != '_') name += *c;
  return name;
}

// Sets the process's zone as Init captures it.
void UseZone(const char* zone) {
  setenv("TZ", zone, 1);
  x9::g_clockAdjust = x9::ClockAdjustFromZone(x9::platform::ReadZoneValues());
}

// The conversion as the C library does it, one call per point: whether the instant lies in
// 0 .. 2^31-1 seconds UTC is mktime's verdict in the process's zone; the value is the
// distance from 1970-01-01 00:00:00 to the same fields read on one clock (timegm, which
// normalises the fields as mktime does); outside the range, -1 minus the zone offset.
int32_t Reference(int year, int month, int day, int hour, int minute, int second) {
  std::tm fields{};
  fields.tm_year = year - 1900;
  fields.tm_mon = month - 1;
  fields.tm_mday = day;
  fields.tm_hour = hour;
  fields.tm_min = minute;
  fields.tm_sec = second;
  std::tm local = fields;
  local.tm_isdst = -1;
  const time_t instant = std::mktime(&local);
  if (instant < 0 || instant > 2147483647) {
    return static_cast<int32_t>(-1 - static_cast<int64_t>(x9::g_clockAdjust.zoneOffset));
  }
  const time_t wall = timegm(&fields);
  return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(wall)));
}

// Walks the minutes of the given number of days from the start of the given day, as a watch
// records them: calendar fields in range, the seconds varying from one minute to the next.
// Returns the number of points compared.
int64_t CompareMinutes(int year, int month, int day, int days, int stride) {
  std::tm start{};
  start.tm_year = year - 1900;
  start.tm_mon = month - 1;
  start.tm_mday = day;
  const time_t first = timegm(&start);
  int64_t compared = 0;
  for (int64_t m = 0; m < int64_t{days} * 1440; m += stride) {
    // The fields of the wall-clock minute, from the C library's calendar.
    const time_t wall = first + static_cast<time_t>(m * 60 + m * 37 % 60);
    std::tm f{};
    gmtime_r(&wall, &f);
    const int y = f.tm_year + 1900, mo = f.tm_mon + 1;
    const int32_t expected = Reference(y, mo, f.tm_mday, f.tm_hour, f.tm_min, f.tm_sec);
    const int32_t actual = HostTimeFromDevice(y, mo, f.tm_mday, f.tm_hour, f.tm_min, f.tm_sec);
    if (actual != expected) {
      ADD_FAILURE() << std::getenv("TZ") << " " << y << "-" << mo << "-" << f.tm_mday << " "
                    << f.tm_hour << ":" << f.tm_min << ":" << f.tm_sec << ": " << actual
                    << ", the C library " << expected;
      return compared;
    }
    ++compared;
  }
  return compared;
}

// Each test runs in each zone, set as Init captures it.
class HostTimeEquality : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override { UseZone(GetParam()); }
};

TEST_P(HostTimeEquality, EveryMinuteOfACommonAndALeapYear) {
  // The zone names must be known to the C library: an unknown name silently means UTC, which
  // would leave daylight saving untested. tzdata provides them.
  ASSERT_NE(daylight, 0) << GetParam() << " has no daylight-saving rule here: is tzdata installed?";
  // 2005: Berlin changes on the last Sundays of March and October, St John's on the first
  // Sunday of April and the last of October, Lord Howe by 30 minutes in March and October.
  EXPECT_EQ(CompareMinutes(2005, 1, 1, 365, kMinuteStride),
            (365 * 1440 + kMinuteStride - 1) / kMinuteStride);
  EXPECT_EQ(CompareMinutes(2012, 1, 1, 366, kMinuteStride),
            (366 * 1440 + kMinuteStride - 1) / kMinuteStride);
}

TEST_P(HostTimeEquality, EveryMinuteAroundBothEndsOfTheRange) {
  // Here the zone decides whether a wall time is inside the range, so the C library is asked.
  EXPECT_EQ(CompareMinutes(1969, 12, 28, 8, 1), 8 * 1440);
  EXPECT_EQ(CompareMinutes(2038, 1, 15, 8, 1), 8 * 1440);
}

TEST_P(HostTimeEquality, TheSecondsAtBothEndsOfTheRange) {
  // The local wall times of the instants 0 and 2^31-1, and the seconds on either side.
  for (const time_t end : {time_t{0}, time_t{2147483647}}) {
    std::tm local{};
    localtime_r(&end, &local);
    for (int delta = -3; delta <= 3; ++delta) {
      const int year = local.tm_year + 1900, month = local.tm_mon + 1;
      const int second = local.tm_sec + delta;
      EXPECT_EQ(HostTimeFromDevice(year, month, local.tm_mday, local.tm_hour, local.tm_min, second),
                Reference(year, month, local.tm_mday, local.tm_hour, local.tm_min, second))
          << end << " " << delta;
    }
  }
}

TEST_P(HostTimeEquality, FieldsOutOfRangeInEveryCombination) {
  const int years[] = {-1, 0, 1, 1900, 1969, 1970, 2005, 2037, 2038, 2039, 2100};
  const int months[] = {-5, 0, 1, 2, 3, 12, 13, 25};
  const int days[] = {-1, 0, 1, 29, 31, 32, 400};
  const int hours[] = {-1, 0, 23, 24, 100};
  const int minutes[] = {-1, 0, 59, 60};
  const int seconds[] = {-1, 0, 59, 60, 4000};
  int mismatches = 0;
  for (int y : years)
    for (int mo : months)
      for (int d : days)
        for (int h : hours)
          for (int mi : minutes)
            for (int s : seconds) {
              const int32_t expected = Reference(y, mo, d, h, mi, s);
              const int32_t actual = HostTimeFromDevice(y, mo, d, h, mi, s);
              if (actual != expected && ++mismatches <= 5) {
                ADD_FAILURE() << y << "/" << mo << "/" << d << " " << h << ":" << mi << ":" << s
                              << ": " << actual << ", the C library " << expected;
              }
            }
  EXPECT_EQ(mismatches, 0);
}

TEST_P(HostTimeEquality, YearsBeforeTheEpochAndAfterTheRangeKeepTheOutOfRangeValue) {
  // Outside the range the value carries the zone offset, not the wall clock.
  const int32_t outside = static_cast<int32_t>(-1 - static_cast<int64_t>(timezone));
  for (const int year : {1, 1000, 1901, 1968, 2039, 2100, 9999}) {
    EXPECT_EQ(HostTimeFromDevice(year, 7, 1, 12, 0, 0), outside) << year;
    EXPECT_EQ(HostTimeFromDevice(year, 7, 1, 12, 0, 0), Reference(year, 7, 1, 12, 0, 0)) << year;
  }
}

INSTANTIATE_TEST_SUITE_P(ZonesWithDaylightSaving, HostTimeEquality, ::testing::ValuesIn(kZones),
                         ZoneName);

#endif  // !_WIN32

// --- Point names -----------------------------------------------------------------------------

// FormatPointName against snprintf: the same bytes up to and including the zero, and not one
// byte written after it.
void ExpectSameAsPrintf(int32_t number) {
  char expected[x9::kPointNameSize + 8];
  char actual[x9::kPointNameSize + 8];
  std::memset(expected, 0x5A, sizeof expected);
  std::memset(actual, 0x5A, sizeof actual);
  const int length = std::snprintf(expected, x9::kPointNameSize, "No. %d", number);
  ASSERT_GE(length, 0);
  ASSERT_LT(static_cast<size_t>(length), x9::kPointNameSize) << number;
  EXPECT_EQ(FormatPointName(actual, number), static_cast<size_t>(length)) << number;
  EXPECT_EQ(std::memcmp(actual, expected, sizeof actual), 0)
      << number << ": \"" << actual << "\", snprintf \"" << expected << "\"";
}

TEST(PointNames, EveryNumberOfARealTrackAsPrintfFormatsIt) {
  for (int32_t n = 0; n <= 100000; ++n) {
    ExpectSameAsPrintf(n);
    if (HasFailure()) return;
  }
}

TEST(PointNames, EveryDigitCountAndBothExtremesAsPrintfFormatsThem) {
  for (int64_t power = 1; power <= std::numeric_limits<int32_t>::max(); power *= 10) {
    for (int64_t n : {power - 1, power, power + 1, 2 * power - 1, 9 * power, 10 * power - 1}) {
      if (n > std::numeric_limits<int32_t>::max()) continue;
      ExpectSameAsPrintf(static_cast<int32_t>(n));
      ExpectSameAsPrintf(static_cast<int32_t>(-n));
    }
  }
  ExpectSameAsPrintf(std::numeric_limits<int32_t>::max());
  ExpectSameAsPrintf(std::numeric_limits<int32_t>::min());
  ExpectSameAsPrintf(std::numeric_limits<int32_t>::min() + 1);
}

TEST(PointNames, PackedNamesFollowOneAnotherWithTheirZeros) {
  // The download writes each name right after the previous one's zero.
  char packed[64];
  std::memset(packed, 0x5A, sizeof packed);
  char* next = packed;
  for (int32_t n : {9, 10, 99, 100})
    next += FormatPointName(next, n) + 1;
  const char expected[] = "No. 9\0No. 10\0No. 99\0No. 100";  // and its own zero
  ASSERT_EQ(next - packed, static_cast<ptrdiff_t>(sizeof expected));
  EXPECT_EQ(std::memcmp(packed, expected, sizeof expected), 0);
  EXPECT_EQ(static_cast<unsigned char>(packed[sizeof expected]), 0x5A);
}

}  // namespace
