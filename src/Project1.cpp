// Start-up of Orvanel: the command-line modes, then the graphical interface.
#include "viewer/model/info_report.h"
#include "viewer/model/reader.h"

#include <cstdio>
#include <cstring>
#include <string>

#ifdef ORVANEL_GUI
#include "shell/gui_main.h"
#endif

namespace {

const char* const kUsage = "Usage: orvanel [FILE]          open FILE (a result file) in the viewer\n"
                           "       orvanel --info FILE     print a summary of FILE and exit\n"
                           "       orvanel --help          print this text\n"
                           "ORVANEL_THREADS=N    reading threads (default: all cores; 1 = one thread)\n";

int run_info(const char* path) {
    try {
        const orv::ReadResult result = orv::read_result(path);
        for (const std::string& warning : result.warnings)
            std::fprintf(stderr, "%s\n", warning.c_str());
        const std::string report = orv::info_report(result.model);
        std::fwrite(report.data(), 1, report.size(), stdout);
        return std::fflush(stdout) == 0 ? 0 : 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && std::strncmp(argv[1], "--", 2) == 0) {
        if (std::strcmp(argv[1], "--help") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (std::strcmp(argv[1], "--info") == 0) {
            if (argc != 3) {
                std::fputs(kUsage, stderr);
                return 2;
            }
            return run_info(argv[2]);
        }
#ifndef ORVANEL_GUI
        std::fprintf(stderr, "orvanel: unknown option %s\n%s", argv[1], kUsage);
        return 2;
#endif
    }
#ifdef ORVANEL_GUI
    return orv::run_gui(argc, argv);
#else
    std::fputs(kUsage, stderr);
    return 2;
#endif
}
