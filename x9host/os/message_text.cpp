#include "os/message_text.h"

#include <atomic>
#include <cstring>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace x9host::os {
namespace {

// Lock-free, so a signal handler (or Windows' console-event thread) may read and clear it.
std::atomic<bool> linePending{false};
static_assert(std::atomic<bool>::is_always_lock_free);

void AppendHex(std::string& out, const char* prefix, unsigned value, int digits) {
  static constexpr char kHex[] = "0123456789abcdef";
  out += prefix;
  for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4)
    out += kHex[(value >> shift) & 0xf];
}

}  // namespace

std::string ErrorText(int error) { return std::strerror(error); }

std::string OneLine(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c < 0x20 || c == 0x7f) {
      AppendHex(out, "\\x", c, 2);
    } else if (c == 0xc2 && i + 1 < text.size() &&
               static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
               static_cast<unsigned char>(text[i + 1]) <= 0x9f) {
      // U+0080 to U+009F: a terminal may read U+009B as the start of an escape sequence.
      AppendHex(out, "\\u00", static_cast<unsigned char>(text[i + 1]), 2);
      ++i;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

void NoteLinePending(bool pending) { linePending.store(pending); }

bool LinePending() { return linePending.load(); }

void EndPendingLine() {
  if (!linePending.exchange(false)) return;
#ifdef _WIN32
  _write(2, "\n", 1);
#else
  const ssize_t ignored = write(STDERR_FILENO, "\n", 1);
  (void)ignored;
#endif
}

}  // namespace x9host::os
