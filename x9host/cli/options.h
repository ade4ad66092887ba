// x9host's command line.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace x9host {

// The program's name, as it begins every line it writes and names itself in --help and
// --version, and as the creator of the GPX it writes.
inline constexpr char kProgramName[] = "x9host";

// The spellings of the options, for the parser, --help and every message that names them.
inline constexpr char kWatchOption[] = "--watch";
inline constexpr char kWatchOutOption[] = "--watch-out";  // not a message: an option's spelling
inline constexpr char kListOption[] = "--list";
inline constexpr char kOutOption[] = "--out";
inline constexpr char kPluginsOption[] = "--plugins";
inline constexpr char kYesOption[] = "--yes";
inline constexpr char kPaceOption[] = "--pace";
inline constexpr char kHoldAtOption[] = "--hold-at";  // not a message: an option's spelling
inline constexpr char kVersionOption[] = "--version";

// What is asked of the module: one of the transfers, or its About box.
enum class Command {
  kDownloadAll,
  kDownloadTracks,
  kDownloadRoutes,
  kDownloadWaypoints,
  kUploadRoutes,
  kAbout,
};

// Every command, in the order --help lists them.
const std::vector<Command>& Commands();
// The command as typed ("download-all").
const char* CommandName(Command command);
// The flag word a transfer sends to the module's callback; 0 for about, which sends none.
unsigned RequestFlags(Command command);

struct Options {
  std::optional<Command> command;  // none only with --help or --version
  std::optional<std::string> watchFile;
  std::optional<std::string> watchOut;
  std::optional<std::string> listFile;
  std::optional<std::string> outFile;
  std::optional<std::string> pluginDir;
  bool yes = false;
  int paceMilliseconds = 0;   // pause at every pump, so a person can watch the bar
  std::optional<int> holdAt;  // Windows: hold the progress window when the bar reaches it
  bool help = false;
  bool version = false;
};

// args without the program name. Throws InputError for an unknown command or option, a
// missing or malformed value, a missing or second command, a repeated option with a value, and
// an option the command does not use.
Options ParseOptions(const std::vector<std::string>& args);

std::string UsageText();

// The program's name and the project's version, which the build gives (X9_VERSION).
std::string VersionText();

}  // namespace x9host
