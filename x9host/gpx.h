// GPX 1.1 as x9host uses it: waypoints, routes and tracks with the few fields the watch and the
// host keep, plus two values of the host's track points that GPX has no element for.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace x9host {

// Our own namespace for what GPX lacks.
inline constexpr char kExtensionNamespace[] = "urn:x9link:gpx-extensions:1";

struct GpxPoint {
  double latitude = 0;              // degrees
  double longitude = 0;             // degrees
  std::optional<double> elevation;  // metres
  std::optional<int64_t> time;      // UTC seconds
  std::string name;                 // UTF-8
  // The host's track-point values at item offsets 32 and 72 (x9:value32, x9:value72).
  std::optional<double> value32;
  std::optional<float> value72;
  int line = 0;  // where it was read; 0 when made here
};

struct GpxRoute {
  std::string name;
  std::vector<GpxPoint> points;
  int line = 0;
};

struct GpxTrack {
  std::string name;
  std::vector<std::vector<GpxPoint>> segments;
  int line = 0;

  size_t PointCount() const {
    size_t count = 0;
    for (const auto& segment : segments)
      count += segment.size();
    return count;
  }
};

struct GpxDocument {
  std::vector<GpxPoint> waypoints;
  std::vector<GpxRoute> routes;
  std::vector<GpxTrack> tracks;

  bool Empty() const { return waypoints.empty() && routes.empty() && tracks.empty(); }
};

// The file's bytes as UTF-8 for the XML readers. UTF-8 (or ASCII), UTF-16 with a byte order
// mark, ISO-8859-1 and Shift_JIS (declared as Shift_JIS, Shift-JIS, SJIS, Windows-31J, CP932
// or MS932, in any case) are read; the declaration then says UTF-8, and every line stays where
// it was. Throws InputError naming another declared encoding, a declaration that contradicts
// the byte order mark, or bytes that are not of the declared encoding (with the line).
std::string Utf8GpxText(std::string_view bytes, const std::string& sourceName);

// Reads a GPX 1.0 or 1.1 file held in memory, in any encoding Utf8GpxText reads. Throws
// InputError naming sourceName (and the line) for XML that is not well-formed, a root that is
// not gpx, a point without valid coordinates, a malformed number or time, or text that is not
// UTF-8. A file without waypoints, routes or tracks is an empty document.
GpxDocument ParseGpx(std::string_view bytes, const std::string& sourceName);

// The whole document as GPX 1.1 in UTF-8: elements in the schema's order, no ele for a point
// without elevation, no empty trkseg, the extension values under our namespace.
std::string WriteGpx(const GpxDocument& document, std::string_view creator);

// Coordinates as text. A value that is a whole number of 1e-7 degrees, as every coordinate
// from the watch is, is written with 7 decimals, and longer only when those 7 would read back
// below the unit under the truncation the watch's loader applies. Any other value is written
// in the shortest form that reads back as the same double.
std::string CoordinateText(double degrees);
// Other numbers: the shortest form that reads back as the same value; never locale-dependent.
std::string NumberText(double value);
std::string NumberText(float value);

}  // namespace x9host
