// libFuzzer target: any bytes given to the Exodus II reader (netCDF classic,
// 64-bit offset, CDF5 and netCDF-4/HDF5 metadata, read from memory) must give
// imported data that build_model accepts or refuses with a ReadError, never
// a crash, a hang or an allocation the input cannot justify.
#include "viewer/model/exodus_reader.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    orv::ReaderOptions options;
    options.memory_limit = 64u << 20; // keep huge announced sizes cheap to refuse
    try {
        orv::ExodusData x =
            orv::import_exodus_bytes(reinterpret_cast<const char*>(data), size, "fuzz.exo", options);
        const orv::ReadResult r = orv::build_model(std::move(x.data), "fuzz.exo");
        for (std::int32_t e = 1; e <= r.model.nelem; ++e)
            for (std::int32_t node : r.model.conec(e).subspan(1))
                if (node < 1 || node > r.model.nnode) __builtin_trap();
    } catch (const orv::ReadError&) {
    }
    return 0;
}
