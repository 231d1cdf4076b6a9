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

namespace {

// The vectors of one source, its lists or displacement held for a walk.
class ArrowVectors {
  public:
    ArrowVectors(const ResultModel& m, const ArrowSource& s) : kind_(s.kind) {
        if (kind_ == ArrowSource::Kind::Displacement) {
            if (s.list >= 1 && s.list <= m.nlista) {
                disp_ = m.displacement(s.list);
                at_ = disp_.data(); // null: the list has none (zeros)
            } else if (!m.coord_data.empty()) {
                at_ = m.coord_data.data() + 4;
                stride_ = ResultModel::coord_cols();
            }
        } else if (kind_ == ArrowSource::Kind::Lists) {
            for (std::size_t c = 0; c < 3; ++c)
                if (s.lists[c] >= 1 && s.lists[c] <= m.nlista) lists_[c] = m.values(s.lists[c]);
        }
    }
    std::array<double, 3> operator()(std::int32_t node) const {
        const auto i = static_cast<std::size_t>(node);
        if (kind_ == ArrowSource::Kind::Displacement) {
            if (!at_) return {0, 0, 0};
            const double* c = at_ + i * stride_;
            return {c[0], c[1], c[2]};
        }
        if (kind_ == ArrowSource::Kind::Lists)
            return {lists_[0].empty() ? 0.0 : lists_[0][i], lists_[1].empty() ? 0.0 : lists_[1][i],
                    lists_[2].empty() ? 0.0 : lists_[2][i]};
        return {0, 0, 0};
    }

  private:
    ArrowSource::Kind kind_;
    DisplacementValues disp_;
    const double* at_ = nullptr;
    std::size_t stride_ = 3;
    std::array<ListValues, 3> lists_;
};

} // namespace

std::array<double, 3> arrow_vector(const ResultModel& m, const ArrowSource& s, std::int32_t node) {
    return ArrowVectors(m, s)(node);
}

namespace {

// Calls emit(node, vector, magnitude) for every drawn node with a finite,
// non-zero vector, in node order.
template <class F> void for_each_arrow(const ResultModel& m, const ArrowSource& s, F&& emit) {
    if (s.kind == ArrowSource::Kind::None) return;
    const ArrowVectors vectors(m, s);
    for (std::int32_t i = 1; i <= m.nnode; ++i) {
        if (!m.node_drawn(static_cast<std::size_t>(i))) continue;
        const std::array<double, 3> v = vectors(i);
        const double mag = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
        if (std::isfinite(mag) && mag != 0) emit(i, v, mag);
    }
}

bool finite(const Point3& p) {
    return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z);
}

} // namespace

std::vector<NodeArrow> node_arrows(const ResultModel& m, const ArrowSource& s, NodePlacement place) {
    std::vector<NodeArrow> arrows;
    const PlacedNodes placed(m, place);
    for_each_arrow(m, s, [&](std::int32_t i, const std::array<double, 3>& v, double mag) {
        const Point3 base = placed.at(i);
        if (finite(base)) arrows.push_back({i, base, v, mag});
    });
    return arrows;
}

ArrowChoice choose_arrows(const ResultModel& m, const ArrowSource& s, NodePlacement place,
                          const std::function<ScreenPoint(const Point3&)>& project, double cell) {
    ArrowChoice choice;
    ScreenGrid grid(cell);
    bool any = false;
    const PlacedNodes placed(m, place);
    for_each_arrow(m, s, [&](std::int32_t i, const std::array<double, 3>&, double mag) {
        const Point3 base = placed.at(i);
        if (!finite(base)) return;
        choice.range =
            any ? std::array<double, 2>{std::min(choice.range[0], mag), std::max(choice.range[1], mag)}
                : std::array<double, 2>{mag, mag};
        any = true;
        grid.add(static_cast<std::size_t>(i), project(base), mag);
    });
    const ArrowVectors vectors(m, s);
    for (const std::size_t node : grid.kept()) {
        const auto i = static_cast<std::int32_t>(node);
        const std::array<double, 3> v = vectors(i);
        choice.arrows.push_back({i, placed.at(i), v, std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2])});
    }
    return choice;
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

std::array<double, 2> magnitude_range(const ResultModel& m, const ArrowSource& s) {
    std::array<double, 2> r{0, 0};
    bool any = false;
    for_each_arrow(m, s, [&](std::int32_t, const std::array<double, 3>&, double mag) {
        r = any ? std::array<double, 2>{std::min(r[0], mag), std::max(r[1], mag)}
                : std::array<double, 2>{mag, mag};
        any = true;
    });
    return r;
}

ScreenGrid::ScreenGrid(double cell) : cell_(std::isfinite(cell) && cell > 0 ? cell : 0) {}

void ScreenGrid::add(std::size_t index, const ScreenPoint& p, double magnitude) {
    if (!p.visible || !std::isfinite(p.x) || !std::isfinite(p.y)) return;
    if (cell_ == 0) {
        all_.push_back(index);
        return;
    }
    // Squares beyond +-2^31 are off any screen; clamped, they merge harmlessly.
    const auto square = [this](double v) {
        const double c = std::floor(v / cell_);
        return static_cast<std::uint32_t>(
            static_cast<std::int32_t>(std::clamp(c, -2147483648.0, 2147483647.0)));
    };
    const std::uint64_t key = (static_cast<std::uint64_t>(square(p.x)) << 32) | square(p.y);
    const auto [it, fresh] = best_.try_emplace(key, index, magnitude);
    if (!fresh && magnitude > it->second.second) it->second = {index, magnitude};
}

std::vector<std::size_t> ScreenGrid::kept() const {
    std::vector<std::size_t> kept = all_;
    kept.reserve(all_.size() + best_.size());
    for (const auto& [key, chosen] : best_)
        kept.push_back(chosen.first);
    std::sort(kept.begin(), kept.end());
    return kept;
}

std::vector<std::size_t> thin_on_screen(std::span<const ScreenPoint> points,
                                        std::span<const double> magnitudes, double cell) {
    ScreenGrid grid(cell);
    for (std::size_t i = 0; i < points.size() && i < magnitudes.size(); ++i)
        grid.add(i, points[i], magnitudes[i]);
    return grid.kept();
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
