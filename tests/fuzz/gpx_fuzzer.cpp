// The GPX reader's fuzzer: any bytes, read as GPX; a file that is read is written, read again
// and must be the same document; the watch's and the transfer list's readers take the same
// bytes. A refusal is fine (InputError); a crash, a sanitizer report, any other exception or a
// second reading that differs is a finding.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "content/transfer_list.h"
#include "content/watch_content.h"
#include "gpx/gpx.h"
#include "os/input_error.h"

namespace {

using namespace x9host;

void Require(bool condition, const char* what) {
  if (condition) return;
  std::fprintf(stderr, "gpx_fuzzer: %s\n", what);
  std::abort();
}

bool SameNumber(const std::optional<double>& a, const std::optional<double>& b) {
  return a.has_value() == b.has_value() && (!a || *a == *b);
}

// A text as the writer puts it and a reader gets it back: the control characters the writer
// drops gone (DEL it keeps, as a reference), then the white space around it trimmed as the
// reader trims names.
std::string AsWritten(const std::string& text) {
  std::string out;
  for (const char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if (u >= 0x20 || c == '\t' || c == '\n' || c == '\r') out += c;
  }
  const auto space = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
  size_t begin = 0, end = out.size();
  while (begin < end && space(out[begin]))
    ++begin;
  while (end > begin && space(out[end - 1]))
    --end;
  return out.substr(begin, end - begin);
}

void SamePoint(const GpxPoint& a, const GpxPoint& b) {
  // Coordinates as the writer shows them: the text of the second reading is the first's.
  Require(CoordinateText(a.latitude) == CoordinateText(b.latitude), "latitude");
  Require(CoordinateText(a.longitude) == CoordinateText(b.longitude), "longitude");
  Require(SameNumber(a.elevation, b.elevation), "elevation");
  Require(a.time == b.time, "time");
  Require(AsWritten(a.name) == b.name, "name");
  Require(SameNumber(a.value32, b.value32), "value32");
  Require(
      a.value72.has_value() == b.value72.has_value() && (!a.value72 || *a.value72 == *b.value72),
      "value72");
}

// The points of a track in order: the writer leaves empty segments out.
std::vector<const GpxPoint*> Points(const GpxTrack& track) {
  std::vector<const GpxPoint*> out;
  for (const auto& segment : track.segments)
    for (const GpxPoint& point : segment)
      out.push_back(&point);
  return out;
}

size_t NonEmptySegments(const GpxTrack& track) {
  size_t count = 0;
  for (const auto& segment : track.segments)
    count += segment.empty() ? 0 : 1;
  return count;
}

void SameDocument(const GpxDocument& a, const GpxDocument& b) {
  Require(a.waypoints.size() == b.waypoints.size(), "waypoint count");
  for (size_t i = 0; i < a.waypoints.size(); ++i)
    SamePoint(a.waypoints[i], b.waypoints[i]);
  Require(a.routes.size() == b.routes.size(), "route count");
  for (size_t i = 0; i < a.routes.size(); ++i) {
    Require(AsWritten(a.routes[i].name) == b.routes[i].name, "route name");
    Require(a.routes[i].points.size() == b.routes[i].points.size(), "route point count");
    for (size_t k = 0; k < a.routes[i].points.size(); ++k)
      SamePoint(a.routes[i].points[k], b.routes[i].points[k]);
  }
  Require(a.tracks.size() == b.tracks.size(), "track count");
  for (size_t i = 0; i < a.tracks.size(); ++i) {
    Require(AsWritten(a.tracks[i].name) == b.tracks[i].name, "track name");
    Require(NonEmptySegments(a.tracks[i]) == b.tracks[i].segments.size(), "segment count");
    const auto pa = Points(a.tracks[i]), pb = Points(b.tracks[i]);
    Require(pa.size() == pb.size(), "track point count");
    for (size_t k = 0; k < pa.size(); ++k)
      SamePoint(*pa[k], *pb[k]);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  GpxDocument first;
  try {
    first = ParseGpx(bytes, "f.gpx");
  } catch (const InputError&) {
    return 0;
  }
  const std::string written = WriteGpx(first, "fuzz");
  GpxDocument second;
  try {
    second = ParseGpx(written, "w.gpx");
  } catch (const InputError& error) {
    std::fprintf(stderr, "gpx_fuzzer: the written GPX is refused: %s\n", error.what());
    std::abort();
  }
  SameDocument(first, second);
  Require(WriteGpx(second, "fuzz") == written, "written twice, not the same bytes");
  // The two holders read the same bytes; they may refuse what the document form keeps.
  std::vector<std::string> warnings;
  try {
    TransferListFromGpxText(bytes, "f.gpx", warnings);
  } catch (const InputError&) {
  }
  try {
    WatchFromGpxText(bytes, "f.gpx", warnings);
  } catch (const InputError&) {
  }
  return 0;
}
