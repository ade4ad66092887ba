// Windows side of x9host's OS layer (os.h).
#include <windows.h>
// After <windows.h>, which they need.
#include <commctrl.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "os/input_error.h"
#include "os/os.h"
#include "platform/win32/win32_text.h"

namespace x9host::os {
namespace {

std::wstring Wide(const std::string& utf8) { return x9::platform::win32::WideFromUtf8(utf8); }
std::string Utf8(const std::wstring& wide) { return x9::platform::win32::Utf8FromWide(wide); }

using x9::platform::win32::SystemMessage;

}  // namespace

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
  // The console keeps its code page after the program ends: the one it had is put back.
  static const UINT previous = GetConsoleOutputCP();
  if (previous == 0 || previous == CP_UTF8) return;
  SetConsoleOutputCP(CP_UTF8);
  std::atexit([] { SetConsoleOutputCP(previous); });
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

namespace {

// Owns a file handle (INVALID_HANDLE_VALUE when none).
class File {
 public:
  explicit File(HANDLE handle) : handle_(handle) {}
  ~File() {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
  }
  File(const File&) = delete;
  File& operator=(const File&) = delete;
  HANDLE get() const { return handle_; }
  explicit operator bool() const { return handle_ != INVALID_HANDLE_VALUE; }

 private:
  HANDLE handle_;
};

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

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

std::wstring WideParent(const std::wstring& path) {
  const size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? std::wstring(L".") : path.substr(0, slash);
}

std::wstring WideBase(const std::wstring& path) {
  const size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

// A new temporary file beside path, open for writing, removed when closed unless kept.
HANDLE MakeTemporary(const std::wstring& path, std::wstring& temporary, bool deleteOnClose) {
  static unsigned counter = 0;
  for (int attempt = 0; attempt < 100; ++attempt) {
    // Short, so that it fits wherever the target's own name does.
    temporary = WideParent(path) + L"\\.x9h" +
                std::to_wstring((GetCurrentProcessId() * 31 + ++counter) % 1000000);
    const HANDLE file = CreateFileW(
        temporary.c_str(), GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
        FILE_ATTRIBUTE_NORMAL | (deleteOnClose ? FILE_FLAG_DELETE_ON_CLOSE : 0), nullptr);
    if (file != INVALID_HANDLE_VALUE || GetLastError() != ERROR_FILE_EXISTS) return file;
  }
  return INVALID_HANDLE_VALUE;
}

// What Windows would make of a name other than the file it reads as: closing dots and spaces
// are dropped ("trail. " makes "trail"), and a device name before the first dot ("nul.gpx",
// "com1.txt") is the device. The device's own name (NUL, CON) is written through, as asked.
void RefuseMisreadName(const std::string& where, const std::wstring& name) {
  const size_t slash = name.find_last_of(L"\\/:");
  const std::wstring last = slash == std::wstring::npos ? name : name.substr(slash + 1);
  if (last.empty() || last == L"." || last == L"..") return;
  if (last.back() == L'.' || last.back() == L' ') {
    throw InputError(where +
                     ": Windows drops a name's closing dots and spaces, so the file would have "
                     "another name: give it without them");
  }
  std::wstring stem = Lower(last.substr(0, last.find(L'.')));
  while (!stem.empty() && stem.back() == L' ')
    stem.pop_back();
  const bool numbered = stem.size() == 4 &&
                        (stem.compare(0, 3, L"com") == 0 || stem.compare(0, 3, L"lpt") == 0) &&
                        stem[3] >= L'1' && stem[3] <= L'9';
  const bool device =
      numbered || stem == L"con" || stem == L"prn" || stem == L"aux" || stem == L"nul";
  if (device && Lower(last) != stem) {
    throw InputError(where + ": Windows reads a name that starts with the device name " +
                     Utf8(stem) + " as that device, not a file: give another name");
  }
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
    const File file(CreateFileW(wide.c_str(), GENERIC_WRITE, kShareAll, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    const DWORD error = file ? 0 : GetLastError();
    if (file && GetFileType(file.get()) != FILE_TYPE_DISK) {
      // NUL, CON, a pipe: written straight through, never replaced.
      target.kind = OutputTarget::Kind::kWriteThrough;
      target.path = name;
      target.identity = "device:" + Utf8(Lower(Wide(FullPath(name))));
      return target;
    }
    if (file) {
      BY_HANDLE_FILE_INFORMATION info{};
      GetFileInformationByHandle(file.get(), &info);
      if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        throw InputError(where + ": is a directory");
      }
      if (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY)
        throw InputError(where + ": is read-only");
      // Replacing needs the file opened for deletion: another program holding it open without
      // allowing that would make the replacement fail after the request.
      const File deletable(CreateFileW(wide.c_str(), DELETE, kShareAll, nullptr, OPEN_EXISTING,
                                       FILE_FLAG_BACKUP_SEMANTICS, nullptr));
      if (!deletable) {
        const DWORD why = GetLastError();
        throw InputError(where + ": cannot be replaced (" + SystemMessage(why) +
                         (why == ERROR_SHARING_VIOLATION ? "; another program holds it open" : "") +
                         ")");
      }
      target.kind = OutputTarget::Kind::kReplace;
      target.identity = Identity(file.get());
      path = FinalPath(file.get());
      if (path.empty()) path = Wide(FullPath(name));
    } else if (error == ERROR_ACCESS_DENIED && IsDirectory(name)) {
      throw InputError(where + ": is a directory");
    } else if (error != ERROR_FILE_NOT_FOUND) {
      throw InputError(where + ": " + SystemMessage(error));
    }
  }
  if (target.kind != OutputTarget::Kind::kReplace) {
    target.kind = OutputTarget::Kind::kCreate;
    const std::wstring full = Wide(FullPath(name));
    const File directory(CreateFileW(WideParent(full).c_str(), 0, kShareAll, nullptr, OPEN_EXISTING,
                                     FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!directory || !IsDirectory(Utf8(WideParent(full)))) {
      throw InputError(where + ": the directory " + Utf8(WideParent(full)) + " does not exist");
    }
    std::wstring parent = FinalPath(directory.get());
    if (parent.empty()) parent = WideParent(full);
    path = parent + L"\\" + WideBase(full);
    target.identity = "new:" + Utf8(Lower(path));
  }
  target.path = Utf8(path);
  // The file will be a temporary one first: it must be possible to make one there.
  std::wstring temporary;
  const File probe(MakeTemporary(path, temporary, true));
  if (!probe) {
    throw InputError(where + ": cannot be written in " + Utf8(WideParent(path)) + " (" +
                     SystemMessage(GetLastError()) + ")");
  }
  return target;
}

std::string FileIdentity(const std::string& path) {
  const File file(CreateFileW(Wide(path).c_str(), 0, kShareAll, nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  const std::string identity = file ? Identity(file.get()) : std::string();
  return identity.empty() ? "missing:" + FullPath(path) : identity;
}

namespace {

struct StepFailed {
  std::string reason;
};

void Step(const char* step) {
  if (InjectedFault(step) != 0) throw StepFailed{std::string("a fault injected at ") + step};
}

void Check(bool ok) {
  if (!ok) throw StepFailed{SystemMessage(GetLastError())};
}

class HandleSink final : public OutputSink {
 public:
  HandleSink(HANDLE file, size_t& written) : file_(file), written_(written) {}
  void Write(std::string_view bytes) override {
    // The seam counts outputs, not the pieces a producer writes them in.
    if (!started_) Step("write");
    started_ = true;
    while (!bytes.empty()) {
      const DWORD chunk = static_cast<DWORD>(bytes.size() > (1u << 20) ? (1u << 20) : bytes.size());
      DWORD n = 0;
      Check(WriteFile(file_, bytes.data(), chunk, &n, nullptr) && n > 0);
      bytes.remove_prefix(n);
      written_ += n;
    }
  }

 private:
  HANDLE file_;
  size_t& written_;
  bool started_ = false;
};

// One output on its way into place.
struct Placement {
  const OutputTarget* target = nullptr;
  const OutputProducer* produce = nullptr;
  std::wstring temporary;  // the new content beside the target, while it has its own name
  std::wstring backup;     // the old file, moved aside by ReplaceFileW: the way back
  bool placed = false;
  size_t streamed = 0;

  bool IsFile() const {
    return target->kind == OutputTarget::Kind::kReplace ||
           target->kind == OutputTarget::Kind::kCreate;
  }
  std::string Where() const { return target->option + " " + target->name; }
};

// A name beside path that nothing has yet.
std::wstring FreeNameBeside(const std::wstring& path) {
  static unsigned counter = 0;
  std::wstring name;
  do {
    name = WideParent(path) + L"\\.x9h" +
           std::to_wstring((GetCurrentProcessId() * 7 + ++counter) % 1000000);
  } while (GetFileAttributesW(name.c_str()) != INVALID_FILE_ATTRIBUTES);
  return name;
}

}  // namespace

std::vector<std::string> WriteOutputs(
    const std::vector<std::pair<OutputTarget, OutputProducer>>& outputs) {
  std::vector<Placement> placements(outputs.size());
  for (size_t i = 0; i < outputs.size(); ++i) {
    placements[i].target = &outputs[i].first;
    placements[i].produce = &outputs[i].second;
  }
  const Placement* failing = nullptr;
  std::string why;
  try {
    // Every file in full first; then each put in place, an existing one moved aside by
    // ReplaceFileW (which keeps its attributes and security on the new file) as the way back;
    // the streams last, since what reaches them cannot be taken back.
    for (Placement& p : placements) {
      failing = &p;
      if (!p.IsFile()) continue;
      Step("create");
      const File file(MakeTemporary(Wide(p.target->path), p.temporary, false));
      if (!file) p.temporary.clear();
      Check(static_cast<bool>(file));
      HandleSink sink(file.get(), p.streamed);
      (*p.produce)(sink);
      p.streamed = 0;
      Step("sync");
      Check(FlushFileBuffers(file.get()) != FALSE);
    }
    for (Placement& p : placements) {
      failing = &p;
      if (!p.IsFile()) continue;
      Step("rename");
      const std::wstring path = Wide(p.target->path);
      if (p.target->kind == OutputTarget::Kind::kReplace) {
        const std::wstring backup = FreeNameBeside(path);
        Check(ReplaceFileW(path.c_str(), p.temporary.c_str(), backup.c_str(),
                           REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr) != FALSE);
        p.backup = backup;
      } else {
        Check(MoveFileExW(p.temporary.c_str(), path.c_str(), MOVEFILE_WRITE_THROUGH) != FALSE);
      }
      p.temporary.clear();
      p.placed = true;
    }
    for (Placement& p : placements) {
      failing = &p;
      if (p.IsFile()) continue;
      Step("stream");
      if (p.target->kind == OutputTarget::Kind::kStandardOutput) {
        std::fflush(stdout);
        HandleSink sink(GetStdHandle(p.target->stream == 2 ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE),
                        p.streamed);
        (*p.produce)(sink);
      } else {
        const File file(CreateFileW(Wide(p.target->path).c_str(), GENERIC_WRITE, kShareAll, nullptr,
                                    OPEN_EXISTING, 0, nullptr));
        Check(static_cast<bool>(file));
        HandleSink sink(file.get(), p.streamed);
        (*p.produce)(sink);
      }
    }
    failing = nullptr;
  } catch (const StepFailed& failure) {
    why = failure.reason;
  } catch (const std::exception& error) {
    why = error.what();
  }

  if (failing == nullptr) {
    std::vector<std::string> warnings;
    for (const Placement& p : placements) {
      if (p.backup.empty()) continue;
      if (InjectedFault("commit") != 0 || !DeleteFileW(p.backup.c_str())) {
        warnings.push_back(p.Where() + ": the old content could not be removed from " +
                           Utf8(p.backup));
      }
    }
    return warnings;
  }

  // Every target back as it was, and everything made removed.
  std::vector<const Placement*> stuck;
  for (auto p = placements.rbegin(); p != placements.rend(); ++p) {
    if (p->placed) {
      const std::wstring path = Wide(p->target->path);
      const bool back =
          InjectedFault("restore") == 0 &&
          (p->backup.empty()
               ? DeleteFileW(path.c_str()) != FALSE
               : MoveFileExW(p->backup.c_str(), path.c_str(),
                             MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE);
      if (back) {
        p->placed = false;
        p->backup.clear();
      } else {
        stuck.push_back(&*p);
      }
    }
    if (!p->temporary.empty()) DeleteFileW(p->temporary.c_str());
    p->temporary.clear();
  }
  const std::string cause = failing->Where() + ": cannot be written (" + why + ")";
  bool streamed = false;
  for (const Placement& p : placements)
    streamed = streamed || p.streamed > 0;
  if (stuck.empty() && !streamed) {
    throw OutputsNotWritten(OutputsNotWritten::State::kAsTheyWere,
                            cause + "; every output is as it was");
  }
  std::string states;
  for (const Placement& p : placements) {
    std::string state = "is as it was";
    if (std::find(stuck.begin(), stuck.end(), &p) != stuck.end()) {
      state = "holds the new content";
      if (!p.backup.empty()) state += " (the old is in " + Utf8(p.backup) + ")";
    } else if (p.streamed > 0) {
      state = &p == failing ? "got part of the new content" : "got the new content";
    }
    states += (states.empty() ? "" : ", ") + p.Where() + " " + state;
  }
  throw OutputsNotWritten(OutputsNotWritten::State::kLeftChanged,
                          cause + ", and not every output could be put back: " + states);
}

std::string HostDirectoryText(const std::string& directory) {
  // The module loads x9.dll with LoadLibraryA: the directory must be in the ANSI code page.
  const std::wstring wide = Wide(directory);
  BOOL usedDefault = FALSE;
  const int size = static_cast<int>(wide.size());
  const int needed = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), size, nullptr,
                                         0, nullptr, &usedDefault);
  if (needed <= 0 || usedDefault) {
    throw InputError(directory +
                     ": the plug-in directory cannot be named in this system's code page");
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
  std::printf("x9host: holding the progress window at %d%% for %d s (at %ld,%ld, %ldx%ld)\n",
              position, seconds, rect.left, rect.top, rect.right - rect.left,
              rect.bottom - rect.top);
  std::fflush(stdout);
  PumpFor(seconds * 1000);
}

bool UserReadsJapanese() { return PRIMARYLANGID(GetUserDefaultUILanguage()) == LANG_JAPANESE; }

}  // namespace x9host::os
