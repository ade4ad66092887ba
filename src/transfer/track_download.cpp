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

// The fields that come from the point; NewItem(kListTracks) has set all the others.
void FillTrackItem(tagGPSDBITEM& item, const TrackPoint& point) {
  item.latitude = DegreesFromDevice(point.latitude);
  item.longitude = DegreesFromDevice(point.longitude);
  item.altitude = static_cast<double>(point.altitude);
  item.value32 = static_cast<double>(point.value40) * 10.0;
  item.time = HostTimeFromDevice(point.year, point.month, point.day, point.hour, point.minute,
                                 point.second);
  item.value72 = static_cast<float>(point.value36);
}

// Bytes of the names "No. 1" .. "No. count", each with its zero.
uint64_t PointNameBytes(int32_t count) {
  const uint64_t n = static_cast<uint64_t>(count);
  uint64_t bytes = n * 6;  // "No. ", one digit and the zero
  for (uint64_t from = 10; from <= n; from *= 10)
    bytes += n - from + 1;  // each further digit
  return bytes;
}

}  // namespace

int DownloadTracks(const DeviceApi& device) {
  // Declared in reverse order of release: names, headers, points, window, set name.
  char setName[32] = {};
  std::unique_ptr<ProgressDialog> dialog = OpenProgress(kMsgDownloadingTracks);
  WorkingBuffer<TrackPoint> points;
  WorkingBuffer<TrackHeader> headers;
  WorkingBuffer<char> names;

  const int trackCount = device.GetTrackCount();
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
    if (device.GetTrackHeader(i + 1, &headers[i]) == kDeviceFailure) {
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
      if (device.GetTrackPoints(i + 1, &points[filled]) == kDeviceFailure) {
        ShowMessage(kMsgConnectionLost, kStyleExclamation);
        return 0;
      }
      filled += static_cast<uint64_t>(count);
    }
    dialog->SetProgress(StepPercent(i, 90, trackCount, 10));
    if (PumpAndCheckAbort(*dialog)) return 0;
  }
  dialog->SetProgress(100);

  // The names are packed one after the other: the buffer holds exactly their bytes.
  uint64_t nameBytes = 0;
  for (int i = 0; i < trackCount; ++i) {
    if (headers[i].pointCount > 0) nameBytes += PointNameBytes(headers[i].pointCount);
  }
  if (!names.Allocate(nameBytes)) {
    ShowMessage(kMsgOutOfMemory, kStyleExclamation);
    return 0;
  }

  // Everything is read: only now does the host see anything. Each point reaches the host in
  // one record, refilled for every point from the fixed values: the host copies what it keeps,
  // and nothing it may do to the record it was handed reaches the next point.
  uint64_t k = 0;
  char* name = names.data();
  const tagGPSDBITEM fixed = NewItem(kListTracks);
  tagGPSDBITEM record;
  for (int j = 0; j < trackCount; ++j) {
    const int32_t count = headers[j].pointCount;
    if (count <= 0) continue;
    std::snprintf(setName, sizeof setName, "Segment: %d", j + 1);
    tagGPSDBHEADER header = NewSetHeader(setName, kListTracks);
    const int setIndex = TPI_AddDataTrackGpsProtocol(&header);
    for (int32_t d = 0; d < count; ++d, ++k) {
      record = fixed;
      FillTrackItem(record, points[k]);
      record.name = name;
      name += FormatPointName(name, d + 1) + 1;
      TPI_AddDataItemGpsProtocol(setIndex, &record);
    }
  }
  return 1;
}

}  // namespace x9
