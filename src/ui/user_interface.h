// Message boxes and progress windows go through this one interface, so tests can answer and
// record them. By default it is the platform's own boxes and window; tests install a scripted
// one.
#pragma once

#include <memory>

#include "platform/message_box.h"
#include "platform/platform.h"

namespace x9 {

using platform::ProgressWindow;
using platform::WindowHandle;

// The styles of the module's boxes: a question asks Yes or No, every other box has OK only.
inline constexpr unsigned kStyleStop = platform::kBoxButtonsOk | platform::kBoxIconStop;
inline constexpr unsigned kStyleQuestion = platform::kBoxButtonsYesNo | platform::kBoxIconQuestion;
inline constexpr unsigned kStyleExclamation =
    platform::kBoxButtonsOk | platform::kBoxIconExclamation;
inline constexpr unsigned kStyleInformation =
    platform::kBoxButtonsOk | platform::kBoxIconInformation;
using platform::kAnswerNo;
using platform::kAnswerOk;
using platform::kAnswerYes;

class UserInterface {
 public:
  virtual ~UserInterface() = default;

  // Shows a Shift-JIS text in a modal box owned by owner; returns the button pressed.
  virtual int ShowMessageBox(WindowHandle owner, const char* text, unsigned style) = 0;

  // Creates the modeless progress window: message line, bar 0..100, Abort button (hidden
  // unless abortEnabled). The Abort button sets *abortFlag to 1. Null when no window could be
  // made; the caller then works without one.
  virtual std::unique_ptr<ProgressWindow> CreateProgressWindow(WindowHandle owner,
                                                               const char* messageText,
                                                               bool abortEnabled,
                                                               int* abortFlag) = 0;
};

// The interface in force: the platform's, unless a test installed its own.
UserInterface& CurrentUserInterface();
// Installs ui for everything that follows; null puts the platform's back.
void SetUserInterface(UserInterface* ui);

}  // namespace x9
