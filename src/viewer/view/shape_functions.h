#pragma once
// Shape functions of the drawn element families over their node lattices, for
// values between the nodes.
//
// Parameters: a line runs r = 0..1 from its first node to its last; a
// triangle has r along its first edge (nodes 1..p + 1) and s towards its apex,
// r, s >= 0, r + s <= 1; a quadrilateral has r along its rows and s across
// them, both 0..1. The lattice nodes sit at multiples of 1/p, in the node
// order described beside ResultModel::conec_data, and the shape functions are
// the Lagrange polynomials on them (complete of order p on triangles, tensor
// products on lines and quadrilaterals), so that node i's function is 1 at
// node i and 0 at the others.

#include "viewer/model/result_model.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace orv {

struct ElementParameters {
    double r = 0, s = 0;
    friend bool operator==(const ElementParameters&, const ElementParameters&) = default;
};

// Parameters of node position i (1..element_node_count) of a drawn type.
ElementParameters lattice_parameters(ElementType type, int i);

// Values of the element's shape functions at (r, s), by node position:
// out[0] unused, out[i] for node position i.
void shape_values(ElementType type, ElementParameters at, std::vector<double>& out);

// Sum of shape function times column `col` of the nodes' rows, through
// `column(node)`; `row` is the element's conec row (entry 0 the code).
template <class Column>
double interpolate(ElementType type, const std::int32_t* row, ElementParameters at, Column&& column) {
    std::vector<double> n;
    shape_values(type, at, n);
    double v = 0;
    for (std::size_t i = 1; i < n.size(); ++i)
        v += n[i] * column(row[i]);
    return v;
}

// Result list k (1..nlista) of element e (1..nelem, a drawn type) at `at`,
// and the element's undeformed point there, by its shape functions.
double list_value_at(const ResultModel& m, std::size_t e, ElementParameters at, int k);
std::array<double, 3> position_at(const ResultModel& m, std::size_t e, ElementParameters at);

} // namespace orv
