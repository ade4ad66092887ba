// Which language the user reads, by the C library's rule for the messages category: the first
// of LC_ALL, LC_MESSAGES and LANG that is set and not empty.
#include <gtest/gtest.h>

#include <cstdlib>

#include "os/os.h"

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

}  // namespace
