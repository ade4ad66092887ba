#include "cli/plan.h"

#include <algorithm>

#include <cstddef>
#include <iterator>
#include <string_view>
#include <utility>
#include <vector>

#include "os/input_error.h"
#include "os/messages.h"
#include "session/watch_library.h"

namespace x9host {
namespace {

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
  throw InputError(msg::NoSampleWatch(kWatchOption));
}

// plugins beside the program (a release), else ../plugins (a build tree: build/<preset>/bin).
std::string DefaultPluginDirectory(const std::string& programDirectory) {
  const std::string beside = os::JoinPath(programDirectory, "plugins");
  if (os::IsFile(os::JoinPath(beside, kModuleFile))) return beside;
  return os::JoinPath(os::ParentDirectory(programDirectory), "plugins");
}

// The real watch has no GPX file to be read from or written to.
void RefuseWatchFiles(const Options& options, const WatchLibraryFound& library) {
  for (const auto& [option, file] :
       {std::pair{kWatchOption, options.watchFile}, std::pair{kWatchOutOption, options.watchOut}}) {
    if (file) throw InputError(msg::WatchFileWithRealWatch(option, library.path));
  }
}

// The line a warning about source names, as every such warning begins (the message table's
// "{source}: line {line}: " in the user's language); nullopt for one that names none.
std::optional<long long> NamedLine(const std::string& warning, const std::string& source) {
  static constexpr long long kProbe = 987654321;
  const std::string probe = msg::XmlNotWellFormed(source, kProbe, "");
  const size_t at = probe.find(std::to_string(kProbe));
  const std::string before = probe.substr(0, at);
  const std::string after = probe.substr(at + std::to_string(kProbe).size(), 2);
  if (warning.compare(0, before.size(), before) != 0) return std::nullopt;
  size_t end = before.size();
  long long line = 0;
  while (end < warning.size() && warning[end] >= '0' && warning[end] <= '9' && line < kProbe)
    line = line * 10 + (warning[end++] - '0');
  if (end == before.size() || warning.compare(end, after.size(), after) != 0) return std::nullopt;
  return line;
}

// A file's lines, each kind of loss once, join the lines a reader wrote of single names from
// first on, all in the order of the lines they name: at one line the kind before its instances;
// a line that names none stays after the one before it.
void InLineOrder(std::vector<std::string>& warnings, size_t first, std::vector<std::string> kinds,
                 const std::string& source) {
  warnings.insert(warnings.begin() + static_cast<std::ptrdiff_t>(first),
                  std::make_move_iterator(kinds.begin()), std::make_move_iterator(kinds.end()));
  std::vector<std::pair<long long, std::string>> lines;
  long long last = 0;
  for (size_t i = first; i < warnings.size(); ++i) {
    last = NamedLine(warnings[i], source).value_or(last);
    lines.emplace_back(last, std::move(warnings[i]));
  }
  std::stable_sort(lines.begin(), lines.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  for (size_t i = 0; i < lines.size(); ++i)
    warnings[first + i] = std::move(lines[i].second);
}

Inputs ReadInputs(const Options& options, bool realWatch, const std::string& programDirectory) {
  Inputs inputs;
  // Before the first time is read: the C library would read them in another zone in silence.
  if (std::optional<std::string> zone = os::SettleTimeZone())
    inputs.warnings.push_back(std::move(*zone));
  if (!realWatch) {
    inputs.watchPath = options.watchFile ? *options.watchFile : BundledWatch(programDirectory);
    const size_t first = inputs.warnings.size();
    WatchFromGpx read = ReadWatch(*inputs.watchPath, inputs.warnings);
    inputs.watch = std::move(read.content);
    inputs.watchSummary = std::move(read.summary);
    InLineOrder(inputs.warnings, first,
                inputs.watchSummary.dropped.Warnings(*inputs.watchPath, msg::kHolderWatch),
                *inputs.watchPath);
  }
  if (options.listFile) {
    inputs.listPath = options.listFile;
    const ListUse use =
        options.command == Command::kUploadRoutes ? ListUse::kUpload : ListUse::kDownload;
    const size_t first = inputs.warnings.size();
    ListFromGpx read = ReadTransferList(*inputs.listPath, inputs.warnings, use);
    inputs.list = std::move(read.content);
    inputs.listDropped = std::move(read.summary.dropped);
    std::vector<std::string> kinds =
        inputs.listDropped.Warnings(*inputs.listPath, msg::kHolderTransferList);
    // What the upload puts on the watch short of the file; the list keeps it, so the update in
    // place loses nothing of it.
    for (std::string& line : read.watchLost.Warnings(*inputs.listPath, msg::kHolderWatch))
      kinds.push_back(std::move(line));
    InLineOrder(inputs.warnings, first, std::move(kinds), *inputs.listPath);
  }
  return inputs;
}

std::string Named(const PlannedOutput& output) {
  return std::string(OptionOf(output.role)) + " " + output.target.name;
}

}  // namespace

const char* OptionOf(OutputRole role) {
  switch (role) {
    case OutputRole::kTransferList: return kOutOption;
    case OutputRole::kWatch: return kWatchOutOption;
  }
  return kOutOption;  // not reached: every role is above
}

Plan MakePlan(const Options& options) {
  if (options.holdAt && !os::HoldSupported()) throw InputError(msg::HoldAtWindowsOnly());
  Plan plan;
  plan.command = options.command.value();
  const std::string programDirectory = os::ProgramDirectory();
  const std::string pluginDirectory = os::FullPath(
      options.pluginDir ? *options.pluginDir : DefaultPluginDirectory(programDirectory));
  if (!os::IsDirectory(pluginDirectory)) {
    const std::string why = os::LookUpFailure(pluginDirectory, os::LookUpAs::kDirectory);
    if (!why.empty()) throw InputError(pluginDirectory + ": " + why);
    throw InputError(msg::NoPluginDirectory(pluginDirectory));
  }
  plan.session.modulePath = os::JoinPath(pluginDirectory, kModuleFile);
  if (!os::IsFile(plan.session.modulePath)) {
    const std::string why = os::LookUpFailure(plan.session.modulePath, os::LookUpAs::kFile);
    if (!why.empty()) throw InputError(plan.session.modulePath + ": " + why);
    throw InputError(msg::NoModuleFile(pluginDirectory, kModuleFile));
  }
  plan.session.hostDirectory = os::HostDirectoryText(pluginDirectory);
  plan.session.library = FindWatchLibrary(pluginDirectory);
  if (plan.RealWatch()) RefuseWatchFiles(options, plan.session.library);
  plan.session.answerYes = options.yes;
  plan.session.paceMilliseconds = options.paceMilliseconds;
  plan.session.holdAt = options.holdAt;

  plan.inputs = ReadInputs(options, plan.RealWatch(), programDirectory);
  plan.outputs = PlanOutputs(options, plan.inputs);
  return plan;
}

std::vector<PlannedOutput> PlanOutputs(const Options& options, const Inputs& inputs) {
  std::vector<PlannedOutput> outputs;
  for (const auto& [role, name] : {std::pair{OutputRole::kTransferList, options.outFile},
                                   std::pair{OutputRole::kWatch, options.watchOut}}) {
    if (name) outputs.push_back({role, os::PlanOutput(OptionOf(role), *name)});
  }

  for (size_t i = 0; i < outputs.size(); ++i) {
    for (size_t k = i + 1; k < outputs.size(); ++k) {
      if (outputs[i].target.identity == outputs[k].target.identity)
        throw InputError(msg::OutputsSameFile(Named(outputs[i]), Named(outputs[k])));
    }
  }
  // An input may be named by no output but its own update: the list by the transfer list's.
  const auto refuse = [&](const char* option, const std::optional<std::string>& input,
                          std::optional<OutputRole> update) {
    if (!input) return;
    const std::string identity = os::FileIdentity(*input);
    for (const PlannedOutput& output : outputs) {
      if (output.target.identity == identity && output.role != update)
        throw InputError(msg::OutputIsInput(Named(output), option, *input));
    }
  };
  refuse(kWatchOption, inputs.watchPath, std::nullopt);
  refuse(kListOption, inputs.listPath, OutputRole::kTransferList);

  // The update in place would lose, without a word, what the list file holds beyond what the
  // transfer list keeps.
  if (inputs.listPath && !inputs.listDropped.Empty()) {
    const std::string identity = os::FileIdentity(*inputs.listPath);
    for (const PlannedOutput& output : outputs) {
      if (output.role != OutputRole::kTransferList || output.target.identity != identity) continue;
      const int line = inputs.listDropped.FirstLine();
      const std::string dropped = inputs.listDropped.List();
      throw InputError(line > 0 ? msg::UpdateInPlaceLosesAtLine(Named(output), kListOption,
                                                                *inputs.listPath, dropped, line)
                                : msg::UpdateInPlaceLoses(Named(output), kListOption,
                                                          *inputs.listPath, dropped));
    }
  }
  return outputs;
}

std::vector<std::string> WritePlannedOutputs(const std::vector<PlannedOutput>& planned,
                                             const AddedItems& list) {
  std::vector<std::pair<os::OutputTarget, os::OutputProducer>> outputs;
  for (const PlannedOutput& output : planned) {
    outputs.emplace_back(output.target, [role = output.role, &list](os::OutputSink& sink) {
      GpxWriter gpx([&sink](std::string_view piece) { sink.Write(piece); }, kProgramName);
      switch (role) {
        case OutputRole::kTransferList: WriteTransferListGpx(gpx, list); break;
        case OutputRole::kWatch: WriteWatchGpx(gpx); break;
      }
      gpx.Finish();
    });
  }
  return os::WriteOutputs(outputs);
}

}  // namespace x9host
