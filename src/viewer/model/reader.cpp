// Result file reader.
//
// Pass 1 cuts the file into chunks and scans them in parallel for the marker
// lines ("#" in column 1) and the line ends. That gives every marker with its
// line number, the number of result lists (the markers after the third) and
// a line start near every chunk boundary, with its line number.
//
// Pass 2 reads block by block: sizes, nodes, elements, then each list. A
// block's records start on the line after its marker (after the name line for
// a list) and cannot reach past the next marker: a marker line's first token
// is never a number, so a record that needs it is an error at that line, and
// the block ends at end of file otherwise. Inside a block, records may span
// lines, so a chunk cannot know where its first record starts or what number
// it has. Each chunk guesses the common layout: a record starts on its first
// line and every line of the block before it held exactly one record. It
// parses under that guess, writing straight into the model, and tells how
// many records it finished and whether its end cut a record. The guesses are
// then checked in file order; a chunk whose guess the chunks before it
// confirm is adopted, and its error, if any, is the file's first error. At
// the first join that does not match, the rest of the block is read on one
// thread from the last record boundary known, exactly as the one-thread path
// reads it. So arrays, errors, line numbers and warnings do not depend on the
// number of threads or the chunk size.
//
// Element rows have a length that depends on their content, so element
// chunks parse into a buffer each and are adopted in waves, which keeps the
// buffers bounded. The file is read with pread through one window per
// thread: peak memory is the model plus a few MiB.

#include "viewer/model/reader.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <fcntl.h>
#include <limits>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <sys/mman.h>
#include <sys/stat.h>
#include <system_error>
#include <thread>
#include <unistd.h>
#include <utility>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace orv {
namespace {

constexpr std::size_t kDefaultChunk = 1u << 20;
constexpr std::size_t kMaxWindow = (1u << 20) + (64u << 10);
constexpr std::size_t kMaxToken = 4096; // no valid number is anywhere near this long
constexpr int kMaxThreads = 256;
// Progress weights of a byte in pass 1 and in pass 2.
constexpr std::uint64_t kScanWeight = 1;
constexpr std::uint64_t kParseWeight = 9;

std::string base_name(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Unwinds a worker once the read is stopping (cancelled, or failed elsewhere).
struct Stopped {};

// The bytes of the input: a file read with pread, or a buffer in memory.
class Source {
  public:
    Source(int fd, std::uint64_t size, std::string name) : fd_(fd), size_(size), name_(std::move(name)) {}
    Source(const char* data, std::size_t size, std::string name)
        : data_(data), size_(size), name_(std::move(name)) {}

    std::uint64_t size() const { return size_; }
    const std::string& name() const { return name_; }

    // Bytes [offset, offset + len): in memory, or read into `buf` (len bytes).
    const char* view(std::uint64_t offset, std::size_t len, char* buf) const {
        if (data_) return data_ + offset;
        std::size_t done = 0;
        while (done < len) {
            const ssize_t got = ::pread(fd_, buf + done, len - done, static_cast<off_t>(offset + done));
            if (got > 0) {
                done += static_cast<std::size_t>(got);
            } else if (got == 0) {
                throw ReadError(name_ + " became shorter while it was read");
            } else if (errno != EINTR) {
                throw ReadError("I/O error reading " + name_ + ": " + std::strerror(errno));
            }
        }
        return buf;
    }

  private:
    const char* data_ = nullptr;
    int fd_ = -1;
    std::uint64_t size_;
    std::string name_;
};

// What one read shares between its threads.
class Job {
  public:
    Job(const Source& src, const ReaderOptions& options)
        : src(src), progress_(options.progress), caller_(std::this_thread::get_id()) {
        chunk = options.chunk_bytes ? options.chunk_bytes : kDefaultChunk;
        window = std::min(chunk + chunk / 16 + 64, kMaxWindow);
        threads = options.threads > 0 ? options.threads : default_reader_threads();
        threads = std::clamp(threads, 1, kMaxThreads);
        buffers_.resize(static_cast<std::size_t>(threads));
    }

    const Source& src;
    std::size_t chunk;
    std::size_t window;
    int threads;
    std::atomic<bool> stop{false};
    bool cancelled = false; // by the progress callback

    // The read window of thread `t` (0 is the calling thread).
    char* buffer(std::size_t t) {
        auto& b = buffers_[t];
        if (b.empty()) b.resize(window);
        return b.data();
    }

    // Counts work done; on the calling thread, tells the progress callback.
    void worked(std::uint64_t units) {
        done_.fetch_add(units, std::memory_order_relaxed);
        if (stop.load(std::memory_order_relaxed)) throw Stopped{};
        if (std::this_thread::get_id() == caller_) tell();
    }

    // Tells the progress callback how far the read is (calling thread only);
    // when it asks to stop, makes every thread stop.
    void tell() {
        if (!progress_ || cancelled) return;
        const std::uint64_t size = src.size();
        const std::uint64_t done = done_.load(std::memory_order_relaxed) / (kScanWeight + kParseWeight);
        if (!progress_(std::min(size, done), size)) {
            cancelled = true;
            stop = true;
            throw Stopped{};
        }
    }

  private:
    const std::function<bool(std::uint64_t, std::uint64_t)>& progress_;
    std::thread::id caller_;
    std::vector<std::vector<char>> buffers_;
    std::atomic<std::uint64_t> done_{0};
};

// Runs fn(item, buffer) for items 0..count-1 on up to job.threads threads,
// the calling thread included. The first exception stops the others and is
// rethrown here.
template <class Fn> void run_parallel(Job& job, std::size_t count, Fn fn) {
    std::atomic<std::size_t> next{0};
    std::exception_ptr failure;
    std::mutex mutex;
    std::condition_variable finished;
    std::size_t running = 0; // helpers still working, under `mutex`
    auto work = [&](std::size_t t) {
        try {
            char* buf = job.buffer(t);
            for (std::size_t i; (i = next.fetch_add(1)) < count;) {
                if (job.stop.load(std::memory_order_relaxed)) throw Stopped{};
                fn(i, buf);
            }
        } catch (const Stopped&) {
        } catch (...) {
            std::lock_guard lock(mutex);
            if (!failure) failure = std::current_exception();
            job.stop = true;
        }
    };
    const std::size_t helpers = std::min(static_cast<std::size_t>(job.threads) - 1, count ? count - 1 : 0);
    std::vector<std::jthread> pool;
    pool.reserve(helpers);
    for (std::size_t h = 1; h <= helpers; ++h) {
        try {
            {
                std::lock_guard lock(mutex);
                ++running;
            }
            pool.emplace_back([&, h] {
                work(h);
                std::lock_guard lock(mutex);
                --running;
                finished.notify_all();
            });
        } catch (const std::system_error&) {
            std::lock_guard lock(mutex);
            --running;
            break; // no more threads: the others do the work
        }
    }
    // The calling thread works too, and while the helpers finish it keeps
    // telling the progress callback, so that a window stays alive.
    work(0);
    for (;;) {
        std::unique_lock lock(mutex);
        if (finished.wait_for(lock, std::chrono::milliseconds(20), [&] { return running == 0; })) break;
        lock.unlock();
        try {
            job.tell();
        } catch (const Stopped&) {
        }
    }
    pool.clear(); // joins
    if (failure) std::rethrow_exception(failure);
    if (job.stop) throw Stopped{};
}

// Byte range [begin, end) of the input read through a window, with a
// one-byte look-ahead. Tracks the line number for messages.
class Scanner {
  public:
    Scanner(Job& job, char* buf, std::uint64_t begin, std::uint64_t end, long line)
        : job_(job), buf_(buf), win_off_(begin), stop_(end), line_(line), token_line_(line) {}

    long line() const { return line_; }
    long token_line() const { return token_line_; }
    const std::string& name() const { return job_.src.name(); }
    // Offset in the input of the next byte.
    std::uint64_t offset() const { return win_off_ + static_cast<std::uint64_t>(cur_ - win_); }

    // Moves past the end of the current line (or to the end of the range).
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
    // token; an empty view means the range has no more tokens. A token longer
    // than kMaxToken comes back as "?", which no number parser accepts.
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
        if (cur_ < end_ || offset() >= stop_) {
            const std::string_view tok(start, static_cast<std::size_t>(cur_ - start));
            return tok.size() > kMaxToken ? std::string_view("?") : tok;
        }
        // The token runs into the next window: gather it.
        spill_.assign(start, cur_);
        std::size_t length = spill_.size();
        while (fill()) {
            while (cur_<end_&& static_cast<unsigned char>(*cur_)> 32) {
                if (spill_.size() <= kMaxToken) spill_.push_back(*cur_);
                ++length;
                ++cur_;
            }
            if (cur_ < end_) break;
        }
        return length > kMaxToken ? std::string_view("?") : std::string_view(spill_);
    }

    // The common case of a real in one pass over the bytes: a plain decimal
    // of at most 19 digits and a small exponent, converted exactly. Returns
    // false, with only blanks consumed, when the next token needs the general
    // path (end of range included).
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
        if (end_ - cur_ < 48) return false; // the token may run into the next window
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

    // The range ended where a record still needed a number. It ends at a
    // marker line, whose first token is never a number.
    [[noreturn]] void fail_at_end() {
        token_line_ = line_;
        fail();
    }

    [[noreturn]] void fail() const {
        throw ReadError("Invalid numeric input at line " + std::to_string(token_line_) + " of " + name());
    }

  private:
    // True when at least one byte is available at cur_. At the end of the
    // range nothing more is read.
    bool fill() {
        if (cur_ < end_) return true;
        const std::uint64_t pos = offset();
        if (pos >= stop_) return false;
        const std::size_t len = static_cast<std::size_t>(std::min<std::uint64_t>(job_.window, stop_ - pos));
        win_ = job_.src.view(pos, len, buf_);
        win_off_ = pos;
        cur_ = win_;
        end_ = win_ + len;
        job_.worked(len * kParseWeight);
        return true;
    }

    Job& job_;
    char* buf_;
    const char* win_ = nullptr;
    const char* cur_ = nullptr;
    const char* end_ = nullptr;
    std::uint64_t win_off_; // input offset of win_
    std::uint64_t stop_;
    std::string spill_;
    long line_;
    long token_line_;
};

// Whether a well-formed real token (sign already taken off) is below 1 in
// magnitude: then a value out of the double range underflowed.
bool below_one(const char* p, const char* end) {
    long int_digits = 0, zeros = 0; // significant digits before the point; zeros after it before any
    bool point = false, significant = false;
    for (; p < end && *p != 'e' && *p != 'E'; ++p) {
        if (*p == '.') {
            point = true;
        } else if (significant || *p != '0') {
            significant = true;
            if (!point) ++int_digits;
        } else if (point) {
            ++zeros;
        }
    }
    if (!significant) return true;
    long e = 0;
    if (p < end) {
        ++p;
        const bool eneg = p < end && *p == '-';
        if (p < end && (*p == '+' || *p == '-')) ++p;
        for (; p < end; ++p)
            if (e < 1000000) e = e * 10 + (*p - '0');
        if (eneg) e = -e;
    }
    // The value lies in [10^(m - 1), 10^m).
    const long m = (int_digits > 0 ? int_digits : -zeros) + e;
    return m <= 0;
}

// Decimal real with optional sign, "." as decimal point and optional exponent.
// Most values in result files have few digits: those are converted exactly by
// one IEEE multiplication or division of two exactly representable numbers
// (mantissa below 2^53, power of ten up to 1e22), which is correctly rounded
// and so bit-identical to strtod. Everything else goes to std::from_chars.
// A value too small for a double reads as 0 of its sign, as with strtod;
// infinities, NaNs and values beyond the double range are refused.
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
    if (ec == std::errc::result_out_of_range && ptr == end && below_one(body, end)) {
        out = negative ? -0.0 : 0.0; // too small for a double
        return true;
    }
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

// The next number of the range; false when the range has no more tokens.
bool next_int(Scanner& in, std::int32_t& v) {
    const std::string_view tok = in.next_token();
    if (tok.empty()) return false;
    if (!parse_int(tok, v)) in.fail();
    return true;
}

bool next_real(Scanner& in, double& v) {
    if (in.try_short_real(v)) return true;
    const std::string_view tok = in.next_token();
    if (tok.empty()) return false;
    if (!parse_real(tok, v)) in.fail();
    return true;
}

// Counts '\n' in [p, p + n): sixteen bytes at a time where SSE2 exists
// (every x86-64), eight at a time elsewhere.
std::size_t count_newlines(const char* p, std::size_t n) {
    std::size_t count = 0;
    std::size_t i = 0;
#ifdef __SSE2__
    const __m128i newline = _mm_set1_epi8('\n');
    while (i + 16 <= n) {
        // Byte counters of up to 255 matches each, then summed.
        __m128i bytes = _mm_setzero_si128();
        for (int k = 0; k < 255 && i + 16 <= n; ++k, i += 16) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
            bytes = _mm_sub_epi8(bytes, _mm_cmpeq_epi8(v, newline));
        }
        const __m128i sums = _mm_sad_epu8(bytes, _mm_setzero_si128());
        count += static_cast<std::size_t>(_mm_cvtsi128_si64(sums)) +
                 static_cast<std::size_t>(_mm_cvtsi128_si64(_mm_unpackhi_epi64(sums, sums)));
    }
#else
    constexpr std::uint64_t kOnes = 0x0101010101010101ull, kLow7 = 0x7f7f7f7f7f7f7f7full;
    for (; i + 8 <= n; i += 8) {
        std::uint64_t w;
        std::memcpy(&w, p + i, 8);
        const std::uint64_t x = w ^ (kOnes * '\n');                   // zero bytes where '\n' was
        const std::uint64_t t = ~(((x & kLow7) + kLow7) | x | kLow7); // high bit of each zero byte
        count += static_cast<std::size_t>(((t >> 7) * kOnes) >> 56);  // sum of the eight bits
    }
#endif
    for (; i < n; ++i)
        count += p[i] == '\n';
    return count;
}

// ---- Pass 1: markers and line-aligned cuts ----

struct LinePos {
    std::uint64_t offset; // a line start
    long line;            // its line number, from 1
};

struct Layout {
    std::vector<LinePos> markers; // every line beginning with '#', in order
    std::vector<LinePos> cuts;    // line starts about every chunk bytes, offset 0 first
};

Layout scan(Job& job) {
    const std::uint64_t size = job.src.size();
    const std::size_t pieces = static_cast<std::size_t>(size ? (size - 1) / job.chunk + 1 : 0);
    struct Piece {
        std::vector<std::pair<std::uint64_t, long>> markers; // offset, line ends before it in the piece
        long newlines = 0;
        std::uint64_t first_newline = UINT64_MAX;
        char last = '\n';
    };
    std::vector<Piece> found(pieces);
    run_parallel(job, pieces, [&](std::size_t i, char* buf) {
        Piece& piece = found[i];
        const std::uint64_t begin = i * job.chunk;
        const std::uint64_t end = std::min<std::uint64_t>(size, begin + job.chunk);
        char before = begin == 0 ? '\n' : *job.src.view(begin - 1, 1, buf);
        long newlines = 0;
        for (std::uint64_t pos = begin; pos < end;) {
            const std::size_t len = static_cast<std::size_t>(std::min<std::uint64_t>(job.window, end - pos));
            const char* p = job.src.view(pos, len, buf);
            const char* seg = p;
            for (const char* q = p;
                 const void* hit = std::memchr(q, '#', static_cast<std::size_t>(p + len - q));) {
                const char* h = static_cast<const char*>(hit);
                if ((h == p ? before : h[-1]) == '\n') {
                    newlines += static_cast<long>(count_newlines(seg, static_cast<std::size_t>(h - seg)));
                    seg = h;
                    piece.markers.emplace_back(pos + static_cast<std::uint64_t>(h - p), newlines);
                }
                q = h + 1;
            }
            newlines += static_cast<long>(count_newlines(seg, static_cast<std::size_t>(p + len - seg)));
            if (piece.first_newline == UINT64_MAX)
                if (const void* nl = std::memchr(p, '\n', len))
                    piece.first_newline = pos + static_cast<std::uint64_t>(static_cast<const char*>(nl) - p);
            before = p[len - 1];
            pos += len;
            job.worked(len * kScanWeight);
        }
        piece.newlines = newlines;
        piece.last = before;
    });

    Layout layout;
    layout.cuts.push_back({0, 1});
    long lines = 1; // line number at the start of piece i
    std::size_t marker_count = 0;
    for (const Piece& piece : found)
        marker_count += piece.markers.size();
    layout.markers.reserve(marker_count);
    for (std::size_t i = 0; i < pieces; ++i) {
        const Piece& piece = found[i];
        const std::uint64_t begin = i * job.chunk;
        if (i > 0) {
            LinePos cut{0, 0};
            if (found[i - 1].last == '\n')
                cut = {begin, lines};
            else if (piece.first_newline != UINT64_MAX)
                cut = {piece.first_newline + 1, lines + 1};
            if (cut.line && cut.offset < size && cut.offset > layout.cuts.back().offset)
                layout.cuts.push_back(cut);
        }
        for (const auto& [offset, before] : piece.markers)
            layout.markers.push_back({offset, lines + before});
        lines += piece.newlines;
    }
    return layout;
}

// ---- Pass 2: blocks ----

enum class EndKind {
    Chunk,  // the range ends at a chunk join: a record cut there goes on in the next chunk
    Marker, // the range ends at a marker line: a record still needing a number is an error there
    Eof     // the range ends at end of file: missing numbers read as 0
};

// The records of one block: from `begin` (a line start) to the next marker or end of file.
struct Region {
    std::uint64_t begin = 0;
    std::uint64_t end = 0;
    long line = 1;
    std::size_t end_marker = SIZE_MAX; // index of the marker at `end`, SIZE_MAX at end of file

    EndKind end_kind() const { return end_marker == SIZE_MAX ? EndKind::Eof : EndKind::Marker; }
};

Region region_from(const Layout& layout, std::uint64_t size, std::uint64_t begin, long line) {
    const auto it = std::lower_bound(layout.markers.begin(), layout.markers.end(), begin,
                                     [](const LinePos& m, std::uint64_t o) { return m.offset < o; });
    if (it == layout.markers.end()) return {begin, size, line, SIZE_MAX};
    return {begin, it->offset, line, static_cast<std::size_t>(it - layout.markers.begin())};
}

// The block after the region `prev`: its records start on the line after the
// marker that ended `prev`; with no such marker the block is empty at end of file.
// For a result list, `name` receives the line after the marker and the
// records start after it.
Region next_region(Job& job, const Layout& layout, const Region& prev, std::string* name) {
    const std::uint64_t size = job.src.size();
    if (prev.end_marker == SIZE_MAX) return {size, size, prev.line, SIZE_MAX};
    const LinePos& marker = layout.markers[prev.end_marker];
    Scanner in(job, job.buffer(0), marker.offset, size, marker.line);
    in.skip_line();
    if (name) *name = in.read_line();
    return region_from(layout, size, in.offset(), in.line());
}

// A chunk of a region, and the guess it parses under: it starts at a record
// boundary and its first record has number `base` (0-based in the block).
struct Chunk {
    std::uint64_t begin, end;
    long line;
    std::int64_t base;
};

std::vector<Chunk> chunks_of(const Layout& layout, const Region& r) {
    std::vector<Chunk> chunks;
    chunks.push_back({r.begin, r.end, r.line, 0});
    auto it = std::upper_bound(layout.cuts.begin(), layout.cuts.end(), r.begin,
                               [](std::uint64_t o, const LinePos& c) { return o < c.offset; });
    for (; it != layout.cuts.end() && it->offset < r.end; ++it) {
        chunks.back().end = it->offset;
        chunks.push_back({it->offset, r.end, it->line, it->line - r.line});
    }
    return chunks;
}

// Where a parse of part of a block stopped.
struct Progress {
    std::int64_t next = 0;    // number of the next record (records before it are finished)
    std::uint64_t resume = 0; // input offset after the last finished record
    long resume_line = 1;     // and its line number
    bool cut = false;         // a chunk's end cut a record: the next chunk's guess is wrong
    bool early_end = false;   // end of file came with records left
    std::int64_t read = 0;    // at an early end: records read in full
    std::int64_t written = 0; // one past the highest record number written to
    std::optional<std::string> error;
    bool skipped = false; // the chunk's guess put it past the block's last record
};

// Value ranges with the tie rule of a running minimum and maximum: of equal
// values (0 and -0), the first one stays.
struct Range {
    double lo = std::numeric_limits<double>::infinity();
    double hi = -std::numeric_limits<double>::infinity();
    void add(double v) {
        if (v < lo) lo = v;
        if (v > hi) hi = v;
    }
    void add(const Range& later) {
        if (later.lo < lo) lo = later.lo;
        if (later.hi > hi) hi = later.hi;
    }
};

struct RealStats {
    double maxscale = 0; // node block
    Range range;         // result list values
};

// Stores a value into the model's arrays. A chunk parsed under a wrong guess
// may write a row that another thread writes at the same time; the one-thread
// reading that follows rewrites every such row, but the writes must still not
// race: relaxed atomic stores, which are plain stores on common machines.
inline void put(double& slot, double v) {
    std::atomic_ref<double>(slot).store(v, std::memory_order_relaxed);
}

// Reads records first..count-1 (0-based) of the node block (list 0: six
// reals each into coord 1..6) or of result list `list` (three reals into its
// coord columns, the value into listas). At end of file the record under way
// is completed with zeros and the reading stops; the caller clears the rest.
template <bool kList>
void read_reals(Scanner& in, ResultModel& m, int list, std::int64_t first, std::int64_t count,
                EndKind end_kind, Progress& out, RealStats& stats) {
    const std::size_t cols = m.coord_cols();
    const std::size_t lcols = m.listas_cols();
    constexpr int kWidth = kList ? 4 : 6;
    const std::size_t col0 = kList ? 3 * static_cast<std::size_t>(list) + 4 : 1;
    double* const coord = m.coord_data.data();
    double* const listas = m.listas_data.data() + list;
    out.next = first;
    out.resume = in.offset();
    out.resume_line = in.line();
    // Plain locals, not the struct: the loop keeps them in registers.
    double maxscale = stats.maxscale, lo = stats.range.lo, hi = stats.range.hi;
    const auto keep = [&] { stats = {maxscale, {lo, hi}}; };
    for (std::int64_t r = first; r < count; ++r) {
        const std::size_t i = static_cast<std::size_t>(r) + 1;
        // Straight into the arrays: a value held back on the stack and
        // copied later costs a store-forwarding stall per record.
        double* const row = coord + i * cols + col0;
        double* const value = listas + i * lcols;
        out.written = r + 1; // before any value lands: a bad token may stop the record halfway
        // One straight run of code per number, unrolled at compile time: a
        // loop over the numbers of a record costs branch mispredictions.
        int j = 0;
        const auto take = [&]<int... J>(std::integer_sequence<int, J...>) {
            (([&] {
                 double x;
                 if (!next_real(in, x)) return false;
                 if constexpr (kList && J == 3) {
                     put(*value, x);
                     if (x < lo) lo = x;
                     if (x > hi) hi = x;
                 } else {
                     put(row[J], x);
                     if constexpr (!kList)
                         if (std::fabs(x) > maxscale) maxscale = std::fabs(x);
                 }
                 ++j;
                 return true;
             }()) &&
             ...);
        };
        take(std::make_integer_sequence<int, kWidth>());
        if (j < kWidth) { // the range ran out
            if (end_kind == EndKind::Chunk) {
                out.cut = j > 0;
                keep();
                return;
            }
            if (end_kind == EndKind::Marker) in.fail_at_end();
            // End of file: the rest of this record reads as 0, and reading stops.
            for (; j < kWidth; ++j) {
                if (kList && j == 3) {
                    put(*value, 0.0);
                    if (0 < lo) lo = 0;
                    if (0 > hi) hi = 0;
                } else {
                    put(row[j], 0.0);
                }
            }
            out.early_end = true;
            out.read = r;
            break;
        }
        in.skip_line();
        out.next = r + 1;
        out.resume = in.offset();
        out.resume_line = in.line();
    }
    keep();
}

void read_reals(Scanner& in, ResultModel& m, int list, std::int64_t first, std::int64_t count,
                EndKind end_kind, Progress& out, RealStats& stats) {
    if (list)
        read_reals<true>(in, m, list, first, count, end_kind, out, stats);
    else
        read_reals<false>(in, m, list, first, count, end_kind, out, stats);
}

// Element rows written by read_elements: straight into the model, or into a
// chunk's own buffer.
class ModelRows {
  public:
    explicit ModelRows(ResultModel& m) : m_(m) {}
    std::int32_t* row(std::size_t len) {
        auto& data = m_.conec_data;
        start_ = data.size();
        if (start_ + len > data.capacity())
            // Grow by a quarter rather than doubling, to keep the peak close to the final size.
            data.reserve(std::max(start_ + len, data.capacity() + data.capacity() / 4));
        data.resize(start_ + len);
        return data.data() + start_;
    }
    void end_row(std::int64_t e) {
        m_.conec_start[static_cast<std::size_t>(e) + 2] = static_cast<std::int64_t>(m_.conec_data.size());
    }
    void drop_row() { m_.conec_data.resize(start_); }

  private:
    ResultModel& m_;
    std::size_t start_ = 0;
};

class ChunkRows {
  public:
    std::int32_t* row(std::size_t len) {
        start_ = data.size();
        data.resize(start_ + len);
        return data.data() + start_;
    }
    void end_row(std::int64_t) { ends.push_back(static_cast<std::int64_t>(data.size())); }
    void drop_row() { data.resize(start_); }

    std::vector<std::int32_t> data;
    std::vector<std::int64_t> ends; // row ends within data

  private:
    std::size_t start_ = 0;
};

// Reads element records first..count-1 (0-based). At end of file the record
// under way is completed with zeros, as missing numbers read, and the
// reading stops; the caller adds the empty rows of the rest.
template <class Rows>
void read_elements(Scanner& in, std::int32_t nnode, std::int64_t first, std::int64_t count, EndKind end_kind,
                   Progress& out, Rows& rows) {
    out.next = first;
    out.resume = in.offset();
    out.resume_line = in.line();
    // The next integer; false when a chunk's range ends here, 0 at end of file.
    const auto number = [&](std::int32_t& v) {
        if (next_int(in, v)) return true;
        if (end_kind == EndKind::Chunk) return false;
        if (end_kind == EndKind::Marker) in.fail_at_end();
        v = 0;
        out.early_end = true;
        return true;
    };
    for (std::int64_t e = first; e < count; ++e) {
        std::int32_t family = 0, order = 0;
        if (!number(family)) return;
        if (out.early_end) {
            out.read = e; // nothing of this record: it and the rest are empty rows
            return;
        }
        const long line = in.token_line();
        if (!number(order)) {
            out.cut = true;
            return;
        }
        const auto where = [&] {
            return "Element " + std::to_string(e + 1) + " at line " + std::to_string(line) + " of " +
                   in.name() + ": ";
        };
        if (order < 0 || order > 99)
            throw ReadError(where() + "order " + std::to_string(order) + " is outside 0..99");
        if (family < 0 || family > std::numeric_limits<std::int32_t>::max() / 100 - 1)
            throw ReadError(where() + "family " + std::to_string(family) + " is not valid");
        const std::int64_t n = element_node_count(family, order);
        std::int32_t* row = rows.row(static_cast<std::size_t>(n) + 1);
        row[0] = family * 100 + order;
        for (std::int64_t j = 1; j <= n; ++j) {
            std::int32_t node = 0;
            if (!number(node)) {
                rows.drop_row();
                out.cut = true;
                return;
            }
            if (node < 1 || node > nnode)
                throw ReadError(where() + "node " + std::to_string(node) + " does not exist (the file has " +
                                std::to_string(nnode) + " nodes)");
            row[j] = node;
        }
        rows.end_row(e);
        out.next = e + 1;
        out.written = e + 1;
        if (out.early_end) {
            out.read = e; // completed with zeros
            return;
        }
        in.skip_line();
        out.resume = in.offset();
        out.resume_line = in.line();
    }
}

// What a block leaves for the warning: whether the file ended before its
// last record, and how many records were read in full.
struct BlockEnd {
    bool early = false;
    std::int64_t read = 0;
};

// Takes over where `o` stopped.
void follow(Progress& done, const Progress& o) {
    done.next = o.next;
    done.resume = o.resume;
    done.resume_line = o.resume_line;
    done.cut = o.cut;
    done.early_end = o.early_end;
    done.read = o.read;
}

// Whether chunk c (c > 0) parsed under a guess that the chunks before it,
// ending at `done`, confirm.
bool confirmed(const Progress& done, const Chunk& chunk, const Progress& o) {
    return !done.cut && !o.skipped && chunk.base == done.next;
}

// Node block (list 0) or result list `list`; folds the values into `stats`.
BlockEnd read_real_block(Job& job, const Layout& layout, const Region& r, ResultModel& m, int list,
                         RealStats& stats) {
    const std::int64_t count = m.nnode;
    const std::vector<Chunk> chunks = chunks_of(layout, r);
    Progress done;
    done.resume = r.begin;
    done.resume_line = r.line;
    bool serial = true; // read the rest of the block, from `done`, on this thread
    std::int64_t dirty = 0;
    if (job.threads > 1 && chunks.size() > 1 && count > 0) {
        std::vector<Progress> outs(chunks.size());
        std::vector<RealStats> chunk_stats(chunks.size());
        run_parallel(job, chunks.size(), [&](std::size_t c, char* buf) {
            const Chunk& ch = chunks[c];
            if (ch.base >= count) {
                outs[c].skipped = true;
                return;
            }
            Scanner in(job, buf, ch.begin, ch.end, ch.line);
            const EndKind kind = c + 1 < chunks.size() ? EndKind::Chunk : r.end_kind();
            try {
                read_reals(in, m, list, ch.base, count, kind, outs[c], chunk_stats[c]);
            } catch (const ReadError& e) {
                outs[c].error = e.what();
            }
        });
        for (const Progress& o : outs)
            dirty = std::max(dirty, o.written);
        // Adopt the chunks whose guess holds, in file order.
        for (std::size_t c = 0; c < chunks.size(); ++c) {
            const Progress& o = outs[c];
            if (c > 0 && !confirmed(done, chunks[c], o)) break;
            if (o.error) throw ReadError(*o.error);
            stats.maxscale = std::max(stats.maxscale, chunk_stats[c].maxscale);
            stats.range.add(chunk_stats[c].range);
            follow(done, o);
            if (done.early_end || done.next >= count) {
                serial = false;
                break;
            }
        }
    }
    if (serial) {
        Scanner in(job, job.buffer(0), done.resume, r.end, done.resume_line);
        Progress o;
        read_reals(in, m, list, done.next, count, r.end_kind(), o, stats);
        follow(done, o);
    }
    if (!done.early_end) return {};
    // The record under way was completed with zeros; clear what wrong guesses
    // wrote after it (the rest of the arrays is still zero from allocation).
    const std::size_t cols = m.coord_cols();
    const std::size_t col0 = list ? 3 * static_cast<std::size_t>(list) + 4 : 1;
    for (std::int64_t rec = done.read + 1; rec < std::min(dirty, count); ++rec) {
        const std::size_t i = static_cast<std::size_t>(rec) + 1;
        std::fill_n(m.coord_data.data() + i * cols + col0, list ? 3 : 6, 0.0);
        if (list) m.listas(i, static_cast<std::size_t>(list)) = 0;
    }
    // The missing values read as 0 count in the list's range; the record under way already added one.
    return {true, done.read};
}

BlockEnd read_element_block(Job& job, const Layout& layout, const Region& r, ResultModel& m) {
    const std::int64_t count = m.nelem;
    const std::vector<Chunk> chunks = chunks_of(layout, r);
    Progress done;
    done.resume = r.begin;
    done.resume_line = r.line;
    bool serial = true;
    if (job.threads > 1 && chunks.size() > 1 && count > 0) {
        // In waves, so that only a few chunk buffers per thread exist at a time.
        const std::size_t wave = 4 * static_cast<std::size_t>(job.threads);
        bool adopting = true;
        for (std::size_t w = 0; w < chunks.size() && adopting; w += wave) {
            const std::size_t n = std::min(wave, chunks.size() - w);
            std::vector<Progress> outs(n);
            std::vector<ChunkRows> rows(n);
            run_parallel(job, n, [&](std::size_t i, char* buf) {
                const std::size_t c = w + i;
                const Chunk& ch = chunks[c];
                if (ch.base >= count) {
                    outs[i].skipped = true;
                    return;
                }
                Scanner in(job, buf, ch.begin, ch.end, ch.line);
                const EndKind kind = c + 1 < chunks.size() ? EndKind::Chunk : r.end_kind();
                try {
                    read_elements(in, m.nnode, ch.base, count, kind, outs[i], rows[i]);
                } catch (const ReadError& e) {
                    outs[i].error = e.what();
                }
            });
            for (std::size_t i = 0; i < n; ++i) {
                const std::size_t c = w + i;
                const Progress& o = outs[i];
                if (c > 0 && !confirmed(done, chunks[c], o)) {
                    adopting = false;
                    break;
                }
                if (o.error) throw ReadError(*o.error);
                auto& data = m.conec_data;
                const ChunkRows& cr = rows[i];
                if (data.size() + cr.data.size() > data.capacity()) {
                    // Room for the rest of the block at this chunk's mean row length (no more than
                    // the rest of the file could hold), and at least a quarter more.
                    const double per_row = static_cast<double>(cr.data.size()) /
                                           static_cast<double>(std::max<std::size_t>(cr.ends.size(), 1));
                    const double rest = std::min(per_row * static_cast<double>(count - o.next),
                                                 static_cast<double>(r.end - chunks[c].end) / 2 + 1);
                    const std::size_t want = data.size() + cr.data.size() + static_cast<std::size_t>(rest);
                    data.reserve(std::max(want, data.capacity() + data.capacity() / 4));
                }
                const auto offset = static_cast<std::int64_t>(data.size());
                data.insert(data.end(), cr.data.begin(), cr.data.end());
                for (std::size_t j = 0; j < cr.ends.size(); ++j)
                    m.conec_start[static_cast<std::size_t>(chunks[c].base) + j + 2] = offset + cr.ends[j];
                follow(done, o);
                if (done.early_end || done.next >= count) {
                    serial = false;
                    adopting = false;
                    break;
                }
            }
        }
    }
    if (serial) {
        Scanner in(job, job.buffer(0), done.resume, r.end, done.resume_line);
        Progress o;
        ModelRows rows(m);
        read_elements(in, m.nnode, done.next, count, r.end_kind(), o, rows);
        follow(done, o);
    }
    if (!done.early_end) return {};
    // The rest are empty rows: code 0, no nodes.
    auto& data = m.conec_data;
    auto end = static_cast<std::int64_t>(data.size());
    data.resize(data.size() + static_cast<std::size_t>(count - done.next), 0);
    for (std::int64_t e = done.next; e < count; ++e)
        m.conec_start[static_cast<std::size_t>(e) + 2] = ++end;
    return {true, done.read};
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

std::string early_end(const std::string& name, const std::string& where, std::int64_t announced,
                      const char* what, std::int64_t read) {
    return name + " ends early" + where + ": " + std::to_string(announced) + " " + what + " announced, " +
           std::to_string(read) + " read; the rest read as 0.";
}

void read_model(Job& job, ResultModel& m, const ReaderOptions& options, std::vector<std::string>& warnings) {
    const std::string& name = job.src.name();
    const Layout layout = scan(job);
    if (layout.markers.empty())
        throw ReadError(name + " is not a result file: it has no line beginning with '#'.");
    const std::int64_t lists =
        layout.markers.size() >= 3 ? static_cast<std::int64_t>(layout.markers.size()) - 3 : 0;
    m.maxconec = 1;
    m.maxscale = 0;

    // Sizes: the record after the first marker.
    Region r = next_region(job, layout, Region{0, 0, 1, 0}, nullptr);
    std::int32_t sizes[2] = {0, 0};
    {
        Scanner in(job, job.buffer(0), r.begin, r.end, r.line);
        for (std::int32_t& v : sizes) {
            if (next_int(in, v)) continue;
            if (r.end_kind() == EndKind::Marker) in.fail_at_end();
            warnings.push_back(name + " ends early: its sizes are missing and read as 0.");
            break;
        }
    }
    const long size_line = r.line;
    const std::int32_t nnode = sizes[0];
    const std::int32_t nelem = sizes[1];
    if (nnode < 0 || nelem < 0)
        throw ReadError("Invalid sizes at line " + std::to_string(size_line) + " of " + name + ": " +
                        std::to_string(nnode) + " nodes and " + std::to_string(nelem) + " elements");

    // Every real node or element record takes at least two bytes, so a size
    // line announcing more records than the file has bytes is broken; refuse
    // it before allocating and looping over records that are not there.
    const auto file_size = static_cast<long long>(job.src.size());
    if (nnode > file_size || nelem > file_size)
        throw ReadError(name + " announces " + std::to_string(nnode) + " nodes and " + std::to_string(nelem) +
                        " elements at line " + std::to_string(size_line) + " but holds only " +
                        std::to_string(file_size) + " bytes");

    const std::uint64_t limit = options.memory_limit ? options.memory_limit : machine_memory();
    const std::uint64_t need = ResultModel::bytes_needed(nnode, nelem, lists);
    if (lists > std::numeric_limits<std::int32_t>::max() / 4 || need > limit)
        throw ReadError(name + " announces " + std::to_string(nnode) + " nodes, " + std::to_string(nelem) +
                        " elements and " + std::to_string(lists) + " result lists, which need " + mib(need) +
                        " of memory; only " + mib(limit) + " are available");

    m.nnode = nnode;
    m.nelem = nelem;
    m.nlista = static_cast<std::int32_t>(lists);
    const std::size_t rows = static_cast<std::size_t>(nnode) + 1;
    m.coord_data.resize(rows * m.coord_cols());
    m.listas_data.resize(rows * m.listas_cols());
    // Fault the pages in on another core while the parsers run.
    PageWarmer warm_coord(m.coord_data.data(), m.coord_data.size() * sizeof(double));
    m.namelista.assign(static_cast<std::size_t>(m.nlista) + 1, std::string());
    m.maxlista.assign(static_cast<std::size_t>(m.nlista) + 1, {0.0, 0.0});
    m.conec_start.assign(static_cast<std::size_t>(nelem) + 2, 0);
    m.conec_data.clear();
    m.conec_data.reserve(static_cast<std::size_t>(nelem) + 1);    // grown as rows arrive
    m.conec_data.resize(static_cast<std::size_t>(m.maxconec), 0); // row 0: code 0, no nodes
    m.conec_start[1] = m.maxconec;

    const auto warn = [&](std::string text) {
        if (warnings.empty()) warnings.push_back(std::move(text)); // the first block cut says it all
    };

    // Nodes.
    r = next_region(job, layout, r, nullptr);
    RealStats node_stats;
    if (const BlockEnd end = read_real_block(job, layout, r, m, 0, node_stats); end.early)
        warn(early_end(name, "", nnode, "nodes", end.read));
    m.maxscale = node_stats.maxscale;

    // Elements.
    r = next_region(job, layout, r, nullptr);
    if (const BlockEnd end = read_element_block(job, layout, r, m); end.early)
        warn(early_end(name, "", nelem, "elements", end.read));

    // Result lists. The common range folds in each list's final range: the
    // order of comparisons is that of a running update per node, where the
    // first list's common range restarts at every node.
    auto& all = m.maxlista[0];
    for (std::int32_t k = 1; k <= m.nlista; ++k) {
        r = next_region(job, layout, r, &m.namelista[static_cast<std::size_t>(k)]);
        RealStats stats;
        if (const BlockEnd end = read_real_block(job, layout, r, m, k, stats); end.early)
            warn(early_end(name, " in result list " + std::to_string(k) + " of " + std::to_string(m.nlista),
                           nnode, "nodes", end.read));
        if (nnode == 0) continue;
        const std::array<double, 2> range{stats.range.lo, stats.range.hi};
        m.maxlista[static_cast<std::size_t>(k)] = range;
        if (k == 1) {
            const double last = m.listas(static_cast<std::size_t>(nnode), 1);
            all = {range[0] < last ? range[0] : last, range[1] > last ? range[1] : last};
        } else {
            if (range[0] < all[0]) all[0] = range[0];
            if (range[1] > all[1]) all[1] = range[1];
        }
    }
    m.valmin = all[0];
    m.valmax = all[1];
}

ReadResult read_with(const Source& src, const std::string& namefile, const ReaderOptions& options) {
    ReadResult out;
    out.model.namefile = namefile;
    Job job(src, options);
    try {
        read_model(job, out.model, options, out.warnings);
    } catch (const Stopped&) {
        throw ReadCancelled("Reading " + src.name() + " was cancelled");
    } catch (const std::bad_alloc&) {
        throw ReadError("Not enough memory to read " + src.name());
    } catch (const std::length_error&) {
        throw ReadError("Not enough memory to read " + src.name());
    }
    return out;
}

const char* file_kind(mode_t mode) {
    if (S_ISDIR(mode)) return "a directory";
    if (S_ISFIFO(mode)) return "a FIFO";
    if (S_ISCHR(mode)) return "a character device";
    if (S_ISBLK(mode)) return "a block device";
    if (S_ISSOCK(mode)) return "a socket";
    return "not a regular file";
}

} // namespace

int default_reader_threads() {
    if (const char* env = std::getenv("ORVANEL_THREADS")) {
        char* end = nullptr;
        const long n = std::strtol(env, &end, 10);
        if (end != env && *end == '\0' && n > 0) return static_cast<int>(std::min<long>(n, kMaxThreads));
    }
    const unsigned n = std::thread::hardware_concurrency();
    return n ? static_cast<int>(std::min<unsigned>(n, kMaxThreads)) : 1;
}

ReadResult read_result(const std::string& path, const ReaderOptions& options) {
    // Non-blocking, so that a FIFO without a writer cannot hang the open;
    // anything but a regular file is refused before a byte is read.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) throw ReadError("Cannot open " + path + ": " + std::strerror(errno));
    const std::unique_ptr<int, void (*)(int*)> closer(new int(fd), [](int* f) {
        ::close(*f);
        delete f;
    });
    struct stat st {};
    if (::fstat(fd, &st) != 0) throw ReadError("Cannot open " + path + ": " + std::strerror(errno));
    if (!S_ISREG(st.st_mode))
        throw ReadError("Cannot open " + path + ": it is " + file_kind(st.st_mode) + ", not a regular file");
    const Source src(fd, static_cast<std::uint64_t>(st.st_size), base_name(path));
    return read_with(src, path, options);
}

ReadResult read_result_bytes(const char* data, std::size_t size, const std::string& name,
                             const ReaderOptions& options) {
    const Source src(data, size, base_name(name));
    return read_with(src, name, options);
}

ResultModel read_result_file(const std::string& path, const ReaderOptions& options) {
    return read_result(path, options).model;
}

ResultModel read_result_buffer(const char* data, std::size_t size, const std::string& name,
                               const ReaderOptions& options) {
    return read_result_bytes(data, size, name, options).model;
}

} // namespace orv
