// libFuzzer target: any byte sequence given to the CalculiX reader must give
// a model or a ReadError, never a crash, a hang or undefined behaviour, and
// the model must be one every drawing path can walk (element nodes in range,
// row lengths matching their codes). Three threads on chunks of a few bytes
// must read exactly what one thread reads: the same data or the same error.
#include "viewer/model/calculix_reader.h"

#include "import_same.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace {

// The hand-over of `threads` threads on `chunk`-byte pieces, or the error's message.
std::optional<orv::ImportData> import(const char* data, std::size_t size, int threads, std::size_t chunk,
                                      std::string& error) {
    orv::ReaderOptions o;
    o.threads = threads;
    o.chunk_bytes = chunk;
    try {
        return orv::import_frd(data, size, "fuzz.frd", o);
    } catch (const orv::ReadError& e) {
        error = e.what();
        return std::nullopt;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    const char* data = reinterpret_cast<const char*>(bytes);
    std::string error1, error3;
    auto one = import(data, size, 1, 0, error1);
    const auto three = import(data, size, 3, 16, error3);
    if (one.has_value() != three.has_value() || error1 != error3) __builtin_trap();
    if (!one) return 0;
    if (!orv::fuzz::same_import(*one, *three)) __builtin_trap();
    try {
        const orv::ReadResult r = orv::build_model(std::move(*one), "fuzz.frd", 1);
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
