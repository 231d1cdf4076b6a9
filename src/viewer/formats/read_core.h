#pragma once
// What every reader of a result file shares, whatever the format: the errors,
// options and result of a read; the input (a regular file read through
// windows or whole, or bytes in memory); tokens with line numbers; exact
// reals; and the runner that spreads chunks of work over threads. Importers
// of other formats build on these pieces so that every format refuses the
// same inputs the same way and honours the same options.

#include "viewer/model/name_text.h"
#include "viewer/model/page_memory.h"
#include "viewer/model/result_model.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>
#include <unistd.h>
#include <vector>

namespace orv {

// Any failure of the reader. what() is the message shown to the user, for
// example "Invalid numeric input at line 12 of viga.txt".
class ReadError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// The progress callback asked to stop. Derived from ReadError so that callers
// that only know ReadError still catch it; callers that offer a cancel button
// catch it first and show nothing.
class ReadCancelled : public ReadError {
  public:
    using ReadError::ReadError;
};

// The reading threads that the value of ORVANEL_THREADS asks for (nullptr or
// empty: unset) on a machine of `hardware` threads (0: unknown, taken as 1):
// a positive number, capped at four times the machine's threads; otherwise
// the machine's threads and a one-line warning saying so.
struct ThreadSetting {
    int threads = 1;
    std::string warning;
};
ThreadSetting reader_threads_from(const char* value, unsigned hardware);

struct ReaderOptions {
    // Largest model (bytes of its arrays) the reader agrees to allocate;
    // 0 means "what this machine's memory allows".
    std::uint64_t memory_limit = 0;
    // Threads that parse: 0 takes the environment variable ORVANEL_THREADS
    // when it holds a positive number, else std::thread::hardware_concurrency().
    // 1 reads on the calling thread only.
    int threads = 0;
    // Bytes per chunk of the parallel passes; 0 means 1 MiB. Tests and the
    // fuzzer use a few dozen bytes to put chunk joins everywhere.
    std::size_t chunk_bytes = 0;
    // Called on the calling thread about every MiB read, with the work done
    // so far and the total, both in bytes of the file (the quick marker pass
    // counts for a tenth, the parse for the rest). Returning false stops the
    // read, which then throws ReadCancelled.
    std::function<bool(std::uint64_t done, std::uint64_t total)> progress;

    // Importers that can find a step's field again in its file (by a byte
    // offset, or a file of a series) hand over a reader of it
    // (ImportField::load) instead of its values, and keep none of them;
    // false reads every value at once. Only files are read on demand, never
    // bytes in memory.
    bool values_on_demand = true;

    // Readers that can leave the lists' value ranges uncomputed (the
    // model's range_pending), so that opening costs the mesh and an index of
    // the lists only: for the window's first picture and for modes that need
    // few ranges (a history, one list's picture). complete_ranges() fills
    // them later, with the values a read without this flag gives. Readers
    // that cannot defer compute every range as usual.
    bool defer_ranges = false;

    // The reading threads of these options, the one place that reads
    // ORVANEL_THREADS: `threads` when positive, else reader_threads_from()
    // of the environment and this machine. read_result() resolves it once
    // per read and hands the readers options whose `threads` is positive.
    ThreadSetting resolved_threads() const;
};

struct ReadResult {
    ResultModel model;
    // Things the user should know about a file that did read, for example
    // "viga.txt ends early: 1000000 nodes announced, 41377 read; the rest read as 0."
    std::vector<std::string> warnings;
    // Bytes the reader fetched from the file (or looked at in memory): a
    // measure of its input work, within a small multiple of the file's size.
    std::uint64_t bytes_fetched = 0;
    // Read by the native format's row (read_result and read_result_bytes
    // set it): the window and the batch modes open such files unframed.
    bool native = false;
};

// Threads the reader uses when ReaderOptions::threads is 0.
int default_reader_threads();

namespace input {

constexpr std::size_t kDefaultChunk = 1u << 20;
constexpr std::size_t kMaxWindow = (1u << 20) + (64u << 10);
constexpr std::size_t kMaxToken = 4096; // no valid number is anywhere near this long
constexpr int kMaxThreads = 256;
// Progress weights of a byte in a quick scan pass and in the parse.
constexpr std::uint64_t kScanWeight = 1;
constexpr std::uint64_t kParseWeight = 9;

// The last component of a path, as messages name files.
std::string base_name(const std::string& path);

// The refusal of a file that cannot be opened, in the window's language:
// "Não foi possível abrir NAME: WHY" (UTF-8).
std::string cannot_open_message(std::string_view name, std::string_view why);

// Unwinds a worker once the read is stopping (cancelled, or failed elsewhere).
struct Stopped {};

// A regular file's bytes mapped read-only, so that reading them costs no
// copy. Should the file become shorter while it is mapped, touching a page
// past its new end does not raise SIGBUS: a process-wide handler puts zero
// pages there and the mapping remembers it, and check() then refuses the
// read. When the system refuses the mapping (or too many are guarded at
// once), data() is nullptr and the caller reads with pread instead.
class FileMapping {
  public:
    // `fd` stays open, and is not closed here, while the mapping lives.
    FileMapping(int fd, std::uint64_t size);
    ~FileMapping();
    FileMapping(const FileMapping&) = delete;
    FileMapping& operator=(const FileMapping&) = delete;

    const char* data() const { return data_; }
    std::uint64_t size() const { return size_; }

    // Throws ReadError when the file became shorter than its mapping ("NAME
    // became shorter while it was read") or a page of it could not be read:
    // what was read from it since the mapping cannot be trusted.
    void check(const std::string& name) const;

  private:
    int fd_;
    std::uint64_t size_;
    const char* data_ = nullptr;
    std::size_t mapped_ = 0; // bytes mapped, whole pages
    int guard_ = -1;         // slot in the SIGBUS handler's table
};

// What a file was when a reader opened it: its size and modification time.
// A reader that comes back to the file later (values read when they are
// needed) compares stamps first, so that it never mixes bytes of two
// versions of a file that a solver rewrote meanwhile.
struct FileStamp {
    std::uint64_t size = 0;
    std::int64_t mtime_ns = 0;
    bool operator==(const FileStamp&) const = default;
};

// The stamp of the open file `fd`; ReadError naming `name` when the system
// cannot tell it.
FileStamp file_stamp(int fd, const std::string& name);

// Throws ReadError "NAME changed since it was opened; reopen it" (NAME the
// last component of `path`, as other messages give it) when `now` is not
// the stamp the file had when it was opened.
void check_unchanged(const std::string& path, const FileStamp& opened, const FileStamp& now);

// The input of a read: a regular file, or bytes in memory (which must stay
// alive as long as this). A file is opened here, and anything else (a FIFO,
// a device, a directory) is refused with a ReadError naming it before a byte
// is read, so that nothing can block. A reader takes its bytes in the way
// that suits it, either or both:
// - in windows, with pread (view, read): the native and VTK XML readers.
//   Mapping would save the kernel's copy, but on machines whose page-table
//   updates are expensive, as in virtual machines with shadow paging, first
//   touching each 4 KiB page of a mapping costs more than the copy; windows
//   read by two passes stay in the cache between them.
// - whole (data): the file mapped read-only, or a copy of it where the
//   system refuses the mapping; the importers that walk a file front to
//   back. Should the file become shorter while it is mapped, its lost pages
//   read as zeros, never a SIGBUS, and checked() refuses the read.
class Input {
  public:
    explicit Input(const std::string& path);
    Input(const char* data, std::size_t size, std::string name);
    ~Input();
    Input(const Input&) = delete;
    Input& operator=(const Input&) = delete;

    // The path of the file, or the name given to the bytes: the model's
    // namefile.
    const std::string& path() const { return path_; }
    // Its last component, as messages name the input.
    const std::string& name() const { return name_; }
    std::uint64_t size() const { return size_; }
    bool in_memory() const { return fd_ < 0; }
    // The open file; -1 for bytes in memory.
    int fd() const { return fd_; }
    // The file's size and modification time now (a file only).
    FileStamp stamp() const { return file_stamp(fd_, name_); }
    // The first bytes (up to `max`), for telling formats apart.
    std::string first_bytes(std::size_t max) const;

    // Bytes [offset, offset + len), which must lie within size(): in memory
    // in place, else read into `buf` (len bytes); ReadError "NAME became
    // shorter while it was read" when the file no longer holds them. From
    // any thread.
    const char* view(std::uint64_t offset, std::size_t len, char* buf) const;
    // Copies up to `len` bytes from `offset` into `dst`; returns how many
    // there were (fewer at the end). From any thread.
    std::size_t read(std::uint64_t offset, std::size_t len, char* dst) const;
    // Bytes fetched by view and read, and counted by scanned(): the work of
    // the read, within a small multiple of the input's size.
    std::uint64_t fetched() const { return fetched_.load(std::memory_order_relaxed); }
    // Counts bytes looked at again (lines counted for a message).
    void scanned(std::uint64_t bytes) const { fetched_.fetch_add(bytes, std::memory_order_relaxed); }

    // All the bytes at once: mapped (or copied) at the first call; nullptr
    // when there are none. Calling thread only.
    const char* data();
    // Unmaps the whole (data() maps it again); what was read from it is
    // gone.
    void release();
    // Hands back the mapped pages wholly inside [from, to) of data(): they
    // read the same afterwards (again from the page cache) but stop counting
    // as this process's memory, for a pass that skips over most of a large
    // file. Nothing for bytes in memory or a copy.
    void forget(const char* from, const char* to) const;

    // Returns parse(), which reads data(). Should the file have become
    // shorter meanwhile, or a page of it be unreadable, throws ReadError
    // ("NAME became shorter while it was read") instead of whatever parse
    // returned or threw.
    template <class Parse> auto checked(Parse parse) const {
        try {
            auto result = parse();
            check();
            return result;
        } catch (const ReadError&) {
            check();
            throw;
        }
    }

  private:
    void check() const;

    int fd_ = -1;
    const char* memory_ = nullptr; // the bytes in memory
    std::uint64_t size_ = 0;
    std::string path_;
    std::string name_;
    mutable std::atomic<std::uint64_t> fetched_{0};
    // The whole, once data() was called.
    std::unique_ptr<FileMapping> map_;
    std::string copy_;
    const char* whole_ = nullptr;
};

// What one read shares between its threads.
class Job {
  public:
    Job(const Input& src, const ReaderOptions& options)
        : src(src), progress_(options.progress), caller_(std::this_thread::get_id()) {
        chunk = options.chunk_bytes ? options.chunk_bytes : kDefaultChunk;
        window = std::min(chunk + chunk / 16 + 64, kMaxWindow);
        ThreadSetting s = options.resolved_threads();
        threads = s.threads;
        threads_warning = std::move(s.warning);
        threads = std::clamp(threads, 1, kMaxThreads);
        buffers_.resize(static_cast<std::size_t>(threads));
    }

    const Input& src;
    std::size_t chunk;
    std::size_t window;
    int threads;
    std::string threads_warning; // ORVANEL_THREADS held no number
    std::atomic<bool> stop{false};
    bool cancelled = false; // by the progress callback

    // The read window of thread `t` (0 is the calling thread).
    char* buffer(std::size_t t) {
        if (src.in_memory()) return nullptr;
        auto& b = buffers_[t];
        if (b.empty()) b.resize(window); // one fault per 2 MiB page, not one per 4 KiB
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
    std::vector<std::vector<char, PageAllocator<char>>> buffers_;
    std::atomic<std::uint64_t> done_{0};
};

// Runs fn(i) for i in 0..count-1 on up to `threads` threads, the calling
// thread included (without threads to be had, it does all the items). The
// first exception of any thread stops the others taking items and is
// rethrown here once all have finished, so that a fault on a helper thread
// reaches the caller instead of ending the process.
template <class Fn> void run_items(int threads, std::size_t count, Fn fn) {
    std::atomic<std::size_t> next{0};
    std::atomic<bool> failed{false};
    std::exception_ptr failure;
    std::mutex mutex;
    const auto work = [&] {
        try {
            for (std::size_t i; !failed.load(std::memory_order_relaxed) && (i = next.fetch_add(1)) < count;)
                fn(i);
        } catch (...) {
            std::lock_guard lock(mutex);
            if (!failure) failure = std::current_exception();
            failed = true;
        }
    };
    const std::size_t helpers =
        std::min(static_cast<std::size_t>(std::clamp(threads, 1, kMaxThreads)) - 1, count ? count - 1 : 0);
    {
        std::vector<std::jthread> pool;
        pool.reserve(helpers);
        for (std::size_t h = 0; h < helpers; ++h) {
            try {
                pool.emplace_back(work);
            } catch (const std::system_error&) {
                break; // no more threads: the others do the work
            }
        }
        work();
    } // joins
    if (failure) std::rethrow_exception(failure);
}

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
    // `first_window` (0: the job's window) bounds the first fetch; later
    // fetches double it up to the job's window, so that reading a short line
    // costs few bytes. With `counts` false the caller reports the progress.
    Scanner(Job& job, char* buf, std::uint64_t begin, std::uint64_t end, long line,
            std::size_t first_window = 0, bool counts = true)
        : job_(job), buf_(buf), win_off_(begin), stop_(end),
          want_(first_window ? std::min(first_window, job.window) : job.window), counts_(counts), line_(line),
          token_line_(line) {}

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
        const std::size_t len = static_cast<std::size_t>(std::min<std::uint64_t>(want_, stop_ - pos));
        want_ = std::min(std::max<std::size_t>(2 * want_, 64), job_.window);
        win_ = job_.src.view(pos, len, buf_);
        win_off_ = pos;
        cur_ = win_;
        end_ = win_ + len;
        job_.worked(counts_ ? len * kParseWeight : 0);
        return true;
    }

    Job& job_;
    char* buf_;
    const char* win_ = nullptr;
    const char* cur_ = nullptr;
    const char* end_ = nullptr;
    std::uint64_t win_off_; // input offset of win_
    std::uint64_t stop_;
    std::size_t want_; // bytes of the next fetch
    bool counts_;
    std::string spill_;
    long line_;
    long token_line_;
};

// Decimal real with optional sign, "." as decimal point and optional exponent,
// bit-identical to strtod; values too small for a double read as 0 of their
// sign; infinities, NaNs and values beyond the double range are refused.
bool parse_real(std::string_view tok, double& out);

// Integer: decimal digits with an optional sign, within 32 bits.
bool parse_int(std::string_view tok, std::int32_t& out);

// The next number of the range; false when the range has no more tokens.
// A token that is not a number is an error at its line.
inline bool next_int(Scanner& in, std::int32_t& v) {
    const std::string_view tok = in.next_token();
    if (tok.empty()) return false;
    if (!parse_int(tok, v)) in.fail();
    return true;
}

inline bool next_real(Scanner& in, double& v) {
    if (in.try_short_real(v)) return true;
    const std::string_view tok = in.next_token();
    if (tok.empty()) return false;
    if (!parse_real(tok, v)) in.fail();
    return true;
}

// Counts '\n' in [p, p + n).
std::size_t count_newlines(const char* p, std::size_t n);

// Asks the kernel to back a freshly allocated, untouched block of 4 MiB or
// more with huge pages where it allows them, and, for blocks of 64 MiB or
// more, to fault them in from a second thread ahead of a parser that writes
// into the block front to back. Populating does not change the contents, so
// the race with the parser is harmless; on kernels without these requests it
// does nothing.
class PageWarmer {
  public:
    PageWarmer(void* data, std::size_t bytes);

  private:
    std::jthread thread_;
};

// The one memory budget of every reader when ReaderOptions::memory_limit
// is 0 (page_memory.h; the list store's budget is a share of it).
using orv::machine_memory;

// Bytes as whole MiB, rounded up, for messages.
std::string mib(std::uint64_t bytes);

// Runs fill(job, result) over `src` with namefile set, and turns what can end
// a read into ReadError: Stopped into ReadCancelled (when the callback asked)
// and running out of memory into "Not enough memory to read NAME".
template <class Fill>
ReadResult run_read(const Input& src, const std::string& namefile, const ReaderOptions& options, Fill fill) {
    ReadResult out;
    out.model.namefile = namefile;
    Job job(src, options);
    try {
        fill(job, out);
        out.bytes_fetched = src.fetched();
        if (options.threads <= 0)
            if (std::string w = job.threads_warning; !w.empty()) out.warnings.insert(out.warnings.begin(), w);
    } catch (const Stopped&) {
        throw ReadCancelled("Reading " + src.name() + " was cancelled");
    } catch (const std::bad_alloc&) {
        throw ReadError("Not enough memory to read " + src.name());
    } catch (const std::length_error&) {
        throw ReadError("Not enough memory to read " + src.name());
    }
    return out;
}

} // namespace input
} // namespace orv
