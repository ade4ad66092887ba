// Windows-only: the module's entry point. It records the instance handle, so the dialog
// template can be found in this module, and does nothing else: loading or unloading libraries
// under the loader lock can deadlock the host.

#include "platform/platform.h"
#include "platform/win32/windows_support.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID /*reserved*/) {
  if (reason == DLL_PROCESS_ATTACH) x9::platform::SetModuleInstance(instance);
  return TRUE;
}
