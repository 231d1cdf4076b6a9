#include "shell/Unit4.h"

#include "shell/pictures.h"

#include <QGuiApplication>
#include <QLabel>
#include <QScreen>

namespace orv {

TForm4::TForm4(QWidget* parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
    setObjectName("Form4");
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);
    Image1 = new QLabel(this);
    Image1->setObjectName("Image1");
    Image1->setPixmap(ui::splash_picture());
    Image1->setGeometry(0, 0, 409, 289);
    setFixedSize(409, 289);
}

void TForm4::show_topmost() {
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect r = screen->availableGeometry();
        move(r.center() - QPoint(width() / 2, height() / 2));
    }
    show();
    raise();
}

} // namespace orv
