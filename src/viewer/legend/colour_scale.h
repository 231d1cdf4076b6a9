#pragma once
// The colour scale: the process-wide colour table and the maps from a scalar
// value to a colour, continuous (value_color) or in flat bands (band_limits,
// find_band, band_color_row, band_piece_color).
//
// Nothing here requires lo < hi. The maps rely on IEEE division: lo = hi makes
// (x - lo) / (hi - lo) an infinity or a NaN, which the tests below turn into
// the end colours. The build must therefore never use -ffast-math.

#include <array>

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

} // namespace orv
