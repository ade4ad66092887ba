// The real progress window under Windows (or wine): created from the template, driven by its
// own messages and by clicks, the way a person would use it.
//
// Locale: any. Without LANG (or with an English one) the English template is in force; with
// LANG=ja_JP.UTF-8 wine picks the Japanese one, and the expected caption and button text follow
// whichever template this thread's language selects. The message text is Shift-JIS and must read
// correctly in both.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/win32/progress_res.h"
#include "platform/win32/windows_support.h"
#include "ui/progress_dialog.h"
#include "ui/user_interface.h"
#include "window_probe.h"

namespace x9test {
namespace {

// 全ウェイポイントを削除中...
constexpr char kMessageBytes[] =
    "\x91S\x83"
    "E\x83"
    "F\x83"
    "C\x83|\x83"
    "C\x83\x93\x83g\x82\xf0\x8d\xed\x8f\x9c\x92\x86...";
constexpr wchar_t kMessageText[] = L"全ウェイポイントを削除中...";

struct TemplateTexts {
  const wchar_t* caption;
  const wchar_t* abort;
};

// The template CreateDialog finds for this thread's language.
TemplateTexts TemplateInForce() {
  const HMODULE program = GetModuleHandleW(nullptr);
  const HRSRC used = FindResourceW(program, MAKEINTRESOURCEW(IDD_PROGRESS), RT_DIALOG);
  const HRSRC japanese = FindResourceExW(program, RT_DIALOG, MAKEINTRESOURCEW(IDD_PROGRESS),
                                         MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT));
  if (used != nullptr && used == japanese) return {L"準備中", L"中止"};
  return {L"", L"Abort"};
}

// Every message the bar is sent, as its window procedure receives it.
struct BarMessage {
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
};

class BarRecorder {
 public:
  BarRecorder() {
    t_recorder = this;
    hook_ = SetWindowsHookExW(WH_CALLWNDPROC, HookProc, nullptr, GetCurrentThreadId());
    EXPECT_NE(hook_, nullptr);
  }
  ~BarRecorder() {
    if (hook_ != nullptr) UnhookWindowsHookEx(hook_);
    t_recorder = nullptr;
  }
  BarRecorder(const BarRecorder&) = delete;
  BarRecorder& operator=(const BarRecorder&) = delete;

  // The progress bar messages (PBM_*) only.
  std::vector<BarMessage> BarMessages() const {
    std::vector<BarMessage> bar;
    for (const BarMessage& m : messages_) {
      if (m.message >= WM_USER + 1 && m.message <= WM_USER + 16) bar.push_back(m);
    }
    return bar;
  }
  void Clear() { messages_.clear(); }

 private:
  static LRESULT CALLBACK HookProc(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HC_ACTION && t_recorder != nullptr) {
      const auto* sent = reinterpret_cast<const CWPSTRUCT*>(lParam);
      if (_wcsicmp(ClassNameOf(sent->hwnd).c_str(), PROGRESS_CLASSW) == 0) {
        t_recorder->messages_.push_back({sent->message, sent->wParam, sent->lParam});
      }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
  }

  static inline thread_local BarRecorder* t_recorder = nullptr;
  HHOOK hook_ = nullptr;
  std::vector<BarMessage> messages_;
};

int BarPosition(HWND dialog) {
  return static_cast<int>(SendDlgItemMessageW(dialog, IDC_PROGRESS, PBM_GETPOS, 0, 0));
}

class ProgressWindowTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(ProgressWindowsOfThisThread().empty()); }

  void TearDown() override {
    PumpMessages();
    EXPECT_TRUE(ProgressWindowsOfThisThread().empty()) << "a progress window outlived its test";
  }

  std::unique_ptr<x9::ProgressWindow> Create(bool abortEnabled, HWND owner = nullptr) {
    return x9::platform::CreateProgressWindow(owner, kMessageBytes, abortEnabled, &abortFlag);
  }

  int abortFlag = 0;
};

TEST_F(ProgressWindowTest, IsADialogFromTheTemplate) {
  const auto window = Create(true);
  ASSERT_NE(window, nullptr);
  const HWND dialog = FindProgressWindow();
  ASSERT_NE(dialog, nullptr);

  EXPECT_EQ(ClassNameOf(dialog), L"#32770");
  EXPECT_TRUE(IsWindowVisible(dialog));
  EXPECT_EQ(GetWindow(dialog, GW_OWNER), nullptr);
  const DWORD style = static_cast<DWORD>(GetWindowLongW(dialog, GWL_STYLE));
  const DWORD templateBits = WS_POPUP | WS_VISIBLE | WS_CAPTION | DS_MODALFRAME;
  EXPECT_EQ(style & templateBits, templateBits) << std::hex << style;
  EXPECT_EQ(style & (WS_SYSMENU | WS_CHILD | WS_THICKFRAME), 0u) << std::hex << style;

  const struct {
    int id;
    const wchar_t* windowClass;
    DWORD style;
  } controls[] = {// The bar trades the template's WS_BORDER for an edge of its own.
                  {IDC_PROGRESS, PROGRESS_CLASSW, 0x50000001},
                  {IDC_MESSAGE, L"Static", 0x50020000},
                  {IDC_ABORT, L"Button", 0x50010000},
                  {IDC_DETAIL, L"Static", 0x50020000}};
  for (const auto& control : controls) {
    const HWND child = GetDlgItem(dialog, control.id);
    ASSERT_NE(child, nullptr) << control.id;
    EXPECT_EQ(_wcsicmp(ClassNameOf(child).c_str(), control.windowClass), 0)
        << control.id << " is a " << Utf8(ClassNameOf(child));
    EXPECT_EQ(static_cast<DWORD>(GetWindowLongW(child, GWL_STYLE)) & control.style, control.style)
        << control.id;
    EXPECT_TRUE(IsWindowVisible(child)) << control.id;
  }
}

TEST_F(ProgressWindowTest, ShowsTheMessageReadFromCodePage932) {
  const TemplateTexts texts = TemplateInForce();
  const auto window = Create(true);
  ASSERT_NE(window, nullptr);
  const HWND dialog = FindProgressWindow();
  ASSERT_NE(dialog, nullptr);

  EXPECT_EQ(WindowText(dialog), texts.caption);
  EXPECT_EQ(WindowText(GetDlgItem(dialog, IDC_MESSAGE)), kMessageText)
      << Utf8(WindowText(GetDlgItem(dialog, IDC_MESSAGE)));
  EXPECT_EQ(WindowText(GetDlgItem(dialog, IDC_DETAIL)), L"");  // "Static" in the template
  EXPECT_EQ(WindowText(GetDlgItem(dialog, IDC_ABORT)), texts.abort);
}

TEST_F(ProgressWindowTest, SetsUpTheBarWithAnsiMessagesWhenInitialised) {
  BarRecorder recorder;
  const auto window = Create(true);
  ASSERT_NE(window, nullptr);
  const std::vector<BarMessage> sent = recorder.BarMessages();
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(sent[0].message, static_cast<UINT>(PBM_SETRANGE));
  EXPECT_EQ(sent[0].wParam, 0u);
  EXPECT_EQ(sent[0].lParam, MAKELPARAM(0, 100));
  EXPECT_EQ(sent[1].message, static_cast<UINT>(PBM_SETPOS));
  EXPECT_EQ(sent[1].wParam, 0u);
  EXPECT_EQ(sent[1].lParam, 0);
}

TEST_F(ProgressWindowTest, IsCentredOnTheScreen) {
  const auto window = Create(true);
  ASSERT_NE(window, nullptr);
  const HWND dialog = FindProgressWindow();
  ASSERT_NE(dialog, nullptr);

  RECT r{};
  ASSERT_TRUE(GetWindowRect(dialog, &r));
  const int width = r.right - r.left;
  const int height = r.bottom - r.top;
  EXPECT_GT(width, 0);
  EXPECT_GT(height, 0);
  const int screenWidth = GetSystemMetrics(SM_CXSCREEN);
  const int screenHeight = GetSystemMetrics(SM_CYSCREEN);
  EXPECT_EQ(r.left, screenWidth / 2 - width / 2);
  EXPECT_EQ(r.top, screenHeight / 2 - height / 2);
}

TEST_F(ProgressWindowTest, BarRunsFrom0To100AndShowsThePosition) {
  const auto window = Create(true);
  ASSERT_NE(window, nullptr);
  const HWND dialog = FindProgressWindow();
  ASSERT_NE(dialog, nullptr);

  PBRANGE range{-1, -1};
  SendDlgItemMessageW(dialog, IDC_PROGRESS, PBM_GETRANGE, TRUE, reinterpret_cast<LPARAM>(&range));
  EXPECT_EQ(range.iLow, 0);
  EXPECT_EQ(range.iHigh, 100);
  EXPECT_EQ(BarPosition(dialog), 0);

  window->SetBarPosition(37);
  EXPECT_EQ(BarPosition(dialog), 37);
  window->SetBarPosition(100);
  EXPECT_EQ(BarPosition(dialog), 100);
}

TEST_F(ProgressWindowTest, ProgressDialogShowsAtMost100AndSendsNegativesUnchanged) {
  x9::ProgressDialog progress(kMessageBytes, 1, nullptr);
  ASSERT_TRUE(progress.Create());
  const HWND dialog = FindProgressWindow();
  ASSERT_NE(dialog, nullptr);

  progress.SetProgress(42);
  EXPECT_EQ(BarPosition(dialog), 42);
  progress.SetProgress(150);
  EXPECT_EQ(BarPosition(dialog), 100);

  BarRecorder recorder;
  progress.SetProgress(-3);
  const std::vector<BarMessage> sent = recorder.BarMessages();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].message, static_cast<UINT>(PBM_SETPOS));
  EXPECT_EQ(static_cast<int>(sent[0].wParam), -3);
  EXPECT_EQ(BarPosition(dialog), 0);  // the bar keeps to its range itself
}

TEST_F(ProgressWindowTest, AbortClickSetsTheFlagAndLeavesTheWindowOpen) {
  const auto window = Create(true);
  ASSERT_NE(window, nullptr);
  const HWND dialog = FindProgressWindow();
  ASSERT_NE(dialog, nullptr);
  const HWND abort = GetDlgItem(dialog, IDC_ABORT);
  ASSERT_TRUE(IsWindowVisible(abort));
  PumpMessages(dialog);
  EXPECT_EQ(abortFlag, 0);

  SendMessageW(abort, BM_CLICK, 0, 0);
  PumpMessages(dialog);
  EXPECT_EQ(abortFlag, 1);
  EXPECT_TRUE(IsWindowVisible(dialog));

  // More clicks keep it at 1; nothing in the window resets it.
  SendMessageW(abort, BM_CLICK, 0, 0);
  SendMessageW(abort, BM_CLICK, 0, 0);
  PumpMessages(dialog);
  EXPECT_EQ(abortFlag, 1);
  EXPECT_TRUE(IsWindowVisible(dialog));
}

TEST_F(ProgressWindowTest, AbortClickReachesTheProgressDialog) {
  x9::ProgressDialog progress(kMessageBytes, 1, nullptr);
  ASSERT_TRUE(progress.Create());
  const HWND dialog = FindProgressWindow();
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(progress.abortRequested, 0);

  PostMessageW(GetDlgItem(dialog, IDC_ABORT), BM_CLICK, 0, 0);
  PumpMessages(dialog);
  EXPECT_EQ(progress.abortRequested, 1);
}

TEST_F(ProgressWindowTest, AbortIsHiddenWhenNotEnabled) {
  const auto window = Create(false);
  ASSERT_NE(window, nullptr);
  const HWND dialog = FindProgressWindow();
  ASSERT_NE(dialog, nullptr);
  const HWND abort = GetDlgItem(dialog, IDC_ABORT);
  ASSERT_NE(abort, nullptr);
  EXPECT_FALSE(IsWindowVisible(abort));
  EXPECT_TRUE(IsWindowVisible(GetDlgItem(dialog, IDC_PROGRESS)));
  PumpMessages(dialog);
  EXPECT_EQ(abortFlag, 0);
}

TEST_F(ProgressWindowTest, OkAndCancelCommandsNeitherAbortNorClose) {
  const auto window = Create(true);
  ASSERT_NE(window, nullptr);
  const HWND dialog = FindProgressWindow();
  ASSERT_NE(dialog, nullptr);

  SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
  SendMessageW(dialog, WM_CLOSE, 0, 0);  // Alt+F4 arrives as IDCANCEL too
  PumpMessages(dialog);
  EXPECT_EQ(abortFlag, 0);
  EXPECT_TRUE(IsWindow(dialog));
  EXPECT_TRUE(IsWindowVisible(dialog));
}

// Keys through the dialog manager, as a loop calling IsDialogMessage would deliver them, with
// the Abort button shown or hidden. The button has the focus when it is shown but is not the
// default button, so Enter is the dialog's IDOK either way.
class DialogKeysTest : public ProgressWindowTest, public ::testing::WithParamInterface<bool> {};

TEST_P(DialogKeysTest, EnterAndEscNeitherAbortNorClose) {
  const bool abortEnabled = GetParam();
  const auto window = Create(abortEnabled);
  ASSERT_NE(window, nullptr);
  const HWND dialog = FindProgressWindow();
  ASSERT_NE(dialog, nullptr);
  if (abortEnabled) {
    EXPECT_EQ(GetFocus(), GetDlgItem(dialog, IDC_ABORT));
  }

  for (const UINT key : {VK_RETURN, VK_ESCAPE}) {
    const HWND focus = GetFocus() != nullptr ? GetFocus() : dialog;
    PostMessageW(focus, WM_KEYDOWN, key, 1);
    PostMessageW(focus, WM_KEYUP, key, 0xC0000001);
    PumpMessages(dialog);
  }
  EXPECT_EQ(abortFlag, 0);
  EXPECT_TRUE(IsWindowVisible(dialog));
}

INSTANTIATE_TEST_SUITE_P(ProgressWindowTest, DialogKeysTest, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                           return std::string(info.param ? "AbortShown" : "AbortHidden");
                         });

// A host loop that knows nothing of the dialog dispatches keys straight to the focused control.
TEST_F(ProgressWindowTest, EnterAndEscKeysThroughAPlainLoopDoNothing) {
  const auto window = Create(true);
  ASSERT_NE(window, nullptr);
  const HWND dialog = FindProgressWindow();
  ASSERT_NE(dialog, nullptr);
  const HWND focus = GetFocus() != nullptr ? GetFocus() : dialog;
  for (const UINT key : {VK_RETURN, VK_ESCAPE}) {
    PostMessageW(focus, WM_KEYDOWN, key, 1);
    PostMessageW(focus, WM_CHAR, key == VK_RETURN ? L'\r' : L'\x1b', 1);
    PostMessageW(focus, WM_KEYUP, key, 0xC0000001);
    PumpMessages();
  }
  EXPECT_EQ(abortFlag, 0);
  EXPECT_TRUE(IsWindowVisible(dialog));
}

TEST_F(ProgressWindowTest, DestroyedWithItsObject) {
  auto window = Create(true);
  ASSERT_NE(window, nullptr);
  const HWND dialog = FindProgressWindow();
  ASSERT_NE(dialog, nullptr);
  window.reset();
  EXPECT_FALSE(IsWindow(dialog));

  {
    x9::ProgressDialog progress(kMessageBytes, 0, nullptr);
    ASSERT_TRUE(progress.Create());
    EXPECT_NE(FindProgressWindow(), nullptr);
  }
  EXPECT_TRUE(ProgressWindowsOfThisThread().empty());
}

TEST_F(ProgressWindowTest, OwnedByTheGivenWindow) {
  OwnerWindow owner;
  ASSERT_NE(owner.Get(), nullptr);
  const auto window = Create(true, owner.Get());
  ASSERT_NE(window, nullptr);
  const HWND dialog = FindProgressWindow();
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(GetWindow(dialog, GW_OWNER), owner.Get());
}

// The owner may go first (the host closing its list); the window goes with it, and the object
// then has nothing left to destroy.
TEST_F(ProgressWindowTest, OutlivedByItsObjectWhenTheOwnerGoesFirst) {
  OwnerWindow owner;
  auto window = Create(true, owner.Get());
  ASSERT_NE(window, nullptr);
  const HWND dialog = FindProgressWindow();
  ASSERT_NE(dialog, nullptr);
  owner.Destroy();
  EXPECT_FALSE(IsWindow(dialog));
  window->SetBarPosition(50);  // nothing to show it on, and no harm
  window.reset();
}

TEST_F(ProgressWindowTest, AStaleOwnerStillGivesAWindow) {
  HWND stale = nullptr;
  {
    OwnerWindow owner;
    stale = owner.Get();
  }
  ASSERT_FALSE(IsWindow(stale));
  const auto window = Create(true, stale);
  ASSERT_NE(window, nullptr);
  const HWND dialog = FindProgressWindow();
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(GetWindow(dialog, GW_OWNER), nullptr);
}

// Without its template no window can be made: the caller gets none and carries on.
TEST_F(ProgressWindowTest, NoTemplateGivesNoWindow) {
  x9::platform::SetModuleInstance(GetModuleHandleW(L"kernel32.dll"));
  auto window = Create(true);
  x9::ProgressDialog progress(kMessageBytes, 1, nullptr);
  const bool created = progress.Create();
  x9::platform::SetModuleInstance(nullptr);

  EXPECT_EQ(window, nullptr);
  EXPECT_FALSE(created);
  progress.SetProgress(50);
  EXPECT_EQ(progress.abortRequested, 0);
  EXPECT_TRUE(ProgressWindowsOfThisThread().empty());
}

}  // namespace
}  // namespace x9test
