#include <gtest/gtest.h>

#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/sim_fixture.h"
#include "transfer/dispatcher.h"
#include "ui/messages.h"

namespace {

using x9test::AddRoute;
using x9test::AddTrack;

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
  EXPECT_EQ(Request(0x10 | 0x40 | 0x07), 1);
  EXPECT_EQ(x9test::BoxTexts(ui), std::vector<std::string>{x9::MessageText(26)});
  EXPECT_EQ(ui.boxes[0].style, 0x40u);
  EXPECT_EQ(X9Watch_LoadCount(), 0);
  EXPECT_TRUE(Refreshes().empty());
}

TEST_F(DispatcherTest, UploadComesBeforeTheDeviceRefusal) {
  EXPECT_EQ(Request(0x40 | 0x20), 1);
  EXPECT_EQ(x9test::BoxTexts(ui), std::vector<std::string>{x9::MessageText(24)});
  EXPECT_EQ(Refreshes(), std::vector<unsigned>{3});
}

TEST_F(DispatcherTest, DeviceRefusalShowsMessage12) {
  EXPECT_EQ(Request(0x20 | 0x07), 1);
  EXPECT_EQ(x9test::BoxTexts(ui), std::vector<std::string>{x9::MessageText(12)});
  EXPECT_EQ(ui.boxes[0].style, 0x30u);
  EXPECT_EQ(X9Watch_LoadCount(), 0);
}

TEST_F(DispatcherTest, CombinedDownloadAsksOnceAndRefreshesAllThreeKinds) {
  EXPECT_EQ(Request(0x07), 1);
  EXPECT_EQ(x9test::BoxTexts(ui), std::vector<std::string>{x9::MessageText(21)});
  EXPECT_EQ(ui.boxes[0].style, 0x24u);
  EXPECT_EQ(Refreshes(), (std::vector<unsigned>{2, 3, 1}));
  EXPECT_EQ(X9Host_ItemCount(0), 2);  // waypoints
  ASSERT_EQ(X9Host_SetCount(), 3);   // the route, then the track
  EXPECT_EQ(X9Host_Set(1)->kind, 3);
  EXPECT_EQ(X9Host_Set(2)->kind, 1);
  EXPECT_EQ(X9Watch_LoadCount(), 1);
  EXPECT_TRUE(WatchLibraryReleased());
  ASSERT_EQ(ui.windows.size(), 3u);
  EXPECT_EQ(ui.windows[0].message, x9::MessageText(1));
  EXPECT_EQ(ui.windows[1].message, x9::MessageText(2));
  EXPECT_EQ(ui.windows[2].message, x9::MessageText(3));
}

TEST_F(DispatcherTest, DecliningLoadsNothing) {
  for (unsigned flags : {0x07u, 0x01u, 0x02u, 0x04u, 0x40u}) {
    SCOPED_TRACE(flags);
    SetUp();
    ui.defaultAnswer = x9::kAnswerNo;
    EXPECT_EQ(Request(flags), 1);
    EXPECT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(X9Watch_LoadCount(), 0);
    EXPECT_TRUE(Refreshes().empty());
    TearDown();
  }
}

TEST_F(DispatcherTest, AFailedStageEndsTheCombinedDownloadWithoutRefresh) {
  X9Watch_SetResult("GetRoutePoints", 2, -1);  // the route stage's read
  EXPECT_EQ(Request(0x07), 0);
  EXPECT_EQ(X9Watch_CallCount("GetTrackCount"), 0);
  EXPECT_TRUE(Refreshes().empty());
  // What the waypoint stage appended stays.
  EXPECT_EQ(X9Host_ItemCount(0), 2);
  EXPECT_EQ(X9Host_SetCount(), 1);
  EXPECT_TRUE(WatchLibraryReleased());
}

TEST_F(DispatcherTest, PartialCombinationsTakeTheFirstMatchingKind) {
  struct Case {
    unsigned flags;
    x9::MessageId question;
    unsigned refresh;
  };
  for (const Case& c : {Case{0x03, 21, 2}, Case{0x05, 21, 2}, Case{0x06, 22, 3}, Case{0x02 | 0x08, 23, 1}}) {
    SCOPED_TRACE(c.flags);
    SetUp();
    EXPECT_EQ(Request(c.flags), 1);
    EXPECT_EQ(x9test::BoxTexts(ui), std::vector<std::string>{x9::MessageText(c.question)});
    EXPECT_EQ(Refreshes(), std::vector<unsigned>{c.refresh});
    TearDown();
  }
}

TEST_F(DispatcherTest, NothingRequestedDoesNothing) {
  for (unsigned flags : {0x00u, 0x08u, 0x80u}) {
    EXPECT_EQ(Request(flags), 1);
  }
  EXPECT_TRUE(ui.boxes.empty());
  EXPECT_EQ(X9Watch_LoadCount(), 0);
}

TEST_F(DispatcherTest, ASingleKindRefreshesWhateverTheResult) {
  X9Watch_SetResult("GetTrackPoints", 1, -1);
  EXPECT_EQ(Request(0x02), 0);
  EXPECT_EQ(Refreshes(), std::vector<unsigned>{1});
}

TEST_F(DispatcherTest, NoWatchEndsTheRequestWithResultOneAndNoRefresh) {
  X9Watch_ForceResult("SearchOnPorts", -1);
  EXPECT_EQ(Request(0x02), 1);
  EXPECT_EQ(x9test::BoxTexts(ui), (std::vector<std::string>{x9::MessageText(23), x9::MessageText(17)}));
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
        n->results.push_back(TransferCallback(0, 0x07, 0));
      },
      &nested);
  EXPECT_EQ(Request(0x02), 1);
  EXPECT_EQ(nested.results, std::vector<long>(2, 1));  // one per pump of the track download
  EXPECT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(X9Watch_LoadCount(), 1);
  EXPECT_EQ(X9Host_SetCount(), 2);
  // Afterwards requests are served again.
  X9Host_SetPumpHook(nullptr, nullptr);
  EXPECT_EQ(Request(0x04), 1);
  EXPECT_EQ(X9Host_SetCount(), 3);
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

TEST_F(DispatcherTest, NoExceptionLeavesTheCallback) {
  for (bool badAlloc : {true, false}) {
    SCOPED_TRACE(badAlloc);
    SetUp();
    ThrowingUi throwing;
    throwing.throwAtBox = 2;
    throwing.badAlloc = badAlloc;
    X9Watch_SetResult("GetTrackPoints", 1, -1);  // message 18 is the box that throws
    x9::SetUserInterface(&throwing);
    EXPECT_EQ(Request(0x02), 0);
    x9::SetUserInterface(&ui);
    EXPECT_TRUE(WatchLibraryReleased());
    EXPECT_EQ(throwing.OpenWindows(), 0);
    if (badAlloc) {
      ASSERT_EQ(throwing.boxes.size(), 3u);
      EXPECT_EQ(throwing.boxes[2].text, x9::MessageText(19));
      EXPECT_FALSE(throwing.boxes[2].progressWindowOpen);
    } else {
      EXPECT_EQ(throwing.boxes.size(), 2u);
    }
    TearDown();
  }
}

// An exception that ends a request still has the host redisplay what the request may have
// appended: here the combined download's route stage throws after the waypoints went in.
TEST_F(DispatcherTest, AnExceptionStillRefreshesWhatTheRequestMayHaveAppended) {
  for (bool badAlloc : {true, false}) {
    SCOPED_TRACE(badAlloc);
    SetUp();  // the watch: MYPOINTS (2 points), Route (3), one track
    X9Watch_SetResult("GetRouteHeader", 3, -1);  // the route stage's first read: message 18
    ThrowingUi throwing;
    throwing.throwAtBox = 2;
    throwing.badAlloc = badAlloc;
    x9::SetUserInterface(&throwing);
    EXPECT_EQ(Request(0x07), 0);
    x9::SetUserInterface(&ui);
    EXPECT_EQ(X9Host_ItemCount(0), 2);  // the waypoints stay
    EXPECT_EQ(Refreshes(), (std::vector<unsigned>{2, 3}));
    EXPECT_TRUE(WatchLibraryReleased());
    TearDown();
  }
  // A single request refreshes its own kind.
  SetUp();
  X9Watch_SetResult("GetTrackPoints", 1, -1);
  ThrowingUi throwing;
  throwing.throwAtBox = 2;
  x9::SetUserInterface(&throwing);
  EXPECT_EQ(Request(0x02), 0);
  x9::SetUserInterface(&ui);
  EXPECT_EQ(Refreshes(), std::vector<unsigned>{1});
}

}  // namespace
