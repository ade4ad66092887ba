#include "transfer/dispatcher.h"

#include <cstring>
#include <new>

#include "device/connection.h"
#include "device/path.h"
#include "host/records.h"
#include "host/tpi.h"
#include "transfer/transfer_steps.h"
#include "transfer/transfers.h"
#include "ui/messages.h"
#include "ui/user_interface.h"

namespace x9 {

namespace {

bool g_requestRunning = false;

void Refresh(ListKind kind) { TPI_ShowAllDataGarminUplist(kind); }

// The kinds a request has started to append to, in order, so that an exception ending it still
// has the host redisplay what may have been appended.
class StartedKinds {
 public:
  void Note(ListKind kind) {
    if (count_ < 3) kinds_[count_++] = kind;
  }
  void RefreshAll() const {
    for (int i = 0; i < count_; ++i)
      Refresh(kinds_[i]);
  }

 private:
  ListKind kinds_[3] = {};
  int count_ = 0;
};

bool Confirmed(MessageId question) { return ShowMessage(question, kStyleQuestion) == kAnswerYes; }

// Opens the watch for a confirmed request from the host's plug-in directory; when that fails,
// tells the user why and gives false.
bool OpenWatch(DeviceConnection& connection) {
  char directory[kPathBufferSize];
  std::memset(directory, 0, sizeof directory);
  TPI_GetPluginDir(directory);
  switch (connection.OpenDevice(directory, sizeof directory)) {
    case OpenResult::kOpened: return true;
    case OpenResult::kNoWatch: ShowMessage(kMsgNoWatch, kStyleExclamation); return false;
    case OpenResult::kPathTooLong:
    case OpenResult::kLibraryNotLoaded:
    case OpenResult::kEntryPointMissing: break;
  }
  ShowMessage(kMsgDllMissing, kStyleStop);
  return false;
}

using Transfer = int (*)(const DeviceApi&);

// One download request: confirm, open, run, refresh, whatever the transfer's result.
long SingleRequest(MessageId question, Transfer transfer, ListKind kind, StartedKinds* started) {
  if (!Confirmed(question)) return 1;
  DeviceConnection connection;
  if (!OpenWatch(connection)) return 1;
  if (started != nullptr) started->Note(kind);
  const int result = transfer(connection.Api());
  Refresh(kind);
  return result;
}

long Dispatch(unsigned flags, StartedKinds& started) {
  if (flags & kFlagNotImplemented) {
    ShowMessage(kMsgNotImplemented, kStyleInformation);
    return 1;
  }
  // The upload appends nothing to the host's list.
  if (flags & kFlagUploadRoutes) {
    return SingleRequest(kMsgStartRouteUpload, UploadRoutes, kListRoutes, nullptr);
  }
  if (flags & kFlagNotForThisDevice) {
    ShowMessage(kMsgNotForThisGps, kStyleExclamation);
    return 1;
  }
  if ((flags & kFlagDownloadAll) == kFlagDownloadAll) {
    // One question for all three; a failed stage ends the request without any refresh, and
    // what earlier stages appended stays.
    if (!Confirmed(kMsgStartWaypointDownload)) return 1;
    DeviceConnection connection;
    if (!OpenWatch(connection)) return 1;
    started.Note(kListWaypoints);
    if (DownloadWaypoints(connection.Api()) == 0) return 0;
    started.Note(kListRoutes);
    if (DownloadRoutes(connection.Api()) == 0) return 0;
    started.Note(kListTracks);
    const int result = DownloadTracks(connection.Api());
    Refresh(kListWaypoints);
    Refresh(kListRoutes);
    Refresh(kListTracks);
    return result;
  }
  if (flags & kFlagDownloadWaypoints) {
    return SingleRequest(kMsgStartWaypointDownload, DownloadWaypoints, kListWaypoints, &started);
  }
  if (flags & kFlagDownloadRoutes) {
    return SingleRequest(kMsgStartRouteDownload, DownloadRoutes, kListRoutes, &started);
  }
  if (flags & kFlagDownloadTracks) {
    return SingleRequest(kMsgStartTrackDownload, DownloadTracks, kListTracks, &started);
  }
  return 1;
}

// After an exception has ended a request and its clean-up has run.
void RefreshAfterException(const StartedKinds& started) {
  try {
    started.RefreshAll();
  } catch (...) {
  }
}

}  // namespace

void RegisterProtocol(uint32_t pluginId) {
  tagGPSPROTOCOLINFO info{};
  info.size = sizeof info;
  std::memcpy(info.mode, "NORMAL  ", sizeof info.mode);
  constexpr uint32_t kValues[15] = {1, 1, 1, 1, 0, 0, 20, 500, 20, 50, 50, 8, 25, 8000, 0};
  std::memcpy(info.values, kValues, sizeof kValues);
  TPI_AddGpsProtocol(pluginId, TransferCallback, kProtocolName, &info);
}

}  // namespace x9

extern "C" long X9_STDCALL TransferCallback(int, unsigned flags, long) {
  using namespace x9;
  // The host may call again while a transfer pumps its messages; the device table and the
  // watch serve one request at a time, so a nested request is refused quietly.
  if (g_requestRunning) return 1;
  g_requestRunning = true;
  StartedKinds started;
  long result = 0;
  try {
    result = Dispatch(flags, started);
  } catch (const std::bad_alloc&) {
    try {
      ShowMessage(kMsgOutOfMemory, kStyleExclamation);
    } catch (...) {
    }
    RefreshAfterException(started);
    result = 0;
  } catch (...) {
    RefreshAfterException(started);
    result = 0;
  }
  g_requestRunning = false;
  return result;
}
