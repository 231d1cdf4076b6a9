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
#include <sys/mman.h>
#include <sys/stat.h>
#include <system_error>
#include <thread>
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

    // Size of the whole input in bytes, or -1 when it cannot be told (a pipe).
    long long total_size() const {
        if (!file_) return static_cast<long long>(end_ - mem_begin_);
        struct stat st {};
        if (::fstat(::fileno(file_), &st) != 0 || !S_ISREG(st.st_mode)) return -1;
        return static_cast<long long>(st.st_size);
    }

    // Takes the first byte of the current line and moves to the start of the
    // next line; stops after a line that began with '#', or at end of file.
    void skip_to_mark() {
        while (fill()) {
            const char first = *cur_;
            skip_line();
            if (first == '#') return;
        }
    }

    // Counts, from here (the start of a line) to the end, the lines whose
    // first byte is '#'. '#' is rare inside records, so the scan looks for it
    // directly instead of walking line by line.
    std::int64_t count_marks() {
        std::int64_t marks = 0;
        char before = '\n'; // the byte before cur_
        while (fill()) {
            const char* p = cur_;
            while (const void* hit = std::memchr(p, '#', static_cast<std::size_t>(end_ - p))) {
                const char* h = static_cast<const char*>(hit);
                if ((h == cur_ ? before : h[-1]) == '\n') ++marks;
                p = h + 1;
            }
            before = end_[-1];
            cur_ = end_;
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
        while (cur_<end_&& static_cast<unsigned char>(*cur_)> 32)
            ++cur_;
        if (cur_ < end_ || !file_) return {start, static_cast<std::size_t>(cur_ - start)};
        // The token runs into the next chunk: gather it.
        spill_.assign(start, cur_);
        while (fill()) {
            while (cur_<end_&& static_cast<unsigned char>(*cur_)> 32) {
                if (spill_.size() < kMaxToken) spill_.push_back(*cur_);
                ++cur_;
            }
            if (cur_ < end_) break;
        }
        return spill_;
    }

    long token_line() const { return token_line_; }

    // The common case of read_real in one pass over the bytes: a plain
    // decimal of at most 19 digits and a small exponent, converted exactly.
    // Returns false, with only blanks consumed, when the next token needs the
    // general path (end of file included).
    bool try_short_real(double& out) {
        static constexpr double kPow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                            1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                            1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
        for (;;) {
            if (!fill()) return false;
            while (cur_ < end_ && static_cast<unsigned char>(*cur_) <= 32) {
                if (*cur_ == '\n') ++line_;
                ++cur_;
            }
            if (cur_ < end_) break;
        }
        if (end_ - cur_ < 48) return false; // the token may run into the next chunk
        token_line_ = line_;
        // Digit runs stop at `limit`; sign, point and exponent add at most
        // seven bytes, so every byte looked at lies within the 48 available.
        const char* const limit = cur_ + 40;
        const char* p = cur_;
        const bool negative = *p == '-';
        if (*p == '-' || *p == '+') ++p;
        std::uint64_t mantissa = 0;
        const char* digits = p;
        while (p < limit && static_cast<unsigned>(*p - '0') < 10)
            mantissa = mantissa * 10 + static_cast<unsigned>(*p++ - '0');
        long count = p - digits;
        int exp10 = 0;
        if (*p == '.') {
            const char* fraction = ++p;
            while (p < limit && static_cast<unsigned>(*p - '0') < 10)
                mantissa = mantissa * 10 + static_cast<unsigned>(*p++ - '0');
            exp10 = -static_cast<int>(p - fraction);
            count += p - fraction;
        }
        if (count == 0 || count > 19) return false;
        if (*p == 'e' || *p == 'E') {
            ++p;
            const bool eneg = *p == '-';
            if (*p == '-' || *p == '+') ++p;
            if (static_cast<unsigned>(*p - '0') >= 10) return false;
            int e = 0;
            for (int i = 0; i < 3 && static_cast<unsigned>(*p - '0') < 10; ++i)
                e = e * 10 + (*p++ - '0');
            exp10 += eneg ? -e : e;
        }
        // The token must end here, and the value must be exact in one operation.
        if (static_cast<unsigned char>(*p) > 32 || mantissa > (std::uint64_t{1} << 53) || exp10 < -22 ||
            exp10 > 22)
            return false;
        const double m = static_cast<double>(mantissa);
        const double v = exp10 >= 0 ? m * kPow10[exp10] : m / kPow10[-exp10];
        out = negative ? -v : v;
        cur_ = p;
        return true;
    }

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
    throw ReadError("Invalid numeric input at line " + std::to_string(in.token_line()) + " of " + in.name());
}

// Decimal real with optional sign, "." as decimal point and optional exponent.
// Most values in result files have few digits: those are converted exactly by
// one IEEE multiplication or division of two exactly representable numbers
// (mantissa below 2^53, power of ten up to 1e22), which is correctly rounded
// and so bit-identical to strtod. Everything else goes to std::from_chars.
// Infinities, NaNs and values beyond the double range are refused.
bool parse_real(std::string_view tok, double& out) {
    static constexpr double kPow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                        1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                        1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
    const char* p = tok.data();
    const char* const end = p + tok.size();
    bool negative = false;
    if (p < end && (*p == '+' || *p == '-')) negative = *p++ == '-';
    const char* const body = p;
    std::uint64_t mantissa = 0;
    int digits = 0; // significant digits gathered in mantissa
    int exp10 = 0;
    bool any_digit = false, exact = true;
    if (end - p <= 19) {
        // Short token: at most 19 digits, so the mantissa cannot overflow.
        const char* q = p;
        for (; q < end && static_cast<unsigned>(*q - '0') < 10; ++q)
            mantissa = mantissa * 10 + static_cast<unsigned>(*q - '0');
        const char* dot = q;
        if (q < end && *q == '.')
            for (++q; q < end && static_cast<unsigned>(*q - '0') < 10; ++q)
                mantissa = mantissa * 10 + static_cast<unsigned>(*q - '0');
        const long ndigits = (q - p) - (dot < q && *dot == '.' ? 1 : 0);
        if (ndigits > 0 && (q == end || *q == 'e' || *q == 'E')) {
            any_digit = true;
            exp10 = dot < q && *dot == '.' ? -static_cast<int>(q - dot - 1) : 0;
            p = q;
            goto exponent;
        }
        mantissa = 0;
    }
    for (; p < end && static_cast<unsigned>(*p - '0') < 10; ++p) {
        any_digit = true;
        if (digits < 19) {
            mantissa = mantissa * 10 + static_cast<unsigned>(*p - '0');
            if (mantissa) ++digits;
        } else {
            exact = false;
        }
    }
    if (p < end && *p == '.') {
        for (++p; p < end && static_cast<unsigned>(*p - '0') < 10; ++p) {
            any_digit = true;
            if (digits < 19) {
                mantissa = mantissa * 10 + static_cast<unsigned>(*p - '0');
                if (mantissa) ++digits;
                --exp10;
            } else {
                exact = false;
            }
        }
    }
    if (!any_digit) return false;
exponent:
    if (p < end && (*p == 'e' || *p == 'E')) {
        ++p;
        bool eneg = false;
        if (p < end && (*p == '+' || *p == '-')) eneg = *p++ == '-';
        if (p == end) return false;
        int e = 0;
        for (; p < end && static_cast<unsigned>(*p - '0') < 10; ++p)
            if (e < 100000) e = e * 10 + (*p - '0');
        exp10 += eneg ? -e : e;
    }
    if (p != end) return false;
    if (exact && mantissa <= (std::uint64_t{1} << 53) && exp10 >= -22 && exp10 <= 22) {
        const double m = static_cast<double>(mantissa);
        const double v = exp10 >= 0 ? m * kPow10[exp10] : m / kPow10[-exp10];
        out = negative ? -v : v;
        return true;
    }
    double v = 0;
    const auto [ptr, ec] = std::from_chars(body, end, v, std::chars_format::general);
    if (ec != std::errc() || ptr != end || !std::isfinite(v)) return false;
    out = negative ? -v : v;
    return true;
}

// Integer: decimal digits with an optional sign, within 32 bits.
bool parse_int(std::string_view tok, std::int32_t& out) {
    const char* p = tok.data();
    const char* const end = p + tok.size();
    bool negative = false;
    if (p < end && (*p == '+' || *p == '-')) negative = *p++ == '-';
    if (p == end) return false;
    std::int64_t v = 0;
    for (; p < end; ++p) {
        if (static_cast<unsigned>(*p - '0') >= 10) return false;
        v = v * 10 + (*p - '0');
        if (v > std::int64_t{1} << 32) return false;
    }
    v = negative ? -v : v;
    if (v < std::numeric_limits<std::int32_t>::min() || v > std::numeric_limits<std::int32_t>::max())
        return false;
    out = static_cast<std::int32_t>(v);
    return true;
}

// End of file reads as 0.
std::int32_t read_int(Scanner& in) {
    const std::string_view tok = in.next_token();
    std::int32_t v = 0;
    if (!tok.empty() && !parse_int(tok, v)) invalid_number(in);
    return v;
}

double read_real(Scanner& in) {
    double v = 0;
    if (in.try_short_real(v)) return v;
    const std::string_view tok = in.next_token();
    if (!tok.empty() && !parse_real(tok, v)) invalid_number(in);
    return v;
}

// Asks the kernel to back a freshly allocated block with pages from a second
// thread, ahead of the parser that writes into it front to back. Populating
// does not change the contents, so the race with the parser is harmless; on
// kernels without MADV_POPULATE_WRITE it does nothing.
class PageWarmer {
  public:
    PageWarmer(void* data, std::size_t bytes) {
        if (bytes < (64u << 20)) return;
        const std::uintptr_t page = 4096;
        const std::uintptr_t begin = (reinterpret_cast<std::uintptr_t>(data) + page - 1) & ~(page - 1);
        const std::uintptr_t end = (reinterpret_cast<std::uintptr_t>(data) + bytes) & ~(page - 1);
        try {
            thread_ = std::jthread([begin, end](std::stop_token stop) {
                constexpr std::uintptr_t kStep = 8u << 20;
                for (std::uintptr_t p = begin; p < end && !stop.stop_requested(); p += kStep) {
                    if (::madvise(reinterpret_cast<void*>(p), std::min(kStep, end - p), kPopulateWrite) != 0)
                        return;
                }
            });
        } catch (const std::system_error&) {
            // No thread: the parser faults the pages in itself.
        }
    }

  private:
    static constexpr int kPopulateWrite = 23; // MADV_POPULATE_WRITE, Linux 5.14
    std::jthread thread_;
};

// What the system can give us now: MemAvailable, or the physical memory
// when /proc cannot be read.
std::uint64_t machine_memory() {
    if (std::FILE* f = std::fopen("/proc/meminfo", "r")) {
        char line[256];
        unsigned long long kib = 0;
        while (std::fgets(line, sizeof line, f))
            if (std::sscanf(line, "MemAvailable: %llu kB", &kib) == 1) break;
        std::fclose(f);
        if (kib) return static_cast<std::uint64_t>(kib) * 1024;
    }
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
        throw ReadError("Invalid sizes at line " + std::to_string(size_line) + " of " + in.name() + ": " +
                        std::to_string(nnode) + " nodes and " + std::to_string(nelem) + " elements");

    // Every real node or element record takes at least two bytes, so a size
    // line announcing more records than the file has bytes is broken; refuse
    // it before allocating and looping over records that are not there.
    const long long file_size = in.total_size();
    if (file_size >= 0 && (nnode > file_size || nelem > file_size))
        throw ReadError(in.name() + " announces " + std::to_string(nnode) + " nodes and " +
                        std::to_string(nelem) + " elements at line " + std::to_string(size_line) +
                        " but holds only " + std::to_string(file_size) + " bytes");

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
    m.coord_data.resize(rows * m.coord_cols());
    m.listas_data.resize(rows * m.listas_cols());
    // Fault the pages in on the other core while this one parses.
    PageWarmer warm_coord(m.coord_data.data(), m.coord_data.size() * sizeof(double));
    m.namelista.assign(static_cast<std::size_t>(m.nlista) + 1, std::string());
    m.maxlista.assign(static_cast<std::size_t>(m.nlista) + 1, {0.0, 0.0});
    m.conec_start.assign(static_cast<std::size_t>(nelem) + 2, 0);
    m.conec_data.clear();
    m.conec_data.reserve(static_cast<std::size_t>(nelem) + 1);    // grown below as rows arrive
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
            return "Element " + std::to_string(e) + " at line " + std::to_string(line) + " of " + in.name() +
                   ": ";
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
