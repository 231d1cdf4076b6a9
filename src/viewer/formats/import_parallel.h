#pragma once
// What the text importers share to read like the native reader: the reading
// threads and progress callback of ReaderOptions (through read_core's Job),
// the memory limit, and blocks of whitespace-separated numbers parsed in
// pieces on all threads.
//
// A block is split at line starts into pieces whose tokens are counted
// first, so that each piece knows where its values go; each piece then
// parses straight into its final place. Whenever a piece meets anything but
// a plain number (an error, a record split across pieces, the file ending
// inside the block), the parallel pass gives up and the caller parses the
// block on one thread, which gives the exact message, warning and line. A
// successful parallel pass therefore gives exactly what the one-thread pass
// gives.

#include "viewer/formats/read_core.h"

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace orv::import {

class Reading {
  public:
    Reading(const char* data, std::size_t size, const std::string& name, const ReaderOptions& options);

    input::Job& job() { return job_; }
    int threads() const { return job_.threads; }
    const std::string& name() const { return name_; }
    const char* begin() const { return begin_; }

    // Reports the bytes before `pos` as read (about every MiB; calling thread
    // only). Throws input::Stopped when the progress callback asks to stop.
    void tick(const char* pos) {
        if (pos - reported_ >= (1 << 20)) report(pos);
    }
    void report(const char* pos);
    // Takes the bytes before `pos` as reported by someone else.
    void reported(const char* pos) { reported_ = std::max(reported_, pos); }

    // Counts `bytes` of arrays the read is about to allocate; when all of
    // them together exceed the memory limit, refuses the file, the message
    // starting with `what` (the file, the place and the items).
    // `what` is a function returning that text, called only then.
    template <class What> void need(std::uint64_t bytes, What what) {
        needed_ += bytes;
        if (needed_ > limit_) refuse(what());
    }

  private:
    [[noreturn]] void refuse(const std::string& what) const;

    input::Input src_;
    input::Job job_;
    std::string name_;
    const char* begin_;
    const char* reported_;
    std::uint64_t limit_;
    std::uint64_t needed_ = 0;
};

// Piece of a block: whole lines (the last one may end at the block's last
// token), its tokens [first, first + count) of the block.
struct TokenPiece {
    const char* begin;
    const char* end;
    std::size_t first;
    std::size_t count;
};

struct ParallelBlock {
    const char* end = nullptr; // just past the block's last token; nullptr: not read in parallel
    std::size_t lines = 0;     // line ends in [from, end)
};

namespace detail {
// Splits the `count` tokens (or lines) after `from` into pieces; empty when
// the block is too small to be worth threads, `from` is not at a token
// boundary (a line start), or the file holds fewer. `lines` counts the line
// ends in the block.
std::vector<TokenPiece> split(Reading& r, const char* from, const char* file_end, std::size_t count,
                              bool by_lines, std::size_t& lines);
bool run_pieces(Reading& r, const std::vector<TokenPiece>& pieces,
                const std::function<bool(const TokenPiece&)>& parse);
// Pieces of whole records of `widths` (bytes of each line of a record, line
// end included), cut by arithmetic; empty when the block is too small, the
// file shorter, or `from` not at a line start.
std::vector<TokenPiece> split_fixed(Reading& r, const char* from, const char* file_end, std::size_t records,
                                    std::span<const std::size_t> widths, bool text = true);
// True when every line of the piece ends where `widths` puts its end, and
// nowhere before.
bool lines_fit(const TokenPiece& piece, std::span<const std::size_t> widths);

// Runs the pieces of a block that starts at `from` (none: not read) and
// tells where it ended; `lines` are the block's line ends.
template <class Parse, class Prepare>
ParallelBlock run_block(Reading& r, const char* from, const std::vector<TokenPiece>& pieces,
                        std::size_t lines, Parse parse, Prepare prepare) {
    ParallelBlock out;
    if (pieces.empty()) return out;
    r.report(from);
    prepare();
    if (!run_pieces(r, pieces, parse)) return out;
    out.end = pieces.back().end;
    out.lines = lines;
    r.reported(out.end);
    return out;
}

template <class Parse, class Prepare>
ParallelBlock parallel(Reading& r, const char* from, const char* file_end, std::size_t count, bool by_lines,
                       Parse parse, Prepare prepare) {
    std::size_t lines = 0;
    const auto pieces = split(r, from, file_end, count, by_lines, lines);
    return run_block(r, from, pieces, lines, parse, prepare);
}
} // namespace detail

// Parses the `count` tokens after `from` with parse(piece) on the reading
// threads; parse returns false when its piece holds anything it cannot take.
// The result's end is nullptr when the block was not read (then nothing it
// wrote counts, and the caller reads the block on one thread). prepare() runs
// once the pieces are known, before any parse (to size the arrays the pieces
// write into).
template <class Parse, class Prepare = void (*)()>
ParallelBlock parallel_tokens(
    Reading& r, const char* from, const char* file_end, std::size_t count, Parse parse,
    Prepare prepare = [] {}) {
    return detail::parallel(r, from, file_end, count, false, parse, prepare);
}

// The same for the `count` lines after `from` (a line start): a piece's
// first and count are lines, and the block ends after its last line end.
template <class Parse, class Prepare = void (*)()>
ParallelBlock parallel_lines(
    Reading& r, const char* from, const char* file_end, std::size_t count, Parse parse,
    Prepare prepare = [] {}) {
    return detail::parallel(r, from, file_end, count, true, parse, prepare);
}

// The same for `records` records after `from` (a line start) that all have
// the lines of the first one, each as long as the same line of the first:
// the fixed columns of files such as CalculiX's. The pieces are cut by
// arithmetic, without a pass that counts line ends; each piece checks its
// line ends before parse sees it, and the block is not read (end nullptr)
// when any lies elsewhere. A piece's first and count are lines, as for
// parallel_lines. `lines_per_record` is 1 or 2.
template <class Parse, class Prepare = void (*)()>
ParallelBlock parallel_fixed_lines(
    Reading& r, const char* from, const char* file_end, std::size_t records, std::size_t lines_per_record,
    Parse parse, Prepare prepare = [] {}) {
    ParallelBlock out;
    std::size_t widths[2] = {0, 0};
    if (lines_per_record < 1 || lines_per_record > 2) return out;
    const char* p = from;
    for (std::size_t k = 0; k < lines_per_record; ++k) {
        const void* nl =
            p < file_end ? std::memchr(p, '\n', static_cast<std::size_t>(file_end - p)) : nullptr;
        if (!nl) return out;
        widths[k] = static_cast<std::size_t>(static_cast<const char*>(nl) - p) + 1;
        p = static_cast<const char*>(nl) + 1;
    }
    const std::span<const std::size_t> layout(widths, lines_per_record);
    return detail::run_block(
        r, from, detail::split_fixed(r, from, file_end, records, layout), records * lines_per_record,
        [&](const TokenPiece& piece) { return detail::lines_fit(piece, layout) && parse(piece); }, prepare);
}

// The `records` binary records of `bytes` bytes each after `from`, cut
// into pieces of whole records by arithmetic: a piece's first and count are
// records. The result's end is nullptr when the block was not read (too
// small, the file shorter, or a piece gave up).
template <class Parse, class Prepare = void (*)()>
ParallelBlock parallel_records(
    Reading& r, const char* from, const char* file_end, std::size_t records, std::size_t bytes, Parse parse,
    Prepare prepare = [] {}) {
    const std::size_t widths[1] = {bytes};
    return detail::run_block(r, from, detail::split_fixed(r, from, file_end, records, widths, false), 0,
                             parse, prepare);
}

// Runs parse(reading) for an importer of text (or mixed) files over [data,
// data + size): the reading threads, memory limit and progress of `options`;
// a stop asked by the progress callback becomes ReadCancelled and running
// out of memory "Not enough memory to read NAME".
template <class Parse>
auto import_bytes(const char* data, std::size_t size, const std::string& name, const ReaderOptions& options,
                  Parse parse) {
    try {
        Reading reading(data, size, name, options);
        auto out = parse(reading);
        reading.report(data + size);
        return out;
    } catch (const input::Stopped&) {
        throw ReadCancelled("Reading " + name + " was cancelled");
    } catch (const std::bad_alloc&) {
        throw ReadError("Not enough memory to read " + name);
    } catch (const std::length_error&) {
        throw ReadError("Not enough memory to read " + name);
    }
}

// Rows written by the pieces of one block: a row given twice (a node listed
// twice) keeps its last record, which only one thread can tell. Pieces mark
// their rows with plain stores; once they are done, fewer marked rows than
// records means some row came twice, and the block goes to one thread.
class RowMarks {
  public:
    explicit RowMarks(std::size_t rows) : marks_(rows, 0) {}
    // From any thread.
    void mark(std::size_t row) {
        std::atomic_ref<std::uint8_t>(marks_[row]).store(1, std::memory_order_relaxed);
    }
    void clear() { std::fill(marks_.begin(), marks_.end(), std::uint8_t{0}); }
    // After the pieces: whether a piece wrote `row`.
    bool marked(std::size_t row) const { return marks_[row] != 0; }
    // After the pieces: true when `records` records marked as many rows.
    bool distinct(std::size_t records) const {
        return static_cast<std::size_t>(std::count(marks_.begin(), marks_.end(), std::uint8_t{1})) == records;
    }

  private:
    std::vector<std::uint8_t> marks_;
};

// Skips bytes <= 32 and returns the next token of [p, end) (empty at end).
inline std::string_view next_token(const char*& p, const char* end) {
    while (p < end && static_cast<unsigned char>(*p) <= 32)
        ++p;
    const char* s = p;
    while (p<end&& static_cast<unsigned char>(*p)> 32)
        ++p;
    return {s, static_cast<std::size_t>(p - s)};
}

} // namespace orv::import
