// libFuzzer target: any byte sequence given to the Gmsh reader must give
// a model or a ReadError, never a crash, a hang or undefined behaviour, and
// the model must be one every drawing path can walk (element nodes in range,
// row lengths matching their codes).
#include "viewer/model/gmsh_reader.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    try {
        const orv::ReadResult r = orv::read_msh_bytes(reinterpret_cast<const char*>(data), size, "fuzz.msh");
        const orv::ResultModel& m = r.model;
        for (std::int32_t e = 1; e <= m.nelem; ++e) {
            const auto row = m.conec(e);
            const auto type = orv::decode_element(row[0]);
            if (static_cast<std::int64_t>(row.size()) - 1 != orv::element_node_count(type.family, type.order))
                __builtin_trap();
            for (std::int32_t node : row.subspan(1))
                if (node < 1 || node > m.nnode) __builtin_trap();
        }
        if (m.listas_data.size() != (static_cast<std::size_t>(m.nnode) + 1) * m.listas_cols())
            __builtin_trap();
    } catch (const orv::ReadError&) {
    }
    return 0;
}
