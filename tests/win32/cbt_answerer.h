// Windows-only: answers real message boxes the way a person would, from a script. The shared
// message-box watch (src/platform/win32) sees each box as it is activated and records its text,
// caption, buttons, icon and owner; this adds the script and makes a box the script did not expect
// a test failure.
#pragma once

#include <deque>
#include <initializer_list>
#include <vector>

#include "platform/win32/message_box_watch.h"
#include "platform/win32/windows_support.h"

namespace x9test {

using AnsweredBox = x9::platform::win32::MessageBoxSeen;

class CbtAnswerer {
 public:
  // The buttons to press, in order. A box with no answer left, or whose scripted button it does
  // not have, is a test failure; it is still closed (OK, else No, else Cancel) so nothing hangs.
  explicit CbtAnswerer(std::initializer_list<int> answers = {});
  CbtAnswerer(const CbtAnswerer&) = delete;
  CbtAnswerer& operator=(const CbtAnswerer&) = delete;

  void Answer(int button) { answers_.push_back(button); }
  const std::vector<AnsweredBox>& Boxes() const { return watch_.Boxes(); }
  size_t AnswersLeft() const { return answers_.size(); }

 private:
  int Choose(const AnsweredBox& box);

  std::deque<int> answers_;
  x9::platform::win32::MessageBoxWatch watch_;
};

}  // namespace x9test
