#include "viewer/render/arrows.h"

#include "viewer/model/displacement_fields.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>
#include <unordered_map>

namespace orv {

ArrowSource arrow_source(const ResultModel& m, const std::string& field, int k) {
    if (k < 0 || k > m.nlista) k = 0;
    if (field.empty()) return {ArrowSource::Kind::Displacement, k, {}};
    const std::vector<std::string> fields = displacement_fields(m);
    if (std::find(fields.begin(), fields.end(), field) == fields.end()) {
        std::string known;
        for (const std::string& n : fields)
            known += (known.empty() ? "" : ", ") + n;
        throw std::invalid_argument("No three-component nodal field named '" + field + "' for the arrows" +
                                    (known.empty() ? "; the file has none" : "; the fields are " + known));
    }
    if (const auto lists = field_lists_of_step(m, field, k)) return {ArrowSource::Kind::Lists, k, *lists};
    return {};
}

std::array<double, 3> arrow_vector(const ResultModel& m, const ArrowSource& s, std::int32_t node) {
    const auto i = static_cast<std::size_t>(node);
    switch (s.kind) {
    case ArrowSource::Kind::Displacement: {
        const double* c = m.coord_row(i) + 3 * static_cast<std::size_t>(s.list) + 4;
        return {c[0], c[1], c[2]};
    }
    case ArrowSource::Kind::Lists:
        return {m.listas(i, static_cast<std::size_t>(s.lists[0])),
                m.listas(i, static_cast<std::size_t>(s.lists[1])),
                m.listas(i, static_cast<std::size_t>(s.lists[2]))};
    case ArrowSource::Kind::None:
        break;
    }
    return {0, 0, 0};
}

std::vector<NodeArrow> node_arrows(const ResultModel& m, const ArrowSource& s, NodePlacement place) {
    std::vector<NodeArrow> arrows;
    if (s.kind == ArrowSource::Kind::None) return arrows;
    for (std::int32_t i = 1; i <= m.nnode; ++i) {
        if (!m.node_drawn(static_cast<std::size_t>(i))) continue;
        const std::array<double, 3> v = arrow_vector(m, s, i);
        const double mag = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
        if (!std::isfinite(mag) || mag == 0) continue;
        const Point3 base = place.at(m, i);
        if (!std::isfinite(base.x) || !std::isfinite(base.y) || !std::isfinite(base.z)) continue;
        arrows.push_back({i, base, v, mag});
    }
    return arrows;
}

double model_size(const ResultModel& m) {
    constexpr double inf = std::numeric_limits<double>::infinity();
    std::array<double, 3> lo{inf, inf, inf}, hi{-inf, -inf, -inf};
    bool any = false;
    for (std::size_t i = 1; i <= static_cast<std::size_t>(m.nnode); ++i) {
        if (!m.node_drawn(i)) continue;
        for (std::size_t j = 0; j < 3; ++j) {
            const double c = m.coord(i, j + 1);
            if (!std::isfinite(c)) continue;
            lo[j] = std::min(lo[j], c);
            hi[j] = std::max(hi[j], c);
            any = true;
        }
    }
    if (!any) return 0;
    double d2 = 0;
    for (std::size_t j = 0; j < 3; ++j)
        if (hi[j] >= lo[j]) d2 += (hi[j] - lo[j]) * (hi[j] - lo[j]);
    return std::sqrt(d2);
}

double arrow_length_scale(double longest, double size, double fraction, double factor) {
    const auto positive = [](double x) { return std::isfinite(x) && x > 0; };
    if (!positive(longest) || !positive(size) || !positive(fraction) || !positive(factor)) return 0;
    const double scale = fraction * factor * size / longest;
    return std::isfinite(scale) ? scale : 0;
}

std::array<double, 2> magnitude_range(std::span<const NodeArrow> arrows) {
    if (arrows.empty()) return {0, 0};
    std::array<double, 2> r{arrows.front().magnitude, arrows.front().magnitude};
    for (const NodeArrow& a : arrows) {
        r[0] = std::min(r[0], a.magnitude);
        r[1] = std::max(r[1], a.magnitude);
    }
    return r;
}

ScreenPoint project_to_screen(const Point3& p, const std::array<double, 16>& mv,
                              const std::array<double, 16>& pr, const std::array<int, 4>& vp) {
    const auto apply = [](const std::array<double, 16>& m, const std::array<double, 4>& v) {
        std::array<double, 4> r{};
        for (std::size_t i = 0; i < 4; ++i)
            r[i] = m[i] * v[0] + m[4 + i] * v[1] + m[8 + i] * v[2] + m[12 + i] * v[3];
        return r;
    };
    const std::array<double, 4> c = apply(pr, apply(mv, {p.x, p.y, p.z, 1}));
    if (!(c[3] > 0)) return {0, 0, false};
    const double x = vp[0] + vp[2] * (c[0] / c[3] + 1) / 2;
    const double y = vp[1] + vp[3] * (c[1] / c[3] + 1) / 2;
    const bool inside = x >= vp[0] && x <= vp[0] + vp[2] && y >= vp[1] && y <= vp[1] + vp[3];
    return {x, y, inside};
}

Rgb arrow_colour(double magnitude, std::array<double, 2> range, bool banded, bool negative) {
    if (!banded) return value_color(negative ? 1 : 0, range[1], range[0], magnitude);
    const Rgba c =
        band_piece_color(find_band(band_limits(range[0], range[1]), magnitude), false, negative, 0);
    return {c.r, c.g, c.b};
}

std::vector<std::size_t> thin_on_screen(std::span<const ScreenPoint> points,
                                        std::span<const double> magnitudes, double cell) {
    std::vector<std::size_t> kept;
    const auto usable = [](const ScreenPoint& p) {
        return p.visible && std::isfinite(p.x) && std::isfinite(p.y);
    };
    if (!(cell > 0) || !std::isfinite(cell)) {
        for (std::size_t i = 0; i < points.size(); ++i)
            if (usable(points[i])) kept.push_back(i);
        return kept;
    }
    // Square (cx, cy) -> the point chosen so far. Cells beyond +-2^31 squares
    // are off any screen; they are clamped, which merges them harmlessly.
    std::unordered_map<std::uint64_t, std::size_t> best;
    const auto square = [cell](double v) {
        const double c = std::floor(v / cell);
        return static_cast<std::int32_t>(std::clamp(c, -2147483648.0, 2147483647.0));
    };
    for (std::size_t i = 0; i < points.size() && i < magnitudes.size(); ++i) {
        if (!usable(points[i])) continue;
        const std::uint64_t key =
            (static_cast<std::uint64_t>(static_cast<std::uint32_t>(square(points[i].x))) << 32) |
            static_cast<std::uint32_t>(square(points[i].y));
        const auto [it, fresh] = best.try_emplace(key, i);
        if (!fresh && magnitudes[i] > magnitudes[it->second]) it->second = i;
    }
    kept.reserve(best.size());
    for (const auto& [key, i] : best)
        kept.push_back(i);
    std::sort(kept.begin(), kept.end());
    return kept;
}

void arrow_segments(const NodeArrow& arrow, double scale, ArrowSink& sink) {
    const std::array<double, 3> d{arrow.vector[0] * scale, arrow.vector[1] * scale, arrow.vector[2] * scale};
    const double len = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
    if (!std::isfinite(len) || len == 0) return;
    const std::array<double, 3> u{d[0] / len, d[1] / len, d[2] / len};
    // Two unit vectors at right angles to the shaft: start from the axis
    // least aligned with it, so the cross product is well conditioned.
    std::size_t least = 0;
    for (std::size_t j = 1; j < 3; ++j)
        if (std::fabs(u[j]) < std::fabs(u[least])) least = j;
    std::array<double, 3> a{0, 0, 0};
    a[least] = 1;
    const auto cross = [](const std::array<double, 3>& p, const std::array<double, 3>& q) {
        return std::array<double, 3>{p[1] * q[2] - p[2] * q[1], p[2] * q[0] - p[0] * q[2],
                                     p[0] * q[1] - p[1] * q[0]};
    };
    std::array<double, 3> p = cross(u, a);
    const double pl = std::sqrt(p[0] * p[0] + p[1] * p[1] + p[2] * p[2]);
    for (double& c : p)
        c /= pl;
    const std::array<double, 3> q = cross(u, p);

    const Point3 base = arrow.base;
    const Point3 tip{base.x + d[0], base.y + d[1], base.z + d[2]};
    sink.segment(base, tip, arrow.magnitude);
    const double back = kArrowHeadLength * len, side = kArrowHeadWidth * len;
    const Point3 neck{tip.x - u[0] * back, tip.y - u[1] * back, tip.z - u[2] * back};
    for (const auto& [w, sign] :
         {std::pair{p, 1.0}, std::pair{p, -1.0}, std::pair{q, 1.0}, std::pair{q, -1.0}}) {
        const Point3 end{neck.x + sign * side * w[0], neck.y + sign * side * w[1],
                         neck.z + sign * side * w[2]};
        sink.segment(tip, end, arrow.magnitude);
    }
}

} // namespace orv
