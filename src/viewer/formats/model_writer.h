#pragma once
// The model written back out, as bytes for the output writer:
// - the native text format, which reads back to the identical model (every
//   real in its shortest form that reads back to the same double);
// - VTK's XML unstructured grid (.vtu), binary appended data compressed with
//   zlib, 64-bit headers: the model's elements as VTK cells (linear cells for
//   order 1, Lagrange cells above, in VTK's node order), each result list as
//   a point-data array named after it, and the displacements as vectors:
//   one "deslocamento" when every list has the same, else one per list
//   ("NAME (deslocamento)"); node and element numbers other than 1..n as
//   VTK's "GlobalNodeId" and "GlobalElementId" arrays (Int64), which the
//   .vtu reader takes back as numbers.

#include "viewer/model/result_model.h"

#include <stdexcept>
#include <string>
#include <vector>

namespace orv {

// The model cannot be written in the format asked for; what() says why.
class ModelWriteError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Whether the model's nodes and elements are numbered 1..n in order, all
// that the native format can say; other numbers are lost in it.
bool numbered_in_order(const ResultModel& model);

std::string native_text_of(const ResultModel& model);

struct VtuBytes {
    std::string bytes;
    // What the file leaves out (elements VTK cannot hold), one line each.
    std::vector<std::string> warnings;
};
VtuBytes vtu_of(const ResultModel& model);

} // namespace orv
