// The steps of the output transaction that differ between systems. transaction.cpp decides
// their order and what a failure or a signal leads to; each system's file only does what it is
// asked and reports through StepFailed.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "os/transaction.h"

namespace x9host::os::transaction {

// A step that failed, with the system's reason.
struct StepFailed {
  std::string reason;
};

// A signal (or console event) noted since the last step.
struct Interrupted {
  int signal;
};

// Every step passes here: the fault seam may make it fail or deliver a signal, and a signal
// noted since the last step stops the transaction. Throws StepFailed or Interrupted.
void Step(const char* step);
// Throws Interrupted when a signal has been noted (inside loops that wait or write).
void CheckSignal();

// A regular file output on its way into place.
class FileOutput {
 public:
  virtual ~FileOutput() = default;
  // A new file beside the target, without a name where the system allows.
  virtual void Create() = 0;
  virtual void Write(std::string_view bytes) = 0;
  // The content complete: the old file's metadata carried over, synced, named beside the target.
  virtual void Finish() = 0;
  // The file under the target's name now, in OutputTarget::seenBefore's terms; empty when none.
  virtual std::string SeenNow() = 0;
  // A second name for the existing target: the way back.
  virtual void KeepWayBack() = 0;
  virtual void PutInPlace() = 0;
  // Whether the file under the target's name is still the one PutInPlace put there, unchanged
  // (another run may have replaced it since).
  virtual bool StillOurs() = 0;
  // The old content back under the target's name, or the new file removed where there was
  // none. False when that failed; the old content then stays where WayBack() says.
  virtual bool PutBack() = 0;
  // Removes the way back (the old content); the system's words when it could not be removed,
  // else empty.
  virtual std::string DropWayBack() = 0;
  // Removes what this output made and no longer needs: the temporary file.
  virtual void RemoveTemporary() = 0;
  // The path of the old content while it has a second name; empty when none.
  virtual std::string WayBack() const = 0;
};

// Standard output or error, or a special file written straight through.
class StreamOutput {
 public:
  virtual ~StreamOutput() = default;
  // A special file opened for writing (a FIFO's reader waited for, a signal ending the wait).
  virtual void Open() = 0;
  // Adds to written as bytes go out, so that a failure part way says how far it got.
  virtual void Write(std::string_view bytes, size_t& written) = 0;
};

std::unique_ptr<FileOutput> NewFileOutput(const OutputTarget& target);
std::unique_ptr<StreamOutput> NewStreamOutput(const OutputTarget& target);

// While it lives, every signal that would end the program (every console event on Windows) is
// noted instead, for the transaction to answer. After it, signals stay noted and unanswered:
// the outputs are then what the last line will say.
class SignalWindow {
 public:
  SignalWindow();
  ~SignalWindow();
  SignalWindow(const SignalWindow&) = delete;
  SignalWindow& operator=(const SignalWindow&) = delete;
};

// Until the transaction's window opens nothing of x9host's is on disk: every signal that would
// end the program (console event on Windows) ends it at once with InterruptedLine, status 1.
// A signal ignored when the program started (nohup, a background job) stays ignored.
void EndOnSignalsBeforeOutputs();

// The signal noted since the window opened, or 0.
int NotedSignal();
// Brings a signal (an event number on Windows) as the system would: the fault seam's "=SIGNAL".
void Deliver(int signal);
// How the last line names a signal or event: "SIGTERM", "Ctrl-C".
std::string SignalName(int signal, Language language = CurrentLanguage());

}  // namespace x9host::os::transaction
