// A count and its noun in English, "1 item", "3 items": one rule for every line x9host writes.
#pragma once

#include <string>

namespace x9host {

inline std::string Plural(long long count, const char* one, const char* many) {
  return std::to_string(count) + ' ' + (count == 1 ? one : many);
}

}  // namespace x9host
