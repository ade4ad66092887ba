// Putting the outputs in place as one transaction: every output is either as it was or wholly
// new, and the last line says which. The order of the phases, the fault seam and the way back
// are written once (transaction.cpp) over a few steps each system gives
// (transaction_steps.h; transaction_posix.cpp, transaction_win32.cpp).
#pragma once

#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "os/message_text.h"
#include "os/say.h"

namespace x9host::os {

// An output, checked before the request and written after it.
struct OutputTarget {
  enum class Kind {
    kStandardOutput,  // "-", or a name of the file or pipe standard output (or error) is
    kReplace,         // an existing regular file (links followed), replaced whole
    kCreate,          // a new file
    kWriteThrough,    // a device, FIFO or other special file (NUL, CON), written straight
  };
  std::string option;  // "--out", for messages
  std::string name;    // as given
  Kind kind = Kind::kCreate;
  std::string path;      // what is replaced, created or written through
  std::string identity;  // equal for any two names of the same file
  int stream = 1;        // kStandardOutput: 1 standard output, 2 standard error
  // kReplace: the file's other names (hard links), which keep the old content once it is
  // replaced.
  unsigned long otherNames = 0;
  // kReplace: the file as it was seen before the request (which file, its size, when it last
  // changed), so that one another program writes meanwhile is not replaced; empty: not known.
  std::string seenBefore;
};

// Where an output's bytes go while they are made. Write throws when they cannot be written;
// the producer lets that pass.
class OutputSink {
 public:
  virtual void Write(std::string_view bytes) = 0;

 protected:
  ~OutputSink() = default;
};

// Makes one output's whole content into a sink; called once per output, after the request, so
// that a large output need never be held in memory whole.
using OutputProducer = std::function<void(OutputSink&)>;

// The outputs could not all be put in place. what() is the whole line to show.
class OutputsNotWritten : public std::runtime_error {
 public:
  enum class State {
    kAsTheyWere,   // every output is as it was before (nothing of the new content anywhere)
    kInterrupted,  // a signal came first: every output is as it was
    kLeftChanged,  // the way back failed too: the line says what each output now holds
  };
  OutputsNotWritten(State state, const std::string& line)
      : runtime_error(OneLine(line)), state_(state) {}
  State state() const { return state_; }

 private:
  State state_;
};

// Puts the outputs in place: every file output is made in full beside its target (with the
// old file's metadata), each existing target gets a way back, then all are put in place, then
// special files and standard output are written. On any failure, or a signal that would end
// the program (a console event on Windows), every target that is still the file this run put
// there is put back and everything made is removed; then OutputsNotWritten says so. The
// producers are called here, each streaming into its output. Returns warnings about what could
// not be tidied once every output was in place.
std::vector<std::string> WriteOutputs(
    const std::vector<std::pair<OutputTarget, OutputProducer>>& outputs);

// The line for a signal that ended the program before any output was in place. In a given
// language too: the signal handlers' lines are made in both before any handler is installed.
std::string InterruptedLine(const std::string& signalName, Language language = CurrentLanguage());

// The test seam: X9HOST_FAULT=STEP[:N][=SIGNAL][,...] (or SetInjectedFaults) makes the Nth
// (default first) time the transaction reaches STEP fail, or receive SIGNAL there: a signal's
// number, or on Windows 100 plus a console event's (100 Ctrl-C, 102 closing the console).
// Returns 0 to go on, -1 to fail, or the signal to deliver.
int InjectedFault(const char* step);
// Replaces the faults X9HOST_FAULT gave and starts the counts again (tests in one process).
void SetInjectedFaults(const std::string& faults);

}  // namespace x9host::os
