// The parts of x9host's OS layer that are the same on POSIX and Windows.
#include "os/input_error.h"
#include "os/os.h"

#include <cstdlib>
#include <map>
#include <utility>
#include <vector>

namespace x9host::os {

OutputTarget PlanOutput(const std::string& option, const std::string& name) {
  if (name != "-") return PlanFileOutput(option, name);
  OutputTarget target;
  target.option = option;
  target.name = name;
  target.kind = OutputTarget::Kind::kStandardOutput;
  target.identity = "standard output";
  return target;
}

int InjectedFault(const char* step) {
  // Read once: faults separated by commas, each STEP, an optional ":N" (which time) and an
  // optional "=SIGNAL".
  struct Fault {
    std::string step;
    int time = 1;
    int signal = 0;
  };
  static const std::vector<Fault> faults = [] {
    std::vector<Fault> list;
    const char* text = std::getenv("X9HOST_FAULT");
    std::string rest = text == nullptr ? "" : text;
    while (!rest.empty()) {
      const size_t comma = rest.find(',');
      std::string item = rest.substr(0, comma);
      rest = comma == std::string::npos ? "" : rest.substr(comma + 1);
      Fault f;
      if (const size_t equals = item.find('='); equals != std::string::npos) {
        f.signal = std::atoi(item.c_str() + equals + 1);
        item.resize(equals);
      }
      if (const size_t colon = item.find(':'); colon != std::string::npos) {
        f.time = std::atoi(item.c_str() + colon + 1);
        item.resize(colon);
      }
      f.step = item;
      list.push_back(f);
    }
    return list;
  }();
  static std::map<std::string, int> reached;
  const int time = ++reached[step];
  for (const Fault& f : faults) {
    if (f.step == step && f.time == time) return f.signal > 0 ? f.signal : -1;
  }
  return 0;
}

x9::platform::Library LoadLibraryFile(const std::string& path) {
  std::string why;
  x9::platform::Library library(HostDirectoryText(path).c_str(), &why);
  if (!library.IsLoaded()) throw InputError(path + ": cannot be loaded (" + why + ")");
  return library;
}

}  // namespace x9host::os
