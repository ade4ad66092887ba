#include "os/message_text.h"

#include <atomic>
#include <cerrno>
#include <cstring>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include "os/messages.h"

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

// How many bytes of well-formed UTF-8 start text (the shortest form of a code point up to
// U+10FFFF that is not a surrogate); 0 when its first byte starts none. This floor includes
// nothing of x9host's, so it reads UTF-8 itself.
size_t Utf8Length(std::string_view text) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned lead = byte(0);
  if (lead < 0x80) return 1;
  const size_t length = lead >= 0xc2 && lead <= 0xdf   ? 2
                        : lead >= 0xe0 && lead <= 0xef ? 3
                        : lead >= 0xf0 && lead <= 0xf4 ? 4
                                                       : 0;
  if (length == 0 || text.size() < length) return 0;
  // The second byte's range rules out overlong forms, surrogates and code points past U+10FFFF.
  const unsigned low = lead == 0xe0 ? 0xa0 : lead == 0xf0 ? 0x90 : 0x80;
  const unsigned high = lead == 0xed ? 0x9f : lead == 0xf4 ? 0x8f : 0xbf;
  if (byte(1) < low || byte(1) > high) return 0;
  for (size_t i = 2; i < length; ++i)
    if (byte(i) < 0x80 || byte(i) > 0xbf) return 0;
  return length;
}

}  // namespace

std::string ErrorText(int error) {
  // The reasons a user meets, in the user's language; the C library's words for the rest.
  switch (error) {
    case ENOENT: return msg::ErrnoEnoent();
    case EACCES: return msg::ErrnoEacces();
    case EPERM: return msg::ErrnoEperm();
    case EEXIST: return msg::ErrnoEexist();
    case EISDIR: return msg::ErrnoEisdir();
    case ENOTDIR: return msg::ErrnoEnotdir();
    case ENOSPC: return msg::ErrnoEnospc();
    case EROFS: return msg::ErrnoErofs();
    case EMFILE: return msg::ErrnoEmfile();
    case ENFILE: return msg::ErrnoEnfile();
    case EFBIG: return msg::ErrnoEfbig();
    case EIO: return msg::ErrnoEio();
    case ELOOP: return msg::ErrnoEloop();
    case ENAMETOOLONG: return msg::ErrnoEnametoolong();
    case EBUSY: return msg::ErrnoEbusy();
    case EXDEV: return msg::ErrnoExdev();
    case ENOMEM: return msg::ErrnoEnomem();
    case EPIPE: return msg::ErrnoEpipe();
    case EINVAL: return msg::ErrnoEinval();
    case ENXIO: return msg::ErrnoEnxio();
    default: return std::strerror(error);
  }
}

std::string OneLine(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    const auto c = static_cast<unsigned char>(text[i]);
    const size_t length = Utf8Length(text.substr(i));
    if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c < 0x20 || c == 0x7f || length == 0) {
      // A byte of no character (a file name in another encoding) is shown, not passed on to
      // become whatever the terminal makes of it.
      AppendHex(out, "\\x", c, 2);
    } else if (c == 0xc2 && static_cast<unsigned char>(text[i + 1]) <= 0x9f) {
      // U+0080 to U+009F: a terminal may read U+009B as the start of an escape sequence.
      AppendHex(out, "\\u00", static_cast<unsigned char>(text[i + 1]), 2);
    } else {
      out.append(text.substr(i, length));
    }
    i += length == 0 ? 1 : length;
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
