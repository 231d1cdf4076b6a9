// libFuzzer target: any byte sequence given to the reader must either give a
// model or a ReadError, never a crash, a hang or undefined behaviour; and the
// parallel reader, on three threads with chunks of a few bytes so that chunk
// joins fall everywhere, must give exactly what one thread gives: the same
// arrays, names, ranges and warnings, or the same error message.
#include "viewer/formats/reader.h"
#include "viewer/model/info_report.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

namespace {

// Everything a read produces, byte for byte.
std::string outcome(const std::uint8_t* data, std::size_t size, const orv::ReaderOptions& options) {
    try {
        const orv::ReadResult r =
            orv::read_result_bytes(reinterpret_cast<const char*>(data), size, "fuzz.txt", options);
        const orv::ResultModel& m = r.model;
        // Walk everything a viewer would read, so that an inconsistent model shows up here.
        for (std::int32_t e = 1; e <= m.nelem; ++e) {
            for (std::int32_t node : m.conec(e).subspan(1))
                if (node < 1 || node > m.nnode) __builtin_trap();
        }
        std::string s = orv::info_report(m);
        const auto put = [&](const void* p, std::size_t n) { s.append(static_cast<const char*>(p), n); };
        put(m.coord_data.data(), m.coord_data.size() * sizeof(double));
        for (int k = 1; k <= m.nlista; ++k) {
            const orv::ListValues v = m.values(k);
            const orv::DisplacementValues d = m.displacement(k);
            put(v.data(), v.size() * sizeof(double));
            put(d.data(), d.size() * sizeof(double));
        }
        put(m.conec_data.data(), m.conec_data.size() * sizeof(std::int32_t));
        put(m.conec_start.data(), m.conec_start.size() * sizeof(std::int64_t));
        put(&m.maxscale, sizeof m.maxscale);
        for (const auto& range : m.maxlista)
            put(range.data(), sizeof range);
        for (const std::string& w : r.warnings)
            s += "warning: " + w + "\n";
        return s;
    } catch (const orv::ReadError& e) {
        return std::string("error: ") + e.what();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    orv::ReaderOptions one;
    one.memory_limit = 64u << 20; // keep huge announced sizes cheap to refuse
    one.threads = 1;
    orv::ReaderOptions many = one;
    many.threads = 3;
    // The first byte picks the chunk size, 1..32 bytes.
    many.chunk_bytes = size ? 1 + data[0] % 32 : 7;
    if (outcome(data, size, one) != outcome(data, size, many)) __builtin_trap();
    return 0;
}
