#include "support/test_paths.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace x9test {
namespace {
#if defined(_WIN32)
constexpr char kSeparator = '\\';
#else
constexpr char kSeparator = '/';
#endif

std::string Sibling(const char* name) {
  std::string dir = ProgramDirectory();
  const size_t cut = dir.find_last_of(kSeparator);
  return dir.substr(0, cut) + kSeparator + name;
}
}  // namespace

std::string ProgramDirectory() {
  char path[4096] = {};
#if defined(_WIN32)
  GetModuleFileNameA(nullptr, path, sizeof path - 1);
#else
  const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  if (n > 0) path[n] = '\0';
#endif
  std::string full(path);
  return full.substr(0, full.find_last_of(kSeparator));
}

std::string PluginDirectory() { return Sibling("plugins"); }
std::string MissingEntryPluginDirectory() { return Sibling("plugins-missing"); }

}  // namespace x9test
