#include "text/cp932.h"

#include <cstring>

namespace x9 {

size_t DeviceNameLength(const char* text, size_t limit) {
  if (text == nullptr) return 0;
  size_t i = 0;
  while (i < kDeviceNameMax && i < limit && text[i] != '\0') {
    if (!IsLeadByte(static_cast<unsigned char>(text[i]))) {
      ++i;
      continue;
    }
    if (i + 1 >= limit || text[i + 1] == '\0') {
      ++i;  // a lone lead byte ends the text; nothing is cut
      break;
    }
    // A longer name whose 19th byte starts a double-byte character is cut before it: the
    // character would be split.
    if (i + 1 >= kDeviceNameMax) break;
    i += 2;
  }
  return i;
}

void CopyNameToDevice(char (&field)[kDeviceNameField], const char* text) {
  const size_t length = DeviceNameLength(text);
  std::memset(field, 0, sizeof field);
  if (length != 0) std::memcpy(field, text, length);
}

void TerminateDeviceName(char (&field)[kDeviceNameField]) {
  if (DeviceNameBytes(field).size() < sizeof field) return;  // terminated within the field
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

bool IsMyPointsName(const char* name) { return EqualsIgnoringAsciiCase(name, kMyPointsName); }

}  // namespace x9
