#include "viewer/output/Unit3.h"

#include <QChart>
#include <QChartView>
#include <QLineSeries>
#include <QPen>

namespace orv {
namespace {
TForm3* g_chart = nullptr;
}

TForm3* chart_form() { return g_chart; }
void set_chart_form(TForm3* form) { g_chart = form; }

TForm3::TForm3(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint) {
    setObjectName("Form3");
    setWindowTitle(QStringLiteral("Gráfico"));
    setFixedSize(656, 372);

    auto* chart = new QChart;
    chart->legend()->hide();
    chart->setAnimationOptions(QChart::NoAnimation);
    chart->setBackgroundRoundness(0);
    Series1 = new QLineSeries(chart);
    Series1->setObjectName("Series1");
    QPen pen(Qt::red);
    pen.setWidth(3);
    Series1->setPen(pen);
    Series1->setPointsVisible(false);
    chart->addSeries(Series1);
    chart->createDefaultAxes();

    Chart1 = new QChartView(chart, this);
    Chart1->setObjectName("Chart1");
    Chart1->setGeometry(8, 8, 641, 353);
    Chart1->setRenderHint(QPainter::Antialiasing);
}

} // namespace orv
