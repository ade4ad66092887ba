// x9host's own lines in the user's language. Every text x9host writes itself is an entry of
// release/x9host-messages.toml, with its English and its Japanese; tools/messages.py makes one
// function per entry (os/messages.h, in the build tree), which fills the placeholders and
// returns the text in the language chosen at start.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <string>
#include <string_view>
#include <type_traits>

namespace x9host::os {

enum class Language { kEnglish, kJapanese };

// X9HOST_LANG=en|ja when set (for scripts), else the user's (UserReadsJapanese). An
// X9HOST_LANG that is neither leaves the user's and is returned, for a warning; else empty.
std::string ChooseLanguage();
Language CurrentLanguage();
void SetLanguage(Language language);

// A placeholder's value: a text, or a count ("{routes:route|routes}" picks a word by it).
class Arg {
 public:
  Arg(std::string_view text) : text_(text) {}
  Arg(const std::string& text) : text_(text) {}
  Arg(const char* text) : text_(text) {}
  template <typename T,
            typename = std::enable_if_t<std::is_integral_v<T> && !std::is_same_v<T, bool> &&
                                        !std::is_same_v<T, char>>>
  Arg(T count)
      : text_(std::to_string(count)), count_(static_cast<long long>(count)), counted_(true) {}

  const std::string& Text() const { return text_; }
  bool Counted() const { return counted_; }
  long long Count() const { return count_; }

 private:
  std::string text_;
  long long count_ = 0;
  bool counted_ = false;
};

// One entry of the table: both templates and its placeholders' names, in the functions'
// order. "{name}" is a value, "{name:one|many}" a count and its word, "{name?one|many}" the
// word alone (a pronoun: "cannot hold {count?it|them}"), "{{" and "}}" braces.
struct MessageTexts {
  const char* english;
  const char* japanese;
  const char* const* names;
  size_t nameCount;
};

std::string Say(const MessageTexts& texts, std::initializer_list<const Arg*> args);
// The same in a given language (the tests compare both).
std::string SayIn(Language language, const MessageTexts& texts,
                  std::initializer_list<const Arg*> args);

}  // namespace x9host::os
