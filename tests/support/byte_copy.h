// Copies a record byte for byte: padding bytes (64-bit build) travel too, which a struct copy
// need not keep, so that records compared with memcmp compare every byte.
#pragma once

#include <cstring>

namespace x9test {

template <typename Record>
void CopyBytes(Record& to, const Record& from) {
  std::memcpy(&to, &from, sizeof to);
}

}  // namespace x9test
