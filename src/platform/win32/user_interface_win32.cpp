// Windows only: the platform layer's message boxes and the modeless progress window made from
// the IDD_PROGRESS template (x9link.rc).

#include <memory>
#include <string>

#include "platform/message_box.h"
#include "platform/platform.h"
#include "platform/win32/progress_res.h"
#include "platform/win32/windows_support.h"

namespace x9::platform {

// The style bits and answers are the system's: MessageBoxW takes and gives them as they are.
static_assert(kBoxButtonsMask == MB_TYPEMASK && kBoxIconMask == MB_ICONMASK);
static_assert(kBoxButtonsOk == MB_OK && kBoxButtonsYesNo == MB_YESNO);
static_assert(kBoxIconStop == MB_ICONSTOP && kBoxIconQuestion == MB_ICONQUESTION);
static_assert(kBoxIconExclamation == MB_ICONEXCLAMATION);
static_assert(kBoxIconInformation == MB_ICONINFORMATION);
static_assert(kAnswerOk == IDOK && kAnswerYes == IDYES && kAnswerNo == IDNO);

namespace win32 {

std::wstring WideFromCodePage932(const char* text) {
  if (text == nullptr || *text == '\0') return {};
  // Code page 932 is present on every Windows; the fallback only keeps text visible elsewhere.
  const UINT codePage = IsValidCodePage(932) ? 932 : CP_ACP;
  const int needed = MultiByteToWideChar(codePage, 0, text, -1, nullptr, 0);
  if (needed <= 1) return {};
  std::wstring wide(static_cast<size_t>(needed), L'\0');
  MultiByteToWideChar(codePage, 0, text, -1, wide.data(), needed);
  wide.resize(static_cast<size_t>(needed) - 1);  // the terminating zero
  return wide;
}

}  // namespace win32

namespace {

HINSTANCE g_instance = nullptr;

using win32::ScopedWindow;
using win32::WideFromCodePage932;

// The box's caption, as the host's framework would give it by default: the base name of the
// host's executable without its extension.
std::wstring HostProgramName() {
  const std::wstring path = win32::ProgramPath();
  const size_t slash = path.find_last_of(L"\\/");
  std::wstring name = slash == std::wstring::npos ? path : path.substr(slash + 1);
  const size_t dot = name.rfind(L'.');
  if (dot != std::wstring::npos) name.resize(dot);
  return name;
}

// A window the host no longer has would make the box or the dialog fail outright; without an
// owner it still shows.
HWND UsableOwner(WindowHandle owner) {
  const HWND window = static_cast<HWND>(owner);
  return window != nullptr && IsWindow(window) ? window : nullptr;
}

// The module that holds the dialog template: the one DllMain recorded, or, when this code is
// linked into a program (the Windows tests), the image that contains it.
HINSTANCE TemplateInstance() {
  if (void* instance = ModuleInstance()) return static_cast<HINSTANCE>(instance);
  static const char anchor = 0;
  HMODULE self = nullptr;
  if (!GetModuleHandleExW(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          reinterpret_cast<LPCWSTR>(&anchor), &self)) {
    return nullptr;
  }
  return self;
}

// The host need not have registered the progress bar's class; the module does it once.
void RegisterProgressBarClass() {
  static const bool registered = [] {
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_PROGRESS_CLASS;
    return InitCommonControlsEx(&controls) != FALSE;
  }();
  static_cast<void>(registered);
}

// The bar's messages, sent as the ANSI messages they always were.
constexpr UINT kSetRange = 0x401;            // PBM_SETRANGE
constexpr UINT kSetPosition = 0x402;         // PBM_SETPOS
constexpr LPARAM kRange0To100 = 0x00640000;  // low word 0, high word 100
static_assert(kSetRange == PBM_SETRANGE && kSetPosition == PBM_SETPOS);

// The progress window. The object holds everything the window shows and the flag its Abort
// button sets; the window reaches it through GWLP_USERDATA.
class DialogProgressWindow final : public ProgressWindow {
 public:
  static std::unique_ptr<ProgressWindow> Create(HWND owner, const char* messageText,
                                                bool abortEnabled, int* abortFlag) {
    RegisterProgressBarClass();
    std::unique_ptr<DialogProgressWindow> window(
        new DialogProgressWindow(WideFromCodePage932(messageText), abortEnabled, abortFlag));
    const HWND dialog =
        CreateDialogParamW(TemplateInstance(), MAKEINTRESOURCEW(IDD_PROGRESS), owner, &DialogProc,
                           reinterpret_cast<LPARAM>(window.get()));
    if (dialog == nullptr || !window->window_) return nullptr;
    return window;
  }

  ~DialogProgressWindow() override { window_.Reset(); }

  void SetBarPosition(int position) override {
    if (bar_ != nullptr) SendMessageA(bar_, kSetPosition, static_cast<WPARAM>(position), 0);
  }

 private:
  DialogProgressWindow(std::wstring message, bool abortEnabled, int* abortFlag)
      : message_(std::move(message)), abortEnabled_(abortEnabled), abortFlag_(abortFlag) {}

  static INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
      auto* self = reinterpret_cast<DialogProgressWindow*>(lParam);
      SetWindowLongPtrW(dialog, GWLP_USERDATA, lParam);
      self->window_.Reset(dialog);
      return self->OnInitDialog();
    }
    auto* self = reinterpret_cast<DialogProgressWindow*>(GetWindowLongPtrW(dialog, GWLP_USERDATA));
    if (self == nullptr) return FALSE;  // messages before WM_INITDIALOG
    switch (message) {
      case WM_COMMAND: return self->OnCommand(LOWORD(wParam), HIWORD(wParam));
      case WM_NCDESTROY:
        // Destroyed with its owner, or by the destructor: either way the handle is gone.
        SetWindowLongPtrW(dialog, GWLP_USERDATA, 0);
        self->window_.Release();
        self->bar_ = nullptr;
        return FALSE;
      default: return FALSE;
    }
  }

  INT_PTR OnInitDialog() {
    const HWND dialog = window_.Get();
    bar_ = GetDlgItem(dialog, IDC_PROGRESS);
    SetDlgItemTextW(dialog, IDC_DETAIL, L"");
    SetDlgItemTextW(dialog, IDC_MESSAGE, message_.c_str());
    SendMessageA(bar_, kSetRange, 0, kRange0To100);
    SendMessageA(bar_, kSetPosition, 0, 0);
    if (!abortEnabled_) ShowWindow(GetDlgItem(dialog, IDC_ABORT), SW_HIDE);
    CentreOnScreen(dialog);
    return TRUE;
  }

  // The template puts the window at 0,0; it is moved to the middle of the primary screen,
  // halves truncated as the integer division has always done it.
  static void CentreOnScreen(HWND dialog) {
    RECT r{};
    GetWindowRect(dialog, &r);
    const int width = r.right - r.left;
    const int height = r.bottom - r.top;
    const int screenWidth = GetSystemMetrics(SM_CXSCREEN);
    const int screenHeight = GetSystemMetrics(SM_CYSCREEN);
    OffsetRect(&r, screenWidth / 2 - width / 2 - r.left, screenHeight / 2 - height / 2 - r.top);
    MoveWindow(dialog, r.left, r.top, width, height, TRUE);
  }

  INT_PTR OnCommand(WORD id, WORD notification) {
    switch (id) {
      case IDC_ABORT:
        if (notification == BN_CLICKED) *abortFlag_ = 1;  // never reset here
        return TRUE;
      case IDOK:
      case IDCANCEL:
        // Enter and Esc: a transfer is stopped only by its Abort button, and the window is
        // closed only by its owner.
        return TRUE;
      default: return FALSE;
    }
  }

  std::wstring message_;
  bool abortEnabled_;
  int* abortFlag_;
  HWND bar_ = nullptr;
  ScopedWindow window_;
};

}  // namespace

int ShowMessageBox(WindowHandle owner, const char* text, unsigned style) {
  const std::wstring wideText = WideFromCodePage932(text);
  const std::wstring caption = HostProgramName();
  return MessageBoxW(UsableOwner(owner), wideText.c_str(), caption.c_str(), style);
}

std::unique_ptr<ProgressWindow> CreateProgressWindow(WindowHandle owner, const char* messageText,
                                                     bool abortEnabled, int* abortFlag) {
  return DialogProgressWindow::Create(UsableOwner(owner), messageText, abortEnabled, abortFlag);
}

void SetModuleInstance(void* instance) { g_instance = static_cast<HINSTANCE>(instance); }

void* ModuleInstance() { return g_instance; }

}  // namespace x9::platform
