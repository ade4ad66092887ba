#include "window_probe.h"

#include <gtest/gtest.h>

#include "platform/win32/progress_res.h"
#include "platform/win32/win32_text.h"

namespace x9test {

std::wstring WindowText(HWND window) { return x9::platform::win32::WindowText(window); }
std::wstring ClassNameOf(HWND window) { return x9::platform::win32::ClassNameOf(window); }
std::string Utf8(const std::wstring& text) { return x9::platform::win32::Utf8FromWide(text); }

namespace {

BOOL CALLBACK CollectProgressWindow(HWND window, LPARAM context) {
  if (ClassNameOf(window) == L"#32770" && GetDlgItem(window, IDC_PROGRESS) != nullptr) {
    reinterpret_cast<std::vector<HWND>*>(context)->push_back(window);
  }
  return TRUE;
}

constexpr wchar_t kOwnerClass[] = L"X9TestOwner";

}  // namespace

std::vector<HWND> ProgressWindowsOfThisThread() {
  std::vector<HWND> found;
  EnumThreadWindows(GetCurrentThreadId(), CollectProgressWindow, reinterpret_cast<LPARAM>(&found));
  return found;
}

HWND FindProgressWindow() {
  const std::vector<HWND> found = ProgressWindowsOfThisThread();
  if (found.size() > 1) ADD_FAILURE() << found.size() << " progress windows are open";
  return found.empty() ? nullptr : found.front();
}

void PumpMessages(HWND dialog) {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (dialog != nullptr && IsWindow(dialog) && IsDialogMessageW(dialog, &message)) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

OwnerWindow::OwnerWindow() {
  const HINSTANCE instance = GetModuleHandleW(nullptr);
  static const bool registered = [instance] {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = DefWindowProcW;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = kOwnerClass;
    return RegisterClassExW(&windowClass) != 0;
  }();
  EXPECT_TRUE(registered);
  window_.Reset(CreateWindowExW(0, kOwnerClass, L"Owner", WS_OVERLAPPEDWINDOW, 10, 10, 200, 100,
                                nullptr, nullptr, instance, nullptr));
  EXPECT_NE(window_.Get(), nullptr);
}

OwnerWindow::~OwnerWindow() = default;

}  // namespace x9test
