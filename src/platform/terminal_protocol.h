// What the POSIX terminal's message boxes and progress bar look like, written once for the
// module's terminal and for a program that reads it (x9host): the label before each box's text,
// the prompt after a question, the rule that makes a typed line a Yes, and the bar's line.
// Header only, so both sides include it.
#pragma once

#include <cctype>
#include <cstddef>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

#include "platform/message_box.h"

namespace x9::platform::terminal {

// The label a box's text follows (after one space), by the style's icon bits.
inline constexpr std::string_view kStopLabel = "[stop]";
inline constexpr std::string_view kQuestionLabel = "[question]";
inline constexpr std::string_view kWarningLabel = "[warning]";
inline constexpr std::string_view kInformationLabel = "[information]";
inline constexpr std::string_view kMessageLabel = "[message]";  // no icon

inline constexpr std::string_view StyleLabel(unsigned style) {
  switch (style & kBoxIconMask) {
    case kBoxIconStop: return kStopLabel;
    case kBoxIconQuestion: return kQuestionLabel;
    case kBoxIconExclamation: return kWarningLabel;
    case kBoxIconInformation: return kInformationLabel;
    default: return kMessageLabel;
  }
}

// Written after a Yes/No question's text, on its own line.
inline constexpr std::string_view kPrompt = "(y/N) ";

// A typed line is Yes when it is "y" or "yes" in any case, its line end (LF, CR LF) aside;
// anything else, an empty line and no line at all are No.
inline bool IsYes(std::string_view line) {
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
    line.remove_suffix(1);
  if (line.size() != 1 && line.size() != 3) return false;
  constexpr std::string_view kYes = "yes";
  for (size_t i = 0; i < line.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(line[i])) != kYes[i]) return false;
  }
  return true;
}

// The progress window is one line: its message, a bar between brackets and the position in
// percent ("MESSAGE [#########.....................]  30%"). On a terminal each state is drawn
// over the last, kBarRedraw before it and no line end; into a pipe or a file each is a line of
// its own. A line end follows when the window goes.
inline constexpr char kBarRedraw = '\r';
inline constexpr std::string_view kBarOpen = " [";
inline constexpr std::string_view kBarClose = "] ";
inline constexpr size_t kBarCells = 30;
inline constexpr char kBarFilled = '#';
inline constexpr char kBarEmpty = '.';

// The line for a position (0..100 fills the bar; a position outside shows as it is, the bar
// empty below and full above), without kBarRedraw or a line end.
inline std::string BarText(std::string_view message, int position) {
  const int shown = position < 0 ? 0 : position > 100 ? 100 : position;
  std::string text(message);
  text += kBarOpen;
  const size_t filled = static_cast<size_t>(shown) * kBarCells / 100;
  text.append(filled, kBarFilled);
  text.append(kBarCells - filled, kBarEmpty);
  text += kBarClose;
  char percent[16];
  std::snprintf(percent, sizeof percent, "%3d%%", position);
  return text + percent;
}

// The message of a bar's line (a line end after it allowed), or nullopt when text is no bar.
inline std::optional<std::string_view> BarMessage(std::string_view text) {
  if (!text.empty() && text.back() == '\n') text.remove_suffix(1);
  for (size_t at = text.find(kBarOpen); at != std::string_view::npos;
       at = text.find(kBarOpen, at + 1)) {
    std::string_view rest = text.substr(at + kBarOpen.size());
    if (rest.size() < kBarCells + kBarClose.size()) break;
    bool cells = true;
    for (size_t i = 0; i < kBarCells; ++i)
      cells = cells && (rest[i] == kBarFilled || rest[i] == kBarEmpty);
    rest.remove_prefix(kBarCells);
    if (!cells || rest.substr(0, kBarClose.size()) != kBarClose) continue;
    rest.remove_prefix(kBarClose.size());
    if (rest.size() < 2 || rest.back() != '%') continue;
    rest.remove_suffix(1);
    bool number = true;
    for (const char c : rest)
      number = number && ((c >= '0' && c <= '9') || c == ' ' || c == '-');
    if (number) return text.substr(0, at);
  }
  return std::nullopt;
}

}  // namespace x9::platform::terminal
