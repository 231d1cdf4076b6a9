#pragma once
// Sequential scanning of a whole file held in memory (input::Input::data),
// for the importers of Gmsh and CalculiX files: whitespace-separated tokens,
// fixed-width columns and raw binary numbers, with errors that name the file
// and the line (text) or the byte offset (binary). Line numbers are counted
// only when a message needs one, so scanning costs nothing for them.

#include "viewer/formats/reader.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace orv::import {

using input::base_name;

// A file that an importer comes back to, to read values it indexed at the
// first pass: its path, its stamp then, and the options of the reads (the
// threads and memory limit; no progress callback, since a later read has no
// dialog of its own). Shared by the readers of all the fields of one file.
struct Reopen {
    std::string path;
    input::FileStamp stamp;
    ReaderOptions options;

    // The options of a first pass, for the reads that come after it.
    static ReaderOptions later(const ReaderOptions& first) {
        ReaderOptions o;
        o.memory_limit = first.memory_limit;
        o.threads = first.threads;
        o.chunk_bytes = first.chunk_bytes;
        return o;
    }

    // The way back to the input of a first pass: none for bytes in memory,
    // nor when the options want every value at once.
    static std::shared_ptr<const Reopen> of(const input::Input& in, const ReaderOptions& first) {
        if (in.in_memory() || !first.values_on_demand) return nullptr;
        return std::make_shared<const Reopen>(Reopen{in.path(), in.stamp(), later(first)});
    }

    // Maps the file again and runs parse(data, size) over all of it. Throws
    // ReadError "NAME changed since it was opened; reopen it" when its size
    // or modification time differ from `stamp`, before parsing or after
    // (whatever parse gave is then dropped), so that no values of two
    // versions of the file ever mix.
    template <class Parse> void read(Parse parse) const {
        input::Input file(path);
        input::check_unchanged(path, stamp, file.stamp());
        try {
            const char* data = file.data();
            file.checked([&] {
                parse(data, static_cast<std::size_t>(file.size()));
                return 0;
            });
        } catch (const ReadError&) {
            input::check_unchanged(path, stamp, file.stamp());
            throw;
        }
        input::check_unchanged(path, stamp, file.stamp());
    }
};

class Cursor {
  public:
    Cursor(const char* data, std::size_t size, std::string name)
        : begin_(data), p_(data), end_(data + size), name_(std::move(name)) {}

    const std::string& name() const { return name_; }
    const char* pos() const { return p_; }
    const char* begin() const { return begin_; }
    const char* end() const { return end_; }
    void seek(const char* p) { p_ = p; }
    std::size_t left() const { return static_cast<std::size_t>(end_ - p_); }
    std::size_t offset() const { return static_cast<std::size_t>(p_ - begin_); }
    bool at_end() const { return p_ >= end_; }

    // 1-based line of a position (counts the line ends before it).
    std::size_t line_of(const char* at) const;
    // "at line N of NAME" / "at byte N of NAME".
    std::string where(const char* at) const;
    std::string where_byte(const char* at) const;
    [[noreturn]] void fail(const char* at, const std::string& what) const;
    [[noreturn]] void fail_binary(const char* at, const std::string& what) const;

    void skip_space() {
        while (p_ < end_ && static_cast<unsigned char>(*p_) <= 32)
            ++p_;
    }
    // Skips blanks but not a line end.
    void skip_blanks() {
        while (p_ < end_ && (*p_ == ' ' || *p_ == '\t' || *p_ == '\r'))
            ++p_;
    }
    // The next token (bytes > 32) after any whitespace; empty at end of file.
    std::string_view token() {
        skip_space();
        const char* s = p_;
        while (p_<end_&& static_cast<unsigned char>(*p_)> 32)
            ++p_;
        return {s, static_cast<std::size_t>(p_ - s)};
    }
    // The rest of the current line without its end (a trailing '\r' dropped);
    // the cursor moves to the start of the next line.
    std::string_view rest_of_line() {
        const char* s = p_;
        const void* nl = p_ < end_ ? std::memchr(p_, '\n', left()) : nullptr;
        const char* e = nl ? static_cast<const char*>(nl) : end_;
        p_ = nl ? e + 1 : end_;
        if (e > s && e[-1] == '\r') --e;
        return {s, static_cast<std::size_t>(e - s)};
    }
    void next_line() { rest_of_line(); }

    // Numbers. `what` names the expected thing in the error, e.g. "a node tag".
    // At end of file they throw EndOfInput, which lets a section stop early
    // with a warning instead of an error.
    std::int64_t integer(const char* what);
    // A finite real (coordinates, times, tags): a non-finite one is refused.
    double real(const char* what);
    // A result value: a non-finite one reads as NaN (see parse_real).
    double value(const char* what);

    // Binary reads of `n` bytes; at end of file, EndOfInput.
    template <class T> T binary(bool swap, const char* what) {
        if (left() < sizeof(T)) throw EndOfInput{p_, what};
        unsigned char b[sizeof(T)];
        std::memcpy(b, p_, sizeof(T));
        if (swap)
            for (std::size_t i = 0; i < sizeof(T) / 2; ++i)
                std::swap(b[i], b[sizeof(T) - 1 - i]);
        T v;
        std::memcpy(&v, b, sizeof(T));
        p_ += sizeof(T);
        return v;
    }

    struct EndOfInput {
        const char* at;
        const char* what;
    };

  private:
    const char* begin_;
    const char* p_;
    const char* end_;
    std::string name_;
};

// Maps the file's tags (any positive integers) to 0-based indices.
class TagIndex {
  public:
    // Returns the first tag given twice, or -1.
    std::int64_t build(std::span<const std::int64_t> tags) {
        dense_.clear();
        sorted_.clear();
        if (tags.empty()) return -1;
        const auto [lo, hi] = std::minmax_element(tags.begin(), tags.end());
        if (*lo >= 0 && *hi < static_cast<std::int64_t>(2 * tags.size() + 1024)) {
            dense_.assign(static_cast<std::size_t>(*hi) + 1, -1);
            for (std::size_t i = 0; i < tags.size(); ++i) {
                auto& slot = dense_[static_cast<std::size_t>(tags[i])];
                if (slot >= 0) return tags[i];
                slot = static_cast<std::int64_t>(i);
            }
            return -1;
        }
        sorted_.reserve(tags.size());
        for (std::size_t i = 0; i < tags.size(); ++i)
            sorted_.push_back({tags[i], static_cast<std::int64_t>(i)});
        std::sort(sorted_.begin(), sorted_.end());
        for (std::size_t i = 1; i < sorted_.size(); ++i)
            if (sorted_[i].first == sorted_[i - 1].first) return sorted_[i].first;
        return -1;
    }
    std::int64_t find(std::int64_t tag) const {
        if (!dense_.empty() || sorted_.empty()) {
            if (tag < 0 || static_cast<std::uint64_t>(tag) >= dense_.size()) return -1;
            return dense_[static_cast<std::size_t>(tag)];
        }
        const auto it = std::lower_bound(sorted_.begin(), sorted_.end(), std::pair{tag, std::int64_t{-1}});
        return it != sorted_.end() && it->first == tag ? it->second : -1;
    }

  private:
    std::vector<std::int64_t> dense_;
    std::vector<std::pair<std::int64_t, std::int64_t>> sorted_;
};

// A binary result value under the same rule: non-finite reads as NaN.
inline double value_of(double v) {
    return std::isfinite(v) ? v : std::numeric_limits<double>::quiet_NaN();
}

// The general paths of parse_real and parse_integer below.
bool parse_real_text(std::string_view s, double& out);
bool parse_integer_text(std::string_view s, std::int64_t& out);

// Parses a whole token as a real ("1.5", "-2e3"); false if it is not one.
// Accepts Fortran's exponent without 'E' ("1.23456-100"). The one rule of
// the imported formats for non-finite numbers: "nan", "inf", "-Infinity"
// (any case) read as NaN, a result without a value, which the caller
// refuses where a finite number is needed (coordinates, times: with the
// place); a finite text too large for a double is refused.
// Inline for the common token, a decimal of at most 19 digits and a small
// exponent, converted in one exact operation (so bit-identical to the
// general path, which takes every other token).
inline bool parse_real(std::string_view s, double& out) {
    static constexpr double kPow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                        1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                        1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
    const char* p = s.data();
    const char* const end = p + s.size();
    if (p < end && *p == '+') ++p;
    const bool negative = p < end && *p == '-';
    if (negative) ++p;
    std::uint64_t mantissa = 0;
    const char* const digits = p;
    while (p < end && static_cast<unsigned>(*p - '0') < 10)
        mantissa = mantissa * 10 + static_cast<unsigned>(*p++ - '0');
    long count = p - digits;
    int exp10 = 0;
    if (p < end && *p == '.') {
        const char* const fraction = ++p;
        while (p < end && static_cast<unsigned>(*p - '0') < 10)
            mantissa = mantissa * 10 + static_cast<unsigned>(*p++ - '0');
        exp10 = -static_cast<int>(p - fraction);
        count += p - fraction;
    }
    if (count == 0 || count > 19) return parse_real_text(s, out);
    if (p < end && (*p == 'e' || *p == 'E')) {
        ++p;
        const bool eneg = p < end && *p == '-';
        if (p < end && (*p == '-' || *p == '+')) ++p;
        if (p == end || static_cast<unsigned>(*p - '0') >= 10) return parse_real_text(s, out);
        int e = 0;
        for (int i = 0; i < 3 && p < end && static_cast<unsigned>(*p - '0') < 10; ++i)
            e = e * 10 + (*p++ - '0');
        exp10 += eneg ? -e : e;
    }
    if (p != end || mantissa > (std::uint64_t{1} << 53) || exp10 < -22 || exp10 > 22)
        return parse_real_text(s, out);
    const double m = static_cast<double>(mantissa);
    const double v = exp10 >= 0 ? m * kPow10[exp10] : m / kPow10[-exp10];
    out = negative ? -v : v;
    return true;
}

// Parses a whole token as an integer with an optional sign; false if it is
// not one or does not fit 64 bits. Inline for up to 18 digits.
inline bool parse_integer(std::string_view s, std::int64_t& out) {
    const char* p = s.data();
    const char* const end = p + s.size();
    if (p < end && *p == '+') ++p;
    const bool negative = p < end && *p == '-';
    if (negative) ++p;
    if (p == end || end - p > 18) return parse_integer_text(s, out);
    std::int64_t v = 0;
    for (; p < end; ++p) {
        if (static_cast<unsigned>(*p - '0') >= 10) return parse_integer_text(s, out);
        v = v * 10 + (*p - '0');
    }
    out = negative ? -v : v;
    return true;
}

} // namespace orv::import
