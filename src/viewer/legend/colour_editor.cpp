#include "viewer/legend/colour_editor.h"

#include <cmath>

namespace orv {

int component_to_byte(double c) {
    const double product = c * 255.0; // a double, so 0.5 * 255 = 127.5 exactly
    if (!(product > 0)) return 0;     // also NaN
    if (product >= 255) return 255;
    return static_cast<int>(std::trunc(product));
}

Rgb8 row_bytes(const LegendTable& table, int row) {
    const auto& c = table[static_cast<std::size_t>(row < 0 ? 0 : row > 8 ? 8 : row)];
    return {component_to_byte(c[0]), component_to_byte(c[1]), component_to_byte(c[2])};
}

std::string panel_caption(Rgb8 c) {
    return std::to_string(c.r) + " - " + std::to_string(c.g) + " - " + std::to_string(c.b);
}

} // namespace orv
