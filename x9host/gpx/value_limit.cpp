// The bound on what a reader gathers: whatever the parser below or the GPX rules above keep of
// a value (expat holds a whole tag or comment in its buffer, XmlLite a whole text), it is never
// more than the stretch of the file since the last element tag ended. Counting that stretch
// here, once, bounds both builds alike, and an endless value from a pipe ends at the limit.
// The names the start tags use are counted here too, as either parser keeps each one it meets.
#include <algorithm>
#include <cstring>

#include "gpx/xml_reader.h"
#include "os/input_error.h"
#include "os/messages.h"

namespace x9host {
namespace {

bool EndsWith(const std::string& text, std::string_view end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

}  // namespace

ValueLimit::ValueLimit(XmlSource& text, const std::string& sourceName)
    : text_(text), source_(sourceName) {}

std::string_view ValueLimit::Next() {
  const std::string_view piece = text_.Next();
  size_t i = 0;
  while (i < piece.size()) {
    if (state_ == State::kText) {
      // Text is most of a file: skipped to the next markup at once.
      const char* start = piece.data() + i;
      const void* found = std::memchr(start, '<', piece.size() - i);
      const size_t length = found != nullptr
                                ? static_cast<size_t>(static_cast<const char*>(found) - start)
                                : piece.size() - i;
      line_ += static_cast<int>(std::count(start, start + length, '\n'));
      run_ += length;
      i += length;
      if (run_ > kLongestValue) Refuse();
      if (i == piece.size()) break;
    }
    Scan(static_cast<unsigned char>(piece[i++]));
  }
  return piece;
}

void ValueLimit::Refuse() const {
  const os::MessageTexts* kind = &msg::kXmlLongTag;
  switch (state_) {
    case State::kText: kind = &msg::kXmlLongText; break;
    case State::kComment: kind = &msg::kXmlLongComment; break;
    case State::kCData: kind = &msg::kXmlLongCdata; break;
    case State::kInstruction: kind = &msg::kXmlLongInstruction; break;
    case State::kBang:
    case State::kDeclaration: kind = &msg::kXmlLongDeclaration; break;
    default: break;
  }
  throw InputError(msg::XmlTooLong(source_, tokenLine_, kLongestValue, os::Say(*kind, {})));
}

void ValueLimit::EndName() {
  if (name_.empty()) return;
  if (!endTag_ && names_.insert(name_).second) {
    nameBytes_ += name_.size();
    if (names_.size() > kMaxNames || nameBytes_ > kMaxNameBytes) {
      throw InputError(msg::XmlTooManyNames(source_, tokenLine_, static_cast<long long>(kMaxNames),
                                            static_cast<long long>(kMaxNameBytes)));
    }
  }
  name_.clear();
}

void ValueLimit::InTag(unsigned char c) {
  // A name is whatever stands between the marks of a tag; quoted values are skipped.
  if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '=' || c == '/' || c == '>' ||
      c == '"' || c == '\'') {
    EndName();
  } else {
    name_ += static_cast<char>(c);
  }
  if (c == '"' || c == '\'') {
    quote_ = static_cast<char>(c);
    state_ = State::kQuoted;
  } else if (c == '>') {
    // An element's tag ended: the stretch starts again.
    state_ = State::kText;
    run_ = 0;
    tokenLine_ = line_;
  }
}

void ValueLimit::Scan(unsigned char c) {
  if (++run_ > kLongestValue) Refuse();
  if (c == '\n') ++line_;
  switch (state_) {
    case State::kText:
      if (c == '<') {
        state_ = State::kOpen;
        tokenLine_ = line_;
      }
      break;
    case State::kOpen:
      recent_.clear();
      endTag_ = c == '/';
      if (c == '!') {
        state_ = State::kBang;
      } else if (c == '?') {
        state_ = State::kInstruction;
      } else {
        state_ = State::kTag;
        InTag(c);
      }
      break;
    case State::kBang:
      recent_ += static_cast<char>(c);
      if (recent_ == "--") {
        state_ = State::kComment;
        recent_.clear();
      } else if (recent_ == "[CDATA[") {
        state_ = State::kCData;
        recent_.clear();
      } else if (std::string_view("--").substr(0, recent_.size()) != recent_ &&
                 std::string_view("[CDATA[").substr(0, recent_.size()) != recent_) {
        state_ = c == '>' ? State::kText : State::kDeclaration;
        tokenLine_ = line_;
      }
      break;
    case State::kTag: InTag(c); break;
    case State::kQuoted:
      if (c == static_cast<unsigned char>(quote_)) state_ = State::kTag;
      break;
    case State::kComment:
    case State::kCData:
    case State::kInstruction: {
      const std::string_view end = state_ == State::kComment ? "-->"
                                   : state_ == State::kCData ? "]]>"
                                                             : "?>";
      recent_ += static_cast<char>(c);
      if (recent_.size() > 3) recent_.erase(0, recent_.size() - 3);
      if (c == '>' && EndsWith(recent_, end)) {
        state_ = State::kText;
        tokenLine_ = line_;
      }
      break;
    }
    case State::kDeclaration:
      if (c == '>') {
        state_ = State::kText;
        tokenLine_ = line_;
      }
      break;
  }
}

}  // namespace x9host
