// The output transaction's steps on POSIX (transaction_steps.h): files made without a name
// until complete, a hard link (or an exchanging rename) as the way back, and signals noted
// while the outputs change.
#include <acl/libacl.h>
#include <attr/libattr.h>
#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <signal.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "os/files_posix.h"
#include "os/message_text.h"
#include "os/messages.h"
#include "os/os.h"
#include "os/transaction_steps.h"

namespace x9host::os::transaction {
namespace {

using posix::BaseName;
using posix::CreateBeside;
using posix::Fd;
using posix::SeenText;
using posix::ShortName;

// --- Signals ---------------------------------------------------------------------------------

// Whether a signal's default action ends the process and it is one to answer. Left out: those
// whose default is to ignore, stop or continue; SIGKILL and SIGSTOP, which cannot be caught;
// SIGPIPE and SIGXFSZ, which are ignored so that a write fails instead (EPIPE, EFBIG); and the
// program's own faults (SIGSEGV and the like), after which no code of its can be trusted. Even
// then no output is half-written: new content has no name until it is complete, and a rename
// is whole.
bool Answered(int signal) {
  switch (signal) {
    case SIGKILL:
    case SIGSTOP:
    case SIGCHLD:
    case SIGCONT:
    case SIGTSTP:
    case SIGTTIN:
    case SIGTTOU:
    case SIGURG:
    case SIGWINCH:
    case SIGPIPE:
    case SIGXFSZ:
    case SIGILL:
    case SIGTRAP:
    case SIGABRT:
    case SIGBUS:
    case SIGFPE:
    case SIGSEGV:
    case SIGSYS: return false;
    default: return true;
  }
}

// Every signal number there is (the real-time ones included).
int SignalCount() { return SIGRTMAX + 1; }

volatile sig_atomic_t noted = 0;
extern "C" void NoteSignal(int signal) { noted = signal; }

// The whole last line for each signal in each language, made before any handler is installed:
// a handler may call nothing but write(2) and _exit, and read the language (a lock-free atomic).
std::vector<std::string>& EndLines(Language language) {
  static std::vector<std::string> lines[2];
  return lines[language == Language::kJapanese ? 1 : 0];
}

extern "C" void EndOnSignal(int signal) {
  const std::vector<std::string>& lines = EndLines(CurrentLanguage());
  if (signal > 0 && static_cast<size_t>(signal) < lines.size()) {
    EndPendingLine();  // the question's "(y/N) " or a bar drawn in place
    ssize_t ignored = write(STDERR_FILENO, lines[signal].data(), lines[signal].size());
    (void)ignored;
  }
  _exit(1);
}

// Installs handler for every answered signal that was not ignored when the program started.
void Install(void (*handler)(int)) {
  struct sigaction action {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  for (int signal = 1; signal < SignalCount(); ++signal) {
    if (Answered(signal)) sigaddset(&action.sa_mask, signal);
  }
  for (int signal = 1; signal < SignalCount(); ++signal) {
    struct sigaction previous {};
    if (!Answered(signal) || sigaction(signal, nullptr, &previous) != 0) continue;
    if (previous.sa_handler == SIG_IGN) continue;
    sigaction(signal, &action, nullptr);
  }
}

// --- Files -----------------------------------------------------------------------------------

void Check(bool ok) {
  if (!ok) throw StepFailed{ErrorText(errno)};
}

// Waits until fd takes bytes or a signal is noted. The answered signals are let in only inside
// ppoll, so one that comes after the last check still ends the wait instead of arriving just
// before a write that then waits for a stalled reader.
void WaitWritable(int fd) {
  sigset_t answered;
  sigset_t open;
  sigemptyset(&answered);
  for (int signal = 1; signal < SignalCount(); ++signal) {
    if (Answered(signal)) sigaddset(&answered, signal);
  }
  pthread_sigmask(SIG_BLOCK, &answered, &open);
  if (const int fault = InjectedFault("wait"); fault > 0) Deliver(fault);  // held until ppoll
  pollfd wanted{fd, POLLOUT, 0};
  const int ready = noted != 0 ? 0 : ppoll(&wanted, 1, nullptr, &open);
  const int error = errno;
  pthread_sigmask(SIG_SETMASK, &open, nullptr);
  CheckSignal();
  errno = error;
  Check(ready >= 0 || error == EINTR);
}

// A pipe that blocks is written in pieces it takes whole once ppoll has found room, so that no
// write waits where a signal cannot end it. A pipe set not to block (our own FIFO) takes what
// it can and the wait is made in ppoll; a file or a terminal is written as it is.
void WriteAll(int fd, std::string_view bytes, size_t* written = nullptr) {
  struct stat info {};
  const bool blockingPipe =
      fstat(fd, &info) == 0 && S_ISFIFO(info.st_mode) && (fcntl(fd, F_GETFL) & O_NONBLOCK) == 0;
  while (!bytes.empty()) {
    // A signal that comes while a write waits ends it short when some bytes went, not with
    // EINTR: it is answered here before the next wait.
    CheckSignal();
    if (blockingPipe) WaitWritable(fd);
    const size_t piece = blockingPipe ? std::min<size_t>(bytes.size(), PIPE_BUF) : bytes.size();
    const ssize_t n = write(fd, bytes.data(), piece);
    if (n < 0 && errno == EAGAIN) {
      WaitWritable(fd);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;  // the signal, if one was noted, is answered above
    if (n == 0) errno = EIO;
    Check(n > 0);
    bytes.remove_prefix(static_cast<size_t>(n));
    if (written != nullptr) *written += static_cast<size_t>(n);
  }
}

// What tells the file under a name apart from any other, and from itself rewritten: the change
// time moves with every write and every change of metadata.
struct Seen {
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = 0;
  timespec changed{};
  bool operator==(const Seen& o) const {
    return device == o.device && inode == o.inode && size == o.size &&
           changed.tv_sec == o.changed.tv_sec && changed.tv_nsec == o.changed.tv_nsec;
  }
};

bool Look(int directory, const std::string& name, Seen& seen) {
  struct stat info {};
  if (fstatat(directory, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) return false;
  seen = {info.st_dev, info.st_ino, info.st_size, info.st_ctim};
  return true;
}

class PosixFileOutput final : public FileOutput {
 public:
  explicit PosixFileOutput(const OutputTarget& target) : target_(target) {}

  void Create() override {
    base_ = BaseName(target_.path);
    Step("directory");
    directory_ =
        Fd(open(ParentDirectory(target_.path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    Check(static_cast<bool>(directory_));
    replacing_ = fstatat(directory_.get(), base_.c_str(), &old_, 0) == 0 && S_ISREG(old_.st_mode);
    // A new file is made as any program makes one (the umask, the directory's default ACL); a
    // replacement starts private and takes the old file's metadata once it is complete.
    const mode_t mode = replacing_ ? 0600 : 0666;
    Step("create");
    // Without a name until it is complete, where the system allows, so that not even a SIGKILL
    // leaves a part-written file behind.
    int fd = access("/proc/self/fd", X_OK) == 0
                 ? openat(directory_.get(), ".", O_TMPFILE | O_RDWR | O_CLOEXEC, mode)
                 : -1;
    if (fd < 0 || InjectedFault("unnamed") != 0) {
      if (fd >= 0) close(fd);
      fd = CreateBeside(directory_.get(), mode, temporary_);
    }
    Check(fd >= 0);
    file_ = Fd(fd);
  }

  void Write(std::string_view bytes) override { WriteAll(file_.get(), bytes); }

  void Finish() override {
    Step("metadata");
    if (replacing_) CopyMetadata();
    Step("sync");
    Check(fsync(file_.get()) == 0);
    if (temporary_.empty()) {
      Step("link");
      NameBeside();
    }
    file_.Reset();
  }

  // Where the file system has no hard links, or refuses one (a file the user does not own),
  // the rename swaps the two names instead, which leaves the old file under the temporary's.
  void KeepWayBack() override {
    Step("backup");
    if (InjectedFault("hardlink") != 0) {  // the seam plays a file system without hard links
      exchange_ = true;
      return;
    }
    for (int attempt = 0; attempt < 100; ++attempt) {
      const std::string candidate = ShortName();
      if (linkat(directory_.get(), base_.c_str(), directory_.get(), candidate.c_str(), 0) == 0) {
        backup_ = candidate;
        return;
      }
      if (errno == EPERM || errno == EMLINK || errno == EOPNOTSUPP || errno == ENOSYS) {
        exchange_ = true;
        return;
      }
      Check(errno == EEXIST);
    }
    Check(false);
  }

  void PutInPlace() override {
    Step("rename");
    if (exchange_) {
      Check(renameat2(directory_.get(), temporary_.c_str(), directory_.get(), base_.c_str(),
                      RENAME_EXCHANGE) == 0);
      backup_ = std::exchange(temporary_, std::string());
    } else if (target_.kind == OutputTarget::Kind::kCreate) {
      // A file another program makes after the look above is not replaced either.
      if (renameat2(directory_.get(), temporary_.c_str(), directory_.get(), base_.c_str(),
                    RENAME_NOREPLACE) != 0) {
        if (errno == EEXIST) throw StepFailed{msg::ChangedMeanwhile()};
        Check(errno == EINVAL &&
              renameat(directory_.get(), temporary_.c_str(), directory_.get(), base_.c_str()) == 0);
      }
      temporary_.clear();
    } else {
      Check(renameat(directory_.get(), temporary_.c_str(), directory_.get(), base_.c_str()) == 0);
      temporary_.clear();
    }
    placed_ = Look(directory_.get(), base_, put_);
  }

  std::string SeenNow() override {
    struct stat info {};
    if (fstatat(directory_.get(), base_.c_str(), &info, 0) != 0) return {};
    return SeenText(info);
  }

  bool StillOurs() override {
    Seen now;
    return placed_ && Look(directory_.get(), base_, now) && now == put_;
  }

  bool PutBack() override {
    if (backup_.empty()) return unlinkat(directory_.get(), base_.c_str(), 0) == 0;
    if (renameat(directory_.get(), backup_.c_str(), directory_.get(), base_.c_str()) != 0)
      return false;
    backup_.clear();
    return true;
  }

  std::string DropWayBack() override {
    if (backup_.empty()) return {};
    if (unlinkat(directory_.get(), backup_.c_str(), 0) != 0) return ErrorText(errno);
    backup_.clear();
    fsync(directory_.get());
    return {};
  }

  void RemoveTemporary() override {
    if (!temporary_.empty()) unlinkat(directory_.get(), temporary_.c_str(), 0);
    temporary_.clear();
  }

  std::string WayBack() const override {
    return backup_.empty() ? std::string() : JoinPath(ParentDirectory(target_.path), backup_);
  }

 private:
  // Gives a name beside the target to a file made without one.
  void NameBeside() {
    const std::string self = "/proc/self/fd/" + std::to_string(file_.get());
    for (int attempt = 0; attempt < 100; ++attempt) {
      const std::string candidate = ShortName();
      if (linkat(AT_FDCWD, self.c_str(), directory_.get(), candidate.c_str(), AT_SYMLINK_FOLLOW) ==
          0) {
        temporary_ = candidate;
        return;
      }
      Check(errno == EEXIST);
    }
    Check(false);
  }

  // The old file's permissions, owner, ACL and extended attributes, on the new content.
  void CopyMetadata() {
    const int fd = file_.get();
    // The owner first: a change of owner clears the set-id bits the mode then restores. Only
    // root may give a file away; others keep at most the group, if it is one of theirs.
    if (fchown(fd, old_.st_uid, old_.st_gid) != 0 &&
        fchown(fd, static_cast<uid_t>(-1), old_.st_gid)) {
      // Neither: the file is the process's own, as any file it makes.
    }
    const Fd source(
        openat(directory_.get(), base_.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    const std::string oldName = target_.path;
    const std::string newName = "/proc/self/fd/" + std::to_string(fd);
    if (source) {
      Check(attr_copy_fd(oldName.c_str(), source.get(), newName.c_str(), fd, nullptr, nullptr) ==
            0);
      Check(perm_copy_fd(oldName.c_str(), source.get(), newName.c_str(), fd, nullptr) == 0);
    } else {
      // A file that may be written but not read: its attributes are reached by name.
      Check(attr_copy_file(oldName.c_str(), newName.c_str(), nullptr, nullptr) == 0);
      Check(perm_copy_file(oldName.c_str(), newName.c_str(), nullptr) == 0);
    }
    Check(fchmod(fd, old_.st_mode & 07777) == 0);
  }

  const OutputTarget& target_;
  Fd directory_;           // the target's directory
  std::string base_;       // the target's name in it
  Fd file_;                // the new content while it is made
  std::string temporary_;  // the new content's name beside the target, while it has one
  std::string backup_;     // a second name of the old file: the way back
  bool replacing_ = false;
  struct stat old_ {};
  bool exchange_ = false;  // no second name could be made: the rename swaps old and new
  bool placed_ = false;
  Seen put_;  // the file as it was put in place
};

// A special file, or a standard stream.
class PosixStreamOutput final : public StreamOutput {
 public:
  explicit PosixStreamOutput(const OutputTarget& target) : target_(target) {}

  // A FIFO without a reader is waited for, and a signal ends the wait.
  void Open() override {
    Step("open");
    for (;;) {
      const int fd = open(target_.path.c_str(), O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
      if (fd >= 0) {
        // It stays non-blocking: the description is ours alone, and a write then never waits
        // outside ppoll.
        file_ = Fd(fd);
        return;
      }
      // ENXIO is "no reader yet" only from a FIFO; from a device it is the device's answer.
      const int error = errno;
      struct stat info {};
      if (error == ENXIO && stat(target_.path.c_str(), &info) == 0 && S_ISFIFO(info.st_mode)) {
        const timespec pause{0, 50 * 1000000L};
        nanosleep(&pause, nullptr);
      } else if (error != EINTR) {
        errno = error;
        Check(false);
      }
      CheckSignal();
    }
  }

  void Write(std::string_view bytes, size_t& written) override {
    WriteAll(target_.kind == OutputTarget::Kind::kStandardOutput ? target_.stream : file_.get(),
             bytes, &written);
  }

 private:
  const OutputTarget& target_;
  Fd file_;
};

}  // namespace

std::unique_ptr<FileOutput> NewFileOutput(const OutputTarget& target) {
  return std::make_unique<PosixFileOutput>(target);
}

std::unique_ptr<StreamOutput> NewStreamOutput(const OutputTarget& target) {
  return std::make_unique<PosixStreamOutput>(target);
}

void EndOnSignalsBeforeOutputs() {
  // Both languages: the language may be chosen after the handlers are installed.
  for (const Language language : {Language::kEnglish, Language::kJapanese}) {
    std::vector<std::string>& lines = EndLines(language);
    lines.assign(static_cast<size_t>(SignalCount()), std::string());
    for (int signal = 1; signal < SignalCount(); ++signal) {
      const std::string line = InterruptedLine(SignalName(signal, language), language);
      lines[signal] = "x9host: " + line + "\n";  // not a message: the program's name
    }
  }
  // A size limit reaches the write as EFBIG, and takes the full disk's way.
  signal(SIGXFSZ, SIG_IGN);
  Install(EndOnSignal);
}

// Without SA_RESTART a wait in open or write ends with EINTR, so a FIFO nobody reads does not
// hold the program for ever.
SignalWindow::SignalWindow() {
  noted = 0;
  Install(NoteSignal);
}

// The handlers stay: after the transaction a signal is noted and changes nothing, where the
// handler of before would say "as it was" of outputs that are new.
SignalWindow::~SignalWindow() = default;

int NotedSignal() { return noted; }

void Deliver(int signal) { raise(signal); }

std::string SignalName(int signal, Language language) {
  if (signal >= SIGRTMIN && signal <= SIGRTMAX) {
    return signal == SIGRTMIN ? "SIGRTMIN" : "SIGRTMIN+" + std::to_string(signal - SIGRTMIN);
  }
  if (const char* abbreviation = sigabbrev_np(signal)) return std::string("SIG") + abbreviation;
  const Arg number(signal);
  return SayIn(language, msg::kSignalNumber, {&number});
}

}  // namespace x9host::os::transaction
