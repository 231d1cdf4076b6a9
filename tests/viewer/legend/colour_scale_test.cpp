#include "viewer/legend/colour_scale.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>

namespace orv {
namespace {

constexpr double nan = std::numeric_limits<double>::quiet_NaN();
constexpr double inf = std::numeric_limits<double>::infinity();

// legcolor is process-wide: every test starts from "Escala 1".
class ColourScale : public ::testing::Test {
  protected:
    void SetUp() override { load_legend(0); }
    void TearDown() override { load_legend(0); }
};

Rgb row(int r) {
    return {legcolor[r][0], legcolor[r][1], legcolor[r][2]};
}

void expect_rgb(const Rgb& got, const Rgb& want, const char* what) {
    SCOPED_TRACE(what);
    EXPECT_NEAR(got.r, want.r, 1e-12);
    EXPECT_NEAR(got.g, want.g, 1e-12);
    EXPECT_NEAR(got.b, want.b, 1e-12);
}

TEST_F(ColourScale, BuiltInScalesAndOtherDefsLeaveTheTable) {
    EXPECT_EQ(row(0), (Rgb{1, 0, 0}));
    EXPECT_EQ(row(1), (Rgb{1, 0.5, 0}));
    EXPECT_EQ(row(5), (Rgb{0, 1, 0.5}));
    EXPECT_EQ(row(8), (Rgb{0, 0, 1}));

    load_legend(1);
    EXPECT_EQ(legcolor[0][0], 0.9607843137254902);
    EXPECT_EQ(legcolor[8][2], 0.2);
    for (int r = 0; r < 9; ++r) {
        EXPECT_EQ(legcolor[r][0], legcolor[r][1]);
        EXPECT_EQ(legcolor[r][1], legcolor[r][2]);
    }
    const LegendTable grey = legcolor;
    for (int def : {-1, 2, 7}) {
        load_legend(def);
        EXPECT_EQ(legcolor, grey) << "def " << def;
    }
    load_legend(0);
    EXPECT_EQ(row(2), (Rgb{1, 1, 0}));
}

TEST_F(ColourScale, BandLimitsAreARunningSumEndingAtHi) {
    const BandLimits t = band_limits(0, 9);
    for (int k = 0; k < 10; ++k)
        EXPECT_EQ(t[k], k);

    // A range whose step is not exact: each limit is the previous one plus
    // the step, and the last limit is hi itself.
    for (auto [lo, hi] : {std::pair{0.1, 0.7}, {-3.3, 1e-3}, {1.0, 0.0}, {5.0, 5.0}}) {
        const BandLimits u = band_limits(lo, hi);
        const double step = (hi - lo) / 9;
        EXPECT_EQ(u[0], lo);
        for (int k = 1; k < 9; ++k)
            EXPECT_EQ(u[k], u[k - 1] + step) << lo << " " << hi << " k " << k;
        EXPECT_EQ(u[9], hi);
    }
    // On [0, 1] the running sum differs from lo + k * step from t7 on, and
    // t9 plus one more step misses hi: the limits are neither of those.
    const BandLimits v = band_limits(0, 1);
    EXPECT_NE(v[6], 6 * (1.0 / 9));
    EXPECT_NE(v[8] + 1.0 / 9, 1.0);
    EXPECT_EQ(v[9], 1.0);
}

TEST_F(ColourScale, FindBand) {
    struct Case {
        double lo, hi, x;
        int band;
    };
    const Case cases[] = {
        {0, 9, 0, 2},
        {0, 9, 1, 3},
        {0, 9, 8.5, 10},
        {0, 9, 9, 11},
        {0, 9, 20, 11},
        {0, 9, -1, 1},
        {0, 9, 4, 6},
        {0, 9, 3.999, 5},
        {0, 9, nan, 1},
        {0, 9, -inf, 1},
        {0, 9, inf, 11},
        {0, 9, 8.999, 10},
        // lo = hi: everything below is band 1, the rest band 11.
        {5, 5, 4.9, 1},
        {5, 5, 5, 11},
        {5, 5, 5.1, 11},
        // hi < lo: inner bands never hold; between hi and lo the last test wins.
        {9, 0, -1, 1},
        {9, 0, 0, 11},
        {9, 0, 4.5, 11},
        {9, 0, 9, 11},
        {9, 0, 20, 11},
        {9, 0, nan, 1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(find_band(band_limits(c.lo, c.hi), c.x), c.band)
            << "lo " << c.lo << " hi " << c.hi << " x " << c.x;
}

TEST_F(ColourScale, FindBandWithNanLimitsStaysInRange) {
    for (auto [lo, hi] : {std::pair{nan, 1.0}, {0.0, nan}, {nan, nan}, {-inf, inf}, {-1e308, 1e308}})
        for (double x : {-1e300, -1.0, 0.0, 0.5, 1.0, 1e300}) {
            const int b = find_band(band_limits(lo, hi), x);
            EXPECT_GE(b, 1);
            EXPECT_LE(b, 11);
        }
}

TEST_F(ColourScale, BandColourRow) {
    const int rows[12] = {-1, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8, 8};
    for (int band = 1; band <= 11; ++band)
        EXPECT_EQ(band_color_row(band), rows[band]) << band;
}

TEST_F(ColourScale, ValueColorOnTheUnitRange) {
    struct Case {
        double x;
        Rgb want;
    };
    const Case cases[] = {
        {0.0625, {1.0, 0.25, 0.0}}, // halfway between rows 0 and 1
        {1, {0, 0, 1}},
        {-0.5, {1, 0, 0}},
        {2, {0, 0, 1}},
        {0, {1, 0, 0}},
        {0.75, {0, 1, 1}}, // row 6, from I6
        {0.875, {0, 0.5, 1}},
        {0.5, {0, 1, 0}},
        {0.6875, {0, 1, 0.75}},
        {nan, {1, 0, 0}},
    };
    for (const Case& c : cases)
        expect_rgb(value_color(0, 1, 0, c.x), c.want, std::to_string(c.x).c_str());
    // Every eighth of the range gives its row exactly.
    for (int j = 0; j <= 8; ++j)
        expect_rgb(value_color(0, 8, 0, j), row(j), "row");
}

TEST_F(ColourScale, ValueColorIsContinuous) {
    load_legend(1);
    for (int j = 1; j < 8; ++j) {
        const double at = j / 8.0;
        const Rgb below = value_color(0, 1, 0, std::nextafter(at, 0.0));
        const Rgb above = value_color(0, 1, 0, at);
        EXPECT_NEAR(below.r, above.r, 1e-9) << j;
        EXPECT_NEAR(below.g, above.g, 1e-9) << j;
    }
}

TEST_F(ColourScale, ValueColorNegativeReversedAndDegenerate) {
    expect_rgb(value_color(1, 1, 0, 0), {0, 1, 1}, "negative low end is cyan");
    expect_rgb(value_color(1, 1, 0, 1), {1, 1, 0}, "negative high end is yellow");
    expect_rgb(value_color(1, 1, 0, 0.0625), {0, 0.75, 1}, "negative blend");

    // lo = hi = 5: NaN and -inf give row 0, +inf row 8.
    expect_rgb(value_color(0, 5, 5, 5), row(0), "x = lo = hi");
    expect_rgb(value_color(0, 5, 5, 4.9), row(0), "below");
    expect_rgb(value_color(0, 5, 5, 5.1), row(8), "above");

    // hi < lo runs reversed: row 0 at lo, row 8 at hi.
    expect_rgb(value_color(0, 0, 1, 1), row(0), "reversed at lo");
    expect_rgb(value_color(0, 0, 1, 0), row(8), "reversed at hi");
    expect_rgb(value_color(0, 0, 1, 0.9375), {1, 0.25, 0}, "reversed blend");
}

TEST_F(ColourScale, BandPieceColour) {
    struct Case {
        int band;
        bool solid, negative;
        int transparency;
        Rgba want;
    };
    const Case cases[] = {
        {2, false, false, 0, {1, 0, 0, 1}},    {3, false, false, 0, {1, 0.5, 0, 1}},
        {11, false, false, 0, {0, 0, 1, 1}},   {1, false, false, 0, {1, 0, 0, 1}},
        {3, true, false, 0, {1, 1, 1, 1}},     {3, true, true, 0, {0, 0, 0, 1}},
        {3, false, true, 0, {0, 0.5, 1, 1}},   {6, false, false, 25, {0, 1, 0, 0.75}},
        {10, false, false, 100, {0, 0, 1, 0}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(band_piece_color(c.band, c.solid, c.negative, c.transparency), c.want) << "band " << c.band;

    // lo = hi = 5: a piece of value 5 takes row 8, one of 4.9 row 0.
    const BandLimits t = band_limits(5, 5);
    EXPECT_EQ(band_color_row(find_band(t, 5)), 8);
    EXPECT_EQ(band_color_row(find_band(t, 4.9)), 0);

    // hi < lo shows only the end rows.
    const BandLimits r = band_limits(9, 0);
    for (double x = -2; x <= 11; x += 0.25) {
        const int row_index = band_color_row(find_band(r, x));
        EXPECT_TRUE(row_index == 0 || row_index == 8) << x;
    }
}

TEST_F(ColourScale, EditedTableIsUsed) {
    legcolor[0] = {0.2, 0.3, 0.4};
    EXPECT_EQ(band_piece_color(1, false, false, 0), (Rgba{0.2, 0.3, 0.4, 1}));
    expect_rgb(value_color(0, 1, 0, 0), {0.2, 0.3, 0.4}, "edited row 0");
}

// What OpenGL makes of the scale texture: linear filtering between texel
// centres, clamped to the edge texels, on the coordinate the mapping gives.
Rgb texture_lookup(const ScaleTexels& t, const ScaleMapping& m, double coordinate) {
    const double s = m.scale * coordinate + m.offset;
    double u = s * kScaleTexels - 0.5;
    u = std::clamp(u, 0.0, double(kScaleTexels - 1));
    const int i = std::min(static_cast<int>(u), kScaleTexels - 2);
    const double w = u - i;
    const auto channel = [&](int c) { return ((1 - w) * t[i][c] + w * t[i + 1][c]) / 255; };
    return {channel(0), channel(1), channel(2)};
}

TEST_F(ColourScale, TextureAndMappingReproduceValueColor) {
    // Values are handed over against the reference range [-3, 7]; the range
    // shown varies: the reference itself, a part of it, a wider one,
    // reversed, and lo = hi (row 0 at lo and below, row 8 above).
    const ReferenceRange reference = ReferenceRange::of(-3, 7);
    struct Case {
        double lo, hi;
    };
    const Case cases[] = {{-3, 7}, {0, 2}, {-100, 50}, {7, -3}, {1, 1}, {0, 0}};
    for (const int trgb : {0, 1}) {
        const ScaleTexels texels = scale_texels(trgb == 1);
        for (const Case& c : cases) {
            const ScaleMapping m = scale_mapping(reference, c.lo, c.hi);
            for (double v = -5; v <= 9; v += 0.0625) {
                if (c.lo == c.hi && v > c.lo && v < c.lo + 1e-3) continue; // the narrow ramp
                const Rgb want = value_color(trgb, c.hi, c.lo, v);
                const Rgb got = texture_lookup(texels, m, reference.coordinate(v));
                EXPECT_NEAR(got.r, want.r, 1.0 / 255) << c.lo << " " << c.hi << " " << v << " " << trgb;
                EXPECT_NEAR(got.g, want.g, 1.0 / 255) << c.lo << " " << c.hi << " " << v << " " << trgb;
                EXPECT_NEAR(got.b, want.b, 1.0 / 255) << c.lo << " " << c.hi << " " << v << " " << trgb;
            }
        }
    }
}

TEST_F(ColourScale, BandCoordinatesHitTheirRowsTexel) {
    const ScaleTexels texels = scale_texels(true);
    for (int band = 1; band <= 11; ++band) {
        const Rgba want = band_piece_color(band, false, true, 0);
        const Rgb got = texture_lookup(texels, {}, band_coordinate(band));
        EXPECT_NEAR(got.r, want.r, 0.5 / 255) << band;
        EXPECT_NEAR(got.g, want.g, 0.5 / 255) << band;
        EXPECT_NEAR(got.b, want.b, 0.5 / 255) << band;
    }
}

TEST_F(ColourScale, UnusableRangesStillMapEveryValue) {
    // A reference range that is not finite hands values over as they are; an
    // empty one as their distance from it, so that its value maps exactly.
    for (const auto& r : {ReferenceRange::of(0, INFINITY), ReferenceRange::of(NAN, 1)}) {
        EXPECT_EQ(r.lo, 0);
        EXPECT_EQ(r.hi, 1);
    }
    EXPECT_EQ(ReferenceRange::of(2, 2).coordinate(2), 0);
    // A range shown that is not finite gives row 0 everywhere.
    const ScaleMapping m = scale_mapping(ReferenceRange::of(0, 1), -INFINITY, 1);
    const Rgb got = texture_lookup(scale_texels(false), m, 0.7);
    EXPECT_NEAR(got.r, 1, 1e-9);
    EXPECT_NEAR(got.g, 0, 1e-9);
    // The grey of pieces without value is none of "Escala 1"'s colours.
    for (double f = 0; f <= 1; f += 1.0 / 1024) {
        const Rgb c = value_color(0, 1, 0, f);
        EXPECT_GT(std::max({std::abs(c.r - kNoValueColour.r), std::abs(c.g - kNoValueColour.g),
                            std::abs(c.b - kNoValueColour.b)}),
                  0.2)
            << f;
    }
}

} // namespace
} // namespace orv
