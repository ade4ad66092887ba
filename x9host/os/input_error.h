// Bad input of any kind (arguments, files, names) ends the program with one line and status 2:
// one line whatever the names in it hold.
#pragma once

#include <stdexcept>
#include <string>

#include "os/message_text.h"

namespace x9host {

class InputError : public std::runtime_error {
 public:
  explicit InputError(const std::string& message) : std::runtime_error(os::OneLine(message)) {}
};

}  // namespace x9host
