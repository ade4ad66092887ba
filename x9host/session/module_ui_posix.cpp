// POSIX side of ModuleUi. The module's terminal interface uses the C library's stderr and stdin,
// which the module shares with x9host (glibc documents both as assignable variables). For the
// request they name streams of x9host's: every byte the module writes reaches ModuleConsole
// (console_posix.h) at once, on the module's own thread, and every answer it reads comes from
// here. File descriptors 0 and 2 stay as they are, so the module's isatty checks see what the
// person has.
#include <stdio.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "session/console_posix.h"
#include "session/module_ui.h"

namespace x9host {

struct ModuleUi::Impl {
  Impl(bool answerYes, bool gloss)
      : console([this](std::string_view text) { Show(text); }, isatty(STDERR_FILENO) != 0,
                isatty(STDIN_FILENO) != 0, gloss),
        answerYes(answerYes) {}

  void Show(std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), realError);
    std::fflush(realError);
  }

  static ssize_t WriteError(void* cookie, const char* bytes, size_t size) {
    static_cast<Impl*>(cookie)->console.Write(std::string_view(bytes, size));
    return static_cast<ssize_t>(size);
  }

  // One line per call: the module reads one line per question.
  static ssize_t ReadInput(void* cookie, char* buffer, size_t size) {
    auto* self = static_cast<Impl*>(cookie);
    if (self->unread.empty()) {
      std::optional<std::string> line;
      if (self->answerYes) {
        line = "y\n";
      } else {
        char* text = nullptr;
        size_t capacity = 0;
        const ssize_t length = getline(&text, &capacity, self->realInput);
        if (length > 0) line = std::string(text, static_cast<size_t>(length));
        std::free(text);
      }
      self->console.Answered(line, self->answerYes);
      if (!line) return 0;
      self->unread = LineForModule(*line);  // a Japanese Yes in the module's words
    }
    const size_t given = self->unread.size() < size ? self->unread.size() : size;
    self->unread.copy(buffer, given);
    self->unread.erase(0, given);
    return static_cast<ssize_t>(given);
  }

  ModuleConsole console;
  bool answerYes;
  std::string unread;
  FILE* realError = stderr;
  FILE* realInput = stdin;
  FILE* error = nullptr;
  FILE* input = nullptr;
};

ModuleUi::ModuleUi(bool answerYes, bool gloss) : impl_(std::make_unique<Impl>(answerYes, gloss)) {
  std::fflush(stdout);
  std::fflush(stderr);
  impl_->error = fopencookie(impl_.get(), "w",
                             cookie_io_functions_t{nullptr, Impl::WriteError, nullptr, nullptr});
  impl_->input = fopencookie(impl_.get(), "r",
                             cookie_io_functions_t{Impl::ReadInput, nullptr, nullptr, nullptr});
  if (impl_->error == nullptr || impl_->input == nullptr)
    return;  // the module then writes as usual
  // Unbuffered: each of the module's writes arrives whole and at once, as on the terminal.
  setvbuf(impl_->error, nullptr, _IONBF, 0);
  stderr = impl_->error;
  stdin = impl_->input;
}

ModuleUi::~ModuleUi() {
  if (impl_->error != nullptr) std::fflush(impl_->error);
  stderr = impl_->realError;
  stdin = impl_->realInput;
  impl_->console.Finish();
  if (impl_->error != nullptr) std::fclose(impl_->error);
  if (impl_->input != nullptr) std::fclose(impl_->input);
}

std::vector<ShownBox> ModuleUi::Boxes() const { return impl_->console.Boxes(); }

}  // namespace x9host
