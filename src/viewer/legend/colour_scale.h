#pragma once
// The colour scale: the process-wide colour table and the maps from a scalar
// value to a colour, continuous (value_color) or in flat bands (band_limits,
// find_band, band_color_row, band_piece_color).
//
// Nothing here requires lo < hi. The maps rely on IEEE division: lo = hi makes
// (x - lo) / (hi - lo) an infinity or a NaN, which the tests below turn into
// the end colours. The build must therefore never use -ffast-math.

#include <array>
#include <cstdint>

namespace orv {

struct Rgb {
    double r = 0, g = 0, b = 0;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};

struct Rgba {
    double r = 0, g = 0, b = 0, a = 1;
    friend bool operator==(const Rgba&, const Rgba&) = default;
};

// Nine colour rows, 0 = low end of the range, 8 = high end; red, green, blue
// in 0..1. One table for the whole process, shared by every viewer; it starts
// out holding "Escala 1". Writers: load_legend and the legend colour editor.
using LegendTable = std::array<std::array<double, 3>, 9>;
extern LegendTable legcolor;

// def 0 loads "Escala 1" (red .. blue), def 1 "Escala 2" (light to dark grey,
// each component the double nearest n/255). Any other def leaves the table as it is.
void load_legend(int def);

// Continuous map of value x over the range [lo, hi] (note the argument order:
// hi before lo). trgb = 1 reverses every component (1 - c). f = (x-lo)/(hi-lo):
// f < 0 or NaN gives row 0, f > 1 row 8, otherwise a linear blend between the
// two rows of the eighth of the range that holds f.
Rgb value_color(int trgb, double hi, double lo, double x);

// Band limits t1..t10, t(k) held at index k - 1: t1 = lo, then a running sum
// of steps (hi - lo) / 9, and t10 = hi itself. The running sum, rather than
// lo + k * step, fixes the exact limits that values are compared with.
using BandLimits = std::array<double, 10>;
BandLimits band_limits(double lo, double hi);

// Band index 1..11 of x against the limits: band 1 below t1, band k between
// t(k-1) (included) and t(k), band 11 at or above t10. The eleven tests are
// made in that order and the last one that holds wins, which settles the
// cases of limits that do not increase (hi < lo, lo = hi). NaN gives band 1,
// and so does a value that no test accepts (possible only with NaN limits).
int find_band(const BandLimits& t, double x);

// Colour row (0..8) that paints band index 1..11; out-of-range indices are
// clamped to the nearest band.
int band_color_row(int band);

// Flat colour of one band piece: the band's row of legcolor, then white when
// `solid` ("Malha Sólida"), then 1 - c when `negative` ("Legenda Negativa"),
// and alpha = 1 - transparency_position / 100 (TrackBar2, 0..100).
Rgba band_piece_color(int band, bool solid, bool negative, int transparency_position);

// Alpha of the fills for a TrackBar2 position 0..100.
inline double fill_alpha(int transparency_position) {
    return 1.0 - transparency_position / 100.0;
}

// The scale as a texture: the picture colours a piece by the value between
// its vertices, looked up in a 1D texture of the nine rows, so that no colour
// between two vertices is one the legend lacks. With linear filtering and the
// coordinate scale_coordinate(f), the lookup is value_color's blend between
// rows, and clamping to the edge gives the end rows outside the range.
inline constexpr int kScaleTexels = 9;
using ScaleTexels = std::array<std::array<std::uint8_t, 4>, kScaleTexels>;

// Rows 0..8 of legcolor as 8-bit RGBA, alpha 255; reverse = 1 - c (trgb = 1
// for the continuous map, "Legenda Negativa" for the bands).
ScaleTexels scale_texels(bool reverse);

// Texture coordinate of the fraction f of the range: row j's texel centre
// at f = j / 8.
inline double scale_coordinate(double f) {
    return (0.5 + 8 * f) / kScaleTexels;
}

// Texture coordinate of a band piece: the centre of its row's texel.
inline double band_coordinate(int band) {
    return (band_color_row(band) + 0.5) / kScaleTexels;
}

// Colour of a piece that has no value (a node whose result is NaN): a neutral
// grey, never a colour of "Escala 1". ("Escala 2" is itself a grey ramp.)
inline constexpr Rgb kNoValueColour{0.5, 0.5, 0.5};

// Values are handed to the picture once, as the coordinate t = (v - lo0) /
// (hi0 - lo0) against a reference range fixed when the geometry is built (the
// list's own range). The range shown, [lo,
// hi], is then a map s = scale * t + offset onto the texture coordinate,
// which changes without touching the geometry.
struct ScaleMapping {
    double scale = 1;
    double offset = 0;
};

struct ReferenceRange {
    double lo = 0, hi = 1;
    // A range that t can be computed against: [lo, hi] itself; [lo, lo + 1]
    // when lo = hi (t = v - lo); [0, 1] (t = v) when it is not finite.
    static ReferenceRange of(double lo, double hi);
    double coordinate(double v) const { return (v - lo) / (hi - lo); }
};

// The map for the range [lo, hi] shown. lo = hi, where value_color jumps from
// row 0 to row 8 just above lo, becomes a ramp a millionth of |lo| or of the
// reference range wide (whichever is wider) above lo; hi < lo runs the scale backwards, as
// value_color does. A range that is not finite maps every value to row 0.
ScaleMapping scale_mapping(const ReferenceRange& reference, double lo, double hi);

} // namespace orv
