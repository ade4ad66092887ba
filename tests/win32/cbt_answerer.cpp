#include "cbt_answerer.h"

#include <gtest/gtest.h>

#include "window_probe.h"

namespace x9test {

CbtAnswerer::CbtAnswerer(std::initializer_list<int> answers)
    : answers_(answers), watch_([this](const AnsweredBox& box) { return Choose(box); }) {
  EXPECT_TRUE(watch_.Installed()) << "one CbtAnswerer per thread; error " << watch_.InstallError();
}

int CbtAnswerer::Choose(const AnsweredBox& box) {
  int button = 0;
  if (answers_.empty()) {
    ADD_FAILURE() << "unscripted message box: " << Utf8(box.text);
  } else {
    button = answers_.front();
    answers_.pop_front();
    if (!x9::platform::win32::MessageBoxHasButton(box.window, button)) {
      ADD_FAILURE() << "the box has no button " << button << ": " << Utf8(box.text);
      button = 0;
    }
  }
  return button != 0 ? button : x9::platform::win32::MessageBoxClosingButton(box.window);
}

}  // namespace x9test
