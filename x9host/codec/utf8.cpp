#include "codec/utf8.h"

namespace x9host {
namespace {

// The continuation bytes allowed second, by lead byte: the narrower ranges after E0, ED, F0
// and F4 are what leaves out overlong forms, surrogates and code points beyond U+10FFFF.
struct Lead {
  size_t length;  // 0: not a lead byte
  unsigned char low;
  unsigned char high;
};

Lead LeadOf(unsigned char c) {
  if (c < 0x80) return {1, 0, 0};
  if (c >= 0xC2 && c <= 0xDF) return {2, 0x80, 0xBF};
  if (c == 0xE0) return {3, 0xA0, 0xBF};
  if (c == 0xED) return {3, 0x80, 0x9F};
  if (c >= 0xE1 && c <= 0xEF) return {3, 0x80, 0xBF};
  if (c == 0xF0) return {4, 0x90, 0xBF};
  if (c >= 0xF1 && c <= 0xF3) return {4, 0x80, 0xBF};
  if (c == 0xF4) return {4, 0x80, 0x8F};
  return {0, 0, 0};
}

}  // namespace

Utf8Character DecodeUtf8(std::string_view text) {
  Utf8Character result;
  result.length = Utf8SequenceLength(text);
  const auto lead = static_cast<unsigned char>(text[0]);
  const Lead rule = LeadOf(lead);
  if (rule.length == 0) return result;
  uint32_t code = rule.length == 1 ? lead : lead & (0x7F >> rule.length);
  for (size_t i = 1; i < rule.length; ++i) {
    if (i >= text.size()) {
      result.status = Utf8Character::Status::kIncomplete;
      return result;
    }
    const auto next = static_cast<unsigned char>(text[i]);
    const bool allowed = i == 1 ? next >= rule.low && next <= rule.high : (next & 0xC0) == 0x80;
    if (!allowed) return result;
    code = (code << 6) | (next & 0x3F);
  }
  result.status = Utf8Character::Status::kOk;
  result.code = code;
  result.length = rule.length;
  return result;
}

size_t Utf8SequenceLength(std::string_view text) {
  if (text.empty()) return 0;
  const auto lead = static_cast<unsigned char>(text[0]);
  size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
  size_t i = 1;
  while (i < length && i < text.size() && (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80)
    ++i;
  return i;
}

void AppendUtf8(std::string& out, uint32_t code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

}  // namespace x9host
