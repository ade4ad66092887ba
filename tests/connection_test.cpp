// The connection reports what opening the device came to and tells nobody; the dispatcher turns
// each report into the box the user sees.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "device/connection.h"
#include "device/path.h"
#include "support/named_values.h"
#include "support/sim_fixture.h"
#include "support/test_paths.h"
#include "ui/messages.h"

namespace {

using x9::OpenResult;
using x9test::SimFixture;

class ConnectionTest : public SimFixture {
 protected:
  // Opens connection from the directory the host would name, as the dispatcher does.
  OpenResult Open(x9::DeviceConnection& connection) {
    char directory[x9::kPathBufferSize];
    std::memset(directory, 0, sizeof directory);
    TPI_GetPluginDir(directory);
    return connection.OpenDevice(directory, sizeof directory);
  }
};

TEST_F(ConnectionTest, OpensTheWatchAndUnloadsTheLibraryWhenDestroyed) {
  {
    x9::DeviceConnection connection;
    EXPECT_EQ(Open(connection), OpenResult::kOpened);
    EXPECT_EQ(X9Watch_LoadCount(), 1);
    EXPECT_EQ(X9Watch_CallCount("SearchOnPorts"), 1);
    EXPECT_EQ(connection.Api().GetTrackCount(), 0);
  }
  EXPECT_EQ(X9Watch_UnloadCount(), 1);
  EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(ConnectionTest, AWatchFoundOnPortZeroCounts) {
  X9Watch_ForceResult("SearchOnPorts", 0);
  x9::DeviceConnection connection;
  EXPECT_EQ(Open(connection), OpenResult::kOpened);
}

TEST_F(ConnectionTest, NoWatchAnsweringKeepsTheLibraryUntilTheEnd) {
  X9Watch_ForceResult("SearchOnPorts", x9::kDeviceFailure);
  {
    x9::DeviceConnection connection;
    EXPECT_EQ(Open(connection), OpenResult::kNoWatch);
    EXPECT_EQ(X9Watch_UnloadCount(), 0);
  }
  EXPECT_TRUE(WatchLibraryReleased());
  EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(ConnectionTest, MissingLibraryLoadsNothing) {
  X9Host_SetPluginDir((x9test::ProgramDirectory()).c_str());  // no x9.dll there
  x9::DeviceConnection connection;
  EXPECT_EQ(Open(connection), OpenResult::kLibraryNotLoaded);
  EXPECT_FALSE(connection.IsLoaded());
  EXPECT_EQ(X9Watch_LoadCount(), 0);
}

TEST_F(ConnectionTest, MissingEntryPointKeepsTheLibraryWithoutSearchingForTheWatch) {
  X9Host_SetPluginDir(x9test::MissingEntryPluginDirectory().c_str());
  {
    x9::DeviceConnection connection;
    EXPECT_EQ(Open(connection), OpenResult::kEntryPointMissing);
    EXPECT_EQ(X9Watch_CallCount("SearchOnPorts"), 0);
    EXPECT_TRUE(connection.IsLoaded());
  }
  EXPECT_EQ(X9Watch_LoadCount(), 1);
  EXPECT_TRUE(WatchLibraryReleased());
}

// The table the transfers call is all or nothing: a library without all eleven entry points
// gives none of them, and a connection that unloads its library empties its table, so no
// request can call into a half-resolved table or an unloaded library.
TEST_F(ConnectionTest, TheTableHoldsEntryPointsOnlyWhileTheirLibraryIsLoaded) {
  x9::DeviceConnection connection;
  ASSERT_EQ(Open(connection), OpenResult::kOpened);
  EXPECT_NE(connection.Api().DeleteRoute, nullptr);

  X9Host_SetPluginDir(x9test::MissingEntryPluginDirectory().c_str());
  EXPECT_EQ(Open(connection), OpenResult::kEntryPointMissing);
  EXPECT_EQ(connection.Api().GetLibVersion, nullptr);
  EXPECT_EQ(connection.Api().GetTrackCount, nullptr);
  EXPECT_EQ(connection.Api().DeleteRoute, nullptr);

  X9Host_SetPluginDir(x9test::PluginDirectory().c_str());
  ASSERT_EQ(Open(connection), OpenResult::kOpened);
  connection.CloseDevice();
  EXPECT_FALSE(connection.IsLoaded());
  EXPECT_EQ(connection.Api().SearchOnPorts, nullptr);
}

TEST_F(ConnectionTest, ATrailingSeparatorInTheDirectoryIsKept) {
#if defined(_WIN32)
  const std::string dir = x9test::PluginDirectory() + "\\";
#else
  const std::string dir = x9test::PluginDirectory() + "/";
#endif
  X9Host_SetPluginDir(dir.c_str());
  x9::DeviceConnection connection;
  EXPECT_EQ(Open(connection), OpenResult::kOpened);
}

TEST_F(ConnectionTest, OpeningAgainUnloadsTheEarlierLibraryFirst) {
  x9::DeviceConnection connection;
  ASSERT_EQ(Open(connection), OpenResult::kOpened);
  ASSERT_EQ(Open(connection), OpenResult::kOpened);
  EXPECT_EQ(X9Watch_LoadCount(), 2);
  EXPECT_EQ(X9Watch_UnloadCount(), 1);
}

TEST_F(ConnectionTest, ADirectoryTooLongForThePathLoadsNothing) {
  std::string dir = x9test::PluginDirectory();
  dir.append(259 - dir.size(), 'a');
  X9Host_SetPluginDir(dir.c_str());
  x9::DeviceConnection connection;
  EXPECT_EQ(Open(connection), OpenResult::kPathTooLong);
  EXPECT_EQ(X9Watch_LoadCount(), 0);

  // Unterminated within the host's 260 bytes: nothing past them is read.
  const std::string full(260, 'b');
  X9Host_SetPluginDirBytes(full.data(), full.size());
  EXPECT_EQ(Open(connection), OpenResult::kPathTooLong);
  // Nor past a shorter buffer the caller gives.
  EXPECT_EQ(connection.OpenDevice(full.data(), 40), OpenResult::kLibraryNotLoaded);
}

// What the user is told for each way the open can fail: the dispatcher shows it after the
// question, once, and the request ends with result 1, no transfer and no refresh.
struct FailedOpen {
  const char* name;
  void (*arrange)();
  x9::MessageId message;
  unsigned style;
};

class FailedOpenTest : public SimFixture, public ::testing::WithParamInterface<FailedOpen> {};

TEST_P(FailedOpenTest, TheDispatcherTellsWhyAndRunsNothing) {
  GetParam().arrange();
  EXPECT_EQ(Request(x9::kFlagDownloadTracks), 1);
  ASSERT_EQ(ui.boxes.size(), 2u);
  EXPECT_EQ(ui.boxes[0].text, x9::MessageText(x9::kMsgStartTrackDownload));
  EXPECT_EQ(ui.boxes[1].text, x9::MessageText(GetParam().message));
  EXPECT_EQ(ui.boxes[1].style, GetParam().style);
  EXPECT_TRUE(ui.windows.empty());
  EXPECT_TRUE(Refreshes().empty());
  EXPECT_EQ(X9Watch_CallCount("GetTrackCount"), 0);
  EXPECT_TRUE(WatchLibraryReleased());
}

INSTANTIATE_TEST_SUITE_P(
    ConnectionTest, FailedOpenTest,
    ::testing::Values(
        FailedOpen{"NoLibrary", [] { X9Host_SetPluginDir(x9test::ProgramDirectory().c_str()); },
                   x9::kMsgDllMissing, x9::kStyleStop},
        FailedOpen{"EntryPointMissing",
                   [] { X9Host_SetPluginDir(x9test::MissingEntryPluginDirectory().c_str()); },
                   x9::kMsgDllMissing, x9::kStyleStop},
        FailedOpen{"PathTooLong",
                   [] {
                     const std::string full(260, 'b');
                     X9Host_SetPluginDirBytes(full.data(), full.size());
                   },
                   x9::kMsgDllMissing, x9::kStyleStop},
        FailedOpen{"NoWatch", [] { X9Watch_ForceResult("SearchOnPorts", x9::kDeviceFailure); },
                   x9::kMsgNoWatch, x9::kStyleExclamation}),
    [](const ::testing::TestParamInfo<FailedOpen>& info) { return std::string(info.param.name); });

}  // namespace
