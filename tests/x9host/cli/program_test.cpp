// x9host run as a person runs it, with the module and both simulators of this build: help and
// version, bad input, and what each request gives in GPX. GPX that x9host writes is read
// back with pugixml directly, not through x9host's own reader.
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "codec/width.h"
#include "x9host_support.h"

namespace {

using namespace x9host_test;

// --- The program ---------------------------------------------------------------------------------

// Every refusal of the command line is in options_test.cpp; here, that one ends the program as
// every bad input does.
TEST_F(X9hostProgram, ArgumentErrorsEndWithOneLineAndStatusTwo) {
  const Outcome outcome = Run({"--verbose", "about"});
  EXPECT_BAD_INPUT(outcome, "unknown option --verbose");
  EXPECT_EQ(outcome.out, "");
  Launch japanese;
  japanese.language = "ja_JP.UTF-8";
  EXPECT_BAD_INPUT(Run({"--verbose", "about"}, japanese),
                   "x9host: --verbose というオプションはありません");
}

TEST_F(X9hostProgram, HelpAndVersionGoToStandardOutputWithStatusZero) {
  for (const char* help : {"--help", "-h"}) {
    const Outcome outcome = Run({help});
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(outcome.err, "");
    EXPECT_NE(outcome.out.find("upload-routes"), std::string::npos);
    EXPECT_NE(outcome.out.find("3  the request ran but moved nothing"), std::string::npos);
    EXPECT_NE(outcome.out.find("\"--\" ends the options"), std::string::npos);
    EXPECT_NE(outcome.out.find("every one is as it was"), std::string::npos);
  }
  // The options' descriptions, and their further lines, start in one column in either language.
  for (const char* language : {"C.UTF-8", "ja_JP.UTF-8"}) {
    SCOPED_TRACE(language);
    Launch launch;
    launch.language = language;
    const std::string help = Run({"--help"}, launch).out;
    const size_t start = help.find("\n  --watch ");
    ASSERT_NE(start, std::string::npos) << help;
    size_t column = 0;
    size_t options = 0;
    for (size_t at = start + 1; at < help.size() && help[at] == ' ';) {
      const size_t end = help.find('\n', at);
      const std::string line = help.substr(at, end - at);
      // The description follows the first two spaces after the option (none on a further line).
      const size_t gap = line[2] == ' ' ? 0 : line.find("  ", 2);
      const size_t text = line.find_first_not_of(' ', gap);
      ASSERT_NE(text, std::string::npos) << line;
      if (column == 0) column = x9host::DisplayWidth(line.substr(0, text));
      EXPECT_EQ(x9host::DisplayWidth(line.substr(0, text)), column) << line;
      options += line[2] == '-';
      at = end + 1;
    }
    EXPECT_EQ(options, 10u) << help;
  }

  const Outcome version = Run({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, std::string("x9host ") + X9_VERSION + "\n");
}

TEST_F(X9hostProgram, BadFilesAndDirectoriesEndWithOneLineAndStatusTwo) {
  const std::string missing = Path("missing.gpx").string();
  EXPECT_BAD_INPUT(Run({"--watch", missing, "download-routes"}),
                   missing + ": No such file or directory");
  WriteText(Path("broken.gpx"), std::string(kGpxHead) + "<wpt lat=\"1\" lon=\"2\">\n");
  EXPECT_BAD_INPUT(Run({"--watch", Path("broken.gpx").string(), "download-routes"}),
                   "not well-formed XML");
  Launch japanese;
  japanese.language = "ja_JP.UTF-8";
  EXPECT_BAD_INPUT(Run({"--watch", Path("broken.gpx").string(), "download-routes"}, japanese),
                   "broken.gpx: 5 行目: XML の形式が正しくありません（要素がありません）");
  WriteText(Path("euc.gpx"), "<?xml version=\"1.0\" encoding=\"EUC-JP\"?>\n<gpx/>\n");
  EXPECT_BAD_INPUT(Run({"--watch", Path("euc.gpx").string(), "download-routes"}),
                   "the encoding \"EUC-JP\" is not supported");
  EXPECT_BAD_INPUT(Run({"--plugins", dir_.string(), "about"}), "holds no x9link.tvl");
  EXPECT_BAD_INPUT(Run({"--plugins", Path("nowhere").string(), "about"}),
                   "no such plug-in directory");
  EXPECT_BAD_INPUT(Run({"--out", Path("nowhere/out.gpx").string(), "download-all"}),
                   "does not exist");
  EXPECT_BAD_INPUT(Run({"--out", dir_.string(), "download-all"}), "is a directory");
}

TEST_F(X9hostProgram, BadInputLeavesAnExistingOutputFileAlone) {
  WriteText(Path("out.gpx"), "old content");
  WriteText(Path("late.gpx"), std::string(kGpxHead) + "<wpt lat=\"91\" lon=\"2\"></wpt></gpx>\n");
  const Outcome outcome = Run({"--yes", "--list", Path("late.gpx").string(), "--out",
                               Path("out.gpx").string(), "download-all"});
  EXPECT_EQ(outcome.status, 2);
  EXPECT_EQ(ReadText(Path("out.gpx")), "old content");
  EXPECT_EQ(Files(), (std::vector<std::string>{"late.gpx", "out.gpx"}));  // no temporary left
}

TEST_F(X9hostProgram, DownloadAllGivesTheSampleWatchExactly) {
  const Outcome outcome = Run({"download-all", "--yes", "--out", Path("list.gpx").string()});
  ASSERT_EQ(outcome.status, 0) << outcome.err;
  EXPECT_NE(outcome.out.find("download-all returned 1"), std::string::npos);
  EXPECT_NE(outcome.out.find("6 sets added, 1 changed; 957 items added, 0 changed"),
            std::string::npos)
      << outcome.out;
  // The table shows the host's wall clock: the sample's first hike point is 08:41:05 in Japan.
  EXPECT_NE(outcome.out.find("  4  track         320  2024-05-03 08:41:05"), std::string::npos)
      << outcome.out;
  EXPECT_NE(outcome.out.find("x9host: done: 957 items added to the transfer list in 6 new sets"),
            std::string::npos);
  EXPECT_EQ(Files(), (std::vector<std::string>{"list.gpx"}));
  // In Japanese the columns line up by the terminal's columns, not by bytes.
  Launch japanese;
  japanese.language = "ja_JP.UTF-8";
  const std::string table = Run({"download-all", "--yes"}, japanese).out;
  for (const char* line :
       {"転送リスト: セット 6 個を追加、1 個を変更、項目 957 件を追加、0 件を変更しました\n",
        "\nセット  種類            ポイント数  最初の時刻           最後の時刻           名前\n",
        "\n     4  トラック               320  2024-05-03 08:41:05  2024-05-03 09:49:53  Segment: "
        "1\n",
        "\n     0  ウェイポイント           6  -                    -\n"})
    EXPECT_NE(table.find(line), std::string::npos) << line << table;

  const GpxText watch = ParseGpxText(ReadText(X9HOST_SAMPLE_WATCH));
  const GpxText list = ParseGpxText(ReadText(Path("list.gpx")));
  EXPECT_TRUE(list.orderProblems.empty());
  EXPECT_EQ(list.emptySegments, 0);

  const auto expectSamePoint = [](const PointText& from, const PointText& to, bool named) {
    EXPECT_EQ(NearestUnits(to.lat), WatchUnits(from.lat)) << from.lat << " became " << to.lat;
    EXPECT_EQ(NearestUnits(to.lon), WatchUnits(from.lon)) << from.lon << " became " << to.lon;
    EXPECT_EQ(to.ele, from.ele);  // the sample's elevations are whole metres
    if (named) {
      EXPECT_EQ(to.name, WatchName(from.name));
    }
  };
  ASSERT_EQ(list.waypoints.size(), watch.waypoints.size());
  for (size_t i = 0; i < watch.waypoints.size(); ++i)
    expectSamePoint(watch.waypoints[i], list.waypoints[i], true);
  ASSERT_EQ(list.routes.size(), watch.routes.size());
  for (size_t r = 0; r < watch.routes.size(); ++r) {
    EXPECT_EQ(list.routes[r].name, WatchName(watch.routes[r].name));
    ASSERT_EQ(list.routes[r].points.size(), watch.routes[r].points.size());
    for (size_t i = 0; i < watch.routes[r].points.size(); ++i) {
      expectSamePoint(watch.routes[r].points[i], list.routes[r].points[i], true);
      EXPECT_TRUE(list.routes[r].points[i].time.empty());
    }
  }
  // Tracks without points are not sets of the transfer list.
  std::vector<const PathText*> nonEmpty;
  for (const PathText& track : watch.tracks) {
    if (!track.points.empty()) nonEmpty.push_back(&track);
  }
  ASSERT_LT(nonEmpty.size(), watch.tracks.size()) << "the sample should hold an empty track";
  ASSERT_EQ(list.tracks.size(), nonEmpty.size());
  bool sawValues = false;
  for (size_t t = 0; t < nonEmpty.size(); ++t) {
    const PathText& from = *nonEmpty[t];
    ASSERT_EQ(list.tracks[t].points.size(), from.points.size());
    for (size_t i = 0; i < from.points.size(); ++i) {
      const PointText& to = list.tracks[t].points[i];
      expectSamePoint(from.points[i], to, false);
      EXPECT_EQ(to.time, from.points[i].time);
      EXPECT_EQ(to.name, "No. " + std::to_string(i + 1));
      EXPECT_EQ(to.value32, from.points[i].value32);
      EXPECT_EQ(to.value72, from.points[i].value72);
      sawValues = sawValues || !to.value32.empty();
    }
  }
  EXPECT_TRUE(sawValues) << "the sample should carry the extension values";
}

TEST_F(X9hostProgram, TheDownloadIsTheSameGpxInEveryTimeZone) {
  std::string first;
  for (const char* zone : {"Asia/Tokyo", "UTC", "America/New_York", "Europe/Berlin"}) {
    Launch launch;
    launch.zone = zone;
    const Outcome outcome =
        Run({"download-tracks", "--yes", "--out", Path("tracks.gpx").string()}, launch);
    ASSERT_EQ(outcome.status, 0) << zone << outcome.err;
    const std::string text = ReadText(Path("tracks.gpx"));
    if (first.empty()) {
      first = text;
    } else {
      EXPECT_EQ(text, first) << zone;
    }
  }
}

TEST_F(X9hostProgram, OutputIsWellFormedAndGpsbabelReadsTheSameCounts) {
  if (std::system("command -v xmllint >/dev/null && command -v gpsbabel >/dev/null") != 0) {
    GTEST_SKIP() << "xmllint and gpsbabel are installed by tools/setup.sh";
  }
  const std::string out = Path("list.gpx").string();
  ASSERT_EQ(Run({"download-all", "--yes", "--out", out}).status, 0);
  EXPECT_EQ(std::system(("xmllint --noout " + out).c_str()), 0);
  const GpxText list = ParseGpxText(ReadText(out));
  size_t routePoints = 0, trackPoints = 0;
  for (const PathText& route : list.routes)
    routePoints += route.points.size();
  for (const PathText& track : list.tracks)
    trackPoints += track.points.size();
  const std::map<std::string, size_t> expected = {
      {"-w", list.waypoints.size()}, {"-r", routePoints}, {"-t", trackPoints}};
  for (const auto& [kind, count] : expected) {
    const std::string csv = Path("points" + kind + ".csv").string();
    ASSERT_EQ(
        std::system(("gpsbabel " + kind + " -i gpx -f " + out + " -o unicsv -F " + csv).c_str()),
        0);
    EXPECT_EQ(CountLines(ReadText(csv)), count + 1) << kind;  // a heading, then one line a point
  }
}

TEST_F(X9hostProgram, UploadThenDownloadGivesTheRoutesBack) {
  // The watch holds "多摩川ラン" already: the upload asks, deletes it and puts the new one.
  WriteText(Path("watch.gpx"), std::string(kGpxHead) +
                                   "<rte><name>多摩川ラン</name><rtept lat=\"35\" "
                                   "lon=\"139\"><name>old</name></rtept></rte>\n"
                                   "<rte><name>Keep me</name><rtept lat=\"36\" "
                                   "lon=\"140\"><name>k</name></rtept></rte></gpx>\n");
  WriteText(Path("routes.gpx"),
            std::string(kGpxHead) +
                "<rte><name>多摩川ラン</name>\n"
                "  <rtept lat=\"64.471201\" "
                "lon=\"-21.9876543\"><ele>12.9</ele><name>Reykjavik</name></rtept></rte>\n"
                "<rte><name>高尾山口駅から山頂まで</name>\n"
                "  <rtept lat=\"-35.6812345678\" "
                "lon=\"139.7671234567\"><name>東京駅丸の内北口改札前</name></rtept>\n"
                "  <rtept lat=\"35.5\" "
                "lon=\"-139.99999999\"><ele>-0.5</ele><name>x</name></rtept></rte>\n"
                "<rte><name>Route A 相模湖周回コース</name><rtept lat=\"0\" lon=\"0\"/></rte>\n"
                "</gpx>\n");
  const Outcome upload =
      Run({"upload-routes", "--yes", "--watch", Path("watch.gpx").string(), "--list",
           Path("routes.gpx").string(), "--watch-out", Path("after.gpx").string()});
  ASSERT_EQ(upload.status, 0) << upload.err;
  EXPECT_NE(upload.out.find("upload-routes returned 1"), std::string::npos);
  EXPECT_NE(upload.out.find("nothing added or changed"), std::string::npos);
  EXPECT_NE(upload.err.find("同名のルートがGPSにあります"), std::string::npos) << upload.err;
  const GpxText watch = ParseGpxText(ReadText(Path("after.gpx")));
  ASSERT_EQ(watch.routes.size(), 4u);  // the old "多摩川ラン" was deleted
  EXPECT_EQ(watch.routes[0].name, "Keep me");
  EXPECT_EQ(watch.routes[1].points[0].name, "Reykjavik");

  const Outcome download = Run({"download-routes", "--yes", "--watch", Path("after.gpx").string(),
                                "--out", Path("back.gpx").string()});
  ASSERT_EQ(download.status, 0) << download.err;
  const GpxText back = ParseGpxText(ReadText(Path("back.gpx")));
  ASSERT_EQ(back.routes.size(), 4u);
  EXPECT_EQ(back.routes[0].name, "Keep me");
  EXPECT_EQ(back.routes[1].name, "多摩川ラン");
  EXPECT_EQ(back.routes[2].name, "高尾山口駅から山頂");
  EXPECT_EQ(back.routes[3].name, "Route A 相模湖周回");
  ASSERT_EQ(back.routes[1].points.size(), 1u);
  const PointText& reykjavik = back.routes[1].points[0];
  EXPECT_EQ(reykjavik.name, "Reykjavik");
  EXPECT_EQ(NearestUnits(reykjavik.lat), 644712009);  // truncated, not rounded
  EXPECT_EQ(NearestUnits(reykjavik.lon), -219876543);
  EXPECT_EQ(reykjavik.ele, "12");
  ASSERT_EQ(back.routes[2].points.size(), 2u);
  const PointText& tokyo = back.routes[2].points[0];
  EXPECT_EQ(tokyo.name, "東京駅丸の内北口改");
  EXPECT_EQ(NearestUnits(tokyo.lat), -356812345);
  EXPECT_EQ(NearestUnits(tokyo.lon), 1397671234);
  EXPECT_TRUE(tokyo.ele.empty());  // no elevation stays none
  const PointText& x = back.routes[2].points[1];
  EXPECT_EQ(NearestUnits(x.lat), 355000000);
  EXPECT_EQ(NearestUnits(x.lon), -1399999999);
  EXPECT_EQ(x.ele, "0");
  ASSERT_EQ(back.routes[3].points.size(), 1u);
  EXPECT_TRUE(back.routes[3].points[0].name.empty());
  EXPECT_EQ(back.routes[3].points[0].lat, "0.0000000");
}

TEST_F(X9hostProgram, TheWatchIsLoadedAsTheModuleConvertsUploads) {
  // Truncation toward zero, for coordinates and elevations alike, whatever the sign.
  WriteText(
      Path("watch.gpx"),
      std::string(kGpxHead) +
          "<wpt lat=\"64.471201\" lon=\"-35.68123456\"><ele>12.9</ele><name>a</name></wpt>\n"
          "<wpt lat=\"-0.00000019\" lon=\"179.99999999\"><ele>-0.5</ele><name>b</name></wpt>\n"
          "<wpt lat=\"0\" lon=\"0\"><ele>-7.9</ele><name>c</name></wpt>\n"
          "</gpx>\n");
  const Outcome outcome = Run({"download-waypoints", "--yes", "--watch", Path("watch.gpx").string(),
                               "--out", Path("out.gpx").string()});
  ASSERT_EQ(outcome.status, 0) << outcome.err;
  const GpxText out = ParseGpxText(ReadText(Path("out.gpx")));
  ASSERT_EQ(out.waypoints.size(), 3u);
  EXPECT_EQ(NearestUnits(out.waypoints[0].lat), 644712009);
  EXPECT_EQ(NearestUnits(out.waypoints[0].lon), -356812345);
  EXPECT_EQ(out.waypoints[0].ele, "12");
  EXPECT_EQ(NearestUnits(out.waypoints[1].lat), -1);
  EXPECT_EQ(NearestUnits(out.waypoints[1].lon), 1799999999);
  EXPECT_EQ(out.waypoints[1].ele, "0");
  EXPECT_EQ(out.waypoints[2].ele, "-7");
}

TEST_F(X9hostProgram, TheTransferListFileComesBackThroughOut) {
  const std::string list =
      std::string(kGpxHead) +
      "<wpt lat=\"35.1234567\" lon=\"139.7654321\"><ele>3.25</ele><name>駅</name></wpt>\n"
      "<rte><name>R</name><rtept lat=\"35.5\" lon=\"139.5\"><name>a</name></rtept></rte>\n"
      "<trk><name>Walk</name><trkseg>\n"
      "<trkpt lat=\"35.6812345678\" lon=\"139.7671\"><ele>40</ele><time>2024-03-31T00:30:00Z</time>"
      "<extensions><x9:value32>40</x9:value32></extensions></trkpt>\n"
      "<trkpt lat=\"35.6813\" lon=\"139.7672\"><time>2024-10-27T02:30:00Z</time></trkpt>\n"
      "</trkseg></trk></gpx>\n";
  WriteText(Path("list.gpx"), list);
  WriteText(Path("watch.gpx"),
            std::string(kGpxHead) + "<wpt lat=\"36\" lon=\"140\"><name>new</name></wpt></gpx>\n");
  // The list updated in place, in a zone whose clock changes in between: the watch's waypoint
  // is added, everything the list held comes back as it was.
  Launch launch;
  launch.zone = "Europe/Berlin";
  const Outcome outcome =
      Run({"download-waypoints", "--yes", "--watch", Path("watch.gpx").string(), "--list",
           Path("list.gpx").string(), "--out", Path("list.gpx").string()},
          launch);
  ASSERT_EQ(outcome.status, 0) << outcome.err;
  EXPECT_NE(outcome.out.find("transfer list: 0 sets added, 1 changed; 1 item added, 0 changed"),
            std::string::npos)
      << outcome.out;
  // The table shows Berlin's wall clock: winter time, then summer time.
  EXPECT_NE(outcome.out.find("2024-03-31 01:30:00  2024-10-27 03:30:00  Walk"), std::string::npos)
      << outcome.out;
  const GpxText out = ParseGpxText(ReadText(Path("list.gpx")));
  ASSERT_EQ(out.waypoints.size(), 2u);
  EXPECT_EQ(NearestUnits(out.waypoints[0].lat), 351234567);
  EXPECT_EQ(out.waypoints[0].ele, "3.25");
  EXPECT_EQ(out.waypoints[0].name, "駅");
  EXPECT_EQ(out.waypoints[1].name, "new");
  ASSERT_EQ(out.routes.size(), 1u);
  EXPECT_EQ(out.routes[0].points[0].name, "a");
  ASSERT_EQ(out.tracks.size(), 1u);
  EXPECT_EQ(out.tracks[0].name, "Walk");
  ASSERT_EQ(out.tracks[0].points.size(), 2u);
  EXPECT_EQ(out.tracks[0].points[0].lat, "35.6812345678");
  EXPECT_EQ(out.tracks[0].points[0].time, "2024-03-31T00:30:00Z");
  EXPECT_EQ(out.tracks[0].points[0].value32, "40");
  EXPECT_EQ(out.tracks[0].points[1].time, "2024-10-27T02:30:00Z");
  EXPECT_TRUE(out.tracks[0].points[1].ele.empty());
}

}  // namespace
