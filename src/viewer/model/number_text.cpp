#include "viewer/model/number_text.h"

#include <charconv>
#include <cmath>
#include <cstddef>
#include <string>

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
    // A comma is the decimal separator when the text holds no dot ("1,5" =
    // 1.5): read a copy with the comma as a dot. A second comma stays and is
    // rejected by the grammar below, as is a comma beside a dot.
    std::string with_dot;
    if (text.find('.') == std::string_view::npos) {
        if (const std::size_t comma = text.find(','); comma != std::string_view::npos) {
            with_dot = text;
            with_dot[comma] = '.';
        }
    }
    std::string_view t = with_dot.empty() ? text : std::string_view(with_dot);
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

std::string shortest_text(double value) {
    // A zero of either sign reads "0": a negative factor with the slider at
    // 0 gives -0, which is no number a user would write.
    if (value == 0) value = 0;
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, 15);
    return std::string(buf, r.ptr);
}

std::string value_text(double value) {
    return std::isnan(value) ? "sem valor" : shortest_text(value);
}

InvalidInteger::InvalidInteger(std::string_view text)
    : std::runtime_error("'" + std::string(text) + "' is not a valid integer value") {}

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
    if (t.empty() || ec != std::errc() || end != t.data() + t.size()) throw InvalidInteger(text);
    return value;
}

} // namespace orv
