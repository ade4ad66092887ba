#include "session/session.h"

#include <cstdint>

#include "host/records.h"
#include "host/tpi.h"
#include "os/input_error.h"
#include "os/messages.h"
#include "os/os.h"
#include "os/say.h"
#include "platform/abi.h"
#include "platform/platform.h"
#include "sim/host/host_sim.h"

namespace x9host {
namespace {

constexpr uint32_t kPluginId = 1;

using InitFn = int(X9_STDCALL*)(PluginInfo*, uint32_t);
using PlainFn = int (*)(void);
using ReleaseFn = void (*)(void);

std::string TextField(const char* field, size_t size) {
  size_t length = 0;
  while (length < size && field[length] != '\0') {
    ++length;
  }
  return std::string(field, length);
}

}  // namespace

// The module as a host holds it: loaded with every entry point there, and closed, released and
// unloaded on every way out once Load has run.
class Session::Module {
 public:
  explicit Module(const std::string& path)
      : path_(path),
        library_(os::LoadLibraryFile(path)),
        init_(Require<InitFn>("Init")),
        load_(Require<PlainFn>("Load")),
        about_(Require<PlainFn>("About")),
        close_(Require<PlainFn>("Close")),
        release_(Require<ReleaseFn>("Release")) {}
  ~Module() {
    if (loaded_) {
      close_();
      release_();
    }
  }
  Module(const Module&) = delete;
  Module& operator=(const Module&) = delete;

  int Init(PluginInfo& info) { return init_(&info, kPluginId); }
  void Load() {
    load_();
    loaded_ = true;
  }
  int About() { return about_(); }

 private:
  template <typename Function>
  Function Require(const char* name) const {
    const auto function = library_.Find<Function>(name);
    if (function == nullptr) throw InputError(msg::NotAModule(path_, name));
    return function;
  }

  const std::string path_;
  const x9::platform::Library library_;
  const InitFn init_;
  const PlainFn load_;
  const PlainFn about_;
  const PlainFn close_;
  const ReleaseFn release_;
  bool loaded_ = false;
};

Session::Session(const SessionSetup& setup, TransferListContent& list, WatchContent* watch)
    : setup_(setup),
      gloss_(os::CurrentLanguage() == os::Language::kEnglish),
      simulatedWatch_(watch != nullptr) {
  // Route sets the upload puts on the watch, and those it skips, by the rule the list's reader
  // applied (ValueRules::WatchRoute).
  for (const auto& set : list.sets) {
    if (set.header.kind != x9::kListRoutes) continue;
    ++(set.leftOffWatch ? myPointsSets_ : routeSetsToPut_);
  }

  X9Host_Reset();
  X9Host_SetPluginDir(setup_.hostDirectory.c_str());
  SeedTransferList(list);
  if (watch != nullptr) LoadWatch(*watch);
  // From here on what the module adds to the transfer list is kept compactly in this store, for
  // downloads of millions of points; content/'s readers of the list that are given it (List():
  // the snapshot, the table, the GPX) see it behind the host's own items. Installed after the
  // reset, which would forget it.
  added_.emplace();
  pump_ = Pump{setup_.paceMilliseconds, setup_.holdAt};
  X9Host_SetPumpHook(&Session::OnPump, &pump_);

  module_ = std::make_unique<Module>(setup_.modulePath);
  PluginInfo info{};
  info.size = sizeof info;
  if (module_->Init(info) != 1) {
    throw InputError(msg::InitRefused(setup_.modulePath, TPI_GetVersion()));
  }
  module_->Load();
  moduleName_ = TextField(info.name, sizeof info.name);
  moduleVersion_ = TextField(info.version, sizeof info.version);
}

Session::~Session() {
  module_.reset();  // Close and Release, while the hook and the store are still in place
  X9Host_SetPumpHook(nullptr, nullptr);
}

void Session::OnPump(void* context) {
  const auto* pump = static_cast<const Pump*>(context);
  if (pump->holdAt) os::HoldProgressWindowAt(*pump->holdAt, kHoldSeconds);
  if (pump->paceMilliseconds > 0)
    x9::platform::PauseMilliseconds(static_cast<unsigned>(pump->paceMilliseconds));
}

int Session::About() {
  const ModuleUi ui(setup_.answerYes, gloss_);
  return module_->About();
}

RequestFacts Session::Transfer(unsigned flags) {
  const TransferCallbackFn callback = X9Host_Callback();
  if (callback == nullptr) throw InputError(msg::NoProtocol(setup_.modulePath));
  RequestFacts facts;
  facts.flags = flags;
  facts.library = setup_.library.kind;
  facts.libraryPath = setup_.library.path;
  facts.libraryProblem = setup_.library.problem;
  facts.routeSetsToPut = routeSetsToPut_;
  facts.myPointsSets = myPointsSets_;
  facts.routesPut = routeSetsToPut_;
  const ListSnapshot before = TakeSnapshot(*added_);
  const uint64_t watchBefore = simulatedWatch_ ? WatchDigest() : 0;
  {
    const ModuleUi ui(setup_.answerYes, gloss_);
    facts.result = callback(0, flags, 0);
    facts.boxes = ui.Boxes();
  }
  facts.listChanges = ChangesSince(before, *added_);
  facts.watchChanged = simulatedWatch_ && WatchDigest() != watchBefore;
  // The simulated watch can say what it was given; the real one is taken at the list's word.
  if (simulatedWatch_) facts.routesPut = RoutesPutOnWatch();
  facts.transferRan = X9Host_CallCount("TPI_ShowAllDataGarminUplist") > 0;
  return facts;
}

}  // namespace x9host
