// POSIX side of x9host's OS layer (os.h).
#include <acl/libacl.h>
#include <attr/libattr.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <limits.h>
#include <linux/fs.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <random>
#include <utility>

#include "os/input_error.h"
#include "os/os.h"

namespace x9host::os {

std::vector<std::string> Arguments(int argc, char** argv) {
  return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
}

namespace {

template <size_t N>
void WriteLine(const char (&line)[N]) {
  ssize_t ignored = write(STDERR_FILENO, line, N - 1);
  (void)ignored;
}

// Before the outputs are touched nothing of x9host's is on disk: a signal ends the program at
// once, with the line the transaction gives for its own interruption. Only write(2) and _exit
// here, as a handler may call nothing else safely.
extern "C" void EndOnSignal(int signal) {
  switch (signal) {
    case SIGINT:
      WriteLine(
          "x9host: interrupted by SIGINT before the outputs were in place: every output is "
          "as it was\n");
      break;
    case SIGTERM:
      WriteLine(
          "x9host: interrupted by SIGTERM before the outputs were in place: every output "
          "is as it was\n");
      break;
    case SIGHUP:
      WriteLine(
          "x9host: interrupted by SIGHUP before the outputs were in place: every output is "
          "as it was\n");
      break;
    default:
      WriteLine(
          "x9host: interrupted by SIGQUIT before the outputs were in place: every output "
          "is as it was\n");
      break;
  }
  _exit(1);
}

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

}  // namespace

// The report is best effort: a reader that goes away (x9host ... | head -1) must not end the
// program before its outputs are in place. A write to such a pipe fails with EPIPE instead.
// A signal that was ignored when the program started (nohup, a background job) stays ignored.
void PrepareConsole() {
  signal(SIGPIPE, SIG_IGN);
  struct sigaction end {};
  end.sa_handler = EndOnSignal;
  sigemptyset(&end.sa_mask);
  for (const int stop : kStopSignals)
    sigaddset(&end.sa_mask, stop);
  for (const int stop : kStopSignals) {
    struct sigaction previous {};
    if (sigaction(stop, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN) continue;
    sigaction(stop, &end, nullptr);
  }
}

std::string ProgramDirectory() {
  char path[PATH_MAX + 1] = {};
  const ssize_t length = readlink("/proc/self/exe", path, PATH_MAX);
  if (length <= 0) return ".";
  return ParentDirectory(std::string(path, static_cast<size_t>(length)));
}

std::string JoinPath(const std::string& directory, const std::string& name) {
  if (directory.empty() || directory.back() == '/') return directory + name;
  return directory + '/' + name;
}

std::string FullPath(const std::string& path) {
  std::string absolute = path;
  if (path.empty() || path[0] != '/') {
    // Any depth: the buffer grows. Where the directory cannot be named, the path stays relative.
    std::string cwd(256, '\0');
    while (getcwd(cwd.data(), cwd.size()) == nullptr) {
      if (errno != ERANGE) return path;
      cwd.resize(cwd.size() * 2);
    }
    absolute = JoinPath(cwd.c_str(), path);
  }
  // Lexical clean-up of "." and ".." parts.
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= absolute.size()) {
    size_t end = absolute.find('/', start);
    if (end == std::string::npos) end = absolute.size();
    const std::string part = absolute.substr(start, end - start);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    start = end + 1;
  }
  std::string out;
  for (const std::string& part : parts)
    out += '/' + part;
  return out.empty() ? "/" : out;
}

std::string ParentDirectory(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

bool IsDirectory(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool IsFile(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

std::string ReadWholeFile(const std::string& path) {
  if (IsDirectory(path)) throw InputError(path + ": is a directory, not a file");
  FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) throw InputError(path + ": " + std::strerror(errno));
  std::string bytes;
  char buffer[65536];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0)
    bytes.append(buffer, n);
  const bool failed = std::ferror(file) != 0;
  std::fclose(file);
  if (failed) throw InputError(path + ": cannot be read");
  return bytes;
}

namespace {

// Owns a file descriptor (-1 when none).
class Fd {
 public:
  Fd() = default;
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() { Reset(); }
  Fd(Fd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  Fd& operator=(Fd&& other) noexcept {
    if (this != &other) {
      Reset();
      fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
  }
  int get() const { return fd_; }
  explicit operator bool() const { return fd_ >= 0; }
  void Reset() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
  }

 private:
  int fd_ = -1;
};

std::string ReadLink(const std::string& path) {
  std::string target(256, '\0');
  for (;;) {
    const ssize_t length = readlink(path.c_str(), target.data(), target.size());
    if (length < 0) return {};
    if (static_cast<size_t>(length) < target.size()) {
      target.resize(static_cast<size_t>(length));
      return target;
    }
    target.resize(target.size() * 2);
  }
}

// The path a name leads to once symbolic links in its last part are followed (the link's
// target is what gets replaced; the link stays). Relative names stay relative, so that a
// working directory of any depth works.
std::string FollowLinks(const std::string& name) {
  std::string path = name;
  for (int depth = 0; depth < 40; ++depth) {
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return path;
    const std::string target = ReadLink(path);
    if (target.empty()) return path;
    path = target[0] == '/' ? target : JoinPath(ParentDirectory(path), target);
  }
  throw InputError(name + ": too many levels of symbolic links");
}

std::string BaseName(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string Identity(const struct stat& info) {
  return "file:" + std::to_string(info.st_dev) + ":" + std::to_string(info.st_ino);
}

bool SameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// A name for a file x9host makes beside a target: ten bytes, so that it fits wherever the
// target's own name does, however long that is.
std::string ShortName() {
  static std::minstd_rand random(static_cast<unsigned>(std::random_device{}()) ^
                                 static_cast<unsigned>(getpid()));
  static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  std::string name = ".x9h";
  for (int i = 0; i < 6; ++i)
    name += kLetters[random() % (sizeof kLetters - 1)];
  return name;
}

// A new file in directory under a short name of its own, retried on a collision.
int CreateBeside(int directory, mode_t mode, std::string& name) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string candidate = ShortName();
    const int fd = openat(directory, candidate.c_str(),
                          O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, mode);
    if (fd >= 0) name = candidate;
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  errno = EEXIST;
  return -1;
}

// The inode flags chattr sets (0 where the file system has none).
unsigned InodeFlags(int fd) {
  int flags = 0;
  return fd >= 0 && ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0 ? static_cast<unsigned>(flags) : 0u;
}

// Whether this process may give its own files the group.
bool MayTakeGroup(gid_t group) {
  if (group == getegid()) return true;
  const int count = getgroups(0, nullptr);
  if (count <= 0) return false;
  std::vector<gid_t> groups(static_cast<size_t>(count));
  const int got = getgroups(count, groups.data());
  return got > 0 && std::find(groups.begin(), groups.begin() + got, group) != groups.begin() + got;
}

}  // namespace

OutputTarget PlanFileOutput(const std::string& option, const std::string& name) {
  OutputTarget target;
  target.option = option;
  target.name = name;
  const std::string where = option + " " + name;
  struct stat info {};
  // Standard output and error in any spelling (/dev/stdout, /proc/self/fd/1, the file they
  // were redirected to) are written through: replacing them would lose what they hold.
  if (stat(name.c_str(), &info) == 0) {
    for (const int stream : {STDOUT_FILENO, STDERR_FILENO}) {
      struct stat open {};
      if (fstat(stream, &open) == 0 && SameFile(info, open)) {
        target.kind = OutputTarget::Kind::kStandardOutput;
        target.stream = stream;
        target.identity = stream == STDOUT_FILENO ? "standard output" : "standard error";
        return target;
      }
    }
  }
  const std::string path = FollowLinks(name);
  if (stat(path.c_str(), &info) == 0) {
    if (S_ISDIR(info.st_mode)) throw InputError(where + ": is a directory");
    if (S_ISSOCK(info.st_mode)) throw InputError(where + ": is a socket");
    if (S_ISREG(info.st_mode)) {
      // Told before the access check, which an immutable file fails without saying why.
      const Fd file(open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
      const unsigned flags = InodeFlags(file.get());
      if (flags & FS_IMMUTABLE_FL)
        throw InputError(where + ": is immutable (chattr -i lifts that)");
      if (flags & FS_APPEND_FL) {
        throw InputError(where +
                         ": is append-only, so it cannot be replaced (chattr -a lifts that)");
      }
    }
    if (access(path.c_str(), W_OK) != 0) throw InputError(where + ": " + std::strerror(errno));
    target.identity = Identity(info);
    if (!S_ISREG(info.st_mode)) {
      target.kind = OutputTarget::Kind::kWriteThrough;
      target.path = path;
      return target;
    }
    target.kind = OutputTarget::Kind::kReplace;
  } else if (errno == ENOENT) {
    target.kind = OutputTarget::Kind::kCreate;
  } else {
    throw InputError(where + ": " + std::strerror(errno));
  }
  const std::string directoryName = ParentDirectory(path);
  const std::string base = BaseName(path);
  const Fd directory(open(directoryName.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!directory) {
    if (errno == ENOENT || errno == ENOTDIR)
      throw InputError(where + ": the directory " + directoryName + " does not exist");
    throw InputError(where + ": the directory " + directoryName + ": " + std::strerror(errno));
  }
  struct stat folder {};
  fstat(directory.get(), &folder);
  // What would make the rename fail once the request has run is refused now.
  const unsigned folderFlags = InodeFlags(directory.get());
  if (folderFlags & (FS_IMMUTABLE_FL | FS_APPEND_FL)) {
    throw InputError(where + ": the directory " + directoryName + " is " +
                     (folderFlags & FS_IMMUTABLE_FL ? "immutable" : "append-only") +
                     ", so no file in it can be replaced or added (lsattr shows it)");
  }
  if (target.kind == OutputTarget::Kind::kReplace) {
    const uid_t me = geteuid();
    if ((folder.st_mode & S_ISVTX) && me != 0 && info.st_uid != me && folder.st_uid != me) {
      throw InputError(where + ": belongs to another user, and only a file's owner may replace " +
                       "it in " + directoryName + " (a sticky directory)");
    }
    // The replacement is a new file, the user's own: only root can give it the old owner, and
    // a user only a group of theirs. Refused rather than handing the file over.
    if (me != 0 && (info.st_uid != me || !MayTakeGroup(info.st_gid))) {
      throw InputError(where + ": belongs to another user or group (uid " +
                       std::to_string(info.st_uid) + ", gid " + std::to_string(info.st_gid) +
                       "), and x9host could not keep its owner: write the output elsewhere");
    }
  }
  target.path = JoinPath(directoryName, base);
  if (target.kind == OutputTarget::Kind::kCreate)
    target.identity = "new:" + Identity(folder) + base;
  // The file will be a temporary one first: it must be possible to make one there.
  std::string probe;
  const Fd made(CreateBeside(directory.get(), 0600, probe));
  if (!made) {
    throw InputError(where + ": cannot be written in " + directoryName + " (" +
                     std::strerror(errno) + ")");
  }
  unlinkat(directory.get(), probe.c_str(), 0);
  return target;
}

std::string FileIdentity(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 ? Identity(info) : "missing:" + FullPath(path);
}

namespace {

// --- Putting the outputs in place ----------------------------------------------------------------

volatile sig_atomic_t noted = 0;
extern "C" void NoteSignal(int signal) { noted = signal; }

// While the outputs are put in place a signal that would end the program is noted, and the
// transaction answers it by putting every output back. Without SA_RESTART a wait in open or
// write ends with EINTR, so a FIFO nobody reads does not hold the program for ever. After the
// transaction the signals stay noted, not answered: the outputs are then what the last line
// will say, and the handler of before would say "as it was" of outputs that are new.
class SignalsNoted {
 public:
  SignalsNoted() {
    noted = 0;
    struct sigaction note {};
    note.sa_handler = NoteSignal;
    sigemptyset(&note.sa_mask);
    for (const int stop : kStopSignals) {
      struct sigaction previous {};
      if (sigaction(stop, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN) continue;
      sigaction(stop, &note, nullptr);
    }
  }
  SignalsNoted(const SignalsNoted&) = delete;
  SignalsNoted& operator=(const SignalsNoted&) = delete;
};

struct StepFailed {
  std::string reason;
};
struct Interrupted {
  int signal;
};

void CheckSignal() {
  if (noted != 0) throw Interrupted{noted};
}

// Every step of the transaction passes here: the test seam may make it fail or bring a signal,
// and a signal noted since the last step stops the transaction.
void Step(const char* step) {
  const int fault = InjectedFault(step);
  if (fault > 0) raise(fault);
  CheckSignal();
  if (fault < 0) throw StepFailed{std::string("a fault injected at ") + step};
}

void Check(bool ok) {
  if (!ok) throw StepFailed{std::strerror(errno)};
}

class FdSink final : public OutputSink {
 public:
  FdSink(int fd, size_t& written) : fd_(fd), written_(written) {}
  void Write(std::string_view bytes) override {
    // The seam counts outputs, not the pieces a producer writes them in.
    if (!started_) Step("write");
    started_ = true;
    while (!bytes.empty()) {
      const ssize_t n = write(fd_, bytes.data(), bytes.size());
      if (n < 0 && errno == EINTR) {
        CheckSignal();
        continue;
      }
      if (n == 0) errno = EIO;
      Check(n > 0);
      bytes.remove_prefix(static_cast<size_t>(n));
      written_ += static_cast<size_t>(n);
      CheckSignal();
    }
  }

 private:
  int fd_;
  size_t& written_;
  bool started_ = false;
};

// One output on its way into place.
struct Placement {
  const OutputTarget* target = nullptr;
  const OutputProducer* produce = nullptr;
  Fd directory;           // a file's directory
  std::string base;       // the file's name in it
  Fd file;                // the new content, or the special file written through
  std::string temporary;  // the new content's name beside the target, while it has one
  std::string backup;     // a second name of the old file: the way back
  bool placed = false;    // the new content has the target's name
  bool exchange = false;  // no second name could be made: the rename swaps old and new
  size_t streamed = 0;    // bytes written to standard output or a special file

  bool IsFile() const {
    return target->kind == OutputTarget::Kind::kReplace ||
           target->kind == OutputTarget::Kind::kCreate;
  }
  std::string Where() const { return target->option + " " + target->name; }
};

// Gives a name beside the target to a file made without one.
void NameBeside(Placement& p) {
  const std::string self = "/proc/self/fd/" + std::to_string(p.file.get());
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string candidate = ShortName();
    if (linkat(AT_FDCWD, self.c_str(), p.directory.get(), candidate.c_str(), AT_SYMLINK_FOLLOW) ==
        0) {
      p.temporary = candidate;
      return;
    }
    Check(errno == EEXIST);
  }
  Check(false);
}

// The old file's permissions, owner, ACL and extended attributes, on the new content.
void CopyMetadata(Placement& p, const struct stat& old) {
  const int fd = p.file.get();
  // The owner first: a change of owner clears the set-id bits the mode then restores. Only
  // root may give a file away; others keep at most the group, if it is one of theirs.
  if (fchown(fd, old.st_uid, old.st_gid) != 0 && fchown(fd, static_cast<uid_t>(-1), old.st_gid)) {
    // Neither: the file is the process's own, as any file it makes.
  }
  const Fd source(
      openat(p.directory.get(), p.base.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  const std::string oldName = p.target->path;
  const std::string newName = "/proc/self/fd/" + std::to_string(fd);
  if (source) {
    Check(attr_copy_fd(oldName.c_str(), source.get(), newName.c_str(), fd, nullptr, nullptr) == 0);
    Check(perm_copy_fd(oldName.c_str(), source.get(), newName.c_str(), fd, nullptr) == 0);
  } else {
    // A file that may be written but not read: its attributes are reached by name.
    Check(attr_copy_file(oldName.c_str(), newName.c_str(), nullptr, nullptr) == 0);
    Check(perm_copy_file(oldName.c_str(), newName.c_str(), nullptr) == 0);
  }
  Check(fchmod(fd, old.st_mode & 07777) == 0);
}

// A file output made in full beside its target, under a name of its own.
void Prepare(Placement& p) {
  p.base = BaseName(p.target->path);
  Step("directory");
  p.directory =
      Fd(open(ParentDirectory(p.target->path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  Check(static_cast<bool>(p.directory));
  struct stat old {};
  const bool replacing =
      fstatat(p.directory.get(), p.base.c_str(), &old, 0) == 0 && S_ISREG(old.st_mode);
  // A new file is made as any program makes one (the umask, the directory's default ACL); a
  // replacement starts private and takes the old file's metadata once it is complete.
  const mode_t mode = replacing ? 0600 : 0666;
  Step("create");
  // Without a name until it is complete, where the system allows, so that not even a SIGKILL
  // leaves a part-written file behind.
  int fd = access("/proc/self/fd", X_OK) == 0
               ? openat(p.directory.get(), ".", O_TMPFILE | O_RDWR | O_CLOEXEC, mode)
               : -1;
  if (fd < 0) fd = CreateBeside(p.directory.get(), mode, p.temporary);
  Check(fd >= 0);
  p.file = Fd(fd);
  size_t written = 0;
  FdSink sink(fd, written);
  (*p.produce)(sink);
  Step("metadata");
  if (replacing) CopyMetadata(p, old);
  Step("sync");
  Check(fsync(fd) == 0);
  if (p.temporary.empty()) {
    Step("link");
    NameBeside(p);
  }
  p.file.Reset();
}

// A special file opened for writing. A FIFO without a reader is waited for, and a signal ends
// the wait.
void OpenSpecial(Placement& p) {
  Step("open");
  for (;;) {
    const int fd = open(p.target->path.c_str(), O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0) {
      fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
      p.file = Fd(fd);
      return;
    }
    if (errno == ENXIO) {
      const timespec pause{0, 50 * 1000000L};
      nanosleep(&pause, nullptr);
    } else if (errno != EINTR) {
      Check(false);
    }
    CheckSignal();
  }
}

// The way back for an existing target: a second name for the old file. Where the file
// system has no hard links, or refuses one (a file the user does not own), the rename swaps
// the two names instead, which leaves the old file under the temporary's name.
void KeepTheOld(Placement& p) {
  Step("backup");
  if (InjectedFault("hardlink") != 0) {  // the seam plays a file system without hard links
    p.exchange = true;
    return;
  }
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string candidate = ShortName();
    if (linkat(p.directory.get(), p.base.c_str(), p.directory.get(), candidate.c_str(), 0) == 0) {
      p.backup = candidate;
      return;
    }
    if (errno == EPERM || errno == EMLINK || errno == EOPNOTSUPP || errno == ENOSYS) {
      p.exchange = true;
      return;
    }
    Check(errno == EEXIST);
  }
  Check(false);
}

void PutInPlace(Placement& p) {
  Step("rename");
  if (p.exchange) {
    Check(renameat2(p.directory.get(), p.temporary.c_str(), p.directory.get(), p.base.c_str(),
                    RENAME_EXCHANGE) == 0);
    p.backup = std::exchange(p.temporary, std::string());
  } else {
    Check(renameat(p.directory.get(), p.temporary.c_str(), p.directory.get(), p.base.c_str()) == 0);
    p.temporary.clear();
  }
  p.placed = true;
}

void Stream(Placement& p) {
  Step("stream");
  const int fd =
      p.target->kind == OutputTarget::Kind::kStandardOutput ? p.target->stream : p.file.get();
  FdSink sink(fd, p.streamed);
  (*p.produce)(sink);
}

// Every target put back as it was, and everything made removed. Returns the outputs whose way
// back failed; each keeps its old content under its backup name.
std::vector<const Placement*> PutBack(std::vector<Placement>& placements) {
  std::vector<const Placement*> stuck;
  for (auto p = placements.rbegin(); p != placements.rend(); ++p) {
    if (p->placed) {
      const int fault = InjectedFault("restore");
      if (fault > 0) raise(fault);
      const bool back =
          fault >= 0 && (p->backup.empty() ? unlinkat(p->directory.get(), p->base.c_str(), 0) == 0
                                           : renameat(p->directory.get(), p->backup.c_str(),
                                                      p->directory.get(), p->base.c_str()) == 0);
      if (back) {
        p->placed = false;
        p->backup.clear();
      } else {
        stuck.push_back(&*p);
      }
    }
    if (!p->temporary.empty()) unlinkat(p->directory.get(), p->temporary.c_str(), 0);
    p->temporary.clear();
    if (!p->placed && !p->backup.empty()) unlinkat(p->directory.get(), p->backup.c_str(), 0);
    if (!p->placed) p->backup.clear();
  }
  return stuck;
}

const char* SignalName(int signal) {
  switch (signal) {
    case SIGINT: return "SIGINT";
    case SIGTERM: return "SIGTERM";
    case SIGHUP: return "SIGHUP";
    case SIGQUIT: return "SIGQUIT";
    default: return "a signal";
  }
}

}  // namespace

std::vector<std::string> WriteOutputs(
    const std::vector<std::pair<OutputTarget, OutputProducer>>& outputs) {
  const SignalsNoted signals;
  std::vector<Placement> placements(outputs.size());
  for (size_t i = 0; i < outputs.size(); ++i) {
    placements[i].target = &outputs[i].first;
    placements[i].produce = &outputs[i].second;
  }
  const Placement* failing = nullptr;
  std::string why;
  int signal = 0;
  try {
    // Every file in full first; special files opened (a FIFO's reader waited for); a way back
    // for every existing file; then the files put in place, and only then the streams written,
    // since what reaches a stream cannot be taken back.
    for (Placement& p : placements) {
      failing = &p;
      if (p.IsFile()) Prepare(p);
    }
    for (Placement& p : placements) {
      failing = &p;
      if (p.target->kind == OutputTarget::Kind::kWriteThrough) OpenSpecial(p);
    }
    for (Placement& p : placements) {
      failing = &p;
      if (p.target->kind == OutputTarget::Kind::kReplace) KeepTheOld(p);
    }
    for (Placement& p : placements) {
      failing = &p;
      if (p.IsFile()) PutInPlace(p);
    }
    for (Placement& p : placements) {
      failing = &p;
      if (!p.IsFile()) Stream(p);
    }
    failing = nullptr;
  } catch (const StepFailed& failure) {
    why = failure.reason;
  } catch (const Interrupted& interrupted) {
    signal = interrupted.signal;
  } catch (const std::exception& error) {
    why = error.what();
  }

  if (failing == nullptr) {
    // Everything is in place: a signal now changes nothing, and what is left to do is tidying.
    std::vector<std::string> warnings;
    for (Placement& p : placements) {
      if (p.backup.empty()) continue;
      if (InjectedFault("commit") != 0 || unlinkat(p.directory.get(), p.backup.c_str(), 0) != 0) {
        warnings.push_back(p.Where() + ": the old content could not be removed from " +
                           JoinPath(ParentDirectory(p.target->path), p.backup));
      }
      fsync(p.directory.get());
    }
    return warnings;
  }

  const std::string cause = signal != 0 ? std::string("interrupted by ") + SignalName(signal)
                                        : failing->Where() + ": cannot be written (" + why + ")";
  const std::vector<const Placement*> stuck = PutBack(placements);
  bool streamed = false;
  for (const Placement& p : placements)
    streamed = streamed || p.streamed > 0;
  if (stuck.empty() && !streamed) {
    if (signal != 0) {
      throw OutputsNotWritten(
          OutputsNotWritten::State::kInterrupted,
          cause + " before the outputs were in place: every output is as it was");
    }
    throw OutputsNotWritten(OutputsNotWritten::State::kAsTheyWere,
                            cause + "; every output is as it was");
  }
  // What each output now holds, in the order given.
  std::string states;
  for (const Placement& p : placements) {
    std::string state = "is as it was";
    if (std::find(stuck.begin(), stuck.end(), &p) != stuck.end()) {
      state = "holds the new content";
      if (!p.backup.empty())
        state += " (the old is in " + JoinPath(ParentDirectory(p.target->path), p.backup) + ")";
    } else if (p.streamed > 0) {
      state = &p == failing ? "got part of the new content" : "got the new content";
    }
    states += (states.empty() ? "" : ", ") + p.Where() + " " + state;
  }
  throw OutputsNotWritten(OutputsNotWritten::State::kLeftChanged,
                          cause + ", and not every output could be put back: " + states);
}

std::string HostDirectoryText(const std::string& directory) { return directory; }

bool HoldSupported() { return false; }
void HoldProgressWindowAt(int, int) {}

bool UserReadsJapanese() {
  // The locale categories in the order the C library consults them for messages.
  for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(variable);
    if (value != nullptr && *value != '\0') return std::strncmp(value, "ja", 2) == 0;
  }
  return false;
}

}  // namespace x9host::os
