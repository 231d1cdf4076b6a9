#include "viewer/render/extremes.h"

#include "viewer/legend/legend_format.h"
#include "viewer/render/element_geometry.h"

#include <algorithm>
#include <cmath>

namespace orv {

std::optional<ListExtremes> find_extremes(const ResultModel& m, int k) {
    if (k < 1 || k > m.nlista) return std::nullopt;
    std::optional<ListExtremes> out;
    const ListValues values = m.values(k);
    Point3 low{HUGE_VAL, HUGE_VAL, HUGE_VAL}, high{-HUGE_VAL, -HUGE_VAL, -HUGE_VAL};
    for (std::size_t n = 1; n <= static_cast<std::size_t>(m.nnode); ++n) {
        if (!m.node_drawn(n)) continue;
        const Point3 p = node_position(m, static_cast<std::int32_t>(n));
        low = {std::min(low.x, p.x), std::min(low.y, p.y), std::min(low.z, p.z)};
        high = {std::max(high.x, p.x), std::max(high.y, p.y), std::max(high.z, p.z)};
        const double v = values[n];
        if (std::isnan(v)) continue;
        const auto node = static_cast<std::int32_t>(n);
        if (!out) {
            out = ListExtremes{node, node, v, v};
            continue;
        }
        if (v < out->min) out->min_node = node, out->min = v;
        if (v > out->max) out->max_node = node, out->max = v;
    }
    if (out) out->size = std::max({high.x - low.x, high.y - low.y, high.z - low.z});
    return out;
}

std::u16string extreme_label(ExtremeEnd end, double value, bool scientific) {
    std::u16string text = end == ExtremeEnd::Min   ? u"m\u00EDn "
                          : end == ExtremeEnd::Max ? u"m\u00E1x "
                                                   : u"m\u00EDn/m\u00E1x ";
    for (const char c : legend_value_text(value, scientific))
        text += static_cast<char16_t>(static_cast<unsigned char>(c));
    return text;
}

bool extreme_hidden(double depth, std::span<const float> around, double tolerance) {
    if (around.empty()) return false;
    return std::all_of(around.begin(), around.end(),
                       [&](float d) { return static_cast<double>(d) < depth - tolerance; });
}

LabelPlace extreme_label_place(int x, int y, int text_width, int scale) {
    constexpr int kOffset = 6, kAbove = 12, kBelow = 3, kMargin = 2;
    LabelPlace p;
    p.text_x = x + kOffset * scale;
    p.text_y = y + kOffset * scale;
    p.box = {p.text_x - kMargin * scale, p.text_y - (kBelow + kMargin) * scale,
             (text_width + 2 * kMargin) * scale, (kAbove + kBelow + 2 * kMargin) * scale};
    return p;
}

} // namespace orv
