// What x9host needs from the operating system; host_platform_posix.cpp and
// host_platform_win32.cpp implement it. Paths are UTF-8 throughout.
#pragma once

#include "platform/platform.h"

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace x9host::platform {

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
    kStandardOutput,  // "-"
    kReplace,         // an existing regular file (links followed), replaced whole
    kCreate,          // a new file
    kWriteThrough,    // a device, FIFO or other special file (NUL, CON), written straight
  };
  std::string option;  // "--out", for messages
  std::string name;    // as given
  Kind kind = Kind::kCreate;
  std::string path;      // what is replaced, created or written through
  std::string identity;  // equal for any two names of the same file
};

// Everything about an output that can be checked before the request: its directory exists,
// it is not a directory, it may be written (a temporary file can be made beside it, and an
// existing file is writable). Links and reparse points are followed. Throws InputError.
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

// Writes the outputs, all or none as far as the system allows: every replacement and new file
// is first written in full to a temporary file beside its target (keeping an existing file's
// permission bits, and its owner where the process may), then special files and standard
// output are written, then the temporary files are renamed into place. Throws InputError, with
// every temporary file removed.
void WriteOutputs(const std::vector<std::pair<OutputTarget, OutputProducer>>& outputs);
// An output's whole content, as its producer makes it.
std::string ProducedBytes(const OutputProducer& produce);

// The directory as the module receives it from TPI_GetPluginDir (the ANSI code page on
// Windows). Throws InputError when it cannot be expressed there.
std::string HostDirectoryText(const std::string& directory);

// Loads a library the way the module loads the watch's: the path in the host's code page.
// Throws InputError with the system's reason when it cannot be loaded.
x9::platform::Library LoadLibraryFile(const std::string& path);

void PauseMilliseconds(int milliseconds);

// Called at every TPI_Pump: when the progress window's bar has reached percent, keeps the
// window on screen for seconds, handling its messages (Windows only; false elsewhere).
bool HoldSupported();
void HoldProgressWindowAt(int percent, int seconds);

}  // namespace x9host::platform
