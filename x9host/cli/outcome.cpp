#include "cli/outcome.h"

#include "device/device_api.h"
#include "host/tpi.h"
#include "os/messages.h"

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
  if ((flags & x9::kFlagDownloadAll) == x9::kFlagDownloadAll) return msg::WantedEverything();
  if (flags & x9::kFlagDownloadWaypoints) return msg::WantedWaypoints();
  if (flags & x9::kFlagDownloadRoutes) return msg::WantedRoutes();
  return msg::WantedTracks();
}

std::string Failure(const RequestFacts& facts) {
  // The last of the module's failure messages tells why; without one the transfer was aborted.
  for (auto box = facts.boxes.rbegin(); box != facts.boxes.rend(); ++box) {
    if (box->message == x9::kMsgConnectionLost) return msg::FailedConnectionLost();
    if (box->message == x9::kMsgOutOfMemory) return msg::FailedOutOfMemory();
  }
  return msg::FailedAborted();
}

std::string LibraryMissing(const RequestFacts& facts) {
  switch (facts.library) {
    case WatchLibrary::kMissing:
      return msg::NoWatchLibrary(facts.libraryPath, x9::kDeviceLibraryName);
    case WatchLibrary::kUnloadable: return facts.libraryProblem;
    default: return msg::LibraryLacksEntry(facts.libraryPath);
  }
}

std::string WhyNothingMoved(const RequestFacts& facts) {
  const bool upload = (facts.flags & x9::kFlagUploadRoutes) != 0;
  for (const ShownBox& box : facts.boxes) {
    if (!IsStartQuestion(box)) continue;
    if (box.answer == Answer::kNo) return msg::QuestionDeclined();
    if (box.answer == Answer::kNoAnswer) return msg::NoAnswer();
  }
  if (Shown(facts, x9::kMsgDllMissing)) return LibraryMissing(facts);
  if (Shown(facts, x9::kMsgNoWatch)) return msg::NoWatchFound();
  if (!upload && Shown(facts, x9::kMsgConnectionLost)) {
    // The module says "connection lost" when the watch has no route or no track at all.
    if (facts.library == WatchLibrary::kSimulator)
      return msg::WatchHoldsNoneLost(WantedOnWatch(facts.flags));
    return msg::LostOrNothing();
  }
  if (upload) {
    if (facts.routeSetsToPut == 0 && facts.myPointsSets > 0) return msg::MypointsRoute();
    if (facts.routeSetsToPut == 0) return msg::NoRoutesToUpload();
    return msg::RoutesAlreadyThere();
  }
  return msg::WatchHoldsNone(WantedOnWatch(facts.flags));
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
    verdict.line = msg::NothingMoved(WhyNothingMoved(facts));
    return verdict;
  }
  verdict.status = kExitMoved;
  if (upload) {
    verdict.line = msg::DoneUpload(facts.routesPut);
  } else {
    const ListChanges& c = facts.listChanges;
    verdict.line = msg::DoneDownload(c.itemsAdded, c.setsAdded, c.setsChanged + c.itemsChanged);
  }
  return verdict;
}

}  // namespace x9host
