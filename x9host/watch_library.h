// Which watch library the plug-in directory holds: the simulator (it says so through an export
// of its own), another one (the real watch's, which x9host cannot look into), none, or a file
// that cannot be loaded.
#pragma once

#include <string>

#include "outcome.h"

namespace x9host {

struct WatchLibraryFound {
  WatchLibrary kind = WatchLibrary::kMissing;
  std::string path;     // DIR/x9.dll
  std::string problem;  // kUnloadable: the system's reason
};

// Loads the library once to read its exports, and unloads it; the module loads it again for
// the request, as it does for every request.
WatchLibraryFound FindWatchLibrary(const std::string& pluginDirectory);

}  // namespace x9host
