// What the environment tells x9host: which language the user reads, by the C library's rule for
// the messages category (the first of LC_ALL, LC_MESSAGES and LANG that is set and not empty),
// and whether TZ names a zone the C library can read.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "os/os.h"
#include "os/say.h"

namespace {

TEST(X9hostLocale, TheLanguageFollowsTheCategoriesInTheLibrarysOrder) {
  const struct {
    const char* all;
    const char* messages;
    const char* lang;
    bool japanese;
  } cases[] = {
      {nullptr, nullptr, "ja_JP.UTF-8", true}, {nullptr, nullptr, "C.UTF-8", false},
      {nullptr, "ja_JP.UTF-8", "C", true},     {nullptr, "C", "ja_JP.UTF-8", false},
      {"ja_JP.UTF-8", "C", "C", true},         {"C", "ja_JP.UTF-8", "ja_JP.UTF-8", false},
      {"", "ja_JP.UTF-8", "C", true},          {nullptr, nullptr, nullptr, false},
  };
  const auto set = [](const char* name, const char* value) {
    if (value == nullptr) {
      unsetenv(name);
    } else {
      setenv(name, value, 1);
    }
  };
  for (const auto& c : cases) {
    set("LC_ALL", c.all);
    set("LC_MESSAGES", c.messages);
    set("LANG", c.lang);
    EXPECT_EQ(x9host::os::UserReadsJapanese(), c.japanese)
        << (c.all ? c.all : "-") << " " << (c.messages ? c.messages : "-") << " "
        << (c.lang ? c.lang : "-");
  }
  unsetenv("LC_ALL");
  unsetenv("LC_MESSAGES");
  setenv("LANG", "C.UTF-8", 1);
}

// The C library reads a TZ it cannot find or parse as UTC: such a TZ is named, any other not.
TEST(X9hostTimeZone, ATzTheLibraryCannotReadIsNamed) {
  namespace fs = std::filesystem;
  const fs::path own = fs::temp_directory_path() / "x9host-tzdir";
  fs::remove_all(own);
  fs::create_directories(own / "Mine");
  fs::copy_file("/usr/share/zoneinfo/Asia/Tokyo", own / "Mine" / "Zone");
  const struct {
    const char* tz;     // nullptr: unset
    const char* tzdir;  // nullptr: unset
    bool named;
  } cases[] = {
      {"Foo/Bar", nullptr, true},
      {":Foo/Bar", nullptr, true},
      {"Asia/Tokyo", nullptr, false},
      {":Asia/Tokyo", nullptr, false},
      {"/usr/share/zoneinfo/Asia/Tokyo", nullptr, false},
      {"/etc/passwd", nullptr, true},  // a file, but no zone file
      {"Asia", nullptr, true},         // a directory
      {"JST", nullptr, true},          // a name without its offset
      {"JST-9", nullptr, false},
      {"<+0530>-5:30", nullptr, false},
      {"EST5EDT,M3.2.0,M11.1.0", nullptr, false},
      {"<+05", nullptr, true},
      {"Mine/Zone", own.c_str(), false},
      {"Mine/Zone", nullptr, true},
      {"Asia/Tokyo", own.c_str(), true},  // TZDIR replaces the system's directory
      {"Asia/Tokyo", "", false},          // an empty TZDIR does not
      {"", nullptr, false},
      {nullptr, nullptr, false},
  };
  const auto set = [](const char* name, const char* value) {
    if (value == nullptr) {
      unsetenv(name);
    } else {
      setenv(name, value, 1);
    }
  };
  const char* old = std::getenv("TZ");
  const std::string kept = old != nullptr ? old : "";
  for (const auto& c : cases) {
    set("TZ", c.tz);
    set("TZDIR", c.tzdir);
    const std::optional<std::string> named = x9host::os::UnknownTimeZone();
    EXPECT_EQ(named.has_value(), c.named)
        << (c.tz ? c.tz : "-") << " " << (c.tzdir ? c.tzdir : "-");
    if (named) {
      EXPECT_EQ(*named, c.tz);
    }
  }
  set("TZ", old != nullptr ? kept.c_str() : nullptr);
  unsetenv("TZDIR");
  fs::remove_all(own);
}

}  // namespace

namespace {

TEST(X9hostLanguage, X9hostLangOverridesTheLocaleAndAnythingElseIsReturnedForAWarning) {
  const struct {
    const char* forced;
    const char* lang;
    x9host::os::Language language;
    const char* returned;
  } cases[] = {
      {"ja", "C.UTF-8", x9host::os::Language::kJapanese, ""},
      {"en", "ja_JP.UTF-8", x9host::os::Language::kEnglish, ""},
      {nullptr, "ja_JP.UTF-8", x9host::os::Language::kJapanese, ""},
      {"", "ja_JP.UTF-8", x9host::os::Language::kJapanese, ""},
      {"fr", "ja_JP.UTF-8", x9host::os::Language::kJapanese, "fr"},
      {"JA", "C", x9host::os::Language::kEnglish, "JA"},
      {"ja_JP.UTF-8", "C", x9host::os::Language::kJapanese, ""},
      {"en_US", "ja_JP.UTF-8", x9host::os::Language::kEnglish, ""},
      {"japanese", "C", x9host::os::Language::kEnglish, "japanese"},
  };
  unsetenv("LC_ALL");
  unsetenv("LC_MESSAGES");
  for (const auto& c : cases) {
    if (c.forced == nullptr) {
      unsetenv("X9HOST_LANG");
    } else {
      setenv("X9HOST_LANG", c.forced, 1);
    }
    setenv("LANG", c.lang, 1);
    EXPECT_EQ(x9host::os::ChooseLanguage(), c.returned) << (c.forced ? c.forced : "-");
    EXPECT_EQ(x9host::os::CurrentLanguage(), c.language) << (c.forced ? c.forced : "-");
  }
  unsetenv("X9HOST_LANG");
  setenv("LANG", "C.UTF-8", 1);
  x9host::os::SetLanguage(x9host::os::Language::kEnglish);
}

TEST(X9hostLanguage, PlaceholdersAreFilledByNameInEitherLanguagesOrder) {
  using x9host::os::Arg;
  using x9host::os::Language;
  static const char* const kNames[] = {"path", "routes", nullptr};
  const x9host::os::MessageTexts texts{"{path}: {routes:route|routes} {{kept}} {routes?it|them}",
                                       "{routes} 本のルート（{path}）", kNames, 2};
  const Arg path("a.gpx");
  const struct {
    Language language;
    Arg routes;
    const char* expected;
  } cases[] = {
      {Language::kEnglish, Arg(1), "a.gpx: 1 route {kept} it"},
      {Language::kEnglish, Arg(0), "a.gpx: 0 routes {kept} them"},
      {Language::kEnglish, Arg(-1), "a.gpx: -1 routes {kept} them"},
      {Language::kEnglish, Arg(size_t{2}), "a.gpx: 2 routes {kept} them"},
      {Language::kEnglish, Arg("many"), "a.gpx: many routes {kept} them"},
      {Language::kJapanese, Arg(1), "1 本のルート（a.gpx）"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(x9host::os::SayIn(c.language, texts, {&path, &c.routes}), c.expected);
}

}  // namespace
