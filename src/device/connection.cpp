#include "device/connection.h"

#include <cstring>
#include <type_traits>

#include "device/path.h"
#include "host/tpi.h"
#include "ui/messages.h"
#include "ui/user_interface.h"

namespace x9 {

DeviceApi g_deviceApi{};

namespace {

// All eleven entry points of library, or nothing: the table is filled only when every name
// resolved.
bool ResolveEntryPoints(const platform::Library& library, DeviceApi& api) {
  DeviceApi found{};
  int next = 0;
  bool complete = true;
  // In the table's order, which is the names' order; every name is looked up before any is
  // tested.
  const auto resolve = [&](auto& entry) {
    entry = library.Find<std::remove_reference_t<decltype(entry)>>(kEntryPointNames[next++]);
    complete = complete && entry != nullptr;
  };
  resolve(found.GetLibVersion);
  resolve(found.SearchOnPorts);
  resolve(found.GetSettings);
  resolve(found.GetTrackCount);
  resolve(found.GetTrackHeader);
  resolve(found.GetTrackPoints);
  resolve(found.GetRouteCount);
  resolve(found.GetRouteHeader);
  resolve(found.GetRoutePoints);
  resolve(found.PutRoute);
  resolve(found.DeleteRoute);
  if (complete) api = found;
  return complete;
}

}  // namespace

int DeviceConnection::OpenDevice() {
  CloseDevice();

  char path[kPathBufferSize];
  std::memset(path, 0, sizeof path);
  TPI_GetPluginDir(path);
  // A directory too long for the joined path loads nothing rather than a truncated path.
  if (!JoinPath(path, sizeof path, kDeviceLibraryName, platform::PathSeparator())) {
    ShowMessage(kMsgDllMissing, kStyleStop);
    return 0;
  }

  library_ = platform::Library(path);
  if (!library_.IsLoaded() || !ResolveEntryPoints(library_, g_deviceApi)) {
    // A library without all its entry points stays loaded until the connection goes.
    ShowMessage(kMsgDllMissing, kStyleStop);
    return 0;
  }
  // The value selects the ports to search; the library treats 0 as "all".
  if (g_deviceApi.SearchOnPorts(0) == kDeviceFailure) {
    ShowMessage(kMsgNoWatch, kStyleExclamation);
    return 0;
  }
  return 1;
}

}  // namespace x9
