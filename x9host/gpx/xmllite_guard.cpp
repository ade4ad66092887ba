// What Wine's XmlLite gets wrong, mended before it sees the text. With document type
// declarations refused, an entity reference other than XML's five and character references can
// only be an undeclared one, which XML says is not well-formed; XmlLite passes such a reference
// on as text, so the text is checked here (expat refuses them on its own). And XmlLite reads
// past the end of its buffer on a comment longer than about 150,000 characters (the buffer
// moves while the comment is read), so a long comment reaches it in short pieces.
#include <cstdint>
#include <string>
#include <string_view>

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
  out_.clear();
  // A piece of nothing but a reference that goes on in the next one passes nothing yet; an
  // empty piece would end the text.
  while (out_.empty()) {
    const std::string_view piece = text_.Next();
    if (piece.empty()) {
      if (!cutShort_ && (cutShort_ = Unfinished())) {
        // XmlLite names the line an unfinished markup starts on; after a text, where it ends.
        cutShortLine_ = textBeforeRootLine_ != 0    ? textBeforeRootLine_
                        : state_ == State::kContent ? line_
                                                    : markupLine_;
        if (state_ == State::kReference) out_ = '&' + name_;  // held until now
        out_ += kCutShortEnd;
      }
      break;
    }
    for (const char byte : piece) {
      const auto c = static_cast<unsigned char>(byte);
      if (CutsCommentBefore(c)) {
        out_ += "--><!--";
        ++comments_.back().pieces;
        commentBytes_ = 0;
      }
      const State before = state_;
      const uint16_t recent = recent_;
      ++offset_;
      // A byte order mark is no text before the XML declaration.
      if (offset_ <= 3 && start_ == offset_ - 1 &&
          c == static_cast<unsigned char>("\xEF\xBB\xBF"[offset_ - 1])) {
        start_ = offset_;
      }
      Scan(c);
      Pass(c, before, recent);
    }
  }
  return out_;
}

namespace {

// U+FDD0 and the escapes it starts: itself, a tab, a line feed, a carriage return.
constexpr std::string_view kEscape = "\xEF\xB7\x90";
constexpr char kEscapedLast[] = {'\x90', '\x91', '\x92', '\x93'};
constexpr char kEscapedMeaning[] = {'\0', '\t', '\n', '\r'};

void AppendUtf8(std::string& out, uint32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | c >> 6);
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | c >> 12);
    out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | c >> 18);
    out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
    out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

}  // namespace

void XmlLiteGuard::Pass(unsigned char c, State before, uint16_t recent) {
  if (state_ == State::kReference) return;  // held until it is whole
  if (before == State::kReference) {
    const std::string reference = Reference();
    out_ += reference;
    run_ = static_cast<unsigned char>(reference.back()) < 0x80 ? 0 : run_ + reference.size();
    return;
  }
  // XmlLite garbles a character a read cuts, and a read may end only after an ASCII byte: a
  // long run of text without one gets an ASCII break that means nothing, before a character.
  if (c >= 0xC0 && run_ >= kLongestRun) {
    if (before == State::kContent && depth_ > 0) {
      out_ += "<![CDATA[]]>";
    } else if (before == State::kCData && cdataHeader_ == kCDataHeader.size()) {
      out_ += "]]><![CDATA[";
    }
    run_ = 0;
  }
  out_ += static_cast<char>(c);
  run_ = c < 0x80 ? 0 : run_ + 1;
  if (c == 0x90 && recent == 0xEFB7) {
    out_ += kEscape;  // the file's own U+FDD0, escaped
    run_ += kEscape.size();
  }
}

// The reference just read (whole and checked), as the parser is to get it.
std::string XmlLiteGuard::Reference() const {
  std::string out;
  if (name_.size() > 1 && name_[0] == '#') {
    const bool hex = name_[1] == 'x';
    const uint32_t c =
        static_cast<uint32_t>(std::stoul(name_.substr(hex ? 2 : 1), nullptr, hex ? 16 : 10));
    if (c >= 0x10000) {
      AppendUtf8(out, c);
      return out;
    }
    for (size_t i = 1; i < sizeof kEscapedMeaning; ++i) {
      if (c == static_cast<uint32_t>(kEscapedMeaning[i])) {
        out = kEscape;
        out += kEscape.substr(0, 2);
        out += kEscapedLast[i];
        return out;
      }
    }
  }
  return '&' + name_ + ';';
}

std::optional<std::string> XmlLiteGuard::Unfinished() const {
  // Text before the root element: expat's first error, wherever the file ends.
  if (textBeforeRootLine_ != 0)
    return msg::XmlNotWellFormed(source_, textBeforeRootLine_, msg::XmlSyntax());
  // What follows the root is the parser's first error, as expat names it.
  if (afterRoot_ != AfterRoot::kNothing) {
    return msg::XmlNotWellFormed(
        source_, afterRootLine_,
        afterRoot_ == AfterRoot::kUnreadable ? msg::XmlBadCharacterOrBytes() : msg::XmlAfterRoot());
  }
  switch (state_) {
    case State::kContent:
      if (depth_ == 0 && rootClosed_) return std::nullopt;
      return msg::XmlNotWellFormed(source_, line_, msg::XmlNoElement());
    case State::kCData:
      if (cdataHeader_ < kCDataHeader.size())
        return msg::XmlNotWellFormed(source_, markupLine_, msg::XmlEndsInside());
      return msg::XmlNotWellFormed(source_, line_, msg::XmlUnclosedCdata());
    default: return msg::XmlNotWellFormed(source_, markupLine_, msg::XmlEndsInside());
  }
}

void XmlLiteGuard::Restore(std::string& value) {
  size_t at = value.find(kEscape);
  if (at == std::string::npos) return;
  std::string out(value, 0, at);
  while (at < value.size()) {
    if (value.compare(at, kEscape.size(), kEscape) == 0 && at + 6 <= value.size() &&
        value.compare(at + 3, 2, kEscape.substr(0, 2)) == 0) {
      const char last = value[at + 5];
      bool known = false;
      for (size_t i = 0; i < sizeof kEscapedLast; ++i) {
        if (last != kEscapedLast[i]) continue;
        if (i == 0) {
          out += kEscape;
        } else {
          out += kEscapedMeaning[i];
        }
        known = true;
      }
      if (known) {
        at += 6;
        continue;
      }
    }
    out += value[at++];
  }
  value = std::move(out);
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

void XmlLiteGuard::Refuse(const std::string& what, int line) const {
  throw InputError(msg::XmlNotWellFormed(source_, line != 0 ? line : line_, what));
}

void XmlLiteGuard::Scan(unsigned char c) {
  // A line ends at a line feed, a carriage return, or both, as the parsers count them: a
  // carriage return once the byte after it is known.
  if ((recent_ & 0xFF) == '\r' || c == '\n') ++line_;
  // Bytes XML allows nowhere, which XmlLite lets through or stops on for good: the C0 controls
  // but tab, line feed and carriage return, and U+FFFE and U+FFFF (EF BF BE, EF BF BF).
  if ((c < 0x20 && c != '\t' && c != '\n' && c != '\r') ||
      ((c == 0xBE || c == 0xBF) && recent_ == 0xEFBF)) {
    Refuse(msg::XmlBadCharacterOrBytes());
  }
  switch (state_) {
    case State::kContent:
      if (c == '<') {
        state_ = State::kOpen;
        openAt_ = offset_ - 1;
        markupLine_ = line_;
      } else if (c != ' ' && c != '\t' && c != '\r' && c != '\n') {
        if (rootClosed_ && afterRoot_ == AfterRoot::kNothing) {
          afterRoot_ = c == '&' ? AfterRoot::kUnreadable : AfterRoot::kOther;
          afterRootLine_ = line_;
        } else if (!rootClosed_ && depth_ == 0 && textBeforeRootLine_ == 0) {
          textBeforeRootLine_ = line_;
        }
      }
      if (c == '&') StartReference(State::kContent);
      break;
    case State::kOpen:
      state_ = c == '?' ? State::kInstruction : c == '!' ? State::kBang : State::kTag;
      elementTag_ = state_ == State::kTag;
      endTag_ = c == '/';
      // A name starts with a letter, '_' or ':' (or a character past ASCII); XmlLite takes a
      // digit or a '-' too.
      if (elementTag_ && !endTag_ && !NameStart(c)) Refuse(msg::XmlBadCharacterOrBytes());
      // After the root element comments and instructions may follow; expat calls a stray end
      // tag a token it cannot read, anything else something after the root.
      if (rootClosed_ && afterRoot_ == AfterRoot::kNothing && state_ != State::kInstruction &&
          c != '!') {
        afterRoot_ = endTag_ ? AfterRoot::kUnreadable : AfterRoot::kOther;
        afterRootLine_ = markupLine_;
      }
      afterValue_ = false;
      if (state_ == State::kTag) Scan(c);
      if (state_ == State::kInstruction) {
        target_.clear();
        targetRead_ = false;
        inTarget_ = true;
        instructions_.push_back(line_);
      }
      break;
    case State::kBang:
      // "<!-" starts a comment, "<![" a CDATA section; anything else is a declaration, which
      // the parser refuses.
      state_ = c == '-' ? State::kComment : c == '[' ? State::kCData : State::kTag;
      // A document type declaration, refused as expat's build refuses it: here, before an
      // entity it declares is met further on and taken for an undeclared one.
      if (state_ == State::kTag && depth_ == 0 && !rootClosed_)
        throw InputError(msg::XmlDoctypeRefused(source_));
      // Inside the root a declaration is a token expat cannot read; after it, something after
      // the root.
      if (state_ == State::kTag && depth_ > 0) Refuse(msg::XmlBadCharacterOrBytes());
      if (state_ == State::kTag && rootClosed_ && afterRoot_ == AfterRoot::kNothing) {
        afterRoot_ = AfterRoot::kOther;
        afterRootLine_ = markupLine_;
      }
      cdataHeader_ = 0;
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
      // "<![" is a CDATA section once "CDATA[" follows, and nothing else.
      if (cdataHeader_ < kCDataHeader.size()) {
        if (c != static_cast<unsigned char>(kCDataHeader[cdataHeader_]))
          Refuse(msg::XmlBadCharacterOrBytes());
        ++cdataHeader_;
        break;
      }
      if (c == '>' && recent_ == (']' << 8 | ']')) state_ = State::kContent;
      break;
    case State::kInstruction:
      // An instruction's target is a name, ended by white space or "?>" (XmlLite gives only
      // its error's number, or reads on).
      if (inTarget_) {
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '?') {
          if (target_.empty() && !targetRead_) Refuse(msg::XmlBadCharacterOrBytes());
          inTarget_ = false;
        } else if (!(target_.empty() && !targetRead_ ? NameStart(c) : NameByte(c))) {
          Refuse(msg::XmlBadCharacterOrBytes());
        }
      }
      if (!targetRead_) {
        // "<?xml " is the XML declaration, which the parser does not report as an instruction.
        const bool ends = c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '?';
        if (target_.size() == 3 || ends) {
          targetRead_ = true;
          const bool xml = ends && target_.size() == 3 && (target_[0] | 0x20) == 'x' &&
                           (target_[1] | 0x20) == 'm' && (target_[2] | 0x20) == 'l';
          // XML reserves the target in every case; only "xml" is the declaration, and only at
          // the file's start (XmlLite takes another case for an instruction, and the
          // declaration after white space for one too).
          if (xml && target_ != "xml") Refuse(msg::XmlBadCharacterOrBytes());
          if (xml && openAt_ != start_) Refuse(msg::XmlDeclarationNotAtStart());
          if (xml) {
            instructions_.pop_back();
            declared_ = true;
          }
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
        if (elementTag_ && depth_ == 0) rootClosed_ = true;
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
          if (!CharacterReference(name_)) Refuse(msg::XmlBadCharacterReference(), referenceLine_);
        } else if (!name_.empty() && name_ != "amp" && name_ != "lt" && name_ != "gt" &&
                   name_ != "quot" && name_ != "apos") {
          Refuse(msg::XmlUndeclaredEntity(), referenceLine_);
        } else if (name_.empty()) {
          Refuse(msg::XmlBadCharacterOrBytes(), referenceLine_);
        }
        state_ = after_;
      } else if ((NameByte(c) || (c == '#' && name_.empty())) && name_.size() < 256) {
        name_ += static_cast<char>(c);
      } else {
        // An '&' that starts no reference: XmlLite takes it for text.
        Refuse(msg::XmlBadCharacterOrBytes(), referenceLine_);
      }
      break;
  }
  recent_ = static_cast<uint16_t>((recent_ << 8) | c);
}

void XmlLiteGuard::StartReference(State after) {
  // expat names the line a reference starts on; in a tag, the tag's start is kept for the
  // file that ends inside it.
  referenceLine_ = line_;
  if (after == State::kContent) markupLine_ = line_;
  after_ = after;
  name_.clear();
  state_ = State::kReference;
}

}  // namespace x9host
