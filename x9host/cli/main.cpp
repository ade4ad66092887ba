// x9host: a console host for the module. It plays the map application with the host
// simulator, loads x9link.tvl from a plug-in directory as the host would, and sends it one
// request. The watch is the watch simulator, filled from GPX, or the real watch when the
// plug-in directory holds another watch library.
//
// A run is options, then a plan (everything read and checked before anything runs), then a
// session with the module, then a report of what it came to.
#include <cstdio>
#include <exception>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "cli/options.h"
#include "cli/outcome.h"
#include "cli/plan.h"
#include "cli/report.h"
#include "os/input_error.h"
#include "os/messages.h"
#include "os/os.h"
#include "os/say.h"
#include "session/session.h"

namespace x9host {
namespace {

int Run(const std::vector<std::string>& args) {
  const Options options = ParseOptions(args);
  if (options.help) {
    os::Print(stdout, UsageText());
    return 0;
  }
  if (options.version) {
    os::Print(stdout, VersionText() + "\n");
    return 0;
  }

  if (const std::optional<std::string> why = os::NoWindows()) throw InputError(*why);
  Plan plan = MakePlan(options);
  const Report report(plan);
  report.Warnings(plan.inputs.warnings);
  Session session(plan.session, plan.inputs.list, plan.SimulatedWatch());
  report.ModuleAndWatch(plan, session);
  if (plan.command == Command::kAbout) return report.AboutReturned(session.About());

  const RequestFacts facts = session.Transfer(RequestFlags(plan.command));
  const Verdict verdict = Judge(facts);
  report.Transfer(plan.command, facts, session.List());
  if (verdict.status != kExitMoved) return report.NotWritten(verdict);
  report.Flush();  // the outputs may be written through the report's own stream
  std::vector<std::string> untidy;
  try {
    untidy = WritePlannedOutputs(plan.outputs, session.List());
  } catch (const os::OutputsNotWritten& failure) {
    return report.NotPutInPlace(failure);
  }
  return report.Written(verdict, untidy);
}

int Failed(const std::string& what, int status) {
  std::fflush(stdout);
  SayOnStderr(what);
  return status;
}

}  // namespace
}  // namespace x9host

int main(int argc, char** argv) {
  x9host::os::PrepareConsole();
  const std::string unknownLanguage = x9host::os::ChooseLanguage();
  if (!unknownLanguage.empty())
    x9host::SayOnStderr(x9host::msg::Warning(x9host::msg::LanguageUnknown(unknownLanguage)));
  int status;
  try {
    status = x9host::Run(x9host::os::Arguments(argc, argv));
  } catch (const x9host::InputError& error) {
    status = x9host::Failed(error.what(), x9host::kExitBadInput);
  } catch (const std::bad_alloc&) {
    status = x9host::Failed(x9host::msg::OutOfMemory(), x9host::kExitOutOfMemory);
  } catch (const std::exception& error) {
    status = x9host::Failed(error.what(), x9host::kExitCannotGoOn);
  }
  std::fflush(stdout);
  return status;
}
