// POSIX only: the platform layer's message boxes and progress window, as a terminal shows them:
// boxes on stderr, questions answered on stdin, the progress window as a one-line bar with
// Ctrl-C as its Abort button. Libraries are in library_posix.cpp, pause and zone values in
// time_posix.cpp.

#include <iconv.h>
#include <signal.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/message_box.h"
#include "platform/platform.h"
#include "platform/terminal_protocol.h"

namespace x9::platform {

namespace {

void* g_instance = nullptr;

// Code page 932 to UTF-8 for the terminal; bytes that do not convert show as '?'.
std::string ToUtf8(const char* text) {
  std::string out;
  iconv_t cd = iconv_open("UTF-8", "CP932");
  if (cd == reinterpret_cast<iconv_t>(-1)) return text;
  const size_t length = std::strlen(text);
  char* in = const_cast<char*>(text);
  size_t inLeft = length;
  std::string buffer(length * 3 + 4, '\0');
  while (inLeft > 0) {
    char* outPtr = buffer.data();
    size_t outLeft = buffer.size();
    const size_t r = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
    out.append(buffer.data(), buffer.size() - outLeft);
    if (r == static_cast<size_t>(-1) && errno != E2BIG) {
      out.push_back('?');
      ++in;
      --inLeft;
    }
  }
  iconv_close(cd);
  return out;
}

volatile sig_atomic_t* g_abortTarget = nullptr;

extern "C" void OnInterrupt(int) {
  if (g_abortTarget != nullptr) *g_abortTarget = 1;
}

class TerminalProgressWindow final : public ProgressWindow {
 public:
  TerminalProgressWindow(const char* messageText, bool abortEnabled, int* abortFlag)
      : message_(ToUtf8(messageText)), interactive_(isatty(STDERR_FILENO) != 0) {
    static_assert(sizeof(sig_atomic_t) == sizeof(int), "the abort flag is a plain int");
    if (abortEnabled) {
      g_abortTarget = reinterpret_cast<volatile sig_atomic_t*>(abortFlag);
      struct sigaction action {};
      action.sa_handler = OnInterrupt;
      sigemptyset(&action.sa_mask);
      sigaction(SIGINT, &action, &previous_);
      installed_ = true;
    }
    Draw(0);
  }

  ~TerminalProgressWindow() override {
    if (installed_) {
      sigaction(SIGINT, &previous_, nullptr);
      g_abortTarget = nullptr;
    }
    std::fprintf(stderr, "\n");
  }

  void SetBarPosition(int position) override { Draw(position); }

 private:
  void Draw(int position) {
    if (position == drawn_) return;
    drawn_ = position;
    if (interactive_) {
      std::fprintf(stderr, "%c%s", terminal::kBarRedraw,
                   terminal::BarText(message_, position).c_str());
    } else if (position == 0 || position == 100 || position / 25 != lastQuarter_) {
      // A pipe gets a few lines, not a redrawn one.
      std::fprintf(stderr, "%s\n", terminal::BarText(message_, position).c_str());
      lastQuarter_ = position / 25;
    }
    std::fflush(stderr);
  }

  std::string message_;
  bool interactive_;
  bool installed_ = false;
  struct sigaction previous_ {};
  int drawn_ = -1000;
  int lastQuarter_ = -1;
};

}  // namespace

int ShowMessageBox(WindowHandle, const char* text, unsigned style) {
  const std::string_view label = terminal::StyleLabel(style);
  std::fprintf(stderr, "%.*s %s\n", static_cast<int>(label.size()), label.data(),
               ToUtf8(text).c_str());
  if (!IsYesNoQuestion(style)) return kAnswerOk;
  std::fprintf(stderr, "%.*s", static_cast<int>(terminal::kPrompt.size()),
               terminal::kPrompt.data());
  std::fflush(stderr);
  // The whole line, however long: what does not fit one read must not answer the next question.
  std::string answer;
  char chunk[64];
  while (std::fgets(chunk, sizeof chunk, stdin) != nullptr) {
    answer += chunk;
    if (!answer.empty() && answer.back() == '\n') break;
  }
  while (!answer.empty() && (answer.back() == '\n' || answer.back() == '\r'))
    answer.pop_back();
  // A terminal echoes what was typed; answers from a pipe are shown so the log reads right.
  if (isatty(STDIN_FILENO) == 0) std::fprintf(stderr, "%s\n", answer.c_str());
  return terminal::IsYes(answer) ? kAnswerYes : kAnswerNo;
}

std::unique_ptr<ProgressWindow> CreateProgressWindow(WindowHandle, const char* messageText,
                                                     bool abortEnabled, int* abortFlag) {
  return std::make_unique<TerminalProgressWindow>(messageText, abortEnabled, abortFlag);
}

void SetModuleInstance(void* instance) { g_instance = instance; }
void* ModuleInstance() { return g_instance; }

}  // namespace x9::platform
