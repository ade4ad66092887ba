// The output transaction's steps on Windows (transaction_steps.h): a named temporary file beside
// the target, ReplaceFileW's backup as the way back (it keeps the old file's attributes and
// security on the new one), and console events noted while the outputs change.
#include "os/files_win32.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "os/messages.h"
#include "os/os.h"
#include "os/transaction_steps.h"

namespace x9host::os::transaction {
namespace {

using win32::FreeNameBeside;
using win32::kShareAll;
using win32::MakeTemporary;
using win32::ScopedFile;
using win32::SeenText;
using win32::SystemMessage;
using win32::Utf8;
using win32::Wide;

// --- Console events --------------------------------------------------------------------------

// Events are numbered apart from C's signals, so the seam's "=SIGNAL" can name them.
constexpr int kEventBase = 100;

volatile LONG noted = 0;

bool EndsTheProcess(DWORD event) {
  return event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT;
}

BOOL WINAPI NoteEvent(DWORD event) {
  InterlockedExchange(&noted, static_cast<LONG>(kEventBase + event));
  // After closing the console, logoff or shutdown the system ends the process once the handler
  // returns (or some seconds later): the handler holds it while the main thread puts every
  // output back, says so and ends the program itself.
  if (EndsTheProcess(event)) Sleep(INFINITE);
  return TRUE;
}

// The events Windows has (CTRL_C_EVENT to CTRL_SHUTDOWN_EVENT).
constexpr DWORD kEventCount = CTRL_SHUTDOWN_EVENT + 1;

// The whole last line for each event in each language, made before the handler is installed.
std::vector<std::string>& EndLines(Language language) {
  static std::vector<std::string> lines[2];
  return lines[language == Language::kJapanese ? 1 : 0];
}

std::string EndLine(DWORD event, Language language) {
  const std::string name = SignalName(static_cast<int>(kEventBase + event), language);
  return "x9host: " + InterruptedLine(name, language) + "\n";  // not a message: program's name
}

// Before the window nothing of x9host's is on disk: the program ends at once, with the line the
// transaction gives for its own interruption.
BOOL WINAPI EndOnEvent(DWORD event) {
  const Language language = CurrentLanguage();
  std::fflush(stdout);
  EndPendingLine();
  if (event < kEventCount) {
    std::fputs(EndLines(language)[event].c_str(), stderr);
  } else {
    // An event Windows does not have yet is named here, on the handler's thread of its own.
    std::fputs(EndLine(event, language).c_str(), stderr);
  }
  std::fflush(stderr);
  ExitProcess(1);
}

// --- Files -----------------------------------------------------------------------------------

// subject: the file the failed call was about, which the system's text may name.
void Check(bool ok, std::wstring_view subject = {}) {
  if (!ok) throw StepFailed{SystemMessage(GetLastError(), subject)};
}

void WriteAll(HANDLE file, std::wstring_view subject, std::string_view bytes,
              size_t* written = nullptr) {
  while (!bytes.empty()) {
    const DWORD chunk = static_cast<DWORD>(bytes.size() > (1u << 20) ? (1u << 20) : bytes.size());
    DWORD n = 0;
    Check(WriteFile(file, bytes.data(), chunk, &n, nullptr) && n > 0, subject);
    bytes.remove_prefix(n);
    if (written != nullptr) *written += n;
    CheckSignal();
  }
}

// What tells the file under a name apart from any other, and from itself rewritten.
struct Seen {
  DWORD volume = 0, indexHigh = 0, indexLow = 0, sizeHigh = 0, sizeLow = 0;
  FILETIME written{};
  bool operator==(const Seen& o) const {
    return volume == o.volume && indexHigh == o.indexHigh && indexLow == o.indexLow &&
           sizeHigh == o.sizeHigh && sizeLow == o.sizeLow &&
           CompareFileTime(&written, &o.written) == 0;
  }
};

bool Look(const std::wstring& path, Seen& seen) {
  const ScopedFile file(CreateFileW(path.c_str(), 0, kShareAll, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                    nullptr));
  BY_HANDLE_FILE_INFORMATION info{};
  if (!file || !GetFileInformationByHandle(file.Get(), &info)) return false;
  seen = {info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow,
          info.nFileSizeHigh,        info.nFileSizeLow,   info.ftLastWriteTime};
  return true;
}

class WindowsFileOutput final : public FileOutput {
 public:
  explicit WindowsFileOutput(const OutputTarget& target)
      : target_(target), path_(Wide(target.path)) {}

  void Create() override {
    Step("create");
    file_ = MakeTemporary(path_, temporary_, false);
    if (!file_) temporary_.clear();
    Check(static_cast<bool>(file_), path_);
  }

  void Write(std::string_view bytes) override { WriteAll(file_.Get(), path_, bytes); }

  void Finish() override {
    Step("sync");
    Check(FlushFileBuffers(file_.Get()) != FALSE, path_);
    file_.Reset();
  }

  // The name ReplaceFileW moves the old file to.
  void KeepWayBack() override {
    Step("backup");
    backup_ = FreeNameBeside(path_);
  }

  void PutInPlace() override {
    Step("rename");
    if (backup_.empty()) {
      Check(MoveFileExW(temporary_.c_str(), path_.c_str(), MOVEFILE_WRITE_THROUGH) != FALSE, path_);
    } else if (!ReplaceFileW(path_.c_str(), temporary_.c_str(), backup_.c_str(),
                             REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr)) {
      const DWORD error = GetLastError();
      // The old file went to the backup's name, the new one did not follow: the old goes back.
      if (error == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2)
        MoveFileExW(backup_.c_str(), path_.c_str(), MOVEFILE_WRITE_THROUGH);
      backup_.clear();
      SetLastError(error);
      Check(false, path_);
    }
    temporary_.clear();
    placed_ = Look(path_, put_);
  }

  std::string SeenNow() override {
    const ScopedFile file(CreateFileW(path_.c_str(), 0, kShareAll, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION info{};
    if (!file || !GetFileInformationByHandle(file.Get(), &info)) return {};
    return SeenText(info);
  }

  bool StillOurs() override {
    Seen now;
    return placed_ && Look(path_, now) && now == put_;
  }

  bool PutBack() override {
    if (backup_.empty()) return DeleteFileW(path_.c_str()) != FALSE;
    if (!MoveFileExW(backup_.c_str(), path_.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      return false;
    }
    backup_.clear();
    return true;
  }

  std::string DropWayBack() override {
    if (backup_.empty()) return {};
    if (!DeleteFileW(backup_.c_str())) return SystemMessage(GetLastError(), backup_);
    backup_.clear();
    return {};
  }

  void RemoveTemporary() override {
    file_.Reset();
    if (!temporary_.empty()) DeleteFileW(temporary_.c_str());
    temporary_.clear();
  }

  std::string WayBack() const override { return backup_.empty() ? std::string() : Utf8(backup_); }

 private:
  const OutputTarget& target_;
  std::wstring path_;
  ScopedFile file_;         // the new content while it is made
  std::wstring temporary_;  // the new content beside the target, while it has its own name
  std::wstring backup_;     // the old file, moved aside by ReplaceFileW: the way back
  bool placed_ = false;
  Seen put_;  // the file as it was put in place
};

class WindowsStreamOutput final : public StreamOutput {
 public:
  explicit WindowsStreamOutput(const OutputTarget& target) : target_(target) {}

  void Open() override {
    Step("open");
    file_ = ScopedFile(CreateFileW(Wide(target_.path).c_str(), GENERIC_WRITE, kShareAll, nullptr,
                                   OPEN_EXISTING, 0, nullptr));
    Check(static_cast<bool>(file_), Wide(target_.path));
  }

  void Write(std::string_view bytes, size_t& written) override {
    const HANDLE handle =
        target_.kind == OutputTarget::Kind::kStandardOutput
            ? GetStdHandle(target_.stream == 2 ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE)
            : file_.Get();
    WriteAll(handle, Wide(target_.path), bytes, &written);
  }

 private:
  const OutputTarget& target_;
  ScopedFile file_;
};

}  // namespace

std::unique_ptr<FileOutput> NewFileOutput(const OutputTarget& target) {
  return std::make_unique<WindowsFileOutput>(target);
}

std::unique_ptr<StreamOutput> NewStreamOutput(const OutputTarget& target) {
  return std::make_unique<WindowsStreamOutput>(target);
}

void EndOnSignalsBeforeOutputs() {
  // Both languages: the language may be chosen after the handler is installed.
  for (const Language language : {Language::kEnglish, Language::kJapanese}) {
    std::vector<std::string>& lines = EndLines(language);
    lines.clear();
    for (DWORD event = 0; event < kEventCount; ++event)
      lines.push_back(EndLine(event, language));
  }
  SetConsoleCtrlHandler(EndOnEvent, TRUE);
}

SignalWindow::SignalWindow() {
  InterlockedExchange(&noted, 0);
  SetConsoleCtrlHandler(NoteEvent, TRUE);
  SetConsoleCtrlHandler(EndOnEvent, FALSE);
}

// The handler stays: after the transaction an event is noted and changes nothing.
SignalWindow::~SignalWindow() = default;

int NotedSignal() { return static_cast<int>(InterlockedCompareExchange(&noted, 0, 0)); }

// The seam's events come from the main thread: only noted, never held.
void Deliver(int signal) { InterlockedExchange(&noted, static_cast<LONG>(signal)); }

std::string SignalName(int signal, Language language) {
  const Arg number(signal - kEventBase);
  switch (signal - kEventBase) {
    case CTRL_C_EVENT: return "Ctrl-C";
    case CTRL_BREAK_EVENT: return "Ctrl-Break";  // not a message: a key, as the keyboard names it
    case CTRL_CLOSE_EVENT: return SayIn(language, msg::kConsoleClosing, {});
    case CTRL_LOGOFF_EVENT: return SayIn(language, msg::kUserLogoff, {});
    case CTRL_SHUTDOWN_EVENT: return SayIn(language, msg::kSystemShutdown, {});
    default: return SayIn(language, msg::kConsoleEvent, {&number});
  }
}

}  // namespace x9host::os::transaction
