// What x9host needs from the operating system; host_platform_posix.cpp and
// host_platform_win32.cpp implement it. Paths are UTF-8 throughout.
#pragma once

#include <string>
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
// Writes a temporary file beside path and renames it over path, so that readers see the old
// file or the whole new one, never a part. Throws InputError.
void WriteFileAtomically(const std::string& path, const std::string& bytes);

// The loaded module. Throws InputError with the system's reason when it cannot be loaded.
void* LoadModule(const std::string& path);
void* ModuleSymbol(void* module, const char* name);
void UnloadModule(void* module);

// The directory as the module receives it from TPI_GetPluginDir (the ANSI code page on
// Windows). Throws InputError when it cannot be expressed there.
std::string HostDirectoryText(const std::string& directory);

// Every question the module asks is answered Yes from now on: on POSIX the module's terminal
// questions read standard input, which is given enough "y" lines; on Windows a CBT hook clicks
// Yes (or OK) in every message box as it opens, and reports its text on stderr.
void AnswerEveryQuestionYes(int questions);

void PauseMilliseconds(int milliseconds);

// Called at every TPI_Pump: when the progress window's bar has reached percent, keeps the
// window on screen for seconds, handling its messages (Windows only; false elsewhere).
bool HoldSupported();
void HoldProgressWindowAt(int percent, int seconds);

}  // namespace x9host::platform
