#pragma once
// Importer of CalculiX result files (.frd): the node block (2C), the element
// block (3C) and every result block (100C), in ASCII (short or long records)
// or binary (floats or doubles) form.
//
// Result blocks with the same step number (NUMSTP) form one step, whose time
// is the block's value (the step time of a static or dynamic analysis, the
// frequency of a mode). Each block is one nodal field named by its -4 record,
// with the components of its -5 records that the file holds (those marked as
// computed by the viewer, such as "ALL", are left out). CalculiX's
// displacement is the field DISP.
//
// Elements (he8, he20, pe6, pe15, te4, te10, tr3, tr6, qu4, qu8, be2, be3)
// become VTK cells in VTK's node order.

#include "viewer/formats/import_mesh.h"
#include "viewer/formats/read_core.h"

#include <cstddef>
#include <string>

namespace orv {

// True when the bytes start like a .frd file: a first record "    1C" or
// "    1U", or a node block "    2C".
bool sniff_frd(const char* data, std::size_t size);

// The importer (importer.h), over the whole input. Throws ReadError naming
// the file, the line (or byte offset in binary data) and what was expected.
ImportData import_frd(input::Input& in, const ReaderOptions& options);

} // namespace orv
