// The module's texts in English. Keyed by the module's own catalogue (ui/catalogue.h): what the
// module shows is matched against the catalogue's texts, converted from code page 932 here, so
// the Japanese texts exist once, in the module; the English once, in its table
// (release/messages.toml's en).
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "ui/catalogue.h"

namespace x9host {

// The entry point's "host too old" text, which lives outside the numbered catalogue.
inline constexpr x9::MessageId kTooOldHostMessage = x9::kMessageCount;

// The catalogue text (UTF-8) of a message id, or of kTooOldHostMessage.
const std::string& CatalogueText(x9::MessageId id);

// Which message a text the module showed is: a catalogue text itself, or, for the two
// composed messages (a route of the same name, a route named MYPOINTS), the catalogue text, a
// line feed and the route's name. nullopt for anything else (the About box).
std::optional<x9::MessageId> MessageOf(std::string_view shownUtf8);

// The English of a message.
const char* EnglishText(x9::MessageId id);

}  // namespace x9host
