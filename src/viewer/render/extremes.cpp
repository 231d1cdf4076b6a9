#include "viewer/render/extremes.h"

#include <cmath>

namespace orv {

std::optional<ListExtremes> find_extremes(const ResultModel& m, int k) {
    if (k < 1 || k > m.nlista) return std::nullopt;
    std::optional<ListExtremes> out;
    const ListValues values = m.values(k);
    for (std::size_t n = 1; n <= static_cast<std::size_t>(m.nnode); ++n) {
        if (!m.node_drawn(n)) continue;
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
    return out;
}

} // namespace orv
