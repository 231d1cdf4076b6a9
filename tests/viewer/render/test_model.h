#pragma once
// Small result models built in memory for the render tests.

#include "viewer/model/result_model.h"
#include "viewer/render/element_geometry.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <vector>

namespace orv::test {

struct TestNode {
    Point3 at;
    std::array<double, 3> own{};                  // columns 4..6
    std::vector<std::array<double, 3>> list_disp; // per result list (may be shorter): the list's own
    std::vector<double> values;                   // per result list (may be shorter)
};

struct TestElement {
    int family = 0, order = 0;
    std::vector<std::int32_t> nodes;
};

// Model with the given nodes (numbered from 1 in order), elements and number
// of result lists; ranges, valmin/valmax and maxscale are computed as the
// reader would.
inline ResultModel make_model(const std::vector<TestNode>& nodes, const std::vector<TestElement>& elements,
                              int nlista) {
    ResultModel m;
    m.nnode = static_cast<std::int32_t>(nodes.size());
    m.nelem = static_cast<std::int32_t>(elements.size());
    m.nlista = nlista;
    m.coord_data.resize((nodes.size() + 1) * m.coord_cols());
    m.reset_lists();
    m.namelista.assign(static_cast<std::size_t>(nlista) + 1, "");
    m.maxlista.assign(static_cast<std::size_t>(nlista) + 1, {0, 0});
    for (std::size_t i = 0; i < nodes.size(); ++i) {
        const TestNode& n = nodes[i];
        const std::size_t r = i + 1;
        m.coord(r, 1) = n.at.x;
        m.coord(r, 2) = n.at.y;
        m.coord(r, 3) = n.at.z;
        for (int j = 0; j < 3; ++j)
            m.coord(r, 4 + j) = n.own[j];
        for (int k = 1; k <= nlista; ++k) {
            if (static_cast<std::size_t>(k) <= n.list_disp.size())
                for (std::size_t j = 0; j < 3; ++j)
                    m.store->resident_own_displacement(k)[3 * r + j] = n.list_disp[k - 1][j];
            if (static_cast<std::size_t>(k) <= n.values.size()) m.listas_ref(r, k) = n.values[k - 1];
        }
        for (int j = 1; j <= 6; ++j)
            m.maxscale = std::max(m.maxscale, std::fabs(m.coord(r, j)));
    }
    for (int k = 1; k <= nlista; ++k) {
        double lo = nodes.empty() ? 0 : m.listas(1, k), hi = lo;
        for (std::size_t r = 1; r <= nodes.size(); ++r) {
            lo = std::min(lo, m.listas(r, k));
            hi = std::max(hi, m.listas(r, k));
        }
        m.maxlista[k] = {lo, hi};
        m.maxlista[0] =
            k == 1 ? m.maxlista[k]
                   : std::array<double, 2>{std::min(m.maxlista[0][0], lo), std::max(m.maxlista[0][1], hi)};
    }
    m.valmin = m.maxlista[0][0];
    m.valmax = m.maxlista[0][1];
    m.conec_start.assign(elements.size() + 2, 0);
    for (std::size_t e = 0; e < elements.size(); ++e) {
        m.conec_data.push_back(elements[e].family * 100 + elements[e].order);
        m.conec_data.insert(m.conec_data.end(), elements[e].nodes.begin(), elements[e].nodes.end());
        m.conec_start[e + 2] = static_cast<std::int64_t>(m.conec_data.size());
    }
    // Row 0 of conec: the empty element 0 holds a zero code.
    m.conec_data.insert(m.conec_data.begin(), 0);
    for (std::size_t e = 1; e < m.conec_start.size(); ++e)
        m.conec_start[e] += 1;
    return m;
}

// Flat lattice of one element in the plane z = 0: the node at position i
// (from 1) of a triangle or quadrilateral of order p sits at its lattice
// coordinates (column, row).
inline Point3 lattice_point(int family, int order, int position) {
    int idx = position - 1;
    if (family == 1) return {static_cast<double>(idx), 0, 0};
    if (family == 3)
        return {static_cast<double>(idx % (order + 1)), static_cast<double>(idx / (order + 1)), 0};
    int row = 0, width = order + 1;
    while (idx >= width) {
        idx -= width;
        --width;
        ++row;
    }
    return {static_cast<double>(idx), static_cast<double>(row), 0};
}

} // namespace orv::test
