// The parts of x9host's platform layer that are the same on every platform.
#include "host_platform.h"
#include "input_error.h"

#include <utility>

namespace x9host::platform {

OutputTarget PlanOutput(const std::string& option, const std::string& name) {
  if (name != "-") return PlanFileOutput(option, name);
  OutputTarget target;
  target.option = option;
  target.name = name;
  target.kind = OutputTarget::Kind::kStandardOutput;
  target.identity = "standard output";
  return target;
}

std::string ProducedBytes(const OutputProducer& produce) {
  struct StringSink final : OutputSink {
    std::string bytes;
    void Write(std::string_view more) override { bytes.append(more); }
  } sink;
  produce(sink);
  return std::move(sink.bytes);
}

x9::platform::Library LoadLibraryFile(const std::string& path) {
  std::string why;
  x9::platform::Library library(HostDirectoryText(path).c_str(), &why);
  if (!library.IsLoaded()) throw InputError(path + ": cannot be loaded (" + why + ")");
  return library;
}

}  // namespace x9host::platform
