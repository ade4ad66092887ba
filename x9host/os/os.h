// What x9host needs from the operating system: the command line and the console, paths and
// files, loading a library; and the output transaction (transaction.h). os_posix.cpp and
// os_win32.cpp implement it, os_common.cpp what both share. Paths are UTF-8 throughout.
#pragma once

#include "os/transaction.h"
#include "platform/platform.h"

#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace x9host::os {

// The command line in UTF-8, without the program name.
std::vector<std::string> Arguments(int argc, char** argv);

// Lets UTF-8 reach the terminal (Windows consoles need to be told).
void PrepareConsole();
// Writes UTF-8 text to stream: as it is to a file or a pipe; to a Windows console as UTF-16,
// which shows Japanese whatever the console's code page.
void Print(std::FILE* stream, std::string_view text);

std::string ProgramDirectory();
std::string JoinPath(const std::string& directory, const std::string& name);
// Absolute and normalised; the path need not exist.
std::string FullPath(const std::string& path);
std::string ParentDirectory(const std::string& path);
bool IsDirectory(const std::string& path);
bool IsFile(const std::string& path);
// What a name is looked up as: a directory, or a file (anything but a directory).
enum class LookUpAs { kDirectory, kFile };
// Why path cannot be used as what it is looked up as, in the system's words: it cannot be looked
// up ("Permission denied", "Too many levels of symbolic links"), or it is there as the other
// kind ("Not a directory", "Is a directory"). Empty when it is what is wanted or simply is not
// there (no such file or directory), which the caller words itself.
std::string LookUpFailure(const std::string& path, LookUpAs as);

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

// TZ's value when it is set, not empty, and the C library cannot read it as meant. POSIX: it
// names neither a zone file where the C library looks for one (an absolute path, else under
// TZDIR or the system's zoneinfo; a leading ':' aside) nor a POSIX rule ("JST-9",
// "<+0530>-5:30"), and the C library reads every time as UTC without a word. Windows: it is not
// the C runtime's own form (three letters, the hours behind UTC, three letters more for summer
// time: "JST-9", "EST5EDT"), which the runtime would read as something else without a word
// (TZ=Asia/Tokyo is UTC with the United States' summer time).
std::optional<std::string> UnknownTimeZone();

// Before the first time is read: makes the C library read times in a zone x9host can name, and
// returns the warning that says which when TZ is not read as it is (nullopt when it is, or is
// not set). POSIX: UTC, as the C library does; Windows: the zone Windows is set to (TZ is
// removed from the C runtime's environment).
std::optional<std::string> SettleTimeZone();

// Why no window can be made here, as the line that refuses the request; nullopt when one can.
// The module asks its question and shows its progress and messages in windows: without them
// (no desktop; under Wine, no X display) it would run nothing and say nothing. Always nullopt on
// POSIX, where the terminal stands in for them.
std::optional<std::string> NoWindows();

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
