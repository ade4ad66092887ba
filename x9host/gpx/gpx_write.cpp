// GPX output. Written by hand on purpose: a streaming writer is a few dozen lines, needs no
// library on either platform, and gives full control over number formats (std::to_chars, never
// the locale) and element order. Text is passed on in pieces, so that no output is held whole.
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

#include "codec/wall_clock.h"
#include "gpx/gpx.h"

namespace x9host {
namespace {

// The fewest digits that read back as the same value, always in plain decimal notation: GPX's
// numbers are xsd:decimal, which has no exponent ("1e-05" is not one).
template <typename Number>
std::string ExactText(Number value) {
  if (value == 0) return "0";  // also for -0.0: GPX readers need no signed zero
  // The longest: a double's largest magnitude has 309 digits, its smallest 324 decimals.
  char text[512];
  const auto result = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed);
  return std::string(text, result.ptr);
}

template <typename Number>
std::string ShortestText(Number value) {
  const std::string shortest = ExactText(value);
  const size_t digits = DecimalDigits(shortest);
  const size_t point = shortest.find('.');
  if (digits <= kMaxDecimalDigits || point == std::string::npos) return shortest;
  // Too many digits for a validator's decimal: the nearest number that has few enough, which
  // the readers warn of where it is not the value read.
  const size_t whole = DecimalDigits(shortest.substr(0, point));
  if (whole >= kMaxDecimalDigits) return shortest;
  char text[512];
  const auto result = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed,
                                    static_cast<int>(kMaxDecimalDigits - whole));
  std::string rounded(text, result.ptr);
  while (rounded.back() == '0')
    rounded.pop_back();
  if (rounded.back() == '.') rounded.pop_back();
  return rounded == "-0" ? "0" : rounded;
}

std::string UnitsText(int64_t units, bool extend) {
  const bool negative = units < 0;
  const uint64_t magnitude =
      negative ? 0 - static_cast<uint64_t>(units) : static_cast<uint64_t>(units);
  std::string fraction = std::to_string(magnitude % 10000000);
  fraction.insert(0, 7 - fraction.size(), '0');
  std::string text = (negative ? "-" : "") + std::to_string(magnitude / 10000000) + '.' + fraction;
  // Four more digits lift the value clear of the rounding of text to double and of the
  // product with 1e7, while any reader rounding to 7 decimals still sees the same unit.
  if (extend) text += "0001";
  return text;
}

}  // namespace

size_t DecimalDigits(std::string_view text) {
  size_t digits = 0;
  bool leading = true;  // "0.5" has one digit, as a validator counts it
  for (const char c : text) {
    if (c == '.') leading = false;
    if (c < '0' || c > '9') continue;
    if (leading && c == '0') continue;
    leading = false;
    ++digits;
  }
  return digits;
}

std::string CoordinateText(double degrees) {
  if (std::isfinite(degrees) && std::fabs(degrees) <= 1000) {
    const int64_t units = std::llround(degrees * 1e7);
    std::string text = UnitsText(units, false);
    double back = 0;
    std::from_chars(text.data(), text.data() + text.size(), back);
    // A whole number of the watch's units, as the module gives it (units times 1e-7) or as its
    // seven decimals read back: both are written as those decimals, so a list x9host wrote is
    // written again byte for byte.
    if (static_cast<double>(units) * 1e-7 == degrees || back == degrees) {
      const auto truncated = static_cast<int64_t>(back * 1e7);
      return truncated == units ? text : UnitsText(units, true);
    }
  }
  return ShortestText(degrees);
}

std::string LongitudeText(double degrees) {
  return CoordinateText(degrees == 180 ? -180 : degrees);
}

std::string NumberText(double value) { return ShortestText(value); }
std::string ExactNumberText(double value) { return ExactText(value); }
std::string NumberText(float value) { return ShortestText(value); }

template <typename Number>
bool Fits(Number value) {
  const std::string text = ShortestText(value);
  Number back = 0;
  std::from_chars(text.data(), text.data() + text.size(), back);
  return DecimalDigits(text) <= kMaxDecimalDigits && back == value;
}

bool FitsGpxDecimal(double value) { return Fits(value); }
bool FitsGpxDecimal(float value) { return Fits(value); }

constexpr size_t kPiece = 65536;

GpxWriter::GpxWriter(Out out, std::string_view creator) : out_(std::move(out)) {
  buffer_.reserve(kPiece + 4096);
  buffer_ += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";  // not a message: the XML declaration
  Open("gpx");
  Attribute("version", "1.1");
  Attribute("creator", creator);
  Attribute("xmlns", "http://www.topografix.com/GPX/1/1");
  Attribute("xmlns:x9", kExtensionNamespace);
}

void GpxWriter::Waypoint(const GpxPoint& point) { Point("wpt", point); }

void GpxWriter::StartRoute(std::string_view name) {
  Open("rte");
  if (!name.empty()) Leaf("name", name);
}

void GpxWriter::RoutePoint(const GpxPoint& point) { Point("rtept", point); }

void GpxWriter::StartTrack(std::string_view name) {
  Open("trk");
  if (!name.empty()) Leaf("name", name);
}

void GpxWriter::StartSegment() {
  if (segmentOpen_) {
    Close();
    segmentOpen_ = false;
  }
  // Opened with its first point: GPX readers take an empty trkseg for a broken one.
}

void GpxWriter::TrackPoint(const GpxPoint& point) {
  if (!segmentOpen_) {
    Open("trkseg");
    segmentOpen_ = true;
  }
  Point("trkpt", point);
}

void GpxWriter::End() {
  if (segmentOpen_) Close();
  segmentOpen_ = false;
  Close();
}

void GpxWriter::Finish() {
  while (!stack_.empty())
    Close();
  Flush(true);
}

void GpxWriter::Open(std::string_view name) {
  CloseStartTag();
  Indent();
  buffer_ += '<';
  buffer_ += name;
  stack_.push_back(name);
  startOpen_ = true;
  hasChildren_ = false;
}

void GpxWriter::Attribute(std::string_view name, std::string_view value) {
  buffer_ += ' ';
  buffer_ += name;
  buffer_ += "=\"";
  Escape(value, true);
  buffer_ += '"';
}

void GpxWriter::Close() {
  const std::string_view name = stack_.back();
  stack_.pop_back();
  if (startOpen_) {
    buffer_ += "/>\n";
    startOpen_ = false;
  } else {
    if (hasChildren_) Indent();
    buffer_ += "</";
    buffer_ += name;
    buffer_ += ">\n";
  }
  hasChildren_ = true;
}

void GpxWriter::Leaf(std::string_view name, std::string_view text) {
  Open(name);
  buffer_ += '>';
  startOpen_ = false;
  Escape(text, false);
  buffer_ += "</";
  buffer_ += name;
  buffer_ += ">\n";
  stack_.pop_back();
  hasChildren_ = true;
}

void GpxWriter::CloseStartTag() {
  if (startOpen_) {
    buffer_ += ">\n";
    startOpen_ = false;
  }
}

void GpxWriter::Indent() { buffer_.append(stack_.size() * 2, ' '); }

// Text escaped; control characters XML cannot hold are dropped (no GPX file can give them, so
// only a watch's names may hold them). Everything a file can give is written so that it reads
// back the same.
void GpxWriter::Escape(std::string_view text, bool attribute) {
  for (const char c : text) {
    const auto u = static_cast<unsigned char>(c);
    switch (c) {
      case '&': buffer_ += "&amp;"; break;
      case '<': buffer_ += "&lt;"; break;
      case '>': buffer_ += "&gt;"; break;
      case '"': buffer_ += attribute ? "&quot;" : "\""; break;
      case '\r':
        // A reader turns a raw one into a line feed.
        buffer_ += "&#13;";
        break;
      case '\t':
      case '\n':
        if (attribute) {
          buffer_ += c == '\t' ? "&#9;" : "&#10;";
        } else {
          buffer_ += c;
        }
        break;
      case '\x7F':
        // XML 1.0 takes it raw, but it is one of the characters the recommendation discourages.
        buffer_ += "&#127;";
        break;
      default:
        if (u >= 0x20) buffer_ += c;
        break;
    }
  }
}

void GpxWriter::Point(std::string_view element, const GpxPoint& point) {
  Open(element);
  Attribute("lat", CoordinateText(point.latitude));
  Attribute("lon", LongitudeText(point.longitude));
  if (point.elevation) Leaf("ele", NumberText(*point.elevation));
  if (point.time) Leaf("time", FormatUtc(*point.time));
  if (!point.name.empty()) Leaf("name", point.name);
  if (point.value32 || point.value72) {
    Open("extensions");
    if (point.value32) Leaf("x9:value32", NumberText(*point.value32));
    if (point.value72) {
      // The host's float in its own shortest form; a watch's whole number beyond it in full.
      const double value = *point.value72;
      const bool fits = std::fabs(value) <= std::numeric_limits<float>::max() &&
                        static_cast<double>(static_cast<float>(value)) == value;
      Leaf("x9:value72", fits ? NumberText(static_cast<float>(value)) : NumberText(value));
    }
    Close();
  }
  Close();
  Flush(false);
}

void GpxWriter::Flush(bool always) {
  if (buffer_.size() < kPiece && !always) return;
  if (!buffer_.empty()) out_(buffer_);
  buffer_.clear();
}

std::string WriteGpx(const GpxDocument& document, std::string_view creator) {
  std::string text;
  GpxWriter gpx([&](std::string_view piece) { text += piece; }, creator);
  for (const GpxPoint& point : document.waypoints)
    gpx.Waypoint(point);
  for (const GpxRoute& route : document.routes) {
    gpx.StartRoute(route.name);
    for (const GpxPoint& point : route.points)
      gpx.RoutePoint(point);
    gpx.End();
  }
  for (const GpxTrack& track : document.tracks) {
    gpx.StartTrack(track.name);
    for (const auto& segment : track.segments) {
      gpx.StartSegment();
      for (const GpxPoint& point : segment)
        gpx.TrackPoint(point);
    }
    gpx.End();
  }
  gpx.Finish();
  return text;
}

}  // namespace x9host
