#pragma once
// The netCDF and HDF5 libraries of the system are built without thread
// safety: every call into either, from any reader, holds this lock.

#include <mutex>

namespace orv {

std::mutex& heavy_data_mutex();

// Turns off HDF5's printing of its error stack (the readers give their own
// message); safe to call many times. Call with the lock held.
void quiet_hdf5();

} // namespace orv
