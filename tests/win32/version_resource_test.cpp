// The version resource as compiled into a program from the module's resource script: the
// project's version, in the fixed fields and in the texts.
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <vector>

#include "platform/win32/windows_support.h"
#include "version_info.h"

namespace x9test {
namespace {

// The program carries the module's resource script, so its version is the module's.
TEST(VersionResource, IsTheProjectVersion) {
  const HMODULE program = GetModuleHandleW(nullptr);
  const HRSRC found = FindResourceW(program, MAKEINTRESOURCEW(VS_VERSION_INFO), RT_VERSION);
  ASSERT_NE(found, nullptr);
  const auto* data = static_cast<const uint8_t*>(LockResource(LoadResource(program, found)));
  const std::optional<VersionInfo> info =
      ParseVersionInfo(std::vector<uint8_t>(data, data + SizeofResource(program, found)));
  ASSERT_TRUE(info.has_value());
  const std::optional<FixedVersion> expected = FixedFromText(X9_TEST_PROJECT_VERSION);
  ASSERT_TRUE(expected.has_value()) << X9_TEST_PROJECT_VERSION;
  EXPECT_EQ(info->fileVersionMS, expected->ms);
  EXPECT_EQ(info->fileVersionLS, expected->ls);
  EXPECT_EQ(info->productVersionMS, expected->ms);
  EXPECT_EQ(info->productVersionLS, expected->ls);
  EXPECT_EQ(info->fileVersion, L"" X9_TEST_PROJECT_VERSION);
  EXPECT_EQ(info->productVersion, L"" X9_TEST_PROJECT_VERSION);
  EXPECT_EQ(info->productName, L"x9link");
}

}  // namespace
}  // namespace x9test
