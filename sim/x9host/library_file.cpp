#include "host_platform.h"
#include "input_error.h"

namespace x9host::platform {

x9::platform::Library LoadLibraryFile(const std::string& path) {
  std::string why;
  x9::platform::Library library(HostDirectoryText(path).c_str(), &why);
  if (!library.IsLoaded()) throw InputError(path + ": cannot be loaded (" + why + ")");
  return library;
}

}  // namespace x9host::platform
