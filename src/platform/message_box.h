// The message box's style bits and answers, numbered as the framework's message box numbers
// them, written once for the module, the terminal that shows its boxes on POSIX and the
// programs that read them (x9host, the tests). Header only; the Windows build checks each value
// against the system's own at compile time (user_interface_win32.cpp).
#pragma once

namespace x9::platform {

// A style is one button set and one icon, or'ed together.
inline constexpr unsigned kBoxButtonsMask = 0x0F;
inline constexpr unsigned kBoxButtonsOk = 0x00;
inline constexpr unsigned kBoxButtonsYesNo = 0x04;

inline constexpr unsigned kBoxIconMask = 0xF0;
inline constexpr unsigned kBoxIconStop = 0x10;
inline constexpr unsigned kBoxIconQuestion = 0x20;
inline constexpr unsigned kBoxIconExclamation = 0x30;
inline constexpr unsigned kBoxIconInformation = 0x40;

// The button that closed a box.
inline constexpr int kAnswerOk = 1;
inline constexpr int kAnswerYes = 6;
inline constexpr int kAnswerNo = 7;

// Whether a box of this style asks Yes or No (else it only tells, and answers OK).
constexpr bool IsYesNoQuestion(unsigned style) {
  return (style & kBoxButtonsMask) == kBoxButtonsYesNo;
}

}  // namespace x9::platform
