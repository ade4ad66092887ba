// One request to the module, made as the map application makes it: the host simulator reset and
// given the plug-in directory and the transfer list, the watch simulator given its content, the
// module loaded, Init and Load, then About or the protocol's callback. What the session saw
// comes back as facts; what they mean to a person is for the caller to say.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "content/transfer_list.h"
#include "content/watch_content.h"
#include "session/module_ui.h"
#include "session/watch_library.h"

namespace x9host {

// The module's file in the plug-in directory, as the map application looks for it.
inline constexpr char kModuleFile[] = "x9link.tvl";
// How long --hold-at keeps the progress window on screen (Windows).
inline constexpr int kHoldSeconds = 5;

// What a transfer came to, as x9host saw it.
struct RequestFacts {
  unsigned flags = 0;  // the request's flag word (0x40: upload)
  long result = 0;
  std::vector<ShownBox> boxes;
  WatchLibrary library = WatchLibrary::kSimulator;
  std::string libraryPath;     // the plug-in directory's x9.dll
  std::string libraryProblem;  // why it cannot be loaded (kUnloadable)
  ListChanges listChanges;
  // An upload: route sets in the transfer list the module puts on the watch (those not named
  // like the waypoint collection), and those it skips.
  int routeSetsToPut = 0;
  int myPointsSets = 0;
  // Routes put: as the simulated watch counts them, else routeSetsToPut.
  int routesPut = 0;
  // The simulator: whether the watch changed. Elsewhere the watch cannot be seen: an upload
  // that returned 1 after the transfer ran (the module refreshed the host's list) put every
  // route set it does not skip.
  bool watchChanged = false;
  bool transferRan = false;
};

struct SessionSetup {
  std::string modulePath;     // DIR/x9link.tvl
  std::string hostDirectory;  // DIR as the module reads it through TPI_GetPluginDir
  WatchLibraryFound library;
  bool answerYes = false;     // every question the module asks is answered Yes
  int paceMilliseconds = 0;   // a pause at every pump
  std::optional<int> holdAt;  // Windows: the percentage at which the progress window is held
};

class Session {
 public:
  // Seeds the host's transfer list with list and, when watch is given (the watch simulator),
  // the watch with it; both let their points go. Then loads the module, checks its exports and
  // calls Init and Load. Throws InputError when the module cannot be loaded, lacks an export
  // or refuses Init.
  Session(const SessionSetup& setup, TransferListContent& list, WatchContent* watch);
  // Closes, releases and unloads the module, then lets the host's added items go.
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // What the module said of itself in Init.
  const std::string& ModuleName() const { return moduleName_; }
  const std::string& ModuleVersion() const { return moduleVersion_; }
  // The transfer list as the module has left it so far, with what it added.
  const AddedItems& List() const { return *added_; }

  // The module's About box; returns what About returned.
  int About();
  // Sends the request to the callback Load registered (InputError when there is none) and
  // returns what it came to. The transfer list and the simulated watch stay as the request
  // left them while the session lives, for the outputs.
  RequestFacts Transfer(unsigned flags);

 private:
  class Module;
  struct Pump {
    int paceMilliseconds = 0;
    std::optional<int> holdAt;
  };
  static void OnPump(void* context);

  const SessionSetup setup_;
  const bool gloss_;           // the module's texts followed by their English
  const bool simulatedWatch_;  // the watch is the simulator's, and can be seen
  int routeSetsToPut_ = 0;
  int myPointsSets_ = 0;
  // Made in this order and let go in the reverse: the module is closed and unloaded while the
  // store of what it added is still installed.
  std::optional<AddedItems> added_;
  Pump pump_;
  std::unique_ptr<Module> module_;
  std::string moduleName_;
  std::string moduleVersion_;
};

}  // namespace x9host
