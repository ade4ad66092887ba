// Windows code page conversions: the system's code page 932 tables, exact (no best fit).
#include <windows.h>

#include "codepage.h"
#include "win32/win32_text.h"

namespace x9host {
namespace {

using x9sim::win32::Utf8FromWide;
using x9sim::win32::WideFromUtf8Exactly;

constexpr UINT kCodePage932 = 932;

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

// Code page 932 to UTF-16; false when a byte belongs to no character (only with exact).
bool From932(std::string_view cp932, bool exact, std::wstring& out) {
  out.clear();
  if (cp932.empty()) return true;
  const int size = static_cast<int>(cp932.size());
  const DWORD flags = exact ? MB_ERR_INVALID_CHARS : 0;
  const int needed = MultiByteToWideChar(kCodePage932, flags, cp932.data(), size, nullptr, 0);
  if (needed <= 0) return false;
  out.resize(static_cast<size_t>(needed));
  MultiByteToWideChar(kCodePage932, flags, cp932.data(), size, out.data(), needed);
  return true;
}

}  // namespace

Cp932Text Cp932FromUtf8(std::string_view utf8) {
  Cp932Text result;
  std::wstring wide;
  if (WideFromUtf8Exactly(utf8, wide) && To932(wide, result.bytes)) {
    result.ok = true;
    return result;
  }
  result.bytes.clear();
  // Find the first character that fails on its own, to name it.
  for (size_t i = 0; i < utf8.size();) {
    const std::string_view one = utf8.substr(i, Utf8SequenceLength(utf8.substr(i)));
    std::wstring oneWide;
    std::string ignored;
    if (!WideFromUtf8Exactly(one, oneWide) || !To932(oneWide, ignored)) {
      result.offending = std::string(one);
      break;
    }
    i += one.size();
  }
  return result;
}

std::string Utf8FromCp932(std::string_view cp932) {
  // Without MB_ERR_INVALID_CHARS undefined bytes become U+30FB or U+FFFD; either shows that
  // something was there.
  std::wstring wide;
  if (!From932(cp932, false, wide)) return std::string(cp932);
  return Utf8FromWide(wide);
}

DecodedText Utf8FromCp932Exactly(std::string_view cp932) {
  DecodedText result;
  std::wstring wide;
  if (From932(cp932, true, wide)) {
    result.ok = true;
    result.utf8 = Utf8FromWide(wide);
    return result;
  }
  // Walk the characters to find the first one without a code (the error path only).
  for (size_t i = 0; i < cp932.size();) {
    const auto lead = static_cast<unsigned char>(cp932[i]);
    const size_t length =
        ((lead >= 0x81 && lead <= 0x9F) || (lead >= 0xE0 && lead <= 0xFC)) ? 2 : 1;
    if (i + length > cp932.size() || !From932(cp932.substr(i, length), true, wide)) {
      result.badOffset = i;
      return result;
    }
    i += length;
  }
  result.badOffset = cp932.size();
  return result;
}

}  // namespace x9host
