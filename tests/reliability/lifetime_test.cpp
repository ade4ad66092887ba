// Re-entrancy and the module's lifetime: requests arriving while another one runs, and the real
// module loaded, used, closed, released, unloaded and loaded again the way a host does it.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "device/records.h"
#include "plugin/exports.h"
#include "reliability/reliability_support.h"
#include "support/sim_fixture.h"
#include "platform/platform.h"
#include "support/test_paths.h"
#include "transfer/dispatcher.h"
#include "ui/messages.h"

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
using x9test::AddFixedTrack;
using x9test::AddRoute;
using x9test::AddTrack;
using x9test::MakeHostItem;

// Every request a host can make, nested into a running one.
const unsigned kNestedFlags[] = {0x00, 0x01, 0x02, 0x04, 0x07, 0x08, 0x10, 0x20, 0x40};

// A user interface that, at every box, lets the host start all the other requests: the
// confirmation question and the failure messages are part of the running request.
class NestingUi : public x9test::ScriptedUi {
 public:
  int ShowMessageBox(x9::WindowHandle owner, const char* text, unsigned style) override {
    for (unsigned flags : kNestedFlags) nestedResults.push_back(TransferCallback(0, flags, 0));
    return ScriptedUi::ShowMessageBox(owner, text, style);
  }
  std::vector<long> nestedResults;
};

std::vector<std::string> WatchRouteNames() {
  std::vector<std::string> names;
  for (int i = 1; i <= X9Watch_RouteCount(); ++i) names.push_back(X9Watch_Route(i)->name);
  return names;
}

class NestedRequestTest : public x9test::SimFixture {
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
  Run Execute(unsigned flags, const char* failingEntry, bool nesting) {
    SetUp();
    Seed();
    if (failingEntry != nullptr) X9Watch_SetResult(failingEntry, 1, -1);
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
    run.result = Request(flags);
    x9::SetUserInterface(&ui);
    const x9test::ScriptedUi& shown = nesting ? nestingUi : ui;
    run.boxes = x9test::BoxTexts(shown);
    run.host = X9HostDumpString();
    run.routes = WatchRouteNames();
    run.nested.insert(run.nested.end(), nestingUi.nestedResults.begin(), nestingUi.nestedResults.end());
    run.pumps = pumpNesting.pumps;
    EXPECT_EQ(X9Watch_LoadCount(), 1);
    EXPECT_TRUE(WatchLibraryReleased());
    EXPECT_EQ(nestingUi.OpenWindows(), 0);
    TearDown();
    return run;
  }
};

// While any transfer runs, at any pump and at any box, every other request is refused at once:
// result 1, nothing shown, nothing loaded; the running request ends exactly as it would alone.
TEST_F(NestedRequestTest, EveryRequestIsRefusedInsideEveryTransfer) {
  struct Case {
    unsigned flags;
    const char* failingEntry;  // a failure adds its message box to the running request
  };
  const Case cases[] = {{0x01, nullptr}, {0x01, "GetRoutePoints"}, {0x02, nullptr},
                        {0x02, "GetTrackPoints"}, {0x04, nullptr}, {0x04, "GetRouteHeader"},
                        {0x40, nullptr}, {0x40, "PutRoute"}, {0x07, nullptr},
                        {0x07, "GetTrackHeader"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "flags " << c.flags << " failing "
                                      << (c.failingEntry ? c.failingEntry : "none"));
    const Run alone = Execute(c.flags, c.failingEntry, false);
    const Run nested = Execute(c.flags, c.failingEntry, true);
    EXPECT_EQ(nested.result, alone.result);
    EXPECT_EQ(nested.boxes, alone.boxes);
    EXPECT_TRUE(nested.host == alone.host);
    EXPECT_EQ(nested.routes, alone.routes);
    const size_t attempts = (static_cast<size_t>(nested.pumps) + alone.boxes.size()) *
                            (sizeof kNestedFlags / sizeof kNestedFlags[0]);
    EXPECT_EQ(nested.nested, std::vector<long>(attempts, 1));
  }
}

// --- The real module --------------------------------------------------------------------------

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
    for (Reply reply : replies) answerer_.Answer(reply == Reply::kYes ? IDYES : IDOK);
#else
    std::string input;
    for (Reply reply : replies) input += reply == Reply::kYes ? "y\n" : "";
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
      for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, errors_)) > 0;) text.append(buffer, n);
    }
    // A question's "(y/N) " prompt leaves the next box on its line: count the labels anywhere.
    size_t boxes = 0;
    for (const char* label : {"[question] ", "[information] ", "[warning] ", "[stop] "}) {
      for (size_t at = 0; (at = text.find(label, at)) != std::string::npos; ++at) ++boxes;
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
    const int setsBefore = X9Host_SetCount();
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
      EXPECT_EQ(callback(0, 0x00, 0), 1);
      EXPECT_EQ(callback(0, 0x08, 0), 1);
      EXPECT_EQ(none.Shown(), 0u);
      EXPECT_EQ(X9Watch_LoadCount(), 2 * round);
    }
    {
      // The question, then the track download into the host's list.
      BoxAnswers answers{Reply::kYes};
      EXPECT_EQ(callback(0, 0x02, 0), 1);
      EXPECT_EQ(answers.Shown(), 1u);
      EXPECT_EQ(X9Host_SetCount(), setsBefore + 2);
    }
    {
      // The upload: its question, the same-name question, the deletion and the put.
      BoxAnswers answers{Reply::kYes, Reply::kYes};
      EXPECT_EQ(callback(0, 0x40, 0), 1);
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
  X9Host_SetVersion(8599);
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
    EXPECT_EQ(callback(0, 0x08, 0), 1);
    EXPECT_EQ(callback(0, 0x04, 0), 1);
    EXPECT_EQ(answers.Shown(), 1u);
  }
  ASSERT_EQ(X9Host_SetCount(), 2);
  EXPECT_STREQ(X9Host_Set(1)->name, "Walk");
  EXPECT_TRUE(WatchLibraryReleased());
  EXPECT_EQ(exports.close(), 1);
  exports.release();
  module.Unload();
  EXPECT_FALSE(module.StillMapped());
}

}  // namespace
