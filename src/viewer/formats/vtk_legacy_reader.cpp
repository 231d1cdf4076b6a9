// Legacy VTK reader: one pass over the bytes (a mapped file or a buffer),
// keyword by keyword. ASCII data are whitespace-separated tokens; BINARY data
// are raw big-endian values that start right after their header line, so the
// parser walks them by byte count and reports positions as byte offsets.

#include "viewer/formats/vtk_legacy_reader.h"

#include "viewer/formats/import_cursor.h"
#include "viewer/formats/import_parallel.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <memory>
#include <new>
#include <optional>
#include <string_view>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace orv {
namespace {

using input::base_name; // the one helper of every reader

bool iequal(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t k = 0; k < a.size(); ++k) {
        const auto low = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
        if (low(a[k]) != low(b[k])) return false;
    }
    return true;
}

// Array names escape blanks and '%' as %XX.
std::string decode_name(std::string_view s) {
    std::string out;
    for (std::size_t k = 0; k < s.size(); ++k) {
        int v = 0;
        if (s[k] == '%' && k + 2 < s.size() &&
            std::from_chars(s.data() + k + 1, s.data() + k + 3, v, 16).ptr == s.data() + k + 3) {
            out += static_cast<char>(v);
            k += 2;
        } else {
            out += s[k];
        }
    }
    return out;
}

std::string shown(std::string_view tok) {
    if (tok.empty()) return "the end of the file";
    std::string s(tok.substr(0, 40));
    for (char& c : s)
        if (static_cast<unsigned char>(c) < 32 || static_cast<unsigned char>(c) > 126) c = '?';
    return "'" + s + (tok.size() > 40 ? "...'" : "'");
}

enum class Type { u8, i8, u16, i16, u32, i32, u64, i64, f32, f64 };

std::optional<Type> type_named(std::string_view s) {
    static const std::pair<const char*, Type> names[] = {
        {"unsigned_char", Type::u8},  {"char", Type::i8},           {"unsigned_short", Type::u16},
        {"short", Type::i16},         {"unsigned_int", Type::u32},  {"int", Type::i32},
        {"unsigned_long", Type::u64}, {"long", Type::i64},          {"vtktypeuint64", Type::u64},
        {"vtktypeint64", Type::i64},  {"vtktypeuint32", Type::u32}, {"vtktypeint32", Type::i32},
        {"vtkidtype", Type::i32},     {"float", Type::f32},         {"double", Type::f64},
        {"signed_char", Type::i8},
    };
    for (const auto& [n, t] : names)
        if (iequal(s, n)) return t;
    return std::nullopt;
}

int type_bytes(Type t) {
    switch (t) {
    case Type::u8:
    case Type::i8:
        return 1;
    case Type::u16:
    case Type::i16:
        return 2;
    case Type::u32:
    case Type::i32:
    case Type::f32:
        return 4;
    default:
        return 8;
    }
}

std::uint64_t big_endian(const unsigned char* p, int bytes) {
    std::uint64_t v = 0;
    for (int k = 0; k < bytes; ++k)
        v = (v << 8) | p[k];
    return v;
}

double decode_binary(const unsigned char* p, Type t) {
    const std::uint64_t v = big_endian(p, type_bytes(t));
    switch (t) {
    case Type::u8:
    case Type::u16:
    case Type::u32:
        return static_cast<double>(v);
    case Type::u64:
        return static_cast<double>(v);
    case Type::i8:
        return static_cast<std::int8_t>(v);
    case Type::i16:
        return static_cast<std::int16_t>(v);
    case Type::i32:
        return static_cast<std::int32_t>(v);
    case Type::i64:
        return static_cast<double>(static_cast<std::int64_t>(v));
    case Type::f32: {
        const auto bits = static_cast<std::uint32_t>(v);
        float f;
        std::memcpy(&f, &bits, sizeof f);
        return f;
    }
    case Type::f64: {
        double d;
        std::memcpy(&d, &v, sizeof d);
        return d;
    }
    }
    return 0;
}

// Cells of one list: an old-style "n size" list or offsets + connectivity.
struct CellList {
    ZeroedVector<std::int64_t> offsets{0};
    ZeroedVector<std::int64_t> nodes;
    std::string where; // of its header, for messages
};

class Parser {
  public:
    Parser(const char* data, std::size_t size, std::string name, import::Reading& reading)
        : d_(data), n_(size), name_(std::move(name)), reading_(reading) {}

    ImportData run();

  private:
    const char* d_;
    std::size_t n_;
    std::string name_;
    import::Reading& reading_;
    std::size_t pos_ = 0;
    std::size_t token_at_ = 0; // where the last token began
    long line_ = 1;
    bool binary_ = false;
    bool ended_ = false; // the file ended inside its data
    ImportData out_;
    std::optional<std::int64_t> npoints_;
    bool unstructured_ = true;
    CellList cells_;
    std::optional<ZeroedVector<std::int64_t>> cell_types_;
    std::string cell_types_where_;
    CellList poly_[4]; // vertices, lines, polygons, strips
    bool has_poly_[4] = {false, false, false, false};
    // Where attribute data go: 0 none yet, 1 points, 2 cells.
    int target_ = 0;
    std::int64_t target_count_ = 0;
    std::optional<double> time_;
    ImportStep step_;

    std::string where() const {
        return binary_ ? "byte offset " + std::to_string(token_at_) : "line " + std::to_string(line_);
    }
    // A fault of a whole section found after reading it: named by its header.
    [[noreturn]] void fail_in(const std::string& keyword, const std::string& at,
                              const std::string& what) const {
        throw ReadError(name_ + ", " + keyword + " at " + at + ": " + what);
    }
    [[noreturn]] void fail(const std::string& what) const {
        throw ReadError(name_ + ", " + where() + ": " + what);
    }

    void skip_blanks() {
        while (pos_ < n_ && static_cast<unsigned char>(d_[pos_]) <= 32) {
            if (d_[pos_] == '\n') ++line_;
            ++pos_;
        }
    }
    std::string_view token() {
        skip_blanks();
        const std::size_t s = pos_;
        token_at_ = s;
        while (pos_<n_&& static_cast<unsigned char>(d_[pos_])> 32)
            ++pos_;
        return {d_ + s, pos_ - s};
    }
    std::string_view peek() {
        const auto p = pos_, at = token_at_;
        const auto l = line_;
        const auto t = token();
        pos_ = p;
        token_at_ = at;
        line_ = l;
        return t;
    }
    // Moves past the end of the current line; returns the line's text.
    std::string_view rest_of_line() {
        const std::size_t s = pos_;
        while (pos_ < n_ && d_[pos_] != '\n')
            ++pos_;
        std::string_view text(d_ + s, pos_ - s);
        if (pos_ < n_) {
            ++pos_;
            ++line_;
        }
        if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
        return text;
    }

    std::int64_t count(const char* what) {
        const auto tok = token();
        std::int64_t v = -1;
        const auto r = std::from_chars(tok.data(), tok.data() + tok.size(), v);
        if (tok.empty() || r.ptr != tok.data() + tok.size() || v < 0)
            fail(std::string(what) + " expected, found " + shown(tok));
        // Every value takes at least one byte of the file: a count beyond
        // the file's size cannot be true, and is refused before any allocation.
        if (static_cast<std::uint64_t>(v) > n_)
            fail(std::string(what) + " is " + std::to_string(v) + ", but the file holds only " +
                 std::to_string(n_) + " bytes");
        return v;
    }
    Type data_type() {
        const auto tok = token();
        if (iequal(tok, "bit")) fail("data type 'bit' is not supported");
        const auto t = type_named(tok);
        if (!t) fail("a data type (float, double, int, ...) expected, found " + shown(tok));
        return *t;
    }
    std::string name_token(const char* what) {
        const auto tok = token();
        if (tok.empty()) fail(std::string(what) + " expected, found the end of the file");
        return decode_name(tok);
    }

    void early(const std::string& what, std::size_t announced, std::size_t read) {
        if (!ended_)
            out_.warnings.push_back(name_ + " ends early: " + what + ": " + std::to_string(announced) +
                                    " values announced, " + std::to_string(read) +
                                    " read; the rest read as 0.");
        ended_ = true;
    }

    // Reads `count` values of type `t` (the header line already passed)
    // into the hand-over's own zeroed arrays.
    template <class T> using Values = ZeroedVector<T>;
    template <class T> Values<T> values(Type t, std::size_t count, const std::string& what) {
        if (!ended_)
            reading_.need(count * sizeof(T), [&] {
                return name_ + ", " + where() + ": " + std::to_string(count) + " values of " + what;
            });
        Values<T> v(count);
        if (ended_) return v;
        std::size_t k = 0;
        if (binary_) {
            const int b = type_bytes(t);
            const std::size_t have = std::min(count, (n_ - pos_) / static_cast<std::size_t>(b));
            const auto* p = reinterpret_cast<const unsigned char*>(d_ + pos_);
            // The common types first, a word at a time; the rest below.
            constexpr bool swap = std::endian::native == std::endian::little;
            if constexpr (std::is_floating_point_v<T>) {
                if (t == Type::f64)
                    for (; k < have; ++k) {
                        std::uint64_t w;
                        std::memcpy(&w, p + 8 * k, 8);
                        if (swap) w = __builtin_bswap64(w);
                        std::memcpy(&v[k], &w, 8);
                    }
            } else {
                if (t == Type::i32)
                    for (; k < have; ++k) {
                        std::uint32_t w;
                        std::memcpy(&w, p + 4 * k, 4);
                        if (swap) w = __builtin_bswap32(w);
                        v[k] = static_cast<std::int32_t>(w);
                    }
            }
            for (; k < have; ++k) {
                const double x = decode_binary(p + k * static_cast<std::size_t>(b), t);
                if constexpr (std::is_integral_v<T>) {
                    if (!(x >= -9.2e18 && x <= 9.2e18))
                        fail(what + ": value " + std::to_string(k + 1) + " is not a usable index");
                    v[k] = static_cast<T>(x);
                } else {
                    v[k] = x;
                }
            }
            pos_ += have * static_cast<std::size_t>(b);
            reading_.tick(d_ + pos_);
        } else {
            if (ascii_parallel(v.data(), count)) return v;
            for (; k < count; ++k) {
                reading_.tick(d_ + pos_);
                const auto tok = token();
                if (tok.empty()) break;
                if (!ascii_value(tok, v[k]))
                    fail(what + ": " + (std::is_integral_v<T> ? "an integer" : "a number") +
                         " expected, found " + shown(tok));
            }
        }
        if (k < count) early(what, count, k);
        return v;
    }

    // One ASCII number into `out`, as the loop of values() reads it.
    template <class T> static bool ascii_value(std::string_view tok, T& out) {
        const char* end = tok.data() + tok.size();
        [[maybe_unused]] std::from_chars_result r{};
        if constexpr (std::is_integral_v<T>) {
            r = std::from_chars(tok.data(), end, out);
            return r.ptr == end && r.ec == std::errc();
        } else {
            return import::parse_real(tok, out); // the imported formats' one rule for "nan", "inf"
        }
    }

    // Reads `count` ASCII values on the reading threads; false when the
    // block must be read on one thread (which reports what is wrong).
    template <class T> bool ascii_parallel(T* out, std::size_t count) {
        const auto block = import::parallel_tokens(
            reading_, d_ + pos_, d_ + n_, count, [&](const import::TokenPiece& piece) {
                const char* p = piece.begin;
                T* dst = out + piece.first;
                for (std::size_t k = 0; k < piece.count; ++k)
                    if (!ascii_value(import::next_token(p, piece.end), dst[k])) return false;
                return true;
            });
        if (!block.end) return false;
        pos_ = static_cast<std::size_t>(block.end - d_);
        line_ += static_cast<long>(block.lines);
        return true;
    }

    void read_points() {
        const std::string at = where();
        const auto n = count("a point count");
        const Type t = data_type();
        rest_of_line();
        npoints_ = n;
        out_.mesh.points = values<double>(t, static_cast<std::size_t>(3 * n), "POINTS");
        const auto& p = out_.mesh.points;
        for (std::size_t k = 0; k < p.size(); ++k)
            if (!std::isfinite(p[k]))
                fail_in("POINTS", at,
                        "point " + std::to_string(k / 3) + " has a coordinate that is not a finite number");
    }

    // An old-style list: count, then that many node numbers, per cell.
    CellList read_cell_list(const char* keyword) {
        CellList list;
        list.where = where();
        const auto ncell = count("a cell count");
        const auto size = count("a list size");
        if (iequal(peek(), "OFFSETS")) {
            rest_of_line();
            token();
            const Type to = data_type();
            rest_of_line();
            auto offsets = values<std::int64_t>(to, static_cast<std::size_t>(ncell), "OFFSETS");
            if (ended_) return list;
            if (!iequal(token(), "CONNECTIVITY"))
                fail("CONNECTIVITY expected after the OFFSETS of " + list.where);
            const Type tc = data_type();
            rest_of_line();
            list.nodes = values<std::int64_t>(tc, static_cast<std::size_t>(size), "CONNECTIVITY");
            if (ncell == 0) return list;
            if (offsets[0] != 0) fail_in(keyword, list.where, "the first offset is not 0");
            for (std::size_t c = 1; c < offsets.size(); ++c)
                if (offsets[c] < offsets[c - 1] || offsets[c] > size)
                    fail_in(keyword, list.where,
                            "offset " + std::to_string(c + 1) + " (" + std::to_string(offsets[c]) +
                                ") is not between the one before it and the list's size " +
                                std::to_string(size));
            list.offsets = std::move(offsets);
            if (ended_) list.offsets.resize(1);
            return list;
        }
        rest_of_line();
        // The node numbers move down over the counts, in place.
        auto raw = values<std::int64_t>(Type::i32, static_cast<std::size_t>(size), keyword);
        list.offsets.reserve(static_cast<std::size_t>(ncell) + 1);
        std::size_t k = 0, kept = 0;
        for (std::int64_t c = 0; c < ncell; ++c) {
            if (k >= raw.size())
                fail_in(keyword, list.where,
                        "the list of size " + std::to_string(size) + " ends before cell " +
                            std::to_string(c + 1) + " of " + std::to_string(ncell));
            const std::int64_t nn = raw[k];
            if (nn < 0 || static_cast<std::uint64_t>(nn) > raw.size() - k - 1)
                fail_in(keyword, list.where,
                        "cell " + std::to_string(c + 1) + " has " + std::to_string(nn) +
                            " nodes, which do not fit in the list of size " + std::to_string(size));
            for (std::size_t j = 0; j < static_cast<std::size_t>(nn); ++j)
                raw[kept + j] = raw[k + 1 + j];
            kept += static_cast<std::size_t>(nn);
            list.offsets.push_back(static_cast<std::int64_t>(kept));
            k += 1 + static_cast<std::size_t>(nn);
        }
        if (k != raw.size())
            fail_in(keyword, list.where,
                    "the list's size " + std::to_string(size) + " does not match its " +
                        std::to_string(ncell) + " cells (" + std::to_string(k) + " values)");
        raw.resize(kept);
        list.nodes = std::move(raw);
        return list;
    }

    std::int64_t total_cells() const {
        if (unstructured_) return static_cast<std::int64_t>(cells_.offsets.size()) - 1;
        std::int64_t n = 0;
        for (const auto& l : poly_)
            n += static_cast<std::int64_t>(l.offsets.size()) - 1;
        return n;
    }

    void add_field(std::string name, int comps, Type t, std::int64_t tuples) {
        ImportField f;
        f.name = std::move(name);
        f.components = comps;
        f.on_cells = target_ == 2;
        f.values = values<double>(t, static_cast<std::size_t>(tuples * comps), f.name);
        if (comps > 9)
            out_.skipped_fields.push_back(f.name);
        else
            step_.fields.push_back(std::move(f));
    }

    void need_target(std::string_view keyword) {
        if (!target_) fail(std::string(keyword) + " before POINT_DATA or CELL_DATA");
    }

    // FIELD name n, then n arrays "name components tuples type" and their values.
    void read_field(bool dataset_level) {
        name_token("a field name");
        const auto arrays = count("an array count");
        rest_of_line();
        for (std::int64_t a = 0; a < arrays && !ended_; ++a) {
            // VTK writes an array's METADATA (COMPONENT_NAMES, INFORMATION)
            // after its values, so it may stand before the next array.
            while (iequal(peek(), "METADATA")) {
                token();
                skip_metadata();
            }
            const std::string array = name_token("an array name");
            if (array == "NULL_ARRAY") {
                rest_of_line();
                continue;
            }
            const auto comps = count("a component count");
            const auto tuples = count("a tuple count");
            const auto type_tok = peek();
            if (iequal(type_tok, "string") || iequal(type_tok, "utf8_string")) {
                token();
                rest_of_line();
                // One string per line.
                for (std::int64_t k = 0; k < comps * tuples && pos_ < n_; ++k)
                    rest_of_line();
                if (!dataset_level) out_.skipped_fields.push_back(array);
                continue;
            }
            const Type t = data_type();
            if (comps < 1) fail("array " + array + " has no components");
            if (!dataset_level && tuples != target_count_)
                fail("array " + array + " has " + std::to_string(tuples) + " tuples; " +
                     std::to_string(target_count_) + (target_ == 1 ? " points" : " cells") + " expected");
            rest_of_line();
            if (dataset_level) {
                const auto v = values<double>(t, static_cast<std::size_t>(comps * tuples), array);
                if ((iequal(array, "TIME") || iequal(array, "TimeValue")) && !v.empty()) time_ = v[0];
                continue;
            }
            add_field(array, static_cast<int>(std::min<std::int64_t>(comps, 1000)), t, tuples);
        }
    }

    void skip_metadata() {
        rest_of_line();
        while (pos_ < n_) {
            const auto text = rest_of_line();
            if (text.find_first_not_of(" \t\r") == std::string_view::npos) break;
        }
    }

    void attribute(std::string_view kw) {
        need_target(kw);
        if (iequal(kw, "SCALARS")) {
            std::string name = name_token("a name");
            const Type t = data_type();
            int comps = 1;
            const auto next = peek();
            if (!next.empty() && next.find_first_not_of("0123456789") == std::string_view::npos &&
                line_of_next() == line_) {
                comps = static_cast<int>(count("a component count"));
                if (comps < 1 || comps > 4)
                    fail("SCALARS take 1 to 4 components, not " + std::to_string(comps));
            }
            rest_of_line();
            if (iequal(peek(), "LOOKUP_TABLE")) {
                token();
                token();
                rest_of_line();
            }
            add_field(std::move(name), comps, t, target_count_);
        } else if (iequal(kw, "VECTORS") || iequal(kw, "NORMALS") || iequal(kw, "TENSORS") ||
                   iequal(kw, "TENSORS6")) {
            std::string name = name_token("a name");
            const Type t = data_type();
            rest_of_line();
            const int comps = iequal(kw, "TENSORS") ? 9 : iequal(kw, "TENSORS6") ? 6 : 3;
            add_field(std::move(name), comps, t, target_count_);
        } else if (iequal(kw, "FIELD")) {
            read_field(false);
        } else if (iequal(kw, "COLOR_SCALARS")) {
            name_token("a name");
            const auto comps = count("a component count");
            rest_of_line();
            values<double>(binary_ ? Type::u8 : Type::f64, static_cast<std::size_t>(comps * target_count_),
                           "COLOR_SCALARS");
        } else if (iequal(kw, "TEXTURE_COORDINATES")) {
            name_token("a name");
            const auto dim = count("a dimension");
            const Type t = data_type();
            rest_of_line();
            values<double>(t, static_cast<std::size_t>(dim * target_count_), "TEXTURE_COORDINATES");
        } else if (iequal(kw, "LOOKUP_TABLE")) {
            name_token("a name");
            const auto size = count("a table size");
            rest_of_line();
            values<double>(binary_ ? Type::u8 : Type::f64, static_cast<std::size_t>(4 * size),
                           "LOOKUP_TABLE");
        } else { // GLOBAL_IDS, PEDIGREE_IDS: numbering, not results
            name_token("a name");
            const Type t = data_type();
            rest_of_line();
            values<double>(t, static_cast<std::size_t>(target_count_), std::string(kw));
        }
    }

    // Line of the next token (to tell an optional count on the same line).
    long line_of_next() {
        const auto p = pos_;
        const auto l = line_;
        skip_blanks();
        const long at = line_;
        pos_ = p;
        line_ = l;
        return at;
    }

    void check_nodes(const CellList& list, const char* keyword) {
        const std::int64_t np = npoints_.value_or(0);
        for (std::size_t k = 0; k < list.nodes.size(); ++k)
            if (list.nodes[k] < 0 || list.nodes[k] >= np) {
                const auto cell =
                    std::upper_bound(list.offsets.begin(), list.offsets.end(), static_cast<std::int64_t>(k)) -
                    list.offsets.begin();
                throw ReadError(name_ + ", " + keyword + " at " + list.where + ": cell " +
                                std::to_string(cell) + " refers to point " + std::to_string(list.nodes[k]) +
                                ", but the points are numbered 0 to " + std::to_string(np - 1));
            }
    }
};

ImportData Parser::run() {
    const std::string_view first = rest_of_line();
    if (first.size() < 14 || first.substr(0, 1) != "#" || first.find("vtk") == std::string_view::npos ||
        first.find("DataFile") == std::string_view::npos) {
        line_ = 1;
        fail("'# vtk DataFile Version x.x' expected, found " + shown(first));
    }
    rest_of_line(); // title
    const auto format = token();
    if (iequal(format, "BINARY"))
        binary_ = true;
    else if (!iequal(format, "ASCII"))
        fail("ASCII or BINARY expected, found " + shown(format));
    rest_of_line();

    bool dataset = false;
    for (;;) {
        if (ended_) break;
        reading_.tick(d_ + pos_);
        const auto kw = token();
        if (kw.empty()) break;
        if (iequal(kw, "DATASET")) {
            const auto type = token();
            if (iequal(type, "UNSTRUCTURED_GRID"))
                unstructured_ = true;
            else if (iequal(type, "POLYDATA"))
                unstructured_ = false;
            else
                fail("dataset " + shown(type) + " is not supported; UNSTRUCTURED_GRID or POLYDATA expected");
            dataset = true;
            rest_of_line();
        } else if (!dataset) {
            if (iequal(kw, "FIELD")) {
                read_field(true);
                continue;
            }
            fail("DATASET expected, found " + shown(kw));
        } else if (iequal(kw, "POINTS")) {
            if (npoints_) fail("a second POINTS section");
            read_points();
        } else if (iequal(kw, "FIELD") && !target_) {
            read_field(true);
        } else if (iequal(kw, "METADATA")) {
            skip_metadata();
        } else if (unstructured_ && iequal(kw, "CELLS")) {
            cells_ = read_cell_list("CELLS");
        } else if (unstructured_ && iequal(kw, "CELL_TYPES")) {
            cell_types_where_ = where();
            const auto n = count("a cell count");
            if (!ended_ && n != total_cells())
                fail("CELL_TYPES has " + std::to_string(n) + " cells; CELLS has " +
                     std::to_string(total_cells()));
            rest_of_line();
            cell_types_ = values<std::int64_t>(Type::i32, static_cast<std::size_t>(n), "CELL_TYPES");
        } else if (!unstructured_ && (iequal(kw, "VERTICES") || iequal(kw, "LINES") ||
                                      iequal(kw, "POLYGONS") || iequal(kw, "TRIANGLE_STRIPS"))) {
            const int s = iequal(kw, "VERTICES")   ? 0
                          : iequal(kw, "LINES")    ? 1
                          : iequal(kw, "POLYGONS") ? 2
                                                   : 3;
            if (has_poly_[s]) fail("a second " + std::string(kw) + " section");
            has_poly_[s] = true;
            poly_[s] = read_cell_list(std::string(kw).c_str());
        } else if (iequal(kw, "POINT_DATA") || iequal(kw, "CELL_DATA")) {
            target_ = iequal(kw, "POINT_DATA") ? 1 : 2;
            target_count_ = count(target_ == 1 ? "a point count" : "a cell count");
            const std::int64_t want = target_ == 1 ? npoints_.value_or(0) : total_cells();
            if (target_count_ != want)
                fail(std::string(kw) + " " + std::to_string(target_count_) + " does not match the " +
                     std::to_string(want) + (target_ == 1 ? " points" : " cells"));
            rest_of_line();
        } else if (iequal(kw, "SCALARS") || iequal(kw, "VECTORS") || iequal(kw, "NORMALS") ||
                   iequal(kw, "TENSORS") || iequal(kw, "TENSORS6") || iequal(kw, "FIELD") ||
                   iequal(kw, "COLOR_SCALARS") || iequal(kw, "TEXTURE_COORDINATES") ||
                   iequal(kw, "LOOKUP_TABLE") || iequal(kw, "GLOBAL_IDS") || iequal(kw, "PEDIGREE_IDS")) {
            attribute(kw);
        } else {
            fail("a section keyword (POINTS, CELLS, CELL_TYPES, POINT_DATA, CELL_DATA, SCALARS, ...) "
                 "expected, found " +
                 shown(kw));
        }
    }
    if (!dataset && !ended_) fail("DATASET expected, found the end of the file");

    // Cells, in VTK's id order.
    ImportMesh& mesh = out_.mesh;
    mesh.cell_offsets = {0};
    // A list's arrays become the mesh's when it is the first (no copy).
    const auto append = [&](CellList& list, const char* keyword, auto&& type_of) {
        check_nodes(list, keyword);
        const std::int64_t base = static_cast<std::int64_t>(mesh.cell_nodes.size());
        mesh.cell_types.reserve(mesh.cell_types.size() + list.offsets.size() - 1);
        for (std::size_t c = 1; c < list.offsets.size(); ++c)
            mesh.cell_types.push_back(type_of(c - 1, list.offsets[c] - list.offsets[c - 1]));
        if (base == 0 && mesh.cell_offsets.size() == 1) {
            mesh.cell_nodes = std::move(list.nodes);
            mesh.cell_offsets = std::move(list.offsets);
            return;
        }
        mesh.cell_nodes.insert(mesh.cell_nodes.end(), list.nodes.begin(), list.nodes.end());
        for (std::size_t c = 1; c < list.offsets.size(); ++c)
            mesh.cell_offsets.push_back(base + list.offsets[c]);
    };
    if (unstructured_) {
        const std::int64_t ncell = total_cells();
        if (ncell > 0 && !cell_types_ && !ended_) fail("CELL_TYPES expected after CELLS");
        if (cell_types_)
            for (std::size_t c = 0; c < cell_types_->size(); ++c)
                if ((*cell_types_)[c] < 0 || (*cell_types_)[c] > 255)
                    throw ReadError(name_ + ", CELL_TYPES at " + cell_types_where_ + ": cell " +
                                    std::to_string(c + 1) + " has type " + std::to_string((*cell_types_)[c]) +
                                    "; 0 to 255 expected");
        append(cells_, "CELLS", [&](std::size_t c, std::int64_t) {
            return static_cast<std::uint8_t>(cell_types_ && c < cell_types_->size() ? (*cell_types_)[c] : 0);
        });
    } else {
        const char* keywords[4] = {"VERTICES", "LINES", "POLYGONS", "TRIANGLE_STRIPS"};
        for (int s = 0; s < 4; ++s)
            append(poly_[s], keywords[s], [&](std::size_t, std::int64_t n) -> std::uint8_t {
                switch (s) {
                case 0:
                    return n == 1 ? vtk_vertex : vtk_poly_vertex;
                case 1:
                    return n == 2 ? vtk_line : vtk_poly_line;
                case 2:
                    return n == 3 ? vtk_triangle : vtk_polygon;
                default:
                    return vtk_triangle_strip;
                }
            });
    }
    if (!step_.fields.empty() || time_) {
        step_.time = time_;
        out_.steps.push_back(std::move(step_));
    }
    return std::move(out_);
}

} // namespace

bool looks_like_vtk_legacy(const char* data, std::size_t size) {
    const std::string_view head(data, std::min<std::size_t>(size, 64));
    return head.rfind("# vtk DataFile", 0) == 0;
}

ImportData import_vtk_legacy(input::Input& in, const ReaderOptions& options) {
    const char* data = in.data();
    const auto size = static_cast<std::size_t>(in.size());
    return import::import_bytes(data, size, in.name(), options, [&](import::Reading& reading) {
        return Parser(data, size, in.name(), reading).run();
    });
}

} // namespace orv
