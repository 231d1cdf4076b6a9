#pragma once
// Texts of the legend's value labels.
//
// Fixed ("%.5F"): a minus sign for negative values, at least one digit before
// the ".", exactly five after it, no thousands separators: 2.5 -> 2.50000.
// Scientific ("%.5e"): five significant digits as d.dddd, an upper-case E,
// the exponent's sign always written and at least three exponent digits:
// 0.00123456 -> 1.2346E-003, 0 -> 0.0000E+000, -0.5 -> -5.0000E-001.
//
// Values are rounded to the nearest text from their exact binary value, a
// value exactly half-way going away from zero (0.015625 -> 0.01563). A value
// that rounds to zero is written without a sign. The separator is always ".",
// whatever the locale. Infinities and NaN are written "INF", "-INF", "NAN".

#include <string>

namespace orv {

std::string fixed5_text(long double value);
std::string scientific5_text(long double value);

// The label of a value: scientific when "Notação Científica" is checked.
inline std::string legend_value_text(long double value, bool scientific) {
    return scientific ? scientific5_text(value) : fixed5_text(value);
}

} // namespace orv
