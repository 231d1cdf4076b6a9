#pragma once
// The modes that need nothing but the reader: --help and --info. Shared by
// the launcher (orvanel) and the full program (orvanel-app).

#include <string>

namespace orv {

// Prints the --help text on standard output; returns the exit status.
int print_help();

// Reads `path` and prints its summary; 0, or 1 with the reader's message on
// standard error.
int run_info(const std::string& path);

} // namespace orv
