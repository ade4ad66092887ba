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
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <random>
#include <string_view>
#include <utility>

#include "os/files_posix.h"
#include "os/input_error.h"
#include "os/message_text.h"
#include "os/messages.h"
#include "os/os.h"
#include "os/transaction_steps.h"

namespace x9host::os {

std::vector<std::string> Arguments(int argc, char** argv) {
  return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
}

// The report is best effort: a reader that goes away (x9host ... | head -1) must not end the
// program before its outputs are in place. A write to such a pipe fails with EPIPE instead.
void PrepareConsole() {
  signal(SIGPIPE, SIG_IGN);
  transaction::EndOnSignalsBeforeOutputs();
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

std::string LookUpFailure(const std::string& path, LookUpAs as) {
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) return errno == ENOENT ? std::string() : ErrorText(errno);
  const bool directory = S_ISDIR(info.st_mode);
  if (as == LookUpAs::kDirectory && !directory) return ErrorText(ENOTDIR);
  if (as == LookUpAs::kFile && directory) return ErrorText(EISDIR);
  return {};
}

namespace {

using posix::BaseName;
using posix::CreateBeside;
using posix::Fd;

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
  throw InputError(msg::TooManyLinks(name));
}

std::string Identity(const struct stat& info) {
  return "file:" + std::to_string(info.st_dev) + ":" + std::to_string(info.st_ino);
}

bool SameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
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
        const bool out = stream == STDOUT_FILENO;
        target.identity = out ? "standard output" : "standard error";  // not a message: identity
        return target;
      }
    }
  }
  const std::string path = FollowLinks(name);
  if (stat(path.c_str(), &info) == 0) {
    if (S_ISDIR(info.st_mode)) throw InputError(msg::OutputIsDirectory(where));
    if (S_ISSOCK(info.st_mode)) throw InputError(msg::OutputIsSocket(where));
    if (S_ISREG(info.st_mode)) {
      // Told before the access check, which an immutable file fails without saying why.
      const Fd file(open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
      const unsigned flags = InodeFlags(file.get());
      if (flags & FS_IMMUTABLE_FL) throw InputError(msg::OutputImmutable(where));
      if (flags & FS_APPEND_FL) throw InputError(msg::OutputAppendOnly(where));
    }
    if (access(path.c_str(), W_OK) != 0)
      throw InputError(msg::OutputUnusable(where, ErrorText(errno)));
    target.identity = Identity(info);
    if (S_ISCHR(info.st_mode) || S_ISBLK(info.st_mode)) {
      // A device that cannot be opened (/dev/tty without a controlling terminal, a node with no
      // driver) is told now, not after the request. A FIFO is not opened here: a reader that is
      // already waiting would take the close for the end of its data.
      const Fd device(open(path.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
      if (!device) throw InputError(msg::OutputUnusable(where, ErrorText(errno)));
    }
    if (!S_ISREG(info.st_mode)) {
      target.kind = OutputTarget::Kind::kWriteThrough;
      target.path = path;
      return target;
    }
    target.kind = OutputTarget::Kind::kReplace;
    target.otherNames = info.st_nlink > 1 ? static_cast<unsigned long>(info.st_nlink - 1) : 0;
    target.seenBefore = posix::SeenText(info);
  } else if (errno == ENOENT) {
    target.kind = OutputTarget::Kind::kCreate;
  } else {
    throw InputError(msg::OutputUnusable(where, ErrorText(errno)));
  }
  const std::string directoryName = ParentDirectory(path);
  const std::string base = BaseName(path);
  const Fd directory(open(directoryName.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!directory) {
    if (errno == ENOENT) throw InputError(msg::OutputDirectoryMissing(where, directoryName));
    throw InputError(msg::OutputDirectoryFailed(where, directoryName, ErrorText(errno)));
  }
  struct stat folder {};
  fstat(directory.get(), &folder);
  // What would make the rename fail once the request has run is refused now.
  const unsigned folderFlags = InodeFlags(directory.get());
  if (folderFlags & FS_IMMUTABLE_FL)
    throw InputError(msg::OutputDirectoryImmutable(where, directoryName));
  if (folderFlags & FS_APPEND_FL)
    throw InputError(msg::OutputDirectoryAppendOnly(where, directoryName));
  if (target.kind == OutputTarget::Kind::kReplace) {
    const uid_t me = geteuid();
    if ((folder.st_mode & S_ISVTX) && me != 0 && info.st_uid != me && folder.st_uid != me) {
      throw InputError(msg::OutputStickyDirectory(where, directoryName));
    }
    // The replacement is a new file, the user's own: only root can give it the old owner, and
    // a user only a group of theirs. Refused rather than handing the file over.
    if (me != 0 && (info.st_uid != me || !MayTakeGroup(info.st_gid))) {
      throw InputError(msg::OutputOwnerNotKept(where, info.st_uid, info.st_gid));
    }
  }
  target.path = JoinPath(directoryName, base);
  if (target.kind == OutputTarget::Kind::kCreate)
    target.identity = "new:" + Identity(folder) + base;
  // The file will be a temporary one first: it must be possible to make one there.
  std::string probe;
  const Fd made(CreateBeside(directory.get(), 0600, probe));
  if (!made) throw InputError(msg::OutputCannotBeWrittenIn(where, directoryName, ErrorText(errno)));
  unlinkat(directory.get(), probe.c_str(), 0);
  return target;
}

namespace posix {

std::string BaseName(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string ShortName() {
  static std::minstd_rand random(static_cast<unsigned>(std::random_device{}()) ^
                                 static_cast<unsigned>(getpid()));
  static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  std::string name = ".x9h";
  for (int i = 0; i < 6; ++i)
    name += kLetters[random() % (sizeof kLetters - 1)];
  return name;
}

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

}  // namespace posix

std::string FileIdentity(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 ? Identity(info) : "missing:" + FullPath(path);
}

std::string HostDirectoryText(const std::string& directory) { return directory; }

bool HoldSupported() { return false; }
void HoldProgressWindowAt(int, int) {}

void Print(std::FILE* stream, std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stream);
}

namespace {

// What the C library reads a zone file by: its first four bytes.
bool IsZoneFile(const std::string& path) {
  const Fd file(open(path.c_str(), O_RDONLY | O_CLOEXEC));
  char magic[4];
  return file.get() >= 0 && read(file.get(), magic, sizeof magic) == 4 &&
         std::memcmp(magic, "TZif", 4) == 0;
}

// The standard time's name and offset of a POSIX TZ rule, all the C library needs to leave UTC;
// what follows them (the summer time) does not decide that.
bool StartsPosixRule(std::string_view rule) {
  size_t name = 0;
  if (!rule.empty() && rule[0] == '<') {
    const size_t close = rule.find('>');
    if (close == std::string_view::npos || close < 4) return false;
    for (size_t i = 1; i < close; ++i) {
      const char c = rule[i];
      if (!std::isalnum(static_cast<unsigned char>(c)) && c != '+' && c != '-') return false;
    }
    name = close + 1;
  } else {
    while (name < rule.size() && std::isalpha(static_cast<unsigned char>(rule[name])))
      ++name;
    if (name < 3) return false;
  }
  if (name < rule.size() && (rule[name] == '+' || rule[name] == '-')) ++name;
  return name < rule.size() && std::isdigit(static_cast<unsigned char>(rule[name]));
}

}  // namespace

std::optional<std::string> UnknownTimeZone() {
  const char* value = std::getenv("TZ");
  if (value == nullptr || *value == '\0') return std::nullopt;
  std::string_view zone = value;
  if (zone.front() == ':') zone.remove_prefix(1);
  std::string path(zone);
  if (path.empty() || path.front() != '/') {
    const char* directory = std::getenv("TZDIR");
    path = std::string(directory != nullptr && *directory != '\0' ? directory
                                                                  : "/usr/share/zoneinfo") +
           '/' + path;
  }
  if (IsZoneFile(path) || StartsPosixRule(zone)) return std::nullopt;
  return std::string(value);
}

std::optional<std::string> SettleTimeZone() {
  if (const std::optional<std::string> zone = UnknownTimeZone()) return msg::UnknownTimeZone(*zone);
  return std::nullopt;
}

std::optional<std::string> NoWindows() { return std::nullopt; }

bool UserReadsJapanese() {
  // The locale categories in the order the C library consults them for messages.
  for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(variable);
    if (value != nullptr && *value != '\0') return std::strncmp(value, "ja", 2) == 0;
  }
  return false;
}

}  // namespace x9host::os
