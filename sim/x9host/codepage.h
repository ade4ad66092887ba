// Conversions between UTF-8 (files, terminal) and code page 932 (the host's and the watch's
// texts). Natively through iconv, on Windows through the system's code page 932 tables.
#pragma once

#include <string>
#include <string_view>

namespace x9host {

struct Cp932Text {
  bool ok = false;
  std::string bytes;      // the text in code page 932 when ok
  std::string offending;  // when not ok: the first character (UTF-8) that has no code, or the
                          // bytes that are not UTF-8
};

// Exact conversion only: no best-fit substitutes, no replacement characters.
Cp932Text Cp932FromUtf8(std::string_view utf8);

// For display and output; bytes that are not code page 932 become U+FFFD.
std::string Utf8FromCp932(std::string_view cp932);

// The length of the name the watch keeps: at most 19 bytes, never ending in the lead byte of a
// split double-byte character (lead bytes 0x80-0x9F and 0xE0-0xFF), as the module cuts names.
size_t WatchNameLength(std::string_view cp932);

}  // namespace x9host
