// A fixture over both simulators: a fresh host list with set 0, an empty watch, the plug-in
// directory of this build, the scripted user interface, and a pump hook that can press Abort.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "device/records.h"
#include "host/records.h"
#include "sim/host/host_sim.h"
#include "sim/watch/watch_sim.h"
#include "support/scripted_ui.h"
#include "transfer/allocation.h"

namespace x9test {

x9::TrackPoint MakeTrackPoint(int year, int month, int day, int hour, int minute, int second,
                              int32_t latitude, int32_t longitude, int32_t altitude,
                              int32_t value36 = 0, uint16_t value40 = 0);
x9::RoutePoint MakeRoutePoint(const char* name, int32_t latitude, int32_t longitude,
                              int32_t altitude);

// Adds a track of pointCount generated points (distinct coordinates and times); the header may
// claim a different count than the points stored.
int AddTrack(int pointCount, int claimedCount = -1);
// Adds a route of pointCount points named "<name>-<n>" with distinct coordinates.
int AddRoute(const std::string& name, int pointCount, int claimedCount = -1);
// Seeds the host with a route set of the given points (route points unless told otherwise).
int AddHostRoute(const char* name, const std::vector<tagGPSDBITEM>& items);
// The names of the watch's routes, in the watch's order.
std::vector<std::string> WatchRouteNames();

tagGPSDBITEM MakeHostItem(const char* ident, double latitude, double longitude, double altitude,
                          uint8_t kind = x9::kListRoutes, uint8_t datum = 0);

class SimFixture : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Calls the module's callback as the host would.
  long Request(unsigned flags);

  // Presses Abort during the pump-th call of TPI_Pump (1-based); 0 never.
  void AbortAtPump(int pump) { abortAtPump_ = pump; }
  int Pumps() const { return pumps_; }

  std::vector<unsigned> Refreshes() const;    // kinds passed to TPI_ShowAllDataGarminUplist
  std::vector<std::string> WatchLog() const;  // the watch's call log, one entry per call
  std::vector<std::string> HostItemNames(int set) const;
  // True when x9.dll was unloaded as often as it was loaded.
  bool WatchLibraryReleased() const { return X9Watch_LoadCount() == X9Watch_UnloadCount(); }

  ScriptedUi ui;

 private:
  static void OnPump(void* self);
  int abortAtPump_ = 0;
  int pumps_ = 0;
};

}  // namespace x9test
