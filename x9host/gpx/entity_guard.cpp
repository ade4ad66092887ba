// Undeclared entities, refused before the parser sees them. With document type declarations
// refused, an entity reference other than XML's five and character references can only be an
// undeclared one, which XML says is not well-formed; Wine's XmlLite passes such a reference on
// as text, so the Windows build checks the text itself (expat refuses them on its own).
#include <string>

#include "gpx/xml_reader.h"
#include "os/input_error.h"
#include "os/messages.h"

namespace x9host {
namespace {

bool NameByte(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
         c == ':' || c == '-' || c == '.' || c >= 0x80;
}

}  // namespace

EntityGuard::EntityGuard(XmlSource& text, const std::string& sourceName)
    : text_(text), source_(sourceName) {}

std::string_view EntityGuard::Next() {
  const std::string_view piece = text_.Next();
  for (const char c : piece)
    Scan(static_cast<unsigned char>(c));
  return piece;
}

void EntityGuard::Scan(unsigned char c) {
  if (c == '\n') ++line_;
  switch (state_) {
    case State::kContent:
      if (c == '<') state_ = State::kOpen;
      if (c == '&') StartReference(State::kContent);
      break;
    case State::kOpen:
      state_ = c == '?' ? State::kInstruction : c == '!' ? State::kBang : State::kTag;
      if (state_ == State::kTag) Scan(c);
      break;
    case State::kBang:
      // "<!-" starts a comment, "<![" a CDATA section; anything else is a declaration, which
      // the parser refuses.
      state_ = c == '-' ? State::kComment : c == '[' ? State::kCData : State::kTag;
      recent_ = 0;
      break;
    case State::kComment:
      if (c == '>' && recent_ == ('-' << 8 | '-')) state_ = State::kContent;
      break;
    case State::kCData:
      if (c == '>' && recent_ == (']' << 8 | ']')) state_ = State::kContent;
      break;
    case State::kInstruction:
      if (c == '>' && (recent_ & 0xFF) == '?') state_ = State::kContent;
      break;
    case State::kTag:
      if (c == '"' || c == '\'') {
        quote_ = static_cast<char>(c);
        state_ = State::kQuoted;
      } else if (c == '>') {
        state_ = State::kContent;
      }
      break;
    case State::kQuoted:
      if (c == static_cast<unsigned char>(quote_)) state_ = State::kTag;
      if (c == '&') StartReference(State::kQuoted);
      break;
    case State::kReference:
      if (c == ';') {
        if (!name_.empty() && name_[0] != '#' && name_ != "amp" && name_ != "lt" && name_ != "gt" &&
            name_ != "quot" && name_ != "apos") {
          throw InputError(msg::XmlNotWellFormed(source_, line_, msg::XmlUndeclaredEntity()));
        }
        state_ = after_;
      } else if ((NameByte(c) || (c == '#' && name_.empty())) && name_.size() < 256) {
        name_ += static_cast<char>(c);
      } else {
        // Not a reference: the parser's to refuse.
        state_ = after_;
        if (c == '\n') --line_;
        Scan(c);
      }
      break;
  }
  recent_ = static_cast<uint16_t>((recent_ << 8) | c);
}

void EntityGuard::StartReference(State after) {
  after_ = after;
  name_.clear();
  state_ = State::kReference;
}

}  // namespace x9host
