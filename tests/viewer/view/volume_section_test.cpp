// Volume cells kept by the import, their shape functions and their sections
// by a plane: every cell type, with its nodes where VTK puts them in the
// reference cell, mapped by an affine map, carries a polynomial field of
// the cell's order; values inside must be that field, and the section of a
// cell must be the exact intersection of the plane with the cell.

#include "viewer/formats/import_mesh.h"
#include "viewer/view/node_access.h"
#include "viewer/view/volume_section.h"
#include "viewer/view/volume_shape.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace orv {
namespace {

using Field = std::function<double(const Point3&)>;

// x = A r + b: skewed and stretched, so that a slip between parameters and
// positions shows.
Point3 affine(const Local3& r) {
    return {2.0 * r[0] + 0.5 * r[1] + 0.25 * r[2] + 1, -0.3 * r[0] + 1.5 * r[1] + 0.2 * r[2] - 2,
            0.1 * r[0] - 0.4 * r[1] + 3.0 * r[2] + 0.5};
}

double linear(const Point3& p) {
    return 3 * p.x - 2 * p.y + 0.5 * p.z + 7;
}
double quadratic(const Point3& p) {
    return linear(p) + p.x * p.x - 0.5 * p.y * p.z + 0.25 * p.z * p.z + p.x * p.y;
}
double cubic(const Point3& p) {
    return quadratic(p) + 0.1 * p.x * p.y * p.z - 0.2 * p.x * p.x * p.z + 0.05 * p.y * p.y * p.y;
}

void add_cell(ImportData& d, int type, const std::vector<std::int64_t>& nodes) {
    if (d.mesh.cell_offsets.empty()) d.mesh.cell_offsets.push_back(0);
    d.mesh.cell_types.push_back(static_cast<std::uint8_t>(type));
    d.mesh.cell_nodes.insert(d.mesh.cell_nodes.end(), nodes.begin(), nodes.end());
    d.mesh.cell_offsets.push_back(static_cast<std::int64_t>(d.mesh.cell_nodes.size()));
}

// A field on the points of `d`, one step, one list.
void add_field(ImportData& d, const Field& f) {
    ImportField fd;
    fd.name = "f";
    for (std::size_t i = 0; i < d.mesh.point_count(); ++i)
        fd.values.push_back(f({d.mesh.points[3 * i], d.mesh.points[3 * i + 1], d.mesh.points[3 * i + 2]}));
    d.steps.resize(1);
    d.steps[0].fields.push_back(std::move(fd));
}

struct CellCase {
    int vtk_type = 0;
    std::vector<Local3> pcoords; // VTK's, in VTK's node order
};

// The volume cells of the VTK parametric-coordinates fixture.
std::vector<CellCase> volume_cases() {
    std::ifstream in(std::string(ORVANEL_TEST_DATA) + "/import/vtk_cell_pcoords.txt");
    std::vector<CellCase> out;
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream ls(line);
        CellCase c;
        int n = 0;
        ls >> c.vtk_type >> n;
        static const std::set<int> volumes = {10, 11, 12, 13, 14, 24, 25, 26, 27, 29, 71, 72, 73, 74};
        if (!volumes.count(c.vtk_type)) continue;
        for (int k = 0; k < n; ++k) {
            Local3 p{};
            ls >> p[0] >> p[1] >> p[2];
            c.pcoords.push_back(p);
        }
        out.push_back(std::move(c));
    }
    return out;
}

// What each case must become, and the field its order reproduces.
struct Expected {
    VolumeType type;
    Field field;
};
Expected expected_of(int vtk_type, std::size_t n) {
    switch (vtk_type) {
    case 10:
        return {VolumeType::tetra4, linear};
    case 24:
        return {VolumeType::tetra10, quadratic};
    case 71:
        return n == 4 ? Expected{VolumeType::tetra4, linear} : Expected{VolumeType::tetra10, quadratic};
    case 11:
    case 12:
        return {VolumeType::hexa8, linear};
    case 25:
        return {VolumeType::hexa20, quadratic};
    case 29:
        return {VolumeType::hexa_lagrange, quadratic};
    case 72:
        return n == 8 ? Expected{VolumeType::hexa8, linear}
                      : Expected{VolumeType::hexa_lagrange, n == 27 ? Field(quadratic) : Field(cubic)};
    case 13:
        return {VolumeType::wedge6, linear};
    case 26:
        return {VolumeType::wedge15, quadratic};
    case 73:
        return n == 6 ? Expected{VolumeType::wedge6, linear} : Expected{VolumeType::wedge18, quadratic};
    case 14:
        return {VolumeType::pyramid5, linear};
    default: // 27: the 13-node pyramid, by its corners
        return {VolumeType::pyramid13, linear};
    }
}

ResultModel one_cell_model(const CellCase& c, const Field& f) {
    ImportData d;
    std::vector<std::int64_t> nodes;
    for (std::size_t k = 0; k < c.pcoords.size(); ++k) {
        const Point3 x = affine(c.pcoords[k]);
        d.mesh.points.insert(d.mesh.points.end(), {x.x, x.y, x.z});
        nodes.push_back(static_cast<std::int64_t>(k));
    }
    add_cell(d, c.vtk_type, nodes);
    add_field(d, f);
    return build_model(std::move(d), "cell.vtu").model;
}

// Points spread over the reference cell (inside for every type).
std::vector<Local3> inner_points(const VolumeShape& s) {
    std::vector<Local3> out;
    for (int i = 1; i <= 4; ++i)
        for (int j = 1; j <= 4; ++j)
            for (int k = 1; k <= 4; ++k) {
                const Local3 l{0.37 * i / 4 + 0.01 * k, 0.29 * j / 4 + 0.02 * i, 0.23 * k / 4 + 0.01 * j};
                if (s.contains(l, 0)) out.push_back(l);
            }
    return out;
}

TEST(VolumeCells, EveryTypeIsKeptAndReproducesFieldsOfItsOrder) {
    const auto cases = volume_cases();
    ASSERT_FALSE(cases.empty()) << "fixture missing";
    for (const CellCase& c : cases) {
        const Expected want = expected_of(c.vtk_type, c.pcoords.size());
        SCOPED_TRACE("VTK type " + std::to_string(c.vtk_type) + " with " + std::to_string(c.pcoords.size()) +
                     " nodes");
        const ResultModel m = one_cell_model(c, want.field);
        ASSERT_EQ(m.volumes.size(), 1u);
        EXPECT_EQ(m.volumes.types[0], want.type);
        EXPECT_EQ(m.volumes.labels[0], 1);
        ASSERT_EQ(m.volumes.node_count(0), static_cast<std::int64_t>(c.pcoords.size()));
        const VolumeShape* s = volume_shape(want.type, m.volumes.node_count(0));
        ASSERT_NE(s, nullptr);
        const std::int32_t* nodes = m.volumes.nodes_of(0);
        const NodeValues values = values_of(m, 1);
        for (const Local3& l : inner_points(*s)) {
            const Point3 want_at = affine(l);
            const Point3 at{s->interpolate(l, [&](int i) { return node_position(m, nodes[i]).x; }),
                            s->interpolate(l, [&](int i) { return node_position(m, nodes[i]).y; }),
                            s->interpolate(l, [&](int i) { return node_position(m, nodes[i]).z; })};
            EXPECT_NEAR(at.x, want_at.x, 1e-11);
            EXPECT_NEAR(at.y, want_at.y, 1e-11);
            EXPECT_NEAR(at.z, want_at.z, 1e-11);
            const double v = s->interpolate(l, [&](int i) { return values[nodes[i]]; });
            EXPECT_NEAR(v, want.field(want_at), 1e-9) << "at " << l[0] << " " << l[1] << " " << l[2];
        }
    }
}

struct Collect : SectionSink {
    std::vector<SectionPiece> pieces;
    void piece(const SectionPiece& p) override { pieces.push_back(p); }
};

Point3 sub(const Point3& a, const Point3& b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
Point3 cross(const Point3& a, const Point3& b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
double dot(const Point3& a, const Point3& b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
double length(const Point3& a) {
    return std::sqrt(dot(a, a));
}

// Area and perimeter of the convex polygon where the plane meets the convex
// polyhedron of `corners` and `edges`: the edge crossings, in angle order.
std::pair<double, double> exact_cut(const std::vector<Point3>& corners,
                                    const std::vector<std::array<int, 2>>& edges, const CutPlane& plane) {
    std::vector<Point3> pts;
    for (const auto& e : edges) {
        const Point3 a = corners[static_cast<std::size_t>(e[0])], b = corners[static_cast<std::size_t>(e[1])];
        const double da = plane.distance(a), db = plane.distance(b);
        if ((da > 0) == (db > 0)) continue;
        const double t = da / (da - db);
        pts.push_back({a.x + t * (b.x - a.x), a.y + t * (b.y - a.y), a.z + t * (b.z - a.z)});
    }
    if (pts.size() < 3) return {0, 0};
    Point3 c{};
    for (const Point3& p : pts)
        c = {c.x + p.x / pts.size(), c.y + p.y / pts.size(), c.z + p.z / pts.size()};
    const Point3 n = plane.normal;
    Point3 u = sub(pts[0], c);
    const Point3 w = cross(n, u);
    std::sort(pts.begin(), pts.end(), [&](const Point3& a, const Point3& b) {
        return std::atan2(dot(sub(a, c), w), dot(sub(a, c), u)) <
               std::atan2(dot(sub(b, c), w), dot(sub(b, c), u));
    });
    double area = 0, perimeter = 0;
    for (std::size_t k = 0; k < pts.size(); ++k) {
        const Point3& p = pts[k];
        const Point3& q = pts[(k + 1) % pts.size()];
        area += length(cross(sub(p, c), sub(q, c))) / 2;
        perimeter += length(sub(q, p));
    }
    return {area, perimeter};
}

const std::vector<std::array<int, 2>>& corner_edges(VolumeType t) {
    static const std::vector<std::array<int, 2>> tet = {{0, 1}, {1, 2}, {2, 0}, {0, 3}, {1, 3}, {2, 3}};
    static const std::vector<std::array<int, 2>> hex = {{0, 1}, {1, 2}, {2, 3}, {3, 0}, {4, 5}, {5, 6},
                                                        {6, 7}, {7, 4}, {0, 4}, {1, 5}, {2, 6}, {3, 7}};
    static const std::vector<std::array<int, 2>> wedge = {{0, 1}, {1, 2}, {2, 0}, {3, 4}, {4, 5},
                                                          {5, 3}, {0, 3}, {1, 4}, {2, 5}};
    static const std::vector<std::array<int, 2>> pyramid = {{0, 1}, {1, 2}, {2, 3}, {3, 0},
                                                            {0, 4}, {1, 4}, {2, 4}, {3, 4}};
    switch (t) {
    case VolumeType::tetra4:
    case VolumeType::tetra10:
        return tet;
    case VolumeType::wedge6:
    case VolumeType::wedge15:
    case VolumeType::wedge18:
        return wedge;
    case VolumeType::pyramid5:
    case VolumeType::pyramid13:
        return pyramid;
    default:
        return hex;
    }
}

TEST(VolumeSection, EveryTypeIsCutAsThePlaneMeetsItWithItsOwnValues) {
    // Planes through the middle, skewed, near a corner, and along a face diagonal.
    const std::vector<CutPlane> planes = {
        {{0, 0, 1}, 2.0}, {{1, 1, 1}, 1.0}, {{0.3, -1, 0.2}, 1.5}, {{1, 0, 0}, 1.3}, {{1, 0, 0}, 1.9}};
    for (const CellCase& c : volume_cases()) {
        const Expected want = expected_of(c.vtk_type, c.pcoords.size());
        const ResultModel m = one_cell_model(c, want.field);
        ASSERT_EQ(m.volumes.size(), 1u);
        const int corners = want.type == VolumeType::tetra4 || want.type == VolumeType::tetra10       ? 4
                            : want.type == VolumeType::pyramid5 || want.type == VolumeType::pyramid13 ? 5
                            : (want.type == VolumeType::hexa8 || want.type == VolumeType::hexa20 ||
                               want.type == VolumeType::hexa_lagrange)
                                ? 8
                                : 6;
        const VolumeShape* s = volume_shape(want.type, m.volumes.node_count(0));
        std::vector<Point3> corner_at;
        for (int k = 0; k < corners; ++k)
            corner_at.push_back(affine(s->nodes[static_cast<std::size_t>(k)]));
        for (const CutPlane& plane : planes) {
            SCOPED_TRACE("VTK type " + std::to_string(c.vtk_type) + " with " +
                         std::to_string(c.pcoords.size()) + " nodes, plane " +
                         std::to_string(plane.normal.x) + " " + std::to_string(plane.normal.y) + " " +
                         std::to_string(plane.normal.z) + " = " + std::to_string(plane.offset));
            Collect got;
            section_of_cell(m, 0, plane, NodePlacement{}, 1, got);
            const auto [area, perimeter] = exact_cut(corner_at, corner_edges(want.type), plane);
            double got_area = 0, got_perimeter = 0;
            for (const SectionPiece& p : got.pieces) {
                EXPECT_EQ(p.cell, 0u);
                for (int k = 0; k < p.count; ++k) {
                    const SectionVertex& v = p.v[k];
                    EXPECT_NEAR(plane.distance(v.at), 0, 1e-12);
                    const Point3 want_at = affine(v.local);
                    EXPECT_NEAR(length(sub(v.at, want_at)), 0, 1e-11);
                    EXPECT_NEAR(v.value, want.field(v.at), 1e-9);
                    const Point3& next = p.v[(k + 1) % p.count].at;
                    if (p.on_boundary[k]) got_perimeter += length(sub(next, v.at));
                    if (k >= 1 && k + 1 < p.count) {
                        const Point3 n = cross(sub(v.at, p.v[0].at), sub(next, p.v[0].at));
                        EXPECT_GT(dot(n, plane.normal), 0) << "piece turns the wrong way";
                        got_area += length(n) / 2;
                    }
                }
            }
            EXPECT_NEAR(got_area, area, 1e-10);
            EXPECT_NEAR(got_perimeter, perimeter, 1e-10);
        }
    }
}

// An n x n x n block of unit hexahedra (or each split into two wedges).
ImportData block(int n, bool wedges) {
    ImportData d;
    const int m = n + 1;
    for (int k = 0; k < m; ++k)
        for (int j = 0; j < m; ++j)
            for (int i = 0; i < m; ++i)
                d.mesh.points.insert(d.mesh.points.end(), {double(i), double(j), double(k)});
    const auto id = [&](int i, int j, int k) { return std::int64_t(i + m * (j + m * k)); };
    for (int k = 0; k < n; ++k)
        for (int j = 0; j < n; ++j)
            for (int i = 0; i < n; ++i) {
                const std::int64_t h[8] = {
                    id(i, j, k),     id(i + 1, j, k),     id(i + 1, j + 1, k),     id(i, j + 1, k),
                    id(i, j, k + 1), id(i + 1, j, k + 1), id(i + 1, j + 1, k + 1), id(i, j + 1, k + 1)};
                if (wedges) {
                    add_cell(d, vtk_wedge, {h[0], h[1], h[2], h[4], h[5], h[6]});
                    add_cell(d, vtk_wedge, {h[0], h[2], h[3], h[4], h[6], h[7]});
                } else {
                    add_cell(d, vtk_hexahedron, {h[0], h[1], h[2], h[3], h[4], h[5], h[6], h[7]});
                }
            }
    add_field(d, linear);
    return d;
}

TEST(VolumeSection, ABlockIsCutOnceWhereverThePlaneLies) {
    struct Case {
        const char* what;
        bool wedges;
        CutPlane plane;
        double area;
    };
    const Case cases[] = {
        {"between node layers", false, {{0, 0, 1}, 1.5}, 9},
        {"on a node layer: the shared faces once", false, {{0, 0, 1}, 2}, 9},
        {"on the outer face", false, {{0, 0, 1}, 3}, 0},
        {"wedges on a node layer", true, {{0, 1, 0}, 1}, 9},
        {"diagonal through wedges", true, {{1, 1, 0}, 3}, 3 * 3 * std::sqrt(2.0)},
        {"outside", false, {{1, 0, 0}, -1}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const ResultModel m = build_model(block(3, c.wedges), "block.vtu").model;
        ASSERT_EQ(m.volumes.size(), c.wedges ? 54u : 27u);
        Collect got;
        section_of_volumes(m, c.plane, NodePlacement{}, 1, got);
        double area = 0;
        for (const SectionPiece& p : got.pieces)
            for (int k = 1; k + 1 < p.count; ++k) {
                area += length(cross(sub(p.v[k].at, p.v[0].at), sub(p.v[k + 1].at, p.v[0].at))) / 2;
                EXPECT_NEAR(p.v[k].value, linear(p.v[k].at), 1e-10);
            }
        EXPECT_NEAR(area, c.area, 1e-9);
    }
}

TEST(VolumeSection, TheDeformedShapeIsCutWhereItIsDrawn) {
    ImportData d = block(2, false);
    ImportField u;
    u.name = "U";
    u.components = 3;
    u.displacement_only = true;
    for (std::size_t i = 0; i < d.mesh.point_count(); ++i)
        u.values.insert(u.values.end(), {0, 0, 0.5 * d.mesh.points[3 * i + 2]}); // stretched by 1.5 along z
    d.steps[0].fields.push_back(std::move(u));
    const ResultModel m = build_model(std::move(d), "block.vtu").model;
    ASSERT_EQ(m.nlista, 1);
    // z = 2.7 in the drawn shape is undeformed z = 1.8: values of that layer.
    Collect got;
    section_of_volumes(m, {{0, 0, 1}, 2.7}, NodePlacement{true, 3, 1.0}, 1, got);
    ASSERT_FALSE(got.pieces.empty());
    for (const SectionPiece& p : got.pieces)
        for (int k = 0; k < p.count; ++k) {
            EXPECT_NEAR(p.v[k].at.z, 2.7, 1e-12);
            EXPECT_NEAR(p.v[k].value, linear({p.v[k].at.x, p.v[k].at.y, 1.8}), 1e-10);
        }
}

TEST(VolumeCells, ModelsWithoutVolumesKeepNone) {
    ImportData d;
    d.mesh.points = {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0};
    add_cell(d, vtk_quad, {0, 1, 2, 3});
    const ResultModel m = build_model(std::move(d), "plate.vtu").model;
    EXPECT_TRUE(m.volumes.empty());
    EXPECT_TRUE(m.volumes.starts.empty());
    EXPECT_EQ(m.volumes.bytes(), 0u);
}

} // namespace
} // namespace orv
