#include "cbt_answerer.h"

#include <gtest/gtest.h>

#include "window_probe.h"

namespace x9test {
namespace {

// One answerer per thread: the hook procedure has no context of its own.
thread_local CbtAnswerer* t_answerer = nullptr;

bool HasButton(HWND box, int id) {
  const HWND button = GetDlgItem(box, id);
  // Read the style, not IsWindowVisible: the box may not be shown yet when it is activated.
  return button != nullptr && (GetWindowLongW(button, GWL_STYLE) & WS_VISIBLE) != 0;
}

// Only message boxes have these buttons; other dialogs (the progress window) are left alone.
bool IsMessageBox(HWND window) {
  if (ClassNameOf(window) != L"#32770") return false;
  for (const int id : {IDOK, IDCANCEL, IDABORT, IDRETRY, IDIGNORE, IDYES, IDNO}) {
    if (GetDlgItem(window, id) != nullptr) return true;
  }
  return false;
}

unsigned ButtonsOf(HWND box) {
  const bool ok = HasButton(box, IDOK), cancel = HasButton(box, IDCANCEL);
  const bool yes = HasButton(box, IDYES), no = HasButton(box, IDNO);
  if (yes && no) return cancel ? MB_YESNOCANCEL : MB_YESNO;
  if (HasButton(box, IDABORT)) return MB_ABORTRETRYIGNORE;
  if (HasButton(box, IDRETRY)) return MB_RETRYCANCEL;
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

int FallbackButton(HWND box) {
  for (const int id : {IDOK, IDNO, IDCANCEL}) {
    if (HasButton(box, id)) return id;
  }
  return IDCANCEL;
}

}  // namespace

CbtAnswerer::CbtAnswerer(std::initializer_list<int> answers) : answers_(answers) {
  EXPECT_EQ(t_answerer, nullptr) << "one CbtAnswerer per thread";
  t_answerer = this;
  hook_ = SetWindowsHookExW(WH_CBT, HookProc, nullptr, GetCurrentThreadId());
  EXPECT_NE(hook_, nullptr);
}

CbtAnswerer::~CbtAnswerer() {
  if (hook_ != nullptr) UnhookWindowsHookEx(hook_);
  t_answerer = nullptr;
}

LRESULT CALLBACK CbtAnswerer::HookProc(int code, WPARAM wParam, LPARAM lParam) {
  CbtAnswerer* self = t_answerer;
  if (self != nullptr) {
    const HWND window = reinterpret_cast<HWND>(wParam);
    if (code == HCBT_ACTIVATE) {
      self->OnActivate(window);
    } else if (code == HCBT_DESTROYWND) {
      self->answered_.erase(window);  // the handle may come back for another box
    }
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

void CbtAnswerer::OnActivate(HWND window) {
  if (answered_.count(window) != 0 || !IsMessageBox(window)) return;
  answered_.insert(window);

  AnsweredBox box;
  BoxStatics statics;
  EnumChildWindows(window, CollectStatic, reinterpret_cast<LPARAM>(&statics));
  if (statics.text != nullptr) box.text = WindowText(statics.text);
  box.caption = WindowText(window);
  box.buttons = ButtonsOf(window);
  box.icon = IconOf(statics.icon);
  box.owner = GetWindow(window, GW_OWNER);

  int button = 0;
  if (answers_.empty()) {
    ADD_FAILURE() << "unscripted message box: " << Utf8(box.text);
  } else {
    button = answers_.front();
    answers_.pop_front();
    if (!HasButton(window, button)) {
      ADD_FAILURE() << "the box has no button " << button << ": " << Utf8(box.text);
      button = 0;
    }
  }
  if (button == 0) button = FallbackButton(window);
  box.pressed = button;
  boxes_.push_back(std::move(box));

  // Clicked once the box runs its own loop, as a person's click would arrive.
  PostMessageW(window, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(window, button)));
}

}  // namespace x9test
