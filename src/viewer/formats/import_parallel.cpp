#include "viewer/formats/import_parallel.h"

#include <algorithm>
#include <cstring>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace orv::import {
namespace {

// Fewer tokens than this are read on one thread: starting threads costs
// more. Small chunks (tests, the fuzzer) lower it to put joins everywhere.
constexpr std::size_t kMinParallelTokens = 4096;

struct Count {
    std::size_t tokens = 0;
    std::size_t lines = 0;
};

// Tokens starting in [p, e), where p follows a blank, and line ends.
Count count_tokens(const char* p, const char* e) {
    Count c;
    bool blank = true;
#ifdef __SSE2__
    // Sixteen bytes at a time: a token starts where a byte > 32 follows a
    // blank. Byte counters of up to 255 matches each, then summed.
    const __m128i space = _mm_set1_epi8(32), newline = _mm_set1_epi8('\n'), zero = _mm_setzero_si128();
    __m128i before = _mm_cmpeq_epi8(zero, zero); // the blank mask of the bytes before: all blank
    const auto sum = [&](__m128i counters) {
        const __m128i s = _mm_sad_epu8(counters, zero);
        return static_cast<std::size_t>(_mm_cvtsi128_si64(s)) +
               static_cast<std::size_t>(_mm_cvtsi128_si64(_mm_unpackhi_epi64(s, s)));
    };
    while (e - p >= 16) {
        __m128i starts = zero, ends = zero;
        for (int k = 0; k < 255 && e - p >= 16; ++k, p += 16) {
            const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
            const __m128i b = _mm_cmpeq_epi8(_mm_min_epu8(x, space), x); // 0xff where blank
            const __m128i prev = _mm_or_si128(_mm_slli_si128(b, 1), _mm_srli_si128(before, 15));
            starts = _mm_sub_epi8(starts, _mm_andnot_si128(b, prev));
            ends = _mm_sub_epi8(ends, _mm_cmpeq_epi8(x, newline));
            before = b;
        }
        c.tokens += sum(starts);
        c.lines += sum(ends);
    }
    blank = (_mm_movemask_epi8(before) & 0x8000) != 0;
#endif
    for (; p < e; ++p) {
        const bool b = static_cast<unsigned char>(*p) <= 32;
        c.tokens += blank && !b;
        c.lines += *p == '\n';
        blank = b;
    }
    return c;
}

} // namespace

Reading::Reading(const char* data, std::size_t size, const std::string& name, const ReaderOptions& options)
    : src_(data, size, name), job_(src_, options), name_(name), begin_(data), reported_(data),
      limit_(options.memory_limit ? options.memory_limit : input::machine_memory()) {}

void Reading::report(const char* pos) {
    if (pos <= reported_) return;
    const auto bytes = static_cast<std::uint64_t>(pos - reported_);
    reported_ = pos;
    job_.worked(bytes * (input::kScanWeight + input::kParseWeight));
}

void Reading::refuse(const std::string& what) const {
    throw ReadError("Not enough memory to read " + name_ + ": " + what +
                    ", which with the data before need " + input::mib(needed_) + " of memory; only " +
                    input::mib(limit_) + " are available");
}

namespace detail {

std::vector<TokenPiece> split(Reading& r, const char* from, const char* file_end, std::size_t count,
                              bool by_lines, std::size_t& lines) {
    std::vector<TokenPiece> pieces;
    lines = 0;
    const std::size_t least = by_lines ? std::min<std::size_t>(256, r.job().chunk / 64 + 1)
                                       : std::min(kMinParallelTokens, r.job().chunk / 4 + 1);
    if (r.threads() < 2 || count < least || from > file_end) return pieces;
    if (from > r.begin() && (by_lines ? from[-1] != '\n' : static_cast<unsigned char>(from[-1]) > 32))
        return pieces;
    const std::size_t chunk = r.job().chunk;
    const std::size_t round = static_cast<std::size_t>(r.threads()) * 4;
    std::vector<const char*> starts;
    std::vector<Count> counts;
    std::size_t total = 0;
    const char* p = from;
    while (p < file_end) {
        // A round of chunks, each ending after a line end.
        starts.clear();
        for (std::size_t k = 0; k < round && p < file_end; ++k) {
            starts.push_back(p);
            const char* e = p + std::min<std::size_t>(chunk, static_cast<std::size_t>(file_end - p));
            const void* nl =
                e < file_end ? std::memchr(e, '\n', static_cast<std::size_t>(file_end - e)) : nullptr;
            p = nl ? static_cast<const char*>(nl) + 1 : file_end;
        }
        starts.push_back(p);
        counts.assign(starts.size() - 1, Count{});
        input::run_parallel(r.job(), counts.size(), [&](std::size_t i, char*) {
            if (by_lines) // lines are all a piece needs to know
                counts[i].lines =
                    input::count_newlines(starts[i], static_cast<std::size_t>(starts[i + 1] - starts[i]));
            else
                counts[i] = count_tokens(starts[i], starts[i + 1]);
        });
        for (std::size_t i = 0; i < counts.size(); ++i) {
            const std::size_t want = count - total;
            const std::size_t have = by_lines ? counts[i].lines : counts[i].tokens;
            if (have < want) {
                pieces.push_back({starts[i], starts[i + 1], total, have});
                total += have;
                lines += counts[i].lines;
                continue;
            }
            // The block ends in this chunk: after its want-th token or line.
            const char* q = starts[i];
            for (std::size_t t = 0; t < want; ++t) {
                if (by_lines)
                    q = static_cast<const char*>(
                            std::memchr(q, '\n', static_cast<std::size_t>(starts[i + 1] - q))) +
                        1;
                else
                    next_token(q, starts[i + 1]);
            }
            lines += count_tokens(starts[i], q).lines;
            pieces.push_back({starts[i], q, total, want});
            return pieces;
        }
    }
    pieces.clear(); // the file ends inside the block
    return pieces;
}

std::vector<TokenPiece> split_fixed(Reading& r, const char* from, const char* file_end, std::size_t records,
                                    std::span<const std::size_t> widths, bool text) {
    std::vector<TokenPiece> pieces;
    std::size_t bytes = 0;
    for (const std::size_t w : widths)
        bytes += w;
    const std::size_t least = std::min<std::size_t>(256, r.job().chunk / 64 + 1);
    if (r.threads() < 2 || records < least || bytes == 0 || from > file_end) return pieces;
    if (text && from > r.begin() && from[-1] != '\n') return pieces;
    if (records > static_cast<std::size_t>(file_end - from) / bytes) return pieces; // the file is shorter
    // Pieces small enough that the check leaves them in the core's cache for the parse.
    const std::size_t per =
        std::max<std::size_t>(1, std::min<std::size_t>(r.job().chunk, 256u << 10) / bytes);
    for (std::size_t first = 0; first < records; first += per) {
        const std::size_t n = std::min(per, records - first);
        const char* b = from + first * bytes;
        pieces.push_back({b, b + n * bytes, first * widths.size(), n * widths.size()});
    }
    return pieces;
}

bool lines_fit(const TokenPiece& piece, std::span<const std::size_t> widths) {
    // A line end at every place the layout puts one, and no more line ends
    // than those.
    const char* p = piece.begin;
    while (p < piece.end)
        for (const std::size_t w : widths) {
            if (p[w - 1] != '\n') return false;
            p += w;
        }
    return input::count_newlines(piece.begin, static_cast<std::size_t>(piece.end - piece.begin)) ==
           piece.count;
}

bool run_pieces(Reading& r, const std::vector<TokenPiece>& pieces,
                const std::function<bool(const TokenPiece&)>& parse) {
    std::atomic<bool> ok{true};
    input::run_parallel(r.job(), pieces.size(), [&](std::size_t i, char*) {
        if (!ok.load(std::memory_order_relaxed)) return;
        if (!parse(pieces[i])) ok = false;
        const auto bytes = static_cast<std::uint64_t>(pieces[i].end - pieces[i].begin);
        r.job().worked(bytes * (input::kScanWeight + input::kParseWeight));
    });
    return ok;
}

} // namespace detail
} // namespace orv::import
