#include "viewer/view/number_text.h"

#include <charconv>

namespace orv {

std::string shortest_text(double value) {
    // A zero of either sign reads "0": a negative factor with the slider at
    // 0 gives -0, which is no number a user would write.
    if (value == 0) value = 0;
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, 15);
    return std::string(buf, r.ptr);
}

} // namespace orv
