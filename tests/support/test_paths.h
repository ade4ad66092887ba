// Where the build put the plug-in directory, found from the test program's own path so that it
// works natively and under wine alike.
#pragma once

#include <string>

namespace x9test {

// The directory holding this program.
std::string ProgramDirectory();
// build/<preset>/plugins, with the platform's separator and no trailing one.
std::string PluginDirectory();
// build/<preset>/plugins-missing: a watch library without GetSettings.
std::string MissingEntryPluginDirectory();

}  // namespace x9test
