#include "viewer/output/integer_text.h"

#include "viewer/output/output_error.h"

#include <charconv>
#include <string>

namespace orv {

namespace {
bool is_blank(char c) {
    return c == ' ' || c == '\t';
}
} // namespace

int parse_integer_text(std::string_view text) {
    std::string_view t = text;
    while (!t.empty() && is_blank(t.front()))
        t.remove_prefix(1);
    while (!t.empty() && is_blank(t.back()))
        t.remove_suffix(1);
    // from_chars takes '-' but not '+'; a '+' followed by another sign is not a number.
    if (t.size() > 1 && t.front() == '+' && t[1] != '-' && t[1] != '+') t.remove_prefix(1);
    int value = 0;
    const auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), value);
    if (t.empty() || ec != std::errc() || end != t.data() + t.size())
        throw OutputError("'" + std::string(text) + "' is not a valid integer value");
    return value;
}

} // namespace orv
