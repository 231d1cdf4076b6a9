#pragma once
// One importer per format, and what every importer's read shares.
//
// An importer turns an input into build_model's hand-over:
//     ImportData import_X(input::Input& in, const ReaderOptions& options);
// taking the input's bytes in windows or whole, as suits the format. All
// around it is the same for every format and lives here: the refusals every
// read shares (run_importer), the whole read of a format-table row
// (read_imported<&import_X>), and the doors of tests, fuzz targets and
// benches, over a path or over bytes in memory.

#include "viewer/formats/import_mesh.h"
#include "viewer/formats/read_core.h"

#include <cstddef>
#include <string>

namespace orv {

using Importer = ImportData (*)(input::Input& in, const ReaderOptions& options);

// Runs `import` over `in`, which is how every importer is called. Beside the
// importer's own ReadError: a file that became shorter while it was mapped
// is refused ("NAME became shorter while it was read"), a stop asked by the
// progress callback is ReadCancelled ("Reading NAME was cancelled") and
// running out of memory "Not enough memory to read NAME".
ImportData run_importer(Importer import, input::Input& in, const ReaderOptions& options);

// The whole read: run_importer, then build_model() on the options' threads
// and memory limit, with in.path() as namefile. The input's mapping is let
// go first, so that the peak stays near the model's size; the hand-over's
// groups become the model's file_groups.
ReadResult read_imported(Importer import, input::Input& in, const ReaderOptions& options);

// The reader of a format-table row.
template <Importer Import> ReadResult read_imported(input::Input& in, const ReaderOptions& options) {
    return read_imported(Import, in, options);
}

// The same over a path (anything but a regular file refused before a byte is
// read) or over bytes in memory (`name` in messages and as namefile).
ImportData import_file(Importer import, const std::string& path, const ReaderOptions& options = {});
ImportData import_bytes(Importer import, const char* data, std::size_t size, const std::string& name,
                        const ReaderOptions& options = {});
ReadResult read_file(Importer import, const std::string& path, const ReaderOptions& options = {});
ReadResult read_bytes(Importer import, const char* data, std::size_t size, const std::string& name,
                      const ReaderOptions& options = {});

} // namespace orv
