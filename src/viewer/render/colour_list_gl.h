#pragma once
// OpenGL emitter of a result list's colour display list, and the drawing of
// one flat band piece. A GL context must be current; the render pass calls
// emit_colour_list between glNewList(5 + k, GL_COMPILE) and glEndList.

#include "viewer/legend/colour_scale.h"
#include "viewer/model/result_model.h"
#include "viewer/render/colour_list.h"
#include "viewer/render/element_geometry.h"

namespace orv {

// One flat piece, in this order: glEnable(GL_BLEND); glBlendFunc(GL_SRC_ALPHA,
// GL_ONE_MINUS_SRC_ALPHA); glBegin(GL_POLYGON for 3 points, GL_LINES for 2);
// glColor4d(colour); glVertex3d for each point in order; glEnd;
// glDisable(GL_BLEND).
void draw_band_piece(const Rgba& colour, const Point3* pts, int count);

// The whole colour display list of result list k (1..nlista; nothing
// otherwise): line width 3; when settings.deformed_checked, the deformed
// outline with selector 3k (grey line_def_rgb, opacity line_def_t, width
// line_def_w, which then stays in force); then every element piece, banded
// (draw_band_piece) or continuous (blending on, GL_LINES or GL_POLYGON with a
// glColor4d per vertex, blending off, per piece).
void emit_colour_list(const ResultModel& m, int k, const ColourListSettings& settings);

} // namespace orv
