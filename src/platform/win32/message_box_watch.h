// Windows-only: sees the message boxes of the calling thread as a person does, through a WH_CBT
// hook: each box's text, caption, buttons, icon and owner as it opens, and the button that
// closed it, whoever pressed it. A chooser may press a button for the person. x9host answers the
// module's boxes with it, and the Windows tests drive the real module's boxes with it.
#pragma once

#include "platform/win32/windows_support.h"

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace x9::platform::win32 {

struct MessageBoxSeen {
  std::wstring text;
  std::wstring caption;
  unsigned buttons = 0;  // MB_OK, MB_YESNO, ... as read from the buttons the box shows
  unsigned icon = 0;     // MB_ICONHAND, MB_ICONQUESTION, ...; 0 when none or not recognised
  HWND owner = nullptr;
  HWND window = nullptr;  // the box; valid only while it is open
  int pressed = 0;        // IDOK, IDYES, IDNO, ...; 0 while the box is open

  unsigned Style() const { return buttons | icon; }
};

// Whether the box shows the button (read from its style: the box may not be visible yet).
bool MessageBoxHasButton(HWND box, int id);
// The button that closes a box without choosing anything: OK, else No, else Cancel.
int MessageBoxClosingButton(HWND box);

class MessageBoxWatch {
 public:
  // Called as each box opens: the button to press, or 0 to leave the box to the person.
  using Chooser = std::function<int(const MessageBoxSeen&)>;
  // Called once a box is answered (pressed is set).
  using Listener = std::function<void(const MessageBoxSeen&)>;

  // One watch per thread at a time; a second one is not installed (Installed() is false).
  explicit MessageBoxWatch(Chooser chooser, Listener answered = nullptr);
  ~MessageBoxWatch();
  MessageBoxWatch(const MessageBoxWatch&) = delete;
  MessageBoxWatch& operator=(const MessageBoxWatch&) = delete;

  bool Installed() const { return hook_ != nullptr; }
  DWORD InstallError() const { return installError_; }
  const std::vector<MessageBoxSeen>& Boxes() const { return boxes_; }

 private:
  static LRESULT CALLBACK HookProc(int code, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK BoxProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                  UINT_PTR id, DWORD_PTR box);
  void OnActivate(HWND window);
  void OnButton(HWND window, size_t box, int id);

  Chooser chooser_;
  Listener answered_;
  HHOOK hook_ = nullptr;
  DWORD installError_ = 0;
  std::vector<MessageBoxSeen> boxes_;
  std::map<HWND, size_t> open_;  // boxes seen and not yet destroyed
};

}  // namespace x9::platform::win32
