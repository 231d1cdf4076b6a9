#pragma once
// Reader of VTK's legacy file format (".vtk"): ASCII and BINARY (big-endian)
// files holding an UNSTRUCTURED_GRID or POLYDATA, with POINT_DATA and
// CELL_DATA given as SCALARS (1 to 4 components), VECTORS, NORMALS, TENSORS
// or FIELD arrays, and cells in either layout (the old "CELLS n size" lists or
// the OFFSETS/CONNECTIVITY arrays of version 5.1). The file's data become one
// step; a dataset FIELD array named TIME gives that step its time.
//
// Counts are checked against the file's size before anything is allocated.
// Errors name the file, the line (ASCII) or byte offset (BINARY) and what was
// expected. A file that ends inside its data is warned about and what is
// missing reads as 0, as in the native reader.

#include "viewer/formats/import_mesh.h"
#include "viewer/formats/reader.h"

#include <cstddef>
#include <string>

namespace orv {

// The first bytes of a legacy VTK file ("# vtk DataFile").
bool looks_like_vtk_legacy(const char* data, std::size_t size);

// Parses the file's bytes into the hand-over of build_model(); `name` appears
// in messages. Honours the options' threads, memory limit and progress
// callback (ReadCancelled when it asks to stop).
ImportData parse_vtk_legacy(const char* data, std::size_t size, const std::string& name,
                            const ReaderOptions& options = {});

// Reads a legacy VTK file into a model (namefile = path). Anything but a
// regular file is refused before it can block.
ReadResult read_vtk_legacy(const std::string& path, const ReaderOptions& options = {});
ReadResult read_vtk_legacy_bytes(const char* data, std::size_t size, const std::string& name,
                                 const ReaderOptions& options = {});

} // namespace orv
