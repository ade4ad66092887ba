// The host's own window and message loop, the part of the host simulator that differs between
// Windows and POSIX.
#pragma once

namespace x9sim {

// The transfer-list window, created on first use (Windows), or a fixed non-null value standing
// in for it (POSIX). Null only if Windows refuses to create the window.
void* TransferListWindow();

// Handles every queued message of the calling thread, as the host's own loop would.
void PumpHostMessages();

}  // namespace x9sim
