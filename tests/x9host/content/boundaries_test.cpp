// Every field the watch and the host keep, at both ends of its range, through each way a value
// travels: a watch file downloaded into the transfer list (watch -> list), a list file's routes
// uploaded (list -> watch), and the watch's own content written back (--watch-out). One table a
// rule; many values go in one file, so each table costs a few runs. Expected values are what a
// person reads off the rules in docs/x9host.md, never what x9host's own functions compute.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <ctime>
#include <sstream>
#include <string>
#include <vector>

#include "x9host_support.h"

namespace {

using namespace x9host_test;

std::string Gpx(const std::string& body) { return std::string(kGpxHead) + body + "</gpx>\n"; }

std::string Repeat(const std::string& text, int times) {
  std::string out;
  for (int i = 0; i < times; ++i)
    out += text;
  return out;
}

std::string PointXml(const char* element, const std::string& lat, const std::string& lon,
                     const std::string& inner) {
  return std::string("<") + element + " lat=\"" + lat + "\" lon=\"" + lon + "\">" + inner + "</" +
         element + ">\n";
}

// What the host's table on standard output shows for each track set: its first and last time.
std::vector<std::pair<std::string, std::string>> TrackTimesShown(const std::string& report) {
  std::vector<std::pair<std::string, std::string>> times;
  std::istringstream lines(report);
  for (std::string line; std::getline(lines, line);) {
    std::istringstream fields(line);
    std::string index, kind, points, firstDay, firstTime, lastDay, lastTime;
    fields >> index >> kind >> points >> firstDay >> firstTime >> lastDay >> lastTime;
    if (kind == "track") times.emplace_back(firstDay + " " + firstTime, lastDay + " " + lastTime);
  }
  return times;
}

// The UTC text of a wall-clock reading "YYYY-MM-DDThh:mm:ss" in zone, by the C library's rules.
std::string UtcOfWall(const std::string& wall, const char* zone) {
  const ScopedZone scoped(zone);
  std::tm fields{};
  EXPECT_EQ(std::sscanf(wall.c_str(), "%d-%d-%dT%d:%d:%d", &fields.tm_year, &fields.tm_mon,
                        &fields.tm_mday, &fields.tm_hour, &fields.tm_min, &fields.tm_sec),
            6);
  fields.tm_year -= 1900;
  fields.tm_mon -= 1;
  fields.tm_isdst = -1;
  const std::time_t instant = std::mktime(&fields);
  std::tm utc{};
  gmtime_r(&instant, &utc);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
  return text;
}

// A value the holder cannot keep is refused, or passed on with a warning: never altered in
// silence. field is the word the line uses ("elevation", "latitude", ...).
void ExpectRefusedOrWarned(const Outcome& outcome, const std::string& field,
                           const std::string& given) {
  if (outcome.status == 2) {
    EXPECT_EQ(CountLines(outcome.err), 1u) << given << ":\n" << outcome.err;
    EXPECT_NE(outcome.err.find(field), std::string::npos) << given << ":\n" << outcome.err;
    return;
  }
  EXPECT_EQ(outcome.status, 0) << given << ":\n" << outcome.err;
  bool warned = false;
  std::istringstream lines(outcome.err);
  for (std::string line; std::getline(lines, line);) {
    warned = warned ||
             (line.find("warning") != std::string::npos && line.find(field) != std::string::npos);
  }
  EXPECT_TRUE(warned) << given << " was taken without a word about its " << field << ":\n"
                      << outcome.err;
}

class Boundaries : public X9hostProgram {
 protected:
  // Watch -> list and the watch written back, in one run: download-all with both outputs.
  struct Download {
    Outcome outcome;
    GpxText list;   // --out
    GpxText watch;  // --watch-out
  };
  Download DownloadAll(const std::string& body, const char* zone = "Asia/Tokyo") {
    WriteText(Path("W.gpx"), Gpx(body));
    std::filesystem::remove(Path("L.gpx"));
    std::filesystem::remove(Path("W2.gpx"));
    Launch launch;
    launch.zone = zone;
    Download result;
    result.outcome = Run({"download-all", "--yes", "--watch", Path("W.gpx").string(), "--out",
                          Path("L.gpx").string(), "--watch-out", Path("W2.gpx").string()},
                         launch);
    EXPECT_EQ(result.outcome.status, 0) << zone << ":\n" << result.outcome.err;
    if (result.outcome.status == 0) {
      result.list = ParseGpxText(ReadText(Path("L.gpx")));
      result.watch = ParseGpxText(ReadText(Path("W2.gpx")));
    }
    return result;
  }
  // The same run, whatever it comes to.
  Outcome TryDownload(const std::string& body, const char* zone = "Asia/Tokyo") {
    WriteText(Path("W.gpx"), Gpx(body));
    Launch launch;
    launch.zone = zone;
    return Run({"download-all", "--yes", "--watch", Path("W.gpx").string(), "--out",
                Path("L.gpx").string(), "--watch-out", Path("W2.gpx").string()},
               launch);
  }

  // List -> watch: the list's routes uploaded to an empty watch, the watch written out.
  struct Upload {
    Outcome outcome;
    GpxText watch;  // --watch-out
  };
  Upload UploadRoutes(const std::string& body) {
    WriteText(Path("L0.gpx"), Gpx(body));
    WriteText(Path("W0.gpx"), Gpx(""));
    std::filesystem::remove(Path("W1.gpx"));
    Upload result;
    result.outcome = Run({"upload-routes", "--yes", "--list", Path("L0.gpx").string(), "--watch",
                          Path("W0.gpx").string(), "--watch-out", Path("W1.gpx").string()});
    if (result.outcome.status == 0) result.watch = ParseGpxText(ReadText(Path("W1.gpx")));
    return result;
  }
};

// The points of one kind each output holds, one a row: waypoints, the first route's points,
// the first track's points.
struct PointsOf {
  const char* kind;
  const std::vector<PointText>* points;
};
std::vector<PointsOf> AllKinds(const GpxText& gpx) {
  static const std::vector<PointText> kNone;
  return {{"wpt", &gpx.waypoints},
          {"rtept", gpx.routes.empty() ? &kNone : &gpx.routes[0].points},
          {"trkpt", gpx.tracks.empty() ? &kNone : &gpx.tracks[0].points}};
}

// --- Times ---------------------------------------------------------------------------------------
// Route points and waypoints keep no time on the watch: times travel watch -> list and back only.

// Wall-clock readings with each field at both ends. Each is a track of its own, so the host's
// table shows every one.
const char* const kTimeFields[] = {
    // the first second of each month, the last of each month's last day (a common year)
    "2023-01-01T00:00:00", "2023-01-31T23:59:59", "2023-02-01T00:00:00", "2023-02-28T23:59:59",
    "2023-03-01T00:00:00", "2023-03-31T23:59:59", "2023-04-01T00:00:00", "2023-04-30T23:59:59",
    "2023-05-01T00:00:00", "2023-05-31T23:59:59", "2023-06-01T00:00:00", "2023-06-30T23:59:59",
    "2023-07-01T00:00:00", "2023-07-31T23:59:59", "2023-08-01T00:00:00", "2023-08-31T23:59:59",
    "2023-09-01T00:00:00", "2023-09-30T23:59:59", "2023-10-01T00:00:00", "2023-10-31T23:59:59",
    "2023-11-01T00:00:00", "2023-11-30T23:59:59", "2023-12-01T00:00:00", "2023-12-31T23:59:59",
    // leap days: around 29 February, a century leap year, the first and last the host holds
    "2024-02-28T23:59:59", "2024-02-29T00:00:00", "2024-02-29T23:59:59", "2024-03-01T00:00:00",
    "2024-12-31T23:59:59", "2000-02-29T00:00:00", "2000-02-29T23:59:59", "1972-02-29T12:00:00",
    "2036-02-29T12:00:00",
    // hour, minute and second at their ends apart from one another
    "2023-06-15T00:59:00", "2023-06-15T23:00:59", "2023-06-15T00:00:59", "2023-06-15T23:59:00"};

TEST_F(Boundaries, EveryTimeFieldAtBothEnds) {
  // UTC; a zone east of it whose day starts on the UTC day before; one west of it with
  // daylight saving time.
  for (const char* zone : {"UTC", "Asia/Tokyo", "America/New_York"}) {
    std::string body;
    for (const char* wall : kTimeFields) {
      body += "<trk><trkseg>" +
              PointXml("trkpt", "1", "2", "<time>" + UtcOfWall(wall, zone) + "</time>") +
              "</trkseg></trk>\n";
    }
    const Download got = DownloadAll(body, zone);
    const auto shown = TrackTimesShown(got.outcome.out);
    ASSERT_EQ(got.list.tracks.size(), std::size(kTimeFields)) << zone;
    ASSERT_EQ(got.watch.tracks.size(), std::size(kTimeFields)) << zone;
    ASSERT_EQ(shown.size(), std::size(kTimeFields)) << zone << got.outcome.out;
    for (size_t i = 0; i < std::size(kTimeFields); ++i) {
      const std::string wall = kTimeFields[i], utc = UtcOfWall(wall, zone);
      std::string seen = wall;
      seen[10] = ' ';
      EXPECT_EQ(shown[i].first, seen) << zone << ": the host's clock";
      ASSERT_EQ(got.list.tracks[i].points.size(), 1u) << zone << " " << wall;
      EXPECT_EQ(got.list.tracks[i].points[0].time, utc) << zone << ": watch -> list";
      ASSERT_EQ(got.watch.tracks[i].points.size(), 1u) << zone << " " << wall;
      EXPECT_EQ(got.watch.tracks[i].points[0].time, utc) << zone << ": the watch written back";
    }
  }
}

// The first and last second a track point can have in each zone: the host's wall clock from
// 1970-01-01 00:00:01 to 2038-01-19 03:14:07, and the instant it reads back to within
// 1970-01-01T00:00:00Z .. 2038-01-19T03:14:07Z. One second further is refused.
struct RangeEnds {
  const char* zone;
  const char* first;      // UTC
  const char* firstWall;  // the host's clock
  const char* last;
  const char* lastWall;
  const char* beforeFirst;
  const char* afterLast;
};
const RangeEnds kRangeEnds[] = {
    {"UTC", "1970-01-01T00:00:01Z", "1970-01-01 00:00:01", "2038-01-19T03:14:07Z",
     "2038-01-19 03:14:07", "1970-01-01T00:00:00Z", "2038-01-19T03:14:08Z"},
    // East: the instant limits the start, the wall clock the end.
    {"Asia/Tokyo", "1970-01-01T00:00:00Z", "1970-01-01 09:00:00", "2038-01-18T18:14:07Z",
     "2038-01-19 03:14:07", "1969-12-31T23:59:59Z", "2038-01-18T18:14:08Z"},
    // West: the wall clock limits the start, the instant the end.
    {"America/New_York", "1970-01-01T05:00:01Z", "1970-01-01 00:00:01", "2038-01-19T03:14:07Z",
     "2038-01-18 22:14:07", "1970-01-01T05:00:00Z", "2038-01-19T03:14:08Z"},
};

TEST_F(Boundaries, TheTimeRangesEndsInEachZone) {
  for (const RangeEnds& ends : kRangeEnds) {
    const auto track = [](const char* time) {
      return "<trk><trkseg>" +
             PointXml("trkpt", "1", "2", std::string("<time>") + time + "</time>") +
             "</trkseg></trk>\n";
    };
    const Download got = DownloadAll(track(ends.first) + track(ends.last), ends.zone);
    ASSERT_EQ(got.list.tracks.size(), 2u) << ends.zone;
    ASSERT_EQ(got.watch.tracks.size(), 2u) << ends.zone;
    const auto shown = TrackTimesShown(got.outcome.out);
    ASSERT_EQ(shown.size(), 2u) << got.outcome.out;
    EXPECT_EQ(shown[0].first, ends.firstWall) << ends.zone;
    EXPECT_EQ(shown[1].first, ends.lastWall) << ends.zone;
    for (const GpxText* gpx : {&got.list, &got.watch}) {
      EXPECT_EQ(gpx->tracks[0].points.at(0).time, ends.first) << ends.zone;
      EXPECT_EQ(gpx->tracks[1].points.at(0).time, ends.last) << ends.zone;
    }
    // One second further costs the point its time, not the file: the point is kept without a
    // time on the watch and in the list, and a warning names the point's line (the body starts
    // on line 4).
    for (const char* outside : {ends.beforeFirst, ends.afterLast}) {
      const Download kept = DownloadAll(track(outside), ends.zone);
      ASSERT_EQ(kept.watch.tracks.size(), 1u) << ends.zone << " " << outside;
      ASSERT_EQ(kept.watch.tracks[0].points.size(), 1u) << ends.zone << " " << outside;
      EXPECT_EQ(kept.watch.tracks[0].points[0].time, "") << ends.zone << " " << outside;
      ASSERT_EQ(kept.list.tracks.size(), 1u) << ends.zone << " " << outside;
      EXPECT_EQ(kept.list.tracks[0].points.at(0).time, "") << ends.zone << " " << outside;
      EXPECT_NE(kept.outcome.err.find(std::string("warning: ") + Path("W.gpx").string() +
                                      ": line 4: 1 time outside what the host can hold"),
                std::string::npos)
          << ends.zone << " " << outside << ":\n"
          << kept.outcome.err;
      EXPECT_NE(kept.outcome.err.find(std::string("(the first: ") + outside + ")"),
                std::string::npos)
          << ends.zone << ":\n"
          << kept.outcome.err;
    }
  }
}

// --- Coordinates ---------------------------------------------------------------------------------

struct CoordinateCase {
  const char* lat;
  const char* lon;
  int64_t latUnits;  // 1e-7 degree, as the watch keeps it
  int64_t lonUnits;
};
const CoordinateCase kCoordinates[] = {
    // GPX 1.1 stops short of 180: the date line is written as -180, the same meridian.
    {"90", "180", 900000000, -1800000000},
    {"-90", "-180", -900000000, -1800000000},
    {"0", "0", 0, 0},
    {"-0", "-0.0", 0, 0},  // negative zero is zero
    {"0.0000001", "-0.0000001", 1, -1},
    {"-0.0000001", "0.0000001", -1, 1},
    {"0.00000009", "-0.00000009", 0, 0},  // less than a unit: truncated toward zero
    {"89.9999999", "179.9999999", 899999999, 1799999999},
    {"-89.9999999", "-179.9999999", -899999999, -1799999999},
};

// Written coordinates must name the watch's unit both to the nearest unit and read back the
// way the watch reader truncates them.
void ExpectUnits(const PointText& point, const CoordinateCase& row, const std::string& where) {
  EXPECT_EQ(NearestUnits(point.lat), row.latUnits)
      << where << ": " << row.lat << " -> " << point.lat;
  EXPECT_EQ(WatchUnits(point.lat), row.latUnits) << where << ": " << row.lat << " -> " << point.lat;
  EXPECT_EQ(NearestUnits(point.lon), row.lonUnits)
      << where << ": " << row.lon << " -> " << point.lon;
  EXPECT_EQ(WatchUnits(point.lon), row.lonUnits) << where << ": " << row.lon << " -> " << point.lon;
}

TEST_F(Boundaries, EveryCoordinateAtItsEnds) {
  std::string waypoints, routePoints, trackPoints;
  for (const CoordinateCase& row : kCoordinates) {
    waypoints += PointXml("wpt", row.lat, row.lon, "");
    routePoints += PointXml("rtept", row.lat, row.lon, "");
    trackPoints += PointXml("trkpt", row.lat, row.lon, "<time>2024-05-03T00:00:00Z</time>");
  }
  const Download got = DownloadAll(waypoints + "<rte>" + routePoints + "</rte><trk><trkseg>" +
                                   trackPoints + "</trkseg></trk>");
  const Upload up = UploadRoutes("<rte><name>R</name>" + routePoints + "</rte>");
  ASSERT_EQ(up.outcome.status, 0) << up.outcome.err;
  // The date line the watch holds as 180 is said to come out as -180: a waypoint, a route point
  // and a track point.
  EXPECT_NE(got.outcome.err.find("3 longitudes of 180, the date line (lon) written as -180"),
            std::string::npos)
      << got.outcome.err;
  for (const auto& [way, gpx] :
       {std::pair{"watch -> list", &got.list}, std::pair{"the watch written back", &got.watch}}) {
    for (const PointsOf& kind : AllKinds(*gpx)) {
      ASSERT_EQ(kind.points->size(), std::size(kCoordinates)) << way << " " << kind.kind;
      for (size_t i = 0; i < std::size(kCoordinates); ++i)
        ExpectUnits((*kind.points)[i], kCoordinates[i], std::string(way) + " " + kind.kind);
    }
  }
  ASSERT_EQ(up.watch.routes.size(), 1u);
  ASSERT_EQ(up.watch.routes[0].points.size(), std::size(kCoordinates));
  for (size_t i = 0; i < std::size(kCoordinates); ++i)
    ExpectUnits(up.watch.routes[0].points[i], kCoordinates[i], "list -> watch");
}

TEST_F(Boundaries, CoordinatesOneUnitOutsideAreRefused) {
  const struct {
    const char* lat;
    const char* lon;
    const char* field;
    const char* value;
  } kOutside[] = {{"90.0000001", "0", "latitude", "90.0000001"},
                  {"-90.0000001", "0", "latitude", "-90.0000001"},
                  {"0", "180.0000001", "longitude", "180.0000001"},
                  {"0", "-180.0000001", "longitude", "-180.0000001"}};
  for (const auto& row : kOutside) {
    for (const Outcome& refused :
         {TryDownload(PointXml("wpt", row.lat, row.lon, "")),
          UploadRoutes("<rte><name>R</name>" + PointXml("rtept", row.lat, row.lon, "") + "</rte>")
              .outcome}) {
      EXPECT_BAD_INPUT(refused, row.value);
      EXPECT_NE(refused.err.find(row.field), std::string::npos) << refused.err;
    }
  }
}

// --- Elevations ----------------------------------------------------------------------------------
// The watch keeps whole metres in 32 bits, -9999 meaning "none"; the host keeps a double.

struct ElevationCase {
  const char* given;
  const char* kept;  // whole metres, truncated toward zero
};
const ElevationCase kElevations[] = {
    {"0", "0"},
    {"-0", "0"},
    {"0.9", "0"},
    {"-0.9", "0"},
    {"2147483647", "2147483647"},
    {"2147483647.9", "2147483647"},
    {"-2147483647", "-2147483647"},
    {"-2147483647.9", "-2147483647"},
    {"-2147483648", "-2147483648"},  // the watch's 32 bits hold it, and an upload puts it there
    {"-9998.9", "-9998"},            // next to the watch's "none"
    {"-10000", "-10000"},
};

TEST_F(Boundaries, ElevationsTheWatchHolds) {
  {
    std::string waypoints, routePoints, trackPoints;
    for (const ElevationCase& row : kElevations) {
      const std::string ele = std::string("<ele>") + row.given + "</ele>";
      waypoints += PointXml("wpt", "1", "2", ele);
      routePoints += PointXml("rtept", "1", "2", ele);
      trackPoints += PointXml("trkpt", "1", "2", ele + "<time>2024-05-03T00:00:00Z</time>");
    }
    const Download got = DownloadAll(waypoints + "<rte>" + routePoints + "</rte><trk><trkseg>" +
                                     trackPoints + "</trkseg></trk>");
    for (const auto& [way, gpx] :
         {std::pair{"watch -> list", &got.list}, std::pair{"the watch written back", &got.watch}}) {
      for (const PointsOf& kind : AllKinds(*gpx)) {
        ASSERT_EQ(kind.points->size(), std::size(kElevations)) << way << " " << kind.kind;
        for (size_t i = 0; i < std::size(kElevations); ++i) {
          EXPECT_EQ((*kind.points)[i].ele, kElevations[i].kept)
              << way << " " << kind.kind << ": " << kElevations[i].given;
        }
      }
    }
  }
  std::string points;
  for (const ElevationCase& row : kElevations)
    points += PointXml("rtept", "1", "2", std::string("<ele>") + row.given + "</ele>");
  const Upload up = UploadRoutes("<rte><name>R</name>" + points + "</rte>");
  ASSERT_EQ(up.outcome.status, 0) << up.outcome.err;
  ASSERT_EQ(up.watch.routes.size(), 1u);
  ASSERT_EQ(up.watch.routes[0].points.size(), std::size(kElevations));
  for (size_t i = 0; i < std::size(kElevations); ++i) {
    EXPECT_EQ(up.watch.routes[0].points[i].ele, kElevations[i].kept)
        << "list -> watch: " << kElevations[i].given;
  }
}

// Elevations the watch cannot keep: refused, or passed on with a warning. -9999 m is the
// watch's and the host's "no elevation": a value that comes to it reads as none, with a warning.
const char* const kElevationsNotHeld[] = {"2147483648", "-2147483649", "10000000000", "-9999",
                                          "-9999.5"};

TEST_F(Boundaries, ElevationsTheWatchCannotHoldAreNotTakenInSilence) {
  for (const char* given : kElevationsNotHeld) {
    const std::string ele = std::string("<ele>") + given + "</ele>";
    ExpectRefusedOrWarned(TryDownload(PointXml("wpt", "1", "2", ele)), "elevation", given);
    ExpectRefusedOrWarned(
        UploadRoutes("<rte><name>R</name>" + PointXml("rtept", "1", "2", ele) + "</rte>").outcome,
        "elevation", given);
  }
}

// --- The track points' two values ----------------------------------------------------------------
// On the watch a 16-bit count of tens (x9:value32) and a 32-bit whole number (x9:value72); the
// host keeps the first as a double and the second as a float. Track points only: watch -> list
// and the watch written back.

// A timed track point with one of the two values.
std::string ValuePoint(const std::string& element, const std::string& given) {
  return PointXml("trkpt", "1", "2",
                  "<time>2024-05-03T00:00:00Z</time><extensions><" + element + ">" + given + "</" +
                      element + "></extensions>");
}

struct TrackValueCase {
  const char* element;
  const char* given;
  const char* watchKeeps;  // "" when not written (0 is "no value")
  const char* listKeeps;   // nullptr: the host's float cannot hold it, a warning must say so
};
const TrackValueCase kTrackValues[] = {
    {"x9:value32", "0", "", ""},
    {"x9:value32", "10", "10", "10"},
    {"x9:value32", "655350", "655350", "655350"},
    {"x9:value72", "0", "", ""},
    {"x9:value72", "1", "1", "1"},
    {"x9:value72", "-1", "-1", "-1"},
    {"x9:value72", "16777216", "16777216", "16777216"},
    {"x9:value72", "-2147483648", "-2147483648", "-2147483648"},
    // whole numbers the watch holds and the host's float does not: a warning says so
    {"x9:value72", "16777217", "16777217", nullptr},
    {"x9:value72", "2147483647", "2147483647", nullptr},
    {"x9:value72", "-2147483647", "-2147483647", nullptr},
};

TEST_F(Boundaries, TrackValuesAtTheirEnds) {
  const auto value = [](const PointText& point, const std::string& element) {
    return element == "x9:value32" ? point.value32 : point.value72;
  };
  {
    const auto& rows = kTrackValues;
    std::string points;
    for (const TrackValueCase& row : rows)
      points += ValuePoint(row.element, row.given);
    const Download got = DownloadAll("<trk><trkseg>" + points + "</trkseg></trk>");
    ASSERT_EQ(got.list.tracks.size(), 1u);
    ASSERT_EQ(got.watch.tracks.size(), 1u);
    ASSERT_EQ(got.list.tracks[0].points.size(), std::size(rows));
    ASSERT_EQ(got.watch.tracks[0].points.size(), std::size(rows));
    for (size_t i = 0; i < std::size(rows); ++i) {
      const TrackValueCase& row = rows[i];
      EXPECT_EQ(value(got.watch.tracks[0].points[i], row.element), row.watchKeeps)
          << "the watch written back: " << row.element << " " << row.given;
      if (row.listKeeps != nullptr) {
        EXPECT_EQ(value(got.list.tracks[0].points[i], row.element), row.listKeeps)
            << "watch -> list: " << row.element << " " << row.given;
      } else if (value(got.list.tracks[0].points[i], row.element) != row.given) {
        ExpectRefusedOrWarned(got.outcome, "value72", row.given);
      }
    }
  }
}

struct TrackValueOutside {
  const char* element;
  const char* given;
  const char* said = "";  // what the refusal says is wrong
};
const TrackValueOutside kTrackValuesOutside[] = {
    {"x9:value32", "655360"},
    {"x9:value32", "-10"},
    {"x9:value32", "5"},
    {"x9:value72", "2147483648", "must be from -2147483648 to 2147483647"},
    // a float would round it to the watch's lowest
    {"x9:value72", "-2147483649", "must be from -2147483648 to 2147483647"},
    {"x9:value72", "0.5", "must be a whole number"},
    {"x9:value72", "16777216.5", "must be a whole number"},
};

TEST_F(Boundaries, TrackValuesOutsideTheWatchsRangeAreRefused) {
  for (const TrackValueOutside& row : kTrackValuesOutside) {
    const Outcome refused =
        TryDownload("<trk><trkseg>" + ValuePoint(row.element, row.given) + "</trkseg></trk>");
    EXPECT_BAD_INPUT(refused, std::string(row.element) + " " + row.said);
  }
}

// --- Names ---------------------------------------------------------------------------------------
// The watch keeps 19 bytes of code page 932, cut only between characters. Every name differs
// from the others, also once cut, so that an upload never replaces one route with another.

struct NameCase {
  std::string given;
  std::string kept;
};
const NameCase kNames[] = {
    {Repeat("A", 18), Repeat("A", 18)},
    {Repeat("B", 19), Repeat("B", 19)},
    {Repeat("C", 20), Repeat("C", 19)},
    {Repeat("あ", 9), Repeat("あ", 9)},                    // 18 bytes
    {"D" + Repeat("い", 9), "D" + Repeat("い", 9)},        // a double-byte one ending at byte 19
    {Repeat("う", 10), Repeat("う", 9)},                   // the 10th straddles the cut: 18 kept
    {"EF" + Repeat("お", 9), "EF" + Repeat("お", 8)},      // likewise after two single bytes
    {"G" + Repeat("え", 9) + "H", "G" + Repeat("え", 9)},  // the cut falls between characters
    {Repeat("か", 9) + "IJ", Repeat("か", 9) + "I"},
    // ぁ is 82 9F, 亜 88 9F: a trail byte among the lead bytes, at byte 19, is no lead byte
    {"K" + Repeat("ぁ", 9), "K" + Repeat("ぁ", 9)},
    {"L" + Repeat("亜", 9) + "M", "L" + Repeat("亜", 9)},
    // lead bytes at the ends of both ranges straddling the cut: ー 81 5B, 滌 9F FC, 漾 E0 40,
    // 黑 FC 4B
    {"N" + Repeat("漾", 9), "N" + Repeat("漾", 9)},
    {Repeat("黑", 10), Repeat("黑", 9)},
    {Repeat("ー", 10), Repeat("ー", 9)},
    {"O" + Repeat("滌", 9) + "P", "O" + Repeat("滌", 9)},
    {Repeat("滌", 10), Repeat("滌", 9)},
    // half-width katakana: one byte each in code page 932, three in UTF-8, not lead bytes
    {Repeat("ｳ", 18), Repeat("ｳ", 18)},
    {Repeat("ｱ", 19), Repeat("ｱ", 19)},
    {Repeat("ｲ", 20), Repeat("ｲ", 19)},
};

// The count in x9host's warning of names cut, 0 when there is none.
int NamesCutWarned(const std::string& err) {
  const size_t at = err.find(" names longer than the watch's 19 bytes");
  if (at == std::string::npos) return 0;
  const size_t start = err.find_last_not_of("0123456789", at - 1) + 1;
  return std::stoi(err.substr(start, at - start));
}

TEST_F(Boundaries, NamesAtTheNineteenByteCut) {
  int cut = 0;
  std::string waypoints, routes;
  for (const NameCase& row : kNames) {
    cut += row.kept != row.given;
    const std::string name = "<name>" + row.given + "</name>";
    waypoints += PointXml("wpt", "1", "2", name);
    routes += "<rte>" + name + PointXml("rtept", "1", "2", name) + "</rte>\n";
  }
  const Download got = DownloadAll(waypoints + routes);
  // Each cut name is a waypoint's, a route's and its point's.
  EXPECT_EQ(NamesCutWarned(got.outcome.err), 3 * cut) << got.outcome.err;
  for (const auto& [way, gpx] :
       {std::pair{"watch -> list", &got.list}, std::pair{"the watch written back", &got.watch}}) {
    ASSERT_EQ(gpx->waypoints.size(), std::size(kNames)) << way;
    ASSERT_EQ(gpx->routes.size(), std::size(kNames)) << way;
    for (size_t i = 0; i < std::size(kNames); ++i) {
      EXPECT_EQ(gpx->waypoints[i].name, kNames[i].kept) << way << " wpt: " << kNames[i].given;
      EXPECT_EQ(gpx->routes[i].name, kNames[i].kept) << way << " rte: " << kNames[i].given;
      ASSERT_EQ(gpx->routes[i].points.size(), 1u) << way;
      EXPECT_EQ(gpx->routes[i].points[0].name, kNames[i].kept)
          << way << " rtept: " << kNames[i].given;
    }
  }

  const Upload up = UploadRoutes(routes);
  ASSERT_EQ(up.outcome.status, 0) << up.outcome.err;
  ASSERT_EQ(up.watch.routes.size(), std::size(kNames));
  for (size_t i = 0; i < std::size(kNames); ++i) {
    EXPECT_EQ(up.watch.routes[i].name, kNames[i].kept) << "list -> watch rte: " << kNames[i].given;
    ASSERT_EQ(up.watch.routes[i].points.size(), 1u);
    EXPECT_EQ(up.watch.routes[i].points[0].name, kNames[i].kept)
        << "list -> watch rtept: " << kNames[i].given;
  }
  // The upload warns of the cut as the watch reader does: each route's name and its point's.
  EXPECT_EQ(NamesCutWarned(up.outcome.err), 2 * cut) << up.outcome.err;
}

// --- One set of rules for every reader -----------------------------------------------------------
// What the watch cannot hold of a route point is warned of in the same words whether the file is
// the watch (--watch, download-all) or the list whose routes are uploaded (--list, upload-routes).

// The warning lines that hold fragment, the file's name taken out.
std::vector<std::string> WarningsOf(const std::string& err, const std::string& file,
                                    const std::string& fragment) {
  std::vector<std::string> found;
  std::istringstream lines(err);
  for (std::string line; std::getline(lines, line);) {
    if (line.find("warning") == std::string::npos || line.find(fragment) == std::string::npos)
      continue;
    for (size_t at; (at = line.find(file)) != std::string::npos;)
      line.replace(at, file.size(), "F");
    found.push_back(line);
  }
  return found;
}

struct NotHeldCase {
  std::string inner;  // of the route point
  const char* says;
  std::string routeName = "R";
  int line = 5;  // of the first: the point's, the body starting on line 4
};
const NotHeldCase kNotHeld[] = {
    {"<ele>0.5</ele>", "1 fractional metres of an elevation (<ele>) dropped"},
    {"<ele>-7.25</ele>", "1 fractional metres of an elevation (<ele>) dropped"},
    {"<ele>2147483648</ele>", "(the first: 2147483648)"},
    {"<ele>-2147483648.5</ele>", "1 fractional metres"},  // truncates to the lowest: held
    {"<ele>-3000000000</ele>", "(the first: -3000000000)"},
    {"<ele>-9999.5</ele>", "read as none: the watch cannot hold it (the first: -9999.5)"},
    {"<ele>-9999.9</ele>", "read as none: the watch cannot hold it (the first: -9999.9)"},
    {"<ele>-9999</ele>", "1 elevation of -9999 m, the watch's and the host's \"none\""},
    // Quoted as the file writes them, by the list's upload too.
    {"<ele> 3e9 </ele>", "(the first: 3e9)"},
    {"<ele>-99995e-1</ele>", "read as none: the watch cannot hold it (the first: -99995e-1)"},
    {"<time>2024-05-03T00:00:00Z</time>", "1 time of a waypoint or route point (<time>)"},
    {"<name>" + Repeat("N", 20) + "</name>", "1 name longer than the watch's 19 bytes"},
    {"<name>" + Repeat("ぬ", 10) + "</name>", "1 name longer than the watch's 19 bytes"},
    // The route's own name, which one reader judges at the route's end: the route's line first.
    {"<name>" + Repeat("P", 20) + "</name>", "2 names longer than the watch's 19 bytes",
     Repeat("N", 20), 4},
};

TEST_F(Boundaries, WhatTheWatchCannotHoldIsWarnedAlikeByBothReaders) {
  for (const NotHeldCase& row : kNotHeld) {
    const std::string route = "<rte><name>" + row.routeName + "</name>\n" +
                              PointXml("rtept", "1", "2", row.inner) + "</rte>\n";
    const Outcome asWatch = TryDownload(route);
    const Upload up = UploadRoutes(route);
    ASSERT_EQ(asWatch.status, 0) << row.inner << ":\n" << asWatch.err;
    ASSERT_EQ(up.outcome.status, 0) << row.inner << ":\n" << up.outcome.err;
    const auto watchSays = WarningsOf(asWatch.err, Path("W.gpx").string(), row.says);
    const auto listSays = WarningsOf(up.outcome.err, Path("L0.gpx").string(), row.says);
    ASSERT_EQ(watchSays.size(), 1u) << row.inner << ":\n" << asWatch.err;
    EXPECT_EQ(listSays, watchSays) << row.inner << ":\n" << up.outcome.err;
    EXPECT_NE(watchSays[0].find("F: line " + std::to_string(row.line) + ": "), std::string::npos)
        << watchSays[0];
  }
}

// Two routes whose names the watch keeps alike, or alike but for the letter case the module's
// comparison ignores: the upload puts both, and a later one of that name replaces both. Each
// reader names both routes and their lines.
constexpr char kAlike[] = ": the watch cannot tell the two apart";
constexpr char kCaseOnly[] = " but for letter case: an upload cannot tell the two apart";
constexpr char kApart[] = "";  // no line
struct SameNameCase {
  std::string first;
  std::string second;
  std::string kept;
  const char* why = kAlike;
};
const SameNameCase kSameNames[] = {
    {Repeat("A", 19) + "X", Repeat("A", 19) + "Y", Repeat("A", 19)},
    {Repeat("う", 10), Repeat("う", 9) + "え", Repeat("う", 9)},
    {Repeat("D", 18) + "う", Repeat("D", 18), Repeat("D", 18)},  // the cut falls before う
    {"Same", "Same", "Same"},
    {Repeat("G", 19), Repeat("G", 18), "", kApart},
    {Repeat("H", 19), Repeat("h", 19), Repeat("h", 19), kCaseOnly},
    {"Case あ" + Repeat("x", 12) + "Y", "cASE あ" + Repeat("X", 12) + "Z",
     "cASE あ" + Repeat("X", 12), kCaseOnly},  // alike once cut, and but for case
    {"ｱ", "ｶ", "", kApart},                    // single bytes past ASCII are no letters
    // ア is 83 41 and ヂ 83 61: trail bytes that look like A and a are compared as they are
    {"ア", "ヂ", "", kApart},
    // Past ASCII the module compares characters as they are: full-width letters (82 60, 82 81)
    // stay apart, while what code page 932 cannot write is '?' in both.
    {"ＡＢ", "ａｂ", "", kApart},
    {"Caf\xC3\xA9", "CAF\xC3\x88", "CAF?", kCaseOnly},
    {"", "", ""},  // two unnamed routes: the module takes "" for ""
};

TEST_F(Boundaries, RoutesArrivingUnderOneNameAreNamed) {
  std::string body;
  int line = 4;
  std::vector<std::pair<int, int>> lines;
  for (const SameNameCase& row : kSameNames) {
    lines.emplace_back(line, line + 2);  // a route on two lines
    for (const std::string& name : {row.first, row.second}) {
      body += "<rte><name>" + name + "</name>" + PointXml("rtept", "1", "2", "") + "</rte>\n";
      line += 2;
    }
  }
  const Outcome asWatch = TryDownload(body);
  const Upload up = UploadRoutes(body);
  ASSERT_EQ(asWatch.status, 0) << asWatch.err;
  ASSERT_EQ(up.outcome.status, 0) << up.outcome.err;
  EXPECT_EQ(up.watch.routes.size(), 2 * std::size(kSameNames));
  for (size_t i = 0; i < std::size(kSameNames); ++i) {
    const SameNameCase& row = kSameNames[i];
    const std::string says = "line " + std::to_string(lines[i].second) + ": the route \"" +
                             row.second + "\" arrives on the watch as \"";
    const std::string both = says + row.kept + "\", the name of the route \"" + row.first +
                             "\" of line " + std::to_string(lines[i].first) + row.why;
    for (const auto& [way, err] :
         {std::pair{"--watch", &asWatch.err}, std::pair{"upload-routes --list", &up.outcome.err}}) {
      if (*row.why == 0) {
        EXPECT_EQ(err->find(says), std::string::npos) << way << " " << row.second << ":\n" << *err;
      } else {
        EXPECT_NE(err->find(both), std::string::npos) << way << " " << row.second << ":\n" << *err;
      }
    }
  }
}

// A time the host cannot hold costs the point its time, not the file, whichever reader meets it:
// the transfer list keeps the point without it and warns, naming the first line; an update in
// place that would lose it is refused in one line naming it, the file left as it was.
struct HostTimeCase {
  const char* zone;
  const char* time;  // UTC, outside the host's wall clock in that zone
};
const HostTimeCase kHostTimesOutside[] = {
    {"UTC", "1970-01-01T00:00:00Z"},
    {"UTC", "2038-01-19T03:14:08Z"},
    {"UTC", "1901-12-13T20:45:52Z"},
    {"UTC", "2200-01-01T00:00:00Z"},
    {"Asia/Tokyo", "1969-12-31T15:00:00Z"},        // 1970-01-01 00:00:00 on the wall
    {"America/New_York", "2038-01-19T08:14:08Z"},  // 2038-01-19 03:14:08 on the wall
};

TEST_F(Boundaries, ATimeTheHostCannotHoldCostsThatTimeOnly) {
  WriteText(Path("W.gpx"), Gpx(PointXml("wpt", "3", "4", "<name>w</name>")));
  for (const HostTimeCase& row : kHostTimesOutside) {
    Launch launch;
    launch.zone = row.zone;
    const std::string time = std::string("<time>") + row.time + "</time>";
    // Lines 4 to 6: a waypoint, a route point, a track point.
    const std::string list = Gpx(PointXml("wpt", "1", "2", time) + "<rte><name>R</name>" +
                                 PointXml("rtept", "1", "2", time) + "</rte><trk><trkseg>\n" +
                                 PointXml("trkpt", "1", "2", time) + "</trkseg></trk>\n");
    const std::string warned = "L.gpx: line 4: 3 times outside what the host can hold";
    const std::string first = std::string("(the first: ") + row.time + ")";

    WriteText(Path("L.gpx"), list);
    std::filesystem::remove(Path("L2.gpx"));
    const Outcome read = Run({"download-waypoints", "--yes", "--watch", Path("W.gpx").string(),
                              "--list", Path("L.gpx").string(), "--out", Path("L2.gpx").string()},
                             launch);
    ASSERT_EQ(read.status, 0) << row.zone << " " << row.time << ":\n" << read.err;
    EXPECT_NE(read.err.find(warned), std::string::npos) << read.err;
    EXPECT_NE(read.err.find(first), std::string::npos) << read.err;
    const GpxText got = ParseGpxText(ReadText(Path("L2.gpx")));
    ASSERT_FALSE(got.waypoints.empty());
    ASSERT_EQ(got.routes.size(), 1u);
    ASSERT_EQ(got.tracks.size(), 1u);
    for (const PointText* point :
         {&got.waypoints[0], &got.routes[0].points.at(0), &got.tracks[0].points.at(0)}) {
      EXPECT_EQ(NearestUnits(point->lat), 10000000) << row.time;  // the list's own point
      EXPECT_EQ(point->time, "") << row.time;
    }

    // The upload: the route is put, without its point's time.
    WriteText(Path("W0.gpx"), Gpx(""));
    const Outcome up = Run({"upload-routes", "--yes", "--list", Path("L.gpx").string(), "--watch",
                            Path("W0.gpx").string()},
                           launch);
    EXPECT_EQ(up.status, 0) << row.time << ":\n" << up.err;
    EXPECT_NE(up.err.find(warned), std::string::npos) << up.err;

    // In place: refused, one line naming the loss and its line.
    const Outcome inPlace = Run({"download-waypoints", "--yes", "--watch", Path("W.gpx").string(),
                                 "--list", Path("L.gpx").string(), "--out", Path("L.gpx").string()},
                                launch);
    EXPECT_BAD_INPUT(inPlace, "3 times outside what the host can hold");
    EXPECT_NE(inPlace.err.find("the first at line 4"), std::string::npos) << inPlace.err;
    EXPECT_EQ(ReadText(Path("L.gpx")), list);
  }
}

// --- Nothing altered in silence, and in place nothing altered at all -----------------------------
// Whatever a reader would not carry exactly is warned of once per kind, naming the first line,
// whether the file is the watch or the list; the list's own loss refuses an update in place
// before the request, and is a warning only when the list is written elsewhere.
namespace inplace {

constexpr char kTrack[] = "<trk><trkseg>\n";
constexpr char kTrackEnd[] = "</trkseg></trk>\n";
// Two waypoints, so that what a row is about starts on line 6.
constexpr char kLines4And5[] =
    "<wpt lat=\"1\" lon=\"2\"><name>a</name></wpt>\n<wpt lat=\"1\" lon=\"2\"/>\n";

std::string TimedPoint(const std::string& lat, const std::string& lon, const char* time) {
  return PointXml("trkpt", lat, lon, std::string("<time>") + time + "</time>");
}

struct AlteredCase {
  const char* zone;
  std::string body;       // from line 4; the loss is first on line 6
  const char* listSays;   // the list's warning, after "line 5: "
  const char* watchSays;  // the watch's (download-all --watch); "" for none
  int watchLine = 6;
};
const AlteredCase kAltered[] = {
    {"UTC",
     std::string(kTrack) + TimedPoint("1", "2", "2024-05-03T00:00:00Z") +
         PointXml("trkpt", "1", "2", "<time>2024-05-03T00:00:01Z</time><name> p </name>") +
         kTrackEnd,
     "1 leading and trailing white space of a name (<name>) dropped",
     "1 leading and trailing white space of a name (<name>) dropped"},
    {"UTC",
     std::string(kTrack) + TimedPoint("1", "2", "2016-12-31T23:59:59Z") +
         TimedPoint("1", "2", "2016-12-31T23:59:60Z") + kTrackEnd,
     "1 leap second (<time>) read as the next second: the transfer list cannot hold it (the "
     "first: 2016-12-31T23:59:60Z)",
     "1 leap second (<time>) read as the next second: the watch cannot hold it"},
    {"UTC",
     std::string(kTrack) + TimedPoint("1", "2", "2024-05-03T00:00:00Z") +
         "<trkpt lat=\"1\" lon=\"2\" speed=\"3\"><time>2024-05-03T00:00:01Z</time></trkpt>\n" +
         kTrackEnd,
     "1 attribute x9host does not keep dropped: the transfer list cannot hold it (the first: "
     "<trkpt> speed)",
     "1 attribute x9host does not keep dropped: the watch cannot hold it"},
    // 01:30 on the clocks of New York, twice: in standard time, then in summer time. The
    // earlier instant is what that wall clock reads back as: only the later is changed.
    {"America/New_York",
     std::string(kTrack) + TimedPoint("1", "2", "2023-11-05T04:59:59Z") +
         TimedPoint("1", "2", "2023-11-05T06:30:00Z") +
         TimedPoint("1", "2", "2023-11-05T05:30:00Z") + kTrackEnd,
     "1 time whose local wall clock the zone shows twice (<time>) kept as that wall clock, which "
     "may read back as the other time: the transfer list cannot hold it (the first: "
     "2023-11-05T06:30:00Z, the same wall clock as 2023-11-05T05:30:00Z, 1 hour earlier)",
     "1 time whose local wall clock the zone shows twice (<time>) kept as that wall clock, which "
     "may read back as the other time: the watch cannot hold it (the first: "
     "2023-11-05T06:30:00Z, the same wall clock as 2023-11-05T05:30:00Z, 1 hour earlier)"},
    // 64.4712010 is a whole number of the watch's unit that falls short of it times 1e7.
    {"UTC",
     std::string(kTrack) + TimedPoint("35.6324001", "139.27", "2024-05-03T00:00:00Z") +
         TimedPoint("64.471201", "139.27", "2024-05-03T00:00:01Z") + kTrackEnd,
     "1 coordinate --out writes as another number (lat, lon) rewritten: the transfer list cannot "
     "hold it (the first: 64.471201 as 64.47120100001)",
     "1 coordinate the watch's 1e-7 degree does not hold exactly (lat, lon) truncated: the watch "
     "cannot hold it (the first: 64.471201 as 64.4712009)"},
    {"UTC",
     std::string(kTrack) + TimedPoint("1", "2", "2024-05-03T00:00:00Z") +
         TimedPoint("1", "180", "2024-05-03T00:00:01Z") +
         TimedPoint("35.68123456", "2", "2024-05-03T00:00:02Z") + kTrackEnd,
     "1 coordinate --out writes as another number (lat, lon) rewritten: the transfer list cannot "
     "hold it (the first: 180 as -180.0000000)",
     "1 coordinate the watch's 1e-7 degree does not hold exactly (lat, lon) truncated: the watch "
     "cannot hold it (the first: 35.68123456 as 35.6812345)",
     7},  // the watch holds 180
    // -9999 m is "none" to both holders: the same line from either reader.
    {"UTC",
     "<wpt lat=\"1\" lon=\"2\"><ele>-9999.5</ele></wpt>\n<wpt lat=\"1\" lon=\"2\"/>\n"
     "<wpt lat=\"1\" lon=\"2\"><ele>-9999</ele></wpt>\n",
     "1 elevation of -9999 m, the watch's and the host's \"none\" (<ele>) read as none: the watch "
     "and the transfer list cannot hold it (the first: -9999)",
     "1 elevation of -9999 m, the watch's and the host's \"none\" (<ele>) read as none: the watch "
     "and the transfer list cannot hold it (the first: -9999)"},
    {"UTC",
     std::string(kTrack) + TimedPoint("1", "2", "2024-05-03T00:00:00Z") +
         PointXml("trkpt", "1", "2", "<time>2024-05-03T00:00:01Z</time><name></name>") + kTrackEnd,
     "1 empty name (<name>) dropped: the transfer list cannot hold it",
     "1 empty name (<name>) dropped: the watch cannot hold it"},
    {"UTC",
     std::string(kTrack) + TimedPoint("1", "2", "2024-05-03T00:00:00Z") +
         "</trkseg></trk><rte><name>R</name></rte>\n",
     "1 waypoint, route or track out of GPX 1.1's order (<wpt>, <rte>, <trk>) moved into it: "
     "the transfer list cannot hold it (the first: <rte> after <trk>)",
     "1 waypoint, route or track out of GPX 1.1's order (<wpt>, <rte>, <trk>) moved into it: "
     "the watch cannot hold it (the first: <rte> after <trk>)"},
    // A track value of 0 is both holders' "none": not written back.
    {"UTC",
     std::string(kTrack) + TimedPoint("1", "2", "2024-05-03T00:00:00Z") +
         PointXml("trkpt", "1", "2",
                  "<time>2024-05-03T00:00:01Z</time><extensions><x9:value72>0</x9:value72>"
                  "</extensions>") +
         kTrackEnd,
     "1 track value of 0, the watch's and the host's \"none\" (<x9:value32>, <x9:value72>) read "
     "as none: the watch and the transfer list cannot hold it (the first: 0)",
     "1 track value of 0, the watch's and the host's \"none\" (<x9:value32>, <x9:value72>) read "
     "as none: the watch and the transfer list cannot hold it (the first: 0)"},
    // What is kept is written in GPX 1.1's order: of a point, and of a route (its name first).
    {"UTC",
     std::string(kLines4And5) +
         "<wpt lat=\"1\" "
         "lon=\"2\"><name>a</name><time>2024-05-03T00:00:00Z</time><ele>1</ele></wpt>\n"
         "<rte><rtept lat=\"1\" lon=\"2\"/><name>R</name></rte>\n",
     "3 elements of a point, route or track out of GPX 1.1's order (<ele>, <time>, <name>; a name "
     "before the points) moved into it: the transfer list cannot hold them (the first: <time> "
     "after <name>)",
     "3 elements of a point, route or track out of GPX 1.1's order (<ele>, <time>, <name>; a name "
     "before the points) moved into it: the watch cannot hold them (the first: <time> after "
     "<name>)"},
    // Text where GPX has none, in a point and in a route.
    {"UTC",
     std::string(kLines4And5) + "<wpt lat=\"1\" lon=\"2\">stray <name>a</name> text</wpt>\n"
                                "<rte>more<rtept lat=\"1\" lon=\"2\"/></rte>\n",
     "2 texts between the elements of <gpx>, a point, route or track dropped: the transfer list "
     "cannot hold them",
     "2 texts between the elements of <gpx>, a point, route or track dropped: the watch cannot "
     "hold them"},
    // Digits a double does not hold, in any number x9host keeps.
    {"UTC",
     std::string(kLines4And5) + "<wpt lat=\"1\" lon=\"2\"><ele>1.0000000000000001</ele></wpt>\n"
                                "<wpt lat=\"0.123456789012345678901234567890\" lon=\"2\"/>\n",
     "2 numbers with more digits than x9host keeps (lat, lon, <ele>, x9:value32, x9:value72) "
     "rounded: the transfer list cannot hold them (the first: 1.0000000000000001 as 1)",
     "2 numbers with more digits than x9host keeps (lat, lon, <ele>, x9:value32, x9:value72) "
     "rounded: the watch cannot hold them (the first: 1.0000000000000001 as 1)"},
    // A value given twice: the first is read, the later dropped, each element its own kind.
    {"UTC",
     std::string(kLines4And5) +
         "<wpt lat=\"1\" lon=\"2\"><ele>1</ele><ele>2</ele><name>a</name><name>b</name></wpt>\n",
     "1 <ele> element after the first of a point, route or track dropped: the transfer list "
     "cannot hold it",
     "1 <ele> element after the first of a point, route or track dropped: the watch cannot hold "
     "it"},
    {"UTC",
     std::string(kTrack) + TimedPoint("1", "2", "2024-05-03T00:00:00Z") +
         PointXml("trkpt", "1", "2",
                  "<time>2024-05-03T00:00:01Z</time><time>2024-05-03T00:00:02Z</time>") +
         kTrackEnd,
     "1 <time> element after the first of a point, route or track dropped: the transfer list "
     "cannot hold it",
     "1 <time> element after the first of a point, route or track dropped: the watch cannot hold "
     "it"},
    {"UTC",
     "<wpt lat=\"1\" lon=\"2\"><name>Cafe</name></wpt>\n"
     "<wpt lat=\"1\" lon=\"2\"><name>Cafe</name></wpt>\n"
     "<wpt lat=\"1\" lon=\"2\"><name>Caf\xC3\xA9</name></wpt>\n",
     "1 name with characters code page 932 cannot write kept with '?' in its place", ""},
};

// The warnings of a file come in the order of its lines, whichever rule met them: the reader's
// (a comment) or the holders' (-9999 m, their "none"), for either reader; a kind of loss before
// the lines of its single instances (a name code page 932 cannot write).
TEST_F(Boundaries, WarningsComeInTheOrderOfTheFilesLines) {
  WriteText(Path("O.gpx"), Gpx("<wpt lat=\"1\" lon=\"2\"><ele>-9999</ele></wpt>\n"
                               "<wpt lat=\"1\" lon=\"2\"><cmt>c</cmt></wpt>\n"
                               "<wpt lat=\"1\" lon=\"2\"><name>Caf\xC3\xA9</name></wpt>\n"));
  const Outcome asWatch = Run({"download-all", "--yes", "--watch", Path("O.gpx").string(), "--out",
                               Path("L.gpx").string()});
  const Outcome asList = Run({"download-waypoints", "--yes", "--list", Path("O.gpx").string(),
                              "--out", Path("L2.gpx").string()});
  // A name's own line before a later line's kind of loss.
  WriteText(Path("U.gpx"), Gpx("<rte><name>abc</name><rtept lat=\"1\" lon=\"2\"/></rte>\n"
                               "<rte><name>ABC</name><rtept lat=\"1\" lon=\"2\"/></rte>\n"
                               "<rte><name>x</name><rtept lat=\"1\" lon=\"2\"><cmt>c</cmt>"
                               "</rtept></rte>\n"));
  const Outcome upload = Run({"upload-routes", "--yes", "--watch", Path("O.gpx").string(), "--list",
                              Path("U.gpx").string()});
  const struct {
    const Outcome* got;
    std::vector<const char*> said;
  } runs[] = {
      {&asWatch, {": line 4: ", ": line 5: ", ": line 6: 1 name", ": line 6: the point"}},
      {&asList, {": line 4: ", ": line 5: ", ": line 6: 1 name", ": line 6: the point"}},
      {&upload, {": line 5: the route", ": line 6: 1 comment"}},
  };
  for (const auto& run : runs) {
    size_t last = 0;
    for (const char* said : run.said) {
      const size_t at = run.got->err.find(said);
      ASSERT_NE(at, std::string::npos) << said << "\n" << run.got->err;
      EXPECT_LT(last, at) << said << "\n" << run.got->err;
      last = at;
    }
  }
}

class InPlace : public Boundaries {};

TEST_F(InPlace, WhatWouldBeAlteredIsWarnedAndRefusesTheUpdateInPlace) {
  WriteText(Path("WL.gpx"), Gpx(PointXml("wpt", "3", "4", "<name>w</name>")));
  for (const AlteredCase& row : kAltered) {
    SCOPED_TRACE(row.listSays);
    Launch launch;
    launch.zone = row.zone;
    const std::string list = Gpx(row.body);
    WriteText(Path("L.gpx"), list);
    const std::string said = Path("L.gpx").string() + ": line 6: " + row.listSays;
    const std::vector<std::string> listArgs = {
        "download-waypoints",   "--yes", "--watch", Path("WL.gpx").string(), "--list",
        Path("L.gpx").string(), "--out"};
    // Written elsewhere: a warning, the run as ever.
    std::vector<std::string> args = listArgs;
    args.push_back(Path("L2.gpx").string());
    const Outcome elsewhere = Run(args, launch);
    EXPECT_EQ(elsewhere.status, 0) << elsewhere.err;
    EXPECT_NE(elsewhere.err.find("warning: " + said), std::string::npos) << elsewhere.err;
    // In place: refused before the request, one line naming the first line, the file kept.
    args = listArgs;
    args.push_back(Path("L.gpx").string());
    const Outcome inPlace = Run(args, launch);
    EXPECT_BAD_INPUT(inPlace, "would update --list");
    EXPECT_NE(inPlace.err.find("the first at line 6"), std::string::npos) << inPlace.err;
    EXPECT_EQ(ReadText(Path("L.gpx")), list);
    // The same file as the watch: the same words where the watch loses the same.
    if (*row.watchSays != 0) {
      const Outcome asWatch = TryDownload(row.body, row.zone);
      EXPECT_EQ(asWatch.status, 0) << asWatch.err;
      EXPECT_NE(asWatch.err.find("warning: " + Path("W.gpx").string() + ": line " +
                                 std::to_string(row.watchLine) + ": " + row.watchSays),
                std::string::npos)
          << asWatch.err;
    }
  }
}

// A list x9host wrote from the watch, read again and written: the same bytes. The watch's units
// come as units times 1e-7, a double other than the one their seven decimals read back as.
TEST_F(InPlace, AListDownloadedFromTheWatchIsWrittenAgainByteForByte) {
  std::string route = "<rte><name>R</name>\n";
  for (const char* lat : {"1.1", "0.3", "35.0001", "-0.0000001", "64.471201", "89.9999999"})
    route += PointXml("rtept", lat, "139.1", "<ele>12</ele>");
  WriteText(Path("W.gpx"), Gpx(route + "</rte>\n"));
  WriteText(Path("W0.gpx"), Gpx(""));
  const Outcome down = Run({"download-routes", "--yes", "--watch", Path("W.gpx").string(), "--out",
                            Path("A.gpx").string()});
  ASSERT_EQ(down.status, 0) << down.err;
  const Outcome again = Run({"upload-routes", "--yes", "--watch", Path("W0.gpx").string(), "--list",
                             Path("A.gpx").string(), "--out", Path("B.gpx").string()});
  ASSERT_EQ(again.status, 0) << again.err;
  EXPECT_EQ(ReadText(Path("B.gpx")), ReadText(Path("A.gpx")));
  EXPECT_NE(ReadText(Path("A.gpx")).find("lat=\"1.1000000\""), std::string::npos);
}

// A list of every kind of text and value the transfer list keeps, read and written twice: no
// warning, and the second writing is the first byte for byte. Its names come through as given.
TEST_F(InPlace, WhatTheListKeepsComesBackByteForByte) {
  const std::vector<std::string> names = {"高尾山口駅から山頂",
                                          "ｶﾀｶﾅ 半角",
                                          "A &amp; B &lt;C&gt; \"q\" 'a'",
                                          "two  spaces\tand tab",
                                          "line\nbreak",
                                          "cr&#13;here",
                                          "del&#127;",
                                          "\xE3\x80\x80ideographic space\xE3\x80\x80",
                                          "～ ￥ ソ 表 能",
                                          "]]&gt; end"};
  const std::vector<std::string> kept = {"高尾山口駅から山頂",
                                         "ｶﾀｶﾅ 半角",
                                         "A & B <C> \"q\" 'a'",
                                         "two  spaces\tand tab",
                                         "line\nbreak",
                                         "cr\rhere",
                                         "del\x7F",
                                         "\xE3\x80\x80ideographic space\xE3\x80\x80",
                                         "～ ￥ ソ 表 能",
                                         "]]> end"};
  std::string waypoints, route = "<rte><name>R1</name>\n", track = "<trk><name>T</name><trkseg>\n";
  const char* const elevations[] = {"0", "-0.5", "123.456", "8848.86", "-10000", "0.1"};
  const char* const coordinates[] = {"35.6324001",  "-0.0000001", "35.68123456789",
                                     "-89.9999999", "0.5",        "89.999"};
  for (size_t i = 0; i < names.size(); ++i) {
    const std::string lat = coordinates[i % std::size(coordinates)];
    const std::string ele = std::string("<ele>") + elevations[i % std::size(elevations)] + "</ele>";
    waypoints += PointXml("wpt", lat, "139.27", ele + "<name>" + names[i] + "</name>");
    track += PointXml("trkpt", lat, "-139.2700001",
                      ele + "<time>2024-05-0" + std::to_string(1 + i % 9) +
                          "T12:34:56+09:00</time><name>" + names[i] +
                          "</name><extensions><x9:value32>" + std::to_string(i * 10) +
                          ".5</x9:value32><x9:value72>0.1</x9:value72></extensions>");
  }
  route += PointXml("rtept", "1", "2", "<ele>12</ele><name>P</name>") + "</rte>\n";
  WriteText(Path("L.gpx"), Gpx(waypoints + route + track + "</trkseg></trk>\n"));
  WriteText(Path("W0.gpx"), Gpx(""));
  const auto upload = [&](const char* from, const char* to) {
    return Run({"upload-routes", "--yes", "--watch", Path("W0.gpx").string(), "--list",
                Path(from).string(), "--out", Path(to).string()});
  };
  for (const auto& [from, to] : {std::pair{"L.gpx", "L2.gpx"}, std::pair{"L2.gpx", "L3.gpx"}}) {
    const Outcome run = upload(from, to);
    ASSERT_EQ(run.status, 0) << from << ":\n" << run.err;
    EXPECT_EQ(run.err.find("warning"), std::string::npos) << from << ":\n" << run.err;
  }
  EXPECT_EQ(ReadText(Path("L3.gpx")), ReadText(Path("L2.gpx")));
  // And in place: accepted, the file as it was.
  const std::string second = ReadText(Path("L2.gpx"));
  const Outcome inPlace = upload("L2.gpx", "L2.gpx");
  EXPECT_EQ(inPlace.status, 0) << inPlace.err;
  EXPECT_EQ(ReadText(Path("L2.gpx")), second);
  const GpxText got = ParseGpxText(second);
  ASSERT_EQ(got.waypoints.size(), kept.size());
  ASSERT_EQ(got.tracks.size(), 1u);
  ASSERT_EQ(got.tracks[0].points.size(), kept.size());
  for (size_t i = 0; i < kept.size(); ++i) {
    EXPECT_EQ(got.waypoints[i].name, kept[i]);
    EXPECT_EQ(got.tracks[0].points[i].name, kept[i]);
    EXPECT_EQ(got.waypoints[i].ele, elevations[i % std::size(elevations)]);
  }
}

}  // namespace inplace

}  // namespace
