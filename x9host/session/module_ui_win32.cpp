// Windows side of ModuleUi: the module's boxes are real ones. The shared message-box watch sees
// each as it opens (x9host then shows its text and English on the console) and learns the
// button that closed it, whether x9host pressed it (--yes) or a person did.
#include <cstdio>

#include "platform/message_box.h"
#include "platform/win32/message_box_watch.h"
#include "platform/win32/win32_text.h"
#include "platform/win32/windows_support.h"
#include "session/glossary.h"
#include "session/module_ui.h"

namespace x9host {
namespace {

using x9::platform::IsYesNoQuestion;
using x9::platform::kAnswerNo;
using x9::platform::kAnswerOk;
using x9::platform::kAnswerYes;
using x9::platform::win32::MessageBoxHasButton;
using x9::platform::win32::MessageBoxSeen;
using x9::platform::win32::MessageBoxWatch;
using x9::platform::win32::Utf8FromWide;

const char* ButtonName(int button) {
  switch (button) {
    case kAnswerYes: return "Yes";
    case kAnswerNo: return "No";
    case kAnswerOk: return "OK";
    case IDCANCEL: return "Cancel";
    default: return "?";
  }
}

}  // namespace

struct ModuleUi::Impl {
  Impl(bool answerYes, bool gloss)
      : watch(
            [answerYes, gloss](const MessageBoxSeen& box) {
              const std::string text = Utf8FromWide(box.text);
              std::fprintf(stderr, "[message box] %s\n", text.c_str());
              const std::optional<x9::MessageId> message = MessageOf(text);
              if (gloss && message) std::fprintf(stderr, "  %s\n", EnglishText(*message));
              std::fflush(stderr);
              if (!answerYes) return 0;  // a person answers
              return MessageBoxHasButton(box.window, kAnswerYes)  ? kAnswerYes
                     : MessageBoxHasButton(box.window, kAnswerOk) ? kAnswerOk
                                                                  : 0;
            },
            [](const MessageBoxSeen& box) {
              std::fprintf(stderr, "(answered %s)\n", ButtonName(box.pressed));
              std::fflush(stderr);
            }) {}

  MessageBoxWatch watch;
};

ModuleUi::ModuleUi(bool answerYes, bool gloss) : impl_(std::make_unique<Impl>(answerYes, gloss)) {
  if (!impl_->watch.Installed()) {
    std::fprintf(stderr, "x9host: the module's message boxes cannot be watched (error %lu)\n",
                 static_cast<unsigned long>(impl_->watch.InstallError()));
  }
}

ModuleUi::~ModuleUi() = default;

std::vector<ShownBox> ModuleUi::Boxes() const {
  std::vector<ShownBox> boxes;
  for (const MessageBoxSeen& seen : impl_->watch.Boxes()) {
    ShownBox& box = boxes.emplace_back();
    box.text = Utf8FromWide(seen.text);
    box.message = MessageOf(box.text);
    box.question = IsYesNoQuestion(seen.buttons);
    box.answer = seen.pressed == kAnswerYes  ? Answer::kYes
                 : seen.pressed == kAnswerNo ? Answer::kNo
                 : seen.pressed == kAnswerOk ? Answer::kOk
                                             : Answer::kNone;
  }
  return boxes;
}

}  // namespace x9host
