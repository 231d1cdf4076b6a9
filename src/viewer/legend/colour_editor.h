#pragma once
// Conversions of the legend colour editor between the colour table
// (components 0..1) and its nine panels (bytes 0..255).
//
// Panel n (Panel2..Panel10) shows colour row 10 - n: the top panel row 8,
// the bottom one row 0.

#include "viewer/legend/colour_scale.h"

#include <array>
#include <string>

namespace orv {

// table -> panel: trunc(c * 255), the product rounded to a double first, so
// 0.5 -> 127 and 1 -> 255. Components outside 0..1 (never written by this
// program) are clamped to a byte.
int component_to_byte(double c);

// panel -> table: the double nearest b / 255, so 127 -> 0.4980392156862745.
inline double byte_to_component(int b) {
    return b / 255.0;
}

struct Rgb8 {
    int r = 0, g = 0, b = 0;
    friend bool operator==(const Rgb8&, const Rgb8&) = default;
};

Rgb8 row_bytes(const LegendTable& table, int row);

// "255 - 127 - 0": the bytes in decimal joined by " - ", red first.
std::string panel_caption(Rgb8 c);

// The caption's colour: the complement (255 - r, 255 - g, 255 - b).
inline Rgb8 complement(Rgb8 c) {
    return {255 - c.r, 255 - c.g, 255 - c.b};
}

// Colour row shown by panel index i = 0..8 (Panel2 = 0 .. Panel10 = 8).
inline int panel_row(int i) {
    return 8 - i;
}

// "Aplicar": row k of the table from the bytes of its panel.
inline std::array<double, 3> row_from_bytes(Rgb8 c) {
    return {byte_to_component(c.r), byte_to_component(c.g), byte_to_component(c.b)};
}

} // namespace orv
