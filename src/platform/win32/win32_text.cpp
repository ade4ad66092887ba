#include "platform/win32/win32_text.h"

namespace x9::platform::win32 {
namespace {

std::wstring Widen(std::string_view utf8, DWORD flags, bool& ok) {
  ok = true;
  if (utf8.empty()) return {};
  const int size = static_cast<int>(utf8.size());
  const int needed = MultiByteToWideChar(CP_UTF8, flags, utf8.data(), size, nullptr, 0);
  if (needed <= 0) {
    ok = false;
    return {};
  }
  std::wstring wide(static_cast<size_t>(needed), L'\0');
  MultiByteToWideChar(CP_UTF8, flags, utf8.data(), size, wide.data(), needed);
  return wide;
}

}  // namespace

std::wstring WideFromUtf8(std::string_view utf8) {
  bool ok = false;
  return Widen(utf8, 0, ok);
}

bool WideFromUtf8Exactly(std::string_view utf8, std::wstring& out) {
  bool ok = false;
  out = Widen(utf8, MB_ERR_INVALID_CHARS, ok);
  return ok;
}

std::string Utf8FromWide(std::wstring_view wide) {
  if (wide.empty()) return {};
  const int size = static_cast<int>(wide.size());
  const int needed =
      WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
  if (needed <= 0) return {};
  std::string out(static_cast<size_t>(needed), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, out.data(), needed, nullptr, nullptr);
  return out;
}

std::wstring WindowText(HWND window) {
  const int length = GetWindowTextLengthW(window);
  if (length <= 0) return {};
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  const int copied = GetWindowTextW(window, text.data(), length + 1);
  text.resize(copied > 0 ? static_cast<size_t>(copied) : 0);
  return text;
}

std::wstring ClassNameOf(HWND window) {
  wchar_t name[256] = {};
  const int length = GetClassNameW(window, name, 256);
  return std::wstring(name, length > 0 ? static_cast<size_t>(length) : 0);
}

}  // namespace x9::platform::win32
