// Result file reader.
//
// Pass 1 walks the file line by line, looking only at the first byte of each
// line, to count the marker lines ("#" in column 1) after the element block:
// that count is the number of result lists. Pass 2 rewinds, sizes the arrays
// once and reads the records. The file is streamed through a fixed buffer in
// both passes, so reading a multi-gigabyte file needs no more memory than the
// model itself.

#include "viewer/model/reader.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <unistd.h>

namespace orv {
namespace {

constexpr std::size_t kChunk = 1 << 20;
constexpr std::size_t kMaxToken = 4096; // no valid number is anywhere near this long

std::string base_name(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Byte source with a one-byte look-ahead: either a file read in chunks or a
// buffer in memory. Tracks the line number for messages.
class Scanner {
public:
    Scanner(const char* data, std::size_t size, std::string name)
        : name_(std::move(name)), cur_(data), end_(data + size), mem_begin_(data) {}

    Scanner(std::FILE* file, std::string name)
        : name_(std::move(name)), file_(file), chunk_(new char[kChunk]) {}

    void rewind() {
        line_ = 1;
        if (file_) {
            if (std::fseek(file_, 0, SEEK_SET) != 0) io_error();
            cur_ = end_ = chunk_.get();
        } else {
            const std::size_t size = static_cast<std::size_t>(end_ - mem_begin_);
            cur_ = mem_begin_;
            end_ = mem_begin_ + size;
        }
    }

    long line() const { return line_; }
    const std::string& name() const { return name_; }

    // Takes the first byte of the current line and moves to the start of the
    // next line; stops after a line that began with '#', or at end of file.
    void skip_to_mark() {
        while (fill()) {
            const char first = *cur_;
            skip_line();
            if (first == '#') return;
        }
    }

    // Counts, from here to the end, the lines whose first byte is '#'.
    std::int64_t count_marks() {
        std::int64_t marks = 0;
        while (fill()) {
            if (*cur_ == '#') ++marks;
            skip_line();
        }
        return marks;
    }

    // Moves past the end of the current line (or to end of file).
    void skip_line() {
        while (fill()) {
            const void* nl = std::memchr(cur_, '\n', static_cast<std::size_t>(end_ - cur_));
            if (nl) {
                cur_ = static_cast<const char*>(nl) + 1;
                ++line_;
                return;
            }
            cur_ = end_;
        }
    }

    // The rest of the current line, without its CR LF or LF; then moves to the next line.
    std::string read_line() {
        std::string text;
        while (fill()) {
            const void* nl = std::memchr(cur_, '\n', static_cast<std::size_t>(end_ - cur_));
            const char* stop = nl ? static_cast<const char*>(nl) : end_;
            text.append(cur_, stop);
            if (nl) {
                cur_ = stop + 1;
                ++line_;
                break;
            }
            cur_ = end_;
        }
        if (!text.empty() && text.back() == '\r') text.pop_back();
        return text;
    }

    // Skips blanks (any byte <= 32, line ends included) and returns the next
    // token; an empty view means end of file.
    std::string_view next_token() {
        for (;;) {
            if (!fill()) return {};
            while (cur_ < end_ && static_cast<unsigned char>(*cur_) <= 32) {
                if (*cur_ == '\n') ++line_;
                ++cur_;
            }
            if (cur_ < end_) break;
        }
        token_line_ = line_;
        const char* start = cur_;
        while (cur_ < end_ && static_cast<unsigned char>(*cur_) > 32) ++cur_;
        if (cur_ < end_ || !file_) return {start, static_cast<std::size_t>(cur_ - start)};
        // The token runs into the next chunk: gather it.
        spill_.assign(start, cur_);
        while (fill()) {
            while (cur_ < end_ && static_cast<unsigned char>(*cur_) > 32) {
                if (spill_.size() < kMaxToken) spill_.push_back(*cur_);
                ++cur_;
            }
            if (cur_ < end_) break;
        }
        return spill_;
    }

    long token_line() const { return token_line_; }

    [[noreturn]] void io_error() const {
        throw ReadError("I/O error reading " + name_ + ": " + std::strerror(errno));
    }

private:
    // True when at least one byte is available at cur_.
    bool fill() {
        if (cur_ < end_) return true;
        if (!file_) return false;
        const std::size_t got = std::fread(chunk_.get(), 1, kChunk, file_);
        if (got == 0) {
            if (std::ferror(file_)) io_error();
            return false;
        }
        cur_ = chunk_.get();
        end_ = cur_ + got;
        return true;
    }

    std::string name_;
    std::FILE* file_ = nullptr;
    std::unique_ptr<char[]> chunk_;
    const char* cur_ = nullptr;
    const char* end_ = nullptr;
    const char* mem_begin_ = nullptr;
    std::string spill_;
    long line_ = 1;
    long token_line_ = 1;
};

[[noreturn]] void invalid_number(const Scanner& in) {
    throw ReadError("Invalid numeric input at line " + std::to_string(in.token_line()) + " of " +
                    in.name());
}

// Integer: decimal digits with an optional sign. End of file reads as 0.
std::int32_t read_int(Scanner& in) {
    std::string_view tok = in.next_token();
    if (tok.empty()) return 0;
    const char* first = tok.data();
    const char* last = first + tok.size();
    if (*first == '+' && last - first > 1 && first[1] != '-') ++first;
    std::int64_t value = 0;
    const auto [ptr, ec] = std::from_chars(first, last, value);
    if (ec != std::errc() || ptr != last || value < std::numeric_limits<std::int32_t>::min() ||
        value > std::numeric_limits<std::int32_t>::max())
        invalid_number(in);
    return static_cast<std::int32_t>(value);
}

// Real: decimal with optional sign, "." as decimal point and optional exponent.
// Infinities, NaNs and values beyond the double range are refused.
double read_real(Scanner& in) {
    std::string_view tok = in.next_token();
    if (tok.empty()) return 0;
    const char* first = tok.data();
    const char* last = first + tok.size();
    if (*first == '+' && last - first > 1 && first[1] != '-') ++first;
    const char lead = *first == '-' && last - first > 1 ? first[1] : *first;
    if (!(lead == '.' || (lead >= '0' && lead <= '9'))) invalid_number(in); // no inf / nan
    double value = 0;
    const auto [ptr, ec] = std::from_chars(first, last, value, std::chars_format::general);
    if (ec != std::errc() || ptr != last || !std::isfinite(value)) invalid_number(in);
    return value;
}

std::uint64_t machine_memory() {
    const long pages = ::sysconf(_SC_PHYS_PAGES);
    const long page = ::sysconf(_SC_PAGESIZE);
    if (pages <= 0 || page <= 0) return UINT64_MAX;
    return static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(page);
}

std::string mib(std::uint64_t bytes) {
    if (bytes == UINT64_MAX) return "more than 16 EiB";
    return std::to_string((bytes + (1u << 20) - 1) >> 20) + " MiB";
}

void read_model(Scanner& in, ResultModel& m, const ReaderOptions& options) {
    // Pass 1: count the result lists.
    m.maxconec = 1;
    m.maxscale = 0;
    in.rewind();
    in.skip_to_mark();
    in.skip_to_mark();
    in.skip_to_mark();
    const std::int64_t lists = in.count_marks();

    // Pass 2.
    in.rewind();
    in.skip_to_mark();
    const long size_line = in.line();
    const std::int32_t nnode = read_int(in);
    const std::int32_t nelem = read_int(in);
    in.skip_line();
    if (nnode < 0 || nelem < 0)
        throw ReadError("Invalid sizes at line " + std::to_string(size_line) + " of " + in.name() +
                        ": " + std::to_string(nnode) + " nodes and " + std::to_string(nelem) +
                        " elements");

    const std::uint64_t limit = options.memory_limit ? options.memory_limit : machine_memory();
    const std::uint64_t need = ResultModel::bytes_needed(nnode, nelem, lists);
    if (lists > std::numeric_limits<std::int32_t>::max() / 4 || need > limit)
        throw ReadError(in.name() + " announces " + std::to_string(nnode) + " nodes, " +
                        std::to_string(nelem) + " elements and " + std::to_string(lists) +
                        " result lists, which need " + mib(need) + " of memory; only " + mib(limit) +
                        " are available");

    m.nnode = nnode;
    m.nelem = nelem;
    m.nlista = static_cast<std::int32_t>(lists);
    const std::size_t rows = static_cast<std::size_t>(nnode) + 1;
    m.coord_data.assign(rows * m.coord_cols(), 0.0);
    m.listas_data.assign(rows * m.listas_cols(), 0.0);
    m.namelista.assign(static_cast<std::size_t>(m.nlista) + 1, std::string());
    m.maxlista.assign(static_cast<std::size_t>(m.nlista) + 1, {0.0, 0.0});
    m.conec_start.assign(static_cast<std::size_t>(nelem) + 2, 0);
    m.conec_data.clear();
    m.conec_data.reserve(static_cast<std::size_t>(nelem) + 1); // grown below as rows arrive
    m.conec_data.resize(static_cast<std::size_t>(m.maxconec), 0); // row 0: code 0, no nodes
    m.conec_start[1] = m.maxconec;

    // Nodes.
    in.skip_to_mark();
    for (std::size_t i = 1; i < rows; ++i) {
        double* row = m.coord_data.data() + i * m.coord_cols();
        for (int j = 1; j <= 6; ++j) {
            row[j] = read_real(in);
            if (std::fabs(row[j]) > m.maxscale) m.maxscale = std::fabs(row[j]);
        }
        in.skip_line();
    }

    // Elements.
    in.skip_to_mark();
    for (std::int64_t e = 1; e <= nelem; ++e) {
        const std::int32_t family = read_int(in);
        const long line = in.token_line();
        const std::int32_t order = read_int(in);
        const auto where = [&] {
            return "Element " + std::to_string(e) + " at line " + std::to_string(line) + " of " +
                   in.name() + ": ";
        };
        if (order < 0 || order > 99)
            throw ReadError(where() + "order " + std::to_string(order) + " is outside 0..99");
        if (family < 0 || family > std::numeric_limits<std::int32_t>::max() / 100 - 1)
            throw ReadError(where() + "family " + std::to_string(family) + " is not valid");
        const std::int64_t n = element_node_count(family, order);
        if (m.conec_data.size() + static_cast<std::size_t>(n) + 1 > m.conec_data.capacity()) {
            // Grow by a quarter rather than doubling, to keep the peak close to the final size.
            const std::size_t want = m.conec_data.size() + static_cast<std::size_t>(n) + 1;
            m.conec_data.reserve(std::max(want, m.conec_data.capacity() + m.conec_data.capacity() / 4));
        }
        m.conec_data.push_back(family * 100 + order);
        for (std::int64_t j = 1; j <= n; ++j) {
            const std::int32_t node = read_int(in);
            if (node < 1 || node > nnode)
                throw ReadError(where() + "node " + std::to_string(node) + " does not exist (the file has " +
                                std::to_string(nnode) + " nodes)");
            m.conec_data.push_back(node);
        }
        m.conec_start[static_cast<std::size_t>(e) + 1] = static_cast<std::int64_t>(m.conec_data.size());
        in.skip_line();
    }

    // Result lists.
    for (std::int32_t k = 1; k <= m.nlista; ++k) {
        in.skip_to_mark();
        m.namelista[k] = in.read_line();
        auto& range = m.maxlista[k];
        auto& all = m.maxlista[0];
        for (std::size_t i = 1; i < rows; ++i) {
            double* row = m.coord_data.data() + i * m.coord_cols();
            row[3 * k + 4] = read_real(in);
            row[3 * k + 5] = read_real(in);
            row[3 * k + 6] = read_real(in);
            const double v = read_real(in);
            m.listas(i, static_cast<std::size_t>(k)) = v;
            in.skip_line();
            if (k == 1) all = {v, v};
            if (i == 1) range = {v, v};
            if (v < range[0]) range[0] = v;
            if (v > range[1]) range[1] = v;
            if (range[0] < all[0]) all[0] = range[0];
            if (range[1] > all[1]) all[1] = range[1];
        }
    }
    m.valmin = m.maxlista[0][0];
    m.valmax = m.maxlista[0][1];
}

ResultModel read_with(Scanner& in, const std::string& name, const ReaderOptions& options) {
    ResultModel m;
    m.namefile = name;
    try {
        read_model(in, m, options);
    } catch (const std::bad_alloc&) {
        throw ReadError("Not enough memory to read " + in.name());
    } catch (const std::length_error&) {
        throw ReadError("Not enough memory to read " + in.name());
    }
    return m;
}

} // namespace

ResultModel read_result_file(const std::string& path, const ReaderOptions& options) {
    errno = 0;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) throw ReadError("Cannot open " + path + ": " + std::strerror(errno));
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> closer(f, &std::fclose);
    Scanner in(f, base_name(path));
    return read_with(in, path, options);
}

ResultModel read_result_buffer(const char* data, std::size_t size, const std::string& name,
                               const ReaderOptions& options) {
    Scanner in(data, size, base_name(name));
    return read_with(in, name, options);
}

} // namespace orv
