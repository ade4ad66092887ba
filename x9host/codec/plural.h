// A count and its noun in English, "1 item", "3 items": one rule for every line x9host writes.
#pragma once

#include <string>
#include <string_view>

namespace x9host {

inline std::string Plural(long long count, const char* one, const char* many) {
  return std::to_string(count) + ' ' + (count == 1 ? one : many);
}

// A phrase that carries both forms where they differ, "{name|names} longer than 19 bytes": each
// "{one|many}" becomes one for a count of 1 and many otherwise; the rest is as it is. So a kind
// of loss, written once, reads right for any count.
inline std::string ForCount(long long count, std::string_view phrase) {
  std::string out;
  for (;;) {
    const size_t open = phrase.find('{');
    const size_t bar = phrase.find('|', open);
    const size_t close = phrase.find('}', bar);
    if (close == std::string_view::npos) break;
    out += phrase.substr(0, open);
    out += count == 1 ? phrase.substr(open + 1, bar - open - 1)
                      : phrase.substr(bar + 1, close - bar - 1);
    phrase.remove_prefix(close + 1);
  }
  return out += phrase;
}

// "1 name longer than 19 bytes", "3 names longer than 19 bytes".
inline std::string Counted(long long count, std::string_view phrase) {
  return std::to_string(count) + ' ' + ForCount(count, phrase);
}

}  // namespace x9host
