// Windows-only: this folder holds the platform layer's Windows code, and this header is its one
// door to <windows.h>. Nothing outside src/platform/win32/ (and the Windows tests) includes it
// directly; x9host's Windows files include it, never <windows.h> itself.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
// Windows 7 is the oldest system the module supports; newer declarations stay out of reach.
#ifndef _WIN32_WINNT
#define _WIN32_WINNT 0x0601
#endif
#ifndef WINVER
#define WINVER _WIN32_WINNT
#endif
#ifndef UNICODE
#define UNICODE
#endif
#ifndef _UNICODE
#define _UNICODE
#endif

#include <windows.h>
// After <windows.h>, which it needs: the progress bar's class and messages.
#include <commctrl.h>

#if _WIN32_WINNT < 0x0601
#error "x9link targets Windows 7 (_WIN32_WINNT 0x0601) or later"
#endif

#include <string>
#include <string_view>
#include <utility>

namespace x9::platform::win32 {

// Owns one Win32 handle and releases it once. Traits name the handle type, its invalid value
// (null for a window; INVALID_HANDLE_VALUE for a file) and how to release it, so no caller
// compares against the wrong invalid value.
template <typename Traits>
class ScopedHandle {
 public:
  using Handle = typename Traits::Handle;

  ScopedHandle() = default;
  explicit ScopedHandle(Handle handle) : handle_(handle) {}
  ~ScopedHandle() { Reset(); }
  ScopedHandle(const ScopedHandle&) = delete;
  ScopedHandle& operator=(const ScopedHandle&) = delete;
  ScopedHandle(ScopedHandle&& other) noexcept : handle_(other.Release()) {}
  ScopedHandle& operator=(ScopedHandle&& other) noexcept {
    if (this != &other) Reset(other.Release());
    return *this;
  }

  Handle Get() const { return handle_; }
  explicit operator bool() const { return handle_ != Traits::Invalid(); }

  // Gives the handle up without releasing it (e.g. when the system already has).
  Handle Release() { return std::exchange(handle_, Traits::Invalid()); }

  void Reset(Handle handle = Traits::Invalid()) {
    const Handle old = std::exchange(handle_, handle);
    if (old != Traits::Invalid()) Traits::Close(old);
  }

 private:
  Handle handle_ = Traits::Invalid();
};

struct WindowTraits {
  using Handle = HWND;
  static Handle Invalid() { return nullptr; }
  static void Close(Handle window) { DestroyWindow(window); }
};

using ScopedWindow = ScopedHandle<WindowTraits>;

struct FileTraits {
  using Handle = HANDLE;
  static Handle Invalid() { return INVALID_HANDLE_VALUE; }
  static void Close(Handle file) { CloseHandle(file); }
};

using ScopedFile = ScopedHandle<FileTraits>;

// The system's text for an error code in UTF-8, without its closing full stop and line end
// ("error N" when the system has none). Its inserts ("Bad EXE format for %1") name subject, the
// file the call was about; without one they are left out, never shown as "%1".
std::string SystemMessage(DWORD error, std::wstring_view subject = {});

// The running program's full path, however long ("" when the system cannot tell).
std::wstring ProgramPath();

// Code page 932 text (the catalogue's Shift-JIS) as UTF-16, whatever the system's code page.
// Bytes that are not code page 932 come out as the code page's default character.
std::wstring WideFromCodePage932(const char* text);

}  // namespace x9::platform::win32
