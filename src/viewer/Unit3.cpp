#include "viewer/Unit3.h"

#include <QChart>
#include <QChartView>
#include <QLegendMarker>
#include <QLineSeries>
#include <QPen>
#include <QPointer>
#include <QValueAxis>

#include <algorithm>
#include <cmath>

namespace orv {
namespace {

QPointer<TForm3>& chart_slot() {
    static QPointer<TForm3> form;
    return form;
}

TForm3::ModalHook& modal_hook() {
    static TForm3::ModalHook hook;
    return hook;
}

// Axis range of a set of values: their minimum and maximum; a single value
// (or no value) gets a range of one unit around it, so the line stays visible.
std::pair<double, double> fitted_range(double lo, double hi) {
    if (!(lo < hi)) return {lo - 1, hi + 1};
    return {lo, hi};
}

} // namespace

TForm3* chart_form() {
    return chart_slot();
}
void set_chart_form(TForm3* form) {
    chart_slot() = form;
}

void TForm3::set_modal_hook(ModalHook hook) {
    modal_hook() = std::move(hook);
}

TForm3::TForm3(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                          Qt::WindowTitleHint | Qt::WindowCloseButtonHint) {
    setObjectName("Form3");
    setWindowTitle(QStringLiteral("Gráfico"));
    setFixedSize(656, 372);

    auto* chart = new QChart;
    chart->setTitle(QString());
    chart->setPlotAreaBackgroundVisible(false); // back wall not filled
    chart->setBackgroundRoundness(0);
    // Zooming (a rectangle dragged with the mouse) moves the axes smoothly.
    chart->setAnimationOptions(QChart::GridAxisAnimations);
    chart->legend()->hide();

    Series1 = new QLineSeries(chart);
    Series1->setObjectName("Series1");
    QPen pen(Qt::red);
    pen.setWidth(3);
    Series1->setPen(pen);
    Series1->setPointsVisible(false);
    Series1->setPointLabelsVisible(false);
    chart->addSeries(Series1);
    for (QLegendMarker* marker : chart->legend()->markers(Series1))
        marker->setVisible(false);

    AxisX = new QValueAxis(chart);
    AxisX->setObjectName("AxisX");
    AxisX->setLabelFormat(QStringLiteral("%g"));
    AxisY = new QValueAxis(chart);
    AxisY->setObjectName("AxisY");
    AxisY->setLabelFormat(QStringLiteral("%g"));
    chart->addAxis(AxisX, Qt::AlignBottom);
    chart->addAxis(AxisY, Qt::AlignLeft);
    Series1->attachAxis(AxisX);
    Series1->attachAxis(AxisY);
    AxisX->setRange(0, 1);
    AxisY->setRange(0, 1);

    Chart1 = new QChartView(chart, this);
    Chart1->setObjectName("Chart1");
    Chart1->setGeometry(8, 8, 641, 353);
    Chart1->setRenderHint(QPainter::Antialiasing);
    Chart1->setRubberBand(QChartView::RectangleRubberBand);
}

void TForm3::drop_extra_lines() {
    for (QLineSeries* s : extra_) {
        Series1->chart()->removeSeries(s);
        delete s;
    }
    extra_.clear();
}

void TForm3::set_lines(const std::vector<double>& distance, const std::vector<std::vector<double>>& values) {
    drop_extra_lines();
    static const QColor kColours[] = {
        Qt::red, Qt::blue, QColor(0, 128, 0), Qt::magenta, QColor(255, 128, 0), Qt::darkCyan, Qt::black};
    double lo = 0, hi = 0;
    bool any = false;
    Series1->clear();
    QChart* chart = Series1->chart();
    for (std::size_t c = 0; c < values.size(); ++c) {
        QLineSeries* current = nullptr;
        for (std::size_t i = 0; i < distance.size() && i < values[c].size(); ++i) {
            const double v = values[c][i];
            if (!std::isfinite(v) || !std::isfinite(distance[i])) {
                current = nullptr; // a gap: the next point starts a new piece
                continue;
            }
            if (!current) {
                if (c == 0 && extra_.empty() && Series1->count() == 0) {
                    current = Series1;
                } else {
                    current = new QLineSeries(chart);
                    QPen pen(kColours[c % std::size(kColours)]);
                    pen.setWidth(3);
                    current->setPen(pen);
                    current->setPointsVisible(false);
                    chart->addSeries(current);
                    current->attachAxis(AxisX);
                    current->attachAxis(AxisY);
                    for (QLegendMarker* marker : chart->legend()->markers(current))
                        marker->setVisible(false);
                    extra_.push_back(current);
                }
            }
            current->append(distance[i], v);
            lo = any ? std::min(lo, v) : v;
            hi = any ? std::max(hi, v) : v;
            any = true;
        }
    }
    chart->zoomReset();
    const auto [x0, x1] = fitted_range(0, distance.empty() ? 0 : distance.back());
    const auto [y0, y1] = fitted_range(lo, hi);
    AxisX->setRange(x0, x1);
    AxisY->setRange(y0, y1);
}

void TForm3::set_history(const std::vector<double>& values) {
    drop_extra_lines();
    QList<QPointF> points;
    points.reserve(static_cast<qsizetype>(values.size()));
    double lo = 0, hi = 0;
    bool any = false;
    for (std::size_t i = 0; i < values.size(); ++i) {
        const double v = values[i];
        points.append(QPointF(static_cast<double>(i), v));
        // Infinite or NaN values do not stretch the axis.
        if (!std::isfinite(v)) continue;
        lo = any ? std::min(lo, v) : v;
        hi = any ? std::max(hi, v) : v;
        any = true;
    }
    Series1->replace(points);
    Series1->chart()->zoomReset();
    const auto [x0, x1] = fitted_range(0, values.empty() ? 0 : static_cast<double>(values.size() - 1));
    const auto [y0, y1] = fitted_range(lo, hi);
    AxisX->setRange(x0, x1);
    AxisY->setRange(y0, y1);
}

void TForm3::show_modal() {
    if (ModalHook& hook = modal_hook()) {
        setWindowModality(Qt::ApplicationModal);
        show();
        hook(*this);
        hide();
        return;
    }
    exec();
}

} // namespace orv
