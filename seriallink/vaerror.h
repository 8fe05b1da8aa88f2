// EVaCommError: the one exception of the serial port component, with a
// fixed English message.
#pragma once

#include <stdexcept>
#include <string>

class EVaCommError : public std::runtime_error {
public:
  explicit EVaCommError(const std::string& Message) : std::runtime_error(Message) {}
};
