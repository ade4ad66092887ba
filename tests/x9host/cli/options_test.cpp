// x9host's command line, in-process: every refusal with its whole line, what each accepted
// command line comes to, and the commands as --help and the docs list them.
#include <gtest/gtest.h>

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "cli/options.h"
#include "os/input_error.h"
#include "x9host_support.h"

// Expected parses are named field by field (designated initialisers), the rest left at defaults.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace {

using namespace x9host;
using namespace x9host_test;

std::string Joined(const std::vector<std::string>& args) {
  std::string text;
  for (const std::string& arg : args)
    text += "[" + arg + "]";
  return text;
}

TEST(X9hostOptions, EveryRefusalIsOneLineThatSaysWhatIsWrong) {
  const struct {
    std::vector<std::string> args;
    const char* line;
  } refused[] = {
      // The command: none, unknown, or a second.
      {{}, "no command given (x9host --help lists them)"},
      {{"--yes", "--plugins", "p"}, "no command given (x9host --help lists them)"},
      {{"download-everything"},
       "unknown command \"download-everything\" (x9host --help lists them)"},
      {{"-"}, "unknown command \"-\" (x9host --help lists them)"},
      {{"download-all", "nonsense"}, "unknown command \"nonsense\" (x9host --help lists them)"},
      {{"about", "download-all"}, "one command at a time: \"about\" and \"download-all\""},
      {{"download-all", "download-all"},
       "one command at a time: \"download-all\" and \"download-all\""},
      // "--" ends the options: what follows is a command, even "--" itself.
      {{"--", "--out", "download-all"}, "unknown command \"--out\" (x9host --help lists them)"},
      {{"download-all", "--", "--"}, "unknown command \"--\" (x9host --help lists them)"},
      {{"download-all", "--", "--yes"}, "unknown command \"--yes\" (x9host --help lists them)"},
      // Unknown options, with or without a value.
      {{"--verbose", "about"}, "unknown option --verbose (x9host --help lists them)"},
      {{"--verbose=1", "about"}, "unknown option --verbose (x9host --help lists them)"},
      {{"-x", "about"}, "unknown option -x (x9host --help lists them)"},
      {{"-h=1"}, "unknown option -h=1 (x9host --help lists them)"},
      // A value missing, empty or malformed; a value given to a flag.
      {{"about", "--plugins"}, "--plugins needs a value"},
      {{"download-all", "--out"}, "--out needs a value"},
      {{"about", "--watch"}, "--watch needs a value"},
      {{"--plugins=", "about"}, "--plugins needs a file or directory name"},
      {{"--list", "", "download-all"}, "--list needs a file or directory name"},
      {{"--pace", "-3", "download-all"}, "--pace takes a whole number from 0 to 10000, not \"-3\""},
      {{"--pace=10001", "download-all"},
       "--pace takes a whole number from 0 to 10000, not \"10001\""},
      {{"--pace=", "download-all"}, "--pace takes a whole number from 0 to 10000, not \"\""},
      {{"--pace", "1x", "download-all"}, "--pace takes a whole number from 0 to 10000, not \"1x\""},
      {{"--hold-at", "101", "download-all"},
       "--hold-at takes a whole number from 0 to 100, not \"101\""},
      {{"--yes=no", "about"}, "--yes takes no value"},
      {{"--help=1"}, "--help takes no value"},
      {{"--version=2", "about"}, "--version takes no value"},
      // An option with a value, given twice in any spelling, even with the same value.
      {{"--out", "a.gpx", "--out", "b.gpx", "download-all"}, "--out is given twice"},
      {{"--watch=a.gpx", "--watch", "b.gpx", "download-all"}, "--watch is given twice"},
      {{"--pace", "1", "--pace=2", "download-all"}, "--pace is given twice"},
      {{"--plugins", "p", "--plugins", "p", "about"}, "--plugins is given twice"},
      // What about does not use: the first named, unless an output is among them.
      {{"about", "--watch", "w.gpx"}, "--watch goes with a transfer, not with about"},
      {{"about", "--list", "l.gpx"}, "--list goes with a transfer, not with about"},
      {{"about", "--pace", "5"}, "--pace goes with a transfer, not with about"},
      {{"--hold-at=5", "about"}, "--hold-at goes with a transfer, not with about"},
      {{"about", "--pace", "5", "--list", "l.gpx"}, "--pace goes with a transfer, not with about"},
      {{"about", "--out", "o.gpx"},
       "about moves nothing: --out and --watch-out go with a transfer"},
      {{"--watch-out=w.gpx", "about"},
       "about moves nothing: --out and --watch-out go with a transfer"},
      {{"--list", "l.gpx", "about", "--out", "o.gpx"},
       "about moves nothing: --out and --watch-out go with a transfer"},
  };
  for (const auto& c : refused) {
    SCOPED_TRACE(Joined(c.args));
    try {
      ParseOptions(c.args);
      ADD_FAILURE() << "accepted";
    } catch (const InputError& error) {
      EXPECT_STREQ(error.what(), c.line);
    }
  }
}

// What a command line came to, in one line, so that a mismatch shows every field.
struct Parsed {
  std::optional<Command> command;
  std::optional<std::string> watch, watchOut, list, out, plugins;
  bool yes = false;
  int pace = 0;
  std::optional<int> holdAt;
  bool help = false, version = false;
};

std::string Described(const Parsed& p) {
  const auto text = [](const std::optional<std::string>& value) {
    return value ? "\"" + *value + "\"" : std::string("-");
  };
  return std::string("command=") + (p.command ? CommandName(*p.command) : "-") +
         " watch=" + text(p.watch) + " watch-out=" + text(p.watchOut) + " list=" + text(p.list) +
         " out=" + text(p.out) + " plugins=" + text(p.plugins) + " yes=" + std::to_string(p.yes) +
         " pace=" + std::to_string(p.pace) +
         " hold-at=" + (p.holdAt ? std::to_string(*p.holdAt) : "-") +
         " help=" + std::to_string(p.help) + " version=" + std::to_string(p.version);
}

TEST(X9hostOptions, EachAcceptedCommandLineComesToWhatItSays) {
  const struct {
    std::vector<std::string> args;
    Parsed parsed;
  } accepted[] = {
      {{"--out=a.gpx", "--yes", "download-all", "--watch", "w.gpx", "--pace", "25"},
       {.command = Command::kDownloadAll,
        .watch = "w.gpx",
        .out = "a.gpx",
        .yes = true,
        .pace = 25}},
      {{"download-tracks", "--watch-out", "after.gpx"},
       {.command = Command::kDownloadTracks, .watchOut = "after.gpx"}},
      {{"--list=l.gpx", "download-routes", "--pace=0", "--hold-at", "100"},
       {.command = Command::kDownloadRoutes, .list = "l.gpx", .holdAt = 100}},
      {{"download-waypoints", "--out", "-"}, {.command = Command::kDownloadWaypoints, .out = "-"}},
      // A value is the next word, whatever it looks like.
      {{"upload-routes", "--list", "--yes"}, {.command = Command::kUploadRoutes, .list = "--yes"}},
      {{"--out", "a=b.gpx", "download-all"}, {.command = Command::kDownloadAll, .out = "a=b.gpx"}},
      {{"--out=a=b.gpx", "download-all"}, {.command = Command::kDownloadAll, .out = "a=b.gpx"}},
      // Flags may be repeated; "--" ends the options.
      {{"--yes", "--yes", "--out", "o.gpx", "--", "download-routes"},
       {.command = Command::kDownloadRoutes, .out = "o.gpx", .yes = true}},
      {{"about", "--plugins", "p", "--yes"},
       {.command = Command::kAbout, .plugins = "p", .yes = true}},
      {{"--help"}, {.help = true}},
      {{"-h", "-h"}, {.help = true}},
      {{"--version"}, {.version = true}},
      {{"--help", "download-all"}, {.command = Command::kDownloadAll, .help = true}},
  };
  for (const auto& c : accepted) {
    SCOPED_TRACE(Joined(c.args));
    const Options o = ParseOptions(c.args);
    const Parsed parsed{o.command, o.watchFile, o.watchOut, o.listFile,
                        o.outFile, o.pluginDir, o.yes,      o.paceMilliseconds,
                        o.holdAt,  o.help,      o.version};
    EXPECT_EQ(Described(parsed), Described(c.parsed));
  }
}

// Every command is typed as --help lists it and sends the flag word the docs give for it; the
// version is the one the docs show.
TEST(X9hostOptions, CommandsAndVersionAreWhatHelpAndTheDocsSay) {
  const std::string usage = UsageText();
  const std::string docs = ReadText(fs::path(X9HOST_SOURCE_DIR) / "docs" / "x9host.md");
  std::vector<unsigned> flagWords;
  for (const Command command : Commands()) {
    const std::string name = CommandName(command);
    SCOPED_TRACE(name);
    EXPECT_EQ(ParseOptions({name}).command, command);
    EXPECT_NE(usage.find("\n  " + name + " "), std::string::npos);
    const unsigned flags = RequestFlags(command);
    if (command == Command::kAbout) {
      EXPECT_EQ(flags, 0u);
      continue;
    }
    char documented[64];
    std::snprintf(documented, sizeof documented, "| `%s` | 0x%02X", name.c_str(), flags);
    EXPECT_NE(docs.find(documented), std::string::npos) << documented;
    for (const unsigned other : flagWords)
      EXPECT_NE(flags, other);
    flagWords.push_back(flags);
  }
  EXPECT_EQ(flagWords.size() + 1, Commands().size());
  // And --version says what the docs say it says.
  EXPECT_NE(docs.find("`" + VersionText() + "`"), std::string::npos) << VersionText();
}

}  // namespace
