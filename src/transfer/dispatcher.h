// The protocol the module registers with the host, and the callback that turns each host
// request into transfers.
#pragma once

#include <cstdint>

#include "platform/abi.h"

namespace x9 {

// Request bits of the callback's flag word.
enum TransferFlags : unsigned {
  kFlagDownloadWaypoints = 0x01,
  kFlagDownloadTracks = 0x02,
  kFlagDownloadRoutes = 0x04,
  kFlagNotImplemented = 0x10,
  kFlagNotForThisDevice = 0x20,
  kFlagUploadRoutes = 0x40,
};

inline constexpr char kProtocolName[] = "SUUNTO X9";

// The id the host gave Init; Load hands it back when it registers the protocol.
extern uint32_t g_hostPluginId;

// Registers "SUUNTO X9" and TransferCallback with the host.
void RegisterProtocol();

}  // namespace x9

extern "C" long X9_STDCALL TransferCallback(int unused1, unsigned flags, long unused2);
