// What the POSIX terminal's message boxes look like, written once for the module's terminal and
// for a program that reads it (x9host): the label before each box's text, the prompt after a
// question and the rule that makes a typed line a Yes. Header only, so both sides include it.
#pragma once

#include <cctype>
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

}  // namespace x9::platform::terminal
