#pragma once
// Readers of VTK's XML files: .vtu (UnstructuredGrid), .vtp (PolyData),
// .pvtu (PUnstructuredGrid: pieces merged into one mesh) and .pvd
// (Collection: one step per DataSet, in timestep order).
//
// Arrays may be ascii, inline base64 ("binary") or appended (raw or base64),
// with UInt32 or UInt64 block headers, uncompressed or zlib/LZ4/LZMA
// compressed, little or big endian, of any numeric type. Appended raw data is
// read from the file in place, never through the XML parser.

#include "viewer/formats/import_mesh.h"
#include "viewer/formats/reader.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace orv {

// The `type` attribute of the VTKFile element when the first bytes of a file
// are VTK XML ("UnstructuredGrid", "PolyData", "Collection",
// "PUnstructuredGrid", ...); empty otherwise.
std::string vtk_xml_type(std::string_view head);

// The importer (importer.h) of every type above, reading the input in
// windows: the file's mesh and fields as one ImportData; pieces of .pvtu
// files and steps of .pvd files are read relative to the file's folder.
// Bytes in memory are read as .vtu or .vtp only (a collection or a
// partitioned file names other files). Throws ReadError naming the file and
// the line (XML) or byte offset (binary data).
ImportData import_vtk_xml(input::Input& in, const ReaderOptions& options);

// Sniffs of the format table: the first bytes are VTK XML of that type.
bool looks_like_vtu(std::string_view first_bytes); // UnstructuredGrid or PolyData
bool looks_like_pvd(std::string_view first_bytes);
bool looks_like_pvtu(std::string_view first_bytes);

} // namespace orv
