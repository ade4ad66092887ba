// x9host's text and time rules: code page 932 conversions (exact, with replacement, for
// reading files), and the times GPX, the watch and the host keep.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "codec/codepage.h"
#include "codec/wall_clock.h"
#include "os/say.h"
#include "text/cp932.h"
#include "x9host_support.h"

namespace {

using namespace x9host;
using namespace x9host_test;

// --- Code page 932 -----------------------------------------------------------------------------

TEST(X9hostCodePage, ConvertsExactlyOrNamesTheCharacterWithoutCode) {
  const Cp932Text kanji = Cp932FromUtf8("高尾山 1");
  ASSERT_TRUE(kanji.ok);
  EXPECT_EQ(kanji.bytes, "\x8D\x82\x94\xF6\x8E\x52 1");
  EXPECT_EQ(Utf8FromCp932(kanji.bytes), "高尾山 1");

  const Cp932Text accented = Cp932FromUtf8("Caf\xC3\xA9 au lait");
  EXPECT_FALSE(accented.ok);
  EXPECT_EQ(accented.offending, "\xC3\xA9");  // é: no best-fit "e"
  EXPECT_TRUE(accented.bytes.empty());

  const Cp932Text check = Cp932FromUtf8("ok \xE2\x9C\x93");
  EXPECT_FALSE(check.ok);
  EXPECT_EQ(check.offending, "\xE2\x9C\x93");

  const Cp932Text broken = Cp932FromUtf8("ab\xFF");
  EXPECT_FALSE(broken.ok);
  EXPECT_EQ(broken.offending, "\xFF");

  // Half-width katakana are single bytes.
  EXPECT_EQ(Cp932FromUtf8("ｶﾀｶﾅ").bytes, "\xB6\xC0\xB6\xC5");
}

TEST(X9hostCodePage, CutsNamesAtNineteenBytesNeverInsideACharacter) {
  // The module's own cut, applied to what x9host converts.
  const auto cut = [](const char* utf8) {
    const std::string bytes = Cp932FromUtf8(utf8).bytes;
    return Utf8FromCp932(bytes.substr(0, x9::DeviceNameLength(bytes.c_str())));
  };
  EXPECT_EQ(cut("高尾山口駅から山頂まで"), "高尾山口駅から山頂");    // 22 bytes: 18 kept
  EXPECT_EQ(cut("Route A 相模湖周回コース"), "Route A 相模湖周回");  // byte 19 would start a kanji
  EXPECT_EQ(cut("12345678901234567高尾"), "12345678901234567高");    // the kanji ends on byte 19
  EXPECT_EQ(cut("123456789012345678高"), "123456789012345678");
  EXPECT_EQ(cut("ABCDEFGHIJKLMNOPQRSTUVWXY"), "ABCDEFGHIJKLMNOPQRS");
  EXPECT_EQ(cut("ｱｲｳｴｵｶｷｸｹｺｻｼｽｾｿﾀﾁﾂﾃﾄ"), "ｱｲｳｴｵｶｷｸｹｺｻｼｽｾｿﾀﾁﾂﾃ");
  EXPECT_EQ(cut("多摩川ラン"), "多摩川ラン");
  EXPECT_EQ(cut(""), "");
}

TEST(X9hostCodePage, ShowsBytesWithoutCharacterAsReplacement) {
  // 0x85 0x40 is unassigned in code page 932; the text around it survives.
  const std::string text =
      Utf8FromCp932(std::string("A\x85\x40"
                                "B",
                                4));
  EXPECT_EQ(text.front(), 'A');
  EXPECT_EQ(text.back(), 'B');
  EXPECT_NE(text.find("\xEF\xBF\xBD"), std::string::npos);
}

TEST(X9hostCodePage, ReplacesEachCharacterWithoutCodeAndSaysWhichOnce) {
  // Accents, dashes, symbols and emoji have no code; kanji, kana and ASCII keep theirs.
  const Cp932Replaced name =
      Cp932FromUtf8Replacing("Caf\xC3\xA9 \xE2\x80\x93 \xC2\xA9 \xF0\x9F\x98\x80 高尾");
  EXPECT_EQ(name.bytes, "Caf? ? ? ? \x8D\x82\x94\xF6");
  EXPECT_EQ(name.replaced, "\xC3\xA9\xE2\x80\x93\xC2\xA9\xF0\x9F\x98\x80");
  EXPECT_TRUE(Cp932FromUtf8Replacing("高尾山").replaced.empty());

  std::vector<std::string> warnings;
  EXPECT_EQ(Cp932Name("\xC3\xA9t\xC3\xA9 \xC3\xA0 Nice", "route name", "f.gpx", 7, warnings),
            "?t? ? Nice");
  EXPECT_EQ(Cp932Name("plain", "point name", "f.gpx", 8, warnings), "plain");
  ASSERT_EQ(warnings.size(), 1u);  // once per name, each character once
  EXPECT_EQ(warnings[0],
            "f.gpx: line 7: the route name \"\xC3\xA9t\xC3\xA9 \xC3\xA0 Nice\" is kept as \"?t? ? "
            "Nice\": "
            "code page 932 cannot write \"\xC3\xA9\" \"\xC3\xA0\"");
  // Past the names warned about one by one, the rest are counted: one is a name, not names.
  EXPECT_EQ(MoreNamesWarning("f.gpx", kNameWarningsShown + 1),
            "f.gpx: 1 more name is kept with '?' for characters code page 932 cannot write");
  EXPECT_EQ(MoreNamesWarning("f.gpx", kNameWarningsShown + 3),
            "f.gpx: 3 more names are kept with '?' for characters code page 932 cannot write");
}

TEST(X9hostCodePage, ReadsShiftJisExactlyOrSaysWhereItIsNot) {
  const DecodedText kanji = Utf8FromCp932Exactly("\x8D\x82\x94\xF6\n\x8E\x52 1");
  ASSERT_TRUE(kanji.ok);
  EXPECT_EQ(kanji.utf8, "高尾\n山 1");
  const DecodedText broken = Utf8FromCp932Exactly(std::string("ab\n\x85\x40", 5));
  EXPECT_FALSE(broken.ok);
  EXPECT_EQ(broken.badOffset, 3u);
  const DecodedText cut = Utf8FromCp932Exactly("ab\x8D");  // a lead byte without its trail
  EXPECT_FALSE(cut.ok);
  EXPECT_EQ(cut.badOffset, 2u);
}

// --- Values in messages ------------------------------------------------------------------------

TEST(X9hostShownValue, ShortValuesWholeLongOnesCutOnACharacterWithTheirSize) {
  const size_t shown = kShownValueBytes;
  const std::string a(shown, 'a');
  const std::string e = "\xC3\xA9";  // two bytes
  const struct {
    std::string value;
    std::string quoted;  // QuotedValue
    std::string plain;   // ShownValue
    os::Language language = os::Language::kEnglish;
  } kCases[] = {
      {a, '"' + a + '"', a},
      {a + "b", '"' + a + "b\"", '"' + a + "b\""},
      // A few bytes more are not worth cutting.
      {a + std::string(16, 'b'), '"' + a + std::string(16, 'b') + '"',
       '"' + a + std::string(16, 'b') + '"'},
      {a + std::string(17, 'b'), '"' + a + "...\" (" + std::to_string(shown + 17) + " bytes)",
       '"' + a + "...\" (" + std::to_string(shown + 17) + " bytes)"},
      // A character that would end past the shown bytes is left out whole.
      {a.substr(1) + e + std::string(20, 'b'),
       '"' + a.substr(1) + "...\" (" + std::to_string(shown + 21) + " bytes)",
       '"' + a.substr(1) + "...\" (" + std::to_string(shown + 21) + " bytes)"},
      {a.substr(2) + e + std::string(20, 'b'),
       '"' + a.substr(2) + e + "...\" (" + std::to_string(shown + 20) + " bytes)",
       '"' + a.substr(2) + e + "...\" (" + std::to_string(shown + 20) + " bytes)"},
      {a + std::string(17, 'b'), '"' + a + "...\"（" + std::to_string(shown + 17) + " バイト）",
       '"' + a + "...\"（" + std::to_string(shown + 17) + " バイト）", os::Language::kJapanese},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.value.size());
    os::SetLanguage(c.language);
    EXPECT_EQ(QuotedValue(c.value), c.quoted);
    EXPECT_EQ(ShownValue(c.value), c.plain);
  }
  os::SetLanguage(os::Language::kEnglish);
}

// --- Times -------------------------------------------------------------------------------------

TEST(X9hostWallClock, ReadsGpxTimesAsUtcSeconds) {
  EXPECT_EQ(ParseDateTime("2024-05-03T00:12:05Z"), 1714695125);
  EXPECT_EQ(ParseDateTime("  2024-05-03T00:12:05.987Z\n"), 1714695125);  // whole seconds
  EXPECT_EQ(ParseDateTime("2024-05-03T00:12:05"), 1714695125);           // no zone: UTC
  EXPECT_EQ(ParseDateTime("2024-05-03T00:12:05+09:00"), 1714662725);
  EXPECT_EQ(ParseDateTime("2024-05-02T15:12:05-00:00"), 1714662725);
  EXPECT_EQ(ParseDateTime("1969-12-31T23:59:59Z"), -1);
  EXPECT_EQ(ParseDateTime("2000-02-29T12:00:00Z"), 951825600);
  // A leap second is the last second of a UTC day, read as the next; at no other time.
  EXPECT_EQ(ParseDateTime("2016-12-31T23:59:60Z"), 1483228800);
  EXPECT_EQ(ParseDateTime("2017-01-01T08:59:60+09:00"), 1483228800);
  EXPECT_EQ(ParseDateTime("2016-12-31T18:59:60-05:00"), 1483228800);
  for (const char* bad : {"2024-05-01T10:00:60Z", "1972-06-30T23:59:60+01:00",
                          "2016-12-31T23:58:60Z", "2017-01-01T23:59:60+09:00"})
    EXPECT_FALSE(ParseDateTime(bad).has_value()) << bad;
  for (const char* bad :
       {"", "2024-05-03", "2024-05-03 00:12:05Z", "24-05-03T00:12:05Z", "2023-02-29T00:00:00Z",
        "2024-13-01T00:00:00Z", "2024-05-03T00:60:00Z", "2024-05-03T00:12:05+9",
        "2024-05-03T00:12:05Zjunk", "2024-05-03T00:12:05."}) {
    EXPECT_FALSE(ParseDateTime(bad).has_value()) << bad;
  }
  EXPECT_EQ(FormatUtc(1714695125), "2024-05-03T00:12:05Z");
  EXPECT_EQ(FormatUtc(-1), "1969-12-31T23:59:59Z");
}

// A year past 0000-9999 keeps its sign apart from its four digits, as xsd:dateTime writes it, so
// that a warning quotes a time as a file would write it and reads back as the same instant.
TEST(X9hostWallClock, YearsOutsideFourDigitsAreWrittenAsXsdWritesThem) {
  for (const char* text :
       {"-0001-01-01T00:00:00Z", "-0999-12-31T23:59:59Z", "-10000-03-01T00:00:00Z",
        "-123456789-06-15T12:00:00Z", "0000-02-29T00:00:00Z", "0999-01-01T00:00:00Z",
        "9999-12-31T23:59:59Z", "10000-01-01T00:00:00Z", "123456789-01-01T00:00:00Z"}) {
    const std::optional<int64_t> seconds = ParseDateTime(text);
    ASSERT_TRUE(seconds.has_value()) << text;
    EXPECT_EQ(FormatUtc(*seconds), text);
    // The wall clock's text is the same date and time, as the table writes it.
    std::string civil(text);
    civil[civil.rfind('T')] = ' ';
    civil.pop_back();
    EXPECT_EQ(FormatCivil(CivilFromSeconds(*seconds)), civil);
  }
}

TEST(X9hostWallClock, LinksUtcAndTheLocalWallClockThroughTheZone) {
  {
    const ScopedZone zone("Asia/Tokyo");
    const std::optional<CivilTime> local = LocalFromUtc(1714695125);
    ASSERT_TRUE(local.has_value());
    EXPECT_EQ(FormatCivil(*local), "2024-05-03 09:12:05");
    EXPECT_EQ(UtcFromLocal(*local), 1714695125);
    // The host's wall-clock value reads the local fields as if they were UTC.
    EXPECT_EQ(SecondsFromCivil(*local), 1714695125 + 9 * 3600);
  }
  {
    const ScopedZone zone("Europe/Berlin");
    // Summer and winter: two hours, then one hour ahead of UTC.
    EXPECT_EQ(FormatCivil(*LocalFromUtc(*ParseDateTime("2024-07-01T10:00:00Z"))),
              "2024-07-01 12:00:00");
    EXPECT_EQ(FormatCivil(*LocalFromUtc(*ParseDateTime("2024-01-01T10:00:00Z"))),
              "2024-01-01 11:00:00");
    EXPECT_EQ(UtcFromLocal(CivilFromSeconds(*ParseDateTime("2024-07-01T12:00:00Z"))),
              ParseDateTime("2024-07-01T10:00:00Z"));
  }
  const CivilTime leap = CivilFromSeconds(951825600);
  EXPECT_EQ(FormatCivil(leap), "2000-02-29 12:00:00");
  EXPECT_EQ(SecondsFromCivil(leap), 951825600);
  EXPECT_EQ(FormatCivil(CivilFromSeconds(-86401)), "1969-12-30 23:59:59");
}

TEST(X9hostWallClock, TheHostHoldsTheWallClockFrom1970To2038) {
  {
    const ScopedZone zone("UTC");
    EXPECT_EQ(HostWallClock(1), 1);
    EXPECT_EQ(HostWallClock(2147483647), 2147483647);
    EXPECT_FALSE(HostWallClock(0).has_value());  // the host's "no time"
    EXPECT_FALSE(HostWallClock(-1).has_value());
    EXPECT_FALSE(HostWallClock(2147483648).has_value());
  }
  {
    // Nine hours ahead: the wall clock, not UTC, is what must fit.
    const ScopedZone zone("Asia/Tokyo");
    EXPECT_EQ(HostWallClock(-32399), 1);
    EXPECT_FALSE(HostWallClock(-32400).has_value());
    EXPECT_FALSE(HostWallClock(2147483647 - 32399).has_value());
    EXPECT_EQ(HostWallClock(2147483647 - 32400), 2147483647);
  }
  // On the watch the module also needs the wall clock read back as UTC inside 0..2^31-1: a
  // time near an end in a zone off UTC is held by the host, not by the watch.
  const struct {
    const char* zone;
    int64_t utc;
    bool watchHolds;
  } kWatch[] = {
      {"Asia/Tokyo", -28800, false},  // 1969-12-31T16:00:00Z
      {"Asia/Tokyo", 0, true},        // 1970-01-01 09:00 local
      {"Asia/Tokyo", 2147483647 - 32400, true},
      {"America/New_York", 2147490000, false},  // 2038-01-19T05:00:00Z
      {"America/New_York", 2147483647, true},
      {"America/New_York", 18001, true},
      {"UTC", 1, true},
      {"UTC", 2147483647, true},
  };
  for (const auto& row : kWatch) {
    const ScopedZone zone(row.zone);
    EXPECT_TRUE(HostWallClock(row.utc).has_value()) << row.zone << " " << row.utc;
    EXPECT_EQ(WatchWallClock(row.utc).has_value(), row.watchHolds) << row.zone << " " << row.utc;
  }
}

// A stretch of wall clock the zone shows twice, whatever its size or cause: each instant of it
// names the other, and reads back as the earlier.
TEST(X9hostWallClock, AStretchOfWallClockShownTwiceNamesTheOtherInstant) {
  const struct {
    const char* zone;
    int64_t utc;
    std::optional<int64_t> twin;
    const char* said;  // TwinText, where given
    os::Language language = os::Language::kEnglish;
  } kRows[] = {
      {"America/New_York", 1699162200, 1699165800,  // 2023-11-05T05:30:00Z, 01:30 summer time
       "2023-11-05T05:30:00Z, the same wall clock as 2023-11-05T06:30:00Z, 1 hour later"},
      {"America/New_York", 1699165800, 1699162200, nullptr},    // 01:30 standard time
      {"America/New_York", 1699160399, std::nullopt, nullptr},  // 00:59:59: once
      {"America/New_York", 1699167600, std::nullopt, nullptr},  // 02:00: once
      {"America/New_York", 1678606200, std::nullopt, nullptr},  // 2023-03-12 03:30, after the gap
      {"Europe/Berlin", 1698539400, 1698543000, nullptr},       // 2023-10-29T00:30:00Z, 02:30
      {"Europe/Berlin", 1698543000, 1698539400, nullptr},       // 02:30 winter time
      {"Europe/Berlin", 1698535800, std::nullopt, nullptr},     // 01:30: once
      // Half an hour of daylight saving.
      {"Australia/Lord_Howe", 1680361200, 1680359400,
       "2023-04-01T15:00:00Z, the same wall clock as 2023-04-01T14:30:00Z, 30 minutes earlier"},
      // Offsets changed for good, not for the summer: half an hour, an hour.
      {"America/Caracas", 1197184500, 1197182700,
       "2007-12-09T07:15:00Z, the same wall clock as 2007-12-09T06:45:00Z, 30 minutes earlier"},
      {"Europe/Moscow", 1414272600, 1414276200,
       "2014-10-25T21:30:00Z, the same wall clock as 2014-10-25T22:30:00Z, 1 hour later"},
      {"Europe/Moscow", 1414276200, 1414272600,
       "2014-10-25T22:30:00Z（現地時刻は 1 時間前の 2014-10-25T21:30:00Z と同じ）",
       os::Language::kJapanese},
      {"Asia/Tokyo", 1699162200, std::nullopt, nullptr},
      {"UTC", 1699162200, std::nullopt, nullptr},
  };
  for (const auto& row : kRows) {
    const ScopedZone zone(row.zone);
    os::SetLanguage(row.language);
    const std::optional<int64_t> twin = WallClockTwin(row.utc);
    EXPECT_EQ(twin, row.twin) << row.zone << " " << FormatUtc(row.utc);
    if (row.said != nullptr && twin) {
      EXPECT_EQ(TwinText(row.utc, *twin), row.said);
    }
    // Its wall clock reads back as the earlier of the two, whatever mktime would pick, so that
    // every build writes the same time.
    const std::optional<int64_t> back = UtcFromLocal(*LocalFromUtc(row.utc));
    EXPECT_EQ(back, twin ? std::min(row.utc, *twin) : row.utc) << row.zone << " " << row.utc;
  }
  os::SetLanguage(os::Language::kEnglish);
  // Odd sizes, as old zones moved their clocks.
  EXPECT_EQ(TwinText(7200, 0),
            "1970-01-01T02:00:00Z, the same wall clock as "
            "1970-01-01T00:00:00Z, 2 hours earlier");
  EXPECT_EQ(TwinText(0, 1109),
            "1970-01-01T00:00:00Z, the same wall clock as "
            "1970-01-01T00:18:29Z, 18 minutes 29 seconds later");
}

}  // namespace
