#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "device/path.h"

namespace {

using x9::EndsWithSeparator;
using x9::JoinPath;

std::string Joined(const char* directory, const char* fileName) {
  char buffer[x9::kPathBufferSize] = {};
  std::strcpy(buffer, directory);
  EXPECT_TRUE(JoinPath(buffer, sizeof buffer, fileName));
  return buffer;
}

TEST(EndsWithSeparator, WalksCharactersNotBytes) {
  EXPECT_TRUE(EndsWithSeparator("C:\\plugins\\"));
  EXPECT_FALSE(EndsWithSeparator("C:\\plugins"));
  EXPECT_FALSE(EndsWithSeparator(""));
  EXPECT_TRUE(EndsWithSeparator("\\"));
  // 0x95 0x5C is one double-byte character whose trail byte looks like a backslash.
  EXPECT_FALSE(EndsWithSeparator("C:\\\x95\x5c"));
  EXPECT_TRUE(EndsWithSeparator("C:\\\x95\x5c\\"));
  // Half-width katakana are single-byte characters.
  EXPECT_TRUE(EndsWithSeparator("C:\\\xb1\xdf\\"));
  // A lead byte without its trail byte ends the walk.
  EXPECT_FALSE(EndsWithSeparator("C:\\\x95"));
  EXPECT_TRUE(EndsWithSeparator("C:/dir/", '/'));
}

TEST(JoinPath, PutsExactlyOneSeparatorBetween) {
  EXPECT_EQ(Joined("C:\\plugins", "x9.dll"), "C:\\plugins\\x9.dll");
  EXPECT_EQ(Joined("C:\\plugins\\", "x9.dll"), "C:\\plugins\\x9.dll");
  EXPECT_EQ(Joined("C:\\\x95\x5c", "x9.dll"), "C:\\\x95\x5c\\x9.dll");
  EXPECT_EQ(Joined("C:\\\xb1\\", "x9.dll"), "C:\\\xb1\\x9.dll");
  EXPECT_EQ(Joined("", "x9.dll"), "\\x9.dll");
  EXPECT_EQ(Joined("C:\\dir", "\\x9.dll"), "C:\\dir\\x9.dll");
  EXPECT_EQ(Joined("C:\\dir", "\\\\x9.dll"), "C:\\dir\\\\x9.dll");
}

TEST(JoinPath, RefusesAPathThatWouldNotFitItsBuffer) {
  char buffer[x9::kPathBufferSize];
  // 252 bytes + separator + "x9.dll" (6) + zero = 260: fits exactly.
  std::memset(buffer, 'a', 252);
  buffer[252] = '\0';
  EXPECT_TRUE(JoinPath(buffer, sizeof buffer, "x9.dll"));
  EXPECT_EQ(std::strlen(buffer), 259u);

  std::memset(buffer, 'a', 253);
  buffer[253] = '\0';
  const std::string before(buffer);
  EXPECT_FALSE(JoinPath(buffer, sizeof buffer, "x9.dll"));
  EXPECT_EQ(std::string(buffer), before);

  // A directory with no zero byte inside the buffer is not read past its end.
  std::memset(buffer, 'a', sizeof buffer);
  EXPECT_FALSE(JoinPath(buffer, sizeof buffer, "x9.dll"));
}

}  // namespace
