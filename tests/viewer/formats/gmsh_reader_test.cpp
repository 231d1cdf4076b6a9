#include "viewer/formats/gmsh_reader.h"

#include "import_test_util.h"
#include "viewer/formats/importer.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

namespace {

// The hand-over's arrays as plain vectors, to compare with a list.
template <class V> std::vector<typename V::value_type> plain(const V& v) {
    return {v.begin(), v.end()};
}

using namespace orv::import_test;

std::string fixture(const std::string& name) {
    return std::string(ORVANEL_TEST_DATA) + "/import/gmsh/" + name;
}

struct MshCase {
    const char* file;
    std::size_t points;
    std::map<int, std::size_t> cells; // VTK type -> count
    std::size_t steps;
};

void PrintTo(const MshCase& c, std::ostream* os) {
    *os << c.file;
}

class MshFixture : public testing::TestWithParam<MshCase> {};

// The fixtures made by Gmsh (make_fixtures.py): counts, node places in VTK
// order, and the views' values against the functions that made them.
TEST_P(MshFixture, MeshAndViews) {
    const MshCase& k = GetParam();
    const orv::ImportData d = orv::import_test::loaded(orv::import_file(orv::import_msh, fixture(k.file)));
    EXPECT_TRUE(d.warnings.empty()) << d.warnings.front();
    ASSERT_EQ(d.mesh.point_count(), k.points);
    std::map<int, std::size_t> cells;
    for (const auto t : d.mesh.cell_types)
        ++cells[t];
    EXPECT_EQ(cells, k.cells);
    ASSERT_EQ(d.mesh.point_labels.size(), k.points);
    ASSERT_EQ(d.mesh.cell_labels.size(), d.mesh.cell_count());
    ASSERT_EQ(d.mesh.cell_offsets.size(), d.mesh.cell_count() + 1);
    expect_vtk_node_places(d);

    ASSERT_EQ(d.steps.size(), k.steps);
    for (std::size_t s = 0; s < k.steps; ++s) {
        const auto& step = d.steps[s];
        EXPECT_EQ(step.time, 0.5 * static_cast<double>(s));
        const auto* temp = field(step, "temperature");
        const auto* disp = field(step, "displacement");
        ASSERT_TRUE(temp && disp);
        EXPECT_EQ(temp->components, 1);
        EXPECT_EQ(disp->components, 3);
        EXPECT_FALSE(temp->on_cells);
        const double f = static_cast<double>(s + 1);
        for (std::size_t i = 0; i < k.points; ++i) {
            const P3 p = point(d, static_cast<std::int64_t>(i));
            ASSERT_NEAR(temp->values[i], (p[0] + 2 * p[1]) * f, 1e-9);
            ASSERT_NEAR(disp->values[3 * i], 0.01 * p[0] * f, 1e-12);
            ASSERT_NEAR(disp->values[3 * i + 1], 0.02 * p[1] * f, 1e-12);
        }
    }
    // Element data on the cells; element-node data averaged onto the nodes.
    const auto* pressure = field(d.steps[0], "pressure");
    ASSERT_TRUE(pressure);
    EXPECT_TRUE(pressure->on_cells);
    for (std::size_t c = 0; c < d.mesh.cell_count(); ++c)
        EXPECT_NEAR(pressure->values[c], static_cast<double>(d.mesh.cell_labels[c]) / 10, 1e-12);
    const auto* stress = field(d.steps[0], "stress (média nos nós)");
    ASSERT_TRUE(stress);
    EXPECT_FALSE(stress->on_cells);
    for (std::size_t i = 0; i < k.points; ++i)
        ASSERT_NEAR(stress->values[i], 100 + point(d, static_cast<std::int64_t>(i))[0], 1e-9) << i;
}

INSTANTIATE_TEST_SUITE_P(
    Gmsh, MshFixture,
    testing::Values(MshCase{"plate_41.msh", 18, {{orv::vtk_triangle, 22}}, 2},
                    MshCase{"plate_22.msh", 18, {{orv::vtk_triangle, 22}}, 2},
                    MshCase{"plate_41_bin.msh", 18, {{orv::vtk_triangle, 22}}, 2},
                    MshCase{"plate_22_bin.msh", 18, {{orv::vtk_triangle, 22}}, 2},
                    MshCase{"quad9_41.msh", 57, {{orv::vtk_biquadratic_quad, 11}}, 1},
                    MshCase{"quad8_22.msh", 46, {{orv::vtk_quadratic_quad, 11}}, 1},
                    MshCase{"tri10_41.msh", 46, {{orv::vtk_lagrange_triangle, 8}}, 1},
                    MshCase{"quad16_22_bin.msh",
                            40,
                            {{orv::vtk_lagrange_triangle, 2}, {orv::vtk_lagrange_quadrilateral, 2}},
                            1},
                    MshCase{"tet10_41.msh", 231, {{orv::vtk_quadratic_tetra, 100}}, 1},
                    MshCase{"hex20_41_bin.msh", 81, {{orv::vtk_quadratic_hexahedron, 8}}, 1}),
    [](const testing::TestParamInfo<MshCase>& i) {
        std::string n = i.param.file;
        for (auto& ch : n)
            if (ch == '.') ch = '_';
        return n;
    });

// Sparse tags: labels are the file's, cells refer to 0-based indices.
TEST(GmshReader, SparseTagsKeepTheirLabels) {
    for (const char* file : {"sparse_41.msh", "sparse_22.msh", "sparse_22_be.msh"}) {
        SCOPED_TRACE(file);
        const auto d = orv::import_test::loaded(orv::import_file(orv::import_msh, fixture(file)));
        EXPECT_EQ(plain(d.mesh.point_labels), (std::vector<std::int64_t>{10, 20, 35, 40, 57, 70}));
        ASSERT_EQ(d.mesh.cell_count(), 3u);
        std::map<std::int64_t, std::vector<std::int64_t>> cells;
        for (std::size_t c = 0; c < 3; ++c)
            cells[d.mesh.cell_labels[c]] = {d.mesh.cell_nodes.begin() + d.mesh.cell_offsets[c],
                                            d.mesh.cell_nodes.begin() + d.mesh.cell_offsets[c + 1]};
        EXPECT_EQ(cells[100], (std::vector<std::int64_t>{0, 1, 4, 3}));
        EXPECT_EQ(cells[300], (std::vector<std::int64_t>{1, 2, 5, 4}));
        EXPECT_EQ(cells[7], (std::vector<std::int64_t>{3, 4, 0}));
        EXPECT_EQ(point(d, 5), (P3{2, 1, 0}));
    }
    // The hand-written 2.2 files, text and big-endian binary, carry a vector view.
    for (const char* file : {"sparse_22.msh", "sparse_22_be.msh"}) {
        SCOPED_TRACE(file);
        const auto d = orv::import_test::loaded(orv::import_file(orv::import_msh, fixture(file)));
        ASSERT_EQ(d.steps.size(), 2u);
        EXPECT_EQ(d.steps[1].time, 0.25);
        const auto* u = field(d.steps[1], "u");
        ASSERT_TRUE(u);
        EXPECT_EQ(u->values[3 * 5], 0.1 * 2 * 2);     // node 70 at x = 2, step 1
        EXPECT_EQ(u->values[3 * 5 + 1], 0.2 * 1 * 2); // y = 1
    }
}

// The permutation tables against Gmsh's own reference coordinates of each
// type (from gmsh.model.mesh.getElementProperties in Gmsh 4.8.4), mapped to
// VTK's parametric places: a wrong entry moves a node.
TEST(GmshReader, NodeOrderAgainstGmshReferenceNodes) {
    struct Ref {
        int type;
        std::vector<std::array<double, 3>> gmsh; // Gmsh's reference coordinates
        std::vector<std::array<double, 3>> vtk;  // VTK's, in VTK's order
    };
    const double t = 1.0 / 3;
    const std::vector<Ref> refs = {
        // 16-node quadrilateral: Gmsh on [-1, 1]^2, VTK Lagrange order 3 on [0, 1]^2.
        {36,
         {{-1, -1, 0},
          {1, -1, 0},
          {1, 1, 0},
          {-1, 1, 0},
          {-t, -1, 0},
          {t, -1, 0},
          {1, -t, 0},
          {1, t, 0},
          {t, 1, 0},
          {-t, 1, 0},
          {-1, t, 0},
          {-1, -t, 0},
          {-t, -t, 0},
          {t, -t, 0},
          {t, t, 0},
          {-t, t, 0}},
         {{-1, -1, 0},
          {1, -1, 0},
          {1, 1, 0},
          {-1, 1, 0},
          {-t, -1, 0},
          {t, -1, 0},
          {1, -t, 0},
          {1, t, 0},
          {-t, 1, 0},
          {t, 1, 0},
          {-1, -t, 0},
          {-1, t, 0},
          {-t, -t, 0},
          {t, -t, 0},
          {-t, t, 0},
          {t, t, 0}}},
        // 27-node hexahedron.
        {12,
         {{-1, -1, -1}, {1, -1, -1}, {1, 1, -1},  {-1, 1, -1}, {-1, -1, 1}, {1, -1, 1}, {1, 1, 1},
          {-1, 1, 1},   {0, -1, -1}, {-1, 0, -1}, {-1, -1, 0}, {1, 0, -1},  {1, -1, 0}, {0, 1, -1},
          {1, 1, 0},    {-1, 1, 0},  {0, -1, 1},  {-1, 0, 1},  {1, 0, 1},   {0, 1, 1},  {0, 0, -1},
          {0, -1, 0},   {-1, 0, 0},  {1, 0, 0},   {0, 1, 0},   {0, 0, 1},   {0, 0, 0}},
         {{-1, -1, -1}, {1, -1, -1}, {1, 1, -1},  {-1, 1, -1}, {-1, -1, 1}, {1, -1, 1}, {1, 1, 1},
          {-1, 1, 1},   {0, -1, -1}, {1, 0, -1},  {0, 1, -1},  {-1, 0, -1}, {0, -1, 1}, {1, 0, 1},
          {0, 1, 1},    {-1, 0, 1},  {-1, -1, 0}, {1, -1, 0},  {1, 1, 0},   {-1, 1, 0}, {-1, 0, 0},
          {1, 0, 0},    {0, -1, 0},  {0, 1, 0},   {0, 0, -1},  {0, 0, 1},   {0, 0, 0}}},
        // 15-node prism: VTK's quadratic wedge edges 0-1, 1-2, 2-0, 3-4, 4-5, 5-3, 0-3, 1-4, 2-5.
        {18,
         {{0, 0, -1},
          {1, 0, -1},
          {0, 1, -1},
          {0, 0, 1},
          {1, 0, 1},
          {0, 1, 1},
          {.5, 0, -1},
          {0, .5, -1},
          {0, 0, 0},
          {.5, .5, -1},
          {1, 0, 0},
          {0, 1, 0},
          {.5, 0, 1},
          {0, .5, 1},
          {.5, .5, 1}},
         {{0, 0, -1},
          {1, 0, -1},
          {0, 1, -1},
          {0, 0, 1},
          {1, 0, 1},
          {0, 1, 1},
          {.5, 0, -1},
          {.5, .5, -1},
          {0, .5, -1},
          {.5, 0, 1},
          {.5, .5, 1},
          {0, .5, 1},
          {0, 0, 0},
          {1, 0, 0},
          {0, 1, 0}}},
        // 13-node pyramid: VTK's edges 0-1, 1-2, 2-3, 3-0, 0-4, 1-4, 2-4, 3-4.
        {19,
         {{-1, -1, 0},
          {1, -1, 0},
          {1, 1, 0},
          {-1, 1, 0},
          {0, 0, 1},
          {0, -1, 0},
          {-1, 0, 0},
          {-.5, -.5, .5},
          {1, 0, 0},
          {.5, -.5, .5},
          {0, 1, 0},
          {.5, .5, .5},
          {-.5, .5, .5}},
         {{-1, -1, 0},
          {1, -1, 0},
          {1, 1, 0},
          {-1, 1, 0},
          {0, 0, 1},
          {0, -1, 0},
          {1, 0, 0},
          {0, 1, 0},
          {-1, 0, 0},
          {-.5, -.5, .5},
          {.5, -.5, .5},
          {.5, .5, .5},
          {-.5, .5, .5}}},
        // 10-node tetrahedron: VTK's edges 0-1, 1-2, 2-0, 0-3, 1-3, 2-3.
        {11,
         {{0, 0, 0},
          {1, 0, 0},
          {0, 1, 0},
          {0, 0, 1},
          {.5, 0, 0},
          {.5, .5, 0},
          {0, .5, 0},
          {0, 0, .5},
          {0, .5, .5},
          {.5, 0, .5}},
         {{0, 0, 0},
          {1, 0, 0},
          {0, 1, 0},
          {0, 0, 1},
          {.5, 0, 0},
          {.5, .5, 0},
          {0, .5, 0},
          {0, 0, .5},
          {.5, 0, .5},
          {0, .5, .5}}},
    };
    for (const auto& r : refs) {
        SCOPED_TRACE(r.type);
        const auto& map = orv::gmsh_cell_map(r.type);
        ASSERT_EQ(map.nodes, static_cast<int>(r.gmsh.size()));
        ASSERT_EQ(map.take.size(), r.vtk.size());
        for (std::size_t i = 0; i < r.vtk.size(); ++i)
            EXPECT_EQ(r.gmsh[map.take[i]], r.vtk[i]) << "VTK node " << i;
    }
    EXPECT_EQ(orv::gmsh_cell_map(12).vtk, orv::vtk_triquadratic_hexahedron);
    // Complete lines, triangles and quadrilaterals of every order Gmsh writes.
    for (const auto& [type, vtk, nodes] :
         std::vector<std::array<int, 3>>{{66, orv::vtk_lagrange_curve, 11},
                                         {46, orv::vtk_lagrange_triangle, 66},
                                         {51, orv::vtk_lagrange_quadrilateral, 121}}) {
        const auto& map = orv::gmsh_cell_map(type);
        EXPECT_EQ(map.vtk, vtk);
        std::vector<int> sorted = map.take;
        std::sort(sorted.begin(), sorted.end());
        for (int i = 0; i < nodes; ++i)
            ASSERT_EQ(sorted[static_cast<std::size_t>(i)], i) << type;
    }
}

TEST(GmshReader, Sniff) {
    for (const auto& [text, yes] :
         std::vector<std::pair<std::string, bool>>{{"$MeshFormat\n4.1 0 8\n", true},
                                                   {"\xEF\xBB\xBF$MeshFormat\n", true},
                                                   {"\r\n  $MeshFormat", true},
                                                   {"$Nodes\n", false},
                                                   {"# vtk DataFile Version 3.0\n", false},
                                                   {"", false}})
        EXPECT_EQ(orv::sniff_msh(text.data(), text.size()), yes) << text;
}

std::string error_of(const std::string& text) {
    try {
        orv::import_bytes(orv::import_msh, text.data(), text.size(), "/some/where/bad.msh");
    } catch (const orv::ReadError& e) {
        return e.what();
    }
    return "(no error)";
}

const std::string kHead = "$MeshFormat\n4.1 0 8\n$EndMeshFormat\n";
const std::string kNodes = "$Nodes\n1 3 1 3\n2 1 0 3\n1\n2\n3\n0 0 0\n1 0 0\n0 1 0\n$EndNodes\n";

// Each error names the file, the line and what was expected.
TEST(GmshReader, Errors) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"hello\n", "at line 1 of bad.msh: expected $MeshFormat"},
        {"$MeshFormat\n3.0 0 8\n$EndMeshFormat\n",
         "line 2 of bad.msh: Gmsh format version 3.0 is not supported"},
        {"$MeshFormat\n4.1 1 4\n", "line 2 of bad.msh: binary data of size 4"},
        {"$MeshFormat\n4.1 1 8\nABCD\n$EndMeshFormat\n", "byte 20 of bad.msh: expected the binary 1"},
        {kHead + "$Nodes\n1 3 1 3\n2 1 0 3\n1\n2\n3\n0 0 0\n1 x 0\n",
         "line 11 of bad.msh: expected a coordinate, found \"x\""},
        {kHead + "$Nodes\n1 3 1 3\n2 1 0 4\n1\n2\n3\n4\n0 0 0\n1 0 0\n0 1 0\n1 1 0\n$EndNodes\n",
         "line 6 of bad.msh: the node blocks hold more nodes than the 3"},
        {kHead + "$Nodes\n1 99999999999 1 3\n2 1 0 1\n1\n0 0 0\n$EndNodes\n",
         "line 9 of bad.msh: the node blocks hold 1 nodes, not the 99999999999 announced"},
        {kHead + "$Nodes\n1 2 1 3\n2 1 0 2\n1\n1\n0 0 0\n1 0 0\n$EndNodes\n", "node tag 1 is given twice"},
        {kHead + "$Nodes\n1 3 1 3\n2 1 0 3\n1\n2\n3\n0 0 0\n1 0 0\n0 1 0\n0 0 0\n$EndNodes\n",
         "line 13 of bad.msh: expected $EndNodes, found \"0\""},
        {kHead + kNodes + "$Elements\n1 1 1 1\n2 1 2 1\n1 1 2 9\n$EndElements\n",
         "line 17 of bad.msh: an element names node 9, which $Nodes does not hold"},
        {kHead + kNodes + "$Elements\n1 1 1 1\n2 1 777 1\n1 1 2 3\n$EndElements\n",
         "line 16 of bad.msh: element type 777 is not a Gmsh element type"},
        {kHead + "$Elements\n", "$Elements comes before $Nodes"},
        {kHead + kNodes + "$NodeData\n1\n\"v\"\n1\n0\n3\n0\n1\n1\n7 1.5\n$EndNodeData\n",
         "line 23 of bad.msh: a data record names node 7"},
        {kHead + kNodes + "$NodeData\n0\n0\n1\n0\n", "line 17 of bad.msh: expected 3..100 integer tags"},
        {kHead + "$EndNodes\n", "line 4 of bad.msh: \"$EndNodes\" closes no section"},
        {kHead, "expected a $Nodes section; the file has none"},
    };
    for (const auto& [text, want] : cases) {
        const std::string got = error_of(text);
        EXPECT_NE(got.find(want), std::string::npos) << "got: " << got << "\nwant: " << want;
    }
}

// Smaller parts of the format that Gmsh itself reads.
TEST(GmshReader, ParametricNodesMisspelledEndsNamesAndTimes) {
    // Version 2.2 $ParametricNodes: entity dimension and tag, then that
    // many parametric coordinates (1 on a curve, 2 on a surface).
    const std::string parametric = "$MeshFormat\n2.2 0 8\n$EndMeshFormat\n$ParametricNodes\n3\n"
                                   "1 0 0 0 0 1\n2 1 0 0 1 1 0.5\n3 0 1 0 2 1 0.1 0.2\n$EndParametricNodes\n"
                                   "$Elements\n1\n1 2 2 0 1 1 2 3\n$EndElements\n";
    const auto p = orv::import_bytes(orv::import_msh, parametric.data(), parametric.size(), "p.msh");
    ASSERT_EQ(p.mesh.point_count(), 3u);
    EXPECT_EQ(point(p, 1), (P3{1, 0, 0}));
    EXPECT_EQ(point(p, 2), (P3{0, 1, 0}));
    EXPECT_EQ(p.mesh.cell_count(), 1u);
    EXPECT_TRUE(p.warnings.empty());

    const std::string tri = kHead + kNodes + "$Elements\n1 1 1 1\n2 1 2 1\n1 1 2 3\n$EndElements\n";
    // "$EndElememtData", a spelling Gmsh accepts.
    const std::string misspelled = tri + "$ElementData\n1\n\"p\"\n1\n0.5\n3\n0\n1\n1\n1 7\n$EndElememtData\n";
    const auto m = orv::read_bytes(orv::import_msh, misspelled.data(), misspelled.size(), "m.msh").model;
    ASSERT_EQ(m.nlista, 1);
    EXPECT_EQ(m.namelista[1], "p (média nos nós) - passo 1 (t = 0.5)");
    EXPECT_EQ(m.listas(2, 1), 7);

    // Element-node data are named as cell data: the component, then
    // "(média nos nós)"; views of one step index keep their own times.
    const std::string views = tri + "$ElementNodeData\n1\n\"v\"\n1\n0.5\n3\n0\n3\n1\n1 3 1 2 3 1 2 3 1 2 3\n"
                                    "$EndElementNodeData\n"
                                    "$NodeData\n1\n\"T\"\n1\n1.5\n3\n0\n1\n3\n1 1\n2 2\n3 3\n$EndNodeData\n";
    const auto v = orv::read_bytes(orv::import_msh, views.data(), views.size(), "v.msh").model;
    std::vector<std::string> names(v.namelista.begin() + 1, v.namelista.end());
    EXPECT_EQ(names, (std::vector<std::string>{
                         "v X (média nos nós) - passo 1 (t = 0.5)", "v Y (média nos nós) - passo 1 (t = 0.5)",
                         "v Z (média nos nós) - passo 1 (t = 0.5)",
                         "v Magnitude (média nos nós) - passo 1 (t = 0.5)", "T - passo 2 (t = 1.5)"}));
}

// A file that ends early keeps what it read and says so.
TEST(GmshReader, EndsEarly) {
    const std::string full = slurp(fixture("plate_41.msh"));
    struct Cut {
        const char* before; // cut the file just before this text
        std::size_t points, cells, steps;
        const char* warning;
    };
    for (const Cut& cut : std::vector<Cut>{
             {"0.9999999999973836 0 0", 5, 0, 0, "ends early in $Nodes: 18 nodes announced, 5 read"},
             {"$EndElements", 18, 22, 0, "$EndElements is missing"},
             {"12 7 2 15", 18, 11, 0, "ends early in $Elements: 22 elements announced, 11 read"},
             {"10 3.000000000004123", 18, 22, 1, "ends early in $NodeData: 18 records announced, 9 read"}}) {
        const auto at = full.find(cut.before);
        ASSERT_NE(at, std::string::npos) << cut.before;
        const auto d = orv::import_bytes(orv::import_msh, full.data(), at, "plate.msh");
        EXPECT_EQ(d.mesh.point_count(), cut.points) << cut.before;
        EXPECT_EQ(d.mesh.cell_count(), cut.cells) << cut.before;
        EXPECT_EQ(d.steps.size(), cut.steps) << cut.before;
        ASSERT_EQ(d.warnings.size(), 1u) << cut.before;
        EXPECT_NE(d.warnings[0].find(cut.warning), std::string::npos) << d.warnings[0];
    }
}

// Whole binary files cut at every length: an error or a warning, never a
// read past the end (the sanitizer builds check that).
TEST(GmshReader, BinaryCutAnywhere) {
    for (const char* file : {"plate_41_bin.msh", "plate_22_bin.msh", "sparse_22_be.msh"}) {
        const std::string full = slurp(fixture(file));
        for (std::size_t n = 0; n < full.size(); n += 7) {
            const std::string part = full.substr(0, n); // its own buffer, so ASan sees its end
            try {
                orv::import_bytes(orv::import_msh, part.data(), part.size(), file);
            } catch (const orv::ReadError&) {
            }
        }
    }
}

// Through build_model: the lists a user sees, and each step's displacement
// (the view "displacement") on every list of its step.
TEST(GmshReader, ResultModel) {
    const auto r = orv::read_file(orv::import_msh, fixture("plate_41.msh"));
    const auto& m = r.model;
    EXPECT_TRUE(r.warnings.empty());
    EXPECT_EQ(m.nnode, 18);
    EXPECT_EQ(m.nelem, 22);
    ASSERT_EQ(m.nlista, 12);
    EXPECT_EQ(m.namelista[1], "temperature - passo 1 (t = 0)");
    EXPECT_EQ(m.namelista[6], "pressure (média nos nós) - passo 1 (t = 0)");
    EXPECT_EQ(m.namelista[7], "stress (média nos nós) - passo 1 (t = 0)");
    EXPECT_EQ(m.namelista[9], "displacement X - passo 2 (t = 0.5)");
    for (int i = 1; i <= m.nnode; ++i) {
        const double x = m.coord(i, 1), y = m.coord(i, 2);
        EXPECT_NEAR(m.listas(i, 8), 2 * (x + 2 * y), 1e-9);
        for (int k : {1, 7}) { // step 1
            EXPECT_NEAR(m.list_displacement(i, k, 0), 0.01 * x, 1e-12);
            EXPECT_NEAR(m.list_displacement(i, k, 1), 0.02 * y, 1e-12);
        }
        EXPECT_NEAR(m.list_displacement(i, 8, 0), 0.02 * x, 1e-12); // step 2
    }
    // A 2 x 2 x 2 block of 20-node bricks shows its 24 outer faces.
    const auto block = orv::read_file(orv::import_msh, fixture("hex20_41_bin.msh"));
    EXPECT_EQ(block.model.nelem, 24);
    EXPECT_EQ(block.model.nlista, 7);
}

} // namespace
