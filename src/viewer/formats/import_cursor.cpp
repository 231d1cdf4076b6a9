#include "viewer/formats/import_cursor.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <limits>

namespace orv::import {
std::size_t Cursor::line_of(const char* at) const {
    at = std::clamp(at, begin_, end_);
    return 1 + static_cast<std::size_t>(std::count(begin_, at, '\n'));
}

std::string Cursor::where(const char* at) const {
    return "at line " + std::to_string(line_of(at)) + " of " + name_;
}

std::string Cursor::where_byte(const char* at) const {
    at = std::clamp(at, begin_, end_);
    return "at byte " + std::to_string(at - begin_) + " of " + name_;
}

void Cursor::fail(const char* at, const std::string& what) const {
    throw ReadError("Invalid input " + where(at) + ": " + what);
}

void Cursor::fail_binary(const char* at, const std::string& what) const {
    throw ReadError("Invalid input " + where_byte(at) + ": " + what);
}

bool parse_integer_text(std::string_view s, std::int64_t& out) {
    if (!s.empty() && s[0] == '+') s.remove_prefix(1);
    const auto r = std::from_chars(s.data(), s.data() + s.size(), out);
    return r.ec == std::errc() && r.ptr == s.data() + s.size() && !s.empty();
}

bool parse_real_text(std::string_view s, double& out) {
    if (!s.empty() && s[0] == '+') s.remove_prefix(1);
    if (s.empty()) return false;
    const char* e = s.data() + s.size();
    auto r = std::from_chars(s.data(), e, out, std::chars_format::general);
    if (r.ec == std::errc::result_out_of_range) {
        // Underflow (a negative exponent) reads as 0; overflow is refused.
        const auto exp = s.find_first_of("eE");
        if (exp == std::string_view::npos || exp + 1 >= s.size() || s[exp + 1] != '-') return false;
        out = 0;
        return true;
    }
    if (r.ec != std::errc()) return false;
    if (r.ptr != e) {
        // Fortran drops the 'E' of a three-digit exponent: 1.23456-100.
        if (*r.ptr != '-' && *r.ptr != '+') return false;
        std::int64_t exp = 0;
        if (!std::isfinite(out) || !parse_integer({r.ptr, static_cast<std::size_t>(e - r.ptr)}, exp) ||
            exp < -400 || exp > 400)
            return false;
        out *= std::pow(10.0, static_cast<double>(exp));
        return std::isfinite(out); // overflow is refused, as above
    }
    if (!std::isfinite(out)) out = std::numeric_limits<double>::quiet_NaN(); // "nan", "inf", "-Infinity"
    return true;
}

std::int64_t Cursor::integer(const char* what) {
    const std::string_view t = token();
    if (t.empty()) throw EndOfInput{p_, what};
    std::int64_t v = 0;
    if (!parse_integer(t, v))
        fail(t.data(), std::string("expected ") + what + ", found \"" + std::string(t.substr(0, 40)) + "\"");
    return v;
}

double Cursor::real(const char* what) {
    const std::string_view t = token();
    if (t.empty()) throw EndOfInput{p_, what};
    double v = 0;
    if (!parse_real(t, v) || std::isnan(v))
        fail(t.data(), std::string("expected ") + what + ", found \"" + std::string(t.substr(0, 40)) + "\"");
    return v;
}

double Cursor::value(const char* what) {
    const std::string_view t = token();
    if (t.empty()) throw EndOfInput{p_, what};
    double v = 0;
    if (!parse_real(t, v))
        fail(t.data(), std::string("expected ") + what + ", found \"" + std::string(t.substr(0, 40)) + "\"");
    return v;
}

} // namespace orv::import
