// Reader benchmark: compares read_result_file with the parsing ceiling, a
// single pass that splits the file into tokens and converts every token with
// std::from_chars, and reports the reader's peak resident memory against the
// size of the arrays the model holds.
//
//   reader_bench FILE        (make one with make_result_file)
#include "viewer/model/reader.h"

#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <sys/resource.h>

namespace {

double seconds_since(std::chrono::steady_clock::time_point t0) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

long peak_rss_kib() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}

// Tokens separated by bytes <= 32, each converted as a double; returns the
// sum so the work cannot be optimised away.
double ceiling_pass(const char* path, long& tokens) {
    std::FILE* f = std::fopen(path, "rb");
    if (!f) return 0;
    constexpr std::size_t kChunk = 1 << 20;
    std::unique_ptr<char[]> buf(new char[kChunk + 64]);
    std::size_t carry = 0;
    double sum = 0;
    tokens = 0;
    for (;;) {
        const std::size_t got = std::fread(buf.get() + carry, 1, kChunk - carry, f);
        const std::size_t len = carry + got;
        const bool last = got == 0;
        std::size_t i = 0, keep = 0;
        while (i < len) {
            while (i < len && static_cast<unsigned char>(buf[i]) <= 32)
                ++i;
            const std::size_t start = i;
            while (i<len&& static_cast<unsigned char>(buf[i])> 32)
                ++i;
            if (i == start) break;
            if (i == len && !last) { // token may continue in the next chunk
                keep = start;
                break;
            }
            double v = 0;
            std::from_chars(buf.get() + start, buf.get() + i, v);
            sum += v;
            ++tokens;
            keep = len;
        }
        if (last) break;
        carry = keep < len ? len - keep : 0;
        if (carry) std::memmove(buf.get(), buf.get() + keep, carry);
    }
    std::fclose(f);
    return sum;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: reader_bench FILE\n");
        return 2;
    }
    const long rss0 = peak_rss_kib();
    long tokens = 0;
    ceiling_pass(argv[1], tokens); // warm the page cache

    auto t0 = std::chrono::steady_clock::now();
    double sum = ceiling_pass(argv[1], tokens);
    const double ceiling = seconds_since(t0);

    t0 = std::chrono::steady_clock::now();
    const orv::ResultModel m = orv::read_result_file(argv[1]);
    const double read = seconds_since(t0);
    const long rss1 = peak_rss_kib();

    const double model_mib = (m.coord_data.capacity() * 8.0 + m.listas_data.capacity() * 8.0 +
                              m.conec_data.capacity() * 4.0 + m.conec_start.capacity() * 8.0) /
                             (1 << 20);
    std::printf("file: %s (%d nodes, %d elements, %d lists; %ld tokens; checksum %g)\n", argv[1], m.nnode,
                m.nelem, m.nlista, tokens, sum);
    std::printf("ceiling pass (tokenise + from_chars): %.3f s\n", ceiling);
    std::printf("read_result_file:                    %.3f s  (%.2f x ceiling)\n", read, read / ceiling);
    std::printf("model arrays: %.1f MiB; peak RSS growth: %.1f MiB; overhead: %.1f MiB\n", model_mib,
                (rss1 - rss0) / 1024.0, (rss1 - rss0) / 1024.0 - model_mib);
    return 0;
}
