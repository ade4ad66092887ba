// The catalogue of texts the module shows, as Shift-JIS bytes. Pure data: x9host reads it too,
// to put an English gloss under each text it sees.
#pragma once

#include <cstddef>
#include <cstdint>

namespace x9 {

using MessageId = uintptr_t;

enum : MessageId {
  kMsgTransferComplete = 0,
  kMsgDownloadingWaypoints = 1,
  kMsgDownloadingRoutes = 2,
  kMsgDownloadingTracks = 3,
  kMsgUploadingRoutes = 5,
  kMsgNotForThisGps = 12,
  kMsgDllMissing = 16,
  kMsgNoWatch = 17,
  kMsgConnectionLost = 18,
  kMsgOutOfMemory = 19,
  kMsgSameNameOnWatch = 20,
  kMsgStartWaypointDownload = 21,
  kMsgStartRouteDownload = 22,
  kMsgStartTrackDownload = 23,
  kMsgStartRouteUpload = 24,
  kMsgCannotUploadMyPoints = 25,
  kMsgNotImplemented = 26,
};

inline constexpr MessageId kMessageCount = 27;

// 0..26: the catalogue text. Anything larger is taken to be the address of a text of the
// caller's and returned unchanged.
const char* MessageText(MessageId id);

// The entry point's own text, outside the catalogue: the host is too old.
extern const char kTooOldHostText[];

}  // namespace x9
