#ifndef TORVA_INPUT_INPUT_ERROR_H
#define TORVA_INPUT_INPUT_ERROR_H

#include <stdexcept>
#include <string>

// An input file that cannot be read on: the reader stops and the caller decides
// how the run ends. what() is the message for the user, ending in a line feed.
class InputError : public std::runtime_error {
 public:
  explicit InputError(const std::string& message) : std::runtime_error(message) {}
};

#endif
