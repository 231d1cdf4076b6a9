#include "viewer/view/pick.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstddef>
#include <limits>
#include <optional>

namespace orv::pick {

namespace {

// Window depth (0..1) by which a surface must lie in front of a node to hide
// it, beyond the surface's own slope across the node's pixel: far below
// anything a user can see, above the rounding of the projection.
constexpr double kDepthTolerance = 1e-6;
// Nodes this much farther from the pointer (pixels) than the nearest visible
// one still count as equally near; the front-most of them wins.
constexpr double kTieDistance = 0.5;
// Largest distance from a point of a pixel to its centre, pixels.
constexpr double kHalfDiagonal = 0.70710678118654752;

// A node as drawn in one placement: window pixel (x right, y down), window
// depth z, and the value of the clip plane's function (>= 0: kept).
struct Projected {
    float x = std::numeric_limits<float>::quiet_NaN();
    float y = 0, z = 0, clip = 1;
};

bool kept(const Projected& p) {
    return p.clip >= 0 && p.z >= 0 && p.z <= 1;
}

using Position = std::array<float, 3>;

// One set of node positions shared by the layers that place nodes alike.
struct PlacementSet {
    NodePlacement place;
    int first_layer = 0;
    bool every_node = false;              // a layer of the set draws every node
    const unsigned char* drawn = nullptr; // else by node: some layer of the set shows it
    std::vector<unsigned char> own;       // the union, when several layers share the set
    const Position* pos = nullptr;        // by node, file coordinates
    std::vector<Projected> pts;           // by node; NaN x for nodes not projected
    std::vector<std::int32_t> cell;       // by node: its cell in the node grid, -1 for none

    const std::uint8_t* inner = nullptr; // with every_node: nodes inside volumes, not drawn
    bool shows(std::int32_t n) const { return (every_node && !(inner && inner[n])) || (drawn && drawn[n]); }
};

// The nodes a layer draws depend on its kind, filters and outline only.
struct MaskKey {
    LayerKind kind = LayerKind::Outline;
    std::array<int, 3> filters{-1, -1, -1};
    std::vector<std::uint8_t> hidden_blocks;
    bool outline = false;
    friend bool operator==(const MaskKey&, const MaskKey&) = default;
};

MaskKey mask_key(const PickLayer& l) {
    if (l.kind == LayerKind::Outline) return {};
    return {l.kind, l.filters, l.hidden_blocks, l.outline};
}

struct FillLayer {
    int set = 0;
    std::array<int, 3> filters{-1, -1, -1};
    std::vector<std::uint8_t> hidden_blocks;
    int layer = 0; // index into the scene's layers
};

// A node in the grid, with its pixel position so that a probe measures
// distances without looking the node up.
struct NodeRef {
    float x = 0, y = 0;
    std::int32_t node = 0;
    std::int32_t set = 0;
};

// Compressed grid: the entries of cell c are entries[start[c] .. start[c + 1]).
struct NodeGrid {
    int cell = 1, cols = 0, rows = 0;
    std::vector<std::int64_t> start;
    std::vector<NodeRef> entries;

    void shape(int cell_size, int w, int h) {
        cell = cell_size;
        cols = (w + cell - 1) / cell;
        rows = (h + cell - 1) / cell;
        start.assign(static_cast<std::size_t>(cols) * static_cast<std::size_t>(rows) + 1, 0);
        entries.clear();
    }
    int col_of(double x) const { return std::clamp(static_cast<int>(std::floor(x / cell)), 0, cols - 1); }
    int row_of(double y) const { return std::clamp(static_cast<int>(std::floor(y / cell)), 0, rows - 1); }
    std::size_t id(int c, int r) const {
        return static_cast<std::size_t>(r) * static_cast<std::size_t>(cols) + static_cast<std::size_t>(c);
    }
};

// Front-most filled surface at one pixel centre: window depth and its
// gradient per pixel; z = +inf where nothing is filled.
struct DepthSample {
    float z = std::numeric_limits<float>::infinity();
    float dzdx = 0, dzdy = 0;
    std::int32_t element = 0; // the element filled there
    std::int32_t fill = 0;    // and the index of its fill layer
};

// The visible coloured line through one pixel (its centre within half a
// pixel's diagonal of the segment; the nearest, then the front-most): distance
// in pixels (+inf where none), window depth, element and fill layer. A probe
// looks at the pixels within reach of the pointer.
struct LineSample {
    float distance = std::numeric_limits<float>::infinity();
    float z = 0;
    std::int32_t element = 0;
    std::int32_t fill = 0;
};

NodePlacement normalised(const ResultModel& m, NodePlacement p) {
    // A zero factor draws the undeformed positions; an unknown selector
    // falls back to the node's own displacement, as the outline does.
    if (!p.deformed || p.factor == 0) return {};
    if (p.selector < 0 || p.selector > 3 * m.nlista) p.selector = 0;
    return p;
}

bool same_placement(const NodePlacement& a, const NodePlacement& b) {
    return a.deformed == b.deformed && a.selector == b.selector && a.factor == b.factor;
}

bool passes(const std::array<int, 3>& filters, const std::vector<std::uint8_t>& hidden, const ResultModel& m,
            std::size_t e, ElementType t) {
    return colour_filters_pass(filters, hidden, m, e, t);
}

const std::int32_t* row_of(const ResultModel& m, std::size_t e) {
    return m.conec_data.data() + m.conec_start[e];
}

// floor and ceil of a value in int range, without the library calls that
// dominate the test of a million element boxes.
inline int floor_int(double v) {
    const int i = static_cast<int>(v);
    return i - (v < i);
}
inline int ceil_int(double v) {
    const int i = static_cast<int>(v);
    return i + (v > i);
}

// Pixel columns (or rows) whose centres lie in [lo, hi], clamped to 0..n-1;
// first > last when there is none (or a bound is NaN).
inline std::pair<int, int> centres_within(double lo, double hi, int n) {
    if (!(lo <= hi)) return {1, 0};
    lo = std::max(lo, -1.0); // within int range before the conversions
    hi = std::min(hi, n + 1.0);
    return {std::max(ceil_int(lo - 0.5), 0), std::min(floor_int(hi - 0.5), n - 1)};
}

// Screen box of the nodes row[1..count] and whether any of them lies on the
// kept side of the clip plane; nullopt when a node number is out of range.
struct ScreenBox {
    double x0 = INFINITY, x1 = -INFINITY, y0 = INFINITY, y1 = -INFINITY;
    bool any_kept = false;
};
std::optional<ScreenBox> screen_box(const std::int32_t* row, int count, const std::vector<Projected>& pts,
                                    std::int32_t nnode) {
    ScreenBox b;
    for (int i = 1; i <= count; ++i) {
        const std::int32_t n = row[i];
        if (n < 1 || n > nnode) return std::nullopt;
        const Projected& p = pts[static_cast<std::size_t>(n)];
        b.x0 = std::min(b.x0, double(p.x));
        b.x1 = std::max(b.x1, double(p.x));
        b.y0 = std::min(b.y0, double(p.y));
        b.y1 = std::max(b.y1, double(p.y));
        b.any_kept = b.any_kept || p.clip >= 0;
    }
    return b;
}

} // namespace

// Per model: which nodes each kind of layer draws and where each placement
// puts them, kept while they are in use so that a camera change only
// projects. Positions are floats, as the OpenGL pipeline takes them.
struct NodePicker::Cache {
    const ResultModel* model = nullptr;
    const double* coords = nullptr;
    std::int32_t nnode = 0, nelem = 0, nlista = 0;
    std::vector<std::pair<MaskKey, std::vector<unsigned char>>> masks;
    std::vector<std::pair<NodePlacement, std::vector<Position>>> positions;
    std::vector<bool> mask_used, positions_used;

    bool matches(const ResultModel& m) const {
        return &m == model && m.coord_data.data() == coords && m.nnode == nnode && m.nelem == nelem &&
               m.nlista == nlista;
    }
    void reset(const ResultModel& m) {
        *this = Cache{};
        model = &m;
        coords = m.coord_data.data();
        nnode = m.nnode;
        nelem = m.nelem;
        nlista = m.nlista;
    }
    // Drops what the last build did not use, and starts counting afresh.
    void trim() {
        for (std::size_t i = masks.size(); i-- > 0;)
            if (!mask_used[i]) masks.erase(masks.begin() + static_cast<std::ptrdiff_t>(i));
        for (std::size_t i = positions.size(); i-- > 0;)
            if (!positions_used[i]) positions.erase(positions.begin() + static_cast<std::ptrdiff_t>(i));
        mask_used.assign(masks.size(), false);
        positions_used.assign(positions.size(), false);
    }

    const unsigned char* mask(const PickLayer& layer);
    const Position* placed(const NodePlacement& place);
};

const unsigned char* NodePicker::Cache::mask(const PickLayer& layer) {
    const MaskKey key = mask_key(layer);
    for (std::size_t i = 0; i < masks.size(); ++i)
        if (masks[i].first == key) {
            mask_used[i] = true;
            return masks[i].second.data();
        }
    const ResultModel& m = *model;
    std::vector<unsigned char> drawn(static_cast<std::size_t>(nnode) + 1, 0);
    const bool outline = key.kind == LayerKind::Outline || key.outline;
    for (std::size_t e = 1; e <= static_cast<std::size_t>(nelem); ++e) {
        const ElementType t = drawable_type(m, e);
        if (t.family == 0) continue;
        const std::int32_t* row = row_of(m, e);
        const auto mark = [&](std::int32_t n) {
            if (n >= 1 && n <= nnode) drawn[static_cast<std::size_t>(n)] = 1;
        };
        // The pieces tile the whole lattice, and a linear element's outline
        // runs through all its nodes: every node of the row is drawn.
        if ((key.kind == LayerKind::Fill && passes(key.filters, key.hidden_blocks, m, e, t)) ||
            (outline && t.order == 1)) {
            const auto count = static_cast<int>(element_node_count(t.family, t.order));
            for (int i = 1; i <= count; ++i)
                mark(row[i]);
        } else if (outline) {
            for_each_outline_segment(t, [&](NodePair p) {
                mark(row[p.a]);
                mark(row[p.b]);
            });
        }
    }
    masks.emplace_back(key, std::move(drawn));
    mask_used.push_back(true);
    return masks.back().second.data();
}

const Position* NodePicker::Cache::placed(const NodePlacement& place) {
    for (std::size_t i = 0; i < positions.size(); ++i)
        if (same_placement(positions[i].first, place)) {
            positions_used[i] = true;
            return positions[i].second.data();
        }
    const ResultModel& m = *model;
    std::vector<Position> pos(static_cast<std::size_t>(nnode) + 1);
    const PlacedNodes nodes(m, place);
    for (std::int32_t n = 1; n <= nnode; ++n) {
        const Point3 p = nodes.at(n);
        pos[static_cast<std::size_t>(n)] = {static_cast<float>(p.x), static_cast<float>(p.y),
                                            static_cast<float>(p.z)};
    }
    positions.emplace_back(place, std::move(pos));
    positions_used.push_back(true);
    return positions.back().second.data();
}

bool operator==(const PickLayer& a, const PickLayer& b) {
    return a.kind == b.kind && same_placement(a.place, b.place) && a.filters == b.filters &&
           a.hidden_blocks == b.hidden_blocks && a.outline == b.outline;
}

struct NodePicker::Index {
    // What the index was built for.
    const ResultModel* model = nullptr;
    const double* coords = nullptr;
    std::int32_t nnode = 0, nelem = 0, nlista = 0;
    std::vector<PickLayer> layers;
    std::optional<std::array<double, 4>> clip;
    PickView view;
    double radius = 0;

    std::vector<PlacementSet> sets;
    std::vector<FillLayer> fills;
    NodeGrid nodes;
    std::vector<DepthSample> depth; // width x height, row 0 at the top
    std::int64_t covered = 0;
    std::vector<LineSample> lines; // width x height when a coloured line is drawn
    std::int64_t line_pixels = 0;
    double plane_tolerance = 0; // window depth of 2 radii of length along the view

    bool matches(const PickScene& s, const PickView& v, double r) const {
        const ResultModel* m = s.model;
        return m == model && m->coord_data.data() == coords && m->nnode == nnode && m->nelem == nelem &&
               m->nlista == nlista && s.layers == layers && s.clip == clip && v == view && r == radius;
    }

    void build(const PickScene& s, const PickView& v, double r, Cache& cache, PickStats& stats);
    void project(PlacementSet& set);
    void bin_nodes();
    void rasterise_fills();
    void rasterise(const Projected& a, const Projected& b, const Projected& c, std::int32_t element,
                   std::int32_t fill);
    void rasterise_lines();
    void rasterise(const Projected& a, const Projected& b, std::int32_t element, std::int32_t fill);
    std::size_t pixel(double x, double y) const {
        const int ix = std::clamp(static_cast<int>(std::floor(x)), 0, view.width - 1);
        const int iy = std::clamp(static_cast<int>(std::floor(y)), 0, view.height - 1);
        return static_cast<std::size_t>(iy) * static_cast<std::size_t>(view.width) +
               static_cast<std::size_t>(ix);
    }

    const DepthSample& sample(double x, double y) const { return depth[pixel(x, y)]; }
    // Whether the fills hide a point at window depth z drawn at (x, y).
    bool hidden(double x, double y, double z) const {
        if (depth.empty()) return false; // nothing filled
        const DepthSample& s = sample(x, y);
        const double slack =
            kDepthTolerance + kHalfDiagonal * std::sqrt(double(s.dzdx) * s.dzdx + double(s.dzdy) * s.dzdy);
        return s.z < z - slack;
    }
    bool hidden(const Projected& p) const { return hidden(p.x, p.y, p.z); }
};

namespace {
double seconds_since(std::chrono::steady_clock::time_point& t) {
    const auto now = std::chrono::steady_clock::now();
    const double s = std::chrono::duration<double>(now - t).count();
    t = now;
    return s;
}
} // namespace

void NodePicker::Index::build(const PickScene& s, const PickView& v, double r, Cache& cache,
                              PickStats& stats) {
    auto clock = std::chrono::steady_clock::now();
    const ResultModel& m = *s.model;
    model = s.model;
    coords = m.coord_data.data();
    nnode = m.nnode;
    nelem = m.nelem;
    nlista = m.nlista;
    layers = s.layers;
    clip = s.clip;
    view = v;
    radius = r;

    sets.clear();
    fills.clear();
    if (!cache.matches(m)) cache.reset(m);
    for (std::size_t i = 0; i < layers.size(); ++i) {
        const PickLayer& layer = layers[i];
        const NodePlacement place = normalised(m, layer.place);
        auto it = std::find_if(sets.begin(), sets.end(),
                               [&](const PlacementSet& ps) { return same_placement(ps.place, place); });
        if (it == sets.end()) {
            PlacementSet ps;
            ps.place = place;
            ps.first_layer = static_cast<int>(i);
            ps.pos = cache.placed(place);
            sets.push_back(std::move(ps));
            it = sets.end() - 1;
        }
        PlacementSet& set = *it;
        if (layer.kind == LayerKind::Points) {
            set.every_node = true;
            set.inner = m.inner_nodes.empty() ? nullptr : m.inner_nodes.data();
        } else if (!set.drawn) {
            set.drawn = cache.mask(layer);
        } else {
            const unsigned char* more = cache.mask(layer);
            if (set.own.empty()) set.own.assign(set.drawn, set.drawn + nnode + 1);
            for (std::size_t n = 0; n < set.own.size(); ++n)
                set.own[n] |= more[n];
            set.drawn = set.own.data();
        }
        if (layer.kind == LayerKind::Fill)
            fills.push_back({static_cast<int>(it - sets.begin()), layer.filters, layer.hidden_blocks,
                             static_cast<int>(i)});
    }
    cache.trim();
    stats.mark_seconds = seconds_since(clock);
    // Cells of half the radius: a probe visits the few near the pointer first
    // and skips those beyond the nearest node found.
    nodes.shape(std::max(1, static_cast<int>(std::ceil(radius / 2))), view.width, view.height);
    for (PlacementSet& ps : sets)
        project(ps);
    stats.project_seconds = seconds_since(clock);

    // Length along the view per pixel and window depth per length, both from
    // the projection's rows (the model frame may be scaled, never sheared).
    const view::Mat4& t = view.to_ndc;
    const double row_x = std::hypot(t[0], t[4], t[8]), row_z = std::hypot(t[2], t[6], t[10]);
    plane_tolerance = row_x > 0 ? 2 * radius * row_z / (row_x * view.width) : 0;

    bin_nodes();
    stats.grid_seconds = seconds_since(clock);
    rasterise_fills();
    stats.depth_seconds = seconds_since(clock);
    rasterise_lines();
    stats.line_seconds = seconds_since(clock);
}

// Projects the nodes the set shows, finds their cells in the node grid and
// counts them there.
void NodePicker::Index::project(PlacementSet& set) {
    const view::Mat4& t = view.to_ndc;
    const double w = view.width, h = view.height;
    // The view's maps straight to pixels: x' = ax x + bx y + cx z + dx, ...
    const double ax = t[0] * 0.5 * w, bx = t[4] * 0.5 * w, cx = t[8] * 0.5 * w, dx = (t[12] + 1) * 0.5 * w;
    const double ay = -t[1] * 0.5 * h, by = -t[5] * 0.5 * h, cy = -t[9] * 0.5 * h, dy = (1 - t[13]) * 0.5 * h;
    const double az = t[2] * 0.5, bz = t[6] * 0.5, cz = t[10] * 0.5, dz = (t[14] + 1) * 0.5;
    set.pts.resize(static_cast<std::size_t>(nnode) + 1);
    set.pts[0] = Projected{};
    set.cell.assign(static_cast<std::size_t>(nnode) + 1, -1);
    const double per_cell = 1.0 / nodes.cell;
    const std::array<double, 4> plane = clip ? *clip : std::array<double, 4>{0, 0, 0, 1};
    for (std::int32_t n = 1; n <= nnode; ++n) {
        Projected& q = set.pts[static_cast<std::size_t>(n)];
        if (!set.shows(n)) {
            q = Projected{};
            continue;
        }
        // The projection is affine (orthographic): no division by w.
        const Position& p = set.pos[n];
        const double x = p[0], y = p[1], z = p[2];
        q.x = static_cast<float>(ax * x + bx * y + cx * z + dx);
        q.y = static_cast<float>(ay * x + by * y + cy * z + dy);
        q.z = static_cast<float>(az * x + bz * y + cz * z + dz);
        q.clip = static_cast<float>(plane[0] * x + plane[1] * y + plane[2] * z + plane[3]);
        // A point whose centre is outside the view is not drawn.
        if (kept(q) && q.x >= 0 && q.x <= w && q.y >= 0 && q.y <= h) {
            const int c = std::min(static_cast<int>(q.x * per_cell), nodes.cols - 1);
            const int r = std::min(static_cast<int>(q.y * per_cell), nodes.rows - 1);
            const std::size_t id = nodes.id(c, r);
            set.cell[static_cast<std::size_t>(n)] = static_cast<std::int32_t>(id);
            ++nodes.start[id + 1];
        }
    }
}

// The counting sort of the projected nodes into the grid's cells.
void NodePicker::Index::bin_nodes() {
    for (std::size_t i = 1; i < nodes.start.size(); ++i)
        nodes.start[i] += nodes.start[i - 1];
    nodes.entries.resize(static_cast<std::size_t>(nodes.start.back()));
    std::vector<std::int64_t> next(nodes.start.begin(), nodes.start.end() - 1);
    for (std::size_t si = 0; si < sets.size(); ++si) {
        const std::vector<std::int32_t>& cell = sets[si].cell;
        for (std::int32_t n = 1; n <= nnode; ++n) {
            const std::int32_t c = cell[static_cast<std::size_t>(n)];
            if (c >= 0)
                nodes.entries[static_cast<std::size_t>(next[static_cast<std::size_t>(c)]++)] = {
                    sets[si].pts[static_cast<std::size_t>(n)].x, sets[si].pts[static_cast<std::size_t>(n)].y,
                    n, static_cast<std::int32_t>(si)};
        }
        sets[si].cell = {}; // not needed after the build
    }
}

void NodePicker::Index::rasterise_fills() {
    depth.clear();
    covered = 0;
    if (fills.empty()) return;
    depth.assign(static_cast<std::size_t>(view.width) * static_cast<std::size_t>(view.height), DepthSample{});
    const ResultModel& m = *model;
    for (std::size_t fi = 0; fi < fills.size(); ++fi) {
        const FillLayer& f = fills[fi];
        const std::vector<Projected>& pts = sets[static_cast<std::size_t>(f.set)].pts;
        for (std::size_t e = 1; e <= static_cast<std::size_t>(nelem); ++e) {
            const ElementType t = drawable_type(m, e);
            if (t.family < 2 || !passes(f.filters, f.hidden_blocks, m, e, t)) continue; // lines hide nothing
            const std::int32_t* row = row_of(m, e);
            const auto count = static_cast<int>(element_node_count(t.family, t.order));
            // Most elements of a dense mesh hold no pixel centre: test the
            // box of all their nodes before cutting them into sub-triangles.
            const std::optional<ScreenBox> box = screen_box(row, count, pts, nnode);
            if (!box || !box->any_kept) continue; // all corners cut: the whole element is
            const auto cols = centres_within(box->x0, box->x1, view.width);
            const auto rows = centres_within(box->y0, box->y1, view.height);
            if (cols.first > cols.second || rows.first > rows.second) continue;
            for_each_colour_piece(
                t, [](NodePair) {},
                [&](NodeTriple tri) {
                    rasterise(pts[static_cast<std::size_t>(row[tri.a])],
                              pts[static_cast<std::size_t>(row[tri.b])],
                              pts[static_cast<std::size_t>(row[tri.c])], static_cast<std::int32_t>(e),
                              static_cast<std::int32_t>(fi));
                });
        }
    }
}

void NodePicker::Index::rasterise(const Projected& a, const Projected& b, const Projected& c,
                                  std::int32_t element, std::int32_t fill) {
    const auto cols = centres_within(std::min({a.x, b.x, c.x}), std::max({a.x, b.x, c.x}), view.width);
    if (cols.first > cols.second) return;
    const auto rows = centres_within(std::min({a.y, b.y, c.y}), std::max({a.y, b.y, c.y}), view.height);
    if (rows.first > rows.second) return;
    const double ax = a.x, ay = a.y;
    const double ux = b.x - ax, uy = b.y - ay, vx = c.x - ax, vy = c.y - ay;
    const double area = ux * vy - vx * uy;
    // Seen edge-on: OpenGL draws nothing of it.
    if (!(std::fabs(area) > 1e-12)) return;
    const double dz1 = double(b.z) - a.z, dz2 = double(c.z) - a.z;
    const double dzdx = (dz1 * vy - dz2 * uy) / area, dzdy = (ux * dz2 - vx * dz1) / area;
    const double dc1 = double(b.clip) - a.clip, dc2 = double(c.clip) - a.clip;
    const double dcdx = (dc1 * vy - dc2 * uy) / area, dcdy = (ux * dc2 - vx * dc1) / area;
    constexpr double edge = -1e-9; // centres on an edge are covered
    for (int iy = rows.first; iy <= rows.second; ++iy) {
        const double py = iy + 0.5 - ay;
        DepthSample* line =
            depth.data() + static_cast<std::size_t>(iy) * static_cast<std::size_t>(view.width);
        for (int ix = cols.first; ix <= cols.second; ++ix) {
            const double px = ix + 0.5 - ax;
            const double s = (px * vy - vx * py) / area; // weight of b
            const double t = (ux * py - px * uy) / area; // weight of c
            if (s < edge || t < edge || s + t > 1 - edge) continue;
            const double z = a.z + dzdx * px + dzdy * py;
            if (z < 0 || z > 1) continue;
            if (clip && a.clip + dcdx * px + dcdy * py < 0) continue;
            DepthSample& d = line[ix];
            if (z < d.z) {
                if (d.z == std::numeric_limits<float>::infinity()) ++covered;
                d = {static_cast<float>(z), static_cast<float>(dzdx), static_cast<float>(dzdy), element,
                     fill};
            }
        }
    }
}

void NodePicker::Index::rasterise_lines() {
    lines.clear();
    line_pixels = 0;
    const ResultModel& m = *model;
    const double reach = kHalfDiagonal;
    for (std::size_t fi = 0; fi < fills.size(); ++fi) {
        const FillLayer& f = fills[fi];
        const std::vector<Projected>& pts = sets[static_cast<std::size_t>(f.set)].pts;
        for (std::size_t e = 1; e <= static_cast<std::size_t>(nelem); ++e) {
            const ElementType t = drawable_type(m, e);
            if (t.family != 1 || !passes(f.filters, f.hidden_blocks, m, e, t)) continue;
            const std::int32_t* row = row_of(m, e);
            const int count = t.order + 1;
            const std::optional<ScreenBox> box = screen_box(row, count, pts, nnode);
            if (!box) continue;
            const auto cols = centres_within(box->x0 - reach, box->x1 + reach, view.width);
            const auto rows = centres_within(box->y0 - reach, box->y1 + reach, view.height);
            if (cols.first > cols.second || rows.first > rows.second) continue;
            for (int j = 1; j <= t.order; ++j)
                rasterise(pts[static_cast<std::size_t>(row[j])], pts[static_cast<std::size_t>(row[j + 1])],
                          static_cast<std::int32_t>(e), static_cast<std::int32_t>(fi));
        }
    }
}

namespace {

// Where the pixel centre (px, py) falls on segment a-b: the parameter of the
// nearest point (0..1) and its distance, pixels.
std::pair<double, double> nearest_on_segment(double ax, double ay, double bx, double by, double px,
                                             double py) {
    const double ux = bx - ax, uy = by - ay, len2 = ux * ux + uy * uy;
    double t = len2 > 0 ? ((px - ax) * ux + (py - ay) * uy) / len2 : 0;
    t = std::clamp(t, 0.0, 1.0);
    return {t, std::hypot(ax + t * ux - px, ay + t * uy - py)};
}

} // namespace

void NodePicker::Index::rasterise(const Projected& a, const Projected& b, std::int32_t element,
                                  std::int32_t fill) {
    const double reach = kHalfDiagonal;
    const auto cols = centres_within(std::min(a.x, b.x) - reach, std::max(a.x, b.x) + reach, view.width);
    if (cols.first > cols.second) return;
    const auto rows = centres_within(std::min(a.y, b.y) - reach, std::max(a.y, b.y) + reach, view.height);
    if (rows.first > rows.second) return;
    if (lines.empty())
        lines.assign(static_cast<std::size_t>(view.width) * static_cast<std::size_t>(view.height),
                     LineSample{});
    // Dense meshes give many segments shorter than a pixel: squared distances,
    // and the depth test only for a pixel the segment would take.
    const double ux = double(b.x) - a.x, uy = double(b.y) - a.y, len2 = ux * ux + uy * uy;
    const double inv = len2 > 0 ? 1 / len2 : 0;
    const double reach2 = reach * reach;
    for (int iy = rows.first; iy <= rows.second; ++iy) {
        const double py = iy + 0.5;
        LineSample* row = lines.data() + static_cast<std::size_t>(iy) * static_cast<std::size_t>(view.width);
        for (int ix = cols.first; ix <= cols.second; ++ix) {
            const double px = ix + 0.5;
            const double t = std::clamp(((px - a.x) * ux + (py - a.y) * uy) * inv, 0.0, 1.0);
            const double dx = a.x + t * ux - px, dy = a.y + t * uy - py, d2 = dx * dx + dy * dy;
            if (!(d2 <= reach2)) continue;
            LineSample& l = row[ix];
            const double d = std::sqrt(d2);
            const double z = a.z + t * (double(b.z) - a.z);
            if (d > l.distance || (d == l.distance && z >= l.z)) continue;
            if (z < 0 || z > 1) continue;
            if (clip && a.clip + t * (double(b.clip) - a.clip) < 0) continue;
            if (hidden(px, py, z)) continue;
            if (l.distance == std::numeric_limits<float>::infinity()) ++line_pixels;
            l = {static_cast<float>(d), static_cast<float>(z), element, fill};
        }
    }
}

NodePicker::NodePicker() = default;
NodePicker::~NodePicker() = default;

void NodePicker::clear() {
    index_.reset();
    cache_.reset();
}

bool NodePicker::stale(const PickScene& scene, const PickView& view) const {
    return !index_ || !scene.model || !index_->matches(scene, view, radius);
}

void NodePicker::ensure_index(const PickScene& scene, const PickView& view) {
    if (!stale(scene, view)) return;
    const auto started = std::chrono::steady_clock::now();
    index_.reset(); // free the old index before the new one takes memory
    auto index = std::make_unique<Index>();
    if (!cache_) cache_ = std::make_unique<Cache>();
    index->build(scene, view, radius, *cache_, stats_);
    index_ = std::move(index);
    ++stats_.builds;
    stats_.build_seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    stats_.node_entries = static_cast<std::int64_t>(index_->nodes.entries.size());
    stats_.covered_pixels = index_->covered;
    stats_.line_pixels = index_->line_pixels;
}

std::optional<PickHit> NodePicker::probe(const PickScene& scene, const PickView& view, double x, double y) {
    ++stats_.probes;
    if (!scene.model || scene.layers.empty() || view.width <= 0 || view.height <= 0) return std::nullopt;
    if (!(x >= 0 && y >= 0 && x < view.width && y < view.height)) return std::nullopt;
    ensure_index(scene, view);
    const Index& ix = *index_;
    const double px = x + 0.5, py = y + 0.5; // centre of the pixel under the pointer

    // The surface under the pointer, as a plane through its depth there.
    std::optional<DepthSample> surface;
    if (!ix.depth.empty()) {
        const DepthSample& s = ix.sample(px, py);
        if (s.z != std::numeric_limits<float>::infinity()) surface = s;
    }

    // Visible nodes within the radius, ranked: on the surface's side first,
    // then nearest. Kept: the best of each rank, and the nodes nearly as near.
    struct Candidate {
        const NodeRef* ref;
        const Projected* p;
        double distance;
        bool behind;
    };
    std::vector<Candidate> visible;
    double nearest[2] = {INFINITY, INFINITY}; // not behind, behind
    const double r2 = radius * radius;
    const auto& g = ix.nodes;
    const int c0 = g.col_of(px - radius), c1 = g.col_of(px + radius);
    const int r0 = g.row_of(py - radius), r1 = g.row_of(py + radius);
    struct Cell {
        double gap; // from the pointer to the nearest point of the cell, pixels
        std::size_t id;
    };
    std::vector<Cell> cells;
    for (int r = r0; r <= r1; ++r)
        for (int c = c0; c <= c1; ++c) {
            const double gx = std::max({0.0, c * g.cell - px, px - (c + 1) * g.cell});
            const double gy = std::max({0.0, r * g.cell - py, py - (r + 1) * g.cell});
            const double gap = std::sqrt(gx * gx + gy * gy);
            if (gap <= radius) cells.push_back({gap, g.id(c, r)});
        }
    std::sort(cells.begin(), cells.end(), [](const Cell& a, const Cell& b) { return a.gap < b.gap; });
    for (const Cell& cell : cells) {
        // A node on the surface's side beats any node behind it, so only
        // such a node bounds the search.
        if (cell.gap > nearest[0] + kTieDistance) break;
        for (std::int64_t i = g.start[cell.id]; i < g.start[cell.id + 1]; ++i) {
            const NodeRef& ref = g.entries[static_cast<std::size_t>(i)];
            const double dx = ref.x - px, dy = ref.y - py, d2 = dx * dx + dy * dy;
            if (d2 > r2) continue;
            const Projected& p =
                ix.sets[static_cast<std::size_t>(ref.set)].pts[static_cast<std::size_t>(ref.node)];
            bool behind = false;
            if (surface)
                behind = p.z > surface->z + surface->dzdx * dx + surface->dzdy * dy + ix.plane_tolerance;
            double& best = nearest[behind ? 1 : 0];
            const double d = std::sqrt(d2);
            if (d > best + kTieDistance || ix.hidden(p)) continue;
            best = std::min(best, d);
            visible.push_back({&ref, &p, d, behind});
        }
    }
    const bool rank = nearest[0] == INFINITY; // the rank that wins: 0 unless only nodes behind
    const Candidate* best = nullptr;
    for (const Candidate& c : visible) {
        if (c.behind != rank || c.distance > nearest[rank ? 1 : 0] + kTieDistance) continue;
        if (!best || c.p->z < best->p->z ||
            (c.p->z == best->p->z && (c.distance < best->distance ||
                                      (c.distance == best->distance && c.ref->node < best->ref->node))))
            best = &c;
    }
    if (!best) return std::nullopt;
    const PlacementSet& ps = ix.sets[static_cast<std::size_t>(best->ref->set)];
    PickHit hit;
    hit.node = best->ref->node;
    hit.layer = ps.first_layer;
    hit.drawn = ps.place.at(*scene.model, hit.node);
    hit.x = best->p->x;
    hit.y = best->p->y;
    hit.depth = best->p->z;
    return hit;
}

std::optional<ElementHit> NodePicker::probe_element(const PickScene& scene, const PickView& view, double x,
                                                    double y) {
    ++stats_.probes;
    if (!scene.model || scene.layers.empty() || view.width <= 0 || view.height <= 0) return std::nullopt;
    if (!(x >= 0 && y >= 0 && x < view.width && y < view.height)) return std::nullopt;
    ensure_index(scene, view);
    const Index& ix = *index_;
    const ResultModel& m = *scene.model;
    const double px = x + 0.5, py = y + 0.5;

    // The element and fill layer under the pointer: a visible line within
    // reach first (lines are drawn over the fills), else the front-most fill.
    std::int32_t element = 0, fill = 0;
    bool line = false;
    if (!ix.lines.empty()) {
        // The lines drawn through the pixels within reach; of these, the one
        // nearest to the pointer, then the front-most.
        double best = INFINITY, best_z = INFINITY;
        const int r = static_cast<int>(std::ceil(kLineReach));
        const int cx = static_cast<int>(std::floor(px)), cy = static_cast<int>(std::floor(py));
        for (int iy = std::max(cy - r, 0); iy <= std::min(cy + r, ix.view.height - 1); ++iy)
            for (int jx = std::max(cx - r, 0); jx <= std::min(cx + r, ix.view.width - 1); ++jx) {
                const LineSample& l =
                    ix.lines[static_cast<std::size_t>(iy) * static_cast<std::size_t>(ix.view.width) +
                             static_cast<std::size_t>(jx)];
                if (l.element < 1) continue;
                const FillLayer& lf = ix.fills[static_cast<std::size_t>(l.fill)];
                const std::vector<Projected>& lp = ix.sets[static_cast<std::size_t>(lf.set)].pts;
                const auto le = static_cast<std::size_t>(l.element);
                const std::int32_t* lrow = row_of(m, le);
                const int order = drawable_type(m, le).order;
                for (int j = 1; j <= order; ++j) {
                    const Projected &a = lp[static_cast<std::size_t>(lrow[j])],
                                    &b = lp[static_cast<std::size_t>(lrow[j + 1])];
                    const auto [u, d] = nearest_on_segment(a.x, a.y, b.x, b.y, px, py);
                    const double z = a.z + u * (double(b.z) - a.z);
                    if (d <= kLineReach && (d < best || (d == best && z < best_z))) {
                        best = d;
                        best_z = z;
                        element = l.element;
                        fill = l.fill;
                        line = true;
                    }
                }
            }
    }
    if (!line && !ix.depth.empty()) {
        const DepthSample& d = ix.sample(px, py);
        if (d.z == std::numeric_limits<float>::infinity()) return std::nullopt;
        element = d.element;
        fill = d.fill;
    }
    if (element < 1) return std::nullopt;

    const auto e = static_cast<std::size_t>(element);
    const FillLayer& f = ix.fills[static_cast<std::size_t>(fill)];
    const PlacementSet& set = ix.sets[static_cast<std::size_t>(f.set)];
    const std::vector<Projected>& pts = set.pts;
    const ElementType t = drawable_type(m, e);
    const std::int32_t* row = row_of(m, e);
    const auto at = [&](int i) -> const Projected& { return pts[static_cast<std::size_t>(row[i])]; };

    // The lattice positions of the piece under the pointer and their weights.
    std::array<int, 3> nodes{};
    std::array<double, 3> weight{};
    if (line) {
        double best = INFINITY, best_z = INFINITY;
        for (int j = 1; j <= t.order; ++j) {
            const Projected &a = at(j), &b = at(j + 1);
            const auto [u, d] = nearest_on_segment(a.x, a.y, b.x, b.y, px, py);
            const double z = a.z + u * (double(b.z) - a.z);
            if (d < best || (d == best && z < best_z)) {
                best = d;
                best_z = z;
                nodes = {j, j + 1, j + 1};
                weight = {1 - u, u, 0};
            }
        }
    } else {
        // The sub-triangle holding the pixel centre (the one it lies least
        // outside of, against rounding at shared edges).
        double best = -INFINITY;
        for_each_colour_piece(
            t, [](NodePair) {},
            [&](NodeTriple tri) {
                const Projected &a = at(tri.a), &b = at(tri.b), &c = at(tri.c);
                const double ux = double(b.x) - a.x, uy = double(b.y) - a.y;
                const double vx = double(c.x) - a.x, vy = double(c.y) - a.y;
                const double area = ux * vy - vx * uy;
                if (!(std::fabs(area) > 1e-12)) return;
                const double qx = px - a.x, qy = py - a.y;
                const double wb = (qx * vy - vx * qy) / area, wc = (ux * qy - qx * uy) / area;
                const double wa = 1 - wb - wc;
                const double inside = std::min({wa, wb, wc});
                if (inside > best) {
                    best = inside;
                    nodes = {tri.a, tri.b, tri.c};
                    weight = {wa, wb, wc};
                }
            });
        if (best == -INFINITY) return std::nullopt;
        // Pixel centres on an edge may lie a rounding outside it.
        for (double& w : weight)
            w = std::max(w, 0.0);
        const double sum = weight[0] + weight[1] + weight[2];
        for (double& w : weight)
            w /= sum;
    }

    ElementHit hit;
    hit.element = e;
    hit.layer = f.layer;
    for (std::size_t k = 0; k < 3; ++k) {
        const ElementParameters q = lattice_parameters(t, nodes[k]);
        hit.at.r += weight[k] * q.r;
        hit.at.s += weight[k] * q.s;
        const Point3 p = set.place.at(m, row[nodes[k]]);
        hit.drawn.x += weight[k] * p.x;
        hit.drawn.y += weight[k] * p.y;
        hit.drawn.z += weight[k] * p.z;
        hit.depth += weight[k] * at(nodes[k]).z;
    }
    double nearest = INFINITY;
    const auto count = static_cast<int>(element_node_count(t.family, t.order));
    for (int i = 1; i <= count; ++i) {
        const Point3 p = set.place.at(m, row[i]);
        const double d = std::hypot(p.x - hit.drawn.x, p.y - hit.drawn.y, p.z - hit.drawn.z);
        if (d < nearest) {
            nearest = d;
            hit.nearest_node = row[i];
        }
    }
    return hit;
}

PickView make_pick_view(const view::Camera& camera, const view::SceneObject& object, int w, int h) {
    PickView v;
    v.width = w;
    v.height = h;
    const view::Mat4 world_to_ndc =
        view::multiply(view::ortho_matrix(camera.extents(w, h)), camera.view_matrix());
    v.to_ndc = view::multiply(world_to_ndc, view::object_matrix(object));
    return v;
}

std::vector<PickLayer> layers_drawn(const RenderState& rs) {
    std::vector<PickLayer> out;
    for (int list : rs.last_calls) {
        const auto i = static_cast<std::size_t>(list - 1);
        const ListContent content = i < rs.content.size() ? rs.content[i] : ListContent{};
        PickLayer layer;
        switch (list) {
        case 1: // node points
        case 4: // node numbers, beside their nodes
            layer.kind = LayerKind::Points;
            break;
        case 2:
            layer.kind = LayerKind::Outline;
            break;
        case 3:
            layer.kind = LayerKind::Outline;
            layer.place = {true, content.selector, content.factor};
            break;
        case 5: // element numbers: no node to see
            continue;
        default:
            if (list <= kFixList) continue;
            layer.kind = LayerKind::Fill;
            layer.place = {true, 3 * (list - kFixList), content.factor};
            layer.filters = content.filters;
            layer.hidden_blocks = content.hidden_blocks;
            layer.outline = content.deformed_outline;
            break;
        }
        out.push_back(layer);
    }
    return out;
}

} // namespace orv::pick
