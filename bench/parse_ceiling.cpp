// The whole-process ceiling of reading a result file: map the file, split it
// into tokens (bytes <= 32 separate them) and convert every token with
// std::from_chars. Prints the token count and their sum, so that the work
// cannot be left out. Run it under /usr/bin/time beside `orvanel --info`
// (bench/process_bench.sh).
//
//   parse_ceiling [--threads N] [--store] FILE
//
// --threads N cuts the file into N parts at separators, one thread each.
// --store also writes every value into fresh memory, one double per token,
// as a reader must end with the values in memory: the pages come zeroed from
// the kernel (2 MiB pages where the system allows, as the reader asks), so
// this adds the system's cost of the model's memory to the parse. With both,
// it is the floor of a reader that parses every token once on N threads.
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

struct Part {
    const char* begin;
    const char* end;
    double* out = nullptr; // room for one double per token, or null
    long tokens = 0;
    double sum = 0;
};

void parse(Part& part) {
    // Locals, not the struct: the parts of two threads share a cache line.
    const char* p = part.begin;
    const char* const end = part.end;
    double* out = part.out;
    long tokens = 0;
    double sum = 0;
    while (p < end) {
        while (p < end && static_cast<unsigned char>(*p) <= 32)
            ++p;
        const char* start = p;
        while (p<end&& static_cast<unsigned char>(*p)> 32)
            ++p;
        if (p == start) break;
        double v = 0;
        std::from_chars(start, p, v);
        if (out) *out++ = v;
        sum += v;
        ++tokens;
    }
    part.tokens = tokens;
    part.sum = sum;
}

} // namespace

int main(int argc, char** argv) {
    int threads = 1;
    bool store = false;
    const char* path = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--threads") == 0 && i + 1 < argc)
            threads = std::atoi(argv[++i]);
        else if (std::strcmp(argv[i], "--store") == 0)
            store = true;
        else if (!path && argv[i][0] != '-')
            path = argv[i];
        else
            path = nullptr, threads = 0;
    }
    if (!path || threads < 1 || threads > 256) {
        std::fprintf(stderr, "usage: parse_ceiling [--threads N] [--store] FILE\n");
        return 2;
    }
    const int fd = ::open(path, O_RDONLY);
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0 || st.st_size == 0) {
        std::perror(path);
        return 1;
    }
    const auto size = static_cast<std::size_t>(st.st_size);
    void* map = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
    if (map == MAP_FAILED) {
        std::perror("mmap");
        return 1;
    }
    const char* const data = static_cast<const char*>(map);
    std::vector<Part> parts;
    const char* cut = data;
    for (int t = 0; t < threads; ++t) {
        const char* next = t + 1 == threads ? data + size : data + size / threads * (t + 1);
        if (next < cut) next = cut;
        while (next<data + size&& static_cast<unsigned char>(*next)> 32)
            ++next;
        parts.push_back({cut, next});
        cut = next;
    }
    if (store) {
        // A token takes at least two bytes with its separator: address space
        // for that many, of which only the pages written are ever backed.
        for (Part& part : parts) {
            const std::size_t bytes = ((part.end - part.begin) / 2 + 1) * sizeof(double);
            void* mem = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
            if (mem == MAP_FAILED) {
                std::perror("mmap");
                return 1;
            }
            ::madvise(mem, bytes, MADV_HUGEPAGE);
            part.out = static_cast<double*>(mem);
        }
    }
    std::vector<std::thread> pool;
    for (std::size_t t = 1; t < parts.size(); ++t)
        pool.emplace_back(parse, std::ref(parts[t]));
    parse(parts[0]);
    for (std::thread& th : pool)
        th.join();
    long tokens = 0;
    double sum = 0;
    for (const Part& part : parts)
        tokens += part.tokens, sum += part.sum;
    std::printf("%ld tokens, sum %.17g\n", tokens, sum);
    std::fflush(stdout);
    // As the reader's batch modes do: the memory goes back with the process.
    std::_Exit(0);
}
