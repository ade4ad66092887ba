// What Wine's XmlLite gets wrong, mended before it sees the text. With document type
// declarations refused, an entity reference other than XML's five and character references can
// only be an undeclared one, which XML says is not well-formed; XmlLite passes such a reference
// on as text, so the text is checked here (expat refuses them on its own). And XmlLite reads
// past the end of its buffer on a comment longer than about 150,000 characters (the buffer
// moves while the comment is read), so a long comment reaches it in short pieces.
#include <string>

#include "gpx/xml_reader.h"
#include "os/input_error.h"
#include "os/messages.h"

namespace x9host {
namespace {

bool NameStart(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == ':' || c >= 0x80;
}

bool NameByte(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
         c == ':' || c == '-' || c == '.' || c >= 0x80;
}

}  // namespace

XmlLiteGuard::XmlLiteGuard(XmlSource& text, const std::string& sourceName)
    : text_(text), source_(sourceName) {}

std::string_view XmlLiteGuard::Next() {
  const std::string_view piece = text_.Next();
  bool copied = false;  // the piece as it was, until a comment is cut in it
  for (size_t i = 0; i < piece.size(); ++i) {
    const auto c = static_cast<unsigned char>(piece[i]);
    if (CutsCommentBefore(c)) {
      if (!copied) out_.assign(piece.data(), i);
      copied = true;
      out_ += "--><!--";
      ++comments_.back().pieces;
      commentBytes_ = 0;
    }
    Scan(c);
    if (copied) out_ += static_cast<char>(c);
  }
  return copied ? std::string_view(out_) : piece;
}

std::optional<int> XmlLiteGuard::TakeCommentNode() {
  // The parser reads behind this scan: a comment it has begun may still be growing pieces here.
  // One whose every piece was taken is done with once its end has been met.
  while (!comments_.empty() && taken_ == comments_.front().pieces &&
         (comments_.size() > 1 || state_ != State::kComment)) {
    comments_.pop_front();
    taken_ = 0;
  }
  if (comments_.empty()) return std::nullopt;  // not met here: cannot be
  return taken_++ == 0 ? std::optional<int>(comments_.front().line) : std::nullopt;
}

int XmlLiteGuard::TakeInstruction() {
  if (instructions_.empty()) return line_;  // not met here: cannot be
  const int line = instructions_.front();
  instructions_.pop_front();
  return line;
}

bool XmlLiteGuard::CutsCommentBefore(unsigned char c) const {
  // Next to a '-' the cut would make "--" of it; before a continuation byte it would split a
  // character. A comment of those alone is refused by both parsers within its first piece.
  return state_ == State::kComment && commentBytes_ >= kCommentPiece && c != '-' &&
         (recent_ & 0xFF) != '-' && (c < 0x80 || c >= 0xC0);
}

// "#65" or "#x41": a character XML allows, named in digits.
bool XmlLiteGuard::CharacterReference(std::string_view reference) {
  const bool hex = reference.size() > 1 && reference[1] == 'x';
  const std::string_view digits = reference.substr(hex ? 2 : 1);
  if (digits.empty()) return false;
  uint32_t value = 0;
  for (const char d : digits) {
    const int digit = d >= '0' && d <= '9'          ? d - '0'
                      : hex && d >= 'a' && d <= 'f' ? d - 'a' + 10
                      : hex && d >= 'A' && d <= 'F' ? d - 'A' + 10
                                                    : -1;
    if (digit < 0) return false;
    value = value * (hex ? 16 : 10) + static_cast<uint32_t>(digit);
    if (value > 0x10FFFF) return false;
  }
  return value == 0x9 || value == 0xA || value == 0xD || (value >= 0x20 && value <= 0xD7FF) ||
         (value >= 0xE000 && value <= 0xFFFD) || value >= 0x10000;
}

void XmlLiteGuard::Refuse(const std::string& what) const {
  throw InputError(msg::XmlNotWellFormed(source_, line_, what));
}

void XmlLiteGuard::Scan(unsigned char c) {
  if (c == '\n') ++line_;
  // Bytes XML allows nowhere, which XmlLite lets through or stops on for good: the C0 controls
  // but tab, line feed and carriage return, and U+FFFE and U+FFFF (EF BF BE, EF BF BF).
  if ((c < 0x20 && c != '\t' && c != '\n' && c != '\r') ||
      ((c == 0xBE || c == 0xBF) && recent_ == 0xEFBF)) {
    Refuse(msg::XmlBadCharacterOrBytes());
  }
  switch (state_) {
    case State::kContent:
      if (c == '<') state_ = State::kOpen;
      if (c == '&') StartReference(State::kContent);
      break;
    case State::kOpen:
      state_ = c == '?' ? State::kInstruction : c == '!' ? State::kBang : State::kTag;
      elementTag_ = state_ == State::kTag;
      endTag_ = c == '/';
      // A name starts with a letter, '_' or ':' (or a character past ASCII); XmlLite takes a
      // digit or a '-' too.
      if (elementTag_ && !endTag_ && !NameStart(c)) Refuse(msg::XmlBadCharacterOrBytes());
      afterValue_ = false;
      if (state_ == State::kTag) Scan(c);
      if (state_ == State::kInstruction) {
        target_.clear();
        targetRead_ = false;
        instructions_.push_back(line_);
      }
      break;
    case State::kBang:
      // "<!-" starts a comment, "<![" a CDATA section; anything else is a declaration, which
      // the parser refuses.
      state_ = c == '-' ? State::kComment : c == '[' ? State::kCData : State::kTag;
      if (state_ == State::kComment) {
        comments_.push_back({line_, 1});
        commentBytes_ = 0;
      }
      recent_ = 0;
      break;
    case State::kComment:
      ++commentBytes_;
      if (c == '>' && recent_ == ('-' << 8 | '-')) state_ = State::kContent;
      break;
    case State::kCData:
      if (c == '>' && recent_ == (']' << 8 | ']')) state_ = State::kContent;
      break;
    case State::kInstruction:
      if (!targetRead_) {
        // "<?xml " is the XML declaration, which the parser does not report as an instruction.
        const bool ends = c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '?';
        if (target_.size() == 3 || ends) {
          targetRead_ = true;
          if (target_ == "xml" && ends) instructions_.pop_back();
        } else {
          target_ += static_cast<char>(c);
        }
      }
      if (c == '>' && (recent_ & 0xFF) == '?') state_ = State::kContent;
      break;
    case State::kTag:
      // After an attribute's value, white space or the tag's end: XmlLite reads two attributes
      // run together.
      if (afterValue_ && elementTag_ && c != ' ' && c != '\t' && c != '\r' && c != '\n' &&
          c != '/' && c != '>') {
        Refuse(msg::XmlBadCharacterOrBytes());
      }
      afterValue_ = false;
      if (c == '"' || c == '\'') {
        quote_ = static_cast<char>(c);
        state_ = State::kQuoted;
      } else if (c == '>') {
        state_ = State::kContent;
        // Elements open, counted from the text: XmlLite closes those a file cut short leaves.
        if (elementTag_ && endTag_) {
          --depth_;
        } else if (elementTag_ && (recent_ & 0xFF) != '/') {
          ++depth_;
        }
        elementTag_ = false;
      }
      break;
    case State::kQuoted:
      if (c == static_cast<unsigned char>(quote_)) {
        state_ = State::kTag;
        afterValue_ = true;
      }
      if (c == '&') StartReference(State::kQuoted);
      break;
    case State::kReference:
      if (c == ';') {
        if (!name_.empty() && name_[0] == '#') {
          if (!CharacterReference(name_)) Refuse(msg::XmlBadCharacterReference());
        } else if (!name_.empty() && name_ != "amp" && name_ != "lt" && name_ != "gt" &&
                   name_ != "quot" && name_ != "apos") {
          Refuse(msg::XmlUndeclaredEntity());
        } else if (name_.empty()) {
          Refuse(msg::XmlBadCharacterOrBytes());
        }
        state_ = after_;
      } else if ((NameByte(c) || (c == '#' && name_.empty())) && name_.size() < 256) {
        name_ += static_cast<char>(c);
      } else {
        // An '&' that starts no reference: XmlLite takes it for text.
        Refuse(msg::XmlBadCharacterOrBytes());
      }
      break;
  }
  recent_ = static_cast<uint16_t>((recent_ << 8) | c);
}

void XmlLiteGuard::StartReference(State after) {
  after_ = after;
  name_.clear();
  state_ = State::kReference;
}

}  // namespace x9host
