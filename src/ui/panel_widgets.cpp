#include "ui/panel_widgets.h"

#include <QMouseEvent>

namespace orv {

void ClickPanel::mouseReleaseEvent(QMouseEvent* event) {
    QLabel::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) emit clicked();
}

} // namespace orv
