#include "batch/plain_modes.h"

#include "batch/command_line.h"
#include "viewer/formats/model_writer.h"
#include "viewer/formats/reader.h"
#include "viewer/model/info_report.h"
#include "viewer/model/name_text.h"
#include "viewer/output/output_file.h"
#include "viewer/view/volume_locate.h"

#include <stdexcept>
#include <string>
#include <vector>

#include <clocale>
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

namespace {

std::string base_name_of(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool ends_with_vtu(const std::string& path) {
    if (path.size() < 4) return false;
    std::string ext = path.substr(path.size() - 4);
    for (char& c : ext)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return ext == ".vtu";
}

} // namespace

ResultModel& keep_until_exit(ResultModel&& model) {
    struct Kept {
        ResultModel model;
        Kept* next;
    };
    static Kept* kept = nullptr;
    kept = new Kept{std::move(model), kept};
    return kept->model;
}

int run_info(const std::string& path) {
    // Names are printed in the terminal's encoding; numbers keep the "C" locale's '.'.
    std::setlocale(LC_CTYPE, "");
    try {
        ReadResult result = read_result(path);
        for (const std::string& warning : result.warnings)
            std::fprintf(stderr, "%s\n", warning.c_str());
        const std::string report = info_report(keep_until_exit(std::move(result.model)));
        std::fwrite(report.data(), 1, report.size(), stdout);
        return std::fflush(stdout) == 0 ? 0 : 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
}

int run_convert(const std::string& out, const std::string& path) {
    try {
        check_replaceable(out); // before a long read
        ReadResult result = read_result(path);
        for (const std::string& warning : result.warnings)
            std::fprintf(stderr, "%s\n", warning.c_str());
        const ResultModel& model = keep_until_exit(std::move(result.model));
        if (ends_with_vtu(out)) {
            const VtuBytes vtu = vtu_of(model);
            for (const std::string& warning : vtu.warnings)
                std::fprintf(stderr, "%s\n", escape_control_bytes(warning).c_str());
            write_file_atomically(out, vtu.bytes);
        } else {
            if (!numbered_in_order(model))
                std::fprintf(stderr,
                             "%s: the native format numbers nodes and elements 1, 2, ...; the file's own "
                             "numbers are not kept.\n",
                             escape_control_bytes(path).c_str());
            write_file_atomically(out, native_text_of(model));
        }
        return 0;
    } catch (const ModelWriteError& e) {
        std::fprintf(stderr, "%s\n",
                     escape_control_bytes("Cannot convert " + path + " to " + out + ": " + e.what()).c_str());
        return 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
}

LineValues line_values(const cli::CommandLine& cl) {
    ReadResult result = read_result(cl.file);
    for (const std::string& warning : result.warnings)
        std::fprintf(stderr, "%s\n", warning.c_str());
    const ResultModel& model = keep_until_exit(std::move(result.model));
    // A, A + S, ... up to B, and B itself; each list once.
    std::vector<int> lists;
    for (long long k = cl.lists.first; k <= cl.lists.last; k += cl.lists.step)
        lists.push_back(static_cast<int>(k));
    if (lists.empty() || lists.back() != cl.lists.last) lists.push_back(cl.lists.last);
    for (const int k : lists)
        if (k > model.nlista)
            throw std::runtime_error(
                "Result list " + std::to_string(k) + " does not exist: " +
                (model.nlista < 1 ? std::string("the file has no result lists.")
                                  : "the lists are numbered 1 to " + std::to_string(model.nlista) + "."));
    if (model.volumes.empty())
        throw std::runtime_error(base_name_of(cl.file) +
                                 " has no volume cells: --plot-line samples the values inside them.");
    const VolumeLocator index(model);
    const auto& e = cl.line;
    const auto samples = sample_line(index, {e[0], e[1], e[2]}, {e[3], e[4], e[5]}, cl.samples, lists);
    LineValues out;
    out.csv = line_csv(model, lists, samples);
    out.values.resize(lists.size());
    for (const int k : lists)
        out.names.push_back(model.namelista[static_cast<std::size_t>(k)]);
    for (const LineSample& s : samples) {
        out.distance.push_back(s.distance);
        for (std::size_t c = 0; c < lists.size(); ++c)
            out.values[c].push_back(s.values[c]);
    }
    return out;
}

int run_plot_line(const cli::CommandLine& cl) {
    try {
        check_replaceable(cl.output); // before a long read
        write_file_atomically(cl.output, line_values(cl).csv);
        return 0;
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
    if (cl.mode == cli::Mode::Convert) return run_convert(cl.output, cl.file);
    if (cl.mode == cli::Mode::PlotLine && cl.chart.empty()) return run_plot_line(cl);
    return std::nullopt;
}

} // namespace orv
