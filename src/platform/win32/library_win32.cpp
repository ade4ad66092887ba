// Windows only: the platform layer's libraries. Pause and zone values are in time_win32.cpp,
// the message boxes and the progress window in user_interface_win32.cpp.

#include "platform/platform.h"
#include "platform/win32/windows_support.h"

namespace x9::platform {

namespace win32 {

std::string SystemMessage(DWORD error) {
  wchar_t* text = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::wstring wide = length != 0 && text != nullptr ? std::wstring(text, length) : std::wstring();
  if (text != nullptr) LocalFree(text);
  while (!wide.empty() && (wide.back() == L'\n' || wide.back() == L'\r' || wide.back() == L'.')) {
    wide.pop_back();
  }
  if (wide.empty()) return "error " + std::to_string(error);
  const int size = static_cast<int>(wide.size());
  const int needed =
      WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(needed > 0 ? needed : 0), '\0');
  if (needed > 0)
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, out.data(), needed, nullptr, nullptr);
  return out;
}

std::wstring ProgramPath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return {};
    if (length < path.size()) {
      path.resize(length);
      return path;
    }
    if (path.size() >= 32768) return path;  // the longest path Windows can name
    path.resize(path.size() * 2);
  }
}

}  // namespace win32

// The directory comes from the host in the system's ANSI code page (Shift-JIS on a Japanese
// system), which is what LoadLibraryA expects: the bytes are passed as they are.
Library::Library(const char* path, std::string* why) {
  handle_ = reinterpret_cast<void*>(LoadLibraryA(path));
  if (handle_ == nullptr && why != nullptr) *why = win32::SystemMessage(GetLastError());
}

void* Library::Find(const char* name) const {
  if (handle_ == nullptr) return nullptr;
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle_), name));
}

void Library::Reset() {
  if (handle_ != nullptr) FreeLibrary(static_cast<HMODULE>(handle_));
  handle_ = nullptr;
}

char PathSeparator() { return '\\'; }

}  // namespace x9::platform
