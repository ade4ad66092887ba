// GPX output. Written by hand on purpose: a streaming writer is a few dozen lines, needs no
// library on either platform, and gives full control over number formats (std::to_chars, never
// the locale) and element order.
#include <charconv>
#include <cmath>
#include <cstdint>
#include <string>

#include "gpx.h"
#include "wall_clock.h"

namespace x9host {
namespace {

// One element at a time, text escaped; control characters XML cannot hold are dropped.
class XmlWriter {
 public:
  explicit XmlWriter(std::string& out) : out_(out) {
    out_ += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  }

  void Open(std::string_view name) {
    CloseStartTag();
    Indent();
    out_ += '<';
    out_ += name;
    stack_.emplace_back(name);
    startOpen_ = true;
    hasChildren_ = false;
  }

  void Attribute(std::string_view name, std::string_view value) {
    out_ += ' ';
    out_ += name;
    out_ += "=\"";
    Escape(value, true);
    out_ += '"';
  }

  void Close() {
    const std::string name = stack_.back();
    stack_.pop_back();
    if (startOpen_) {
      out_ += "/>\n";
      startOpen_ = false;
    } else {
      if (hasChildren_) Indent();
      out_ += "</" + name + ">\n";
    }
    hasChildren_ = true;
  }

  // A leaf element with text content.
  void Leaf(std::string_view name, std::string_view text) {
    Open(name);
    out_ += '>';
    startOpen_ = false;
    Escape(text, false);
    out_ += "</";
    out_ += name;
    out_ += ">\n";
    stack_.pop_back();
    hasChildren_ = true;
  }

 private:
  void CloseStartTag() {
    if (startOpen_) {
      out_ += ">\n";
      startOpen_ = false;
    }
  }

  void Indent() { out_.append(stack_.size() * 2, ' '); }

  void Escape(std::string_view text, bool attribute) {
    for (const char c : text) {
      const auto u = static_cast<unsigned char>(c);
      switch (c) {
        case '&': out_ += "&amp;"; break;
        case '<': out_ += "&lt;"; break;
        case '>': out_ += "&gt;"; break;
        case '"': out_ += attribute ? "&quot;" : "\""; break;
        case '\t':
        case '\n':
        case '\r':
          if (attribute) {
            out_ += c == '\t' ? "&#9;" : c == '\n' ? "&#10;" : "&#13;";
          } else {
            out_ += c;
          }
          break;
        default:
          if (u >= 0x20 && u != 0x7F) out_ += c;
          break;
      }
    }
  }

  std::string& out_;
  std::vector<std::string> stack_;
  bool startOpen_ = false;
  bool hasChildren_ = false;
};

template <typename Number>
std::string ShortestText(Number value) {
  if (value == 0) return "0";  // also for -0.0: GPX readers need no signed zero
  char text[64];
  const auto result = std::to_chars(text, text + sizeof text, value);
  return std::string(text, result.ptr);
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

void WritePoint(XmlWriter& xml, std::string_view element, const GpxPoint& point) {
  xml.Open(element);
  xml.Attribute("lat", CoordinateText(point.latitude));
  xml.Attribute("lon", CoordinateText(point.longitude));
  if (point.elevation) xml.Leaf("ele", NumberText(*point.elevation));
  if (point.time) xml.Leaf("time", FormatUtc(*point.time));
  if (!point.name.empty()) xml.Leaf("name", point.name);
  if (point.value32 || point.value72) {
    xml.Open("extensions");
    if (point.value32) xml.Leaf("x9:value32", NumberText(*point.value32));
    if (point.value72) xml.Leaf("x9:value72", NumberText(*point.value72));
    xml.Close();
  }
  xml.Close();
}

}  // namespace

std::string CoordinateText(double degrees) {
  if (std::isfinite(degrees) && std::fabs(degrees) <= 1000) {
    const int64_t units = std::llround(degrees * 1e7);
    if (static_cast<double>(units) * 1e-7 == degrees) {
      std::string text = UnitsText(units, false);
      double back = 0;
      std::from_chars(text.data(), text.data() + text.size(), back);
      const auto truncated = static_cast<int64_t>(back * 1e7);
      return truncated == units ? text : UnitsText(units, true);
    }
  }
  return ShortestText(degrees);
}

std::string NumberText(double value) { return ShortestText(value); }
std::string NumberText(float value) { return ShortestText(value); }

std::string WriteGpx(const GpxDocument& document, std::string_view creator) {
  std::string out;
  XmlWriter xml(out);
  xml.Open("gpx");
  xml.Attribute("version", "1.1");
  xml.Attribute("creator", creator);
  xml.Attribute("xmlns", "http://www.topografix.com/GPX/1/1");
  xml.Attribute("xmlns:x9", kExtensionNamespace);
  for (const GpxPoint& point : document.waypoints)
    WritePoint(xml, "wpt", point);
  for (const GpxRoute& route : document.routes) {
    xml.Open("rte");
    if (!route.name.empty()) xml.Leaf("name", route.name);
    for (const GpxPoint& point : route.points)
      WritePoint(xml, "rtept", point);
    xml.Close();
  }
  for (const GpxTrack& track : document.tracks) {
    xml.Open("trk");
    if (!track.name.empty()) xml.Leaf("name", track.name);
    for (const auto& segment : track.segments) {
      if (segment.empty()) continue;  // GPX readers take an empty trkseg for a broken one
      xml.Open("trkseg");
      for (const GpxPoint& point : segment)
        WritePoint(xml, "trkpt", point);
      xml.Close();
    }
    xml.Close();
  }
  xml.Close();
  return out;
}

}  // namespace x9host
