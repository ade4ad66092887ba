// The four transfers, each over the entry points of an opened connection: 1 when it ran to its
// end (or there was nothing to read), 0 when a device call failed, memory ran out or the user
// aborted.
#pragma once

#include "device/device_api.h"

namespace x9 {

int DownloadTracks(const DeviceApi& device);
int DownloadRoutes(const DeviceApi& device);
int DownloadWaypoints(const DeviceApi& device);
int UploadRoutes(const DeviceApi& device);

}  // namespace x9
