#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "device/path.h"

namespace {

using x9::EndsWithBackslash;
using x9::JoinPath;

std::string Joined(const char* directory, const char* fileName) {
  char buffer[x9::kPathBufferSize] = {};
  std::strcpy(buffer, directory);
  EXPECT_TRUE(JoinPath(buffer, sizeof buffer, fileName));
  return buffer;
}

TEST(EndsWithBackslash, WalksCharactersNotBytes) {
  EXPECT_EQ(EndsWithBackslash("C:\\plugins\\"), 1);
  EXPECT_EQ(EndsWithBackslash("C:\\plugins"), 0);
  EXPECT_EQ(EndsWithBackslash(""), 0);
  EXPECT_EQ(EndsWithBackslash("\\"), 1);
  // 0x95 0x5C is one double-byte character whose trail byte looks like a backslash.
  EXPECT_EQ(EndsWithBackslash("C:\\\x95\x5c"), 0);
  EXPECT_EQ(EndsWithBackslash("C:\\\x95\x5c\\"), 1);
  // Half-width katakana are single-byte characters.
  EXPECT_EQ(EndsWithBackslash("C:\\\xb1\xdf\\"), 1);
  // A lead byte without its trail byte ends the walk.
  EXPECT_EQ(EndsWithBackslash("C:\\\x95"), 0);
  EXPECT_EQ(EndsWithBackslash("C:/dir/", '/'), 1);
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
