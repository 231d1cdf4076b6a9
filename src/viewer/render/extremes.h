#pragma once
// The nodes of a result list's smallest and largest values, for the
// "Extremos" marks of the 3D view.

#include "viewer/model/result_model.h"

#include <cstdint>
#include <optional>

namespace orv {

struct ListExtremes {
    std::int32_t min_node = 0, max_node = 0; // 1..nnode
    double min = 0, max = 0;
    friend bool operator==(const ListExtremes&, const ListExtremes&) = default;
};

// Smallest and largest value of result list k (1..nlista) over the nodes the
// model draws (nodes inside volumes are left out); the lowest node number
// among equals. Nothing for a list out of range or a model without drawn
// nodes. NaN values are skipped.
std::optional<ListExtremes> find_extremes(const ResultModel& m, int k);

} // namespace orv
