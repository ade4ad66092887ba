// A 64-bit digest of bytes, eight at a time: what a request changed is told by comparing
// digests of the transfer list and the watch before and after, not copies of them. Not for
// anything an adversary chooses: a collision would only make x9host say "nothing changed".
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace x9host {

class Digest {
 public:
  void Add(const void* bytes, size_t size) {
    const auto* p = static_cast<const unsigned char*>(bytes);
    for (; size >= 8; p += 8, size -= 8) {
      uint64_t word;
      std::memcpy(&word, p, 8);
      Mix(word);
    }
    uint64_t tail = 0;
    if (size > 0) std::memcpy(&tail, p, size);
    Mix(tail ^ (static_cast<uint64_t>(size) << 56));
  }
  // A text, or null, which is not the empty text.
  void AddText(const char* text) {
    if (text == nullptr) {
      Mix(0xFF);
    } else {
      Add(text, std::strlen(text));
    }
  }
  uint64_t Value() const { return state_ ^ (state_ >> 31); }

 private:
  void Mix(uint64_t word) {
    state_ = (state_ ^ word) * 0x9E3779B97F4A7C15ull;
    state_ ^= state_ >> 29;
  }
  uint64_t state_ = 0x243F6A8885A308D3ull;
};

}  // namespace x9host
