#include "viewer/legend/colour_scale.h"

#include <algorithm>
#include <cmath>

// Infinities and NaNs carry meaning here (lo = hi); a fast-math build would fold them away.
#if defined(__FAST_MATH__) || (defined(__FINITE_MATH_ONLY__) && __FINITE_MATH_ONLY__)
#error "the colour scale needs IEEE infinities and NaNs: do not build with -ffast-math"
#endif

namespace orv {

namespace {

constexpr LegendTable scale_1 = {{
    {1.0, 0.0, 0.0}, // red
    {1.0, 0.5, 0.0}, // orange
    {1.0, 1.0, 0.0}, // yellow
    {0.5, 1.0, 0.0}, // yellow-green
    {0.0, 1.0, 0.0}, // green
    {0.0, 1.0, 0.5}, // spring green
    {0.0, 1.0, 1.0}, // cyan
    {0.0, 0.5, 1.0}, // azure
    {0.0, 0.0, 1.0}, // blue
}};

constexpr LegendTable grey_scale(const std::array<int, 9>& levels) {
    LegendTable t{};
    for (int i = 0; i < 9; ++i) {
        const double g = levels[i] / 255.0;
        t[i] = {g, g, g};
    }
    return t;
}

constexpr LegendTable scale_2 = grey_scale({245, 234, 192, 178, 150, 119, 95, 77, 51});

Rgb row_color(int row) {
    return {legcolor[row][0], legcolor[row][1], legcolor[row][2]};
}

} // namespace

// Holds "Escala 1" from the start, so that nothing ever reads an empty table.
LegendTable legcolor = scale_1;

void load_legend(int def) {
    if (def == 0)
        legcolor = scale_1;
    else if (def == 1)
        legcolor = scale_2;
}

Rgb value_color(int trgb, double hi, double lo, double x) {
    const double f = (x - lo) / (hi - lo);
    Rgb c;
    if (f < 0 || std::isnan(f)) {
        c = row_color(0);
    } else if (f > 1) {
        c = row_color(8);
    } else {
        // The intervals [j/8, (j+1)/8) with the last match winning (I5..I7
        // are closed at both ends) pick j = floor(8f), and j = 7 for f = 1.
        // 8f is exact in binary floating point, so this is the same test.
        int j = static_cast<int>(f * 8);
        if (j > 7) j = 7;
        const double offset = f - j / 8.0;
        const auto& a = legcolor[j];
        const auto& b = legcolor[j + 1];
        c = {a[0] + (b[0] - a[0]) * offset * 8, a[1] + (b[1] - a[1]) * offset * 8,
             a[2] + (b[2] - a[2]) * offset * 8};
    }
    if (trgb == 1) c = {1 - c.r, 1 - c.g, 1 - c.b};
    return c;
}

BandLimits band_limits(double lo, double hi) {
    BandLimits t;
    const double step = (hi - lo) / 9;
    t[0] = lo;
    for (int k = 1; k < 9; ++k)
        t[k] = t[k - 1] + step;
    t[9] = hi;
    return t;
}

int find_band(const BandLimits& t, double x) {
    if (std::isnan(x)) return 1;
    int band = 1; // also the answer when no test holds
    if (x < t[0]) band = 1;
    for (int k = 2; k <= 10; ++k)
        if (t[k - 2] <= x && x < t[k - 1]) band = k;
    if (x >= t[9]) band = 11;
    return band;
}

int band_color_row(int band) {
    // Bands 1 and 2 share row 0, bands 10 and 11 row 8.
    if (band <= 2) return 0;
    if (band >= 10) return 8;
    return band - 2;
}

Rgba band_piece_color(int band, bool solid, bool negative, int transparency_position) {
    Rgb c = solid ? Rgb{1, 1, 1} : row_color(band_color_row(band));
    if (negative) c = {1 - c.r, 1 - c.g, 1 - c.b};
    return {c.r, c.g, c.b, fill_alpha(transparency_position)};
}

ScaleTexels scale_texels(bool reverse) {
    ScaleTexels t{};
    for (int i = 0; i < kScaleTexels; ++i)
        for (int c = 0; c < 3; ++c) {
            const double v = reverse ? 1 - legcolor[i][c] : legcolor[i][c];
            const double clamped = v < 0 ? 0 : (v > 1 ? 1 : v);
            t[i][c] = static_cast<std::uint8_t>(std::lround(clamped * 255));
        }
    for (auto& texel : t)
        texel[3] = 255;
    return t;
}

ReferenceRange ReferenceRange::of(double lo, double hi) {
    if (!std::isfinite(lo) || !std::isfinite(hi) || !std::isfinite(hi - lo)) return {0, 1};
    // A constant list: t = v - lo, so that its value lands exactly on lo.
    if (hi == lo) return {lo, lo + 1};
    return {lo, hi};
}

ScaleMapping scale_mapping(const ReferenceRange& reference, double lo, double hi) {
    if (!std::isfinite(lo) || !std::isfinite(hi) || !std::isfinite(hi - lo)) return {0, scale_coordinate(0)};
    if (hi == lo) hi = lo + 1e-6 * std::max(std::abs(lo), std::abs(reference.hi - reference.lo));
    // f = (v - lo) / (hi - lo) with v = reference.lo + t * (reference.hi - reference.lo).
    const double width = hi - lo;
    const double df_dt = (reference.hi - reference.lo) / width;
    const double f0 = (reference.lo - lo) / width;
    return {8 * df_dt / kScaleTexels, scale_coordinate(f0)};
}

} // namespace orv
