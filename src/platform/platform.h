// The only interface between the product and the operating system. Windows and POSIX each
// implement it in their own folder; nothing else includes a system header.
#pragma once

#include <memory>

namespace x9 {
class UserInterface;
}

namespace x9::platform {

// --- Libraries ---------------------------------------------------------------------------------
using LibraryHandle = void*;
// Loads by path (Shift-JIS on Windows, passed to LoadLibraryA); null when it cannot be loaded.
LibraryHandle LoadLibraryByPath(const char* path);
void* FindSymbol(LibraryHandle library, const char* name);  // null when missing
void UnloadLibrary(LibraryHandle library);

// The separator JoinPath puts between directory and file name ('\\' on Windows, '/' on POSIX).
char PathSeparator();

// --- Time ----------------------------------------------------------------------------------------
void PauseMilliseconds(unsigned milliseconds);  // blocks; handles no messages

// The runtime library's zone values after tzset: UTC minus local standard time in seconds, and
// whether the zone has a daylight-saving rule.
struct ZoneValues {
  long timezoneSeconds;
  int daylight;
};
ZoneValues ReadZoneValues();

// --- User interface --------------------------------------------------------------------------
// The real message boxes and progress windows of this platform.
UserInterface& NativeUserInterface();

// The module's own instance handle (Windows: from DllMain), so dialog templates can be found.
void SetModuleInstance(void* instance);
void* ModuleInstance();

}  // namespace x9::platform
