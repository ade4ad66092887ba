// What the Windows OS layer's files share: the one door to <windows.h>, wide and UTF-8 paths,
// and the temporary files x9host makes beside a target.
#pragma once

#include <string>

#include "platform/win32/win32_text.h"
#include "platform/win32/windows_support.h"

namespace x9host::os::win32 {

using x9::platform::win32::ScopedFile;
using x9::platform::win32::SystemMessage;

inline constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

inline std::wstring Wide(const std::string& utf8) {
  return x9::platform::win32::WideFromUtf8(utf8);
}
inline std::string Utf8(const std::wstring& wide) {
  return x9::platform::win32::Utf8FromWide(wide);
}

// Which file this is, its size and when it was last written, as one text to compare.
inline std::string SeenText(const BY_HANDLE_FILE_INFORMATION& info) {
  return std::to_string(info.dwVolumeSerialNumber) + ":" + std::to_string(info.nFileIndexHigh) +
         ":" + std::to_string(info.nFileIndexLow) + ":" + std::to_string(info.nFileSizeHigh) + ":" +
         std::to_string(info.nFileSizeLow) + ":" +
         std::to_string(info.ftLastWriteTime.dwHighDateTime) + "." +
         std::to_string(info.ftLastWriteTime.dwLowDateTime);
}

std::wstring WideParent(const std::wstring& path);

// A short name beside path that nothing has yet: ".x9h" and six digits, so that it fits
// wherever the target's own name does.
std::wstring FreeNameBeside(const std::wstring& path);

// A new temporary file beside path, open for writing, removed when closed unless kept.
ScopedFile MakeTemporary(const std::wstring& path, std::wstring& temporary, bool deleteOnClose);

}  // namespace x9host::os::win32
