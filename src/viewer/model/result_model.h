#pragma once
// The in-memory form of one result file: mesh, value ranges, and the result
// lists through a store that reads them when they are needed.
//
// Indexing follows the file: nodes, elements and result lists are numbered
// from 1, and index 0 of each of these dimensions exists and holds zeros
// (except row 0 of maxlista, the common range). The 2-D arrays are stored
// flat, row by row, so that a million-node model is a handful of allocations.

#include "viewer/model/list_store.h"
#include "viewer/model/page_memory.h"
#include "viewer/model/volume_cells.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <new>
#include <span>
#include <string>
#include <vector>

namespace orv {

// Element code = family * 100 + order (family 1 line, 2 triangle, 3 quadrilateral).
struct ElementType {
    int family = 0;
    int order = 0;
};

inline ElementType decode_element(std::int32_t code) {
    // trunc(code / 100) and code - 100 * family, as C++ integer division does.
    const int family = code / 100;
    return {family, code - 100 * family};
}

// Node count of an element of this family and order; 0 for families other
// than 1..3 and for negative orders.
std::int64_t element_node_count(int family, int order);

struct ResultModel {
    std::int32_t nnode = 0;
    std::int32_t nelem = 0;
    std::int32_t nlista = 0;
    std::int32_t maxconec = 1;

    // coord: nnode+1 rows of 7 reals. Entries 1..3 position, 4..6 the
    // node's own displacement (entry 0 unused). The lists' displacements are
    // in the list store.
    ZeroedVector<double> coord_data;
    // conec: row e is conec_data[conec_start[e] .. conec_start[e+1]);
    // entry 0 of a row is the element code, then its node numbers (indices
    // of coord rows, not labels). Node order within a row, which every reader
    // must produce: a line runs from one end to the other; a triangle of
    // order p holds its lattice row by row, p + 1 nodes on the first edge,
    // one fewer on each following row, the apex last; a quadrilateral holds
    // p + 1 rows of p + 1.
    std::vector<std::int32_t> conec_data;
    ZeroedVector<std::int64_t> conec_start;
    // The lists' values and displacements. Copies of a model share it.
    std::shared_ptr<ListStore> store = std::make_shared<ListStore>();
    std::vector<std::string> namelista;          // nlista+1 names, entry 0 empty
    std::vector<std::array<double, 2>> maxlista; // nlista+1 rows of (min, max)
    // nlista+1 entries, 1 for a list whose maxlista row is not computed yet
    // (its row reads (0, 0)); empty when every range is known. Row 0,
    // valmin and valmax cover the known rows only until none is pending.
    std::vector<std::uint8_t> range_pending;

    // The numbers the file gives nodes and elements, which the user sees;
    // nnode+1 and nelem+1 entries (entry 0 unused), or empty when node i
    // and element e are numbered i and e, as in native files.
    std::vector<std::int64_t> node_labels;
    std::vector<std::int64_t> element_labels;
    // nnode+1 entries, 1 for a node inside a volume (used by volume cells
    // but by no face that is drawn): kept for histories and --info, drawn
    // by nothing. Empty when every node is drawn, as in native files.
    std::vector<std::uint8_t> inner_nodes;
    // Named parts the file lists (element blocks, node and side sets), one
    // line each for --info, e.g. "block 1 HEX8 200 Part1"; empty for most formats.
    std::vector<std::string> file_groups;
    // The file's element blocks (Exodus blocks, Gmsh physical groups, ...):
    // their names as the filters show them, and per element (nelem+1
    // entries, entry 0 unused) the index into block_names of the block it
    // came from, kNoBlock for none. Both empty when the file has no blocks.
    static constexpr std::uint16_t kNoBlock = 0xffff;
    std::vector<std::string> block_names;
    std::vector<std::uint16_t> element_blocks;
    // The volume cells the exterior faces above came from (empty without
    // volumes); nothing draws or probes them directly.
    VolumeCells volumes;

    double valmin = 0;
    double valmax = 0;
    double maxscale = 0; // largest |value| of the six reals of any node line
    std::string namefile;

    static constexpr std::size_t coord_cols() { return 7; }
    double& coord(std::size_t i, std::size_t j) { return coord_data[i * coord_cols() + j]; }
    double coord(std::size_t i, std::size_t j) const { return coord_data[i * coord_cols() + j]; }
    const double* coord_row(std::size_t i) const { return coord_data.data() + i * coord_cols(); }

    // A new, empty store for nnode and nlista as they are now (every list
    // zeros until set).
    void reset_lists() { store = std::make_shared<ListStore>(nnode, nlista); }
    // List k's values (nnode+1, pinned while the handle lives) and its
    // displacement (3 per node, or empty for none); see ListStore.
    ListValues values(int k) const { return store->values(k); }
    DisplacementValues displacement(int k) const { return store->displacement(k); }
    // One value or one displacement component (c 0..2): for single nodes and
    // tests; loops take a handle once instead.
    double listas(std::size_t i, std::size_t k) const {
        return store->value_at(static_cast<int>(k), static_cast<std::int32_t>(i));
    }
    double list_displacement(std::size_t i, int k, int c) const {
        const DisplacementValues d = displacement(k);
        return d.empty() ? 0.0 : d[3 * i + static_cast<std::size_t>(c)];
    }
    // Writable value of node i in list k, for code that builds a model: makes
    // the list resident. Loops take store->resident_values(k) once instead.
    double& listas_ref(std::size_t i, std::size_t k) {
        return store->resident_values(static_cast<int>(k))[i];
    }

    std::span<const std::int32_t> conec(std::size_t e) const {
        return {conec_data.data() + conec_start[e],
                static_cast<std::size_t>(conec_start[e + 1] - conec_start[e])};
    }
    std::int32_t element_code(std::size_t e) const { return conec_data[conec_start[e]]; }

    std::int64_t node_label(std::size_t i) const {
        return node_labels.empty() ? static_cast<std::int64_t>(i) : node_labels[i];
    }
    bool node_drawn(std::size_t i) const { return inner_nodes.empty() || !inner_nodes[i]; }
    std::int64_t element_label(std::size_t e) const {
        return element_labels.empty() ? static_cast<std::int64_t>(e) : element_labels[e];
    }
    // Index into block_names of element e's block; -1 when it has none.
    int element_block(std::size_t e) const {
        if (element_blocks.empty() || element_blocks[e] == kNoBlock) return -1;
        return element_blocks[e];
    }
    // The node (1..nnode) with this label, the first one if several share
    // it; 0 when none has it.
    std::int32_t node_with_label(std::int64_t label) const;

    // Drawing scale of the model object: 2 / maxscale puts the largest absolute
    // coordinate on the faces of the reference cube (-2..2). A model whose node
    // block is all zeros (maxscale = 0) is drawn at scale 1 instead of infinity.
    double scene_scale() const { return maxscale > 0 ? 2.0 / maxscale : 1.0; }

    // Bytes held by the arrays above; the reader checks this before allocating.
    static std::uint64_t bytes_needed(std::int64_t nnode, std::int64_t nelem, std::int64_t nlista);
};

// Value ranges a reader found while it read, so that finish_model() need
// not pass over the arrays again.
struct FoundRanges {
    double maxscale = 0;
    std::vector<std::array<double, 2>> lists; // nlista+1 rows of (min, max); row 0 unused
};

// What every reader ends with, once coord, listas and the labels are filled:
// maxscale (the largest |value| of entries 1..6 of any node row); the range
// of each list, a running minimum and maximum in node order, so that of
// equal values (0 and -0) the first one stays; the common range in row 0 of
// maxlista, and valmin and valmax. A model without nodes has every range
// (0, 0). `found`, when given, supplies maxscale and the lists' ranges
// instead. Rows of lists marked in range_pending are left (0, 0), and their
// lists unread; an all-clear range_pending is emptied. Throws
// std::logic_error when the labels or range_pending do not fit the sizes.
void finish_model(ResultModel& m, const FoundRanges* found = nullptr);

// Row 0 of maxlista, valmin and valmax from the lists' rows as they are,
// pending ones left out (finish_model's last step): (0, 0) with no node or
// no known list. May read node nnode of list 1.
void fold_common_range(ResultModel& m);

} // namespace orv
