// What a request came to, told from what x9host saw: the module's result, its boxes and their
// answers, and what changed in the transfer list or on the watch. One exit status and one
// English line that says why.
#pragma once

#include <string>
#include <vector>

#include "content/transfer_list.h"
#include "session/module_ui.h"
#include "session/watch_library.h"

namespace x9host {

inline constexpr int kExitMoved = 0;  // the request changed the transfer list or the watch
// the module returned 0 (failed or aborted); or a signal stopped the outputs (all as they
// were); or putting them back failed too (the last line says what each holds)
inline constexpr int kExitFailed = 1;
// bad input or usage (nothing run, nothing written); or, after the request, the outputs could
// not be put in place and every one is as it was
inline constexpr int kExitBadInput = 2;
inline constexpr int kExitNothingMoved = 3;  // the request ran and moved nothing

struct RequestFacts {
  unsigned flags = 0;  // the request's flag word (0x40: upload)
  long result = 0;
  std::vector<ShownBox> boxes;
  WatchLibrary library = WatchLibrary::kSimulator;
  std::string libraryPath;     // the plug-in directory's x9.dll
  std::string libraryProblem;  // why it cannot be loaded (kUnloadable)
  ListChanges listChanges;
  // An upload: route sets in the transfer list the module puts on the watch (those not named
  // like the waypoint collection), and those it skips.
  int routeSetsToPut = 0;
  int myPointsSets = 0;
  // The simulator: whether the watch changed. Elsewhere the watch cannot be seen: an upload
  // that returned 1 after the transfer ran (the module refreshed the host's list) put every
  // route set it does not skip.
  bool watchChanged = false;
  bool transferRan = false;
};

struct Verdict {
  int status = kExitNothingMoved;
  std::string line;  // "done: ...", "failed: ...", "nothing moved: ..."
};

Verdict Judge(const RequestFacts& facts);

}  // namespace x9host
