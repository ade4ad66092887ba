// The progress window a transfer shows while it works. The state lives here; the platform's
// window only displays it, and its Abort button only sets abortRequested.
#pragma once

#include <memory>

#include "ui/user_interface.h"

namespace x9 {

class ProgressDialog {
 public:
  ProgressDialog(const char* messageText, int abortEnabled, WindowHandle owner);
  ~ProgressDialog();  // destroys the window
  ProgressDialog(const ProgressDialog&) = delete;
  ProgressDialog& operator=(const ProgressDialog&) = delete;

  // Creates the modeless window from the template, owned by the owner the dialog was made with.
  // A transfer does not test the outcome: without a window it still pumps and still honours
  // Abort (there is none).
  bool Create();

  // Values above 100 show as 100; anything smaller, negative included, is sent unchanged.
  void SetProgress(int percent);

  // Lets the host (and this window) handle pending messages; returns TPI_Pump's result.
  int Pump();

  int abortEnabled;
  const char* messageText;
  int abortRequested = 0;  // set to 1 by the Abort button; never reset

 private:
  WindowHandle owner_;
  std::unique_ptr<ProgressWindow> window_;
};

}  // namespace x9
