// Windows implementation of the platform layer's libraries, pause and time-zone values; the
// user interface is in user_interface_win32.cpp. Only this folder's code is Windows-specific.

#include <time.h>

#include "platform/platform.h"
#include "platform/win32/windows_support.h"

namespace x9::platform {

namespace {
HINSTANCE g_instance = nullptr;
}  // namespace

// The directory comes from the host in the system's ANSI code page (Shift-JIS on a Japanese
// system), which is what LoadLibraryA expects: the bytes are passed as they are.
LibraryHandle LoadLibraryByPath(const char* path) {
  return reinterpret_cast<LibraryHandle>(LoadLibraryA(path));
}

void* FindSymbol(LibraryHandle library, const char* name) {
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}

void UnloadLibrary(LibraryHandle library) { FreeLibrary(static_cast<HMODULE>(library)); }

char PathSeparator() { return '\\'; }

void PauseMilliseconds(unsigned milliseconds) { Sleep(milliseconds); }

ZoneValues ReadZoneValues() {
  _tzset();
  return ZoneValues{_timezone, _daylight};
}

void SetModuleInstance(void* instance) { g_instance = static_cast<HINSTANCE>(instance); }

void* ModuleInstance() { return g_instance; }

}  // namespace x9::platform
