// Conversions built the same way on both platforms over the system's converter.
#include "codepage.h"

namespace x9host {

size_t Utf8SequenceLength(std::string_view text) {
  if (text.empty()) return 0;
  const auto lead = static_cast<unsigned char>(text[0]);
  size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
  size_t i = 1;
  while (i < length && i < text.size() && (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80)
    ++i;
  return i;
}

Cp932Replaced Cp932FromUtf8Replacing(std::string_view utf8) {
  Cp932Replaced result;
  Cp932Text whole = Cp932FromUtf8(utf8);
  if (whole.ok) {
    result.bytes = std::move(whole.bytes);
    return result;
  }
  // Character by character, only for the names that need it.
  for (size_t i = 0; i < utf8.size();) {
    const size_t length = Utf8SequenceLength(utf8.substr(i));
    const std::string_view one = utf8.substr(i, length);
    const Cp932Text converted = Cp932FromUtf8(one);
    if (converted.ok) {
      result.bytes += converted.bytes;
    } else {
      result.bytes += '?';
      result.replaced += one;
    }
    i += length;
  }
  return result;
}

std::string Cp932Name(const std::string& utf8, const char* what, const std::string& source,
                      int line, std::vector<std::string>& warnings) {
  Cp932Replaced name = Cp932FromUtf8Replacing(utf8);
  if (!name.replaced.empty()) {
    // Each character once, in the order they first appear.
    std::string characters;
    std::string_view rest = name.replaced;
    std::vector<std::string_view> seen;
    while (!rest.empty()) {
      const std::string_view one = rest.substr(0, Utf8SequenceLength(rest));
      rest.remove_prefix(one.size());
      bool again = false;
      for (const std::string_view earlier : seen)
        again = again || earlier == one;
      if (again) continue;
      seen.push_back(one);
      characters += (characters.empty() ? "\"" : " \"") + std::string(one) + '"';
    }
    warnings.push_back(source + ": line " + std::to_string(line) + ": the " + what + " \"" + utf8 +
                       "\" is kept as \"" + Utf8FromCp932(name.bytes) +
                       "\": code page 932 cannot write " + characters);
  }
  return std::move(name.bytes);
}

}  // namespace x9host
