// What x9host needs from the operating system: the command line and the console, paths and
// files, the output transaction, loading a library. os_posix.cpp and os_win32.cpp
// implement it, os_common.cpp what both share. Paths are UTF-8 throughout.
#pragma once

#include "platform/platform.h"

#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace x9host::os {

// The command line in UTF-8, without the program name.
std::vector<std::string> Arguments(int argc, char** argv);

// Lets UTF-8 reach the terminal (Windows consoles need to be told).
void PrepareConsole();

std::string ProgramDirectory();
std::string JoinPath(const std::string& directory, const std::string& name);
// Absolute and normalised; the path need not exist.
std::string FullPath(const std::string& path);
std::string ParentDirectory(const std::string& path);
bool IsDirectory(const std::string& path);
bool IsFile(const std::string& path);

// Throws InputError "<path>: <reason>".
std::string ReadWholeFile(const std::string& path);

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
};

// Everything about an output that can be checked before the request: its directory exists,
// it is not a directory, it may be written and replaced (a temporary file can be made beside
// it; an existing file is writable, neither append-only nor immutable, not held by another
// program, and may be replaced in its directory). Links and reparse points are followed.
// Throws InputError.
OutputTarget PlanOutput(const std::string& option, const std::string& name);
// PlanOutput for a name that is not "-", as this platform's files are.
OutputTarget PlanFileOutput(const std::string& option, const std::string& name);

// The identity of an existing file, comparable with OutputTarget::identity.
std::string FileIdentity(const std::string& path);

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
  OutputsNotWritten(State state, const std::string& line) : runtime_error(line), state_(state) {}
  State state() const { return state_; }

 private:
  State state_;
};

// Puts the outputs in place as one transaction: every file output is made in full beside its
// target (with the old file's permissions, owner, ACL and extended attributes), each existing
// target gets a second name to go back to, then all are put in place, then special files and
// standard output are written. On any failure, or SIGINT, SIGTERM, SIGHUP or SIGQUIT, every
// target is put back and everything made is removed; then OutputsNotWritten says so. The
// producers are called here, each streaming into its output. Returns warnings about what could
// not be tidied once every output was in place.
std::vector<std::string> WriteOutputs(
    const std::vector<std::pair<OutputTarget, OutputProducer>>& outputs);

// The test seam: X9HOST_FAULT=STEP[:N][=SIGNAL][,...] makes the Nth (default first) time the
// transaction reaches STEP fail, or receive SIGNAL (a number) there. Returns 0 to go on, -1 to
// fail, or the signal to raise.
int InjectedFault(const char* step);

// Whether the person reads Japanese. POSIX: the first of LC_ALL, LC_MESSAGES, LANG that is set
// begins with "ja"; Windows: the user's interface language.
bool UserReadsJapanese();

// The directory as the module receives it from TPI_GetPluginDir (the ANSI code page on
// Windows). Throws InputError when it cannot be expressed there.
std::string HostDirectoryText(const std::string& directory);

// Loads a library the way the module loads the watch's: the path in the host's code page.
// Throws InputError with the system's reason when it cannot be loaded.
x9::platform::Library LoadLibraryFile(const std::string& path);

// Called at every TPI_Pump: when the progress window's bar has reached percent, keeps the
// window on screen for seconds, handling its messages (Windows only; false elsewhere).
bool HoldSupported();
void HoldProgressWindowAt(int percent, int seconds);

}  // namespace x9host::os
