// Native code page conversions with glibc's iconv ("CP932", the Windows variant of Shift-JIS).
#include <errno.h>
#include <iconv.h>

#include <stdexcept>

#include "codepage.h"

namespace x9host {
namespace {

class Converter {
 public:
  Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {
    if (cd_ == reinterpret_cast<iconv_t>(-1)) {
      throw std::runtime_error(std::string("iconv cannot convert from ") + from + " to " + to);
    }
  }
  ~Converter() { iconv_close(cd_); }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  // Converts as far as it can; returns how many input bytes were consumed.
  size_t Convert(std::string_view in, std::string& out) {
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    char* inPtr = const_cast<char*>(in.data());
    size_t inLeft = in.size();
    char buffer[256];
    while (inLeft > 0) {
      char* outPtr = buffer;
      size_t outLeft = sizeof buffer;
      const size_t result = iconv(cd_, &inPtr, &inLeft, &outPtr, &outLeft);
      out.append(buffer, sizeof buffer - outLeft);
      if (result == static_cast<size_t>(-1) && errno != E2BIG) break;
    }
    return in.size() - inLeft;
  }

 private:
  iconv_t cd_;
};

}  // namespace

Cp932Text Cp932FromUtf8(std::string_view utf8) {
  static Converter converter("CP932", "UTF-8");
  Cp932Text result;
  const size_t consumed = converter.Convert(utf8, result.bytes);
  result.ok = consumed == utf8.size();
  if (!result.ok) {
    const std::string_view rest = utf8.substr(consumed);
    result.offending = std::string(rest.substr(0, Utf8SequenceLength(rest)));
    result.bytes.clear();
  }
  return result;
}

std::string Utf8FromCp932(std::string_view cp932) {
  static Converter converter("UTF-8", "CP932");
  std::string out;
  while (!cp932.empty()) {
    const size_t consumed = converter.Convert(cp932, out);
    if (consumed == cp932.size()) break;
    // A byte with no character: show one replacement character and go on after it.
    out += "\xEF\xBF\xBD";
    cp932.remove_prefix(consumed + 1);
  }
  return out;
}

DecodedText Utf8FromCp932Exactly(std::string_view cp932) {
  static Converter converter("UTF-8", "CP932");
  DecodedText result;
  const size_t consumed = converter.Convert(cp932, result.utf8);
  result.ok = consumed == cp932.size();
  if (!result.ok) {
    result.badOffset = consumed;
    result.utf8.clear();
  }
  return result;
}

}  // namespace x9host
