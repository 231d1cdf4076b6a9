#pragma once
// The volume cells of a result model, kept beside the faces that are drawn,
// for what looks inside a solid (sections, values along a line).
//
// Node order within a cell is VTK's for the type (corners, then mid-edge
// nodes in VTK's edge order, then face and body nodes), whatever the file's
// own order was; a voxel is stored as the hexahedron it is. Parameters
// (r, s, t) of the reference cell: a tetrahedron has r, s, t >= 0,
// r + s + t <= 1; a hexahedron has r, s, t in 0..1; a wedge has its
// triangle (r, s >= 0, r + s <= 1) swept along t = 0..1; a pyramid has its
// base r, s in 0..1 at t = 0 and its apex at (1/2, 1/2, 1).
// reference_nodes() gives the parameters of every node.

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace orv {

enum class VolumeType : std::uint8_t {
    none = 0,
    tetra4,
    tetra10,
    hexa8,
    hexa20,        // serendipity
    hexa_lagrange, // (p + 1)^3 nodes in VTK's Lagrange order; p = 2 is the 27-node hexahedron
    wedge6,
    wedge15, // serendipity
    wedge18, // quadratic triangle times quadratic line
    pyramid5,
    pyramid13, // geometry and values from its five corners (see volume_shape.h)
};

// Order of a Lagrange hexahedron of `count` nodes ((p + 1)^3), else 0.
int lagrange_hexa_order(std::int64_t count);

// VTK's Lagrange hexahedron: the node index of lattice point (i, j, k), order p.
int lagrange_hex_index(int i, int j, int k, int p);

// Polynomial order of the cell's shape functions (1 or 2; p for a Lagrange
// hexahedron); 0 for none.
int volume_order(VolumeType type, std::int64_t count);

// Parameters (r, s, t) of each node of a cell of this type and node count;
// empty when they do not fit.
std::vector<std::array<double, 3>> reference_nodes(VolumeType type, std::int64_t count);

// Every volume cell of a model; empty for models without volumes, so they
// cost nothing.
struct VolumeCells {
    std::vector<VolumeType> types;
    std::vector<std::int64_t> starts; // size() + 1 entries into nodes (when any cell)
    std::vector<std::int32_t> nodes;  // model node rows, 1..nnode
    std::vector<std::int64_t> labels; // the file's cell numbers

    std::size_t size() const { return types.size(); }
    bool empty() const { return types.empty(); }
    const std::int32_t* nodes_of(std::size_t c) const { return nodes.data() + starts[c]; }
    std::int64_t node_count(std::size_t c) const { return starts[c + 1] - starts[c]; }
    void add(VolumeType type, std::int64_t label, const std::int32_t* first, std::int64_t count) {
        if (starts.empty()) starts.push_back(0);
        types.push_back(type);
        labels.push_back(label);
        nodes.insert(nodes.end(), first, first + count);
        starts.push_back(static_cast<std::int64_t>(nodes.size()));
    }
    std::uint64_t bytes() const {
        return types.size() * (sizeof(VolumeType) + 2 * sizeof(std::int64_t)) +
               nodes.size() * sizeof(std::int32_t);
    }
};

} // namespace orv
