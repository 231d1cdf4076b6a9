#pragma once
// Checks shared by the importer tests: node places in VTK's order.

#include "viewer/formats/import_mesh.h"

#include <gtest/gtest.h>

#include <array>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

namespace orv::import_test {

inline std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// `d` with the values of every field its importer left in the file read
// through the field's load, as the model reads them when it needs them.
inline orv::ImportData loaded(orv::ImportData d) {
    for (auto& step : d.steps)
        for (auto& f : step.fields)
            if (f.load) {
                f.load(f.values);
                f.load = nullptr;
            }
    return d;
}

using P3 = std::array<double, 3>;

inline P3 point(const orv::ImportData& d, std::int64_t i) {
    const auto k = static_cast<std::size_t>(3 * i);
    return {d.mesh.points[k], d.mesh.points[k + 1], d.mesh.points[k + 2]};
}

inline const orv::ImportField* field(const orv::ImportStep& s, const std::string& name) {
    for (const auto& f : s.fields)
        if (f.name == name) return &f;
    return nullptr;
}

// Where VTK puts the nodes of a cell type, as weights of its corner nodes:
// parametric (u, v) for triangles (corners (0,0), (1,0), (0,1)) and
// quadrilaterals (corners (0,0), (1,0), (1,1), (0,1)), edge ends for the
// quadratic volumes. Written from VTK's documentation of each cell.
struct Layout {
    int corners;
    std::vector<std::array<double, 2>> uv; // surfaces: all nodes
    std::vector<std::array<int, 2>> edges; // volumes: nodes after the corners are edge midpoints
};

inline const std::map<int, Layout>& layouts() {
    const double t = 1.0 / 3, tt = 2.0 / 3;
    static const std::map<int, Layout> l = {
        {orv::vtk_triangle, {3, {{0, 0}, {1, 0}, {0, 1}}, {}}},
        {orv::vtk_quadratic_triangle, {3, {{0, 0}, {1, 0}, {0, 1}, {.5, 0}, {.5, .5}, {0, .5}}, {}}},
        {orv::vtk_lagrange_triangle,
         {3, {{0, 0}, {1, 0}, {0, 1}, {t, 0}, {tt, 0}, {tt, t}, {t, tt}, {0, tt}, {0, t}, {t, t}}, {}}},
        {orv::vtk_quad, {4, {{0, 0}, {1, 0}, {1, 1}, {0, 1}}, {}}},
        {orv::vtk_quadratic_quad,
         {4, {{0, 0}, {1, 0}, {1, 1}, {0, 1}, {.5, 0}, {1, .5}, {.5, 1}, {0, .5}}, {}}},
        {orv::vtk_biquadratic_quad,
         {4, {{0, 0}, {1, 0}, {1, 1}, {0, 1}, {.5, 0}, {1, .5}, {.5, 1}, {0, .5}, {.5, .5}}, {}}},
        {orv::vtk_lagrange_quadrilateral,
         {4,
          {{0, 0},
           {1, 0},
           {1, 1},
           {0, 1},
           {t, 0},
           {tt, 0},
           {1, t},
           {1, tt},
           {t, 1},
           {tt, 1},
           {0, t},
           {0, tt},
           {t, t},
           {tt, t},
           {t, tt},
           {tt, tt}},
          {}}},
        {orv::vtk_hexahedron, {8, {}, {}}},
        {orv::vtk_wedge, {6, {}, {}}},
        {orv::vtk_tetra, {4, {}, {}}},
        {orv::vtk_quadratic_wedge,
         {6, {}, {{0, 1}, {1, 2}, {2, 0}, {3, 4}, {4, 5}, {5, 3}, {0, 3}, {1, 4}, {2, 5}}}},
        {orv::vtk_quadratic_tetra, {4, {}, {{0, 1}, {1, 2}, {2, 0}, {0, 3}, {1, 3}, {2, 3}}}},
        {orv::vtk_quadratic_hexahedron,
         {8,
          {},
          {{0, 1}, {1, 2}, {2, 3}, {3, 0}, {4, 5}, {5, 6}, {6, 7}, {7, 4}, {0, 4}, {1, 5}, {2, 6}, {3, 7}}}},
    };
    return l;
}

// Every node of every cell must sit where VTK's order puts it: the fixtures'
// elements have straight edges and flat faces, so a node's place follows from
// its cell's corners. A wrong permutation moves nodes off their places.
inline void expect_vtk_node_places(const orv::ImportData& d) {
    const auto& m = d.mesh;
    for (std::size_t c = 0; c < m.cell_count(); ++c) {
        const auto it = layouts().find(m.cell_types[c]);
        ASSERT_NE(it, layouts().end()) << "cell type " << int(m.cell_types[c]);
        const Layout& lay = it->second;
        const auto* n = m.cell_nodes.data() + m.cell_offsets[c];
        const auto count = static_cast<std::size_t>(m.cell_offsets[c + 1] - m.cell_offsets[c]);
        for (std::size_t k = 0; k < count; ++k) {
            P3 want{};
            if (!lay.uv.empty()) {
                ASSERT_EQ(count, lay.uv.size());
                const double u = lay.uv[k][0], v = lay.uv[k][1];
                std::vector<double> w = lay.corners == 3 ? std::vector<double>{1 - u - v, u, v}
                                                         : std::vector<double>{(1 - u) * (1 - v), u * (1 - v),
                                                                               u * v, (1 - u) * v};
                for (int q = 0; q < lay.corners; ++q)
                    for (int x = 0; x < 3; ++x)
                        want[x] += w[q] * point(d, n[q])[x];
            } else if (k < static_cast<std::size_t>(lay.corners)) {
                want = point(d, n[k]);
            } else {
                ASSERT_EQ(count, lay.corners + lay.edges.size());
                const auto e = lay.edges[k - lay.corners];
                for (int x = 0; x < 3; ++x)
                    want[x] = (point(d, n[e[0]])[x] + point(d, n[e[1]])[x]) / 2;
            }
            const P3 got = point(d, n[k]);
            for (int x = 0; x < 3; ++x)
                ASSERT_NEAR(got[x], want[x], 1e-9) << "cell " << m.cell_labels[c] << " node " << k;
        }
    }
}

} // namespace orv::import_test
