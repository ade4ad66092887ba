// x9host: a console host for the module. It plays the map application with the host
// simulator, plays the watch with the watch simulator, loads x9link.tvl from a plug-in
// directory as the host would, and sends it one request.
#include <cstdio>
#include <exception>
#include <new>
#include <optional>
#include <string>

#include "gpx.h"
#include "host/host_sim.h"
#include "host/records.h"
#include "host/tpi.h"
#include "host_platform.h"
#include "input_error.h"
#include "options.h"
#include "platform/abi.h"
#include "transfer_list.h"
#include "watch/watch_sim.h"
#include "watch_content.h"

namespace x9host {
namespace {

constexpr char kModuleFile[] = "x9link.tvl";
constexpr char kCreator[] = "x9host";
constexpr uint32_t kPluginId = 1;
constexpr int kHoldSeconds = 5;
constexpr int kExitBadInput = 2;

using InitFn = int(X9_STDCALL*)(PluginInfo*, uint32_t);
using PlainFn = int (*)(void);
using ReleaseFn = void (*)(void);

// The module as a host holds it: loaded, and closed, released and unloaded on every way out.
class Module {
 public:
  explicit Module(const std::string& path) : path_(path), handle_(platform::LoadModule(path)) {}
  ~Module() {
    if (loaded_) {
      if (auto close = Symbol<PlainFn>("Close")) close();
      if (auto release = Symbol<ReleaseFn>("Release")) release();
    }
    platform::UnloadModule(handle_);
  }
  Module(const Module&) = delete;
  Module& operator=(const Module&) = delete;

  template <typename Function>
  Function Symbol(const char* name) const {
    return reinterpret_cast<Function>(platform::ModuleSymbol(handle_, name));
  }

  template <typename Function>
  Function Require(const char* name) const {
    const Function function = Symbol<Function>(name);
    if (function == nullptr) throw InputError(path_ + ": not an x9link module (no " + name + " export)");
    return function;
  }

  void MarkLoaded() { loaded_ = true; }

 private:
  std::string path_;
  void* handle_;
  bool loaded_ = false;
};

struct PumpSettings {
  int paceMilliseconds = 0;
  std::optional<int> holdAt;
};

void OnPump(void* context) {
  const auto* settings = static_cast<const PumpSettings*>(context);
  if (settings->holdAt) platform::HoldProgressWindowAt(*settings->holdAt, kHoldSeconds);
  if (settings->paceMilliseconds > 0) platform::PauseMilliseconds(settings->paceMilliseconds);
}

// The sample watch beside the sources: found from a build tree (build/<preset>/bin), else where
// the sources were when this program was built.
std::string BundledWatch(const std::string& programDirectory) {
  const std::string inTree = platform::FullPath(platform::JoinPath(
      programDirectory, std::string("..") + "/../../examples/watch.gpx"));
  if (platform::IsFile(inTree)) return inTree;
#if defined(X9HOST_BUNDLED_WATCH)
  if (platform::IsFile(X9HOST_BUNDLED_WATCH)) return X9HOST_BUNDLED_WATCH;
#endif
  throw InputError("the bundled examples/watch.gpx is not where it was built: give --watch FILE.gpx");
}

void CheckOutputDirectory(const std::optional<std::string>& file, const char* option) {
  if (!file) return;
  const std::string directory = platform::ParentDirectory(platform::FullPath(*file));
  if (!platform::IsDirectory(directory)) {
    throw InputError(std::string(option) + " " + *file + ": the directory " + directory + " does not exist");
  }
  if (platform::IsDirectory(*file)) throw InputError(std::string(option) + " " + *file + ": is a directory");
}

std::string TextField(const char* field, size_t size) {
  size_t length = 0;
  while (length < size && field[length] != '\0') ++length;
  return std::string(field, length);
}

int Run(const std::vector<std::string>& args) {
  const Options options = ParseOptions(args);
  if (options.help) {
    std::fputs(UsageText().c_str(), stdout);
    return 0;
  }
  if (options.holdAt && !platform::HoldSupported()) {
    throw InputError("--hold-at works in the Windows build only");
  }

  // Everything is read and checked before anything runs.
  const std::string programDirectory = platform::ProgramDirectory();
  const std::string pluginDirectory = platform::FullPath(
      options.pluginDir ? *options.pluginDir
                        : platform::JoinPath(platform::ParentDirectory(programDirectory), "plugins"));
  if (!platform::IsDirectory(pluginDirectory)) {
    throw InputError(pluginDirectory + ": no such plug-in directory (--plugins DIR names it)");
  }
  const std::string modulePath = platform::JoinPath(pluginDirectory, kModuleFile);
  if (!platform::IsFile(modulePath)) {
    throw InputError(pluginDirectory + ": the plug-in directory holds no " + kModuleFile);
  }
  const std::string hostDirectory = platform::HostDirectoryText(pluginDirectory);

  const std::string watchPath = options.watchFile ? *options.watchFile : BundledWatch(programDirectory);
  const GpxDocument watchGpx = ParseGpx(platform::ReadWholeFile(watchPath), watchPath);
  const WatchContent watch = WatchFromGpx(watchGpx, watchPath);
  TransferListContent list;
  if (options.listFile) {
    list = TransferListFromGpx(ParseGpx(platform::ReadWholeFile(*options.listFile), *options.listFile),
                               *options.listFile);
  }
  CheckOutputDirectory(options.outFile, "--out");
  CheckOutputDirectory(options.watchOut, "--watch-out");

  X9Host_Reset();
  X9Host_SetPluginDir(hostDirectory.c_str());
  SeedTransferList(list);
  LoadWatch(watch);
  PumpSettings pump{options.paceMilliseconds, options.holdAt};
  X9Host_SetPumpHook(OnPump, &pump);
  // One confirmation, and at most one same-name question per route set.
  if (options.yes) platform::AnswerEveryQuestionYes(static_cast<int>(list.sets.size()) + 8);

  Module module(modulePath);
  const auto init = module.Require<InitFn>("Init");
  const auto load = module.Require<PlainFn>("Load");
  const auto about = module.Require<PlainFn>("About");
  module.Require<PlainFn>("Close");
  module.Require<ReleaseFn>("Release");

  PluginInfo info{};
  info.size = sizeof info;
  if (init(&info, kPluginId) != 1) {
    throw InputError(modulePath + ": the module refused Init (host version " +
                     std::to_string(TPI_GetVersion()) + ")");
  }
  load();
  module.MarkLoaded();
  std::printf("x9host: %s %s from %s\n", TextField(info.name, sizeof info.name).c_str(),
              TextField(info.version, sizeof info.version).c_str(), modulePath.c_str());
  std::printf("x9host: watch %s: %zu tracks, %zu routes, %zu waypoints\n", watchPath.c_str(),
              watchGpx.tracks.size(), watchGpx.routes.size(), watchGpx.waypoints.size());
  std::fflush(stdout);

  if (options.command == "about") {
    const int result = about();
    std::printf("x9host: About returned %d\n", result);
    return 0;
  }

  const TransferCallbackFn callback = X9Host_Callback();
  if (callback == nullptr) throw InputError(modulePath + ": Load registered no protocol");
  const ListSnapshot before = TakeSnapshot();
  const long result = callback(0, options.flags, 0);
  const ListSnapshot after = TakeSnapshot();

  if (options.outFile) platform::WriteFileAtomically(*options.outFile, WriteGpx(GpxFromTransferList(), kCreator));
  if (options.watchOut) {
    platform::WriteFileAtomically(*options.watchOut, WriteGpx(GpxFromWatch(CurrentWatch()), kCreator));
  }

  std::printf("\nx9host: %s returned %ld\n", options.command.c_str(), result);
  std::printf("%s\n\n", DescribeChanges(CompareSnapshots(before, after)).c_str());
  std::fputs(TransferListTable().c_str(), stdout);
  if (options.outFile) std::printf("\nwritten: %s\n", options.outFile->c_str());
  if (options.watchOut) std::printf("%swritten: %s\n", options.outFile ? "" : "\n", options.watchOut->c_str());
  return result == 1 ? 0 : 1;
}

}  // namespace
}  // namespace x9host

int main(int argc, char** argv) {
  x9host::platform::PrepareConsole();
  int status;
  try {
    status = x9host::Run(x9host::platform::Arguments(argc, argv));
  } catch (const x9host::InputError& error) {
    std::fflush(stdout);
    std::fprintf(stderr, "x9host: %s\n", error.what());
    status = x9host::kExitBadInput;
  } catch (const std::bad_alloc&) {
    std::fflush(stdout);
    std::fprintf(stderr, "x9host: out of memory\n");
    status = x9host::kExitBadInput;
  } catch (const std::exception& error) {
    std::fflush(stdout);
    std::fprintf(stderr, "x9host: %s\n", error.what());
    status = x9host::kExitBadInput;
  }
  std::fflush(stdout);
  return status;
}
