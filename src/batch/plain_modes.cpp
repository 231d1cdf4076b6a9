#include "batch/plain_modes.h"

#include "batch/command_line.h"
#include "viewer/model/info_report.h"
#include "viewer/model/reader.h"

#include <string>

#include <cstdio>

namespace orv {

int print_help() {
    const std::string text = cli::help_text();
    std::fwrite(text.data(), 1, text.size(), stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
}

int print_version() {
    return std::printf("orvanel %s\n", ORVANEL_VERSION) > 0 && std::fflush(stdout) == 0 ? 0 : 1;
}

int run_info(const std::string& path) {
    try {
        const ReadResult result = read_result(path);
        for (const std::string& warning : result.warnings)
            std::fprintf(stderr, "%s\n", warning.c_str());
        const std::string report = info_report(result.model);
        std::fwrite(report.data(), 1, report.size(), stdout);
        return std::fflush(stdout) == 0 ? 0 : 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
}

std::optional<cli::CommandLine> read_command_line(int argc, char** argv) {
    try {
        return cli::parse_command_line(argc, argv);
    } catch (const cli::UsageError& e) {
        std::fprintf(stderr, "orvanel: %s\n%s", e.what(), cli::usage_text().c_str());
        return std::nullopt;
    }
}

std::optional<int> run_plain_mode(const cli::CommandLine& cl) {
    if (cl.mode == cli::Mode::Help) return print_help();
    if (cl.mode == cli::Mode::Version) return print_version();
    if (cl.mode == cli::Mode::Info) return run_info(cl.file);
    return std::nullopt;
}

} // namespace orv
