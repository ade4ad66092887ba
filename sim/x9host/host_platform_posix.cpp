// POSIX side of x9host.
#include <dlfcn.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

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
  for (const std::string& part : parts) out += '/' + part;
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
  while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) bytes.append(buffer, n);
  const bool failed = std::ferror(file) != 0;
  std::fclose(file);
  if (failed) throw InputError(path + ": cannot be read");
  return bytes;
}

void WriteFileAtomically(const std::string& path, const std::string& bytes) {
  const std::string directory = ParentDirectory(FullPath(path));
  std::string temporary = JoinPath(directory, ".x9host-XXXXXX");
  const int fd = mkstemp(temporary.data());
  if (fd < 0) throw InputError(path + ": cannot be written (" + std::strerror(errno) + ")");
  bool ok = true;
  size_t written = 0;
  while (ok && written < bytes.size()) {
    const ssize_t n = write(fd, bytes.data() + written, bytes.size() - written);
    if (n < 0 && errno == EINTR) continue;
    ok = n > 0;
    if (ok) written += static_cast<size_t>(n);
  }
  const int error = ok ? 0 : errno;
  // mkstemp makes the file private; an output file gets the usual permissions.
  const mode_t mask = umask(0);
  umask(mask);
  ok = ok && fchmod(fd, 0666 & ~mask) == 0 && fsync(fd) == 0;
  ok = close(fd) == 0 && ok;
  if (ok && std::rename(temporary.c_str(), path.c_str()) == 0) return;
  const std::string reason = std::strerror(error != 0 ? error : errno);
  unlink(temporary.c_str());
  throw InputError(path + ": cannot be written (" + reason + ")");
}

void* LoadModule(const std::string& path) {
  // RTLD_GLOBAL is not needed: the module finds the host's services in this program.
  void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (module == nullptr) {
    const char* reason = dlerror();
    throw InputError(path + ": cannot be loaded (" + (reason ? reason : "unknown reason") + ")");
  }
  return module;
}

void* ModuleSymbol(void* module, const char* name) { return dlsym(module, name); }

void UnloadModule(void* module) { dlclose(module); }

std::string HostDirectoryText(const std::string& directory) { return directory; }

void AnswerEveryQuestionYes(int questions) {
  // An unnamed file rather than a pipe: any number of answers fits without a reader.
  FILE* answers = std::tmpfile();
  if (answers == nullptr) throw InputError(std::string("--yes: ") + std::strerror(errno));
  for (int i = 0; i < questions; ++i) std::fputs("y\n", answers);
  std::fflush(answers);
  std::rewind(answers);
  if (dup2(fileno(answers), STDIN_FILENO) < 0) {
    throw InputError(std::string("--yes: ") + std::strerror(errno));
  }
  std::fclose(answers);
  std::clearerr(stdin);
}

void PauseMilliseconds(int milliseconds) {
  timespec remaining{milliseconds / 1000, static_cast<long>(milliseconds % 1000) * 1000000L};
  while (nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
  }
}

bool HoldSupported() { return false; }
void HoldProgressWindowAt(int, int) {}

}  // namespace x9host::platform
