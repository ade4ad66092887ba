#include "os/say.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

#include "os/os.h"

namespace x9host::os {
namespace {

// Chosen once at start, before any handler that writes a line is installed; read by them too.
std::atomic<Language> language{Language::kEnglish};
// A signal handler may read it only if no lock guards it.
static_assert(std::atomic<Language>::is_always_lock_free);

// The placeholder named name..end, or nullptr (the generator refuses such a table).
const Arg* Find(const MessageTexts& texts, std::initializer_list<const Arg*> args,
                std::string_view name) {
  size_t index = 0;
  for (const Arg* arg : args) {
    if (index < texts.nameCount && name == texts.names[index]) return arg;
    ++index;
  }
  return nullptr;
}

// "ja", or a locale's name for it ("ja_JP", "ja_JP.UTF-8", "ja-JP").
bool Names(const char* value, const char* language) {
  const size_t length = std::strlen(language);
  return std::strncmp(value, language, length) == 0 &&
         (value[length] == '\0' || value[length] == '_' || value[length] == '-' ||
          value[length] == '.');
}

}  // namespace

std::string ChooseLanguage() {
  const char* forced = std::getenv("X9HOST_LANG");
  if (forced != nullptr && Names(forced, "en")) {
    SetLanguage(Language::kEnglish);
    return "";
  }
  if (forced != nullptr && Names(forced, "ja")) {
    SetLanguage(Language::kJapanese);
    return "";
  }
  SetLanguage(UserReadsJapanese() ? Language::kJapanese : Language::kEnglish);
  return forced != nullptr && *forced != '\0' ? forced : "";
}

Language CurrentLanguage() { return language.load(); }

void SetLanguage(Language chosen) { language.store(chosen); }

std::string Say(const MessageTexts& texts, std::initializer_list<const Arg*> args) {
  return SayIn(CurrentLanguage(), texts, args);
}

std::string SayIn(Language chosen, const MessageTexts& texts,
                  std::initializer_list<const Arg*> args) {
  const std::string_view text = chosen == Language::kJapanese ? texts.japanese : texts.english;
  std::string out;
  out.reserve(text.size() + 32);
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if ((c == '{' || c == '}') && i + 1 < text.size() && text[i + 1] == c) {
      out += c;
      ++i;
      continue;
    }
    if (c != '{') {
      out += c;
      continue;
    }
    const size_t close = text.find('}', i);
    if (close == std::string_view::npos) {
      out += text.substr(i);
      break;
    }
    const std::string_view field = text.substr(i + 1, close - i - 1);
    // "{n}" the value; "{n:one|many}" the count, a space and its word; "{n?one|many}" the word
    // alone.
    const size_t mark = field.find_first_of(":?");
    const Arg* arg = Find(texts, args, field.substr(0, mark));
    if (arg != nullptr) {
      if (mark == std::string_view::npos || field[mark] == ':') out += arg->Text();
      if (mark != std::string_view::npos) {
        const std::string_view words = field.substr(mark + 1);
        const size_t bar = words.find('|');
        if (field[mark] == ':') out += ' ';
        out += arg->Counted() && arg->Count() == 1
                   ? words.substr(0, bar)
                   : words.substr(bar == std::string_view::npos ? 0 : bar + 1);
      }
    }
    i = close;
  }
  return out;
}

}  // namespace x9host::os
