// A download of millions of points in one request: what it holds at its peak is what it must
// hold (headers, points, the points' names), not a record per point. A program of its own, so
// that the process's own peak says something too. In the 32-bit build this is the address
// space the host shares with the map application.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "device/device_api.h"
#include "host/convert.h"
#include "support/sim_fixture.h"
#include "transfer/allocation.h"
#include "transfer/transfers.h"

#if defined(_WIN32)
#include "platform/win32/windows_support.h"
#else
#include <unistd.h>

#include <fstream>
#endif

namespace {

constexpr int kTracks = 1000;
constexpr int kPointsPerTrack = 4000;
constexpr uint64_t kPoints = uint64_t{kTracks} * kPointsPerTrack;

// The watch: every point made on request, nothing stored.
int32_t LatitudeOf(int track, int point) { return 350000000 + track * 4000 + point; }

int X9_STDCALL Zero() { return 0; }
int X9_STDCALL Search(uint64_t) { return 1; }
int X9_STDCALL TrackCount() { return kTracks; }
int X9_STDCALL TrackHeader(int, x9::TrackHeader* header) {
  std::memset(header, 0, sizeof *header);
  header->pointCount = kPointsPerTrack;
  return 1;
}
int X9_STDCALL TrackPoints(int track, x9::TrackPoint* points) {
  for (int i = 0; i < kPointsPerTrack; ++i) {
    x9::TrackPoint p{};
    p.year = 2005;
    p.month = 6;
    p.day = 1 + track % 28;
    p.hour = 10 + i / 3600;
    p.minute = i / 60 % 60;
    p.second = i % 60;
    p.latitude = LatitudeOf(track, i);
    p.longitude = 1390000000 - i;
    p.altitude = i % 3000;
    std::memcpy(points + i, &p, sizeof p);  // misaligned every other record
  }
  return 1;
}
int X9_STDCALL RouteCount() { return 0; }
int X9_STDCALL RouteHeader(int, x9::RouteHeader*) { return -1; }
int X9_STDCALL RoutePoints(int, x9::RoutePoint*) { return -1; }
int X9_STDCALL Put(x9::RouteHeader, const x9::RoutePoint*) { return -1; }
int X9_STDCALL Delete(int) { return -1; }

constexpr x9::DeviceApi kLargeWatch{Zero,        Search,      Zero,       TrackCount,
                                    TrackHeader, TrackPoints, RouteCount, RouteHeader,
                                    RoutePoints, Put,         Delete};

// The memory the process has committed (Windows) or mapped (POSIX) now, in bytes: every
// working buffer counts from its allocation, touched or not.
uint64_t CommittedBytes() {
#if defined(_WIN32)
  uint64_t committed = 0;
  MEMORY_BASIC_INFORMATION region{};
  for (const char* address = nullptr;
       VirtualQuery(address, &region, sizeof region) == sizeof region;
       address = static_cast<const char*>(region.BaseAddress) + region.RegionSize) {
    if (region.State == MEM_COMMIT) committed += region.RegionSize;
    if (static_cast<const char*>(region.BaseAddress) + region.RegionSize < address) break;
  }
  return committed;
#else
  std::ifstream statm("/proc/self/statm");
  uint64_t pages = 0;
  statm >> pages;
  return pages * static_cast<uint64_t>(sysconf(_SC_PAGESIZE));
#endif
}

// Checks each record as the host receives it, keeps nothing. At the first one every buffer of
// the download is held: the process's memory is measured then.
struct Received {
  uint64_t committedAtFirstItem = 0;
  uint64_t items = 0;
  uint64_t wrong = 0;
  int lastSet = -1;
  int pointInSet = 0;
  int setsSeen = 0;
  char expectedName[24] = {};
};

int CheckItem(int setIndex, const tagGPSDBITEM* item, void* context) {
  auto* r = static_cast<Received*>(context);
  if (r->items == 0) r->committedAtFirstItem = CommittedBytes();
  if (setIndex != r->lastSet) {
    r->lastSet = setIndex;
    r->pointInSet = 0;
    ++r->setsSeen;
  }
  ++r->pointInSet;
  std::snprintf(r->expectedName, sizeof r->expectedName, "No. %d", r->pointInSet);
  const int track = r->setsSeen;  // tracks 1.., one set each
  const bool right = item->size == static_cast<int32_t>(sizeof(tagGPSDBITEM)) &&
                     item->kind == x9::kListTracks && item->name != nullptr &&
                     std::strcmp(item->name, r->expectedName) == 0 &&
                     item->latitude == x9::DegreesFromDevice(LatitudeOf(track, r->pointInSet - 1));
  if (!right) ++r->wrong;
  ++r->items;
  return 1;
}

// What the download must hold: the headers, the points, "No. 1" .. "No. 4000" per track.
uint64_t ExactBytes() {
  uint64_t nameBytes = 0;
  for (int d = 1; d <= kPointsPerTrack; ++d)
    nameBytes += std::to_string(d).size() + 5;
  return uint64_t{kTracks} * sizeof(x9::TrackHeader) + kPoints * sizeof(x9::TrackPoint) +
         uint64_t{kTracks} * nameBytes;
}

class LargeDownloadTest : public x9test::SimFixture {};

TEST_F(LargeDownloadTest, FourMillionTrackPointsHoldOnlyWhatTheTransferMust) {
  Received received;
  X9Host_SetItemSink(CheckItem, &received);
  const uint64_t committedBefore = CommittedBytes();

  EXPECT_EQ(x9::DownloadTracks(kLargeWatch), 1);

  X9Host_SetItemSink(nullptr, nullptr);
  EXPECT_EQ(received.items, kPoints);
  EXPECT_EQ(received.wrong, 0u);
  EXPECT_EQ(X9Host_GetSetCount(), kTracks + 1);
  EXPECT_TRUE(ui.boxes.empty());

  // The working buffers at their peak: exactly what must be held (a record per point would add
  // 96 bytes a point: 384 MB here).
  const uint64_t exact = ExactBytes();
  EXPECT_LE(x9::AllocationControl::PeakBytes(), exact + exact / 20)
      << "peak " << x9::AllocationControl::PeakBytes() << ", exact " << exact;
  EXPECT_GE(x9::AllocationControl::PeakBytes(), exact);

  // And the process as a whole, measured outside the allocation seam, grew by that and little
  // more while the host received the points.
  const uint64_t growth = received.committedAtFirstItem - committedBefore;
  // (An allocator may serve part of it from memory it already held, as AddressSanitizer's does.)
  EXPECT_GE(growth, exact / 2) << "the measurement did not see the buffers";
  EXPECT_LE(growth, exact + (uint64_t{64} << 20))
      << "committed before " << committedBefore << ", at the first point "
      << received.committedAtFirstItem;
}

}  // namespace
