#include "viewer/view/pick.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstddef>
#include <limits>

namespace orv::pick {

namespace {

// Cell size of the element grid, pixels: small enough that the test of one
// point meets few sub-triangles, large enough that an element of a dense
// mesh lands in one cell.
constexpr int kElementCell = 4;
// Window depth (0..1) by which a surface must lie in front of a node to hide
// it: far below anything a user can see, far above the rounding of the
// projection, so that a node is never hidden by a surface it lies on.
constexpr double kDepthTolerance = 1e-6;
// Nodes this much farther from the pointer (pixels) than the nearest visible
// one still count as equally near; the front-most of them wins.
constexpr double kTieDistance = 0.5;

// A node as drawn in one placement: window pixel (x right, y down), window
// depth z, and the value of the clip plane's function (>= 0: kept).
struct Projected {
    float x = std::numeric_limits<float>::quiet_NaN();
    float y = 0, z = 0, clip = 1;
};

bool kept(const Projected& p) {
    return p.clip >= 0 && p.z >= 0 && p.z <= 1;
}

// One set of node positions shared by the layers that place nodes alike.
struct PlacementSet {
    NodePlacement place;
    int first_layer = 0;
    std::vector<unsigned char> drawn; // by node: some layer of this set shows it
    std::vector<Projected> pts;       // by node; NaN x for nodes not projected
};

struct FillLayer {
    int set = 0;
    std::array<int, 3> filters{-1, -1, -1};
};

struct NodeRef {
    std::int32_t node = 0;
    std::int32_t set = 0;
};
struct ElementRef {
    std::int32_t element = 0;
    std::int32_t fill = 0;
};

// Compressed grid: the entries of cell c are entries[start[c] .. start[c + 1]).
template <class Entry> struct Grid {
    int cell = 1, cols = 0, rows = 0;
    std::vector<std::int64_t> start;
    std::vector<Entry> entries;

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
    // After counting into start[id + 1]: prefix sums, then room for the entries.
    void allocate() {
        for (std::size_t i = 1; i < start.size(); ++i)
            start[i] += start[i - 1];
        entries.resize(static_cast<std::size_t>(start.back()));
    }
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

bool passes(const std::array<int, 3>& filters, ElementType t) {
    return element_filter_passes(filters[static_cast<std::size_t>(t.family - 1)], t.order);
}

const std::int32_t* row_of(const ResultModel& m, std::size_t e) {
    return m.conec_data.data() + m.conec_start[e];
}

// Where a filled sub-triangle covers a point: its depth and clip value there.
struct Cover {
    double z = 0, clip = 0;
    double dzdx = 0, dzdy = 0; // depth gradient in the window, per pixel
};

// The sub-triangle (p0, p1, p2) at window point (x, y), or nothing when it
// does not cover the point or is seen edge-on (OpenGL draws nothing of it).
std::optional<Cover> cover(const Projected& p0, const Projected& p1, const Projected& p2, double x,
                           double y) {
    const double x0 = p0.x, y0 = p0.y;
    const double ax = p1.x - x0, ay = p1.y - y0, bx = p2.x - x0, by = p2.y - y0;
    const double area = ax * by - bx * ay;
    if (!(std::fabs(area) > 1e-12)) return std::nullopt;
    const double px = x - x0, py = y - y0;
    const double u = (px * by - bx * py) / area; // weight of p1
    const double v = (ax * py - px * ay) / area; // weight of p2
    constexpr double edge = -1e-9;               // points on an edge are covered
    if (u < edge || v < edge || u + v > 1 - edge) return std::nullopt;
    Cover c;
    const double dz1 = double(p1.z) - p0.z, dz2 = double(p2.z) - p0.z;
    c.z = p0.z + u * dz1 + v * dz2;
    c.clip = p0.clip + u * (double(p1.clip) - p0.clip) + v * (double(p2.clip) - p0.clip);
    c.dzdx = (dz1 * by - dz2 * ay) / area;
    c.dzdy = (ax * dz2 - bx * dz1) / area;
    return c;
}

} // namespace

bool operator==(const PickLayer& a, const PickLayer& b) {
    return a.kind == b.kind && same_placement(a.place, b.place) && a.filters == b.filters &&
           a.outline == b.outline;
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
    Grid<NodeRef> nodes;
    Grid<ElementRef> elements;
    double plane_tolerance = 0; // window depth of 2 radii of length along the view

    bool matches(const PickScene& s, const PickView& v, double r) const {
        const ResultModel* m = s.model;
        return m == model && m->coord_data.data() == coords && m->nnode == nnode && m->nelem == nelem &&
               m->nlista == nlista && s.layers == layers && s.clip == clip && v == view && r == radius;
    }

    void build(const PickScene& s, const PickView& v, double r);
    void mark_drawn(const PickLayer& layer, PlacementSet& set) const;
    void project(PlacementSet& set) const;
    void bin_nodes();
    void bin_elements();

    std::optional<Cover> front_surface(double x, double y) const;
    bool hidden(const NodeRef& ref, const Projected& p) const;
    template <class F> void for_each_fill_triangle(const ElementRef& ref, F&& f) const;
};

void NodePicker::Index::build(const PickScene& s, const PickView& v, double r) {
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
    for (std::size_t i = 0; i < layers.size(); ++i) {
        const PickLayer& layer = layers[i];
        const NodePlacement place = normalised(m, layer.place);
        auto it = std::find_if(sets.begin(), sets.end(),
                               [&](const PlacementSet& ps) { return same_placement(ps.place, place); });
        if (it == sets.end()) {
            PlacementSet ps;
            ps.place = place;
            ps.first_layer = static_cast<int>(i);
            ps.drawn.assign(static_cast<std::size_t>(nnode) + 1, 0);
            sets.push_back(std::move(ps));
            it = sets.end() - 1;
        }
        mark_drawn(layer, *it);
        if (layer.kind == LayerKind::Fill)
            fills.push_back({static_cast<int>(it - sets.begin()), layer.filters});
    }
    for (PlacementSet& ps : sets)
        project(ps);

    // Length along the view per pixel and window depth per length, both from
    // the projection's rows (the model frame may be scaled, never sheared).
    const view::Mat4& t = view.to_ndc;
    const double row_x = std::hypot(t[0], t[4], t[8]), row_z = std::hypot(t[2], t[6], t[10]);
    plane_tolerance = row_x > 0 ? 2 * radius * row_z / (row_x * view.width) : 0;

    bin_nodes();
    bin_elements();
}

void NodePicker::Index::mark_drawn(const PickLayer& layer, PlacementSet& set) const {
    const ResultModel& m = *model;
    auto& drawn = set.drawn;
    if (layer.kind == LayerKind::Points) {
        std::fill(drawn.begin() + 1, drawn.end(), static_cast<unsigned char>(1));
        return;
    }
    const bool outline = layer.kind == LayerKind::Outline || layer.outline;
    for (std::size_t e = 1; e <= static_cast<std::size_t>(nelem); ++e) {
        const ElementType t = drawable_type(m, e);
        if (t.family == 0) continue;
        const std::int32_t* row = row_of(m, e);
        const auto mark = [&](std::int32_t n) {
            if (n >= 1 && n <= nnode) drawn[static_cast<std::size_t>(n)] = 1;
        };
        if (layer.kind == LayerKind::Fill && passes(layer.filters, t)) {
            // The pieces tile the whole lattice: every node of the row is drawn.
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
}

void NodePicker::Index::project(PlacementSet& set) const {
    const ResultModel& m = *model;
    const view::Mat4& t = view.to_ndc;
    const double w = view.width, h = view.height;
    set.pts.assign(static_cast<std::size_t>(nnode) + 1, Projected{});
    for (std::int32_t n = 1; n <= nnode; ++n) {
        if (!set.drawn[static_cast<std::size_t>(n)]) continue;
        const Point3 p = set.place.at(m, n);
        // The projection is affine (orthographic): no division by w.
        const double nx = t[0] * p.x + t[4] * p.y + t[8] * p.z + t[12];
        const double ny = t[1] * p.x + t[5] * p.y + t[9] * p.z + t[13];
        const double nz = t[2] * p.x + t[6] * p.y + t[10] * p.z + t[14];
        Projected& q = set.pts[static_cast<std::size_t>(n)];
        q.x = static_cast<float>((nx + 1) * 0.5 * w);
        q.y = static_cast<float>((1 - ny) * 0.5 * h);
        q.z = static_cast<float>((nz + 1) * 0.5);
        if (clip) {
            const auto& c = *clip;
            q.clip = static_cast<float>(c[0] * p.x + c[1] * p.y + c[2] * p.z + c[3]);
        }
    }
}

void NodePicker::Index::bin_nodes() {
    const int cell = std::max(1, static_cast<int>(std::ceil(radius)));
    nodes.shape(cell, view.width, view.height);
    const double w = view.width, h = view.height;
    // A point whose centre is outside the view is not drawn.
    const auto inside = [&](const Projected& p) {
        return kept(p) && p.x >= 0 && p.x <= w && p.y >= 0 && p.y <= h;
    };
    for (int pass = 0; pass < 2; ++pass) {
        std::vector<std::int64_t> fill;
        if (pass == 1) {
            nodes.allocate();
            fill.assign(nodes.start.begin(), nodes.start.end() - 1);
        }
        for (std::size_t si = 0; si < sets.size(); ++si) {
            const PlacementSet& ps = sets[si];
            for (std::int32_t n = 1; n <= nnode; ++n) {
                const Projected& p = ps.pts[static_cast<std::size_t>(n)];
                if (!(p.x == p.x) || !inside(p)) continue;
                const std::size_t c = nodes.id(nodes.col_of(p.x), nodes.row_of(p.y));
                if (pass == 0)
                    ++nodes.start[c + 1];
                else
                    nodes.entries[static_cast<std::size_t>(fill[c]++)] = {n, static_cast<std::int32_t>(si)};
            }
        }
    }
}

void NodePicker::Index::bin_elements() {
    elements.shape(kElementCell, view.width, view.height);
    if (fills.empty()) return;
    const ResultModel& m = *model;
    const double w = view.width, h = view.height;
    // Cell box of every (fill layer, element) that can hide something; the
    // boxes are kept between the counting and the filling pass.
    struct Box {
        std::uint16_t c0, r0, c1, r1;
    };
    constexpr Box kNone{1, 1, 0, 0};
    std::vector<Box> boxes(fills.size() * static_cast<std::size_t>(nelem), kNone);
    for (std::size_t fi = 0; fi < fills.size(); ++fi) {
        const FillLayer& f = fills[fi];
        const std::vector<Projected>& pts = sets[static_cast<std::size_t>(f.set)].pts;
        for (std::size_t e = 1; e <= static_cast<std::size_t>(nelem); ++e) {
            const ElementType t = drawable_type(m, e);
            if (t.family < 2 || !passes(f.filters, t)) continue; // lines hide nothing
            const std::int32_t* row = row_of(m, e);
            const auto count = static_cast<int>(element_node_count(t.family, t.order));
            double x0 = INFINITY, x1 = -INFINITY, y0 = INFINITY, y1 = -INFINITY;
            bool any_clip_kept = false, any_near = false, any_far = false;
            bool valid = true;
            for (int i = 1; i <= count; ++i) {
                const std::int32_t n = row[i];
                if (n < 1 || n > nnode) {
                    valid = false;
                    break;
                }
                const Projected& p = pts[static_cast<std::size_t>(n)];
                x0 = std::min(x0, double(p.x));
                x1 = std::max(x1, double(p.x));
                y0 = std::min(y0, double(p.y));
                y1 = std::max(y1, double(p.y));
                any_clip_kept = any_clip_kept || p.clip >= 0;
                any_near = any_near || p.z <= 1;
                any_far = any_far || p.z >= 0;
            }
            // All corners on the cut side of a plane: the whole element is cut.
            if (!valid || !any_clip_kept || !any_near || !any_far) continue;
            if (!(x1 >= 0 && x0 <= w && y1 >= 0 && y0 <= h)) continue; // off the view (or NaN)
            const Box b{static_cast<std::uint16_t>(elements.col_of(x0)),
                        static_cast<std::uint16_t>(elements.row_of(y0)),
                        static_cast<std::uint16_t>(elements.col_of(x1)),
                        static_cast<std::uint16_t>(elements.row_of(y1))};
            boxes[fi * static_cast<std::size_t>(nelem) + (e - 1)] = b;
            for (int r = b.r0; r <= b.r1; ++r)
                for (int c = b.c0; c <= b.c1; ++c)
                    ++elements.start[elements.id(c, r) + 1];
        }
    }
    elements.allocate();
    std::vector<std::int64_t> fill(elements.start.begin(), elements.start.end() - 1);
    for (std::size_t fi = 0; fi < fills.size(); ++fi)
        for (std::size_t e = 1; e <= static_cast<std::size_t>(nelem); ++e) {
            const Box& b = boxes[fi * static_cast<std::size_t>(nelem) + (e - 1)];
            for (int r = b.r0; r <= b.r1; ++r)
                for (int c = b.c0; c <= b.c1; ++c)
                    elements.entries[static_cast<std::size_t>(fill[elements.id(c, r)]++)] = {
                        static_cast<std::int32_t>(e), static_cast<std::int32_t>(fi)};
        }
}

template <class F> void NodePicker::Index::for_each_fill_triangle(const ElementRef& ref, F&& f) const {
    const ResultModel& m = *model;
    const auto e = static_cast<std::size_t>(ref.element);
    const ElementType t = drawable_type(m, e);
    const std::int32_t* row = row_of(m, e);
    for_each_colour_piece(
        t, [](NodePair) {}, [&](NodeTriple tri) { f(row[tri.a], row[tri.b], row[tri.c]); });
}

std::optional<Cover> NodePicker::Index::front_surface(double x, double y) const {
    std::optional<Cover> best;
    if (elements.entries.empty()) return best;
    const std::size_t c = elements.id(elements.col_of(x), elements.row_of(y));
    for (std::int64_t i = elements.start[c]; i < elements.start[c + 1]; ++i) {
        const ElementRef& ref = elements.entries[static_cast<std::size_t>(i)];
        const auto& pts = sets[static_cast<std::size_t>(fills[static_cast<std::size_t>(ref.fill)].set)].pts;
        for_each_fill_triangle(ref, [&](std::int32_t a, std::int32_t b, std::int32_t d) {
            const auto k = cover(pts[static_cast<std::size_t>(a)], pts[static_cast<std::size_t>(b)],
                                 pts[static_cast<std::size_t>(d)], x, y);
            if (k && k->clip >= 0 && k->z >= 0 && k->z <= 1 && (!best || k->z < best->z)) best = k;
        });
    }
    return best;
}

bool NodePicker::Index::hidden(const NodeRef& ref, const Projected& p) const {
    if (elements.entries.empty()) return false;
    const std::size_t c = elements.id(elements.col_of(p.x), elements.row_of(p.y));
    bool found = false;
    for (std::int64_t i = elements.start[c]; i < elements.start[c + 1] && !found; ++i) {
        const ElementRef& e = elements.entries[static_cast<std::size_t>(i)];
        const int set = fills[static_cast<std::size_t>(e.fill)].set;
        const auto& pts = sets[static_cast<std::size_t>(set)].pts;
        for_each_fill_triangle(e, [&](std::int32_t a, std::int32_t b, std::int32_t d) {
            if (found) return;
            // A surface never hides its own corner.
            if (set == ref.set && (a == ref.node || b == ref.node || d == ref.node)) return;
            const auto k = cover(pts[static_cast<std::size_t>(a)], pts[static_cast<std::size_t>(b)],
                                 pts[static_cast<std::size_t>(d)], p.x, p.y);
            if (k && k->clip >= 0 && k->z >= 0 && k->z <= 1 && k->z < p.z - kDepthTolerance) found = true;
        });
    }
    return found;
}

NodePicker::NodePicker() = default;
NodePicker::~NodePicker() = default;

void NodePicker::clear() {
    index_.reset();
}

bool NodePicker::stale(const PickScene& scene, const PickView& view) const {
    return !index_ || !scene.model || !index_->matches(scene, view, radius);
}

std::optional<PickHit> NodePicker::probe(const PickScene& scene, const PickView& view, double x, double y) {
    if (!scene.model || scene.layers.empty() || view.width <= 0 || view.height <= 0) return std::nullopt;
    if (!(x >= 0 && y >= 0 && x < view.width && y < view.height)) return std::nullopt;
    if (stale(scene, view)) {
        const auto started = std::chrono::steady_clock::now();
        index_.reset(); // free the old index before the new one takes memory
        auto index = std::make_unique<Index>();
        index->build(scene, view, radius);
        index_ = std::move(index);
        ++stats_.builds;
        stats_.build_seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        stats_.node_entries = static_cast<std::int64_t>(index_->nodes.entries.size());
        stats_.element_entries = static_cast<std::int64_t>(index_->elements.entries.size());
    }
    const Index& ix = *index_;
    const double px = x + 0.5, py = y + 0.5; // centre of the pixel under the pointer

    const std::optional<Cover> surface = ix.front_surface(px, py);

    struct Candidate {
        NodeRef ref;
        Projected p;
        double distance = 0;
        bool behind = false; // behind the surface under the pointer
    };
    std::vector<Candidate> found;
    const auto& g = ix.nodes;
    const int c0 = g.col_of(px - radius), c1 = g.col_of(px + radius);
    const int r0 = g.row_of(py - radius), r1 = g.row_of(py + radius);
    for (int r = r0; r <= r1; ++r)
        for (int c = c0; c <= c1; ++c) {
            const std::size_t id = g.id(c, r);
            for (std::int64_t i = g.start[id]; i < g.start[id + 1]; ++i) {
                const NodeRef& ref = g.entries[static_cast<std::size_t>(i)];
                const Projected& p =
                    ix.sets[static_cast<std::size_t>(ref.set)].pts[static_cast<std::size_t>(ref.node)];
                const double d = std::hypot(p.x - px, p.y - py);
                if (d > radius) continue;
                bool behind = false;
                if (surface) {
                    const double plane = surface->z + surface->dzdx * (p.x - px) + surface->dzdy * (p.y - py);
                    behind = p.z > plane + ix.plane_tolerance;
                }
                found.push_back({ref, p, d, behind});
            }
        }
    std::sort(found.begin(), found.end(), [](const Candidate& a, const Candidate& b) {
        if (a.behind != b.behind) return !a.behind;
        if (a.distance != b.distance) return a.distance < b.distance;
        if (a.p.z != b.p.z) return a.p.z < b.p.z;
        return a.ref.node < b.ref.node;
    });

    const Candidate* best = nullptr;
    for (const Candidate& c : found) {
        if (best) {
            if (c.behind != best->behind || c.distance > best->distance + kTieDistance) break;
            if (c.p.z >= best->p.z) continue;
        }
        if (!ix.hidden(c.ref, c.p)) best = &c;
    }
    if (!best) return std::nullopt;
    const PlacementSet& ps = ix.sets[static_cast<std::size_t>(best->ref.set)];
    PickHit hit;
    hit.node = best->ref.node;
    hit.layer = ps.first_layer;
    hit.drawn = ps.place.at(*scene.model, hit.node);
    hit.x = best->p.x;
    hit.y = best->p.y;
    hit.depth = best->p.z;
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
            layer.outline = content.deformed_outline;
            break;
        }
        out.push_back(layer);
    }
    return out;
}

} // namespace orv::pick
