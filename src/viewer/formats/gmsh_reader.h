#pragma once
// Importer of Gmsh mesh files (.msh), versions 2.2 and 4.1, ASCII and binary
// (either byte order): $Nodes, $Elements, and the post-processing views of
// $NodeData, $ElementData and $ElementNodeData. Other sections are skipped.
//
// Steps are the views' time-step indices (integer tag 0), in ascending order;
// each section is one field of its step, named by its first string tag, with
// its first real tag as the step's time. Sections of one view, step and kind
// (partitions of one result) fill one field. $ElementNodeData is averaged
// onto the nodes (the mean over the elements that give a value at a node)
// and named with " (média nos nós)".
//
// Elements become cells in VTK's node order: lines, triangles and
// quadrilaterals of every complete order become linear, quadratic or Lagrange
// cells; volumes of order 1 and 2 keep their order (the 18-node prism keeps
// its face-centre nodes as VTK's 18-node wedge; the 14-node pyramid loses
// its face-centre node, which the serendipity face rebuilds); other types (incomplete high orders, volumes of
// order 3 and up) keep their corner nodes only, with a warning. Points become vertex cells.

#include "viewer/formats/import_mesh.h"
#include "viewer/formats/read_core.h"

#include <cstddef>
#include <string>
#include <vector>

namespace orv {

// True when the bytes start like a Gmsh file ("$MeshFormat").
bool sniff_msh(const char* data, std::size_t size);

// The importer (importer.h) of a .msh file's mesh and views, over the whole
// input. Throws ReadError naming the file, the line (or byte offset in
// binary data) and what was expected.
ImportData import_msh(input::Input& in, const ReaderOptions& options);

// How a Gmsh element type becomes a cell: its node count in the file, the VTK
// type, and for each VTK node the index of the Gmsh node it takes. nodes == 0:
// a type of unknown size (polygons).
struct GmshCellMap {
    int nodes = 0;
    std::uint8_t vtk = 0;
    bool reduced = false; // drawn with fewer nodes than the file gives
    std::vector<int> take;
};
const GmshCellMap& gmsh_cell_map(int gmsh_type);

} // namespace orv
