// The output transaction in one process, over the same steps and fault seam x9host uses, on
// every system it is built for: after any failure or signal every output is as it was and
// nothing made is left; after success exactly the new outputs are there; the way back leaves
// alone a file another program put there meanwhile.
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "os/os.h"

namespace {

namespace fs = std::filesystem;
using x9host::os::OutputProducer;
using x9host::os::OutputSink;
using x9host::os::OutputsNotWritten;
using x9host::os::OutputTarget;
using State = OutputsNotWritten::State;

#if defined(_WIN32)
// A console event, as the seam numbers them: Ctrl-C.
constexpr int kSignal = 100;
constexpr char kSignalName[] = "Ctrl-C";
#else
constexpr int kSignal = SIGTERM;
constexpr char kSignalName[] = "SIGTERM";
#endif

std::string Read(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void Write(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

// Everything in a directory: each name with its bytes.
std::map<std::string, std::string> Listing(const fs::path& directory) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::directory_iterator(directory))
    files[entry.path().filename().string()] = Read(entry.path());
  return files;
}

std::string Text(const std::map<std::string, std::string>& files) {
  std::ostringstream text;
  for (const auto& [name, bytes] : files)
    text << name << " (" << bytes.size() << " bytes)\n";
  return text.str();
}

OutputProducer Bytes(std::string bytes) {
  return [bytes = std::move(bytes)](OutputSink& sink) {
    // In two pieces, as a producer streams.
    sink.Write(std::string_view(bytes).substr(0, bytes.size() / 2));
    sink.Write(std::string_view(bytes).substr(bytes.size() / 2));
  };
}

class Transaction : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ =
        fs::temp_directory_path() /
        ("x9host-transaction-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
         "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override {
    x9host::os::SetInjectedFaults("");
    x9host::os::SetLanguage(x9host::os::Language::kEnglish);
    fs::remove_all(dir_);
  }

  // An existing list file to replace and a watch file to create, as one run writes them.
  std::vector<std::pair<OutputTarget, OutputProducer>> TwoOutputs() {
    Write(dir_ / "list.gpx", "the old list\n");
    return {{x9host::os::PlanOutput("--out", (dir_ / "list.gpx").string()),
             Bytes("the new list, somewhat longer\n")},
            {x9host::os::PlanOutput("--watch-out", (dir_ / "watch.gpx").string()),
             Bytes("the new watch\n")}};
  }

  // Runs the transaction with faults; the state it threw, or nothing when it succeeded.
  std::optional<State> Run(const std::vector<std::pair<OutputTarget, OutputProducer>>& outputs,
                           const std::string& faults, std::string* line = nullptr) {
    x9host::os::SetInjectedFaults(faults);
    try {
      warnings_ = x9host::os::WriteOutputs(outputs);
      return std::nullopt;
    } catch (const OutputsNotWritten& failure) {
      if (line != nullptr) *line = failure.what();
      return failure.state();
    }
  }

  fs::path dir_;
  std::vector<std::string> warnings_;
};

// Every step of every way a step can go, made to fail or to see a signal: the outputs are all
// as they were, byte for byte and with nothing beside them, or all new.
TEST_F(Transaction, EveryStepFailedOrSignalledLeavesEveryOutputAsItWasOrAllNew) {
  // Each system's steps by name; a way a step can go is forced with a fault before it. A case
  // with an empty last step runs that way to success.
  struct Case {
    std::string faults;
    bool succeeds;
  };
  std::vector<Case> cases;
#if defined(_WIN32)
  const std::vector<std::string> ways = {""};
  const std::vector<std::string> steps = {"create", "create:2", "write",  "write:2", "sync",
                                          "sync:2", "backup",   "rename", "rename:2"};
#else
  // An unnamed file or a named one, a hard link or an exchanging rename.
  const std::vector<std::string> ways = {"", "unnamed,unnamed:2,", "hardlink,",
                                         "unnamed,unnamed:2,hardlink,"};
  const std::vector<std::string> steps = {"directory", "create", "create:2", "write", "write:2",
                                          "metadata",  "sync",   "sync:2",   "link",  "link:2",
                                          "backup",    "rename", "rename:2", "stream"};
#endif
  for (const std::string& way : ways) {
    for (const std::string& step : steps) {
      // A named file needs no link; there is no stream here to fail.
      if (way.find("unnamed") != std::string::npos && step.rfind("link", 0) == 0) continue;
      cases.push_back({way + step, step == "stream"});
    }
    cases.push_back({way.empty() ? "" : way.substr(0, way.size() - 1), true});
  }
  for (const Case& c : cases) {
    for (const bool signalled : {false, true}) {
      std::string faults = c.faults;
      // The last fault named brings the signal instead of failing.
      if (signalled) {
        if (c.succeeds) continue;
        faults += "=" + std::to_string(kSignal);
      }
      SCOPED_TRACE(faults);
      fs::remove_all(dir_);
      fs::create_directories(dir_);
      const auto outputs = TwoOutputs();
      const auto before = Listing(dir_);
      std::string line;
      const std::optional<State> state = Run(outputs, faults, &line);
      if (c.succeeds) {
        EXPECT_FALSE(state.has_value()) << line;
        EXPECT_EQ(Listing(dir_), (std::map<std::string, std::string>{
                                     {"list.gpx", "the new list, somewhat longer\n"},
                                     {"watch.gpx", "the new watch\n"}}))
            << Text(Listing(dir_));
        EXPECT_TRUE(warnings_.empty());
        continue;
      }
      ASSERT_TRUE(state.has_value());
      EXPECT_EQ(*state, signalled ? State::kInterrupted : State::kAsTheyWere) << line;
      EXPECT_EQ(Listing(dir_), before) << Text(Listing(dir_));
      if (signalled) {
        EXPECT_EQ(line, x9host::os::InterruptedLine(kSignalName));
      } else {
        EXPECT_NE(line.find("; every output is as it was"), std::string::npos) << line;
      }
    }
  }
}

TEST_F(Transaction, ASignalOnceEveryOutputIsInPlaceChangesNothing) {
  const auto outputs = TwoOutputs();
  EXPECT_FALSE(Run(outputs, "commit=" + std::to_string(kSignal)).has_value());
  EXPECT_EQ(Read(dir_ / "list.gpx"), "the new list, somewhat longer\n");
  EXPECT_EQ(Listing(dir_).size(), 2u) << Text(Listing(dir_));
}

TEST_F(Transaction, AnOldContentThatCannotBeRemovedIsAWarningNotAFailure) {
  const auto outputs = TwoOutputs();
  EXPECT_FALSE(Run(outputs, "commit").has_value());
  ASSERT_EQ(warnings_.size(), 1u);
  const auto files = Listing(dir_);
  EXPECT_EQ(files.at("list.gpx"), "the new list, somewhat longer\n");
  EXPECT_EQ(files.size(), 3u) << Text(files);
  // Where the old content is, and why, as a real failure names its system error.
  std::string kept;
  for (const auto& [name, bytes] : files)
    if (bytes == "the old list\n") kept = name;
  const std::string said =
      "--out " + (dir_ / "list.gpx").string() + ": the old content could not be removed from ";
  const std::string why = " (a fault injected at commit)";
  ASSERT_FALSE(kept.empty()) << Text(files);
  EXPECT_EQ(warnings_[0].rfind(said, 0), 0u) << warnings_[0];
  EXPECT_EQ(warnings_[0].substr(warnings_[0].size() -
                                std::min(warnings_[0].size(), kept.size() + why.size())),
            kept + why)
      << warnings_[0];
}

TEST_F(Transaction, WhenTheWayBackFailsTheLineSaysWhereTheOldContentIs) {
  using x9host::os::Language;
  // The line: the failing output (the watch's rename), then what each output holds, in order.
  const struct {
    Language language;
    const char* failed;    // after the watch's name
    const char* holdsNew;  // after the list's name, before where the old content is
    const char* asItWas;   // the end: a separator, the watch's name, then this
    const char* separator;
  } cases[] = {
      {Language::kEnglish, ": cannot be written (a fault injected at rename), and not every",
       " holds the new content (the old is in ", " is as it was", ", "},
      {Language::kJapanese, " に書き込めません（rename で注入した障害）。元に戻せなかった出力",
       " は新しい内容（古い内容は ", " は元のまま", "、"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.failed);
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    x9host::os::SetLanguage(c.language);
    const auto outputs = TwoOutputs();
    std::string line;
    EXPECT_EQ(Run(outputs, "rename:2,restore", &line), State::kLeftChanged);
    const std::string watch = "--watch-out " + (dir_ / "watch.gpx").string();
    const std::string end = c.separator + watch + c.asItWas;
    EXPECT_EQ(line.rfind(watch + c.failed, 0), 0u) << line;
    EXPECT_NE(line.find("--out " + (dir_ / "list.gpx").string() + c.holdsNew), std::string::npos)
        << line;
    EXPECT_TRUE(line.size() > end.size() &&
                line.compare(line.size() - end.size(), end.size(), end) == 0)
        << line;
    const auto files = Listing(dir_);
    ASSERT_EQ(files.size(), 2u) << Text(files);
    EXPECT_EQ(files.at("list.gpx"), "the new list, somewhat longer\n");
    for (const auto& [name, bytes] : files) {
      if (name != "list.gpx") {
        EXPECT_EQ(bytes, "the old list\n");
        EXPECT_NE(line.find(name), std::string::npos) << line;
      }
    }
  }
}

// Files are in place before anything reaches a stream, which cannot be taken back; a failure
// while streaming puts the files back, unless another program has replaced one meanwhile:
// its work stands, and the line says so.
TEST_F(Transaction, StreamsComeLastAndTheWayBackNeverUndoesAnotherProgramsWork) {
  auto outputs = TwoOutputs();
  OutputTarget stream;
  stream.option = "--log";
  stream.name = "-";
  stream.kind = OutputTarget::Kind::kStandardOutput;
  const fs::path list = dir_ / "list.gpx";
  struct Seen {
    std::string listWhenStreamed;
    bool watchThere = false;
  } seen;
  for (const bool replaceMeanwhile : {false, true}) {
    SCOPED_TRACE(replaceMeanwhile ? "replaced meanwhile" : "left alone");
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    outputs = TwoOutputs();
    outputs.emplace_back(stream, [&](OutputSink&) {
      seen.listWhenStreamed = Read(list);
      seen.watchThere = fs::exists(dir_ / "watch.gpx");
      if (replaceMeanwhile) {
        // Another run finishes first: its whole file under the name, by rename.
        Write(dir_ / "other.tmp", "another run's list\n");
        fs::rename(dir_ / "other.tmp", list);
      }
      throw std::runtime_error("the reader went away");
    });
    std::string line;
    const std::optional<State> state = Run(outputs, "", &line);
    EXPECT_EQ(seen.listWhenStreamed, "the new list, somewhat longer\n");
    EXPECT_TRUE(seen.watchThere);
    ASSERT_TRUE(state.has_value());
    if (!replaceMeanwhile) {
      EXPECT_EQ(*state, State::kAsTheyWere) << line;
      EXPECT_EQ(Listing(dir_), (std::map<std::string, std::string>{{"list.gpx", "the old list\n"}}))
          << Text(Listing(dir_));
    } else {
      EXPECT_EQ(*state, State::kLeftChanged) << line;
      EXPECT_NE(line.find("--out " + list.string() +
                          " was not put back: another program replaced it meanwhile"),
                std::string::npos)
          << line;
      EXPECT_NE(line.find("--watch-out " + (dir_ / "watch.gpx").string() + " is as it was"),
                std::string::npos)
          << line;
      EXPECT_EQ(Listing(dir_),
                (std::map<std::string, std::string>{{"list.gpx", "another run's list\n"}}))
          << Text(Listing(dir_));
    }
  }
}

// A file another program writes between the look before the request and the transaction (an
// editor, another run on the same file) is theirs: nothing is put in place and theirs is kept.
TEST_F(Transaction, AFileChangedSinceItWasSeenIsNotReplaced) {
  const fs::path list = dir_ / "list.gpx";
  const std::vector<std::pair<const char*, std::function<void()>>> changes = {
      {"rewritten", [&] { Write(list, "another run's list, longer than the old\n"); }},
      {"the same size", [&] { Write(list, "the odd list\n"); }},
      {"replaced by a rename",
       [&] {
         Write(dir_ / "other.tmp", "an editor's list\n");
         fs::rename(dir_ / "other.tmp", list);
       }},
  };
  for (const auto& [how, change] : changes) {
    SCOPED_TRACE(how);
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    const auto outputs = TwoOutputs();
    change();
    const std::string theirs = Read(list);
    std::string line;
    const std::optional<State> state = Run(outputs, "", &line);
    ASSERT_TRUE(state.has_value());
    EXPECT_EQ(*state, State::kAsTheyWere) << line;
    EXPECT_NE(line.find("another program changed it while x9host ran"), std::string::npos) << line;
    EXPECT_EQ(Listing(dir_), (std::map<std::string, std::string>{{"list.gpx", theirs}}))
        << Text(Listing(dir_));
  }
  // A file made where there was none is theirs too.
  fs::remove_all(dir_);
  fs::create_directories(dir_);
  {
    const auto outputs = TwoOutputs();
    Write(dir_ / "watch.gpx", "another program's watch\n");
    std::string line;
    const std::optional<State> state = Run(outputs, "", &line);
    ASSERT_TRUE(state.has_value());
    EXPECT_EQ(*state, State::kAsTheyWere) << line;
    EXPECT_NE(line.find("another program changed it while x9host ran"), std::string::npos) << line;
    EXPECT_EQ(Listing(dir_),
              (std::map<std::string, std::string>{{"list.gpx", "the old list\n"},
                                                  {"watch.gpx", "another program's watch\n"}}))
        << Text(Listing(dir_));
  }
  // Unchanged, it is replaced.
  fs::remove_all(dir_);
  fs::create_directories(dir_);
  EXPECT_EQ(Run(TwoOutputs(), ""), std::nullopt);
  EXPECT_EQ(Read(list), "the new list, somewhat longer\n");
}

}  // namespace
