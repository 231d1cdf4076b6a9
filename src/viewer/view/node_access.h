#pragma once
// The one place new code that looks inside solids reads a result list's
// node values: through values_of(). Deformed positions come from
// NodePlacement / deformed_position() of render/element_geometry.h.

#include "viewer/model/result_model.h"

#include <cstddef>
#include <cstdint>

namespace orv {

// Result list k (1..nlista) of a model, node by node (1..nnode); k = 0
// reads 0 everywhere.
struct NodeValues {
    const ResultModel* model = nullptr;
    std::size_t list = 0;
    double operator[](std::int32_t node) const {
        return list ? model->listas(static_cast<std::size_t>(node), list) : 0.0;
    }
};

inline NodeValues values_of(const ResultModel& m, int k) {
    return {&m, k >= 1 && k <= m.nlista ? static_cast<std::size_t>(k) : 0};
}

} // namespace orv
