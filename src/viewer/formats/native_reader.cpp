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

#include "viewer/formats/reader.h"

#include "viewer/formats/formats.h"
#include "viewer/formats/native_reader.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <limits>
#include <optional>
#include <string>
#include <utility>

namespace orv {
namespace {

using namespace input;

// ---- Pass 1: markers and line-aligned cuts ----

struct LinePos {
    std::uint64_t offset; // a line start
    long line;            // its line number, from 1
};

// A marker line, and the line after it (a list's name) when pass 1 saw both
// end in the same window.
struct Marker : LinePos {
    std::uint64_t after = 0;   // start of the line after the marker; 0: not seen
    std::uint64_t records = 0; // start of the line after the name line; 0: not seen
    std::string name;          // the line after the marker, without CR LF
};

struct Layout {
    std::vector<Marker> markers; // every line beginning with '#', in order
    std::vector<LinePos> cuts;   // line starts about every chunk bytes, offset 0 first
    long last_line = 1;          // number of the file's last line (empty when the file ends in a line end)
    bool ends_in_newline = true;
};

Layout scan(Job& job) {
    const std::uint64_t size = job.src.size();
    const std::size_t pieces = static_cast<std::size_t>(size ? (size - 1) / job.chunk + 1 : 0);
    struct Piece {
        std::vector<std::pair<Marker, long>> markers; // with the line ends before it in the piece
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
                    Marker m;
                    m.offset = pos + static_cast<std::uint64_t>(h - p);
                    // Its name line, while the bytes are at hand: then no
                    // fetch per list is needed in pass 2.
                    const char* const stop = p + len;
                    if (const void* nl = std::memchr(h, '\n', static_cast<std::size_t>(stop - h))) {
                        const char* name = static_cast<const char*>(nl) + 1;
                        m.after = pos + static_cast<std::uint64_t>(name - p);
                        if (const void* nl2 =
                                std::memchr(name, '\n', static_cast<std::size_t>(stop - name))) {
                            const char* end = static_cast<const char*>(nl2);
                            m.records = pos + static_cast<std::uint64_t>(end + 1 - p);
                            m.name.assign(name, end > name && end[-1] == '\r' ? end - 1 : end);
                        }
                    }
                    piece.markers.emplace_back(std::move(m), newlines);
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
        Piece& piece = found[i];
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
        for (auto& [marker, before] : piece.markers) {
            marker.line = lines + before;
            layout.markers.push_back(std::move(marker));
        }
        lines += piece.newlines;
    }
    layout.last_line = lines;
    layout.ends_in_newline = found.empty() || found.back().last == '\n';
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
    const Marker& marker = layout.markers[prev.end_marker];
    if (!name && marker.after) {
        job.worked((marker.after - marker.offset) * kParseWeight);
        return region_from(layout, size, marker.after, marker.line + 1);
    }
    if (name && marker.records) {
        *name = marker.name;
        job.worked((marker.records - marker.offset) * kParseWeight);
        return region_from(layout, size, marker.records, marker.line + 2);
    }
    // The marker and name lines usually end well before the next marker: a
    // first fetch no longer than that (and than a few KiB), so that a file of
    // many short lists costs no more bytes than it has. The block's records
    // are fetched and counted by its own parse.
    const std::uint64_t next =
        prev.end_marker + 1 < layout.markers.size() ? layout.markers[prev.end_marker + 1].offset : size;
    Scanner in(job, job.buffer(0), marker.offset, size, marker.line,
               static_cast<std::size_t>(std::min<std::uint64_t>(next - marker.offset, 4096)), false);
    in.skip_line();
    if (name) *name = in.read_line();
    job.worked((in.offset() - marker.offset) * kParseWeight);
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

// Where the records of a block go: record r (0-based) of the node block puts
// its six reals at rows + (r+1)*stride; of a result list, its three
// displacement reals there and its value at values[r+1].
struct RealTarget {
    double* rows = nullptr;
    std::size_t stride = 0;
    double* values = nullptr; // null for the node block
    bool list() const { return values != nullptr; }
};

// Reads records first..count-1 (0-based) of the node block or of a result
// list into `t`. At end of file the record under way is completed with
// zeros and the reading stops; the caller clears the rest.
template <bool kList>
void read_reals(Scanner& in, const RealTarget& t, std::int64_t first, std::int64_t count, EndKind end_kind,
                Progress& out, RealStats& stats) {
    const std::size_t cols = t.stride;
    constexpr int kWidth = kList ? 4 : 6;
    double* const coord = t.rows;
    double* const listas = t.values;
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
        double* const row = coord + i * cols;
        double* const value = kList ? listas + i : nullptr;
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

void read_reals(Scanner& in, const RealTarget& t, std::int64_t first, std::int64_t count, EndKind end_kind,
                Progress& out, RealStats& stats) {
    if (t.list())
        read_reals<true>(in, t, first, count, end_kind, out, stats);
    else
        read_reals<false>(in, t, first, count, end_kind, out, stats);
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
    // Empty, with room for the rows of `bytes` of text: a number takes at
    // least two bytes with its separator, a row at least eight. Reserved at
    // once, the buffer's pages are touched once, never copied as it grows.
    void clear(std::uint64_t bytes) {
        data.clear();
        ends.clear();
        start_ = 0;
        data.reserve(static_cast<std::size_t>(bytes / 2 + 64));
        ends.reserve(static_cast<std::size_t>(bytes / 8 + 8));
    }

    // Large and touched once per read: from allocate_pages, so that their
    // pages fault in 2 MiB at a time.
    std::vector<std::int32_t, PageAllocator<std::int32_t>> data;
    std::vector<std::int64_t, PageAllocator<std::int64_t>> ends; // row ends within data

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

// The node block or a result list, `count` records into `t`; folds the
// values into `stats`.
BlockEnd read_real_block(Job& job, const Layout& layout, const Region& r, std::int64_t count,
                         const RealTarget& t, RealStats& stats) {
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
                read_reals(in, t, ch.base, count, kind, outs[c], chunk_stats[c]);
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
        read_reals(in, t, done.next, count, r.end_kind(), o, stats);
        follow(done, o);
    }
    if (!done.early_end) return {};
    // The record under way was completed with zeros; clear what wrong guesses
    // wrote after it (the rest of the arrays is still zero from allocation).
    for (std::int64_t rec = done.read + 1; rec < std::min(dirty, count); ++rec) {
        const std::size_t i = static_cast<std::size_t>(rec) + 1;
        std::fill_n(t.rows + i * t.stride, t.list() ? 3 : 6, 0.0);
        if (t.list()) t.values[i] = 0;
    }
    // The missing values read as 0 count in the list's range; the record under way already added one.
    return {true, done.read};
}

// Room for every element row a block of `bytes` can hold (each number takes
// at least two bytes), so that rows never move while they arrive: address
// space, not memory, since pages untouched stay unbacked; backed by huge
// pages where the system allows. Without that much address space, the rows
// grow as they come.
void reserve_rows(std::vector<std::int32_t>& data, std::uint64_t bytes) {
    const std::uint64_t want = data.size() + bytes / 2 + 1;
    if (want <= data.capacity() || want > data.max_size()) return;
    try {
        data.reserve(static_cast<std::size_t>(want));
    } catch (const std::bad_alloc&) {
        return;
    } catch (const std::length_error&) {
        return;
    }
    advise_huge_pages(data.data(), data.capacity() * sizeof(std::int32_t));
}

BlockEnd read_element_block(Job& job, const Layout& layout, const Region& r, ResultModel& m) {
    const std::int64_t count = m.nelem;
    const std::vector<Chunk> chunks = chunks_of(layout, r);
    Progress done;
    done.resume = r.begin;
    done.resume_line = r.line;
    reserve_rows(m.conec_data, r.end - r.begin);
    bool serial = true;
    if (job.threads > 1 && chunks.size() > 1 && count > 0) {
        // In waves, so that only a few chunk buffers per thread exist at a time.
        const std::size_t wave = 4 * static_cast<std::size_t>(job.threads);
        bool adopting = true;
        // Each wave reuses the buffers of the one before: their pages are
        // faulted in once, not once per wave.
        std::vector<ChunkRows> rows(std::min(wave, chunks.size()));
        for (std::size_t w = 0; w < chunks.size() && adopting; w += wave) {
            const std::size_t n = std::min(wave, chunks.size() - w);
            std::vector<Progress> outs(n);
            run_parallel(job, n, [&](std::size_t i, char* buf) {
                const std::size_t c = w + i;
                const Chunk& ch = chunks[c];
                if (ch.base >= count) {
                    outs[i].skipped = true;
                    return;
                }
                rows[i].clear(ch.end - ch.begin);
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

// The result lists of a native file, read from their byte regions when the
// model's store asks: the same parse as the first read, so the same values.
class NativeLists final : public ListSource {
  public:
    std::string path;                         // empty when reading from `bytes`
    std::shared_ptr<const std::string> bytes; // a copy of bytes read from memory
    std::string name;                         // as messages show it
    FileStamp stamp;
    ReaderOptions options; // threads resolved, no progress
    Layout layout;
    std::int64_t nnode = 0;
    std::vector<Region> regions; // by list, entry 0 unused
    // By list: every record of the list is one line, so node i is on line
    // i of the region (no record spans lines, none is blank).
    std::vector<char> one_line_records;

    void load_list(int k, std::span<double> values, std::span<double> displacement) override {
        ListBlock spare;
        if (displacement.empty()) {
            spare = ListBlock(3 * values.size());
            displacement = spare;
        }
        read_from_file([&](Job& job) {
            RealStats stats;
            read_real_block(job, layout, regions[static_cast<std::size_t>(k)], nnode,
                            {displacement.data(), 3, values.data()}, stats);
        });
    }

    // The node's record alone: its line found by counting line ends from
    // the nearest line start known, then parsed as the whole list's parse
    // would parse it.
    std::optional<double> value_at(int k, std::int32_t node) override {
        if (!one_line_records[static_cast<std::size_t>(k)] || node < 1 || node > nnode) return std::nullopt;
        const Region& r = regions[static_cast<std::size_t>(k)];
        const long target = r.line + node - 1;
        std::optional<double> value;
        read_from_file([&](Job& job) {
            // The last known line start at or before the target line, inside the region.
            std::uint64_t pos = r.begin;
            long line = r.line;
            const auto it = std::upper_bound(layout.cuts.begin(), layout.cuts.end(), target,
                                             [](long l, const LinePos& c) { return l < c.line; });
            if (it != layout.cuts.begin()) {
                const LinePos& c = *std::prev(it);
                if (c.offset > pos && c.offset < r.end) {
                    pos = c.offset;
                    line = c.line;
                }
            }
            char* buf = job.buffer(0);
            while (line < target && pos < r.end) {
                const std::size_t len =
                    static_cast<std::size_t>(std::min<std::uint64_t>(job.window, r.end - pos));
                const char* p = job.src.view(pos, len, buf);
                const char* q = p;
                while (line < target) {
                    const void* nl = std::memchr(q, '\n', static_cast<std::size_t>(p + len - q));
                    if (!nl) break;
                    q = static_cast<const char*>(nl) + 1;
                    ++line;
                }
                // At the target line's start, or past this window's last line end.
                pos += line < target ? len : static_cast<std::uint64_t>(q - p);
            }
            if (line != target) return;
            Scanner in(job, buf, pos, r.end, line);
            double x[4];
            for (double& v : x)
                if (!next_real(in, v)) return;
            value = x[3];
        });
        return value;
    }

  private:
    // Runs read(job) over the file as it was opened; throws when the file
    // changed before or during the read, so that no value of another version
    // of it reaches the caller.
    template <class Read> void read_from_file(Read read) {
        const auto changed = [&] { return ReadError(name + " changed since it was opened; reopen it"); };
        std::optional<Input> src;
        if (bytes) {
            src.emplace(bytes->data(), bytes->size(), name);
        } else {
            try {
                src.emplace(path);
            } catch (const ReadError&) {
                throw changed(); // gone, or no longer a regular file
            }
            if (src->stamp() != stamp) throw changed();
        }
        const bool file = !bytes;
        Job job(*src, options);
        try {
            read(job);
        } catch (const Stopped&) {
            throw ReadCancelled("Reading " + name + " was cancelled");
        } catch (const ReadError&) {
            if (file && src->stamp() != stamp) throw changed();
            throw;
        }
        if (file && src->stamp() != stamp) throw changed();
    }
};

std::string early_end(const std::string& name, const std::string& where, std::int64_t announced,
                      const char* what, std::int64_t read) {
    return name + " ends early" + where + ": " + std::to_string(announced) + " " + what + " announced, " +
           std::to_string(read) + " read; the rest read as 0.";
}

// `lists` receives what a later load of a list needs (path or bytes, stamp
// and options already set); the model's store reads through it.
void read_model(Job& job, ResultModel& m, const ReaderOptions& options, std::vector<std::string>& warnings,
                std::shared_ptr<NativeLists> lists_source) {
    const std::string& name = job.src.name();
    Layout layout = scan(job);
    if (layout.markers.empty())
        throw ReadError(name + " is not a result file: it has no line beginning with '#'.");
    job.worked(layout.markers.front().offset * kParseWeight); // the title lines, read by no block
    const std::int64_t lists =
        layout.markers.size() >= 3 ? static_cast<std::int64_t>(layout.markers.size()) - 3 : 0;
    m.maxconec = 1;

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
    // The lists are read when they are needed: the model holds the mesh and
    // the one list being parsed.
    const std::uint64_t need = ResultModel::bytes_needed(nnode, nelem, lists ? 1 : 0);
    if (lists > std::numeric_limits<std::int32_t>::max() / 4 || need > limit)
        throw ReadError(name + " announces " + std::to_string(nnode) + " nodes, " + std::to_string(nelem) +
                        " elements and " + std::to_string(lists) + " result lists, which need " + mib(need) +
                        " of memory; only " + mib(limit) + " are available");

    m.nnode = nnode;
    m.nelem = nelem;
    m.nlista = static_cast<std::int32_t>(lists);
    const std::size_t rows = static_cast<std::size_t>(nnode) + 1;
    m.coord_data.resize(rows * m.coord_cols());
    m.reset_lists();
    // Fault the pages in on another core while the parsers run.
    PageWarmer warm_coord(m.coord_data.data(), m.coord_data.size() * sizeof(double));
    m.namelista.assign(static_cast<std::size_t>(m.nlista) + 1, std::string());
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
    if (const BlockEnd end =
            read_real_block(job, layout, r, nnode, {m.coord_data.data() + 1, m.coord_cols()}, node_stats);
        end.early)
        warn(early_end(name, "", nnode, "nodes", end.read));

    // Elements.
    r = next_region(job, layout, r, nullptr);
    if (const BlockEnd end = read_element_block(job, layout, r, m); end.early)
        warn(early_end(name, "", nelem, "elements", end.read));

    // Result lists: each parsed once for its range into one pair of buffers
    // and dropped, its region kept; the store reads it again when asked.
    FoundRanges found;
    found.maxscale = node_stats.maxscale;
    found.lists.assign(static_cast<std::size_t>(m.nlista) + 1, {0.0, 0.0});
    NativeLists& source = *lists_source;
    source.nnode = nnode;
    source.regions.assign(static_cast<std::size_t>(m.nlista) + 1, Region{});
    source.one_line_records.assign(static_cast<std::size_t>(m.nlista) + 1, 0);
    ListBlock values, displacement; // allocated for the first list parsed
    // Deferred, a list's region is all the open needs of it: pass 1 found
    // every marker. Only the last list, which alone can meet the end of the
    // file, is parsed at once, so that its warning and its one-line test are
    // those of a full read; a bad number elsewhere is found when the list
    // is read.
    if (options.defer_ranges && m.nlista > 0)
        m.range_pending.assign(static_cast<std::size_t>(m.nlista) + 1, 0);
    for (std::int32_t k = 1; k <= m.nlista; ++k) {
        r = next_region(job, layout, r, &m.namelista[static_cast<std::size_t>(k)]);
        source.regions[static_cast<std::size_t>(k)] = r;
        m.store->set_displacement(k, {DisplacementRef::Kind::own, 0, {}});
        // Each record takes a line at least; as many lines as records: one each.
        const long record_lines = r.end_marker != SIZE_MAX
                                      ? layout.markers[r.end_marker].line - r.line
                                      : layout.last_line - r.line + (layout.ends_in_newline ? 0 : 1);
        if (options.defer_ranges && r.end_marker != SIZE_MAX) {
            job.worked((r.end - r.begin) * kParseWeight);
            source.one_line_records[static_cast<std::size_t>(k)] = record_lines == nnode;
            m.range_pending[static_cast<std::size_t>(k)] = 1;
            continue;
        }
        if (values.empty() && rows) {
            values = ListBlock(rows);
            displacement = ListBlock(3 * rows);
        }
        RealStats stats;
        const BlockEnd end =
            read_real_block(job, layout, r, nnode, {displacement.data(), 3, values.data()}, stats);
        if (end.early)
            warn(early_end(name, " in result list " + std::to_string(k) + " of " + std::to_string(m.nlista),
                           nnode, "nodes", end.read));
        source.one_line_records[static_cast<std::size_t>(k)] = !end.early && record_lines == nnode;
        found.lists[static_cast<std::size_t>(k)] = {stats.range.lo, stats.range.hi};
    }
    ListBlock().swap(values);
    ListBlock().swap(displacement);
    source.layout = std::move(layout);
    ReaderOptions later;
    later.threads = job.threads;
    later.chunk_bytes = options.chunk_bytes;
    source.options = later;
    m.store->set_source(lists_source);
    finish_model(m, &found);
}

} // namespace

bool looks_like_native(std::string_view bytes) {
    // A marker line whose next token is a whole number (the sizes), or the
    // bytes end first. VTK's legacy header is a marker line too, but is
    // followed by a title line.
    std::size_t pos = 0;
    while (pos < bytes.size() && bytes[pos] != '#') {
        pos = bytes.find('\n', pos);
        if (pos == std::string_view::npos) return false;
        ++pos;
    }
    if (pos >= bytes.size()) return false;
    if (bytes.substr(pos).starts_with("# vtk DataFile")) return false;
    pos = bytes.find('\n', pos);
    if (pos == std::string_view::npos) return true;
    while (pos < bytes.size() && static_cast<unsigned char>(bytes[pos]) <= 32)
        ++pos;
    if (pos < bytes.size() && (bytes[pos] == '+' || bytes[pos] == '-')) ++pos;
    if (pos >= bytes.size()) return true;
    return static_cast<unsigned>(bytes[pos] - '0') < 10;
}

ReadResult read_native(Input& in, const ReaderOptions& options) {
    auto lists = std::make_shared<NativeLists>();
    lists->name = in.name();
    if (in.in_memory()) {
        // The lists are read from a copy of the bytes, which the model keeps.
        lists->bytes = std::make_shared<const std::string>(in.data(), static_cast<std::size_t>(in.size()));
        const Input copy(lists->bytes->data(), lists->bytes->size(), in.path());
        return run_read(copy, in.path(), options, [&](Job& job, ReadResult& out) {
            read_model(job, out.model, options, out.warnings, lists);
        });
    }
    lists->path = in.path();
    lists->stamp = in.stamp();
    ReadResult out = run_read(in, in.path(), options, [&](Job& job, ReadResult& result) {
        read_model(job, result.model, options, result.warnings, lists);
    });
    // Changed while it was read: the lists read later would not match.
    if (in.stamp() != lists->stamp)
        throw ReadError(lists->name + " changed while it was read; open it again");
    return out;
}

} // namespace orv
