#include "shell/window_arrangement.h"

#include <algorithm>

namespace orv::shell {

std::vector<WindowRect> cascade_rects(int area_width, int area_height, int count, int step) {
    std::vector<WindowRect> rects;
    if (count < 1) return rects;
    step = std::max(step, 1);
    const int w = std::max(area_width * 2 / 3, 1);
    const int h = std::max(area_height * 2 / 3, 1);
    // Offsets that keep a window inside the area: 0, step, 2 step, ... while
    // the window's far edges stay within the area (at least the corner one).
    const int fit_x = std::max(area_width - w, 0) / step;
    const int fit_y = std::max(area_height - h, 0) / step;
    const int positions = std::min(fit_x, fit_y) + 1;
    rects.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        const int offset = (i % positions) * step;
        rects.push_back({offset, offset, w, h});
    }
    return rects;
}

} // namespace orv::shell
