// The bytes of a GPX file as the XML readers get them: always UTF-8. pugixml reads only UTF-8,
// UTF-16, UTF-32 and Latin-1, and Wine's XmlLite refuses Shift_JIS, so the encodings x9host
// accepts are converted here, once, the same on both platforms. Line breaks stay where they
// were, so the readers' line numbers still name the file's lines.
#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

#include "codepage.h"
#include "gpx.h"
#include "input_error.h"

namespace x9host {
namespace {

enum class Encoding { kUtf8, kLatin1, kShiftJis, kUtf16 };

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
  for (const char* utf8 : {"UTF-8", "UTF8", "US-ASCII", "ASCII"}) {
    if (upper == utf8) return Encoding::kUtf8;
  }
  for (const char* latin1 : {"ISO-8859-1", "ISO_8859-1", "LATIN1", "LATIN-1"}) {
    if (upper == latin1) return Encoding::kLatin1;
  }
  for (const char* sjis : {"SHIFT_JIS", "SHIFT-JIS", "SJIS", "WINDOWS-31J", "CP932", "MS932"}) {
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

std::string Utf8FromLatin1(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (const char c : bytes)
    AppendUtf8(out, static_cast<unsigned char>(c));
  return out;
}

std::string Utf8FromUtf16(std::string_view bytes, bool bigEndian, const std::string& source) {
  std::string out;
  out.reserve(bytes.size());
  int line = 1;
  const auto unit = [&](size_t i) {
    const auto a = static_cast<unsigned char>(bytes[i]),
               b = static_cast<unsigned char>(bytes[i + 1]);
    return static_cast<uint32_t>(bigEndian ? (a << 8) | b : (b << 8) | a);
  };
  const auto fail = [&]() {
    throw InputError(source + ": line " + std::to_string(line) + ": not valid UTF-16");
  };
  if (bytes.size() % 2 != 0) fail();
  for (size_t i = 0; i < bytes.size(); i += 2) {
    uint32_t code = unit(i);
    if (code >= 0xDC00 && code <= 0xDFFF) fail();
    if (code >= 0xD800 && code <= 0xDBFF) {
      if (i + 3 >= bytes.size()) fail();
      const uint32_t low = unit(i + 2);
      if (low < 0xDC00 || low > 0xDFFF) fail();
      code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
      i += 2;
    }
    if (code == '\n') ++line;
    AppendUtf8(out, code);
  }
  return out;
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

}  // namespace

std::string Utf8GpxText(std::string_view bytes, const std::string& sourceName) {
  constexpr char kSupported[] = "UTF-8, UTF-16, ISO-8859-1 and Shift_JIS are";
  const auto starts = [&](std::string_view prefix) {
    return bytes.substr(0, prefix.size()) == prefix;
  };
  if (starts(std::string_view("\xFF\xFE\0\0", 4)) || starts(std::string_view("\0\0\xFE\xFF", 4))) {
    throw InputError(sourceName + ": UTF-32 is not supported (" + kSupported + ")");
  }

  std::string text;
  std::optional<Encoding> byOrderMark;
  if (starts("\xEF\xBB\xBF")) {
    byOrderMark = Encoding::kUtf8;
    text = std::string(bytes.substr(3));
  } else if (starts("\xFF\xFE") || starts("\xFE\xFF")) {
    byOrderMark = Encoding::kUtf16;
    text = Utf8FromUtf16(bytes.substr(2), starts("\xFE\xFF"), sourceName);
  } else {
    text = std::string(bytes);
  }

  const Declared declared = ReadDeclaration(text);
  std::optional<Encoding> encoding = byOrderMark.value_or(Encoding::kUtf8);
  if (declared.present) {
    const std::optional<Encoding> named = EncodingNamed(declared.name);
    if (!named) {
      throw InputError(sourceName + ": the encoding \"" + declared.name + "\" is not supported (" +
                       kSupported + ")");
    }
    if (byOrderMark ? *named != *byOrderMark : *named == Encoding::kUtf16) {
      throw InputError(sourceName + ": declared as " + declared.name + " but " +
                       (byOrderMark == Encoding::kUtf8 ? "it starts with a UTF-8 byte order mark"
                        : byOrderMark == Encoding::kUtf16
                            ? "it starts with a UTF-16 byte order mark"
                            : "it has no UTF-16 byte order mark"));
    }
    encoding = named;
    // The readers get UTF-8 and are told so.
    text.replace(declared.valueBegin, declared.valueEnd - declared.valueBegin, "UTF-8");
  }

  if (encoding == Encoding::kLatin1) return Utf8FromLatin1(text);
  if (encoding == Encoding::kShiftJis) {
    DecodedText decoded = Utf8FromCp932Exactly(text);
    if (!decoded.ok) {
      throw InputError(sourceName + ": line " + std::to_string(LineAt(text, decoded.badOffset)) +
                       ": " + ByteText(std::string_view(text).substr(decoded.badOffset)) +
                       " is not Shift_JIS (code page 932)");
    }
    return std::move(decoded.utf8);
  }
  return text;
}

}  // namespace x9host
