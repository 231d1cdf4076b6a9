// libFuzzer target: any byte sequence given to the reader must either give a
// model or a ReadError, never a crash, a hang or undefined behaviour.
#include "viewer/model/info_report.h"
#include "viewer/model/reader.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    orv::ReaderOptions options;
    options.memory_limit = 64u << 20; // keep huge announced sizes cheap to refuse
    try {
        const orv::ResultModel m =
            orv::read_result_buffer(reinterpret_cast<const char*>(data), size, "fuzz.txt", options);
        // Walk everything a viewer would read, so that an inconsistent model shows up here.
        for (std::int32_t e = 1; e <= m.nelem; ++e) {
            for (std::int32_t node : m.conec(e).subspan(1))
                if (node < 1 || node > m.nnode) __builtin_trap();
        }
        (void)orv::info_report(m);
    } catch (const orv::ReadError&) {
    }
    return 0;
}
