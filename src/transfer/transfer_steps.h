// Pieces every transfer shares: its progress window and the step arithmetic.
#pragma once

#include <cstdint>
#include <memory>

#include "host/tpi.h"
#include "platform/platform.h"
#include "ui/messages.h"
#include "ui/progress_dialog.h"

namespace x9 {

// How long a transfer lets the watch settle after opening its window, and how it waits; tests
// may shorten the one and watch the other.
inline unsigned g_settleMilliseconds = 100;
inline void (*g_settlePause)(unsigned milliseconds) = &platform::PauseMilliseconds;

// Creates the transfer's progress window over the host's transfer list, sets the bar to 0 and
// gives the watch its 100 ms to settle.
inline std::unique_ptr<ProgressDialog> OpenProgress(MessageId message) {
  auto dialog = std::make_unique<ProgressDialog>(MessageText(message), 1, TPI_GetGarminUplist());
  // Hosts have always been asked for the transfer-list window a second time as the window is
  // made; the question stays so that a host sees the calls it always saw, and its answer is not
  // needed: the dialog keeps the owner it was made with.
  TPI_GetGarminUplist();
  dialog->Create();
  dialog->SetProgress(0);
  g_settlePause(g_settleMilliseconds);
  return dialog;
}

// index * span / count + base in 64 bits, so no count can overflow it.
inline int StepPercent(int64_t index, int64_t span, int64_t count, int base = 0) {
  return static_cast<int>(index * span / count + base);
}

// After each step: let the host handle its messages, then look at the Abort button.
inline bool PumpAndCheckAbort(ProgressDialog& dialog) {
  dialog.Pump();
  return dialog.abortRequested != 0;
}

}  // namespace x9
