// POSIX only: the platform layer's libraries, pause and zone values. The terminal's message
// boxes and progress bar are in terminal_posix.cpp.

#include <dlfcn.h>
#include <time.h>

#include <cerrno>
#include <ctime>

#include "platform/platform.h"

namespace x9::platform {

Library::Library(const char* path, std::string* why) {
  handle_ = dlopen(path, RTLD_NOW | RTLD_LOCAL);
  if (handle_ == nullptr && why != nullptr) {
    const char* reason = dlerror();
    *why = reason != nullptr ? reason : "unknown reason";
  }
}

void* Library::Find(const char* name) const {
  return handle_ != nullptr ? dlsym(handle_, name) : nullptr;
}

void Library::Reset() {
  if (handle_ != nullptr) dlclose(handle_);
  handle_ = nullptr;
}

char PathSeparator() { return '/'; }

void PauseMilliseconds(unsigned milliseconds) {
  timespec remaining{static_cast<time_t>(milliseconds / 1000),
                     static_cast<long>(milliseconds % 1000) * 1000000L};
  while (nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
  }
}

ZoneValues ReadZoneValues() {
  tzset();
  return ZoneValues{timezone, daylight};
}

}  // namespace x9::platform
