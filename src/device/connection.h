// The watch library while one request is served: loaded from the host's plug-in directory, its
// entry points resolved and published to g_deviceApi, the watch found. Destruction unloads it.
#pragma once

#include "device/device_api.h"
#include "platform/platform.h"

namespace x9 {

inline constexpr char kDeviceLibraryName[] = "x9.dll";

class DeviceConnection {
 public:
  DeviceConnection() = default;
  ~DeviceConnection() { CloseDevice(); }
  DeviceConnection(const DeviceConnection&) = delete;
  DeviceConnection& operator=(const DeviceConnection&) = delete;

  // 1 when the library is loaded, all eleven entry points resolved and a watch found; 0 after
  // a message box has told the user why not.
  int OpenDevice();

  // Unloads the library if one is held.
  void CloseDevice() { library_.Reset(); }

  bool IsLoaded() const { return library_.IsLoaded(); }

  // The entry points the transfers call; valid while the connection is open.
  const DeviceApi& Api() const { return g_deviceApi; }

 private:
  platform::Library library_;
};

}  // namespace x9
