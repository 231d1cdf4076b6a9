#pragma once
// Arrangement of the viewer windows inside the main frame's client area, as
// desktop frames do it. Plain arithmetic on pixel rectangles, so the rules
// can be checked without a display.

#include <vector>

namespace orv::shell {

struct WindowRect {
    int x = 0, y = 0, width = 0, height = 0;
    bool operator==(const WindowRect&) const = default;
};

// Cascade of `count` windows in an area of area_width x area_height client
// pixels. Every window gets the same size, two thirds of the area's width and
// height (at least 1 x 1); window i sits `step` pixels (one title bar) right
// of and below window i - 1, starting at the area's top-left corner. When a
// window would stick out of the area the sequence starts again at the corner.
// The last rectangle is the front one (the caller puts the active window
// there). A count below 1 gives no rectangles; a step below 1 counts as 1.
std::vector<WindowRect> cascade_rects(int area_width, int area_height, int count, int step);

} // namespace orv::shell
