// x9host's command line.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace x9host {

struct Options {
  std::string command;  // download-all, ..., about
  unsigned flags = 0;   // the request's flag word; 0 for about
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
// missing or malformed value, or a missing or second command.
Options ParseOptions(const std::vector<std::string>& args);

std::string UsageText();

// "x9host " and the project's version, which the build gives (X9_VERSION).
std::string VersionText();

}  // namespace x9host
