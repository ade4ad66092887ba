// GPX 1.1 as x9host uses it: waypoints, routes and tracks with the few fields the watch and the
// host keep, plus two values of the host's track points that GPX has no element for. Read in
// one pass, each point handed to what keeps it; written as the points come.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "os/say.h"

namespace x9host {

// Our own namespace for what GPX lacks.
inline constexpr char kExtensionNamespace[] =
    "urn:x9link:gpx-extensions:1";  // not a message: an XML namespace

struct GpxPoint {
  double latitude = 0;              // degrees
  double longitude = 0;             // degrees
  std::optional<double> elevation;  // metres
  std::optional<int64_t> time;      // UTC seconds
  std::string name;                 // UTF-8
  // The host's track-point values at item offsets 32 and 72 (x9:value32, x9:value72).
  std::optional<double> value32;
  std::optional<double> value72;  // the host keeps a float; a watch's whole number may not fit
  int line = 0;                   // where it was read; 0 when made here
  // The numbers as the file writes them, without the white space around, for a message to
  // quote: a double's own digits may read quite otherwise (1e-300 has 302 in plain decimal).
  // Empty for a number not read from a file.
  struct Written {
    std::string latitude, longitude, elevation, value32, value72;
  } written;
};

// What a reader could not keep, by kind, in the order first met: how many, the line of the
// first (0 when the parser gives none), what became of them ("dropped"), and the first value
// where one is worth showing. A kind is a table entry whose first placeholder is the count
// ("{count:comment|comments} (<cmt>)") and its values those of its other placeholders, in order;
// kinds are the same kind when both are.
class GpxDropped {
 public:
  static constexpr size_t kMaxValues = 4;
  struct Kind {
    const os::MessageTexts* kind;
    std::vector<std::string> values;  // at most kMaxValues
    int64_t count = 0;
    int line = 0;
    const os::MessageTexts* verb;    // msg::kVerbDropped
    const os::MessageTexts* holder;  // nullptr: the one Warnings is given
    std::string first;
  };
  void Add(const os::MessageTexts& kind, int64_t count = 1, int line = 0,
           const std::vector<std::string>& values = {});
  // A loss worded otherwise: "3 <kind> <verb>: <holder> cannot hold them (the first: <first>)".
  struct Loss {
    const os::MessageTexts* kind;
    const os::MessageTexts* verb;
    const os::MessageTexts* holder;  // nullptr: the reader's
  };
  void Add(const Loss& loss, int line, std::string_view first, int64_t count = 1,
           const std::vector<std::string>& values = {});
  // Names kept with '?' for what code page 932 cannot write: changed, not dropped.
  static const Loss kNamesChanged;
  // Each kind of other, after those here.
  void Merge(const GpxDropped& other);
  bool Empty() const { return kinds_.empty(); }
  const std::vector<Kind>& Kinds() const { return kinds_; }
  // A kind with its count, in the user's language: "3 comments (<cmt>)".
  static std::string Text(const Kind& kind);
  // One line per kind: "<source>: line 4: 3 comments (<cmt>) dropped: <holder> cannot hold
  // them", and " (the first: <first>)" when there is one.
  std::vector<std::string> Warnings(const std::string& source,
                                    const os::MessageTexts& holder) const;
  // "3 comments (<cmt>), 1 track segment break (<trkseg>)", for a refusal.
  std::string List() const;
  // The first line any kind was met on; 0 when none is known.
  int FirstLine() const;

 private:
  // Counts a kind already met and returns it, keeping the earliest line (and, when first is
  // given, that line's value); nullptr when the kind is new.
  Kind* Counted(const os::MessageTexts& kind, const std::vector<std::string>& values, int64_t count,
                int line, const std::string_view* first);

  std::vector<Kind> kinds_;
};

// Where a reader puts what it reads, in file order, names in UTF-8. A route's or track's name
// may come after some of its points (the order is GPX's advice, not a rule readers can rely on).
class GpxConsumer {
 public:
  virtual void Waypoint(const GpxPoint& point) = 0;
  virtual void StartRoute(int line) = 0;
  virtual void RoutePoint(const GpxPoint& point) = 0;
  virtual void StartTrack(int line) = 0;
  virtual void StartSegment() = 0;
  virtual void TrackPoint(const GpxPoint& point) = 0;
  virtual void Name(const std::string& name) = 0;  // of the route or track open
  virtual void End() = 0;                          // of the route or track open

 protected:
  ~GpxConsumer() = default;
};

struct GpxSummary {
  int64_t waypoints = 0;
  int64_t routes = 0;
  int64_t tracks = 0;
  // What GPX holds that neither the watch nor the transfer list keeps: segment breaks,
  // metadata, comments, descriptions, links, symbols, foreign extensions, other elements.
  GpxDropped dropped;
};

// Reads a GPX 1.0 or 1.1 file in one pass, handing each point to consumer as it is read. UTF-8
// (or ASCII), UTF-16 with a byte order mark, ISO-8859-1 and Shift_JIS (declared as Shift_JIS,
// Shift-JIS, SJIS, Windows-31J, CP932 or MS932, in any case) are read. Throws InputError naming
// sourceName (and the line where there is one) for: another encoding, bytes not of the encoding,
// XML that is not well-formed, a document type declaration, an undeclared entity, elements
// nested deeper than kMaxNesting, a root that is not gpx, a point without valid coordinates, a
// malformed number or time. A value quoted in a message is cut to a readable length. A file
// without waypoints, routes or tracks reads as nothing.
GpxSummary ReadGpx(std::string_view bytes, const std::string& sourceName, GpxConsumer& consumer);
// The same for a file, read in chunks; the path is the source name. Throws InputError
// "<path>: <reason>" when it cannot be read.
GpxSummary ReadGpxFile(const std::string& path, GpxConsumer& consumer);

// The whole document at once, for tests and the fuzzer: the consumer that keeps everything.
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
GpxDocument ParseGpx(std::string_view bytes, const std::string& sourceName);

// GPX 1.1 in UTF-8, written as it is handed over and passed on in chunks of about 64 KiB:
// elements in the schema's order as long as the caller gives waypoints, then routes, then
// tracks; no ele for a point without elevation, no empty trkseg, the extension values under
// our namespace.
class GpxWriter {
 public:
  using Out = std::function<void(std::string_view)>;
  GpxWriter(Out out, std::string_view creator);
  GpxWriter(const GpxWriter&) = delete;
  GpxWriter& operator=(const GpxWriter&) = delete;

  void Waypoint(const GpxPoint& point);
  void StartRoute(std::string_view name);
  void RoutePoint(const GpxPoint& point);
  void StartTrack(std::string_view name);
  void StartSegment();  // a segment without points is not written
  void TrackPoint(const GpxPoint& point);
  void End();  // of the route or track
  // Closes the document and hands over what is left.
  void Finish();

 private:
  void Open(std::string_view name);
  void Attribute(std::string_view name, std::string_view value);
  void Close();
  void Leaf(std::string_view name, std::string_view text);
  void CloseStartTag();
  void Indent();
  void Escape(std::string_view text, bool attribute);
  void Point(std::string_view element, const GpxPoint& point);
  void Flush(bool always);

  Out out_;
  std::string buffer_;
  std::vector<std::string_view> stack_;  // element names, all literals
  bool startOpen_ = false;
  bool hasChildren_ = false;
  bool segmentOpen_ = false;
};

// The whole document as one text (tests; small outputs).
std::string WriteGpx(const GpxDocument& document, std::string_view creator);

// Coordinates as text. A value that is a whole number of 1e-7 degrees, as every coordinate
// from the watch is, is written with 7 decimals, and longer only when those 7 would read back
// below the unit under the truncation the watch's loader applies. Any other value is written
// in the shortest form that reads back as the same double.
std::string CoordinateText(double degrees);
// A longitude as text: CoordinateText, but 180 as -180, the same meridian (GPX 1.1's longitudes
// end before 180).
std::string LongitudeText(double degrees);
// Other numbers: the shortest form that reads back as the same value; never locale-dependent.
// One that needs more than kMaxDecimalDigits is rounded to fit.
std::string NumberText(double value);
std::string NumberText(float value);

// The value's shortest exact digits however many, for a message to quote.
std::string ExactNumberText(double value);

// Validators read xs:decimal with at most this many digits (libxml2's limit; XSD asks for at
// least 18): x9host writes no number with more.
inline constexpr size_t kMaxDecimalDigits = 24;
// The digits of a plain decimal as a validator counts them: all but the whole part's leading
// zeros ("0.05" has two).
size_t DecimalDigits(std::string_view text);
// Whether NumberText writes the value exactly, within kMaxDecimalDigits.
bool FitsGpxDecimal(double value);
bool FitsGpxDecimal(float value);

}  // namespace x9host
