// Which watch library the plug-in directory holds: the simulator (it says so through an export
// of its own), another one (the real watch's, which x9host cannot look into), none, or a file
// that cannot be loaded.
#pragma once

#include <string>

namespace x9host {

// The x9.dll in the plug-in directory.
enum class WatchLibrary {
  kSimulator,   // the watch simulator (it has the simulator's control export)
  kRealWatch,   // a watch library x9host cannot inspect: the real watch
  kMissing,     // no x9.dll there
  kUnloadable,  // a file that cannot be loaded as a library
};

struct WatchLibraryFound {
  WatchLibrary kind = WatchLibrary::kMissing;
  std::string path;     // DIR/x9.dll
  std::string problem;  // kUnloadable: the system's reason
};

// Loads the library once to read its exports, and unloads it; the module loads it again for
// the request, as it does for every request.
WatchLibraryFound FindWatchLibrary(const std::string& pluginDirectory);

}  // namespace x9host
