#pragma once
// Reader of XDMF 2 and 3 files (.xdmf, .xmf): the XML light data through the
// element tree the VTK XML reader uses, heavy data in HDF5 files through the
// HDF5 library, or numbers in the XML itself.
//
// Uniform grids; Temporal collections (each child a step, its Time);
// Spatial collections (pieces merged into one mesh, points at the same
// coordinates joined); xi:include with the xpointer forms dolfinx and meshio
// write (/Xdmf/Domain/Grid[1], //Grid[@Name="mesh"]/*[self::Topology or
// self::Geometry]), another file's included once and never in a loop. Every
// DataItem is read once, so the mesh a time series shares is read once.
// Topologies: Polyvertex, Polyline, Polygon, Triangle, Quadrilateral,
// Tetrahedron, Pyramid, Wedge, Hexahedron, their quadratic forms and Mixed;
// geometry XYZ, XY, X_Y_Z, X_Y. Attributes Scalar, Vector, Tensor, Tensor6
// and Matrix centred on Node or Cell.
//
// Refused with the XDMF file and line: an HDF5 path that is absolute or
// leaves the folder of the file naming it, anything but a regular file, a
// missing dataset, a dataset whose size is not the DataItem's, sizes that
// memory or the file's bytes cannot hold, an xi:include loop.

#include "viewer/formats/import_mesh.h"
#include "viewer/formats/reader.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace orv {

// The importer (importer.h). Over bytes in memory, the folder of their name
// is where HDF5 and included files are looked for.
ImportData import_xdmf(input::Input& in, const ReaderOptions& options);

// An XML document whose root element is Xdmf.
bool looks_like_xdmf(std::string_view first_bytes);

} // namespace orv
