// libFuzzer target: any bytes given to the XDMF reader as the light data
// (XML data items, xpointer expressions, collections, Mixed topologies) must
// give imported data that build_model accepts or refuses with a ReadError,
// never a crash, a hang or an allocation the input cannot justify. The name
// lies in a folder that does not exist, so that no HDF5 or included file is
// ever opened.
#include "viewer/formats/importer.h"
#include "viewer/formats/xdmf_reader.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    orv::ReaderOptions options;
    options.memory_limit = 64u << 20;
    try {
        orv::ImportData d = orv::import_bytes(orv::import_xdmf, reinterpret_cast<const char*>(data), size,
                                              "/nonexistent-orvanel-fuzz/fuzz.xdmf", options);
        const orv::ReadResult r = orv::build_model(std::move(d), "fuzz.xdmf");
        for (std::int32_t e = 1; e <= r.model.nelem; ++e)
            for (std::int32_t node : r.model.conec(e).subspan(1))
                if (node < 1 || node > r.model.nnode) __builtin_trap();
    } catch (const orv::ReadError&) {
    }
    return 0;
}
