#pragma once
// The one place new code that looks inside solids reads a result list's
// node values: through values_of(). Deformed positions come from
// NodePlacement / deformed_position() of render/element_geometry.h.

#include "viewer/model/result_model.h"

#include <cstddef>
#include <cstdint>

namespace orv {

// Result list k (1..nlista) of a model, node by node (1..nnode); k = 0
// reads 0 everywhere. Holds the list's values (loading them if needed) for
// as long as it lives, so a walk takes it once.
struct NodeValues {
    ListValues held;
    double operator[](std::int32_t node) const {
        return held.empty() ? 0.0 : held[static_cast<std::size_t>(node)];
    }
};

inline NodeValues values_of(const ResultModel& m, int k) {
    if (k < 1 || k > m.nlista) return {};
    return {m.values(k)};
}

} // namespace orv
