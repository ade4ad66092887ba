// Windows side of x9host.
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <set>

#include "host_platform.h"
#include "input_error.h"

namespace x9host::platform {
namespace {

std::wstring Wide(const std::string& utf8) {
  if (utf8.empty()) return {};
  const int size = static_cast<int>(utf8.size());
  const int needed = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, nullptr, 0);
  std::wstring out(static_cast<size_t>(needed > 0 ? needed : 0), L'\0');
  if (needed > 0) MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, out.data(), needed);
  return out;
}

std::string Utf8(const std::wstring& wide) {
  if (wide.empty()) return {};
  const int size = static_cast<int>(wide.size());
  const int needed = WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(needed > 0 ? needed : 0), '\0');
  if (needed > 0) WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, out.data(), needed, nullptr, nullptr);
  return out;
}

std::string SystemMessage(DWORD error) {
  wchar_t* text = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::wstring message = length != 0 && text != nullptr ? std::wstring(text, length) : std::wstring();
  if (text != nullptr) LocalFree(text);
  while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' || message.back() == L'.')) {
    message.pop_back();
  }
  if (message.empty()) return "error " + std::to_string(error);
  return Utf8(message);
}

std::wstring ClassName(HWND window) {
  wchar_t name[64] = {};
  GetClassNameW(window, name, 64);
  return name;
}

std::wstring WindowText(HWND window) {
  const int length = GetWindowTextLengthW(window);
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  text.resize(static_cast<size_t>(GetWindowTextW(window, text.data(), length + 1)));
  return text;
}

}  // namespace

std::vector<std::string> Arguments(int, char**) {
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  std::vector<std::string> args;
  for (int i = 1; wide != nullptr && i < count; ++i) args.push_back(Utf8(wide[i]));
  if (wide != nullptr) LocalFree(wide);
  return args;
}

void PrepareConsole() {
  // The console keeps its code page after the program ends: the one it had is put back.
  static const UINT previous = GetConsoleOutputCP();
  if (previous == 0 || previous == CP_UTF8) return;
  SetConsoleOutputCP(CP_UTF8);
  std::atexit([] { SetConsoleOutputCP(previous); });
}

std::string ProgramDirectory() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return ".";
    if (length < path.size()) {
      path.resize(length);
      break;
    }
    path.resize(path.size() * 2);
  }
  return ParentDirectory(Utf8(path));
}

std::string JoinPath(const std::string& directory, const std::string& name) {
  if (directory.empty() || directory.back() == '\\' || directory.back() == '/') return directory + name;
  return directory + '\\' + name;
}

std::string FullPath(const std::string& path) {
  const std::wstring wide = Wide(path);
  const DWORD needed = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
  if (needed == 0) return path;
  std::wstring full(needed, L'\0');
  const DWORD length = GetFullPathNameW(wide.c_str(), needed, full.data(), nullptr);
  full.resize(length);
  return Utf8(full);
}

std::string ParentDirectory(const std::string& path) {
  const size_t slash = path.find_last_of("\\/");
  if (slash == std::string::npos) return ".";
  if (slash == 0 || (slash == 2 && path[1] == ':')) return path.substr(0, slash + 1);
  return path.substr(0, slash);
}

bool IsDirectory(const std::string& path) {
  const DWORD attributes = GetFileAttributesW(Wide(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool IsFile(const std::string& path) {
  const DWORD attributes = GetFileAttributesW(Wide(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

std::string ReadWholeFile(const std::string& path) {
  if (IsDirectory(path)) throw InputError(path + ": is a directory, not a file");
  const HANDLE file = CreateFileW(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) throw InputError(path + ": " + SystemMessage(GetLastError()));
  std::string bytes;
  char buffer[65536];
  DWORD n = 0;
  BOOL ok;
  while ((ok = ::ReadFile(file, buffer, sizeof buffer, &n, nullptr)) != FALSE && n > 0) {
    bytes.append(buffer, n);
  }
  const DWORD error = GetLastError();
  CloseHandle(file);
  if (!ok) throw InputError(path + ": " + SystemMessage(error));
  return bytes;
}

void WriteFileAtomically(const std::string& path, const std::string& bytes) {
  const std::wstring target = Wide(FullPath(path));
  const std::wstring directory = Wide(ParentDirectory(FullPath(path)));
  wchar_t temporary[MAX_PATH + 16] = {};
  if (GetTempFileNameW(directory.c_str(), L"x9h", 0, temporary) == 0) {
    throw InputError(path + ": cannot be written (" + SystemMessage(GetLastError()) + ")");
  }
  const HANDLE file = CreateFileW(temporary, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  bool ok = file != INVALID_HANDLE_VALUE;
  DWORD error = ok ? 0 : GetLastError();
  size_t written = 0;
  while (ok && written < bytes.size()) {
    const DWORD chunk = static_cast<DWORD>(bytes.size() - written > 1 << 20 ? 1 << 20 : bytes.size() - written);
    DWORD n = 0;
    ok = WriteFile(file, bytes.data() + written, chunk, &n, nullptr) != FALSE && n > 0;
    if (!ok) error = GetLastError();
    written += n;
  }
  if (ok && !FlushFileBuffers(file)) {
    ok = false;
    error = GetLastError();
  }
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  if (ok && MoveFileExW(temporary, target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return;
  }
  if (ok) error = GetLastError();
  DeleteFileW(temporary);
  throw InputError(path + ": cannot be written (" + SystemMessage(error) + ")");
}

void* LoadModule(const std::string& path) {
  const HMODULE module = LoadLibraryW(Wide(path).c_str());
  if (module == nullptr) {
    throw InputError(path + ": cannot be loaded (" + SystemMessage(GetLastError()) + ")");
  }
  return module;
}

void* ModuleSymbol(void* module, const char* name) {
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(module), name));
}

void UnloadModule(void* module) { FreeLibrary(static_cast<HMODULE>(module)); }

std::string HostDirectoryText(const std::string& directory) {
  // The module loads x9.dll with LoadLibraryA: the directory must be in the ANSI code page.
  const std::wstring wide = Wide(directory);
  BOOL usedDefault = FALSE;
  const int size = static_cast<int>(wide.size());
  const int needed = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), size, nullptr, 0,
                                         nullptr, &usedDefault);
  if (needed <= 0 || usedDefault) {
    throw InputError(directory + ": the plug-in directory cannot be named in this system's code page");
  }
  std::string out(static_cast<size_t>(needed), '\0');
  WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), size, out.data(), needed, nullptr,
                      &usedDefault);
  return out;
}

// --- Answering message boxes -----------------------------------------------------------------

namespace {

std::set<HWND> g_answered;  // boxes already clicked, until they are destroyed

bool HasButton(HWND box, int id) {
  const HWND button = GetDlgItem(box, id);
  return button != nullptr && (GetWindowLongW(button, GWL_STYLE) & WS_VISIBLE) != 0;
}

BOOL CALLBACK FindBoxText(HWND child, LPARAM context) {
  auto* text = reinterpret_cast<HWND*>(context);
  if (_wcsicmp(ClassName(child).c_str(), L"Static") != 0) return TRUE;
  if ((GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) return TRUE;
  if (*text == nullptr || GetDlgCtrlID(child) == 0xFFFF) *text = child;
  return TRUE;
}

void AnswerBox(HWND box) {
  // Only message boxes have Yes or OK; the progress window (a dialog too) is left alone.
  if (ClassName(box) != L"#32770" || g_answered.count(box) != 0) return;
  const int button = HasButton(box, IDYES) ? IDYES : HasButton(box, IDOK) ? IDOK : 0;
  if (button == 0) return;
  g_answered.insert(box);
  HWND textControl = nullptr;
  EnumChildWindows(box, FindBoxText, reinterpret_cast<LPARAM>(&textControl));
  const std::string text = textControl != nullptr ? Utf8(WindowText(textControl)) : std::string();
  std::fprintf(stderr, "[message box] %s\n(answered %s)\n", text.c_str(), button == IDYES ? "Yes" : "OK");
  std::fflush(stderr);
  // Clicked once the box runs its own message loop, as a person's click would arrive.
  PostMessageW(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(box, button)));
}

LRESULT CALLBACK AnswerHook(int code, WPARAM wParam, LPARAM lParam) {
  const HWND window = reinterpret_cast<HWND>(wParam);
  if (code == HCBT_ACTIVATE) {
    AnswerBox(window);
  } else if (code == HCBT_DESTROYWND) {
    g_answered.erase(window);  // the handle may come back for another box
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

}  // namespace

void AnswerEveryQuestionYes(int) {
  // The module runs on this thread, so a hook on it sees every box it opens.
  if (SetWindowsHookExW(WH_CBT, AnswerHook, nullptr, GetCurrentThreadId()) == nullptr) {
    throw InputError("--yes: the message-box hook cannot be installed (" +
                     SystemMessage(GetLastError()) + ")");
  }
}

void PauseMilliseconds(int milliseconds) { ::Sleep(static_cast<DWORD>(milliseconds)); }

// --- Holding the progress window ---------------------------------------------------------------

namespace {

struct ProgressSearch {
  HWND window = nullptr;
  HWND bar = nullptr;
};

BOOL CALLBACK FindProgressWindow(HWND window, LPARAM context) {
  auto* search = reinterpret_cast<ProgressSearch*>(context);
  if (ClassName(window) != L"#32770" || !IsWindowVisible(window)) return TRUE;
  const HWND bar = FindWindowExW(window, nullptr, PROGRESS_CLASSW, nullptr);
  if (bar == nullptr) return TRUE;
  search->window = window;
  search->bar = bar;
  return FALSE;
}

void PumpFor(int milliseconds) {
  const DWORD start = GetTickCount();
  while (GetTickCount() - start < static_cast<DWORD>(milliseconds)) {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
    ::Sleep(20);
  }
}

}  // namespace

bool HoldSupported() { return true; }

void HoldProgressWindowAt(int percent, int seconds) {
  static bool held = false;
  if (held) return;
  ProgressSearch search;
  EnumThreadWindows(GetCurrentThreadId(), FindProgressWindow, reinterpret_cast<LPARAM>(&search));
  if (search.bar == nullptr) return;
  const int position = static_cast<int>(SendMessageW(search.bar, PBM_GETPOS, 0, 0));
  if (position < percent) return;
  held = true;
  RedrawWindow(search.window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
  RECT rect{};
  GetWindowRect(search.window, &rect);
  std::printf("x9host: holding the progress window at %d%% for %d s (at %ld,%ld, %ldx%ld)\n", position,
              seconds, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top);
  std::fflush(stdout);
  PumpFor(seconds * 1000);
}

}  // namespace x9host::platform
