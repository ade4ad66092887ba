#include "session/glossary.h"

#include <array>

#include "codec/codepage.h"
#include "os/messages.h"

namespace x9host {
namespace {

constexpr size_t kEntries = x9::kMessageCount + 1;

// The English lives in the module's table (release/messages.toml), by the same ids.
static_assert(msg::kModuleEnglishCount == kEntries);

const std::array<std::string, kEntries>& Texts() {
  static const std::array<std::string, kEntries> texts = [] {
    std::array<std::string, kEntries> out;
    for (x9::MessageId id = 0; id < x9::kMessageCount; ++id)
      out[id] = Utf8FromCp932(x9::MessageText(id));
    out[kTooOldHostMessage] = Utf8FromCp932(x9::kTooOldHostText);
    return out;
  }();
  return texts;
}

}  // namespace

const std::string& CatalogueText(x9::MessageId id) { return Texts().at(id); }

std::optional<x9::MessageId> MessageOf(std::string_view shown) {
  for (x9::MessageId id = 0; id < kEntries; ++id) {
    if (shown == Texts()[id]) return id;
  }
  for (const x9::MessageId id : {x9::kMsgSameNameOnWatch, x9::kMsgCannotUploadMyPoints}) {
    const std::string& text = Texts()[id];
    if (shown.size() > text.size() && shown.substr(0, text.size()) == text &&
        shown[text.size()] == '\n') {
      return id;
    }
  }
  return std::nullopt;
}

const char* EnglishText(x9::MessageId id) { return id < kEntries ? msg::kModuleEnglish[id] : ""; }

}  // namespace x9host
