// The watch library while one request is served: loaded from the plug-in directory it is given,
// its entry points resolved into the connection's own table, the watch found. It tells nobody:
// OpenDevice says what happened and the caller decides what the user is told. Destruction
// unloads the library.
#pragma once

#include <cstddef>

#include "device/device_api.h"
#include "platform/platform.h"

namespace x9 {

// What opening the device came to, in the order the steps can fail.
enum class OpenResult {
  kOpened,             // library loaded, all eleven entry points resolved, a watch answered
  kPathTooLong,        // the directory and the file name do not fit the path buffer
  kLibraryNotLoaded,   // no library could be loaded from the path
  kEntryPointMissing,  // loaded, but one or more of the eleven entry points is missing
  kNoWatch,            // the library found no watch on any port
};

class DeviceConnection {
 public:
  DeviceConnection() = default;
  ~DeviceConnection() { CloseDevice(); }
  DeviceConnection(const DeviceConnection&) = delete;
  DeviceConnection& operator=(const DeviceConnection&) = delete;

  // Loads x9.dll from pluginDirectory (measured within its capacity bytes, terminated or not),
  // resolves the entry points and searches for the watch. A library loaded earlier by this
  // connection is unloaded first. After kEntryPointMissing or kNoWatch the library stays loaded
  // until the connection goes.
  OpenResult OpenDevice(const char* pluginDirectory, size_t capacity);

  // Unloads the library if one is held; the table is emptied with it, so no call can reach an
  // unloaded library.
  void CloseDevice() {
    api_ = DeviceApi{};
    library_.Reset();
  }

  bool IsLoaded() const { return library_.IsLoaded(); }

  // The entry points the transfers call: all eleven after kOpened or kNoWatch, none otherwise.
  const DeviceApi& Api() const { return api_; }

 private:
  platform::Library library_;
  DeviceApi api_{};
};

}  // namespace x9
