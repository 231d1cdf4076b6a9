#pragma once
// What the legend view draws, in its scene units (the plane z = 0, x and y
// with y up; the view shows y from -2 to 2): the colour bar as triangles with
// a colour row per vertex, the title and the value labels, and the range the
// labels describe. The GL side (legend_gl.h) only issues the calls.
//
// Banded bar: nine flat bands k = 0..8 from y = -1.85 + 0.35 k to
// -1.5 + 0.35 k, ten labels at y = -1.9 + 0.35 j for the values
// lo + (hi - lo) j / 9, j = 9 down to 0. Continuous bar: colour stops
// k = 0..8 at y = -1.85 + 0.4 k, nine labels at y = -1.9 + 0.4 j for
// lo + (hi - lo) j / 8. Label values are computed in long double; the top
// label is hi itself, the bottom one lo itself.

#include "viewer/legend/colour_scale.h"
#include "viewer/model/result_model.h"

#include <array>
#include <string>
#include <vector>

namespace orv {

namespace legend {
inline constexpr double kBarLeft = -0.8;   // x0
inline constexpr double kBarRight = -0.45; // x1
inline constexpr double kTextX = -0.25;    // left end of every text
inline constexpr double kTitleY = 1.7;
inline constexpr double kTextGrey = 0.35; // red = green = blue of all text
inline constexpr const char* kTitle = "Legenda:";
} // namespace legend

struct LegendVertex {
    double x = 0, y = 0;
    int row = 0; // colour row 0..8 of legcolor
    friend bool operator==(const LegendVertex&, const LegendVertex&) = default;
};

// One triangle of the bar, counter-clockwise seen from the camera (+z).
using LegendTriangle = std::array<LegendVertex, 3>;

// 18 triangles (banded: two per band, both in the band's row) or 16
// (continuous: two per gap between stops k and k + 1, each vertex in the row
// of its stop), bottom to top.
std::vector<LegendTriangle> legend_bar(bool banded);

struct LegendLabel {
    double y = 0; // raster position: x = legend::kTextX, z = 0
    long double value = 0;
    std::string text;
};

// The value labels from the top down: 10 when banded, 9 when continuous.
std::vector<LegendLabel> legend_labels(bool banded, bool scientific, double lo, double hi);

// What the legend shows, taken from the viewer's settings.
struct LegendInputs {
    LegendTable colours{};             // the colour table (legcolor)
    int trgb = 0;                      // 1: rows drawn in their complement
    bool banded = false;               // "Faixas de Cores"
    bool scientific = false;           // "Notação Científica"
    std::array<double, 2> range{0, 0}; // legend_range
};

// One text of the legend: raster position (x, y, 0). The title is drawn in
// Helvetica 12, the labels in Helvetica 10.
struct LegendText {
    std::string text;
    double x = 0, y = 0;
    bool title = false;
    friend bool operator==(const LegendText&, const LegendText&) = default;
};

// The texts in drawing order: the title, then the value labels from the top down.
std::vector<LegendText> legend_texts(const LegendInputs& in);

// Colour of row k as the legend draws it: the row itself when trgb = 0, its
// complement (1 - c) when trgb = 1 (|trgb - c| per component).
Rgb legend_row_colour(const LegendTable& table, int row, int trgb);

// The range the legend describes: that of the lowest-numbered checked result
// list, maxlista[(1 - legmax) k]; (0, 0) when no result list is checked.
// checked(i) tells whether plot item i is checked; result list k is item
// fixlist + k - 1. A row outside maxlista counts as (0, 0).
template <class Checked>
std::array<double, 2> legend_range(const ResultModel& m, int fixlist, int legmax, Checked&& checked) {
    std::array<double, 2> range{0, 0};
    for (int k = m.nlista; k >= 1; --k) {
        if (!checked(fixlist + k - 1)) continue;
        const long long r = static_cast<long long>(1 - legmax) * k;
        range = r >= 0 && static_cast<std::size_t>(r) < m.maxlista.size()
                    ? m.maxlista[static_cast<std::size_t>(r)]
                    : std::array<double, 2>{0, 0};
    }
    return range;
}

} // namespace orv
