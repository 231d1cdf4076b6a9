#pragma once
// Chart window "Gráfico": one line chart of a node's value over a range of
// result lists (the node history of a viewer), or of lists' values along a
// line through the model. One window for the whole
// program, created hidden at start-up and shared by every viewer.

#include <QDialog>

#include <functional>
#include <vector>

class QChart;
class QChartView;
class QLineSeries;
class QValueAxis;

namespace orv {

class TForm3 : public QDialog {
    Q_OBJECT
  public:
    explicit TForm3(QWidget* parent = nullptr);

    QChartView* Chart1 = nullptr;   // 641 x 353 at (8, 8)
    QLineSeries* Series1 = nullptr; // red, width 3, no markers, not in the legend
    QValueAxis* AxisX = nullptr;    // point index 0, 1, 2, ...
    QValueAxis* AxisY = nullptr;    // the values

    // Replaces the points of Series1 with (i, values[i]) and fits both axes
    // to them; the chart never keeps points of an earlier history.
    void set_history(const std::vector<double>& values);

    // Values along a line: one line per entry of `values` over `distance`
    // (the first in Series1's red, the others in their own colours), broken
    // where a value is not finite (a point in no cell); axes fitted to the
    // finite points.
    void set_lines(const std::vector<double>& distance, const std::vector<std::vector<double>>& values);

    // Shows the window modally and returns when it is closed. With a modal
    // hook set (tests), the window is shown as a modal window, the hook runs
    // instead of the modal event loop, and the window is hidden again.
    void show_modal();
    using ModalHook = std::function<void(TForm3&)>;
    static void set_modal_hook(ModalHook hook);

  private:
    void drop_extra_lines();
    std::vector<QLineSeries*> extra_; // further lines and pieces of set_lines
};

// The program's chart window (created hidden at start-up), or null.
TForm3* chart_form();
void set_chart_form(TForm3* form);

} // namespace orv
