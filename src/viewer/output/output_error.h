#pragma once
// Errors of the output subsystem. what() is the text shown to the user in the
// toolkit's error box, exactly as it should read.

#include <stdexcept>

namespace orv {

class OutputError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

} // namespace orv
