#pragma once
// The legend view's picture in OpenGL (immediate mode, no Qt, no GLUT): the
// colour bar, then the texts in grey through a text sink, so that whoever
// owns the fonts draws the glyphs (the viewer passes draw_text of
// render/mesh_gl.h). A GL context must be current, with the legend camera
// applied (visible y in [-2, 2] of the plane z = 0; legend_layout.h).

#include "viewer/legend/legend_layout.h"

#include <functional>
#include <vector>

namespace orv {

// Draws one text at (t.x, t.y, 0) in the current colour.
using LegendTextSink = std::function<void(const LegendText& t)>;

// Draws the bar and the texts of `in`; returns the texts drawn, in order.
// Nothing is cached: every call draws afresh. An empty sink draws no text.
std::vector<LegendText> draw_legend(const LegendInputs& in, const LegendTextSink& text);

} // namespace orv
