#include "viewer/view/number_text.h"

#include <charconv>

namespace orv {

std::string shortest_text(double value) {
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, 15);
    return std::string(buf, r.ptr);
}

} // namespace orv
