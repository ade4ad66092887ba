#include "device/connection.h"

#include <cstring>

#include "device/path.h"
#include "host/tpi.h"
#include "ui/messages.h"
#include "ui/user_interface.h"

namespace x9 {

DeviceApi g_deviceApi{};

void DeviceConnection::CloseDevice() {
  if (module_ != nullptr) platform::UnloadLibrary(module_);
}

int DeviceConnection::OpenDevice() {
  CloseDevice();
  module_ = nullptr;

  char path[kPathBufferSize];
  std::memset(path, 0, sizeof path);
  TPI_GetPluginDir(path);
  // A directory too long for the joined path loads nothing rather than a truncated path.
  if (!JoinPath(path, sizeof path, kDeviceLibraryName, platform::PathSeparator())) {
    ShowMessage(kMsgDllMissing, kStyleStop);
    return 0;
  }

  module_ = platform::LoadLibraryByPath(path);
  if (module_ != nullptr) {
    void* entries[kEntryPointCount];
    bool complete = true;
    for (int i = 0; i < kEntryPointCount; ++i) {
      entries[i] = platform::FindSymbol(module_, kEntryPointNames[i]);
    }
    for (void* entry : entries) complete = complete && entry != nullptr;
    static_assert(sizeof(DeviceApi) == sizeof entries, "one table slot per entry point");
    std::memcpy(&g_deviceApi, entries, sizeof entries);
    if (complete) {
      // The value selects the ports to search; the library treats 0 as "all".
      if (g_deviceApi.SearchOnPorts(0) == kDeviceFailure) {
        ShowMessage(kMsgNoWatch, kStyleExclamation);
        return 0;
      }
      return 1;
    }
  }
  ShowMessage(kMsgDllMissing, kStyleStop);
  return 0;
}

}  // namespace x9
