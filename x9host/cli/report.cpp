#include "cli/report.h"

#include "codec/plural.h"
#include "content/transfer_list.h"
#include "os/message_text.h"

namespace x9host {

std::string StreamOrFileName(const os::OutputTarget& target) {
  if (target.kind != os::OutputTarget::Kind::kStandardOutput) return target.name;
  return target.stream == 2 ? "standard error" : "standard output";
}

Report::Report(const Plan& plan) : out_(stdout) {
  for (const PlannedOutput& output : plan.outputs) {
    outputNames_.push_back(StreamOrFileName(output.target));
    if (output.target.kind == os::OutputTarget::Kind::kReplace && output.target.otherNames > 0) {
      // Replacing gives this name a new file; the old one lives on under its other names.
      otherNames_.push_back(
          output.target.option + " " + output.target.name + " was replaced by a new file: its " +
          Plural(static_cast<long long>(output.target.otherNames), "other name (a hard link) keeps",
                 "other names (hard links) keep") +
          " the old content");
    }
    if (output.target.kind == os::OutputTarget::Kind::kStandardOutput && output.target.stream == 1)
      out_ = stderr;
  }
}

void SayOnStderr(const std::string& text) {
  os::EndPendingLine();
  std::fprintf(stderr, "%s: %s\n", kProgramName, os::OneLine(text).c_str());
}

void Report::Line(const std::string& text) const {
  os::EndPendingLine();
  std::fprintf(out_, "%s: %s\n", kProgramName, os::OneLine(text).c_str());
}

void Report::Outputs(const char* state) const {
  for (const std::string& name : outputNames_)
    std::fprintf(out_, "%s: %s\n", state, os::OneLine(name).c_str());
}

void Report::Flush() const { std::fflush(out_); }

void Report::Warnings(const std::vector<std::string>& warnings) const {
  for (const std::string& warning : warnings)
    SayOnStderr("warning: " + warning);
}

void Report::ModuleAndWatch(const Plan& plan, const Session& session) const {
  Line(session.ModuleName() + " " + session.ModuleVersion() + " from " + plan.session.modulePath);
  if (plan.RealWatch()) {
    Line("using the watch library " + plan.session.library.path +
         ": it is not the simulator, so this is the real watch");
  } else {
    const GpxSummary& watch = plan.inputs.watchSummary;
    Line("watch " + *plan.inputs.watchPath + ": " + Plural(watch.tracks, "track", "tracks") + ", " +
         Plural(watch.routes, "route", "routes") + ", " +
         Plural(watch.waypoints, "waypoint", "waypoints"));
  }
  Flush();
}

int Report::AboutReturned(int result) const {
  Line("About returned " + std::to_string(result));
  return result == 1 ? kExitMoved : kExitFailed;
}

void Report::Transfer(Command command, const RequestFacts& facts, const AddedItems& list) const {
  std::fputs("\n", out_);
  Line(std::string(CommandName(command)) + " returned " + std::to_string(facts.result));
  std::fprintf(out_, "%s\n\n", DescribeChanges(facts.listChanges).c_str());
  // A row a line, whatever the names in it hold.
  const std::string table = TransferListTable(list);
  for (size_t start = 0; start < table.size();) {
    size_t end = table.find('\n', start);
    if (end == std::string::npos) end = table.size();
    std::fprintf(out_, "%s\n",
                 os::OneLine(std::string_view(table).substr(start, end - start)).c_str());
    start = end + 1;
  }
  if (!outputNames_.empty()) std::fputs("\n", out_);
}

int Report::NotWritten(const Verdict& verdict) const {
  Outputs("not written");
  Line(verdict.line);
  Flush();
  return verdict.status;
}

int Report::Written(const Verdict& verdict, const std::vector<std::string>& untidy) const {
  Outputs("written");
  Warnings(otherNames_);
  Warnings(untidy);
  Line(verdict.line);
  Flush();
  return verdict.status;
}

int Report::NotPutInPlace(const os::OutputsNotWritten& failure) const {
  // The line says what each output holds, and the status whether every one is as it was (2) or
  // not all could be put back, or a signal came first (1). When not every one is as it was,
  // only the line speaks: a "not written" above it would contradict it.
  if (failure.state() != os::OutputsNotWritten::State::kLeftChanged) Outputs("not written");
  Flush();
  SayOnStderr(failure.what());
  return failure.state() == os::OutputsNotWritten::State::kAsTheyWere ? kExitOutputsAsTheyWere
                                                                      : kExitFailed;
}

}  // namespace x9host
