// The render pass of a real viewer under a real OpenGL context: which display
// lists it compiles, keeps and deletes, what the fills look like, the clip
// plane, and the handling of a number that does not convert.
#include "viewer_fixture.h"

#include "ui/panel_widgets.h"
#include "viewer/legend/colour_scale.h"
#include "viewer/render/colour_list.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QRegularExpression>
#include <QSlider>
#include <QTimer>

#include <GL/gl.h>

namespace orv {
namespace {

using test::colour_near;
using test::dialogs;
using ui::DialogKind;

// plate_x.txt: x and y in [-1, 1], two linear quadrilaterals. List 1 runs
// 0..9 along x, list 2 0..8, list 3 -0.5..0.5, list 4 is constant and
// displaced by +0.5 in x. Plot items: 0..4 fixed, 5..8 the lists.
class RenderPass : public test::ViewerTest {
  protected:
    void SetUp() override {
        load_legend(0);
        open(test::data_path("render/plate_x.txt"));
    }
    QRgb model_at(const QImage& image, double x, double y = 0.3) { return at(image, model_pixel(x, y)); }
    QRgb background() const { return form->GLSceneViewer1->background().rgb(); }
};

TEST_F(RenderPass, FirstPassWithNothingCheckedCompilesNothing) {
    pass();
    EXPECT_EQ(log(), "");
    EXPECT_TRUE(form->render_state.last_calls.empty());
    EXPECT_FALSE(form->changes);
    EXPECT_FALSE(form->changes1);
    EXPECT_EQ(form->fixlist, 5);
    EXPECT_TRUE(form->Panel12->isHidden());
}

TEST_F(RenderPass, CompileKeepAndDeleteSequences) {
    // "Nós" checked, unchecked, checked again: list 1 is compiled once.
    check_item(0, true);
    pass();
    check_item(0, false);
    pass();
    check_item(0, true);
    pass();
    EXPECT_EQ(log(), "C1");
    EXPECT_EQ(form->render_state.last_calls, (std::vector<int>{1}));

    // A plot click recompiles lists 2 and 3 and the result lists not built
    // yet; result lists whose geometry it leaves as it was are kept. Nothing is deleted.
    form->render_state.log.clear();
    check_item(1, true);
    check_item(2, true);
    check_item(5, true);
    check_item(7, true);
    pass();
    EXPECT_EQ(log(), "C2 C3 C6 C8");
    check_item(7, false);
    pass();
    EXPECT_EQ(log(), "C2 C3 C6 C8 C2 C3");
    EXPECT_EQ(form->render_state.last_calls, (std::vector<int>{1, 2, 3, 6}));

    // A colour change ("Faixas de Cores") recompiles 3 and the checked lists
    // and deletes the unchecked list 8; lists 1 and 2 stay.
    form->render_state.log.clear();
    form->CheckBox8->setChecked(true);
    pass();
    EXPECT_EQ(log(), "C3 C6 D8");
    EXPECT_FALSE(form->render_state.lists.exists(8));
    EXPECT_TRUE(form->render_state.lists.exists(1));

    // Rotating only replays.
    form->render_state.log.clear();
    form->GLCamera1->orbit(-10, 25);
    pass();
    EXPECT_EQ(log(), "");

    // A new factor in Edit7, left: deformed mesh and checked lists again;
    // list 8 is gone already; 1, 2, 4 and 5 untouched.
    check_item(3, true);
    check_item(4, true);
    pass();
    form->render_state.log.clear();
    form->Edit7->setText("2");
    form->Edit7Exit();
    pass();
    EXPECT_EQ(log(), "C3 C6");

    // Unchecked lists are deleted on `changes`; checked again, compiled afresh.
    check_item(6, true);
    pass();
    check_item(6, false);
    pass();
    form->render_state.log.clear();
    form->BitBtn1Click(); // transparency apply: changes
    pass();
    EXPECT_EQ(log(), "C3 D7"); // transparency: list 6 keeps its buffers
    check_item(6, true);
    pass();
    EXPECT_EQ(log(), "C3 D7 C2 C3 C7");
}

TEST_F(RenderPass, ListNamesComeFromTheContext) {
    check_item(0, true);
    pass();
    const DisplayListBlock& block = form->render_state.lists;
    ASSERT_TRUE(block.assigned());
    EXPECT_EQ(block.count(), form->model.nlista + 5);
    form->GLSceneViewer1->makeCurrent();
    // Every name of the block is a list of this context; a list made
    // afterwards by someone else gets a name outside the block.
    for (int list = 1; list <= block.count(); ++list)
        EXPECT_TRUE(glIsList(block.name(list))) << list;
    const GLuint other = glGenLists(1);
    EXPECT_TRUE(other < block.name(1) || other > block.name(block.count()));
    glDeleteLists(other, 1);
    form->GLSceneViewer1->doneCurrent();
}

TEST_F(RenderPass, BandedFillShowsTheBandColours) {
    check_item(5, true); // list 1: 0..9 across x in [-1, 1]
    form->CheckBox8->setChecked(true);
    const QImage image = pass();
    // value = (x + 1) * 4.5: x = -0.9 is band 2 (row 0, red), x = 0 band 6
    // (row 4, green), x = 0.95 band 10 (row 8, blue), x = -0.4 band 4 (row 2, yellow).
    EXPECT_TRUE(colour_near(model_at(image, -0.9), {255, 0, 0}));
    EXPECT_TRUE(colour_near(model_at(image, -0.4), {255, 255, 0}));
    EXPECT_TRUE(colour_near(model_at(image, 0.0), {0, 255, 0}));
    EXPECT_TRUE(colour_near(model_at(image, 0.95), {0, 0, 255}));
    EXPECT_TRUE(
        colour_near(model_at(image, 1.5), {qRed(background()), qGreen(background()), qBlue(background())}));

    // "Legenda Negativa": complementary colours.
    form->CheckBox1->setChecked(true);
    const QImage negative = pass();
    EXPECT_EQ(form->trgb, 1);
    EXPECT_TRUE(colour_near(model_at(negative, -0.9), {0, 255, 255}));
    EXPECT_TRUE(colour_near(model_at(negative, 0.0), {255, 0, 255}));
    EXPECT_TRUE(colour_near(model_at(negative, 0.95), {255, 255, 0}));
}

TEST_F(RenderPass, ContinuousFillBlendsAndSolidMeshIsWhite) {
    check_item(5, true);
    const QImage opaque = pass();
    // The value is interpolated and then mapped: x = -0.9 lies a tenth of
    // the way from the nodes at x = -1 (value 0) to x = 0 (value 4.5).
    const Rgb c = value_color(0, 9, 0, 0.45);
    const auto level = [](double v) { return static_cast<int>(std::lround(v * 255)); };
    const test::Rgb8Pixel want{level(c.r), level(c.g), level(c.b)};
    const QPoint p = model_pixel(-0.9, 0.3);
    EXPECT_TRUE(colour_near(at(opaque, p), want, 6));

    // Transparency 50 blends half with the white background.
    form->TrackBar2->setValue(50);
    form->BitBtn1Click();
    const QImage half = pass();
    const QColor bg = form->GLSceneViewer1->background();
    EXPECT_TRUE(colour_near(
        at(half, p), {(want.r + bg.red()) / 2, (want.g + bg.green()) / 2, (want.b + bg.blue()) / 2}, 6));

    // "Malha Sólida": white faces (shown on a dark background), with the same alpha.
    form->GLSceneViewer1->set_background(QColor(20, 20, 20));
    form->TrackBar2->setValue(0);
    form->BitBtn1Click();
    form->CheckBox6->setChecked(true);
    const QImage solid = pass();
    EXPECT_TRUE(colour_near(at(solid, p), {255, 255, 255}));
    EXPECT_TRUE(colour_near(model_at(solid, 0.9), {255, 255, 255}));
    // Banded and solid: white too.
    form->CheckBox8->setChecked(true);
    EXPECT_TRUE(colour_near(at(pass(), p), {255, 255, 255}));
}

TEST_F(RenderPass, ClipPlaneCutsWithoutRecompiling) {
    check_item(5, true);
    form->CheckBox8->setChecked(true);
    pass();
    const std::string before = log();
    form->Edit1->setText("1"); // a = 1: keeps x >= 0
    form->Edit1Exit();
    QImage image = pass();
    // Typed but not checked: nothing is cut.
    EXPECT_TRUE(colour_near(model_at(image, -0.5), {255, 255, 0}));
    form->CheckBox4->setChecked(true);
    image = pass();
    EXPECT_TRUE(
        colour_near(model_at(image, -0.5), {qRed(background()), qGreen(background()), qBlue(background())}));
    EXPECT_TRUE(colour_near(model_at(image, 0.5), {0, 255, 255})); // value 6.75: band 8, row 6
    EXPECT_EQ(log(), before);
    EXPECT_EQ(form->matgld, (std::array<double, 4>{1, 0, 0, 0}));
    form->CheckBox4->setChecked(false);
    EXPECT_TRUE(colour_near(model_at(pass(), -0.5), {255, 255, 0}));
    EXPECT_EQ(log(), before);
}

TEST_F(RenderPass, ColoursLieOnTheirOwnDeformedShape) {
    check_item(8, true); // list 4: moved by +0.5 in x
    QImage image = pass();
    EXPECT_TRUE(colour_near(model_at(image, 1.3), {255, 0, 0}));
    EXPECT_TRUE(
        colour_near(model_at(image, -0.8), {qRed(background()), qGreen(background()), qBlue(background())}));
    form->Edit7->setText("0");
    form->Edit7Exit();
    image = pass();
    EXPECT_TRUE(colour_near(model_at(image, -0.8), {255, 0, 0}));
    EXPECT_TRUE(
        colour_near(model_at(image, 1.3), {qRed(background()), qGreen(background()), qBlue(background())}));
}

TEST_F(RenderPass, InvalidClipCoefficientIsReportedOnceAndRecovers) {
    check_item(5, true);
    form->CheckBox8->setChecked(true);
    pass();
    form->Edit2->setText("abc");
    form->Edit2Exit();
    form->changes = true;
    QImage image = pass();
    test::settle();
    EXPECT_EQ(dialogs().count(DialogKind::Error), 1);
    EXPECT_EQ(dialogs().last_text(DialogKind::Error),
              QStringLiteral("'abc' is not a valid floating point value"));
    EXPECT_TRUE(form->changes) << "the flags stay set for the next pass";
    EXPECT_TRUE(
        colour_near(model_at(image, 0.0), {qRed(background()), qGreen(background()), qBlue(background())}));
    // Further repaints meet the same text: no second message, no stuck notice.
    for (int i = 0; i < 3; ++i)
        pass();
    test::settle();
    EXPECT_EQ(dialogs().count(DialogKind::Error), 1);
    EXPECT_TRUE(form->Panel12->isHidden());
    EXPECT_FALSE(form->GLSceneViewer1->rendering());
    // A valid value recovers: the list is rebuilt and drawn, the flags clear.
    form->Edit2->setText("0");
    image = pass();
    EXPECT_FALSE(form->changes);
    EXPECT_TRUE(colour_near(model_at(image, 0.0), {0, 255, 0}));
    // A new bad text is reported again.
    form->Edit2->setText("1,2,3");
    pass();
    test::settle();
    EXPECT_EQ(dialogs().count(DialogKind::Error), 2);
    EXPECT_EQ(dialogs().last_text(DialogKind::Error),
              QStringLiteral("'1,2,3' is not a valid floating point value"));
}

TEST_F(RenderPass, InvalidFactorStopsBeforeTheListsThatNeedIt) {
    form->Edit7->setText("x");
    check_item(0, true); // nodes: no factor needed
    check_item(5, true); // list 1: needs it
    pass();
    test::settle();
    EXPECT_EQ(log(), "C1") << "lists compiled before the failure remain";
    EXPECT_EQ(dialogs().count(DialogKind::Error), 1);
    EXPECT_EQ(dialogs().last_text(DialogKind::Error),
              QStringLiteral("'x' is not a valid floating point value"));
    EXPECT_TRUE(form->changes1);
    EXPECT_TRUE(form->Panel12->isHidden());
    pass();
    test::settle();
    EXPECT_EQ(dialogs().count(DialogKind::Error), 1);
    EXPECT_EQ(log(), "C1");
    form->Edit7->setText("1");
    form->Edit7Exit();
    pass();
    EXPECT_EQ(log(), "C1 C6");
    EXPECT_FALSE(form->changes1);
    EXPECT_EQ(form->render_state.last_calls, (std::vector<int>{1, 6}));
}

TEST_F(RenderPass, LoadingNoticeIsShownWhileAListCompiles) {
    // A zero timer runs whenever events are let through, also in the middle
    // of a pass: it sees the notice up while a list is being built.
    int seen_during_pass = 0, seen_outside = 0;
    QTimer probe;
    probe.setInterval(0);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        if (!form->Panel12->isVisible()) return;
        (form->GLSceneViewer1->rendering() ? seen_during_pass : seen_outside)++;
    });
    probe.start();
    check_item(0, true);
    check_item(5, true);
    pass();
    probe.stop();
    EXPECT_EQ(log(), "C1 C6");
    EXPECT_GE(seen_during_pass, 2) << "once for each compiled list";
    EXPECT_EQ(seen_outside, 0);
    EXPECT_TRUE(form->Panel12->isHidden());
}

TEST_F(RenderPass, LoadingNoticeIsCentredOverTheView) {
    pass();
    const QRect v = form->GLSceneViewer1->geometry();
    EXPECT_EQ(form->Panel12->x(), v.x() + static_cast<int>(v.width() / 2.0 - form->Panel12->width() / 2.0));
    EXPECT_EQ(form->Panel12->y(), v.y() + static_cast<int>(v.height() / 2.0 - form->Panel12->height() / 2.0));
    EXPECT_EQ(form->Panel12->text(), QStringLiteral("Carregando..."));
}

// placa.txt seen from the front, list 1 coloured: the value the probe prints
// at a point of an element maps, through the scale, to the colour the view
// shows under the pointer.
class ProbeAndPicture : public test::ViewerTest {
  protected:
    void SetUp() override {
        load_legend(0);
        ui::set_status_sink([this](const QString& text) { status = text; });
        open(test::example_path("placa.txt"));
        test::enter(form->GLSceneViewer1);
    }
    void TearDown() override {
        ui::set_status_sink({});
        test::ViewerTest::TearDown();
    }
    QString status;
};

TEST_F(ProbeAndPicture, ColourUnderThePointerIsTheScaleColourOfTheProbedValue) {
    check_item(5, true);
    const QImage image = pass();
    form->node_picker.radius = 2; // away from the nodes the element answers
    const QRegularExpression value(QStringLiteral(R"(^Elem \d+ .*: (\S+)   \(Nó \d+\)$)"));
    const auto [lo, hi] = colour_range(form->model, 1, form->legmax);
    int probed = 0;
    for (const auto& [x, y] : {std::pair{2.15, 0.1}, {2.35, 0.4}, {1.1, 0.3}, {0.6, 0.15}, {3.4, 0.45}}) {
        const QPoint p = model_pixel(x, y);
        test::mouse_move(form->GLSceneViewer1, QPointF(p), Qt::NoButton);
        test::settle();
        const QRegularExpressionMatch m = value.match(status);
        if (!m.hasMatch()) continue;
        ++probed;
        const Rgb c = value_color(form->trgb, hi, lo, m.captured(1).toDouble());
        const test::Rgb8Pixel want{static_cast<int>(std::lround(c.r * 255)),
                                   static_cast<int>(std::lround(c.g * 255)),
                                   static_cast<int>(std::lround(c.b * 255))};
        EXPECT_TRUE(colour_near(at(image, p), want, 8)) << x << " " << y << " " << status.toStdString();
    }
    EXPECT_GE(probed, 3);
}

} // namespace
} // namespace orv
