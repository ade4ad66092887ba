// The output transaction's order, its fault seam, its way back and its last line, the same on
// every system (transaction.h).
#include "os/transaction.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>

#include "os/messages.h"
#include "os/transaction_steps.h"

namespace x9host::os {
namespace {

struct Fault {
  std::string step;
  int time = 1;
  int signal = 0;
};

// Faults separated by commas, each STEP, an optional ":N" (which time) and an optional
// "=SIGNAL".
std::vector<Fault> ParseFaults(std::string rest) {
  std::vector<Fault> list;
  while (!rest.empty()) {
    const size_t comma = rest.find(',');
    std::string item = rest.substr(0, comma);
    rest = comma == std::string::npos ? "" : rest.substr(comma + 1);
    Fault f;
    if (const size_t equals = item.find('='); equals != std::string::npos) {
      f.signal = std::atoi(item.c_str() + equals + 1);
      item.resize(equals);
    }
    if (const size_t colon = item.find(':'); colon != std::string::npos) {
      f.time = std::atoi(item.c_str() + colon + 1);
      item.resize(colon);
    }
    f.step = item;
    list.push_back(f);
  }
  return list;
}

struct FaultSeam {
  std::vector<Fault> faults;
  std::map<std::string, int> reached;
};

FaultSeam& Seam() {
  static FaultSeam seam = [] {
    const char* text = std::getenv("X9HOST_FAULT");
    return FaultSeam{ParseFaults(text == nullptr ? "" : text), {}};
  }();
  return seam;
}

}  // namespace

int InjectedFault(const char* step) {
  FaultSeam& seam = Seam();
  const int time = ++seam.reached[step];
  for (const Fault& f : seam.faults) {
    if (f.step == step && f.time == time) return f.signal > 0 ? f.signal : -1;
  }
  return 0;
}

void SetInjectedFaults(const std::string& faults) { Seam() = FaultSeam{ParseFaults(faults), {}}; }

std::string InterruptedLine(const std::string& signalName, Language language) {
  const Arg signal(signalName);
  return SayIn(language, msg::kInterruptedBeforeOutputs, {&signal});
}

namespace transaction {

void CheckSignal() {
  if (const int signal = NotedSignal(); signal != 0) throw Interrupted{signal};
}

void Step(const char* step) {
  const int fault = InjectedFault(step);
  if (fault > 0) Deliver(fault);
  CheckSignal();
  if (fault < 0) throw StepFailed{msg::FaultInjected(step)};
}

}  // namespace transaction

namespace {

using transaction::CheckSignal;
using transaction::FileOutput;
using transaction::Interrupted;
using transaction::Step;
using transaction::StepFailed;
using transaction::StreamOutput;

// One output on its way into place.
struct Placement {
  const OutputTarget* target = nullptr;
  const OutputProducer* produce = nullptr;
  std::unique_ptr<FileOutput> file;      // a regular file's steps
  std::unique_ptr<StreamOutput> stream;  // a special file's or a standard stream's
  bool placed = false;                   // the new content has the target's name
  bool replacedMeanwhile = false;        // another program replaced it after it was placed
  size_t streamed = 0;                   // bytes written to a stream

  bool IsFile() const {
    return target->kind == OutputTarget::Kind::kReplace ||
           target->kind == OutputTarget::Kind::kCreate;
  }
  std::string Where() const { return target->option + " " + target->name; }
};

// The producer's bytes, to a file or a stream. The seam counts outputs, not the pieces a
// producer writes them in.
class StepSink final : public OutputSink {
 public:
  explicit StepSink(Placement& p) : p_(p) {}
  void Write(std::string_view bytes) override {
    if (!started_) Step("write");
    started_ = true;
    if (p_.file) {
      p_.file->Write(bytes);
    } else {
      p_.stream->Write(bytes, p_.streamed);
    }
    CheckSignal();
  }

 private:
  Placement& p_;
  bool started_ = false;
};

void Produce(Placement& p) {
  StepSink sink(p);
  (*p.produce)(sink);
}

// Every target put back as it was, in reverse order, and everything made removed. A target
// that is no longer the file this run put there is left to whoever replaced it. Returns the
// outputs whose way back failed; each keeps its old content where WayBack() says.
std::vector<const Placement*> PutBack(std::vector<Placement>& placements) {
  std::vector<const Placement*> stuck;
  for (auto p = placements.rbegin(); p != placements.rend(); ++p) {
    if (!p->file) continue;
    if (p->placed) {
      const int fault = InjectedFault("restore");
      if (fault > 0) transaction::Deliver(fault);
      if (fault >= 0 && !p->file->StillOurs()) {
        // Its old content is older than what now stands there: not worth keeping.
        p->replacedMeanwhile = true;
        p->placed = false;
        p->file->DropWayBack();
      } else if (fault >= 0 && p->file->PutBack()) {
        p->placed = false;
      } else {
        stuck.push_back(&*p);
      }
    }
    p->file->RemoveTemporary();
    if (!p->placed) p->file->DropWayBack();
  }
  return stuck;
}

}  // namespace

std::vector<std::string> WriteOutputs(
    const std::vector<std::pair<OutputTarget, OutputProducer>>& outputs) {
  const transaction::SignalWindow window;
  std::vector<Placement> placements(outputs.size());
  for (size_t i = 0; i < outputs.size(); ++i) {
    placements[i].target = &outputs[i].first;
    placements[i].produce = &outputs[i].second;
  }
  const Placement* failing = nullptr;
  std::string why;
  int signal = 0;
  try {
    // Every file in full first; special files opened (a FIFO's reader waited for); a way back
    // for every existing file; then the files put in place, and only then the streams written,
    // since what reaches a stream cannot be taken back.
    for (Placement& p : placements) {
      failing = &p;
      if (!p.IsFile()) continue;
      p.file = transaction::NewFileOutput(*p.target);
      p.file->Create();
      Produce(p);
      p.file->Finish();
    }
    for (Placement& p : placements) {
      failing = &p;
      if (p.IsFile()) continue;
      p.stream = transaction::NewStreamOutput(*p.target);
      if (p.target->kind == OutputTarget::Kind::kWriteThrough) p.stream->Open();
    }
    // A file another program wrote since x9host looked at it (another run, an editor) is
    // theirs: replacing it would lose their work, so nothing is put in place.
    // So is a file another program made where there was none.
    for (Placement& p : placements) {
      failing = &p;
      if (p.target->kind == OutputTarget::Kind::kCreate && !p.file->SeenNow().empty())
        throw StepFailed{msg::ChangedMeanwhile()};
      if (p.target->kind != OutputTarget::Kind::kReplace || p.target->seenBefore.empty()) continue;
      if (p.file->SeenNow() != p.target->seenBefore) throw StepFailed{msg::ChangedMeanwhile()};
    }
    for (Placement& p : placements) {
      failing = &p;
      if (p.target->kind == OutputTarget::Kind::kReplace) p.file->KeepWayBack();
    }
    for (Placement& p : placements) {
      failing = &p;
      if (!p.IsFile()) continue;
      p.file->PutInPlace();
      p.placed = true;
    }
    // The report shares standard output's buffer: what it holds goes first.
    std::fflush(stdout);
    for (Placement& p : placements) {
      failing = &p;
      if (p.IsFile()) continue;
      Step("stream");
      Produce(p);
    }
    failing = nullptr;
  } catch (const StepFailed& failure) {
    why = failure.reason;
  } catch (const Interrupted& interrupted) {
    signal = interrupted.signal;
  } catch (const std::exception& error) {
    why = error.what();
  }

  if (failing == nullptr) {
    // Everything is in place: a signal now changes nothing, and what is left is tidying.
    std::vector<std::string> warnings;
    for (Placement& p : placements) {
      if (!p.file || p.file->WayBack().empty()) continue;
      const std::string wayBack = p.file->WayBack();
      const int fault = InjectedFault("commit");
      if (fault > 0) transaction::Deliver(fault);
      // The seam's failure is named as a real one's system error is.
      const std::string why = fault < 0 ? msg::FaultInjected("commit") : p.file->DropWayBack();
      if (!why.empty()) {
        warnings.push_back(msg::OldContentNotRemoved(p.Where(), wayBack, why));
      }
    }
    return warnings;
  }

  const std::vector<const Placement*> stuck = PutBack(placements);
  const bool changed =
      !stuck.empty() || std::any_of(placements.begin(), placements.end(), [](const Placement& p) {
        return p.streamed > 0 || p.replacedMeanwhile;
      });
  if (!changed) {
    if (signal != 0) {
      throw OutputsNotWritten(OutputsNotWritten::State::kInterrupted,
                              InterruptedLine(transaction::SignalName(signal)));
    }
    throw OutputsNotWritten(OutputsNotWritten::State::kAsTheyWere,
                            msg::NotWrittenAsTheyWere(failing->Where(), why));
  }
  // What each output now holds, in the order given.
  std::string states;
  for (const Placement& p : placements) {
    std::string state = msg::OutputStateAsItWas(p.Where());
    if (std::find(stuck.begin(), stuck.end(), &p) != stuck.end()) {
      state = p.file->WayBack().empty()
                  ? msg::OutputStateHoldsNew(p.Where())
                  : msg::OutputStateHoldsNewOldIn(p.Where(), p.file->WayBack());
    } else if (p.replacedMeanwhile) {
      state = msg::OutputStateReplacedMeanwhile(p.Where());
    } else if (p.streamed > 0) {
      state =
          &p == failing ? msg::OutputStateGotPart(p.Where()) : msg::OutputStateGotNew(p.Where());
    }
    states += (states.empty() ? "" : msg::OutputStatesSeparator()) + state;
  }
  throw OutputsNotWritten(OutputsNotWritten::State::kLeftChanged,
                          signal != 0
                              ? msg::InterruptedNotAllBack(transaction::SignalName(signal), states)
                              : msg::NotWrittenNotAllBack(failing->Where(), why, states));
}

}  // namespace x9host::os
