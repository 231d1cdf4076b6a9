// build_model(): imported cells and fields into the result model.
//
// Every cell type (with its node count) gets, once, a shape: its faces as
// templates of local node indices in the model's lattice order. A template is
// made by placing the cell's nodes at integer parametric positions (units of
// 1/(2p), so that mid-edge nodes and a pyramid's apex land on integers) and
// walking each face's lattice from its corners. A lattice position that no
// node holds is allowed only at the centre of an order-2 quadrilateral (a
// serendipity face): that node is made, from the serendipity shape functions,
// once the face is known to be drawn.
//
// Surface and line cells become elements as they stand. Volume cells give
// candidate faces keyed by their sorted corner nodes; a key met twice is an
// inner face and both copies are dropped.

#include "viewer/formats/import_mesh.h"

#include <sys/mman.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <map>
#include <new>
#include <stdexcept>
#include <string_view>
#include <system_error>
#include <thread>
#include <utility>

namespace orv {
namespace {

using input::base_name; // the one helper of every reader

using P3 = std::array<int, 3>;

struct FaceTemplate {
    int family = 0; // 1 line, 2 triangle, 3 quadrilateral
    int order = 0;
    std::vector<int> nodes;   // local node per lattice position; -1: serendipity centre
    std::vector<int> corners; // local corner nodes (the face's key)
    bool has_centre = false;  // a -1 in nodes
};

struct Shape {
    bool volume = false;
    bool supported = false;
    std::vector<FaceTemplate> faces;
};

// Corner positions of the linear cells, in units of 1/2.
const std::vector<P3> kLine = {{0, 0, 0}, {2, 0, 0}};
const std::vector<P3> kTri = {{0, 0, 0}, {2, 0, 0}, {0, 2, 0}};
const std::vector<P3> kQuad = {{0, 0, 0}, {2, 0, 0}, {2, 2, 0}, {0, 2, 0}};
const std::vector<P3> kTet = {{0, 0, 0}, {2, 0, 0}, {0, 2, 0}, {0, 0, 2}};
const std::vector<P3> kHex = {{0, 0, 0}, {2, 0, 0}, {2, 2, 0}, {0, 2, 0},
                              {0, 0, 2}, {2, 0, 2}, {2, 2, 2}, {0, 2, 2}};
const std::vector<P3> kWedge = {{0, 0, 0}, {2, 0, 0}, {0, 2, 0}, {0, 0, 2}, {2, 0, 2}, {0, 2, 2}};
const std::vector<P3> kPyramid = {{0, 0, 0}, {2, 0, 0}, {2, 2, 0}, {0, 2, 0}, {1, 1, 2}};

// Faces as corner lists, outward, in VTK's face order.
using Faces = std::vector<std::vector<int>>;
const Faces kTetFaces = {{0, 1, 3}, {1, 2, 3}, {2, 0, 3}, {0, 2, 1}};
const Faces kHexFaces = {{0, 4, 7, 3}, {1, 2, 6, 5}, {0, 1, 5, 4}, {3, 7, 6, 2}, {0, 3, 2, 1}, {4, 5, 6, 7}};
const Faces kWedgeFaces = {{0, 1, 2}, {3, 5, 4}, {0, 3, 4, 1}, {1, 4, 5, 2}, {2, 5, 3, 0}};
const Faces kPyramidFaces = {{0, 3, 2, 1}, {0, 1, 4}, {1, 2, 4}, {2, 3, 4}, {3, 0, 4}};

// VTK's edge order of the quadratic cells (mid-edge nodes follow the corners).
const Faces kTriEdges = {{0, 1}, {1, 2}, {2, 0}};
const Faces kQuadEdges = {{0, 1}, {1, 2}, {2, 3}, {3, 0}};
const Faces kTetEdges = {{0, 1}, {1, 2}, {2, 0}, {0, 3}, {1, 3}, {2, 3}};
const Faces kHexEdges = {{0, 1}, {1, 2}, {2, 3}, {3, 0}, {4, 5}, {5, 6},
                         {6, 7}, {7, 4}, {0, 4}, {1, 5}, {2, 6}, {3, 7}};
const Faces kWedgeEdges = {{0, 1}, {1, 2}, {2, 0}, {3, 4}, {4, 5}, {5, 3}, {0, 3}, {1, 4}, {2, 5}};
const Faces kPyramidEdges = {{0, 1}, {1, 2}, {2, 3}, {3, 0}, {0, 4}, {1, 4}, {2, 4}, {3, 4}};

P3 scaled(const P3& a, int s) {
    return {a[0] * s, a[1] * s, a[2] * s};
}

P3 mean(const std::vector<P3>& pts, const std::vector<int>& ids) {
    P3 sum{0, 0, 0};
    for (const int id : ids)
        for (int d = 0; d < 3; ++d)
            sum[static_cast<std::size_t>(d)] +=
                pts[static_cast<std::size_t>(id)][static_cast<std::size_t>(d)];
    const int n = static_cast<int>(ids.size());
    return {sum[0] / n, sum[1] / n, sum[2] / n};
}

// Nodes of a quadratic cell: the corners (at scale 2, order 2), then the
// midpoints of `edges`, then the centres of `centres` (face or body).
std::vector<P3> quadratic_nodes(const std::vector<P3>& corners, const Faces& edges,
                                const Faces& centres = {}) {
    std::vector<P3> pts;
    for (const P3& c : corners)
        pts.push_back(scaled(c, 2));
    const std::vector<P3> base = pts;
    for (const auto& e : edges)
        pts.push_back(mean(base, e));
    for (const auto& f : centres)
        pts.push_back(mean(base, f));
    return pts;
}

// VTK's Lagrange quadrilateral: the index of lattice point (i, j), order p.
int lagrange_quad_index(int i, int j, int p) {
    const bool ib = i == 0 || i == p, jb = j == 0 || j == p;
    if (ib && jb) return i ? (j ? 2 : 1) : (j ? 3 : 0);
    const int offset = 4;
    if (ib + jb == 1) {
        if (!ib) return (i - 1) + (j ? 2 * (p - 1) : 0) + offset;
        return (j - 1) + (i ? p - 1 : 3 * (p - 1)) + offset;
    }
    return offset + 4 * (p - 1) + (i - 1) + (p - 1) * (j - 1);
}

// VTK's Lagrange triangle: corners, the edges' inner nodes (0-1, 1-2, 2-0),
// then the inner triangle of order p - 3 in the same order, recursively.
// Positions in lattice units (i along 0-1, j along 0-2).
void lagrange_triangle_points(int p, int i0, int j0, std::vector<P3>& out) {
    if (p < 0) return;
    if (p == 0) {
        out.push_back({i0, j0, 0});
        return;
    }
    out.push_back({i0, j0, 0});
    out.push_back({i0 + p, j0, 0});
    out.push_back({i0, j0 + p, 0});
    for (int t = 1; t < p; ++t)
        out.push_back({i0 + t, j0, 0});
    for (int t = 1; t < p; ++t)
        out.push_back({i0 + p - t, j0 + t, 0});
    for (int t = 1; t < p; ++t)
        out.push_back({i0, j0 + p - t, 0});
    lagrange_triangle_points(p - 3, i0 + 1, j0 + 1, out);
}

// Order p from a node count n = f(p), or 0 when none fits.
template <class F> int order_from_count(std::int64_t n, F f) {
    for (int p = 1; p <= 99; ++p) {
        const std::int64_t c = f(p);
        if (c == n) return p;
        if (c > n) break;
    }
    return 0;
}

// Builds the face templates of a cell whose nodes sit at `pts` (units of
// 1/(2p)); `faces` lists each face's corners (2: a line, 3 or 4: a face).
Shape make_shape(const std::vector<P3>& pts, int p, const Faces& faces, bool volume) {
    Shape s;
    s.volume = volume;
    const auto find = [&](const P3& x) {
        for (std::size_t n = 0; n < pts.size(); ++n)
            if (pts[n] == x) return static_cast<int>(n);
        return -1;
    };
    for (const auto& corners : faces) {
        FaceTemplate f;
        f.order = p;
        f.corners = corners;
        const auto at = [&](int c) {
            return pts[static_cast<std::size_t>(corners[static_cast<std::size_t>(c)])];
        };
        const P3 a = at(0);
        const auto step = [&](const P3& to) {
            P3 d{};
            for (int k = 0; k < 3; ++k)
                d[static_cast<std::size_t>(k)] =
                    (to[static_cast<std::size_t>(k)] - a[static_cast<std::size_t>(k)]) / p;
            return d;
        };
        const P3 du = step(at(1));
        const P3 dv = corners.size() == 4 ? step(at(3)) : corners.size() == 3 ? step(at(2)) : P3{0, 0, 0};
        const auto put = [&](int u, int v, bool may_miss) {
            P3 x{};
            for (std::size_t k = 0; k < 3; ++k)
                x[k] = a[k] + u * du[k] + v * dv[k];
            const int id = find(x);
            if (id < 0 && !may_miss) return false;
            f.nodes.push_back(id);
            return true;
        };
        bool ok = true;
        if (corners.size() == 2) {
            f.family = 1;
            for (int u = 0; u <= p && ok; ++u)
                ok = put(u, 0, false);
        } else if (corners.size() == 3) {
            f.family = 2;
            for (int v = 0; v <= p && ok; ++v)
                for (int u = 0; u <= p - v && ok; ++u)
                    ok = put(u, v, false);
        } else {
            f.family = 3;
            for (int v = 0; v <= p && ok; ++v)
                for (int u = 0; u <= p && ok; ++u)
                    ok = put(u, v, p == 2 && u == 1 && v == 1);
        }
        if (!ok) return Shape{};
        f.has_centre = std::find(f.nodes.begin(), f.nodes.end(), -1) != f.nodes.end();
        s.faces.push_back(std::move(f));
    }
    s.supported = true;
    return s;
}

std::vector<P3> linear_nodes(const std::vector<P3>& corners) {
    return corners;
}

Shape shape_of(int type, std::int64_t n) {
    const auto fixed = [&](std::int64_t count, const std::vector<P3>& pts, int p, const Faces& faces,
                           bool volume) { return n == count ? make_shape(pts, p, faces, volume) : Shape{}; };
    switch (type) {
    case vtk_line:
        return fixed(2, kLine, 1, {{0, 1}}, false);
    case vtk_quadratic_edge:
        return fixed(3, quadratic_nodes(kLine, {{0, 1}}), 2, {{0, 1}}, false);
    case vtk_lagrange_curve: {
        if (n < 2 || n > 100) return {};
        const int p = static_cast<int>(n) - 1;
        std::vector<P3> pts = {{0, 0, 0}, {2 * p, 0, 0}};
        for (int k = 1; k < p; ++k)
            pts.push_back({2 * k, 0, 0});
        return make_shape(pts, p, {{0, 1}}, false);
    }
    case vtk_triangle:
        return fixed(3, kTri, 1, {{0, 1, 2}}, false);
    case vtk_quadratic_triangle:
        return fixed(6, quadratic_nodes(kTri, kTriEdges), 2, {{0, 1, 2}}, false);
    case vtk_lagrange_triangle: {
        const int p = order_from_count(n, [](std::int64_t q) { return (q + 1) * (q + 2) / 2; });
        if (!p) return {};
        std::vector<P3> pts;
        lagrange_triangle_points(p, 0, 0, pts);
        for (P3& x : pts)
            x = scaled(x, 2);
        return make_shape(pts, p, {{0, 1, 2}}, false);
    }
    case vtk_pixel:
        // Pixel nodes run x, then y.
        return fixed(4, {kQuad[0], kQuad[1], kQuad[3], kQuad[2]}, 1, {{0, 1, 3, 2}}, false);
    case vtk_quad:
        return fixed(4, kQuad, 1, {{0, 1, 2, 3}}, false);
    case vtk_quadratic_quad:
        return fixed(8, quadratic_nodes(kQuad, kQuadEdges), 2, {{0, 1, 2, 3}}, false);
    case vtk_biquadratic_quad:
        return fixed(9, quadratic_nodes(kQuad, kQuadEdges, {{0, 1, 2, 3}}), 2, {{0, 1, 2, 3}}, false);
    case vtk_lagrange_quadrilateral: {
        const int p = order_from_count(n, [](std::int64_t q) { return (q + 1) * (q + 1); });
        if (!p) return {};
        std::vector<P3> pts(static_cast<std::size_t>(n));
        for (int j = 0; j <= p; ++j)
            for (int i = 0; i <= p; ++i)
                pts[static_cast<std::size_t>(lagrange_quad_index(i, j, p))] = {2 * i, 2 * j, 0};
        return make_shape(pts, p, {{0, 1, 2, 3}}, false);
    }
    case vtk_tetra:
        return fixed(4, linear_nodes(kTet), 1, kTetFaces, true);
    case vtk_quadratic_tetra:
        return fixed(10, quadratic_nodes(kTet, kTetEdges), 2, kTetFaces, true);
    case vtk_lagrange_tetrahedron:
        if (n == 4) return make_shape(kTet, 1, kTetFaces, true);
        return fixed(10, quadratic_nodes(kTet, kTetEdges), 2, kTetFaces, true);
    case vtk_voxel: {
        // Voxel nodes run x, then y, then z: hexahedron node h is voxel node perm[h].
        const int perm[8] = {0, 1, 3, 2, 4, 5, 7, 6};
        std::vector<P3> pts(8);
        for (int h = 0; h < 8; ++h)
            pts[static_cast<std::size_t>(perm[h])] = kHex[static_cast<std::size_t>(h)];
        Faces faces = kHexFaces;
        for (auto& f : faces)
            for (int& c : f)
                c = perm[c];
        return fixed(8, pts, 1, faces, true);
    }
    case vtk_hexahedron:
        return fixed(8, kHex, 1, kHexFaces, true);
    case vtk_quadratic_hexahedron:
        return fixed(20, quadratic_nodes(kHex, kHexEdges), 2, kHexFaces, true);
    case vtk_triquadratic_hexahedron:
        return fixed(27,
                     quadratic_nodes(kHex, kHexEdges,
                                     {{0, 3, 7, 4},
                                      {1, 2, 6, 5},
                                      {0, 1, 5, 4},
                                      {3, 2, 6, 7},
                                      {0, 1, 2, 3},
                                      {4, 5, 6, 7},
                                      {0, 1, 2, 3, 4, 5, 6, 7}}),
                     2, kHexFaces, true);
    case vtk_lagrange_hexahedron: {
        const int p = order_from_count(n, [](std::int64_t q) { return (q + 1) * (q + 1) * (q + 1); });
        if (!p) return {};
        std::vector<P3> pts(static_cast<std::size_t>(n));
        for (int k = 0; k <= p; ++k)
            for (int j = 0; j <= p; ++j)
                for (int i = 0; i <= p; ++i)
                    pts[static_cast<std::size_t>(lagrange_hex_index(i, j, k, p))] = {2 * i, 2 * j, 2 * k};
        return make_shape(pts, p, kHexFaces, true);
    }
    case vtk_wedge:
        return fixed(6, kWedge, 1, kWedgeFaces, true);
    case vtk_quadratic_wedge:
        return fixed(15, quadratic_nodes(kWedge, kWedgeEdges), 2, kWedgeFaces, true);
    case vtk_lagrange_wedge:
        if (n == 6) return make_shape(kWedge, 1, kWedgeFaces, true);
        return fixed(18, quadratic_nodes(kWedge, kWedgeEdges, {{0, 1, 4, 3}, {1, 2, 5, 4}, {2, 0, 3, 5}}), 2,
                     kWedgeFaces, true);
    case vtk_pyramid:
        return fixed(5, kPyramid, 1, kPyramidFaces, true);
    case vtk_quadratic_pyramid:
        return fixed(13, quadratic_nodes(kPyramid, kPyramidEdges), 2, kPyramidFaces, true);
    case vtk_lagrange_pyramid:
        return fixed(5, kPyramid, 1, kPyramidFaces, true);
    default:
        return {};
    }
}

const char* type_name(int type) {
    switch (type) {
    case vtk_vertex:
        return "vertex";
    case vtk_poly_vertex:
        return "poly-vertex";
    case vtk_line:
        return "line";
    case vtk_poly_line:
        return "poly-line";
    case vtk_triangle:
        return "triangle";
    case vtk_triangle_strip:
        return "triangle strip";
    case vtk_polygon:
        return "polygon";
    case vtk_pixel:
        return "pixel";
    case vtk_quad:
        return "quad";
    case vtk_tetra:
        return "tetra";
    case vtk_voxel:
        return "voxel";
    case vtk_hexahedron:
        return "hexahedron";
    case vtk_wedge:
        return "wedge";
    case vtk_pyramid:
        return "pyramid";
    case vtk_quadratic_edge:
        return "quadratic edge";
    case vtk_quadratic_triangle:
        return "quadratic triangle";
    case vtk_quadratic_quad:
        return "quadratic quad";
    case vtk_quadratic_tetra:
        return "quadratic tetra";
    case vtk_quadratic_hexahedron:
        return "quadratic hexahedron";
    case vtk_quadratic_wedge:
        return "quadratic wedge";
    case vtk_quadratic_pyramid:
        return "quadratic pyramid";
    case vtk_biquadratic_quad:
        return "biquadratic quad";
    case vtk_triquadratic_hexahedron:
        return "triquadratic hexahedron";
    case vtk_lagrange_curve:
        return "Lagrange curve";
    case vtk_lagrange_triangle:
        return "Lagrange triangle";
    case vtk_lagrange_quadrilateral:
        return "Lagrange quadrilateral";
    case vtk_lagrange_tetrahedron:
        return "Lagrange tetrahedron";
    case vtk_lagrange_hexahedron:
        return "Lagrange hexahedron";
    case vtk_lagrange_wedge:
        return "Lagrange wedge";
    case vtk_lagrange_pyramid:
        return "Lagrange pyramid";
    default:
        return nullptr;
    }
}

std::string type_text(int type) {
    const char* t = type_name(type);
    return t ? std::string(t) + " (type " + std::to_string(type) + ")" : "type " + std::to_string(type);
}

// One element of the model before numbering: its code, its cell and its
// nodes (0-based; indices from the point count up are centre nodes).
// A centre node made for a serendipity face: -1/4 of each corner plus 1/2 of
// each mid-edge node, the serendipity shape functions at the face centre.
struct CentreNode {
    std::array<std::int64_t, 4> corners;
    std::array<std::int64_t, 4> mids;
};

std::string number_text(double v) {
    char buf[32];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, r.ptr);
}

} // namespace

std::string step_suffix(std::size_t step, const std::optional<double>& time) {
    std::string suffix = " - passo " + std::to_string(step);
    if (time) suffix += " (t = " + number_text(*time) + ")";
    return suffix;
}

std::optional<StepOfName> step_of_name(const std::string& name) {
    static constexpr std::string_view kMark = " - passo ";
    const std::size_t at = name.rfind(kMark);
    if (at == std::string::npos || at == 0) return std::nullopt;
    const char* p = name.data() + at + kMark.size();
    const char* end = name.data() + name.size();
    StepOfName out;
    const auto n = std::from_chars(p, end, out.step);
    if (n.ec != std::errc() || out.step < 1) return std::nullopt;
    static constexpr std::string_view kTime = " (t = ";
    if (n.ptr != end) {
        const std::string_view rest(n.ptr, static_cast<std::size_t>(end - n.ptr));
        if (rest.substr(0, kTime.size()) != kTime || rest.back() != ')') return std::nullopt;
        double t = 0;
        const auto r = std::from_chars(n.ptr + kTime.size(), end - 1, t);
        if (r.ec != std::errc() || r.ptr != end - 1) return std::nullopt;
        out.time = t;
    }
    // Only the exact text build_model() writes (no leading zeros, "+", ...).
    if (name.compare(at, std::string::npos, step_suffix(out.step, out.time)) != 0) return std::nullopt;
    out.base = name.substr(0, at);
    return out;
}

namespace {

bool is_displacement_name(const std::string& name) {
    if (name == "U" || name == "u" || name == "D") return true;
    std::string low(name);
    for (char& c : low)
        c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return low.find("disp") != std::string::npos || low.find("deslocamento") != std::string::npos;
}

// One result list: which field of which step, and what of it.
struct ListSpec {
    std::size_t step = 0;
    std::size_t field = 0;
    enum Kind { component, tensor_component, magnitude, von_mises } kind = component;
    int comp = 0;
    std::string name;
};

std::vector<std::string> component_labels(const ImportField& f, bool tensor) {
    const int c = f.components;
    if (static_cast<int>(f.component_names.size()) == c && (c != 9 || !tensor)) return f.component_names;
    if (c == 9 && tensor) {
        if (f.component_names.size() == 9) {
            const auto& n = f.component_names;
            return {n[0], n[4], n[8], n[1], n[5], n[2]};
        }
        return {"XX", "YY", "ZZ", "XY", "YZ", "XZ"};
    }
    switch (c) {
    case 2:
        return {"X", "Y"};
    case 3:
        return {"X", "Y", "Z"};
    case 4:
        return {"X", "Y", "Z", "W"};
    case 6:
        if (tensor) return {"XX", "YY", "ZZ", "XY", "YZ", "XZ"};
        [[fallthrough]];
    default: {
        std::vector<std::string> out;
        for (int k = 1; k <= c; ++k)
            out.push_back(std::to_string(k));
        return out;
    }
    }
}

// The six symmetric components XX YY ZZ XY YZ XZ of a row of 6 or 9 values
// (a full tensor is row by row; its off-diagonal pairs are averaged).
std::array<double, 6> symmetric(const double* v, int c) {
    if (c == 6) return {v[0], v[1], v[2], v[3], v[4], v[5]};
    return {v[0], v[4], v[8], 0.5 * (v[1] + v[3]), 0.5 * (v[5] + v[7]), 0.5 * (v[2] + v[6])};
}

double von_mises_of(const std::array<double, 6>& s) {
    const double a = s[0] - s[1], b = s[1] - s[2], c = s[2] - s[0];
    return std::sqrt(0.5 * (a * a + b * b + c * c) + 3.0 * (s[3] * s[3] + s[4] * s[4] + s[5] * s[5]));
}

// Value ranges of consecutive rows, kept as finish_model() keeps them over
// all rows: a running minimum and maximum in row order, where of equal
// values (0 and -0) the first one stays. A block starts empty (+inf, -inf),
// so merging blocks in row order with the same strict comparisons gives
// what one pass over all rows gives.
struct BlockRanges {
    double maxscale = 0;                      // largest |entry 1..6| of a coord row
    std::vector<std::array<double, 2>> lists; // per list (entry 0 unused)
    std::vector<std::int64_t> missing;        // per list: values read as NaN (no value)
    bool any = false;                         // a row was added

    void start(std::size_t cols) {
        constexpr double inf = std::numeric_limits<double>::infinity();
        lists.assign(cols, {inf, -inf});
        missing.assign(cols, 0);
    }
    // `first_row`: the model's first row, which sets the ranges outright as
    // a pass that starts from it would. A NaN (no value) is left out of
    // every range, by the comparisons below.
    void add(const double* crow, const double* lrow, std::size_t cols, bool first_row = false) {
        for (int j = 1; j <= 6; ++j)
            if (std::fabs(crow[j]) > maxscale) maxscale = std::fabs(crow[j]);
        any = true;
        if (first_row) {
            for (std::size_t k = 1; k < cols; ++k)
                if (!std::isnan(lrow[k])) lists[k] = {lrow[k], lrow[k]};
            return;
        }
        for (std::size_t k = 1; k < cols; ++k) {
            const double v = lrow[k];
            auto& r = lists[k];
            if (v < r[0]) r[0] = v;
            if (v > r[1]) r[1] = v;
        }
    }
    void merge(const BlockRanges& b) {
        if (!b.any) return;
        if (b.maxscale > maxscale) maxscale = b.maxscale;
        for (std::size_t k = 1; k < missing.size() && k < b.missing.size(); ++k)
            missing[k] += b.missing[k];
        if (!any) {
            lists = b.lists;
            any = true;
            return;
        }
        for (std::size_t k = 1; k < lists.size(); ++k) {
            if (b.lists[k][0] < lists[k][0]) lists[k][0] = b.lists[k][0];
            if (b.lists[k][1] > lists[k][1]) lists[k][1] = b.lists[k][1];
        }
    }
};

// Bytes held by the arrays of the hand-over.
std::uint64_t import_bytes(const ImportData& d) {
    const ImportMesh& m = d.mesh;
    std::uint64_t n = (m.points.size() + m.cell_offsets.size() + m.cell_nodes.size() + m.point_labels.size() +
                       m.cell_labels.size()) *
                          8 +
                      m.cell_types.size();
    for (const ImportStep& s : d.steps)
        for (const ImportField& f : s.fields)
            n += f.values.size() * sizeof(double);
    return n;
}

// Entries of the model's connectivity, at most: a code and the nodes of each
// cell.
std::uint64_t conec_count_estimate(const ImportMesh& m) {
    return m.cell_nodes.size() + m.cell_types.size();
}

[[noreturn]] void fail(const std::string& name, const std::string& what) {
    throw ReadError(name + ": " + what);
}

constexpr std::uintptr_t kPage = 4096;

// Hands the whole pages inside [data, data + bytes) back to the system. The
// bytes there read as zero afterwards: only for parts of an array that will
// never be read again and is freed soon (the allocator's own bookkeeping
// lies outside the array, or is written before it is read).
void release_pages(const void* data, std::size_t bytes) {
    if (bytes < 64 * kPage) return;
    const std::uintptr_t begin = (reinterpret_cast<std::uintptr_t>(data) + kPage - 1) & ~(kPage - 1);
    const std::uintptr_t end = (reinterpret_cast<std::uintptr_t>(data) + bytes) & ~(kPage - 1);
    if (end > begin) ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_DONTNEED);
}

constexpr std::int64_t kRowBlock = 1 << 16;
std::int64_t row_blocks(std::int64_t count) {
    return (count + kRowBlock - 1) / kRowBlock;
}

// Runs fn(first, last) over blocks of kRowBlock rows of 0..count-1 on up to
// `threads` threads (0: the reading threads' default); each block is done by
// one thread, so fn may write its rows without locks. What fn throws on any
// thread comes back here (the first of them).
template <class Fn> void for_row_blocks(std::int64_t count, int threads, Fn fn) {
    if (threads <= 0) threads = default_reader_threads();
    input::run_items(threads, static_cast<std::size_t>(row_blocks(count)), [&](std::size_t b) {
        const auto first = static_cast<std::int64_t>(b) * kRowBlock;
        fn(first, std::min(count, first + kRowBlock));
    });
}

// ---- Fields read on demand ----
// What their lists need of the mesh once the hand-over is gone: the centre
// nodes, and the cells that average cell data onto the points. Each list
// is made with the arithmetic, in the order, of the rows build_model fills
// for the fields it holds, so that a list read later is bit for bit the
// one a read of every value at once gives.
struct LazyMesh {
    std::int64_t npoint = 0;
    std::int64_t nnode = 0;
    std::vector<CentreNode> centres;
    // The cells that count (in cell order): their row in a cell field, and
    // their nodes; and per point, how many of them use it.
    std::int64_t ncell = 0;
    std::vector<std::int64_t> cell_row;
    std::vector<std::int64_t> cell_start;
    std::vector<std::int32_t> cell_nodes;
    std::vector<std::int32_t> cells_at;
};

struct LazyField {
    std::function<void(ZeroedVector<double>&)> load;
    std::function<bool(std::int64_t, std::span<double>)> load_row;
    std::string name;
    int components = 1;
    bool on_cells = false;
    std::vector<std::uint8_t> cells_given;
};

struct LazyList {
    int field = -1; // into the lazy fields; -1: the list is resident
    ListSpec::Kind kind = ListSpec::component;
    int comp = 0;
};

ZeroedVector<double> average_onto_points(const LazyMesh& lm, const ZeroedVector<double>& raw, std::int64_t c,
                                         const std::vector<std::uint8_t>& cells_given);

// The field's values at the points, `components` a row: as loaded, or
// averaged from its cells as build_model averages resident cell data.
ZeroedVector<double> nodal_values(const LazyMesh& lm, const LazyField& f, const std::string& name) {
    ZeroedVector<double> raw;
    f.load(raw);
    const std::int64_t c = f.components;
    const std::int64_t rows = f.on_cells ? lm.ncell : lm.npoint;
    if (static_cast<std::int64_t>(raw.size()) != rows * c)
        fail(name, "field " + f.name + " has " + std::to_string(raw.size()) + " values; " +
                       std::to_string(rows * c) + " expected");
    if (!f.on_cells) return raw;
    return average_onto_points(lm, raw, c, f.cells_given);
}

// Cell values (`c` a cell) averaged onto the points, over the cells that
// use each point; a field given for some cells only (`cells_given` 1 for
// those) over those. A point with none reads 0.
ZeroedVector<double> average_onto_points(const LazyMesh& lm, const ZeroedVector<double>& raw, std::int64_t c,
                                         const std::vector<std::uint8_t>& cells_given) {
    const bool partial = static_cast<std::int64_t>(cells_given.size()) == lm.ncell;
    const auto given = [&](std::int64_t e) {
        return !partial || cells_given[static_cast<std::size_t>(e)] != 0;
    };
    std::vector<std::int32_t> own_count;
    if (partial) {
        own_count.assign(static_cast<std::size_t>(lm.npoint), 0);
        for (std::size_t q = 0; q < lm.cell_row.size(); ++q)
            if (given(lm.cell_row[q]))
                for (auto k = lm.cell_start[q]; k < lm.cell_start[q + 1]; ++k)
                    ++own_count[static_cast<std::size_t>(lm.cell_nodes[static_cast<std::size_t>(k)])];
    }
    const std::vector<std::int32_t>& count = partial ? own_count : lm.cells_at;
    ZeroedVector<double> avg(static_cast<std::size_t>(lm.npoint * c));
    for (std::size_t q = 0; q < lm.cell_row.size(); ++q) {
        const std::int64_t e = lm.cell_row[q];
        if (!given(e)) continue;
        for (auto k = lm.cell_start[q]; k < lm.cell_start[q + 1]; ++k) {
            const std::int64_t i = lm.cell_nodes[static_cast<std::size_t>(k)];
            for (std::int64_t a = 0; a < c; ++a)
                avg[static_cast<std::size_t>(i * c + a)] += raw[static_cast<std::size_t>(e * c + a)];
        }
    }
    for (std::int64_t i = 0; i < lm.npoint; ++i)
        if (const auto n = count[static_cast<std::size_t>(i)])
            for (std::int64_t a = 0; a < c; ++a)
                avg[static_cast<std::size_t>(i * c + a)] /= n;
    return avg;
}

// A list's value from one row of its field's values; not finite: NaN (no value).
double list_value(const double* row, int comps, ListSpec::Kind kind, int comp) {
    double x = 0;
    if (kind == ListSpec::magnitude)
        x = std::sqrt(row[0] * row[0] + row[1] * row[1] + row[2] * row[2]);
    else if (kind == ListSpec::von_mises)
        x = von_mises_of(symmetric(row, comps));
    else if (kind == ListSpec::tensor_component)
        x = symmetric(row, comps)[static_cast<std::size_t>(comp)];
    else
        x = row[comp];
    return std::isfinite(x) ? x : std::numeric_limits<double>::quiet_NaN();
}

// Interpolated at a serendipity face's centre from point values value(i).
template <class Value> double at_centre(const CentreNode& cn, Value value) {
    double x = 0;
    for (int t = 0; t < 4; ++t)
        x += -0.25 * value(cn.corners[static_cast<std::size_t>(t)]) +
             0.5 * value(cn.mids[static_cast<std::size_t>(t)]);
    return x;
}

// Calls put(node, value) for nodes 1..nnode in order with list `l`'s value
// made from the points' field values `nodal`. At a centre node a component
// is interpolated, and a magnitude or von Mises comes from the node's
// interpolated components (interpolated itself, it can go negative).
template <class Put>
void lazy_list_values(const LazyMesh& lm, const double* nodal, int comps, const LazyList& l, Put put) {
    for (std::int64_t i = 0; i < lm.npoint; ++i)
        put(i + 1, list_value(nodal + i * comps, comps, l.kind, l.comp));
    const auto part = [&](ListSpec::Kind kind, int comp) {
        return [=](std::int64_t i) { return list_value(nodal + i * comps, comps, kind, comp); };
    };
    for (std::size_t q = 0; q < lm.centres.size(); ++q) {
        const CentreNode& cn = lm.centres[q];
        double x = 0;
        if (l.kind == ListSpec::magnitude) {
            const double a = at_centre(cn, part(ListSpec::component, 0)),
                         b = at_centre(cn, part(ListSpec::component, 1)),
                         c = at_centre(cn, part(ListSpec::component, 2));
            x = std::sqrt(a * a + b * b + c * c);
        } else if (l.kind == ListSpec::von_mises) {
            std::array<double, 6> t{};
            for (int k = 0; k < 6; ++k)
                t[static_cast<std::size_t>(k)] = at_centre(cn, part(ListSpec::tensor_component, k));
            x = von_mises_of(t);
        } else {
            x = at_centre(cn, part(l.kind, l.comp));
        }
        put(lm.npoint + static_cast<std::int64_t>(q) + 1, x);
    }
}

// A list's running range over nodes 1..nnode as finish_model() keeps it,
// NaN left out; and how many points have no value.
struct LazyRange {
    std::array<double, 2> range{std::numeric_limits<double>::infinity(),
                                -std::numeric_limits<double>::infinity()};
    std::int64_t missing = 0;
    std::int64_t npoint = 0;
    void operator()(std::int64_t node, double v) {
        if (std::isnan(v)) {
            if (node <= npoint) ++missing;
            return;
        }
        if (node == 1) {
            range = {v, v};
            return;
        }
        if (v < range[0]) range[0] = v;
        if (v > range[1]) range[1] = v;
    }
};

// The store's source for the lists of fields read on demand.
class ImportedLists final : public ListSource {
  public:
    ImportedLists(std::string name, std::shared_ptr<const LazyMesh> mesh, std::vector<LazyField> fields,
                  std::vector<LazyList> lists, std::vector<int> displacements)
        : name_(std::move(name)), mesh_(std::move(mesh)), fields_(std::move(fields)),
          lists_(std::move(lists)), displacements_(std::move(displacements)) {}

    void load_list(int k, std::span<double> values, std::span<double>) override {
        const LazyList& l = list(k);
        const LazyField& f = fields_[static_cast<std::size_t>(l.field)];
        const ZeroedVector<double> nodal = nodal_values(*mesh_, f, name_);
        lazy_list_values(*mesh_, nodal.data(), f.components, l,
                         [&](std::int64_t node, double v) { values[static_cast<std::size_t>(node)] = v; });
    }

    void load_displacement(int d, std::span<double> xyz) override {
        if (d < 1 || static_cast<std::size_t>(d) >= displacements_.size() ||
            displacements_[static_cast<std::size_t>(d)] < 0)
            throw std::logic_error("no such displacement field");
        const LazyField& f = fields_[static_cast<std::size_t>(displacements_[static_cast<std::size_t>(d)])];
        const ZeroedVector<double> nodal = nodal_values(*mesh_, f, name_);
        // A displacement without a value leaves the node in place.
        for (std::int64_t i = 0; i < mesh_->npoint; ++i)
            for (std::int64_t a = 0; a < 3; ++a) {
                const double v = nodal[static_cast<std::size_t>(3 * i + a)];
                xyz[static_cast<std::size_t>(3 * (i + 1) + a)] = std::isfinite(v) ? v : 0.0;
            }
        for (std::size_t q = 0; q < mesh_->centres.size(); ++q) {
            const auto row = static_cast<std::size_t>(mesh_->npoint) + q + 1;
            for (std::size_t a = 0; a < 3; ++a)
                xyz[3 * row + a] = at_centre(mesh_->centres[q], [&](std::int64_t i) {
                    return xyz[3 * (static_cast<std::size_t>(i) + 1) + a];
                });
        }
    }

    std::optional<double> value_at(int k, std::int32_t node) override {
        const LazyList& l = list(k);
        const LazyField& f = fields_[static_cast<std::size_t>(l.field)];
        if (f.on_cells || !f.load_row || node < 1 || node > mesh_->npoint) return std::nullopt;
        std::vector<double> row(static_cast<std::size_t>(f.components), 0.0);
        if (!f.load_row(node - 1, row)) return std::nullopt;
        return list_value(row.data(), f.components, l.kind, l.comp);
    }

  private:
    const LazyList& list(int k) const {
        if (k < 1 || static_cast<std::size_t>(k) >= lists_.size() ||
            lists_[static_cast<std::size_t>(k)].field < 0)
            throw std::logic_error("list " + std::to_string(k) + " is not read on demand");
        return lists_[static_cast<std::size_t>(k)];
    }

    std::string name_;
    std::shared_ptr<const LazyMesh> mesh_;
    std::vector<LazyField> fields_;
    std::vector<LazyList> lists_;    // by list number
    std::vector<int> displacements_; // by shared displacement number: a lazy field, or -1
};

} // namespace

std::vector<int> vtk_node_order(int family, int order) {
    if (order < 1 || order > 99 || family < 1 || family > 3) return {};
    const int type = order == 1 ? (family == 1   ? vtk_line
                                   : family == 2 ? vtk_triangle
                                                 : vtk_quad)
                                : (family == 1   ? vtk_lagrange_curve
                                   : family == 2 ? vtk_lagrange_triangle
                                                 : vtk_lagrange_quadrilateral);
    const Shape s = shape_of(type, element_node_count(family, order));
    if (!s.supported || s.faces.size() != 1) return {};
    return s.faces[0].nodes;
}

namespace {

// The model's type of a volume cell of VTK `type` with n nodes, and where
// its nodes come from: model node k is VTK node perm[k] (a voxel's run x,
// then y, then z); none for what is no volume.
struct VolumeOf {
    VolumeType type = VolumeType::none;
    bool voxel = false;
};
VolumeOf volume_of(int type, std::int64_t n) {
    switch (type) {
    case vtk_tetra:
    case vtk_quadratic_tetra:
    case vtk_lagrange_tetrahedron:
        return {n == 4 ? VolumeType::tetra4 : VolumeType::tetra10};
    case vtk_voxel:
        return {VolumeType::hexa8, true};
    case vtk_hexahedron:
        return {VolumeType::hexa8};
    case vtk_quadratic_hexahedron:
        return {VolumeType::hexa20};
    case vtk_triquadratic_hexahedron:
    case vtk_lagrange_hexahedron:
        return {n == 8 ? VolumeType::hexa8 : VolumeType::hexa_lagrange};
    case vtk_wedge:
    case vtk_quadratic_wedge:
    case vtk_lagrange_wedge:
        return {n == 6 ? VolumeType::wedge6 : n == 15 ? VolumeType::wedge15 : VolumeType::wedge18};
    case vtk_pyramid:
    case vtk_quadratic_pyramid:
    case vtk_lagrange_pyramid:
        return {n == 5 ? VolumeType::pyramid5 : VolumeType::pyramid13};
    default:
        return {};
    }
}

} // namespace

ReadResult build_model(ImportData&& data, const std::string& name_in, int threads, std::uint64_t memory_limit,
                       bool defer_ranges) try {
    const std::string name = base_name(name_in);
    ImportMesh& mesh = data.mesh;
    ReadResult out;
    out.warnings = std::move(data.warnings);
    if (threads <= 0) { // an ORVANEL_THREADS that is no number is said first, as for native files
        ReaderOptions resolve;
        if (ThreadSetting t = resolve.resolved_threads(); !t.warning.empty())
            out.warnings.insert(out.warnings.begin(), std::move(t.warning));
    }
    out.bytes_fetched = data.bytes_fetched;
    ResultModel& m = out.model;
    m.namefile = name_in;
    // Fields the importer indexed stay in the file: their lists are read
    // through the store.
    const auto on_demand = [](const ImportField& f) { return f.load && f.values.empty(); };

    // Check the hand-over before trusting any index in it.
    if (mesh.points.size() % 3 != 0) fail(name, "the point coordinates are not a multiple of three");
    const std::int64_t npoint = static_cast<std::int64_t>(mesh.point_count());
    const std::int64_t ncell = static_cast<std::int64_t>(mesh.cell_count());
    if (!mesh.point_labels.empty() && static_cast<std::int64_t>(mesh.point_labels.size()) != npoint)
        fail(name, "point labels do not match the points");
    if (!mesh.cell_labels.empty() && static_cast<std::int64_t>(mesh.cell_labels.size()) != ncell)
        fail(name, "cell labels do not match the cells");
    // Element blocks: more than the model's index can tell are dropped, as
    // are per-cell indices that do not fit the cells.
    if (!mesh.cell_blocks.empty() && static_cast<std::int64_t>(mesh.cell_blocks.size()) != ncell)
        fail(name, "cell blocks do not match the cells");
    if (mesh.block_names.size() >= ResultModel::kNoBlock) {
        out.warnings.push_back(name + ": " + std::to_string(mesh.block_names.size()) +
                               " element blocks are more than the block filter can list; it lists none.");
        mesh.block_names.clear();
        mesh.cell_blocks.clear();
    }
    for (std::uint16_t& b : mesh.cell_blocks)
        if (b >= mesh.block_names.size()) b = ResultModel::kNoBlock;
    if (ncell == 0 && mesh.cell_offsets.empty())
        mesh.cell_offsets.push_back(0); // nodes only: no element block
    if (static_cast<std::int64_t>(mesh.cell_offsets.size()) != ncell + 1 || mesh.cell_offsets[0] != 0)
        fail(name, "the cell offsets do not match the cells");
    for (std::int64_t c = 0; c < ncell; ++c) {
        const auto a = mesh.cell_offsets[static_cast<std::size_t>(c)],
                   b = mesh.cell_offsets[static_cast<std::size_t>(c) + 1];
        if (b < a || b > static_cast<std::int64_t>(mesh.cell_nodes.size()))
            fail(name, "the node list of cell " + std::to_string(c + 1) + " runs outside the connectivity");
    }
    for (std::size_t k = 0; k < mesh.cell_nodes.size(); ++k) {
        const std::int64_t v = mesh.cell_nodes[k];
        if (v < 0 || v >= npoint)
            fail(name, "a cell refers to point " + std::to_string(v) + ", but the points are numbered 0 to " +
                           std::to_string(npoint - 1));
    }

    // Shapes, one per (type, node count) met.
    std::map<std::pair<int, std::int64_t>, Shape> shapes;
    auto last_shape = shapes.end();
    std::vector<const Shape*> cell_shape(static_cast<std::size_t>(ncell), nullptr);
    std::int64_t vertices = 0;
    std::map<int, std::int64_t> unsupported; // type -> cells
    const auto cell_size = [&](std::int64_t c) {
        return mesh.cell_offsets[static_cast<std::size_t>(c) + 1] -
               mesh.cell_offsets[static_cast<std::size_t>(c)];
    };
    const auto cell_node = [&](std::int64_t c, std::int64_t k) {
        return mesh.cell_nodes[static_cast<std::size_t>(mesh.cell_offsets[static_cast<std::size_t>(c)] + k)];
    };
    std::vector<char> contributes(static_cast<std::size_t>(ncell), 0);
    for (std::int64_t c = 0; c < ncell; ++c) {
        const int type = mesh.cell_types[static_cast<std::size_t>(c)];
        const std::int64_t n = cell_size(c);
        if (type == 0) continue; // VTK's empty cell
        if (type == vtk_vertex || type == vtk_poly_vertex) {
            ++vertices;
            continue;
        }
        if (type == vtk_poly_line || type == vtk_triangle_strip || type == vtk_polygon) {
            const std::int64_t least = type == vtk_poly_line ? 2 : 3;
            if (n < least)
                fail(name, "cell " + std::to_string(c + 1) + ", a " + type_text(type) + ", has " +
                               std::to_string(n) + " nodes; at least " + std::to_string(least) + " expected");
            contributes[static_cast<std::size_t>(c)] = 1;
            continue;
        }
        // Meshes are mostly of one kind of cell: the last one looked up first.
        if (last_shape == shapes.end() || last_shape->first != std::pair{type, n}) {
            last_shape = shapes.find({type, n});
            if (last_shape == shapes.end())
                last_shape = shapes.emplace(std::make_pair(type, n), shape_of(type, n)).first;
        }
        const auto it = last_shape;
        if (!it->second.supported) {
            ++unsupported[type];
            continue;
        }
        cell_shape[static_cast<std::size_t>(c)] = &it->second;
        contributes[static_cast<std::size_t>(c)] = 1;
    }

    // Identical cells (same type, same nodes in any order; overlapping
    // pieces of a partitioned file give them) are one cell: two volume
    // copies would cancel every face they share. Later copies are dropped.
    if (ncell < std::numeric_limits<std::int32_t>::max()) {
        std::vector<std::int64_t> sorted_a, sorted_b;
        const auto sorted_nodes = [&](std::int64_t c, std::vector<std::int64_t>& out) {
            const auto* first = mesh.cell_nodes.data() + mesh.cell_offsets[static_cast<std::size_t>(c)];
            out.assign(first, first + cell_size(c));
            std::sort(out.begin(), out.end());
        };
        // A hash that does not depend on the nodes' order (a sum of mixed
        // node numbers); only cells of equal hashes are compared.
        const auto mix = [](std::uint64_t x) {
            x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ULL;
            x = (x ^ (x >> 27)) * 0x94d049bb133111ebULL;
            return x ^ (x >> 31);
        };
        std::vector<std::uint64_t> hash(static_cast<std::size_t>(ncell), 0);
        std::size_t cap = 16;
        while (cap < 2 * static_cast<std::size_t>(ncell))
            cap *= 2;
        // Open addressing: each slot holds a kept cell (-1: free).
        std::vector<std::int32_t> table(cap, -1);
        std::int64_t repeated = 0;
        // In batches: the hashes first, their slots fetched ahead, so that
        // the probes below do not wait for memory one by one.
        constexpr std::int64_t kBatch = 32;
        for (std::int64_t c0 = 0; c0 < ncell; c0 += kBatch) {
            const std::int64_t c1 = std::min(ncell, c0 + kBatch);
            for (std::int64_t c = c0; c < c1; ++c) {
                if (!contributes[static_cast<std::size_t>(c)]) continue;
                std::uint64_t h = mix(mesh.cell_types[static_cast<std::size_t>(c)]);
                const auto* first = mesh.cell_nodes.data() + mesh.cell_offsets[static_cast<std::size_t>(c)];
                for (std::int64_t k = 0, n = cell_size(c); k < n; ++k)
                    h += mix(static_cast<std::uint64_t>(first[k]) + 0x9e3779b97f4a7c15ULL);
                hash[static_cast<std::size_t>(c)] = h;
                __builtin_prefetch(table.data() + (h & (cap - 1)));
            }
            for (std::int64_t c = c0; c < c1; ++c) {
                if (!contributes[static_cast<std::size_t>(c)]) continue;
                const std::uint64_t h = hash[static_cast<std::size_t>(c)];
                const std::uint8_t type = mesh.cell_types[static_cast<std::size_t>(c)];
                bool same = false;
                std::size_t slot = h & (cap - 1);
                for (; table[slot] >= 0; slot = (slot + 1) & (cap - 1)) {
                    const std::int64_t d = table[slot];
                    if (hash[static_cast<std::size_t>(d)] != h ||
                        mesh.cell_types[static_cast<std::size_t>(d)] != type || cell_size(d) != cell_size(c))
                        continue;
                    sorted_nodes(c, sorted_a);
                    sorted_nodes(d, sorted_b);
                    if (sorted_a == sorted_b) {
                        same = true;
                        break;
                    }
                }
                if (!same) {
                    table[slot] = static_cast<std::int32_t>(c);
                    continue;
                }
                contributes[static_cast<std::size_t>(c)] = 0;
                cell_shape[static_cast<std::size_t>(c)] = nullptr;
                ++repeated;
            }
        }
        if (repeated)
            out.warnings.push_back(name + ": " + std::to_string(repeated) +
                                   (repeated == 1 ? " cell repeats" : " cells repeat") +
                                   " an earlier cell (the same type and nodes) and " +
                                   (repeated == 1 ? "was" : "were") + " counted once.");
    }

    // Exterior faces of the volume cells: candidates in cell and face order,
    // sorted by key, and a key met more than once dropped.
    std::vector<char> keep_face;
    {
        std::size_t candidates = 0;
        for (std::int64_t c = 0; c < ncell; ++c)
            if (const Shape* s = cell_shape[static_cast<std::size_t>(c)]; s && s->volume)
                candidates += s->faces.size();
        // Four sorted corners (-1 when three), then the candidate's number;
        // in 32 bits where they fit (half the memory to fill and sort).
        const auto exterior = [&]<class Int>(Int) {
            using Key = std::array<Int, 5>;
            std::vector<Key> keys;
            keys.reserve(candidates);
            for (std::int64_t c = 0; c < ncell; ++c) {
                const Shape* s = cell_shape[static_cast<std::size_t>(c)];
                if (!s || !s->volume) continue;
                for (const FaceTemplate& f : s->faces) {
                    Key key{-1, -1, -1, -1, static_cast<Int>(keys.size())};
                    for (std::size_t q = 0; q < f.corners.size(); ++q)
                        key[q] = static_cast<Int>(cell_node(c, f.corners[q]));
                    std::sort(key.begin(), key.begin() + static_cast<std::ptrdiff_t>(f.corners.size()));
                    keys.push_back(key);
                }
            }
            keep_face.assign(keys.size(), 1);
            std::sort(keys.begin(), keys.end());
            const auto same = [](const Key& a, const Key& b) {
                return std::equal(a.begin(), a.begin() + 4, b.begin());
            };
            for (std::size_t a = 0; a < keys.size();) {
                std::size_t b = a + 1;
                while (b < keys.size() && same(keys[b], keys[a]))
                    ++b;
                if (b - a > 1)
                    for (std::size_t q = a; q < b; ++q)
                        keep_face[static_cast<std::size_t>(keys[q][4])] = 0;
                a = b;
            }
        };
        constexpr auto kInt32 = static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max());
        if (static_cast<std::uint64_t>(npoint) < kInt32 && candidates < kInt32)
            exterior(std::int32_t{});
        else
            exterior(std::int64_t{});
    }

    // Elements in cell order. visit_elements(visit) calls
    // visit(cell, code, count, node) for each element, node(k) giving its
    // k-th node (0-based; centre nodes numbered from npoint on, in order):
    // once to count, once to write the connectivity in place.
    const auto visit_elements = [&](auto&& visit) {
        std::size_t candidate = 0;
        std::int64_t centres_made = 0; // centre nodes of serendipity faces, returned
        for (std::int64_t c = 0; c < ncell; ++c) {
            if (!contributes[static_cast<std::size_t>(c)]) continue;
            const int type = mesh.cell_types[static_cast<std::size_t>(c)];
            const std::int64_t n = cell_size(c);
            if (type == vtk_poly_line) {
                for (std::int64_t k = 0; k + 1 < n; ++k)
                    visit(c, 101, 2, [&](std::int64_t q) { return cell_node(c, k + q); });
                continue;
            }
            if (type == vtk_triangle_strip) {
                // Triangle k of a strip is (k, k+1, k+2), every other one
                // reversed so that all keep the strip's orientation.
                for (std::int64_t k = 0; k + 2 < n; ++k) {
                    const std::array<std::int64_t, 3> t = k % 2
                                                              ? std::array<std::int64_t, 3>{k + 1, k, k + 2}
                                                              : std::array<std::int64_t, 3>{k, k + 1, k + 2};
                    visit(c, 201, 3,
                          [&](std::int64_t q) { return cell_node(c, t[static_cast<std::size_t>(q)]); });
                }
                continue;
            }
            if (type == vtk_polygon) {
                if (n == 4) {
                    const std::array<std::int64_t, 4> q4{0, 1, 3, 2};
                    visit(c, 301, 4,
                          [&](std::int64_t q) { return cell_node(c, q4[static_cast<std::size_t>(q)]); });
                } else {
                    // A fan from the first node: exact for the convex polygons solvers write.
                    for (std::int64_t k = 1; k + 1 < n; ++k) {
                        const std::array<std::int64_t, 3> t{0, k, k + 1};
                        visit(c, 201, 3,
                              [&](std::int64_t q) { return cell_node(c, t[static_cast<std::size_t>(q)]); });
                    }
                }
                continue;
            }
            const Shape& sh = *cell_shape[static_cast<std::size_t>(c)];
            for (const FaceTemplate& f : sh.faces) {
                if (sh.volume && !keep_face[candidate++]) continue;
                const std::int64_t centre = f.has_centre ? npoint + centres_made++ : -1;
                visit(c, f.family * 100 + f.order, static_cast<std::int64_t>(f.nodes.size()),
                      [&](std::int64_t q) {
                          const int local = f.nodes[static_cast<std::size_t>(q)];
                          return local < 0 ? centre : cell_node(c, local);
                      });
            }
        }
        return centres_made;
    };
    std::int64_t elem_count = 0, conec_count = 1; // row 0: code 0, no nodes
    const std::int64_t centre_count =
        visit_elements([&](std::int64_t, std::int32_t, std::int64_t count, auto&&) {
            ++elem_count;
            conec_count += 1 + count;
        });
    if (vertices)
        out.warnings.push_back(name + ": " + std::to_string(vertices) +
                               " point and vertex cells draw nothing and were skipped.");
    for (const auto& [type, count] : unsupported)
        out.warnings.push_back(name + ": " + std::to_string(count) + " cells of " + type_text(type) +
                               " with a node count this program does not draw were skipped.");

    // Result lists: steps, then fields, then components.
    std::vector<ListSpec> specs;
    std::vector<std::string> skipped = std::move(data.skipped_fields);
    std::vector<std::vector<char>> field_ok(data.steps.size());
    for (std::size_t s = 0; s < data.steps.size(); ++s) {
        const ImportStep& step = data.steps[s];
        field_ok[s].assign(step.fields.size(), 0);
        const std::string suffix = step_suffix(s + 1, step.time);
        for (std::size_t f = 0; f < step.fields.size(); ++f) {
            const ImportField& fd = step.fields[f];
            if (fd.components < 1 || fd.components > 9) {
                skipped.push_back(fd.name);
                continue;
            }
            const std::int64_t rows = fd.on_cells ? ncell : npoint;
            if (!on_demand(fd) && static_cast<std::int64_t>(fd.values.size()) != rows * fd.components)
                fail(name, "field " + fd.name + " has " + std::to_string(fd.values.size()) + " values; " +
                               std::to_string(rows * fd.components) + " expected");
            field_ok[s][f] = 1;
            if (fd.displacement_only) continue;
            // "(média nos nós)" ends the name before the step, after the
            // component, whether build_model averages (cell data) or the
            // file's values were averaged onto the nodes (a name ending so).
            std::string field_name = fd.name;
            const bool averaged = fd.on_cells || field_name.ends_with(kAveraged);
            if (!fd.on_cells && averaged)
                field_name.resize(field_name.size() - std::string_view(kAveraged).size());
            const std::string cell_part = averaged ? kAveraged : "";
            const int c = fd.components;
            const bool tensor = (c == 6 || c == 9) && fd.symmetric_tensor;
            const auto labels = component_labels(fd, tensor);
            const int shown = tensor ? 6 : c;
            for (int k = 0; k < shown; ++k) {
                ListSpec sp{s, f, tensor ? ListSpec::tensor_component : ListSpec::component, k, field_name};
                if (c > 1) sp.name += " " + labels[static_cast<std::size_t>(k)];
                sp.name += cell_part + suffix;
                specs.push_back(std::move(sp));
            }
            if (c == 3)
                specs.push_back(
                    {s, f, ListSpec::magnitude, 0, field_name + " Magnitude" + cell_part + suffix});
            if (tensor)
                specs.push_back(
                    {s, f, ListSpec::von_mises, 0, field_name + " von Mises" + cell_part + suffix});
        }
    }
    if (!skipped.empty()) {
        std::string text = name + ": fields that cannot be shown were skipped:";
        for (std::size_t k = 0; k < skipped.size(); ++k)
            text += (k ? ", " : " ") + skipped[k];
        out.warnings.push_back(text + ".");
    }

    // Sizes.
    const std::int64_t nnode = npoint + centre_count;
    const std::int64_t nelem = elem_count;
    const std::int64_t nlista = static_cast<std::int64_t>(specs.size());
    constexpr std::int64_t kMax = std::numeric_limits<std::int32_t>::max() - 1;
    if (nnode > kMax || nelem > kMax || nlista > kMax / 4)
        fail(name, std::to_string(nnode) + " nodes, " + std::to_string(nelem) + " elements and " +
                       std::to_string(nlista) + " result lists are more than this program can hold");
    {
        // The model's own bytes, before any is allocated, against the one
        // budget: with a limit given, together with the hand-over still held
        // (it is handed back only as the rows fill); without one, against
        // what the system can give now (the hand-over is already taken).
        std::uint64_t volume_bytes = 0; // the volume cells kept beside the faces
        for (std::int64_t c = 0; c < ncell; ++c)
            if (const Shape* sh = cell_shape[static_cast<std::size_t>(c)]; sh && sh->volume)
                volume_bytes += 17 + 4 * static_cast<std::uint64_t>(cell_size(c));
        std::int64_t resident = 0; // lists whose values are kept in memory
        for (const ListSpec& sp : specs)
            resident += on_demand(data.steps[sp.step].fields[sp.field]) ? 0 : 1;
        const std::uint64_t model =
            ResultModel::bytes_needed(nnode, nelem, resident) +
            static_cast<std::uint64_t>(nlista - resident) * (sizeof(std::string) + 16) +
            static_cast<std::uint64_t>(conec_count_estimate(mesh)) * 4 + volume_bytes;
        const std::uint64_t held = import_bytes(data);
        const std::uint64_t need = memory_limit ? model + held : model;
        const std::uint64_t have = memory_limit ? memory_limit : input::machine_memory();
        if (need > have)
            throw ReadError("Not enough memory to read " + name + ": its model needs " + input::mib(need) +
                            "; only " + input::mib(have) + " are available");
    }
    m.nnode = static_cast<std::int32_t>(nnode);
    m.nelem = static_cast<std::int32_t>(nelem);
    m.nlista = static_cast<std::int32_t>(nlista);
    m.maxconec = 1;
    const std::size_t rows = static_cast<std::size_t>(nnode) + 1;
    // Sized, not touched: pages come in as the rows are written below, while
    // the hand-over they are filled from is handed back.
    m.coord_data.resize(rows * m.coord_cols());
    m.reset_lists();
    m.namelista.assign(static_cast<std::size_t>(nlista) + 1, std::string());
    for (std::int64_t k = 1; k <= nlista; ++k)
        m.namelista[static_cast<std::size_t>(k)] = std::move(specs[static_cast<std::size_t>(k) - 1].name);

    // Connectivity, element labels and centre nodes, written in place.
    m.conec_start.resize(static_cast<std::size_t>(nelem) + 2);
    m.conec_data.resize(static_cast<std::size_t>(conec_count));
    m.element_labels.resize(static_cast<std::size_t>(nelem) + 1);
    // Element blocks: each element keeps its cell's block.
    const bool blocks = !mesh.cell_blocks.empty();
    if (blocks) {
        m.block_names = std::move(mesh.block_names);
        m.element_blocks.assign(static_cast<std::size_t>(nelem) + 1, ResultModel::kNoBlock);
    }
    std::vector<CentreNode> centres;
    centres.reserve(static_cast<std::size_t>(centre_count));
    {
        std::int32_t* conec = m.conec_data.data();
        std::int64_t e = 0, at = 1; // after row 0: code 0, no nodes
        visit_elements([&](std::int64_t c, std::int32_t code, std::int64_t count, auto&& node) {
            ++e;
            m.conec_start[static_cast<std::size_t>(e)] = at;
            m.element_labels[static_cast<std::size_t>(e)] =
                mesh.cell_labels.empty() ? c + 1 : mesh.cell_labels[static_cast<std::size_t>(c)];
            if (blocks)
                m.element_blocks[static_cast<std::size_t>(e)] = mesh.cell_blocks[static_cast<std::size_t>(c)];
            conec[at++] = code;
            for (std::int64_t k = 0; k < count; ++k)
                conec[at++] = static_cast<std::int32_t>(node(k) + 1);
            if (code == 302 && node(4) >= npoint) {
                // 3 x 3 lattice: corners at 0 2 8 6, mid-edge nodes at 1 5 7 3.
                centres.push_back(
                    {{node(0), node(2), node(8), node(6)}, {node(1), node(5), node(7), node(3)}});
            }
        });
        m.conec_start[static_cast<std::size_t>(nelem) + 1] = at;
    }
    // The volume cells themselves, in cell order, for sections and probes inside.
    {
        std::vector<std::int32_t> rows;
        std::size_t cells = 0, nodes = 0;
        for (std::int64_t c = 0; c < ncell; ++c)
            if (const Shape* sh = cell_shape[static_cast<std::size_t>(c)]; sh && sh->volume) {
                ++cells;
                nodes += static_cast<std::size_t>(cell_size(c));
            }
        m.volumes.types.reserve(cells);
        m.volumes.labels.reserve(cells);
        m.volumes.starts.reserve(cells ? cells + 1 : 0);
        m.volumes.nodes.reserve(nodes);
        std::pair<int, std::int64_t> last_kind{-1, 0};
        bool last_fits = false;
        for (std::int64_t c = 0; c < ncell; ++c) {
            const Shape* sh = cell_shape[static_cast<std::size_t>(c)];
            if (!sh || !sh->volume) continue;
            const std::int64_t n = cell_size(c);
            const VolumeOf v = volume_of(mesh.cell_types[static_cast<std::size_t>(c)], n);
            if (last_kind != std::pair<int, std::int64_t>{static_cast<int>(v.type), n}) {
                last_kind = {static_cast<int>(v.type), n};
                last_fits = v.type != VolumeType::none && !reference_nodes(v.type, n).empty();
            }
            if (!last_fits) continue;
            rows.resize(static_cast<std::size_t>(n));
            static constexpr int kVoxel[8] = {0, 1, 3, 2, 4, 5, 7, 6};
            for (std::int64_t k = 0; k < n; ++k)
                rows[static_cast<std::size_t>(k)] =
                    static_cast<std::int32_t>(cell_node(c, v.voxel ? kVoxel[k] : k) + 1);
            m.volumes.add(v.type,
                          mesh.cell_labels.empty() ? c + 1 : mesh.cell_labels[static_cast<std::size_t>(c)],
                          rows.data(), n);
        }
    }
    ZeroedVector<std::int64_t>().swap(mesh.cell_labels);

    // Nodes that volume cells use and no element does lie inside the volume.
    std::vector<std::uint8_t> inner;
    for (std::int64_t c = 0; c < ncell; ++c) {
        const Shape* sh = cell_shape[static_cast<std::size_t>(c)];
        if (!sh || !sh->volume) continue;
        if (inner.empty()) inner.assign(static_cast<std::size_t>(npoint) + 1, 0);
        for (std::int64_t k = 0; k < cell_size(c); ++k)
            inner[static_cast<std::size_t>(cell_node(c, k)) + 1] = 1;
    }
    if (!inner.empty())
        for (std::int64_t e = 1; e <= nelem; ++e)
            for (const std::int32_t n : m.conec(static_cast<std::size_t>(e)).subspan(1))
                if (n <= npoint) inner[static_cast<std::size_t>(n)] = 0;
    std::vector<const Shape*>().swap(cell_shape);

    // Node labels: the file's, centre nodes beyond the largest one.
    std::vector<std::int64_t>& node_labels = m.node_labels;
    node_labels.assign(static_cast<std::size_t>(nnode) + 1, 0);
    std::int64_t top = 0;
    for (std::int64_t i = 0; i < npoint; ++i) {
        node_labels[static_cast<std::size_t>(i) + 1] =
            mesh.point_labels.empty() ? i + 1 : mesh.point_labels[static_cast<std::size_t>(i)];
        top = std::max(top, node_labels[static_cast<std::size_t>(i) + 1]);
    }
    for (std::int64_t i = npoint; i < nnode; ++i)
        node_labels[static_cast<std::size_t>(i) + 1] = ++top;
    ZeroedVector<std::int64_t>().swap(mesh.point_labels);

    // What cell data and the fields read on demand keep of the mesh, before
    // the cells go.
    bool any_on_demand = false, any_on_cells = false;
    for (std::size_t s = 0; s < data.steps.size(); ++s)
        for (std::size_t f = 0; f < data.steps[s].fields.size(); ++f)
            if (field_ok[s][f]) {
                any_on_demand = any_on_demand || on_demand(data.steps[s].fields[f]);
                any_on_cells = any_on_cells || data.steps[s].fields[f].on_cells;
            }
    std::shared_ptr<LazyMesh> lazy_mesh;
    if (any_on_demand || any_on_cells) {
        lazy_mesh = std::make_shared<LazyMesh>();
        lazy_mesh->npoint = npoint;
        lazy_mesh->nnode = nnode;
        lazy_mesh->centres = centres;
        lazy_mesh->ncell = ncell;
        if (any_on_cells) {
            lazy_mesh->cell_start.push_back(0);
            lazy_mesh->cells_at.assign(static_cast<std::size_t>(npoint), 0);
            for (std::int64_t e = 0; e < ncell; ++e) {
                if (!contributes[static_cast<std::size_t>(e)]) continue;
                lazy_mesh->cell_row.push_back(e);
                for (std::int64_t k = 0; k < cell_size(e); ++k) {
                    const std::int64_t i = cell_node(e, k);
                    lazy_mesh->cell_nodes.push_back(static_cast<std::int32_t>(i));
                    ++lazy_mesh->cells_at[static_cast<std::size_t>(i)];
                }
                lazy_mesh->cell_start.push_back(static_cast<std::int64_t>(lazy_mesh->cell_nodes.size()));
            }
        }
    }

    // Cell data become nodal: each such field's values are replaced by their
    // average over the cells that share a node; then the cells go.
    for (std::size_t s = 0; s < data.steps.size(); ++s)
        for (std::size_t f = 0; f < data.steps[s].fields.size(); ++f) {
            ImportField& fd = data.steps[s].fields[f];
            if (!field_ok[s][f] || !fd.on_cells || on_demand(fd)) continue;
            fd.values = average_onto_points(*lazy_mesh, fd.values, fd.components, fd.cells_given);
        }
    bool cells_on_demand = false;
    for (std::size_t s = 0; s < data.steps.size(); ++s)
        for (std::size_t f = 0; f < data.steps[s].fields.size(); ++f)
            cells_on_demand = cells_on_demand || (field_ok[s][f] && data.steps[s].fields[f].on_cells &&
                                                  on_demand(data.steps[s].fields[f]));
    if (lazy_mesh && !cells_on_demand) { // the store's source needs no cells
        lazy_mesh->cell_row = {};
        lazy_mesh->cell_start = {};
        lazy_mesh->cell_nodes = {};
        lazy_mesh->cells_at = {};
    }
    std::vector<char>().swap(contributes);
    ZeroedVector<std::int64_t>().swap(mesh.cell_nodes);
    ZeroedVector<std::int64_t>().swap(mesh.cell_offsets);
    ZeroedVector<std::uint8_t>().swap(mesh.cell_types);

    // Where each list's values and displacement come from, and where they go:
    // the lists of a step share one displacement. Fields read on demand give
    // their lists (and displacement) to the store's source instead.
    struct RowSource {
        const double* values = nullptr; // npoint rows of `comps`
        int comps = 1;
        ListSpec::Kind kind = ListSpec::component;
        int comp = 0;
        int list = 0;
        double* out = nullptr; // the list's values in the store
    };
    struct DispSource {
        const double* values = nullptr; // npoint rows of 3
        double* out = nullptr;          // the step's displacement in the store
    };
    std::vector<RowSource> sources;
    std::vector<int> source_of(static_cast<std::size_t>(nlista) + 1, -1); // list -> sources, -1 on demand
    std::vector<DispSource> step_displacements;                           // the resident ones
    std::vector<ZeroedVector<double>*> consumed; // every array the rows are filled from
    std::vector<LazyField> lazy_fields;
    std::vector<LazyList> lazy_lists(static_cast<std::size_t>(nlista) + 1);
    std::vector<int> lazy_displacements{-1}; // by shared displacement number
    consumed.push_back(&mesh.points);
    {
        std::size_t k = 0;
        for (std::size_t s = 0; s < data.steps.size(); ++s) {
            ImportStep& step = data.steps[s];
            std::optional<std::size_t> disp;
            for (std::size_t f = 0; f < step.fields.size() && !disp; ++f) {
                const ImportField& fd = step.fields[f];
                if (field_ok[s][f] && !fd.on_cells && fd.components == 3 && fd.displacement_only) disp = f;
            }
            for (std::size_t f = 0; f < step.fields.size() && !disp; ++f) {
                const ImportField& fd = step.fields[f];
                if (field_ok[s][f] && !fd.on_cells && fd.components == 3 && is_displacement_name(fd.name))
                    disp = f;
            }
            // The step's fields read on demand, numbered among all of them.
            std::vector<int> lazy_of(step.fields.size(), -1);
            for (std::size_t f = 0; f < step.fields.size(); ++f) {
                ImportField& fd = step.fields[f];
                if (!field_ok[s][f] || !on_demand(fd)) continue;
                lazy_of[f] = static_cast<int>(lazy_fields.size());
                lazy_fields.push_back({std::move(fd.load), std::move(fd.load_row), fd.name, fd.components,
                                       fd.on_cells, std::move(fd.cells_given)});
            }
            // A step without lists keeps no displacement.
            if (!(k < specs.size() && specs[k].step == s)) disp.reset();
            int shared = 0;
            if (disp) {
                shared = m.store->add_shared_displacement();
                lazy_displacements.push_back(lazy_of[*disp]);
                if (lazy_of[*disp] < 0)
                    step_displacements.push_back({step.fields[*disp].values.data(),
                                                  m.store->resident_shared_displacement(shared).data()});
            }
            for (std::size_t f = 0; f < step.fields.size(); ++f) {
                if (!field_ok[s][f]) continue;
                ImportField& fd = step.fields[f];
                if (lazy_of[f] < 0) consumed.push_back(&fd.values);
                for (; k < specs.size() && specs[k].step == s && specs[k].field == f; ++k) {
                    const int list = static_cast<int>(k) + 1;
                    if (disp) m.store->set_displacement(list, {DisplacementRef::Kind::shared, shared, {}});
                    if (lazy_of[f] >= 0) {
                        lazy_lists[static_cast<std::size_t>(list)] = {lazy_of[f], specs[k].kind,
                                                                      specs[k].comp};
                        continue;
                    }
                    source_of[static_cast<std::size_t>(list)] = static_cast<int>(sources.size());
                    sources.push_back({fd.values.data(), fd.components, specs[k].kind, specs[k].comp, list,
                                       m.store->resident_values(list).data()});
                }
            }
        }
    }

    // Positions, displacements and values, row by row on the reading threads;
    // each block of rows hands back the pages of the hand-over it has used,
    // so that the model grows into the memory the hand-over leaves. Each
    // block also keeps its rows' ranges, merged below in row order.
    const std::size_t range_cols = static_cast<std::size_t>(nlista) + 1;
    std::vector<BlockRanges> block_ranges(static_cast<std::size_t>(row_blocks(npoint)));
    const auto fill_rows = [&](std::int64_t first, std::int64_t last) {
        const std::size_t ccols = m.coord_cols();
        BlockRanges& ranges = block_ranges[static_cast<std::size_t>(first / kRowBlock)];
        ranges.start(range_cols);
        std::vector<double> lrow(range_cols, 0.0); // the row's values, for the ranges
        for (std::int64_t i = first; i < last; ++i) {
            const std::size_t at = static_cast<std::size_t>(i) + 1;
            double* crow = m.coord_data.data() + at * ccols;
            const double* p = mesh.points.data() + 3 * i;
            if (!std::isfinite(p[0]) || !std::isfinite(p[1]) || !std::isfinite(p[2]))
                fail(name,
                     "point " + std::to_string(i + 1) + " has a coordinate that is not a finite number");
            crow[1] = p[0];
            crow[2] = p[1];
            crow[3] = p[2];
            for (const DispSource& ds : step_displacements) {
                double* d = ds.out + 3 * at;
                // A displacement without a value leaves the node in place.
                for (int a = 0; a < 3; ++a)
                    d[a] = std::isfinite(ds.values[3 * i + a]) ? ds.values[3 * i + a] : 0.0;
            }
            for (const RowSource& sc : sources) {
                const double x = list_value(sc.values + i * sc.comps, sc.comps, sc.kind, sc.comp);
                if (std::isnan(x))
                    ++ranges.missing[static_cast<std::size_t>(sc.list)]; // not finite in the file
                lrow[static_cast<std::size_t>(sc.list)] = x;
                sc.out[at] = x;
            }
            ranges.add(crow, lrow.data(), range_cols, i == 0);
        }
        for (const ZeroedVector<double>* v : consumed) {
            const std::size_t per_row = npoint ? v->size() / static_cast<std::size_t>(npoint) : 0;
            release_pages(v->data() + static_cast<std::size_t>(first) * per_row,
                          static_cast<std::size_t>(last - first) * per_row * sizeof(double));
        }
    };
    for_row_blocks(npoint, threads, fill_rows);
    for (ZeroedVector<double>* v : consumed)
        ZeroedVector<double>().swap(*v);

    // Centre nodes of serendipity faces: positions, displacements and
    // components interpolated; a magnitude or von Mises is not linear in its
    // components (interpolated, it can go negative), so it is computed from
    // the node's own components, the lists just before it.
    for (std::size_t q = 0; q < centres.size(); ++q) {
        const std::size_t row = static_cast<std::size_t>(npoint) + q + 1;
        const CentreNode& cn = centres[q];
        for (std::size_t j = 1; j < m.coord_cols(); ++j)
            m.coord(row, j) =
                at_centre(cn, [&](std::int64_t i) { return m.coord(static_cast<std::size_t>(i) + 1, j); });
        for (const DispSource& ds : step_displacements)
            for (std::size_t c = 0; c < 3; ++c)
                ds.out[3 * row + c] = at_centre(
                    cn, [&](std::int64_t i) { return ds.out[3 * (static_cast<std::size_t>(i) + 1) + c]; });
        for (const RowSource& sc : sources)
            sc.out[row] =
                at_centre(cn, [&](std::int64_t i) { return sc.out[static_cast<std::size_t>(i) + 1]; });
        for (const RowSource& sc : sources) {
            const auto v = [&](int list) {
                return sources[static_cast<std::size_t>(source_of[static_cast<std::size_t>(list)])].out[row];
            };
            if (sc.kind == ListSpec::magnitude) {
                const double x = v(sc.list - 3), y = v(sc.list - 2), z = v(sc.list - 1);
                sc.out[row] = std::sqrt(x * x + y * y + z * z);
            } else if (sc.kind == ListSpec::von_mises) {
                std::array<double, 6> t{};
                for (int k = 0; k < 6; ++k)
                    t[static_cast<std::size_t>(k)] = v(sc.list - 6 + k);
                sc.out[row] = von_mises_of(t);
            }
        }
    }

    // The ranges in node order: the point rows' blocks, then the centre nodes.
    BlockRanges all;
    all.start(range_cols);
    for (const BlockRanges& b : block_ranges)
        all.merge(b);
    {
        std::vector<double> lrow(range_cols, 0.0);
        for (std::int64_t i = npoint + 1; i <= nnode; ++i) {
            for (const RowSource& sc : sources)
                lrow[static_cast<std::size_t>(sc.list)] = sc.out[static_cast<std::size_t>(i)];
            all.add(m.coord_row(static_cast<std::size_t>(i)), lrow.data(), range_cols);
        }
    }
    FoundRanges found;
    found.maxscale = all.maxscale;
    found.lists.assign(range_cols, {0.0, 0.0});
    if (nnode > 0)
        for (std::size_t k = 1; k < range_cols; ++k)
            if (all.lists[k][0] <= all.lists[k][1]) found.lists[k] = all.lists[k]; // else: no value at all

    // Lists read on demand: each field read once now for its lists' ranges,
    // one field at a time so that memory stays that of one; or, deferred,
    // left pending.
    if (any_on_demand) {
        if (defer_ranges) {
            m.range_pending.assign(range_cols, 0);
            for (std::size_t k = 1; k < range_cols; ++k)
                if (lazy_lists[k].field >= 0) m.range_pending[k] = 1;
        } else {
            for (std::size_t f = 0; f < lazy_fields.size(); ++f) {
                std::vector<std::size_t> of_field;
                for (std::size_t k = 1; k < range_cols; ++k)
                    if (lazy_lists[k].field == static_cast<int>(f)) of_field.push_back(k);
                if (of_field.empty()) continue;
                const ZeroedVector<double> nodal = nodal_values(*lazy_mesh, lazy_fields[f], name);
                for (const std::size_t k : of_field) {
                    LazyRange r;
                    r.npoint = npoint;
                    lazy_list_values(*lazy_mesh, nodal.data(), lazy_fields[f].components, lazy_lists[k],
                                     [&](std::int64_t node, double v) { r(node, v); });
                    found.lists[k] = r.range[0] <= r.range[1] ? r.range : std::array<double, 2>{0.0, 0.0};
                    all.missing[k] = r.missing;
                }
            }
        }
        m.store->set_source(std::make_shared<ImportedLists>(
            name, lazy_mesh, std::move(lazy_fields), std::move(lazy_lists), std::move(lazy_displacements)));
    }
    for (std::size_t k = 1; k < range_cols; ++k)
        if (const std::int64_t n = all.missing[k])
            out.warnings.push_back(name + ": list " + std::to_string(k) + " \"" + m.namelista[k] + "\" has " +
                                   std::to_string(n) + (n == 1 ? " node" : " nodes") +
                                   " without a value (a number that is not finite in the file); "
                                   "they are left out of its range.");

    if (!inner.empty()) {
        inner.resize(static_cast<std::size_t>(nnode) + 1, 0); // centre nodes lie on faces
        m.inner_nodes = std::move(inner);
    }
    finish_model(m, &found);
    return out;
} catch (const std::bad_alloc&) {
    throw ReadError("Not enough memory to read " + base_name(name_in));
} catch (const std::length_error&) {
    throw ReadError("Not enough memory to read " + base_name(name_in));
}

} // namespace orv
