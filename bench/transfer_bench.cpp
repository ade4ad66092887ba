// The transfers over a large watch and a large transfer list, the conversions they make per
// point, and the floor: the copying that any implementation has to do for the same points.
//
// Every case reports its point count per iteration ("points"); time per point is the
// iteration's real time divided by it. Downloads and uploads also report the peak of the
// module's working buffers ("peak_bytes"), the exact size of the buffers the transfer needs,
// computed from the counts alone ("exact_bytes"), and how many allocations one transfer makes
// ("allocations"). The paired upload case reports the times of its two sizes ("base_ns",
// "doubled_ns"). tools/bench.sh turns the medians into the summary.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "bench_host.h"
#include "device/device_api.h"
#include "host/convert.h"
#include "host/tpi.h"
#include "transfer/allocation.h"
#include "transfer/transfers.h"

namespace {

using namespace x9bench;

constexpr int kTracks = 1000;
constexpr int kPointsPerTrack = 1000;
constexpr int kRoutes = 1000;
constexpr int kPointsPerRoute = 200;
constexpr int kWaypoints = 200000;
constexpr int kUploadSets = 1000;
constexpr int kUploadPoints = 200;
constexpr int kWatchRoutesForUpload = 100;

enum class Prepared { kNone, kTracks, kRoutes, kUpload };
Prepared g_prepared = Prepared::kNone;
int g_uploadSets = 0, g_uploadPoints = 0;

void PrepareTracks() {
  if (g_prepared == Prepared::kTracks) return;
  BuildTrackWatch(kTracks, kPointsPerTrack);
  Host().Reserve(static_cast<size_t>(kTracks) + 1,
                 static_cast<size_t>(kTracks) * static_cast<size_t>(kPointsPerTrack));
  g_prepared = Prepared::kTracks;
}

void PrepareRoutes() {
  if (g_prepared == Prepared::kRoutes) return;
  BuildRouteWatch(kRoutes, kPointsPerRoute, kWaypoints);
  const size_t points = static_cast<size_t>(kRoutes) * static_cast<size_t>(kPointsPerRoute);
  Host().Reserve(static_cast<size_t>(kRoutes) + 1, points > kWaypoints ? points : kWaypoints);
  g_prepared = Prepared::kRoutes;
}

// A host list whose first `sets` route sets (after the waypoint set) have `points` points each.
// Lists of 200-point sets are made with at least twice the base number of sets, and smaller
// uploads see only their first sets, so that the base and the doubled upload read the same data.
void PrepareUpload(int sets, int points) {
  if (g_prepared != Prepared::kUpload || g_uploadPoints != points || g_uploadSets < sets) {
    const int build = points == kUploadPoints ? std::max(sets, 2 * kUploadSets) : sets;
    BuildUploadSource(build, points, kWatchRoutesForUpload);
    g_prepared = Prepared::kUpload;
    g_uploadSets = build;
    g_uploadPoints = points;
  }
  Host().ShowOnlyFirstSets(static_cast<size_t>(sets) + 1);
}

uint64_t TrackPointTotal() {
  uint64_t total = 0;
  for (const x9::TrackHeader& header : Watch().trackHeaders)
    total += static_cast<uint64_t>(header.pointCount);
  return total;
}

// Every case reports the same counters (the CSV output needs that); peak, exact and allocations
// (per transfer: working buffers and operator new) are 0 for a case that runs no transfer.
void ReportCounters(benchmark::State& state, uint64_t points, uint64_t peak = 0, uint64_t exact = 0,
                    uint64_t allocations = 0, double baseNs = 0, double doubledNs = 0) {
  state.counters["points"] = static_cast<double>(points);
  state.counters["allocations"] = static_cast<double>(allocations);
  state.counters["peak_bytes"] = static_cast<double>(peak);
  state.counters["exact_bytes"] = static_cast<double>(exact);
  state.counters["base_ns"] = baseNs;
  state.counters["doubled_ns"] = doubledNs;
}

// What the host holds after a track download: one set per track, every point with its name.
bool TrackListIsComplete(uint64_t total) {
  const HostStore& host = Host();
  if (host.ItemCount() != total || host.SetCount() != Watch().trackHeaders.size() + 1) return false;
  uint64_t k = 0;
  char expected[32];
  for (const x9::TrackHeader& header : Watch().trackHeaders) {
    for (int d = 0; d < header.pointCount; ++d, ++k) {
      std::snprintf(expected, sizeof expected, "No. %d", d + 1);
      if (std::strcmp(host.ItemName(k), expected) != 0) return false;
      const x9::TrackPoint& p = Watch().trackPoints[k];
      if (host.Item(k).latitude != x9::DegreesFromDevice(p.latitude)) return false;
    }
  }
  return true;
}

// --- 1. Track download ---------------------------------------------------------------------------

void track_download(benchmark::State& state) {
  InstallFakes();
  PrepareTracks();
  const uint64_t total = TrackPointTotal();
  uint64_t peak = 0, allocations = 0;
  for (auto _ : state) {
    Host().Clear();
    x9::AllocationControl::Reset();
    const uint64_t news = NewCalls();
    if (x9::DownloadTracks(FakeDevice()) != 1) state.SkipWithError("the download failed");
    peak = x9::AllocationControl::PeakBytes();
    allocations = NewCalls() - news + static_cast<uint64_t>(x9::AllocationControl::Count());
  }
  if (!TrackListIsComplete(total) || MessageBoxesShown() != 0) {
    state.SkipWithError("the host's list is not what the watch held");
  }
  ReportCounters(state, total, peak, TrackDownloadExactBytes(Watch().trackHeaders), allocations);
}
BENCHMARK(track_download)->Unit(benchmark::kMillisecond)->UseRealTime();

// --- 5. The floor, for the same points -----------------------------------------------------------

// Reads every point into one buffer, then builds each host record (the two coordinate
// multiplications) and hands it with its name to the same host store. Names and set names are
// ready-made texts: the floor does no formatting and no time conversion. Kept out of line, so
// that a profile can tell it from the preparation.
[[gnu::noinline]] void CopyTrackPoints(const std::vector<x9::TrackHeader>& headers, uint64_t total,
                                       const std::vector<TextSlot>& names,
                                       const std::vector<TextSlot>& setNames) {
  x9::WorkingBuffer<x9::TrackPoint> points;
  if (!points.Allocate(total)) std::abort();
  uint64_t filled = 0;
  for (size_t j = 0; j < headers.size(); ++j) {
    FakeDevice().GetTrackPoints(static_cast<int>(j) + 1, &points[filled]);
    filled += static_cast<uint64_t>(headers[j].pointCount);
  }
  uint64_t k = 0;
  tagGPSDBITEM item{};
  item.size = sizeof item;
  for (size_t j = 0; j < headers.size(); ++j) {
    tagGPSDBHEADER header{};
    header.size = sizeof header;
    header.name = setNames[j].data();
    const int setIndex = TPI_AddDataTrackGpsProtocol(&header);
    for (int d = 0; d < headers[j].pointCount; ++d, ++k) {
      item.name = names[static_cast<size_t>(d)].data();
      item.latitude = static_cast<double>(points[k].latitude) * 1e-7;
      item.longitude = static_cast<double>(points[k].longitude) * 1e-7;
      TPI_AddDataItemGpsProtocol(setIndex, &item);
    }
  }
}

void track_floor(benchmark::State& state) {
  InstallFakes();
  PrepareTracks();
  const uint64_t total = TrackPointTotal();
  const std::vector<x9::TrackHeader>& headers = Watch().trackHeaders;
  int longest = 0;
  for (const x9::TrackHeader& header : headers)
    longest = std::max(longest, header.pointCount);
  std::vector<TextSlot> names(static_cast<size_t>(longest));
  for (int d = 0; d < longest; ++d)
    std::snprintf(names[static_cast<size_t>(d)].data(), kTextSlot, "No. %d", d + 1);
  std::vector<TextSlot> setNames(headers.size());
  for (size_t j = 0; j < headers.size(); ++j)
    std::snprintf(setNames[j].data(), kTextSlot, "Segment: %d", static_cast<int>(j) + 1);

  for (auto _ : state) {
    Host().Clear();
    CopyTrackPoints(headers, total, names, setNames);
  }
  if (!TrackListIsComplete(total)) state.SkipWithError("the floor did not copy every point");
  ReportCounters(state, total);
}
BENCHMARK(track_floor)->Unit(benchmark::kMillisecond)->UseRealTime();

// For reading the figures, not a floor: obtaining the download's own buffers (headers, points,
// names, at their exact sizes) fresh from the allocator and writing each byte once. On a
// virtual machine most of it is the kernel handing out zeroed pages.
void track_buffers(benchmark::State& state) {
  PrepareTracks();
  const std::vector<x9::TrackHeader>& headers = Watch().trackHeaders;
  const uint64_t total = TrackPointTotal();
  const uint64_t nameBytes = TrackDownloadExactBytes(headers) -
                             headers.size() * sizeof(x9::TrackHeader) -
                             total * sizeof(x9::TrackPoint);
  for (auto _ : state) {
    x9::WorkingBuffer<x9::TrackPoint> points;
    x9::WorkingBuffer<x9::TrackHeader> trackHeaders;
    x9::WorkingBuffer<char> names;
    if (!trackHeaders.Allocate(headers.size()) || !points.Allocate(total) ||
        !names.Allocate(nameBytes)) {
      state.SkipWithError("no memory");
      break;
    }
    std::memset(static_cast<void*>(trackHeaders.data()), 1,
                headers.size() * sizeof(x9::TrackHeader));
    std::memset(static_cast<void*>(points.data()), 1, total * sizeof(x9::TrackPoint));
    std::memset(names.data(), 1, nameBytes);
    benchmark::ClobberMemory();
  }
  ReportCounters(state, total);
}
BENCHMARK(track_buffers)->Unit(benchmark::kMillisecond)->UseRealTime();

// --- 2. Route and waypoint downloads
// --------------------------------------------------------------

void RouteDownload(benchmark::State& state, bool waypoints) {
  InstallFakes();
  PrepareRoutes();
  const uint64_t exact = RouteDownloadExactBytes(Watch().routeHeaders, waypoints);
  const uint64_t expected =
      waypoints ? kWaypoints : static_cast<uint64_t>(kRoutes) * kPointsPerRoute;
  uint64_t peak = 0, allocations = 0;
  for (auto _ : state) {
    Host().Clear();
    x9::AllocationControl::Reset();
    const uint64_t news = NewCalls();
    const int result =
        waypoints ? x9::DownloadWaypoints(FakeDevice()) : x9::DownloadRoutes(FakeDevice());
    if (result != 1) state.SkipWithError("the download failed");
    peak = x9::AllocationControl::PeakBytes();
    allocations = NewCalls() - news + static_cast<uint64_t>(x9::AllocationControl::Count());
  }
  const size_t sets = waypoints ? 1 : static_cast<size_t>(kRoutes) + 1;
  if (Host().ItemCount() != expected || Host().SetCount() != sets || MessageBoxesShown() != 0) {
    state.SkipWithError("the host's list is not what the watch held");
  }
  ReportCounters(state, expected, peak, exact, allocations);
}

void route_download(benchmark::State& state) { RouteDownload(state, false); }
void waypoint_download(benchmark::State& state) { RouteDownload(state, true); }
BENCHMARK(route_download)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(waypoint_download)->Unit(benchmark::kMillisecond)->UseRealTime();

// --- 3. Route upload -----------------------------------------------------------------------------

// Arguments: route sets, points per set. The watch holds the same routes in every case.
void route_upload(benchmark::State& state) {
  InstallFakes();
  const int sets = static_cast<int>(state.range(0));
  const int pointsPerSet = static_cast<int>(state.range(1));
  PrepareUpload(sets, pointsPerSet);
  uint64_t peak = 0, allocations = 0;
  uint64_t runs = 0;
  Watch().routesPut = 0;
  for (auto _ : state) {
    x9::AllocationControl::Reset();
    const uint64_t news = NewCalls();
    if (x9::UploadRoutes(FakeDevice()) != 1) state.SkipWithError("the upload failed");
    peak = x9::AllocationControl::PeakBytes();
    allocations = NewCalls() - news + static_cast<uint64_t>(x9::AllocationControl::Count());
    ++runs;
  }
  if (Watch().routesPut != runs * static_cast<uint64_t>(sets) || Watch().routesDeleted != 0 ||
      MessageBoxesShown() != 0) {
    state.SkipWithError("not every set reached the watch");
  }
  ReportCounters(state, static_cast<uint64_t>(sets) * static_cast<uint64_t>(pointsPerSet), peak,
                 static_cast<uint64_t>(pointsPerSet) * sizeof(x9::RoutePoint), allocations);
}
BENCHMARK(route_upload)
    ->Args({kUploadSets, kUploadPoints})
    ->Args({2 * kUploadSets, kUploadPoints})
    ->Args({kUploadSets, 2 * kUploadPoints})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The upload against its size: 1000 route sets of 200 points, then twice the sets and so twice
// the points, the watch's routes the same. The two run one after the other in every iteration,
// so that both meet the same load on a shared machine; base_ns and doubled_ns are their times.
void route_upload_doubling(benchmark::State& state) {
  InstallFakes();
  PrepareUpload(2 * kUploadSets, kUploadPoints);
  double base = 0, doubled = 0;
  uint64_t runs = 0;
  Watch().routesPut = 0;
  using Clock = std::chrono::steady_clock;
  for (auto _ : state) {
    Host().ShowOnlyFirstSets(kUploadSets + 1);
    const Clock::time_point start = Clock::now();
    const int first = x9::UploadRoutes(FakeDevice());
    const Clock::time_point middle = Clock::now();
    Host().ShowOnlyFirstSets(2 * kUploadSets + 1);
    const int second = x9::UploadRoutes(FakeDevice());
    const Clock::time_point end = Clock::now();
    if (first != 1 || second != 1) state.SkipWithError("the upload failed");
    base += std::chrono::duration<double, std::nano>(middle - start).count();
    doubled += std::chrono::duration<double, std::nano>(end - middle).count();
    ++runs;
  }
  if (Watch().routesPut != runs * 3 * kUploadSets || Watch().routesDeleted != 0 ||
      MessageBoxesShown() != 0) {
    state.SkipWithError("not every set reached the watch");
  }
  const double n = runs > 0 ? static_cast<double>(runs) : 1.0;
  ReportCounters(state, 3 * static_cast<uint64_t>(kUploadSets) * kUploadPoints, 0, 0, 0, base / n,
                 doubled / n);
}
BENCHMARK(route_upload_doubling)->Unit(benchmark::kMillisecond)->UseRealTime();

// --- 4. The conversions alone, over the track download's points --------------------------------

void host_time(benchmark::State& state) {
  PrepareTracks();
  InstallFakes();
  const std::vector<x9::TrackPoint>& points = Watch().trackPoints;
  for (auto _ : state) {
    int32_t sum = 0;
    for (const x9::TrackPoint& p : points) {
      sum += x9::HostTimeFromDevice(p.year, p.month, p.day, p.hour, p.minute, p.second);
    }
    benchmark::DoNotOptimize(sum);
  }
  ReportCounters(state, points.size());
}
BENCHMARK(host_time)->Unit(benchmark::kMillisecond)->UseRealTime();

// For comparison: what a calendar conversion per point through the C library costs.
void host_time_mktime(benchmark::State& state) {
  PrepareTracks();
  InstallFakes();
  const std::vector<x9::TrackPoint>& points = Watch().trackPoints;
  for (auto _ : state) {
    int64_t sum = 0;
    for (const x9::TrackPoint& p : points) {
      std::tm fields{};
      fields.tm_year = p.year - 1900;
      fields.tm_mon = p.month - 1;
      fields.tm_mday = p.day;
      fields.tm_hour = p.hour;
      fields.tm_min = p.minute;
      fields.tm_sec = p.second;
      fields.tm_isdst = -1;
      sum += std::mktime(&fields);
    }
    benchmark::DoNotOptimize(sum);
  }
  ReportCounters(state, points.size());
}
BENCHMARK(host_time_mktime)->Unit(benchmark::kMillisecond)->UseRealTime();

void degrees(benchmark::State& state) {
  PrepareTracks();
  const std::vector<x9::TrackPoint>& points = Watch().trackPoints;
  for (auto _ : state) {
    double sum = 0;
    for (const x9::TrackPoint& p : points) {
      sum += x9::DegreesFromDevice(p.latitude) + x9::DegreesFromDevice(p.longitude);
    }
    benchmark::DoNotOptimize(sum);
  }
  ReportCounters(state, points.size());
}
BENCHMARK(degrees)->Unit(benchmark::kMillisecond)->UseRealTime();

// The names of the download's points, "No. 1" .. "No. 1000" in each of the 1000 tracks, packed
// one after the other as the download writes them.
void point_names(benchmark::State& state) {
  std::vector<char> names(static_cast<size_t>(kPointsPerTrack) * x9::kPointNameSize);
  for (auto _ : state) {
    for (int t = 0; t < kTracks; ++t) {
      char* name = names.data();
      for (int d = 0; d < kPointsPerTrack; ++d)
        name += x9::FormatPointName(name, d + 1) + 1;
      benchmark::DoNotOptimize(names.data());
      benchmark::ClobberMemory();
    }
  }
  ReportCounters(state, static_cast<uint64_t>(kTracks) * kPointsPerTrack);
}
BENCHMARK(point_names)->Unit(benchmark::kMillisecond)->UseRealTime();

// For comparison: the same names through snprintf.
void point_names_snprintf(benchmark::State& state) {
  std::vector<char> names(static_cast<size_t>(kPointsPerTrack) * x9::kPointNameSize);
  for (auto _ : state) {
    for (int t = 0; t < kTracks; ++t) {
      char* name = names.data();
      for (int d = 0; d < kPointsPerTrack; ++d) {
        name += std::snprintf(name, x9::kPointNameSize, "No. %d", d + 1) + 1;
      }
      benchmark::DoNotOptimize(names.data());
      benchmark::ClobberMemory();
    }
  }
  ReportCounters(state, static_cast<uint64_t>(kTracks) * kPointsPerTrack);
}
BENCHMARK(point_names_snprintf)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  // The same zone on every machine: one with a daylight-saving rule, as most users have.
  setenv("TZ", "Europe/Berlin", 0);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
