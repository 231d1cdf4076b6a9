#pragma once
// OpenGL producers of the fixed display lists of a viewer (node points, mesh
// outlines, node and element numbers) and the bitmap text routine. They issue
// immediate-mode calls into whatever list or frame is being drawn, in the
// coordinates of the result file, and leave their colour, point size and line
// width set. A GL context must be current. draw_text draws its characters
// through the glyph sink: by default glutBitmapCharacter, which needs glutInit
// to have been called once in the process (the application does it at
// start-up); the batch side, which has no display for GLUT, swaps in the
// same glyphs drawn from the font data (bitmap_font_gl.h).

#include "viewer/legend/legend_layout.h"
#include "viewer/model/result_model.h"
#include "viewer/render/arrows.h"
#include "viewer/render/element_geometry.h"
#include "viewer/render/extremes.h"
#include "viewer/render/piece_chunks.h"
#include "viewer/render/render_inputs.h"

#include <array>
#include <span>
#include <string_view>

namespace orv {

// The GLUT bitmap fonts in use (Helvetica18: the title line of a figure).
enum class BitmapFont { Helvetica10, Helvetica12, Helvetica18 };

// Draws one character at the current raster position and advances it, as
// glutBitmapCharacter does; characters outside 1..255 draw nothing.
using GlyphSink = void (*)(BitmapFont font, int character);
// Sets the sink of every later draw_text (nullptr: back to GLUT). Process-wide.
void set_glyph_sink(GlyphSink sink);
// The sink in use (never null).
GlyphSink current_glyph_sink();

// Text at a point of the model: the raster position is set to (x, y, z), which
// latches the current colour, then each character is drawn in turn, advancing
// the raster position. In the u16 form each 16-bit code unit is one character;
// in the narrow form each byte. An empty text only sets the raster position;
// a position outside the view volume draws nothing.
void draw_text(std::string_view text, BitmapFont font, double x, double y, double z);
void draw_text(std::u16string_view text, BitmapFont font, double x, double y, double z);
// A legend text in its font (the text sink of draw_legend, legend_gl.h).
void draw_legend_text(const LegendText& t);

// Node points: colour (0.35, 0.35, 0.35, 1), point size 3, a point per node
// at its undeformed position (drawn as arrays; keep, when given, receives
// the runs, for the coarse version of the list).
void draw_node_points(const ResultModel& m, PieceChunks* keep = nullptr);

// Mesh outline: colour (grey, grey, grey, opacity) and line width, then every
// outline segment of every drawn element as a GL_LINES pair, in order (drawn
// as arrays; keep, when given, receives the runs). `place`
// gives undeformed positions by default; for the deformed mesh pass
// {true, selector, displacement_factor(m, P)} (selector chbox, or 3k inside
// the colour list of result list k).
void draw_mesh_outline(const ResultModel& m, const OutlineStyle& style, const NodePlacement& place = {},
                       PieceChunks* keep = nullptr);

// Node numbers: colour (0.35, 0.35, 0.35, 1); the number n in decimal with
// Helvetica 10 at node_number_anchor (undeformed, shifted by maxscale / 500).
void draw_node_numbers(const ResultModel& m);

// Element numbers: colour (0.65, 0.65, 0.65, 1); the number e in decimal with
// Helvetica 10 at element_number_anchor (undeformed); none for elements that
// are not drawn.
void draw_element_numbers(const ResultModel& m);

// "Extremos": marks at the nodes of a list's smallest and largest value,
// where `place` draws them, each with its label "mín V" / "máx V" (V with the
// legend's digits: scientific when `scientific`; "mín/máx V" when one node
// holds both) in Helvetica 12 on a light box beside the mark, drawn over the
// model in window pixels. A mark the model hides (the depth buffer at its
// pixel lies in front of it) or the clip plane removes is drawn as hidden: a
// hollow grey square and grey text; a visible one is a black square of 7
// pixels and black text. Sizes double when the glyph sink is the 2x one.
// GL state (matrices, enables, colour, point size, line width) is restored.
void draw_extreme_marks(const ResultModel& m, const ListExtremes& x, const NodePlacement& place,
                        bool scientific);

// "Setas": the arrows as GL_LINES of width 1 (arrow_segments at `scale`),
// each in arrow_colour of its magnitude over `range` when `coloured`, black
// otherwise.
void draw_arrows(std::span<const NodeArrow> arrows, double scale, std::array<double, 2> range, bool banded,
                 bool negative, bool coloured);

} // namespace orv
