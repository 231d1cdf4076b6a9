#include "shell/pictures.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>

#include <algorithm>
#include <array>
#include <cmath>

namespace orv::ui {
namespace {

// The nine colours of the built-in scale, low to high, used as decoration.
const std::array<QColor, 9> kScale = {QColor(255, 0, 0),   QColor(255, 127, 0), QColor(255, 255, 0),
                                      QColor(127, 255, 0), QColor(0, 255, 0),   QColor(0, 255, 127),
                                      QColor(0, 255, 255), QColor(0, 127, 255), QColor(0, 0, 255)};

QColor ramp(double f) {
    f = std::clamp(f, 0.0, 1.0) * 8.0;
    const int i = std::min(static_cast<int>(f), 7);
    const double t = f - i;
    const QColor& a = kScale[static_cast<std::size_t>(i)];
    const QColor& b = kScale[static_cast<std::size_t>(i + 1)];
    return QColor::fromRgbF(static_cast<float>(a.redF() + (b.redF() - a.redF()) * t),
                            static_cast<float>(a.greenF() + (b.greenF() - a.greenF()) * t),
                            static_cast<float>(a.blueF() + (b.blueF() - a.blueF()) * t));
}

QPixmap blank16() {
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    return pm;
}

void draw_window_frame(QPainter& p, QRectF r) {
    p.setPen(QPen(QColor(40, 60, 110), 1));
    p.setBrush(Qt::white);
    p.drawRect(r);
    p.fillRect(QRectF(r.left() + 0.5, r.top() + 0.5, r.width() - 0.5, 2.5), QColor(50, 90, 180));
}

void draw_arrow(QPainter& p, QPointF from, QPointF to, QColor c) {
    p.setPen(QPen(c, 2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(from, to);
    const QPointF d = to - from;
    const double len = std::hypot(d.x(), d.y());
    const QPointF u = d / len, n(-u.y(), u.x());
    QPolygonF head;
    head << to + u * 1.0 << to - u * 4.0 + n * 3.0 << to - u * 4.0 - n * 3.0;
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawPolygon(head);
}

// A small wire cube seen from a direction: dx, dy shift the back face.
void draw_view_cube(QPainter& p, double dx, double dy, QColor face) {
    const QRectF front(4.5 - dx / 2, 4.5 - dy / 2, 7, 7);
    const QRectF back = front.translated(dx, dy);
    p.setPen(QPen(QColor(70, 70, 70), 1));
    p.setBrush(Qt::NoBrush);
    p.drawRect(back);
    p.drawLine(front.topLeft(), back.topLeft());
    p.drawLine(front.topRight(), back.topRight());
    p.drawLine(front.bottomLeft(), back.bottomLeft());
    p.drawLine(front.bottomRight(), back.bottomRight());
    p.setBrush(face);
    p.drawRect(front);
}

} // namespace

QPixmap splash_picture() {
    QPixmap pm(409, 289);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient bg(0, 0, 0, 289);
    bg.setColorAt(0, QColor(22, 36, 71));
    bg.setColorAt(1, QColor(64, 96, 160));
    p.fillRect(pm.rect(), bg);

    // A curved plate meshed with quadrilaterals, coloured by a smooth field.
    const int nx = 14, ny = 7;
    auto node = [&](int i, int j) {
        const double u = static_cast<double>(i) / nx, v = static_cast<double>(j) / ny;
        const double x = 40 + 250 * u + 70 * v;
        const double y = 250 - 120 * v - 40 * std::sin(u * 3.14159) - 15 * u;
        return QPointF(x, y);
    };
    for (int j = 0; j < ny; ++j) {
        for (int i = 0; i < nx; ++i) {
            QPolygonF q;
            q << node(i, j) << node(i + 1, j) << node(i + 1, j + 1) << node(i, j + 1);
            const double u = (i + 0.5) / nx, v = (j + 0.5) / ny;
            const double field = 0.5 + 0.5 * std::sin(u * 5.0) * std::cos(v * 2.5);
            p.setBrush(ramp(field));
            p.setPen(QPen(QColor(30, 30, 30, 160), 0.8));
            p.drawPolygon(q);
        }
    }
    // Legend bar.
    for (int k = 0; k < 9; ++k) {
        p.fillRect(QRectF(365, 230 - 20.0 * k, 18, 20), kScale[static_cast<std::size_t>(k)]);
    }
    p.setPen(QPen(Qt::white, 1));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(365, 70, 18, 180));

    QFont title("DejaVu Sans", 30, QFont::Bold);
    p.setFont(title);
    p.setPen(Qt::white);
    p.drawText(QRectF(20, 18, 340, 50), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Orvanel"));
    QFont sub("DejaVu Sans", 10);
    p.setFont(sub);
    p.setPen(QColor(220, 230, 255));
    p.drawText(QRectF(22, 64, 340, 20), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("Pós-processamento em elementos finitos"));
    p.end();
    return pm;
}

void paint_app_icon(QPainter& p, double size) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 64.0, size / 64.0); // drawn on a 64 x 64 grid
    QLinearGradient bg(0, 0, 0, 64);
    bg.setColorAt(0, QColor(22, 36, 71));
    bg.setColorAt(1, QColor(64, 96, 160));
    p.setPen(Qt::NoPen);
    p.setBrush(bg);
    p.drawRoundedRect(QRectF(2, 2, 60, 60), 10, 10);

    // A 3 x 3 patch of a curved plate seen from above, as the splash picture
    // shows, with a field that runs through the whole scale; its lines stay
    // visible at 16 pixels.
    const int nx = 3, ny = 3;
    auto node = [&](int i, int j) {
        const double u = static_cast<double>(i) / nx, v = static_cast<double>(j) / ny;
        // Bilinear between the corners, bulged upwards along u.
        const QPointF a(7, 44), b(43, 55), c(57, 21), d(21, 11);
        const QPointF flat = a * (1 - u) * (1 - v) + b * u * (1 - v) + c * u * v + d * (1 - u) * v;
        return flat - QPointF(0, 9 * std::sin(u * 3.14159));
    };
    for (int j = 0; j < ny; ++j) {
        for (int i = 0; i < nx; ++i) {
            QPolygonF q;
            q << node(i, j) << node(i + 1, j) << node(i + 1, j + 1) << node(i, j + 1);
            p.setBrush(ramp((i + 0.5 * j) / (nx - 1 + 0.5 * (ny - 1))));
            p.setPen(QPen(QColor(20, 20, 20), 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
            p.drawPolygon(q);
        }
    }
    p.restore();
}

QIcon app_icon() {
    QIcon icon;
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        QPixmap pm(size, size);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        paint_app_icon(p, size);
        p.end();
        icon.addPixmap(pm);
    }
    return icon;
}

QIcon toolbar_icon(int image) {
    QPixmap pm = blank16();
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor green(30, 140, 40), red(190, 30, 30), blue(40, 80, 190);
    switch (image) {
    case 6: { // open: a folder
        p.setPen(QPen(QColor(140, 100, 20), 1));
        p.setBrush(QColor(240, 200, 80));
        QPolygonF f;
        f << QPointF(1.5, 4.5) << QPointF(6, 4.5) << QPointF(7.5, 6) << QPointF(14.5, 6)
          << QPointF(14.5, 13.5) << QPointF(1.5, 13.5);
        p.drawPolygon(f);
        break;
    }
    case 20: // close program: a red cross in a frame
        draw_window_frame(p, QRectF(1.5, 1.5, 13, 13));
        p.setPen(QPen(red, 2));
        p.drawLine(QPointF(5, 6), QPointF(11, 12));
        p.drawLine(QPointF(11, 6), QPointF(5, 12));
        break;
    case 5: // close all: two frames with a cross
        draw_window_frame(p, QRectF(0.5, 0.5, 10, 10));
        draw_window_frame(p, QRectF(5.5, 5.5, 10, 10));
        p.setPen(QPen(red, 2));
        p.drawLine(QPointF(8, 9), QPointF(13, 14));
        p.drawLine(QPointF(13, 9), QPointF(8, 14));
        break;
    case 17: // cascade
        draw_window_frame(p, QRectF(0.5, 0.5, 9, 8));
        draw_window_frame(p, QRectF(3.5, 3.5, 9, 8));
        draw_window_frame(p, QRectF(6.5, 6.5, 9, 8));
        break;
    case 15: // tile horizontally: stacked
        draw_window_frame(p, QRectF(1.5, 0.5, 13, 7));
        draw_window_frame(p, QRectF(1.5, 8.5, 13, 7));
        break;
    case 16: // tile vertically: side by side
        draw_window_frame(p, QRectF(0.5, 1.5, 7, 13));
        draw_window_frame(p, QRectF(8.5, 1.5, 7, 13));
        break;
    case 13:
    case 18:
    case 19: { // zoom reset, in, out: a magnifier
        p.setPen(QPen(QColor(60, 60, 60), 2));
        p.setBrush(QColor(220, 235, 255));
        p.drawEllipse(QPointF(6.5, 6.5), 5, 5);
        p.drawLine(QPointF(10, 10), QPointF(14.5, 14.5));
        p.setPen(QPen(image == 13 ? blue : image == 18 ? green : red, 1.6));
        if (image == 13) {
            p.drawLine(QPointF(6.5, 4), QPointF(6.5, 9));
            p.drawLine(QPointF(5, 5), QPointF(6.5, 4));
        } else {
            p.drawLine(QPointF(4, 6.5), QPointF(9, 6.5));
            if (image == 18) p.drawLine(QPointF(6.5, 4), QPointF(6.5, 9));
        }
        break;
    }
    case 33: // fit: a square in four corner brackets
        p.setPen(QPen(blue, 1.5));
        p.setBrush(Qt::NoBrush);
        for (const QPointF c :
             {QPointF(1.5, 1.5), QPointF(14.5, 1.5), QPointF(1.5, 14.5), QPointF(14.5, 14.5)}) {
            const double dx = c.x() < 8 ? 4 : -4, dy = c.y() < 8 ? 4 : -4;
            p.drawLine(c, QPointF(c.x() + dx, c.y()));
            p.drawLine(c, QPointF(c.x(), c.y() + dy));
        }
        p.setBrush(QColor(120, 150, 220));
        p.drawRect(QRectF(5.5, 5.5, 5, 5));
        break;
    case 11: // centre: a target
        p.setPen(QPen(blue, 1.5));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(QPointF(8, 8), 6, 6);
        p.drawEllipse(QPointF(8, 8), 2.5, 2.5);
        p.drawLine(QPointF(8, 0.5), QPointF(8, 4));
        p.drawLine(QPointF(8, 12), QPointF(8, 15.5));
        p.drawLine(QPointF(0.5, 8), QPointF(4, 8));
        p.drawLine(QPointF(12, 8), QPointF(15.5, 8));
        break;
    case 3: // move +0.5: arrow with plus
        draw_arrow(p, QPointF(2, 12), QPointF(12, 2), green);
        p.setPen(QPen(green, 1.6));
        p.drawLine(QPointF(9, 12.5), QPointF(15, 12.5));
        p.drawLine(QPointF(12, 9.5), QPointF(12, 15.5));
        break;
    case 4: // move -0.5: arrow with minus
        draw_arrow(p, QPointF(12, 2), QPointF(2, 12), red);
        p.setPen(QPen(red, 1.6));
        p.drawLine(QPointF(9, 12.5), QPointF(15, 12.5));
        break;
    case 27:
        draw_view_cube(p, 0, 0, QColor(120, 170, 240));
        break; // front
    case 31:
        draw_view_cube(p, 3, -2, QColor(240, 170, 120));
        break; // left
    case 28:
        draw_view_cube(p, 3, -3, QColor(150, 220, 150));
        break; // front right above
    case 29:
        draw_view_cube(p, -3, -3, QColor(150, 220, 150));
        break; // back right above
    case 30:
        draw_view_cube(p, 3, 3, QColor(230, 220, 130));
        break; // front right below
    case 32:
        draw_view_cube(p, -3, 3, QColor(230, 220, 130));
        break; // back right below
    default:
        p.setPen(QPen(Qt::gray, 1));
        p.drawRect(QRectF(1.5, 1.5, 13, 13));
        break;
    }
    p.end();
    return QIcon(pm);
}

} // namespace orv::ui
