// The simulated watch's content and GPX: tracks from trk, routes from rte, the waypoint
// collection from wpt as the route "MYPOINTS"; and back.
#pragma once

#include <string>
#include <vector>

#include "device/records.h"
#include "gpx.h"

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

// Converts and checks everything before the watch is touched. Coordinates become 1e-7 degree
// truncated toward zero and elevations whole metres truncated toward zero, as the module
// converts uploads (a missing elevation is -9999); times become the calendar fields of the
// local wall clock; names become code page 932, cut to what the watch keeps, a character code
// page 932 cannot write becoming '?' (with a line in warnings). Throws InputError naming the
// source and line: a track point without time or with a time the host cannot hold, a route
// named like the waypoint collection, a value out of range.
WatchContent WatchFromGpx(const GpxDocument& document, const std::string& sourceName,
                          std::vector<std::string>& warnings);

// Empties the simulated watch and stores the content.
void LoadWatch(const WatchContent& content);

// What the simulated watch holds now.
WatchContent CurrentWatch();

// Whether two contents hold the same bytes, track by track and route by route.
bool SameWatch(const WatchContent& a, const WatchContent& b);

// GPX of the watch: "MYPOINTS" as waypoints, the other routes, the tracks (one trk each, a
// track without points as a trk without trkseg). Times are read on the local clock.
GpxDocument GpxFromWatch(const WatchContent& content);

}  // namespace x9host
