// Rounding is done on the exact decimal expansion of the value: to_chars in
// fixed notation with as many fraction digits as the binary value has
// (at most 64 minus its binary exponent) prints it exactly, and the digits
// are then cut and rounded here, half away from zero.

#include "viewer/legend/legend_format.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <vector>

namespace orv {

namespace {

// |value| as its exact decimal digits: value = 0.d1 d2 d3 ... x 10^point,
// with no leading zeros (d1 != 0). Empty digits for zero.
struct ExactDecimal {
    std::string digits;
    int point = 0;
};

ExactDecimal exact_decimal(long double value) {
    ExactDecimal d;
    const long double a = std::fabs(value);
    if (a == 0) return d;
    int exponent = 0;
    std::frexp(a, &exponent); // a = f * 2^exponent, 0.5 <= f < 1
    // A long double holds at most 64 significant bits, so 2^(64 - exponent)
    // times it is an integer: that many fraction digits are exact.
    const int fraction_digits = std::max(0, 64 - exponent);
    const int integer_digits = std::max(1, exponent / 3 + 2); // 2^e < 10^(e/3.32 + 1)
    std::vector<char> buf(static_cast<std::size_t>(integer_digits + fraction_digits + 8));
    const auto r =
        std::to_chars(buf.data(), buf.data() + buf.size(), a, std::chars_format::fixed, fraction_digits);
    const std::string_view text(buf.data(), static_cast<std::size_t>(r.ptr - buf.data()));
    const std::size_t dot = text.find('.');
    const std::string_view int_part = text.substr(0, dot);
    const std::string_view frac_part =
        dot == std::string_view::npos ? std::string_view() : text.substr(dot + 1);
    std::string all = std::string(int_part) + std::string(frac_part);
    int point = static_cast<int>(int_part.size());
    const std::size_t first = all.find_first_not_of('0');
    if (first == std::string::npos) return d;
    all.erase(0, first);
    point -= static_cast<int>(first);
    while (!all.empty() && all.back() == '0')
        all.pop_back();
    d.digits = std::move(all);
    d.point = point;
    return d;
}

// The first `keep` digits of d, rounded half away from zero on the digits
// that follow. A carry out of the first digit ("999.." -> "1000..") returns
// one digit more and raises `point` by one; otherwise `point` = d.point.
std::string round_digits(const ExactDecimal& d, int keep, int& point) {
    point = d.point;
    if (keep < 0) return {};
    std::string kept =
        d.digits.substr(0, std::min<std::size_t>(d.digits.size(), static_cast<std::size_t>(keep)));
    kept.resize(static_cast<std::size_t>(keep), '0');
    const bool up =
        static_cast<std::size_t>(keep) < d.digits.size() && d.digits[static_cast<std::size_t>(keep)] >= '5';
    if (up) {
        int i = keep - 1;
        for (; i >= 0; --i) {
            char& c = kept[static_cast<std::size_t>(i)];
            if (c == '9') {
                c = '0';
            } else {
                ++c;
                break;
            }
        }
        if (i < 0) {
            kept.insert(kept.begin(), '1');
            ++point;
        }
    }
    return kept;
}

const char* non_finite(long double value) {
    if (std::isnan(value)) return "NAN";
    return value < 0 ? "-INF" : "INF";
}

} // namespace

std::string fixed5_text(long double value) {
    if (!std::isfinite(value)) return non_finite(value);
    const ExactDecimal d = exact_decimal(value);
    // Digits up to the fifth after the decimal point: `point` + 5 of them
    // (fewer than none means the value is below 0.000005 and rounds to 0).
    std::string digits;
    int point = d.point;
    if (!d.digits.empty() && d.point + 5 >= 0) {
        if (d.point + 5 == 0) {
            // Only the rounding digit is there: 0.000005.. rounds up.
            if (d.digits[0] >= '5') {
                digits = "1";
                point = -4;
            }
        } else {
            digits = round_digits(d, d.point + 5, point);
        }
    }
    // Place the digits: value = 0.digits x 10^point, with point + 5 == digits.size() when not empty.
    std::string integer, fraction;
    if (digits.empty() || digits.find_first_not_of('0') == std::string::npos) {
        return "0.00000";
    }
    if (point > 0) {
        integer = digits.substr(0, static_cast<std::size_t>(point));
        fraction = digits.substr(static_cast<std::size_t>(point));
    } else {
        integer = "0";
        fraction = std::string(static_cast<std::size_t>(-point), '0') + digits;
    }
    fraction.resize(5, '0');
    return (value < 0 ? "-" : "") + integer + "." + fraction;
}

std::string scientific5_text(long double value) {
    if (!std::isfinite(value)) return non_finite(value);
    const ExactDecimal d = exact_decimal(value);
    if (d.digits.empty()) return "0.0000E+000";
    int point = d.point;
    std::string digits = round_digits(d, 5, point);
    digits.resize(5); // a carry gives "10000" with point moved up
    const int exponent = point - 1;
    std::string e = std::to_string(exponent < 0 ? -exponent : exponent);
    if (e.size() < 3) e.insert(0, 3 - e.size(), '0');
    return (value < 0 ? "-" : "") + digits.substr(0, 1) + "." + digits.substr(1) + "E" +
           (exponent < 0 ? "-" : "+") + e;
}

} // namespace orv
