// libFuzzer target: a watch, a host list and the user's actions made from the input, and every
// transfer run against them. The watch is a table of fake entry points installed straight into
// the device table (no library is loaded); the host is the host simulator, with a few of its
// services wrapped here to report changing item counts and records it leaves unfilled.
//
// What must hold, checked after every transfer (abort() on a violation, besides every
// sanitizer report):
// - the device library is asked only for records that exist, and points only of a header that
//   announced some; it writes exactly the announced number of records into the storage given
//   (a buffer sized too small is an overrun the address sanitizer reports);
// - a failed or aborted transfer (result 0) leaves the host's list byte for byte as it was, and
//   says why (a message or the Abort button); the upload never changes the host's list;
// - every text handed to the host ends within 20 bytes; every name put on the watch ends in its
//   field, and a route is put with exactly the route points both walks over its set saw filled;
// - no working buffer and no progress window outlives its transfer; the bar stays in 0..100.
#include <dlfcn.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "device/connection.h"
#include "device/device_api.h"
#include "host/convert.h"
#include "host/records.h"
#include "sim/host/host_sim.h"
#include "text/cp932.h"
#include "transfer/allocation.h"
#include "transfer/transfer_steps.h"
#include "transfer/transfers.h"
#include "ui/messages.h"
#include "ui/user_interface.h"

namespace {

void Require(bool condition, const char* what) {
  if (condition) return;
  std::fprintf(stderr, "invariant violated: %s\n", what);
  std::abort();
}

// --- Input ---------------------------------------------------------------------------------------

// Reads the input front to back; past its end every value is 0.
class Input {
 public:
  Input(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  uint8_t U8() { return at_ < size_ ? data_[at_++] : 0; }
  uint32_t U32() {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i)
      v |= static_cast<uint32_t>(U8()) << (8 * i);
    return v;
  }
  int32_t I32() { return static_cast<int32_t>(U32()); }
  double F64() {
    uint64_t bits = 0;
    for (int i = 0; i < 8; ++i)
      bits |= static_cast<uint64_t>(U8()) << (8 * i);
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
  }
  // Mostly small counts, sometimes any 32-bit value (negative and huge included).
  int32_t Count() {
    const uint8_t mode = U8();
    return (mode & 0x80) != 0 ? I32() : (mode & 0x1F);
  }
  // A coordinate: hundredths of a degree most of the time, any bit pattern (NaN, infinities)
  // otherwise.
  double Coordinate() {
    const uint8_t mode = U8();
    if (mode < 0xC0) {
      const uint16_t low = U8();
      return static_cast<int16_t>(low | U8() << 8) / 100.0;
    }
    return F64();
  }
  // Mostly a route (3), otherwise any kind.
  uint8_t Kind() {
    const uint8_t v = U8();
    return v % 4 == 0 ? v >> 2 : x9::kListRoutes;
  }
  std::string Bytes(size_t n) {
    std::string out;
    for (size_t i = 0; i < n; ++i)
      out.push_back(static_cast<char>(U8()));
    return out;
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t at_ = 0;
};

constexpr int kTransfers = 4;  // waypoints, routes, tracks, upload
constexpr int32_t kResults[] = {
    -1, 0, 1, 2, -2, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max(), 100};

// --- The watch ---------------------------------------------------------------------------------

struct Watch {
  std::vector<x9::TrackHeader> tracks;
  std::vector<x9::RouteHeader> routes;  // as the downloads read them; the upload's list changes
  int32_t trackCountReported = 0;
  int32_t routeCountReported = 0;
  std::string pattern;            // the bytes every point record is made of
  bool failedCallsWrite = false;  // a failing call still scribbles over its record
  // results[transfer][call] when the input sets one.
  std::vector<std::pair<int, int32_t>> results[kTransfers];

  // During a transfer.
  int transfer = 0;
  int calls = 0;
  std::vector<bool> headerSeen;
  std::vector<x9::RouteHeader> live;  // the upload's view: deletions and puts applied
};
Watch g_watch;

// The scheduled result of this call, if any.
bool Scheduled(int32_t& result) {
  const int call = g_watch.calls++;
  for (const auto& [at, value] : g_watch.results[g_watch.transfer]) {
    if (at == call) {
      result = value;
      return true;
    }
  }
  return false;
}

template <typename Record>
void FillFromPattern(Record* records, int32_t count, size_t salt) {
  const std::string& p = g_watch.pattern;
  auto* bytes = reinterpret_cast<unsigned char*>(records);
  const size_t total = static_cast<size_t>(count) * sizeof(Record);
  for (size_t i = 0; i < total; ++i)
    bytes[i] = p.empty() ? 0 : static_cast<unsigned char>(p[(i + salt) % p.size()]);
}

int X9_STDCALL FakeGetLibVersion() { return 1; }
int X9_STDCALL FakeSearchOnPorts(uint64_t) { return 1; }
int X9_STDCALL FakeGetSettings() { return 1; }

int X9_STDCALL FakeGetTrackCount() {
  int32_t result = g_watch.trackCountReported;
  Scheduled(result);
  return result;
}

int X9_STDCALL FakeGetTrackHeader(int number, x9::TrackHeader* header) {
  int32_t result = 1;
  const bool scheduled = Scheduled(result);
  if (number < 1 || static_cast<size_t>(number) > g_watch.tracks.size())
    return -1;  // no such track
  if (result == -1 && !g_watch.failedCallsWrite) return -1;
  std::memcpy(header, &g_watch.tracks[static_cast<size_t>(number - 1)], sizeof *header);
  if (result != -1) g_watch.headerSeen[static_cast<size_t>(number - 1)] = true;
  return scheduled ? result : 1;
}

int X9_STDCALL FakeGetTrackPoints(int number, x9::TrackPoint* points) {
  int32_t result = 1;
  Scheduled(result);
  Require(number >= 1 && static_cast<size_t>(number) <= g_watch.tracks.size(),
          "points of a track that does not exist");
  Require(g_watch.headerSeen[static_cast<size_t>(number - 1)],
          "points of a track whose header was not read");
  const int32_t count = g_watch.tracks[static_cast<size_t>(number - 1)].pointCount;
  Require(count > 0, "points of a track that announced none");
  if (result != -1 || g_watch.failedCallsWrite)
    FillFromPattern(points, count, static_cast<size_t>(number));
  return result;
}

int X9_STDCALL FakeGetRouteCount() {
  int32_t result = g_watch.routeCountReported;
  Scheduled(result);
  return result;
}

int X9_STDCALL FakeGetRouteHeader(int number, x9::RouteHeader* header) {
  int32_t result = 1;
  const bool scheduled = Scheduled(result);
  const auto& routes = g_watch.transfer == 3 ? g_watch.live : g_watch.routes;
  if (number < 1 || static_cast<size_t>(number) > routes.size()) return -1;  // no such route
  if (result == -1 && !g_watch.failedCallsWrite) return -1;
  std::memcpy(header, &routes[static_cast<size_t>(number - 1)], sizeof *header);
  if (result != -1 && g_watch.transfer != 3)
    g_watch.headerSeen[static_cast<size_t>(number - 1)] = true;
  return scheduled ? result : 1;
}

int X9_STDCALL FakeGetRoutePoints(int number, x9::RoutePoint* points) {
  int32_t result = 1;
  Scheduled(result);
  Require(g_watch.transfer != 3, "the upload read route points");
  Require(number >= 1 && static_cast<size_t>(number) <= g_watch.routes.size(),
          "points of a route that does not exist");
  Require(g_watch.headerSeen[static_cast<size_t>(number - 1)],
          "points of a route whose header was not read");
  const int32_t count = g_watch.routes[static_cast<size_t>(number - 1)].pointCount;
  Require(count > 0, "points of a route that announced none");
  if (result != -1 || g_watch.failedCallsWrite)
    FillFromPattern(points, count, static_cast<size_t>(number) * 7);
  return result;
}

// --- The host, wrapped ---------------------------------------------------------------------------

// Per route set of the upload: the two walks over its items, told apart by the count call that
// ends a walk (a count no larger than the items read in it).
struct UploadWalk {
  int set = -1;
  int walk = 0;  // 0 the count pass, 1 the fill pass, 2 past both
  int readsInWalk = 0;
  int filledRoutePoints[2] = {0, 0};
  bool headerFilled = false;
  std::string headerName;  // the set's name as filled
};

struct HostWrapping {
  std::vector<int> countAdjustments;  // added to the first item counts reported
  size_t countCalls = 0;
  uint32_t unfilledReads = 0;  // bit i: the i-th item read fills nothing
  size_t itemReads = 0;
  bool fillsNothing = false;  // the host simulator's switch for the whole upload
  bool active = false;        // only during the upload
  UploadWalk walk;
};
HostWrapping g_host;

template <typename Fn>
Fn HostService(const char* name) {
  void* symbol = dlsym(RTLD_NEXT, name);
  Require(symbol != nullptr, "the host simulator's service is missing");
  return reinterpret_cast<Fn>(symbol);
}

}  // namespace

extern "C" int TPI_GetStatGpsProtocol(int setIndex, tagGPSDBHEADER* header) {
  static const auto host = HostService<int (*)(int, tagGPSDBHEADER*)>("TPI_GetStatGpsProtocol");
  const int result = host(setIndex, header);
  if (g_host.active) {
    g_host.walk = UploadWalk{};
    g_host.walk.set = setIndex;
    const tagGPSDBHEADER* stored = X9Host_GetSet(setIndex);
    g_host.walk.headerFilled = stored != nullptr && !g_host.fillsNothing;
    if (g_host.walk.headerFilled && stored->name != nullptr) g_host.walk.headerName = stored->name;
  }
  return result;
}

extern "C" int TPI_GetItemCountGpsProtocol(int setIndex) {
  static const auto host = HostService<int (*)(int)>("TPI_GetItemCountGpsProtocol");
  int64_t count = host(setIndex);
  if (g_host.countCalls < g_host.countAdjustments.size())
    count += g_host.countAdjustments[g_host.countCalls];
  ++g_host.countCalls;
  const int reported = static_cast<int>(count < 0 ? count : count > 100000 ? 100000 : count);
  UploadWalk& walk = g_host.walk;
  if (g_host.active && setIndex == walk.set && walk.walk < 2 && reported <= walk.readsInWalk) {
    ++walk.walk;
    walk.readsInWalk = 0;
  }
  return reported;
}

extern "C" int TPI_GetItemGpsProtocol(int setIndex, int itemIndex, tagGPSDBITEM* item) {
  static const auto host = HostService<int (*)(int, int, tagGPSDBITEM*)>("TPI_GetItemGpsProtocol");
  const size_t read = g_host.itemReads++;
  const bool unfilled = read < 32 && (g_host.unfilledReads >> read & 1) != 0;
  const int result = unfilled ? 1 : host(setIndex, itemIndex, item);
  UploadWalk& walk = g_host.walk;
  if (g_host.active && setIndex == walk.set && walk.walk < 2) {
    ++walk.readsInWalk;
    const tagGPSDBITEM* stored = X9Host_Item(setIndex, itemIndex);
    const bool filled = !unfilled && !g_host.fillsNothing && stored != nullptr;
    if (filled && stored->kind == x9::kListRoutes) ++walk.filledRoutePoints[walk.walk];
  }
  return result;
}

namespace {

int X9_STDCALL FakePutRoute(x9::RouteHeader header, const x9::RoutePoint* points) {
  int32_t result = 1;
  Scheduled(result);
  Require(g_watch.transfer == 3, "a download put a route");
  Require(header.name[19] == 0, "a route name without its zero in the field");
  Require(header.value24 == 0, "a put header with a non-zero value at offset 24");
  const UploadWalk& walk = g_host.walk;
  Require(walk.headerFilled && X9Host_GetSet(walk.set)->kind == x9::kListRoutes,
          "a route put for a set the host did not fill as a route set");
  const int expected = walk.filledRoutePoints[0] < walk.filledRoutePoints[1]
                           ? walk.filledRoutePoints[0]
                           : walk.filledRoutePoints[1];
  Require(header.pointCount == expected,
          "a route put with other than the points both walks saw filled");
  Require(header.pointCount == 0 || points != nullptr, "a route put without its points");
  unsigned sum = 0;
  for (int32_t i = 0; i < header.pointCount; ++i) {
    Require(points[i].name[19] == 0, "a point name without its zero in the field");
    sum += static_cast<unsigned>(points[i].latitude) ^ static_cast<unsigned>(points[i].altitude);
  }
  (void)sum;
  if (result != -1) g_watch.live.push_back(header);
  return result;
}

int X9_STDCALL FakeDeleteRoute(int number) {
  int32_t result = 1;
  Scheduled(result);
  Require(g_watch.transfer == 3, "a download deleted a route");
  Require(number >= 1 && static_cast<size_t>(number) <= g_watch.live.size(),
          "a deletion of a route that does not exist");
  // Only a route of the set's name (as cut for the watch) is deleted, whatever deletions failed
  // or succeeded before.
  const UploadWalk& walk = g_host.walk;
  Require(walk.headerFilled, "a deletion for a set the host did not fill");
  char setName[20];
  x9::CopyNameToDevice(setName, walk.headerName.c_str());
  char routeName[20];
  std::memcpy(routeName, g_watch.live[static_cast<size_t>(number - 1)].name, sizeof routeName);
  x9::TerminateDeviceName(routeName);
  Require(x9::EqualsCp932IgnoringCase(routeName, setName), "a deletion of a route of another name");
  if (result != -1) g_watch.live.erase(g_watch.live.begin() + (number - 1));
  return result;
}

// --- The user ----------------------------------------------------------------------------------

class FuzzWindow final : public x9::ProgressWindow {
 public:
  explicit FuzzWindow(int& open) : open_(open) { ++open_; }
  ~FuzzWindow() override { --open_; }
  void SetBarPosition(int position) override {
    Require(position >= 0 && position <= 100, "the bar left 0..100");
  }

 private:
  int& open_;
};

class FuzzUi final : public x9::UserInterface {
 public:
  int ShowMessageBox(x9::WindowHandle, const char* text, unsigned style) override {
    if (text == x9::MessageText(x9::kMsgConnectionLost) ||
        text == x9::MessageText(x9::kMsgOutOfMemory)) {
      ++failuresTold;
    }
    if ((style & 0x0F) != 0x04) return x9::kAnswerOk;
    const bool yes = (answers >> (questions++ % 8) & 1) != 0;
    return yes ? x9::kAnswerYes : x9::kAnswerNo;
  }
  std::unique_ptr<x9::ProgressWindow> CreateProgressWindow(x9::WindowHandle, const char*, bool,
                                                           int* abortFlag) override {
    if (noWindow) return nullptr;
    this->abortFlag = abortFlag;
    return std::make_unique<FuzzWindow>(openWindows);
  }

  uint8_t answers = 0;
  int questions = 0;
  bool noWindow = false;
  int openWindows = 0;
  int* abortFlag = nullptr;
  int failuresTold = 0;
  int abortAtPump = 0;
  int pumps = 0;
  bool aborted = false;
};
FuzzUi g_ui;

void OnPump(void*) {
  if (++g_ui.pumps == g_ui.abortAtPump && g_ui.abortFlag != nullptr) {
    *g_ui.abortFlag = 1;
    g_ui.aborted = true;
  }
}

// --- The host list -------------------------------------------------------------------------------

struct HostItem {
  tagGPSDBITEM record;
  std::unique_ptr<std::string> name, ident;  // null: a null pointer
};
struct HostSet {
  tagGPSDBHEADER header;
  std::unique_ptr<std::string> name;
  std::vector<HostItem> items;
};

std::unique_ptr<std::string> Text(Input& in) {
  const uint8_t mode = in.U8();
  if (mode % 5 == 0) return nullptr;
  size_t length = mode % 5 == 4 ? 300 : in.U8() % 24;
  auto text = std::make_unique<std::string>(in.Bytes(length));
  for (char& c : *text)
    if (c == 0) c = 'z';  // the host's texts are C strings
  return text;
}

std::vector<HostSet> ReadHostList(Input& in) {
  std::vector<HostSet> sets(in.U8() % 24);
  for (HostSet& set : sets) {
    std::memset(&set.header, 0, sizeof set.header);
    set.header.size = sizeof set.header;
    set.header.kind = in.Kind();
    set.header.itemCount = in.I32();
    set.name = Text(in);
    set.items.resize(in.U8() % 20);
    for (HostItem& item : set.items) {
      std::memset(&item.record, 0, sizeof item.record);
      item.record.size = sizeof item.record;
      item.record.kind = in.Kind();
      item.record.latitude = in.Coordinate();
      item.record.longitude = in.Coordinate();
      item.record.altitude = in.Coordinate();
      const uint8_t datum = in.U8();
      item.record.datum = datum < 0xF0 ? 0 : datum & 3 ? datum : 1;
      item.name = Text(in);
      item.ident = Text(in);
    }
  }
  return sets;
}

void SeedHost(const std::vector<HostSet>& sets) {
  X9Host_Reset();  // which also drops the pump hook
  X9Host_SetPumpHook(&OnPump, nullptr);
  for (const HostSet& set : sets) {
    tagGPSDBHEADER header = set.header;
    header.name = set.name ? set.name->c_str() : nullptr;
    const int index = X9Host_AddSet(&header);
    for (const HostItem& item : set.items) {
      tagGPSDBITEM record = item.record;
      record.name = item.name ? item.name->c_str() : nullptr;
      record.ident = item.ident ? item.ident->c_str() : nullptr;
      X9Host_AddItem(index, &record);
    }
  }
}

bool TextWithin20(const char* text) { return text == nullptr || std::strlen(text) < 20; }

// --- One transfer --------------------------------------------------------------------------------

// The watch: a table of the fakes above, handed to each transfer.
constexpr x9::DeviceApi kFakeWatch{FakeGetLibVersion, FakeSearchOnPorts,  FakeGetSettings,
                                   FakeGetTrackCount, FakeGetTrackHeader, FakeGetTrackPoints,
                                   FakeGetRouteCount, FakeGetRouteHeader, FakeGetRoutePoints,
                                   FakePutRoute,      FakeDeleteRoute};

int RunTransfer(int transfer) {
  switch (transfer) {
    case 0: return x9::DownloadWaypoints(kFakeWatch);
    case 1: return x9::DownloadRoutes(kFakeWatch);
    case 2: return x9::DownloadTracks(kFakeWatch);
    default: return x9::UploadRoutes(kFakeWatch);
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  x9::g_settleMilliseconds = 0;
  // Far below libFuzzer's malloc limit: absurd counts are memory failures, not crashes.
  x9::AllocationControl::SetLimit(64 * 1024);
  x9::SetUserInterface(&g_ui);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Input in(data, size);

  // The watch.
  g_watch = Watch{};
  const uint8_t flags = in.U8();
  g_watch.failedCallsWrite = (flags & 0x04) != 0;
  g_watch.tracks.resize(in.U8() % 17);
  g_watch.routes.resize(in.U8() % 17);
  const int32_t trackCountOverride = in.I32();
  const int32_t routeCountOverride = in.I32();
  g_watch.trackCountReported =
      (flags & 0x08) != 0 ? trackCountOverride : static_cast<int32_t>(g_watch.tracks.size());
  g_watch.routeCountReported =
      (flags & 0x10) != 0 ? routeCountOverride : static_cast<int32_t>(g_watch.routes.size());
  for (x9::TrackHeader& track : g_watch.tracks) {
    const std::string bytes = in.Bytes(sizeof track);
    std::memcpy(&track, bytes.data(), sizeof track);
    track.pointCount = in.Count();
  }
  for (x9::RouteHeader& route : g_watch.routes) {
    std::memset(&route, 0, sizeof route);
    const uint8_t mode = in.U8();
    if (mode % 4 == 0) {
      // The waypoint route, in some letter case.
      const char* name = "MYPOINTS";
      for (int i = 0; i < 8; ++i)
        route.name[i] = static_cast<char>((mode >> (i % 6) & 1) ? name[i] | 0x20 : name[i]);
    } else {
      const std::string bytes = in.Bytes(mode % 4 == 1 ? 20 : in.U8() % 20);  // 20: perhaps no zero
      std::memcpy(route.name, bytes.data(), bytes.size());
    }
    route.pointCount = in.Count();
    route.value24 = in.I32();
  }
  g_watch.pattern = in.Bytes(in.U8() % 64);
  for (int n = in.U8() % 12; n > 0; --n) {
    const uint8_t transfer = in.U8();
    const uint8_t call = in.U8();
    const uint8_t value = in.U8();
    g_watch.results[transfer % kTransfers].emplace_back(call % 64, kResults[value % 8]);
  }

  // The user, the host and the clock.
  const uint8_t answers = in.U8();
  uint8_t abortAt[kTransfers];
  for (uint8_t& at : abortAt)
    at = in.U8() % 24;
  const uint8_t failAllocation = in.U8() % 8;
  x9::g_clockAdjust.zoneOffset = static_cast<int32_t>(static_cast<int8_t>(in.U8())) * 1800;
  x9::g_clockAdjust.daylightAdjust = (flags & 0x20) != 0 ? -3600 : 0;
  const std::vector<HostSet> hostList = ReadHostList(in);
  const uint8_t driftSet = in.U8();
  const int driftDelta = -static_cast<int>(in.U8() % 4);
  g_host = HostWrapping{};
  for (int n = in.U8() % 16; n > 0; --n)
    g_host.countAdjustments.push_back(static_cast<int8_t>(in.U8()) % 16);
  const uint32_t unfilledReads = in.U32();

  for (int transfer = 0; transfer < kTransfers; ++transfer) {
    SeedHost(hostList);
    X9Host_SetItemCountDrift(driftSet % (hostList.size() + 1), transfer == 3 ? driftDelta : 0);
    X9Host_SetReadsFillNothing(transfer == 3 && (flags & 0x02) != 0 ? 1 : 0);
    const std::string before = X9HostDumpString();
    const int setsBefore = X9Host_GetSetCount();
    const int waypointsBefore = X9Host_ItemCount(0);

    g_watch.transfer = transfer;
    g_watch.calls = 0;
    g_watch.headerSeen.assign(transfer == 2 ? g_watch.tracks.size() : g_watch.routes.size(), false);
    g_watch.live = g_watch.routes;
    g_host.countCalls = 0;
    g_host.itemReads = 0;
    g_host.unfilledReads = unfilledReads;
    g_host.walk = UploadWalk{};
    g_host.active = transfer == 3;
    g_host.fillsNothing = transfer == 3 && (flags & 0x02) != 0;
    g_ui.answers = answers;
    g_ui.questions = 0;
    g_ui.noWindow = (flags & 0x01) != 0 && transfer == (flags >> 6);
    g_ui.abortFlag = nullptr;
    g_ui.failuresTold = 0;
    g_ui.abortAtPump = abortAt[transfer];
    g_ui.pumps = 0;
    g_ui.aborted = false;
    x9::AllocationControl::Reset();
    x9::AllocationControl::FailAllocation(
        transfer == failAllocation % kTransfers ? failAllocation / kTransfers : 0);

    const int result = RunTransfer(transfer);
    g_host.active = false;

    Require(result == 0 || result == 1, "a transfer result other than 0 or 1");
    Require(x9::AllocationControl::LiveBytes() == 0, "a working buffer outlived its transfer");
    Require(g_ui.openWindows == 0, "a progress window outlived its transfer");
    if (result == 0)
      Require(g_ui.aborted || g_ui.failuresTold > 0, "a transfer failed without saying why");
    if (g_ui.aborted) Require(result == 0, "Abort pressed, and the transfer went on to succeed");
    if (result == 0 || transfer == 3) {
      Require(X9HostDumpString() == before,
              "the host's list changed by a failed transfer or by the upload");
    } else {
      for (int set = setsBefore; set < X9Host_GetSetCount(); ++set) {
        Require(TextWithin20(X9Host_GetSet(set)->name), "a set name longer than 19 bytes");
        for (int item = 0; item < X9Host_ItemCount(set); ++item) {
          Require(TextWithin20(X9Host_Item(set, item)->name) &&
                      TextWithin20(X9Host_Item(set, item)->ident),
                  "an item text longer than 19 bytes");
        }
      }
      for (int item = waypointsBefore; item < X9Host_ItemCount(0); ++item) {
        Require(
            TextWithin20(X9Host_Item(0, item)->name) && TextWithin20(X9Host_Item(0, item)->ident),
            "a waypoint text longer than 19 bytes");
      }
    }
  }
  X9Host_SetItemCountDrift(0, 0);
  X9Host_SetReadsFillNothing(0);
  return 0;
}
