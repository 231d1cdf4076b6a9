#pragma once
// The native format's row of the format table (native_reader.cpp); what the
// format is, reader.h describes.

#include "viewer/formats/read_core.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace orv {

bool looks_like_native(std::string_view first_bytes);
ReadResult read_native(const std::string& path, const ReaderOptions& options);
ReadResult read_native_bytes(const char* data, std::size_t size, const std::string& name,
                             const ReaderOptions& options);

} // namespace orv
