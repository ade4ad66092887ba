#include "device/connection.h"

#include <cstring>
#include <type_traits>

#include "device/path.h"

namespace x9 {
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

OpenResult DeviceConnection::OpenDevice(const char* pluginDirectory, size_t capacity) {
  CloseDevice();

  char path[kPathBufferSize];
  std::memset(path, 0, sizeof path);
  // Nothing past the directory's own bytes is read, and it is cut to the path buffer.
  const void* end = std::memchr(pluginDirectory, '\0', capacity);
  const size_t length = end != nullptr ? static_cast<const char*>(end) - pluginDirectory : capacity;
  std::memcpy(path, pluginDirectory, length < sizeof path ? length : sizeof path);
  // A directory too long for the joined path loads nothing rather than a truncated path.
  if (!JoinPath(path, sizeof path, kDeviceLibraryName, platform::PathSeparator())) {
    return OpenResult::kPathTooLong;
  }

  library_ = platform::Library(path);
  if (!library_.IsLoaded()) return OpenResult::kLibraryNotLoaded;
  // A library without all its entry points stays loaded until the connection goes.
  if (!ResolveEntryPoints(library_, api_)) return OpenResult::kEntryPointMissing;
  // The value selects the ports to search; the library treats 0 as "all".
  if (api_.SearchOnPorts(0) == kDeviceFailure) return OpenResult::kNoWatch;
  return OpenResult::kOpened;
}

}  // namespace x9
