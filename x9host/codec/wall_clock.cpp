#include "codec/wall_clock.h"

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <limits>

#include "os/messages.h"
#include "os/say.h"

namespace x9host {
namespace {

bool IsLeap(int64_t y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysInMonth(int64_t y, int m) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeap(y) ? 29 : kDays[m - 1];
}

CivilTime FromTm(const std::tm& fields) {
  CivilTime t;
  t.year = static_cast<int64_t>(fields.tm_year) + 1900;
  t.month = fields.tm_mon + 1;
  t.day = fields.tm_mday;
  t.hour = fields.tm_hour;
  t.minute = fields.tm_min;
  t.second = fields.tm_sec;
  return t;
}

// Reads exactly `digits` decimal digits.
bool Digits(std::string_view& text, size_t digits, int64_t& value) {
  if (text.size() < digits) return false;
  value = 0;
  for (size_t i = 0; i < digits; ++i) {
    const char c = text[i];
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  text.remove_prefix(digits);
  return true;
}

bool Expect(std::string_view& text, char c) {
  if (text.empty() || text.front() != c) return false;
  text.remove_prefix(1);
  return true;
}

}  // namespace

int64_t SecondsFromCivil(const CivilTime& t) {
  return x9::DaysFromCivil(t.year, t.month, t.day) * x9::kSecondsPerDay + t.hour * 3600 +
         t.minute * 60 + t.second;
}

CivilTime CivilFromSeconds(int64_t seconds) {
  const int64_t days = x9::FloorDiv(seconds, x9::kSecondsPerDay);
  const int64_t rest = seconds - days * x9::kSecondsPerDay;
  const x9::CivilDate date = x9::CivilFromDays(days);
  CivilTime t;
  t.year = date.year;
  t.month = static_cast<int>(date.month);
  t.day = static_cast<int>(date.day);
  t.hour = static_cast<int>(rest / 3600);
  t.minute = static_cast<int>(rest / 60 % 60);
  t.second = static_cast<int>(rest % 60);
  return t;
}

std::optional<int32_t> HostWallClock(int64_t utcSeconds) {
  const std::optional<CivilTime> local = LocalFromUtc(utcSeconds);
  if (!local) return std::nullopt;
  const int64_t wall = SecondsFromCivil(*local);
  if (wall < kHostTimeFirst || wall > x9::kHostTimeLast) return std::nullopt;
  return static_cast<int32_t>(wall);
}

std::optional<int32_t> WatchWallClock(int64_t utcSeconds) {
  // HostWallClock has settled the zone the module's rule reads the wall clock back through.
  const std::optional<int32_t> wall = HostWallClock(utcSeconds);
  if (!wall || !x9::WallClockInHostRange(*wall)) return std::nullopt;
  return wall;
}

std::optional<int64_t> WallClockTwin(int64_t utcSeconds) {
  // By the zone's offsets a day either side (no zone changes its offset twice in a day): an
  // instant under another offset that shows the same wall clock. From UTC to local only, which
  // every C library answers alike, never mktime's pick of the two.
  const std::optional<CivilTime> local = LocalFromUtc(utcSeconds);
  if (!local) return std::nullopt;
  const int64_t wall = SecondsFromCivil(*local);
  for (const int64_t near : {utcSeconds - x9::kSecondsPerDay, utcSeconds + x9::kSecondsPerDay}) {
    const std::optional<CivilTime> there = LocalFromUtc(near);
    if (!there) continue;
    const int64_t other = wall - (SecondsFromCivil(*there) - near);
    if (other == utcSeconds) continue;
    const std::optional<CivilTime> back = LocalFromUtc(other);
    if (back && SecondsFromCivil(*back) == wall) return other;
  }
  return std::nullopt;
}

std::string TwinText(int64_t utcSeconds, int64_t twin) {
  const int64_t apart = twin > utcSeconds ? twin - utcSeconds : utcSeconds - twin;
  // Whatever the zone moved its clocks by: half an hour, or a few odd minutes and seconds.
  const struct {
    int64_t count;
    const os::MessageTexts& unit;
  } parts[] = {{apart / 3600, msg::kSpanHours},
               {apart / 60 % 60, msg::kSpanMinutes},
               {apart % 60, msg::kSpanSeconds}};
  std::string size;
  for (const auto& part : parts) {
    if (part.count != 0) {
      const os::Arg count(part.count);
      size += (size.empty() ? "" : " ") + os::Say(part.unit, {&count});
    }
  }
  return twin < utcSeconds ? msg::TwinEarlier(FormatUtc(utcSeconds), FormatUtc(twin), size)
                           : msg::TwinLater(FormatUtc(utcSeconds), FormatUtc(twin), size);
}

namespace {

// glibc re-reads the zone file's status on every mktime (and localtime) while TZ is unset: two
// system calls a point. The same file named in TZ is read once, and again only when TZ changes.
void SettleZone() {
#if !defined(_WIN32)
  static const bool settled = [] {
    if (std::getenv("TZ") == nullptr) setenv("TZ", ":/etc/localtime", 0);
    tzset();
    return true;
  }();
  (void)settled;
#endif
}

}  // namespace

std::optional<CivilTime> LocalFromUtc(int64_t utcSeconds) {
  SettleZone();
  if (utcSeconds < std::numeric_limits<std::time_t>::min() ||
      utcSeconds > std::numeric_limits<std::time_t>::max()) {
    return std::nullopt;
  }
  const auto value = static_cast<std::time_t>(utcSeconds);
  // The program has one thread; localtime's shared buffer is read at once.
  const std::tm* fields = std::localtime(&value);
  if (fields == nullptr) return std::nullopt;
  return FromTm(*fields);
}

std::optional<int64_t> UtcFromLocal(const CivilTime& local) {
  if (local.year < std::numeric_limits<int>::min() + 1900LL ||
      local.year > std::numeric_limits<int>::max()) {
    return std::nullopt;
  }
  SettleZone();
  std::tm fields = x9::LocalTmFromCivil(local.year, local.month, local.day, local.hour,
                                        local.minute, local.second);
  const std::time_t result = std::mktime(&fields);
  if (result == static_cast<std::time_t>(-1)) {
    // -1 is also one second before 1970 in UTC; only believe it if it reads back.
    const std::optional<CivilTime> back = LocalFromUtc(-1);
    if (!back || SecondsFromCivil(*back) != SecondsFromCivil(local)) return std::nullopt;
  }
  // A wall clock the zone shows twice is the earlier instant, whichever mktime picked: glibc
  // and msvcrt pick differently, and both builds must read a file alike.
  const std::optional<int64_t> twin = WallClockTwin(result);
  return twin && *twin < result ? *twin : static_cast<int64_t>(result);
}

std::optional<int64_t> ParseDateTime(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t' || text.front() == '\n' ||
                           text.front() == '\r')) {
    text.remove_prefix(1);
  }
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\n' ||
                           text.back() == '\r')) {
    text.remove_suffix(1);
  }
  bool negativeYear = false;
  if (!text.empty() && text.front() == '-') {
    negativeYear = true;
    text.remove_prefix(1);
  }
  size_t yearDigits = 0;
  while (yearDigits < text.size() && text[yearDigits] >= '0' && text[yearDigits] <= '9')
    ++yearDigits;
  int64_t year, month, day, hour, minute, second;
  if (yearDigits < 4 || yearDigits > 9 || !Digits(text, yearDigits, year)) return std::nullopt;
  if (negativeYear) year = -year;
  if (!Expect(text, '-') || !Digits(text, 2, month) || !Expect(text, '-') ||
      !Digits(text, 2, day) || !Expect(text, 'T') || !Digits(text, 2, hour) || !Expect(text, ':') ||
      !Digits(text, 2, minute) || !Expect(text, ':') || !Digits(text, 2, second)) {
    return std::nullopt;
  }
  if (!text.empty() && text.front() == '.') {
    text.remove_prefix(1);
    size_t fraction = 0;
    while (fraction < text.size() && text[fraction] >= '0' && text[fraction] <= '9')
      ++fraction;
    if (fraction == 0) return std::nullopt;
    text.remove_prefix(fraction);  // the watch counts whole seconds
  }
  int64_t offset = 0;
  if (!text.empty() && text.front() == 'Z') {
    text.remove_prefix(1);
  } else if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    const int64_t sign = text.front() == '-' ? -1 : 1;
    text.remove_prefix(1);
    int64_t offsetHours, offsetMinutes;
    if (!Digits(text, 2, offsetHours) || !Expect(text, ':') || !Digits(text, 2, offsetMinutes) ||
        offsetHours > 14 || offsetMinutes > 59) {
      return std::nullopt;
    }
    offset = sign * (offsetHours * 3600 + offsetMinutes * 60);
  }
  if (!text.empty()) return std::nullopt;
  if (month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, static_cast<int>(month)) ||
      minute > 59 || second > 60 || hour > 24 || (hour == 24 && (minute != 0 || second != 0))) {
    return std::nullopt;
  }
  // A leap second is the last of a UTC day: 23:59:60 there, whatever the offset says here.
  if (second == 60 && ((hour * 60 + minute - offset / 60) % 1440 + 1440) % 1440 != 23 * 60 + 59)
    return std::nullopt;
  CivilTime t;
  t.year = year;
  t.month = static_cast<int>(month);
  t.day = static_cast<int>(day);
  t.hour = static_cast<int>(hour);
  t.minute = static_cast<int>(minute);
  // A leap second has no place on the watch's clock: it reads as the next second.
  t.second = static_cast<int>(second);
  return SecondsFromCivil(t) - offset;
}

namespace {

// A date as xsd:dateTime writes it: the sign apart from at least four digits of year, so that
// -1 is "-0001" (printf's width counts the sign: "-001") and 10000 is "10000".
std::string DateText(const CivilTime& t, char separator) {
  const unsigned long long year = t.year < 0 ? 0 - static_cast<unsigned long long>(t.year)
                                             : static_cast<unsigned long long>(t.year);
  char text[64];
  std::snprintf(text, sizeof text, "%s%04llu-%02d-%02d%c%02d:%02d:%02d", t.year < 0 ? "-" : "",
                year, t.month, t.day, separator, t.hour, t.minute, t.second);
  return text;
}

}  // namespace

std::string FormatUtc(int64_t utcSeconds) {
  return DateText(CivilFromSeconds(utcSeconds), 'T') + 'Z';
}

std::string FormatCivil(const CivilTime& t) { return DateText(t, ' '); }

}  // namespace x9host
