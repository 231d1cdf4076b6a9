#pragma once
// Small widgets of the viewer's control panel that Qt lacks as such.

#include <QLabel>
#include <QScrollArea>

namespace orv {

// A panel with a caption (the colour panels of the legend editor, the
// loading notice): a label that reports clicks.
class ClickPanel : public QLabel {
    Q_OBJECT
  public:
    using QLabel::QLabel;

  signals:
    void clicked();

  protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
};

// A scroll area of fixed width around a control panel, for windows shorter
// than the panel. While the panel fits nothing changes: no scroll bar, and the
// area is exactly `width` wide, so the widgets beside it keep their size.
// When the area is shorter than the panel's minimum height a narrow vertical
// bar (kBarWidth pixels) shows inside the same width and the panel becomes
// that much narrower. The area follows the panel's explicit show and hide.
class PanelScroll : public QScrollArea {
    Q_OBJECT
  public:
    static constexpr int kBarWidth = 8;
    PanelScroll(QWidget* panel, int width, QWidget* parent);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

} // namespace orv
