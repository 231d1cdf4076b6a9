#pragma once
// Chart window "Gráfico": one line chart of a node's value over a range of
// result lists. One window for the whole program, created hidden at start-up.

#include <QDialog>

class QChart;
class QChartView;
class QLineSeries;

namespace orv {

class TForm3 : public QDialog {
    Q_OBJECT
public:
    explicit TForm3(QWidget* parent = nullptr);

    QChartView* Chart1 = nullptr;
    QLineSeries* Series1 = nullptr; // red, width 3, no markers, not in the legend
};

// The program's chart window (created hidden at start-up), or null.
TForm3* chart_form();
void set_chart_form(TForm3* form);

} // namespace orv
