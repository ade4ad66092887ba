// What x9host's tests share: reading and writing files, time zones, GPX read back with pugixml
// directly (not through x9host's own reader), and running the program as a person would.
#pragma once

#include <gtest/gtest.h>
#include <pugixml.hpp>

#include <cstdint>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace x9host_test {

namespace fs = std::filesystem;

std::string ReadText(const fs::path& path);
void WriteText(const fs::path& path, const std::string& text);
size_t CountLines(const std::string& text);

// The zone is set for the calling process while it lives, then put back.
class ScopedZone {
 public:
  explicit ScopedZone(const char* zone);
  ~ScopedZone();
  ScopedZone(const ScopedZone&) = delete;
  ScopedZone& operator=(const ScopedZone&) = delete;

 private:
  std::string old_;
  bool hadOld_ = false;
};

// The 1e-7 degree unit the watch is loaded with: the text's double times 1e7, truncated.
int64_t WatchUnits(const std::string& text);
// The unit a GPX coordinate names, read to the nearest 1e-7 degree.
int64_t NearestUnits(const std::string& text);
// What a person expects the watch to keep of a name: whole characters of code page 932 while
// they fit in 19 bytes.
std::string WatchName(const std::string& utf8);

struct PointText {
  std::string lat, lon, ele, time, name, value32, value72;
};
struct PathText {
  std::string name;
  std::vector<PointText> points;
  int segments = 0;
};
struct GpxText {
  std::vector<PointText> waypoints;
  std::vector<PathText> routes;
  std::vector<PathText> tracks;  // points of all segments
  int emptySegments = 0;
  std::vector<std::string> orderProblems;
};
GpxText ParseGpxText(const std::string& bytes);

// The head of a GPX 1.1 file with our namespace: three lines.
inline constexpr char kGpxHead[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<gpx version=\"1.1\" creator=\"t\" xmlns=\"http://www.topografix.com/GPX/1/1\"\n"
    "     xmlns:x9=\"urn:x9link:gpx-extensions:1\">\n";

// --- The program ---------------------------------------------------------------------------------

struct Outcome {
  int status = -1;  // exit status, or minus the signal
  std::string out;
  std::string err;  // on a terminal: everything, as the terminal got it
};

// The directories a run's file outputs are in, as they were before it: after it, on status 0
// they must hold exactly the old entries (byte for byte, the same link counts) and the outputs;
// on any other status exactly the old entries. Nothing x9host makes may be left behind, nor an
// output written by a run that says it was not. Every run through X9hostProgram checks this.
class OutputDirectories {
 public:
  // args: the run's arguments; cwd: where relative names are read from; only directories in
  // within (the test's own) are looked at.
  OutputDirectories(const std::vector<std::string>& args, const fs::path& cwd,
                    const fs::path& within);
  // Adds a failure for every entry that differs from what the status allows.
  void Check(int status, const std::string& err) const;

  struct Entry {
    uintmax_t size = 0;
    uintmax_t links = 0;
    std::string bytes;  // a regular file's; a link's target
    bool operator==(const Entry&) const = default;
  };
  using Listing = std::map<std::string, Entry>;  // by name

 private:
  std::vector<fs::path> outputs_;  // as named, and with links followed
  std::vector<std::pair<fs::path, Listing>> before_;
};

struct Launch {
  const char* zone = "Asia/Tokyo";
  const char* language = "C.UTF-8";  // LANG; LC_ALL and LC_MESSAGES are unset
  std::string input;                 // standard input
  bool inputClosed = false;          // no standard input at all
  int interruptAfterMs = 0;          // Ctrl-C this long after the progress bar appears, when not 0
  bool terminal = false;             // run on a pseudo-terminal (stdin, stdout and stderr)
  // When not 0: standard input is a pipe kept open, and this signal is sent once the question's
  // "(y/N) " is on standard error (the program waits for an answer).
  int signalAtPrompt = 0;
  // When not 0: the most file descriptors the program may have open (ulimit -n).
  unsigned openFileLimit = 0;
  // The run may leave its outputs' directories otherwise than all-new or as-they-were (a way
  // back that fails, old content that cannot be removed): the test says what they hold.
  bool directoriesMayDiffer = false;
};

class X9hostProgram : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  fs::path Path(const std::string& name) const { return dir_ / name; }
  Outcome Run(const std::vector<std::string>& args, const Launch& launch = Launch());
  // The files in the test directory, bar the ones Run keeps.
  std::vector<std::string> Files() const;

  fs::path dir_;

 private:
  Outcome RunWithFiles(const std::vector<std::string>& args, const Launch& launch);
  Outcome RunOnTerminal(const std::vector<std::string>& args, const Launch& launch);
};

}  // namespace x9host_test

#define EXPECT_BAD_INPUT(outcome, fragment)                                  \
  do {                                                                       \
    const ::x9host_test::Outcome& result_ = (outcome);                       \
    EXPECT_EQ(result_.status, 2) << result_.err;                             \
    EXPECT_EQ(::x9host_test::CountLines(result_.err), 1u) << result_.err;    \
    EXPECT_EQ(result_.err.rfind("x9host: ", 0), 0u) << result_.err;          \
    EXPECT_NE(result_.err.find(fragment), std::string::npos) << result_.err; \
  } while (0)
