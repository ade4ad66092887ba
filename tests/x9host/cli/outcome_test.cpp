// What a request comes to: the exit status and its line for every outcome, outputs written only
// after a request that moved something (both or neither), and collisions refused before anything
// runs. Also the friendlier input: empty files, names without a code page 932 code, Shift_JIS
// files, and times the host cannot hold. How each kind of output is written is outputs_test's.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "codec/codepage.h"
#include "x9host_support.h"

namespace {

using namespace x9host;
using namespace x9host_test;

constexpr char kOldOut[] = "the old transfer list, byte for byte\n";
constexpr char kOldWatchOut[] = "the old watch file\n";

class X9hostOutcome : public X9hostProgram {
 protected:
  // A plug-in directory of the test's own: the module, and x9.dll when library names one.
  std::string PluginDirectory(const char* library) {
    const fs::path directory = Path("plugins");
    fs::create_directory(directory);
    fs::copy_file(fs::path(X9HOST_PLUGINS) / "x9link.tvl", directory / "x9link.tvl");
    if (library != nullptr) fs::copy_file(library, directory / "x9.dll");
    return directory.string();
  }

  // Runs a request with both outputs already there, and checks that it moved nothing and
  // left them as they were: the status, the line that says why, no file touched or made.
  void ExpectNothingWritten(std::vector<std::string> args, int status, const std::string& why,
                            const Launch& launch = Launch()) {
    WriteText(Path("out.gpx"), kOldOut);
    WriteText(Path("watch-out.gpx"), kOldWatchOut);
    const std::vector<std::string> before = Files();
    args.insert(args.end(),
                {"--out", Path("out.gpx").string(), "--watch-out", Path("watch-out.gpx").string()});
    const Outcome outcome = Run(args, launch);
    EXPECT_EQ(outcome.status, status) << outcome.out << outcome.err;
    EXPECT_NE(outcome.out.find("x9host: " + why + "\n"), std::string::npos) << outcome.out;
    EXPECT_NE(outcome.out.find("not written: " + Path("out.gpx").string()), std::string::npos);
    EXPECT_EQ(ReadText(Path("out.gpx")), kOldOut);
    EXPECT_EQ(ReadText(Path("watch-out.gpx")), kOldWatchOut);
    EXPECT_EQ(Files(), before);
  }
};

// --- Outcomes ----------------------------------------------------------------------------------

TEST_F(X9hostOutcome, ARequestThatMovesNothingWritesNothingAndSaysWhy) {
  Launch declined;
  declined.input = "n\n";
  ExpectNothingWritten({"download-all"}, 3, "nothing moved: the question was declined", declined);
  Launch typedNonsense;
  typedNonsense.input = "maybe\n";
  ExpectNothingWritten({"download-tracks"}, 3, "nothing moved: the question was declined",
                       typedNonsense);
  // A cron job without --yes: standard input empty, or not there at all.
  ExpectNothingWritten({"download-all"}, 3,
                       "nothing moved: no answer on standard input; give --yes to answer Yes");
  Launch closed;
  closed.inputClosed = true;
  ExpectNothingWritten({"download-routes"}, 3,
                       "nothing moved: no answer on standard input; give --yes to answer Yes",
                       closed);

  WriteText(Path("empty.gpx"), std::string(kGpxHead) + "</gpx>\n");
  // The module shows "connection lost" for a watch without tracks.
  ExpectNothingWritten(
      {"download-tracks", "--yes", "--watch", Path("empty.gpx").string()}, 3,
      "nothing moved: the watch holds no tracks with points (the module reports that as a lost "
      "connection)");
  WriteText(
      Path("routes-only.gpx"),
      std::string(kGpxHead) + "<rte><name>R</name><rtept lat=\"1\" lon=\"2\"/></rte></gpx>\n");
  ExpectNothingWritten({"download-waypoints", "--yes", "--watch", Path("routes-only.gpx").string()},
                       3, "nothing moved: the watch holds no waypoints");
  ExpectNothingWritten(
      {"upload-routes", "--yes", "--watch", Path("empty.gpx").string(), "--list",
       Path("empty.gpx").string()},
      3, "nothing moved: the transfer list holds no routes to upload (give them with --list)");
  WriteText(Path("mypoints.gpx"),
            std::string(kGpxHead) +
                "<rte><name>mypoints</name><rtept lat=\"1\" lon=\"2\"/></rte></gpx>\n");
  ExpectNothingWritten({"upload-routes", "--yes", "--watch", Path("empty.gpx").string(), "--list",
                        Path("mypoints.gpx").string()},
                       3,
                       "nothing moved: a route named MYPOINTS cannot be uploaded (the watch keeps "
                       "its waypoints under "
                       "that name)");
}

TEST_F(X9hostOutcome, WithoutTheWatchLibraryNothingMoves) {
  const std::string none = PluginDirectory(nullptr);
  ExpectNothingWritten({"download-all", "--yes", "--plugins", none}, 3,
                       "nothing moved: there is no watch library " + none +
                           "/x9.dll (copy the watch maker's x9.dll there, or the simulator's)");
  WriteText(Path("plugins/x9.dll"), "not a library");
  const Outcome broken = Run({"download-all", "--yes", "--plugins", none});
  EXPECT_EQ(broken.status, 3);
  EXPECT_NE(broken.out.find("x9host: nothing moved: " + none + "/x9.dll: cannot be loaded ("),
            std::string::npos)
      << broken.out;
  fs::remove(Path("plugins/x9.dll"));
  // A directory under the library's name is there: said as it is, not "there is no".
  fs::create_directory(Path("plugins/x9.dll"));
  ExpectNothingWritten({"download-all", "--yes", "--plugins", none}, 3,
                       "nothing moved: " + none + "/x9.dll: Is a directory");
  fs::remove(Path("plugins/x9.dll"));
  fs::copy_file(X9HOST_LIBRARY_WITHOUT_GETSETTINGS, Path("plugins/x9.dll"));
  ExpectNothingWritten({"download-all", "--yes", "--plugins", none}, 3,
                       "nothing moved: the watch library " + none +
                           "/x9.dll lacks one of the entry points the module needs");
}

TEST_F(X9hostOutcome, AnAbortedTransferExitsWithOneAndWritesNothing) {
  // Ctrl-C presses the terminal progress window's Abort while the paced transfer runs.
  Launch launch;
  launch.interruptAfterMs = 300;
  WriteText(Path("list.gpx"), kOldOut);
  const Outcome outcome = Run(
      {"download-tracks", "--yes", "--pace", "500", "--out", Path("list.gpx").string()}, launch);
  EXPECT_EQ(outcome.status, 1) << outcome.err;
  EXPECT_NE(outcome.out.find("download-tracks returned 0"), std::string::npos);
  EXPECT_NE(outcome.out.find("nothing added or changed"), std::string::npos);
  EXPECT_NE(outcome.out.find("x9host: failed: the transfer was aborted\n"), std::string::npos)
      << outcome.out;
  EXPECT_EQ(ReadText(Path("list.gpx")), kOldOut);
  EXPECT_EQ(Files(), std::vector<std::string>{"list.gpx"});
}

TEST_F(X9hostOutcome, AnUploadMovesWhatTheWatchGets) {
  WriteText(Path("empty.gpx"), std::string(kGpxHead) + "</gpx>\n");
  WriteText(Path("routes.gpx"),
            std::string(kGpxHead) +
                "<rte><name>One</name><rtept lat=\"1\" lon=\"2\"><name>p</name></rtept></rte>\n"
                "<rte><name>myPoints</name><rtept lat=\"5\" lon=\"6\"/></rte>\n"
                "<rte><name>Two</name><rtept lat=\"3\" lon=\"4\"/></rte></gpx>\n");
  // An empty GPX is an empty watch: the routes land on it, all but the one named like the
  // watch's waypoints, which the count leaves out too.
  const Outcome outcome =
      Run({"upload-routes", "--yes", "--watch", Path("empty.gpx").string(), "--list",
           Path("routes.gpx").string(), "--watch-out", Path("after.gpx").string()});
  ASSERT_EQ(outcome.status, 0) << outcome.err;
  EXPECT_NE(outcome.out.find("x9host: done: 2 routes put on the watch\n"), std::string::npos)
      << outcome.out;
  EXPECT_EQ(ParseGpxText(ReadText(Path("after.gpx"))).routes.size(), 2u);
  // The same file as the watch: the same route left off, in the same words.
  const std::string leftOff = Path("routes.gpx").string() +
                              ": line 5: 1 route named MYPOINTS, the name of the watch's "
                              "waypoints (<rte>) left off the watch: the watch cannot hold it "
                              "(the first: \"myPoints\")\n";
  const Outcome asWatch = Run({"download-routes", "--yes", "--watch", Path("routes.gpx").string(),
                               "--out", Path("as-watch.gpx").string()});
  ASSERT_EQ(asWatch.status, 0) << asWatch.err;
  EXPECT_NE(asWatch.out.find("routes.gpx: 0 tracks, 2 routes, 0 waypoints"), std::string::npos)
      << asWatch.out;
  EXPECT_EQ(ParseGpxText(ReadText(Path("as-watch.gpx"))).routes.size(), 2u);
  for (const Outcome* read : {&outcome, &asWatch})
    EXPECT_NE(read->err.find("warning: " + leftOff), std::string::npos) << read->err;
  // The same routes again over themselves, answered Yes: deleted and put back, the watch as
  // it was.
  const Outcome again =
      Run({"upload-routes", "--yes", "--watch", Path("after.gpx").string(), "--list",
           Path("routes.gpx").string(), "--watch-out", Path("again.gpx").string()});
  EXPECT_EQ(again.status, 3) << again.err;
  EXPECT_NE(again.out.find("x9host: nothing moved: the watch already held exactly these routes\n"),
            std::string::npos)
      << again.out;
  EXPECT_FALSE(fs::exists(Path("again.gpx")));
}

// --- Collisions ----------------------------------------------------------------------------------

TEST_F(X9hostOutcome, OutputsNamingAnInputOrEachOtherAreRefusedBeforeAnythingRuns) {
  const std::string watch = ReadText(X9HOST_SAMPLE_WATCH);
  WriteText(Path("watch.gpx"), watch);
  fs::create_directory(Path("sub"));
  fs::create_symlink(Path("watch.gpx"), Path("link.gpx"));
  const std::string w = Path("watch.gpx").string();
  const auto expectRefused = [&](const std::vector<std::string>& args,
                                 const std::string& fragment) {
    const Outcome outcome = Run(args);
    EXPECT_BAD_INPUT(outcome, fragment);
    EXPECT_EQ(outcome.err.find("[question]"), std::string::npos) << "the request ran";
    EXPECT_EQ(ReadText(Path("watch.gpx")), watch);
  };
  // A waypoint download would have replaced every track of the watch file.
  expectRefused({"download-waypoints", "--yes", "--watch", w, "--out", w},
                "--out " + w + " names the same file as --watch");
  expectRefused({"download-waypoints", "--yes", "--watch", w, "--out", Path("link.gpx").string()},
                "names the same file as --watch");
  expectRefused(
      {"download-waypoints", "--yes", "--watch", w, "--out", Path("sub/../watch.gpx").string()},
      "names the same file as --watch");
  expectRefused({"upload-routes", "--yes", "--watch", w, "--watch-out", w},
                "--watch-out " + w + " names the same file as --watch");
  expectRefused({"download-all", "--yes", "--watch", Path("link.gpx").string(), "--list", w,
                 "--watch-out", Path("sub/../watch.gpx").string()},
                "names the same file as --watch");
  // Two outputs, one file (not there yet, spelt two ways): one would be lost.
  expectRefused({"download-all", "--yes", "--out", Path("new.gpx").string(), "--watch-out",
                 Path("sub/../new.gpx").string()},
                "name the same file");
  expectRefused({"download-all", "--yes", "--out", "-", "--watch-out", "-"}, "name the same file");
  EXPECT_FALSE(fs::exists(Path("new.gpx")));
}

// --- Friendlier input ----------------------------------------------------------------------------

TEST_F(X9hostOutcome, TimesTheHostCannotHoldCostThePointItsTimeInBothReaders) {
  for (const char* time :
       {"1969-12-31T23:59:59Z", "2038-01-19T03:14:08Z", "2100-01-01T00:00:00Z"}) {
    WriteText(Path("times.gpx"), std::string(kGpxHead) +
                                     "<trk><trkseg>\n<trkpt lat=\"1\" lon=\"2\"><time>" + time +
                                     "</time></trkpt>\n</trkseg></trk>\n<rte><name>R</name>\n"
                                     "<rtept lat=\"1\" lon=\"2\"/></rte></gpx>\n");
    Launch utc;
    utc.zone = "UTC";
    const std::string why = std::string(
        "times.gpx: line 5: 1 time outside what the host can "
        "hold, 1970-01-01 00:00:01 to 2038-01-19 03:14:07 local "
        "time within 1970-01-01T00:00:00Z to 2038-01-19T03:14:07Z (<time>) dropped: the host "
        "cannot hold it");
    const std::string first = std::string("(the first: ") + time + ")\n";
    for (const Outcome& kept :
         {Run({"download-tracks", "--yes", "--watch", Path("times.gpx").string()}, utc),
          Run({"upload-routes", "--yes", "--list", Path("times.gpx").string()}, utc)}) {
      EXPECT_EQ(kept.status, 0) << kept.err;
      EXPECT_NE(kept.err.find(why), std::string::npos) << kept.err;
      EXPECT_NE(kept.err.find(first), std::string::npos) << kept.err;
    }
  }
  // No time at all is no loss: both readers keep the point without one.
  WriteText(Path("untimed.gpx"),
            std::string(kGpxHead) +
                "<rte><name>R</name><rtept lat=\"1\" lon=\"2\"/></rte>\n"
                "<trk><trkseg>\n<trkpt lat=\"1\" lon=\"2\"/>\n</trkseg></trk></gpx>\n");
  for (const char* reader : {"--watch", "--list"}) {
    fs::remove(Path("o.gpx"));
    const Outcome kept = Run({"download-tracks", "--yes", reader, Path("untimed.gpx").string(),
                              "--out", Path("o.gpx").string()});
    ASSERT_EQ(kept.status, 0) << reader << ":\n" << kept.err;
    EXPECT_EQ(kept.err.find("warning"), std::string::npos) << reader << ":\n" << kept.err;
    const GpxText got = ParseGpxText(ReadText(Path("o.gpx")));
    ASSERT_FALSE(got.tracks.empty()) << reader;
    ASSERT_EQ(got.tracks[0].points.size(), 1u) << reader;
    EXPECT_EQ(got.tracks[0].points[0].time, "") << reader;
    // And the table shows none either, not the module's stand-in for it.
    EXPECT_NE(kept.out.find("track           1  -                    -"), std::string::npos)
        << reader << ":\n"
        << kept.out;
  }
  // The range is the local wall clock's: nine hours ahead, the last second of 2038 in UTC is
  // already too late, and the first second of 1970 in UTC is fine.
  WriteText(Path("edge.gpx"), std::string(kGpxHead) +
                                  "<trk><trkseg>\n<trkpt lat=\"1\" lon=\"2\"><time>"
                                  "1970-01-01T00:00:00Z</time></trkpt>\n</trkseg></trk></gpx>\n");
  const Outcome edge = Run({"download-tracks", "--yes", "--watch", Path("edge.gpx").string(),
                            "--out", Path("o.gpx").string()});
  EXPECT_EQ(edge.status, 0) << edge.err;
  EXPECT_NE(ReadText(Path("o.gpx")).find("<time>1970-01-01T00:00:00Z</time>"), std::string::npos);
}

TEST_F(X9hostOutcome, NamesWithoutACodeAreKeptWithQuestionMarksAndAWarning) {
  WriteText(
      Path("watch.gpx"),
      std::string(kGpxHead) +
          "<rte><name>Caf\xC3\xA9 du Nord \xC2\xA9</name>\n"
          "<rtept lat=\"1\" lon=\"2\"><name>\xE2\x9C\x93 \xF0\x9F\x98\x80 here</name></rtept>\n"
          "<rtept lat=\"1\" lon=\"2\"><name>\xE2\x80\x93</name></rtept></rte></gpx>\n");
  const Outcome outcome = Run({"download-routes", "--yes", "--watch", Path("watch.gpx").string(),
                               "--out", Path("o.gpx").string()});
  ASSERT_EQ(outcome.status, 0) << outcome.err;
  const std::string w = Path("watch.gpx").string();
  EXPECT_NE(outcome.err.find(
                "x9host: warning: " + w +
                ": line 4: the route name \"Caf\xC3\xA9 du Nord \xC2\xA9\" is kept as "
                "\"Caf? du Nord ?\": code page 932 cannot write \"\xC3\xA9\" \"\xC2\xA9\"\n"),
            std::string::npos)
      << outcome.err;
  EXPECT_NE(outcome.err.find(w + ": line 5: the point name"), std::string::npos);
  EXPECT_NE(outcome.err.find(w + ": line 6: the point name"), std::string::npos);
  const GpxText out = ParseGpxText(ReadText(Path("o.gpx")));
  ASSERT_EQ(out.routes.size(), 1u);
  EXPECT_EQ(out.routes[0].name, "Caf? du Nord ?");
  EXPECT_EQ(out.routes[0].points[0].name, "? ? here");
  EXPECT_EQ(out.routes[0].points[1].name, "?");

  // The transfer list's reader does the same.
  const Outcome upload =
      Run({"upload-routes", "--yes", "--list", w, "--watch-out", Path("after.gpx").string()});
  ASSERT_EQ(upload.status, 0) << upload.err;
  EXPECT_NE(upload.err.find("x9host: warning: " + w + ": line 4: the route name"),
            std::string::npos)
      << upload.err;
  const GpxText after = ParseGpxText(ReadText(Path("after.gpx")));
  EXPECT_EQ(after.routes.back().name, "Caf? du Nord ?");
}

TEST_F(X9hostOutcome, AShiftJisWatchGivesWhatItsUtf8TwinGives) {
  // The sample watch, once as it is and once in Shift_JIS.
  std::string utf8 = ReadText(X9HOST_SAMPLE_WATCH);
  const size_t declaration = utf8.find("encoding=\"UTF-8\"");
  ASSERT_NE(declaration, std::string::npos);
  const Cp932Text sjis = Cp932FromUtf8(utf8);
  ASSERT_TRUE(sjis.ok) << sjis.offending;
  std::string shiftJis = sjis.bytes;
  shiftJis.replace(shiftJis.find("encoding=\"UTF-8\""), 16, "encoding=\"Shift_JIS\"");
  WriteText(Path("utf8.gpx"), utf8);
  WriteText(Path("sjis.gpx"), shiftJis);
  ASSERT_NE(shiftJis, utf8);
  const Outcome a = Run({"download-all", "--yes", "--watch", Path("utf8.gpx").string(), "--out",
                         Path("a.gpx").string()});
  const Outcome b = Run({"download-all", "--yes", "--watch", Path("sjis.gpx").string(), "--out",
                         Path("b.gpx").string()});
  ASSERT_EQ(a.status, 0) << a.err;
  ASSERT_EQ(b.status, 0) << b.err;
  EXPECT_EQ(ReadText(Path("a.gpx")), ReadText(Path("b.gpx")));
  EXPECT_NE(ReadText(Path("b.gpx")).find("<name>高尾山口駅から山頂</name>"), std::string::npos);
}

}  // namespace
