#pragma once
// Reader of the plain-text result file.
//
// The file is read twice: a first pass counts the result lists (marker lines
// after the element block), a second pass reads the records. Numbers are
// tokens separated by any byte <= 32, so a record may run over several lines;
// after the last number of a record the rest of its line is skipped. A number
// missing at end of file reads as 0 and a missing name as empty.

#include "viewer/model/result_model.h"

#include <cstdint>
#include <stdexcept>
#include <string>

namespace orv {

// Any failure of read_result_file. what() is the message shown to the user,
// for example "Invalid numeric input at line 12 of viga.txt".
class ReadError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

struct ReaderOptions {
    // Largest model (bytes of its arrays) the reader agrees to allocate;
    // 0 means "what this machine's memory allows".
    std::uint64_t memory_limit = 0;
};

// Reads the file at `path` into a fresh model (namefile = path).
// Throws ReadError; never leaves a half-checked model behind.
ResultModel read_result_file(const std::string& path, const ReaderOptions& options = {});

// The same reader over bytes in memory; `name` is used in messages and as namefile.
ResultModel read_result_buffer(const char* data, std::size_t size, const std::string& name,
                               const ReaderOptions& options = {});

} // namespace orv
