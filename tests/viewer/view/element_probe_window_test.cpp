// Values anywhere in a real viewer window on the plate example: hovering over
// an element away from its nodes shows the value its shape functions give
// there, and "Extremos" marks the nodes of the list's smallest and largest
// value on the screen.

#include "../render/viewer_fixture.h"

#include <QCheckBox>
#include <QRegularExpression>
#include <QScreen>

namespace orv {
namespace {

// placa.txt: a plate in z = 0. Element 5 is a quadrilateral of order 2 on
// x 2..2.5, y 0..0.5, its rows of nodes (9 11 12) (13 14 15) (10 16 17).
// List 1 "Deslocamento w - passo 1" moves the nodes along z only, so the
// front view shows every node at its file x, y.
class ValuesAnywhere : public test::ViewerTest {
  protected:
    void SetUp() override {
        ui::set_status_sink([this](const QString& text) { status = text; });
        open(test::example_path("placa.txt"));
        view = form->GLSceneViewer1;
        test::enter(view);
    }
    double per_unit() const {
        return std::max(view->width(), view->height()) / 10.0 * form->model.scene_scale();
    }
    QImage screen_picture() const {
        test::settle();
        const QRect r = view->geometry();
        return form->screen()
            ->grabWindow(form->winId(), r.x(), r.y(), r.width(), r.height())
            .toImage()
            .convertToFormat(QImage::Format_RGB32);
    }

    QWidget* view = nullptr;
    QString status;
};

// Quadratic Lagrange polynomials on 0, 1/2, 1.
double lagrange2(int i, double t) {
    if (i == 0) return 2 * (t - 0.5) * (t - 1);
    if (i == 1) return -4 * t * (t - 1);
    return 2 * t * (t - 0.5);
}

TEST_F(ValuesAnywhere, HoverOverAnElementShowsItsShapeFunctionValue) {
    check_item(5, true); // list 1
    pass();
    // Away from every node: a pick radius smaller than the node spacing on screen.
    form->node_picker.radius = 2;
    test::mouse_move(view, QPointF(model_pixel(2.15, 0.1)), Qt::NoButton);
    test::settle();

    const QRegularExpression format(
        QStringLiteral(R"(^Elem 5   (\S+) (\S+) (\S+)   Deslocamento w - passo 1: (\S+)   \(Nó (\d+)\)$)"));
    const QRegularExpressionMatch m = format.match(status);
    ASSERT_TRUE(m.hasMatch()) << status.toStdString();
    const double x = m.captured(1).toDouble(), y = m.captured(2).toDouble(), z = m.captured(3).toDouble();
    const double value = m.captured(4).toDouble();
    EXPECT_NEAR(x, 2.15, 1.5 / per_unit());
    EXPECT_NEAR(y, 0.1, 1.5 / per_unit());
    EXPECT_EQ(z, 0);
    EXPECT_EQ(m.captured(5), QStringLiteral("11"));

    // The element's own quadratic interpolation at the point shown.
    const double r = (x - 2) / 0.5, s = y / 0.5;
    const int rows[3][3] = {{9, 11, 12}, {13, 14, 15}, {10, 16, 17}};
    double expected = 0;
    for (int j = 0; j < 3; ++j)
        for (int i = 0; i < 3; ++i)
            expected += lagrange2(i, r) * lagrange2(j, s) * form->model.listas(rows[j][i], 1);
    EXPECT_NEAR(value, expected, 1e-12);

    // Near a node the node answers, as before.
    form->node_picker.radius = 8;
    test::mouse_move(view, QPointF(model_pixel(2.25, 0)) + QPointF(1, 1), Qt::NoButton);
    test::settle();
    EXPECT_TRUE(status.startsWith(QStringLiteral("Nó 11   2.25 0 0"))) << status.toStdString();
}

TEST_F(ValuesAnywhere, WithoutAFillOnlyNodesAnswer) {
    check_item(1, true); // "Malha Indeformada": outlines, no value to show
    pass();
    form->node_picker.radius = 2;
    test::mouse_move(view, QPointF(model_pixel(2.15, 0.1)), Qt::NoButton);
    test::settle();
    EXPECT_EQ(status, QString());
}

TEST_F(ValuesAnywhere, ExtremosMarksTheNodesOfTheSmallestAndLargestValue) {
    check_item(5, true);
    pass();
    const QImage off = screen_picture();
    form->CheckBox10->setChecked(true);
    pass();
    const QImage on = screen_picture();

    const ResultModel& m = form->model;
    std::size_t lo = 1, hi = 1;
    for (std::size_t n = 2; n <= static_cast<std::size_t>(m.nnode); ++n) {
        if (m.listas(n, 1) < m.listas(lo, 1)) lo = n;
        if (m.listas(n, 1) > m.listas(hi, 1)) hi = n;
    }
    ASSERT_NE(lo, hi);
    const auto dark = [](QRgb c) { return qRed(c) < 60 && qGreen(c) < 60 && qBlue(c) < 60; };
    for (const std::size_t n : {lo, hi}) {
        const QPoint p = model_pixel(m.coord(n, 1), m.coord(n, 2));
        // A square of 7 pixels round the node (the axes cross the view's
        // centre, where node 1 lies: look beside the lines).
        for (const QPoint d : {QPoint(2, 2), QPoint(-2, 2), QPoint(2, -2), QPoint(-2, -2)}) {
            EXPECT_TRUE(dark(on.pixel(p + d))) << "mark of node " << n;
            EXPECT_FALSE(dark(off.pixel(p + d))) << "node " << n << " before";
        }
        // Its value beside it, up and to the right.
        int added = 0;
        for (int y = p.y() - 18; y < p.y(); ++y)
            for (int x = p.x() + 4; x < p.x() + 80; ++x)
                if (on.rect().contains(x, y) && dark(on.pixel(x, y)) && !dark(off.pixel(x, y))) ++added;
        EXPECT_GT(added, 15) << "label of node " << n;
    }
    // Elsewhere the picture is unchanged (away from both labels and their
    // boxes: the largest value's, at the plate's centre, runs to its right).
    const QPoint away = model_pixel(3.3, 0.7);
    EXPECT_EQ(on.pixel(away), off.pixel(away));

    form->CheckBox10->setChecked(false);
    pass();
    EXPECT_EQ(screen_picture(), off);
}

} // namespace
} // namespace orv
