// Points found inside volume cells (the grid of boxes and Newton's inversion
// of the shape functions) and values sampled along a line, written as CSV.

#include "viewer/formats/import_mesh.h"
#include "viewer/view/volume_locate.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

namespace orv {
namespace {

double quadratic(const Point3& p) {
    return 3 * p.x - 2 * p.y + 0.5 * p.z + 7 + p.x * p.x - 0.5 * p.y * p.z + 0.25 * p.z * p.z + p.x * p.y;
}

// VTK's parameters of the nodes of a cell type with n nodes (the fixture).
std::vector<Local3> pcoords(int type, int n) {
    std::ifstream in(std::string(ORVANEL_TEST_DATA) + "/import/vtk_cell_pcoords.txt");
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream ls(line);
        int t = 0, c = 0;
        ls >> t >> c;
        if (t != type || c != n) continue;
        std::vector<Local3> out(static_cast<std::size_t>(n));
        for (Local3& p : out)
            ls >> p[0] >> p[1] >> p[2];
        return out;
    }
    return {};
}

// Appends a cell of `type` whose nodes sit at `place(pcoords)`.
void add_cell(ImportData& d, int type, int n, const std::function<Point3(const Local3&)>& place) {
    if (d.mesh.cell_offsets.empty()) d.mesh.cell_offsets.push_back(0);
    d.mesh.cell_types.push_back(static_cast<std::uint8_t>(type));
    for (const Local3& l : pcoords(type, n)) {
        const Point3 x = place(l);
        d.mesh.cell_nodes.push_back(static_cast<std::int64_t>(d.mesh.point_count()));
        d.mesh.points.insert(d.mesh.points.end(), {x.x, x.y, x.z});
    }
    d.mesh.cell_offsets.push_back(static_cast<std::int64_t>(d.mesh.cell_nodes.size()));
}

void add_field(ImportData& d, const char* name, const std::function<double(const Point3&)>& f) {
    ImportField fd;
    fd.name = name;
    for (std::size_t i = 0; i < d.mesh.point_count(); ++i)
        fd.values.push_back(f({d.mesh.points[3 * i], d.mesh.points[3 * i + 1], d.mesh.points[3 * i + 2]}));
    d.steps.resize(1);
    d.steps[0].fields.push_back(std::move(fd));
}

TEST(VolumeLocator, ALineCrossesSeveralCellTypesAndLeavesTheModel) {
    // A 20-node brick on x 0..1, a 15-node wedge on x 1..2 (its triangle in
    // x, y), a 10-node tetrahedron on x 2..3; the line y = 0.25, z = 0.2
    // leaves the wedge at x = 1.75 and the tetrahedron at x = 2.55.
    ImportData d;
    const auto shifted = [](double dx) {
        return [dx](const Local3& l) { return Point3{l[0] + dx, l[1], l[2]}; };
    };
    add_cell(d, vtk_quadratic_hexahedron, 20, shifted(0));
    add_cell(d, vtk_quadratic_wedge, 15, shifted(1));
    add_cell(d, vtk_quadratic_tetra, 10, shifted(2));
    add_field(d, "q", quadratic);
    const ResultModel m = build_model(std::move(d), "row.vtu").model;
    ASSERT_EQ(m.volumes.size(), 3u);
    const VolumeLocator index(m);
    const auto samples = sample_line(index, {-0.5, 0.25, 0.2}, {3.5, 0.25, 0.2}, 41, {1});
    ASSERT_EQ(samples.size(), 41u);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const LineSample& s = samples[i];
        const double x = -0.5 + 0.1 * static_cast<double>(i);
        SCOPED_TRACE("x = " + std::to_string(x));
        EXPECT_NEAR(s.distance, 0.1 * static_cast<double>(i), 1e-12);
        EXPECT_NEAR(s.at.x, x, 1e-12);
        const bool inside = (x > -1e-9 && x < 1.75) || (x > 2 - 1e-9 && x < 2.55);
        ASSERT_EQ(s.values.size(), 1u);
        if (inside)
            EXPECT_NEAR(s.values[0], quadratic(s.at), 1e-9);
        else
            EXPECT_TRUE(std::isnan(s.values[0])) << s.values[0];
    }
}

TEST(VolumeLocator, CurvedCellsGiveBackTheParametersOfTheirPoints) {
    struct Case {
        int type, n;
    };
    const Case cases[] = {{vtk_tetra, 4},
                          {vtk_quadratic_tetra, 10},
                          {vtk_hexahedron, 8},
                          {vtk_quadratic_hexahedron, 20},
                          {vtk_triquadratic_hexahedron, 27},
                          {vtk_lagrange_hexahedron, 64},
                          {vtk_wedge, 6},
                          {vtk_quadratic_wedge, 15},
                          {vtk_lagrange_wedge, 18},
                          {vtk_pyramid, 5}};
    // Bent: every node moved by a smooth function of its place, so that
    // cells of order 2 and more are curved.
    const auto bent = [](const Local3& l) {
        return Point3{2 * l[0] + 0.15 * l[1] * l[1], 1.5 * l[1] + 0.1 * l[0] * l[2],
                      l[2] + 0.2 * l[0] * l[0]};
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("VTK type " + std::to_string(c.type) + " with " + std::to_string(c.n) + " nodes");
        ImportData d;
        add_cell(d, c.type, c.n, bent);
        add_field(d, "q", quadratic);
        const ResultModel m = build_model(std::move(d), "cell.vtu").model;
        ASSERT_EQ(m.volumes.size(), 1u);
        const VolumeShape* s = volume_shape(m.volumes.types[0], m.volumes.node_count(0));
        ASSERT_NE(s, nullptr);
        const VolumeLocator index(m);
        const std::int32_t* nodes = m.volumes.nodes_of(0);
        for (const Local3 l : {Local3{0.2, 0.3, 0.1}, Local3{0.3, 0.25, 0.4}, Local3{0.2, 0.25, 0.3}}) {
            ASSERT_TRUE(s->contains(l, 0));
            const Point3 x{s->interpolate(l, [&](int i) { return node_position(m, nodes[i]).x; }),
                           s->interpolate(l, [&](int i) { return node_position(m, nodes[i]).y; }),
                           s->interpolate(l, [&](int i) { return node_position(m, nodes[i]).z; })};
            const auto got = index.locate(x);
            ASSERT_TRUE(got.has_value());
            for (std::size_t k = 0; k < 3; ++k)
                EXPECT_NEAR(got->local[k], l[k], 1e-9);
        }
        EXPECT_FALSE(index.locate({-0.5, 0.1, 0.1}).has_value());
        EXPECT_FALSE(index.locate({1e300, 0, 0}).has_value());
        EXPECT_FALSE(index.locate({NAN, 0, 0}).has_value());
    }
}

TEST(LineCsv, HeaderQuotesNamesAndRowsKeepEveryDigit) {
    ImportData d;
    add_cell(d, vtk_hexahedron, 8, [](const Local3& l) { return Point3{l[0], l[1], l[2]}; });
    add_field(d, "plain", [](const Point3& p) { return p.x / 3; });
    add_field(d, "a, \"b\"", [](const Point3&) { return 1.0; });
    const ResultModel m = build_model(std::move(d), "cell.vtu").model;
    ASSERT_EQ(m.nlista, 2);
    const VolumeLocator index(m);
    const auto samples = sample_line(index, {0.1, 0.5, 0.5}, {2, 0.5, 0.5}, 2, {1, 2});
    std::istringstream csv(line_csv(m, {1, 2}, samples));
    std::string header, first, second, rest;
    std::getline(csv, header);
    std::getline(csv, first);
    std::getline(csv, second);
    EXPECT_FALSE(std::getline(csv, rest));
    EXPECT_EQ(header, "distance,x,y,z,plain - passo 1,\"a, \"\"b\"\" - passo 1\"");
    // 0.1 and 2 - 0.1 with all 17 digits; the second point lies in no cell.
    const std::string row = "0,0.10000000000000001,0.5,0.5,";
    ASSERT_EQ(first.substr(0, row.size()), row);
    std::istringstream values(first.substr(row.size()));
    double v1 = 0, v2 = 0;
    char comma = 0;
    values >> v1 >> comma >> v2;
    EXPECT_NEAR(v1, 0.1 / 3, 1e-15);
    EXPECT_NEAR(v2, 1, 1e-15);
    EXPECT_EQ(second, "1.8999999999999999,2,0.5,0.5,,");
}

} // namespace
} // namespace orv
