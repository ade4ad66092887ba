// What the POSIX OS layer's files share: a descriptor's owner and the short names x9host gives
// the files it makes beside a target.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <string>
#include <utility>

namespace x9host::os::posix {

// Which file this is, its size and when it last changed, as one text to compare.
inline std::string SeenText(const struct stat& info) {
  return std::to_string(info.st_dev) + ":" + std::to_string(info.st_ino) + ":" +
         std::to_string(info.st_size) + ":" + std::to_string(info.st_ctim.tv_sec) + "." +
         std::to_string(info.st_ctim.tv_nsec);
}

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

// A name for a file x9host makes beside a target: ten bytes, so that it fits wherever the
// target's own name does, however long that is.
std::string ShortName();

// A new file in directory under a short name of its own, retried on a collision; -1 and errno
// when it cannot be made.
int CreateBeside(int directory, mode_t mode, std::string& name);

std::string BaseName(const std::string& path);

}  // namespace x9host::os::posix
