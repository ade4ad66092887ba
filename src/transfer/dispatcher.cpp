#include "transfer/dispatcher.h"

#include <cstring>
#include <new>

#include "device/connection.h"
#include "host/records.h"
#include "host/tpi.h"
#include "transfer/transfer_steps.h"
#include "transfer/transfers.h"
#include "ui/messages.h"
#include "ui/user_interface.h"

namespace x9 {

uint32_t g_hostPluginId = 0;
unsigned g_settleMilliseconds = 100;

namespace {

bool g_requestRunning = false;

void Refresh(ListKind kind) { TPI_ShowAllDataGarminUplist(kind); }

bool Confirmed(MessageId question) { return ShowMessage(question, kStyleQuestion) == kAnswerYes; }

// One download request: confirm, open, run, refresh, whatever the transfer's result.
long SingleRequest(MessageId question, int (*transfer)(DeviceConnection&), ListKind kind) {
  if (!Confirmed(question)) return 1;
  DeviceConnection connection;
  if (!connection.OpenDevice()) return 1;
  const int result = transfer(connection);
  Refresh(kind);
  return result;
}

long Dispatch(unsigned flags) {
  if (flags & kFlagNotImplemented) {
    ShowMessage(kMsgNotImplemented, kStyleInformation);
    return 1;
  }
  if (flags & kFlagUploadRoutes) return SingleRequest(kMsgStartRouteUpload, UploadRoutes, kListRoutes);
  if (flags & kFlagNotForThisDevice) {
    ShowMessage(kMsgNotForThisGps, kStyleExclamation);
    return 1;
  }
  constexpr unsigned kAllDownloads = kFlagDownloadWaypoints | kFlagDownloadTracks | kFlagDownloadRoutes;
  if ((flags & kAllDownloads) == kAllDownloads) {
    // One question for all three; a failed stage ends the request without any refresh, and
    // what earlier stages appended stays.
    if (!Confirmed(kMsgStartWaypointDownload)) return 1;
    DeviceConnection connection;
    if (!connection.OpenDevice()) return 1;
    if (DownloadWaypoints(connection) == 0) return 0;
    if (DownloadRoutes(connection) == 0) return 0;
    const int result = DownloadTracks(connection);
    Refresh(kListWaypoints);
    Refresh(kListRoutes);
    Refresh(kListTracks);
    return result;
  }
  if (flags & kFlagDownloadWaypoints)
    return SingleRequest(kMsgStartWaypointDownload, DownloadWaypoints, kListWaypoints);
  if (flags & kFlagDownloadRoutes)
    return SingleRequest(kMsgStartRouteDownload, DownloadRoutes, kListRoutes);
  if (flags & kFlagDownloadTracks)
    return SingleRequest(kMsgStartTrackDownload, DownloadTracks, kListTracks);
  return 1;
}

}  // namespace

void RegisterProtocol() {
  tagGPSPROTOCOLINFO info{};
  info.size = sizeof info;
  std::memcpy(info.mode, "NORMAL  ", sizeof info.mode);
  constexpr uint32_t kValues[15] = {1, 1, 1, 1, 0, 0, 20, 500, 20, 50, 50, 8, 25, 8000, 0};
  std::memcpy(info.values, kValues, sizeof kValues);
  TPI_AddGpsProtocol(g_hostPluginId, TransferCallback, kProtocolName, &info);
}

}  // namespace x9

extern "C" long X9_STDCALL TransferCallback(int, unsigned flags, long) {
  using namespace x9;
  // The host may call again while a transfer pumps its messages; the device table and the
  // watch serve one request at a time, so a nested request is refused quietly.
  if (g_requestRunning) return 1;
  g_requestRunning = true;
  long result = 0;
  try {
    result = Dispatch(flags);
  } catch (const std::bad_alloc&) {
    try {
      ShowMessage(kMsgOutOfMemory, kStyleExclamation);
    } catch (...) {
    }
    result = 0;
  } catch (...) {
    result = 0;
  }
  g_requestRunning = false;
  return result;
}
