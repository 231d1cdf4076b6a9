#include "viewer/model/result_model.h"

namespace orv {

std::int64_t element_node_count(int family, int order) {
    if (order < 0) return 0;
    const std::int64_t p = order;
    switch (family) {
    case 1:
        return p + 1;
    case 2:
        return (p + 1) * (p + 2) / 2; // the product is always even
    case 3:
        return (p + 1) * (p + 1);
    default:
        return 0;
    }
}

std::uint64_t ResultModel::bytes_needed(std::int64_t nnode, std::int64_t nelem, std::int64_t nlista) {
    // Sizes come straight from the file and may be absurd: compute in long
    // double so that no product overflows, then saturate.
    const long double nodes = static_cast<long double>(nnode) + 1;
    const long double elems = static_cast<long double>(nelem) + 1;
    const long double lists = static_cast<long double>(nlista) + 1;
    long double bytes = nodes * (3 * (lists - 1) + 7) * sizeof(double)          // coord
                        + nodes * lists * sizeof(double)                        // listas
                        + elems * (sizeof(std::int32_t) + sizeof(std::int64_t)) // codes + row starts
                        + lists * (sizeof(std::string) + 2 * sizeof(double));   // names + ranges
    if (bytes > 1.8e19L) return UINT64_MAX;
    return static_cast<std::uint64_t>(bytes);
}

} // namespace orv
