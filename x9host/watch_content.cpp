#include "watch_content.h"

#include <cmath>
#include <cstring>
#include <limits>

#include "codepage.h"
#include "input_error.h"
#include "text/cp932.h"
#include "wall_clock.h"
#include "watch/watch_sim.h"

namespace x9host {
namespace {

constexpr int32_t kNoAltitude = -9999;

class Converter {
 public:
  Converter(const std::string& source, std::vector<std::string>& warnings)
      : source_(source), warnings_(warnings) {}

  [[noreturn]] void Fail(int line, const std::string& what) const {
    throw InputError(source_ + ": line " + std::to_string(line) + ": " + what);
  }

  // The name as the watch keeps it: code page 932, cut as the module cuts names, zero-filled.
  void Name(char (&field)[x9::kDeviceNameField], const std::string& utf8, const char* what,
            int line) const {
    x9::CopyNameToDevice(field, Cp932Name(utf8, what, source_, line, warnings_).c_str());
  }

  // Degrees to 1e-7 degree, truncated toward zero (the range is checked by the reader).
  static int32_t Units(double degrees) { return static_cast<int32_t>(degrees * 1e7); }

  int32_t Altitude(const GpxPoint& point) const {
    if (!point.elevation) return kNoAltitude;
    if (*point.elevation <= -2147483648.0 || *point.elevation >= 2147483648.0) {
      Fail(point.line, "the elevation is out of range");
    }
    return static_cast<int32_t>(*point.elevation);
  }

  x9::TrackPoint TrackPoint(const GpxPoint& point) const {
    x9::TrackPoint out{};
    if (!point.time) Fail(point.line, "a track point without <time> (the watch times every point)");
    // The module hands the host these fields as its 32-bit wall clock: a time the host cannot
    // hold is refused here, as the transfer list's reader refuses it.
    const std::optional<CivilTime> local = LocalFromUtc(*point.time);
    if (!local || !HostWallClock(*point.time)) Fail(point.line, HostTimeRefusal(*point.time));
    out.year = static_cast<int32_t>(local->year);
    out.month = local->month;
    out.day = local->day;
    out.hour = local->hour;
    out.minute = local->minute;
    out.second = local->second;
    out.latitude = Units(point.latitude);
    out.longitude = Units(point.longitude);
    out.altitude = Altitude(point);
    if (point.value32) {
      const double tenths = *point.value32 / 10.0;
      if (tenths != std::floor(tenths) || tenths < 0 || tenths > 65535) {
        Fail(point.line, "x9:value32 must be a multiple of 10 from 0 to 655350");
      }
      out.value40 = static_cast<uint16_t>(tenths);
    }
    if (point.value72) {
      const double value = *point.value72;
      if (value != std::floor(value) || value < -2147483648.0 || value >= 2147483648.0) {
        Fail(point.line, "x9:value72 must be a whole number");
      }
      out.value36 = static_cast<int32_t>(value);
    }
    return out;
  }

  x9::RoutePoint RoutePoint(const GpxPoint& point) const {
    x9::RoutePoint out{};
    Name(out.name, point.name, "point name", point.line);
    out.latitude = Units(point.latitude);
    out.longitude = Units(point.longitude);
    out.altitude = Altitude(point);
    return out;
  }

 private:
  std::string source_;
  std::vector<std::string>& warnings_;
};

std::string FieldText(const char (&field)[x9::kDeviceNameField]) {
  const void* zero = std::memchr(field, 0, sizeof field);
  const size_t length =
      zero == nullptr ? sizeof field : static_cast<size_t>(static_cast<const char*>(zero) - field);
  return Utf8FromCp932(std::string_view(field, length));
}

GpxPoint PointFrom(const x9::RoutePoint& point) {
  GpxPoint out;
  out.latitude = static_cast<double>(point.latitude) * 1e-7;
  out.longitude = static_cast<double>(point.longitude) * 1e-7;
  // By value: the records are packed, and a reference to a field may be misaligned.
  if (point.altitude != kNoAltitude) out.elevation = static_cast<double>(point.altitude);
  out.name = FieldText(point.name);
  return out;
}

GpxPoint PointFrom(const x9::TrackPoint& point) {
  GpxPoint out;
  out.latitude = static_cast<double>(point.latitude) * 1e-7;
  out.longitude = static_cast<double>(point.longitude) * 1e-7;
  // By value: the records are packed, and a reference to a field may be misaligned.
  if (point.altitude != kNoAltitude) out.elevation = static_cast<double>(point.altitude);
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
  if (point.value36 != 0) out.value72 = static_cast<float>(point.value36);
  return out;
}

}  // namespace

WatchContent WatchFromGpx(const GpxDocument& document, const std::string& sourceName,
                          std::vector<std::string>& warnings) {
  const Converter convert(sourceName, warnings);
  WatchContent content;
  if (!document.waypoints.empty()) {
    WatchRoute& myPoints = content.routes.emplace_back();
    std::memcpy(myPoints.header.name, x9::kMyPointsName, sizeof x9::kMyPointsName);
    for (const GpxPoint& point : document.waypoints) {
      myPoints.points.push_back(convert.RoutePoint(point));
    }
  }
  for (const GpxRoute& route : document.routes) {
    WatchRoute& out = content.routes.emplace_back();
    convert.Name(out.header.name, route.name, "route name", route.line);
    if (x9::IsMyPointsName(out.header.name)) {
      convert.Fail(route.line,
                   "the route name \"" + route.name +
                       "\" is the watch's waypoint collection: give waypoints as <wpt>");
    }
    for (const GpxPoint& point : route.points)
      out.points.push_back(convert.RoutePoint(point));
  }
  for (const GpxTrack& track : document.tracks) {
    WatchTrack& out = content.tracks.emplace_back();
    for (const auto& segment : track.segments) {
      for (const GpxPoint& point : segment)
        out.points.push_back(convert.TrackPoint(point));
    }
  }
  for (WatchRoute& route : content.routes) {
    route.header.pointCount = static_cast<int32_t>(route.points.size());
  }
  for (WatchTrack& track : content.tracks) {
    track.header.pointCount = static_cast<int32_t>(track.points.size());
  }
  return content;
}

void LoadWatch(const WatchContent& content) {
  X9Watch_Reset();
  for (const WatchTrack& track : content.tracks) {
    X9Watch_AddTrack(&track.header, track.points.data(), static_cast<int>(track.points.size()));
  }
  for (const WatchRoute& route : content.routes) {
    X9Watch_AddRoute(&route.header, route.points.data(), static_cast<int>(route.points.size()));
  }
}

WatchContent CurrentWatch() {
  WatchContent content;
  for (int number = 1; number <= X9Watch_TrackCount(); ++number) {
    WatchTrack& track = content.tracks.emplace_back();
    track.header = *X9Watch_Track(number);
    const x9::TrackPoint* points = X9Watch_TrackPoints(number);
    track.points.assign(points, points + X9Watch_TrackPointCount(number));
  }
  for (int number = 1; number <= X9Watch_RouteCount(); ++number) {
    WatchRoute& route = content.routes.emplace_back();
    route.header = *X9Watch_Route(number);
    const x9::RoutePoint* points = X9Watch_RoutePoints(number);
    route.points.assign(points, points + X9Watch_RoutePointCount(number));
  }
  return content;
}

namespace {

template <typename Record>
bool SameBytes(const Record& a, const Record& b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

template <typename Item>
bool SameItems(const Item& a, const Item& b) {
  if (!SameBytes(a.header, b.header) || a.points.size() != b.points.size()) return false;
  for (size_t i = 0; i < a.points.size(); ++i) {
    if (!SameBytes(a.points[i], b.points[i])) return false;
  }
  return true;
}

template <typename Item>
bool SameList(const std::vector<Item>& a, const std::vector<Item>& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (!SameItems(a[i], b[i])) return false;
  }
  return true;
}

}  // namespace

bool SameWatch(const WatchContent& a, const WatchContent& b) {
  return SameList(a.tracks, b.tracks) && SameList(a.routes, b.routes);
}

GpxDocument GpxFromWatch(const WatchContent& content) {
  GpxDocument document;
  for (const WatchRoute& route : content.routes) {
    const std::string name = FieldText(route.header.name);
    if (x9::IsMyPointsName(name.c_str())) {
      for (const x9::RoutePoint& point : route.points)
        document.waypoints.push_back(PointFrom(point));
      continue;
    }
    GpxRoute& out = document.routes.emplace_back();
    out.name = name;
    for (const x9::RoutePoint& point : route.points)
      out.points.push_back(PointFrom(point));
  }
  for (const WatchTrack& track : content.tracks) {
    GpxTrack& out = document.tracks.emplace_back();
    auto& segment = out.segments.emplace_back();
    for (const x9::TrackPoint& point : track.points)
      segment.push_back(PointFrom(point));
  }
  return document;
}

}  // namespace x9host
