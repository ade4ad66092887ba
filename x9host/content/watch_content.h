// The simulated watch's content and GPX: tracks from trk, routes from rte, the waypoint
// collection from wpt as the route "MYPOINTS"; and back.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "device/records.h"
#include "gpx/gpx.h"

namespace x9host {

struct WatchTrack {
  x9::TrackHeader header{};
  std::vector<x9::TrackPoint> points;
};

struct WatchRoute {
  x9::RouteHeader header{};
  std::vector<x9::RoutePoint> points;
};

struct WatchContent {
  std::vector<WatchTrack> tracks;
  std::vector<WatchRoute> routes;  // "MYPOINTS" first when the file has waypoints
};

// Reads a GPX file into watch content in one pass, converting and checking everything before
// the watch is touched, by the rules every reader shares (value_rules.h): coordinates become
// 1e-7 degree truncated toward zero and elevations whole metres truncated toward zero and
// saturated at 32 bits, as the module converts uploads (a missing elevation is
// x9::kDeviceNoAltitude, and an elevation of that many metres comes back as none); times become
// the calendar fields of the local wall clock, all zero for a time the module could not hand the
// host; names become code page 932, cut to what the watch keeps, a character code page 932 cannot
// write becoming '?' (with a line in warnings). What the watch cannot hold is counted in the
// summary's dropped kinds, with the first line of each (besides what GPX holds beyond both
// holders: the times of waypoints and route points, the names of tracks and track points, routes
// named like the waypoint collection, which are left off); two routes that arrive under one name
// get a line in warnings. A track point without a time is kept without one. Throws InputError
// naming the source and line: a track value out of the watch's range, and everything ReadGpxFile
// refuses.
struct WatchFromGpx {
  WatchContent content;
  GpxSummary summary;
};
WatchFromGpx ReadWatch(const std::string& path, std::vector<std::string>& warnings);
// The same from bytes in memory (tests).
WatchFromGpx WatchFromGpxText(std::string_view bytes, const std::string& sourceName,
                              std::vector<std::string>& warnings);

// Empties the simulated watch and stores the content, then lets the content's points go.
void LoadWatch(WatchContent& content);

// A digest of every byte the simulated watch holds, track by track and route by route: two
// equal digests mean the same content, without a copy of it.
uint64_t WatchDigest();

// How many routes the module has put on the simulated watch since LoadWatch.
int RoutesPutOnWatch();

// GPX of the simulated watch, point by point: "MYPOINTS" as waypoints, the other routes, the
// tracks (one trk each, a track without points as a trk without trkseg). Times are read on the
// local clock.
void WriteWatchGpx(GpxWriter& gpx);

}  // namespace x9host
