#pragma once
// The modes that need nothing but the reader: --help, --version, --info, --convert and --plot-line. Shared by
// the launcher (orvanel) and the full program (orvanel-app).

#include "batch/command_line.h"
#include "viewer/model/result_model.h"

#include <optional>
#include <string>
#include <vector>

namespace orv {

// Prints the --help text on standard output; returns the exit status.
int print_help();

// Prints "orvanel X.Y" (the project's version) on standard output.
int print_version();

// Reads `path` and prints its summary; 0, or 1 with the reader's message on
// standard error.
int run_info(const std::string& path);

// Reads `path` and writes its model as `out` (.vtu or native .txt, by the
// extension), atomically; 0, or 1 with the message on standard error and
// `out` as it was.
int run_convert(const std::string& out, const std::string& path);

// The values of cl.lists along cl.line in the file cl.file: the CSV of
// --plot-line (volume_locate.h) and its columns for a chart. Warnings of the
// reader go to standard error. Throws, with the message the user sees, for
// a file that cannot be read, without volume cells, or without a list.
struct LineValues {
    std::string csv;
    std::vector<std::string> names;          // of the lists
    std::vector<double> distance;            // of each sample
    std::vector<std::vector<double>> values; // per list, per sample; NaN: in no cell
};
LineValues line_values(const cli::CommandLine& cl);

// Writes line_values(cl).csv to cl.output atomically; 0, or 1 with the
// message on standard error and the output as it was.
int run_plot_line(const cli::CommandLine& cl);

// Keeps `model` until the process ends and returns it. A run from the
// command line ends once its outputs are written, and the system takes the
// memory back at exit at once: freeing the arrays first would only add time.
// (It stays reachable, so leak checkers do not count it.)
ResultModel& keep_until_exit(ResultModel&& model);

// Parses the command line; on a usage error prints it with the short usage
// on standard error and returns nothing (the caller exits with status 2).
std::optional<cli::CommandLine> read_command_line(int argc, char** argv);

// Runs --help, --version, --info, --convert or --plot-line (without --chart) and returns the exit status;
// nothing for the other modes, which need the full program.
std::optional<int> run_plain_mode(const cli::CommandLine& cl);

} // namespace orv
