// The route download and the waypoint download read the watch the same way: all route headers,
// then the points of the selected routes. They differ in which routes they select and in how
// the points reach the host.
#include "device/device_api.h"
#include "host/convert.h"
#include "host/records.h"
#include "text/cp932.h"
#include "transfer/allocation.h"
#include "transfer/transfer_steps.h"
#include "transfer/transfers.h"
#include "ui/user_interface.h"

namespace x9 {
namespace {

enum class Selection { kRoutes, kWaypoints };

bool IsSelected(const RouteHeader& header, Selection selection) {
  if (header.pointCount <= 0) return false;
  return IsMyPointsName(header.name) == (selection == Selection::kWaypoints);
}

void FillRouteItem(tagGPSDBITEM& item, const RoutePoint& point, ListKind kind) {
  item = NewItem(kind);
  item.name = point.name;
  item.latitude = DegreesFromDevice(point.latitude);
  item.longitude = DegreesFromDevice(point.longitude);
  item.altitude = static_cast<double>(point.altitude);
  item.ident = point.name;
}

// Reads the watch and, only when every read has succeeded, hands the selected routes over.
int DownloadRouteRecords(const DeviceApi& device, Selection selection) {
  // Declared in reverse order of release: headers, points, window.
  std::unique_ptr<ProgressDialog> dialog = OpenProgress(
      selection == Selection::kRoutes ? kMsgDownloadingRoutes : kMsgDownloadingWaypoints);
  WorkingBuffer<RoutePoint> points;
  WorkingBuffer<RouteHeader> headers;

  const int routeCount = device.GetRouteCount();
  if (routeCount < 1) {
    ShowMessage(kMsgConnectionLost, kStyleExclamation);
    return 1;
  }
  if (!headers.Allocate(static_cast<uint64_t>(routeCount))) {
    ShowMessage(kMsgOutOfMemory, kStyleExclamation);
    return 0;
  }

  uint64_t pointTotal = 0;
  for (int i = 0; i < routeCount; ++i) {
    if (device.GetRouteHeader(i + 1, &headers[i]) == kDeviceFailure) {
      ShowMessage(kMsgConnectionLost, kStyleExclamation);
      return 0;
    }
    TerminateDeviceName(headers[i].name);
    if (IsSelected(headers[i], selection))
      pointTotal += static_cast<uint64_t>(headers[i].pointCount);
    dialog->SetProgress(StepPercent(i, 10, routeCount));
    if (PumpAndCheckAbort(*dialog)) return 0;
  }

  if (!points.Allocate(pointTotal)) {
    ShowMessage(kMsgOutOfMemory, kStyleExclamation);
    return 0;
  }
  uint64_t fetched = 0;
  for (int i = 0; i < routeCount; ++i) {
    if (IsSelected(headers[i], selection)) {
      if (device.GetRoutePoints(i + 1, &points[fetched]) == kDeviceFailure) {
        ShowMessage(kMsgConnectionLost, kStyleExclamation);
        return 0;
      }
      const uint64_t end = fetched + static_cast<uint64_t>(headers[i].pointCount);
      for (; fetched < end; ++fetched)
        TerminateDeviceName(points[fetched].name);
    }
    dialog->SetProgress(StepPercent(i, 90, routeCount, 10));
    if (PumpAndCheckAbort(*dialog)) return 0;
  }
  dialog->SetProgress(100);

  if (selection == Selection::kWaypoints) {
    // The waypoint set always exists as set 0: its header is rewritten once, before the
    // waypoints are appended to it.
    tagGPSDBHEADER header{};
    header.size = sizeof header;
    header.itemCount = 0;
    TPI_GetStatGpsProtocol(0, &header);
    header.itemCount = static_cast<int32_t>(static_cast<uint32_t>(header.itemCount) +
                                            static_cast<uint32_t>(fetched));
    SetHeaderDefaults(header, "", kListWaypoints);
    TPI_SetStatGpsProtocol(0, &header);
  }

  // Each point reaches the host in one record, built afresh for every point; its texts point
  // into the points read from the watch, which live until the transfer ends.
  uint64_t j = 0;
  tagGPSDBITEM record;
  for (int k = 0; k < routeCount; ++k) {
    if (!IsSelected(headers[k], selection)) continue;
    int setIndex = 0;
    ListKind itemKind = kListWaypoints;
    if (selection == Selection::kRoutes) {
      tagGPSDBHEADER header = NewSetHeader(headers[k].name, kListRoutes);
      setIndex = TPI_AddDataTrackGpsProtocol(&header);
      itemKind = kListRoutes;
    }
    for (int32_t d = 0; d < headers[k].pointCount; ++d, ++j) {
      FillRouteItem(record, points[j], itemKind);
      TPI_AddDataItemGpsProtocol(setIndex, &record);
    }
  }
  return 1;
}

}  // namespace

int DownloadRoutes(const DeviceApi& device) {
  return DownloadRouteRecords(device, Selection::kRoutes);
}

int DownloadWaypoints(const DeviceApi& device) {
  return DownloadRouteRecords(device, Selection::kWaypoints);
}

}  // namespace x9
