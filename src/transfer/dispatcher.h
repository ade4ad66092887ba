// The protocol the module registers with the host, and the callback that turns each host
// request into transfers.
#pragma once

#include <cstdint>

#include "host/tpi.h"
#include "platform/abi.h"

namespace x9 {

inline constexpr char kProtocolName[] = "SUUNTO X9";

// Registers "SUUNTO X9" and TransferCallback with the host, under the id the host gave Init.
void RegisterProtocol(uint32_t pluginId);

}  // namespace x9

extern "C" long X9_STDCALL TransferCallback(int unused1, unsigned flags, long unused2);
