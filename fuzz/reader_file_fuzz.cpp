// libFuzzer target: the reader over a real file (the path the viewer and the
// batch modes take, with its own name window and block fetches) must give
// exactly what the reader over the same bytes in memory gives, on one and on
// two threads; its progress must count forward, never past the total.
#include "viewer/formats/reader.h"
#include "viewer/model/info_report.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <fcntl.h>
#include <unistd.h>

namespace {

std::string outcome(const orv::ReadResult& r) {
    std::string s = orv::info_report(r.model);
    const auto put = [&](const void* p, std::size_t n) { s.append(static_cast<const char*>(p), n); };
    const orv::ResultModel& m = r.model;
    put(m.coord_data.data(), m.coord_data.size() * sizeof(double));
    for (int k = 1; k <= m.nlista; ++k) {
        const orv::ListValues v = m.values(k);
        const orv::DisplacementValues d = m.displacement(k);
        put(v.data(), v.size() * sizeof(double));
        put(d.data(), d.size() * sizeof(double));
    }
    put(m.conec_data.data(), m.conec_data.size() * sizeof(std::int32_t));
    put(m.conec_start.data(), m.conec_start.size() * sizeof(std::int64_t));
    for (const std::string& w : r.warnings)
        s += "warning: " + w + "\n";
    return s;
}

template <class Read> std::string guarded(Read read) {
    try {
        return outcome(read());
    } catch (const orv::ReadError& e) {
        return std::string("error: ") + e.what();
    }
}

// One file for the whole run, rewritten for every input.
const std::string& scratch_path() {
    static const std::string path = [] {
        char name[] = "/tmp/orvanel-fuzz-XXXXXX";
        const int fd = ::mkstemp(name);
        if (fd < 0) std::abort();
        ::close(fd);
        std::atexit([] { ::unlink(scratch_path().c_str()); });
        return std::string(name);
    }();
    return path;
}

void write_scratch(const std::uint8_t* data, std::size_t size) {
    const int fd = ::open(scratch_path().c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (fd < 0) std::abort();
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd, data + done, size - done);
        if (n <= 0) std::abort();
        done += static_cast<std::size_t>(n);
    }
    ::close(fd);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    write_scratch(data, size);
    const std::string& path = scratch_path();
    orv::ReaderOptions options;
    options.memory_limit = 64u << 20;
    options.threads = 1;
    const std::string expected = guarded(
        [&] { return orv::read_result_bytes(reinterpret_cast<const char*>(data), size, path, options); });

    for (const int threads : {1, 2}) {
        options.threads = threads;
        options.chunk_bytes = size ? 1 + data[size - 1] % 64 : 0;
        std::uint64_t last = 0;
        options.progress = [&](std::uint64_t done, std::uint64_t total) {
            if (done < last || done > total) __builtin_trap();
            last = done;
            return true;
        };
        if (guarded([&] { return orv::read_result(path, options); }) != expected) __builtin_trap();
    }
    return 0;
}
