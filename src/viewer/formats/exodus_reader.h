#pragma once
// Reader of Exodus II files (.e, .exo, .ex2, .g) through the netCDF library,
// in its classic, 64-bit offset, CDF5 and netCDF-4 (HDF5) forms.
//
// The mesh: coordinates (coordx/coordy/coordz or coord; a 2D mesh at z = 0),
// element blocks of the common types (Exodus node order turned into VTK's),
// node_num_map and elem_num_map as labels. The results: one step per entry of
// time_whole; nodal variables, and element variables of each block (cell
// data, averaged onto the nodes by build_model), with names ending in
// _X/_Y/_Z (or X/Y/Z) grouped into vectors and _XX/_YY/_ZZ/_XY/_YZ/_XZ into
// symmetric tensors. Element blocks, node sets and side sets are listed in
// ImportData::groups.
//
// The index (what the file holds) is read first and costs no values; the
// values of one variable at one step are read by a function of their own,
// so that steps can later be read when they are shown.
//
// Every size the file announces is checked against the memory budget and
// against what a file of its size can hold before anything is allocated;
// a refused file throws ReadError naming the file and the variable.

#include "viewer/formats/import_mesh.h"
#include "viewer/formats/reader.h"

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace orv {

// An open Exodus file and its index. Not thread-safe; the netCDF library is
// used under one process-wide lock.
class ExodusFile {
  public:
    // Opens `path` (refusing what is not a regular file), or `size` bytes at
    // `data` that stay alive as long as this object; `name` is used in messages.
    explicit ExodusFile(const std::string& path);
    ExodusFile(const char* data, std::size_t size, const std::string& name);
    ~ExodusFile();
    ExodusFile(const ExodusFile&) = delete;
    ExodusFile& operator=(const ExodusFile&) = delete;

    std::size_t node_count() const;
    std::size_t element_count() const;
    std::size_t step_count() const;
    double step_time(std::size_t step) const;
    // Variable names as the file gives them, before grouping.
    const std::vector<std::string>& nodal_names() const;
    const std::vector<std::string>& element_names() const;

    // Values of nodal variable `var` at `step` (0-based): node_count() rows
    // of nodal_components(var) values.
    int nodal_components(std::size_t var) const;
    void read_nodal(std::size_t step, std::size_t var, double* out) const;
    // The same for node `node` alone (0-based): nodal_components(var) values.
    void read_nodal_at(std::size_t step, std::size_t var, std::size_t node, double* out) const;
    // Values of element variable `var` at `step`: element_count() values in
    // block order; elements of blocks the variable is not defined on get 0.
    void read_element(std::size_t step, std::size_t var, double* out) const;

    // The mesh, the groups (ImportData::groups) and every step's values as
    // one hand-over.
    ImportData import(const ReaderOptions& options) const;

    struct Impl;

  private:
    std::unique_ptr<Impl> impl_;
};

// The importer (importer.h): ExodusFile's import of the file (by its path,
// which the library opens) or of bytes in memory.
ImportData import_exodus(input::Input& in, const ReaderOptions& options);

// The netCDF signatures (classic, 64-bit offset, CDF5) whose head names
// Exodus dimensions; netCDF-4 files (HDF5) are told by their extension.
bool looks_like_exodus(std::string_view first_bytes);

// Names ending in component suffixes, grouped: each group is a field name and
// the index of each component's name (-1 where a tensor of a 2D mesh lacks
// one, read as 0). `kind` 1 scalar, 3 vector (X Y Z), 6 symmetric tensor
// (XX YY ZZ XY YZ XZ). Groups keep the order of their first name.
struct ComponentGroup {
    std::string name;
    int kind = 1;
    std::vector<int> members;
};
std::vector<ComponentGroup> group_components(const std::vector<std::string>& names, int dimension);

} // namespace orv
