// Windows code page conversions: the system's code page 932 tables, exact (no best fit).
#include <windows.h>

#include "codepage.h"

namespace x9host {
namespace {

constexpr UINT kCodePage932 = 932;

std::wstring WideFromUtf8(std::string_view utf8, bool& valid) {
  valid = true;
  if (utf8.empty()) return {};
  const int size = static_cast<int>(utf8.size());
  const int needed = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), size, nullptr, 0);
  if (needed <= 0) {
    valid = false;
    return {};
  }
  std::wstring wide(static_cast<size_t>(needed), L'\0');
  MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), size, wide.data(), needed);
  return wide;
}

std::string Utf8FromWide(std::wstring_view wide) {
  if (wide.empty()) return {};
  const int size = static_cast<int>(wide.size());
  const int needed = WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(needed > 0 ? needed : 0), '\0');
  if (needed > 0) WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, out.data(), needed, nullptr, nullptr);
  return out;
}

// Converts to code page 932; false when a character has no code there.
bool To932(std::wstring_view wide, std::string& out) {
  out.clear();
  if (wide.empty()) return true;
  const int size = static_cast<int>(wide.size());
  BOOL usedDefault = FALSE;
  const int needed = WideCharToMultiByte(kCodePage932, WC_NO_BEST_FIT_CHARS, wide.data(), size,
                                         nullptr, 0, nullptr, &usedDefault);
  if (needed <= 0 || usedDefault) return false;
  out.resize(static_cast<size_t>(needed));
  WideCharToMultiByte(kCodePage932, WC_NO_BEST_FIT_CHARS, wide.data(), size, out.data(), needed,
                      nullptr, &usedDefault);
  return !usedDefault;
}

// The length of the UTF-8 sequence at text[0] (1 for a stray byte).
size_t SequenceLength(std::string_view text) {
  const auto lead = static_cast<unsigned char>(text[0]);
  size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
  return length < text.size() ? length : text.size();
}

}  // namespace

Cp932Text Cp932FromUtf8(std::string_view utf8) {
  Cp932Text result;
  bool valid = false;
  const std::wstring wide = WideFromUtf8(utf8, valid);
  if (valid && To932(wide, result.bytes)) {
    result.ok = true;
    return result;
  }
  result.bytes.clear();
  // Find the first character that fails on its own, to name it.
  for (size_t i = 0; i < utf8.size();) {
    const size_t length = SequenceLength(utf8.substr(i));
    const std::string_view one = utf8.substr(i, length);
    bool oneValid = false;
    const std::wstring oneWide = WideFromUtf8(one, oneValid);
    std::string ignored;
    if (!oneValid || !To932(oneWide, ignored)) {
      result.offending = std::string(one);
      break;
    }
    i += length;
  }
  return result;
}

std::string Utf8FromCp932(std::string_view cp932) {
  if (cp932.empty()) return {};
  const int size = static_cast<int>(cp932.size());
  // Without MB_ERR_INVALID_CHARS undefined bytes become U+30FB or U+FFFD; either shows that
  // something was there.
  const int needed = MultiByteToWideChar(kCodePage932, 0, cp932.data(), size, nullptr, 0);
  if (needed <= 0) return std::string(cp932);
  std::wstring wide(static_cast<size_t>(needed), L'\0');
  MultiByteToWideChar(kCodePage932, 0, cp932.data(), size, wide.data(), needed);
  return Utf8FromWide(wide);
}

}  // namespace x9host
