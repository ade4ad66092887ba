// Windows only: the platform layer's libraries. Pause and zone values are in time_win32.cpp,
// the message boxes and the progress window in user_interface_win32.cpp.

#include "platform/platform.h"
#include "platform/win32/windows_support.h"

namespace x9::platform {

namespace win32 {

namespace {

// The text with each insert ("%1", "%2!s!") replaced by subject, or dropped with the space
// before it when there is none. Inserts are taken out by hand: filling them through
// FormatMessageW would need an argument for every number the text may use.
std::wstring FillInserts(std::wstring_view text, std::wstring_view subject) {
  std::wstring out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != L'%' || i + 1 == text.size()) {
      out += text[i];
      continue;
    }
    const wchar_t next = text[i + 1];
    if (next >= L'1' && next <= L'9') {
      size_t end = i + 2;
      while (end < text.size() && text[end] >= L'0' && text[end] <= L'9')
        ++end;
      if (end < text.size() && text[end] == L'!') {
        const size_t close = text.find(L'!', end + 1);
        if (close != std::wstring_view::npos) end = close + 1;
      }
      if (subject.empty()) {
        while (!out.empty() && out.back() == L' ')
          out.pop_back();
      } else {
        out += subject;
      }
      i = end - 1;
    } else if (next == L'0') {
      break;  // the end of the message
    } else {
      // "%%", "%.", "%!" stand for the character; "%n", "%r", "%t", "%b" for a break or a space.
      const bool space = next == L'n' || next == L'r' || next == L't' || next == L'b';
      out += space ? L' ' : next;
      ++i;
    }
  }
  if (subject.empty() && !out.empty() && out.front() == L' ') out.erase(0, 1);
  return out;
}

}  // namespace

std::string SystemMessage(DWORD error, std::wstring_view subject) {
  wchar_t* text = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::wstring wide = length != 0 && text != nullptr
                          ? FillInserts(std::wstring_view(text, length), subject)
                          : std::wstring();
  if (text != nullptr) LocalFree(text);
  while (!wide.empty() && (wide.back() == L'\n' || wide.back() == L'\r' || wide.back() == L'.' ||
                           wide.back() == L' ')) {
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
  if (handle_ == nullptr && why != nullptr) {
    const DWORD error = GetLastError();
    const int needed = MultiByteToWideChar(CP_ACP, 0, path, -1, nullptr, 0);
    std::wstring name(static_cast<size_t>(needed > 0 ? needed : 1), L'\0');
    const int length = MultiByteToWideChar(CP_ACP, 0, path, -1, name.data(), needed);
    name.resize(length > 0 ? static_cast<size_t>(length - 1) : 0);
    *why = win32::SystemMessage(error, name);
  }
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
