// Code page 932 by one rule on both builds. The system's tables are asked one character at a
// time (and remembered); characters are told apart by the module's lead bytes; a character is
// kept only when the system converts it to code page 932 and back to the same character, which
// leaves out the one-way look-alikes some tables have (U+00A5 to 0x5C, U+301C to 0x8160).
#include <cstdint>
#include <vector>

#include "codec/codepage.h"
#include "codec/utf8.h"
#include "os/messages.h"
#include "text/cp932.h"

namespace x9host {
namespace {

constexpr uint32_t kNotAsked = 0xFFFFFFFF;
constexpr uint32_t kNone = 0xFFFFFFFE;

// What one or two bytes stand for, by the module's lead bytes: the character, or kNone.
uint32_t DecodeUnit(unsigned char lead, unsigned char trail, bool hasTrail) {
  if (lead < 0x80) return lead;
  if (!x9::IsLeadByte(lead)) {
    // Half-width katakana; 0xA0 is no character.
    static std::vector<uint32_t> single(256, kNotAsked);
    uint32_t& known = single[lead];
    if (known == kNotAsked) {
      uint32_t code = 0;
      const char byte = static_cast<char>(lead);
      known = lead >= 0xA1 && lead <= 0xDF && SystemCodeFromCp932(std::string_view(&byte, 1), code)
                  ? code
                  : kNone;
    }
    return known;
  }
  if (!hasTrail) return kNone;
  static std::vector<uint32_t> pairs(65536, kNotAsked);
  uint32_t& known = pairs[(static_cast<size_t>(lead) << 8) | trail];
  if (known == kNotAsked) {
    uint32_t code = 0;
    const char bytes[2] = {static_cast<char>(lead), static_cast<char>(trail)};
    known = trail >= 0x40 && SystemCodeFromCp932(std::string_view(bytes, 2), code) ? code : kNone;
  }
  return known;
}

// The code page 932 bytes of one character (one or two, as a number: lead << 8 | trail for
// two), or 0 when it has none that reads back as itself.
uint32_t EncodeCode(uint32_t code) {
  if (code < 0x80) return code == 0 ? 0 : code;
  if (code > 0xFFFF) return 0;  // code page 932 has nothing beyond the first plane
  static std::vector<uint32_t> known(65536, kNotAsked);
  uint32_t& entry = known[code];
  if (entry == kNotAsked) {
    entry = 0;
    std::string bytes;
    if (SystemCp932FromCode(code, bytes) && (bytes.size() == 1 || bytes.size() == 2)) {
      const auto lead = static_cast<unsigned char>(bytes[0]);
      const bool pair = bytes.size() == 2;
      if (x9::IsLeadByte(lead) == pair) {
        const auto trail = pair ? static_cast<unsigned char>(bytes[1]) : 0;
        if (DecodeUnit(lead, trail, pair) == code) entry = pair ? (lead << 8) | trail : lead;
      }
    }
  }
  return entry;
}

// The next UTF-8 character of text, or kNone (with its length still given) when the bytes are
// not UTF-8.
uint32_t NextCode(std::string_view text, size_t& length) {
  const Utf8Character character = DecodeUtf8(text);
  length = character.length;
  return character.status == Utf8Character::Status::kOk ? character.code : kNone;
}

void AppendCp932(std::string& out, uint32_t bytes) {
  if (bytes > 0xFF) out += static_cast<char>(bytes >> 8);
  out += static_cast<char>(bytes & 0xFF);
}

}  // namespace

std::string QuotedValue(std::string_view value) {
  // Cutting saves little below this many bytes more: such a value is shown whole.
  constexpr size_t kNotWorthCutting = 16;
  if (value.size() <= kShownValueBytes + kNotWorthCutting) return '"' + std::string(value) + '"';
  size_t cut = 0;
  while (cut < value.size()) {
    const size_t next = cut + Utf8SequenceLength(value.substr(cut));
    if (next > kShownValueBytes) break;
    cut = next;
  }
  return msg::ValueCut(value.substr(0, cut), value.size());
}

std::string ShownValue(std::string_view value) {
  return value.size() <= kShownValueBytes ? std::string(value) : QuotedValue(value);
}

Cp932Text Cp932FromUtf8(std::string_view utf8) {
  Cp932Text result;
  for (size_t i = 0; i < utf8.size();) {
    size_t length = 0;
    const uint32_t code = NextCode(utf8.substr(i), length);
    const uint32_t bytes = code == kNone ? 0 : EncodeCode(code);
    if (bytes == 0) {
      result.offending = std::string(utf8.substr(i, length));
      result.bytes.clear();
      return result;
    }
    AppendCp932(result.bytes, bytes);
    i += length;
  }
  result.ok = true;
  return result;
}

Cp932Replaced Cp932FromUtf8Replacing(std::string_view utf8) {
  Cp932Replaced result;
  for (size_t i = 0; i < utf8.size();) {
    size_t length = 0;
    const uint32_t code = NextCode(utf8.substr(i), length);
    const uint32_t bytes = code == kNone ? 0 : EncodeCode(code);
    if (bytes == 0) {
      result.bytes += '?';
      result.replaced += utf8.substr(i, length);
    } else {
      AppendCp932(result.bytes, bytes);
    }
    i += length;
  }
  return result;
}

std::string Utf8FromCp932(std::string_view cp932) {
  std::string out;
  for (size_t i = 0; i < cp932.size();) {
    const auto lead = static_cast<unsigned char>(cp932[i]);
    const bool pair = x9::IsLeadByte(lead) && i + 1 < cp932.size();
    const uint32_t code =
        DecodeUnit(lead, pair ? static_cast<unsigned char>(cp932[i + 1]) : 0, pair);
    if (code == kNone) {
      // A byte with no character: one replacement character, and on after that byte.
      out += "\xEF\xBF\xBD";
      ++i;
      continue;
    }
    AppendUtf8(out, code);
    i += pair ? 2 : 1;
  }
  return out;
}

DecodedText Utf8FromCp932Exactly(std::string_view cp932) {
  DecodedText result;
  for (size_t i = 0; i < cp932.size();) {
    const auto lead = static_cast<unsigned char>(cp932[i]);
    const bool pair = x9::IsLeadByte(lead);
    const bool complete = !pair || i + 1 < cp932.size();
    const uint32_t code =
        complete ? DecodeUnit(lead, pair ? static_cast<unsigned char>(cp932[i + 1]) : 0, pair)
                 : kNone;
    if (code == kNone) {
      result.badOffset = i;
      result.utf8.clear();
      return result;
    }
    AppendUtf8(result.utf8, code);
    i += pair ? 2 : 1;
  }
  result.ok = true;
  return result;
}

std::string MoreNamesWarning(const std::string& source, int64_t namesChanged) {
  return msg::MoreNamesKept(source, namesChanged - kNameWarningsShown);
}

std::string Cp932Name(const std::string& utf8, const std::string& what, const std::string& source,
                      int line, std::vector<std::string>& warnings) {
  bool ascii = true;
  for (const char c : utf8)
    ascii = ascii && static_cast<unsigned char>(c) < 0x80 && c != 0;
  if (ascii) return utf8;  // most names, and every byte is its own character
  Cp932Replaced name = Cp932FromUtf8Replacing(utf8);
  if (!name.replaced.empty()) {
    // Each character once, in the order they first appear.
    std::string characters;
    std::string_view rest = name.replaced;
    std::vector<std::string_view> seen;
    while (!rest.empty()) {
      const std::string_view one = rest.substr(0, Utf8SequenceLength(rest));
      rest.remove_prefix(one.size());
      bool again = false;
      for (const std::string_view earlier : seen)
        again = again || earlier == one;
      if (again) continue;
      seen.push_back(one);
      characters += (characters.empty() ? "\"" : " \"") + std::string(one) + '"';
    }
    warnings.push_back(msg::NameKeptAs(source, line, what, QuotedValue(utf8),
                                       QuotedValue(Utf8FromCp932(name.bytes)), characters));
  }
  return std::move(name.bytes);
}

}  // namespace x9host
