#pragma once
// Geometry of the elements of a result model, as the drawing code needs it:
// which elements are drawn, their outline segments, their sub-division into
// straight segments and sub-triangles for colouring, the anchors of the node
// and element numbers, and deformed node positions.
//
// Node references are positions in the element's conec row, counted from 1
// (position 1 is the first node after the element code), in the node order
// described beside ResultModel::conec_data.
//
// Only families 1 (line), 2 (triangle) and 3 (quadrilateral) of order >= 1
// are drawn; every other element yields nothing.

#include "viewer/model/result_model.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace orv {

// A point in the coordinates of the result file.
struct Point3 {
    double x = 0, y = 0, z = 0;
    friend bool operator==(const Point3&, const Point3&) = default;
};

// Two or three node positions (from 1) in an element's conec row.
struct NodePair {
    int a = 0, b = 0;
    friend bool operator==(const NodePair&, const NodePair&) = default;
};
struct NodeTriple {
    int a = 0, b = 0, c = 0;
    friend bool operator==(const NodeTriple&, const NodeTriple&) = default;
};

inline bool is_drawn_element(ElementType t) {
    return t.family >= 1 && t.family <= 3 && t.order >= 1;
}

// Element e decoded, or {0, 0} (drawn as nothing) when its conec row is
// shorter than its family and order require, so that callers never read past
// the row. e must be 1..nelem.
inline ElementType drawable_type(const ResultModel& m, std::size_t e) {
    const ElementType t = decode_element(m.element_code(e));
    if (!is_drawn_element(t)) return {};
    const auto have = static_cast<std::int64_t>(m.conec_start[e + 1] - m.conec_start[e]) - 1;
    if (have < element_node_count(t.family, t.order)) return {};
    return t;
}

// Outline segments in drawing order: for step j = 1..p the j-th segment of
// every edge (first edge from node 1 on, the others as they run round the
// element). Higher-order edges are p straight segments; interior lattice
// lines are never part of the outline.
template <class F> void for_each_outline_segment(ElementType type, F&& emit) {
    if (!is_drawn_element(type)) return;
    const int p = type.order;
    switch (type.family) {
    case 1:
        for (int j = 1; j <= p; ++j)
            emit(NodePair{j, j + 1});
        break;
    case 2: {
        const int n = (p + 1) * (p + 2) / 2;
        int t = 0, u = 0;
        for (int j = 1; j <= p; ++j) {
            emit(NodePair{j, j + 1});
            emit(NodePair{p + t + 1, t + 2 * p - j + 2});
            t += p - j + 1;
            emit(NodePair{n - u, n - u - j - 1});
            u += j + 1;
        }
        break;
    }
    case 3: {
        const int w = p + 1;
        for (int j = 1; j <= p; ++j) {
            emit(NodePair{j, j + 1});
            emit(NodePair{w * j, w * j + w});
            emit(NodePair{w * w - j + 1, w * w - j});
            const int q = w * (p - j + 2) - p;
            emit(NodePair{q, q - p - 1});
        }
        break;
    }
    default:
        break;
    }
}

// The pieces of an element in a result list's colour display list, in
// emission order: a line gives segments (j, j + 1); a triangle of order p
// gives p * p and a quadrilateral 2 * p * p sub-triangles between
// neighbouring lattice nodes, column j of the lattice at a time, all turning
// the same way as the element's own corners. For p = 2 the triangle gives
// (1, 2, 4), (2, 3, 5), (2, 5, 4), (4, 5, 6).
template <class Seg, class Tri> void for_each_colour_piece(ElementType type, Seg&& segment, Tri&& triangle) {
    if (!is_drawn_element(type)) return;
    const int p = type.order;
    for (int j = 1; j <= p; ++j) {
        switch (type.family) {
        case 1:
            segment(NodePair{j, j + 1});
            break;
        case 2: {
            int t = 0;
            for (int r = 1; r <= j; ++r) {
                const int a = j + t, b = a + 1, c = b + p - r + 1;
                triangle(NodeTriple{a, b, c});
                if (r != j) triangle(NodeTriple{a, c, c - 1});
                t += p - r + 1;
            }
            break;
        }
        case 3:
            for (int r = 1; r <= p; ++r) {
                const int a = (r - 1) * (p + 1) + j;
                triangle(NodeTriple{a, a + 1, a + p + 2});
                triangle(NodeTriple{a, a + p + 2, a + p + 1});
            }
            break;
        default:
            break;
        }
    }
}

// The same lists as vectors, for tests and for callers that cache patterns.
std::vector<NodePair> outline_segments(ElementType type);
std::vector<NodePair> colour_segments(ElementType type);
std::vector<NodeTriple> colour_triangles(ElementType type);

// Element-type filter of the colour lists: `filter` is the value of the spin
// edit of the element's family ("ETp 1".."ETp 3", -1..10). 0 hides the whole
// family, a value equal to the order hides that order, anything else
// (the default -1 included) hides nothing.
inline bool element_filter_passes(int filter, int order) {
    return filter != 0 && filter != order;
}

// Block filter of the colour lists ("Blocos"): `hidden` by index into the
// model's block_names, 1 for a block whose colouring is hidden. An element
// of no block (-1), or of a block past the end of `hidden`, passes.
inline bool block_filter_passes(const std::vector<std::uint8_t>& hidden, int block) {
    return block < 0 || static_cast<std::size_t>(block) >= hidden.size() ||
           !hidden[static_cast<std::size_t>(block)];
}

// Whether element e of m, of drawable type t (family 1..3), is coloured:
// it passes the element-type filter of its family and the block filter.
inline bool colour_filters_pass(const std::array<int, 3>& filters, const std::vector<std::uint8_t>& hidden,
                                const ResultModel& m, std::size_t e, ElementType t) {
    return element_filter_passes(filters[static_cast<std::size_t>(t.family - 1)], t.order) &&
           (hidden.empty() || block_filter_passes(hidden, m.element_block(e)));
}

// Factor f of the deformed position: m (the typed factor) times P (the
// displacement slider, 0..100) over 50, so that the defaults m = 1, P = 50
// draw the displacements at true scale.
inline double displacement_factor(double m, int position) {
    return m * position / 50;
}

// Node positions. `node` is 1..nnode; `selector` is 3k for result list k
// (0..3*nlista), 0 selecting the node's own displacement (coord columns 4..6).
inline Point3 node_position(const ResultModel& m, std::int32_t node) {
    const double* c = m.coord_row(static_cast<std::size_t>(node));
    return {c[1], c[2], c[3]};
}

// The displacement a selector names, held for a walk over many nodes: list
// k's displacement block stays pinned while this lives.
class NodeDisplacement {
  public:
    NodeDisplacement(const ResultModel& m, int selector) : m_(&m) {
        const int k = selector / 3;
        if (selector > 0 && selector % 3 == 0 && k <= m.nlista) {
            held_ = m.displacement(k);
            at_ = held_.data(); // null: the list has none (zeros)
            stride_ = 3;
        } else {
            at_ = m.coord_data.empty() ? nullptr : m.coord_data.data() + 4;
            stride_ = ResultModel::coord_cols();
        }
    }
    Point3 deformed(std::int32_t node, double factor) const {
        const Point3 p = node_position(*m_, node);
        if (!at_) return p;
        const double* d = at_ + static_cast<std::size_t>(node) * stride_;
        return {p.x + factor * d[0], p.y + factor * d[1], p.z + factor * d[2]};
    }

  private:
    const ResultModel* m_;
    DisplacementValues held_;
    const double* at_ = nullptr;
    std::size_t stride_ = 3;
};

// One node's deformed position; walks over many nodes hold a NodeDisplacement.
inline Point3 deformed_position(const ResultModel& m, std::int32_t node, int selector, double factor) {
    return NodeDisplacement(m, selector).deformed(node, factor);
}

// Where nodes are taken from: undeformed, or deformed with a selector and factor.
struct NodePlacement {
    bool deformed = false;
    int selector = 0;  // 3k, 0..3*nlista (for_each_outline treats others as 0)
    double factor = 0; // displacement_factor(m, P)
    Point3 at(const ResultModel& m, std::int32_t node) const {
        return deformed ? deformed_position(m, node, selector, factor) : node_position(m, node);
    }
};

// A placement bound to a model for a walk over many nodes.
class PlacedNodes {
  public:
    PlacedNodes(const ResultModel& m, const NodePlacement& place)
        : m_(&m), deformed_(place.deformed), factor_(place.factor),
          displacement_(m, place.deformed ? place.selector : 0) {}
    Point3 at(std::int32_t node) const {
        return deformed_ ? displacement_.deformed(node, factor_) : node_position(*m_, node);
    }

  private:
    const ResultModel* m_;
    bool deformed_;
    double factor_;
    NodeDisplacement displacement_;
};

// Every outline segment of the model, element by element, as the two points
// in drawing order.
template <class F> void for_each_outline(const ResultModel& m, NodePlacement place, F&& emit) {
    if (place.deformed && (place.selector < 0 || place.selector > 3 * m.nlista)) place.selector = 0;
    const PlacedNodes nodes(m, place);
    for (std::size_t e = 1; e <= static_cast<std::size_t>(m.nelem); ++e) {
        const ElementType t = drawable_type(m, e);
        if (t.family == 0) continue;
        const std::int32_t* row = m.conec_data.data() + m.conec_start[e];
        for_each_outline_segment(t, [&](NodePair s) { emit(nodes.at(row[s.a]), nodes.at(row[s.b])); });
    }
}

// Raster position of node n's number: its undeformed position shifted by
// maxscale / 500 on each axis.
inline Point3 node_number_anchor(const ResultModel& m, std::int32_t node) {
    const double h = m.maxscale / 500;
    const Point3 p = node_position(m, node);
    return {p.x + h, p.y + h, p.z + h};
}

// Raster position of element e's number (undeformed): the middle of a line's
// first segment, the centroid of the first sub-triangle of a triangle
// (positions 1, 2, p + 2) or quadrilateral (1, 2, p + 3). No number for other
// families and for order <= 0, whose rows lack those nodes.
std::optional<Point3> element_number_anchor(const ResultModel& m, std::size_t e);

} // namespace orv
