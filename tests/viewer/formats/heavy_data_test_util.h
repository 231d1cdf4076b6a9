#pragma once
// Checks shared by the Exodus and XDMF reader tests: where VTK's order puts
// the nodes of the quadratic cells, and scratch folders for hostile files.

#include "viewer/formats/import_mesh.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace orv::heavy_test {

// VTK's node k of a cell is the mean of these corner nodes (a corner itself
// for k below the corner count).
inline const std::map<int, std::vector<std::vector<int>>>& vtk_places() {
    static const std::map<int, std::vector<std::vector<int>>> p = {
        {vtk_quadratic_edge, {{0, 1}}},
        {vtk_quadratic_triangle, {{0, 1}, {1, 2}, {2, 0}}},
        {vtk_quadratic_quad, {{0, 1}, {1, 2}, {2, 3}, {3, 0}}},
        {vtk_biquadratic_quad, {{0, 1}, {1, 2}, {2, 3}, {3, 0}, {0, 1, 2, 3}}},
        {vtk_quadratic_tetra, {{0, 1}, {1, 2}, {2, 0}, {0, 3}, {1, 3}, {2, 3}}},
        {vtk_quadratic_pyramid, {{0, 1}, {1, 2}, {2, 3}, {3, 0}, {0, 4}, {1, 4}, {2, 4}, {3, 4}}},
        {vtk_quadratic_wedge, {{0, 1}, {1, 2}, {2, 0}, {3, 4}, {4, 5}, {5, 3}, {0, 3}, {1, 4}, {2, 5}}},
        {vtk_quadratic_hexahedron,
         {{0, 1}, {1, 2}, {2, 3}, {3, 0}, {4, 5}, {5, 6}, {6, 7}, {7, 4}, {0, 4}, {1, 5}, {2, 6}, {3, 7}}},
        {vtk_triquadratic_hexahedron,
         {{0, 1},
          {1, 2},
          {2, 3},
          {3, 0},
          {4, 5},
          {5, 6},
          {6, 7},
          {7, 4},
          {0, 4},
          {1, 5},
          {2, 6},
          {3, 7},
          {0, 3, 7, 4},
          {1, 2, 6, 5},
          {0, 1, 5, 4},
          {3, 2, 6, 7},
          {0, 1, 2, 3},
          {4, 5, 6, 7},
          {0, 1, 2, 3, 4, 5, 6, 7}}},
    };
    return p;
}

inline int corner_count(int type) {
    switch (type) {
    case vtk_quadratic_edge:
        return 2;
    case vtk_quadratic_triangle:
        return 3;
    case vtk_quadratic_tetra:
        return 4;
    case vtk_quadratic_pyramid:
        return 5;
    case vtk_quadratic_wedge:
        return 6;
    case vtk_quadratic_hexahedron:
    case vtk_triquadratic_hexahedron:
        return 8;
    default:
        return 4;
    }
}

// Every higher-order node of every quadratic cell sits where VTK's order
// puts it; the fixtures' cells have straight edges and flat faces.
inline void expect_quadratic_places(const ImportData& d) {
    const auto& m = d.mesh;
    for (std::size_t c = 0; c < m.cell_count(); ++c) {
        const auto it = vtk_places().find(m.cell_types[c]);
        if (it == vtk_places().end()) continue;
        const auto* n = m.cell_nodes.data() + m.cell_offsets[c];
        const int corners = corner_count(m.cell_types[c]);
        const auto count = static_cast<std::size_t>(m.cell_offsets[c + 1] - m.cell_offsets[c]);
        ASSERT_EQ(count, corners + it->second.size()) << "cell " << c;
        for (std::size_t k = static_cast<std::size_t>(corners); k < count; ++k) {
            const auto& group = it->second[k - static_cast<std::size_t>(corners)];
            for (int x = 0; x < 3; ++x) {
                double want = 0;
                for (const int g : group)
                    want += m.points[static_cast<std::size_t>(3 * n[g] + x)];
                want /= static_cast<double>(group.size());
                EXPECT_NEAR(m.points[static_cast<std::size_t>(3 * n[k] + x)], want, 1e-12)
                    << "cell " << c << " (type " << int(m.cell_types[c]) << ") node " << k;
            }
        }
    }
}

// A fresh folder under the test's temporary directory.
inline std::filesystem::path scratch(const std::string& name) {
    const char* tmp = std::getenv("TMPDIR");
    auto dir = std::filesystem::path(tmp && *tmp ? tmp : "/tmp") /
               ("orvanel_" + name + "_" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir;
}

} // namespace orv::heavy_test
