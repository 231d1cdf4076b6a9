// The legend view of a real viewer: bar colours read back, label texts for
// the worked examples, the range rules, hiding, dragging, the legend options
// and the colour editor.
#include "../render/viewer_fixture.h"

#include "ui/panel_widgets.h"
#include "viewer/legend/colour_scale.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>

namespace orv {
namespace {

using test::colour_near;
using test::dialogs;
using ui::DialogKind;

// plate_x.txt: list 1 runs 0..9, list 2 0..8, list 3 -0.5..0.5, list 4 is 1
// everywhere; items 5..8.
class Legend : public test::ViewerTest {
  protected:
    void SetUp() override {
        load_legend(0);
        open(test::data_path("render/plate_x.txt"));
    }
    // Shows the legend and paints it.
    QImage paint_legend() {
        if (!form->CheckBox3->isChecked()) form->CheckBox3->setChecked(true);
        test::settle();
        EXPECT_TRUE(form->GLSceneViewer2->render_now());
        return form->GLSceneViewer2->last_image();
    }
    // Pixel of legend scene point (x, y): 58.25 pixels per unit, origin at
    // the centre of the 115 x 233 view.
    static QPoint legend_pixel(double x, double y) {
        return {static_cast<int>(std::floor(57.5 + x * 58.25)),
                static_cast<int>(std::floor(116.5 - y * 58.25))};
    }
    std::vector<std::string> labels() const {
        // Title first, then the value labels from the top down.
        return {form->legend_texts.begin() + 1, form->legend_texts.end()};
    }
};

TEST_F(Legend, HiddenLegendIsNotPainted) {
    EXPECT_FALSE(form->GLSceneViewer2->isVisible());
    EXPECT_FALSE(form->BitBtn4->isEnabled());
    form->CheckBox8->setChecked(true); // repaint tail: both objects marked
    pass();
    test::settle();
    EXPECT_EQ(form->GLSceneViewer2->frames(), 0);
    EXPECT_TRUE(form->legend_texts.empty());

    form->CheckBox3->setChecked(true);
    EXPECT_TRUE(test::wait_until([&] { return form->GLSceneViewer2->frames() > 0; }));
    EXPECT_TRUE(form->BitBtn4->isEnabled());
    form->CheckBox3->setChecked(false);
    EXPECT_FALSE(form->GLSceneViewer2->isVisible());
    EXPECT_FALSE(form->BitBtn4->isEnabled());
    const long frames = form->GLSceneViewer2->frames();
    form->CheckBox9->setChecked(true);
    test::settle();
    EXPECT_EQ(form->GLSceneViewer2->frames(), frames);
}

TEST_F(Legend, BandedBarShowsTheNineRows) {
    form->CheckBox8->setChecked(true);
    const QImage image = paint_legend();
    ASSERT_EQ(image.size(), QSize(115, 233));
    for (int k = 0; k <= 8; ++k) {
        const auto& c = legcolor[static_cast<std::size_t>(k)];
        EXPECT_TRUE(
            colour_near(image.pixel(legend_pixel(-0.625, -1.675 + 0.35 * k)),
                        {static_cast<int>(std::lround(c[0] * 255)), static_cast<int>(std::lround(c[1] * 255)),
                         static_cast<int>(std::lround(c[2] * 255))}))
            << "band " << k;
    }
    // Background around the bar.
    EXPECT_TRUE(colour_near(image.pixel(legend_pixel(-0.9, 0)), {243, 250, 252}));
    EXPECT_TRUE(colour_near(image.pixel(legend_pixel(-0.6, 1.5)), {243, 250, 252}));
}

TEST_F(Legend, ContinuousBarBlendsAndNegativeComplements) {
    QImage image = paint_legend();
    // Half-way between stops 0 and 1: (1, 0.25, 0); between 7 and 8: (0, 0.25, 1).
    EXPECT_TRUE(colour_near(image.pixel(legend_pixel(-0.625, -1.65)), {255, 64, 0}, 6));
    EXPECT_TRUE(colour_near(image.pixel(legend_pixel(-0.625, 1.15)), {0, 64, 255}, 6));
    // "Legenda Negativa": cyan at the bottom stop, yellow at the top one,
    // read at the pixel centres nearest to the stops.
    form->CheckBox1->setChecked(true);
    image = paint_legend();
    const auto green_at = [](QPoint p, double g_at_stop, double g_next, double stop_y, double next_y) {
        const double y = (116.5 - (p.y() + 0.5)) / 58.25;
        const double t = (y - stop_y) / (next_y - stop_y);
        return static_cast<int>(std::lround(255 * (g_at_stop + (g_next - g_at_stop) * t)));
    };
    const QPoint bottom = legend_pixel(-0.625, -1.84), top = legend_pixel(-0.625, 1.34);
    EXPECT_TRUE(colour_near(image.pixel(bottom), {0, green_at(bottom, 1, 0.5, -1.85, -1.45), 255}));
    EXPECT_TRUE(colour_near(image.pixel(top), {255, green_at(top, 1, 0.5, 1.35, 0.95), 0}));
    // Solid mesh and transparency change the fill, never the legend.
    form->CheckBox6->setChecked(true);
    form->TrackBar2->setValue(70);
    form->BitBtn1Click();
    const QImage again = paint_legend();
    EXPECT_EQ(again.pixel(legend_pixel(-0.625, -1.65)), image.pixel(legend_pixel(-0.625, -1.65)));
}

TEST_F(Legend, LabelsOfTheWorkedExamples) {
    // Nothing checked: range (0, 0).
    paint_legend();
    ASSERT_FALSE(form->legend_texts.empty());
    EXPECT_EQ(form->legend_texts.front(), "Legenda:");
    EXPECT_EQ(labels(), std::vector<std::string>(9, "0.00000"));

    // Banded, list 1 (0..9).
    check_item(5, true);
    form->CheckBox8->setChecked(true);
    paint_legend();
    EXPECT_EQ(labels(), (std::vector<std::string>{"9.00000", "8.00000", "7.00000", "6.00000", "5.00000",
                                                  "4.00000", "3.00000", "2.00000", "1.00000", "0.00000"}));

    // Continuous, list 2 (0..8) with list 4 checked too: the lower list decides.
    check_item(5, false);
    check_item(6, true);
    check_item(8, true);
    form->CheckBox8->setChecked(false);
    paint_legend();
    EXPECT_EQ(labels(), (std::vector<std::string>{"8.00000", "7.00000", "6.00000", "5.00000", "4.00000",
                                                  "3.00000", "2.00000", "1.00000", "0.00000"}));

    // Manual range 0..100 for every list.
    form->Edit5->setText("0");
    form->Edit6->setText("100");
    form->CheckBox5->setChecked(true);
    paint_legend();
    EXPECT_EQ(form->legmax, 1);
    EXPECT_EQ(labels().front(), "100.00000");
    EXPECT_EQ(labels().back(), "0.00000");

    // Reversed manual range 5..0: top 0, bottom 5.
    form->Edit5->setText("5");
    form->Edit6->setText("0");
    form->Edit6Exit();
    paint_legend();
    EXPECT_EQ(labels().front(), "0.00000");
    EXPECT_EQ(labels().back(), "5.00000");

    // Scientific, list 3 (-0.5..0.5), own range again.
    form->CheckBox5->setChecked(false);
    check_item(6, false);
    check_item(8, false);
    check_item(7, true);
    form->CheckBox9->setChecked(true);
    paint_legend();
    EXPECT_EQ(labels().front(), "5.0000E-001");
    EXPECT_EQ(labels().back(), "-5.0000E-001");
    EXPECT_EQ(labels()[4], "0.0000E+000");

    // "Legenda Negativa" twice: the labels never change with it.
    const auto before = labels();
    form->CheckBox1->setChecked(true);
    form->CheckBox1->setChecked(false);
    EXPECT_EQ(form->trgb, 0);
    paint_legend();
    EXPECT_EQ(labels(), before);
}

TEST_F(Legend, TextIsDrawnInGrey) {
    const QImage image = paint_legend();
    // Title and labels start at x = -0.25 and are grey (0.35); GLUT draws
    // them without smoothing.
    int grey = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = legend_pixel(-0.25, 0).x(); x < image.width(); ++x)
            if (colour_near(image.pixel(x, y), {89, 89, 89}, 2)) ++grey;
    EXPECT_GT(grey, 50);
}

TEST_F(Legend, DraggingMovesTheView) {
    paint_legend();
    QWidget* v = form->GLSceneViewer2;
    const QPoint start = v->pos();
    test::mouse_press(v, {10, 10}, Qt::LeftButton);
    test::mouse_move(v, {30.7, 25.2}, Qt::LeftButton);
    EXPECT_EQ(v->pos(), start + QPoint(20, 15));
    test::mouse_release(v, {10, 10}, Qt::LeftButton);
    // Shift held and no button still drags; nothing held does nothing.
    test::mouse_move(v, {5, 10}, Qt::NoButton, Qt::ShiftModifier);
    EXPECT_EQ(v->pos(), start + QPoint(15, 15));
    test::mouse_move(v, {40, 40}, Qt::NoButton);
    EXPECT_EQ(v->pos(), start + QPoint(15, 15));
    // Hidden and shown again: where it was left.
    form->CheckBox3->setChecked(false);
    form->CheckBox3->setChecked(true);
    EXPECT_EQ(v->pos(), start + QPoint(15, 15));
}

TEST_F(Legend, CommonRangeErrorsAndTheSilentExitGuard) {
    const std::array<double, 2> overall{form->model.valmin, form->model.valmax};
    form->changes = false;
    form->Edit5->setText("1");
    form->Edit6->setText("x");
    form->CheckBox5->setChecked(true);
    test::settle();
    EXPECT_EQ(dialogs().count(DialogKind::Error), 1);
    EXPECT_EQ(dialogs().last_text(DialogKind::Error),
              QStringLiteral("'x' is not a valid floating point value"));
    EXPECT_EQ(form->legmax, 1);
    EXPECT_EQ(form->model.maxlista[0][0], 1);
    EXPECT_EQ(form->model.maxlista[0][1], overall[1]);
    EXPECT_FALSE(form->changes);
    EXPECT_TRUE(form->CheckBox5->isChecked());

    // Leaving a field with a bad text shows nothing.
    form->Edit5->setText("2");
    form->Edit6Exit();
    test::settle();
    EXPECT_EQ(dialogs().count(DialogKind::Error), 1);
    EXPECT_EQ(form->model.maxlista[0][0], 2);

    // Both 0: the overall range; leaving a field while unchecked still
    // recompiles (changes) but keeps row 0.
    form->Edit5->setText("0");
    form->Edit6->setText("0");
    form->Edit5Exit();
    EXPECT_EQ(form->model.maxlista[0], overall);
    form->CheckBox5->setChecked(false);
    EXPECT_EQ(form->legmax, 0);
    form->changes = false;
    form->Edit6->setText("50");
    form->Edit6Exit();
    EXPECT_TRUE(form->changes);
    EXPECT_EQ(form->model.maxlista[0], overall);
}

TEST_F(Legend, ColourEditorCaptionsAndApply) {
    form->ComboBox1->setCurrentIndex(7);
    form->ComboBox1Change();
    EXPECT_TRUE(form->GroupBox9->isVisible());
    const char* escala1[9] = {"0 - 0 - 255",   "0 - 127 - 255", "0 - 255 - 255",
                              "0 - 255 - 127", "0 - 255 - 0",   "127 - 255 - 0",
                              "255 - 255 - 0", "255 - 127 - 0", "255 - 0 - 0"};
    for (int i = 0; i < 9; ++i)
        EXPECT_EQ(form->colour_panels[static_cast<std::size_t>(i)]->text(), escala1[i]) << i;
    EXPECT_EQ(form->Panel2->palette().color(QPalette::WindowText), QColor(255, 255, 0));
    EXPECT_EQ(form->Panel2->palette().color(QPalette::Window), QColor(0, 0, 255));
    EXPECT_FALSE(form->BitBtn9->isEnabled());
    EXPECT_FALSE(form->BitBtn10->isEnabled());

    form->BitBtn8Click();                                            // "Escala 2"
    const int greys[9] = {51, 77, 95, 119, 150, 178, 192, 234, 245}; // top to bottom
    for (int i = 0; i < 9; ++i) {
        const QString g = QString::number(greys[i]);
        EXPECT_EQ(form->colour_panels[static_cast<std::size_t>(i)]->text(), g + " - " + g + " - " + g);
        EXPECT_EQ(form->colour_panels[static_cast<std::size_t>(i)]->palette().color(QPalette::WindowText),
                  QColor(255 - greys[i], 255 - greys[i], 255 - greys[i]));
    }
    EXPECT_TRUE(form->changes);

    // "Aplicar" right after "Escala 1": only the 0.5 components change, to 127/255.
    form->BitBtn7Click();
    const LegendTable before = legcolor;
    form->BitBtn6Click();
    for (std::size_t row = 0; row < 9; ++row)
        for (std::size_t c = 0; c < 3; ++c)
            EXPECT_EQ(legcolor[row][c], before[row][c] == 0.5 ? 127 / 255.0 : before[row][c]) << row << c;

    // Pure red chosen for the top panel: caption and cyan text at once, the
    // table only after "Aplicar"; the legend then shows red at the top.
    load_legend(0);
    form->refresh_legend();
    dialogs().answers.push_back({true, {}, QColor(255, 0, 0)});
    test::mouse_release(form->Panel2, {10, 10}, Qt::LeftButton);
    EXPECT_EQ(dialogs().count(DialogKind::Colour), 1);
    EXPECT_EQ(form->Panel2->text(), "255 - 0 - 0");
    EXPECT_EQ(form->Panel2->palette().color(QPalette::WindowText), QColor(0, 255, 255));
    EXPECT_EQ(legcolor[8], (std::array<double, 3>{0, 0, 1}));
    form->BitBtn6Click();
    EXPECT_EQ(legcolor[8], (std::array<double, 3>{1, 0, 0}));
    form->CheckBox8->setChecked(true);
    const QImage image = paint_legend();
    EXPECT_TRUE(colour_near(image.pixel(legend_pixel(-0.625, -1.675 + 0.35 * 8)), {255, 0, 0}));

    // A cancelled dialog changes nothing; a choice then "Escala 2" is discarded.
    test::mouse_release(form->Panel3, {10, 10}, Qt::LeftButton);
    EXPECT_EQ(form->Panel3->text(), "0 - 127 - 255");
    dialogs().answers.push_back({true, {}, QColor(1, 2, 3)});
    test::mouse_release(form->Panel3, {10, 10}, Qt::LeftButton);
    EXPECT_EQ(form->Panel3->text(), "1 - 2 - 3");
    form->BitBtn8Click();
    EXPECT_EQ(form->Panel3->text(), "77 - 77 - 77");
    load_legend(0);
}

} // namespace
} // namespace orv
