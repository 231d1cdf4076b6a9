#include "viewer/legend/real_text.h"

#include <charconv>
#include <cstddef>

namespace orv {

namespace {

bool is_blank(char c) {
    return c == ' ' || c == '\t';
}
bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

} // namespace

InvalidReal::InvalidReal(std::string_view text)
    : std::runtime_error("'" + std::string(text) + "' is not a valid floating point value"), text_(text) {}

double parse_real_text(std::string_view text) {
    std::string_view t = text;
    while (!t.empty() && is_blank(t.front()))
        t.remove_prefix(1);
    while (!t.empty() && is_blank(t.back()))
        t.remove_suffix(1);

    // Check the grammar ourselves: from_chars would also take "inf", "nan"
    // and, with a '+', nothing at all.
    std::size_t i = 0;
    bool negative = false;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) negative = t[i++] == '-';
    const std::size_t number_start = i;
    std::size_t digits = 0;
    while (i < t.size() && is_digit(t[i]))
        ++i, ++digits;
    if (i < t.size() && t[i] == '.') {
        ++i;
        while (i < t.size() && is_digit(t[i]))
            ++i, ++digits;
    }
    if (digits == 0) throw InvalidReal(text);
    const std::size_t mantissa_end = i;
    bool negative_exponent = false;
    if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
        ++i;
        if (i < t.size() && (t[i] == '+' || t[i] == '-')) negative_exponent = t[i++] == '-';
        std::size_t exponent_digits = 0;
        while (i < t.size() && is_digit(t[i]))
            ++i, ++exponent_digits;
        if (exponent_digits == 0) throw InvalidReal(text);
    }
    if (i != t.size()) throw InvalidReal(text);

    double value = 0;
    const char* first = t.data() + number_start;
    const char* last = t.data() + t.size();
    const auto [end, ec] = std::from_chars(first, last, value, std::chars_format::general);
    if (ec == std::errc::result_out_of_range) {
        // Out of range either way: a mantissa that is not zero with a large
        // exponent overflows (rejected), with a negative one it underflows.
        double mantissa = 0;
        std::from_chars(first, t.data() + mantissa_end, mantissa, std::chars_format::fixed);
        if (!negative_exponent && mantissa != 0) throw InvalidReal(text);
        value = 0;
    } else if (ec != std::errc() || end != last) {
        throw InvalidReal(text);
    }
    return negative ? -value : value;
}

} // namespace orv
