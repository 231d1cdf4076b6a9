// Reader benchmark: compares the reader on 1, 2 and all threads with the
// parsing ceiling of one thread, a single pass that splits the file into
// tokens and converts every token with std::from_chars; measures what a
// progress callback costs; reports the peak resident memory against the size
// of the arrays the model holds.
//
//   reader_bench [--runs N] FILE...     (make one with make_result_file)
//   reader_bench --formats [--runs N] NATIVE FILE...
//
// --formats compares files that hold the same model in different formats:
// each file's read time (all threads) against the first one's, and each
// file's peak memory, measured in a child process that reads it once,
// against the bytes of the model it gives.
//
// Each figure is the median of N runs (default 5), the variants taking turns
// so that a load from elsewhere spreads over all of them. "cpu" is the user
// plus system time of all threads.
#include "viewer/formats/reader.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

struct Sample {
    double wall = 0;
    double cpu = 0;
};

double cpu_seconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) * 1e-6;
}

long peak_rss_kib() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}

Sample measure(const std::function<void()>& run) {
    const double cpu0 = cpu_seconds();
    const auto t0 = std::chrono::steady_clock::now();
    run();
    return {std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count(),
            cpu_seconds() - cpu0};
}

Sample median(std::vector<Sample> s) {
    auto mid = [&](auto key) {
        std::vector<double> v;
        for (const Sample& x : s)
            v.push_back(key(x));
        std::sort(v.begin(), v.end());
        return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
    };
    return {mid([](const Sample& x) { return x.wall; }), mid([](const Sample& x) { return x.cpu; })};
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

// Bytes of every array the finished model holds.
double model_bytes(const orv::ResultModel& m) {
    return m.coord_data.capacity() * 8.0 + static_cast<double>(m.store->bytes_held()) +
           m.conec_data.capacity() * 4.0 + m.conec_start.capacity() * 8.0 + m.node_labels.capacity() * 8.0 +
           m.element_labels.capacity() * 8.0 + static_cast<double>(m.inner_nodes.capacity());
}

long resident_kib() {
    long pages = 0, resident = 0;
    if (std::FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
        std::fclose(f);
    }
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// Reads `path` once in a child process; its peak resident memory above what
// it held before the read, and the model's bytes, in MiB; {-1, -1} when the
// read failed.
std::pair<double, double> peak_of_read(const char* path) {
    int fds[2];
    if (pipe(fds) != 0) return {-1, -1};
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        double out[2] = {-1, -1};
        const long before = resident_kib();
        try {
            const orv::ReadResult r = orv::read_result(path);
            out[0] = (peak_rss_kib() - before) / 1024.0;
            out[1] = model_bytes(r.model) / (1 << 20);
        } catch (const orv::ReadError&) {
        }
        if (write(fds[1], out, sizeof out) != sizeof out) _exit(1);
        _exit(0);
    }
    close(fds[1]);
    double got[2] = {-1, -1};
    if (pid > 0) {
        if (read(fds[0], got, sizeof got) != sizeof got) got[0] = got[1] = -1;
        waitpid(pid, nullptr, 0);
    }
    close(fds[0]);
    return {got[0], got[1]};
}

int compare_formats(const std::vector<const char*>& files, int runs) {
    // Peaks first, from a parent that has read nothing yet: the allocator's
    // state (its mmap threshold grows with the blocks freed) passes to the
    // child and would change what a fresh process holds.
    std::vector<std::pair<double, double>> peaks;
    for (const char* f : files)
        peaks.push_back(peak_of_read(f));
    std::vector<std::vector<Sample>> samples(files.size());
    for (int r = 0; r < runs; ++r)
        for (std::size_t f = 0; f < files.size(); ++f)
            samples[f].push_back(measure([&] {
                try {
                    (void)orv::read_result(files[f]);
                } catch (const orv::ReadError& e) {
                    std::printf("%s: %s\n", files[f], e.what());
                }
            }));
    const Sample native = median(samples[0]);
    for (std::size_t f = 0; f < files.size(); ++f) {
        const Sample s = median(samples[f]);
        const auto [peak, model] = peaks[f];
        std::printf(
            "%-28s wall %.3f s (%.2f x first)  cpu %.3f s (%.2f x first)  peak %.0f MiB = %.2f x model "
            "(%.0f MiB)\n",
            files[f], s.wall, s.wall / native.wall, s.cpu, s.cpu / native.cpu, peak,
            model > 0 ? peak / model : 0.0, model);
    }
    std::printf("(medians of %d runs; %u hardware threads)\n", runs, std::thread::hardware_concurrency());
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    int runs = 5;
    bool formats = false;
    std::vector<const char*> files;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--formats") == 0)
            formats = true;
        else if (std::strcmp(argv[i], "--runs") == 0 && i + 1 < argc)
            runs = std::max(1, std::atoi(argv[++i]));
        else
            files.push_back(argv[i]);
    }
    if (files.empty()) {
        std::fprintf(stderr, "usage: reader_bench [--formats] [--runs N] FILE...\n");
        return 2;
    }
    if (formats) return compare_formats(files, runs);
    const int all = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    const long rss0 = peak_rss_kib();
    for (const char* path : files) {
        long tokens = 0;
        double sum = ceiling_pass(path, tokens); // warms the page cache
        orv::ReadResult first;
        try {
            first = orv::read_result(path);
        } catch (const orv::ReadError& e) {
            std::printf("%s: %s\n", path, e.what());
            continue;
        }
        const orv::ResultModel& m = first.model;
        const double model_mib = (m.coord_data.capacity() * 8.0 + static_cast<double>(m.store->bytes_held()) +
                                  m.conec_data.capacity() * 4.0 + m.conec_start.capacity() * 8.0) /
                                 (1 << 20);
        std::printf("file: %s (%d nodes, %d elements, %d lists; %ld tokens; checksum %g)\n", path, m.nnode,
                    m.nelem, m.nlista, tokens, sum);
        for (const std::string& w : first.warnings)
            std::printf("warning: %s\n", w.c_str());
        first = {};

        const auto reader = [path](int threads, bool progress) {
            return [path, threads, progress] {
                orv::ReaderOptions o;
                o.threads = threads;
                long calls = 0;
                if (progress)
                    o.progress = [&calls](std::uint64_t, std::uint64_t) {
                        ++calls;
                        return true;
                    };
                (void)orv::read_result(path, o);
            };
        };
        struct Variant {
            std::string label;
            std::function<void()> run;
            std::vector<Sample> samples = {};
        };
        std::vector<Variant> variants = {
            {"ceiling pass (tokenise + from_chars)",
             [path] {
                 long t = 0;
                 (void)ceiling_pass(path, t);
             }},
            {"read, 1 thread", reader(1, false)},
            {"read, 1 thread + progress callback", reader(1, true)},
            {"read, 2 threads", reader(2, false)},
            {"read, 2 threads + progress callback", reader(2, true)},
        };
        if (all != 1 && all != 2)
            variants.push_back({"read, " + std::to_string(all) + " threads", reader(all, false)});
        for (int r = 0; r < runs; ++r)
            for (Variant& v : variants)
                v.samples.push_back(measure(v.run));
        const double ceiling = median(variants[0].samples).wall;
        for (const Variant& v : variants) {
            const Sample s = median(v.samples);
            std::printf("  %-38s wall %.3f s (%.2f x ceiling)  cpu %.3f s\n", v.label.c_str(), s.wall,
                        s.wall / ceiling, s.cpu);
        }
        std::printf("  model arrays: %.1f MiB; peak RSS growth so far: %.1f MiB\n", model_mib,
                    (peak_rss_kib() - rss0) / 1024.0);
    }
    std::printf("(medians of %d runs; %d hardware threads)\n", runs, all);
    return 0;
}
