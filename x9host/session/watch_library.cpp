#include "session/watch_library.h"

#include "device/device_api.h"
#include "os/input_error.h"
#include "os/os.h"
#include "sim/watch/watch_sim.h"

namespace x9host {

WatchLibraryFound FindWatchLibrary(const std::string& pluginDirectory) {
  WatchLibraryFound found;
  found.path = os::JoinPath(pluginDirectory, x9::kDeviceLibraryName);
  if (!os::IsFile(found.path)) {
    // Not there is the "no watch library" outcome; a failure to look is told as it is.
    const std::string why = os::LookUpFailure(found.path, os::LookUpAs::kFile);
    if (!why.empty()) {
      found.kind = WatchLibrary::kUnloadable;
      found.problem = found.path + ": " + why;
    }
    return found;
  }
  x9::platform::Library library;
  try {
    library = os::LoadLibraryFile(found.path);
  } catch (const InputError& error) {
    found.kind = WatchLibrary::kUnloadable;
    found.problem = error.what();
    return found;
  }
  using SignatureFn = int(X9_STDCALL*)(void);
  const auto signature = library.Find<SignatureFn>(kWatchSimulatorExport);
  found.kind = signature != nullptr && signature() == kWatchSimulatorSignature
                   ? WatchLibrary::kSimulator
                   : WatchLibrary::kRealWatch;
  return found;
}

}  // namespace x9host
