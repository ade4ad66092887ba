#include "content/value_rules.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

#include "codec/codepage.h"
#include "host/coordinates.h"
#include "os/input_error.h"
#include "os/messages.h"

namespace x9host {
namespace {

// A number as a warning quotes it: as the file writes it, which is what its reader can find
// there; the value's own digits for one not read from a file. Cut like any value either way.
std::string ShownNumber(const std::string& written, double value) {
  return ShownValue(written.empty() ? ExactNumberText(value) : written);
}

using Loss = GpxDropped::Loss;

// The range in the words of the warning (msg::kKindHostTimes): the host's wall clock, and the
// instants the module reads it back to.
const std::vector<std::string>& HostTimeRange() {
  static const std::vector<std::string> range = {FormatCivil(CivilFromSeconds(kHostTimeFirst)),
                                                 FormatCivil(CivilFromSeconds(x9::kHostTimeLast)),
                                                 FormatUtc(0), FormatUtc(x9::kHostTimeLast)};
  return range;
}

constexpr Loss kHostTimes{&msg::kKindHostTimes, &msg::kVerbDropped, &msg::kHolderHost};
constexpr Loss kNamesCut{&msg::kKindLongNames, &msg::kVerbCut, nullptr};
constexpr Loss kEleFraction{&msg::kKindElevationFractions, &msg::kVerbDropped, &msg::kHolderWatch};
constexpr Loss kEleOutside{&msg::kKindElevationsOutside, &msg::kVerbCutToNearestEnd,
                           &msg::kHolderWatch};
// -9999 m itself is "none" to both holders: one kind, counted alike by every reader. What only
// comes to it once whole is the watch's loss alone (the host keeps -9999.5).
constexpr Loss kTrackValuesNone{&msg::kKindTrackValuesNone, &msg::kVerbReadAsNone,
                                &msg::kHolderWatchAndTransferList};
constexpr Loss kEleNone{&msg::kKindElevationsNone, &msg::kVerbReadAsNone,
                        &msg::kHolderWatchAndTransferList};
constexpr Loss kEleWatchNone{&msg::kKindElevationsWatchNone, &msg::kVerbReadAsNone,
                             &msg::kHolderWatch};
constexpr Loss kMyPointsRoutes{&msg::kKindMypointsRoutes, &msg::kVerbLeftOffWatch,
                               &msg::kHolderWatch};
constexpr Loss kValue72Download{&msg::kKindValue72Float, &msg::kVerbRoundedByDownload,
                                &msg::kHolderTransferList};
constexpr Loss kValue72List{&msg::kKindValue72Float, &msg::kVerbRounded, &msg::kHolderTransferList};
constexpr Loss kCoordinatesWatch{&msg::kKindCoordinatesWatch, &msg::kVerbTruncated,
                                 &msg::kHolderWatch};
constexpr Loss kCoordinatesList{&msg::kKindCoordinatesList, &msg::kVerbRewritten,
                                &msg::kHolderTransferList};
constexpr Loss kDateLine{&msg::kKindDateLine, &msg::kVerbWrittenAsMinus180, &msg::kHolderGpx11};
constexpr Loss kRepeatedWallClock{&msg::kKindRepeatedWallClock, &msg::kVerbKeptAsWallClock,
                                  nullptr};

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
    lost_.Add(kHostTimes, point.line, FormatUtc(*point.time), 1, HostTimeRange());
  } else if (const std::optional<int64_t> twin = WallClockTwin(*point.time);
             twin && *twin < *point.time) {
    // A wall clock shown twice reads back as the earlier instant (UtcFromLocal): the later one
    // comes back as the other.
    lost_.Add(kRepeatedWallClock, point.line, TwinText(*point.time, *twin));
  }
  return wall;
}

double ValueRules::HostAltitude(const GpxPoint& point) {
  if (!point.elevation) return x9::NO_VALUE;
  if (*point.elevation == x9::NO_VALUE)
    lost_.Add(kEleNone, point.line, ShownNumber(point.written.elevation, *point.elevation));
  return *point.elevation;
}

float ValueRules::HostValue72(const GpxPoint& point) {
  if (!point.value72) return 0.0f;
  const double value = *point.value72;
  if (std::fabs(value) > std::numeric_limits<float>::max())
    throw InputError(msg::Value72OutOfRange(source_, point.line));
  if (!FloatGivesBack(value))
    lost_.Add(kValue72List, point.line, ShownNumber(point.written.value72, value));
  return static_cast<float>(value);
}

void ValueRules::HostCoordinates(const GpxPoint& point) {
  const struct {
    double degrees;
    const std::string& given;
    std::string text;
  } written[] = {{point.latitude, point.written.latitude, CoordinateText(point.latitude)},
                 {point.longitude, point.written.longitude, LongitudeText(point.longitude)}};
  for (const auto& coordinate : written) {
    if (ReadBack(coordinate.text) != coordinate.degrees)
      lost_.Add(kCoordinatesList, point.line,
                msg::ValueAs(ShownNumber(coordinate.given, coordinate.degrees),
                             ShownValue(coordinate.text)));
  }
}

int32_t ValueRules::WatchCoordinate(double degrees, const std::string& written, int line) {
  const int32_t units = x9::DegreesToDevice(degrees);
  // Held when the unit's decimal is the number given: not when the file has finer digits, nor
  // when the product with 1e7 falls short of a unit the file names exactly (64.471201).
  const std::string kept = UnitText(units);
  if (ReadBack(kept) != degrees)
    lost_.Add(kCoordinatesWatch, line, msg::ValueAs(ShownNumber(written, degrees), kept));
  return units;
}

void ValueRules::WatchLongitudeWritten(double longitude, int line) {
  if (longitude == 180) lost_.Add(kDateLine, line, msg::ValueAs("180", "-180"));
}

std::optional<CivilTime> ValueRules::WatchTime(const GpxPoint& point) {
  if (!point.time || !HeldWallClock(point)) return std::nullopt;
  return LocalFromUtc(*point.time);  // settled by HeldWallClock
}

void ValueRules::WatchPointTime(const GpxPoint& point) {
  if (point.time) lost_.Add(msg::kKindPointTimes, 1, point.line);
}

int32_t ValueRules::WatchAltitude(const GpxPoint& point) {
  if (!point.elevation) return x9::kDeviceNoAltitude;
  const double metres = *point.elevation;
  const int32_t kept = x9::AltitudeToDevice(metres);
  if (static_cast<double>(kept) != std::trunc(metres)) {
    lost_.Add(kEleOutside, point.line, ShownNumber(point.written.elevation, metres));
  } else if (metres == x9::kDeviceNoAltitude) {
    lost_.Add(kEleNone, point.line, ShownNumber(point.written.elevation, metres));
  } else if (kept == x9::kDeviceNoAltitude) {
    lost_.Add(kEleWatchNone, point.line, ShownNumber(point.written.elevation, metres));
  } else if (static_cast<double>(kept) != metres) {
    lost_.Add(kEleFraction, point.line, {});
  }
  return kept;
}

void ValueRules::TrackValuesNone(const GpxPoint& point) {
  const struct {
    const std::optional<double>& value;
    const std::string& written;
  } values[] = {{point.value32, point.written.value32}, {point.value72, point.written.value72}};
  for (const auto& track : values) {
    if (track.value && *track.value == 0)
      lost_.Add(kTrackValuesNone, point.line, ShownNumber(track.written, *track.value));
  }
}

int32_t ValueRules::WatchValue72(const GpxPoint& point) {
  const double value = *point.value72;
  if (value != std::floor(value)) throw InputError(msg::Value72NotWhole(source_, point.line));
  if (value < -2147483648.0 || value >= 2147483648.0)
    throw InputError(msg::Value72Past32Bits(source_, point.line));
  // The module hands the host a float.
  if (!FloatGivesBack(value))
    lost_.Add(kValue72Download, point.line, ShownNumber(point.written.value72, value));
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
    const std::string shown = QuotedValue(Utf8FromCp932(kept));
    warnings_.push_back(other->kept == kept
                            ? msg::RouteSameName(source_, line, QuotedValue(given), shown,
                                                 QuotedValue(other->given), other->line)
                            : msg::RouteSameNameButCase(source_, line, QuotedValue(given), shown,
                                                        QuotedValue(other->given), other->line));
  }
  return true;
}

void ValueRules::Finish() {
  if (sameNames_ > kNameWarningsShown) {
    warnings_.push_back(msg::MoreRoutesSameName(source_, sameNames_ - kNameWarningsShown));
  }
}

}  // namespace x9host
