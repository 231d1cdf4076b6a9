// Writes the program's icon for the hicolor theme: OUT/scalable/apps/orvanel.svg
// and OUT/NxN/apps/orvanel.png, all drawn by the same code as the window icon.
// Paths only, no text: painting into images and SVG needs no application.
//   make_icons OUT
#include "shell/pictures.h"

#include <QDir>
#include <QImage>
#include <QPainter>
#include <QSvgGenerator>

#include <cstdio>

namespace {

const int kSizes[] = {16, 22, 24, 32, 48, 64, 128, 256};

bool write_svg(const QString& path) {
    QSvgGenerator svg;
    svg.setFileName(path);
    svg.setSize(QSize(64, 64));
    svg.setViewBox(QRect(0, 0, 64, 64));
    svg.setTitle(QStringLiteral("Orvanel"));
    QPainter p;
    if (!p.begin(&svg)) return false;
    orv::ui::paint_app_icon(p, 64);
    return p.end();
}

bool write_png(const QString& path, int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    orv::ui::paint_app_icon(p, size);
    p.end();
    return image.save(path, "PNG");
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: make_icons OUT\n", stderr);
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    bool ok = out.mkpath(QStringLiteral("scalable/apps")) &&
              write_svg(out.filePath(QStringLiteral("scalable/apps/orvanel.svg")));
    for (int size : kSizes) {
        const QString dir = QStringLiteral("%1x%1/apps").arg(size);
        ok = ok && out.mkpath(dir) && write_png(out.filePath(dir + QStringLiteral("/orvanel.png")), size);
    }
    if (!ok) std::fprintf(stderr, "make_icons: cannot write the icons in %s\n", argv[1]);
    return ok ? 0 : 1;
}
