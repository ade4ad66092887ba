#include "cli/options.h"

#include <charconv>
#include <cstdio>
#include <set>
#include <stdexcept>

#include "host/tpi.h"
#include "os/input_error.h"
#include "session/session.h"

namespace x9host {
namespace {

struct CommandEntry {
  Command command;
  const char* name;
  unsigned flags;
  const char* what;  // for --help
};

constexpr CommandEntry kCommands[] = {
    {Command::kDownloadAll, "download-all", x9::kFlagDownloadAll, "waypoints, routes and tracks"},
    {Command::kDownloadTracks, "download-tracks", x9::kFlagDownloadTracks, "tracks"},
    {Command::kDownloadRoutes, "download-routes", x9::kFlagDownloadRoutes, "routes"},
    {Command::kDownloadWaypoints, "download-waypoints", x9::kFlagDownloadWaypoints,
     "the waypoint collection"},
    {Command::kUploadRoutes, "upload-routes", x9::kFlagUploadRoutes,
     "the transfer list's routes to the watch"},
    {Command::kAbout, "about", 0, "the module's about box"},
};

const CommandEntry& EntryOf(Command command) {
  for (const CommandEntry& entry : kCommands) {
    if (entry.command == command) return entry;
  }
  throw std::logic_error("a command without an entry");
}

std::string HelpLines() {
  std::string lines;
  bool first = true;
  for (const CommandEntry& entry : kCommands) {
    char line[120];
    std::snprintf(line, sizeof line, "  %-21s%s", entry.name, entry.what);
    lines += line;
    if (entry.flags != 0) {
      // The first says what the number is.
      std::snprintf(line, sizeof line, " (%s0x%02X)", first ? "flags " : "", entry.flags);
      lines += line;
      first = false;
    }
    lines += '\n';
  }
  return lines;
}

int Integer(const std::string& option, const std::string& value, int minimum, int maximum) {
  int result = 0;
  const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), result);
  if (value.empty() || error != std::errc() || end != value.data() + value.size() ||
      result < minimum || result > maximum) {
    throw InputError(option + " takes a whole number from " + std::to_string(minimum) + " to " +
                     std::to_string(maximum) + ", not \"" + value + "\"");
  }
  return result;
}

}  // namespace

const std::vector<Command>& Commands() {
  static const std::vector<Command> commands = [] {
    std::vector<Command> all;
    for (const CommandEntry& entry : kCommands)
      all.push_back(entry.command);
    return all;
  }();
  return commands;
}

const char* CommandName(Command command) { return EntryOf(command).name; }

unsigned RequestFlags(Command command) { return EntryOf(command).flags; }

Options ParseOptions(const std::vector<std::string>& args) {
  Options options;
  bool optionsEnded = false;
  std::set<std::string> given;  // options with a value, each allowed once
  std::vector<std::string> transferOnly;
  const std::string lists = std::string(" (") + kProgramName + " --help lists them)";
  for (size_t i = 0; i < args.size(); ++i) {
    std::string arg = args[i];
    std::optional<std::string> inlineValue;
    if (!optionsEnded && arg == "--") {
      optionsEnded = true;
      continue;
    }
    if (!optionsEnded && arg.rfind("--", 0) == 0) {
      const size_t equals = arg.find('=');
      if (equals != std::string::npos) {
        inlineValue = arg.substr(equals + 1);
        arg.resize(equals);
      }
    }
    const auto value = [&]() -> std::string {
      // A second value would silently win over the first: say so instead.
      if (!given.insert(arg).second) throw InputError(arg + " is given twice");
      if (inlineValue) return *inlineValue;
      if (i + 1 >= args.size()) throw InputError(arg + " needs a value");
      return args[++i];
    };
    const auto path = [&]() {
      std::string text = value();
      if (text.empty()) throw InputError(arg + " needs a file or directory name");
      return text;
    };
    const auto flag = [&]() {
      if (inlineValue) throw InputError(arg + " takes no value");
    };

    // After "--" everything is a command, even a word that starts with "-".
    const bool option = !optionsEnded && arg.size() > 1 && arg[0] == '-';
    if (option && (arg == kWatchOption || arg == kWatchOutOption || arg == kListOption ||
                   arg == kOutOption || arg == "--pace" || arg == "--hold-at")) {
      transferOnly.push_back(arg);
    }
    if (!option) {
      const CommandEntry* found = nullptr;
      for (const CommandEntry& entry : kCommands) {
        if (arg == entry.name) found = &entry;
      }
      if (found == nullptr) throw InputError("unknown command \"" + arg + "\"" + lists);
      if (options.command) {
        throw InputError("one command at a time: \"" + std::string(CommandName(*options.command)) +
                         "\" and \"" + arg + "\"");
      }
      options.command = found->command;
    } else if (arg == kWatchOption) {
      options.watchFile = path();
    } else if (arg == kWatchOutOption) {
      options.watchOut = path();
    } else if (arg == kListOption) {
      options.listFile = path();
    } else if (arg == kOutOption) {
      options.outFile = path();
    } else if (arg == "--plugins") {
      options.pluginDir = path();
    } else if (arg == "--yes") {
      flag();
      options.yes = true;
    } else if (arg == "--pace") {
      options.paceMilliseconds = Integer(arg, value(), 0, 10000);
    } else if (arg == "--hold-at") {
      options.holdAt = Integer(arg, value(), 0, 100);
    } else if (arg == "--help" || arg == "-h") {
      flag();
      options.help = true;
    } else if (arg == "--version") {
      flag();
      options.version = true;
    } else {
      throw InputError("unknown option " + arg + lists);
    }
  }
  if (!options.command && !options.help && !options.version)
    throw InputError("no command given" + lists);
  // about shows a box and moves nothing: an option of a transfer would be ignored there.
  if (options.command == Command::kAbout && !transferOnly.empty()) {
    if (options.outFile || options.watchOut) {
      throw InputError(std::string("about moves nothing: ") + kOutOption + " and " +
                       kWatchOutOption + " go with a transfer");
    }
    throw InputError(transferOnly.front() + " goes with a transfer, not with about");
  }
  return options;
}

std::string UsageText() {
  std::string text = std::string("usage: ") + kProgramName + " [options] COMMAND\n\n";
  text += std::string("Loads ") + kModuleFile +
          " from the plug-in directory into a simulated host and sends it one\n"
          "request. The watch is the simulator (a GPX file) unless the plug-in directory's x9.dll\n"
          "is another watch library: then it is the real watch.\n"
          "\n"
          "commands:\n";
  text += HelpLines();
  text +=
      "\n"
      "options (also as --option=value):\n"
      "  --watch FILE.gpx      the simulated watch's content (default: the sample watch)\n"
      "  --watch-out FILE.gpx  write the simulated watch's content after the request\n"
      "  --list FILE.gpx       the transfer list before the request (routes for an upload)\n"
      "  --out FILE.gpx        write the transfer list after the request (- : standard output)\n"
      "  --plugins DIR         the plug-in directory (default: plugins beside the program,\n"
      "                        else ../plugins)\n"
      "  --yes                 answer every question Yes\n"
      "  --pace MS             pause MS milliseconds at every step, to watch the progress bar\n";
  text += "  --hold-at PERCENT     Windows: hold the progress window for " +
          std::to_string(kHoldSeconds) + " s at PERCENT\n";
  text += std::string(
              "  -h, --help            this text\n"
              "  --version             ") +
          kProgramName + "'s version\n";
  text +=
      "\n"
      "Each option with a value may be given once; \"--\" ends the options. about takes\n"
      "only --plugins and --yes.\n"
      "\n"
      "--out and --watch-out are written only when the request moved something, both or\n"
      "neither: each is made in full beside its file, then all are put in place, keeping\n"
      "the old file's permissions, owner, ACL and extended attributes (another user's or\n"
      "group's file is refused unless run by root). If that fails, or SIGINT, SIGTERM,\n"
      "SIGHUP or SIGQUIT comes first, every file is put back as it was. A device\n"
      "or FIFO is written straight through, after the files; -, /dev/stdout or any name of\n"
      "what standard output already is (a file opened for appending, a pipe) is written\n"
      "through standard output, never replaced, and the report goes to standard error.\n"
      "--watch, --out and --watch-out must name different files (--list and --out may be\n"
      "the same, unless reading the list warned of something it would not write back as it\n"
      "was). --watch and --watch-out are refused with the real watch.\n"
      "\n"
      "exit status:\n"
      "  0  the request ran and changed the transfer list or the watch; every output is new\n"
      "  1  the module returned 0: the transfer failed or was aborted; or a signal stopped\n"
      "     the outputs (every one is as it was); or putting them back failed too (the last\n"
      "     line says what each output holds)\n"
      "  2  bad input or usage: nothing was run, nothing written; or, after the request, the\n"
      "     outputs could not be put in place and every one is as it was\n"
      "  3  the request ran but moved nothing (declined, no answer, no watch library, no\n"
      "     watch, nothing of that kind on the watch, nothing to upload)\n";
  return text;
}

std::string VersionText() { return std::string(kProgramName) + " " + X9_VERSION; }

}  // namespace x9host
