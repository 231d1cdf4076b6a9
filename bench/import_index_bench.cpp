// What the first pass of an importer costs against a read of every value:
// one mode per run, so that the peak resident memory is the mode's own.
//
//   import_index_bench [--threads N] index|full|each FILE   (.frd or .msh)
//
//   index  the first pass alone: the mesh, and where each field's values lie
//   full   every value at once (what a read did before values were read
//          when needed)
//   each   the first pass, then every field through its load, one at a
//          time, each dropped before the next (a history over all steps,
//          or --info's ranges)
//
// Prints the wall time, the fields, those left in the file, and the peak
// resident memory. Time several runs with farm-bench, e.g.
//   farm-bench -n 5 --vs "import_index_bench full F.frd" -- import_index_bench index F.frd
#include "viewer/formats/calculix_reader.h"
#include "viewer/formats/gmsh_reader.h"
#include "viewer/formats/importer.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/resource.h>

int main(int argc, char** argv) {
    orv::ReaderOptions options;
    int a = 1;
    if (a + 1 < argc && std::strcmp(argv[a], "--threads") == 0) {
        options.threads = std::atoi(argv[a + 1]);
        a += 2;
    }
    if (argc - a != 2) {
        std::fprintf(stderr, "usage: import_index_bench [--threads N] index|full|each FILE\n");
        return 2;
    }
    const std::string mode = argv[a], path = argv[a + 1];
    if (mode != "index" && mode != "full" && mode != "each") {
        std::fprintf(stderr, "import_index_bench: unknown mode %s\n", mode.c_str());
        return 2;
    }
    options.values_on_demand = mode != "full";
    const auto start = std::chrono::steady_clock::now();
    std::size_t fields = 0, indexed = 0;
    try {
        const bool frd = path.size() > 4 && path.substr(path.size() - 4) == ".frd";
        orv::ImportData d = frd ? orv::import_file(orv::import_frd, path, options)
                                : orv::import_file(orv::import_msh, path, options);
        for (auto& step : d.steps)
            for (auto& field : step.fields) {
                ++fields;
                if (!field.load) continue;
                ++indexed;
                if (mode == "each") {
                    orv::ZeroedVector<double> values;
                    field.load(values);
                }
            }
    } catch (const orv::ReadError& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    rusage use{};
    getrusage(RUSAGE_SELF, &use);
    std::printf("%s: %.3f s, %zu fields, %zu left in the file, peak %.1f MiB\n", mode.c_str(), seconds,
                fields, indexed, static_cast<double>(use.ru_maxrss) / 1024.0);
    return 0;
}
