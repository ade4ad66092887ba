// Windows only: the platform layer's libraries. Pause and zone values are in time_win32.cpp,
// the message boxes and the progress window in user_interface_win32.cpp.

#include "platform/platform.h"
#include "platform/win32/windows_support.h"

namespace x9::platform {

namespace {

// The system's text for an error code, in UTF-8.
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

}  // namespace

// The directory comes from the host in the system's ANSI code page (Shift-JIS on a Japanese
// system), which is what LoadLibraryA expects: the bytes are passed as they are.
Library::Library(const char* path, std::string* why) {
  handle_ = reinterpret_cast<void*>(LoadLibraryA(path));
  if (handle_ == nullptr && why != nullptr) *why = SystemMessage(GetLastError());
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
