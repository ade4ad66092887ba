// A user interface for tests: records every message box and progress window, answers questions
// from a script and presses Abort when told to.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "ui/user_interface.h"

namespace x9test {

struct ShownBox {
  std::string text;  // Shift-JIS bytes as the module passed them
  unsigned style;
  bool progressWindowOpen;  // whether a progress window existed while it was shown
};

struct ShownProgress {
  std::string message;
  bool abortEnabled = false;
  std::vector<int> positions;  // every bar position set, in order
  bool destroyed = false;
  int* abortFlag = nullptr;
};

class ScriptedUi : public x9::UserInterface {
 public:
  int ShowMessageBox(x9::WindowHandle owner, const char* text, unsigned style) override;
  std::unique_ptr<x9::ProgressWindow> CreateProgressWindow(x9::WindowHandle owner,
                                                           const char* messageText,
                                                           bool abortEnabled,
                                                           int* abortFlag) override;

  // Presses Abort on the newest progress window that still exists.
  void PressAbort();
  int OpenWindows() const;

  std::vector<ShownBox> boxes;
  std::vector<ShownProgress> windows;
  std::deque<int> answers;             // answers to questions, in order
  int defaultAnswer = x9::kAnswerYes;  // when the script has run out
  bool failWindowCreation = false;
  std::vector<x9::WindowHandle> owners;  // owner of every box and window, in order
  // When set, "window N destroyed" (N counted from 1) is appended here as it happens, so a test
  // can order it among other events.
  std::vector<std::string>* events = nullptr;
};

// Texts and styles of the boxes shown, for compact expectations.
std::vector<std::string> BoxTexts(const ScriptedUi& ui);

}  // namespace x9test
