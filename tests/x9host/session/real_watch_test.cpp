// A watch library in the plug-in directory that is not the simulator is the real watch. The
// real watch's is the simulator's x9.dll built with the eleven entry points only, over a watch that
// holds a waypoint, a route and a track from the start: x9host cannot look into it, as it
// cannot look into the watch maker's library.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "x9host_support.h"

namespace {

using namespace x9host_test;

const std::string kRealWatchPlugins = X9HOST_REAL_WATCH_PLUGINS;

TEST_F(X9hostProgram, TheRealWatchIsBackedUpToGpx) {
  const Outcome outcome = Run({"download-all", "--yes", "--plugins", kRealWatchPlugins, "--out",
                               Path("backup.gpx").string()});
  ASSERT_EQ(outcome.status, 0) << outcome.err;
  EXPECT_NE(outcome.out.find("x9host: using the watch library " + kRealWatchPlugins +
                             "/x9.dll: it is not the simulator, so this is the real watch\n"),
            std::string::npos)
      << outcome.out;
  EXPECT_EQ(outcome.out.find("x9host: watch "), std::string::npos)
      << "no simulated watch is loaded";
  const GpxText backup = ParseGpxText(ReadText(Path("backup.gpx")));
  ASSERT_EQ(backup.waypoints.size(), 1u);
  EXPECT_EQ(backup.waypoints[0].name, "HUT");
  ASSERT_EQ(backup.routes.size(), 1u);
  EXPECT_EQ(backup.routes[0].name, "STAND-IN ROUTE");
  ASSERT_EQ(backup.tracks.size(), 1u);
  EXPECT_EQ(backup.tracks[0].points.size(), 3u);
  EXPECT_EQ(backup.tracks[0].points[0].time,
            "2024-06-01T00:00:00Z");  // 09:00 on the watch, in Japan
}

TEST_F(X9hostProgram, RoutesFromGpxArePutOnTheRealWatch) {
  WriteText(Path("routes.gpx"),
            std::string(kGpxHead) +
                "<rte><name>Ridge</name><rtept lat=\"35.6\" "
                "lon=\"139.2\"><name>top</name></rtept></rte>\n"
                "<rte><name>MyPoints</name><rtept lat=\"35.6\" lon=\"139.2\"/></rte></gpx>\n");
  const std::vector<std::string> upload = {"upload-routes", "--plugins", kRealWatchPlugins,
                                           "--list", Path("routes.gpx").string()};
  std::vector<std::string> yes = upload;
  yes.push_back("--yes");
  // The watch cannot be seen: the module's result and the route sets it was given tell.
  const Outcome put = Run(yes);
  EXPECT_EQ(put.status, 0) << put.err;
  EXPECT_NE(put.out.find("x9host: done: 1 route put on the watch\n"), std::string::npos) << put.out;
  Launch declined;
  declined.input = "n\n";
  const Outcome no = Run(upload, declined);
  EXPECT_EQ(no.status, 3);
  EXPECT_NE(no.out.find("x9host: nothing moved: the question was declined\n"), std::string::npos)
      << no.out;
  const Outcome nothing = Run({"upload-routes", "--yes", "--plugins", kRealWatchPlugins});
  EXPECT_EQ(nothing.status, 3);
  EXPECT_NE(nothing.out.find("x9host: nothing moved: the transfer list holds no routes to upload"),
            std::string::npos);
}

TEST_F(X9hostProgram, TheRealWatchHasNoWatchFile) {
  WriteText(Path("out.gpx"), "old");
  for (const char* option : {"--watch", "--watch-out"}) {
    const std::string file =
        std::string(option) == "--watch" ? X9HOST_SAMPLE_WATCH : Path("watch.gpx").string();
    const Outcome outcome = Run({"download-all", "--yes", "--plugins", kRealWatchPlugins, option,
                                 file, "--out", Path("out.gpx").string()});
    EXPECT_BAD_INPUT(outcome, std::string(option) + ": " + kRealWatchPlugins +
                                  "/x9.dll is a watch library, not the simulator");
    EXPECT_EQ(outcome.err.find("[question]"), std::string::npos) << "the request ran";
  }
  EXPECT_EQ(ReadText(Path("out.gpx")), "old");
  EXPECT_FALSE(fs::exists(Path("watch.gpx")));
}

}  // namespace
