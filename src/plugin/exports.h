// The module's exports, with C linkage and the names the host looks up.
#pragma once

#include <cstdint>

#include "host/records.h"
#include "platform/abi.h"

extern "C" {
X9_EXPORT int X9_STDCALL Init(PluginInfo* info, uint32_t pluginId);
X9_EXPORT int Load(void);
X9_EXPORT int Close(void);
X9_EXPORT void Release(void);
X9_EXPORT int About(void);
}
