#include "cli/options.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <set>
#include <stdexcept>

#include "cli/outcome.h"
#include "codec/width.h"
#include "host/tpi.h"
#include "os/input_error.h"
#include "os/messages.h"
#include "session/session.h"

namespace x9host {
namespace {

struct CommandEntry {
  Command command;
  const char* name;
  unsigned flags;
  std::string (*what)();  // for --help
};

constexpr CommandEntry kCommands[] = {
    {Command::kDownloadAll,
     "download-all",  // not a message: a command's name
     x9::kFlagDownloadAll, msg::HelpDownloadAll},
    {Command::kDownloadTracks,
     "download-tracks",  // not a message: a command's name
     x9::kFlagDownloadTracks, msg::HelpDownloadTracks},
    {Command::kDownloadRoutes,
     "download-routes",  // not a message: a command's name
     x9::kFlagDownloadRoutes, msg::HelpDownloadRoutes},
    {Command::kDownloadWaypoints,
     "download-waypoints",  // not a message: a command's name
     x9::kFlagDownloadWaypoints, msg::HelpDownloadWaypoints},
    {Command::kUploadRoutes,
     "upload-routes",  // not a message: a command's name
     x9::kFlagUploadRoutes, msg::HelpUploadRoutes},
    {Command::kAbout, "about", 0, msg::HelpAbout},
};

// An option in --help: its spelling, what its value is (nullptr: none) and what it does.
struct OptionHelp {
  const char* spelling;
  std::string (*value)();
  std::string (*what)();
};

std::string HoldAtHelp() { return msg::HelpHoldAt(kHoldSeconds); }
std::string VersionHelp() { return msg::HelpVersion(kProgramName); }

constexpr OptionHelp kOptionHelp[] = {
    {kWatchOption, msg::HelpFile, msg::HelpWatch},
    {kWatchOutOption, msg::HelpFile, msg::HelpWatchOut},
    {kListOption, msg::HelpFile, msg::HelpList},
    {kOutOption, msg::HelpFile, msg::HelpOut},
    {kPluginsOption, msg::HelpDirectory, msg::HelpPlugins},
    {kYesOption, nullptr, msg::HelpYes},
    {kPaceOption, msg::HelpMilliseconds, msg::HelpPace},
    {kHoldAtOption, msg::HelpPercent, HoldAtHelp},
    {"-h, --help", nullptr, msg::HelpHelp},  // not a message: the options' spellings
    {kVersionOption, nullptr, VersionHelp},
};

// text after a first column of indent columns: its further lines (a "\n" in the table's text)
// start there too.
std::string Hanging(const std::string& text, size_t indent) {
  std::string out;
  for (const char c : text) {
    out += c;
    if (c == '\n') out.append(indent, ' ');
  }
  return out + '\n';
}

const CommandEntry& EntryOf(Command command) {
  for (const CommandEntry& entry : kCommands) {
    if (entry.command == command) return entry;
  }
  throw std::logic_error("a command without an entry");  // not a message: never reached
}

std::string HelpLines() {
  constexpr size_t kColumn = 21;
  std::string lines;
  bool first = true;
  for (const CommandEntry& entry : kCommands) {
    std::string what = entry.what();
    if (entry.flags != 0) {
      char flags[16];
      std::snprintf(flags, sizeof flags, "0x%02X", entry.flags);
      // The first says what the number is.
      what = first ? msg::HelpFlagsFirst(what, flags) : msg::HelpFlags(what, flags);
      first = false;
    }
    lines += "  " + PadToWidth(entry.name, kColumn) + Hanging(what, 2 + kColumn);
  }
  return lines;
}

// The options' first column is as wide as its widest entry in the reader's language, and two.
std::string OptionLines() {
  std::vector<std::string> names;
  size_t column = 0;
  for (const OptionHelp& option : kOptionHelp) {
    std::string name = option.spelling;
    if (option.value != nullptr) name += " " + option.value();
    column = std::max(column, DisplayWidth(name) + 2);
    names.push_back(std::move(name));
  }
  std::string lines;
  for (size_t i = 0; i < names.size(); ++i)
    lines += "  " + PadToWidth(names[i], column) + Hanging(kOptionHelp[i].what(), 2 + column);
  return lines;
}

int Integer(const std::string& option, const std::string& value, int minimum, int maximum) {
  int result = 0;
  const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), result);
  if (value.empty() || error != std::errc() || end != value.data() + value.size() ||
      result < minimum || result > maximum) {
    throw InputError(msg::OptionNumber(option, minimum, maximum, value));
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
      if (!given.insert(arg).second) throw InputError(msg::OptionTwice(arg));
      if (inlineValue) return *inlineValue;
      if (i + 1 >= args.size()) throw InputError(msg::OptionNeedsValue(arg));
      return args[++i];
    };
    const auto path = [&]() {
      std::string text = value();
      if (text.empty()) throw InputError(msg::OptionNeedsName(arg));
      return text;
    };
    const auto flag = [&]() {
      if (inlineValue) throw InputError(msg::OptionNoValue(arg));
    };

    // After "--" everything is a command, even a word that starts with "-".
    const bool option = !optionsEnded && arg.size() > 1 && arg[0] == '-';
    if (option && (arg == kWatchOption || arg == kWatchOutOption || arg == kListOption ||
                   arg == kOutOption || arg == kPaceOption || arg == kHoldAtOption)) {
      transferOnly.push_back(arg);
    }
    if (!option) {
      const CommandEntry* found = nullptr;
      for (const CommandEntry& entry : kCommands) {
        if (arg == entry.name) found = &entry;
      }
      if (found == nullptr) throw InputError(msg::UnknownCommand(arg, kProgramName));
      if (options.command) throw InputError(msg::OneCommand(CommandName(*options.command), arg));
      options.command = found->command;
    } else if (arg == kWatchOption) {
      options.watchFile = path();
    } else if (arg == kWatchOutOption) {
      options.watchOut = path();
    } else if (arg == kListOption) {
      options.listFile = path();
    } else if (arg == kOutOption) {
      options.outFile = path();
    } else if (arg == kPluginsOption) {
      options.pluginDir = path();
    } else if (arg == kYesOption) {
      flag();
      options.yes = true;
    } else if (arg == kPaceOption) {
      options.paceMilliseconds = Integer(arg, value(), 0, 10000);
    } else if (arg == kHoldAtOption) {
      options.holdAt = Integer(arg, value(), 0, 100);
    } else if (arg == "--help" || arg == "-h") {
      flag();
      options.help = true;
    } else if (arg == kVersionOption) {
      flag();
      options.version = true;
    } else {
      throw InputError(msg::UnknownOption(arg, kProgramName));
    }
  }
  if (!options.command && !options.help && !options.version)
    throw InputError(msg::NoCommand(kProgramName));
  // about shows a box and moves nothing: an option of a transfer would be ignored there.
  if (options.command == Command::kAbout && !transferOnly.empty()) {
    if (options.outFile || options.watchOut)
      throw InputError(msg::AboutMovesNothing(kOutOption, kWatchOutOption));
    throw InputError(msg::NotWithAbout(transferOnly.front()));
  }
  return options;
}

std::string UsageText() {
  std::string text = msg::HelpUsage(kProgramName) + "\n\n";
  text += Hanging(msg::HelpIntro(kModuleFile), 0) + "\n";
  text += msg::HelpCommands() + "\n" + HelpLines() + "\n";
  text += msg::HelpOptions() + "\n" + OptionLines() + "\n";
  text += Hanging(msg::HelpOnce(), 0) + "\n" + Hanging(msg::HelpOutputs(), 0) + "\n";
  text += msg::HelpExitStatus() + "\n";
  const struct {
    int status;
    std::string (*what)();
  } statuses[] = {{kExitMoved, msg::HelpExitMoved},
                  {kExitFailed, msg::HelpExitFailed},
                  {kExitBadInput, msg::HelpExitBadInput},
                  {kExitNothingMoved, msg::HelpExitNothingMoved}};
  for (const auto& status : statuses)
    text += "  " + std::to_string(status.status) + "  " + Hanging(status.what(), 5);
  return text;
}

std::string VersionText() { return std::string(kProgramName) + " " + X9_VERSION; }

}  // namespace x9host
