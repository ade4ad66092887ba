// What x9host tells a person about a run, in the order it happens: the warnings of what was
// read, the module and the watch, what the request returned and changed, the transfer list,
// which outputs were written, and the last line with the exit status.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "cli/options.h"
#include "cli/outcome.h"
#include "cli/plan.h"
#include "os/os.h"
#include "os/say.h"
#include "session/session.h"

namespace x9host {

class Report {
 public:
  // GPX on standard output keeps the report off it: it then goes to standard error.
  explicit Report(const Plan& plan);

  // Always on standard error, each a line of its own.
  void Warnings(const std::vector<std::string>& warnings) const;
  // The module as Init named it, and the watch: the simulator's file with its counts, or the
  // real watch's library.
  void ModuleAndWatch(const Plan& plan, const Session& session) const;
  // What About returned; returns the status.
  int AboutReturned(int result) const;
  // What the transfer returned, what it changed in the transfer list, and the list.
  void Transfer(Command command, const RequestFacts& facts, const AddedItems& list) const;
  void Flush() const;

  // Each returns the status. The request moved nothing, or failed: no output was written.
  int NotWritten(const Verdict& verdict) const;
  // Every output is in place; untidy says what could not be cleaned up after.
  int Written(const Verdict& verdict, const std::vector<std::string>& untidy) const;
  // The request moved something but the outputs could not all be put in place.
  int NotPutInPlace(const os::OutputsNotWritten& failure) const;

 private:
  void Line(const std::string& text) const;  // "x9host: text"
  // "written: NAME" (or what written says) for each output.
  void Outputs(std::string (*written)(const os::Arg& name)) const;

  FILE* out_;
  std::vector<std::string> outputNames_;
  std::vector<std::string> otherNames_;  // a warning for each replaced file with hard links
};

// "x9host: text" on standard error, as one line, on a line of its own.
void SayOnStderr(const std::string& text);

// How a line names an output: its file as given, or the stream it is written through.
std::string StreamOrFileName(const os::OutputTarget& target);

}  // namespace x9host
