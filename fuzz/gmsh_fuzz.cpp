// libFuzzer target: any byte sequence given to the Gmsh reader must give
// a model or a ReadError, never a crash, a hang or undefined behaviour, and
// the model must be one every drawing path can walk (element nodes in range,
// row lengths matching their codes). Three threads on chunks of a few bytes
// must read exactly what one thread reads: the same data or the same error.
#include "viewer/formats/gmsh_reader.h"
#include "viewer/formats/importer.h"

#include "import_same.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return orv::fuzz::check_importer(data, size,
                                     [](const char* d, std::size_t n, const orv::ReaderOptions& o) {
                                         return orv::import_bytes(orv::import_msh, d, n, "fuzz.msh", o);
                                     });
}
