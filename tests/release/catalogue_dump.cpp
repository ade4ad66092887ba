// Prints every text the module can show, as the bytes it holds (code page 932) in hex, one per
// line: the catalogue's number or "too-old-host", a tab, the bytes. tools/messages.py compares
// them with the message table the user documentation is made from.
#include <cstdio>

#include "ui/catalogue.h"

namespace {

void Print(const char* key, const char* text) {
  std::printf("%s\t", key);
  for (const char* c = text; *c != '\0'; ++c)
    std::printf("%02x", static_cast<unsigned char>(*c));
  std::printf("\n");
}

}  // namespace

int main() {
  char key[16];
  for (x9::MessageId id = 0; id < x9::kMessageCount; ++id) {
    std::snprintf(key, sizeof key, "%u", static_cast<unsigned>(id));
    Print(key, x9::MessageText(id));
  }
  Print("too-old-host", x9::kTooOldHostText);
  return 0;
}
