#include "cli/report.h"

#include "content/transfer_list.h"
#include "os/message_text.h"
#include "os/messages.h"

namespace x9host {

std::string StreamOrFileName(const os::OutputTarget& target) {
  if (target.kind != os::OutputTarget::Kind::kStandardOutput) return target.name;
  return target.stream == 2 ? msg::StandardError() : msg::StandardOutput();
}

Report::Report(const Plan& plan) : out_(stdout) {
  for (const PlannedOutput& output : plan.outputs) {
    outputNames_.push_back(StreamOrFileName(output.target));
    if (output.target.kind == os::OutputTarget::Kind::kReplace && output.target.otherNames > 0) {
      // Replacing gives this name a new file; the old one lives on under its other names.
      otherNames_.push_back(msg::OtherNamesKeepOld(output.target.option, output.target.name,
                                                   output.target.otherNames));
    }
    if (output.target.kind == os::OutputTarget::Kind::kStandardOutput && output.target.stream == 1)
      out_ = stderr;
  }
}

void SayOnStderr(const std::string& text) {
  os::EndPendingLine();
  os::Print(stderr, std::string(kProgramName) + ": " + os::OneLine(text) + "\n");
}

void Report::Line(const std::string& text) const {
  os::EndPendingLine();
  os::Print(out_, std::string(kProgramName) + ": " + os::OneLine(text) + "\n");
}

void Report::Outputs(std::string (*written)(const os::Arg& name)) const {
  for (const std::string& name : outputNames_)
    os::Print(out_, written(os::OneLine(name)) + "\n");
}

void Report::Flush() const { std::fflush(out_); }

void Report::Warnings(const std::vector<std::string>& warnings) const {
  for (const std::string& warning : warnings)
    SayOnStderr(msg::Warning(warning));
}

void Report::ModuleAndWatch(const Plan& plan, const Session& session) const {
  Line(msg::ModuleFrom(session.ModuleName(), session.ModuleVersion(), plan.session.modulePath));
  if (plan.RealWatch()) {
    Line(msg::RealWatch(plan.session.library.path));
  } else {
    const GpxSummary& watch = plan.inputs.watchSummary;
    Line(msg::WatchSummary(*plan.inputs.watchPath, watch.tracks, watch.routes, watch.waypoints));
  }
  Flush();
}

int Report::AboutReturned(int result) const {
  Line(msg::AboutReturned(result));
  return result == 1 ? kExitMoved : kExitFailed;
}

void Report::Transfer(Command command, const RequestFacts& facts, const AddedItems& list) const {
  os::Print(out_, "\n");
  Line(msg::RequestReturned(CommandName(command), facts.result));
  os::Print(out_, DescribeChanges(facts.listChanges) + "\n\n");
  // A row a line, whatever the names in it hold.
  const std::string table = TransferListTable(list);
  for (size_t start = 0; start < table.size();) {
    size_t end = table.find('\n', start);
    if (end == std::string::npos) end = table.size();
    os::Print(out_, os::OneLine(std::string_view(table).substr(start, end - start)) + "\n");
    start = end + 1;
  }
  if (!outputNames_.empty()) os::Print(out_, "\n");
}

int Report::NotWritten(const Verdict& verdict) const {
  Outputs(msg::OutputNotWritten);
  Line(verdict.line);
  Flush();
  return verdict.status;
}

int Report::Written(const Verdict& verdict, const std::vector<std::string>& untidy) const {
  Outputs(msg::OutputWritten);
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
  if (failure.state() != os::OutputsNotWritten::State::kLeftChanged) Outputs(msg::OutputNotWritten);
  Flush();
  SayOnStderr(failure.what());
  return failure.state() == os::OutputsNotWritten::State::kAsTheyWere ? kExitOutputsAsTheyWere
                                                                      : kExitFailed;
}

}  // namespace x9host
