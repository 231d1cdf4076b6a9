#pragma once
// Damaged HDF5 metadata can crash inside the system's HDF5 library (a bad
// free while it walks a group's links), before any check of ours can run. A
// file whose HDF5 metadata the library has not yet walked in this process is
// therefore first walked in a child process: if the child dies, the file is
// refused and this process goes on.

#include <cstddef>
#include <functional>
#include <string>

namespace orv {

// The 8-byte signature that starts an HDF5 file (and a netCDF-4 file).
bool starts_as_hdf5(const char* data, std::size_t size);

// Runs `walk` in a forked child (its stderr to /dev/null, at most
// kWalkSeconds) and returns what it returned: 0 when the library opened
// the file, else a code of the caller's (1..200) saying that the library
// refuses it, so that the caller refuses the file without calling the
// library itself (its failure paths are where the damage bites). An
// exception thrown by `walk` counts as 0: the caller's own reading meets it
// again. When the child is killed by a signal or runs out of time, throws
// ReadError "NAME: damaged HDF5 data (...)". When no child can be made,
// returns 0 at once. Call with heavy_data_mutex() held, so that no other
// thread is inside the libraries while the process forks; the child must
// not take that lock.
int walk_in_child(const std::string& name, const std::function<int()>& walk);
constexpr unsigned kWalkSeconds = 60;

} // namespace orv
