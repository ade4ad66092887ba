// Windows side of ModuleUi: the module's boxes are real ones. The shared message-box watch sees
// each as it opens (x9host then shows its text and English on the console) and learns the
// button that closed it, whether x9host pressed it (--yes) or a person did.
#include <cstdio>
#include <string>

#include "os/messages.h"
#include "os/os.h"
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

std::string ButtonName(int button) {
  switch (button) {
    case kAnswerYes: return msg::ButtonYes();
    case kAnswerNo: return msg::ButtonNo();
    case kAnswerOk: return msg::ButtonOk();
    case IDCANCEL: return msg::ButtonCancel();
    default: return "?";
  }
}

}  // namespace

struct ModuleUi::Impl {
  Impl(bool answerYes, bool gloss)
      : watch(
            [answerYes, gloss](const MessageBoxSeen& box) {
              const std::string text = Utf8FromWide(box.text);
              // Through os::Print, which the console shows in Japanese too.
              os::Print(stderr, msg::BoxShown(text) + "\n");
              const std::optional<x9::MessageId> message = MessageOf(text);
              if (gloss && message)
                os::Print(stderr, std::string("  ") + EnglishText(*message) + "\n");
              std::fflush(stderr);
              if (!answerYes) return 0;  // a person answers
              return MessageBoxHasButton(box.window, kAnswerYes)  ? kAnswerYes
                     : MessageBoxHasButton(box.window, kAnswerOk) ? kAnswerOk
                                                                  : 0;
            },
            [](const MessageBoxSeen& box) {
              os::Print(stderr, msg::BoxAnswered(ButtonName(box.pressed)) + "\n");
              std::fflush(stderr);
            }) {}

  MessageBoxWatch watch;
};

ModuleUi::ModuleUi(bool answerYes, bool gloss) : impl_(std::make_unique<Impl>(answerYes, gloss)) {
  if (!impl_->watch.Installed()) {
    const std::string line =
        msg::BoxesNotWatched(static_cast<unsigned long>(impl_->watch.InstallError()));
    os::Print(stderr, "x9host: " + line + "\n");  // not a message: the program's name begins it
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
