#include "ui/png_bytes.h"

#include "viewer/output/output_error.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>

namespace orv {

std::string png_bytes(const QImage& image) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!image.convertToFormat(QImage::Format_RGB888).save(&buffer, "PNG"))
        throw OutputError("Cannot encode the picture as PNG.");
    return bytes.toStdString();
}

} // namespace orv
