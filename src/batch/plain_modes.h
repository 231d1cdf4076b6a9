#pragma once
// The modes that need nothing but the reader: --help, --version, --info, --convert and --plot-line. Shared by
// the launcher (orvanel) and the full program (orvanel-app).

#include "batch/command_line.h"
#include "viewer/model/result_model.h"

#include <optional>
#include <string>

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

// Reads `cl.file` and writes the values of cl.lists along cl.line as CSV to
// cl.output (volume_locate.h), atomically; 0, or 1 with the message on
// standard error and the output as it was (a file without volume cells, a
// list it lacks).
int run_plot_line(const cli::CommandLine& cl);

// Keeps `model` until the process ends and returns it. A run from the
// command line ends once its outputs are written, and the system takes the
// memory back at exit at once: freeing the arrays first would only add time.
// (It stays reachable, so leak checkers do not count it.)
ResultModel& keep_until_exit(ResultModel&& model);

// Parses the command line; on a usage error prints it with the short usage
// on standard error and returns nothing (the caller exits with status 2).
std::optional<cli::CommandLine> read_command_line(int argc, char** argv);

// Runs --help, --version, --info, --convert or --plot-line and returns the exit status; nothing for the other
// modes, which need the full program.
std::optional<int> run_plain_mode(const cli::CommandLine& cl);

} // namespace orv
