#include <gtest/gtest.h>

#include <new>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "device/device_api.h"
#include "support/named_values.h"
#include "support/sim_fixture.h"
#include "transfer/dispatcher.h"
#include "transfer/transfer_steps.h"
#include "ui/messages.h"

namespace {

using x9test::AddRoute;
using x9test::AddTrack;
using x9test::kFlagDownloadAll;
using x9test::kFlagUnused08;
using x9test::kFlagUnused80;

class DispatcherTest : public x9test::SimFixture {
 protected:
  void SetUp() override {
    SimFixture::SetUp();
    AddRoute("MYPOINTS", 2);
    AddRoute("Route", 3);
    AddTrack(4);
  }
};

TEST_F(DispatcherTest, NotImplementedWinsOverEverything) {
  EXPECT_EQ(Request(x9::kFlagNotImplemented | x9::kFlagUploadRoutes | kFlagDownloadAll), 1);
  EXPECT_EQ(x9test::BoxTexts(ui),
            std::vector<std::string>{x9::MessageText(x9::kMsgNotImplemented)});
  EXPECT_EQ(ui.boxes[0].style, x9::kStyleInformation);
  EXPECT_EQ(X9Watch_LoadCount(), 0);
  EXPECT_TRUE(Refreshes().empty());
}

TEST_F(DispatcherTest, UploadComesBeforeTheDeviceRefusal) {
  EXPECT_EQ(Request(x9::kFlagUploadRoutes | x9::kFlagNotForThisDevice), 1);
  EXPECT_EQ(x9test::BoxTexts(ui),
            std::vector<std::string>{x9::MessageText(x9::kMsgStartRouteUpload)});
  EXPECT_EQ(Refreshes(), std::vector<unsigned>{x9::kListRoutes});
}

TEST_F(DispatcherTest, DeviceRefusalShowsNotForThisGps) {
  EXPECT_EQ(Request(x9::kFlagNotForThisDevice | kFlagDownloadAll), 1);
  EXPECT_EQ(x9test::BoxTexts(ui), std::vector<std::string>{x9::MessageText(x9::kMsgNotForThisGps)});
  EXPECT_EQ(ui.boxes[0].style, x9::kStyleExclamation);
  EXPECT_EQ(X9Watch_LoadCount(), 0);
}

TEST_F(DispatcherTest, CombinedDownloadAsksOnceAndRefreshesAllThreeKinds) {
  EXPECT_EQ(Request(kFlagDownloadAll), 1);
  EXPECT_EQ(x9test::BoxTexts(ui),
            std::vector<std::string>{x9::MessageText(x9::kMsgStartWaypointDownload)});
  EXPECT_EQ(ui.boxes[0].style, x9::kStyleQuestion);
  EXPECT_EQ(Refreshes(),
            (std::vector<unsigned>{x9::kListWaypoints, x9::kListRoutes, x9::kListTracks}));
  EXPECT_EQ(X9Host_ItemCount(0), 2);   // waypoints
  ASSERT_EQ(X9Host_GetSetCount(), 3);  // the route, then the track
  EXPECT_EQ(X9Host_GetSet(1)->kind, x9::kListRoutes);
  EXPECT_EQ(X9Host_GetSet(2)->kind, x9::kListTracks);
  EXPECT_EQ(X9Watch_LoadCount(), 1);
  EXPECT_TRUE(WatchLibraryReleased());
  ASSERT_EQ(ui.windows.size(), 3u);
  EXPECT_EQ(ui.windows[0].message, x9::MessageText(x9::kMsgDownloadingWaypoints));
  EXPECT_EQ(ui.windows[1].message, x9::MessageText(x9::kMsgDownloadingRoutes));
  EXPECT_EQ(ui.windows[2].message, x9::MessageText(x9::kMsgDownloadingTracks));
}

// Every request that asks a question, answered No: nothing is loaded and nothing redisplayed.
class DecliningTest : public DispatcherTest, public ::testing::WithParamInterface<unsigned> {};

TEST_P(DecliningTest, LoadsNothing) {
  ui.defaultAnswer = x9::kAnswerNo;
  EXPECT_EQ(Request(GetParam()), 1);
  EXPECT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(X9Watch_LoadCount(), 0);
  EXPECT_TRUE(Refreshes().empty());
}

std::string RequestName(unsigned flags) {
  switch (flags) {
    case kFlagDownloadAll: return "DownloadAll";
    case x9::kFlagDownloadWaypoints: return "DownloadWaypoints";
    case x9::kFlagDownloadTracks: return "DownloadTracks";
    case x9::kFlagDownloadRoutes: return "DownloadRoutes";
    case x9::kFlagUploadRoutes: return "UploadRoutes";
    case x9::kFlagDownloadWaypoints | x9::kFlagDownloadTracks: return "WaypointsAndTracks";
    case x9::kFlagDownloadWaypoints | x9::kFlagDownloadRoutes: return "WaypointsAndRoutes";
    case x9::kFlagDownloadTracks | x9::kFlagDownloadRoutes: return "TracksAndRoutes";
    case x9::kFlagDownloadTracks | kFlagUnused08: return "TracksAndAnUnusedBit";
    case 0: return "NoBits";
    case kFlagUnused08: return "Unused08";
    case kFlagUnused80: return "Unused80";
  }
  return "Flags" + std::to_string(flags);
}

std::string FlagsName(const ::testing::TestParamInfo<unsigned>& info) {
  return RequestName(info.param);
}

INSTANTIATE_TEST_SUITE_P(DispatcherTest, DecliningTest,
                         ::testing::Values(kFlagDownloadAll, x9::kFlagDownloadWaypoints,
                                           x9::kFlagDownloadTracks, x9::kFlagDownloadRoutes,
                                           x9::kFlagUploadRoutes),
                         FlagsName);

TEST_F(DispatcherTest, AFailedStageEndsTheCombinedDownloadWithoutRefresh) {
  X9Watch_SetResult("GetRoutePoints", 2, x9::kDeviceFailure);  // the route stage's read
  EXPECT_EQ(Request(kFlagDownloadAll), 0);
  EXPECT_EQ(X9Watch_CallCount("GetTrackCount"), 0);
  EXPECT_TRUE(Refreshes().empty());
  // What the waypoint stage appended stays.
  EXPECT_EQ(X9Host_ItemCount(0), 2);
  EXPECT_EQ(X9Host_GetSetCount(), 1);
  EXPECT_TRUE(WatchLibraryReleased());
}

// Two of the three download bits, or one with a bit no request uses: the first matching kind in
// the order waypoints, routes, tracks is the one downloaded.
struct PartialCase {
  unsigned flags;
  x9::MessageId question;
  x9::ListKind refresh;
};

void PrintTo(const PartialCase& c, std::ostream* out) { *out << "flags " << c.flags; }

class PartialCombinationTest : public DispatcherTest,
                               public ::testing::WithParamInterface<PartialCase> {};

TEST_P(PartialCombinationTest, TakesTheFirstMatchingKind) {
  EXPECT_EQ(Request(GetParam().flags), 1);
  EXPECT_EQ(x9test::BoxTexts(ui), std::vector<std::string>{x9::MessageText(GetParam().question)});
  EXPECT_EQ(Refreshes(), std::vector<unsigned>{GetParam().refresh});
}

INSTANTIATE_TEST_SUITE_P(
    DispatcherTest, PartialCombinationTest,
    ::testing::Values(PartialCase{x9::kFlagDownloadWaypoints | x9::kFlagDownloadTracks,
                                  x9::kMsgStartWaypointDownload, x9::kListWaypoints},
                      PartialCase{x9::kFlagDownloadWaypoints | x9::kFlagDownloadRoutes,
                                  x9::kMsgStartWaypointDownload, x9::kListWaypoints},
                      PartialCase{x9::kFlagDownloadTracks | x9::kFlagDownloadRoutes,
                                  x9::kMsgStartRouteDownload, x9::kListRoutes},
                      PartialCase{x9::kFlagDownloadTracks | kFlagUnused08,
                                  x9::kMsgStartTrackDownload, x9::kListTracks}),
    [](const ::testing::TestParamInfo<PartialCase>& info) {
      return RequestName(info.param.flags);
    });

// No request bit at all, or only bits no request uses.
class NothingRequestedTest : public DispatcherTest,
                             public ::testing::WithParamInterface<unsigned> {};

TEST_P(NothingRequestedTest, DoesNothing) {
  EXPECT_EQ(Request(GetParam()), 1);
  EXPECT_TRUE(ui.boxes.empty());
  EXPECT_EQ(X9Watch_LoadCount(), 0);
}

INSTANTIATE_TEST_SUITE_P(DispatcherTest, NothingRequestedTest,
                         ::testing::Values(0u, kFlagUnused08, kFlagUnused80), FlagsName);

TEST_F(DispatcherTest, ASingleKindRefreshesWhateverTheResult) {
  X9Watch_SetResult("GetTrackPoints", 1, x9::kDeviceFailure);
  EXPECT_EQ(Request(x9::kFlagDownloadTracks), 0);
  EXPECT_EQ(Refreshes(), std::vector<unsigned>{x9::kListTracks});
}

TEST_F(DispatcherTest, NoWatchEndsTheRequestWithResultOneAndNoRefresh) {
  X9Watch_ForceResult("SearchOnPorts", x9::kDeviceFailure);
  EXPECT_EQ(Request(x9::kFlagDownloadTracks), 1);
  EXPECT_EQ(x9test::BoxTexts(ui),
            (std::vector<std::string>{x9::MessageText(x9::kMsgStartTrackDownload),
                                      x9::MessageText(x9::kMsgNoWatch)}));
  EXPECT_TRUE(Refreshes().empty());
  EXPECT_TRUE(WatchLibraryReleased());
}

// A request arriving while another one pumps is refused at once; the running one completes.
TEST_F(DispatcherTest, ANestedRequestIsRefusedQuietly) {
  struct Nested {
    DispatcherTest* test;
    std::vector<long> results;
  } nested{this, {}};
  X9Host_SetPumpHook(
      [](void* context) {
        auto* n = static_cast<Nested*>(context);
        n->results.push_back(TransferCallback(0, kFlagDownloadAll, 0));
      },
      &nested);
  EXPECT_EQ(Request(x9::kFlagDownloadTracks), 1);
  EXPECT_EQ(nested.results, std::vector<long>(2, 1));  // one per pump of the track download
  EXPECT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(X9Watch_LoadCount(), 1);
  EXPECT_EQ(X9Host_GetSetCount(), 2);
  // Afterwards requests are served again.
  X9Host_SetPumpHook(nullptr, nullptr);
  EXPECT_EQ(Request(x9::kFlagDownloadRoutes), 1);
  EXPECT_EQ(X9Host_GetSetCount(), 3);
}

// A user interface whose boxes throw, to drive exceptions through a request.
class ThrowingUi : public x9test::ScriptedUi {
 public:
  int ShowMessageBox(x9::WindowHandle owner, const char* text, unsigned style) override {
    const int answer = ScriptedUi::ShowMessageBox(owner, text, style);
    if (static_cast<int>(boxes.size()) == throwAtBox) {
      if (badAlloc) throw std::bad_alloc();
      throw std::runtime_error("unexpected");
    }
    return answer;
  }
  int throwAtBox = 0;
  bool badAlloc = true;
};

// The second box of a failing request, the failure's message, throws: running out of memory
// (std::bad_alloc) or anything else.
class ExceptionTest : public DispatcherTest, public ::testing::WithParamInterface<bool> {
 protected:
  void SetUp() override {
    DispatcherTest::SetUp();
    throwing.throwAtBox = 2;
    throwing.badAlloc = GetParam();
    x9::SetUserInterface(&throwing);
  }
  void TearDown() override {
    x9::SetUserInterface(&ui);
    EXPECT_EQ(throwing.OpenWindows(), 0) << "a progress window outlived its transfer";
    DispatcherTest::TearDown();
  }
  // After the exception the next request is served, not refused as a nested one: checked by
  // every exception test itself, whatever runs before or after it.
  void ExpectTheNextRequestIsServed() {
    x9::SetUserInterface(&ui);
    const int loads = X9Watch_LoadCount();
    const size_t boxes = ui.boxes.size();
    EXPECT_EQ(Request(x9::kFlagDownloadRoutes), 1);
    EXPECT_EQ(X9Watch_LoadCount(), loads + 1) << "the request after the exception was refused";
    EXPECT_GT(ui.boxes.size(), boxes);
    x9::SetUserInterface(&throwing);
  }
  ThrowingUi throwing;
};

TEST_P(ExceptionTest, NoExceptionLeavesTheCallback) {
  X9Watch_SetResult("GetTrackPoints", 1, x9::kDeviceFailure);  // the failure's box throws
  EXPECT_EQ(Request(x9::kFlagDownloadTracks), 0);
  EXPECT_TRUE(WatchLibraryReleased());
  EXPECT_EQ(throwing.OpenWindows(), 0);
  if (GetParam()) {
    // Out of memory is told, once the clean-up has closed the window.
    ASSERT_EQ(throwing.boxes.size(), 3u);
    EXPECT_EQ(throwing.boxes[2].text, x9::MessageText(x9::kMsgOutOfMemory));
    EXPECT_FALSE(throwing.boxes[2].progressWindowOpen);
  } else {
    EXPECT_EQ(throwing.boxes.size(), 2u);
  }
  ExpectTheNextRequestIsServed();
}

// An exception that ends a request still has the host redisplay what the request may have
// appended: here the combined download's route stage throws after the waypoints went in.
TEST_P(ExceptionTest, StillRefreshesWhatTheCombinedDownloadMayHaveAppended) {
  // The watch: MYPOINTS (2 points), Route (3), one track.
  X9Watch_SetResult("GetRouteHeader", 3, x9::kDeviceFailure);  // the route stage's first read
  EXPECT_EQ(Request(kFlagDownloadAll), 0);
  EXPECT_EQ(X9Host_ItemCount(0), 2);  // the waypoints stay
  EXPECT_EQ(Refreshes(), (std::vector<unsigned>{x9::kListWaypoints, x9::kListRoutes}));
  EXPECT_TRUE(WatchLibraryReleased());
  ExpectTheNextRequestIsServed();
}

// A single request refreshes its own kind.
TEST_P(ExceptionTest, StillRefreshesTheKindOfASingleRequest) {
  X9Watch_SetResult("GetTrackPoints", 1, x9::kDeviceFailure);
  EXPECT_EQ(Request(x9::kFlagDownloadTracks), 0);
  EXPECT_EQ(Refreshes(), std::vector<unsigned>{x9::kListTracks});
  ExpectTheNextRequestIsServed();
}

// The upload appends nothing to the host's list: ended by an exception, it refreshes nothing.
TEST_P(ExceptionTest, AnUploadEndedByAnExceptionRefreshesNothing) {
  x9test::AddHostRoute("Up", {x9test::MakeHostItem("u", 1, 2, 3)});
  X9Watch_SetResult("PutRoute", 1, x9::kDeviceFailure);  // the failure's box throws
  EXPECT_EQ(Request(x9::kFlagUploadRoutes), 0);
  EXPECT_TRUE(Refreshes().empty());
  EXPECT_TRUE(WatchLibraryReleased());
  ExpectTheNextRequestIsServed();
}

INSTANTIATE_TEST_SUITE_P(DispatcherTest, ExceptionTest, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                           return std::string(info.param ? "OutOfMemory" : "AnyOtherException");
                         });

// Each request's redisplay, on every normal way out, comes while x9.dll is still loaded; the
// library is unloaded after it, once.
class RefreshBeforeUnloadTest : public DispatcherTest,
                                public ::testing::WithParamInterface<unsigned> {};

TEST_P(RefreshBeforeUnloadTest, EveryRefreshComesBeforeTheLibraryIsUnloaded) {
  x9test::AddHostRoute("Up", {x9test::MakeHostItem("u", 1, 2, 3)});
  std::vector<int> loadedAtRefresh;
  X9Host_SetCallHook(
      [](const char* line, const void*, void* context) {
        if (std::string(line).rfind("TPI_ShowAllDataGarminUplist", 0) != 0) return;
        static_cast<std::vector<int>*>(context)->push_back(X9Watch_LoadCount() -
                                                           X9Watch_UnloadCount());
      },
      &loadedAtRefresh);
  EXPECT_EQ(Request(GetParam()), 1);
  X9Host_SetCallHook(nullptr, nullptr);
  ASSERT_FALSE(loadedAtRefresh.empty());
  EXPECT_EQ(loadedAtRefresh, std::vector<int>(loadedAtRefresh.size(), 1));
  EXPECT_TRUE(WatchLibraryReleased());
}

INSTANTIATE_TEST_SUITE_P(DispatcherTest, RefreshBeforeUnloadTest,
                         ::testing::Values(kFlagDownloadAll, x9::kFlagDownloadWaypoints,
                                           x9::kFlagDownloadTracks, x9::kFlagDownloadRoutes,
                                           x9::kFlagUploadRoutes),
                         FlagsName);

// Each transfer opens its window, sets the bar to 0, and only then pauses its 100 ms, once,
// before its first question to the watch.
struct PauseCase {
  unsigned flags;
  const char* firstCall;
};

class SettlePauseTest : public DispatcherTest, public ::testing::WithParamInterface<PauseCase> {};

std::vector<std::string>* g_pauses = nullptr;
const x9test::ScriptedUi* g_pauseUi = nullptr;
const char* g_firstCall = nullptr;

void RecordPause(unsigned milliseconds) {
  std::string seen = "pause " + std::to_string(milliseconds) + " windows " +
                     std::to_string(g_pauseUi->windows.size()) + " bar";
  if (!g_pauseUi->windows.empty())
    for (int position : g_pauseUi->windows.back().positions)
      seen += " " + std::to_string(position);
  seen += " counted " + std::to_string(X9Watch_CallCount(g_firstCall));
  g_pauses->push_back(seen);
}

TEST_P(SettlePauseTest, ThePauseFallsAfterTheBarIsSetToZeroAndBeforeTheFirstCount) {
  x9test::AddHostRoute("Up", {x9test::MakeHostItem("u", 1, 2, 3)});
  std::vector<std::string> pauses;
  g_pauses = &pauses;
  g_pauseUi = &ui;
  g_firstCall = GetParam().firstCall;
  x9::g_settleMilliseconds = 100;
  x9::g_settlePause = &RecordPause;
  EXPECT_EQ(Request(GetParam().flags), 1);
  x9::g_settlePause = &x9::platform::PauseMilliseconds;
  x9::g_settleMilliseconds = 0;
  EXPECT_EQ(pauses, std::vector<std::string>{"pause 100 windows 1 bar 0 counted 0"});
}

INSTANTIATE_TEST_SUITE_P(DispatcherTest, SettlePauseTest,
                         ::testing::Values(PauseCase{x9::kFlagDownloadWaypoints, "GetRouteCount"},
                                           PauseCase{x9::kFlagDownloadTracks, "GetTrackCount"},
                                           PauseCase{x9::kFlagDownloadRoutes, "GetRouteCount"},
                                           PauseCase{x9::kFlagUploadRoutes, "GetRouteCount"}),
                         [](const ::testing::TestParamInfo<PauseCase>& info) {
                           return RequestName(info.param.flags);
                         });

}  // namespace
