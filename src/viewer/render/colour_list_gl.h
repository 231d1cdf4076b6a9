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
// line_def_w, which then stays in force); then, between begin_fill_offset and
// end_fill_offset, every element piece, banded (draw_band_piece) or continuous
// (blending on, GL_LINES or GL_POLYGON with a glColor4d per vertex, blending
// off, per piece).
void emit_colour_list(const ResultModel& m, int k, const ColourListSettings& settings);

// Filled pieces lie on the same surface as the mesh outlines and nodes drawn
// over them (the undeformed mesh, the deformed one, the nodes); lines, points
// and polygons are rasterised with different depths, so at equal depth the
// fill would break the lines up into dotted fragments depending on the
// angle. Between these two calls filled polygons are pushed back by a polygon
// offset (glPolygonOffset(kFillOffsetFactor, kFillOffsetUnits) with
// GL_POLYGON_OFFSET_FILL), which lines and points do not get. Compiled into
// the display list with the pieces; end_fill_offset leaves the offset off.
inline constexpr float kFillOffsetFactor = 1.0f;
inline constexpr float kFillOffsetUnits = 1.0f;
void begin_fill_offset();
void end_fill_offset();

// Segments of line elements coincide with the deformed outline drawn before
// them in the same list, and polygon offset does not apply to lines: at equal
// depth the outline would win and the beam would show no colour. Segment
// pieces are therefore drawn with a window depth range pulled towards the
// viewer by kSegmentDepthLift (about 300 steps of a 24-bit depth buffer at
// the model's depth, a few thousandths of the model's size in the 100-unit
// orthographic depth of view), which keeps them in front of a line at the same
// place and behind any surface that lies visibly in front. Not allowed between
// glBegin and glEnd; lift_segments(false) restores glDepthRange(0, 1).
inline constexpr double kSegmentDepthLift = 1.0 / 16384.0;
void lift_segments(bool on);

} // namespace orv
