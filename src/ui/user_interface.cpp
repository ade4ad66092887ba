#include "ui/user_interface.h"

namespace x9 {
namespace {

// The platform's own boxes and window.
class PlatformUserInterface final : public UserInterface {
 public:
  int ShowMessageBox(WindowHandle owner, const char* text, unsigned style) override {
    return platform::ShowMessageBox(owner, text, style);
  }
  std::unique_ptr<ProgressWindow> CreateProgressWindow(WindowHandle owner, const char* messageText,
                                                       bool abortEnabled, int* abortFlag) override {
    return platform::CreateProgressWindow(owner, messageText, abortEnabled, abortFlag);
  }
};

PlatformUserInterface g_platform;
UserInterface* g_installed = nullptr;

}  // namespace

UserInterface& CurrentUserInterface() { return g_installed != nullptr ? *g_installed : g_platform; }

void SetUserInterface(UserInterface* ui) { g_installed = ui; }

}  // namespace x9
