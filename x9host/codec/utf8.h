// UTF-8, read and written in one place for every reader of x9host: the code page 932
// conversions, the GPX files' bytes, the system tables' answers. Well-formed means the shortest
// form of a code point from U+0000 to U+10FFFF that is not a surrogate.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace x9host {

struct Utf8Character {
  enum class Status {
    kOk,          // code is the character; length its bytes
    kIncomplete,  // the bytes so far begin a character, but the text ends before it does
    kInvalid,     // the bytes cannot begin any character
  };
  Status status = Status::kInvalid;
  uint32_t code = 0;  // kOk only
  // kOk: the character's bytes. Otherwise the bytes a reader passes over as one bad sequence
  // (Utf8SequenceLength), so that each bad sequence is met once.
  size_t length = 0;
};

// The character that starts text (which must not be empty).
Utf8Character DecodeUtf8(std::string_view text);

// How many bytes the sequence that starts text spans, by its lead byte and the continuation
// bytes that follow it: the character's length for well-formed text, 1 for a stray byte, never
// past text's end; 0 for empty text.
size_t Utf8SequenceLength(std::string_view text);

// code (at most U+10FFFF) as UTF-8.
void AppendUtf8(std::string& out, uint32_t code);

}  // namespace x9host
