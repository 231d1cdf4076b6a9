#pragma once
// Numbers as the user types them into edit fields and as labels and the
// status bar write them, the same whatever the user's locale: "." is the only
// decimal separator. The messages of the errors are shown to the user as they
// read.

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace orv {

// Numbers written into labels and the status bar: the shortest decimal form
// with at most 15 significant digits, no trailing zeros, "." as the decimal
// point (std::to_chars ignores the locale). A zero of either sign reads "0".
std::string shortest_text(double value);

// A result value as the probe shows it: shortest_text(), or "sem valor" for
// a node without a value (NaN, read from a non-finite number of an imported
// file).
std::string value_text(double value);

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
// (e or E, optional sign, digits), optional blanks. The decimal separator is
// "." or, in a text that holds no ".", one "," ("1,5" = 1.5). Infinity, NaN, hexadecimal forms, thousands
// separators and values too large for a double are rejected with InvalidReal; a value too small for a double
// reads as zero of its sign.
double parse_real_text(std::string_view text);

// A text that is not a 32-bit integer; what() is the message shown to the
// user: "'<text>' is not a valid integer value".
class InvalidInteger : public std::runtime_error {
  public:
    explicit InvalidInteger(std::string_view text);
};

// Reads a whole decimal integer: optional blanks, an optional '+' or '-',
// digits, optional blanks; it must fit in 32 bits. Anything else throws
// InvalidInteger.
int parse_integer_text(std::string_view text);

// A real as the user typed it, read when it is needed; or a number given
// directly (batch runs). read() of a text that is not a number throws
// InvalidReal, the message of parse_real_text.
struct RealField {
    std::optional<double> number;
    std::string text;

    static RealField of(double value) { return {value, {}}; }
    static RealField typed(std::string text) { return {std::nullopt, std::move(text)}; }
    double read() const { return number ? *number : parse_real_text(text); }
};

} // namespace orv
