#pragma once
// Integers typed into edit fields.

#include <string_view>

namespace orv {

// Reads a whole decimal integer: optional blanks, an optional '+' or '-',
// digits, optional blanks; it must fit in 32 bits. Anything else throws
// OutputError "'<text>' is not a valid integer value".
int parse_integer_text(std::string_view text);

} // namespace orv
