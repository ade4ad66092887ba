// The rules of code page 932 (Shift-JIS) text that the module and its tools share: lead bytes,
// the watch's 20-byte name fields and the 19-byte cut, and the name comparisons. Nothing here
// depends on the system's code page or includes anything of the module's.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace x9 {

inline constexpr size_t kDeviceNameField = 20;  // bytes, zero-terminated within the field
inline constexpr size_t kDeviceNameMax = 19;    // bytes of text at most

// Code page 932 lead bytes, as the path and name routines walk them.
inline bool IsLeadByte(unsigned char c) { return (c >= 0x80 && c <= 0x9F) || c >= 0xE0; }

// Length of the name the watch gets: a name of at most 19 bytes whole; a longer one cut to 19
// bytes, or to 18 when the 19th would be the lead byte of a character split by the cut. Reads
// no more than limit bytes. text may be null.
size_t DeviceNameLength(const char* text, size_t limit = SIZE_MAX);

// Writes text into a 20-byte device field: the cut name, then zero bytes to the end.
void CopyNameToDevice(char (&field)[kDeviceNameField], const char* text);

// The bytes of a 20-byte field as the watch holds them: up to the first zero, never past the
// field. The one bounded reader of device names.
inline std::string_view DeviceNameBytes(const char (&field)[kDeviceNameField]) {
  const void* zero = std::memchr(field, 0, sizeof field);
  return std::string_view(field,
                          zero == nullptr ? sizeof field : static_cast<const char*>(zero) - field);
}

// Makes a 20-byte field read from the watch a terminated text in place: a field with no zero
// byte is cut to its first 19 bytes on a character boundary. Reads nothing past the field.
void TerminateDeviceName(char (&field)[kDeviceNameField]);

// Whole-text comparison ignoring the case of ASCII letters only.
bool EqualsIgnoringAsciiCase(const char* a, const char* b);

// Code page 932 comparison: double-byte characters compared as units, exactly; ASCII letters
// without regard to case.
bool EqualsCp932IgnoringCase(const char* a, const char* b);

// The watch's waypoint collection is kept as a route of this name.
inline constexpr char kMyPointsName[] = "MYPOINTS";
bool IsMyPointsName(const char* name);

}  // namespace x9
