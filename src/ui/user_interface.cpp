#include "ui/user_interface.h"

#include "platform/platform.h"

namespace x9 {
namespace {
UserInterface* g_installed = nullptr;
}  // namespace

UserInterface& CurrentUserInterface() {
  return g_installed != nullptr ? *g_installed : platform::NativeUserInterface();
}

void SetUserInterface(UserInterface* ui) { g_installed = ui; }

}  // namespace x9
