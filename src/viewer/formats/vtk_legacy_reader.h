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

// The importer (importer.h): the whole input parsed into the hand-over of
// build_model(). Honours the options' threads, memory limit and progress
// callback (ReadCancelled when it asks to stop).
ImportData import_vtk_legacy(input::Input& in, const ReaderOptions& options);

} // namespace orv
