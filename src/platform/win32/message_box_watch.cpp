#include "platform/win32/message_box_watch.h"

#include <commctrl.h>

#include "platform/win32/win32_text.h"

namespace x9::platform::win32 {
namespace {

// The hook procedure has no context of its own.
thread_local MessageBoxWatch* t_watch = nullptr;

constexpr UINT_PTR kSubclassId = 0x5839;  // one subclass of ours per box
constexpr int kBoxButtons[] = {IDOK, IDCANCEL, IDABORT, IDRETRY, IDIGNORE, IDYES, IDNO};

// Only message boxes have these buttons; other dialogs (the progress window) are left alone.
bool IsMessageBox(HWND window) {
  if (ClassNameOf(window) != L"#32770") return false;
  for (const int id : kBoxButtons) {
    if (GetDlgItem(window, id) != nullptr) return true;
  }
  return false;
}

unsigned ButtonsOf(HWND box) {
  const bool ok = MessageBoxHasButton(box, IDOK), cancel = MessageBoxHasButton(box, IDCANCEL);
  const bool yes = MessageBoxHasButton(box, IDYES), no = MessageBoxHasButton(box, IDNO);
  if (yes && no) return cancel ? MB_YESNOCANCEL : MB_YESNO;
  if (MessageBoxHasButton(box, IDABORT)) return MB_ABORTRETRYIGNORE;
  if (MessageBoxHasButton(box, IDRETRY)) return MB_RETRYCANCEL;
  if (ok && cancel) return MB_OKCANCEL;
  return MB_OK;
}

struct BoxStatics {
  HWND text = nullptr;
  HWND icon = nullptr;
};

BOOL CALLBACK CollectStatic(HWND child, LPARAM context) {
  auto* statics = reinterpret_cast<BoxStatics*>(context);
  if (_wcsicmp(ClassNameOf(child).c_str(), L"Static") != 0) return TRUE;
  if ((GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
    statics->icon = child;
  } else if (statics->text == nullptr || GetDlgCtrlID(child) == 0xFFFF) {
    statics->text = child;  // Windows gives the text id 0xFFFF; other systems may not
  }
  return TRUE;
}

unsigned IconOf(HWND iconStatic) {
  if (iconStatic == nullptr) return 0;
  const auto shown = reinterpret_cast<HICON>(SendMessageW(iconStatic, STM_GETICON, 0, 0));
  if (shown == nullptr) return 0;
  const struct {
    LPCWSTR resource;
    unsigned style;
  } icons[] = {{IDI_HAND, MB_ICONHAND},
               {IDI_QUESTION, MB_ICONQUESTION},
               {IDI_EXCLAMATION, MB_ICONEXCLAMATION},
               {IDI_ASTERISK, MB_ICONASTERISK}};
  for (const auto& icon : icons) {
    if (LoadIconW(nullptr, icon.resource) == shown) return icon.style;
  }
  return 0;
}

}  // namespace

bool MessageBoxHasButton(HWND box, int id) {
  const HWND button = GetDlgItem(box, id);
  return button != nullptr && (GetWindowLongW(button, GWL_STYLE) & WS_VISIBLE) != 0;
}

int MessageBoxClosingButton(HWND box) {
  for (const int id : {IDOK, IDNO, IDCANCEL}) {
    if (MessageBoxHasButton(box, id)) return id;
  }
  return IDCANCEL;
}

MessageBoxWatch::MessageBoxWatch(Chooser chooser, Listener answered)
    : chooser_(std::move(chooser)), answered_(std::move(answered)) {
  if (t_watch != nullptr) return;
  hook_ = SetWindowsHookExW(WH_CBT, HookProc, nullptr, GetCurrentThreadId());
  if (hook_ == nullptr) {
    installError_ = GetLastError();
    return;
  }
  t_watch = this;
}

MessageBoxWatch::~MessageBoxWatch() {
  if (hook_ == nullptr) return;
  UnhookWindowsHookEx(hook_);
  for (const auto& [window, box] : open_)
    RemoveWindowSubclass(window, BoxProc, kSubclassId);
  t_watch = nullptr;
}

LRESULT CALLBACK MessageBoxWatch::HookProc(int code, WPARAM wParam, LPARAM lParam) {
  if (MessageBoxWatch* self = t_watch) {
    const HWND window = reinterpret_cast<HWND>(wParam);
    if (code == HCBT_ACTIVATE) {
      self->OnActivate(window);
    } else if (code == HCBT_DESTROYWND) {
      self->open_.erase(window);  // the handle may come back for another box
    }
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

LRESULT CALLBACK MessageBoxWatch::BoxProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                          UINT_PTR, DWORD_PTR box) {
  if (message == WM_COMMAND && t_watch != nullptr) {
    t_watch->OnButton(window, static_cast<size_t>(box), LOWORD(wParam));
  } else if (message == WM_NCDESTROY) {
    RemoveWindowSubclass(window, BoxProc, kSubclassId);
  }
  return DefSubclassProc(window, message, wParam, lParam);
}

void MessageBoxWatch::OnActivate(HWND window) {
  if (open_.count(window) != 0 || !IsMessageBox(window)) return;
  const size_t index = boxes_.size();
  open_[window] = index;

  MessageBoxSeen box;
  BoxStatics statics;
  EnumChildWindows(window, CollectStatic, reinterpret_cast<LPARAM>(&statics));
  if (statics.text != nullptr) box.text = WindowText(statics.text);
  box.caption = WindowText(window);
  box.buttons = ButtonsOf(window);
  box.icon = IconOf(statics.icon);
  box.owner = GetWindow(window, GW_OWNER);
  box.window = window;
  boxes_.push_back(std::move(box));
  // Whoever presses a button, the box hears of it first.
  SetWindowSubclass(window, BoxProc, kSubclassId, index);

  const int button = chooser_ ? chooser_(boxes_[index]) : 0;
  if (button == 0) return;
  // Pressed once the box runs its own loop, as a person's click would arrive.
  PostMessageW(window, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(window, button)));
}

void MessageBoxWatch::OnButton(HWND window, size_t index, int id) {
  if (index >= boxes_.size() || boxes_[index].pressed != 0) return;
  // A box ignores the buttons it does not show (Esc in a Yes/No box sends Cancel).
  if (!MessageBoxHasButton(window, id)) return;
  MessageBoxSeen& box = boxes_[index];
  box.pressed = id;
  box.window = nullptr;
  if (answered_) answered_(box);
}

}  // namespace x9::platform::win32
