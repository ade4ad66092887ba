// GPX rules over the parsed element tree; the parser itself sits behind xml_reader.h.
#include <charconv>
#include <cmath>
#include <limits>
#include <string>

#include "gpx.h"
#include "input_error.h"
#include "wall_clock.h"
#include "xml_reader.h"

namespace x9host {
namespace {

std::string_view Trim(std::string_view text) {
  const auto space = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
  while (!text.empty() && space(text.front()))
    text.remove_prefix(1);
  while (!text.empty() && space(text.back()))
    text.remove_suffix(1);
  return text;
}

bool ValidUtf8(std::string_view text) {
  size_t i = 0;
  while (i < text.size()) {
    const auto c = static_cast<unsigned char>(text[i]);
    size_t length;
    uint32_t code;
    if (c < 0x80) {
      ++i;
      continue;
    } else if (c >= 0xC2 && c <= 0xDF) {
      length = 2;
      code = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
      length = 3;
      code = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
      length = 4;
      code = c & 0x07;
    } else {
      return false;
    }
    if (i + length > text.size()) return false;
    for (size_t k = 1; k < length; ++k) {
      const auto d = static_cast<unsigned char>(text[i + k]);
      if ((d & 0xC0) != 0x80) return false;
      code = (code << 6) | (d & 0x3F);
    }
    const uint32_t minimum = length == 2 ? 0x80 : length == 3 ? 0x800 : 0x10000;
    if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
    i += length;
  }
  return true;
}

class Interpreter {
 public:
  explicit Interpreter(const std::string& source) : source_(source) {}

  GpxDocument Read(const XmlElement& root) {
    if (root.name != "gpx") {
      throw InputError(source_ + ": not a GPX file (the root element is <" + root.name + ">)");
    }
    gpxNamespace_ = root.namespaceUri;
    GpxDocument document;
    for (const XmlElement& child : root.children) {
      if (!IsGpx(child)) continue;
      if (child.name == "wpt") {
        document.waypoints.push_back(Point(child));
      } else if (child.name == "rte") {
        GpxRoute& route = document.routes.emplace_back();
        route.line = child.line;
        for (const XmlElement& part : child.children) {
          if (!IsGpx(part)) continue;
          if (part.name == "name") route.name = Text(part);
          if (part.name == "rtept") route.points.push_back(Point(part));
        }
      } else if (child.name == "trk") {
        GpxTrack& track = document.tracks.emplace_back();
        track.line = child.line;
        for (const XmlElement& part : child.children) {
          if (!IsGpx(part)) continue;
          if (part.name == "name") track.name = Text(part);
          if (part.name != "trkseg") continue;
          auto& segment = track.segments.emplace_back();
          for (const XmlElement& point : part.children) {
            if (IsGpx(point) && point.name == "trkpt") segment.push_back(Point(point));
          }
        }
      }
    }
    return document;
  }

 private:
  bool IsGpx(const XmlElement& element) const { return element.namespaceUri == gpxNamespace_; }

  [[noreturn]] void Fail(const XmlElement& element, const std::string& what) const {
    throw InputError(source_ + ": line " + std::to_string(element.line) + ": " + what);
  }

  std::string Text(const XmlElement& element) const {
    const std::string_view text = Trim(element.text);
    if (!ValidUtf8(text)) Fail(element, "<" + element.name + "> is not valid UTF-8");
    return std::string(text);
  }

  double Number(const XmlElement& where, std::string_view label, std::string_view text) const {
    text = Trim(text);
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() ||
        !std::isfinite(value)) {
      Fail(where, std::string(label) + " \"" + std::string(text) + "\" is not a number");
    }
    return value;
  }

  GpxPoint Point(const XmlElement& element) const {
    GpxPoint point;
    point.line = element.line;
    const std::string* lat = element.Attribute("lat");
    const std::string* lon = element.Attribute("lon");
    if (lat == nullptr || lon == nullptr)
      Fail(element, "<" + element.name + "> without lat and lon");
    point.latitude = Number(element, "latitude", *lat);
    point.longitude = Number(element, "longitude", *lon);
    if (point.latitude < -90 || point.latitude > 90) {
      Fail(element, "latitude " + *lat + " is outside -90 to 90 degrees");
    }
    if (point.longitude < -180 || point.longitude > 180) {
      Fail(element, "longitude " + *lon + " is outside -180 to 180 degrees");
    }
    for (const XmlElement& child : element.children) {
      if (IsGpx(child)) {
        if (child.name == "ele") point.elevation = Number(child, "elevation", child.text);
        if (child.name == "name") point.name = Text(child);
        if (child.name == "time") {
          point.time = ParseDateTime(child.text);
          if (!point.time)
            Fail(child, "time \"" + std::string(Trim(child.text)) + "\" is not a date and time");
        }
        if (child.name == "extensions") Extensions(child, point);
      }
    }
    return point;
  }

  void Extensions(const XmlElement& extensions, GpxPoint& point) const {
    for (const XmlElement& value : extensions.children) {
      if (value.namespaceUri != kExtensionNamespace) continue;
      if (value.name == "value32") point.value32 = Number(value, "value32", value.text);
      if (value.name == "value72") {
        const double number = Number(value, "value72", value.text);
        if (std::fabs(number) > std::numeric_limits<float>::max()) {
          Fail(value, "value72 is out of range");
        }
        point.value72 = static_cast<float>(number);
      }
    }
  }

  std::string source_;
  std::string gpxNamespace_;
};

}  // namespace

GpxDocument ParseGpx(std::string_view bytes, const std::string& sourceName) {
  const std::string text = Utf8GpxText(bytes, sourceName);
  const XmlElement root = ParseXmlDocument(text, sourceName);
  return Interpreter(sourceName).Read(root);
}

}  // namespace x9host
