#include "content/watch_content.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>

#include "codec/codepage.h"
#include "codec/wall_clock.h"
#include "content/digest.h"
#include "content/value_rules.h"
#include "host/coordinates.h"
#include "os/input_error.h"
#include "os/messages.h"
#include "sim/watch/watch_sim.h"
#include "text/cp932.h"

namespace x9host {
namespace {

// GPX points to the watch's records, by the rules every reader shares (value_rules.h).
class GpxToRecords {
 public:
  GpxToRecords(const std::string& source, GpxDropped& lost, std::vector<std::string>& warnings)
      : source_(source), warnings_(warnings), rules(source, lost, warnings) {}

  int64_t namesChanged = 0;
  int namesChangedLine = 0;
  const std::string& Source() const { return source_; }
  void Warn(std::string line) { warnings_.push_back(std::move(line)); }

  // The name as the watch keeps it: code page 932, cut as the module cuts names, zero-filled.
  // what: the kind of name, in the user's language.
  void Name(char (&field)[x9::kDeviceNameField], const std::string& utf8, const std::string& what,
            int line) {
    std::vector<std::string> lines;
    const std::string bytes = Cp932Name(utf8, what, source_, line, lines);
    rules.WatchName(field, bytes, line);
    if (!lines.empty()) {
      if (namesChanged == 0) namesChangedLine = line;
      if (++namesChanged <= kNameWarningsShown) warnings_.push_back(lines[0]);
    }
  }

  x9::TrackPoint TrackPoint(const GpxPoint& point) {
    x9::TrackPoint out{};
    // No time, or one the module could not hand the host, leaves the calendar fields zero: the
    // watch's point without a time, as a list keeps a point without one.
    if (const std::optional<CivilTime> local = rules.WatchTime(point)) {
      out.year = static_cast<int32_t>(local->year);
      out.month = local->month;
      out.day = local->day;
      out.hour = local->hour;
      out.minute = local->minute;
      out.second = local->second;
    }
    out.latitude = rules.WatchCoordinate(point.latitude, point.written.latitude, point.line);
    out.longitude = rules.WatchCoordinate(point.longitude, point.written.longitude, point.line);
    rules.WatchLongitudeWritten(point.longitude, point.line);
    out.altitude = rules.WatchAltitude(point);
    rules.TrackValuesNone(point);
    if (point.value32) {
      const double tenths = *point.value32 / 10.0;
      if (tenths != std::floor(tenths) || tenths < 0 || tenths > 65535) {
        throw InputError(msg::Value32NotTens(source_, point.line));
      }
      out.value40 = static_cast<uint16_t>(tenths);
    }
    if (point.value72) out.value36 = rules.WatchValue72(point);
    return out;
  }

  x9::RoutePoint RoutePoint(const GpxPoint& point) {
    x9::RoutePoint out{};
    rules.WatchPointTime(point);
    Name(out.name, point.name, pointName_, point.line);
    out.latitude = rules.WatchCoordinate(point.latitude, point.written.latitude, point.line);
    out.longitude = rules.WatchCoordinate(point.longitude, point.written.longitude, point.line);
    rules.WatchLongitudeWritten(point.longitude, point.line);
    out.altitude = rules.WatchAltitude(point);
    return out;
  }

 private:
  std::string source_;
  std::vector<std::string>& warnings_;
  const std::string pointName_ = msg::WhatPointName();  // once, not for every point

 public:
  ValueRules rules;
};

std::string FieldText(const char (&field)[x9::kDeviceNameField]) {
  return Utf8FromCp932(x9::DeviceNameBytes(field));
}

GpxPoint PointFrom(const x9::RoutePoint& point) {
  GpxPoint out;
  out.latitude = x9::DegreesFromDevice(point.latitude);
  out.longitude = x9::DegreesFromDevice(point.longitude);
  if (point.altitude != x9::kDeviceNoAltitude) out.elevation = static_cast<double>(point.altitude);
  out.name = FieldText(point.name);
  return out;
}

GpxPoint PointFrom(const x9::TrackPoint& point) {
  GpxPoint out;
  out.latitude = x9::DegreesFromDevice(point.latitude);
  out.longitude = x9::DegreesFromDevice(point.longitude);
  if (point.altitude != x9::kDeviceNoAltitude) out.elevation = static_cast<double>(point.altitude);
  CivilTime local;
  local.year = point.year;
  local.month = point.month;
  local.day = point.day;
  local.hour = point.hour;
  local.minute = point.minute;
  local.second = point.second;
  // Normalised first, as the fields may be anything a watch stores.
  if (point.month >= 1 && point.month <= 12) out.time = UtcFromLocal(local);
  if (point.value40 != 0) out.value32 = point.value40 * 10.0;
  if (point.value36 != 0) out.value72 = static_cast<double>(point.value36);
  return out;
}

// Reads points into the watch's records as the reader hands them over.
class WatchConsumer final : public GpxConsumer {
 public:
  WatchConsumer(const std::string& source, std::vector<std::string>& warnings)
      : convert_(source, dropped, warnings) {}

  WatchContent content;
  GpxDropped dropped;
  int64_t routesLeftOff = 0;

  void Waypoint(const GpxPoint& point) override {
    if (!myPoints_) {
      myPoints_ = std::make_unique<WatchRoute>();
      std::memcpy(myPoints_->header.name, x9::kMyPointsName, sizeof x9::kMyPointsName);
    }
    myPoints_->points.push_back(convert_.RoutePoint(point));
  }
  void StartRoute(int line) override {
    route_ = std::make_unique<WatchRoute>();
    routeName_.clear();
    line_ = line;
  }
  void RoutePoint(const GpxPoint& point) override {
    route_->points.push_back(convert_.RoutePoint(point));
  }
  void StartTrack(int line) override {
    route_.reset();
    line_ = line;
    content.tracks.emplace_back();
  }
  void StartSegment() override {}
  void TrackPoint(const GpxPoint& point) override {
    if (!point.name.empty()) dropped.Add(msg::kKindTrackPointNames, 1, point.line);
    content.tracks.back().points.push_back(convert_.TrackPoint(point));
  }
  void Name(const std::string& name) override {
    if (!route_) {
      if (!name.empty()) dropped.Add(msg::kKindTrackNames, 1, line_);
      return;
    }
    routeName_ = name;
    convert_.Name(route_->header.name, name, msg::WhatRouteName(), line_);
  }
  void End() override {
    if (!route_) return;
    // A route named like the waypoint collection is left off, as an upload leaves it.
    if (convert_.rules.WatchRoute(route_->header.name, routeName_, line_)) {
      routes_.push_back(std::move(*route_));
    } else {
      ++routesLeftOff;
    }
    route_.reset();
  }

  void Finish() {
    // The waypoint collection first, as the watch keeps it.
    if (myPoints_) content.routes.push_back(std::move(*myPoints_));
    for (auto& route : routes_)
      content.routes.push_back(std::move(route));
    for (WatchRoute& route : content.routes)
      route.header.pointCount = static_cast<int32_t>(route.points.size());
    for (WatchTrack& track : content.tracks)
      track.header.pointCount = static_cast<int32_t>(track.points.size());
    if (convert_.namesChanged > kNameWarningsShown)
      convert_.Warn(MoreNamesWarning(convert_.Source(), convert_.namesChanged));
    if (convert_.namesChanged > 0) {
      dropped.Add(GpxDropped::kNamesChanged, convert_.namesChangedLine, "", convert_.namesChanged);
    }
    convert_.rules.Finish();
  }

 private:
  GpxToRecords convert_;
  std::unique_ptr<WatchRoute> myPoints_;
  std::unique_ptr<WatchRoute> route_;
  std::string routeName_;
  int line_ = 0;
  std::vector<WatchRoute> routes_;
};

template <typename Read>
WatchFromGpx ReadWith(Read read, const std::string& source, std::vector<std::string>& warnings) {
  WatchConsumer consumer(source, warnings);
  WatchFromGpx result;
  result.summary = read(consumer);
  consumer.Finish();
  result.summary.dropped.Merge(consumer.dropped);
  result.summary.routes -= consumer.routesLeftOff;  // the routes the watch holds
  result.content = std::move(consumer.content);
  return result;
}

}  // namespace

WatchFromGpx ReadWatch(const std::string& path, std::vector<std::string>& warnings) {
  return ReadWith([&](GpxConsumer& consumer) { return ReadGpxFile(path, consumer); }, path,
                  warnings);
}

WatchFromGpx WatchFromGpxText(std::string_view bytes, const std::string& sourceName,
                              std::vector<std::string>& warnings) {
  return ReadWith([&](GpxConsumer& consumer) { return ReadGpx(bytes, sourceName, consumer); },
                  sourceName, warnings);
}

void LoadWatch(WatchContent& content) {
  X9Watch_Reset();
  for (WatchTrack& track : content.tracks) {
    X9Watch_AddTrack(&track.header, track.points.data(), static_cast<int>(track.points.size()));
    std::vector<x9::TrackPoint>().swap(track.points);  // the watch holds its own copy now
  }
  for (WatchRoute& route : content.routes) {
    X9Watch_AddRoute(&route.header, route.points.data(), static_cast<int>(route.points.size()));
    std::vector<x9::RoutePoint>().swap(route.points);
  }
}

uint64_t WatchDigest() {
  Digest digest;
  const int tracks = X9Watch_TrackCount();
  digest.Add(&tracks, sizeof tracks);
  for (int number = 1; number <= tracks; ++number) {
    digest.Add(X9Watch_Track(number), sizeof(x9::TrackHeader));
    const int count = X9Watch_TrackPointCount(number);
    digest.Add(&count, sizeof count);
    digest.Add(X9Watch_TrackPoints(number), sizeof(x9::TrackPoint) * static_cast<size_t>(count));
  }
  const int routes = X9Watch_RouteCount();
  digest.Add(&routes, sizeof routes);
  for (int number = 1; number <= routes; ++number) {
    digest.Add(X9Watch_Route(number), sizeof(x9::RouteHeader));
    const int count = X9Watch_RoutePointCount(number);
    digest.Add(&count, sizeof count);
    digest.Add(X9Watch_RoutePoints(number), sizeof(x9::RoutePoint) * static_cast<size_t>(count));
  }
  return digest.Value();
}

int RoutesPutOnWatch() { return X9Watch_CallCount("PutRoute"); }

void WriteWatchGpx(GpxWriter& gpx) {
  const int routes = X9Watch_RouteCount();
  // The waypoint collection, then the other routes: the schema's order.
  for (const bool waypoints : {true, false}) {
    for (int number = 1; number <= routes; ++number) {
      const std::string name = FieldText(X9Watch_Route(number)->name);
      if (x9::IsMyPointsName(name.c_str()) != waypoints) continue;
      const x9::RoutePoint* points = X9Watch_RoutePoints(number);
      const int count = X9Watch_RoutePointCount(number);
      if (!waypoints) gpx.StartRoute(name);
      for (int i = 0; i < count; ++i) {
        x9::RoutePoint point;
        std::memcpy(&point, points + i, sizeof point);
        if (waypoints) {
          gpx.Waypoint(PointFrom(point));
        } else {
          gpx.RoutePoint(PointFrom(point));
        }
      }
      if (!waypoints) gpx.End();
    }
  }
  for (int number = 1; number <= X9Watch_TrackCount(); ++number) {
    gpx.StartTrack("");
    gpx.StartSegment();
    const x9::TrackPoint* points = X9Watch_TrackPoints(number);
    const int count = X9Watch_TrackPointCount(number);
    for (int i = 0; i < count; ++i) {
      x9::TrackPoint point;
      std::memcpy(&point, points + i, sizeof point);
      gpx.TrackPoint(PointFrom(point));
    }
    gpx.End();
  }
}

}  // namespace x9host
