#pragma once
// Reading result files: read_result() opens any format of the table in
// formats.h, chosen by content first and extension second.
//
// The native format, a plain-text result file (native_reader.cpp):
// A first pass finds the marker lines ("#" in column 1); those after the
// third are the result lists. A second pass reads the records, in parallel
// chunks on large files, with the same results, errors and warnings as on one
// thread. Numbers are tokens separated by any byte <= 32, so a record may run
// over several lines; after the last number of a record the rest of its line
// is skipped. A number missing at end of file reads as 0 and a missing name as
// empty; the reader then says so in a warning.

#include "viewer/formats/formats.h"
#include "viewer/formats/read_core.h"

#include <cstddef>
#include <string>

namespace orv {

// Reads the file at `path`, in whichever format it is, into a fresh model
// (namefile = path). A file no format claims is refused naming the formats
// there are. Anything but
// a regular file (a FIFO, a device, a directory) is refused before it can
// block. Throws ReadError (ReadCancelled when the progress callback stops
// it); never leaves a half-checked model behind.
ReadResult read_result(const std::string& path, const ReaderOptions& options = {});

// The same over bytes in memory; `name` is used in messages and as namefile,
// and its extension where the content does not tell the format.
ReadResult read_result_bytes(const char* data, std::size_t size, const std::string& name,
                             const ReaderOptions& options = {});

// As read_result and read_result_bytes, for callers that do not show warnings.
ResultModel read_result_file(const std::string& path, const ReaderOptions& options = {});
ResultModel read_result_buffer(const char* data, std::size_t size, const std::string& name,
                               const ReaderOptions& options = {});

} // namespace orv
