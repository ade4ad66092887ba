// POSIX only: the platform layer's libraries. Pause and zone values are in time_posix.cpp, the
// terminal's message boxes and progress bar in user_interface_posix.cpp.

#include <dlfcn.h>

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

}  // namespace x9::platform
