#include <cstdio>
#include <cstring>

#include "device/device_api.h"
#include "host/convert.h"
#include "host/records.h"
#include "transfer/allocation.h"
#include "transfer/transfer_steps.h"
#include "transfer/transfers.h"
#include "ui/user_interface.h"

namespace x9 {
namespace {

// "No. 2147483647" and its zero fit.
constexpr size_t kItemNameSize = 16;
using ItemName = char[kItemNameSize];

void FillTrackItem(tagGPSDBITEM& item, const TrackPoint& point) {
  item = tagGPSDBITEM{};
  item.latitude = DegreesFromDevice(point.latitude);
  item.longitude = DegreesFromDevice(point.longitude);
  item.altitude = static_cast<double>(point.altitude);
  item.value32 = static_cast<double>(point.value40) * 10.0;
  item.value40 = NO_VALUE_2;
  item.time = HostTimeFromDevice(point.year, point.month, point.day, point.hour, point.minute,
                                 point.second);
  item.kind = kListTracks;
  item.datum = 0;
  item.value56 = 1;
  item.value60 = 901001;
  item.ident = nullptr;
  item.value68 = 0;
  item.value72 = static_cast<float>(point.value36);
  item.value76 = 0;
  item.value92 = 2;
}

}  // namespace

int DownloadTracks(DeviceConnection&) {
  // Declared in reverse order of release: items, names, headers, points, window, set name.
  char setName[32] = {};
  std::unique_ptr<ProgressDialog> dialog = OpenProgress(kMsgDownloadingTracks);
  WorkingBuffer<TrackPoint> points;
  WorkingBuffer<TrackHeader> headers;
  WorkingBuffer<ItemName> names;
  WorkingBuffer<tagGPSDBITEM> items;

  const int trackCount = g_deviceApi.GetTrackCount();
  if (trackCount <= 0) {
    ShowMessage(kMsgConnectionLost, kStyleExclamation);
    return 1;
  }

  if (!headers.Allocate(static_cast<uint64_t>(trackCount))) {
    ShowMessage(kMsgOutOfMemory, kStyleExclamation);
    return 0;
  }
  uint64_t pointTotal = 0;
  for (int i = 0; i < trackCount; ++i) {
    if (g_deviceApi.GetTrackHeader(i + 1, &headers[i]) == kDeviceFailure) {
      ShowMessage(kMsgConnectionLost, kStyleExclamation);
      return 0;
    }
    const int32_t count = headers[i].pointCount;
    if (count > 0) pointTotal += static_cast<uint64_t>(count);
    dialog->SetProgress(StepPercent(i, 10, trackCount));
    if (PumpAndCheckAbort(*dialog)) return 0;
  }

  if (!points.Allocate(pointTotal)) {
    ShowMessage(kMsgOutOfMemory, kStyleExclamation);
    return 0;
  }
  uint64_t filled = 0;
  for (int i = 0; i < trackCount; ++i) {
    const int32_t count = headers[i].pointCount;
    if (count > 0) {
      if (g_deviceApi.GetTrackPoints(i + 1, &points[filled]) == kDeviceFailure) {
        ShowMessage(kMsgConnectionLost, kStyleExclamation);
        return 0;
      }
      filled += static_cast<uint64_t>(count);
    }
    dialog->SetProgress(StepPercent(i, 90, trackCount, 10));
    if (PumpAndCheckAbort(*dialog)) return 0;
  }
  dialog->SetProgress(100);

  if (!items.Allocate(filled) || !names.Allocate(filled)) {
    ShowMessage(kMsgOutOfMemory, kStyleExclamation);
    return 0;
  }

  // Everything is read: only now does the host see anything.
  uint64_t k = 0;
  tagGPSDBITEM scratch;
  for (int j = 0; j < trackCount; ++j) {
    const int32_t count = headers[j].pointCount;
    if (count <= 0) continue;
    std::snprintf(setName, sizeof setName, "Segment: %d", j + 1);
    tagGPSDBHEADER header{};
    header.size = sizeof header;
    header.name = setName;
    header.value8 = 1;
    header.itemCount = 0;
    header.value16 = 0;
    header.kind = kListTracks;
    header.value20 = 255;
    header.value24 = 2;
    header.value28 = 1;
    const int setIndex = TPI_AddDataTrackGpsProtocol(&header);
    for (int32_t d = 0; d < count; ++d, ++k) {
      FillTrackItem(scratch, points[k]);
      std::snprintf(names[k], kItemNameSize, "No. %d", d + 1);
      items[k] = scratch;
      items[k].size = sizeof(tagGPSDBITEM);
      items[k].name = names[k];
      TPI_AddDataItemGpsProtocol(setIndex, &items[k]);
    }
  }
  return 1;
}

}  // namespace x9
