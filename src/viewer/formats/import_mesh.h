#pragma once
// What every importer of another solver's file hands over: the mesh and the
// fields as the file has them, in one format-neutral vocabulary. build_model()
// turns it into a ResultModel (exterior faces of volume cells, centre nodes of
// serendipity faces, one result list per field component and step, the
// displacement of each step), so that no importer fills the model itself and
// nothing downstream sees where a file came from.
//
// Cells use VTK's cell type numbers and VTK's node order for each type
// (linear, quadratic and Lagrange cells), whatever the file's own order is:
// each importer permutes its nodes once, and build_model() owns the one table
// of faces per cell type. Node and cell numbers here are 0-based indices;
// the labels the file gives them are kept beside.

#include "viewer/formats/reader.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace orv {

// VTK cell type numbers build_model() understands; others are skipped with a
// warning naming them.
enum VtkCellType : std::uint8_t {
    vtk_vertex = 1,
    vtk_poly_vertex = 2,
    vtk_line = 3,
    vtk_poly_line = 4,
    vtk_triangle = 5,
    vtk_triangle_strip = 6,
    vtk_polygon = 7,
    vtk_pixel = 8,
    vtk_quad = 9,
    vtk_tetra = 10,
    vtk_voxel = 11,
    vtk_hexahedron = 12,
    vtk_wedge = 13,
    vtk_pyramid = 14,
    vtk_quadratic_edge = 21,
    vtk_quadratic_triangle = 22,
    vtk_quadratic_quad = 23, // 8-node serendipity
    vtk_quadratic_tetra = 24,
    vtk_quadratic_hexahedron = 25, // 20-node serendipity
    vtk_quadratic_wedge = 26,      // 15 nodes
    vtk_quadratic_pyramid = 27,    // 13 nodes
    vtk_biquadratic_quad = 28,     // 9 nodes
    vtk_triquadratic_hexahedron = 29,
    vtk_lagrange_curve = 68,
    vtk_lagrange_triangle = 69,
    vtk_lagrange_quadrilateral = 70,
    vtk_lagrange_tetrahedron = 71,
    vtk_lagrange_hexahedron = 72,
    vtk_lagrange_wedge = 73,
    vtk_lagrange_pyramid = 74,
};

struct ImportMesh {
    // The large arrays come zeroed from the system, never cleared by a pass
    // of their own (see ZeroedVector).
    ZeroedVector<double> points; // x, y, z of each point
    // The file's own numbers of points and cells; empty means 1..n in order.
    ZeroedVector<std::int64_t> point_labels;
    ZeroedVector<std::int64_t> cell_labels;
    ZeroedVector<std::uint8_t> cell_types;   // a VtkCellType per cell
    ZeroedVector<std::int64_t> cell_offsets; // cells + 1 entries into cell_nodes
    ZeroedVector<std::int64_t> cell_nodes;   // 0-based point indices, VTK node order
    // The file's element blocks (Exodus blocks, physical groups, named
    // grids): their names, and per cell the index of its block in them
    // (ResultModel::kNoBlock for none). Both empty when the file has none;
    // build_model() hands them on to the elements each cell gives.
    std::vector<std::string> block_names;
    ZeroedVector<std::uint16_t> cell_blocks;

    std::size_t point_count() const { return points.size() / 3; }
    std::size_t cell_count() const { return cell_types.size(); }
};

// Ends the name of a field whose nodal values the file's importer averaged
// from the elements (Gmsh $ElementNodeData); build_model puts it after the
// component, as for cell data: "S XX (média nos nós) - passo 1".
inline constexpr const char* kAveraged = " (média nos nós)";

struct ImportField {
    std::string name;
    // The file's names of the components (CalculiX "D1", "SXX"); empty: the
    // usual X Y Z or XX YY ZZ XY YZ XZ.
    std::vector<std::string> component_names;
    int components = 1;
    bool on_cells = false;       // cell data: averaged onto the nodes
    ZeroedVector<double> values; // (points or cells) x components, row by row
    // Cell data given for some cells only: 1 for the cells that have a value
    // (the average at a node is over those; a node with none reads 0).
    // Empty: every cell has one.
    std::vector<std::uint8_t> cells_given = {};
    // Three components that are the step's displacement and no result list.
    bool displacement_only = false;
    // Six or nine components that are a symmetric stress or strain tensor
    // (XX YY ZZ XY YZ XZ, or a full tensor row by row): shown as six
    // components and von Mises. False for other rows of that size (CalculiX's
    // amplitudes and phases), shown component by component.
    bool symmetric_tensor = true;
    // Reads the values again from the file, into `values` (sized and
    // filled as above), for a field the importer indexed instead of keeping
    // (a step of a transient result). Throws ReadError as the first read
    // would. Called on any thread, more than once, long after the import:
    // it owns what it needs (the path, the offsets), never the importer.
    // Null when `values` holds the values already.
    std::function<void(ZeroedVector<double>& values)> load = {};
    // Reads the `components` values of one row (a point; cells are never
    // asked) of a field that has `load`, without reading the rest, into
    // `row`: for a node's history over many steps. False, with `row` as it
    // was, when that costs no less than `load` (the row is not where
    // arithmetic puts it); then the caller loads the field. Throws as `load`
    // does; values that are not finite come as they are. Null: never cheaper.
    std::function<bool(std::int64_t index, std::span<double> row)> load_row = {};
};

struct ImportStep {
    std::optional<double> time;
    std::vector<ImportField> fields;
};

struct ImportData {
    ImportMesh mesh;
    std::vector<ImportStep> steps;
    std::vector<std::string> warnings;
    // Fields the importer could not take (complex, strings, too many
    // components): named in one warning by build_model().
    std::vector<std::string> skipped_fields;
    // What the file groups its mesh into, for --info (the model's
    // file_groups): "block ID TYPE COUNT NAME", "nodeset ID COUNT NAME",
    // "sideset ID COUNT NAME". build_model() leaves them alone.
    std::vector<std::string> groups;
    // Bytes the importer read and scanned (its input work), handed on as
    // ReadResult::bytes_fetched; 0 where an importer does not count them.
    std::uint64_t bytes_fetched = 0;
};

// VTK's node order for an element of the model (family 1 line, 2 triangle,
// 3 quadrilateral; any order from 1): entry k is the VTK node index of the
// model's lattice node k, for VTK's linear cell of order 1 and its Lagrange
// cell above. Empty for what VTK cannot hold.
std::vector<int> vtk_node_order(int family, int order);

// The end build_model() gives the names of a step's lists: " - passo N"
// (N from 1), then " (t = T)" when the step has a time (T in the shortest
// form that reads back to the same double).
std::string step_suffix(std::size_t step, const std::optional<double>& time);
struct StepOfName {
    std::string base; // the name without its step suffix
    std::size_t step = 0;
    std::optional<double> time;
};
// The step a list name ends with, when it ends with exactly what
// step_suffix() gives for it (and has something before).
std::optional<StepOfName> step_of_name(const std::string& name);

// The name of a point array of three components that holds a displacement
// only (no result lists), alone or with a step suffix: what --convert writes
// into a .vtu.
inline constexpr const char* kDisplacementArray = "deslocamento";

// Turns imported data into the model the whole program draws; `name` becomes
// namefile and appears in messages. Throws ReadError on counts the model
// cannot hold; warnings of `data` come back in the result. The arrays of
// `data` are used up on the way (so that the peak stays near the model's
// own size): afterwards `data` holds nothing of value. The rows are filled
// on `threads` threads (0: the reader's default, ORVANEL_THREADS); the
// model is the same for any number. Before allocating the model, its bytes
// (with `memory_limit` given, plus the hand-over's) are checked against the
// one budget (`memory_limit`, 0: input::machine_memory()); more is refused
// with "Not enough memory to read NAME", as is any allocation that fails.
//
// Fields that come with a `load` and no values are not read here: their
// lists are read through the model's store when something needs them (and
// the step's displacement, when such a field is it), each once now for its
// range, or never with `defer_ranges` (their ranges are then left pending,
// see ResultModel::range_pending). Either way every value is the one a read
// of all values at once gives.
ReadResult build_model(ImportData&& data, const std::string& name, int threads = 0,
                       std::uint64_t memory_limit = 0, bool defer_ranges = false);

} // namespace orv
