#include "viewer/render/colour_list.h"

#include <cmath>
#include <vector>

namespace orv {

std::array<double, 2> colour_range(const ResultModel& m, int k, int legmax) {
    const int r = (1 - legmax) * k;
    const auto& row = m.maxlista[static_cast<std::size_t>(r >= 0 && r <= m.nlista ? r : 0)];
    return {row[0], row[1]};
}

Rgba continuous_colour(const ColourListSettings& s, double lo, double hi, double v, int count) {
    const double alpha = fill_alpha(s.transparency_position);
    if (s.solid) return {1, 1, 1, count == 2 ? 0.0 : alpha};
    const Rgb c = value_color(s.trgb, hi, lo, v);
    return {c.r, c.g, c.b, alpha};
}

int subdivision_for(const ResultModel& m) {
    long triangles = 0;
    for (std::size_t e = 1; e <= static_cast<std::size_t>(m.nelem); ++e) {
        const ElementType t = drawable_type(m, e);
        if (t.family == 2) triangles += long(t.order) * t.order;
        if (t.family == 3) triangles += 2L * t.order * t.order;
        if (triangles > kSubdivisionBudget) return 1;
    }
    if (triangles == 0) return 1;
    // A cell of two sub-triangles becomes n * n cells of four.
    int n = 1;
    while (n < 16 && 2L * (n + 1) * (n + 1) * triangles <= kSubdivisionBudget)
        ++n;
    return n;
}

namespace {

// Lagrange basis of order p on the equispaced nodes -1 + 2i/p, at x.
void lagrange(int p, double x, double* out) {
    for (int i = 0; i <= p; ++i) {
        double v = 1;
        const double xi = -1 + 2.0 * i / p;
        for (int j = 0; j <= p; ++j)
            if (j != i) v *= (x - (-1 + 2.0 * j / p)) / (xi - (-1 + 2.0 * j / p));
        out[i] = v;
    }
}

} // namespace

void walk_colour_list(const ResultModel& m, int k, const ColourListSettings& settings,
                      ColourPieceSink& sink) {
    if (k < 1 || k > m.nlista) return;
    const auto [lo, hi] = colour_range(m, k, settings.legmax);
    const double f = displacement_factor(settings.factor, settings.displacement_position);
    const BandCutter cutter(lo, hi);
    // Both blocks stay pinned for the whole walk.
    const ListValues values = m.values(k);
    const NodeDisplacement displacement(m, 3 * k);

    // Position and value of the node at position `at` of the current row.
    const std::int32_t* row = nullptr;
    const auto vertex = [&](int at, Point3& p, double& v) {
        const std::int32_t node = row[at];
        p = displacement.deformed(node, f);
        v = values[static_cast<std::size_t>(node)];
    };

    const auto emit = [&](const Point3* p, const double* q, int count) {
        for (int i = 0; i < count; ++i)
            if (std::isnan(q[i])) {
                sink.blank_piece(p, count);
                return;
            }
        if (!settings.banded)
            sink.shaded_piece(p, q, count);
        else if (count == 2)
            cutter.segment(p, q, sink);
        else
            cutter.triangle(p, q, sink);
    };

    Point3 p[3];
    double q[3];
    const auto segment = [&](NodePair s) {
        vertex(s.a, p[0], q[0]);
        vertex(s.b, p[1], q[1]);
        emit(p, q, 2);
    };
    const auto triangle = [&](NodeTriple t) {
        vertex(t.a, p[0], q[0]);
        vertex(t.b, p[1], q[1]);
        vertex(t.c, p[2], q[2]);
        emit(p, q, 3);
    };

    // Subdivided quadrilaterals: the element's lattice nodes, the basis at
    // the 2n + 1 half-steps of each axis, the sampled points and values.
    const int sub = settings.subdivide < 1 ? 1 : (settings.subdivide > 16 ? 16 : settings.subdivide);
    std::vector<Point3> node_p;
    std::vector<double> node_q, basis;
    std::vector<Point3> grid_p;
    std::vector<double> grid_q;
    int basis_order = 0;
    const auto subdivided_quad = [&](int order) {
        const int w = order + 1;
        const int n = sub * order; // cells per side
        const int g = 2 * n + 1;   // half-step samples per side
        if (basis_order != order) {
            basis.assign(static_cast<std::size_t>(g * w), 0.0);
            for (int a = 0; a < g; ++a)
                lagrange(order, -1 + 2.0 * a / (g - 1), &basis[static_cast<std::size_t>(a * w)]);
            basis_order = order;
        }
        node_p.resize(static_cast<std::size_t>(w * w));
        node_q.resize(static_cast<std::size_t>(w * w));
        for (int i = 0; i < w * w; ++i)
            vertex(i + 1, node_p[static_cast<std::size_t>(i)], node_q[static_cast<std::size_t>(i)]);
        grid_p.assign(static_cast<std::size_t>(g * g), Point3{});
        grid_q.assign(static_cast<std::size_t>(g * g), 0.0);
        for (int b = 0; b < g; ++b)
            for (int a = 0; a < g; ++a) {
                // Corners at even (a, b), centres at odd ones; nothing else is used.
                if ((a % 2) != (b % 2)) continue;
                Point3 sp;
                double sq = 0;
                for (int r = 0; r < w; ++r)
                    for (int i = 0; i < w; ++i) {
                        const double N = basis[static_cast<std::size_t>(a * w + i)] *
                                         basis[static_cast<std::size_t>(b * w + r)];
                        if (N == 0) continue;
                        const auto at = static_cast<std::size_t>(r * w + i);
                        sp.x += N * node_p[at].x;
                        sp.y += N * node_p[at].y;
                        sp.z += N * node_p[at].z;
                        sq += N * node_q[at];
                    }
                grid_p[static_cast<std::size_t>(b * g + a)] = sp;
                grid_q[static_cast<std::size_t>(b * g + a)] = sq;
            }
        const auto at = [&](int a, int b) { return static_cast<std::size_t>(b * g + a); };
        for (int b = 0; b < n; ++b)
            for (int a = 0; a < n; ++a) {
                const std::size_t ring[4] = {at(2 * a, 2 * b), at(2 * a + 2, 2 * b), at(2 * a + 2, 2 * b + 2),
                                             at(2 * a, 2 * b + 2)};
                const std::size_t centre = at(2 * a + 1, 2 * b + 1);
                for (int s = 0; s < 4; ++s) {
                    const std::size_t u = ring[s], v = ring[(s + 1) % 4];
                    p[0] = grid_p[u];
                    p[1] = grid_p[v];
                    p[2] = grid_p[centre];
                    q[0] = grid_q[u];
                    q[1] = grid_q[v];
                    q[2] = grid_q[centre];
                    emit(p, q, 3);
                }
            }
    };

    for (std::size_t e = 1; e <= static_cast<std::size_t>(m.nelem); ++e) {
        const ElementType t = drawable_type(m, e);
        if (t.family == 0 || !colour_filters_pass(settings.filters, settings.hidden_blocks, m, e, t))
            continue;
        row = m.conec_data.data() + m.conec_start[e];
        if (t.family == 3 && sub > 1)
            subdivided_quad(t.order);
        else
            for_each_colour_piece(t, segment, triangle);
    }
}

namespace {

class ChunkBuilder final : public ColourPieceSink {
  public:
    ChunkBuilder(const ColourListSettings& s, const ReferenceRange& reference)
        : solid_(s.solid), reference_(reference),
          line_width_(static_cast<float>(s.deformed_checked ? s.line_def_w : 3)) {}

    void piece(int band, const Point3* pts, int count) override {
        if (solid_) {
            flat(pts, count, {1, 1, 1, 1}, true);
            return;
        }
        begin(count, true, {}, true);
        const auto t = static_cast<float>(band_coordinate(band));
        for (int i = 0; i < count; ++i) {
            xyz(pts[i]);
            chunk_.tex.push_back(t);
        }
    }
    void shaded_piece(const Point3* pts, const double* values, int count) override {
        if (solid_) {
            flat(pts, count, {1, 1, 1, count == 2 ? 0.0 : 1.0}, count != 2);
            return;
        }
        begin(count, true, {}, true);
        for (int i = 0; i < count; ++i) {
            xyz(pts[i]);
            chunk_.tex.push_back(static_cast<float>(reference_.coordinate(values[i])));
        }
    }
    void blank_piece(const Point3* pts, int count) override {
        const Rgb c = kNoValueColour;
        flat(pts, count, {c.r, c.g, c.b, 1}, true);
    }
    PieceChunks finish() {
        if (!chunk_.xyz.empty()) out_.push_back(std::move(chunk_));
        return std::move(out_);
    }

  private:
    void flat(const Point3* pts, int count, const Rgba& colour, bool fill) {
        begin(count, false, colour, fill);
        for (int i = 0; i < count; ++i)
            xyz(pts[i]);
    }
    void begin(int count, bool textured, const Rgba& colour, bool fill) {
        PieceStyle style;
        style.mode = count == 2 ? PieceMode::Lines : PieceMode::Triangles;
        style.blend = true;
        style.offset = count != 2;
        style.lift = count == 2;
        style.line_width = line_width_;
        style.colour_per_vertex = false;
        style.textured = textured;
        style.colour = colour;
        style.fill_alpha = fill;
        if (style == chunk_.style && chunk_.vertices() + 3 <= kRunVertices) return;
        if (!chunk_.xyz.empty()) out_.push_back(std::move(chunk_));
        chunk_ = PieceChunk{};
        chunk_.style = style;
    }
    void xyz(const Point3& p) {
        chunk_.xyz.push_back(static_cast<float>(p.x));
        chunk_.xyz.push_back(static_cast<float>(p.y));
        chunk_.xyz.push_back(static_cast<float>(p.z));
    }

    bool solid_;
    ReferenceRange reference_;
    float line_width_;
    PieceChunk chunk_;
    PieceChunks out_;
};

} // namespace

PieceChunks colour_chunks(const ResultModel& m, int k, const ColourListSettings& settings,
                          const ReferenceRange& reference) {
    ChunkBuilder builder(settings, reference);
    walk_colour_list(m, k, settings, builder);
    return builder.finish();
}

} // namespace orv
