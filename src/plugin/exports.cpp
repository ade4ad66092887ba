#include "plugin/exports.h"

#include <cstring>
#include <new>
#include <string>

#include "host/convert.h"
#include "host/tpi.h"
#include "platform/platform.h"
#include "transfer/dispatcher.h"
#include "ui/messages.h"
#include "ui/user_interface.h"

namespace x9 {
namespace {

constexpr int kMinimumHostVersion = 8600;
constexpr char kPluginName[] = "SUUNTO Protocol Plugin";
constexpr char kPluginVersion[] = "0.1.0";
constexpr char kPluginNotice[] =
    "Moves tracks, routes and waypoints between the transfer list and the watch.";

static_assert(sizeof kPluginName <= sizeof PluginInfo{}.name);
static_assert(sizeof kPluginNotice <= sizeof PluginInfo{}.notice);

// The id the host gave Init; Load hands it back when it registers the protocol.
uint32_t g_hostPluginId = 0;

int InitImpl(PluginInfo* info, uint32_t pluginId) {
  g_hostPluginId = pluginId;
  if (TPI_GetVersion() < kMinimumHostVersion) {
    ShowText(kTooOldHostText, kStyleInformation);
    return 0;
  }
  // Every byte after each terminated text is zero.
  std::memset(info, 0, sizeof *info);
  info->size = sizeof *info;
  std::memcpy(info->name, kPluginName, sizeof kPluginName);
  std::memcpy(info->version, kPluginVersion, sizeof kPluginVersion);
  std::memcpy(info->notice, kPluginNotice, sizeof kPluginNotice);
  info->value276 = 0;

  g_clockAdjust = ClockAdjustFromZone(platform::ReadZoneValues());
  return 1;
}

void LoadImpl() { RegisterProtocol(g_hostPluginId); }

int AboutImpl() {
  const std::string text = std::string("SUUNTO Protocol Plugin [Ver 0.1.0] ") + kPluginNotice;
  return ShowText(text.c_str(), kStyleInformation);
}

}  // namespace
}  // namespace x9

// No exception may unwind into the host: each export answers failure instead.
extern "C" int X9_STDCALL Init(PluginInfo* info, uint32_t pluginId) {
  try {
    return x9::InitImpl(info, pluginId);
  } catch (...) {
    return 0;
  }
}

extern "C" int Load(void) {
  try {
    x9::LoadImpl();
  } catch (...) {
  }
  return 1;
}

extern "C" int Close(void) { return 1; }

extern "C" void Release(void) {}

extern "C" int About(void) {
  try {
    return x9::AboutImpl();
  } catch (...) {
    return 0;
  }
}
