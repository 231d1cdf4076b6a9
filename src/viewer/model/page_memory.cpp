#include "viewer/model/page_memory.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <sys/resource.h>
#include <unistd.h>

namespace orv {
namespace {

// Address space this process may still map under its limit (ulimit -v), or
// UINT64_MAX when it has none.
std::uint64_t address_space_left() {
    rlimit lim{};
    if (::getrlimit(RLIMIT_AS, &lim) != 0 || lim.rlim_cur == RLIM_INFINITY) return UINT64_MAX;
    unsigned long long pages = 0;
    if (std::FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%llu", &pages) != 1) pages = 0;
        std::fclose(f);
    }
    const long page = ::sysconf(_SC_PAGESIZE);
    const std::uint64_t used = pages * static_cast<std::uint64_t>(page > 0 ? page : 4096);
    const auto limit = static_cast<std::uint64_t>(lim.rlim_cur);
    return limit > used ? limit - used : 0;
}

} // namespace

std::uint64_t machine_memory() {
    std::uint64_t free = UINT64_MAX;
    if (std::FILE* f = std::fopen("/proc/meminfo", "r")) {
        char line[256];
        unsigned long long kib = 0;
        while (std::fgets(line, sizeof line, f))
            if (std::sscanf(line, "MemAvailable: %llu kB", &kib) == 1) break;
        std::fclose(f);
        if (kib) free = static_cast<std::uint64_t>(kib) * 1024;
    }
    if (free == UINT64_MAX) {
        const long pages = ::sysconf(_SC_PHYS_PAGES);
        const long page = ::sysconf(_SC_PAGESIZE);
        if (pages > 0 && page > 0)
            free = static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(page);
    }
    return std::min(free, address_space_left());
}

} // namespace orv
