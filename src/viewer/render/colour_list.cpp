#include "viewer/render/colour_list.h"

namespace orv {

std::array<double, 2> colour_range(const ResultModel& m, int k, int legmax) {
    const int r = (1 - legmax) * k;
    const auto& row = m.maxlista[static_cast<std::size_t>(r >= 0 && r <= m.nlista ? r : 0)];
    return {row[0], row[1]};
}

void walk_colour_list(const ResultModel& m, int k, const ColourListSettings& settings,
                      ColourPieceSink& sink) {
    if (k < 1 || k > m.nlista) return;
    const auto [lo, hi] = colour_range(m, k, settings.legmax);
    const double f = displacement_factor(settings.factor, settings.displacement_position);
    const int selector = 3 * k;
    const double alpha = fill_alpha(settings.transparency_position);
    const BandCutter cutter(lo, hi);
    const std::size_t lists = m.listas_cols();
    const double* values = m.listas_data.data();

    // Position and value of the node at position `at` of the current row.
    const std::int32_t* row = nullptr;
    const auto vertex = [&](int at, Point3& p, double& v) {
        const std::int32_t node = row[at];
        p = deformed_position(m, node, selector, f);
        v = values[static_cast<std::size_t>(node) * lists + static_cast<std::size_t>(k)];
    };
    const auto shade = [&](double v, double a) {
        const Rgb c = value_color(settings.trgb, hi, lo, v);
        return Rgba{c.r, c.g, c.b, a};
    };

    Point3 p[3];
    double q[3];
    Rgba c[3];
    const auto segment = [&](NodePair s) {
        vertex(s.a, p[0], q[0]);
        vertex(s.b, p[1], q[1]);
        if (settings.banded) {
            cutter.segment(p, q, sink);
            return;
        }
        for (int i = 0; i < 2; ++i)
            c[i] = settings.solid ? Rgba{1, 1, 1, 0} : shade(q[i], alpha);
        sink.shaded_piece(p, c, 2);
    };
    const auto triangle = [&](NodeTriple t) {
        vertex(t.a, p[0], q[0]);
        vertex(t.b, p[1], q[1]);
        vertex(t.c, p[2], q[2]);
        if (settings.banded) {
            cutter.triangle(p, q, sink);
            return;
        }
        for (int i = 0; i < 3; ++i)
            c[i] = settings.solid ? Rgba{1, 1, 1, alpha} : shade(q[i], alpha);
        sink.shaded_piece(p, c, 3);
    };

    for (std::size_t e = 1; e <= static_cast<std::size_t>(m.nelem); ++e) {
        const ElementType t = drawable_type(m, e);
        if (t.family == 0 || !element_filter_passes(settings.filters[t.family - 1], t.order)) continue;
        row = m.conec_data.data() + m.conec_start[e];
        for_each_colour_piece(t, segment, triangle);
    }
}

} // namespace orv
