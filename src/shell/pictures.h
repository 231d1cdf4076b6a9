#pragma once
// Pictures drawn in code: the splash/credits picture and the toolbar images.

#include <QIcon>
#include <QPixmap>

class QPainter;

namespace orv::ui {

// The picture of the splash and credits windows, 409 x 289 pixels.
QPixmap splash_picture();

// The program's icon: a curved plate meshed with quadrilaterals, coloured by
// the built-in scale, on a dark blue rounded square. Vector drawing into the
// square (0, 0)-(size, size), so the window icon, the installed bitmaps and
// the installed SVG all come from this one drawing.
void paint_app_icon(QPainter& p, double size);

// The icon at the sizes a desktop asks for (16 to 256 pixels).
QIcon app_icon();

// Toolbar image number `image` (16 x 16); buttons that share a number share a picture.
QIcon toolbar_icon(int image);

} // namespace orv::ui
