// The Windows build's code page 932 tables: the system's, one character at a time, without
// best-fit look-alikes. Which bytes form a character is the module's rule, in
// codepage_common.cpp, not the system's.
#include <string>

#include "codec/codepage.h"
#include "platform/win32/windows_support.h"

namespace x9host {
namespace {

constexpr UINT kCodePage932 = 932;

}  // namespace

bool SystemCp932FromCode(uint32_t code, std::string& bytes) {
  wchar_t wide[2];
  int units = 1;
  if (code >= 0x10000) {
    wide[0] = static_cast<wchar_t>(0xD800 + ((code - 0x10000) >> 10));
    wide[1] = static_cast<wchar_t>(0xDC00 + ((code - 0x10000) & 0x3FF));
    units = 2;
  } else {
    wide[0] = static_cast<wchar_t>(code);
  }
  char out[8];
  BOOL usedDefault = FALSE;
  const int size = WideCharToMultiByte(kCodePage932, WC_NO_BEST_FIT_CHARS, wide, units, out,
                                       sizeof out, nullptr, &usedDefault);
  if (size <= 0 || usedDefault) return false;
  bytes.assign(out, static_cast<size_t>(size));
  return true;
}

bool SystemCodeFromCp932(std::string_view bytes, uint32_t& code) {
  wchar_t wide[4];
  const int units = MultiByteToWideChar(kCodePage932, MB_ERR_INVALID_CHARS, bytes.data(),
                                        static_cast<int>(bytes.size()), wide, 4);
  if (units != 1) return false;  // exactly one character (code page 932 has no surrogates)
  code = static_cast<uint16_t>(wide[0]);
  return true;
}

}  // namespace x9host
