#pragma once
// Reals typed into the edit fields of the control panel (clip plane, legend
// limits, displacement factor), read the same way whatever the user's locale.

#include <stdexcept>
#include <string>
#include <string_view>

namespace orv {

// A text that is not a real number; what() is the message shown to the user:
// "'<text>' is not a valid floating point value".
class InvalidReal : public std::runtime_error {
  public:
    explicit InvalidReal(std::string_view text);
    const std::string& text() const { return text_; }

  private:
    std::string text_;
};

// Reads a whole real: optional blanks, an optional sign, digits with an
// optional "." (digits on at least one side of it), an optional exponent
// (e or E, optional sign, digits), optional blanks. "." is the only decimal
// separator. Infinity, NaN, hexadecimal forms, thousands separators and
// values too large for a double are rejected with InvalidReal; a value too
// small for a double reads as zero of its sign.
double parse_real_text(std::string_view text);

} // namespace orv
