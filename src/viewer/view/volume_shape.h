#pragma once
// Shape functions of the volume cells (see volume_cells.h for the types,
// node orders and reference parameters), for values and positions inside a
// solid.
//
// Tetrahedra, hexahedra and wedges use the polynomial space their nodes
// span (complete for tetrahedra; tensor products for Lagrange hexahedra and
// the 18-node wedge; serendipity for the 20-node hexahedron and 15-node
// wedge), so that a cell reproduces exactly every field of its order. A
// pyramid uses the rational functions of its five corners (its apex is
// where they are singular, handled as the apex itself); a 13-node pyramid
// is taken by its corners alone, so it reproduces linear fields only.

#include "viewer/model/volume_cells.h"

#include <array>
#include <cstdint>
#include <vector>

namespace orv {

using Local3 = std::array<double, 3>;

struct VolumeShape {
    VolumeType type = VolumeType::none;
    int count = 0; // nodes of the cell
    int order = 0; // polynomial order; sub-division level of sections
    std::vector<Local3> nodes;

    // out[0 .. count): the value of each node's function at `at`.
    void values(const Local3& at, double* out) const;
    // Sum of the node functions times f(node index 0..count-1).
    template <class F> double interpolate(const Local3& at, F&& f) const {
        double n[kMaxNodes];
        values(at, n);
        double v = 0;
        for (int i = 0; i < count; ++i)
            v += n[i] * f(i);
        return v;
    }
    // Whether `at` lies in the reference cell, within `tol` of its faces.
    bool contains(const Local3& at, double tol) const;

    static constexpr int kMaxNodes = 1000; // a Lagrange hexahedron of order 9

    // Inverse of the Vandermonde matrix of `exponents` on the nodes (row j,
    // column i: the coefficient of monomial j in node i's function).
    std::vector<std::array<int, 3>> exponents;
    std::vector<double> inverse;
};

// The shape of a cell of this type and node count, made once and kept for
// the program's life; null when the type and count do not fit (or the
// Lagrange order is above 9).
const VolumeShape* volume_shape(VolumeType type, std::int64_t count);

} // namespace orv
