#pragma once
// Node history: one node's scalar value over a sequence of result lists,
// written as a small text file and handed back for the chart.
//
// File bytes (8-bit Latin-1 text, lines ended by CR LF):
//   "N\xF3: " + the node text as typed
//   (empty line)
//   "Lista      Valor"
//   per list k: k right-aligned in 10 characters, two spaces, the value in
//   fixed notation with 10 decimals right-aligned in 20 characters.
// Numbers always use '.' as decimal separator, whatever the locale.

#include "viewer/model/result_model.h"
#include "viewer/output/output_file.h"

#include <string>
#include <string_view>
#include <vector>

namespace orv {

struct NodeHistory {
    int node = 0;
    std::vector<int> lists;     // the lists walked, in order (may repeat, e.g. a = b)
    std::vector<double> values; // values[i] = listas(node, lists[i]); chart point i is (i, values[i])
};

// UTF-8 text as 8-bit Latin-1: characters beyond U+00FF and malformed bytes
// become '?'.
std::string utf8_to_latin1(std::string_view utf8);

// One value line with its CR LF: list 7, value -0.125 gives
// "         7         -0.1250000000\r\n". Negative zero is written as 0.
std::string format_history_line(int list, double value);

// The whole file. `node_text` is UTF-8 (as the edit field holds it).
std::string format_node_history(std::string_view node_text, const NodeHistory& history);

// Parses the node text and reads the values, checking everything first:
// - not an integer: OutputError "'<text>' is not a valid integer value";
// - no node labelled so (0 is row 0, which belongs to no node and holds
//   zeros, unless a node is labelled 0); NodeHistory::node is the node's row;
// - any list outside 1..nlista.
NodeHistory read_node_history(const ResultModel& model, std::string_view node_text,
                              const std::vector<int>& lists);

// The command: read_node_history, then write the file through an OutputFile. Nothing is
// written when a check fails. Returns the values for the chart.
NodeHistory write_node_history(const std::string& path, const ResultModel& model, std::string_view node_text,
                               const std::vector<int>& lists);

} // namespace orv
