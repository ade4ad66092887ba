// What the module shows a person during a request, seen by x9host: every message box with its
// text and the answer it got. While a ModuleUi exists, the module's boxes are watched (and,
// with answerYes, answered Yes or OK), and each of the module's texts is followed by its
// English unless the reader reads Japanese.
//
// POSIX: the module's terminal interface writes to stderr and reads stdin through the C
// library, which the module shares with x9host; both streams are replaced for the request by
// streams of x9host's (file descriptors 0 and 2 stay as they are, so the module still sees a
// terminal where there is one). Windows: a WH_CBT hook sees the real boxes.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ui/catalogue.h"

namespace x9host {

enum class Answer {
  kNone,  // not answered (yet)
  kOk,    // a box with only OK, closed
  kYes,
  kNo,
  kNoAnswer,  // a question met the end of standard input
};

struct ShownBox {
  std::string text;                      // UTF-8
  std::optional<x9::MessageId> message;  // which of the module's texts, when known
  bool question = false;
  Answer answer = Answer::kNone;
};

class ModuleUi {
 public:
  ModuleUi(bool answerYes, bool gloss);
  ~ModuleUi();  // puts everything back
  ModuleUi(const ModuleUi&) = delete;
  ModuleUi& operator=(const ModuleUi&) = delete;

  std::vector<ShownBox> Boxes() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace x9host
