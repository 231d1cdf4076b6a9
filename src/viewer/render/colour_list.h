#pragma once
// Content of the colour display list of one result list, computed without
// OpenGL: every element piece (segment of a line, sub-triangle of a triangle
// or quadrilateral) in emission order, on the mesh deformed by the list's own
// displacement, coloured continuously (a colour per vertex) or cut into flat
// bands. A sink receives the pieces; the GL emitter (colour_list_gl.h) is one
// such sink, a counting sink serves the benchmark, a recording sink the tests.

#include "viewer/legend/colour_scale.h"
#include "viewer/render/band_fill.h"
#include "viewer/render/element_geometry.h"
#include "viewer/render/piece_chunks.h"

#include <array>
#include <cstdint>
#include <vector>

namespace orv {

// Everything the colour display list of a result list depends on besides the
// model. The render pass fills it from the viewer's controls and fields at the
// moment it compiles the list; every member has the control's default.
struct ColourListSettings {
    // Displacement: f = factor * displacement_position / 50 (displacement_factor).
    double factor = 1;              // Edit7, already converted to a real
    int displacement_position = 50; // TrackBar3, 0..100

    // Fills: alpha = 1 - transparency_position / 100 for continuous and band pieces.
    int transparency_position = 0; // TrackBar2, 0..100
    bool solid = false;            // CheckBox6 "Malha Sólida": fills white (segments
                                   //   of continuous lines white with alpha 0)
    bool negative = false;         // CheckBox1 "Legenda Negativa": band pieces 1 - c
    int trgb = 0;                  // viewer field trgb: 1 reverses the continuous map
    bool banded = false;           // CheckBox8 "Faixas de Cores": band fill instead
                                   //   of continuous colouring

    // Element-type filters of families 1, 2, 3 (SpinEdit1..3 "ETp 1".."ETp 3",
    // -1..10; a text that is not an integer counts as -1). See element_filter_passes.
    std::array<int, 3> filters = {-1, -1, -1};
    // Block filter ("Blocos"): 1 for each block of the model (by index into
    // block_names) whose elements are not coloured; empty hides none. See
    // block_filter_passes.
    std::vector<std::uint8_t> hidden_blocks;

    // Cells per lattice step along each side of a quadrilateral (1..16): 1
    // draws its lattice cells as two sub-triangles each; n > 1 cuts each cell
    // into n x n cells placed and valued by the element's own shape functions,
    // each drawn as four sub-triangles round its centre, so that a linear
    // quadrilateral shows its bilinear field and symmetric data give a
    // symmetric picture. The render pass sets it with subdivision_for.
    int subdivide = 1;

    // Range row of list k is maxlista[(1 - legmax) * k]: 0 = the list's own
    // range, 1 = the common row 0.
    int legmax = 0;

    // Deformed outline drawn first inside the list when plot item 2
    // "Malha Deformada" is checked (GL emitter only), with the viewer's
    // line_def_w (pixels), line_def_rgb (grey 0..1) and line_def_t (alpha).
    bool deformed_checked = false;
    int line_def_w = 1;
    double line_def_rgb = 0.0;
    double line_def_t = 1.0;
};

// Receives the pieces of a colour list. Band pieces arrive through
// BandSink::piece (band index 1..11, 2 or 3 points); continuous pieces through
// shaded_piece: 2 points (a segment, GL_LINES) or 3 (a sub-triangle,
// GL_POLYGON), with the value at each point (none is NaN). A piece with a
// vertex whose value is NaN, banded or not, comes through blank_piece: it has
// no value to colour it by (drawn kNoValueColour).
struct ColourPieceSink : BandSink {
    virtual void shaded_piece(const Point3* pts, const double* values, int count) = 0;
    virtual void blank_piece(const Point3* pts, int count) = 0;
};

// Colour of a continuous vertex of value v as the immediate emitters draw it:
// value_color(trgb, hi, lo, v) with the fill alpha; white for "Malha Sólida"
// (alpha 0 on segments, count == 2).
Rgba continuous_colour(const ColourListSettings& s, double lo, double hi, double v, int count);

// Cells per lattice step for the quadrilaterals of m (see
// ColourListSettings::subdivide): the largest n <= 16 whose pieces stay
// within kSubdivisionBudget sub-triangles over the whole model, 1 when even
// n = 2 would exceed it, so that large models keep their vertex count.
inline constexpr long kSubdivisionBudget = 262144;
int subdivision_for(const ResultModel& m);

// (min, max) of result list k: maxlista[(1 - legmax) * k]. k must be 1..nlista.
std::array<double, 2> colour_range(const ResultModel& m, int k, int legmax);

// Hands every piece of result list k's colour list to the sink, in emission
// order. Nothing for k outside 1..nlista. Continuous colours come from
// value_color(trgb, max, min, value) and the current legcolor; band pieces
// carry only their band (the sink colours them with band_piece_color).
void walk_colour_list(const ResultModel& m, int k, const ColourListSettings& settings, ColourPieceSink& sink);

// The pieces of result list k as runs of vertex data for vertex buffers, in
// emission order (consecutive pieces of one style form one run of at most
// kRunVertices vertices). Every run is blended; sub-triangles get the fill
// offset, segments the depth lift, and line width 3 (line_def_w when the
// deformed outline is drawn with the list). Colours:
//   continuous pieces  textured, t = reference.coordinate(v) per vertex;
//   band pieces        textured, band_coordinate(band) at every vertex (the
//                      texture matrix is the identity for bands);
//   "Malha Sólida"     flat white (continuous segments: alpha 0);
//   no value (NaN)     flat kNoValueColour;
// with the fill alpha of the pass that draws them (fill_alpha), except those
// white segments. Nothing for k outside 1..nlista.
PieceChunks colour_chunks(const ResultModel& m, int k, const ColourListSettings& settings,
                          const ReferenceRange& reference);

} // namespace orv
