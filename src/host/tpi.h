// The host's services to plug-ins. On Windows they are imported from PluginIf.dll by
// undecorated name (see PluginIf.def); on POSIX they stay undefined in the module and are
// bound to the loading process's definitions. The request bits of the callback's flag word are
// part of the same contract and written here once, for the module, its tools and the tests.
#pragma once

#include <cstdint>

#include "host/records.h"
#include "platform/abi.h"

extern "C" {

using TransferCallbackFn = long(X9_STDCALL*)(int, unsigned, long);

int X9_STDCALL TPI_GetVersion(void);
unsigned X9_STDCALL TPI_AddGpsProtocol(unsigned pluginId, TransferCallbackFn callback,
                                       const char* protocolName, tagGPSPROTOCOLINFO* info);
void X9_STDCALL TPI_GetPluginDir(char* buffer260);
void* X9_STDCALL TPI_GetGarminUplist(void);
int X9_STDCALL TPI_Pump(void);
void X9_STDCALL TPI_ShowAllDataGarminUplist(unsigned listKind);
int X9_STDCALL TPI_GetTrackCountGpsProtocol(void);
int X9_STDCALL TPI_GetStatGpsProtocol(int setIndex, tagGPSDBHEADER* header);
void X9_STDCALL TPI_SetStatGpsProtocol(int setIndex, tagGPSDBHEADER* header);
int X9_STDCALL TPI_GetItemCountGpsProtocol(int setIndex);
int X9_STDCALL TPI_GetItemGpsProtocol(int setIndex, int itemIndex, tagGPSDBITEM* item);
int X9_STDCALL TPI_AddDataTrackGpsProtocol(tagGPSDBHEADER* header);
int X9_STDCALL TPI_AddDataItemGpsProtocol(int setIndex, tagGPSDBITEM* item);
void X9_STDCALL TPI_ConvertDatum(tagGPSDBITEM* source, tagGPSDBITEM* destination, int fromDatum,
                                 int toDatum);

}  // extern "C"

namespace x9 {

// Request bits of the flag word the host passes to the protocol's callback. Bit 0x08 and the
// bits above 0x40 carry no request.
enum TransferFlags : unsigned {
  kFlagDownloadWaypoints = 0x01,
  kFlagDownloadTracks = 0x02,
  kFlagDownloadRoutes = 0x04,
  kFlagNotImplemented = 0x10,
  kFlagNotForThisDevice = 0x20,
  kFlagUploadRoutes = 0x40,
};

// Waypoints, routes and tracks in one request: one question, three stages.
inline constexpr unsigned kFlagDownloadAll =
    kFlagDownloadWaypoints | kFlagDownloadTracks | kFlagDownloadRoutes;

}  // namespace x9
