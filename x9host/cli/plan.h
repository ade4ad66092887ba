// What a run will do, settled from the options before anything runs: what is read (a watch file
// or the real watch, a list file), what is asked of the module, what is written, and every
// check that can be made first.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "cli/options.h"
#include "content/transfer_list.h"
#include "content/watch_content.h"
#include "gpx/gpx.h"
#include "os/os.h"
#include "session/session.h"

namespace x9host {

// What an output holds.
enum class OutputRole {
  kTransferList,  // the transfer list after the request
  kWatch,         // the simulated watch after the request
};
// The option that names it ("--out"), for messages.
const char* OptionOf(OutputRole role);

struct PlannedOutput {
  OutputRole role = OutputRole::kTransferList;
  os::OutputTarget target;
};

// The files read before the request, and what they held.
struct Inputs {
  // The watch simulator's file (the sample watch without --watch); none with the real watch.
  std::optional<std::string> watchPath;
  WatchContent watch;
  GpxSummary watchSummary;
  std::optional<std::string> listPath;
  TransferListContent list;
  GpxDropped listDropped;
  std::vector<std::string> warnings;  // of both files, as they were read
};

struct Plan {
  Command command = Command::kAbout;
  SessionSetup session;
  Inputs inputs;
  std::vector<PlannedOutput> outputs;  // the transfer list's first

  bool RealWatch() const { return session.library.kind == WatchLibrary::kRealWatch; }
  // What the session seeds the watch simulator with; none for the real watch.
  WatchContent* SimulatedWatch() { return RealWatch() ? nullptr : &inputs.watch; }
};

// Checks and reads everything before anything runs, in this order: --hold-at where it cannot
// work, the plug-in directory and the module in it, the watch library (the real watch refuses
// --watch and --watch-out), the watch file, the list file, then the outputs (PlanOutputs).
// Throws InputError.
Plan MakePlan(const Options& options);

// The outputs the options name, each checked by the system, then against each other and
// against the inputs: no file is written twice, and no input is overwritten except the list by
// its own update (--list F --out F), which is refused when F holds what the transfer list
// cannot keep. Throws InputError.
std::vector<PlannedOutput> PlanOutputs(const Options& options, const Inputs& inputs);

// Puts every output in place as one transaction, each made from what the session left in the
// host's transfer list or on the simulated watch. Returns warnings about what could not be
// tidied; throws os::OutputsNotWritten.
std::vector<std::string> WritePlannedOutputs(const std::vector<PlannedOutput>& outputs,
                                             const AddedItems& list);

}  // namespace x9host
