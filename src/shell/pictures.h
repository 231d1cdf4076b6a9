#pragma once
// Pictures drawn in code: the splash/credits picture and the toolbar images.

#include <QIcon>
#include <QPixmap>

namespace orv::ui {

// The picture of the splash and credits windows, 409 x 289 pixels.
QPixmap splash_picture();

// Toolbar image number `image` (16 x 16); buttons that share a number share a picture.
QIcon toolbar_icon(int image);

} // namespace orv::ui
