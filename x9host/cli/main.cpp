// x9host: a console host for the module. It plays the map application with the host
// simulator, loads x9link.tvl from a plug-in directory as the host would, and sends it one
// request. The watch is the watch simulator, filled from GPX, or the real watch when the
// plug-in directory holds another watch library.
#include <cstdint>
#include <cstdio>
#include <exception>
#include <new>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "cli/options.h"
#include "cli/outcome.h"
#include "content/transfer_list.h"
#include "content/watch_content.h"
#include "gpx/gpx.h"
#include "host/records.h"
#include "host/tpi.h"
#include "os/input_error.h"
#include "os/os.h"
#include "platform/abi.h"
#include "platform/platform.h"
#include "session/glossary.h"
#include "session/module_ui.h"
#include "session/watch_library.h"
#include "sim/host/host_sim.h"
#include "sim/watch/watch_sim.h"
#include "text/cp932.h"

namespace x9host {
namespace {

constexpr char kModuleFile[] = "x9link.tvl";
constexpr char kCreator[] = "x9host";
constexpr uint32_t kPluginId = 1;
constexpr int kHoldSeconds = 5;

using InitFn = int(X9_STDCALL*)(PluginInfo*, uint32_t);
using PlainFn = int (*)(void);
using ReleaseFn = void (*)(void);

// The module as a host holds it: loaded, and closed, released and unloaded on every way out.
class Module {
 public:
  explicit Module(const std::string& path) : path_(path), library_(os::LoadLibraryFile(path)) {}
  ~Module() {
    if (loaded_) {
      if (auto close = Symbol<PlainFn>("Close")) close();
      if (auto release = Symbol<ReleaseFn>("Release")) release();
    }
  }
  Module(const Module&) = delete;
  Module& operator=(const Module&) = delete;

  template <typename Function>
  Function Symbol(const char* name) const {
    return library_.Find<Function>(name);
  }

  template <typename Function>
  Function Require(const char* name) const {
    const Function function = Symbol<Function>(name);
    if (function == nullptr)
      throw InputError(path_ + ": not an x9link module (no " + name + " export)");
    return function;
  }

  void MarkLoaded() { loaded_ = true; }

 private:
  std::string path_;
  x9::platform::Library library_;
  bool loaded_ = false;
};

struct PumpSettings {
  int paceMilliseconds = 0;
  std::optional<int> holdAt;
};

void OnPump(void* context) {
  const auto* settings = static_cast<const PumpSettings*>(context);
  if (settings->holdAt) os::HoldProgressWindowAt(*settings->holdAt, kHoldSeconds);
  if (settings->paceMilliseconds > 0)
    x9::platform::PauseMilliseconds(static_cast<unsigned>(settings->paceMilliseconds));
}

// The sample watch: beside the program in a release (simulator/watch.gpx), beside the sources
// in a build tree (build/<preset>/bin), else where the sources were when this program was built.
std::string BundledWatch(const std::string& programDirectory) {
  const std::string released =
      os::JoinPath(os::JoinPath(programDirectory, "simulator"), "watch.gpx");
  if (os::IsFile(released)) return released;
  const std::string inTree =
      os::FullPath(os::JoinPath(programDirectory, std::string("..") + "/../../examples/watch.gpx"));
  if (os::IsFile(inTree)) return inTree;
#if defined(X9HOST_BUNDLED_WATCH)
  if (os::IsFile(X9HOST_BUNDLED_WATCH)) return X9HOST_BUNDLED_WATCH;
#endif
  throw InputError(
      "the sample watch (simulator/watch.gpx beside the program) is not there: give --watch "
      "FILE.gpx");
}

// plugins beside the program (a release), else ../plugins (a build tree: build/<preset>/bin).
std::string DefaultPluginDirectory(const std::string& programDirectory) {
  const std::string beside = os::JoinPath(programDirectory, "plugins");
  if (os::IsFile(os::JoinPath(beside, kModuleFile))) return beside;
  return os::JoinPath(os::ParentDirectory(programDirectory), "plugins");
}

std::string TextField(const char* field, size_t size) {
  size_t length = 0;
  while (length < size && field[length] != '\0') {
    ++length;
  }
  return std::string(field, length);
}

// The outputs, checked against each other and against the files read: one file may not be
// written twice, nor an input overwritten by what is not its own update (--list and --out may
// be one file: the list updated in place).
void CheckCollisions(const Options& options, const std::vector<os::OutputTarget>& targets,
                     const std::optional<std::string>& watchPath) {
  for (size_t i = 0; i < targets.size(); ++i) {
    for (size_t k = i + 1; k < targets.size(); ++k) {
      if (targets[i].identity == targets[k].identity) {
        throw InputError(targets[i].option + " " + targets[i].name + " and " + targets[k].option +
                         " " + targets[k].name + " name the same file");
      }
    }
  }
  // allowed: the output that may name the input, as its update ("" for none).
  const auto refuse = [&](const char* inputOption, const std::optional<std::string>& input,
                          const char* allowed) {
    if (!input) return;
    const std::string identity = os::FileIdentity(*input);
    for (const os::OutputTarget& target : targets) {
      if (target.identity == identity && target.option != allowed) {
        throw InputError(target.option + " " + target.name + " names the same file as " +
                         inputOption + " " + *input + ": it would be overwritten");
      }
    }
  };
  refuse("--watch", watchPath, "");
  refuse("--list", options.listFile, "--out");
}

// --list X --out X updates the list in place: refused when the file holds what the list cannot
// keep, as writing it back would lose that without a word.
void RefuseLossyUpdate(const Options& options, const std::vector<os::OutputTarget>& targets,
                       const GpxDropped& listDropped) {
  if (!options.listFile || listDropped.Empty()) return;
  const std::string identity = os::FileIdentity(*options.listFile);
  for (const os::OutputTarget& target : targets) {
    if (target.option != "--out" || target.identity != identity) continue;
    throw InputError("--out " + target.name + " would update --list " + *options.listFile +
                     " in place and lose what the transfer list cannot hold (" +
                     listDropped.List() + "): write to another file");
  }
}

std::string Shown(const os::OutputTarget& target) {
  if (target.kind != os::OutputTarget::Kind::kStandardOutput) return target.name;
  return target.stream == 2 ? "standard error" : "standard output";
}

// Route sets of the list the upload puts on the watch, and those it skips (named like the
// waypoint collection once cut to the watch's 19 bytes).
void CountRouteSets(const TransferListContent& list, RequestFacts& facts) {
  for (const auto& set : list.sets) {
    if (set.header.kind != x9::kListRoutes) continue;
    char name[x9::kDeviceNameField];
    x9::CopyNameToDevice(name, set.name.c_str());
    if (x9::IsMyPointsName(name)) {
      ++facts.myPointsSets;
    } else {
      ++facts.routeSetsToPut;
    }
  }
}

int Run(const std::vector<std::string>& args) {
  const Options options = ParseOptions(args);
  if (options.help) {
    std::fputs(UsageText().c_str(), stdout);
    return 0;
  }
  if (options.version) {
    std::printf("%s\n", VersionText().c_str());
    return 0;
  }
  if (options.holdAt && !os::HoldSupported()) {
    throw InputError("--hold-at works in the Windows build only");
  }
  if (options.command == "about" && (options.outFile || options.watchOut)) {
    throw InputError("about moves nothing: --out and --watch-out go with a transfer");
  }

  // Everything is read and checked before anything runs.
  const std::string programDirectory = os::ProgramDirectory();
  const std::string pluginDirectory = os::FullPath(
      options.pluginDir ? *options.pluginDir : DefaultPluginDirectory(programDirectory));
  if (!os::IsDirectory(pluginDirectory)) {
    throw InputError(pluginDirectory + ": no such plug-in directory (--plugins DIR names it)");
  }
  const std::string modulePath = os::JoinPath(pluginDirectory, kModuleFile);
  if (!os::IsFile(modulePath)) {
    throw InputError(pluginDirectory + ": the plug-in directory holds no " + kModuleFile);
  }
  const std::string hostDirectory = os::HostDirectoryText(pluginDirectory);

  const WatchLibraryFound library = FindWatchLibrary(pluginDirectory);
  const bool realWatch = library.kind == WatchLibrary::kRealWatch;
  if (realWatch) {
    for (const auto& [option, file] :
         {std::pair{"--watch", options.watchFile}, std::pair{"--watch-out", options.watchOut}}) {
      if (file) {
        throw InputError(std::string(option) + ": " + library.path +
                         " is a watch library, not the simulator: x9host talks to the real watch, "
                         "which has no GPX file");
      }
    }
  }

  std::vector<std::string> warnings;
  std::optional<std::string> watchPath;
  WatchContent watch;
  GpxSummary watchSummary;
  if (!realWatch) {
    watchPath = options.watchFile ? *options.watchFile : BundledWatch(programDirectory);
    WatchFromGpx read = ReadWatch(*watchPath, warnings);
    watch = std::move(read.content);
    watchSummary = std::move(read.summary);
    for (std::string& line : watchSummary.dropped.Warnings(*watchPath, "the watch"))
      warnings.push_back(std::move(line));
  }
  TransferListContent list;
  GpxDropped listDropped;
  if (options.listFile) {
    ListFromGpx read = ReadTransferList(*options.listFile, warnings);
    list = std::move(read.content);
    listDropped = std::move(read.summary.dropped);
    for (std::string& line : listDropped.Warnings(*options.listFile, "the transfer list"))
      warnings.push_back(std::move(line));
  }
  std::vector<os::OutputTarget> targets;
  if (options.outFile) targets.push_back(os::PlanOutput("--out", *options.outFile));
  if (options.watchOut) targets.push_back(os::PlanOutput("--watch-out", *options.watchOut));
  CheckCollisions(options, targets, watchPath);
  RefuseLossyUpdate(options, targets, listDropped);

  for (const std::string& warning : warnings)
    std::fprintf(stderr, "x9host: warning: %s\n", warning.c_str());
  // GPX on standard output keeps the report off it.
  bool gpxOnStandardOutput = false;
  for (const auto& target : targets) {
    gpxOnStandardOutput =
        gpxOnStandardOutput ||
        (target.kind == os::OutputTarget::Kind::kStandardOutput && target.stream == 1);
  }
  FILE* const report = gpxOnStandardOutput ? stderr : stdout;

  X9Host_Reset();
  X9Host_SetPluginDir(hostDirectory.c_str());
  SeedTransferList(list);
  if (!realWatch) LoadWatch(watch);
  // What the module adds is kept compactly, for downloads of millions of points.
  const AddedItems added;
  PumpSettings pump{options.paceMilliseconds, options.holdAt};
  X9Host_SetPumpHook(OnPump, &pump);
  const bool gloss = !os::UserReadsJapanese();

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
  std::fprintf(report, "x9host: %s %s from %s\n", TextField(info.name, sizeof info.name).c_str(),
               TextField(info.version, sizeof info.version).c_str(), modulePath.c_str());
  if (realWatch) {
    std::fprintf(
        report,
        "x9host: using the watch library %s: it is not the simulator, so this is the real watch\n",
        library.path.c_str());
  } else {
    std::fprintf(report, "x9host: watch %s: %lld tracks, %lld routes, %lld waypoints\n",
                 watchPath->c_str(), static_cast<long long>(watchSummary.tracks),
                 static_cast<long long>(watchSummary.routes),
                 static_cast<long long>(watchSummary.waypoints));
  }
  std::fflush(report);

  if (options.command == "about") {
    int result;
    {
      const ModuleUi ui(options.yes, gloss);
      result = about();
    }
    std::fprintf(report, "x9host: About returned %d\n", result);
    return result == 1 ? kExitMoved : kExitFailed;
  }

  const TransferCallbackFn callback = X9Host_Callback();
  if (callback == nullptr) throw InputError(modulePath + ": Load registered no protocol");
  RequestFacts facts;
  facts.flags = options.flags;
  facts.library = library.kind;
  facts.libraryPath = library.path;
  facts.libraryProblem = library.problem;
  CountRouteSets(list, facts);
  const ListSnapshot before = TakeSnapshot();
  const uint64_t watchBefore = realWatch ? 0 : WatchDigest();
  {
    const ModuleUi ui(options.yes, gloss);
    facts.result = callback(0, options.flags, 0);
    facts.boxes = ui.Boxes();
  }
  facts.listChanges = ChangesSince(before);
  facts.watchChanged = !realWatch && WatchDigest() != watchBefore;
  facts.transferRan = X9Host_CallCount("TPI_ShowAllDataGarminUplist") > 0;
  const Verdict verdict = Judge(facts);

  std::fprintf(report, "\nx9host: %s returned %ld\n", options.command.c_str(), facts.result);
  std::fprintf(report, "%s\n\n", DescribeChanges(facts.listChanges).c_str());
  std::fputs(TransferListTable().c_str(), report);
  if (!targets.empty()) std::fputs("\n", report);
  if (verdict.status == kExitMoved) {
    std::vector<std::pair<os::OutputTarget, os::OutputProducer>> outputs;
    for (const os::OutputTarget& target : targets) {
      const bool list = target.option == "--out";
      outputs.emplace_back(target, [list](os::OutputSink& sink) {
        GpxWriter gpx([&sink](std::string_view piece) { sink.Write(piece); }, kCreator);
        if (list) {
          WriteTransferListGpx(gpx);
        } else {
          WriteWatchGpx(gpx);
        }
        gpx.Finish();
      });
    }
    std::fflush(report);
    std::vector<std::string> untidy;
    try {
      untidy = os::WriteOutputs(outputs);
    } catch (const os::OutputsNotWritten& failure) {
      // The request moved something, but the outputs say otherwise: the line says what each
      // holds, and the status whether every one is as it was (2) or not all could be put back,
      // or a signal came first (1). When not every one is as it was, only the line speaks: a
      // "not written" above it would contradict it.
      if (failure.state() != os::OutputsNotWritten::State::kLeftChanged) {
        for (const auto& target : targets)
          std::fprintf(report, "not written: %s\n", Shown(target).c_str());
      }
      std::fflush(report);
      std::fprintf(stderr, "x9host: %s\n", failure.what());
      return failure.state() == os::OutputsNotWritten::State::kAsTheyWere ? kExitBadInput
                                                                          : kExitFailed;
    }
    for (const auto& target : targets)
      std::fprintf(report, "written: %s\n", Shown(target).c_str());
    for (const std::string& warning : untidy)
      std::fprintf(stderr, "x9host: warning: %s\n", warning.c_str());
  } else {
    for (const auto& target : targets)
      std::fprintf(report, "not written: %s\n", Shown(target).c_str());
  }
  std::fprintf(report, "x9host: %s\n", verdict.line.c_str());
  std::fflush(report);
  return verdict.status;
}

}  // namespace
}  // namespace x9host

int main(int argc, char** argv) {
  x9host::os::PrepareConsole();
  int status;
  try {
    status = x9host::Run(x9host::os::Arguments(argc, argv));
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
