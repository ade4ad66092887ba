// The real module, loaded by a test host the way the map application loads it, with real
// message boxes answered through a WH_CBT hook and the real Abort button clicked. Assumes any
// locale: texts are compared as UTF-16 after conversion from code page 932. One test needs the
// Japanese one (code page 932 as the system's ANSI code page) and is skipped in any other.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "device/device_api.h"
#include "device/records.h"
#include "host/records.h"
#include "platform/platform.h"
#include "platform/win32/progress_res.h"
#include "platform/win32/windows_support.h"
#include "sim/host/host_sim.h"
#include "sim/watch/watch_sim.h"
#include "support/named_values.h"
#include "support/test_paths.h"
#include "transfer/dispatcher.h"
#include "win32/cbt_answerer.h"
#include "win32/version_info.h"
#include "win32/window_probe.h"

namespace {

using InitFn = int(__stdcall*)(PluginInfo*, uint32_t);
using PlainFn = int (*)(void);

std::wstring Wide(const char* utf8) {
  const int n = MultiByteToWideChar(CP_UTF8, 0, utf8, -1, nullptr, 0);
  std::wstring out(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8, -1, out.data(), n);
  out.resize(static_cast<size_t>(n) - 1);
  return out;
}

const char kConnectionLost[] =
    "SUUNTO 製品との接続が切れたかエラーが発生しました. 接続を確認してください.\n\n"
    "とくにウォッチドッグと時計、ＰＣ間のコネクタの接触が悪いことがたいへん多いです.";

class ModuleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    X9Host_Reset();
    X9Watch_Reset();
    X9Host_SetPluginDir(x9test::PluginDirectory().c_str());
    LoadModuleFrom(x9test::PluginDirectory());
  }
  // Loads x9link.tvl from directory (bytes of the system's code page, as the host has them) in
  // place of the one loaded before.
  void LoadModuleFrom(const std::string& directory) {
    module_.Reset();
    const std::string path = directory + "\\x9link.tvl";
    module_ = x9::platform::Library(path.c_str());
    ASSERT_TRUE(module_.IsLoaded()) << path;
    init_ = reinterpret_cast<InitFn>(Symbol("Init"));
    load_ = reinterpret_cast<PlainFn>(Symbol("Load"));
    about_ = reinterpret_cast<PlainFn>(Symbol("About"));
    close_ = reinterpret_cast<PlainFn>(Symbol("Close"));
    ASSERT_TRUE(init_ && load_ && about_ && close_);
  }
  void TearDown() override {
    X9Host_SetPumpHook(nullptr, nullptr);
    module_.Reset();
    EXPECT_EQ(X9Watch_LoadCount(), X9Watch_UnloadCount());
  }
  void* Symbol(const char* name) { return module_.Find(name); }
  TransferCallbackFn Start() {
    PluginInfo info{};
    EXPECT_EQ(init_(&info, 42), 1);
    EXPECT_EQ(load_(), 1);
    return X9Host_Callback();
  }
  static void AddRoute(const char* name, int points) {
    x9::RouteHeader header{};
    std::strncpy(header.name, name, sizeof header.name - 1);
    header.pointCount = points;
    std::vector<x9::RoutePoint> records(static_cast<size_t>(points));
    for (int i = 0; i < points; ++i) {
      std::snprintf(records[i].name, sizeof records[i].name, "%s%d", name, i + 1);
      records[i].latitude = 356000000 + i;
      records[i].longitude = 1397000000 - i;
      records[i].altitude = 100 + i;
    }
    X9Watch_AddRoute(&header, records.data(), points);
  }
  static void AddTrack(int points) {
    x9::TrackHeader header{};
    header.pointCount = points;
    std::vector<x9::TrackPoint> records(static_cast<size_t>(points));
    for (int i = 0; i < points; ++i) {
      records[i] = x9::TrackPoint{2005, 1, 1, 0, 0, i, 356000000 + i, 1397000000, 10, 0, 0};
    }
    X9Watch_AddTrack(&header, records.data(), points);
  }

  x9::platform::Library module_;
  InitFn init_ = nullptr;
  PlainFn load_ = nullptr, about_ = nullptr, close_ = nullptr;
};

TEST_F(ModuleTest, InitRefusesAnOldHostInARealBoxAndAcceptsTheThreshold) {
  X9Host_SetVersion(x9test::kOldestHostVersion - 1);
  x9test::CbtAnswerer answerer({IDOK});
  PluginInfo info{};
  EXPECT_EQ(init_(&info, 1), 0);
  ASSERT_EQ(answerer.Boxes().size(), 1u);
  EXPECT_EQ(
      answerer.Boxes()[0].text,
      Wide("SUUNTO プラグイン\nTirvaneのバージョンが古いためこのプラグインは使用できません."));
  EXPECT_EQ(answerer.Boxes()[0].Style(), static_cast<unsigned>(MB_OK | MB_ICONINFORMATION));
  EXPECT_EQ(answerer.Boxes()[0].caption, L"module_tests");

  // The threshold itself is accepted, silently, and the record filled.
  X9Host_SetVersion(x9test::kOldestHostVersion);
  EXPECT_EQ(init_(&info, 1), 1);
  EXPECT_EQ(answerer.Boxes().size(), 1u);
  EXPECT_EQ(info.size, sizeof info);
  EXPECT_STREQ(info.name, "SUUNTO Protocol Plugin");
  EXPECT_STREQ(info.version, "0.1.0");
}

TEST_F(ModuleTest, AboutShowsItsTextAndReturnsTheButton) {
  Start();
  x9test::CbtAnswerer answerer({IDOK});
  EXPECT_EQ(about_(), IDOK);
  ASSERT_EQ(answerer.Boxes().size(), 1u);
  EXPECT_EQ(answerer.Boxes()[0].text.rfind(L"SUUNTO Protocol Plugin [Ver 0.1.0] ", 0), 0u);
  EXPECT_EQ(close_(), 1);
}

// Two versions on purpose: the file's properties show the project's version, while Init hands
// the host the version of the host interface the module implements, which the host checks.
TEST_F(ModuleTest, FilePropertiesShowTheProjectVersionAndInitTheInterfaceVersion) {
  const std::optional<x9test::VersionInfo> file =
      x9test::ReadFileVersionInfo(Wide((x9test::PluginDirectory() + "\\x9link.tvl").c_str()));
  ASSERT_TRUE(file.has_value());
  const std::optional<x9test::FixedVersion> expected =
      x9test::FixedFromText(X9_TEST_PROJECT_VERSION);
  ASSERT_TRUE(expected.has_value()) << X9_TEST_PROJECT_VERSION;
  EXPECT_EQ(file->fileVersionMS, expected->ms);
  EXPECT_EQ(file->fileVersionLS, expected->ls);
  EXPECT_EQ(file->productVersionMS, expected->ms);
  EXPECT_EQ(file->productVersionLS, expected->ls);
  EXPECT_EQ(file->fileVersion, Wide(X9_TEST_PROJECT_VERSION));
  EXPECT_EQ(file->productVersion, Wide(X9_TEST_PROJECT_VERSION));

  PluginInfo info{};
  ASSERT_EQ(init_(&info, 1), 1);
  EXPECT_STREQ(info.version, "0.1.0");
  x9test::CbtAnswerer answerer({IDOK});
  EXPECT_EQ(about_(), IDOK);
  ASSERT_EQ(answerer.Boxes().size(), 1u);
  EXPECT_EQ(answerer.Boxes()[0].text.rfind(L"SUUNTO Protocol Plugin [Ver 0.1.0] ", 0), 0u);
}

TEST_F(ModuleTest, ConnectionFailuresAreReportedAndTheRequestEndsWithOne) {
  TransferCallbackFn callback = Start();
  {
    // No watch answers.
    X9Watch_ForceResult("SearchOnPorts", x9::kDeviceFailure);
    x9test::CbtAnswerer answerer({IDYES, IDOK});
    EXPECT_EQ(callback(0, x9::kFlagDownloadTracks, 0), 1);
    ASSERT_EQ(answerer.Boxes().size(), 2u);
    EXPECT_EQ(answerer.Boxes()[0].Style(), static_cast<unsigned>(MB_YESNO | MB_ICONQUESTION));
    EXPECT_EQ(answerer.Boxes()[1].text,
              Wide("接続できる SUNNTO 製品が見つかりません.接続を確認してください."));
    EXPECT_EQ(answerer.Boxes()[1].Style(), static_cast<unsigned>(MB_OK | MB_ICONEXCLAMATION));
    X9Watch_ClearFaults();
  }
  {
    // A library without GetSettings.
    X9Host_SetPluginDir(x9test::MissingEntryPluginDirectory().c_str());
    x9test::CbtAnswerer answerer({IDYES, IDOK});
    EXPECT_EQ(callback(0, x9::kFlagDownloadRoutes, 0), 1);
    ASSERT_EQ(answerer.Boxes().size(), 2u);
    EXPECT_EQ(answerer.Boxes()[1].text, Wide("必要なDLLが見つかりません."));
    EXPECT_EQ(answerer.Boxes()[1].Style(), static_cast<unsigned>(MB_OK | MB_ICONHAND));
    EXPECT_EQ(X9Watch_CallCount("SearchOnPorts"), 1);  // only the first request's
  }
  {
    // No library at all.
    X9Host_SetPluginDir(x9test::ProgramDirectory().c_str());
    x9test::CbtAnswerer answerer({IDYES, IDOK});
    EXPECT_EQ(callback(0, x9::kFlagDownloadWaypoints, 0), 1);
    ASSERT_EQ(answerer.Boxes().size(), 2u);
    EXPECT_EQ(answerer.Boxes()[1].text, Wide("必要なDLLが見つかりません."));
  }
  EXPECT_EQ(X9Host_CallCount("TPI_ShowAllDataGarminUplist"), 0);
}

// Reads the real bar at every pump, as a person watching it would.
struct BarWatcher {
  std::vector<int> positions;
  int abortAtPump = 0;
  static void OnPump(void* context) {
    auto* self = static_cast<BarWatcher*>(context);
    const HWND dialog = x9test::FindProgressWindow();
    if (dialog == nullptr) {
      self->positions.push_back(-1000);
      return;
    }
    self->positions.push_back(
        static_cast<int>(SendMessageW(GetDlgItem(dialog, IDC_PROGRESS), PBM_GETPOS, 0, 0)));
    if (static_cast<int>(self->positions.size()) == self->abortAtPump) {
      SendMessageW(GetDlgItem(dialog, IDC_ABORT), BM_CLICK, 0, 0);
    }
  }
};

TEST_F(ModuleTest, TrackDownloadWithTheRealProgressWindow) {
  for (int i = 0; i < 4; ++i)
    AddTrack(3);
  TransferCallbackFn callback = Start();
  BarWatcher watcher;
  X9Host_SetPumpHook(&BarWatcher::OnPump, &watcher);
  x9test::CbtAnswerer answerer({IDYES});
  EXPECT_EQ(callback(0, x9::kFlagDownloadTracks, 0), 1);
  EXPECT_EQ(answerer.Boxes()[0].text, Wide("トラックのダウンロードを開始しますか？"));
  EXPECT_EQ(watcher.positions, (std::vector<int>{0, 2, 5, 7, 10, 32, 55, 77}));
  ASSERT_EQ(X9Host_GetSetCount(), 5);
  EXPECT_STREQ(X9Host_GetSet(4)->name, "Segment: 4");
  EXPECT_STREQ(X9Host_Item(4, 2)->name, "No. 3");
  EXPECT_EQ(X9Host_Item(4, 2)->time, 1104537602);
  EXPECT_EQ(x9test::FindProgressWindow(), nullptr);  // destroyed with the transfer
}

TEST_F(ModuleTest, AbortClickedDuringARouteDownloadLeavesTheListAlone) {
  for (const char* name : {"A", "B", "C"})
    AddRoute(name, 2);
  TransferCallbackFn callback = Start();
  BarWatcher watcher;
  watcher.abortAtPump = 4;  // in the point pass; noticed at the same pump's test
  X9Host_SetPumpHook(&BarWatcher::OnPump, &watcher);
  const std::string before = X9HostDumpString();
  x9test::CbtAnswerer answerer({IDYES});
  EXPECT_EQ(callback(0, x9::kFlagDownloadRoutes, 0), 0);
  EXPECT_EQ(answerer.Boxes().size(), 1u);  // the question; an abort shows nothing
  EXPECT_EQ(X9HostDumpString(), before);
  EXPECT_EQ(watcher.positions.size(), 4u);
  EXPECT_EQ(X9Host_CallCount("TPI_ShowAllDataGarminUplist"), 1);
}

TEST_F(ModuleTest, WaypointDownloadAndAFailedReadInRealBoxes) {
  AddRoute("Route", 1);
  AddRoute("MYPOINTS", 3);
  TransferCallbackFn callback = Start();
  {
    x9test::CbtAnswerer answerer({IDYES});
    EXPECT_EQ(callback(0, x9::kFlagDownloadWaypoints, 0), 1);
    EXPECT_EQ(answerer.Boxes()[0].text,
              Wide("ウェイポイント(MyPoints)のダウンロードを開始しますか？"));
    EXPECT_EQ(X9Host_ItemCount(0), 3);
    EXPECT_EQ(X9Host_GetSet(0)->itemCount, 3);
  }
  X9Watch_SetResult("GetRoutePoints", X9Watch_CallCount("GetRoutePoints") + 1, x9::kDeviceFailure);
  const std::string before = X9HostDumpString();
  x9test::CbtAnswerer answerer({IDYES, IDOK});
  EXPECT_EQ(callback(0, x9::kFlagDownloadWaypoints, 0), 0);
  ASSERT_EQ(answerer.Boxes().size(), 2u);
  EXPECT_EQ(answerer.Boxes()[1].text, Wide(kConnectionLost));
  EXPECT_EQ(answerer.Boxes()[1].Style(), static_cast<unsigned>(MB_OK | MB_ICONEXCLAMATION));
  EXPECT_EQ(X9HostDumpString(), before);
}

TEST_F(ModuleTest, UploadAsksAboutTheSameNameAndReplacesTheRoute) {
  AddRoute("Alpha", 2);
  tagGPSDBHEADER header{};
  header.size = sizeof header;
  header.name = "ALPHA";
  header.kind = x9::kListRoutes;
  const int set = X9Host_AddSet(&header);
  tagGPSDBITEM item{};
  item.size = sizeof item;
  item.ident = "P1";
  item.latitude = 64.471201;
  item.longitude = 139.5;
  item.altitude = 12.9;
  item.kind = x9::kListRoutes;
  X9Host_AddItem(set, &item);
  TransferCallbackFn callback = Start();
  x9test::CbtAnswerer answerer({IDYES, IDYES});
  EXPECT_EQ(callback(0, x9::kFlagUploadRoutes, 0), 1);
  ASSERT_EQ(answerer.Boxes().size(), 2u);
  EXPECT_EQ(
      answerer.Boxes()[1].text,
      Wide("同名のルートがGPSにあります。GPSのルートを削除してからアップロードしますか？\nALPHA"));
  ASSERT_EQ(X9Watch_RouteCount(), 1);
  EXPECT_STREQ(X9Watch_Route(1)->name, "ALPHA");
  EXPECT_EQ(X9Watch_RoutePoints(1)[0].latitude, 644712009);
  EXPECT_EQ(X9Watch_RoutePoints(1)[0].altitude, 12);
}

// A plug-in directory whose name ends in 表, whose second byte in code page 932 is 0x5C, the
// byte of '\\'. A path rule that walks bytes rather than characters takes the directory for one
// that ends in a separator, joins "...表x9.dll", finds no library and shows message 16; the
// module must join "...表\\x9.dll" and run the whole request from there.
class TrailByteDirectoryTest : public ModuleTest {
 protected:
  void SetUp() override {
    if (GetACP() != 932) {
      GTEST_SKIP() << "needs code page 932 as the system's ANSI code page (LANG=ja_JP.UTF-8 "
                      "under wine); this system's is "
                   << GetACP();
    }
    ModuleTest::SetUp();
  }
  void TearDown() override {
    // The files cannot go while they are loaded.
    module_.Reset();
    if (!directory_.empty()) {
      for (const wchar_t* file : {L"\\x9link.tvl", L"\\x9.dll"})
        DeleteFileW((directory_ + file).c_str());
      EXPECT_TRUE(RemoveDirectoryW(directory_.c_str())) << GetLastError();
    }
    ModuleTest::TearDown();
  }

  // Makes the directory in the temporary folder and puts the module and the watch library in
  // it; returns its name in code page 932.
  std::string MakeDirectory() {
    wchar_t temp[MAX_PATH];
    const DWORD length = GetTempPathW(MAX_PATH, temp);
    EXPECT_GT(length, 0u);
    directory_ = std::wstring(temp, length) + L"x9link-" + std::to_wstring(GetCurrentProcessId()) +
                 L"-\u8868";  // 表
    EXPECT_TRUE(CreateDirectoryW(directory_.c_str(), nullptr)) << GetLastError();
    const std::wstring plugins = Wide(x9test::PluginDirectory().c_str());
    for (const wchar_t* file : {L"\\x9link.tvl", L"\\x9.dll"}) {
      EXPECT_TRUE(CopyFileW((plugins + file).c_str(), (directory_ + file).c_str(), TRUE))
          << GetLastError();
    }
    // The bytes the host hands over: the name in the system's code page, every character of it
    // representable there.
    BOOL lossy = FALSE;
    const int size = WideCharToMultiByte(932, WC_NO_BEST_FIT_CHARS, directory_.c_str(), -1, nullptr,
                                         0, nullptr, &lossy);
    std::string bytes(static_cast<size_t>(size > 0 ? size : 1), '\0');
    WideCharToMultiByte(932, WC_NO_BEST_FIT_CHARS, directory_.c_str(), -1, bytes.data(), size,
                        nullptr, &lossy);
    bytes.resize(std::strlen(bytes.c_str()));
    EXPECT_FALSE(lossy) << "the temporary folder's name has characters outside code page 932";
    return bytes;
  }

  std::wstring directory_;
};

// Whether, at each pump, the watch library loaded is the one in the given directory.
struct LibraryWatcher {
  std::wstring path;
  std::vector<bool> loadedFromThere;
  static void OnPump(void* context) {
    auto* self = static_cast<LibraryWatcher*>(context);
    self->loadedFromThere.push_back(GetModuleHandleW(self->path.c_str()) != nullptr);
  }
};

TEST_F(TrailByteDirectoryTest, ACompleteRequestRunsFromThere) {
  const std::string directory = MakeDirectory();
  ASSERT_FALSE(HasFailure());
  ASSERT_GE(directory.size(), 2u);
  ASSERT_EQ(directory.substr(directory.size() - 2), "\x95\x5c");  // 表 in code page 932
  LoadModuleFrom(directory);
  X9Host_SetPluginDir(directory.c_str());

  AddRoute("MYPOINTS", 2);
  AddRoute("Ridge", 3);
  AddTrack(4);
  TransferCallbackFn callback = Start();
  LibraryWatcher watcher{directory_ + L"\\x9.dll", {}};
  X9Host_SetPumpHook(&LibraryWatcher::OnPump, &watcher);
  x9test::CbtAnswerer answerer({IDYES});
  EXPECT_EQ(callback(0, x9test::kFlagDownloadAll, 0), 1);

  // The question and nothing else: no "DLL not found".
  ASSERT_EQ(answerer.Boxes().size(), 1u);
  EXPECT_EQ(answerer.Boxes()[0].text,
            Wide("ウェイポイント(MyPoints)のダウンロードを開始しますか？"));
  // Everything moved: the waypoints, the route and the track.
  EXPECT_EQ(X9Host_ItemCount(0), 2);
  ASSERT_EQ(X9Host_GetSetCount(), 3);
  EXPECT_STREQ(X9Host_GetSet(1)->name, "Ridge");
  EXPECT_EQ(X9Host_ItemCount(1), 3);
  EXPECT_STREQ(X9Host_GetSet(2)->name, "Segment: 1");
  EXPECT_EQ(X9Host_ItemCount(2), 4);
  EXPECT_EQ(X9Host_CallCount("TPI_ShowAllDataGarminUplist"), 3);
  // From the library in that directory, loaded once and let go.
  EXPECT_EQ(X9Watch_LoadCount(), 1);
  EXPECT_EQ(X9Watch_UnloadCount(), 1);
  ASSERT_FALSE(watcher.loadedFromThere.empty());
  EXPECT_EQ(watcher.loadedFromThere, std::vector<bool>(watcher.loadedFromThere.size(), true));
  EXPECT_EQ(close_(), 1);
}

}  // namespace
