#pragma once
// A picture as the bytes of a 24-bit RGB PNG file, for the outputs that write
// pictures (the viewer's figure, the batch pictures and charts).

#include <string>

class QImage;

namespace orv {

// Throws OutputError when the image cannot be encoded.
std::string png_bytes(const QImage& image);

} // namespace orv
