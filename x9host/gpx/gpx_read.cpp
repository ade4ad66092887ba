// GPX rules over the parser's events, in one pass: each point is handed on as soon as its end
// tag is read, and nothing of the document is kept beyond the point being read and the
// elements open around it. The parser itself sits behind xml_reader.h.
#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "codec/codepage.h"
#include "codec/wall_clock.h"
#include "gpx/gpx.h"
#include "gpx/xml_reader.h"
#include "os/input_error.h"
#include "os/messages.h"

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

// Whether a valid xsd:dateTime has a fraction of a second other than zero (the watch and the
// host count whole seconds). The only '.' such a text may hold starts the fraction.
bool HasFraction(std::string_view dateTime) {
  const size_t dot = dateTime.find('.');
  if (dot == std::string_view::npos) return false;
  for (size_t i = dot + 1; i < dateTime.size() && dateTime[i] >= '0' && dateTime[i] <= '9'; ++i)
    if (dateTime[i] != '0') return true;
  return false;
}

// Whether a valid xsd:dateTime names its zone: Z or an offset (+09:00), the last six characters
// then. Without one it is no instant: GPX's times are UTC, and x9host reads it so.
bool HasZone(std::string_view dateTime) {
  if (!dateTime.empty() && dateTime.back() == 'Z') return true;
  return dateTime.size() >= 6 &&
         (dateTime[dateTime.size() - 6] == '+' || dateTime[dateTime.size() - 6] == '-');
}

constexpr GpxDropped::Loss kZoneless{&msg::kKindTimesWithoutZone, &msg::kVerbReadAsUtc, nullptr};

// Whether a valid xsd:dateTime is a leap second (hh:mm:60), which no clock here holds.
bool IsLeapSecond(std::string_view dateTime) {
  const size_t t = dateTime.find('T');
  return t != std::string_view::npos && dateTime.substr(t + 7, 2) == "60";
}

// Kinds of what is passed over, as warnings and refusals name them (the table's kind- entries).
// Every holder keeps waypoints, routes and tracks apart, and the writer writes them in GPX 1.1's
// order: one that comes after a later kind is moved.
constexpr GpxDropped::Loss kOrder{&msg::kKindOutOfOrder, &msg::kVerbMovedIntoOrder, nullptr};
constexpr const char* kSetElements[] = {"wpt", "rte", "trk"};
constexpr GpxDropped::Loss kRounded{&msg::kKindNumbersRounded, &msg::kVerbRounded, nullptr};

// The decimal a number's text names, as its significant digits and the power of ten after
// them, whatever its form: "-0012.3400e1" and "-123.4" are both "-1234e-1". Zero has no sign.
// nullopt when the text is no decimal number.
std::optional<std::string> ExactDecimal(std::string_view text) {
  text = Trim(text);
  bool negative = false;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  std::string digits;
  int64_t power = 0;
  bool point = false;
  size_t i = 0;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (c >= '0' && c <= '9') {
      digits += c;
      if (point) --power;
    } else if (c == '.' && !point) {
      point = true;
    } else {
      break;
    }
  }
  if (digits.empty()) return std::nullopt;
  const size_t lead = digits.find_first_not_of('0');
  if (lead == std::string::npos) return "0";
  if (i < text.size()) {
    if (text[i] != 'e' && text[i] != 'E') return std::nullopt;
    int64_t exponent = 0;
    const char* first = text.data() + i + 1;
    const char* last = text.data() + text.size();
    if (first != last && *first == '+') ++first;
    const auto [end, error] = std::from_chars(first, last, exponent);
    if (error != std::errc() || end != last) return std::nullopt;
    power += exponent;
  }
  const size_t end = digits.find_last_not_of('0') + 1;
  power += static_cast<int64_t>(digits.size() - end);
  return (negative ? "-" : "") + digits.substr(lead, end - lead) + "e" + std::to_string(power);
}
// Whether a decimal number's text names a value below 1 in magnitude (its first significant
// digit after the point): so it is when a double reads it as out of range and it is not huge.
bool BelowOne(std::string_view text) {
  const std::optional<std::string> exact = ExactDecimal(text);
  if (!exact) {  // an exponent past 64 bits: its sign alone decides
    const size_t e = text.find_first_of("eE");
    return e != std::string_view::npos && e + 1 < text.size() && text[e + 1] == '-';
  }
  if (*exact == "0") return true;
  const size_t e = exact->find('e');
  const size_t digits = e - (exact->front() == '-' ? 1 : 0);
  int64_t power = 0;
  std::from_chars(exact->data() + e + 1, exact->data() + exact->size(), power);
  return power + static_cast<int64_t>(digits) <= 0;
}

constexpr GpxDropped::Loss kChildOrder{&msg::kKindChildrenOutOfOrder, &msg::kVerbMovedIntoOrder,
                                       nullptr};
constexpr GpxDropped::Loss kAttributes{&msg::kKindAttributes, &msg::kVerbDropped, nullptr};
constexpr GpxDropped::Loss kLeapSeconds{&msg::kKindLeapSeconds, &msg::kVerbNextSecond, nullptr};
constexpr GpxDropped::Loss kInsideValues{&msg::kKindElementsInValues, &msg::kVerbDroppedWithText,
                                         nullptr};
constexpr GpxDropped::Loss kVersion{&msg::kKindOtherVersions, &msg::kVerbWrittenAsGpx11, nullptr};
constexpr char kGpx11[] = "http://www.topografix.com/GPX/1/1";

// The kind of a GPX element passed over with what it holds; nullptr for one without a kind of
// its own.
const os::MessageTexts* NamedKind(std::string_view element) {
  if (element == "cmt") return &msg::kKindComments;
  if (element == "desc") return &msg::kKindDescriptions;
  if (element == "link") return &msg::kKindLinks;
  if (element == "sym") return &msg::kKindSymbols;
  if (element == "metadata") return &msg::kKindMetadata;
  return nullptr;
}

class Interpreter final : public XmlHandler {
 public:
  Interpreter(const std::string& source, GpxConsumer& consumer)
      : source_(source), consumer_(consumer) {
    stack_.reserve(kMaxNesting);
  }

  GpxSummary& Summary() { return summary_; }

  void StartElement(std::string_view name, std::string_view ns, const XmlAttribute* attributes,
                    size_t attributeCount, int line) override {
    if (stack_.size() >= static_cast<size_t>(kMaxNesting)) {
      throw InputError(msg::NestedTooDeep(source_, line, kMaxNesting));
    }
    const State parent = stack_.empty() ? State::kDocument : stack_.back().state;
    Frame frame{State::kSkip, Field::kNone, line};
    const bool gpx = ns == gpxNamespace_;
    switch (parent) {
      case State::kDocument:
        if (name != "gpx") {
          throw InputError(msg::NotGpx(source_, ShownValue(name)));
        }
        gpxNamespace_ = std::string(ns);
        frame.state = State::kGpx;
        Root(attributes, attributeCount, line);
        break;
      case State::kGpx:
        if (gpx && name == "wpt") {
          InOrder(0, line);
          frame.state = StartPoint(State::kWaypoint, attributes, attributeCount, name, line);
        } else if (gpx && name == "rte") {
          InOrder(1, line);
          frame.state = State::kRoute;
          captured_ = 0;
          setChild_ = {};
          ++summary_.routes;
          consumer_.StartRoute(line);
        } else if (gpx && name == "trk") {
          InOrder(2, line);
          frame.state = State::kTrack;
          captured_ = 0;
          setChild_ = {};
          ++summary_.tracks;
          segmentsWithPoints_ = 0;
          segments_ = 0;
          emptySegments_ = 0;
          consumer_.StartTrack(line);
        } else {
          Other(gpx, name, frame);
        }
        break;
      case State::kRoute:
      case State::kTrack:
        if (gpx && name == "name") {
          ChildInOrder(setChild_, 0, name, line);
          frame = CaptureOnce(Field::kSetName, name, line);
        } else if (gpx && parent == State::kRoute && name == "rtept") {
          ChildInOrder(setChild_, 1, name, line);
          frame.state = StartPoint(State::kRoutePoint, attributes, attributeCount, name, line);
        } else if (gpx && parent == State::kTrack && name == "trkseg") {
          ChildInOrder(setChild_, 1, name, line);
          frame.state = State::kSegment;
          segmentHasPoints_ = false;
          ++segments_;
          segmentLine_ = line;
          consumer_.StartSegment();
        } else {
          Other(gpx, name, frame);
        }
        break;
      case State::kSegment:
        if (gpx && name == "trkpt") {
          frame.state = StartPoint(State::kTrackPoint, attributes, attributeCount, name, line);
          if (!segmentHasPoints_ && ++segmentsWithPoints_ == 2) breakLine_ = line;
          segmentHasPoints_ = true;
        } else {
          Other(gpx, name, frame);
        }
        break;
      case State::kWaypoint:
      case State::kRoutePoint:
      case State::kTrackPoint:
        if (gpx && name == "ele") {
          ChildInOrder(pointChild_, 0, name, line);
          frame = CaptureOnce(Field::kElevation, name, line);
        } else if (gpx && name == "time") {
          ChildInOrder(pointChild_, 1, name, line);
          frame = CaptureOnce(Field::kTime, name, line);
        } else if (gpx && name == "name") {
          ChildInOrder(pointChild_, 2, name, line);
          frame = CaptureOnce(Field::kName, name, line);
        } else if (gpx && name == "extensions") {
          ChildInOrder(pointChild_, 3, name, line);
          frame.state = State::kPointExtensions;
        } else {
          Other(gpx, name, frame);
        }
        break;
      case State::kPointExtensions:
        if (ns == kExtensionNamespace && (name == "value32" || name == "value72")) {
          frame = CaptureOnce(name == "value32" ? Field::kValue32 : Field::kValue72, name, line);
        } else {
          summary_.dropped.Add(msg::kKindForeignExtensions, 1, line);
        }
        break;
      case State::kExtensions: summary_.dropped.Add(msg::kKindForeignExtensions, 1, line); break;
      case State::kCapture:
        // A value is text alone: an element in it is dropped with what it holds, which would
        // otherwise go in silence, or run into the value's text.
        summary_.dropped.Add(kInsideValues, line, "<" + ShownValue(name) + ">", 1,
                             {ValueElement(stack_.back().field)});
        break;
      case State::kSkip: break;
    }
    // The attributes of what is kept: the root's and the coordinates were read above; with what
    // is dropped its attributes go too, in the element's own count.
    const bool point = frame.state == State::kWaypoint || frame.state == State::kRoutePoint ||
                       frame.state == State::kTrackPoint;
    if (frame.state != State::kSkip && frame.state != State::kGpx) {
      for (size_t i = 0; i < attributeCount; ++i) {
        if (point && IsCoordinate(attributes[i])) continue;
        DropAttribute(name, attributes[i], line);
      }
    }
    if (frame.state == State::kCapture) text_.clear();
    stack_.push_back(frame);
  }

  void EndElement() override {
    const Frame frame = stack_.back();
    stack_.pop_back();
    switch (frame.state) {
      case State::kCapture: Capture(frame); break;
      case State::kWaypoint:
        ++summary_.waypoints;
        CheckValues();
        consumer_.Waypoint(point_);
        break;
      case State::kRoutePoint:
        CheckValues();
        consumer_.RoutePoint(point_);
        break;
      case State::kTrackPoint: consumer_.TrackPoint(point_); break;
      case State::kSegment:
        if (!segmentHasPoints_ && ++emptySegments_ == 1) emptySegmentLine_ = segmentLine_;
        break;
      case State::kTrack:
        if (segmentsWithPoints_ > 1)
          summary_.dropped.Add(msg::kKindSegmentBreaks, segmentsWithPoints_ - 1, breakLine_);
        // A track is written as one segment: an empty one beside others leaves no trace.
        if (segments_ > 1 && emptySegments_ > 0) {
          summary_.dropped.Add(msg::kKindEmptySegments,
                               emptySegments_ == segments_ ? segments_ - 1 : emptySegments_,
                               emptySegmentLine_);
        }
        consumer_.End();
        break;
      case State::kRoute: consumer_.End(); break;
      default: break;
    }
  }

  void Comment(int line) override { summary_.dropped.Add(msg::kKindXmlComments, 1, line); }
  void Instruction(int line) override { summary_.dropped.Add(msg::kKindInstructions, 1, line); }

  void Text(std::string_view utf8) override {
    if (stack_.empty()) return;
    const Frame& frame = stack_.back();
    if (frame.state == State::kCapture) {
      text_ += utf8;
      return;
    }
    // Text between the elements GPX gives a place (not inside one dropped whole): no holder
    // has a place for it. Counted once for each element it stands in.
    if (frame.state == State::kSkip || frame.state == State::kExtensions) return;
    if (utf8.find_first_not_of(" \t\r\n") == std::string_view::npos) return;
    if (strayIn_ == stack_.size() && strayLine_ == frame.line) return;
    strayIn_ = stack_.size();
    strayLine_ = frame.line;
    summary_.dropped.Add(msg::kKindStrayText, 1, frame.line);
  }

 private:
  enum class State {
    kDocument,
    kGpx,
    kWaypoint,
    kRoute,
    kRoutePoint,
    kTrack,
    kSegment,
    kTrackPoint,
    kPointExtensions,
    kExtensions,  // of anything but a point: nothing in it is ours
    kCapture,     // an element whose text is a value
    kSkip,        // passed over with everything inside
  };
  enum class Field { kNone, kSetName, kName, kElevation, kTime, kValue32, kValue72 };
  struct Frame {
    State state;
    Field field;
    int line;
  };

  // The element a value is read from, as the warnings name it.
  static const char* ValueElement(Field field) {
    switch (field) {
      case Field::kElevation: return "ele";
      case Field::kTime: return "time";
      case Field::kValue32: return "x9:value32";
      case Field::kValue72: return "x9:value72";
      default: return "name";
    }
  }

  // A value is read from its first element; another of the same point, route or track is
  // dropped with a warning, not read over it in silence.
  Frame CaptureOnce(Field field, std::string_view element, int line) {
    const unsigned bit = 1u << static_cast<unsigned>(field);
    if ((captured_ & bit) != 0) {
      summary_.dropped.Add(msg::kKindRepeatedElements, 1, line, {std::string(element)});
      return {State::kSkip, Field::kNone, line};
    }
    captured_ |= bit;
    return {State::kCapture, field, line};
  }

  // An element GPX has that is not kept, or one of another namespace.
  void Other(bool gpx, std::string_view name, Frame& frame) {
    if (gpx && name == "extensions") {
      frame.state = State::kExtensions;
    } else {
      if (!gpx) {
        summary_.dropped.Add(msg::kKindForeignExtensions, 1, frame.line);
      } else if (const os::MessageTexts* kind = NamedKind(name)) {
        summary_.dropped.Add(*kind, 1, frame.line);
      } else if (otherKinds_ < kOtherKinds) {
        const size_t before = summary_.dropped.Kinds().size();
        summary_.dropped.Add(msg::kKindOtherElement, 1, frame.line, {ShownValue(name)});
        if (summary_.dropped.Kinds().size() != before) ++otherKinds_;
      } else {
        // A file of endless invented names: counted together, not kind by kind.
        summary_.dropped.Add(msg::kKindOtherElements, 1, frame.line);
      }
    }
  }

  // What is kept of a point (ele, time, name, extensions) or a set (its name, then its points)
  // is written in GPX 1.1's order: an element met after a later one is moved, with a warning.
  // latest holds the order and name of the latest met; order is this element's.
  struct Latest {
    int order = -1;
    std::string name;
  };
  void ChildInOrder(Latest& latest, int order, std::string_view element, int line) {
    if (order >= latest.order) {
      if (order > latest.order) latest = {order, std::string(element)};
      return;
    }
    summary_.dropped.Add(kChildOrder, line, msg::ElementAfter(element, latest.name));
  }

  // kind indexes kSetElements.
  void InOrder(int kind, int line) {
    if (kind >= latestKind_) {
      latestKind_ = kind;
      return;
    }
    summary_.dropped.Add(kOrder, line,
                         msg::ElementAfter(kSetElements[kind], kSetElements[latestKind_]));
  }

  static bool IsCoordinate(const XmlAttribute& attribute) {
    return attribute.namespaceUri.empty() && (attribute.name == "lat" || attribute.name == "lon");
  }

  void DropAttribute(std::string_view element, const XmlAttribute& attribute, int line) {
    std::string shown = "<" + ShownValue(element) + "> " + ShownValue(attribute.name);
    if (!attribute.namespaceUri.empty()) shown += " (" + ShownValue(attribute.namespaceUri) + ")";
    summary_.dropped.Add(kAttributes, line, shown);
  }

  // The root's version and creator describe the file: x9host writes GPX 1.1 under its own name
  // (the creator is the program that wrote the file, and that is x9host). A file of another
  // version is converted; any other attribute is dropped.
  void Root(const XmlAttribute* attributes, size_t count, int line) {
    std::string_view version;
    for (size_t i = 0; i < count; ++i) {
      const XmlAttribute& attribute = attributes[i];
      if (attribute.namespaceUri.empty() && attribute.name == "version") {
        version = attribute.value;
      } else if (!attribute.namespaceUri.empty() || attribute.name != "creator") {
        DropAttribute("gpx", attribute, line);
      }
    }
    if (gpxNamespace_ != kGpx11 || (!version.empty() && version != "1.1")) {
      summary_.dropped.Add(kVersion, line,
                           gpxNamespace_ == kGpx11 ? ShownValue(version)
                           : gpxNamespace_.empty() ? msg::NoNamespace()
                                                   : ShownValue(gpxNamespace_));
    }
  }

  // A number the transfer list keeps and --out writes back as it is: one GPX 1.1's decimal
  // cannot write (1e25, 1e-30) is refused, as it could not be written back. (A coordinate is
  // rounded instead, and warned of: its digits past the watch's are noise.)
  double Written(int line, const std::string& label, std::string_view text, double value) const {
    if (!std::isfinite(value) || !FitsGpxDecimal(value))
      throw InputError(
          msg::NumberTooLong(source_, line, label, QuotedValue(Trim(text)), kMaxDecimalDigits));
    return value;
  }

  // label: what the number is, in the user's language ("latitude") or as GPX names it. A
  // number whose digits a double does not hold is warned of as rounded.
  double Number(int line, const std::string& label, std::string_view text) {
    const double value = AnyNumber(line, label, text);
    if (std::isfinite(value) && ExactDecimal(text) != ExactDecimal(ExactNumberText(value))) {
      summary_.dropped.Add(
          kRounded, line, msg::ValueAs(ShownValue(Trim(text)), ShownValue(ExactNumberText(value))));
    }
    return value;
  }

  double AnyNumber(int line, const std::string& label, std::string_view text) const {
    text = Trim(text);
    std::string_view digits = text;
    if (!digits.empty() && digits.front() == '+') digits.remove_prefix(1);
    double value = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    // A number past a double either way is still a number: one nearer 0 than any double is 0
    // to every digit x9host keeps, and is read so (Number warns of it as rounded); one larger
    // than any is infinite here, for the caller to refuse by what it is (outside the
    // coordinates' range, past what GPX's decimals write back).
    if (!digits.empty() && end == digits.data() + digits.size() &&
        error == std::errc::result_out_of_range) {
      if (BelowOne(digits)) return 0;
      return (text.front() == '-' ? -1 : 1) * std::numeric_limits<double>::infinity();
    }
    if (digits.empty() || error != std::errc() || end != digits.data() + digits.size() ||
        !std::isfinite(value)) {
      throw InputError(msg::NotANumber(source_, line, label, QuotedValue(digits)));
    }
    return value;
  }

  State StartPoint(State kind, const XmlAttribute* attributes, size_t count,
                   std::string_view element, int line) {
    point_ = GpxPoint();
    point_.line = line;
    pointChild_ = {};
    captured_ &= 1u << static_cast<unsigned>(Field::kSetName);
    const XmlAttribute* lat = nullptr;
    const XmlAttribute* lon = nullptr;
    for (size_t i = 0; i < count; ++i) {
      if (!IsCoordinate(attributes[i])) continue;
      if (attributes[i].name == "lat") lat = &attributes[i];
      if (attributes[i].name == "lon") lon = &attributes[i];
    }
    if (lat == nullptr || lon == nullptr) {
      throw InputError(msg::PointWithoutCoordinates(source_, line, element));
    }
    point_.written.latitude = Trim(lat->value);
    point_.written.longitude = Trim(lon->value);
    point_.latitude = Number(line, msg::WhatLatitude(), lat->value);
    point_.longitude = Number(line, msg::WhatLongitude(), lon->value);
    if (point_.latitude < -90 || point_.latitude > 90) {
      throw InputError(msg::LatitudeOutside(source_, line, ShownValue(lat->value)));
    }
    if (point_.longitude < -180 || point_.longitude > 180) {
      throw InputError(msg::LongitudeOutside(source_, line, ShownValue(lon->value)));
    }
    return kind;
  }

  void Capture(const Frame& frame) {
    switch (frame.field) {
      case Field::kSetName: consumer_.Name(Name(frame.line)); break;
      case Field::kName: point_.name = Name(frame.line); break;
      case Field::kElevation:
        point_.written.elevation = Trim(text_);
        point_.elevation = Written(frame.line, msg::WhatElevation(), text_,
                                   Number(frame.line, msg::WhatElevation(), text_));
        break;
      case Field::kTime:
        point_.time = ParseDateTime(text_);
        if (!point_.time) {
          throw InputError(msg::NotATime(source_, frame.line, QuotedValue(Trim(text_))));
        }
        if (HasFraction(text_)) {
          summary_.dropped.Add(msg::kKindFractionalSeconds, 1, frame.line);
        }
        if (!HasZone(Trim(text_))) {
          summary_.dropped.Add(kZoneless, frame.line, std::string(Trim(text_)));
        }
        if (IsLeapSecond(Trim(text_))) {
          summary_.dropped.Add(kLeapSeconds, frame.line, std::string(Trim(text_)));
        }
        break;
      case Field::kValue32:
        point_.written.value32 = Trim(text_);
        point_.value32 =
            Written(frame.line, "value32", text_, Number(frame.line, "value32", text_));
        break;
      // A double holds every whole number the watch's 32 bits do exactly (a float would not):
      // the holders' own rules decide what they keep of it.
      case Field::kValue72:
        point_.written.value72 = Trim(text_);
        point_.value72 =
            Written(frame.line, "value72", text_, Number(frame.line, "value72", text_));
        // The host keeps it as a float, written as that float's shortest digits.
        if (!FitsGpxDecimal(static_cast<float>(*point_.value72)))
          throw InputError(msg::NumberTooLong(source_, frame.line, "value72",
                                              QuotedValue(Trim(text_)), kMaxDecimalDigits));
        break;
      case Field::kNone: break;
    }
    text_.clear();
    if (text_.capacity() > 65536) text_.shrink_to_fit();  // a huge value is not kept on
  }

  // A name without the white space around it (a file laid out for reading puts its names on
  // lines of their own), which is not kept.
  std::string Name(int line) {
    const std::string_view name = Trim(text_);
    if (name.size() != text_.size()) summary_.dropped.Add(msg::kKindNameSpace, 1, line);
    // Neither holder tells an empty name from none, and the writer writes none.
    if (name.empty()) summary_.dropped.Add(msg::kKindEmptyNames, 1, line);
    return std::string(name);
  }

  // The track-point values have no place on a waypoint or route point.
  void CheckValues() {
    if (point_.value32 || point_.value72) {
      summary_.dropped.Add(msg::kKindPointValues, 1, point_.line);
    }
  }

  std::string source_;
  GpxConsumer& consumer_;
  GpxSummary summary_;
  std::string gpxNamespace_;
  std::vector<Frame> stack_;
  std::string text_;
  GpxPoint point_;
  unsigned captured_ = 0;  // a bit per Field read in the point, and the set's name
  Latest pointChild_, setChild_;
  size_t strayIn_ = 0;  // the depth and line of the element stray text was last counted in
  int strayLine_ = 0;
  int64_t segmentsWithPoints_ = 0;
  int64_t segments_ = 0;
  int64_t emptySegments_ = 0;
  int segmentLine_ = 0;
  int emptySegmentLine_ = 0;
  int breakLine_ = 0;                     // the first point after a track's first break
  static constexpr int kOtherKinds = 32;  // more than GPX 1.0 and 1.1 have to pass over
  int otherKinds_ = 0;
  int latestKind_ = 0;  // of the waypoints, routes and tracks met so far (kSetElements)
  bool segmentHasPoints_ = false;
};

// Memory in pieces, so that a file in memory is read the way a file on disk is.
class MemoryBytes final : public ByteSource {
 public:
  explicit MemoryBytes(std::string_view bytes) : rest_(bytes) {}
  std::string_view Next() override {
    const std::string_view piece = rest_.substr(0, kPiece);
    rest_.remove_prefix(piece.size());
    return piece;
  }

 private:
  static constexpr size_t kPiece = 65536;
  std::string_view rest_;
};

// Keeps everything: the document form.
class DocumentConsumer final : public GpxConsumer {
 public:
  GpxDocument document;

  void Waypoint(const GpxPoint& point) override { document.waypoints.push_back(point); }
  void StartRoute(int line) override {
    document.routes.emplace_back().line = line;
    route_ = true;
  }
  void RoutePoint(const GpxPoint& point) override {
    document.routes.back().points.push_back(point);
  }
  void StartTrack(int line) override {
    document.tracks.emplace_back().line = line;
    route_ = false;
  }
  void StartSegment() override { document.tracks.back().segments.emplace_back(); }
  void TrackPoint(const GpxPoint& point) override {
    document.tracks.back().segments.back().push_back(point);
  }
  void Name(const std::string& name) override {
    (route_ ? document.routes.back().name : document.tracks.back().name) = name;
  }
  void End() override {}

 private:
  bool route_ = false;
};

GpxSummary Read(ByteSource& bytes, const std::string& sourceName, GpxConsumer& consumer) {
  Utf8Input text(bytes, sourceName);
  Interpreter interpreter(sourceName, consumer);
  ParseXml(text, sourceName, interpreter);
  return std::move(interpreter.Summary());
}

}  // namespace

GpxDropped::Kind* GpxDropped::Counted(const os::MessageTexts& kind,
                                      const std::vector<std::string>& values, int64_t count,
                                      int line, const std::string_view* first) {
  for (Kind& known : kinds_) {
    if (known.kind != &kind || known.values != values) continue;
    known.count += count;
    // The first in the file, though a reader may learn of it later (a route's name is judged
    // at the route's end, after its points).
    if (line > 0 && (known.line == 0 || line < known.line)) {
      known.line = line;
      if (first != nullptr) known.first = std::string(*first);
    }
    return &known;
  }
  return nullptr;
}

void GpxDropped::Add(const os::MessageTexts& kind, int64_t count, int line,
                     const std::vector<std::string>& values) {
  if (Counted(kind, values, count, line, nullptr) == nullptr)
    kinds_.push_back({&kind, values, count, line, &msg::kVerbDropped, nullptr, ""});
}

const GpxDropped::Loss GpxDropped::kNamesChanged = {&msg::kKindNamesChanged,
                                                    &msg::kVerbKeptWithQuestionMarks, nullptr};

void GpxDropped::Add(const Loss& loss, int line, std::string_view first, int64_t count,
                     const std::vector<std::string>& values) {
  if (Counted(*loss.kind, values, count, line, &first) != nullptr) return;
  kinds_.push_back({loss.kind, values, count, line, loss.verb, loss.holder, std::string(first)});
}

void GpxDropped::Merge(const GpxDropped& other) {
  for (const Kind& kind : other.kinds_) {
    if (Counted(*kind.kind, kind.values, kind.count, kind.line, nullptr) == nullptr)
      kinds_.push_back(kind);
  }
}

std::string GpxDropped::Text(const Kind& kind) {
  const os::Arg count(kind.count);
  os::Arg values[kMaxValues] = {"", "", "", ""};
  for (size_t i = 0; i < kind.values.size() && i < kMaxValues; ++i)
    values[i] = kind.values[i];
  return os::Say(*kind.kind, {&count, &values[0], &values[1], &values[2], &values[3]});
}

std::vector<std::string> GpxDropped::Warnings(const std::string& source,
                                              const os::MessageTexts& holder) const {
  // In the order of the file's lines, as a reader goes through it: kinds are met in more than
  // one pass (the reader's, then the holders' value rules). Those without a line come last.
  std::vector<const Kind*> ordered;
  for (const Kind& kind : kinds_)
    ordered.push_back(&kind);
  std::stable_sort(ordered.begin(), ordered.end(), [](const Kind* a, const Kind* b) {
    return (a->line > 0 ? a->line : INT_MAX) < (b->line > 0 ? b->line : INT_MAX);
  });
  std::vector<std::string> lines;
  for (const Kind* met : ordered) {
    const Kind& kind = *met;
    const os::Arg count(kind.count);
    const std::string verb = os::Say(*kind.verb, {&count});
    const std::string held = os::Say(kind.holder != nullptr ? *kind.holder : holder, {});
    const std::string first = kind.first.empty() ? "" : msg::LostFirst(kind.first);
    lines.push_back(kind.line > 0 ? msg::LostAtLine(source, kind.line, Text(kind), verb, held,
                                                    kind.count, first)
                                  : msg::Lost(source, Text(kind), verb, held, kind.count, first));
  }
  return lines;
}

std::string GpxDropped::List() const {
  std::string out;
  for (const Kind& kind : kinds_)
    out += (out.empty() ? "" : msg::LostKindsSeparator()) + Text(kind);
  return out;
}

int GpxDropped::FirstLine() const {
  int first = 0;
  for (const Kind& kind : kinds_) {
    if (kind.line > 0 && (first == 0 || kind.line < first)) first = kind.line;
  }
  return first;
}

GpxSummary ReadGpx(std::string_view bytes, const std::string& sourceName, GpxConsumer& consumer) {
  MemoryBytes memory(bytes);
  return Read(memory, sourceName, consumer);
}

GpxSummary ReadGpxFile(const std::string& path, GpxConsumer& consumer) {
  const std::unique_ptr<ByteSource> file = OpenGpxFile(path);
  return Read(*file, path, consumer);
}

GpxDocument ParseGpx(std::string_view bytes, const std::string& sourceName) {
  DocumentConsumer consumer;
  ReadGpx(bytes, sourceName, consumer);
  return std::move(consumer.document);
}

}  // namespace x9host
