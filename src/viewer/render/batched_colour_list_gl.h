#pragma once
// The colour display list of a result list, issued with few OpenGL calls.
//
// emit_colour_list (colour_list_gl.h) gives every piece its own glBegin/glEnd
// and switches blending on and off around it. On a million-element model that
// is millions of state changes, which the display list records one by one and
// replays one by one. The picture depends only on the pieces, their order,
// their vertices' colours and blending being on while they are drawn, so
// here blending is switched on once around all pieces and consecutive pieces
// of one kind are one run: GL_TRIANGLES for sub-triangles (a three-vertex
// GL_POLYGON is rasterised as that triangle), GL_LINES for segments, handed
// over as arrays (array_emitter_gl.h). Filled pieces get the same polygon offset as there
// (begin_fill_offset). The state after the list is the same: blending and
// the offset off, line width 3 or the deformed outline's width.

#include "viewer/model/result_model.h"
#include "viewer/render/colour_list.h"
#include "viewer/render/piece_chunks.h"

namespace orv {

// Same content as emit_colour_list(m, k, settings): nothing for k outside
// 1..nlista. A GL context must be current; normally called between glNewList
// and glEndList. If the walk throws, the open primitive is ended and blending
// switched off before the exception leaves. keep: when given, receives the
// runs drawn (outline and pieces), for the coarse version of the list.
void emit_batched_colour_list(const ResultModel& m, int k, const ColourListSettings& settings,
                              PieceChunks* keep);
inline void emit_batched_colour_list(const ResultModel& m, int k, const ColourListSettings& settings) {
    emit_batched_colour_list(m, k, settings, nullptr);
}

} // namespace orv
