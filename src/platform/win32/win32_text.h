// Windows-only: the one converter between UTF-8 and the system's UTF-16 that x9host and the
// Windows tests share, and the texts of windows read the same way everywhere.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace x9sim::win32 {

// Bytes that are not UTF-8 become U+FFFD.
std::wstring WideFromUtf8(std::string_view utf8);
// False, with out empty, when the bytes are not UTF-8.
bool WideFromUtf8Exactly(std::string_view utf8, std::wstring& out);
std::string Utf8FromWide(std::wstring_view wide);

std::wstring WindowText(HWND window);
std::wstring ClassNameOf(HWND window);

}  // namespace x9sim::win32
