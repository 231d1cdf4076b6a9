#pragma once
// Coarse versions of display lists, for turning a large model at an
// interactive rate: vertex clustering on a grid of cubic cells.
//
// Every vertex of the full list falls into a cell; a cell's vertices become
// one vertex at their mean position (so it lies within the cell). A piece
// whose vertices fall into distinct cells survives as a piece between those
// cells' vertices; pieces that fall into fewer cells vanish, and pieces that
// fall onto the same cells are merged into one. A coarse piece's vertex
// colour is the mean of the colours its full pieces had at that corner, so
// every coarse colour lies within the range of the pieces it replaces.
// Points are merged per cell. Pieces keep their style (runs of one style are
// joined, styles in the order they first appear), so the coarse list draws
// with the state of the full one.

#include "viewer/render/piece_chunks.h"

#include <atomic>
#include <cstdint>

namespace orv {

// Cubic cells over an axis-aligned box: `cells_across` cells (1..2^20)
// along its largest side.
struct ClusterGrid {
    double lo[3] = {0, 0, 0};
    double cell = 1;

    static ClusterGrid over(const PieceChunks& chunks, int cells_across);
    // The cell of a point, as a key (three 21-bit cell coordinates).
    std::uint64_t key(const float* xyz) const;
};

// The coarse version of `full` on `grid`. Returns nothing (an empty list)
// when cancel becomes true meanwhile, or when the grid would need more than
// 2^21 clusters. Plain C++; safe to run on another thread while nothing else
// touches `full`.
PieceChunks coarsen_chunks(const PieceChunks& full, const ClusterGrid& grid,
                           const std::atomic<bool>* cancel = nullptr);

} // namespace orv
