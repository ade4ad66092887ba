#include "codec/width.h"

#include <cstdint>
#include <iterator>

#include "codec/utf8.h"

namespace x9host {
namespace {

struct Range {
  uint32_t first;
  uint32_t last;
};

// Unicode's East Asian Width W and F, in the blocks a name or a message can hold.
constexpr Range kWide[] = {
    {0x1100, 0x115f},   {0x231a, 0x231b},   {0x2329, 0x232a},   {0x2e80, 0x303e},
    {0x3041, 0x3247},   {0x3250, 0x4dbf},   {0x4e00, 0xa4cf},   {0xa960, 0xa97f},
    {0xac00, 0xd7a3},   {0xf900, 0xfaff},   {0xfe10, 0xfe19},   {0xfe30, 0xfe6f},
    {0xff01, 0xff60},   {0xffe0, 0xffe6},   {0x1f300, 0x1f64f}, {0x1f900, 0x1f9ff},
    {0x20000, 0x2fffd}, {0x30000, 0x3fffd},
};
constexpr Range kCombining[] = {
    {0x0300, 0x036f}, {0x1ab0, 0x1aff}, {0x1dc0, 0x1dff}, {0x200b, 0x200f},
    {0x20d0, 0x20ff}, {0x3099, 0x309a}, {0xfe00, 0xfe0f}, {0xfe20, 0xfe2f},
};

template <size_t N>
bool In(const Range (&ranges)[N], uint32_t code) {
  for (const Range& range : ranges) {
    if (code >= range.first && code <= range.last) return true;
  }
  return false;
}

}  // namespace

size_t DisplayWidth(std::string_view text) {
  size_t columns = 0;
  while (!text.empty()) {
    const Utf8Character c = DecodeUtf8(text);
    if (c.status == Utf8Character::Status::kOk) {
      columns += In(kCombining, c.code) ? 0 : In(kWide, c.code) ? 2 : 1;
    } else {
      columns += 1;
    }
    text.remove_prefix(c.length > 0 ? c.length : 1);
  }
  return columns;
}

std::string PadToWidth(std::string_view text, size_t width) {
  std::string out(text);
  for (size_t columns = DisplayWidth(text); columns < width; ++columns)
    out += ' ';
  return out;
}

std::string PadLeftToWidth(std::string_view text, size_t width) {
  const size_t columns = DisplayWidth(text);
  std::string out(columns < width ? width - columns : 0, ' ');
  return out += text;
}

}  // namespace x9host
