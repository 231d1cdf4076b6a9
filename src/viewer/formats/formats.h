#pragma once
// The formats read_result() opens, one row each, and the choice between them.
//
// A file is read by the first row whose sniff claims its first bytes (the
// native sniff, the weakest, is tried after all others); when
// none does, by the row that lists its extension; otherwise it is refused
// with a message naming the formats that exist. The native format is the
// first row.
//
// Adding a format: write its importer in its own files beside this one,
// exposing
//     bool looks_like_X(std::string_view first_bytes);
//     ImportData import_X(input::Input& in, const ReaderOptions& options);
// building on read_core.h and handing over what build_model() takes
// (import_mesh.h); then add one row to the table in formats.cpp, whose
// reader is read_imported<&import_X> (importer.h). Tests, fuzz targets and
// benches reach the importer through importer.h's doors (import_file,
// read_bytes, ...). A sniff sees at most kSniffBytes bytes (fewer when the
// file is shorter) and must claim only what is surely its own: the native
// sniff claims any text with a marker line followed by a number.

#include "viewer/formats/read_core.h"

#include <cstddef>
#include <span>
#include <string>
#include <string_view>

namespace orv {

struct Format {
    const char* name;       // for messages, e.g. "VTK legacy"
    const char* extensions; // lower case, space separated, with the dot: ".vtk"
    bool (*looks_like)(std::string_view first_bytes);
    // The whole read of a file or of bytes in memory, namefile in.path().
    ReadResult (*read)(input::Input& in, const ReaderOptions& options);
    // The freedesktop.org file type of each extension, in the same order,
    // space separated. The open dialog's filter, the installed MIME file and
    // the desktop entry's MimeType= are made from these rows
    // (tools/make_file_types.cpp), so that they list what the reader opens.
    const char* mime_types;
};

// Bytes of the file's beginning that the sniffs see.
constexpr std::size_t kSniffBytes = 4096;

// Every format, native first.
std::span<const Format> formats();

// The row that reads a file with these first bytes and this name (the
// extension is taken from it); nullptr when none does.
const Format* format_for(std::string_view first_bytes, const std::string& name);

// "Não foi possível abrir NAME: ..." for a file no format claims.
std::string unknown_format_message(const std::string& name);

} // namespace orv
