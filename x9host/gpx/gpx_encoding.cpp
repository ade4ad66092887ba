// The bytes of a GPX file as the XML readers get them: always UTF-8, piece by piece. Wine's
// XmlLite refuses Shift_JIS and expat knows no code page 932, so the encodings x9host accepts
// are converted here, once, the same on both builds. Line breaks stay where they were, so the
// readers' line numbers still name the file's lines.
#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

#include "codec/codepage.h"
#include "codec/utf8.h"
#include "gpx/xml_reader.h"
#include "os/input_error.h"
#include "os/messages.h"
#include "text/cp932.h"

namespace x9host {
namespace {

using Encoding = Utf8Input::Encoding;

struct Declared {
  bool present = false;
  std::string name;       // as written
  size_t valueBegin = 0;  // where the name's bytes are
  size_t valueEnd = 0;
};

std::string Upper(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// The encoding named by the XML declaration at the start of text, if there is one.
Declared ReadDeclaration(std::string_view text) {
  Declared declared;
  if (text.substr(0, 5) != "<?xml" || text.size() < 6 || !IsSpace(text[5])) return declared;
  const size_t end = text.find("?>");
  if (end == std::string_view::npos) return declared;
  const std::string_view head = text.substr(0, end);
  size_t at = 5;
  while ((at = head.find("encoding", at)) != std::string_view::npos) {
    const bool startsWord = IsSpace(head[at - 1]);
    size_t i = at + 8;
    at = i;
    if (!startsWord) continue;
    while (i < head.size() && IsSpace(head[i]))
      ++i;
    if (i >= head.size() || head[i] != '=') continue;
    ++i;
    while (i < head.size() && IsSpace(head[i]))
      ++i;
    if (i >= head.size() || (head[i] != '"' && head[i] != '\'')) continue;
    const char quote = head[i];
    const size_t close = head.find(quote, i + 1);
    if (close == std::string_view::npos) continue;
    declared.present = true;
    declared.valueBegin = i + 1;
    declared.valueEnd = close;
    declared.name = std::string(head.substr(i + 1, close - i - 1));
    break;
  }
  return declared;
}

std::optional<Encoding> EncodingNamed(const std::string& name) {
  const std::string upper = Upper(name);
  for (const char* utf8 : {"UTF-8", "UTF8", "US-ASCII",  // not a message: encodings' names
                           "ASCII"}) {
    if (upper == utf8) return Encoding::kUtf8;
  }
  for (const char* latin1 : {"ISO-8859-1", "ISO_8859-1", "LATIN1", "LATIN-1"}) {
    if (upper == latin1) return Encoding::kLatin1;
  }
  for (const char* sjis : {"SHIFT_JIS", "SHIFT-JIS", "SJIS",  // not a message: encodings' names
                           "WINDOWS-31J", "CP932", "MS932"}) {
    if (upper == sjis) return Encoding::kShiftJis;
  }
  for (const char* utf16 : {"UTF-16", "UTF-16LE", "UTF-16BE"}) {
    if (upper == utf16) return Encoding::kUtf16;
  }
  return std::nullopt;
}

int LineAt(std::string_view text, size_t offset) {
  return 1 + static_cast<int>(
                 std::count(text.begin(), text.begin() + static_cast<ptrdiff_t>(offset), '\n'));
}

std::string ByteText(std::string_view bytes) {
  std::string out;
  for (size_t i = 0; i < bytes.size() && i < 2; ++i) {
    char text[8];
    std::snprintf(text, sizeof text, "%s0x%02X", i == 0 ? "" : " ",
                  static_cast<unsigned char>(bytes[i]));
    out += text;
  }
  return out;
}

[[noreturn]] void FailUtf16(const std::string& source, int line) {
  throw InputError(msg::EncodingBadUtf16(source, line));
}

}  // namespace

Utf8Input::Utf8Input(ByteSource& bytes, const std::string& sourceName)
    : bytes_(bytes), source_(sourceName) {}

std::string_view Utf8Input::Next() {
  if (finished_) return {};
  if (!started_) {
    started_ = true;
    return First();
  }
  for (;;) {
    const std::string_view piece = bytes_.Next();
    if (piece.empty()) {
      finished_ = true;
      const std::string_view rest = Convert({}, true);
      if (rest.empty()) return {};
      return rest;
    }
    const std::string_view text = Convert(piece, false);
    if (!text.empty()) return text;
  }
}

// The first piece: long enough to hold the byte order mark and the declaration.
std::string_view Utf8Input::First() {
  constexpr size_t kHead = 4096;
  std::string head;
  bool last = false;
  while (head.size() < kHead) {
    const std::string_view piece = bytes_.Next();
    if (piece.empty()) {
      last = true;
      break;
    }
    head += piece;
  }
  finished_ = last;
  const auto starts = [&](std::string_view prefix) {
    return std::string_view(head).substr(0, prefix.size()) == prefix;
  };
  if (starts(std::string_view("\xFF\xFE\0\0", 4)) || starts(std::string_view("\0\0\xFE\xFF", 4))) {
    throw InputError(msg::EncodingUtf32(source_));
  }
  // '<' as UTF-16 without a byte order mark: expat would guess it, XmlLite refuses it.
  if (starts(std::string_view("\0<", 2)) || starts(std::string_view("<\0", 2))) {
    throw InputError(msg::EncodingUtf16Unmarked(source_));
  }
  std::optional<Encoding> byOrderMark;
  std::string text;  // the head in UTF-8, for UTF-16
  if (starts("\xEF\xBB\xBF")) {
    byOrderMark = Encoding::kUtf8;
    head.erase(0, 3);
  } else if (starts("\xFF\xFE") || starts("\xFE\xFF")) {
    byOrderMark = Encoding::kUtf16;
    encoding_ = Encoding::kUtf16;
    bigEndian_ = starts("\xFE\xFF");
    head.erase(0, 2);
    // The declaration is read in what the units say.
    ConvertUtf16(head, last);
    text = std::move(out_);
    out_.clear();
  }
  std::string& declaring = byOrderMark == Encoding::kUtf16 ? text : head;

  const Declared declared = ReadDeclaration(declaring);
  Encoding encoding = byOrderMark.value_or(Encoding::kUtf8);
  if (declared.present) {
    const std::optional<Encoding> named = EncodingNamed(declared.name);
    if (!named) {
      throw InputError(msg::EncodingUnsupported(source_, QuotedValue(declared.name)));
    }
    if (byOrderMark ? *named != *byOrderMark : *named == Encoding::kUtf16) {
      throw InputError(byOrderMark == Encoding::kUtf8
                           ? msg::EncodingDeclaredUtf8Mark(source_, declared.name)
                       : byOrderMark == Encoding::kUtf16
                           ? msg::EncodingDeclaredUtf16Mark(source_, declared.name)
                           : msg::EncodingDeclaredNoUtf16Mark(source_, declared.name));
    }
    encoding = *named;
    // The readers get UTF-8 and are told so.
    declaring.replace(declared.valueBegin, declared.valueEnd - declared.valueBegin, "UTF-8");
  }
  if (byOrderMark == Encoding::kUtf16) {
    out_ = std::move(text);
    return out_;
  }
  encoding_ = encoding;
  return Convert(head, last);
}

std::string_view Utf8Input::Convert(std::string_view bytes, bool last) {
  switch (encoding_) {
    case Encoding::kUtf8:
      // Checked here, not by the parsers: XmlLite would read a bad byte as '?'.
      out_.clear();
      CheckUtf8(bytes, last);
      return out_;
    case Encoding::kLatin1:
      out_.clear();
      for (const char c : bytes)
        AppendUtf8(out_, static_cast<unsigned char>(c));
      return out_;
    case Encoding::kUtf16:
      out_.clear();
      ConvertUtf16(bytes, last);
      return out_;
    case Encoding::kShiftJis:
      out_.clear();
      ConvertShiftJis(bytes, last);
      return out_;
  }
  return {};
}

void Utf8Input::ConvertUtf16(std::string_view bytes, bool last) {
  std::string joined;
  if (!carry_.empty()) {
    joined = carry_ + std::string(bytes);
    carry_.clear();
    bytes = joined;
  }
  const auto unit = [&](size_t i) {
    const auto a = static_cast<unsigned char>(bytes[i]),
               b = static_cast<unsigned char>(bytes[i + 1]);
    return static_cast<uint32_t>(bigEndian_ ? (a << 8) | b : (b << 8) | a);
  };
  out_.reserve(out_.size() + bytes.size());
  size_t i = 0;
  for (; i + 1 < bytes.size(); i += 2) {
    uint32_t code = unit(i);
    if (code >= 0xDC00 && code <= 0xDFFF) FailUtf16(source_, line_);
    if (code >= 0xD800 && code <= 0xDBFF) {
      if (i + 3 >= bytes.size()) break;  // its pair is in the next piece
      const uint32_t low = unit(i + 2);
      if (low < 0xDC00 || low > 0xDFFF) FailUtf16(source_, line_);
      code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
      i += 2;
    }
    if (code == '\n') ++line_;
    AppendUtf8(out_, code);
  }
  carry_.assign(bytes.substr(i));
  if (last && !carry_.empty()) FailUtf16(source_, line_);
}

void Utf8Input::ConvertShiftJis(std::string_view bytes, bool last) {
  std::string joined;
  if (!carry_.empty()) {
    joined = carry_ + std::string(bytes);
    carry_.clear();
    bytes = joined;
  }
  // Whole characters only: a lead byte at the end waits for its trail in the next piece.
  size_t end = 0;
  while (end < bytes.size()) {
    const size_t length = x9::IsLeadByte(static_cast<unsigned char>(bytes[end])) ? 2 : 1;
    if (end + length > bytes.size()) break;
    end += length;
  }
  if (last) end = bytes.size();
  DecodedText decoded = Utf8FromCp932Exactly(bytes.substr(0, end));
  if (!decoded.ok) {
    throw InputError(msg::EncodingBadShiftJis(source_, line_ - 1 + LineAt(bytes, decoded.badOffset),
                                              ByteText(bytes.substr(decoded.badOffset))));
  }
  line_ += static_cast<int>(
      std::count(bytes.begin(), bytes.begin() + static_cast<ptrdiff_t>(end), '\n'));
  carry_.assign(bytes.substr(end));
  out_ += decoded.utf8;
}

// Passes whole UTF-8 characters on (a character cut by the piece's end waits for the next),
// refusing bytes that are not UTF-8: overlong forms, surrogates, beyond U+10FFFF.
void Utf8Input::CheckUtf8(std::string_view bytes, bool last) {
  std::string joined;
  if (!carry_.empty()) {
    joined = carry_ + std::string(bytes);
    carry_.clear();
    bytes = joined;
  }
  const auto fail = [&](size_t at) {
    throw InputError(
        msg::EncodingBadUtf8(source_, line_ - 1 + LineAt(bytes, at), ByteText(bytes.substr(at))));
  };
  size_t i = 0;
  while (i < bytes.size()) {
    if (static_cast<unsigned char>(bytes[i]) < 0x80) {
      ++i;
      continue;
    }
    const Utf8Character character = DecodeUtf8(bytes.substr(i));
    if (character.status == Utf8Character::Status::kOk) {
      i += character.length;
      continue;
    }
    // The rest of a character in the next piece; at the end, there is none.
    if (character.status == Utf8Character::Status::kIncomplete && !last) break;
    fail(i);
  }
  line_ +=
      static_cast<int>(std::count(bytes.begin(), bytes.begin() + static_cast<ptrdiff_t>(i), '\n'));
  out_.append(bytes.substr(0, i));
  carry_.assign(bytes.substr(i));
}

}  // namespace x9host
