#pragma once
// Every list of a model laid out in one array, list after list, for tests
// that compare two models bit for bit.

#include "viewer/model/result_model.h"

#include <cstring>
#include <vector>

namespace orv::test {

// Values: nnode+1 entries a list (entry 0 included), lists 1..nlista.
inline std::vector<double> all_list_values(const ResultModel& m) {
    std::vector<double> out;
    for (int k = 1; k <= m.nlista; ++k) {
        const ListValues v = m.values(k);
        out.insert(out.end(), v.data(), v.data() + v.size());
    }
    return out;
}

// Displacements: 3*(nnode+1) entries a list, zeros for a list without one.
inline std::vector<double> all_list_displacements(const ResultModel& m) {
    std::vector<double> out;
    const std::size_t n = 3 * (static_cast<std::size_t>(m.nnode) + 1);
    for (int k = 1; k <= m.nlista; ++k) {
        const DisplacementValues d = m.displacement(k);
        if (d.empty())
            out.insert(out.end(), n, 0.0);
        else
            out.insert(out.end(), d.data(), d.data() + d.size());
    }
    return out;
}

// Equal bit for bit: tells -0 from 0, and a NaN equals the same NaN.
inline bool same_bits(const std::vector<double>& a, const std::vector<double>& b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0;
}

} // namespace orv::test
