#pragma once
// The section of a model's volume cells by a plane: the polygons where the
// plane crosses each cell, with the checked list's value at their corners.
//
// A cell is sub-divided, in its reference parameters, into straight
// tetrahedra: order p cells into p^3 sub-cubes (hexahedra), the matching
// lattice of a tetrahedron or wedge, six or fewer tetrahedra each; a
// pyramid into two. The tetrahedra's corners are placed by the cell's shape
// functions (so curved cells are followed as finely as their faces are
// drawn) and each is cut exactly: a triangle or a quadrilateral. Each
// corner of a piece carries its reference parameters, and its value is the
// list interpolated there with the cell's own shape functions, not along
// the straight piece.
//
// Positions are where `place` puts the nodes (undeformed or deformed); the
// plane is in the same frame. A cell with every node on one side of the
// plane is skipped without sub-division.

#include "viewer/model/result_model.h"
#include "viewer/render/band_fill.h"
#include "viewer/render/element_geometry.h"
#include "viewer/view/volume_shape.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace orv {

// Points x with dot(normal, x) == offset; the positive side is where
// dot(normal, x) > offset. The normal need not be of unit length.
struct CutPlane {
    Point3 normal{0, 0, 1};
    double offset = 0;
    double distance(const Point3& p) const {
        return normal.x * p.x + normal.y * p.y + normal.z * p.z - offset;
    }
};

struct SectionVertex {
    Point3 at;
    Local3 local{}; // the cell's reference parameters here
    double value = 0;
};

// One piece of the section inside cell `cell` (0-based index into
// model.volumes): 3 or 4 corners, counter-clockwise seen from the plane's
// positive side. on_boundary[i] tells whether the edge from corner i to
// corner i + 1 lies on a face of the cell (a cell outline on the cut).
struct SectionPiece {
    std::size_t cell = 0;
    int count = 0;
    SectionVertex v[4];
    bool on_boundary[4] = {false, false, false, false};
};

struct SectionSink {
    virtual ~SectionSink() = default;
    virtual void piece(const SectionPiece& piece) = 0;
};

// Cuts one cell (0-based). `list` 0 gives value 0 at every corner.
void section_of_cell(const ResultModel& m, std::size_t cell, const CutPlane& plane,
                     const NodePlacement& place, int list, SectionSink& sink);

// Cuts every volume cell, in cell order.
void section_of_volumes(const ResultModel& m, const CutPlane& plane, const NodePlacement& place, int list,
                        SectionSink& sink);

// Hands a piece's bands to `sink` as triangles (a fan from its first
// corner) cut by `cutter`: the same bands as the faces get.
void section_bands(const SectionPiece& piece, const BandCutter& cutter, BandSink& sink);

} // namespace orv
