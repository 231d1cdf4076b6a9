#pragma once
// Splash window: a borderless picture shown for two seconds at start-up.

#include <QWidget>

class QLabel;

namespace orv {

class TForm4 : public QWidget {
    Q_OBJECT
  public:
    explicit TForm4(QWidget* parent = nullptr);

    QLabel* Image1 = nullptr;

    // Shows the window centred on the screen, above all other windows.
    void show_topmost();
};

} // namespace orv
