// What the watch and the host keep of a GPX point's values, written once for every reader: the
// watch file (--watch), the transfer list (--list) and the list's routes as an upload puts them
// on the watch. Each rule gives what the holder gets and counts what it could not keep, by kind
// and with the first line, so that every reader warns of the same loss in the same words.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "codec/wall_clock.h"
#include "gpx/gpx.h"
#include "text/cp932.h"

namespace x9host {

class ValueRules {
 public:
  // Losses are counted in lost; lines that name two routes go to warnings.
  ValueRules(const std::string& source, GpxDropped& lost, std::vector<std::string>& warnings)
      : source_(source), lost_(lost), warnings_(warnings) {}

  // --- The host ---
  // The wall clock of the point's time; x9::kHostNoTime without one, and for a time the host
  // cannot hold, as the watch's times are held (WatchTime): the point is kept without it.
  int32_t HostTime(const GpxPoint& point);
  // The elevation, x9::NO_VALUE without one; -9999 m is that value itself and reads as none,
  // counted as the watch counts it (WatchAltitude), so that both readers say the same of it.
  double HostAltitude(const GpxPoint& point);
  // x9:value72 as the host's float. Throws InputError past the float's range.
  float HostValue72(const GpxPoint& point);
  // The host keeps both coordinates as they are; counted when --out's text of one reads back as
  // another number (a few more digits where the watch's truncation needs them, 180 as -180).
  void HostCoordinates(const GpxPoint& point);

  // --- The watch (what the module puts there, and what a download makes of it) ---
  // A track point's local wall clock; nullopt without a time, and for a time the module could
  // not hand the host, which is dropped: the host's rule, so that a watch file and a list keep
  // the same times. The watch holds either as a point with its date fields zero, which every
  // download and --watch-out give back without a time, as the list keeps it.
  std::optional<CivilTime> WatchTime(const GpxPoint& point);
  // A waypoint or route point: the watch keeps no time.
  void WatchPointTime(const GpxPoint& point);
  // Degrees as the watch's 1e-7 degree, truncated toward zero as the module converts uploads;
  // counted when that unit is not the number given (written: as the file gives it).
  int32_t WatchCoordinate(double degrees, const std::string& written, int line);
  // The watch holds longitude 180 as it is; GPX 1.1 stops short of it and says -180.
  void WatchLongitudeWritten(double longitude, int line);
  // Whole metres truncated toward zero and saturated at 32 bits, as the module converts uploads;
  // -9999 reads back as none, counted as the host counts it, and so does what truncates to it.
  int32_t WatchAltitude(const GpxPoint& point);
  // A track point's x9:value32 or x9:value72 of 0 is "none" to both holders: counted alike by
  // every reader, as it is not written back.
  void TrackValuesNone(const GpxPoint& point);
  // x9:value72 as the watch's whole number (throws InputError when it is not one); counted
  // when a download would round it in the host's float.
  int32_t WatchValue72(const GpxPoint& point);
  // A name in code page 932 into the watch's field, cut to its 19 bytes.
  void WatchName(char (&field)[x9::kDeviceNameField], const std::string& cp932, int line);
  // Whether the watch takes a route of this name (as WatchName left it) as a route: not one
  // named like its waypoint collection, which the module's upload skips and a watch file cannot
  // hold beside its waypoints (counted as not put). A route it takes gets a line when an earlier
  // one of this file arrived under a name the module's comparison takes for the same
  // (x9::EqualsCp932IgnoringCase: ASCII letters without case, nothing else), two unnamed ones
  // included. given is the name as the file has it (UTF-8).
  bool WatchRoute(const char (&field)[x9::kDeviceNameField], const std::string& given, int line);
  // After the last route: the line that counts the route-name lines not shown.
  void Finish();

 private:
  // The host's wall clock of the point's time (given), or nullopt, counted as dropped.
  std::optional<int32_t> HeldWallClock(const GpxPoint& point);

  std::string source_;
  GpxDropped& lost_;
  std::vector<std::string>& warnings_;
  struct Route {
    std::string given;
    std::string kept;
    int line;
  };
  // By the kept bytes with ASCII letters folded: a bucket; the module's comparison decides.
  std::unordered_multimap<std::string, Route> routeNames_;
  int64_t sameNames_ = 0;
};

}  // namespace x9host
