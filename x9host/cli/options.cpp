#include "cli/options.h"

#include <charconv>
#include <set>

#include "host/tpi.h"
#include "os/input_error.h"

namespace x9host {
namespace {

struct Command {
  const char* name;
  unsigned flags;
};

constexpr Command kCommands[] = {
    {"download-all", x9::kFlagDownloadAll},
    {"download-tracks", x9::kFlagDownloadTracks},
    {"download-routes", x9::kFlagDownloadRoutes},
    {"download-waypoints", x9::kFlagDownloadWaypoints},
    {"upload-routes", x9::kFlagUploadRoutes},
    {"about", 0},
};

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

Options ParseOptions(const std::vector<std::string>& args) {
  Options options;
  bool haveCommand = false;
  bool optionsEnded = false;
  std::set<std::string> given;  // options with a value, each allowed once
  std::vector<std::string> transferOnly;
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
    if (option && (arg == "--watch" || arg == "--watch-out" || arg == "--list" || arg == "--out" ||
                   arg == "--pace" || arg == "--hold-at")) {
      transferOnly.push_back(arg);
    }
    if (!option) {
      const Command* found = nullptr;
      for (const Command& command : kCommands) {
        if (arg == command.name) found = &command;
      }
      if (found == nullptr)
        throw InputError("unknown command \"" + arg + "\" (x9host --help lists them)");
      if (haveCommand) {
        throw InputError("one command at a time: \"" + options.command + "\" and \"" + arg + "\"");
      }
      haveCommand = true;
      options.command = found->name;
      options.flags = found->flags;
    } else if (arg == "--watch") {
      options.watchFile = path();
    } else if (arg == "--watch-out") {
      options.watchOut = path();
    } else if (arg == "--list") {
      options.listFile = path();
    } else if (arg == "--out") {
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
      throw InputError("unknown option " + arg + " (x9host --help lists them)");
    }
  }
  if (!haveCommand && !options.help && !options.version)
    throw InputError("no command given (x9host --help lists them)");
  // about shows a box and moves nothing: an option of a transfer would be ignored there.
  if (options.command == "about" && !transferOnly.empty()) {
    if (options.outFile || options.watchOut)
      throw InputError("about moves nothing: --out and --watch-out go with a transfer");
    throw InputError(transferOnly.front() + " goes with a transfer, not with about");
  }
  return options;
}

std::string UsageText() {
  return "usage: x9host [options] COMMAND\n"
         "\n"
         "Loads x9link.tvl from the plug-in directory into a simulated host and sends it one\n"
         "request. The watch is the simulator (a GPX file) unless the plug-in directory's x9.dll\n"
         "is another watch library: then it is the real watch.\n"
         "\n"
         "commands:\n"
         "  download-all         waypoints, routes and tracks (flags 0x07)\n"
         "  download-tracks      tracks (0x02)\n"
         "  download-routes      routes (0x04)\n"
         "  download-waypoints   the waypoint collection (0x01)\n"
         "  upload-routes        the transfer list's routes to the watch (0x40)\n"
         "  about                the module's about box\n"
         "\n"
         "options (also as --option=value):\n"
         "  --watch FILE.gpx      the simulated watch's content (default: the sample watch)\n"
         "  --watch-out FILE.gpx  write the simulated watch's content after the request\n"
         "  --list FILE.gpx       the transfer list before the request (routes for an upload)\n"
         "  --out FILE.gpx        write the transfer list after the request (- : standard output)\n"
         "  --plugins DIR         the plug-in directory (default: plugins beside the program,\n"
         "                        else ../plugins)\n"
         "  --yes                 answer every question Yes\n"
         "  --pace MS             pause MS milliseconds at every step, to watch the progress bar\n"
         "  --hold-at PERCENT     Windows: hold the progress window for 5 s at PERCENT\n"
         "  -h, --help            this text\n"
         "  --version             x9host's version\n"
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
         "the same). --watch and --watch-out are refused with the real watch.\n"
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
}

std::string VersionText() { return std::string("x9host ") + X9_VERSION; }

}  // namespace x9host
