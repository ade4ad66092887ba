// Windows-only test helpers that look at real windows the way a person would see them: which
// dialogs are open, what their controls say, and a message pump for the test's own thread.
#pragma once

#include <string>
#include <vector>

#include "platform/win32/windows_support.h"

namespace x9test {

std::wstring WindowText(HWND window);
std::wstring ClassNameOf(HWND window);
std::string Utf8(const std::wstring& text);  // for readable test failures

// The calling thread's progress windows (dialogs with a progress bar of id IDC_PROGRESS), in
// the order the system lists them.
std::vector<HWND> ProgressWindowsOfThisThread();
// The only one, or null (a failure is recorded when there are several).
HWND FindProgressWindow();

// Handles every queued message of this thread, giving dialog keys to dialog (if any) first,
// as a host's loop that knows the dialog would.
void PumpMessages(HWND dialog = nullptr);

// A plain, never shown top-level window to own boxes and dialogs, destroyed with the object.
class OwnerWindow {
 public:
  OwnerWindow();
  ~OwnerWindow();
  OwnerWindow(const OwnerWindow&) = delete;
  OwnerWindow& operator=(const OwnerWindow&) = delete;
  HWND Get() const { return window_.Get(); }
  // Destroys the window now (e.g. to see what its owned windows do).
  void Destroy() { window_.Reset(); }

 private:
  x9::platform::win32::ScopedWindow window_;
};

}  // namespace x9test
