#include "content/value_rules.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

#include "codec/codepage.h"
#include "codec/plural.h"
#include "host/coordinates.h"
#include "os/input_error.h"

namespace x9host {
namespace {

using Loss = GpxDropped::Loss;

// The range in the words of the warning: the host's wall clock, and the instants the module
// reads it back to.
const std::string& HostTimeKind() {
  static const std::string kind = "{time|times} outside what the host can hold, " +
                                  FormatCivil(CivilFromSeconds(kHostTimeFirst)) + " to " +
                                  FormatCivil(CivilFromSeconds(x9::kHostTimeLast)) +
                                  " local time within " + FormatUtc(0) + " to " +
                                  FormatUtc(x9::kHostTimeLast) + " (<time>)";
  return kind;
}

constexpr char kPointTimes[] =
    "{time of a waypoint or route point|times of waypoints and route points} (<time>)";
constexpr Loss kNamesCut{"{name|names} longer than the watch's 19 bytes", "cut", nullptr};
constexpr char kValue72Kind[] = "x9:value72 {value|values} past what the host's float holds";
constexpr Loss kEleFraction{"fractional metres of {an elevation|elevations} (<ele>)", "dropped",
                            "the watch"};
constexpr Loss kEleOutside{
    "{elevation|elevations} outside the watch's -2147483648 to 2147483647 m (<ele>)",
    "cut to the nearest end", "the watch"};
// -9999 m itself is "none" to both holders: one kind, counted alike by every reader. What only
// comes to it once whole is the watch's loss alone (the host keeps -9999.5).
constexpr Loss kEleNone{
    "{elevation|elevations} of -9999 m, the watch's and the host's \"none\" (<ele>)",
    "read as none", "the watch and the transfer list"};
constexpr Loss kEleWatchNone{
    "{elevation|elevations} of -9999 m once whole, the watch's \"none\" (<ele>)", "read as none",
    "the watch"};
constexpr Loss kMyPointsRoutes{
    "{route|routes} named MYPOINTS, the name of the watch's waypoints (<rte>)",
    "left off the watch", "the watch"};
constexpr Loss kValue72Download{kValue72Kind, "rounded by a download", "the transfer list"};
constexpr Loss kValue72List{kValue72Kind, "rounded", "the transfer list"};
constexpr Loss kCoordinatesWatch{
    "{coordinate|coordinates} the watch's 1e-7 degree does not hold exactly (lat, lon)",
    "truncated", "the watch"};
constexpr Loss kCoordinatesList{
    "{coordinate|coordinates} --out writes as another number (lat, lon)", "rewritten",
    "the transfer list"};
constexpr Loss kDateLine{"{longitude|longitudes} of 180, the date line (lon)",
                         "written as -180, the same meridian", "GPX 1.1"};
constexpr Loss kRepeatedWallClock{
    "{time|times} whose local wall clock the zone shows twice (<time>)",
    "kept as that wall clock, which may read back as the other time", nullptr};

double ReadBack(const std::string& text) {
  double value = 0;
  std::from_chars(text.data(), text.data() + text.size(), value);
  return value;
}

// The watch's unit as the decimal it stands for: "64.4712009".
std::string UnitText(int32_t units) {
  const int64_t magnitude = units < 0 ? -int64_t{units} : int64_t{units};
  char text[32];
  std::snprintf(text, sizeof text, "%s%lld.%07lld", units < 0 ? "-" : "",
                static_cast<long long>(magnitude / 10000000),
                static_cast<long long>(magnitude % 10000000));
  return text;
}

// A route name's bucket: ASCII letters folded outside double-byte characters, so that every name
// x9::EqualsCp932IgnoringCase takes for another shares its bucket.
std::string FoldedName(std::string_view cp932) {
  std::string folded(cp932);
  for (size_t i = 0; i < folded.size(); ++i) {
    const auto c = static_cast<unsigned char>(folded[i]);
    if (x9::IsLeadByte(c)) {
      ++i;  // its trail byte is never folded
    } else if (c >= 'A' && c <= 'Z') {
      folded[i] = static_cast<char>(c - 'A' + 'a');
    }
  }
  return folded;
}

// Whether the host's float gives the value back: its shortest text, as --out writes it, reads
// as the same number (0.1 does; 16777217 comes back as 16777216).
bool FloatGivesBack(double value) {
  const auto single = static_cast<float>(value);
  char text[64];
  const auto written = std::to_chars(text, text + sizeof text, single);
  double back = 0;
  std::from_chars(text, written.ptr, back);
  return back == value;
}

}  // namespace

void ValueRules::Fail(int line, const std::string& what) const {
  throw InputError(source_ + ": line " + std::to_string(line) + ": " + what);
}

int32_t ValueRules::HostTime(const GpxPoint& point) {
  if (!point.time) return x9::kHostNoTime;
  if (const std::optional<int32_t> wall = HeldWallClock(point)) return *wall;
  return x9::kHostNoTime;
}

std::optional<int32_t> ValueRules::HeldWallClock(const GpxPoint& point) {
  // One rule for both holders: the host's wall clock as the module hands it over, which must
  // also read back as an instant of its range (else the module gives a stand-in).
  const std::optional<int32_t> wall = WatchWallClock(*point.time);
  if (!wall) {
    lost_.Add(Loss{HostTimeKind().c_str(), "dropped", "the host"}, point.line,
              FormatUtc(*point.time));
  } else if (const std::optional<int64_t> twin = WallClockTwin(*point.time)) {
    // Either of the two may be the one that comes back as the other, by the C library's pick:
    // both are named, so that every build warns alike.
    lost_.Add(kRepeatedWallClock, point.line, TwinText(*point.time, *twin));
  }
  return wall;
}

double ValueRules::HostAltitude(const GpxPoint& point) {
  if (!point.elevation) return x9::NO_VALUE;
  if (*point.elevation == x9::NO_VALUE)
    lost_.Add(kEleNone, point.line, NumberText(*point.elevation));
  return *point.elevation;
}

float ValueRules::HostValue72(const GpxPoint& point) {
  if (!point.value72) return 0.0f;
  const double value = *point.value72;
  if (std::fabs(value) > std::numeric_limits<float>::max())
    Fail(point.line, "value72 is out of range");
  if (!FloatGivesBack(value)) lost_.Add(kValue72List, point.line, NumberText(value));
  return static_cast<float>(value);
}

void ValueRules::HostCoordinates(const GpxPoint& point) {
  const struct {
    double degrees;
    std::string text;
  } written[] = {{point.latitude, CoordinateText(point.latitude)},
                 {point.longitude, LongitudeText(point.longitude)}};
  for (const auto& coordinate : written) {
    if (ReadBack(coordinate.text) != coordinate.degrees)
      lost_.Add(kCoordinatesList, point.line,
                NumberText(coordinate.degrees) + " as " + coordinate.text);
  }
}

int32_t ValueRules::WatchCoordinate(double degrees, int line) {
  const int32_t units = x9::DegreesToDevice(degrees);
  // Held when the unit's decimal is the number given: not when the file has finer digits, nor
  // when the product with 1e7 falls short of a unit the file names exactly (64.471201).
  const std::string kept = UnitText(units);
  if (ReadBack(kept) != degrees)
    lost_.Add(kCoordinatesWatch, line, NumberText(degrees) + " as " + kept);
  return units;
}

void ValueRules::WatchLongitudeWritten(double longitude, int line) {
  if (longitude == 180) lost_.Add(kDateLine, line, "180 as -180");
}

std::optional<CivilTime> ValueRules::WatchTime(const GpxPoint& point) {
  if (!point.time || !HeldWallClock(point)) return std::nullopt;
  return LocalFromUtc(*point.time);  // settled by HeldWallClock
}

void ValueRules::WatchPointTime(const GpxPoint& point) {
  if (point.time) lost_.Add(kPointTimes, 1, point.line);
}

int32_t ValueRules::WatchAltitude(const GpxPoint& point) {
  if (!point.elevation) return x9::kDeviceNoAltitude;
  const double metres = *point.elevation;
  const int32_t kept = x9::AltitudeToDevice(metres);
  if (static_cast<double>(kept) != std::trunc(metres)) {
    lost_.Add(kEleOutside, point.line, NumberText(metres));
  } else if (metres == x9::kDeviceNoAltitude) {
    lost_.Add(kEleNone, point.line, NumberText(metres));
  } else if (kept == x9::kDeviceNoAltitude) {
    lost_.Add(kEleWatchNone, point.line, NumberText(metres));
  } else if (static_cast<double>(kept) != metres) {
    lost_.Add(kEleFraction, point.line, {});
  }
  return kept;
}

int32_t ValueRules::WatchValue72(const GpxPoint& point) {
  const double value = *point.value72;
  if (value != std::floor(value)) Fail(point.line, "x9:value72 must be a whole number");
  if (value < -2147483648.0 || value >= 2147483648.0)
    Fail(point.line, "x9:value72 must be from -2147483648 to 2147483647");
  // The module hands the host a float.
  if (!FloatGivesBack(value)) lost_.Add(kValue72Download, point.line, NumberText(value));
  return static_cast<int32_t>(value);
}

void ValueRules::WatchName(char (&field)[x9::kDeviceNameField], const std::string& cp932,
                           int line) {
  if (x9::DeviceNameLength(cp932.c_str()) < cp932.size()) lost_.Add(kNamesCut, line, "");
  x9::CopyNameToDevice(field, cp932.c_str());
}

bool ValueRules::WatchRoute(const char (&field)[x9::kDeviceNameField], const std::string& given,
                            int line) {
  const std::string kept(x9::DeviceNameBytes(field));
  if (x9::IsMyPointsName(kept.c_str())) {
    lost_.Add(kMyPointsRoutes, line, QuotedValue(given));
    return false;
  }
  // Unnamed routes too: the module takes "" for "" and asks to replace every one of them.
  const std::string bucket = FoldedName(kept);
  const Route* other = nullptr;
  for (auto [at, end] = routeNames_.equal_range(bucket); at != end && other == nullptr; ++at) {
    if (x9::EqualsCp932IgnoringCase(at->second.kept.c_str(), kept.c_str())) other = &at->second;
  }
  if (other == nullptr) {
    routeNames_.emplace(bucket, Route{given, kept, line});
    return true;
  }
  // A later upload of either name replaces both, and a download cannot tell the same name apart.
  if (++sameNames_ <= kNameWarningsShown) {
    const std::string where = " of line " + std::to_string(other->line);
    warnings_.push_back(
        source_ + ": line " + std::to_string(line) + ": the route " + QuotedValue(given) +
        " arrives on the watch as " + QuotedValue(Utf8FromCp932(kept)) +
        (other->kept == kept ? ", the name of the route " + QuotedValue(other->given) + where +
                                   ": the watch cannot tell the two apart"
                             : ", the name of the route " + QuotedValue(other->given) + where +
                                   " but for letter case: an upload cannot tell the two apart"));
  }
  return true;
}

void ValueRules::Finish() {
  if (sameNames_ > kNameWarningsShown) {
    warnings_.push_back(
        source_ + ": " +
        Counted(
            sameNames_ - kNameWarningsShown,
            "more {route arrives|routes arrive} on the watch under the name of an earlier route"));
  }
}

}  // namespace x9host
