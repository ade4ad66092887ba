// Units and time: the watch's coordinates and altitudes to the host's and back, and the watch's
// calendar fields to the host's seconds.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <ctime>
#include <limits>
#include <string>

#include "host/convert.h"
#include "host/records.h"

#if defined(_WIN32)
#include <stdlib.h>
#endif

namespace {

using namespace x9;

// Sets the process's zone (TZ) and the captured offset as Init would.
void UseZone(const char* tz, int32_t zoneOffset) {
#if defined(_WIN32)
  std::string assignment = std::string("TZ=") + tz;
  _putenv(assignment.c_str());
  _tzset();
#else
  setenv("TZ", tz, 1);
  tzset();
#endif
  g_clockAdjust.zoneOffset = zoneOffset;
  g_clockAdjust.daylightAdjust = 0;
}

TEST(Coordinates, DeviceUnitsToDegreesMultiplyByTheDoubleConstant) {
  EXPECT_EQ(DegreesFromDevice(1800000000), 180.0);
  EXPECT_EQ(DegreesFromDevice(-900000000), -90.0);
  EXPECT_EQ(DegreesFromDevice(-1), -1e-7);
  // A multiplication by 1e-7, not a division by 1e7: the two differ in the last bit here.
  EXPECT_EQ(DegreesFromDevice(-2000), -2000 * 1e-7);
  EXPECT_EQ(DegreesFromDevice(-2000), -0.00019999999999999998);
}

TEST(Coordinates, DegreesToDeviceTruncateTowardZero) {
  EXPECT_EQ(DegreesToDevice(35.6812345678), 356812345);
  EXPECT_EQ(DegreesToDevice(-35.6812345678), -356812345);
  EXPECT_EQ(DegreesToDevice(64.471201), 644712009);  // the nearest double lies just below
  EXPECT_EQ(DegreesToDevice(DegreesFromDevice(-2000)), -1999);
  EXPECT_EQ(DegreesToDevice(180.0), 1800000000);
}

TEST(Coordinates, OutOfRangeValuesSaturateAndNanIsZero) {
  EXPECT_EQ(DegreesToDevice(1e300), std::numeric_limits<int32_t>::max());
  EXPECT_EQ(DegreesToDevice(-std::numeric_limits<double>::infinity()),
            std::numeric_limits<int32_t>::min());
  EXPECT_EQ(DegreesToDevice(std::nan("")), 0);
  EXPECT_EQ(DegreesToDevice(214.7483647), 2147483647);
  EXPECT_EQ(AltitudeToDevice(3e9), std::numeric_limits<int32_t>::max());
  EXPECT_EQ(AltitudeToDevice(std::nan("")), 0);
}

TEST(Altitude, TruncatesTowardZeroUnscaled) {
  EXPECT_EQ(AltitudeToDevice(12.9), 12);
  EXPECT_EQ(AltitudeToDevice(-0.5), 0);
  EXPECT_EQ(AltitudeToDevice(NO_VALUE), kDeviceNoAltitude);
  EXPECT_EQ(AltitudeToDevice(-12.9), -12);
}

TEST(HostTime, ZoneWithoutDaylightSavingGivesTheWallClockSeconds) {
  UseZone("JST-9", -32400);
  EXPECT_EQ(HostTimeFromDevice(2005, 1, 1, 0, 0, 0), 1104537600);
  EXPECT_EQ(HostTimeFromDevice(2005, 7, 1, 12, 30, 15), 1120221015);
}

TEST(HostTime, FieldsOutOfRangeAreNormalisedAsTheCalendarDoes) {
  UseZone("JST-9", -32400);
  EXPECT_EQ(HostTimeFromDevice(2004, 13, 1, 0, 0, 0), 1104537600);      // month 13
  EXPECT_EQ(HostTimeFromDevice(2005, 1, 0, 24, 0, 0), 1104537600);      // day 0, hour 24
  EXPECT_EQ(HostTimeFromDevice(2004, 12, 31, 23, 59, 60), 1104537600);  // second 60
  EXPECT_EQ(HostTimeFromDevice(2005, 3, 1, 0, 0, -1), HostTimeFromDevice(2005, 2, 28, 23, 59, 59));
  EXPECT_EQ(HostTimeFromDevice(2005, -10, 1, 0, 0, 0), HostTimeFromDevice(2004, 2, 1, 0, 0, 0));
}

TEST(HostTime, InstantsOutsideTheRangeGiveMinusOneMinusTheZoneOffset) {
  UseZone("JST-9", -32400);
  EXPECT_EQ(HostTimeFromDevice(0, 0, 0, 0, 0, 0), 32399);
  EXPECT_EQ(HostTimeFromDevice(1969, 12, 31, 0, 0, 0), 32399);
  // The range is decided on the instant, in the zone: 09:00 JST is 00:00 UTC.
  EXPECT_EQ(HostTimeFromDevice(1970, 1, 1, 8, 59, 59), 32399);
  EXPECT_EQ(HostTimeFromDevice(1970, 1, 1, 9, 0, 0), 32400);
  EXPECT_EQ(HostTimeFromDevice(2038, 1, 19, 12, 14, 8), 32399);
  EXPECT_EQ(HostTimeFromDevice(2038, 1, 19, 12, 14, 7),
            static_cast<int32_t>(static_cast<uint32_t>(2147483647u + 32400u)));
  // Extreme fields neither overflow nor leave the range path.
  EXPECT_EQ(HostTimeFromDevice(std::numeric_limits<int32_t>::max(), 12, 31, 23, 59, 59), 32399);
  EXPECT_EQ(
      HostTimeFromDevice(std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::min(),
                         std::numeric_limits<int32_t>::min(), 0, 0, 0),
      32399);
}

#if !defined(_WIN32)
// The runtime under wine applies no daylight rule, so seasons are tested natively.
TEST(HostTime, ZoneWithDaylightSavingGivesTheWallClockInEverySeason) {
  UseZone("Europe/Berlin", -3600);
  g_clockAdjust.daylightAdjust = -3600;
  EXPECT_EQ(HostTimeFromDevice(2005, 1, 15, 12, 0, 0), 1105790400);  // winter
  EXPECT_EQ(HostTimeFromDevice(2005, 7, 15, 12, 0, 0), 1121428800);  // summer
  // The hour that does not exist on the day clocks go forward, and the one that happens twice.
  EXPECT_EQ(HostTimeFromDevice(2005, 3, 27, 2, 30, 0), 1111890600);
  EXPECT_EQ(HostTimeFromDevice(2005, 10, 30, 2, 30, 0), 1130639400);
  // Before the epoch in this zone.
  EXPECT_EQ(HostTimeFromDevice(1970, 1, 1, 0, 59, 59), -1 + 3600);
  EXPECT_EQ(HostTimeFromDevice(1970, 1, 1, 1, 0, 0), 3600);
}

TEST(HostTime, ArithmeticMatchesTheCalendarConversionEveryHourOfAYear) {
  // Reference: the C library's own conversion in UTC, where the wall clock is the UTC clock.
  UseZone("UTC0", 0);
  for (int day = 1; day <= 366; ++day) {
    for (int hour = 0; hour < 24; hour += 5) {
      std::tm tm{};
      tm.tm_year = 2004 - 1900;
      tm.tm_mon = 0;
      tm.tm_mday = day;
      tm.tm_hour = hour;
      tm.tm_min = 7;
      tm.tm_isdst = 0;
      const time_t expected = timegm(&tm);
      ASSERT_EQ(HostTimeFromDevice(2004, 1, day, hour, 7, 0), expected) << day << " " << hour;
    }
  }
}
#endif

}  // namespace
