// The one door to message boxes: catalogue texts by number, composed texts as they are.
#pragma once

#include "ui/catalogue.h"

namespace x9 {

// Shows the catalogue text of id in a box owned by the host's transfer-list window.
int ShowMessage(MessageId id, unsigned style);

// Shows a text of the caller's own (Shift-JIS) the same way.
int ShowText(const char* text, unsigned style);

}  // namespace x9
