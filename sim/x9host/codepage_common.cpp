#include "codepage.h"

namespace x9host {

size_t WatchNameLength(std::string_view cp932) {
  constexpr size_t kLimit = 19;
  size_t i = 0;
  while (i < kLimit && i < cp932.size() && cp932[i] != '\0') {
    const auto c = static_cast<unsigned char>(cp932[i]);
    const bool lead = (c >= 0x80 && c <= 0x9F) || c >= 0xE0;
    if (!lead) {
      ++i;
    } else if (i + 1 >= kLimit) {
      break;  // the character would be split: the cut falls before it
    } else {
      i += 2;
    }
  }
  return i;
}

}  // namespace x9host
