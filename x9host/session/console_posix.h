// The module's terminal interface as x9host passes it on (POSIX). The module writes its boxes
// ("[question] TEXT\n", then "(y/N) "), its answers' echo and its progress bar (redrawn in
// place with "\r" on a terminal, a line per step in a pipe, a "\n" when it goes) to stderr.
// Everything it writes goes through here, in order, and comes out with x9host's additions:
// a box shown while the bar is up starts on a line of its own and the bar is redrawn after
// it; each of the module's texts is followed by its English; the boxes' labels and the hint
// after a question are in the reader's language; every box is recorded with the answer it got.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "session/module_ui.h"

namespace x9host {

// Whether a typed answer is Yes, its line end (LF, CR LF) aside: y or yes in any case, in
// ASCII or full-width letters (ｙ, ｙｅｓ), or はい, whichever language the hint is in. Anything
// else (n, no, いいえ, ｎ, an empty line) is No, as for the module.
bool TypedYes(std::string_view line);
// What the module reads for a typed line: "y\n" for a Yes its own rule (y or yes) would not
// see, else the line as typed.
std::string LineForModule(const std::string& typed);

class ModuleConsole {
 public:
  using Sink = std::function<void(std::string_view)>;

  // terminal: stderr is a terminal (the module redraws its bar in place). typedAnswersShown:
  // standard input is a terminal, which shows what a person types (the module then echoes no
  // answer itself). gloss: put the English under each of the module's texts.
  ModuleConsole(Sink sink, bool terminal, bool typedAnswersShown, bool gloss);

  // Bytes the module wrote, as they come.
  void Write(std::string_view bytes);
  // The module read the answer to its question: the line it got, or nullopt at the end of
  // input. supplied: x9host answered (--yes), not a person.
  void Answered(const std::optional<std::string>& line, bool supplied);
  // The request is over: passes on whatever is left.
  void Finish();

  const std::vector<ShownBox>& Boxes() const { return boxes_; }

 private:
  size_t Step(bool final);
  void Emit(std::string_view text);
  void BarDraw(std::string_view bar);
  void BarLine(std::string_view line);
  void BarEnd();
  void Box(std::string_view label, std::string_view text);
  void Line(std::string_view text);
  void RedrawIfDue();
  void GlossLine(std::optional<x9::MessageId> message);

  Sink sink_;
  bool terminal_;
  bool typedAnswersShown_;
  bool gloss_;
  std::string pending_;
  std::vector<ShownBox> boxes_;

  bool barUp_ = false;
  std::string lastBar_;                   // the bar as last drawn, for a redraw
  std::optional<x9::MessageId> barText_;  // the bar's message
  bool cursorAfterBar_ = false;           // the terminal's cursor is at the end of the bar's line
  bool atLineStart_ = true;
  bool redrawDue_ = false;     // a box interrupted the bar
  bool echoExpected_ = false;  // the module echoes the answer it read
  // What the echo shows: the answer as typed, not as the module read it.
  std::optional<std::string> typedEcho_;
};

}  // namespace x9host
