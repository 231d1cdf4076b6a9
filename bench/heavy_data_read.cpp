// Times the Exodus II or XDMF import of FILE and the model built from it,
// apart, so that the importer's share of `orvanel --info` shows.
//   heavy_data_read FILE
#include "viewer/formats/exodus_reader.h"
#include "viewer/formats/importer.h"
#include "viewer/formats/xdmf_reader.h"

#include <chrono>
#include <cstdio>
#include <string>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: heavy_data_read FILE\n");
        return 2;
    }
    const std::string path = argv[1];
    const bool xdmf = path.size() > 4 && (path.ends_with(".xdmf") || path.ends_with(".xmf"));
    try {
        const auto t0 = std::chrono::steady_clock::now();
        orv::ImportData d =
            xdmf ? orv::import_file(orv::import_xdmf, path) : orv::import_file(orv::import_exodus, path);
        const auto t1 = std::chrono::steady_clock::now();
        const orv::ReadResult r = orv::build_model(std::move(d), path);
        const auto t2 = std::chrono::steady_clock::now();
        std::printf("import %.3f s, build_model %.3f s, %d nodes, %d lists\n",
                    std::chrono::duration<double>(t1 - t0).count(),
                    std::chrono::duration<double>(t2 - t1).count(), r.model.nnode, r.model.nlista);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
}
