#include "ui/progress_dialog.h"

#include "host/tpi.h"

namespace x9 {

ProgressDialog::ProgressDialog(const char* text, int enabled, WindowHandle owner)
    : abortEnabled(enabled), messageText(text), owner_(owner) {}

ProgressDialog::~ProgressDialog() = default;

bool ProgressDialog::Create() {
  window_ = CurrentUserInterface().CreateProgressWindow(owner_, messageText, abortEnabled != 0,
                                                        &abortRequested);
  return window_ != nullptr;
}

void ProgressDialog::SetProgress(int percent) {
  if (percent > 100) percent = 100;
  if (window_) window_->SetBarPosition(percent);
}

int ProgressDialog::Pump() { return TPI_Pump(); }

}  // namespace x9
