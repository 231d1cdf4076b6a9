#pragma once
// Numbers written into labels and the status bar: the shortest decimal form
// with at most 15 significant digits, no trailing zeros, "." as the decimal
// point whatever the locale (std::to_chars ignores the locale).

#include <string>

namespace orv {

std::string shortest_text(double value);

} // namespace orv
