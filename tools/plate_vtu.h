#pragma once
#include <string>

// Writes make_result_file's plate of nx x ny nodes as a .vtu file (appended
// raw data, zlib-compressed when asked). Returns the exit status.
int write_plate_vtu(const std::string& out, const std::string& kind, long nx, long ny, long lists, bool zlib);
