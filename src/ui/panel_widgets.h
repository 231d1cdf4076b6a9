#pragma once
// Small widgets of the viewer's control panel that Qt lacks as such.

#include <QLabel>

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

} // namespace orv
