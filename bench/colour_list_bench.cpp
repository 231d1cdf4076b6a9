// Colour-list benchmark: builds the colour geometry of one result list
// (deformed positions, sub-division, continuous colours or band cutting)
// through a counting sink, on one core, and prints vertices per second and
// the cost of the banded pass against the continuous one.
//
//   colour_list_bench                    synthetic plates of about 1,000,000
//                                        sub-triangles: linear quadrilaterals
//                                        and quadratic triangles
//   colour_list_bench FILE [--list K]    a result file (make_result_file)
//   --repeat N                           timed runs per pass (best is kept)
//   --waves W                            value waves of the synthetic plates
#include "viewer/formats/reader.h"
#include "viewer/render/colour_list.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <span>
#include <string>
#include <vector>

namespace {

using namespace orv;

// Counts what a GL emitter would send; the checksum keeps the work observable.
struct CountingSink final : ColourPieceSink {
    long pieces = 0;
    long vertices = 0;
    double checksum = 0;
    void piece(int band, const Point3* pts, int count) override {
        ++pieces;
        vertices += count;
        checksum += band + pts[0].x;
    }
    void shaded_piece(const Point3* pts, const double* values, int count) override {
        ++pieces;
        vertices += count;
        checksum += values[0] + pts[0].x;
    }
    void blank_piece(const Point3* pts, int count) override {
        ++pieces;
        vertices += count;
        checksum += pts[0].x;
    }
};

// A flat plate on an (n+1) x (n+1) node grid over the unit square, lightly
// warped, with one result list: `waves` half-waves of value across the plate
// (3 gives a realistic share of sub-triangles cut by band limits; hundreds
// cut nearly every one) and a displacement field.
ResultModel make_plate(int n, bool quadratic_triangles, double waves) {
    ResultModel m;
    const int side = n + 1;
    m.nnode = side * side;
    m.nlista = 1;
    m.coord_data.resize(static_cast<std::size_t>(m.nnode + 1) * m.coord_cols());
    m.reset_lists();
    const std::span<double> values = m.store->resident_values(1);
    const std::span<double> displacement = m.store->resident_own_displacement(1);
    m.namelista = {"", "Synthetic"};
    m.maxlista.assign(2, {0, 0});
    double lo = INFINITY, hi = -INFINITY;
    for (int j = 0; j < side; ++j)
        for (int i = 0; i < side; ++i) {
            const std::size_t node = static_cast<std::size_t>(j) * side + i + 1;
            const double x = double(i) / n, y = double(j) / n;
            m.coord(node, 1) = x;
            m.coord(node, 2) = y;
            m.coord(node, 3) = 0.01 * std::sin(7 * x);
            displacement[3 * node] = 0.02 * y;
            displacement[3 * node + 1] = -0.01 * x;
            displacement[3 * node + 2] = 0.05 * x * y;
            const double v = std::sin(waves * M_PI * x) * std::cos(2 * M_PI * y) + x;
            values[node] = v;
            lo = std::min(lo, v);
            hi = std::max(hi, v);
        }
    m.maxlista[1] = {lo, hi};
    m.maxlista[0] = {lo, hi};
    m.maxscale = 1;

    const auto id = [&](int i, int j) { return static_cast<std::int32_t>(j * side + i + 1); };
    m.conec_data = {0};
    m.conec_start = {0, 1};
    const auto add = [&](int code, std::initializer_list<std::int32_t> nodes) {
        m.conec_data.push_back(code);
        m.conec_data.insert(m.conec_data.end(), nodes);
        m.conec_start.push_back(static_cast<std::int64_t>(m.conec_data.size()));
        ++m.nelem;
    };
    if (!quadratic_triangles) {
        for (int j = 0; j < n; ++j)
            for (int i = 0; i < n; ++i)
                add(301, {id(i, j), id(i + 1, j), id(i, j + 1), id(i + 1, j + 1)});
    } else {
        for (int j = 0; j + 2 <= n; j += 2)
            for (int i = 0; i + 2 <= n; i += 2) {
                add(202,
                    {id(i, j), id(i + 1, j), id(i + 2, j), id(i, j + 1), id(i + 1, j + 1), id(i, j + 2)});
                add(202, {id(i + 2, j + 2), id(i + 1, j + 2), id(i, j + 2), id(i + 2, j + 1),
                          id(i + 1, j + 1), id(i + 2, j)});
            }
    }
    return m;
}

long sub_triangles(const ResultModel& m) {
    long count = 0;
    for (std::size_t e = 1; e <= static_cast<std::size_t>(m.nelem); ++e) {
        const ElementType t = drawable_type(m, e);
        if (t.family == 2)
            count += long(t.order) * t.order;
        else if (t.family == 3)
            count += 2L * t.order * t.order;
        else if (t.family == 1)
            count += t.order;
    }
    return count;
}

struct Timing {
    double seconds;
    CountingSink sink;
};

Timing run(const ResultModel& m, int k, bool banded, int repeat) {
    ColourListSettings s;
    s.banded = banded;
    Timing best{INFINITY, {}};
    for (int r = 0; r < repeat; ++r) {
        CountingSink sink;
        const auto t0 = std::chrono::steady_clock::now();
        walk_colour_list(m, k, s, sink);
        const double t = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        if (t < best.seconds) best = {t, sink};
    }
    return best;
}

void report(const char* name, const ResultModel& m, int k, int repeat) {
    const long tris = sub_triangles(m);
    std::printf("%s: %d nodes, %d elements, %ld pieces (sub-triangles and segments)\n", name, m.nnode,
                m.nelem, tris);
    const Timing c = run(m, k, false, repeat);
    const Timing b = run(m, k, true, repeat);
    std::printf("  continuous: %8.1f ms  %9ld vertices  %7.1f M vertices/s\n", c.seconds * 1e3,
                c.sink.vertices, c.sink.vertices / c.seconds / 1e6);
    std::printf("  banded:     %8.1f ms  %9ld vertices  %7.1f M vertices/s  (%ld band pieces, %.2f per "
                "sub-triangle; %.1f M input vertices/s)\n",
                b.seconds * 1e3, b.sink.vertices, b.sink.vertices / b.seconds / 1e6, b.sink.pieces,
                double(b.sink.pieces) / double(tris), double(c.sink.vertices) / b.seconds / 1e6);
    std::printf("  banded / continuous time: %.2f   (checksums %.3g %.3g)\n", b.seconds / c.seconds,
                c.sink.checksum, b.sink.checksum);
}

} // namespace

int main(int argc, char** argv) {
    std::string file;
    int k = 1, repeat = 5;
    double waves = 3;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--list") && i + 1 < argc)
            k = std::atoi(argv[++i]);
        else if (!std::strcmp(argv[i], "--repeat") && i + 1 < argc)
            repeat = std::max(1, std::atoi(argv[++i]));
        else if (!std::strcmp(argv[i], "--waves") && i + 1 < argc)
            waves = std::atof(argv[++i]);
        else if (argv[i][0] != '-' && file.empty())
            file = argv[i];
        else {
            std::fprintf(stderr, "usage: colour_list_bench [FILE] [--list K] [--repeat N] [--waves W]\n");
            return 2;
        }
    }
    if (!file.empty()) {
        try {
            const ResultModel m = read_result_file(file);
            if (k < 1 || k > m.nlista) {
                std::fprintf(stderr, "%s has %d result lists; --list %d does not exist\n", file.c_str(),
                             m.nlista, k);
                return 1;
            }
            report(file.c_str(), m, k, repeat);
        } catch (const ReadError& e) {
            std::fprintf(stderr, "%s\n", e.what());
            return 1;
        }
        return 0;
    }
    // 707 x 707 cells: 999,698 sub-triangles either way.
    std::printf("synthetic plates, %g half-waves of value across\n", waves);
    report("linear quadrilaterals", make_plate(707, false, waves), 1, repeat);
    report("quadratic triangles", make_plate(706, true, waves), 1, repeat);
    return 0;
}
