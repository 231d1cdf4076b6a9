#include "ui/panel_widgets.h"

#include <QEvent>
#include <QMouseEvent>
#include <QProxyStyle>
#include <QScrollBar>

namespace orv {

void ClickPanel::mouseReleaseEvent(QMouseEvent* event) {
    QLabel::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) emit clicked();
}

namespace {

// The application's style with a narrower scroll bar.
class NarrowBarStyle final : public QProxyStyle {
  public:
    using QProxyStyle::QProxyStyle;
    int pixelMetric(PixelMetric metric, const QStyleOption* option, const QWidget* widget) const override {
        if (metric == PM_ScrollBarExtent) return PanelScroll::kBarWidth;
        return QProxyStyle::pixelMetric(metric, option, widget);
    }
};

} // namespace

PanelScroll::PanelScroll(QWidget* panel, int width, QWidget* parent) : QScrollArea(parent) {
    setObjectName(QStringLiteral("PanelScroll"));
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    auto* style = new NarrowBarStyle;
    style->setParent(this);
    verticalScrollBar()->setStyle(style);
    setFixedWidth(width);
    setWidgetResizable(true);
    setWidget(panel);
    panel->installEventFilter(this);
}

bool PanelScroll::eventFilter(QObject* watched, QEvent* event) {
    if (watched == widget()) {
        if (event->type() == QEvent::HideToParent) hide();
        if (event->type() == QEvent::ShowToParent) show();
    }
    return QScrollArea::eventFilter(watched, event);
}

} // namespace orv
