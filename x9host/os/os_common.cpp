// The parts of x9host's OS layer that are the same on POSIX and Windows.
#include "os/input_error.h"
#include "os/messages.h"
#include "os/os.h"

namespace x9host::os {

OutputTarget PlanOutput(const std::string& option, const std::string& name) {
  if (name != "-") return PlanFileOutput(option, name);
  OutputTarget target;
  target.option = option;
  target.name = name;
  target.kind = OutputTarget::Kind::kStandardOutput;
  target.identity = "standard output";  // not a message: an identity, compared, never shown
  return target;
}

x9::platform::Library LoadLibraryFile(const std::string& path) {
  std::string why;
  x9::platform::Library library(HostDirectoryText(path).c_str(), &why);
  if (!library.IsLoaded()) throw InputError(msg::LibraryNotLoaded(path, why));
  return library;
}

}  // namespace x9host::os
