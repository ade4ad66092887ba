// x9host: its pieces (code pages, times, GPX in and out) and the program as a person runs it,
// with the module and both simulators of this build. GPX that x9host writes is read back here
// with pugixml directly, not through x9host's own reader.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <pugixml.hpp>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "codepage.h"
#include "gpx.h"
#include "input_error.h"
#include "options.h"
#include "wall_clock.h"

namespace {

using namespace x9host;
namespace fs = std::filesystem;

// --- Helpers ---------------------------------------------------------------------------------

std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteText(const fs::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

size_t CountLines(const std::string& text) {
  size_t lines = 0;
  for (const char c : text) lines += c == '\n';
  return lines;
}

// The zone is set for the calling process while it lives, then put back.
class ScopedZone {
 public:
  explicit ScopedZone(const char* zone) {
    const char* old = std::getenv("TZ");
    if (old != nullptr) old_ = old;
    hadOld_ = old != nullptr;
    setenv("TZ", zone, 1);
    tzset();
  }
  ~ScopedZone() {
    if (hadOld_) {
      setenv("TZ", old_.c_str(), 1);
    } else {
      unsetenv("TZ");
    }
    tzset();
  }

 private:
  std::string old_;
  bool hadOld_ = false;
};

// The 1e-7 degree unit the watch is loaded with: the text's double times 1e7, truncated.
int64_t WatchUnits(const std::string& text) { return static_cast<int64_t>(std::strtod(text.c_str(), nullptr) * 1e7); }
// The unit a GPX coordinate names, read to the nearest 1e-7 degree.
int64_t NearestUnits(const std::string& text) { return std::llround(std::strtod(text.c_str(), nullptr) * 1e7); }

// What a person expects the watch to keep of a name: whole characters of code page 932 while
// they fit in 19 bytes.
std::string WatchName(const std::string& utf8) {
  std::string kept;
  size_t bytes = 0;
  for (size_t i = 0; i < utf8.size();) {
    size_t length = 1;
    const auto c = static_cast<unsigned char>(utf8[i]);
    if (c >= 0xF0) length = 4; else if (c >= 0xE0) length = 3; else if (c >= 0xC0) length = 2;
    const std::string character = utf8.substr(i, length);
    const size_t size = Cp932FromUtf8(character).bytes.size();
    if (bytes + size > 19) break;
    kept += character;
    bytes += size;
    i += length;
  }
  return kept;
}

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

PointText ReadPoint(const pugi::xml_node& node, GpxText& gpx) {
  PointText point;
  point.lat = node.attribute("lat").value();
  point.lon = node.attribute("lon").value();
  point.ele = node.child_value("ele");
  point.time = node.child_value("time");
  point.name = node.child_value("name");
  const pugi::xml_node extensions = node.child("extensions");
  point.value32 = extensions.child_value("x9:value32");
  point.value72 = extensions.child_value("x9:value72");
  // The schema's order for what x9host writes.
  static const std::map<std::string, int> kRank = {{"ele", 0}, {"time", 1}, {"name", 2}, {"extensions", 3}};
  int last = -1;
  for (const pugi::xml_node& child : node.children()) {
    const auto rank = kRank.find(child.name());
    if (rank == kRank.end()) continue;
    if (rank->second < last) gpx.orderProblems.push_back(std::string(child.name()) + " out of order");
    last = rank->second;
  }
  return point;
}

GpxText ParseGpxText(const std::string& bytes) {
  GpxText gpx;
  pugi::xml_document document;
  const pugi::xml_parse_result result = document.load_buffer(bytes.data(), bytes.size());
  EXPECT_TRUE(result) << result.description();
  const pugi::xml_node root = document.child("gpx");
  for (const pugi::xml_node& wpt : root.children("wpt")) gpx.waypoints.push_back(ReadPoint(wpt, gpx));
  for (const pugi::xml_node& rte : root.children("rte")) {
    PathText& route = gpx.routes.emplace_back();
    route.name = rte.child_value("name");
    for (const pugi::xml_node& point : rte.children("rtept")) route.points.push_back(ReadPoint(point, gpx));
  }
  for (const pugi::xml_node& trk : root.children("trk")) {
    PathText& track = gpx.tracks.emplace_back();
    track.name = trk.child_value("name");
    for (const pugi::xml_node& segment : trk.children("trkseg")) {
      ++track.segments;
      if (!segment.child("trkpt")) ++gpx.emptySegments;
      for (const pugi::xml_node& point : segment.children("trkpt")) track.points.push_back(ReadPoint(point, gpx));
    }
  }
  return gpx;
}

// --- Code page 932 -----------------------------------------------------------------------------

TEST(X9hostCodePage, ConvertsExactlyOrNamesTheCharacterWithoutCode) {
  const Cp932Text kanji = Cp932FromUtf8("高尾山 1");
  ASSERT_TRUE(kanji.ok);
  EXPECT_EQ(kanji.bytes, "\x8D\x82\x94\xF6\x8E\x52 1");
  EXPECT_EQ(Utf8FromCp932(kanji.bytes), "高尾山 1");

  const Cp932Text accented = Cp932FromUtf8("Caf\xC3\xA9 au lait");
  EXPECT_FALSE(accented.ok);
  EXPECT_EQ(accented.offending, "\xC3\xA9");  // é: no best-fit "e"
  EXPECT_TRUE(accented.bytes.empty());

  const Cp932Text check = Cp932FromUtf8("ok \xE2\x9C\x93");
  EXPECT_FALSE(check.ok);
  EXPECT_EQ(check.offending, "\xE2\x9C\x93");

  const Cp932Text broken = Cp932FromUtf8("ab\xFF");
  EXPECT_FALSE(broken.ok);
  EXPECT_EQ(broken.offending, "\xFF");

  // Half-width katakana are single bytes.
  EXPECT_EQ(Cp932FromUtf8("ｶﾀｶﾅ").bytes, "\xB6\xC0\xB6\xC5");
}

TEST(X9hostCodePage, CutsNamesAtNineteenBytesNeverInsideACharacter) {
  const auto cut = [](const char* utf8) {
    const std::string bytes = Cp932FromUtf8(utf8).bytes;
    return Utf8FromCp932(bytes.substr(0, WatchNameLength(bytes)));
  };
  EXPECT_EQ(cut("高尾山口駅から山頂まで"), "高尾山口駅から山頂");  // 22 bytes: 18 kept
  EXPECT_EQ(cut("Route A 相模湖周回コース"), "Route A 相模湖周回");  // byte 19 would start a kanji
  EXPECT_EQ(cut("12345678901234567高尾"), "12345678901234567高");  // the kanji ends on byte 19
  EXPECT_EQ(cut("123456789012345678高"), "123456789012345678");
  EXPECT_EQ(cut("ABCDEFGHIJKLMNOPQRSTUVWXY"), "ABCDEFGHIJKLMNOPQRS");
  EXPECT_EQ(cut("ｱｲｳｴｵｶｷｸｹｺｻｼｽｾｿﾀﾁﾂﾃﾄ"), "ｱｲｳｴｵｶｷｸｹｺｻｼｽｾｿﾀﾁﾂﾃ");
  EXPECT_EQ(cut("多摩川ラン"), "多摩川ラン");
  EXPECT_EQ(cut(""), "");
}

TEST(X9hostCodePage, ShowsBytesWithoutCharacterAsReplacement) {
  // 0x85 0x40 is unassigned in code page 932; the text around it survives.
  const std::string text = Utf8FromCp932(std::string("A\x85\x40" "B", 4));
  EXPECT_EQ(text.front(), 'A');
  EXPECT_EQ(text.back(), 'B');
  EXPECT_NE(text.find("\xEF\xBF\xBD"), std::string::npos);
}

// --- Times -------------------------------------------------------------------------------------

TEST(X9hostWallClock, ReadsGpxTimesAsUtcSeconds) {
  EXPECT_EQ(ParseDateTime("2024-05-03T00:12:05Z"), 1714695125);
  EXPECT_EQ(ParseDateTime("  2024-05-03T00:12:05.987Z\n"), 1714695125);  // whole seconds
  EXPECT_EQ(ParseDateTime("2024-05-03T00:12:05"), 1714695125);            // no zone: UTC
  EXPECT_EQ(ParseDateTime("2024-05-03T00:12:05+09:00"), 1714662725);
  EXPECT_EQ(ParseDateTime("2024-05-02T15:12:05-00:00"), 1714662725);
  EXPECT_EQ(ParseDateTime("1969-12-31T23:59:59Z"), -1);
  EXPECT_EQ(ParseDateTime("2000-02-29T12:00:00Z"), 951825600);
  for (const char* bad : {"", "2024-05-03", "2024-05-03 00:12:05Z", "24-05-03T00:12:05Z",
                          "2023-02-29T00:00:00Z", "2024-13-01T00:00:00Z", "2024-05-03T00:60:00Z",
                          "2024-05-03T00:12:05+9", "2024-05-03T00:12:05Zjunk", "2024-05-03T00:12:05."}) {
    EXPECT_FALSE(ParseDateTime(bad).has_value()) << bad;
  }
  EXPECT_EQ(FormatUtc(1714695125), "2024-05-03T00:12:05Z");
  EXPECT_EQ(FormatUtc(-1), "1969-12-31T23:59:59Z");
}

TEST(X9hostWallClock, LinksUtcAndTheLocalWallClockThroughTheZone) {
  {
    const ScopedZone zone("Asia/Tokyo");
    const std::optional<CivilTime> local = LocalFromUtc(1714695125);
    ASSERT_TRUE(local.has_value());
    EXPECT_EQ(FormatCivil(*local), "2024-05-03 09:12:05");
    EXPECT_EQ(UtcFromLocal(*local), 1714695125);
    // The host's wall-clock value reads the local fields as if they were UTC.
    EXPECT_EQ(SecondsFromCivil(*local), 1714695125 + 9 * 3600);
  }
  {
    const ScopedZone zone("Europe/Berlin");
    // Summer and winter: two hours, then one hour ahead of UTC.
    EXPECT_EQ(FormatCivil(*LocalFromUtc(*ParseDateTime("2024-07-01T10:00:00Z"))), "2024-07-01 12:00:00");
    EXPECT_EQ(FormatCivil(*LocalFromUtc(*ParseDateTime("2024-01-01T10:00:00Z"))), "2024-01-01 11:00:00");
    EXPECT_EQ(UtcFromLocal(CivilFromSeconds(*ParseDateTime("2024-07-01T12:00:00Z"))),
              ParseDateTime("2024-07-01T10:00:00Z"));
  }
  const CivilTime leap = CivilFromSeconds(951825600);
  EXPECT_EQ(FormatCivil(leap), "2000-02-29 12:00:00");
  EXPECT_EQ(SecondsFromCivil(leap), 951825600);
  EXPECT_EQ(FormatCivil(CivilFromSeconds(-86401)), "1969-12-30 23:59:59");
}

// --- GPX reading ---------------------------------------------------------------------------------

constexpr char kGpxHead[] = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                            "<gpx version=\"1.1\" creator=\"t\" xmlns=\"http://www.topografix.com/GPX/1/1\"\n"
                            "     xmlns:x9=\"urn:x9link:gpx-extensions:1\">\n";

std::string ReadError(const std::string& text) {
  try {
    ParseGpx(text, "f.gpx");
  } catch (const InputError& error) {
    return error.what();
  }
  return "(accepted)";
}

TEST(X9hostGpxRead, ReadsPointsRoutesTracksAndOurExtensions) {
  const GpxDocument gpx = ParseGpx(std::string(kGpxHead) +
      "<wpt lat=\"35.5\" lon=\"-139.25\"><ele>+12.5</ele><name> A &amp; B </name></wpt>\n"
      "<rte><name>R</name><rtept lat=\"1\" lon=\"2\"/><rtept lat=\"3\" lon=\"4\"><name>p</name></rtept></rte>\n"
      "<trk><name>T</name><trkseg><trkpt lat=\"1\" lon=\"1\"><time>2024-05-03T00:12:05Z</time>\n"
      "  <extensions><x9:value32>1230</x9:value32><x9:value72>-7</x9:value72>"
      "<other xmlns=\"urn:other\">9</other></extensions></trkpt></trkseg>\n"
      "<trkseg/><trkseg><trkpt lat=\"2\" lon=\"2\"><time>2024-05-03T00:12:06Z</time></trkpt></trkseg></trk>\n"
      "<trk/>\n"
      "<foreign:wpt xmlns:foreign=\"urn:other\" lat=\"9\" lon=\"9\"/>\n"
      "</gpx>\n", "f.gpx");
  ASSERT_EQ(gpx.waypoints.size(), 1u);  // the wpt of another namespace is not ours
  EXPECT_EQ(gpx.waypoints[0].latitude, 35.5);
  EXPECT_EQ(gpx.waypoints[0].longitude, -139.25);
  EXPECT_EQ(gpx.waypoints[0].elevation, 12.5);
  EXPECT_EQ(gpx.waypoints[0].name, "A & B");
  EXPECT_EQ(gpx.waypoints[0].line, 4);
  ASSERT_EQ(gpx.routes.size(), 1u);
  EXPECT_EQ(gpx.routes[0].name, "R");
  ASSERT_EQ(gpx.routes[0].points.size(), 2u);
  EXPECT_FALSE(gpx.routes[0].points[0].elevation.has_value());
  EXPECT_EQ(gpx.routes[0].points[1].name, "p");
  ASSERT_EQ(gpx.tracks.size(), 2u);
  ASSERT_EQ(gpx.tracks[0].segments.size(), 3u);
  EXPECT_EQ(gpx.tracks[0].PointCount(), 2u);
  const GpxPoint& first = gpx.tracks[0].segments[0][0];
  EXPECT_EQ(first.time, 1714695125);
  EXPECT_EQ(first.value32, 1230.0);
  EXPECT_EQ(first.value72, -7.0f);
  EXPECT_FALSE(gpx.tracks[0].segments[2][0].value32.has_value());
  EXPECT_EQ(gpx.tracks[1].PointCount(), 0u);
}

TEST(X9hostGpxRead, AcceptsGpx10AndPrefixedElements) {
  const GpxDocument old = ParseGpx(
      "<gpx version=\"1.0\" xmlns=\"http://www.topografix.com/GPX/1/0\"><wpt lat=\"1\" lon=\"2\"/></gpx>", "a");
  EXPECT_EQ(old.waypoints.size(), 1u);
  const GpxDocument prefixed = ParseGpx(
      "<g:gpx xmlns:g=\"http://www.topografix.com/GPX/1/1\"><g:rte><g:name>N</g:name>"
      "<g:rtept lat=\"1\" lon=\"2\"/></g:rte></g:gpx>", "b");
  ASSERT_EQ(prefixed.routes.size(), 1u);
  EXPECT_EQ(prefixed.routes[0].name, "N");
  EXPECT_EQ(prefixed.routes[0].points.size(), 1u);
}

TEST(X9hostGpxRead, RefusesBadFilesWithTheLine) {
  const std::string head = kGpxHead;  // three lines
  EXPECT_EQ(ReadError(head + "<wpt lat=\"1\" lon=\"2\">\n</gpx>\n"),
            "f.gpx: line 5: not well-formed XML (Start-end tags mismatch)");
  EXPECT_EQ(ReadError(""), "f.gpx: line 1: not well-formed XML (No document element found)");
  EXPECT_EQ(ReadError(head + "<metadata/></gpx>"), "f.gpx: no waypoints, routes or tracks in the file");
  EXPECT_EQ(ReadError("<kml/>"), "f.gpx: not a GPX file (the root element is <kml>)");
  EXPECT_EQ(ReadError(head + "<wpt lat=\"1\"/></gpx>"), "f.gpx: line 4: <wpt> without lat and lon");
  EXPECT_EQ(ReadError(head + "<wpt lat=\"1,5\" lon=\"2\"/></gpx>"), "f.gpx: line 4: latitude \"1,5\" is not a number");
  EXPECT_EQ(ReadError(head + "<wpt lat=\"nan\" lon=\"2\"/></gpx>"), "f.gpx: line 4: latitude \"nan\" is not a number");
  EXPECT_EQ(ReadError(head + "<wpt lat=\"90.5\" lon=\"2\"/></gpx>"),
            "f.gpx: line 4: latitude 90.5 is outside -90 to 90 degrees");
  EXPECT_EQ(ReadError(head + "<wpt lat=\"1\" lon=\"-180.1\"/></gpx>"),
            "f.gpx: line 4: longitude -180.1 is outside -180 to 180 degrees");
  EXPECT_EQ(ReadError(head + "<trk><trkseg>\n<trkpt lat=\"1\" lon=\"2\"><time>yesterday</time></trkpt>"
                             "</trkseg></trk></gpx>"),
            "f.gpx: line 5: time \"yesterday\" is not a date and time");
  EXPECT_EQ(ReadError(head + "<wpt lat=\"1\" lon=\"2\"><name>\xC3\x28</name></wpt></gpx>"),
            "f.gpx: line 4: <name> is not valid UTF-8");
  EXPECT_EQ(ReadError("<!DOCTYPE gpx [<!ENTITY e \"x\">]><gpx><wpt lat=\"1\" lon=\"2\"/></gpx>"),
            "f.gpx: a document type declaration is not accepted");
}

// --- GPX writing ---------------------------------------------------------------------------------

TEST(X9hostGpxWrite, CoordinatesNameTheWatchUnitExactly) {
  for (const int32_t units : {356324001, -356812345, 1393387169, -1, 0, 1800000000, -1799999999, 644712010}) {
    const double degrees = static_cast<double>(units) * 1e-7;  // as the module converts
    const std::string text = CoordinateText(degrees);
    EXPECT_EQ(NearestUnits(text), units) << text;
    EXPECT_EQ(WatchUnits(text), units) << text;  // the watch's loader gets the unit back too
  }
  EXPECT_EQ(CoordinateText(356324001 * 1e-7), "35.6324001");
  EXPECT_EQ(CoordinateText(-1 * 1e-7), "-0.0000001");
  // "64.4712010" would read back as 644712009 under truncation: a few more digits avoid that.
  EXPECT_EQ(CoordinateText(644712010 * 1e-7), "64.47120100001");
  // A value from elsewhere keeps all its digits.
  EXPECT_EQ(CoordinateText(35.6812345678), "35.6812345678");
  EXPECT_EQ(NumberText(-9999.5), "-9999.5");
  EXPECT_EQ(NumberText(599.0), "599");
  EXPECT_EQ(NumberText(0.1f), "0.1");
}

TEST(X9hostGpxWrite, EscapesTextDropsControlCharactersAndKeepsTheSchemaOrder) {
  GpxDocument document;
  GpxPoint waypoint;
  waypoint.latitude = 1;
  waypoint.longitude = 2;
  waypoint.name = "A&B <C> \"D\"\x01\x1F\x7F end";
  document.waypoints.push_back(waypoint);
  GpxTrack& track = document.tracks.emplace_back();
  track.name = "T";
  track.segments.emplace_back();  // empty: not written
  GpxPoint point;
  point.latitude = 3;
  point.longitude = 4;
  point.elevation = 10;
  point.time = 1714695125;
  point.name = "No. 1";
  point.value32 = 1230;
  point.value72 = 7.5f;
  track.segments.emplace_back().push_back(point);
  document.tracks.emplace_back().name = "empty";

  const std::string text = WriteGpx(document, "x9host \"test\"");
  EXPECT_EQ(text.find('\x01'), std::string::npos);
  EXPECT_EQ(text.find('\x7F'), std::string::npos);
  EXPECT_NE(text.find("creator=\"x9host &quot;test&quot;\""), std::string::npos);
  const GpxText gpx = ParseGpxText(text);
  ASSERT_EQ(gpx.waypoints.size(), 1u);
  EXPECT_EQ(gpx.waypoints[0].name, "A&B <C> \"D\" end");
  EXPECT_TRUE(gpx.waypoints[0].ele.empty());
  ASSERT_EQ(gpx.tracks.size(), 2u);
  EXPECT_EQ(gpx.tracks[0].segments, 1);
  EXPECT_EQ(gpx.tracks[1].segments, 0);
  EXPECT_EQ(gpx.emptySegments, 0);
  ASSERT_EQ(gpx.tracks[0].points.size(), 1u);
  const PointText& written = gpx.tracks[0].points[0];
  EXPECT_EQ(written.ele, "10");
  EXPECT_EQ(written.time, "2024-05-03T00:12:05Z");
  EXPECT_EQ(written.value32, "1230");
  EXPECT_EQ(written.value72, "7.5");
  EXPECT_TRUE(gpx.orderProblems.empty());
  // Read back by x9host itself, everything comes back.
  const GpxDocument back = ParseGpx(text, "w");
  EXPECT_EQ(back.tracks[0].segments[0][0].value72, 7.5f);
  EXPECT_EQ(back.tracks[0].segments[0][0].time, 1714695125);
}

// --- Command line ----------------------------------------------------------------------------------

TEST(X9hostOptions, EachCommandSendsItsFlags) {
  const std::map<std::string, unsigned> expected = {
      {"download-all", 0x07}, {"download-tracks", 0x02}, {"download-routes", 0x04},
      {"download-waypoints", 0x01}, {"upload-routes", 0x40}, {"about", 0}};
  for (const auto& [command, flags] : expected) {
    EXPECT_EQ(ParseOptions({command}).flags, flags) << command;
  }
  const Options options = ParseOptions({"--out=a.gpx", "--yes", "download-all", "--watch", "w.gpx", "--pace", "25"});
  EXPECT_EQ(options.command, "download-all");
  EXPECT_EQ(options.outFile, "a.gpx");
  EXPECT_EQ(options.watchFile, "w.gpx");
  EXPECT_TRUE(options.yes);
  EXPECT_EQ(options.paceMilliseconds, 25);
  EXPECT_FALSE(options.listFile.has_value());
}

// --- The program ---------------------------------------------------------------------------------

struct Outcome {
  int status = -1;  // exit status, or minus the signal
  std::string out;
  std::string err;
};

struct Launch {
  const char* zone = "Asia/Tokyo";
  std::string input;          // standard input
  int interruptAfterMs = 0;   // Ctrl-C this long after the progress bar appears, when not 0
};

class X9hostProgram : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/x9host-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { fs::remove_all(dir_); }

  fs::path Path(const std::string& name) const { return dir_ / name; }

  Outcome Run(const std::vector<std::string>& args, const Launch& launch = Launch()) {
    const fs::path in = Path(".stdin"), out = Path(".stdout"), err = Path(".stderr");
    WriteText(in, launch.input);
    const pid_t pid = fork();
    if (pid == 0) {
      setenv("TZ", launch.zone, 1);
      const int inFd = open(in.c_str(), O_RDONLY);
      const int outFd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      const int errFd = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      dup2(inFd, 0);
      dup2(outFd, 1);
      dup2(errFd, 2);
      std::vector<char*> argv{const_cast<char*>(X9HOST_PROGRAM)};
      for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
      argv.push_back(nullptr);
      execv(X9HOST_PROGRAM, argv.data());
      _exit(127);
    }
    if (launch.interruptAfterMs > 0) {
      // Ctrl-C only once the progress window (and with it the Abort handler) is there, however
      // slowly the program starts on a loaded machine.
      for (int waited = 0; waited < 20000 && ReadText(err).find('%') == std::string::npos; waited += 20) {
        usleep(20 * 1000);
      }
      usleep(static_cast<useconds_t>(launch.interruptAfterMs) * 1000);
      kill(pid, SIGINT);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    Outcome outcome;
    outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
    outcome.out = ReadText(out);
    outcome.err = ReadText(err);
    return outcome;
  }

  // The files in the test directory, bar the ones Run keeps.
  std::vector<std::string> Files() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir_)) {
      const std::string name = entry.path().filename().string();
      if (name != ".stdin" && name != ".stdout" && name != ".stderr") names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  fs::path dir_;
};

#define EXPECT_BAD_INPUT(outcome, fragment)                                        \
  do {                                                                             \
    const Outcome& result_ = (outcome);                                            \
    EXPECT_EQ(result_.status, 2) << result_.err;                                   \
    EXPECT_EQ(CountLines(result_.err), 1u) << result_.err;                         \
    EXPECT_EQ(result_.err.rfind("x9host: ", 0), 0u) << result_.err;                \
    EXPECT_NE(result_.err.find(fragment), std::string::npos) << result_.err;       \
  } while (0)

TEST_F(X9hostProgram, ArgumentErrorsEndWithOneLineAndStatusTwo) {
  EXPECT_BAD_INPUT(Run({}), "no command given");
  EXPECT_BAD_INPUT(Run({"download-everything"}), "unknown command \"download-everything\"");
  EXPECT_BAD_INPUT(Run({"--verbose", "about"}), "unknown option --verbose");
  EXPECT_BAD_INPUT(Run({"about", "download-all"}), "one command at a time");
  EXPECT_BAD_INPUT(Run({"about", "--watch"}), "--watch needs a value");
  EXPECT_BAD_INPUT(Run({"--pace", "-3", "about"}), "--pace takes a whole number");
  EXPECT_BAD_INPUT(Run({"--yes=no", "about"}), "--yes takes no value");
  EXPECT_BAD_INPUT(Run({"--hold-at", "50", "download-all"}), "Windows build only");
  const Outcome help = Run({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("upload-routes"), std::string::npos);
}

TEST_F(X9hostProgram, BadFilesAndDirectoriesEndWithOneLineAndStatusTwo) {
  const std::string missing = Path("missing.gpx").string();
  EXPECT_BAD_INPUT(Run({"--watch", missing, "about"}), missing + ": No such file or directory");
  WriteText(Path("broken.gpx"), std::string(kGpxHead) + "<wpt lat=\"1\" lon=\"2\">\n");
  EXPECT_BAD_INPUT(Run({"--watch", Path("broken.gpx").string(), "about"}), "not well-formed XML");
  WriteText(Path("empty.gpx"), std::string(kGpxHead) + "<metadata/></gpx>\n");
  EXPECT_BAD_INPUT(Run({"--list", Path("empty.gpx").string(), "upload-routes"}), "no waypoints, routes or tracks");
  WriteText(Path("accent.gpx"), std::string(kGpxHead) + "<rte><name>Caf\xC3\xA9 du Nord</name></rte></gpx>\n");
  EXPECT_BAD_INPUT(Run({"--watch", Path("accent.gpx").string(), "download-routes"}),
                   "line 4: the route name \"Caf\xC3\xA9 du Nord\" cannot be written in code page 932");
  WriteText(Path("point.gpx"), std::string(kGpxHead) + "<rte><name>R</name>\n<rtept lat=\"1\" lon=\"1\">"
                                                       "<name>\xE2\x9C\x93 here</name></rtept></rte></gpx>\n");
  EXPECT_BAD_INPUT(Run({"--list", Path("point.gpx").string(), "upload-routes"}),
                   "the point name \"\xE2\x9C\x93 here\" cannot be written in code page 932 (\"\xE2\x9C\x93\"");
  WriteText(Path("untimed.gpx"), std::string(kGpxHead) + "<trk><trkseg><trkpt lat=\"1\" lon=\"2\"/></trkseg></trk></gpx>");
  EXPECT_BAD_INPUT(Run({"--watch", Path("untimed.gpx").string(), "download-tracks"}), "a track point without <time>");
  WriteText(Path("mypoints.gpx"), std::string(kGpxHead) + "<rte><name>MyPoints</name></rte></gpx>");
  EXPECT_BAD_INPUT(Run({"--watch", Path("mypoints.gpx").string(), "about"}), "waypoint collection");
  EXPECT_BAD_INPUT(Run({"--plugins", dir_.string(), "about"}), "holds no x9link.tvl");
  EXPECT_BAD_INPUT(Run({"--plugins", Path("nowhere").string(), "about"}), "no such plug-in directory");
  EXPECT_BAD_INPUT(Run({"--out", Path("nowhere/out.gpx").string(), "download-all"}), "does not exist");
}

TEST_F(X9hostProgram, BadInputLeavesAnExistingOutputFileAlone) {
  WriteText(Path("out.gpx"), "old content");
  WriteText(Path("accent.gpx"), std::string(kGpxHead) + "<rte><name>\xC3\xA9</name></rte></gpx>\n");
  const Outcome outcome = Run({"--yes", "--list", Path("accent.gpx").string(), "--out", Path("out.gpx").string(), "download-all"});
  EXPECT_EQ(outcome.status, 2);
  EXPECT_EQ(ReadText(Path("out.gpx")), "old content");
  EXPECT_EQ(Files(), (std::vector<std::string>{"accent.gpx", "out.gpx"}));  // no temporary left
}

TEST_F(X9hostProgram, DownloadAllGivesTheSampleWatchExactly) {
  const Outcome outcome = Run({"download-all", "--yes", "--out", Path("list.gpx").string()});
  ASSERT_EQ(outcome.status, 0) << outcome.err;
  EXPECT_NE(outcome.out.find("download-all returned 1"), std::string::npos);
  EXPECT_NE(outcome.out.find("6 sets added, 1 changed; 957 items added, 0 changed"), std::string::npos) << outcome.out;
  // The table shows the host's wall clock: the sample's first hike point is 08:41:05 in Japan.
  EXPECT_NE(outcome.out.find("  4  track         320  2024-05-03 08:41:05"), std::string::npos) << outcome.out;
  EXPECT_EQ(Files(), (std::vector<std::string>{"list.gpx"}));

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
  for (size_t i = 0; i < watch.waypoints.size(); ++i) expectSamePoint(watch.waypoints[i], list.waypoints[i], true);
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
    const Outcome outcome = Run({"download-tracks", "--yes", "--out", Path("tracks.gpx").string()}, launch);
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
  for (const PathText& route : list.routes) routePoints += route.points.size();
  for (const PathText& track : list.tracks) trackPoints += track.points.size();
  const std::map<std::string, size_t> expected = {
      {"-w", list.waypoints.size()}, {"-r", routePoints}, {"-t", trackPoints}};
  for (const auto& [kind, count] : expected) {
    const std::string csv = Path("points" + kind + ".csv").string();
    ASSERT_EQ(std::system(("gpsbabel " + kind + " -i gpx -f " + out + " -o unicsv -F " + csv).c_str()), 0);
    EXPECT_EQ(CountLines(ReadText(csv)), count + 1) << kind;  // a heading, then one line a point
  }
}

TEST_F(X9hostProgram, UploadThenDownloadGivesTheRoutesBack) {
  // The watch holds "多摩川ラン" already: the upload asks, deletes it and puts the new one.
  WriteText(Path("watch.gpx"), std::string(kGpxHead) +
      "<rte><name>多摩川ラン</name><rtept lat=\"35\" lon=\"139\"><name>old</name></rtept></rte>\n"
      "<rte><name>Keep me</name><rtept lat=\"36\" lon=\"140\"><name>k</name></rtept></rte></gpx>\n");
  WriteText(Path("routes.gpx"), std::string(kGpxHead) +
      "<rte><name>多摩川ラン</name>\n"
      "  <rtept lat=\"64.471201\" lon=\"-21.9876543\"><ele>12.9</ele><name>Reykjavik</name></rtept></rte>\n"
      "<rte><name>高尾山口駅から山頂まで</name>\n"
      "  <rtept lat=\"-35.6812345678\" lon=\"139.7671234567\"><name>東京駅丸の内北口改札前</name></rtept>\n"
      "  <rtept lat=\"35.5\" lon=\"-139.99999999\"><ele>-0.5</ele><name>x</name></rtept></rte>\n"
      "<rte><name>Route A 相模湖周回コース</name><rtept lat=\"0\" lon=\"0\"/></rte>\n"
      "</gpx>\n");
  const Outcome upload = Run({"upload-routes", "--yes", "--watch", Path("watch.gpx").string(),
                              "--list", Path("routes.gpx").string(), "--watch-out", Path("after.gpx").string()});
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
  WriteText(Path("watch.gpx"), std::string(kGpxHead) +
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
  const std::string list = std::string(kGpxHead) +
      "<wpt lat=\"35.1234567\" lon=\"139.7654321\"><ele>3.25</ele><name>駅</name></wpt>\n"
      "<rte><name>R</name><rtept lat=\"35.5\" lon=\"139.5\"><name>a</name></rtept></rte>\n"
      "<trk><name>Walk</name><trkseg>\n"
      "<trkpt lat=\"35.6812345678\" lon=\"139.7671\"><ele>40</ele><time>2024-03-31T00:30:00Z</time>"
      "<extensions><x9:value32>40</x9:value32></extensions></trkpt>\n"
      "<trkpt lat=\"35.6813\" lon=\"139.7672\"><time>2024-10-27T02:30:00Z</time></trkpt>\n"
      "</trkseg></trk></gpx>\n";
  WriteText(Path("list.gpx"), list);
  // Declined: the list is written as it was given, in a zone whose clock changes in between.
  Launch launch;
  launch.zone = "Europe/Berlin";
  launch.input = "n\n";
  const Outcome outcome = Run({"download-tracks", "--list", Path("list.gpx").string(), "--out", Path("out.gpx").string()}, launch);
  ASSERT_EQ(outcome.status, 0) << outcome.err;
  EXPECT_NE(outcome.out.find("nothing added or changed"), std::string::npos);
  // The table shows Berlin's wall clock: winter time, then summer time.
  EXPECT_NE(outcome.out.find("2024-03-31 01:30:00  2024-10-27 03:30:00  Walk"), std::string::npos) << outcome.out;
  const GpxText out = ParseGpxText(ReadText(Path("out.gpx")));
  ASSERT_EQ(out.waypoints.size(), 1u);
  EXPECT_EQ(NearestUnits(out.waypoints[0].lat), 351234567);
  EXPECT_EQ(out.waypoints[0].ele, "3.25");
  EXPECT_EQ(out.waypoints[0].name, "駅");
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

TEST_F(X9hostProgram, ADeclinedRequestReadsAsNothingMoved) {
  for (const char* answer : {"n\n", ""}) {
    Launch launch;
    launch.input = answer;
    const Outcome outcome = Run({"download-all", "--out", Path("list.gpx").string()}, launch);
    EXPECT_EQ(outcome.status, 0) << outcome.err;  // the module answers 1 to a declined request
    EXPECT_NE(outcome.out.find("download-all returned 1"), std::string::npos);
    EXPECT_NE(outcome.out.find("transfer list: nothing added or changed"), std::string::npos);
    EXPECT_NE(outcome.err.find("(y/N)"), std::string::npos);
    const GpxText list = ParseGpxText(ReadText(Path("list.gpx")));
    EXPECT_TRUE(list.waypoints.empty() && list.routes.empty() && list.tracks.empty());
  }
}

TEST_F(X9hostProgram, AnAbortedTransferExitsWithOne) {
  // Ctrl-C presses the terminal progress window's Abort while the paced transfer runs.
  Launch launch;
  launch.interruptAfterMs = 300;
  const Outcome outcome = Run({"download-tracks", "--yes", "--pace", "500", "--out", Path("list.gpx").string()}, launch);
  EXPECT_EQ(outcome.status, 1) << outcome.err;
  EXPECT_NE(outcome.out.find("download-tracks returned 0"), std::string::npos);
  EXPECT_NE(outcome.out.find("nothing added or changed"), std::string::npos);
}

}  // namespace
