// The version resource as a user's file properties show it, read from a resource block (the
// program's own) or from a file (the module), and the project's version from CMake to compare.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace x9test {

struct VersionInfo {
  uint32_t fileVersionMS = 0, fileVersionLS = 0;
  uint32_t productVersionMS = 0, productVersionLS = 0;
  std::wstring fileVersion, productVersion, productName;  // US English, Unicode block
};

// block: a copy of a VS_VERSIONINFO resource (VerQueryValueW may write into it).
std::optional<VersionInfo> ParseVersionInfo(std::vector<uint8_t> block);
std::optional<VersionInfo> ReadFileVersionInfo(const std::wstring& path);

// The numbers of an "a.b.c" text as VS_FIXEDFILEINFO holds them (the fourth number 0); none for
// any other text.
struct FixedVersion {
  uint32_t ms = 0, ls = 0;
};
std::optional<FixedVersion> FixedFromText(const std::string& text);

}  // namespace x9test
