#include "support/scripted_ui.h"

namespace x9test {
namespace {

class ScriptedWindow final : public x9::ProgressWindow {
 public:
  ScriptedWindow(ScriptedUi& ui, size_t index) : ui_(ui), index_(index) {}
  ~ScriptedWindow() override {
    ui_.windows[index_].destroyed = true;
    if (ui_.events != nullptr)
      ui_.events->push_back("window " + std::to_string(index_ + 1) + " destroyed");
  }
  void SetBarPosition(int position) override { ui_.windows[index_].positions.push_back(position); }

 private:
  ScriptedUi& ui_;
  size_t index_;
};

}  // namespace

int ScriptedUi::ShowMessageBox(x9::WindowHandle owner, const char* text, unsigned style) {
  owners.push_back(owner);
  boxes.push_back(ShownBox{text, style, OpenWindows() > 0});
  if (!x9::platform::IsYesNoQuestion(style)) return x9::kAnswerOk;
  if (answers.empty()) return defaultAnswer;
  const int answer = answers.front();
  answers.pop_front();
  return answer;
}

std::unique_ptr<x9::ProgressWindow> ScriptedUi::CreateProgressWindow(x9::WindowHandle owner,
                                                                     const char* messageText,
                                                                     bool abortEnabled,
                                                                     int* abortFlag) {
  owners.push_back(owner);
  if (failWindowCreation) return nullptr;
  ShownProgress shown;
  shown.message = messageText;
  shown.abortEnabled = abortEnabled;
  shown.abortFlag = abortFlag;
  windows.push_back(shown);
  return std::make_unique<ScriptedWindow>(*this, windows.size() - 1);
}

void ScriptedUi::PressAbort() {
  for (auto it = windows.rbegin(); it != windows.rend(); ++it) {
    if (!it->destroyed && it->abortEnabled) {
      *it->abortFlag = 1;
      return;
    }
  }
}

int ScriptedUi::OpenWindows() const {
  int open = 0;
  for (const auto& w : windows)
    open += w.destroyed ? 0 : 1;
  return open;
}

std::vector<std::string> BoxTexts(const ScriptedUi& ui) {
  std::vector<std::string> texts;
  for (const auto& box : ui.boxes)
    texts.push_back(box.text);
  return texts;
}

}  // namespace x9test
