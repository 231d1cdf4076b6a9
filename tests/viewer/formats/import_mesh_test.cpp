#include "../model/list_dump.h"
#include "viewer/formats/import_mesh.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

using orv::ImportData;
using orv::ImportField;
using orv::ResultModel;

// Appends a cell of `type` over the 0-based points `nodes`.
void add_cell(ImportData& d, int type, const std::vector<std::int64_t>& nodes) {
    if (d.mesh.cell_offsets.empty()) d.mesh.cell_offsets.push_back(0);
    d.mesh.cell_types.push_back(static_cast<std::uint8_t>(type));
    d.mesh.cell_nodes.insert(d.mesh.cell_nodes.end(), nodes.begin(), nodes.end());
    d.mesh.cell_offsets.push_back(static_cast<std::int64_t>(d.mesh.cell_nodes.size()));
}

std::array<double, 3> pos(const ResultModel& m, std::int32_t node) {
    return {m.coord(node, 1), m.coord(node, 2), m.coord(node, 3)};
}

// Where lattice point (u, v) of an element of family f and order p sits in its row.
int lattice_index(int family, int p, int u, int v) {
    if (family == 3) return v * (p + 1) + u;
    int idx = 0;
    for (int r = 0; r < v; ++r)
        idx += p + 1 - r;
    return idx + u;
}

// An n x n x n block of unit hexahedra: (n+1)^3 points, n^3 cells.
ImportData brick_block(int n) {
    ImportData d;
    const int m = n + 1;
    for (int k = 0; k < m; ++k)
        for (int j = 0; j < m; ++j)
            for (int i = 0; i < m; ++i)
                d.mesh.points.insert(d.mesh.points.end(), {double(i), double(j), double(k)});
    const auto id = [&](int i, int j, int k) { return std::int64_t(i + m * (j + m * k)); };
    for (int k = 0; k < n; ++k)
        for (int j = 0; j < n; ++j)
            for (int i = 0; i < n; ++i)
                add_cell(d, orv::vtk_hexahedron,
                         {id(i, j, k), id(i + 1, j, k), id(i + 1, j + 1, k), id(i, j + 1, k), id(i, j, k + 1),
                          id(i + 1, j, k + 1), id(i + 1, j + 1, k + 1), id(i, j + 1, k + 1)});
    return d;
}

// For every cell type and node count, VTK's own parametric coordinates of
// its nodes (written by VTK, see tests/data/import/make_cell_pcoords.py) are
// the cell's points: every element the cell gives must then be an affine
// lattice of its corners in the model's node order, so any slip in a table
// of node orders shows as a misplaced node.
TEST(BuildModel, EveryCellTypeGivesLatticesInModelOrder) {
    std::ifstream in(std::string(ORVANEL_TEST_DATA) + "/import/vtk_cell_pcoords.txt");
    ASSERT_TRUE(in) << "fixture missing";
    const std::map<int, int> faces_of = {{10, 4}, {24, 4}, {71, 4}, {11, 6}, {12, 6}, {25, 6}, {29, 6},
                                         {72, 6}, {13, 5}, {26, 5}, {73, 5}, {14, 5}, {27, 5}};
    const std::map<int, int> centres_of = {{23, 1}, {25, 6}, {26, 3}, {27, 1}};
    std::string line;
    int cases = 0;
    while (std::getline(in, line)) {
        std::istringstream ls(line);
        int type = 0, n = 0;
        ls >> type >> n;
        SCOPED_TRACE("VTK type " + std::to_string(type) + " with " + std::to_string(n) + " nodes");
        ImportData d;
        std::vector<std::int64_t> nodes;
        for (int k = 0; k < n; ++k) {
            double x, y, z;
            ls >> x >> y >> z;
            d.mesh.points.insert(d.mesh.points.end(), {x, y, z});
            nodes.push_back(k);
        }
        ASSERT_TRUE(ls) << line;
        add_cell(d, type, nodes);
        const auto r = orv::build_model(std::move(d), "cells.vtk");
        ++cases;
        EXPECT_TRUE(r.warnings.empty()) << r.warnings.front();
        const int faces = faces_of.count(type) ? faces_of.at(type) : 1;
        ASSERT_EQ(r.model.nelem, faces);
        const int centres = centres_of.count(type) ? centres_of.at(type) : 0;
        EXPECT_EQ(r.model.nnode, n + centres);
        std::set<std::int32_t> used;
        for (int e = 1; e <= r.model.nelem; ++e) {
            const auto row = r.model.conec(e);
            const auto type_of = orv::decode_element(row[0]);
            const int p = type_of.order, f = type_of.family;
            ASSERT_EQ(static_cast<std::int64_t>(row.size()) - 1, orv::element_node_count(f, p));
            const auto at = [&](int u, int v) { return pos(r.model, row[1 + lattice_index(f, p, u, v)]); };
            const auto a = at(0, 0), b = at(p, 0);
            const auto c = f == 3 ? at(0, p) : f == 2 ? at(0, p) : a;
            for (int v = 0; v <= (f == 1 ? 0 : p); ++v)
                for (int u = 0; u <= (f == 2 ? p - v : p); ++u) {
                    const auto x = at(u, v);
                    for (int k = 0; k < 3; ++k)
                        EXPECT_NEAR(x[k], a[k] + (b[k] - a[k]) * u / p + (c[k] - a[k]) * v / p, 1e-12)
                            << "element " << e << " lattice point " << u << "," << v;
                }
            for (std::size_t k = 1; k < row.size(); ++k)
                used.insert(row[k]);
        }
        // A single linear or surface cell uses every node it has.
        if (!faces_of.count(type)) {
            EXPECT_EQ(used.size(), static_cast<std::size_t>(r.model.nnode));
        }
    }
    EXPECT_GE(cases, 30);
}

TEST(BuildModel, InnerFacesOfAVolumeAreDropped) {
    auto r = orv::build_model(brick_block(2), "block.vtu");
    EXPECT_EQ(r.model.nnode, 27);
    ASSERT_EQ(r.model.nelem, 24);
    // No face lies inside: the centre point (1,1,1) is on none.
    for (int e = 1; e <= r.model.nelem; ++e) {
        EXPECT_EQ(r.model.element_code(e), 301);
        bool on_boundary_plane = false;
        for (int axis = 1; axis <= 3 && !on_boundary_plane; ++axis) {
            bool all0 = true, all2 = true;
            for (std::size_t k = 1; k < r.model.conec(e).size(); ++k) {
                const double x = r.model.coord(r.model.conec(e)[k], axis);
                all0 = all0 && x == 0;
                all2 = all2 && x == 2;
            }
            on_boundary_plane = all0 || all2;
        }
        EXPECT_TRUE(on_boundary_plane) << "element " << e;
    }
    // The centre point stays in the model (histories) but draws nothing;
    // every node on the outside draws.
    ASSERT_EQ(r.model.inner_nodes.size(), 28u);
    for (int n = 1; n <= r.model.nnode; ++n) {
        const bool centre = r.model.coord(n, 1) == 1 && r.model.coord(n, 2) == 1 && r.model.coord(n, 3) == 1;
        EXPECT_EQ(r.model.node_drawn(n), !centre) << "node " << n;
    }
}

// Every face of a volume keeps the block of the cell it bounds; a cell
// whose block index names no block has none.
TEST(BuildModel, ElementsKeepTheBlocksOfTheirCells) {
    ImportData d = brick_block(2); // cells in x-fastest order: i = c % 2
    d.mesh.block_names = {"left", "right"};
    d.mesh.cell_blocks = {0, 1, 0, 1, 0, 1, 0, 7};
    const auto r = orv::build_model(std::move(d), "block.vtu");
    const ResultModel& m = r.model;
    EXPECT_EQ(m.block_names, (std::vector<std::string>{"left", "right"}));
    ASSERT_EQ(m.nelem, 24);
    for (int e = 1; e <= m.nelem; ++e) {
        double lo = 2, hi = 0;
        bool upper_corner = true; // every node at x, y, z >= 1: the last cell's faces
        for (std::size_t k = 1; k < m.conec(e).size(); ++k) {
            const std::int32_t n = m.conec(e)[k];
            lo = std::min(lo, m.coord(n, 1));
            hi = std::max(hi, m.coord(n, 1));
            for (int axis = 1; axis <= 3; ++axis)
                upper_corner = upper_corner && m.coord(n, axis) >= 1;
        }
        const int expected = hi <= 1 ? 0 : upper_corner ? -1 : 1;
        EXPECT_EQ(m.element_block(e), expected) << "element " << e << " x " << lo << ".." << hi;
    }

    // Without blocks the model has none, and every element reads -1.
    const auto plain = orv::build_model(brick_block(1), "cube.vtu");
    EXPECT_TRUE(plain.model.block_names.empty());
    EXPECT_TRUE(plain.model.element_blocks.empty());
    EXPECT_EQ(plain.model.element_block(1), -1);
}

TEST(BuildModel, QuadraticTetrahedraKeepTheirCurvedNodes) {
    // Two tet10 sharing the face 0 1 2; mid-edge nodes pushed outwards.
    ImportData d;
    const std::vector<std::array<double, 3>> corners = {
        {0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {0, 0, -1}};
    for (const auto& c : corners)
        d.mesh.points.insert(d.mesh.points.end(), c.begin(), c.end());
    std::map<std::pair<int, int>, std::int64_t> mid;
    const auto mid_of = [&](int a, int b) {
        const auto key = std::make_pair(std::min(a, b), std::max(a, b));
        if (!mid.count(key)) {
            const auto &p = corners[a], &q = corners[b];
            mid[key] = static_cast<std::int64_t>(d.mesh.point_count());
            // Bulge away from the origin by 0.1.
            d.mesh.points.insert(d.mesh.points.end(),
                                 {(p[0] + q[0]) / 2 + 0.1, (p[1] + q[1]) / 2 + 0.1, (p[2] + q[2]) / 2 + 0.1});
        }
        return mid[key];
    };
    for (const int apex : {3, 4}) {
        const int v[4] = {0, apex == 3 ? 1 : 2, apex == 3 ? 2 : 1, apex};
        add_cell(d, orv::vtk_quadratic_tetra,
                 {v[0], v[1], v[2], v[3], mid_of(v[0], v[1]), mid_of(v[1], v[2]), mid_of(v[2], v[0]),
                  mid_of(v[0], v[3]), mid_of(v[1], v[3]), mid_of(v[2], v[3])});
    }
    const std::size_t points = d.mesh.point_count();
    const auto r = orv::build_model(std::move(d), "tets.vtu");
    ASSERT_EQ(r.model.nelem, 6);
    EXPECT_EQ(r.model.nnode, static_cast<std::int32_t>(points));
    for (int e = 1; e <= 6; ++e) {
        ASSERT_EQ(r.model.element_code(e), 202);
        // Row of an order-2 triangle: corner, mid, corner, mid, mid, apex.
        const auto row = r.model.conec(e);
        const int mids[3][3] = {{2, 1, 3}, {4, 1, 6}, {5, 3, 6}}; // mid, its two corners
        for (const auto& t : mids) {
            const auto x = pos(r.model, row[t[0]]), a = pos(r.model, row[t[1]]), b = pos(r.model, row[t[2]]);
            for (int k = 0; k < 3; ++k)
                EXPECT_NEAR(x[k], (a[k] + b[k]) / 2 + 0.1, 1e-12) << "element " << e << " node " << t[0];
        }
    }
}

TEST(BuildModel, SerendipityFaceGetsItsCentreFromTheShapeFunctions) {
    // One 20-node brick on [0,2]^3 whose mid-edge node on edge 0-1 is lifted
    // off the face z = 0 by h; values and displacements follow the points.
    ImportData d;
    const std::array<std::array<double, 3>, 8> c = {
        {{0, 0, 0}, {2, 0, 0}, {2, 2, 0}, {0, 2, 0}, {0, 0, 2}, {2, 0, 2}, {2, 2, 2}, {0, 2, 2}}};
    const int edges[12][2] = {{0, 1}, {1, 2}, {2, 3}, {3, 0}, {4, 5}, {5, 6},
                              {6, 7}, {7, 4}, {0, 4}, {1, 5}, {2, 6}, {3, 7}};
    for (const auto& p : c)
        d.mesh.points.insert(d.mesh.points.end(), p.begin(), p.end());
    for (const auto& e : edges)
        for (int k = 0; k < 3; ++k)
            d.mesh.points.push_back((c[e[0]][k] + c[e[1]][k]) / 2);
    const double h = 0.4;
    d.mesh.points[3 * 8 + 2] = -h; // node 8 (edge 0-1) at (1, 0, -h)
    std::vector<std::int64_t> all(20);
    for (int k = 0; k < 20; ++k)
        all[k] = k;
    add_cell(d, orv::vtk_quadratic_hexahedron, all);
    d.mesh.point_labels.resize(20);
    for (int k = 0; k < 20; ++k)
        d.mesh.point_labels[k] = 100 + 3 * k; // largest 157
    ImportField t{"T", {}, 1, false, {}};
    ImportField u{"U", {}, 3, false, {}};
    for (int k = 0; k < 20; ++k) {
        const double z = d.mesh.points[3 * k + 2];
        t.values.push_back(10 * z);
        u.values.insert(u.values.end(), {0, 0, z});
    }
    d.steps.push_back({std::nullopt, {t, u}});
    const auto r = orv::build_model(std::move(d), "hex20.vtu");
    ASSERT_EQ(r.model.nelem, 6);
    EXPECT_EQ(r.model.nnode, 26);
    // The face z = 0 is VTK's face 4 (0 3 2 1); its centre: -1/4 of the
    // corners (all z = 0) and 1/2 of the mid-edge nodes: z = -h/2.
    const auto row = r.model.conec(5);
    ASSERT_EQ(row.size(), 10u);
    const std::int32_t centre = row[5];
    EXPECT_GT(centre, 20);
    EXPECT_NEAR(r.model.coord(centre, 1), 1, 1e-12);
    EXPECT_NEAR(r.model.coord(centre, 2), 1, 1e-12);
    EXPECT_NEAR(r.model.coord(centre, 3), -h / 2, 1e-12);
    EXPECT_NEAR(r.model.listas(centre, 1), -10 * h / 2, 1e-12);          // T
    EXPECT_NEAR(r.model.list_displacement(centre, 1, 2), -h / 2, 1e-12); // displacement z of list 1
    // The opposite face z = 2: centre at z = 2 exactly.
    EXPECT_NEAR(r.model.coord(r.model.conec(6)[5], 3), 2, 1e-12);
}

TEST(BuildModel, ListsAreNamedByStepFieldAndComponent) {
    ImportData d;
    d.mesh.points = {0, 0, 0, 1, 0, 0, 0, 1, 0};
    add_cell(d, orv::vtk_triangle, {0, 1, 2});
    const orv::ZeroedVector<double> one(3, 1.0), three(9, 1.0), six(18, 1.0), nine(27, 1.0);
    d.steps.push_back({std::nullopt,
                       {{"T", {}, 1, false, one},
                        {"V", {}, 3, false, three},
                        {"S", {}, 6, false, six},
                        {"P", {}, 1, true, {2.0}},
                        {"Q", {}, 2, false, {1, 2, 3, 4, 5, 6}}}});
    d.steps.push_back(
        {0.5,
         {{"E", {"e11", "e12", "e13", "e21", "e22", "e23", "e31", "e32", "e33"}, 9, false, nine},
          {"W", {}, 12, false, orv::ZeroedVector<double>(36)}}});
    d.skipped_fields = {"complexo"};
    const auto r = orv::build_model(std::move(d), "dir/names.vtk");
    const std::vector<std::string> want = {
        "T - passo 1",
        "V X - passo 1",
        "V Y - passo 1",
        "V Z - passo 1",
        "V Magnitude - passo 1",
        "S XX - passo 1",
        "S YY - passo 1",
        "S ZZ - passo 1",
        "S XY - passo 1",
        "S YZ - passo 1",
        "S XZ - passo 1",
        "S von Mises - passo 1",
        "P (média nos nós) - passo 1",
        "Q X - passo 1",
        "Q Y - passo 1",
        "E e11 - passo 2 (t = 0.5)",
        "E e22 - passo 2 (t = 0.5)",
        "E e33 - passo 2 (t = 0.5)",
        "E e12 - passo 2 (t = 0.5)",
        "E e23 - passo 2 (t = 0.5)",
        "E e13 - passo 2 (t = 0.5)",
        "E von Mises - passo 2 (t = 0.5)",
    };
    ASSERT_EQ(r.model.nlista, static_cast<std::int32_t>(want.size()));
    for (std::size_t k = 0; k < want.size(); ++k)
        EXPECT_EQ(r.model.namelista[k + 1], want[k]) << k;
    ASSERT_EQ(r.warnings.size(), 1u);
    EXPECT_EQ(r.warnings[0], "names.vtk: fields that cannot be shown were skipped: complexo, W.");
    EXPECT_EQ(r.model.namefile, "dir/names.vtk");
}

TEST(BuildModel, MagnitudeAndVonMisesByHand) {
    struct Case {
        const char* what;
        int components;
        std::vector<double> row;
        double expected; // the last list: magnitude or von Mises
    };
    const double s3 = std::sqrt(3.0);
    const std::vector<Case> cases = {
        {"vector 3 4 12", 3, {3, 4, 12}, 13},
        {"uniaxial 100", 6, {100, 0, 0, 0, 0, 0}, 100},
        {"hydrostatic", 6, {50, 50, 50, 0, 0, 0}, 0},
        {"pure shear XY 10", 6, {0, 0, 0, 10, 0, 0}, 10 * s3},
        {"shear YZ and XZ", 6, {0, 0, 0, 0, 3, 4}, 5 * s3},
        {"biaxial 100 -100", 6, {100, -100, 0, 0, 0, 0}, 100 * s3},
        {"full tensor, symmetric XY 10", 9, {0, 10, 0, 10, 0, 0, 0, 0, 0}, 10 * s3},
        {"full tensor, skew part ignored", 9, {0, 14, 0, 6, 0, 0, 0, 0, 0}, 10 * s3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ImportData d;
        d.mesh.points = {0, 0, 0, 1, 0, 0};
        add_cell(d, orv::vtk_line, {0, 1});
        orv::ZeroedVector<double> values(c.row.begin(), c.row.end());
        values.insert(values.end(), c.row.begin(), c.row.end());
        d.steps.push_back({std::nullopt, {{"F", {}, c.components, false, values}}});
        const auto r = orv::build_model(std::move(d), "f.vtk");
        ASSERT_GE(r.model.nlista, 1);
        EXPECT_NEAR(r.model.listas(2, r.model.nlista), c.expected, 1e-9);
        EXPECT_NEAR(r.model.maxlista[r.model.nlista][0], c.expected, 1e-9);
    }
}

TEST(BuildModel, CellDataIsAveragedOverTheCellsOfANode) {
    // Two quads side by side: nodes 1 and 4 are shared.
    ImportData d;
    d.mesh.points = {0, 0, 0, 1, 0, 0, 2, 0, 0, 0, 1, 0, 1, 1, 0, 2, 1, 0};
    add_cell(d, orv::vtk_quad, {0, 1, 4, 3});
    add_cell(d, orv::vtk_quad, {1, 2, 5, 4});
    add_cell(d, orv::vtk_vertex, {5}); // draws nothing, takes no part in the average
    d.steps.push_back({std::nullopt, {{"P", {}, 1, true, {1.0, 3.0, 100.0}}}});
    const auto r = orv::build_model(std::move(d), "avg.vtk");
    const std::vector<double> want = {1, 2, 3, 1, 2, 3};
    for (int i = 1; i <= 6; ++i)
        EXPECT_DOUBLE_EQ(r.model.listas(i, 1), want[i - 1]) << "node " << i;
    EXPECT_EQ(r.model.nelem, 2);
    ASSERT_EQ(r.warnings.size(), 1u);
    EXPECT_NE(r.warnings[0].find("1 point and vertex cells"), std::string::npos) << r.warnings[0];
    EXPECT_DOUBLE_EQ(r.model.valmin, 1);
    EXPECT_DOUBLE_EQ(r.model.valmax, 3);
}

TEST(BuildModel, DisplacementIsTheFirstMatchingNodalVectorOfItsStep) {
    struct Case {
        std::vector<std::pair<std::string, bool>> fields; // name, on cells; all 3 components
        int displacement;                                 // field index, -1 none
    };
    const std::vector<Case> cases = {
        {{{"T3", false}, {"U", false}}, 1},
        {{{"u", false}}, 0},
        {{{"D", false}}, 0},
        {{{"d", false}}, -1},
        {{{"Displacement", false}, {"U", false}}, 0},
        {{{"NODAL_DISP", false}}, 0},
        {{{"Deslocamentos", false}}, 0},
        {{{"DESLOCAMENTO", false}}, 0},
        {{{"U", true}, {"velocity", false}}, -1},
        {{{"U", true}, {"disp", false}}, 1},
    };
    for (const Case& c : cases) {
        ImportData d;
        d.mesh.points = {0, 0, 0, 1, 0, 0};
        add_cell(d, orv::vtk_line, {0, 1});
        orv::ImportStep step;
        for (std::size_t f = 0; f < c.fields.size(); ++f) {
            const double base = 10.0 * (f + 1);
            orv::ZeroedVector<double> v;
            const int rows = c.fields[f].second ? 1 : 2;
            for (int i = 0; i < rows; ++i)
                v.insert(v.end(), {base + i, base + i + 1, base + i + 2});
            step.fields.push_back({c.fields[f].first, {}, 3, c.fields[f].second, v});
        }
        d.steps.push_back(step);
        d.steps.push_back({1.0, {{"T", {}, 1, false, {5, 6}}}}); // a step with no displacement
        const auto r = orv::build_model(std::move(d), "disp.vtk");
        SCOPED_TRACE(c.fields[0].first);
        const int lists_step1 = r.model.nlista - 1;
        for (int k = 1; k <= r.model.nlista; ++k)
            for (int i = 1; i <= 2; ++i)
                for (int j = 0; j < 3; ++j) {
                    double want = 0;
                    if (k <= lists_step1 && c.displacement >= 0)
                        want = 10.0 * (c.displacement + 1) + (i - 1) + j;
                    EXPECT_DOUBLE_EQ(r.model.list_displacement(static_cast<std::size_t>(i), k, j), want)
                        << "list " << k << " node " << i;
                }
        // The node lines' own displacement stays zero, and maxscale counts positions only.
        for (int i = 1; i <= 2; ++i)
            for (int j = 4; j <= 6; ++j)
                EXPECT_EQ(r.model.coord(i, j), 0);
        EXPECT_EQ(r.model.maxscale, 1);
    }
}

TEST(BuildModel, PolygonsStripsAndPolyLinesBecomeSimpleElements) {
    ImportData d;
    d.mesh.points = {0, 0, 0, 1, 0, 0, 2, 1, 0, 1, 2, 0, 0, 1, 0};
    add_cell(d, orv::vtk_polygon, {0, 1, 2, 3, 4});     // fan: 3 triangles
    add_cell(d, orv::vtk_polygon, {0, 1, 2, 3});        // a quad
    add_cell(d, orv::vtk_triangle_strip, {0, 1, 4, 3}); // 2 triangles
    add_cell(d, orv::vtk_poly_line, {0, 1, 2});         // 2 segments
    d.mesh.cell_labels = {7, 8, 9, 10};
    const auto r = orv::build_model(std::move(d), "poly.vtk");
    const std::vector<std::vector<std::int32_t>> want = {{201, 1, 2, 3},    {201, 1, 3, 4}, {201, 1, 4, 5},
                                                         {301, 1, 2, 4, 3}, {201, 1, 2, 5}, {201, 5, 2, 4},
                                                         {101, 1, 2},       {101, 2, 3}};
    ASSERT_EQ(r.model.nelem, static_cast<std::int32_t>(want.size()));
    for (std::size_t e = 0; e < want.size(); ++e) {
        const auto row = r.model.conec(e + 1);
        EXPECT_EQ(std::vector<std::int32_t>(row.begin(), row.end()), want[e]) << "element " << e + 1;
    }
}

TEST(BuildModel, BrokenHandOversAreRefusedWithTheirReason) {
    struct Case {
        const char* what;
        void (*spoil)(ImportData&);
        const char* message;
    };
    const std::vector<Case> cases = {
        {"point out of range", [](ImportData& d) { d.mesh.cell_nodes[1] = 9; },
         "bad.vtk: a cell refers to point 9, but the points are numbered 0 to 2"},
        {"offsets past the connectivity", [](ImportData& d) { d.mesh.cell_offsets[1] = 7; },
         "bad.vtk: the node list of cell 1 runs outside the connectivity"},
        {"offsets not matching the cells", [](ImportData& d) { d.mesh.cell_offsets.push_back(3); },
         "bad.vtk: the cell offsets do not match the cells"},
        {"values short",
         [](ImportData& d) {
             d.steps.push_back({std::nullopt, {{"T", {}, 1, false, {1, 2}}}});
         },
         "bad.vtk: field T has 2 values; 3 expected"},
        {"labels short",
         [](ImportData& d) {
             d.mesh.point_labels = {1, 2};
         },
         "bad.vtk: point labels do not match the points"},
        {"blocks not matching the cells",
         [](ImportData& d) {
             d.mesh.block_names = {"a"};
             d.mesh.cell_blocks = {0, 0};
         },
         "bad.vtk: cell blocks do not match the cells"},
        {"polygon of two nodes",
         [](ImportData& d) {
             d.mesh.cell_types[0] = orv::vtk_polygon;
             d.mesh.cell_offsets[1] = 2;
             d.mesh.cell_nodes.resize(2);
         },
         "bad.vtk: cell 1, a polygon (type 7), has 2 nodes; at least 3 expected"},
    };
    for (const Case& c : cases) {
        ImportData d;
        d.mesh.points = {0, 0, 0, 1, 0, 0, 0, 1, 0};
        add_cell(d, orv::vtk_triangle, {0, 1, 2});
        c.spoil(d);
        try {
            orv::build_model(std::move(d), "/tmp/bad.vtk");
            ADD_FAILURE() << c.what << ": no error";
        } catch (const orv::ReadError& e) {
            EXPECT_EQ(std::string(e.what()), c.message) << c.what;
        }
    }
}

TEST(BuildModel, UnsupportedCellsAreSkippedAndNamed) {
    ImportData d;
    d.mesh.points = {0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1};
    add_cell(d, orv::vtk_triangle, {0, 1, 2});
    add_cell(d, 42, {0, 1, 2, 3});
    add_cell(d, 42, {0, 1, 2, 3});
    add_cell(d, orv::vtk_triangle, {0, 1, 2, 3}); // a triangle with four nodes
    const auto r = orv::build_model(std::move(d), "odd.vtk");
    EXPECT_EQ(r.model.nelem, 1);
    ASSERT_EQ(r.warnings.size(), 2u);
    EXPECT_EQ(
        r.warnings[0],
        "odd.vtk: 1 cells of triangle (type 5) with a node count this program does not draw were skipped.");
    EXPECT_EQ(r.warnings[1],
              "odd.vtk: 2 cells of type 42 with a node count this program does not draw were skipped.");
}

} // namespace

// A strip of quadrilaterals long enough for several blocks of rows: every
// row holds exactly its own values, displacement and position whatever the
// number of threads (blocks hand their used pages back as they finish, so a
// block reading another's rows would see zeros), and the cell data average
// crosses the blocks.
TEST(BuildModel, LargeModelsAreTheSameOnAnyNumberOfThreads) {
    const std::int64_t half = 150000; // two rows of points: 300000 points, 4.5 blocks
    const auto make = [&] {
        ImportData d;
        for (int r = 0; r < 2; ++r)
            for (std::int64_t i = 0; i < half; ++i)
                d.mesh.points.insert(d.mesh.points.end(), {double(i), double(r), 0.25 * double(i % 7)});
        for (std::int64_t i = 0; i + 1 < half; ++i)
            add_cell(d, orv::vtk_quad, {i, i + 1, half + i + 1, half + i});
        d.steps.resize(1);
        ImportField s{"S", {}, 1, false, {}}, u{"U", {}, 3, false, {}}, t{"T", {}, 6, false, {}},
            c{"C", {}, 1, true, {}};
        for (std::int64_t p = 0; p < 2 * half; ++p) {
            s.values.push_back(double(p) * 0.5);
            u.values.insert(u.values.end(), {double(p), -double(p), 1.0});
            for (int q = 0; q < 6; ++q)
                t.values.push_back(double(p % 11) + q);
        }
        for (std::int64_t e = 0; e + 1 < half; ++e)
            c.values.push_back(double(e));
        d.steps[0].fields = {s, u, t, c};
        return d;
    };
    const ResultModel one = orv::build_model(make(), "strip.vtu", 1).model;
    const ResultModel three = orv::build_model(make(), "strip.vtu", 3).model;
    EXPECT_EQ(one.coord_data, three.coord_data);
    EXPECT_EQ(orv::test::all_list_values(one), orv::test::all_list_values(three));
    EXPECT_EQ(orv::test::all_list_displacements(one), orv::test::all_list_displacements(three));
    EXPECT_EQ(one.maxlista, three.maxlista);
    ASSERT_EQ(one.nnode, 2 * half);
    ASSERT_EQ(one.nlista, 1 + 4 + 7 + 1);
    for (const std::int64_t p : {std::int64_t(0), std::int64_t(65535), std::int64_t(65536),
                                 std::int64_t(131073), half - 1, half, 2 * half - 1}) {
        const std::size_t row = static_cast<std::size_t>(p) + 1;
        const std::int64_t i = p % half;
        SCOPED_TRACE(p);
        EXPECT_EQ(three.coord(row, 1), double(i));
        EXPECT_EQ(three.coord(row, 3), 0.25 * double(i % 7));
        EXPECT_EQ(three.listas(row, 1), double(p) * 0.5);
        EXPECT_EQ(three.listas(row, 3), -double(p));
        EXPECT_EQ(three.listas(row, 9), double(p % 11) + 3); // T XY, the fourth of six
        for (std::size_t l = 1; l <= 13; ++l) {
            EXPECT_EQ(three.list_displacement(row, static_cast<int>(l), 0), double(p));
            EXPECT_EQ(three.list_displacement(row, static_cast<int>(l), 1), -double(p));
        }
        // Cells i - 1 and i share the node, except at the ends of the strip.
        const double avg = i == 0 ? 0.0 : i == half - 1 ? double(i - 1) : double(i) - 0.5;
        EXPECT_EQ(three.listas(row, 13), avg);
    }
}

// The ranges kept while the rows are filled on threads are those one pass in
// node order finds: of equal values (0 and -0) the first node's stays, also
// when the two lie in different blocks of rows.
TEST(BuildModel, RangesFoundOnThreadsAreThoseOfOnePassInNodeOrder) {
    const std::int64_t n = 200000; // four blocks of rows
    ImportData d;
    for (std::int64_t i = 0; i < n; ++i)
        d.mesh.points.insert(d.mesh.points.end(),
                             {double(i % 1000), double(i / 1000), i == 150000 ? -7.5 : 0.0});
    add_cell(d, orv::vtk_line, {0, n - 1});
    d.steps.resize(1);
    ImportField a{"A", {}, 1, false, {}}, b{"B", {}, 1, false, {}};
    for (std::int64_t i = 0; i < n; ++i) {
        // A: +0 at node 1 and -0 in later blocks as the minimum; -0 first as
        // the maximum, +0 later. B: every value 1, then -0 and 0 in turn.
        a.values.push_back(i == 0 ? 0.0 : i == 70000 || i == 140000 ? -0.0 : i == 100 ? -0.0 : 5.0);
        b.values.push_back(i < 66000 ? 1.0 : (i % 2 ? 0.0 : -0.0));
    }
    a.values[10] = -0.0; // the maximum stays above: A's max is 5
    d.steps[0].fields = {a, b};
    for (const int threads : {1, 2, 3}) {
        SCOPED_TRACE(threads);
        ResultModel m = orv::build_model(ImportData(d), "ranges.vtu", threads).model;
        ResultModel again = m;
        orv::finish_model(again); // one pass over the rows
        ASSERT_EQ(m.maxlista.size(), again.maxlista.size());
        for (std::size_t k = 0; k < m.maxlista.size(); ++k)
            for (int s = 0; s < 2; ++s) {
                SCOPED_TRACE(k * 10 + s);
                EXPECT_EQ(m.maxlista[k][s], again.maxlista[k][s]);
                EXPECT_EQ(std::signbit(m.maxlista[k][s]), std::signbit(again.maxlista[k][s]));
            }
        EXPECT_EQ(m.maxscale, again.maxscale);
        EXPECT_EQ(m.maxscale, 999.0);
        EXPECT_FALSE(std::signbit(m.maxlista[1][0])); // node 1's +0, not a later -0
        EXPECT_TRUE(std::signbit(m.maxlista[2][0]));  // B: -0 at node 66001 comes first
        EXPECT_EQ(m.valmin, again.valmin);
        EXPECT_EQ(m.valmax, again.valmax);
    }
}
