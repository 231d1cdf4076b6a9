#include "viewer/formats/importer.h"

#include <new>
#include <stdexcept>
#include <utility>

namespace orv {

ImportData run_importer(Importer import, input::Input& in, const ReaderOptions& options) {
    try {
        return in.checked([&] {
            try {
                return import(in, options);
            } catch (const std::bad_alloc&) {
                throw ReadError("Not enough memory to read " + in.name());
            } catch (const std::length_error&) {
                throw ReadError("Not enough memory to read " + in.name());
            }
        });
    } catch (const input::Stopped&) {
        throw ReadCancelled("Reading " + in.name() + " was cancelled");
    }
}

ReadResult read_imported(Importer import, input::Input& in, const ReaderOptions& options) {
    ImportData data = run_importer(import, in, options);
    in.release();
    std::vector<std::string> groups = std::move(data.groups);
    ReadResult out =
        build_model(std::move(data), in.path(), options.threads, options.memory_limit, options.defer_ranges);
    if (!groups.empty()) out.model.file_groups = std::move(groups);
    return out;
}

ImportData import_file(Importer import, const std::string& path, const ReaderOptions& options) {
    input::Input in(path);
    return run_importer(import, in, options);
}

ImportData import_bytes(Importer import, const char* data, std::size_t size, const std::string& name,
                        const ReaderOptions& options) {
    input::Input in(data, size, name);
    return run_importer(import, in, options);
}

ReadResult read_file(Importer import, const std::string& path, const ReaderOptions& options) {
    input::Input in(path);
    return read_imported(import, in, options);
}

ReadResult read_bytes(Importer import, const char* data, std::size_t size, const std::string& name,
                      const ReaderOptions& options) {
    input::Input in(data, size, name);
    return read_imported(import, in, options);
}

} // namespace orv
