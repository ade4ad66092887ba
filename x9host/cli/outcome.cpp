#include "cli/outcome.h"

#include "codec/plural.h"
#include "device/device_api.h"
#include "host/tpi.h"

namespace x9host {
namespace {

bool Shown(const RequestFacts& facts, x9::MessageId message) {
  for (const ShownBox& box : facts.boxes) {
    if (box.message == message) return true;
  }
  return false;
}

bool IsStartQuestion(const ShownBox& box) {
  return box.message == x9::kMsgStartWaypointDownload ||
         box.message == x9::kMsgStartRouteDownload || box.message == x9::kMsgStartTrackDownload ||
         box.message == x9::kMsgStartRouteUpload;
}

// What a download looks for on the watch, in words.
std::string WantedOnWatch(unsigned flags) {
  if ((flags & x9::kFlagDownloadAll) == x9::kFlagDownloadAll) return "waypoints, routes or tracks";
  if (flags & x9::kFlagDownloadWaypoints) return "waypoints";
  if (flags & x9::kFlagDownloadRoutes) return "routes";
  return "tracks with points";
}

std::string Failure(const RequestFacts& facts) {
  // The last of the module's failure messages tells why; without one the transfer was aborted.
  for (auto box = facts.boxes.rbegin(); box != facts.boxes.rend(); ++box) {
    if (box->message == x9::kMsgConnectionLost) {
      return "failed: the connection to the watch was lost or the watch reported an error";
    }
    if (box->message == x9::kMsgOutOfMemory) return "failed: not enough memory";
  }
  return "failed: the transfer was aborted";
}

std::string LibraryMissing(const RequestFacts& facts) {
  switch (facts.library) {
    case WatchLibrary::kMissing:
      return "there is no watch library " + facts.libraryPath + " (copy the watch maker's " +
             x9::kDeviceLibraryName + " there, or the simulator's)";
    case WatchLibrary::kUnloadable: return facts.libraryProblem;
    default:
      return "the watch library " + facts.libraryPath +
             " lacks one of the entry points the module needs";
  }
}

std::string WhyNothingMoved(const RequestFacts& facts) {
  const bool upload = (facts.flags & x9::kFlagUploadRoutes) != 0;
  for (const ShownBox& box : facts.boxes) {
    if (!IsStartQuestion(box)) continue;
    if (box.answer == Answer::kNo) return "the question was declined";
    if (box.answer == Answer::kNoAnswer)
      return "no answer on standard input; give --yes to answer Yes";
  }
  if (Shown(facts, x9::kMsgDllMissing)) return LibraryMissing(facts);
  if (Shown(facts, x9::kMsgNoWatch)) return "no watch was found on any port";
  if (!upload && Shown(facts, x9::kMsgConnectionLost)) {
    // The module says "connection lost" when the watch has no route or no track at all.
    if (facts.library == WatchLibrary::kSimulator) {
      return "the watch holds no " + WantedOnWatch(facts.flags) +
             " (the module reports that as a lost connection)";
    }
    return "the module reported a lost connection: the watch holds nothing of that kind, or it was "
           "disconnected";
  }
  if (upload) {
    if (facts.routeSetsToPut == 0 && facts.myPointsSets > 0) {
      return "a route named MYPOINTS cannot be uploaded (the watch keeps its waypoints under that "
             "name)";
    }
    if (facts.routeSetsToPut == 0)
      return "the transfer list holds no routes to upload (give them with --list)";
    return "the watch already held exactly these routes";
  }
  return "the watch holds no " + WantedOnWatch(facts.flags);
}

}  // namespace

Verdict Judge(const RequestFacts& facts) {
  Verdict verdict;
  if (facts.result != 1) {
    verdict.status = kExitFailed;
    verdict.line = Failure(facts);
    return verdict;
  }
  const bool upload = (facts.flags & x9::kFlagUploadRoutes) != 0;
  bool moved;
  if (!upload) {
    // The module rewrites the waypoint set's header on every waypoint download; only points
    // (and sets of them) are something moved.
    const ListChanges& c = facts.listChanges;
    moved = c.setsAdded > 0 || c.itemsAdded > 0 || c.itemsChanged > 0;
  } else if (facts.library == WatchLibrary::kSimulator) {
    moved = facts.watchChanged;
  } else {
    moved = facts.transferRan && facts.routeSetsToPut > 0;
  }
  if (!moved) {
    verdict.status = kExitNothingMoved;
    verdict.line = "nothing moved: " + WhyNothingMoved(facts);
    return verdict;
  }
  verdict.status = kExitMoved;
  if (upload) {
    verdict.line = "done: " + Plural(facts.routesPut, "route", "routes") + " put on the watch";
  } else {
    const ListChanges& c = facts.listChanges;
    verdict.line = "done: " + Plural(c.itemsAdded, "item", "items") +
                   " added to the transfer list in " + Plural(c.setsAdded, "new set", "new sets") +
                   ", " + Plural(c.setsChanged + c.itemsChanged, "record", "records") + " changed";
  }
  return verdict;
}

}  // namespace x9host
