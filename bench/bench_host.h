// A host and a watch for measuring the transfers: the 14 host services over a transfer list
// whose storage is allocated before the clock starts, and a device table that fills records
// from memory. Both do a small, constant amount of work per call, so what the measurements show
// is the module's own cost.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "device/device_api.h"
#include "device/records.h"
#include "host/records.h"

namespace x9bench {

// --- Host ----------------------------------------------------------------------------------------

// Texts the host keeps: every text the module hands over fits in a slot (19 bytes of device
// name, "No. -2147483648", "Segment: -2147483648").
inline constexpr size_t kTextSlot = 24;
using TextSlot = std::array<char, kTextSlot>;

struct StoredSet {
  tagGPSDBHEADER header;
  TextSlot name;
  uint64_t firstItem;  // items of a set are contiguous in the item store
  uint64_t itemCount;
};

// The transfer list. Items must be appended to the newest set that has items, which is what
// every transfer does; anything else stops the program.
class HostStore {
 public:
  // Allocates and touches storage for this many sets and items; empties the list (set 0, the
  // waypoint set, is always there).
  void Reserve(size_t sets, size_t items);
  void Clear();

  int AddSet(const tagGPSDBHEADER& header);
  int AddItem(int setIndex, const tagGPSDBITEM& item);

  size_t SetCount() const { return setCount_; }
  // What TPI_GetTrackCountGpsProtocol reports: all sets, or only the first `limit` of them, so
  // one list can serve uploads of two sizes measured side by side. 0 lifts the limit.
  void ShowOnlyFirstSets(size_t limit) { shownSets_ = limit; }
  size_t ShownSetCount() const {
    return shownSets_ != 0 && shownSets_ < setCount_ ? shownSets_ : setCount_;
  }
  uint64_t ItemCount() const { return itemCount_; }
  StoredSet& Set(size_t index) { return sets_[index]; }
  const tagGPSDBITEM& Item(uint64_t index) const { return items_[index]; }
  const char* ItemName(uint64_t index) const { return names_[index].data(); }
  const char* ItemIdent(uint64_t index) const { return idents_[index].data(); }

 private:
  std::vector<StoredSet> sets_;
  std::vector<tagGPSDBITEM> items_;
  std::vector<TextSlot> names_;
  std::vector<TextSlot> idents_;
  size_t setCount_ = 0;
  size_t shownSets_ = 0;
  uint64_t itemCount_ = 0;
};

HostStore& Host();

// --- Watch ---------------------------------------------------------------------------------------

struct FakeWatch {
  std::vector<x9::TrackHeader> trackHeaders;
  std::vector<uint64_t> trackFirstPoint;
  std::vector<x9::TrackPoint> trackPoints;
  std::vector<x9::RouteHeader> routeHeaders;
  std::vector<uint64_t> routeFirstPoint;
  std::vector<x9::RoutePoint> routePoints;
  // Where PutRoute copies a route, as the watch would store it; sized for the largest route.
  std::vector<x9::RoutePoint> putSink;
  uint64_t routesPut = 0;
  uint64_t routesDeleted = 0;
};

FakeWatch& Watch();

// The device table over Watch(), handed to the transfers measured.
const x9::DeviceApi& FakeDevice();

// Installs a user interface that shows nothing, no settle pause, and the zone of the process
// (TZ) as Init would capture it.
void InstallFakes();

// Message boxes shown since InstallFakes; a transfer measured here must show none.
int MessageBoxesShown();

// Calls of operator new in this process so far: with the working buffers' count, what a transfer
// allocates, which must not grow with its points.
uint64_t NewCalls();

// Watches and host lists of the measured cases. Points vary from one to the next as recorded
// ones do: a fix every few seconds, moving coordinates, values in every field.
void BuildTrackWatch(int tracks, int pointsPerTrack);
// routes of pointsPerRoute points, then one MYPOINTS route of waypoints points.
void BuildRouteWatch(int routes, int pointsPerRoute, int waypoints);
// Route sets (after the waypoint set 0) in the host's list, and watchRoutes routes on the
// watch whose names differ from every set's.
void BuildUploadSource(int sets, int pointsPerSet, int watchRoutes);

// The exact bytes a download must hold, computed from the counts alone: the headers and points
// read from the watch and, for tracks, the points' names. The records handed to the host are not
// among them: one is reused for every point.
uint64_t TrackDownloadExactBytes(const std::vector<x9::TrackHeader>& headers);
uint64_t RouteDownloadExactBytes(const std::vector<x9::RouteHeader>& headers, bool waypoints);

}  // namespace x9bench
