// Windows-only: answers real message boxes the way a person would. While an answerer exists, a
// WH_CBT hook on the calling thread sees each message box as it is activated, records its text,
// caption, buttons, icon and owner, and clicks the next button of the script.
#pragma once

#include <deque>
#include <initializer_list>
#include <set>
#include <string>
#include <vector>

#include "platform/win32/windows_support.h"

namespace x9test {

struct AnsweredBox {
  std::wstring text;
  std::wstring caption;
  unsigned buttons = 0;  // MB_OK, MB_YESNO, ... as read from the buttons the box shows
  unsigned icon = 0;     // MB_ICONHAND, MB_ICONQUESTION, ...; 0 when none or not recognised
  HWND owner = nullptr;
  int pressed = 0;  // IDOK, IDYES, IDNO, ...

  unsigned Style() const { return buttons | icon; }
};

class CbtAnswerer {
 public:
  // The buttons to press, in order. A box with no answer left, or whose scripted button it does
  // not have, is a test failure; it is still closed (OK, else No, else Cancel) so nothing hangs.
  explicit CbtAnswerer(std::initializer_list<int> answers = {});
  ~CbtAnswerer();
  CbtAnswerer(const CbtAnswerer&) = delete;
  CbtAnswerer& operator=(const CbtAnswerer&) = delete;

  void Answer(int button) { answers_.push_back(button); }
  const std::vector<AnsweredBox>& Boxes() const { return boxes_; }
  size_t AnswersLeft() const { return answers_.size(); }

 private:
  static LRESULT CALLBACK HookProc(int code, WPARAM wParam, LPARAM lParam);
  void OnActivate(HWND window);

  HHOOK hook_ = nullptr;
  std::deque<int> answers_;
  std::vector<AnsweredBox> boxes_;
  std::set<HWND> answered_;  // boxes already clicked, until they are destroyed
};

}  // namespace x9test
