#pragma once
// Whether two importer hand-overs hold the same mesh, values (bit for bit)
// and warnings: what a read on several threads must give against one thread.

#include "viewer/model/import_mesh.h"

#include <cstring>

namespace orv::fuzz {

template <class V> bool same_bits(const V& a, const V& b) {
    return a.size() == b.size() &&
           (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(a[0])) == 0);
}

inline bool same_import(const ImportData& a, const ImportData& b) {
    const ImportMesh &m = a.mesh, &n = b.mesh;
    if (!same_bits(m.points, n.points) || m.point_labels != n.point_labels ||
        m.cell_labels != n.cell_labels || m.cell_types != n.cell_types || m.cell_offsets != n.cell_offsets ||
        m.cell_nodes != n.cell_nodes || a.warnings != b.warnings || a.skipped_fields != b.skipped_fields ||
        a.steps.size() != b.steps.size())
        return false;
    for (std::size_t s = 0; s < a.steps.size(); ++s) {
        const ImportStep &x = a.steps[s], &y = b.steps[s];
        if (x.time != y.time || x.fields.size() != y.fields.size()) return false;
        for (std::size_t f = 0; f < x.fields.size(); ++f) {
            const ImportField &p = x.fields[f], &q = y.fields[f];
            if (p.name != q.name || p.components != q.components || p.on_cells != q.on_cells ||
                p.component_names != q.component_names || !same_bits(p.values, q.values))
                return false;
        }
    }
    return true;
}

} // namespace orv::fuzz
