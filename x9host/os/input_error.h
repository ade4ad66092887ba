// Bad input of any kind (arguments, files, names) ends the program with one line and status 2.
#pragma once

#include <stdexcept>
#include <string>

namespace x9host {

class InputError : public std::runtime_error {
 public:
  explicit InputError(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace x9host
