#pragma once
// A figure for a report: the 3D view with its legend composed at its place,
// and above it a title line, at 1x or 2x the view's size. The window's
// "Salvar Figura" and the batch --picture lay it out with these functions and
// draw it with draw_figure (figure_gl.h), so the two give the same picture.
//
// Layout in pixels of the figure, y down: the title strip (when there is a
// title) is the top kTitleHeight * scale rows, the view the
// view_width x view_height (times scale) below it; the legend view's
// top-left corner stands at (legend_x, legend_y) * scale of the view, and
// whatever of it falls outside the view is cut off, as the window cuts it.

#include "viewer/model/result_model.h"

#include <string>
#include <string_view>

namespace orv {

namespace figure {
inline constexpr int kTitleHeight = 28;  // rows of the title strip at 1x
inline constexpr int kTitleBaseline = 9; // baseline above the strip's bottom row, at 1x
inline constexpr int kTitleMargin = 8;   // least left margin of the title, at 1x
inline constexpr int kMaxSide = 8192;    // largest figure side drawn off-screen
} // namespace figure

struct FigureLayout {
    int scale = 1;                       // 1 or 2: everything drawn at that many pixels a pixel
    int view_width = 0, view_height = 0; // the 3D view, pixels at 1x
    bool title = false;                  // a title strip above the view
    bool legend = false;                 // the legend view composed over the 3D view
    int legend_x = 0, legend_y = 0;      // its top-left corner in the view, pixels at 1x, y down

    int width() const { return view_width * scale; }
    int height() const { return (view_height + (title ? figure::kTitleHeight : 0)) * scale; }
};

// The title of a figure: the name of result list `list` (1..nlista), or, for
// 0 (no list checked), the result file's name without its folder. Names are
// decoded as the window shows them (name_text.h).
std::u32string figure_title(const ResultModel& m, int list);

// `text` as characters of the bitmap fonts (1..255, Latin-1): characters
// above 255 become '?', and control characters (below 32) a space.
std::u16string bitmap_text(std::u32string_view text);

} // namespace orv
