#include "session/console_posix.h"

#include "codec/utf8.h"
#include "os/message_text.h"
#include "os/messages.h"
#include "platform/terminal_protocol.h"
#include "session/glossary.h"

namespace x9host {
namespace {

namespace terminal = x9::platform::terminal;

constexpr std::string_view kLabels[] = {terminal::kStopLabel, terminal::kQuestionLabel,
                                        terminal::kWarningLabel, terminal::kInformationLabel,
                                        terminal::kMessageLabel};
constexpr std::string_view kPrompt = terminal::kPrompt;

// Each label as the reader reads it.
struct ShownLabel {
  std::string_view label;
  std::string (*shown)();
};
constexpr ShownLabel kShownLabels[] = {
    {terminal::kStopLabel, msg::LabelStop},
    {terminal::kQuestionLabel, msg::LabelQuestion},
    {terminal::kWarningLabel, msg::LabelWarning},
    {terminal::kInformationLabel, msg::LabelInformation},
    {terminal::kMessageLabel, msg::LabelMessage},
};

std::string Shown(std::string_view label) {
  for (const ShownLabel& known : kShownLabels) {
    if (known.label == label) return known.shown();
  }
  return std::string(label);
}

std::string_view WithoutLineEnd(std::string_view line) {
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
    line.remove_suffix(1);
  return line;
}

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

// A box's label and the space its text follows, when text starts with one.
std::string_view LabelAt(std::string_view text) {
  for (const std::string_view label : kLabels) {
    if (StartsWith(text, label) && text.size() > label.size() && text[label.size()] == ' ')
      return text.substr(0, label.size() + 1);
  }
  return {};
}

// Whether pending may be the start of a box's label and its space, cut by the stream.
bool CutLabel(std::string_view pending) {
  for (const std::string_view label : kLabels) {
    if (pending.size() <= label.size() && StartsWith(label, pending)) return true;
  }
  return false;
}

// The progress window's message, when text is the module's bar.
std::optional<x9::MessageId> BarMessage(std::string_view text) {
  const std::optional<std::string_view> message = terminal::BarMessage(text);
  if (!message) return std::nullopt;
  return MessageOf(*message);
}

// Where the box that starts with label ends (after its last line feed), when it can be told:
// its text is one of the module's, so the catalogue says how long it is; the two composed
// texts end with the route's name and a line feed.
std::optional<size_t> BoxEnd(std::string_view pending, std::string_view label) {
  const std::string_view text = pending.substr(label.size());
  size_t best = 0;
  for (x9::MessageId id = 0; id <= kTooOldHostMessage; ++id) {
    const std::string& known = CatalogueText(id);
    if (known.empty() || known.size() < best || !StartsWith(text, known)) continue;
    if (text.size() <= known.size() || text[known.size()] != '\n') continue;
    size_t end = known.size() + 1;
    if (id == x9::kMsgSameNameOnWatch || id == x9::kMsgCannotUploadMyPoints) {
      const size_t nameEnd = text.find('\n', end);
      if (nameEnd == std::string_view::npos) return std::nullopt;  // the name is still to come
      end = nameEnd + 1;
    }
    best = end;
  }
  if (best != 0) return label.size() + best;
  // Part of one of the module's texts so far: the rest is still to come.
  for (x9::MessageId id = 0; id <= kTooOldHostMessage; ++id) {
    if (text.size() < CatalogueText(id).size() + 1 && StartsWith(CatalogueText(id) + '\n', text))
      return std::nullopt;
  }
  // Another text (the About box): the module writes a box in one piece.
  const size_t last = pending.rfind('\n');
  if (last == std::string_view::npos) return std::nullopt;
  return last + 1;
}

Answer AnswerOf(const std::optional<std::string>& line) {
  if (!line) return Answer::kNoAnswer;
  return TypedYes(*line) ? Answer::kYes : Answer::kNo;
}

}  // namespace

bool TypedYes(std::string_view line) {
  line = WithoutLineEnd(line);
  // Spaces around the answer, ASCII or the full-width one a Japanese input method types, are
  // no part of it.
  for (bool trimmed = true; trimmed;) {
    trimmed = false;
    for (const std::string_view space : {" ", "\t", "\u3000"}) {
      if (line.size() >= space.size() && line.substr(0, space.size()) == space) {
        line.remove_prefix(space.size());
        trimmed = true;
      }
      if (line.size() >= space.size() && line.substr(line.size() - space.size()) == space) {
        line.remove_suffix(space.size());
        trimmed = true;
      }
    }
  }
  if (line == "はい") return true;
  // Full-width letters as ASCII, so that one rule reads both.
  std::string ascii;
  while (!line.empty()) {
    const Utf8Character c = DecodeUtf8(line);
    if (c.status != Utf8Character::Status::kOk) return false;
    if (c.code >= 0xff01 && c.code <= 0xff5e) {
      ascii += static_cast<char>(c.code - 0xfee0);
    } else if (c.code < 0x80) {
      ascii += static_cast<char>(c.code);
    } else {
      return false;
    }
    line.remove_prefix(c.length);
  }
  return terminal::IsYes(ascii);
}

std::string LineForModule(const std::string& typed) {
  return TypedYes(typed) && !terminal::IsYes(typed) ? "y\n" : typed;
}

ModuleConsole::ModuleConsole(Sink sink, bool terminal, bool typedAnswersShown, bool gloss)
    : sink_(std::move(sink)),
      terminal_(terminal),
      typedAnswersShown_(typedAnswersShown),
      gloss_(gloss) {}

void ModuleConsole::Write(std::string_view bytes) {
  pending_ += bytes;
  while (!pending_.empty()) {
    const size_t used = Step(false);
    if (used == 0) break;
    pending_.erase(0, used);
  }
}

void ModuleConsole::Finish() {
  while (!pending_.empty()) {
    const size_t used = Step(true);
    pending_.erase(0, used == 0 ? pending_.size() : used);
  }
  // A question whose answer never reached us met an end of input the C library remembered.
  for (ShownBox& box : boxes_) {
    if (box.question && box.answer == Answer::kNone) box.answer = Answer::kNoAnswer;
  }
  if (cursorAfterBar_) Emit("\n");
  cursorAfterBar_ = false;
}

// Handles one piece at the start of pending_; returns how many bytes it took (0: wait for more).
size_t ModuleConsole::Step(bool final) {
  const std::string_view pending = pending_;
  if (!final && pending.size() < 16) {
    // The start of a box or of the prompt, cut by the stream: the rest is still to come.
    if (CutLabel(pending)) return 0;
    if (pending.size() < kPrompt.size() && StartsWith(kPrompt, pending)) return 0;
  }
  if (echoExpected_) {
    const size_t newline = pending.find('\n');
    if (newline == std::string_view::npos && !final) return 0;
    const size_t used = newline == std::string_view::npos ? pending.size() : newline + 1;
    echoExpected_ = false;
    const std::string echo = typedEcho_ ? *typedEcho_ : std::string(pending.substr(0, used));
    typedEcho_.reset();
    Emit(echo);
    atLineStart_ = echo.back() == '\n';
    RedrawIfDue();
    return used;
  }
  if (pending.front() == terminal::kBarRedraw) {
    // A redraw of the bar: the module flushes each one, so it ends where the bytes end.
    constexpr char kBarEnds[] = {terminal::kBarRedraw, '\n', '\0'};
    size_t end = pending.find_first_of(kBarEnds, 1);
    if (end == std::string_view::npos) end = pending.size();
    BarDraw(pending.substr(1, end - 1));
    return end;
  }
  if (const std::string_view label = LabelAt(pending); !label.empty()) {
    std::optional<size_t> end = BoxEnd(pending, label);
    if (!end) {
      if (!final) return 0;
      end = pending.size();
    }
    std::string_view text = pending.substr(label.size(), *end - label.size());
    if (!text.empty() && text.back() == '\n') text.remove_suffix(1);
    Box(label, text);
    return *end;
  }
  if (StartsWith(pending, kPrompt)) {
    Emit(msg::AnswerHint());
    atLineStart_ = false;
    return kPrompt.size();
  }
  const size_t newline = pending.find('\n');
  if (newline == 0 && barUp_) {
    BarEnd();
    return 1;
  }
  if (newline == std::string_view::npos) {
    Line(pending);
    return pending.size();
  }
  const std::string_view line = pending.substr(0, newline + 1);
  if (!terminal_ && BarMessage(line)) {
    BarLine(line);
  } else {
    Line(line);
  }
  return newline + 1;
}

void ModuleConsole::Emit(std::string_view text) {
  if (text.empty()) return;
  sink_(text);
  // Whatever ends the program next (a signal, the last line) knows to end this line first.
  os::NoteLinePending(text.back() != '\n');
}

void ModuleConsole::GlossLine(std::optional<x9::MessageId> message) {
  if (!gloss_ || !message) return;
  Emit("  ");
  Emit(EnglishText(*message));
  Emit("\n");
}

void ModuleConsole::BarDraw(std::string_view bar) {
  if (!barUp_) barText_ = BarMessage(bar);
  barUp_ = true;
  if (!atLineStart_ && !cursorAfterBar_) Emit("\n");  // never over other text
  Emit(std::string_view(&terminal::kBarRedraw, 1));
  Emit(bar);
  lastBar_ = bar;
  cursorAfterBar_ = true;
  atLineStart_ = false;
  redrawDue_ = false;
}

void ModuleConsole::BarLine(std::string_view line) {
  if (!barUp_) barText_ = BarMessage(line);
  barUp_ = true;
  if (!atLineStart_) Emit("\n");
  Emit(line);
  atLineStart_ = true;
}

void ModuleConsole::BarEnd() {
  if (terminal_) {
    // The bar's line stays on the screen, with its last state.
    if (!cursorAfterBar_ && redrawDue_) Emit(lastBar_);
    Emit("\n");
    GlossLine(barText_);
  } else {
    GlossLine(barText_);
  }
  barUp_ = false;
  barText_.reset();
  lastBar_.clear();
  cursorAfterBar_ = false;
  redrawDue_ = false;
  atLineStart_ = true;
}

void ModuleConsole::Box(std::string_view label, std::string_view text) {
  // A box shown while the bar is up starts on a line of its own.
  if (!atLineStart_) Emit("\n");
  cursorAfterBar_ = false;
  Emit(Shown(label.substr(0, label.size() - 1)) + " ");
  Emit(text);
  Emit("\n");
  atLineStart_ = true;

  ShownBox& box = boxes_.emplace_back();
  box.text = std::string(text);
  box.message = MessageOf(text);
  box.question = label.substr(0, label.size() - 1) == terminal::kQuestionLabel;
  box.answer = box.question ? Answer::kNone : Answer::kOk;
  GlossLine(box.message);

  if (barUp_ && terminal_) redrawDue_ = true;
  // A question's bar comes back once it is answered.
  if (!box.question) RedrawIfDue();
}

void ModuleConsole::Answered(const std::optional<std::string>& line, bool supplied) {
  for (auto it = boxes_.rbegin(); it != boxes_.rend(); ++it) {
    if (it->question && it->answer == Answer::kNone) {
      it->answer = AnswerOf(line);
      break;
    }
  }
  if (!typedAnswersShown_) {
    echoExpected_ = true;  // the module shows what it read
    // ... which is not what was typed when x9host read a Yes for the module (LineForModule).
    if (line) typedEcho_ = std::string(WithoutLineEnd(*line)) + "\n";
    return;
  }
  // The terminal showed what a person typed; the module shows nothing itself.
  if (supplied && line) {
    Emit(*line);
  } else if (!line) {
    Emit("\n");
  }
  atLineStart_ = true;
  RedrawIfDue();
}

void ModuleConsole::Line(std::string_view text) {
  if (cursorAfterBar_) {
    Emit("\n");
    cursorAfterBar_ = false;
    redrawDue_ = barUp_;
  }
  Emit(text);
  atLineStart_ = !text.empty() && text.back() == '\n';
  RedrawIfDue();
}

void ModuleConsole::RedrawIfDue() {
  if (!redrawDue_ || !barUp_ || !terminal_ || !atLineStart_) return;
  Emit(std::string_view(&terminal::kBarRedraw, 1));
  Emit(lastBar_);
  cursorAfterBar_ = true;
  atLineStart_ = false;
  redrawDue_ = false;
}

}  // namespace x9host
