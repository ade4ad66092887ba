// The module's lifetime: the real module loaded, used, closed, released, unloaded and loaded
// again the way a host does it.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "plugin/exports.h"
#include "support/named_values.h"
#include "support/sim_fixture.h"
#include "support/test_paths.h"
#include "transfer/dispatcher.h"

#if defined(_WIN32)
#include "platform/win32/windows_support.h"
#include "win32/cbt_answerer.h"
#else
#include <dlfcn.h>
#include <unistd.h>
#if defined(__GLIBC__)
#include <stdio_ext.h>
#endif
#endif

namespace {

using x9test::AddHostRoute;
using x9test::AddRoute;
using x9test::AddTrack;
using x9test::MakeHostItem;
using x9test::WatchRouteNames;

// The module file as the host finds it, loaded and unloaded through the platform's loader.
class ModuleFile {
 public:
  ModuleFile()
      : path_(x9test::PluginDirectory() + x9::platform::PathSeparator() + "x9link.tvl"),
        library_(path_.c_str()) {}

  bool Loaded() const { return library_.IsLoaded(); }
  template <typename Fn>
  Fn Find(const char* name) const {
    return library_.Find<Fn>(name);
  }
  void Unload() { library_.Reset(); }
  // Whether the process still holds the file mapped, whoever loaded it.
  bool StillMapped() const {
#if defined(_WIN32)
    return GetModuleHandleA(path_.c_str()) != nullptr;
#else
    void* probe = dlopen(path_.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (probe != nullptr) dlclose(probe);
    return probe != nullptr;
#endif
  }

 private:
  std::string path_;
  x9::platform::Library library_;
};

enum class Reply { kYes, kOk };

// Answers the real module's boxes. Windows: a CBT hook clicks them. POSIX: the terminal's
// questions read their answers from standard input, and the boxes are counted on standard error.
class BoxAnswers {
 public:
  explicit BoxAnswers(std::initializer_list<Reply> replies) {
#if defined(_WIN32)
    for (Reply reply : replies)
      answerer_.Answer(reply == Reply::kYes ? IDYES : IDOK);
#else
    std::string input;
    for (Reply reply : replies)
      input += reply == Reply::kYes ? "y\n" : "";
    savedIn_ = dup(STDIN_FILENO);
    savedErr_ = dup(STDERR_FILENO);
    int fds[2];
    if (pipe(fds) == 0) {
      // Small enough for the pipe's buffer: the write never blocks.
      const ssize_t written = write(fds[1], input.data(), input.size());
      EXPECT_EQ(written, static_cast<ssize_t>(input.size()));
      close(fds[1]);
      dup2(fds[0], STDIN_FILENO);
      close(fds[0]);
    }
    clearerr(stdin);
    std::fflush(stderr);
    errors_ = std::tmpfile();
    if (errors_ != nullptr) dup2(fileno(errors_), STDERR_FILENO);
#endif
  }
  ~BoxAnswers() {
#if !defined(_WIN32)
    std::fflush(stderr);
#if defined(__GLIBC__)
    __fpurge(stdin);  // answers read ahead but not used must not reach the next script
#endif
    dup2(savedIn_, STDIN_FILENO);
    dup2(savedErr_, STDERR_FILENO);
    close(savedIn_);
    close(savedErr_);
    clearerr(stdin);
    if (errors_ != nullptr) std::fclose(errors_);
#endif
  }
  BoxAnswers(const BoxAnswers&) = delete;
  BoxAnswers& operator=(const BoxAnswers&) = delete;

  // Boxes shown so far.
  size_t Shown() {
#if defined(_WIN32)
    return answerer_.Boxes().size();
#else
    std::fflush(stderr);
    std::string text;
    if (errors_ != nullptr) {
      std::rewind(errors_);
      char buffer[4096];
      for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, errors_)) > 0;)
        text.append(buffer, n);
    }
    // A question's "(y/N) " prompt leaves the next box on its line: count the labels anywhere.
    size_t boxes = 0;
    for (const char* label : {"[question] ", "[information] ", "[warning] ", "[stop] "}) {
      for (size_t at = 0; (at = text.find(label, at)) != std::string::npos; ++at)
        ++boxes;
    }
    return boxes;
#endif
  }

 private:
#if defined(_WIN32)
  x9test::CbtAnswerer answerer_;
#else
  int savedIn_ = -1;
  int savedErr_ = -1;
  std::FILE* errors_ = nullptr;
#endif
};

using InitFn = decltype(&Init);
using LoadFn = decltype(&Load);
using CloseFn = decltype(&Close);
using ReleaseFn = decltype(&Release);

class RealModuleTest : public x9test::SimFixture {
 protected:
  struct Exports {
    InitFn init;
    LoadFn load;
    CloseFn close;
    ReleaseFn release;
  };
  static Exports Resolve(const ModuleFile& module) {
    return Exports{module.Find<InitFn>("Init"), module.Find<LoadFn>("Load"),
                   module.Find<CloseFn>("Close"), module.Find<ReleaseFn>("Release")};
  }
  static bool Complete(const Exports& e) {
    return e.init != nullptr && e.load != nullptr && e.close != nullptr && e.release != nullptr;
  }
};

// Loaded, used and dropped three times over: each load starts afresh, a request works right up
// to Close and Release, and the unload really lets go of the file.
TEST_F(RealModuleTest, LoadUseCloseReleaseUnloadAndLoadAgain) {
  AddTrack(3);
  AddTrack(2);
  AddRoute("Same", 1);
  AddHostRoute("Same", {MakeHostItem("s", 1, 2, 3)});
  for (int round = 0; round < 3; ++round) {
    SCOPED_TRACE(round);
    X9Host_ClearLog();
    const int setsBefore = X9Host_GetSetCount();
    ModuleFile module;
    ASSERT_TRUE(module.Loaded());
    const Exports exports = Resolve(module);
    ASSERT_TRUE(Complete(exports));

    PluginInfo info;
    std::memset(&info, 0xAB, sizeof info);
    EXPECT_EQ(exports.init(&info, 700u + static_cast<unsigned>(round)), 1);
    EXPECT_EQ(info.size, sizeof info);
    EXPECT_STREQ(info.name, "SUUNTO Protocol Plugin");
    EXPECT_EQ(exports.load(), 1);
    EXPECT_EQ(X9Host_ProtocolPluginId(), 700u + static_cast<unsigned>(round));
    const TransferCallbackFn callback = X9Host_Callback();
    ASSERT_NE(callback, nullptr);

    {
      BoxAnswers none{};
      EXPECT_EQ(callback(0, 0, 0), 1);
      EXPECT_EQ(callback(0, x9test::kFlagUnused08, 0), 1);
      EXPECT_EQ(none.Shown(), 0u);
      EXPECT_EQ(X9Watch_LoadCount(), 2 * round);
    }
    {
      // The question, then the track download into the host's list.
      BoxAnswers answers{Reply::kYes};
      EXPECT_EQ(callback(0, x9::kFlagDownloadTracks, 0), 1);
      EXPECT_EQ(answers.Shown(), 1u);
      EXPECT_EQ(X9Host_GetSetCount(), setsBefore + 2);
    }
    {
      // The upload: its question, the same-name question, the deletion and the put.
      BoxAnswers answers{Reply::kYes, Reply::kYes};
      EXPECT_EQ(callback(0, x9::kFlagUploadRoutes, 0), 1);
      EXPECT_EQ(answers.Shown(), 2u);
      EXPECT_EQ(WatchRouteNames(), std::vector<std::string>{"Same"});
      EXPECT_EQ(X9Watch_CallCount("DeleteRoute"), round + 1);
    }
    EXPECT_EQ(X9Watch_LoadCount(), 2 * (round + 1));
    EXPECT_TRUE(WatchLibraryReleased());

    EXPECT_EQ(exports.close(), 1);
    exports.release();
    module.Unload();
    EXPECT_FALSE(module.StillMapped());
  }
}

// A host that goes on after Init refused it: the refusal is told once, the record is left as it
// was, and a later Load and request neither crash nor misbehave.
TEST_F(RealModuleTest, ARequestAfterARefusedInitDoesNotCrash) {
  AddRoute("MYPOINTS", 1);
  AddRoute("Walk", 2);
  X9Host_SetVersion(x9test::kOldestHostVersion - 1);
  ModuleFile module;
  ASSERT_TRUE(module.Loaded());
  const Exports exports = Resolve(module);
  ASSERT_TRUE(Complete(exports));

  PluginInfo info;
  std::memset(&info, 0x5A, sizeof info);
  PluginInfo untouched = info;
  {
    BoxAnswers answers{Reply::kOk};
    EXPECT_EQ(exports.init(&info, 9), 0);
    EXPECT_EQ(answers.Shown(), 1u);
  }
  EXPECT_EQ(std::memcmp(&info, &untouched, sizeof info), 0);

  EXPECT_EQ(exports.load(), 1);
  const TransferCallbackFn callback = X9Host_Callback();
  ASSERT_NE(callback, nullptr);
  {
    BoxAnswers answers{Reply::kYes};
    EXPECT_EQ(callback(0, x9test::kFlagUnused08, 0), 1);
    EXPECT_EQ(callback(0, x9::kFlagDownloadRoutes, 0), 1);
    EXPECT_EQ(answers.Shown(), 1u);
  }
  ASSERT_EQ(X9Host_GetSetCount(), 2);
  EXPECT_STREQ(X9Host_GetSet(1)->name, "Walk");
  EXPECT_TRUE(WatchLibraryReleased());
  EXPECT_EQ(exports.close(), 1);
  exports.release();
  module.Unload();
  EXPECT_FALSE(module.StillMapped());
}

void SetZone(const char* tz) {
#if defined(_WIN32)
  _putenv((std::string("TZ=") + (tz ? tz : "")).c_str());
  _tzset();
#else
  if (tz != nullptr) {
    setenv("TZ", tz, 1);
  } else {
    unsetenv("TZ");
  }
  tzset();
#endif
}

// A module just loaded holds no clock values until Init captures them. They show in a date the
// calendar cannot convert (year 0): -1, minus the zone offset and the daylight adjustment; so
// -1 before Init, and 32399 nine hours east of UTC once Init has run.
TEST_F(RealModuleTest, TheClockValuesAreZeroUntilInit) {
  const char* saved = std::getenv("TZ");
  const std::string savedZone = saved != nullptr ? saved : "";
  SetZone("JST-9");
  const x9::TrackPoint point = x9test::MakeTrackPoint(0, 1, 1, 0, 0, 0, 1, 2, 3);
  x9::TrackHeader header{};
  header.pointCount = 1;
  X9Watch_AddTrack(&header, &point, 1);

  ModuleFile module;
  ASSERT_TRUE(module.Loaded());
  const Exports exports = Resolve(module);
  ASSERT_TRUE(Complete(exports));
  EXPECT_EQ(exports.load(), 1);
  const TransferCallbackFn callback = X9Host_Callback();
  ASSERT_NE(callback, nullptr);
  {
    BoxAnswers answers{Reply::kYes};
    EXPECT_EQ(callback(0, x9::kFlagDownloadTracks, 0), 1);
  }
  PluginInfo info;
  EXPECT_EQ(exports.init(&info, 1), 1);
  {
    BoxAnswers answers{Reply::kYes};
    EXPECT_EQ(callback(0, x9::kFlagDownloadTracks, 0), 1);
  }
  ASSERT_EQ(X9Host_GetSetCount(), 3);
  EXPECT_EQ(X9Host_Item(1, 0)->time, -1);     // nothing subtracted before Init
  EXPECT_EQ(X9Host_Item(2, 0)->time, 32399);  // the zone offset, once Init has run
  exports.release();
  module.Unload();
  SetZone(saved != nullptr ? savedZone.c_str() : nullptr);
}

}  // namespace
