// Windows side of x9host's OS layer (os.h).
#include "os/files_win32.h"
// After <windows.h>, which it needs.
#include <shellapi.h>

#include <fcntl.h>
#include <io.h>
#include <time.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "os/input_error.h"
#include "os/messages.h"
#include "os/os.h"
#include "os/transaction_steps.h"

namespace x9host::os {

using win32::kShareAll;
using win32::MakeTemporary;
using win32::ScopedFile;
using win32::SystemMessage;
using win32::Utf8;
using win32::Wide;
using win32::WideParent;

std::vector<std::string> Arguments(int, char**) {
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  std::vector<std::string> args;
  for (int i = 1; wide != nullptr && i < count; ++i)
    args.push_back(Utf8(wide[i]));
  if (wide != nullptr) LocalFree(wide);
  return args;
}

void PrepareConsole() {
  transaction::EndOnSignalsBeforeOutputs();
  // To a pipe or a file the bytes are those the POSIX build writes: the C runtime's text mode
  // would put "\r" before every "\n". A console is written as UTF-16 (Print), never through it.
  for (std::FILE* stream : {stdout, stderr}) {
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    DWORD mode = 0;
    if (handle != INVALID_HANDLE_VALUE && !GetConsoleMode(handle, &mode))
      _setmode(_fileno(stream), _O_BINARY);
  }
  // The console keeps its code page after the program ends: the one it had is put back.
  static const UINT previous = GetConsoleOutputCP();
  if (previous == 0 || previous == CP_UTF8) return;
  SetConsoleOutputCP(CP_UTF8);
  std::atexit([] { SetConsoleOutputCP(previous); });
}

void Print(std::FILE* stream, std::string_view text) {
  const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
  DWORD mode = 0;
  if (handle == INVALID_HANDLE_VALUE || !GetConsoleMode(handle, &mode)) {
    std::fwrite(text.data(), 1, text.size(), stream);
    return;
  }
  // A console takes the characters themselves: no code page between them and the screen.
  std::fflush(stream);
  const std::wstring wide = Wide(std::string(text));
  for (size_t done = 0; done < wide.size();) {
    DWORD written = 0;
    const auto chunk = static_cast<DWORD>(std::min<size_t>(wide.size() - done, 8192));
    if (!WriteConsoleW(handle, wide.data() + done, chunk, &written, nullptr) || written == 0)
      return;
    done += written;
  }
}

std::string ProgramDirectory() {
  const std::wstring path = x9::platform::win32::ProgramPath();
  if (path.empty()) return ".";
  return ParentDirectory(Utf8(path));
}

std::string JoinPath(const std::string& directory, const std::string& name) {
  if (directory.empty() || directory.back() == '\\' || directory.back() == '/')
    return directory + name;
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

// Windows has no words of its own for a file where a directory is wanted and the reverse: the
// C runtime's (ENOTDIR, EISDIR) are the ones the POSIX build gives.
std::string LookUpFailure(const std::string& path, LookUpAs as) {
  const DWORD attributes = GetFileAttributesW(Wide(path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return {};
    return SystemMessage(error, Wide(path));
  }
  const bool directory = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  if (as == LookUpAs::kDirectory && !directory) return ErrorText(ENOTDIR);
  if (as == LookUpAs::kFile && directory) return ErrorText(EISDIR);
  return {};
}

namespace {

// The path of an open file or directory with every reparse point followed.
std::wstring FinalPath(HANDLE handle) {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length =
        GetFinalPathNameByHandleW(handle, path.data(), static_cast<DWORD>(path.size()),
                                  FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (length == 0) return {};
    if (length < path.size()) {
      path.resize(length);
      break;
    }
    path.resize(length + 1);
  }
  // The system puts "\\?\" before the drive; a path short enough works without it.
  const bool drive = path.size() > 6 && path.compare(0, 4, L"\\\\?\\") == 0 && path[5] == L':';
  if (drive && path.size() + 32 < MAX_PATH) path.erase(0, 4);  // room for a temporary name
  return path;
}

std::string Identity(HANDLE handle) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(handle, &info)) return {};
  return "file:" + std::to_string(info.dwVolumeSerialNumber) + ":" +
         std::to_string(info.nFileIndexHigh) + ":" + std::to_string(info.nFileIndexLow);
}

std::wstring Lower(std::wstring text) {
  if (!text.empty()) CharLowerBuffW(text.data(), static_cast<DWORD>(text.size()));
  return text;
}

std::wstring WideBase(const std::wstring& path) {
  const size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

// Whether a name in lower case is one Windows keeps for a device.
bool IsDeviceName(const std::wstring& name) {
  const bool numbered = name.size() == 4 &&
                        (name.compare(0, 3, L"com") == 0 || name.compare(0, 3, L"lpt") == 0) &&
                        name[3] >= L'1' && name[3] <= L'9';
  return numbered || name == L"con" || name == L"prn" || name == L"aux" || name == L"nul";
}

// What Windows would make of a name other than the file it reads as: closing dots and spaces
// are dropped ("trail. " makes "trail"), and a device name before the first dot ("nul.gpx",
// "com1.txt") is the device. The device's own name (NUL, CON) is written through, as asked.
void RefuseMisreadName(const std::string& where, const std::wstring& name) {
  const size_t slash = name.find_last_of(L"\\/:");
  const std::wstring last = slash == std::wstring::npos ? name : name.substr(slash + 1);
  if (last.empty() || last == L"." || last == L"..") return;
  if (last.back() == L'.' || last.back() == L' ') {
    throw InputError(msg::OutputClosingDots(where));
  }
  std::wstring stem = Lower(last.substr(0, last.find(L'.')));
  while (!stem.empty() && stem.back() == L' ')
    stem.pop_back();
  if (IsDeviceName(stem) && Lower(last) != stem) {
    throw InputError(msg::OutputDeviceName(where, Utf8(stem)));
  }
}

// Whether name is one of Windows' own devices: a device name alone as its last part
// (RefuseMisreadName has refused one with more after it), or a path in the device namespace
// ("\\.\COM1").
bool WindowsDevice(const std::wstring& name) {
  if (name.compare(0, 4, L"\\\\.\\") == 0) return true;
  const size_t slash = name.find_last_of(L"\\/:");
  return IsDeviceName(Lower(slash == std::wstring::npos ? name : name.substr(slash + 1)));
}

}  // namespace

OutputTarget PlanFileOutput(const std::string& option, const std::string& name) {
  OutputTarget target;
  target.option = option;
  target.name = name;
  const std::string where = option + " " + name;
  const std::wstring wide = Wide(name);
  RefuseMisreadName(where, wide);
  std::wstring path;
  {
    // Opened for writing as it will be written: a read-only file, a file in use, a device that
    // refuses writing are all told now. Reparse points are followed.
    const ScopedFile file(CreateFileW(wide.c_str(), GENERIC_WRITE, kShareAll, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    const DWORD error = file ? 0 : GetLastError();
    if (file && GetFileType(file.Get()) != FILE_TYPE_DISK) {
      // Windows' own devices (NUL, CON) are written straight through. Anything else that is not
      // a file on disk (a FIFO, /dev/stdout or another device through Wine's Z: drive) takes
      // the bytes nowhere this program can see, or is not there to be replaced: refused.
      if (!WindowsDevice(wide)) throw InputError(msg::OutputNotOnDisk(where, option));
      target.kind = OutputTarget::Kind::kWriteThrough;
      target.path = name;
      target.identity = "device:" + Utf8(Lower(Wide(FullPath(name))));
      return target;
    }
    if (file) {
      BY_HANDLE_FILE_INFORMATION info{};
      GetFileInformationByHandle(file.Get(), &info);
      if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        throw InputError(msg::OutputIsDirectory(where));
      if (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY)
        throw InputError(msg::OutputReadOnly(where));
      // Replacing needs the file opened for deletion: another program holding it open without
      // allowing that would make the replacement fail after the request.
      const ScopedFile deletable(CreateFileW(wide.c_str(), DELETE, kShareAll, nullptr,
                                             OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
      if (!deletable) {
        const DWORD why = GetLastError();
        if (why == ERROR_SHARING_VIOLATION)
          throw InputError(msg::OutputHeldOpen(where, SystemMessage(why, wide)));
        throw InputError(msg::OutputCannotBeReplaced(where, SystemMessage(why, wide)));
      }
      target.kind = OutputTarget::Kind::kReplace;
      target.otherNames = info.nNumberOfLinks > 1 ? info.nNumberOfLinks - 1 : 0;
      target.seenBefore = win32::SeenText(info);
      target.identity = Identity(file.Get());
      path = FinalPath(file.Get());
      if (path.empty()) path = Wide(FullPath(name));
    } else if (error == ERROR_ACCESS_DENIED && IsDirectory(name)) {
      throw InputError(msg::OutputIsDirectory(where));
    } else if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) {
      // A missing directory is found and named below, in the words the POSIX build uses.
      throw InputError(msg::OutputUnusable(where, SystemMessage(error, wide)));
    }
  }
  if (target.kind != OutputTarget::Kind::kReplace) {
    target.kind = OutputTarget::Kind::kCreate;
    const std::wstring full = Wide(FullPath(name));
    const ScopedFile directory(CreateFileW(WideParent(full).c_str(), 0, kShareAll, nullptr,
                                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!directory || !IsDirectory(Utf8(WideParent(full)))) {
      const DWORD error = GetLastError();
      // Named as given, as the POSIX build names it; a file there is "Not a directory" too.
      const std::string given = ParentDirectory(name);
      if (directory) throw InputError(msg::OutputDirectoryFailed(where, given, ErrorText(ENOTDIR)));
      if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) {
        throw InputError(
            msg::OutputDirectoryFailed(where, given, SystemMessage(error, WideParent(full))));
      }
      throw InputError(msg::OutputDirectoryMissing(where, given));
    }
    std::wstring parent = FinalPath(directory.Get());
    if (parent.empty()) parent = WideParent(full);
    path = parent + L"\\" + WideBase(full);
    target.identity = "new:" + Utf8(Lower(path));
  }
  target.path = Utf8(path);
  // The file will be a temporary one first: it must be possible to make one there.
  std::wstring temporary;
  const ScopedFile probe(MakeTemporary(path, temporary, true));
  if (!probe) {
    const DWORD error = GetLastError();
    throw InputError(msg::OutputCannotBeWrittenIn(where, Utf8(WideParent(path)),
                                                  SystemMessage(error, WideParent(path))));
  }
  return target;
}

namespace win32 {

std::wstring WideParent(const std::wstring& path) {
  const size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? std::wstring(L".") : path.substr(0, slash);
}

std::wstring FreeNameBeside(const std::wstring& path) {
  static unsigned counter = 0;
  std::wstring name;
  do {
    name = WideParent(path) + L"\\.x9h" +
           std::to_wstring((GetCurrentProcessId() * 7 + ++counter) % 1000000);
  } while (GetFileAttributesW(name.c_str()) != INVALID_FILE_ATTRIBUTES);
  return name;
}

ScopedFile MakeTemporary(const std::wstring& path, std::wstring& temporary, bool deleteOnClose) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    temporary = FreeNameBeside(path);
    ScopedFile file(CreateFileW(
        temporary.c_str(), GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
        FILE_ATTRIBUTE_NORMAL | (deleteOnClose ? FILE_FLAG_DELETE_ON_CLOSE : 0), nullptr));
    if (file || GetLastError() != ERROR_FILE_EXISTS) return file;
  }
  return ScopedFile();
}

}  // namespace win32

std::string FileIdentity(const std::string& path) {
  const ScopedFile file(CreateFileW(Wide(path).c_str(), 0, kShareAll, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  const std::string identity = file ? Identity(file.Get()) : std::string();
  return identity.empty() ? "missing:" + FullPath(path) : identity;
}

std::string HostDirectoryText(const std::string& directory) {
  // The module loads x9.dll with LoadLibraryA: the directory must be in the ANSI code page.
  const std::wstring wide = Wide(directory);
  BOOL usedDefault = FALSE;
  const int size = static_cast<int>(wide.size());
  const int needed = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), size, nullptr,
                                         0, nullptr, &usedDefault);
  if (needed <= 0 || usedDefault) {
    throw InputError(msg::PluginDirectoryCodePage(directory));
  }
  std::string out(static_cast<size_t>(needed), '\0');
  WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), size, out.data(), needed, nullptr,
                      &usedDefault);
  return out;
}

// --- Holding the progress window ---------------------------------------------------------------

namespace {

struct ProgressSearch {
  HWND window = nullptr;
  HWND bar = nullptr;
};

BOOL CALLBACK FindProgressWindow(HWND window, LPARAM context) {
  auto* search = reinterpret_cast<ProgressSearch*>(context);
  if (x9::platform::win32::ClassNameOf(window) != L"#32770" || !IsWindowVisible(window))
    return TRUE;
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
  const std::string line = msg::HoldingProgressWindow(
      position, seconds, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top);
  Print(stdout, "x9host: " + line + "\n");  // not a message: the program's name before its line
  std::fflush(stdout);
  PumpFor(seconds * 1000);
}

namespace {

bool Letters(std::string_view text, size_t count) {
  if (text.size() < count) return false;
  return std::all_of(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(count),
                     [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); });
}

// Between least and most digits, taken from the front of text.
bool TakeDigits(std::string_view& text, size_t least, size_t most) {
  size_t count = 0;
  while (count < text.size() && count < most && text[count] >= '0' && text[count] <= '9')
    ++count;
  if (count < least) return false;
  text.remove_prefix(count);
  return true;
}

// The C runtime's own form, "tzn[+|-]hh[:mm[:ss]][dzn]", whole: the one it reads as meant.
bool RuntimeReadsZone(std::string_view zone) {
  if (zone == "UTC" || zone == "GMT") return true;  // no offset: the runtime takes UTC
  if (!Letters(zone, 3)) return false;
  zone.remove_prefix(3);
  if (!zone.empty() && (zone.front() == '+' || zone.front() == '-')) zone.remove_prefix(1);
  if (!TakeDigits(zone, 1, 2)) return false;
  for (int part = 0; part < 2 && !zone.empty() && zone.front() == ':'; ++part) {
    zone.remove_prefix(1);
    if (!TakeDigits(zone, 2, 2)) return false;
  }
  return zone.empty() || (zone.size() == 3 && Letters(zone, 3));
}

}  // namespace

std::optional<std::string> UnknownTimeZone() {
  const char* value = std::getenv("TZ");
  if (value == nullptr || *value == '\0' || RuntimeReadsZone(value)) return std::nullopt;
  return std::string(value);
}

std::optional<std::string> SettleTimeZone() {
  std::optional<std::string> zone = UnknownTimeZone();
  if (!zone) return std::nullopt;
  // Without TZ the runtime asks Windows for its zone, which is the machine's: a TZ from a Unix
  // shell on Windows names that zone the Unix way, and under Wine Windows's zone is TZ's.
  _putenv("TZ=");
  _tzset();
  return msg::TimeZoneNotRead(*zone);
}

std::optional<std::string> NoWindows() {
  SetLastError(0);  // a failure that sets no error must not show an earlier call's
  const HWND window = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                      GetModuleHandleW(nullptr), nullptr);
  const DWORD error = GetLastError();
  if (window != nullptr) {
    DestroyWindow(window);
    return std::nullopt;
  }
  // Wine without a display fails it without an error code.
  return msg::NoWindows(error != 0 ? SystemMessage(error) : msg::NoReasonGiven());
}

bool UserReadsJapanese() { return PRIMARYLANGID(GetUserDefaultUILanguage()) == LANG_JAPANESE; }

}  // namespace x9host::os
