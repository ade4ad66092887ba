// Windows only: a real top-level window for the transfer list, so message boxes and the progress
// window have a genuine owner, and the host's message loop, which delivers clicks to them.
#include <windows.h>

#include "host_window.h"

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace x9sim {
namespace {

constexpr wchar_t kClassName[] = L"X9HostTransferList";
HWND g_window = nullptr;

LRESULT CALLBACK TransferListProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CLOSE: return 0;  // the list lives as long as the host; nobody closes it from outside
    case WM_NCDESTROY:
      if (window == g_window) g_window = nullptr;
      break;
    default: break;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

bool RegisterWindowClass(HINSTANCE instance) {
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = TransferListProc;
  windowClass.hInstance = instance;
  windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  windowClass.lpszClassName = kClassName;
  return RegisterClassExW(&windowClass) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

}  // namespace

void* TransferListWindow() {
  if (g_window != nullptr) return g_window;
  const HINSTANCE instance = reinterpret_cast<HINSTANCE>(&__ImageBase);
  static const bool registered = RegisterWindowClass(instance);
  if (!registered) return nullptr;
  // Never shown: owning boxes and dialogs needs a window, not a visible one.
  g_window = CreateWindowExW(0, kClassName, L"Transfer list", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                             CW_USEDEFAULT, 480, 320, nullptr, nullptr, instance, nullptr);
  return g_window;
}

void PumpHostMessages() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      // Not ours to act on: leave it for the program's own loop.
      PostQuitMessage(static_cast<int>(message.wParam));
      break;
    }
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

}  // namespace x9sim
