// The whole-process ceiling of reading a result file on one thread: map the
// file, split it into tokens (bytes <= 32 separate them) and convert every
// token with std::from_chars. Prints the token count and their sum, so that
// the work cannot be left out. Run it under /usr/bin/time beside
// `ORVANEL_THREADS=1 orvanel --info` (bench/process_bench.sh).
//
//   parse_ceiling FILE
#include <charconv>
#include <cstdio>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: parse_ceiling FILE\n");
        return 2;
    }
    const int fd = ::open(argv[1], O_RDONLY);
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0 || st.st_size == 0) {
        std::perror(argv[1]);
        return 1;
    }
    const auto size = static_cast<std::size_t>(st.st_size);
    void* map = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
    if (map == MAP_FAILED) {
        std::perror("mmap");
        return 1;
    }
    const char* p = static_cast<const char*>(map);
    const char* const end = p + size;
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
        sum += v;
        ++tokens;
    }
    std::printf("%ld tokens, sum %.17g\n", tokens, sum);
    return 0;
}
