// Windows-only: UTF-8 to and from the system's UTF-16, and a window's text and class name, for
// x9host and the Windows tests. Not part of the module: its few conversions (code page 932 for
// its windows; a system message in UTF-8, which windows_support.h offers x9host too) are its
// own, and x9host's code page 932 tables are in x9host/codepage_win32.cpp.
#pragma once

#include "platform/win32/windows_support.h"

#include <string>
#include <string_view>

namespace x9::platform::win32 {

// Bytes that are not UTF-8 become U+FFFD.
std::wstring WideFromUtf8(std::string_view utf8);
// False, with out empty, when the bytes are not UTF-8.
bool WideFromUtf8Exactly(std::string_view utf8, std::wstring& out);
std::string Utf8FromWide(std::wstring_view wide);

std::wstring WindowText(HWND window);
std::wstring ClassNameOf(HWND window);

}  // namespace x9::platform::win32
