#pragma once
// The native format's row of the format table (native_reader.cpp); what the
// format is, reader.h describes.

#include "viewer/formats/read_core.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace orv {

bool looks_like_native(std::string_view first_bytes);
// Reads a file in windows; bytes in memory are copied, and the model keeps
// the copy to read its lists from.
ReadResult read_native(input::Input& in, const ReaderOptions& options);

} // namespace orv
