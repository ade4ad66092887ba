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
#include "text/cp932.h"
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
  std::vector<size_t> logAtPump;  // watch log length when each pump began
  // At each pump: the working bytes held, the allocations made, the host's log length and the
  // release events so far.
  std::vector<uint64_t> liveAtPump;
  std::vector<int> allocationsAtPump;
  std::vector<size_t> hostLogAtPump;
  std::vector<size_t> eventsAtPump;
  std::vector<std::string> hostLog;
  std::vector<std::string> events;  // "buffer N freed", "window N destroyed", in order
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
  Outcome Execute(const std::function<void()>& inject = nullptr, bool recordPumps = true) {
    SetUp();
    Seed();
    abortPump_ = 0;
    if (inject) inject();
    Outcome out;
    out.hostBefore = X9HostDumpString();
    out.routesBefore = WatchRouteImages();
    out.tracksBefore = WatchTrackImages();
    ui.events = &out.events;
    x9::AllocationControl::SetReleaseHook(
        [](int number, void* context) {
          static_cast<std::vector<std::string>*>(context)->push_back(
              "buffer " + std::to_string(number) + " freed");
        },
        &out.events);
    PumpRecord record{this, &out};
    if (recordPumps) X9Host_SetPumpHook(&RecordPump, &record);
    out.result = Request(FlagsOf(GetParam()));
    x9::AllocationControl::SetReleaseHook(nullptr, nullptr);
    ui.events = nullptr;
    out.hostLog = HostLogLines();
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

  struct PumpRecord {
    FaultSweep* sweep;
    Outcome* out;
  };
  // Records where the request stands at each pump, then presses Abort if this is the pump.
  static void RecordPump(void* context) {
    auto* record = static_cast<PumpRecord*>(context);
    Outcome& out = *record->out;
    out.logAtPump.push_back(WatchLogLines());
    out.liveAtPump.push_back(x9::AllocationControl::LiveBytes());
    out.allocationsAtPump.push_back(x9::AllocationControl::Count());
    out.hostLogAtPump.push_back(HostLogLines().size());
    out.eventsAtPump.push_back(out.events.size());
    if (out.Pumps() == record->sweep->abortPump_) record->sweep->ui.PressAbort();
  }
  static void RecordStagePump(void* context) {
    static_cast<std::vector<size_t>*>(context)->push_back(WatchLogLines());
  }
  static std::vector<std::string> HostLogLines() {
    std::vector<std::string> lines;
    std::string line;
    for (char c : X9HostCallLogString()) {
      if (c != '\n') {
        line += c;
      } else {
        lines.push_back(line);
        line.clear();
      }
    }
    return lines;
  }

  // The working bytes each pump of the seeded watch's transfer must hold: a download its
  // headers, and in the point pass its points too; the upload nothing (a set's point array is
  // gone before its pump).
  std::vector<uint64_t> ExpectedLiveAtPumps(Transfer transfer) {
    SetUp();
    Seed();
    std::vector<uint64_t> live;
    const auto routes = [&](bool waypoints) {
      const uint64_t count = static_cast<uint64_t>(X9Watch_RouteCount());
      uint64_t points = 0;
      for (int i = 1; i <= X9Watch_RouteCount(); ++i) {
        const x9::RouteHeader& header = *X9Watch_Route(i);
        if (header.pointCount > 0 && x9::IsMyPointsName(header.name) == waypoints)
          points += static_cast<uint64_t>(header.pointCount);
      }
      const uint64_t headers = count * sizeof(x9::RouteHeader);
      live.insert(live.end(), count, headers);
      live.insert(live.end(), count, headers + points * sizeof(x9::RoutePoint));
    };
    const auto tracks = [&] {
      const uint64_t count = static_cast<uint64_t>(X9Watch_TrackCount());
      uint64_t points = 0;
      for (int i = 1; i <= X9Watch_TrackCount(); ++i)
        points += static_cast<uint64_t>(std::max(0, X9Watch_Track(i)->pointCount));
      const uint64_t headers = count * sizeof(x9::TrackHeader);
      live.insert(live.end(), count, headers);
      live.insert(live.end(), count, headers + points * sizeof(x9::TrackPoint));
    };
    switch (transfer) {
      case Transfer::kWaypoints: routes(true); break;
      case Transfer::kRoutes: routes(false); break;
      case Transfer::kTracks: tracks(); break;
      case Transfer::kAllDownloads:
        routes(true);
        routes(false);
        tracks();
        break;
      case Transfer::kUpload: {
        int routeSets = 0;
        for (int set = 0; set < X9Host_GetSetCount(); ++set)
          routeSets += X9Host_GetSet(set)->kind == x9::kListRoutes ? 1 : 0;
        live.assign(static_cast<size_t>(routeSets), 0);
        break;
      }
    }
    TearDown();
    return live;
  }

  int abortPump_ = 0;
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
    Outcome clean = Execute();
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
      X9Host_SetPumpHook(&RecordStagePump, &single.logAtPump);
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
    const Outcome run = Execute([&] { abortPump_ = pump; });
    {
      // The transfer stops where Abort was seen: no device call and no pump after it, nothing
      // asked of the host but the redisplay, and what it held released in its fixed order
      // (headers, then points), then its window.
      SCOPED_TRACE("Abort at pump " + std::to_string(pump));
      const size_t at = static_cast<size_t>(pump - 1);
      ASSERT_EQ(run.Pumps(), pump) << "pumped again after Abort";
      EXPECT_EQ(run.log.size(), run.logAtPump[at])
          << "device calls after Abort: " << run.log.back();
      EXPECT_TRUE(std::equal(run.log.begin(), run.log.end(), clean.log.begin()));
      for (size_t line = run.hostLogAtPump[at]; line < run.hostLog.size(); ++line)
        EXPECT_EQ(EntryOf(run.hostLog[line]), "TPI_ShowAllDataGarminUplist")
            << "host call after Abort: " << run.hostLog[line];
      std::vector<int> freedBefore;
      for (size_t e = 0; e < run.eventsAtPump[at]; ++e)
        if (run.events[e].rfind("buffer ", 0) == 0) freedBefore.push_back(NumberOf(run.events[e]));
      std::vector<std::string> expectedAfter;
      for (int number = 1; number <= run.allocationsAtPump[at]; ++number)
        if (std::find(freedBefore.begin(), freedBefore.end(), number) == freedBefore.end())
          expectedAfter.push_back("buffer " + std::to_string(number) + " freed");
      const std::vector<std::string> after(
          run.events.begin() + static_cast<ptrdiff_t>(run.eventsAtPump[at]), run.events.end());
      ASSERT_EQ(after.size(), expectedAfter.size() + 1) << "events after Abort";
      EXPECT_TRUE(std::equal(expectedAfter.begin(), expectedAfter.end(), after.begin()));
      EXPECT_EQ(after.back().rfind("window ", 0), 0u) << after.back();
    }

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

// At every pump a transfer holds exactly the working bytes its step needs.
TEST_P(FaultSweep, EveryPumpHoldsOnlyWhatItsStepNeeds) {
  const std::vector<uint64_t> expected = ExpectedLiveAtPumps(GetParam());
  const Outcome clean = CleanRun();
  EXPECT_EQ(clean.liveAtPump, expected);
}

// A host that overwrites every record and text once it has copied them ends with the same list,
// byte for byte, as one that leaves them alone: the module reuses nothing it handed over.
TEST_P(FaultSweep, AHostThatOverwritesWhatItWasHandedEndsWithTheSameList) {
  const Outcome clean = CleanRun();
  const Outcome hostile = Execute([] { X9Host_SetOverwritesWhatItWasHanded(1); });
  EXPECT_EQ(hostile.result, clean.result);
  EXPECT_TRUE(hostile.hostAfter == clean.hostAfter) << "the host's list differs";
  EXPECT_TRUE(hostile.routesAfter == clean.routesAfter) << "the watch's routes differ";
  EXPECT_EQ(hostile.log, clean.log);
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
