#include <gtest/gtest.h>

#include <string>

#include "device/connection.h"
#include "support/sim_fixture.h"
#include "support/test_paths.h"
#include "ui/messages.h"

namespace {

using x9test::SimFixture;

class ConnectionTest : public SimFixture {};

TEST_F(ConnectionTest, OpensTheWatchAndUnloadsTheLibraryWhenDestroyed) {
  {
    x9::DeviceConnection connection;
    EXPECT_EQ(connection.OpenDevice(), 1);
    EXPECT_TRUE(ui.boxes.empty());
    EXPECT_EQ(X9Watch_LoadCount(), 1);
    EXPECT_EQ(X9Watch_CallCount("SearchOnPorts"), 1);
    EXPECT_EQ(x9::g_deviceApi.GetTrackCount(), 0);
  }
  EXPECT_EQ(X9Watch_UnloadCount(), 1);
}

TEST_F(ConnectionTest, AWatchFoundOnPortZeroCounts) {
  X9Watch_ForceResult("SearchOnPorts", 0);
  x9::DeviceConnection connection;
  EXPECT_EQ(connection.OpenDevice(), 1);
  EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(ConnectionTest, NoWatchAnsweringShowsNoWatchAndKeepsTheLibraryUntilTheEnd) {
  X9Watch_ForceResult("SearchOnPorts", x9::kDeviceFailure);
  {
    x9::DeviceConnection connection;
    EXPECT_EQ(connection.OpenDevice(), 0);
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].text, x9::MessageText(x9::kMsgNoWatch));
    EXPECT_EQ(ui.boxes[0].style, x9::kStyleExclamation);
    EXPECT_EQ(X9Watch_UnloadCount(), 0);
  }
  EXPECT_TRUE(WatchLibraryReleased());
}

TEST_F(ConnectionTest, MissingLibraryShowsDllMissingWithTheStopIcon) {
  X9Host_SetPluginDir((x9test::ProgramDirectory()).c_str());  // no x9.dll there
  x9::DeviceConnection connection;
  EXPECT_EQ(connection.OpenDevice(), 0);
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].text, x9::MessageText(x9::kMsgDllMissing));
  EXPECT_EQ(ui.boxes[0].style, x9::kStyleStop);
  EXPECT_FALSE(connection.IsLoaded());
  EXPECT_EQ(X9Watch_LoadCount(), 0);
}

TEST_F(ConnectionTest, MissingEntryPointShowsDllMissingWithoutSearchingForTheWatch) {
  X9Host_SetPluginDir(x9test::MissingEntryPluginDirectory().c_str());
  {
    x9::DeviceConnection connection;
    EXPECT_EQ(connection.OpenDevice(), 0);
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].text, x9::MessageText(x9::kMsgDllMissing));
    EXPECT_EQ(ui.boxes[0].style, x9::kStyleStop);
    EXPECT_EQ(X9Watch_CallCount("SearchOnPorts"), 0);
    EXPECT_TRUE(connection.IsLoaded());
  }
  EXPECT_EQ(X9Watch_LoadCount(), 1);
  EXPECT_TRUE(WatchLibraryReleased());
}

// The table the transfers call is all or nothing: a library without all eleven entry points
// publishes none of them, so no request can call into a half-resolved table.
int X9_STDCALL SentinelCount() { return 4242; }

TEST_F(ConnectionTest, ALibraryMissingAnEntryPointLeavesTheTableAsItWas) {
  const x9::DeviceApi before = x9::g_deviceApi;
  x9::g_deviceApi = x9::DeviceApi{};
  x9::g_deviceApi.GetTrackCount = SentinelCount;
  X9Host_SetPluginDir(x9test::MissingEntryPluginDirectory().c_str());
  {
    x9::DeviceConnection connection;
    EXPECT_EQ(connection.OpenDevice(), 0);
  }
  EXPECT_EQ(x9::g_deviceApi.GetTrackCount, &SentinelCount);
  EXPECT_EQ(x9::g_deviceApi.GetLibVersion, nullptr);
  EXPECT_EQ(x9::g_deviceApi.DeleteRoute, nullptr);
  x9::g_deviceApi = before;
}

TEST_F(ConnectionTest, ATrailingSeparatorInTheDirectoryIsKept) {
#if defined(_WIN32)
  const std::string dir = x9test::PluginDirectory() + "\\";
#else
  const std::string dir = x9test::PluginDirectory() + "/";
#endif
  X9Host_SetPluginDir(dir.c_str());
  x9::DeviceConnection connection;
  EXPECT_EQ(connection.OpenDevice(), 1);
}

TEST_F(ConnectionTest, OpeningAgainUnloadsTheEarlierLibraryFirst) {
  x9::DeviceConnection connection;
  ASSERT_EQ(connection.OpenDevice(), 1);
  ASSERT_EQ(connection.OpenDevice(), 1);
  EXPECT_EQ(X9Watch_LoadCount(), 2);
  EXPECT_EQ(X9Watch_UnloadCount(), 1);
}

TEST_F(ConnectionTest, ADirectoryTooLongForThePathLoadsNothing) {
  std::string dir = x9test::PluginDirectory();
  dir.append(259 - dir.size(), 'a');
  X9Host_SetPluginDir(dir.c_str());
  x9::DeviceConnection connection;
  EXPECT_EQ(connection.OpenDevice(), 0);
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].text, x9::MessageText(x9::kMsgDllMissing));
  EXPECT_EQ(X9Watch_LoadCount(), 0);

  // Unterminated within the host's 260 bytes: nothing past them is read.
  const std::string full(260, 'b');
  X9Host_SetPluginDirBytes(full.data(), full.size());
  EXPECT_EQ(connection.OpenDevice(), 0);
  EXPECT_EQ(ui.boxes.size(), 2u);
}

}  // namespace
