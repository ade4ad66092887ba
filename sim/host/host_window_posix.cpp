// POSIX only: there is no window system, so the window is a marker and there is nothing to pump.
#include "host_window.h"

namespace x9sim {

void* TransferListWindow() {
  static char marker;
  return &marker;
}

void PumpHostMessages() {}

}  // namespace x9sim
