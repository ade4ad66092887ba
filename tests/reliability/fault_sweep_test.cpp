// Fault sweeps: a clean run of each transfer is recorded, then every device call it made fails
// in turn, Abort is pressed at every pump in turn, and every working buffer fails in turn. After
// each, the user saw the one message that fits, told last, and otherwise only what the clean run
// showed; the result is what the failure calls for; the host's list is exactly what it was
// before the failing transfer began (the combined download keeps what its completed stages
// appended) and the failing transfer wrote nothing to it; the watch holds exactly what the
// upload had done before the fault; the watch library is unloaded, no buffer is left and no
// progress window outlives the request.
//
// These are the exhaustive fault cases of every transfer; each transfer's own test file keeps
// one readable example.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "device/device_api.h"
#include "reliability/reliability_support.h"
#include "sim/host/datum_shift.h"
#include "support/named_values.h"
#include "support/sim_fixture.h"
#include "transfer/dispatcher.h"
#include "ui/messages.h"
#include "ui/user_interface.h"

namespace {

using x9test::AddFixedTrack;
using x9test::AddHostRoute;
using x9test::AddRoute;
using x9test::MakeHostItem;

#if defined(_WIN32)
// Under wine every third position keeps the Windows run short; natively every position runs.
constexpr size_t kStride = 3;
#else
constexpr size_t kStride = 1;
#endif

enum class Transfer { kWaypoints, kTracks, kRoutes, kUpload, kAllDownloads };

unsigned FlagsOf(Transfer transfer) {
  switch (transfer) {
    case Transfer::kWaypoints: return x9::kFlagDownloadWaypoints;
    case Transfer::kTracks: return x9::kFlagDownloadTracks;
    case Transfer::kRoutes: return x9::kFlagDownloadRoutes;
    case Transfer::kUpload: return x9::kFlagUploadRoutes;
    case Transfer::kAllDownloads: return x9test::kFlagDownloadAll;
  }
  return 0;
}

// The list kind a single request asks the host to redisplay.
unsigned RefreshOf(Transfer transfer) {
  switch (transfer) {
    case Transfer::kWaypoints: return x9::kListWaypoints;
    case Transfer::kTracks: return x9::kListTracks;
    case Transfer::kRoutes: return x9::kListRoutes;
    case Transfer::kUpload: return x9::kListRoutes;
    case Transfer::kAllDownloads: return 0;
  }
  return 0;
}

// What the combined download redisplays when its last stage has run.
const std::vector<unsigned> kAllKinds = {x9::kListWaypoints, x9::kListRoutes, x9::kListTracks};

std::string NameOf(const ::testing::TestParamInfo<Transfer>& info) {
  switch (info.param) {
    case Transfer::kWaypoints: return "Waypoints";
    case Transfer::kTracks: return "Tracks";
    case Transfer::kRoutes: return "Routes";
    case Transfer::kUpload: return "Upload";
    case Transfer::kAllDownloads: return "AllDownloads";
  }
  return "Unknown";
}

void PrintTo(Transfer transfer, std::ostream* out) {
  *out << NameOf(::testing::TestParamInfo<Transfer>(transfer, 0));
}

std::string EntryOf(const std::string& logLine) { return logLine.substr(0, logLine.find(' ')); }

int NumberOf(const std::string& logLine) {
  return std::stoi(logLine.substr(logLine.find(' ') + 1));
}

bool IsCountCall(const std::string& entry) {
  return entry == "GetTrackCount" || entry == "GetRouteCount";
}

// Every byte the watch holds for each route (header and stored points), in watch order.
std::vector<std::string> WatchRouteImages() {
  std::vector<std::string> images;
  for (int i = 1; i <= X9Watch_RouteCount(); ++i) {
    std::string image(reinterpret_cast<const char*>(X9Watch_Route(i)), sizeof(x9::RouteHeader));
    image.append(reinterpret_cast<const char*>(X9Watch_RoutePoints(i)),
                 static_cast<size_t>(X9Watch_RoutePointCount(i)) * sizeof(x9::RoutePoint));
    images.push_back(image);
  }
  return images;
}

std::vector<std::string> WatchTrackImages() {
  std::vector<std::string> images;
  for (int i = 1; i <= X9Watch_TrackCount(); ++i) {
    std::string image(reinterpret_cast<const char*>(X9Watch_Track(i)), sizeof(x9::TrackHeader));
    image.append(reinterpret_cast<const char*>(X9Watch_TrackPoints(i)),
                 static_cast<size_t>(X9Watch_TrackPointCount(i)) * sizeof(x9::TrackPoint));
    images.push_back(image);
  }
  return images;
}

const std::vector<x9::MessageId> kErrorMessages = {x9::kMsgDllMissing, x9::kMsgNoWatch,
                                                   x9::kMsgConnectionLost, x9::kMsgOutOfMemory};

bool IsErrorMessage(const std::string& text) {
  for (x9::MessageId id : kErrorMessages)
    if (text == x9::MessageText(id)) return true;
  return false;
}

// The calls that change the host's list.
int HostWrites() {
  return X9Host_CallCount("TPI_SetStatGpsProtocol") +
         X9Host_CallCount("TPI_AddDataTrackGpsProtocol") +
         X9Host_CallCount("TPI_AddDataItemGpsProtocol");
}

// Whether every element of part appears in whole, in the same order.
bool IsSubsequence(const std::vector<std::string>& part, const std::vector<std::string>& whole) {
  size_t at = 0;
  for (const std::string& element : whole)
    if (at < part.size() && part[at] == element) ++at;
  return at == part.size();
}

// Everything a request left behind that the sweeps compare.
struct Outcome {
  long result = 0;
  std::vector<x9test::ShownBox> boxes;
  std::vector<unsigned> refreshes;
  std::string hostBefore;
  std::string hostAfter;
  std::vector<std::string> routesBefore;
  std::vector<std::string> routesAfter;
  std::vector<std::string> tracksBefore;
  std::vector<std::string> tracksAfter;
  std::vector<std::string> log;
  std::vector<size_t> logAtPump;  // watch log length when each pump began (clean runs)
  int allocations = 0;
  int hostWrites = 0;
  bool released = false;
  int loads = 0;
  uint64_t liveBytes = 0;

  int Pumps() const { return static_cast<int>(logAtPump.size()); }
  std::vector<x9::MessageId> Errors() const {
    std::vector<x9::MessageId> errors;
    for (const auto& box : boxes)
      for (x9::MessageId id : kErrorMessages)
        if (box.text == x9::MessageText(id)) errors.push_back(id);
    return errors;
  }
  // The texts of the boxes that tell no failure, in order.
  std::vector<std::string> OtherBoxes() const {
    std::vector<std::string> texts;
    for (const auto& box : boxes)
      if (!IsErrorMessage(box.text)) texts.push_back(box.text);
    return texts;
  }
  int QuestionsAbout(x9::MessageId id) const {
    int count = 0;
    for (const auto& box : boxes)
      count += box.text.rfind(x9::MessageText(id), 0) == 0 ? 1 : 0;
    return count;
  }
};

struct Expected {
  long result = 1;
  std::optional<x9::MessageId> error;
  std::vector<unsigned> refreshes;
  std::string host;
  int hostWrites = 0;  // made by the stages that completed; a failing one makes none
  std::vector<std::string> routes;
};

class FaultSweep : public x9test::SimFixture, public ::testing::WithParamInterface<Transfer> {
 protected:
  // Four tracks (the second empty); routes with a waypoint route, an empty one and two names
  // that differ only in case; a host list with a waypoint, a track set and route sets, two of
  // whose names are on the watch and one of which is the waypoint route's.
  void Seed() {
    AddFixedTrack(1, 3);
    AddFixedTrack(2, 0);
    AddFixedTrack(3, 2);
    AddFixedTrack(4, 1);
    AddRoute("Alpha", 3);
    AddRoute("MYPOINTS", 2);
    AddRoute("Empty", 0);
    AddRoute("alpha", 2);
    AddRoute("Beta", 1);

    static const tagGPSDBITEM kWaypoint = MakeHostItem("Home", 35.5, 139.5, 20, x9::kListWaypoints);
    X9Host_AddItem(0, &kWaypoint);
    AddHostRoute(
        "ALPHA",
        {MakeHostItem("A1", 35.1, 139.1, 1), MakeHostItem("wp", 1, 1, 1, x9::kListWaypoints),
         MakeHostItem("A2", 35.2, 139.2, 2, x9::kListRoutes, x9sim::kDatumTokyo)});
    tagGPSDBHEADER track{};
    track.size = sizeof track;
    track.name = "Track";
    track.kind = x9::kListTracks;
    const int trackSet = X9Host_AddSet(&track);
    const tagGPSDBITEM trackPoint = MakeHostItem("t", 1, 2, 3, x9::kListTracks);
    X9Host_AddItem(trackSet, &trackPoint);
    AddHostRoute("Fresh", {MakeHostItem("F1", 10, 20, 30), MakeHostItem("F2", 11, 21, 31),
                           MakeHostItem("F3", 12, 22, 32)});
    AddHostRoute("MyPoints", {MakeHostItem("M", 1, 1, 1)});
    AddHostRoute("Beta", {MakeHostItem("B1", -5, -6, -7)});
    AddHostRoute("Empty", {});
  }

  // One request on a freshly seeded pair of simulators. inject arms the fault.
  Outcome Execute(const std::function<void()>& inject = nullptr, bool recordPumps = false) {
    SetUp();
    Seed();
    if (inject) inject();
    Outcome out;
    out.hostBefore = X9HostDumpString();
    out.routesBefore = WatchRouteImages();
    out.tracksBefore = WatchTrackImages();
    if (recordPumps) X9Host_SetPumpHook(&RecordPump, &out.logAtPump);
    out.result = Request(FlagsOf(GetParam()));
    out.boxes = ui.boxes;
    out.refreshes = Refreshes();
    out.hostAfter = X9HostDumpString();
    out.routesAfter = WatchRouteImages();
    out.tracksAfter = WatchTrackImages();
    out.log = WatchLog();
    out.allocations = x9::AllocationControl::Count();
    out.hostWrites = HostWrites();
    out.released = WatchLibraryReleased();
    out.loads = X9Watch_LoadCount();
    out.liveBytes = x9::AllocationControl::LiveBytes();
    TearDown();
    return out;
  }

  // The host's list after the given requests, each run to its end, on a freshly seeded pair.
  std::string HostAfter(std::initializer_list<unsigned> requests) {
    SetUp();
    Seed();
    for (unsigned flags : requests)
      EXPECT_EQ(Request(flags), 1) << flags;
    const std::string dump = X9HostDumpString();
    TearDown();
    return dump;
  }

  static void RecordPump(void* context) {
    static_cast<std::vector<size_t>*>(context)->push_back(WatchLogLines());
  }
  static size_t WatchLogLines() {
    const std::string log = X9WatchCallLogString();
    size_t lines = 0;
    for (char c : log)
      lines += c == '\n' ? 1 : 0;
    return lines;
  }

  void Check(const Outcome& run, const Outcome& clean, const Expected& expected,
             const std::string& label) {
    SCOPED_TRACE(label);
    EXPECT_EQ(run.result, expected.result);
    const std::vector<x9::MessageId> errors = run.Errors();
    if (expected.error) {
      ASSERT_EQ(errors, std::vector<x9::MessageId>{*expected.error});
      const x9test::ShownBox& told = run.boxes.back();
      EXPECT_EQ(told.text, x9::MessageText(*expected.error)) << "the failure is not told last";
      EXPECT_EQ(told.style,
                *expected.error == x9::kMsgDllMissing ? x9::kStyleStop : x9::kStyleExclamation);
      // A transfer tells its failure while its window is still up; the connection does not
      // have one.
      const bool toldByATransfer =
          *expected.error == x9::kMsgConnectionLost || *expected.error == x9::kMsgOutOfMemory;
      EXPECT_EQ(told.progressWindowOpen, toldByATransfer);
    } else {
      EXPECT_TRUE(errors.empty()) << errors.size() << " error message(s), first " << errors[0];
    }
    // Besides the failure, only what the clean run showed: a download's question; the upload's
    // question and, in order, those about the sets it reached.
    if (GetParam() == Transfer::kUpload) {
      EXPECT_TRUE(IsSubsequence(run.OtherBoxes(), clean.OtherBoxes()))
          << run.OtherBoxes().size() << " box(es) besides the failure's";
    } else {
      EXPECT_EQ(run.OtherBoxes(), clean.OtherBoxes());
    }
    EXPECT_EQ(run.refreshes, expected.refreshes);
    EXPECT_TRUE(run.hostAfter == expected.host) << "the host's list differs from the expected one";
    EXPECT_EQ(run.hostWrites, expected.hostWrites) << "writes to the host's list";
    EXPECT_TRUE(run.routesAfter == expected.routes) << "the watch's routes differ";
    EXPECT_TRUE(run.tracksAfter == run.tracksBefore) << "a track on the watch changed";
    EXPECT_TRUE(run.released) << "the watch library is still loaded";
    EXPECT_EQ(run.loads, 1);
    EXPECT_EQ(run.liveBytes, 0u);
  }

  // The clean run every sweep starts from; it must itself be clean.
  Outcome CleanRun() {
    Outcome clean = Execute(nullptr, /*recordPumps=*/true);
    EXPECT_EQ(clean.result, 1);
    EXPECT_TRUE(clean.Errors().empty());
    EXPECT_FALSE(clean.boxes.empty());
    EXPECT_GT(clean.Pumps(), 0);
    EXPECT_GT(clean.allocations, 0);
    return clean;
  }

  // --- Expectations for the upload -------------------------------------------------------------

  static constexpr size_t kNoFailedDelete = static_cast<size_t>(-1);

  // The watch's routes after the upload made the watch-changing calls of the clean run's log up
  // to end, with the deletion at failedDelete (a log position) failing. Routes are followed by
  // identity: a deletion in the clean run removes the same route here, whatever number that
  // route has after an earlier deletion failed.
  static std::vector<std::string> UploadWatch(const Outcome& clean, size_t end,
                                              size_t failedDelete = kNoFailedDelete) {
    const size_t initial = clean.routesBefore.size();
    size_t puts = 0;
    for (const auto& line : clean.log)
      puts += EntryOf(line) == "PutRoute" ? 1 : 0;
    // A put route goes after the routes already there, so the clean run's last routes are its
    // puts, in order.
    const std::vector<std::string> putImages(clean.routesAfter.end() - static_cast<ptrdiff_t>(puts),
                                             clean.routesAfter.end());
    std::vector<size_t> cleanWatch;
    for (size_t id = 0; id < initial; ++id)
      cleanWatch.push_back(id);
    std::vector<size_t> watch = cleanWatch;
    size_t nextPut = 0;
    for (size_t i = 0; i < end && i < clean.log.size(); ++i) {
      const std::string entry = EntryOf(clean.log[i]);
      if (entry == "DeleteRoute") {
        const size_t position = static_cast<size_t>(NumberOf(clean.log[i]) - 1);
        const size_t id = cleanWatch.at(position);
        cleanWatch.erase(cleanWatch.begin() + static_cast<ptrdiff_t>(position));
        if (failedDelete == i) continue;
        watch.erase(std::find(watch.begin(), watch.end(), id));
      } else if (entry == "PutRoute") {
        cleanWatch.push_back(initial + nextPut);
        watch.push_back(initial + nextPut);
        ++nextPut;
      }
    }
    std::vector<std::string> images;
    for (size_t id : watch)
      images.push_back(id < initial ? clean.routesBefore[id] : putImages[id - initial]);
    return images;
  }

  // The watch after every put of the clean run and no deletion.
  static std::vector<std::string> UploadWatchWithoutDeletions(const Outcome& clean) {
    Outcome noDeletions = clean;
    noDeletions.log.clear();
    for (const auto& line : clean.log)
      if (EntryOf(line) != "DeleteRoute") noDeletions.log.push_back(line);
    return UploadWatch(noDeletions, noDeletions.log.size());
  }

  // --- Expectations for the combined download ----------------------------------------------------

  // The three stages of the combined download, as single requests recorded on their own.
  struct Stages {
    Outcome single[3];  // waypoints, routes, tracks
    std::string host;   // before any stage
    std::string afterW, afterWR, afterRT, afterWT;

    // The host writes of the stages before the given one, or of all stages but the given one.
    int WritesBefore(int stage) const {
      int writes = 0;
      for (int s = 0; s < stage; ++s)
        writes += single[s].hostWrites;
      return writes;
    }
    int WritesOfAllBut(int stage) const { return WritesBefore(3) - single[stage].hostWrites; }

    // Stage 0..2 of a position counted over the stages in order; 3 past the last.
    static int StageOf(size_t position, const size_t (&sizes)[3]) {
      for (int s = 0; s < 3; ++s) {
        if (position < sizes[s]) return s;
        position -= sizes[s];
      }
      return 3;
    }
    // Where the combined download stands when stage s fails: what the stages before it left.
    const std::string& HostBeforeStage(int stage) const {
      return stage == 0 ? host : stage == 1 ? afterW : afterWR;
    }
  };

  Stages RecordStages() {
    Stages stages;
    const Transfer kinds[3] = {Transfer::kWaypoints, Transfer::kRoutes, Transfer::kTracks};
    for (int s = 0; s < 3; ++s) {
      SetUp();
      Seed();
      Outcome& single = stages.single[s];
      single.hostBefore = X9HostDumpString();
      X9Host_SetPumpHook(&RecordPump, &single.logAtPump);
      EXPECT_EQ(Request(FlagsOf(kinds[s])), 1);
      single.log = WatchLog();
      single.allocations = x9::AllocationControl::Count();
      single.hostWrites = HostWrites();
      TearDown();
      // The combined log has one SearchOnPorts in front; each stage's own calls follow.
      EXPECT_EQ(single.log.at(0), "SearchOnPorts");
      single.log.erase(single.log.begin());
    }
    stages.host = stages.single[0].hostBefore;
    stages.afterW = HostAfter({x9::kFlagDownloadWaypoints});
    stages.afterWR = HostAfter({x9::kFlagDownloadWaypoints, x9::kFlagDownloadRoutes});
    stages.afterRT = HostAfter({x9::kFlagDownloadRoutes, x9::kFlagDownloadTracks});
    stages.afterWT = HostAfter({x9::kFlagDownloadWaypoints, x9::kFlagDownloadTracks});
    return stages;
  }

  static void ExpectStagesMakeTheCombinedRun(const Stages& stages, const Outcome& clean) {
    std::vector<std::string> joined{"SearchOnPorts"};
    int pumps = 0;
    int allocations = 0;
    for (const Outcome& single : stages.single) {
      joined.insert(joined.end(), single.log.begin(), single.log.end());
      pumps += single.Pumps();
      allocations += single.allocations;
    }
    EXPECT_EQ(clean.log, joined);
    EXPECT_EQ(clean.Pumps(), pumps);
    EXPECT_EQ(clean.allocations, allocations);
  }
};

// Exactly one device call fails: every call of the clean run, in turn, at its own position.
TEST_P(FaultSweep, EveryDeviceCallFailsInTurn) {
  const Transfer transfer = GetParam();
  const Outcome clean = CleanRun();
  std::optional<Stages> stages;
  if (transfer == Transfer::kAllDownloads) {
    stages = RecordStages();
    ExpectStagesMakeTheCombinedRun(*stages, clean);
  }
  std::map<std::string, int> calls;
  for (size_t position = 0; position < clean.log.size(); ++position) {
    const std::string entry = EntryOf(clean.log[position]);
    const int callNumber = ++calls[entry];
    if (position % kStride != 0) continue;
    const Outcome run =
        Execute([&] { X9Watch_SetResult(entry.c_str(), callNumber, x9::kDeviceFailure); });

    Expected expected;
    expected.host = clean.hostBefore;
    expected.routes = clean.routesBefore;
    if (entry == "SearchOnPorts") {
      // No watch: the request ends before any transfer, with nothing to redisplay.
      expected.error = x9::kMsgNoWatch;
      expected.result = 1;
    } else if (transfer == Transfer::kUpload) {
      expected.refreshes = {x9::kListRoutes};
      if (entry == "GetRouteCount") {
        // Taken as a watch without routes: nothing shown, nothing deleted, every set put.
        expected.routes = UploadWatchWithoutDeletions(clean);
        EXPECT_EQ(run.QuestionsAbout(x9::kMsgSameNameOnWatch), 0)
            << "a same-name question without watch routes";
      } else if (entry == "DeleteRoute") {
        // Not told; the set is put all the same.
        expected.routes = UploadWatch(clean, clean.log.size(), position);
      } else {
        expected.error = x9::kMsgConnectionLost;
        expected.result = 0;
        expected.routes = UploadWatch(clean, position);
      }
    } else if (transfer == Transfer::kAllDownloads) {
      const size_t sizes[3] = {stages->single[0].log.size(), stages->single[1].log.size(),
                               stages->single[2].log.size()};
      const int stage = Stages::StageOf(position - 1, sizes);
      expected.error = x9::kMsgConnectionLost;
      if (IsCountCall(entry)) {
        // A stage whose count fails reports it and ends well: the later stages still run.
        expected.result = 1;
        expected.refreshes = kAllKinds;
        expected.host = stage == 0   ? stages->afterRT
                        : stage == 1 ? stages->afterWT
                                     : stages->afterWR;
        expected.hostWrites = stages->WritesOfAllBut(stage);
      } else {
        expected.result = 0;
        expected.refreshes = stage == 2 ? kAllKinds : std::vector<unsigned>{};
        expected.host = stages->HostBeforeStage(stage);
        expected.hostWrites = stages->WritesBefore(stage);
      }
    } else {
      expected.error = x9::kMsgConnectionLost;
      expected.result = IsCountCall(entry) ? 1 : 0;
      expected.refreshes = {RefreshOf(transfer)};
    }
    Check(run, clean, expected,
          clean.log[position] + " (call " + std::to_string(callNumber) + ") fails");
  }
}

// Abort is pressed during each pump of the clean run in turn.
TEST_P(FaultSweep, AbortAtEveryPump) {
  const Transfer transfer = GetParam();
  const Outcome clean = CleanRun();
  std::optional<Stages> stages;
  if (transfer == Transfer::kAllDownloads) {
    stages = RecordStages();
    ExpectStagesMakeTheCombinedRun(*stages, clean);
  }
  for (int pump = 1; pump <= clean.Pumps(); ++pump) {
    if (static_cast<size_t>(pump - 1) % kStride != 0) continue;
    const Outcome run = Execute([&] { AbortAtPump(pump); });

    Expected expected;
    expected.result = 0;
    expected.host = clean.hostBefore;
    expected.routes = clean.routesBefore;
    if (transfer == Transfer::kUpload) {
      // Seen after the set just handled: what it and the sets before it did stays.
      expected.refreshes = {x9::kListRoutes};
      expected.routes = UploadWatch(clean, clean.logAtPump[static_cast<size_t>(pump - 1)]);
    } else if (transfer == Transfer::kAllDownloads) {
      const size_t sizes[3] = {static_cast<size_t>(stages->single[0].Pumps()),
                               static_cast<size_t>(stages->single[1].Pumps()),
                               static_cast<size_t>(stages->single[2].Pumps())};
      const int stage = Stages::StageOf(static_cast<size_t>(pump - 1), sizes);
      expected.refreshes = stage == 2 ? kAllKinds : std::vector<unsigned>{};
      expected.host = stages->HostBeforeStage(stage);
      expected.hostWrites = stages->WritesBefore(stage);
    } else {
      expected.refreshes = {RefreshOf(transfer)};
    }
    Check(run, clean, expected, "Abort at pump " + std::to_string(pump));
  }
}

// Each working buffer of the clean run, in turn, cannot be allocated.
TEST_P(FaultSweep, EveryAllocationFailsInTurn) {
  const Transfer transfer = GetParam();
  const Outcome clean = CleanRun();
  std::optional<Stages> stages;
  if (transfer == Transfer::kAllDownloads) {
    stages = RecordStages();
    ExpectStagesMakeTheCombinedRun(*stages, clean);
  }
  if (transfer == Transfer::kUpload) {
    // One point array per route set, and one pump after each.
    ASSERT_EQ(clean.allocations, clean.Pumps());
  }
  for (int allocation = 1; allocation <= clean.allocations; ++allocation) {
    if (static_cast<size_t>(allocation - 1) % kStride != 0) continue;
    const Outcome run = Execute([&] { x9::AllocationControl::FailAllocation(allocation); });

    Expected expected;
    expected.result = 0;
    expected.error = x9::kMsgOutOfMemory;
    expected.host = clean.hostBefore;
    expected.routes = clean.routesBefore;
    if (transfer == Transfer::kUpload) {
      // The set whose array fails does nothing; the sets before it (up to the pump after the
      // previous set) did all they do.
      expected.refreshes = {x9::kListRoutes};
      const size_t end = allocation == 1 ? 0 : clean.logAtPump[static_cast<size_t>(allocation - 2)];
      expected.routes = UploadWatch(clean, end);
    } else if (transfer == Transfer::kAllDownloads) {
      const size_t sizes[3] = {static_cast<size_t>(stages->single[0].allocations),
                               static_cast<size_t>(stages->single[1].allocations),
                               static_cast<size_t>(stages->single[2].allocations)};
      const int stage = Stages::StageOf(static_cast<size_t>(allocation - 1), sizes);
      expected.refreshes = stage == 2 ? kAllKinds : std::vector<unsigned>{};
      expected.host = stages->HostBeforeStage(stage);
      expected.hostWrites = stages->WritesBefore(stage);
    } else {
      expected.refreshes = {RefreshOf(transfer)};
    }
    Check(run, clean, expected, "allocation " + std::to_string(allocation) + " fails");
  }
}

// The clean run itself: everything read arrives, the upload does its deletions and puts, and
// nothing is left loaded or allocated.
TEST_P(FaultSweep, CleanRunLeavesNothingBehind) {
  const Outcome clean = CleanRun();
  EXPECT_TRUE(clean.released);
  EXPECT_EQ(clean.liveBytes, 0u);
  if (GetParam() == Transfer::kUpload) {
    EXPECT_EQ(clean.hostAfter, clean.hostBefore);
    // ALPHA (two routes, one question), Beta, Empty.
    EXPECT_EQ(clean.QuestionsAbout(x9::kMsgSameNameOnWatch), 3);
    // Alpha and alpha, Beta and Empty are replaced; the waypoint route stays.
    std::vector<std::string> names;
    for (const auto& image : clean.routesAfter)
      names.push_back(image.c_str());
    EXPECT_EQ(names, (std::vector<std::string>{"MYPOINTS", "ALPHA", "Fresh", "Beta", "Empty"}));
  } else {
    EXPECT_NE(clean.hostAfter, clean.hostBefore);
    EXPECT_EQ(clean.routesAfter, clean.routesBefore);
  }
}

INSTANTIATE_TEST_SUITE_P(Transfers, FaultSweep,
                         ::testing::Values(Transfer::kWaypoints, Transfer::kTracks,
                                           Transfer::kRoutes, Transfer::kUpload,
                                           Transfer::kAllDownloads),
                         NameOf);

}  // namespace
