// Conversions between the watch's units and the host's, and the rules for names on the watch.
#pragma once

#include <cstddef>
#include <cstdint>

namespace x9 {

// The zone values Init captures; both 0 until then.
struct ClockAdjust {
  int32_t zoneOffset = 0;      // seconds, UTC minus local standard time
  int32_t daylightAdjust = 0;  // -3600 when the zone has a daylight-saving rule
};
extern ClockAdjust g_clockAdjust;

// 1e-7 degree to degrees: a multiplication by the double 1e-7. Inline: every point of every
// download goes through it.
inline double DegreesFromDevice(int32_t value) { return static_cast<double>(value) * 1e-7; }
// Degrees to 1e-7 degree, truncated toward zero; saturates at the int32 limits, NaN gives 0.
int32_t DegreesToDevice(double degrees);
// Metres, truncated toward zero; saturates like DegreesToDevice.
int32_t AltitudeToDevice(double metres);

// The watch's calendar fields to the host's time: seconds from 1970-01-01 00:00:00 to the
// given date and time, both read on the same (local wall) clock. Out-of-range fields are
// normalised as mktime does. When the instant lies outside 0..2147483647 seconds after the
// epoch, the result is -1 minus the zone offset.
int32_t HostTimeFromDevice(int32_t year, int32_t month, int32_t day, int32_t hour,
                           int32_t minute, int32_t second);

// Seconds from 1970-01-01 to the normalised calendar fields, no zone applied (64-bit).
int64_t WallSecondsFromCivil(int64_t year, int64_t month, int64_t day, int64_t hour,
                             int64_t minute, int64_t second);

// The most a track point's name takes: "No. -2147483648" and its zero.
inline constexpr size_t kPointNameSize = 16;

// Writes "No. %d" of number and a terminating zero at text, exactly the bytes snprintf writes
// for that format and nothing after them; returns the length without the zero. Runs for every
// point of a download, so it stays clear of the C library's formatter.
size_t FormatPointName(char* text, int32_t number);

// Code page 932 lead bytes, as the path and name routines walk them.
inline bool IsLeadByte(unsigned char c) { return (c >= 0x80 && c <= 0x9F) || c >= 0xE0; }

// Length of the name the watch gets: at most 19 bytes of text, never ending in the lead byte
// of a split double-byte character. Reads no more than limit bytes. text may be null.
size_t DeviceNameLength(const char* text, size_t limit = SIZE_MAX);

// Writes text into a 20-byte device field: the cut name, then zero bytes to the end.
void CopyNameToDevice(char (&field)[20], const char* text);

// Makes a 20-byte field read from the watch a terminated text in place: a field with no zero
// byte is cut to its first 19 bytes on a character boundary. Reads nothing past the field.
void TerminateDeviceName(char (&field)[20]);

// Whole-text comparison ignoring the case of ASCII letters only.
bool EqualsIgnoringAsciiCase(const char* a, const char* b);

// Code page 932 comparison: double-byte characters compared as units, exactly; ASCII letters
// without regard to case.
bool EqualsCp932IgnoringCase(const char* a, const char* b);

// The watch's waypoint collection is kept as a route of this name.
bool IsMyPointsName(const char* name);

}  // namespace x9
