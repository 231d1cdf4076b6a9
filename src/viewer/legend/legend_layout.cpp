#include "viewer/legend/legend_layout.h"

#include "viewer/legend/legend_format.h"

#include <cmath>

namespace orv {

std::vector<LegendTriangle> legend_bar(bool banded) {
    using namespace legend;
    std::vector<LegendTriangle> bar;
    if (banded) {
        for (int k = 0; k <= 8; ++k) {
            const double y0 = -1.85 + 0.35 * k, y1 = y0 + 0.35;
            bar.push_back({LegendVertex{kBarLeft, y0, k}, {kBarRight, y0, k}, {kBarRight, y1, k}});
            bar.push_back({LegendVertex{kBarLeft, y0, k}, {kBarRight, y1, k}, {kBarLeft, y1, k}});
        }
    } else {
        for (int k = 0; k <= 7; ++k) {
            const double y0 = -1.85 + 0.4 * k, y1 = -1.85 + 0.4 * (k + 1);
            bar.push_back({LegendVertex{kBarLeft, y0, k}, {kBarRight, y0, k}, {kBarRight, y1, k + 1}});
            bar.push_back({LegendVertex{kBarLeft, y0, k}, {kBarRight, y1, k + 1}, {kBarLeft, y1, k + 1}});
        }
    }
    return bar;
}

std::vector<LegendLabel> legend_labels(bool banded, bool scientific, double lo, double hi) {
    const int top = banded ? 9 : 8;
    const double step = banded ? 0.35 : 0.4;
    std::vector<LegendLabel> labels;
    for (int j = top; j >= 0; --j) {
        long double value;
        if (j == top) {
            value = hi;
        } else if (j == 0) {
            value = lo;
        } else {
            const long double f = static_cast<long double>(j) / top;
            value = static_cast<long double>(lo) + (static_cast<long double>(hi) - lo) * f;
        }
        labels.push_back({-1.9 + step * j, value, legend_value_text(value, scientific)});
    }
    return labels;
}

Rgb legend_row_colour(const LegendTable& table, int row, int trgb) {
    const auto& c = table[static_cast<std::size_t>(row < 0 ? 0 : row > 8 ? 8 : row)];
    const double t = trgb;
    return {std::fabs(t - c[0]), std::fabs(t - c[1]), std::fabs(t - c[2])};
}

std::vector<LegendText> legend_texts(const LegendInputs& in) {
    std::vector<LegendText> texts{{legend::kTitle, legend::kTextX, legend::kTitleY, true}};
    for (const LegendLabel& label : legend_labels(in.banded, in.scientific, in.range[0], in.range[1]))
        texts.push_back({label.text, legend::kTextX, label.y, false});
    return texts;
}

} // namespace orv
