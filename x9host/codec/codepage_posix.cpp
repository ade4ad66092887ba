// The native build's code page 932 tables: glibc's iconv ("CP932", the Windows variant of
// Shift-JIS), one character at a time. Its one-way mappings are left out by the round trip in
// codepage_common.cpp.
#include <errno.h>
#include <fcntl.h>
#include <iconv.h>
#include <unistd.h>

#include <stdexcept>
#include <string>

#include "codec/codepage.h"
#include "codec/utf8.h"
#include "os/message_text.h"
#include "os/messages.h"

namespace x9host {
namespace {

// EMFILE or ENFILE when no file can be opened now, else EINVAL.
int FileDescriptorShortage() {
  const int fd = open("/dev/null", O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno == EMFILE || errno == ENFILE ? errno : EINVAL;
  close(fd);
  return EINVAL;
}

// One direction of glibc's iconv, a character at a time.
class IconvOneWay {
 public:
  IconvOneWay(const char* to, const char* from) : cd_(iconv_open(to, from)) {
    if (cd_ == reinterpret_cast<iconv_t>(-1)) {
      // glibc says EINVAL also when it could not open the conversion's module for want of a
      // file descriptor: what the failed call said is asked again, so that the line tells the
      // true cause rather than a missing conversion.
      int error = errno;
      if (error == EINVAL) error = FileDescriptorShortage();
      if (error == EINVAL) throw std::runtime_error(msg::IconvMissing(from, to));
      throw std::runtime_error(msg::IconvFailed(from, to, os::ErrorText(error)));
    }
  }
  ~IconvOneWay() { iconv_close(cd_); }
  IconvOneWay(const IconvOneWay&) = delete;
  IconvOneWay& operator=(const IconvOneWay&) = delete;

  // The whole input converted, or false.
  bool Convert(std::string_view in, std::string& out) {
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    char* inPtr = const_cast<char*>(in.data());
    size_t inLeft = in.size();
    char buffer[16];
    char* outPtr = buffer;
    size_t outLeft = sizeof buffer;
    const size_t result = iconv(cd_, &inPtr, &inLeft, &outPtr, &outLeft);
    if (result == static_cast<size_t>(-1) || inLeft != 0) return false;
    // Nothing may be held back for a sequence that never ends.
    if (iconv(cd_, nullptr, nullptr, &outPtr, &outLeft) == static_cast<size_t>(-1)) return false;
    out.assign(buffer, sizeof buffer - outLeft);
    return true;
  }

 private:
  iconv_t cd_;
};

}  // namespace

bool SystemCp932FromCode(uint32_t code, std::string& bytes) {
  static IconvOneWay converter("CP932", "UTF-8");
  std::string utf8;
  AppendUtf8(utf8, code);
  return converter.Convert(utf8, bytes) && !bytes.empty();
}

bool SystemCodeFromCp932(std::string_view bytes, uint32_t& code) {
  static IconvOneWay converter("UTF-8", "CP932");
  std::string utf8;
  if (!converter.Convert(bytes, utf8) || utf8.empty()) return false;
  const Utf8Character character = DecodeUtf8(utf8);
  // Exactly one character.
  if (character.status != Utf8Character::Status::kOk || character.length != utf8.size())
    return false;
  code = character.code;
  return true;
}

}  // namespace x9host
