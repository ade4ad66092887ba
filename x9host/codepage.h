// Conversions between UTF-8 (files, terminal) and code page 932 (the host's and the watch's
// texts). Natively through iconv, on Windows through the system's code page 932 tables. The
// rules of code page 932 names themselves (the 19-byte cut, lead bytes) are the module's, in
// text/cp932.h.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace x9host {

struct Cp932Text {
  bool ok = false;
  std::string bytes;      // the text in code page 932 when ok
  std::string offending;  // when not ok: the first character (UTF-8) that has no code, or the
                          // bytes that are not UTF-8
};

// Exact conversion only: no best-fit substitutes, no replacement characters.
Cp932Text Cp932FromUtf8(std::string_view utf8);

struct Cp932Replaced {
  std::string bytes;     // code page 932
  std::string replaced;  // the characters (UTF-8) that became '?', in order; empty when none
};

// Every character of valid UTF-8 that code page 932 cannot write becomes one '?', as Windows
// converts such text (but never with a best-fit look-alike, so both platforms agree).
Cp932Replaced Cp932FromUtf8Replacing(std::string_view utf8);

// A name read from a file, in code page 932: what is the name's kind ("route name"). When a
// character had to become '?', warnings gets one line naming the file, the line and the
// characters.
std::string Cp932Name(const std::string& utf8, const char* what, const std::string& source,
                      int line, std::vector<std::string>& warnings);

// For display and output; bytes that are not code page 932 become U+FFFD.
std::string Utf8FromCp932(std::string_view cp932);

struct DecodedText {
  bool ok = false;
  std::string utf8;
  size_t badOffset = 0;  // when not ok: where the first byte without a character is
};

// For reading files: every byte must belong to a code page 932 character.
DecodedText Utf8FromCp932Exactly(std::string_view cp932);

// The length of the UTF-8 sequence that starts text (1 for a stray byte), never past its end.
size_t Utf8SequenceLength(std::string_view text);

}  // namespace x9host
