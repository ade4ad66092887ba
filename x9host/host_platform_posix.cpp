// POSIX side of x9host.
#include <dlfcn.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "glossary.h"
#include "host_platform.h"
#include "input_error.h"

namespace x9host::platform {

std::vector<std::string> Arguments(int argc, char** argv) {
  return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
}

void PrepareConsole() {}

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
    char cwd[PATH_MAX + 1] = {};
    if (getcwd(cwd, PATH_MAX) != nullptr) absolute = JoinPath(cwd, path);
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

[[noreturn]] void CannotWrite(const OutputTarget& target, const std::string& reason) {
  throw InputError(target.option + " " + target.name + ": cannot be written (" + reason + ")");
}

// The path a name leads to once symbolic links in its last part are followed (the link's
// target is what gets replaced; the link stays).
std::string FollowLinks(const std::string& name) {
  std::string path = name;
  for (int depth = 0; depth < 40; ++depth) {
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return path;
    std::string target(PATH_MAX + 1, '\0');
    const ssize_t length = readlink(path.c_str(), target.data(), PATH_MAX);
    if (length <= 0) return path;
    target.resize(static_cast<size_t>(length));
    path = target[0] == '/' ? target : JoinPath(ParentDirectory(path), target);
  }
  throw InputError(name + ": too many levels of symbolic links");
}

std::string BaseName(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A temporary file beside path, open for writing; its name in temporary.
int MakeTemporary(const std::string& path, std::string& temporary) {
  temporary = JoinPath(ParentDirectory(path), "." + BaseName(path) + ".x9host-XXXXXX");
  return mkstemp(temporary.data());
}

bool WriteAll(int fd, const std::string& bytes) {
  size_t written = 0;
  while (written < bytes.size()) {
    const ssize_t n = write(fd, bytes.data() + written, bytes.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    written += static_cast<size_t>(n);
  }
  return true;
}

std::string Identity(const struct stat& info) {
  return "file:" + std::to_string(info.st_dev) + ":" + std::to_string(info.st_ino);
}

// Signals that would leave a temporary file behind wait until the outputs are in place, and a
// reader that goes away is an error to report, not the end of the program.
class QuietWhileWriting {
 public:
  QuietWhileWriting() {
    sigset_t blocked;
    sigemptyset(&blocked);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT})
      sigaddset(&blocked, signal);
    sigprocmask(SIG_BLOCK, &blocked, &previousMask_);
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGPIPE, &ignore, &previousPipe_);
  }
  ~QuietWhileWriting() {
    sigaction(SIGPIPE, &previousPipe_, nullptr);
    sigprocmask(SIG_SETMASK, &previousMask_, nullptr);
  }
  QuietWhileWriting(const QuietWhileWriting&) = delete;
  QuietWhileWriting& operator=(const QuietWhileWriting&) = delete;

 private:
  sigset_t previousMask_{};
  struct sigaction previousPipe_ {};
};

}  // namespace

OutputTarget PlanFileOutput(const std::string& option, const std::string& name) {
  OutputTarget target;
  target.option = option;
  target.name = name;
  const std::string path = FollowLinks(name);
  const std::string where = option + " " + name;
  struct stat info {};
  if (stat(path.c_str(), &info) == 0) {
    if (S_ISDIR(info.st_mode)) throw InputError(where + ": is a directory");
    if (S_ISSOCK(info.st_mode)) throw InputError(where + ": is a socket");
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
  const std::string directory = ParentDirectory(path);
  char real[PATH_MAX + 1] = {};
  if (realpath(directory.c_str(), real) == nullptr || !IsDirectory(real)) {
    throw InputError(where + ": the directory " + FullPath(directory) + " does not exist");
  }
  target.path = JoinPath(real, BaseName(path));
  if (target.kind == OutputTarget::Kind::kCreate) target.identity = "new:" + target.path;
  // The file will be a temporary one first: it must be possible to make one there.
  std::string temporary;
  const int fd = MakeTemporary(target.path, temporary);
  if (fd < 0)
    throw InputError(where + ": cannot be written in " + real + " (" + std::strerror(errno) + ")");
  close(fd);
  unlink(temporary.c_str());
  return target;
}

std::string FileIdentity(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 ? Identity(info) : "missing:" + FullPath(path);
}

void WriteOutputs(const std::vector<std::pair<OutputTarget, OutputProducer>>& produced) {
  std::vector<std::pair<OutputTarget, std::string>> outputs;
  for (const auto& [target, produce] : produced)
    outputs.emplace_back(target, ProducedBytes(produce));
  const QuietWhileWriting quiet;
  std::vector<std::pair<const OutputTarget*, std::string>> prepared;  // target, temporary file
  const auto abandon = [&](const OutputTarget& target, const std::string& reason) {
    for (const auto& [done, temporary] : prepared)
      unlink(temporary.c_str());
    CannotWrite(target, reason);
  };

  // Every replacement in full first, so that a failure leaves every target as it was.
  for (const auto& [target, bytes] : outputs) {
    if (target.kind != OutputTarget::Kind::kReplace && target.kind != OutputTarget::Kind::kCreate)
      continue;
    std::string temporary;
    const int fd = MakeTemporary(target.path, temporary);
    if (fd < 0) abandon(target, std::strerror(errno));
    prepared.emplace_back(&target, temporary);
    struct stat old {};
    const bool replacing = stat(target.path.c_str(), &old) == 0 && S_ISREG(old.st_mode);
    mode_t mode;
    if (replacing) {
      // The owner first: a change of owner may clear the set-id bits the mode then restores.
      // Only root may give a file away; others may keep at most the group, if it is theirs.
      if (fchown(fd, old.st_uid, old.st_gid) != 0 &&
          fchown(fd, static_cast<uid_t>(-1), old.st_gid) != 0) {
        // Neither: the file stays the process's own, as any new file would be.
      }
      mode = old.st_mode & 07777;
    } else {
      const mode_t mask = umask(0);
      umask(mask);
      mode = 0666 & ~mask;
    }
    const bool ok = WriteAll(fd, bytes) && fchmod(fd, mode) == 0 && fsync(fd) == 0;
    const int error = errno;
    if (close(fd) != 0 || !ok) abandon(target, std::strerror(ok ? errno : error));
  }

  // Special files and standard output cannot be prepared: they are written now.
  for (const auto& [target, bytes] : outputs) {
    if (target.kind == OutputTarget::Kind::kStandardOutput) {
      std::fflush(stdout);
      if (!WriteAll(STDOUT_FILENO, bytes)) abandon(target, std::strerror(errno));
    } else if (target.kind == OutputTarget::Kind::kWriteThrough) {
      const int fd = open(target.path.c_str(), O_WRONLY | O_NOCTTY);
      if (fd < 0) abandon(target, std::strerror(errno));
      const bool ok = WriteAll(fd, bytes);
      const int error = errno;
      close(fd);
      if (!ok) abandon(target, std::strerror(error));
    }
  }

  for (size_t i = 0; i < prepared.size(); ++i) {
    const auto& [target, temporary] = prepared[i];
    if (std::rename(temporary.c_str(), target->path.c_str()) != 0) {
      const std::string reason = std::strerror(errno);
      prepared.erase(prepared.begin(), prepared.begin() + static_cast<ptrdiff_t>(i));
      abandon(*target, reason);
    }
    // The rename itself reaches the disk with its directory.
    const int directory = open(ParentDirectory(target->path).c_str(), O_RDONLY | O_DIRECTORY);
    if (directory >= 0) {
      fsync(directory);
      close(directory);
    }
  }
}

std::string HostDirectoryText(const std::string& directory) { return directory; }

void PauseMilliseconds(int milliseconds) {
  timespec remaining{milliseconds / 1000, static_cast<long>(milliseconds % 1000) * 1000000L};
  while (nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
  }
}

bool HoldSupported() { return false; }
void HoldProgressWindowAt(int, int) {}

}  // namespace x9host::platform

namespace x9host {

bool JapaneseReader() {
  // The locale categories in the order the C library consults them for messages.
  for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(variable);
    if (value != nullptr && *value != '\0') return std::strncmp(value, "ja", 2) == 0;
  }
  return false;
}

}  // namespace x9host
