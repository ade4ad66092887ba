// The four transfers, each an operation of an opened connection: 1 when it ran to its end (or
// there was nothing to read), 0 when a device call failed, memory ran out or the user aborted.
#pragma once

#include "device/connection.h"

namespace x9 {

int DownloadTracks(DeviceConnection& connection);
int DownloadRoutes(DeviceConnection& connection);
int DownloadWaypoints(DeviceConnection& connection);
int UploadRoutes(DeviceConnection& connection);

}  // namespace x9
