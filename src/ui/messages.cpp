#include "ui/messages.h"

#include "host/tpi.h"
#include "ui/user_interface.h"

namespace x9 {

int ShowText(const char* text, unsigned style) {
  return CurrentUserInterface().ShowMessageBox(TPI_GetGarminUplist(), text, style);
}

int ShowMessage(MessageId id, unsigned style) { return ShowText(MessageText(id), style); }

}  // namespace x9
