#include "viewer/formats/read_core.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <limits>
#include <mutex>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace orv {

ThreadSetting reader_threads_from(const char* value, unsigned hardware) {
    const int machine = static_cast<int>(std::clamp<unsigned>(hardware, 1, input::kMaxThreads));
    // More threads than the machine has only add switches; a few times more
    // is allowed, for the parallel path on small machines.
    const long cap = std::min<long>(4L * machine, input::kMaxThreads);
    if (!value || !*value) return {machine, {}};
    char* end = nullptr;
    errno = 0;
    const long n = std::strtol(value, &end, 10);
    if (end != value && *end == '\0' && n > 0)
        return {static_cast<int>(errno == 0 ? std::min(n, cap) : cap), {}};
    // At most 40 bytes of the value, control bytes escaped.
    const std::string shown = escape_control_bytes(std::string_view(value).substr(0, 40));
    return {machine, "ORVANEL_THREADS=\"" + shown + "\" is not a positive whole number; reading on " +
                         std::to_string(machine) + (machine == 1 ? " thread." : " threads.")};
}

ThreadSetting ReaderOptions::resolved_threads() const {
    if (threads > 0) return {threads, {}};
    return reader_threads_from(std::getenv("ORVANEL_THREADS"), std::thread::hardware_concurrency());
}

int default_reader_threads() {
    return ReaderOptions{}.resolved_threads().threads;
}

namespace input {

std::string cannot_open_message(std::string_view name, std::string_view why) {
    return "N\u00E3o foi poss\u00EDvel abrir " + std::string(name) + ": " + std::string(why);
}

std::string base_name(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Whether a well-formed real token (sign already taken off) is below 1 in
// magnitude: then a value out of the double range underflowed.
namespace {

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

} // namespace

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

PageWarmer::PageWarmer(void* data, std::size_t bytes) {
    constexpr int kPopulateWrite = 23; // MADV_POPULATE_WRITE, Linux 5.14
    if (bytes < (4u << 20)) return;
    // Blocks from allocate_pages are advised already; others are asked here,
    // before the first write.
    advise_huge_pages(data, bytes);
    const std::uintptr_t page = 4096;
    const std::uintptr_t begin = (reinterpret_cast<std::uintptr_t>(data) + page - 1) & ~(page - 1);
    const std::uintptr_t end = (reinterpret_cast<std::uintptr_t>(data) + bytes) & ~(page - 1);
    if (bytes < (64u << 20)) return;
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

std::string mib(std::uint64_t bytes) {
    if (bytes == UINT64_MAX) return "more than 16 EiB";
    return std::to_string((bytes + (1u << 20) - 1) >> 20) + " MiB";
}

namespace {

// Why a path that is not a regular file is refused, as the window's
// language says it.
const char* file_kind(mode_t mode) {
    if (S_ISDIR(mode)) return "\u00E9 um diret\u00F3rio, n\u00E3o um arquivo comum";
    if (S_ISFIFO(mode)) return "\u00E9 um FIFO, n\u00E3o um arquivo comum";
    if (S_ISCHR(mode)) return "\u00E9 um dispositivo de caracteres, n\u00E3o um arquivo comum";
    if (S_ISBLK(mode)) return "\u00E9 um dispositivo de blocos, n\u00E3o um arquivo comum";
    if (S_ISSOCK(mode)) return "\u00E9 um socket, n\u00E3o um arquivo comum";
    return "n\u00E3o \u00E9 um arquivo comum";
}

} // namespace

namespace {

// The guarded mappings, for the SIGBUS handler: plain lock-free atomics, the
// only state a signal handler may read. A slot is live while `end` is set.
struct Guard {
    std::atomic<std::uintptr_t> begin{0};
    std::atomic<std::uintptr_t> end{0};
    std::atomic<bool> faulted{false};
    std::atomic<bool> taken{false};
};
constexpr int kGuards = 64;
Guard guards[kGuards];
struct sigaction previous_sigbus {};
std::uintptr_t page_bytes = 4096;

// A page of a guarded mapping that lies past the end of its file (it became
// shorter) or could not be read: the rest of the mapping from that page on
// becomes zero pages and the guard is marked, and the faulting read goes on
// over zeros. mmap is a plain system call on Linux, safe here although POSIX
// does not list it. Any other SIGBUS goes where it went before.
void on_sigbus(int sig, siginfo_t* info, void* context) {
    const int saved_errno = errno;
    const auto at = reinterpret_cast<std::uintptr_t>(info->si_addr);
    for (Guard& g : guards) {
        const std::uintptr_t end = g.end.load();
        const std::uintptr_t begin = g.begin.load();
        if (!end || at < begin || at >= end) continue;
        const std::uintptr_t page = at & ~(page_bytes - 1);
        void* zeros = ::mmap(reinterpret_cast<void*>(page), end - page, PROT_READ,
                             MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0);
        if (zeros != MAP_FAILED) {
            g.faulted.store(true);
            errno = saved_errno;
            return;
        }
        break;
    }
    errno = saved_errno;
    if ((previous_sigbus.sa_flags & SA_SIGINFO) && previous_sigbus.sa_sigaction) {
        previous_sigbus.sa_sigaction(sig, info, context);
    } else if (previous_sigbus.sa_handler != SIG_DFL && previous_sigbus.sa_handler != SIG_IGN) {
        previous_sigbus.sa_handler(sig);
    } else {
        // Back to the default action, which ends the process once this
        // handler returns (the signal stays blocked until then).
        struct sigaction dfl {};
        dfl.sa_handler = SIG_DFL;
        ::sigemptyset(&dfl.sa_mask);
        ::sigaction(SIGBUS, &dfl, nullptr);
        ::raise(SIGBUS);
    }
}

bool install_sigbus_handler() {
    static const bool installed = [] {
        if (const long page = ::sysconf(_SC_PAGESIZE); page > 0)
            page_bytes = static_cast<std::uintptr_t>(page);
        struct sigaction action {};
        action.sa_sigaction = on_sigbus;
        action.sa_flags = SA_SIGINFO | SA_RESTART;
        ::sigemptyset(&action.sa_mask);
        return ::sigaction(SIGBUS, &action, &previous_sigbus) == 0;
    }();
    return installed;
}

} // namespace

FileMapping::FileMapping(int fd, std::uint64_t size) : fd_(fd), size_(size) {
    if (size == 0 || size > std::numeric_limits<std::size_t>::max() / 2 || !install_sigbus_handler()) return;
    for (int i = 0; i < kGuards && guard_ < 0; ++i) {
        bool expected = false;
        if (guards[i].taken.compare_exchange_strong(expected, true)) guard_ = i;
    }
    if (guard_ < 0) return; // pread it is
    mapped_ = static_cast<std::size_t>((size + page_bytes - 1) & ~static_cast<std::uint64_t>(page_bytes - 1));
    void* p = ::mmap(nullptr, mapped_, PROT_READ, MAP_PRIVATE, fd, 0);
    if (p == MAP_FAILED) {
        guards[guard_].taken.store(false);
        guard_ = -1;
        mapped_ = 0;
        return;
    }
    Guard& g = guards[guard_];
    g.faulted.store(false);
    g.begin.store(reinterpret_cast<std::uintptr_t>(p));
    g.end.store(reinterpret_cast<std::uintptr_t>(p) + mapped_);
    data_ = static_cast<const char*>(p);
}

FileMapping::~FileMapping() {
    if (!data_) return;
    Guard& g = guards[guard_];
    g.end.store(0);
    g.begin.store(0);
    ::munmap(const_cast<char*>(data_), mapped_);
    g.taken.store(false);
}

void FileMapping::check(const std::string& name) const {
    if (!data_) return;
    struct stat st {};
    if (::fstat(fd_, &st) == 0 && static_cast<std::uint64_t>(st.st_size) < size_)
        throw ReadError(name + " became shorter while it was read");
    if (guards[guard_].faulted.load()) throw ReadError("I/O error reading " + name);
}

FileStamp file_stamp(int fd, const std::string& name) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) throw ReadError("I/O error reading " + name + ": " + std::strerror(errno));
    return {static_cast<std::uint64_t>(st.st_size),
            static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
}

void check_unchanged(const std::string& path, const FileStamp& opened, const FileStamp& now) {
    if (now != opened) throw ReadError(base_name(path) + " changed since it was opened; reopen it");
}

Input::Input(const std::string& path) : path_(path), name_(base_name(path)) {
    // Non-blocking, so that a FIFO without a writer cannot hang the open;
    // anything but a regular file is refused before a byte is read.
    fd_ = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd_ < 0) throw ReadError(cannot_open_message(path, std::strerror(errno)));
    struct stat st {};
    if (::fstat(fd_, &st) != 0) {
        const int err = errno;
        ::close(fd_);
        throw ReadError(cannot_open_message(path, std::strerror(err)));
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd_);
        throw ReadError(cannot_open_message(path, file_kind(st.st_mode)));
    }
    size_ = static_cast<std::uint64_t>(st.st_size);
}

Input::Input(const char* data, std::size_t size, std::string name)
    : memory_(data), size_(size), path_(std::move(name)), name_(base_name(path_)) {}

Input::~Input() {
    map_.reset(); // unmapped before its file is closed
    if (fd_ >= 0) ::close(fd_);
}

std::string Input::first_bytes(std::size_t max) const {
    std::string bytes(static_cast<std::size_t>(std::min<std::uint64_t>(max, size_)), '\0');
    if (memory_) {
        std::memcpy(bytes.data(), memory_, bytes.size());
        return bytes;
    }
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t got = ::pread(fd_, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
        if (got > 0) {
            done += static_cast<std::size_t>(got);
        } else if (got == 0) {
            break;
        } else if (errno != EINTR) {
            throw ReadError("I/O error reading " + name_ + ": " + std::strerror(errno));
        }
    }
    bytes.resize(done);
    return bytes;
}

const char* Input::view(std::uint64_t offset, std::size_t len, char* buf) const {
    fetched_.fetch_add(len, std::memory_order_relaxed);
    if (memory_) return memory_ + offset;
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

std::size_t Input::read(std::uint64_t offset, std::size_t len, char* dst) const {
    if (offset >= size_) return 0;
    len = static_cast<std::size_t>(std::min<std::uint64_t>(len, size_ - offset));
    fetched_.fetch_add(len, std::memory_order_relaxed);
    if (memory_) {
        std::memcpy(dst, memory_ + offset, len);
        return len;
    }
    std::size_t done = 0;
    while (done < len) {
        const ssize_t got = ::pread(fd_, dst + done, len - done, static_cast<off_t>(offset + done));
        if (got > 0) {
            done += static_cast<std::size_t>(got);
        } else if (got == 0) {
            break;
        } else if (errno != EINTR) {
            throw ReadError("I/O error reading " + name_ + ": " + std::strerror(errno));
        }
    }
    return done;
}

const char* Input::data() {
    if (memory_) return memory_;
    if (whole_ || size_ == 0) return whole_;
    if (size_ > std::numeric_limits<std::size_t>::max())
        throw ReadError("Not enough memory to read " + name_);
    const auto size = static_cast<std::size_t>(size_);
    map_ = std::make_unique<FileMapping>(fd_, size_);
    if (map_->data()) {
        ::madvise(const_cast<char*>(map_->data()), size, MADV_SEQUENTIAL);
        whole_ = map_->data();
        return whole_;
    }
    copy_ = first_bytes(size);
    if (copy_.size() < size) throw ReadError(name_ + " became shorter while it was read");
    whole_ = copy_.data();
    return whole_;
}

void Input::release() {
    map_.reset();
    copy_ = std::string();
    whole_ = nullptr;
}

void Input::forget(const char* from, const char* to) const {
    if (!map_ || !map_->data() || whole_ != map_->data() || to <= from) return;
    constexpr std::uintptr_t kPage = 4096;
    const auto begin = (reinterpret_cast<std::uintptr_t>(from) + kPage - 1) & ~(kPage - 1);
    const auto end = reinterpret_cast<std::uintptr_t>(to) & ~(kPage - 1);
    // A read-only mapping of the file: its pages come back unchanged.
    if (end > begin) ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_DONTNEED);
}

void Input::check() const {
    if (map_) map_->check(name_);
}

} // namespace input
} // namespace orv
