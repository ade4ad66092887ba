// Re-entrancy: requests that arrive while another one runs, at any pump and at any box, are
// refused at once, and the running request ends exactly as it would alone.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "device/device_api.h"
#include "reliability/reliability_support.h"
#include "support/named_values.h"
#include "support/sim_fixture.h"
#include "transfer/dispatcher.h"
#include "ui/messages.h"

namespace {

using x9test::AddFixedTrack;
using x9test::AddHostRoute;
using x9test::AddRoute;
using x9test::MakeHostItem;

// Every request a host can make, nested into a running one.
const unsigned kNestedFlags[] = {0,
                                 x9::kFlagDownloadWaypoints,
                                 x9::kFlagDownloadTracks,
                                 x9::kFlagDownloadRoutes,
                                 x9test::kFlagDownloadAll,
                                 x9test::kFlagUnused08,
                                 x9::kFlagNotImplemented,
                                 x9::kFlagNotForThisDevice,
                                 x9::kFlagUploadRoutes};

// A user interface that, at every box, lets the host start all the other requests: the
// confirmation question and the failure messages are part of the running request.
class NestingUi : public x9test::ScriptedUi {
 public:
  int ShowMessageBox(x9::WindowHandle owner, const char* text, unsigned style) override {
    for (unsigned flags : kNestedFlags)
      nestedResults.push_back(TransferCallback(0, flags, 0));
    return ScriptedUi::ShowMessageBox(owner, text, style);
  }
  std::vector<long> nestedResults;
};

// A running request, and the watch entry point whose first call fails in it (a failure adds its
// message box to the running request), or none.
struct RunningRequest {
  const char* label;
  unsigned flags;
  const char* failingEntry;
};

void PrintTo(const RunningRequest& request, std::ostream* out) { *out << request.label; }

class NestedRequestTest : public x9test::SimFixture,
                          public ::testing::WithParamInterface<RunningRequest> {
 protected:
  void Seed() {
    AddFixedTrack(1, 2);
    AddFixedTrack(2, 0);
    AddFixedTrack(3, 3);
    AddRoute("MYPOINTS", 2);
    AddRoute("Same", 2);
    AddRoute("Route", 1);
    AddHostRoute("Same", {MakeHostItem("s", 1, 2, 3)});
    AddHostRoute("Other", {MakeHostItem("o", 4, 5, 6), MakeHostItem("p", 7, 8, 9)});
  }

  struct Run {
    long result = 0;
    std::vector<std::string> boxes;
    std::string host;
    std::vector<std::string> routes;
    std::vector<long> nested;
    int pumps = 0;
  };

  // One request; with nesting, every pump and every box starts each other request too.
  Run Execute(bool nesting) {
    SetUp();
    Seed();
    if (GetParam().failingEntry != nullptr)
      X9Watch_SetResult(GetParam().failingEntry, 1, x9::kDeviceFailure);
    NestingUi nestingUi;
    Run run;
    struct PumpNesting {
      Run* run;
      int pumps;
    } pumpNesting{&run, 0};
    if (nesting) {
      x9::SetUserInterface(&nestingUi);
      X9Host_SetPumpHook(
          [](void* context) {
            auto* nesting = static_cast<PumpNesting*>(context);
            ++nesting->pumps;
            for (unsigned nested : kNestedFlags)
              nesting->run->nested.push_back(TransferCallback(0, nested, 0));
          },
          &pumpNesting);
    }
    run.result = Request(GetParam().flags);
    x9::SetUserInterface(&ui);
    const x9test::ScriptedUi& shown = nesting ? nestingUi : ui;
    run.boxes = x9test::BoxTexts(shown);
    run.host = X9HostDumpString();
    run.routes = x9test::WatchRouteNames();
    run.nested.insert(run.nested.end(), nestingUi.nestedResults.begin(),
                      nestingUi.nestedResults.end());
    run.pumps = pumpNesting.pumps;
    EXPECT_EQ(X9Watch_LoadCount(), 1);
    EXPECT_TRUE(WatchLibraryReleased());
    EXPECT_EQ(nestingUi.OpenWindows(), 0);
    TearDown();
    return run;
  }
};

// While the transfer runs, at any pump and at any box, every other request is refused at once:
// result 1, nothing shown, nothing loaded; the running request ends exactly as it would alone.
TEST_P(NestedRequestTest, EveryRequestIsRefusedInsideTheTransfer) {
  const Run alone = Execute(false);
  const Run nested = Execute(true);
  EXPECT_EQ(nested.result, alone.result);
  EXPECT_EQ(nested.boxes, alone.boxes);
  EXPECT_TRUE(nested.host == alone.host);
  EXPECT_EQ(nested.routes, alone.routes);
  const size_t attempts = (static_cast<size_t>(nested.pumps) + alone.boxes.size()) *
                          (sizeof kNestedFlags / sizeof kNestedFlags[0]);
  EXPECT_EQ(nested.nested, std::vector<long>(attempts, 1));
}

INSTANTIATE_TEST_SUITE_P(
    EveryTransfer, NestedRequestTest,
    ::testing::Values(
        RunningRequest{"Waypoints", x9::kFlagDownloadWaypoints, nullptr},
        RunningRequest{"WaypointsFailing", x9::kFlagDownloadWaypoints, "GetRoutePoints"},
        RunningRequest{"Tracks", x9::kFlagDownloadTracks, nullptr},
        RunningRequest{"TracksFailing", x9::kFlagDownloadTracks, "GetTrackPoints"},
        RunningRequest{"Routes", x9::kFlagDownloadRoutes, nullptr},
        RunningRequest{"RoutesFailing", x9::kFlagDownloadRoutes, "GetRouteHeader"},
        RunningRequest{"Upload", x9::kFlagUploadRoutes, nullptr},
        RunningRequest{"UploadFailing", x9::kFlagUploadRoutes, "PutRoute"},
        RunningRequest{"AllDownloads", x9test::kFlagDownloadAll, nullptr},
        RunningRequest{"AllDownloadsFailing", x9test::kFlagDownloadAll, "GetTrackHeader"}),
    [](const ::testing::TestParamInfo<RunningRequest>& info) { return info.param.label; });

}  // namespace
