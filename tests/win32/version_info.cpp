#include "version_info.h"

#include <cstdio>

#include "platform/win32/windows_support.h"

namespace x9test {
namespace {

std::wstring StringValue(std::vector<uint8_t>& block, const wchar_t* name) {
  const std::wstring path = std::wstring(L"\\StringFileInfo\\040904b0\\") + name;
  void* value = nullptr;
  UINT length = 0;
  if (!VerQueryValueW(block.data(), path.c_str(), &value, &length) || length == 0) return {};
  return std::wstring(static_cast<const wchar_t*>(value));
}

}  // namespace

std::optional<VersionInfo> ParseVersionInfo(std::vector<uint8_t> block) {
  // VerQueryValueW may use room after the resource, as GetFileVersionInfoW's copy would have.
  block.resize(block.size() * 2);
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  if (!VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length)) return {};
  if (length != sizeof *fixed || fixed->dwSignature != 0xFEEF04BDu) return {};
  VersionInfo info;
  info.fileVersionMS = fixed->dwFileVersionMS;
  info.fileVersionLS = fixed->dwFileVersionLS;
  info.productVersionMS = fixed->dwProductVersionMS;
  info.productVersionLS = fixed->dwProductVersionLS;
  info.fileVersion = StringValue(block, L"FileVersion");
  info.productVersion = StringValue(block, L"ProductVersion");
  info.productName = StringValue(block, L"ProductName");
  return info;
}

std::optional<VersionInfo> ReadFileVersionInfo(const std::wstring& path) {
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
  if (size == 0) return {};
  std::vector<uint8_t> block(size);
  if (!GetFileVersionInfoW(path.c_str(), 0, size, block.data())) return {};
  return ParseVersionInfo(std::move(block));
}

std::optional<FixedVersion> FixedFromText(const std::string& text) {
  unsigned major = 0, minor = 0, patch = 0;
  char end = 0;
  if (std::sscanf(text.c_str(), "%u.%u.%u%c", &major, &minor, &patch, &end) != 3) return {};
  if (major > 0xFFFF || minor > 0xFFFF || patch > 0xFFFF) return {};
  return FixedVersion{major << 16 | minor, patch << 16};
}

}  // namespace x9test
