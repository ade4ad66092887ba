#include "device/path.h"

#include <cstring>

#include "text/cp932.h"

namespace x9 {

bool EndsWithSeparator(const char* path, char separator) {
  const auto* p = reinterpret_cast<const unsigned char*>(path);
  const unsigned char* lastSeparator = nullptr;
  const unsigned char* last = nullptr;
  while (*p != 0) {
    last = p;
    if (IsLeadByte(*p)) {
      if (p[1] == 0) break;  // lead byte without its trail byte ends the walk
      last = p + 1;
      p += 2;
      continue;
    }
    if (*p == static_cast<unsigned char>(separator)) lastSeparator = p;
    ++p;
  }
  return lastSeparator != nullptr && lastSeparator == last;
}

bool JoinPath(char* directory, size_t capacity, const char* fileName, char separator) {
  const void* end = std::memchr(directory, '\0', capacity);
  if (end == nullptr) return false;  // not terminated within its buffer
  const size_t dirLength = static_cast<const char*>(end) - directory;
  const bool addSeparator = !EndsWithSeparator(directory, separator);
  if (fileName[0] == separator) ++fileName;
  const size_t nameLength = std::strlen(fileName);
  if (dirLength + (addSeparator ? 1 : 0) + nameLength + 1 > capacity) return false;
  char* out = directory + dirLength;
  if (addSeparator) *out++ = separator;
  std::memcpy(out, fileName, nameLength + 1);
  return true;
}

}  // namespace x9
