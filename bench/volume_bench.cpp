// Volume benchmark: a block of n x n x n 8-node bricks (n = 100: about a
// million nodes) or of 10-node tetrahedra (each brick split into six), with
// a few result lists, built in memory as a reader hands it over. It prints
// the time to build the model, and the section by planes across the block
// (the plain C++ part of moving the clip plane: every cell tested, the cut
// ones sub-divided and cut, with their values): wall and thread CPU time,
// the number of pieces, and the same with the bands cut; then the grid of
// the cells' boxes (built once per model) and 1,000 values along a
// diagonal of the block.
//
//   volume_bench [--bricks N | --tets N] [--lists L] [--planes P] [--write OUT.vtk]
//
// --write saves the block as a legacy VTK file (ASCII) instead, for the
// window and the batch picture.
#include "viewer/formats/import_mesh.h"
#include "viewer/view/volume_locate.h"
#include "viewer/view/volume_section.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

namespace {

using namespace orv;
using Clock = std::chrono::steady_clock;

double ms_since(Clock::time_point t0) {
    return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

double cpu_ms() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

// The block over [0, n]^3 (unit bricks), lists of smooth fields.
ImportData make_block(int n, bool tets, int lists) {
    ImportData d;
    const std::int64_t m = n + 1;
    // Tetrahedra need the mid-edge points: a lattice of twice the density.
    const std::int64_t q = tets ? 2 * n + 1 : m;
    const double h = tets ? 0.5 : 1.0;
    d.mesh.points.resize(static_cast<std::size_t>(3 * q * q * q));
    for (std::int64_t k = 0, at = 0; k < q; ++k)
        for (std::int64_t j = 0; j < q; ++j)
            for (std::int64_t i = 0; i < q; ++i) {
                d.mesh.points[static_cast<std::size_t>(at++)] = i * h;
                d.mesh.points[static_cast<std::size_t>(at++)] = j * h;
                d.mesh.points[static_cast<std::size_t>(at++)] = k * h;
            }
    const auto id = [&](std::int64_t i, std::int64_t j, std::int64_t k) { return i + q * (j + q * k); };
    const std::int64_t cells = std::int64_t(n) * n * n * (tets ? 6 : 1);
    d.mesh.cell_types.assign(static_cast<std::size_t>(cells), tets ? vtk_quadratic_tetra : vtk_hexahedron);
    d.mesh.cell_offsets.resize(static_cast<std::size_t>(cells) + 1);
    d.mesh.cell_nodes.resize(static_cast<std::size_t>(cells * (tets ? 10 : 8)));
    std::int64_t c = 0, at = 0;
    const int s = tets ? 2 : 1;
    for (std::int64_t k = 0; k < n; ++k)
        for (std::int64_t j = 0; j < n; ++j)
            for (std::int64_t i = 0; i < n; ++i) {
                const std::int64_t corner[8][3] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0},
                                                   {0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}};
                const auto node = [&](int a) {
                    return std::array<std::int64_t, 3>{s * (i + corner[a][0]), s * (j + corner[a][1]),
                                                       s * (k + corner[a][2])};
                };
                if (!tets) {
                    for (int a = 0; a < 8; ++a) {
                        const auto p = node(a);
                        d.mesh.cell_nodes[static_cast<std::size_t>(at++)] = id(p[0], p[1], p[2]);
                    }
                    d.mesh.cell_offsets[static_cast<std::size_t>(++c)] = at;
                    continue;
                }
                // Six tetrahedra about the diagonal 0-6.
                static constexpr int kTets[6][4] = {{0, 1, 2, 6}, {0, 2, 3, 6}, {0, 3, 7, 6},
                                                    {0, 7, 4, 6}, {0, 4, 5, 6}, {0, 5, 1, 6}};
                static constexpr int kEdges[6][2] = {{0, 1}, {1, 2}, {2, 0}, {0, 3}, {1, 3}, {2, 3}};
                for (const auto& t : kTets) {
                    std::array<std::int64_t, 3> p[4];
                    for (int a = 0; a < 4; ++a)
                        p[a] = node(t[a]);
                    for (int a = 0; a < 4; ++a)
                        d.mesh.cell_nodes[static_cast<std::size_t>(at++)] = id(p[a][0], p[a][1], p[a][2]);
                    for (const auto& e : kEdges) {
                        const auto& x = p[e[0]];
                        const auto& y = p[e[1]];
                        d.mesh.cell_nodes[static_cast<std::size_t>(at++)] =
                            id((x[0] + y[0]) / 2, (x[1] + y[1]) / 2, (x[2] + y[2]) / 2);
                    }
                    d.mesh.cell_offsets[static_cast<std::size_t>(++c)] = at;
                }
            }
    d.steps.resize(1);
    const std::size_t np = d.mesh.point_count();
    for (int l = 0; l < lists; ++l) {
        ImportField f;
        f.name = "campo" + std::to_string(l + 1);
        f.values.resize(np);
        for (std::size_t i = 0; i < np; ++i) {
            const double x = d.mesh.points[3 * i], y = d.mesh.points[3 * i + 1], z = d.mesh.points[3 * i + 2];
            f.values[i] = std::sin(0.05 * (l + 1) * x) * std::cos(0.03 * y) + 0.01 * z * z;
        }
        d.steps[0].fields.push_back(std::move(f));
    }
    return d;
}

bool write_vtk(const ImportData& d, const char* path) {
    std::FILE* f = std::fopen(path, "w");
    if (!f) return false;
    const std::size_t np = d.mesh.point_count(), nc = d.mesh.cell_count();
    std::fprintf(f, "# vtk DataFile Version 3.0\nvolume block\nASCII\nDATASET UNSTRUCTURED_GRID\n");
    std::fprintf(f, "POINTS %zu double\n", np);
    for (std::size_t i = 0; i < np; ++i)
        std::fprintf(f, "%.17g %.17g %.17g\n", d.mesh.points[3 * i], d.mesh.points[3 * i + 1],
                     d.mesh.points[3 * i + 2]);
    std::fprintf(f, "CELLS %zu %zu\n", nc, nc + d.mesh.cell_nodes.size());
    for (std::size_t c = 0; c < nc; ++c) {
        const auto a = d.mesh.cell_offsets[c], b = d.mesh.cell_offsets[c + 1];
        std::fprintf(f, "%lld", static_cast<long long>(b - a));
        for (auto k = a; k < b; ++k)
            std::fprintf(f, " %lld", static_cast<long long>(d.mesh.cell_nodes[static_cast<std::size_t>(k)]));
        std::fprintf(f, "\n");
    }
    std::fprintf(f, "CELL_TYPES %zu\n", nc);
    for (std::size_t c = 0; c < nc; ++c)
        std::fprintf(f, "%d\n", d.mesh.cell_types[c]);
    std::fprintf(f, "POINT_DATA %zu\n", np);
    for (const ImportField& fd : d.steps[0].fields) {
        std::fprintf(f, "SCALARS %s double 1\nLOOKUP_TABLE default\n", fd.name.c_str());
        for (std::size_t i = 0; i < np; ++i)
            std::fprintf(f, "%.17g\n", fd.values[i]);
    }
    return std::fclose(f) == 0;
}

struct Count : SectionSink {
    std::size_t pieces = 0;
    double sum = 0;
    void piece(const SectionPiece& p) override {
        ++pieces;
        sum += p.v[0].value;
    }
};

struct Bands : SectionSink, BandSink {
    const BandCutter* cutter = nullptr;
    std::size_t bands = 0;
    void piece(const SectionPiece& p) override { section_bands(p, *cutter, *this); }
    void piece(int, const Point3*, int) override { ++bands; }
};

} // namespace

int main(int argc, char** argv) {
    int n = 100, lists = 3, planes = 5;
    bool tets = false;
    const char* out = nullptr;
    for (int a = 1; a < argc; ++a) {
        const auto value = [&]() { return a + 1 < argc ? argv[++a] : nullptr; };
        if (!std::strcmp(argv[a], "--bricks") || !std::strcmp(argv[a], "--tets")) {
            tets = argv[a][2] == 't';
            const char* v = value();
            if (!v || std::atoi(v) < 1)
                return std::fprintf(stderr, "%s needs a positive count\n", argv[a]), 2;
            n = std::atoi(v);
        } else if (!std::strcmp(argv[a], "--lists")) {
            const char* v = value();
            if (!v || std::atoi(v) < 1) return std::fprintf(stderr, "--lists needs a positive count\n"), 2;
            lists = std::atoi(v);
        } else if (!std::strcmp(argv[a], "--planes")) {
            const char* v = value();
            if (!v || std::atoi(v) < 1) return std::fprintf(stderr, "--planes needs a positive count\n"), 2;
            planes = std::atoi(v);
        } else if (!std::strcmp(argv[a], "--write")) {
            out = value();
            if (!out) return std::fprintf(stderr, "--write needs a file name\n"), 2;
        } else {
            std::fprintf(
                stderr,
                "usage: volume_bench [--bricks N | --tets N] [--lists L] [--planes P] [--write OUT.vtk]\n");
            return 2;
        }
    }
    auto t0 = Clock::now();
    ImportData data = make_block(n, tets, lists);
    if (out) {
        if (!write_vtk(data, out)) return std::fprintf(stderr, "cannot write %s\n", out), 1;
        return 0;
    }
    const ReadResult r = build_model(std::move(data), tets ? "tets" : "bricks");
    const ResultModel& m = r.model;
    std::printf("%s %d^3: %d nodes, %zu volume cells, %d faces, build %.0f ms, volume cells %.1f MiB\n",
                tets ? "tetra10" : "hexa8", n, m.nnode, m.volumes.size(), m.nelem, ms_since(t0),
                m.volumes.bytes() / 1048576.0);
    for (int p = 0; p < planes; ++p) {
        // Planes across the block, tilted a little more each time.
        const double tilt = 0.15 * p;
        const CutPlane plane{{std::sin(tilt), 0.2 * tilt, std::cos(tilt)}, n * (0.3 + 0.1 * p)};
        Count count;
        t0 = Clock::now();
        double c0 = cpu_ms();
        section_of_volumes(m, plane, NodePlacement{}, 1, count);
        const double wall = ms_since(t0), cpu = cpu_ms() - c0;
        const BandCutter cutter(m.maxlista[1][0], m.maxlista[1][1]);
        Bands bands;
        bands.cutter = &cutter;
        t0 = Clock::now();
        c0 = cpu_ms();
        section_of_volumes(m, plane, NodePlacement{}, 1, bands);
        std::printf(
            "plane %d: %zu pieces, section %.1f ms (cpu %.1f); with bands %zu pieces %.1f ms (cpu %.1f)\n",
            p + 1, count.pieces, wall, cpu, bands.bands, ms_since(t0), cpu_ms() - c0);
    }
    t0 = Clock::now();
    double c0 = cpu_ms();
    const VolumeLocator index(m);
    std::printf("cell grid: %.0f ms (cpu %.0f), %.1f MiB\n", ms_since(t0), cpu_ms() - c0,
                index.bytes() / 1048576.0);
    t0 = Clock::now();
    c0 = cpu_ms();
    const auto samples =
        sample_line(index, {0.01 * n, 0.02 * n, 0.03 * n}, {0.99 * n, 0.97 * n, 0.95 * n}, 1000, {1});
    std::size_t found = 0;
    for (const LineSample& s : samples)
        found += !std::isnan(s.values[0]);
    std::printf("1000 samples along a diagonal: %.1f ms (cpu %.1f), %zu inside\n", ms_since(t0),
                cpu_ms() - c0, found);
    return 0;
}
