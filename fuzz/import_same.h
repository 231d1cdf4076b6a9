#pragma once
// Whether two importer hand-overs hold the same mesh, values (bit for bit)
// and warnings: what a read on several threads must give against one thread;
// and the check every importer's fuzz target makes.

#include "viewer/formats/import_mesh.h"

#include <cstring>
#include <optional>
#include <string>

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
                p.component_names != q.component_names || !same_bits(p.values, q.values) ||
                p.cells_given != q.cells_given || p.displacement_only != q.displacement_only ||
                p.symmetric_tensor != q.symmetric_tensor)
                return false;
        }
    }
    return true;
}

// The target of an importer: `import(data, size, options)` on one thread and
// on three threads in 16-byte chunks must give the same hand-over or the same
// error; the model built from it must be one every drawing path can walk
// (element nodes in range, row lengths matching their codes).
template <class Import> int check_importer(const std::uint8_t* bytes, std::size_t size, Import import) {
    const char* data = reinterpret_cast<const char*>(bytes);
    const auto run = [&](int threads, std::size_t chunk, std::string& error) -> std::optional<ImportData> {
        ReaderOptions o;
        o.threads = threads;
        o.chunk_bytes = chunk;
        try {
            return import(data, size, o);
        } catch (const ReadError& e) {
            error = e.what();
            return std::nullopt;
        }
    };
    std::string error1, error3;
    auto one = run(1, 0, error1);
    const auto three = run(3, 16, error3);
    if (one.has_value() != three.has_value() || error1 != error3) __builtin_trap();
    if (!one) return 0;
    if (!same_import(*one, *three)) __builtin_trap();
    try {
        const ReadResult r = build_model(std::move(*one), "fuzz", 1);
        const ResultModel& m = r.model;
        for (std::int32_t e = 1; e <= m.nelem; ++e) {
            const auto row = m.conec(e);
            const auto type = decode_element(row[0]);
            if (static_cast<std::int64_t>(row.size()) - 1 != element_node_count(type.family, type.order))
                __builtin_trap();
            for (std::int32_t node : row.subspan(1))
                if (node < 1 || node > m.nnode) __builtin_trap();
        }
        for (int k = 1; k <= m.nlista; ++k)
            if (m.values(k).size() != static_cast<std::size_t>(m.nnode) + 1) __builtin_trap();
    } catch (const ReadError&) {
    }
    return 0;
}

} // namespace orv::fuzz
