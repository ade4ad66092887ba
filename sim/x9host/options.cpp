#include "options.h"

#include <charconv>

#include "input_error.h"

namespace x9host {
namespace {

struct Command {
  const char* name;
  unsigned flags;
};

constexpr Command kCommands[] = {
    {"download-all", 0x07},      {"download-tracks", 0x02}, {"download-routes", 0x04},
    {"download-waypoints", 0x01}, {"upload-routes", 0x40},   {"about", 0},
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
  for (size_t i = 0; i < args.size(); ++i) {
    std::string arg = args[i];
    std::optional<std::string> inlineValue;
    if (arg.rfind("--", 0) == 0) {
      const size_t equals = arg.find('=');
      if (equals != std::string::npos) {
        inlineValue = arg.substr(equals + 1);
        arg.resize(equals);
      }
    }
    const auto value = [&]() -> std::string {
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

    if (arg == "--watch") {
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
    } else if (arg.size() > 1 && arg[0] == '-') {
      throw InputError("unknown option " + arg + " (x9host --help lists them)");
    } else {
      const Command* found = nullptr;
      for (const Command& command : kCommands) {
        if (arg == command.name) found = &command;
      }
      if (found == nullptr) throw InputError("unknown command \"" + arg + "\" (x9host --help lists them)");
      if (haveCommand) {
        throw InputError("one command at a time: \"" + options.command + "\" and \"" + arg + "\"");
      }
      haveCommand = true;
      options.command = found->name;
      options.flags = found->flags;
    }
  }
  if (!haveCommand && !options.help) throw InputError("no command given (x9host --help lists them)");
  return options;
}

std::string UsageText() {
  return
      "usage: x9host [options] COMMAND\n"
      "\n"
      "Loads x9link.tvl from the plug-in directory into a simulated host, with a simulated\n"
      "watch, and sends one request to the module.\n"
      "\n"
      "commands:\n"
      "  download-all         waypoints, routes and tracks (flags 0x07)\n"
      "  download-tracks      tracks (0x02)\n"
      "  download-routes      routes (0x04)\n"
      "  download-waypoints   the waypoint collection (0x01)\n"
      "  upload-routes        the transfer list's routes to the watch (0x40)\n"
      "  about                the module's about box\n"
      "\n"
      "options:\n"
      "  --watch FILE.gpx      the watch's content (default: the bundled examples/watch.gpx)\n"
      "  --watch-out FILE.gpx  write the watch's content after the request\n"
      "  --list FILE.gpx       the transfer list before the request (routes for an upload)\n"
      "  --out FILE.gpx        write the transfer list after the request\n"
      "  --plugins DIR         the plug-in directory (default: ../plugins beside the program)\n"
      "  --yes                 answer every question Yes\n"
      "  --pace MS             pause MS milliseconds at every step, to watch the progress bar\n"
      "  --hold-at PERCENT     Windows: hold the progress window for 5 s at PERCENT\n"
      "  --help                this text\n"
      "\n"
      "Exit status: 0 when the request returned 1, 1 when it returned 0, 2 for bad input.\n";
}

}  // namespace x9host
