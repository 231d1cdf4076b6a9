#pragma once
// Reader of the plain-text result file.
//
// A first pass finds the marker lines ("#" in column 1); those after the
// third are the result lists. A second pass reads the records, in parallel
// chunks on large files, with the same results, errors and warnings as on one
// thread. Numbers are tokens separated by any byte <= 32, so a record may run
// over several lines; after the last number of a record the rest of its line
// is skipped. A number missing at end of file reads as 0 and a missing name as
// empty; the reader then says so in a warning.

#include "viewer/model/result_model.h"

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace orv {

// Any failure of the reader. what() is the message shown to the user, for
// example "Invalid numeric input at line 12 of viga.txt".
class ReadError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// The progress callback asked to stop. Derived from ReadError so that callers
// that only know ReadError still catch it; callers that offer a cancel button
// catch it first and show nothing.
class ReadCancelled : public ReadError {
  public:
    using ReadError::ReadError;
};

struct ReaderOptions {
    // Largest model (bytes of its arrays) the reader agrees to allocate;
    // 0 means "what this machine's memory allows".
    std::uint64_t memory_limit = 0;
    // Threads that parse: 0 takes the environment variable ORVANEL_THREADS
    // when it holds a positive number, else std::thread::hardware_concurrency().
    // 1 reads on the calling thread only.
    int threads = 0;
    // Bytes per chunk of the parallel passes; 0 means 1 MiB. Tests and the
    // fuzzer use a few dozen bytes to put chunk joins everywhere.
    std::size_t chunk_bytes = 0;
    // Called on the calling thread about every MiB read, with the work done
    // so far and the total, both in bytes of the file (the quick marker pass
    // counts for a tenth, the parse for the rest). Returning false stops the
    // read, which then throws ReadCancelled.
    std::function<bool(std::uint64_t done, std::uint64_t total)> progress;
};

struct ReadResult {
    ResultModel model;
    // Things the user should know about a file that did read, for example
    // "viga.txt ends early: 1000000 nodes announced, 41377 read; the rest read as 0."
    std::vector<std::string> warnings;
};

// Reads the file at `path` into a fresh model (namefile = path). Anything but
// a regular file (a FIFO, a device, a directory) is refused before it can
// block. Throws ReadError (ReadCancelled when the progress callback stops
// it); never leaves a half-checked model behind.
ReadResult read_result(const std::string& path, const ReaderOptions& options = {});

// The same reader over bytes in memory; `name` is used in messages and as namefile.
ReadResult read_result_bytes(const char* data, std::size_t size, const std::string& name,
                             const ReaderOptions& options = {});

// As read_result and read_result_bytes, for callers that do not show warnings.
ResultModel read_result_file(const std::string& path, const ReaderOptions& options = {});
ResultModel read_result_buffer(const char* data, std::size_t size, const std::string& name,
                               const ReaderOptions& options = {});

// Threads the reader uses when ReaderOptions::threads is 0.
int default_reader_threads();

} // namespace orv
