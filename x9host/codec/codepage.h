// Conversions between UTF-8 (files, terminal) and code page 932 (the host's and the watch's
// texts), by one rule on both builds: characters are walked with the module's lead bytes
// (text/cp932.h), and a character is kept only when it converts to code page 932 and back to
// itself. The system's tables (iconv natively, the Windows code page on Windows) convert one
// character at a time, in codepage_posix.cpp / codepage_win32.cpp.
#pragma once

#include <cstddef>
#include <cstdint>
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

// Exact conversion only: no one-way look-alikes, no replacement characters.
Cp932Text Cp932FromUtf8(std::string_view utf8);

struct Cp932Replaced {
  std::string bytes;     // code page 932
  std::string replaced;  // the characters (UTF-8) that became '?', in order; empty when none
};

// Every character of valid UTF-8 that code page 932 cannot write, and every byte that is not
// UTF-8, becomes one '?' (never a look-alike, so both platforms agree).
Cp932Replaced Cp932FromUtf8Replacing(std::string_view utf8);

// The names of one file warned about one by one; the rest are counted in one line.
inline constexpr int64_t kNameWarningsShown = 100;
std::string MoreNamesWarning(const std::string& source, int64_t namesChanged);

// A name read from a file, in code page 932: what is the name's kind in the user's language
// ("route name"). When a character had to become '?', warnings gets one line naming the file,
// the line and the characters.
std::string Cp932Name(const std::string& utf8, const std::string& what, const std::string& source,
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

// How much of a value a message shows: a value of up to this many bytes is short enough to show
// whole, a longer one is cut to its characters within them.
inline constexpr size_t kShownValueBytes = 40;

// A value for a message, in double quotes: whole when short, else its first characters and
// its size, so that a huge value does not become a huge line.
std::string QuotedValue(std::string_view value);
// The same, but a value short enough to show whole is shown as it is, without quotes (a name
// in angle brackets, a number).
std::string ShownValue(std::string_view value);

// The system's tables, one character at a time (codepage_posix.cpp / codepage_win32.cpp).
// Encode: the code page 932 bytes the system gives the character, false when it has none.
bool SystemCp932FromCode(uint32_t code, std::string& bytes);
// Decode: the character one or two bytes stand for; false unless they are exactly one.
bool SystemCodeFromCp932(std::string_view bytes, uint32_t& code);

}  // namespace x9host
