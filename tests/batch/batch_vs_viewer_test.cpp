// `orvanel --picture` (no display) against what a viewer window shows on the
// screen for the same settings and size. Both draw with Mesa's software
// renderer through the same scene, render-pass and legend code, and text with
// the same glyphs (GLUT on screen, the font data in batch), so the pictures
// must agree pixel for pixel: no tolerance. On a mismatch both pictures and a
// mask of the differing pixels are kept in the scratch folder named in the
// failure. A case with --title compares against the window's "Salvar
// Figura" at the scale of --scale-figure instead of the screen.
#include "../viewer/render/viewer_fixture.h"
#include "batch_files.h"

#include "batch/command_line.h"
#include "viewer/Unit3.h"
#include "viewer/legend/colour_scale.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFrame>
#include <QGuiApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QSlider>
#include <QSpinBox>

#include <functional>
#include <ostream>
#include <set>

namespace orv {
namespace {

// One picture: the file, the window's size, what a user does in the window,
// and the batch options that stand for it.
struct PictureCase {
    const char* name;
    const char* file; // an example, or a file under tests/data when it names a folder
    int width, height;
    std::function<void(TForm2&)> in_window;
    QStringList options;
};

// Test names show the case's name.
void PrintTo(const PictureCase& c, std::ostream* os) {
    *os << c.name;
}

// The plot list's mouse release after checking item i.
void check(TForm2& f, int item) {
    f.CheckListBox1->item(item)->setCheckState(Qt::Checked);
    f.CheckListBox1MouseUp();
}

// A drag in the 3D view from (x0, y0) to (x1, y1) in one move: with the left
// button one pixel turns or pitches the camera by one degree (left turns
// positive, down pitches negative), with the right the model follows the
// pointer (the default mouse speed).
void drag(TForm2& f, Qt::MouseButton button, QPointF from, QPointF to) {
    test::mouse_press(f.GLSceneViewer1, from, button);
    test::mouse_move(f.GLSceneViewer1, to, button);
    test::mouse_release(f.GLSceneViewer1, to, button);
}

void set_text(QLineEdit* edit, const char* text) {
    edit->setText(QString::fromLatin1(text));
}

// "Deslocamento" set to item `index` (0 the file's, 1 none, then the fields).
void choose_displacement(TForm2& f, int index) {
    f.displacement_box->setCurrentIndex(index);
    f.displacement_box_change();
}

// "Setas" on, with field `index` (0 the displacement, then the fields) and a factor.
void set_arrows(TForm2& f, int index, const char* factor) {
    f.arrows_box->setCurrentIndex(index);
    set_text(f.arrows_factor, factor);
    f.arrows_check->setChecked(true);
}

// Every view option and every --view preset at least once.
const PictureCase kCases[] = {
    // Files of other formats open framed; --fit frames after the turns.
    {"ImportedStripOpensFramedDeformedByAFieldTheNameRuleMisses",
     "viewer/deformation.vtu",
     700,
     460,
     [](TForm2& f) {
         check(f, 1);
         check(f, 2);
         check(f, kFixList + 4);    // "T"
         choose_displacement(f, 2); // "Deformation"
         set_text(f.Edit7, "2");
         f.Edit7Exit();
     },
     {"--mesh", "--deformed-mesh", "--list", "5", "--displacement-field", "Deformation", "--displacement",
      "2"}},
    // No result list checked: the arrows are coloured and the legend tells their magnitudes.
    {"ArrowsOfAFieldColouredWithTheirLegend",
     "import/calculix/beam20.frd",
     640,
     480,
     [](TForm2& f) {
         check(f, 2);
         f.CheckBox3->setChecked(true);
         set_arrows(f, 1, "1"); // "DISP"
         f.apply_preset(1);
     },
     {"--deformed-mesh", "--legend", "--arrows=DISP", "--orbit", "-30,45"}},
    // Over a coloured list the arrows are black, on the shape the list is drawn on.
    {"ArrowsOfTheDisplacementOverAList",
     "import/calculix/beam20.frd",
     640,
     480,
     [](TForm2& f) {
         check(f, kFixList + 4);
         set_arrows(f, 0, "2.5");
         f.apply_preset(1);
     },
     {"--list", "5", "--arrows", "--arrow-factor", "2.5", "--orbit", "-30,45"}},
    {"ImportedBeamTurnedWithoutDisplacement",
     "import/calculix/beam20.frd",
     640,
     480,
     [](TForm2& f) {
         check(f, 2);
         check(f, kFixList + 10);
         choose_displacement(f, 1); // "nenhum"
         f.apply_preset(1);
     },
     {"--deformed-mesh", "--list", "11", "--displacement-field", "none", "--orbit", "-30,45"}},
    {"NativeShellFramedAfterTurningThenZoomed",
     "casca.txt",
     640,
     480,
     [](TForm2& f) {
         check(f, 1);
         check(f, kFixList + 1);
         f.apply_preset(1);
         f.fit_model(); // "Enquadrar"
         f.zoom_in();
     },
     {"--mesh", "--list", "2", "--orbit", "-30,45", "--fit", "--zoom", "1.05"}},
    {"BandedShellWithMeshFromATurnedLeftView",
     "casca.txt",
     700,
     520,
     [](TForm2& f) {
         check(f, 1);                   // "Malha Indeformada"
         check(f, kFixList + 1);        // result list 2
         f.CheckBox8->setChecked(true); // "Faixas de Cores"
         f.apply_preset(-1);            // the toolbar's view from the left
         drag(f, Qt::LeftButton, {200, 200}, {170, 220});
     },
     {"--mesh", "--list", "2", "--bands", "--view", "left", "--orbit", "-20,30"}},
    {"ContinuousPlateWithScientificLegend",
     "placa.txt",
     760,
     560,
     [](TForm2& f) {
         check(f, kFixList + 1);        // result list 2, continuous colours
         check(f, kFixList + 3);        // and list 4 drawn over it; the legend shows list 2
         f.CheckBox3->setChecked(true); // "Legenda"
         f.CheckBox9->setChecked(true); // "Notação Científica"
     },
     {"--list", "4", "--list", "2", "--legend", "--scientific"}},
    {"DeformedBeamWithNumbersZoomedAndPanned",
     "viga.txt",
     900,
     500,
     [](TForm2& f) {
         check(f, 2);                    // "Malha Deformada"
         check(f, 3);                    // "Numerção dos Nós"
         check(f, 4);                    // "Num. dos Elementos"
         check(f, kFixList + 6);         // result list 7
         f.CheckBox10->setChecked(true); // "Extremos", on the deformed beam
         set_text(f.Edit7, "0.01");      // "Fator de Multiplicação"
         f.Edit7Exit();
         f.zoom_in(); // one wheel step: scene scale 1.05 (as a float)
         drag(f, Qt::RightButton, {300, 300}, {260, 180});
     },
     {"--deformed-mesh", "--node-numbers", "--element-numbers", "--list", "7", "--extremes", "--displacement",
      "0.01", "--zoom", "1.05", "--pan", "-40,-120"}},
    {"DisplacementSliderMovesTheDeformedMesh",
     "viga.txt",
     800,
     480,
     [](TForm2& f) {
         check(f, 1);
         check(f, 2);
         check(f, kFixList + 4); // list 5, the largest deflection
         set_text(f.Edit7, "0,3");
         f.Edit7Exit();
         f.TrackBar3->setValue(80);
         f.BitBtn2->click();
     },
     {"--mesh", "--deformed-mesh", "--list", "5", "--displacement", "0.3:80"}},
    {"NodesAndNegativeBandsWithLegend",
     "casca.txt",
     640,
     480,
     [](TForm2& f) {
         check(f, 0); // "Nós"
         check(f, kFixList + 0);
         f.CheckBox8->setChecked(true);
         f.CheckBox1->setChecked(true); // "Legenda Negativa"
         f.CheckBox3->setChecked(true);
     },
     {"--nodes", "--list", "1", "--bands", "--negative", "--legend"}},
    {"NegativeContinuousColours",
     "placa.txt",
     640,
     480,
     [](TForm2& f) {
         check(f, kFixList + 6);
         f.CheckBox1->setChecked(true);
         f.CheckBox3->setChecked(true);
     },
     {"--list", "7", "--negative", "--legend"}},
    {"TransparentFillsOverTheMesh",
     "casca.txt",
     640,
     480,
     [](TForm2& f) {
         check(f, 1);
         check(f, kFixList + 2);
         f.TrackBar2->setValue(40); // "Transparência"
         f.BitBtn1->click();
         f.apply_preset(1); // front right above: the shell's far side shows through
     },
     {"--mesh", "--list", "3", "--transparency", "40", "--orbit", "-30,45"}},
    {"SolidMeshHidesTheColours",
     "placa.txt",
     640,
     480,
     [](TForm2& f) {
         check(f, 1);
         check(f, kFixList + 1);
         f.CheckBox6->setChecked(true); // "Malha Sólida"
     },
     {"--mesh", "--list", "2", "--solid"}},
    {"ClipPlaneKeepsOneSide",
     "casca.txt",
     640,
     480,
     [](TForm2& f) {
         check(f, 1);
         check(f, kFixList + 1);
         set_text(f.Edit1, "1");
         set_text(f.Edit4, "-2,5");
         f.CheckBox4->setChecked(true); // "Clip Plane": x >= 2.5
         f.apply_preset(1);
     },
     {"--mesh", "--list", "2", "--clip", "1,0,0,-2.5", "--orbit", "-30,45"}},
    {"ElementTypeFilterHidesAnOrder",
     "casca.txt",
     640,
     480,
     [](TForm2& f) {
         check(f, 1);
         check(f, kFixList + 1);
         f.SpinEdit2->setValue(2); // "ETp 2": triangles of order 2 hidden
         f.BitBtn5->click();
         f.apply_preset(1);
     },
     {"--mesh", "--list", "2", "--filter", "-1,2,-1", "--orbit", "-30,45"}},
    {"BlockFilterColoursOnlyTheNamedBlocks",
     "import/exodus/offset64_quad2d.exo",
     640,
     480,
     [](TForm2& f) {
         check(f, 1);
         check(f, kFixList + 0);
         f.blocks_button->click();
         f.blocks_list->item(1)->setCheckState(Qt::Unchecked); // "tip"
         f.blocks_popup->hide();
         f.BitBtn5->click();
     },
     {"--mesh", "--list", "1", "--blocks", "plate"}},
    {"SecondColourScaleBanded",
     "placa.txt",
     640,
     480,
     [](TForm2& f) {
         check(f, kFixList + 5);
         f.CheckBox8->setChecked(true);
         f.CheckBox3->setChecked(true);
         f.BitBtn8->click(); // "Escala 2"
     },
     {"--list", "6", "--bands", "--legend", "--scale", "2"}},
    {"ManualCommonRange",
     "placa.txt",
     640,
     480,
     [](TForm2& f) {
         check(f, kFixList + 4);
         f.CheckBox3->setChecked(true);
         set_text(f.Edit5, "-20");
         set_text(f.Edit6, "100");
         f.CheckBox5->setChecked(true); // "> Valores Máximos"
     },
     {"--list", "5", "--legend", "--range", "-20:100"}},
    {"WholeFileRangeBanded",
     "placa.txt",
     640,
     480,
     [](TForm2& f) {
         check(f, kFixList + 5);
         f.CheckBox8->setChecked(true);
         f.CheckBox3->setChecked(true);
         f.CheckBox5->setChecked(true); // fields 0 and 0: the range of the whole file
     },
     {"--list", "6", "--bands", "--legend", "--range", "0:0"}},
    {"ExtremesOnATurnedContinuousShellWithLegend",
     "casca.txt",
     640,
     480,
     [](TForm2& f) {
         check(f, kFixList + 1);         // result list 2, continuous colours
         f.CheckBox10->setChecked(true); // "Extremos": both marks on the turned shell
         f.CheckBox3->setChecked(true);
         f.apply_preset(1);
     },
     {"--list", "2", "--extremes", "--legend", "--orbit", "-30,45"}},
    // An extreme on the far side of a closed surface is drawn as hidden, the
    // values with the legend's scientific digits.
    {"ExtremesOfASphereOneHiddenInScientificDigits",
     "import/gmsh/tet10_sphere_41.msh",
     640,
     480,
     [](TForm2& f) {
         check(f, kFixList);
         f.CheckBox10->setChecked(true); // "Extremos"
         f.CheckBox9->setChecked(true);  // "Notação Científica"
         f.apply_preset(1);
     },
     {"--list", "1", "--extremes", "--scientific", "--orbit", "-30,45"}},
    // Figures: the texts of the numbers and the extremes, and their marks, at
    // twice the size; a figure without a result list is titled by the file.
    {"FigureOfTheBeamWithExtremesAtTwiceTheSize",
     "viga.txt",
     700,
     420,
     [](TForm2& f) {
         check(f, 2);
         check(f, 4);
         check(f, kFixList + 6);
         f.CheckBox10->setChecked(true);
         f.CheckBox3->setChecked(true);
         set_text(f.Edit7, "0.01");
         f.Edit7Exit();
         f.figure_scale_box->setCurrentIndex(1); // "2×"
     },
     {"--deformed-mesh", "--element-numbers", "--list", "7", "--extremes", "--legend", "--displacement",
      "0.01", "--title", "--scale-figure", "2"}},
    {"FigureTitledByTheFileWithoutAList",
     "casca.txt",
     600,
     440,
     [](TForm2& f) {
         check(f, 0);
         check(f, 1);
         f.apply_preset(1);
     },
     {"--nodes", "--mesh", "--orbit", "-30,45", "--title", "--scale-figure", "1"}},
    // The presets of --view from the front, each as a left drag in the
    // window (the plate lies across the front view, the shell along it).
    {"FrontView",
     "placa.txt",
     600,
     440,
     [](TForm2& f) {
         check(f, 1);
         check(f, kFixList + 5);
     },
     {"--mesh", "--list", "6", "--view", "front"}},
    {"BackView",
     "placa.txt",
     600,
     440,
     [](TForm2& f) {
         check(f, 1);
         check(f, kFixList + 5);
         drag(f, Qt::LeftButton, {400, 200}, {220, 200});
     },
     {"--mesh", "--list", "6", "--view", "back"}},
    {"RightView",
     "casca.txt",
     600,
     440,
     [](TForm2& f) {
         check(f, 1);
         check(f, kFixList + 1);
         drag(f, Qt::LeftButton, {400, 200}, {310, 200});
     },
     {"--mesh", "--list", "2", "--view", "right"}},
    {"TopView",
     "casca.txt",
     600,
     440,
     [](TForm2& f) {
         check(f, 1);
         check(f, kFixList + 1);
         drag(f, Qt::LeftButton, {300, 100}, {300, 190});
     },
     {"--mesh", "--list", "2", "--view", "top"}},
    {"BottomView",
     "casca.txt",
     600,
     440,
     [](TForm2& f) {
         check(f, 1);
         check(f, kFixList + 1);
         drag(f, Qt::LeftButton, {300, 300}, {300, 210});
     },
     {"--mesh", "--list", "2", "--view", "bottom"}},
    {"LeftView",
     "casca.txt",
     600,
     440,
     [](TForm2& f) {
         check(f, 1);
         check(f, kFixList + 1);
         drag(f, Qt::LeftButton, {200, 200}, {290, 200});
     },
     {"--mesh", "--list", "2", "--view", "left"}},
};

class BatchVsViewer : public test::ViewerTest {
  protected:
    void SetUp() override { ASSERT_TRUE(scratch.isValid()); }
    void check(int item) { orv::check(*form, item); }
    void TearDown() override {
        test::ViewerTest::TearDown();
        load_legend(0); // the colour table is the process's
    }

    QString view_size() const {
        return QString("%1x%2").arg(form->GLSceneViewer1->width()).arg(form->GLSceneViewer1->height());
    }

    // What the screen shows over the 3D view (the legend view included).
    QImage screen_of_view() {
        form->raise();
        form->activateWindow();
        test::settle();
        EXPECT_TRUE(form->GLSceneViewer1->render_now());
        if (form->GLSceneViewer2->isVisible()) {
            EXPECT_TRUE(form->GLSceneViewer2->render_now());
        }
        test::settle();
        const QPoint at = form->GLSceneViewer1->mapToGlobal(QPoint(0, 0));
        return QGuiApplication::primaryScreen()
            ->grabWindow(0, at.x(), at.y(), form->GLSceneViewer1->width(), form->GLSceneViewer1->height())
            .toImage();
    }

    // The window's "Salvar Figura" at the scale of its box, as a PNG read back.
    QImage saved_figure(const QString& name) {
        const QString saved = scratch.filePath(name + "-figure.png");
        test::dialogs().answer_open(saved);
        test::settle(); // the view painted, as before any click of a user
        form->save_figure_button->click();
        test::settle();
        EXPECT_EQ(test::dialogs().count(ui::DialogKind::Error), 0)
            << test::dialogs().last_text(ui::DialogKind::Error).toStdString();
        return QImage(saved).convertToFormat(QImage::Format_RGB32);
    }

    void expect_same_as_batch(const QStringList& options, const QString& file, const QString& name) {
        if (options.contains("--scale-figure")) {
            ASSERT_EQ(form->figure_scale_box->currentIndex() + 1,
                      options[options.indexOf("--scale-figure") + 1].toInt())
                << "the window's figure at the scale of the batch one";
        }
        const QImage shown = options.contains("--title") ? saved_figure(name) : screen_of_view();
        ASSERT_FALSE(shown.isNull());
        const QString png = scratch.filePath(name + "-batch.png");
        QStringList args{"--picture", png, "--size", view_size()};
        args << options << file;
        const test::BatchRun r = test::run_orvanel(args, scratch.path());
        ASSERT_EQ(r.exit_code, 0) << r.err.toStdString();
        const QImage batch(png);
        ASSERT_FALSE(batch.isNull());
        EXPECT_EQ(batch.depth(), 24 + 8); // loaded as RGB32: the file is 24-bit RGB
        const test::PictureDiff d = test::compare_pictures(shown, batch);
        ASSERT_TRUE(d.same_size) << "batch " << batch.width() << "x" << batch.height();
        if (d.differing != 0) {
            shown.save(scratch.filePath(name + "-viewer.png"));
            d.mask.save(scratch.filePath(name + "-diff.png"));
            scratch.setAutoRemove(false);
        }
        EXPECT_EQ(d.differing, 0) << "largest channel difference " << d.max_channel << "; pictures in "
                                  << scratch.path().toStdString();
        // Not a blank picture: the model is there.
        int coloured = 0;
        for (int y = 0; y < batch.height(); y += 2)
            for (int x = 0; x < batch.width(); x += 2)
                if (batch.pixel(x, y) != qRgb(255, 255, 255)) ++coloured;
        EXPECT_GT(coloured, 50);
    }

    QTemporaryDir scratch;
};

class BatchPicture : public BatchVsViewer, public ::testing::WithParamInterface<PictureCase> {};

TEST_P(BatchPicture, EqualsTheWindowPixelForPixel) {
    const PictureCase& c = GetParam();
    const QString file = QString(c.file).contains('/') ? test::data_path(c.file) : test::example_path(c.file);
    open(file, c.width, c.height);
    c.in_window(*form);
    if (form->CheckBox3->isChecked()) {
        ASSERT_EQ(form->GLSceneViewer2->pos(), form->GLSceneViewer1->pos())
            << "the legend stands at the view's corner";
    }
    expect_same_as_batch(c.options, file, c.name);
}

INSTANTIATE_TEST_SUITE_P(Options, BatchPicture, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<PictureCase>& info) { return info.param.name; });

// Every view and figure option of the command line is drawn by at least one
// case.
TEST(BatchPictureCases, CoverEveryViewOption) {
    std::set<QString> used;
    for (const PictureCase& c : kCases)
        for (const QString& o : c.options)
            if (o.startsWith("--")) used.insert(o.section('=', 0, 0));
    for (const cli::Option& o : cli::options()) {
        if (o.scope != cli::Scope::View && o.scope != cli::Scope::Picture && o.scope != cli::Scope::Figure)
            continue;
        if (o.name == "--size") continue; // every case gives the window's size
        EXPECT_TRUE(used.contains(QString::fromUtf8(o.name.data(), static_cast<int>(o.name.size()))))
            << o.name;
    }
    std::set<QString> views;
    for (const PictureCase& c : kCases) {
        const auto at = c.options.indexOf("--view");
        if (at >= 0) views.insert(c.options[at + 1]);
    }
    EXPECT_EQ(views.size(), 6u);
}

// "Salvar Figura" (dialog answered by the test) and --picture --legend
// --title with the same options: the same PNG pixel for pixel, at 1x and 2x.
TEST_F(BatchVsViewer, SavedFigureIsThePictureWithLegendAndTitle) {
    const QString file = test::example_path("placa.txt");
    open(file, 760, 560);
    check(1);                          // "Malha Indeformada"
    check(kFixList + 4);               // result list 5
    check(kFixList + 2);               // and list 3, which titles the figure and its legend
    form->CheckBox3->setChecked(true); // "Legenda"
    form->CheckBox8->setChecked(true); // "Faixas de Cores"
    form->apply_preset(-1);
    const QStringList options{"--mesh",   "--list",  "5",      "--list", "3",
                              "--legend", "--bands", "--view", "left"};
    for (const int scale : {1, 2}) {
        SCOPED_TRACE(scale);
        const QString name = QString("figure-%1x").arg(scale);
        const QString saved = scratch.filePath(name + "-viewer.png");
        form->figure_scale_box->setCurrentIndex(scale - 1);
        test::dialogs().answer_open(saved);
        test::settle(); // the view painted, as before any click of a user
        form->save_figure_button->click();
        test::settle();
        ASSERT_EQ(test::dialogs().count(ui::DialogKind::Error), 0)
            << test::dialogs().last_text(ui::DialogKind::Error).toStdString();
        const QImage window(saved);
        ASSERT_EQ(window.size(), QSize(form->GLSceneViewer1->width() * scale,
                                       (form->GLSceneViewer1->height() + 28) * scale));
        if (scale == 1) {
            // Below the title, what the screen shows: the view and the legend over it.
            const test::PictureDiff shown = test::compare_pictures(
                window.copy(0, 28, window.width(), window.height() - 28), screen_of_view());
            EXPECT_TRUE(shown.same_size);
            EXPECT_EQ(shown.differing, 0);
        }

        const QString png = scratch.filePath(name + "-batch.png");
        QStringList args{"--picture",           png, "--size", view_size(), "--title", "--scale-figure",
                         QString::number(scale)};
        const test::BatchRun r = test::run_orvanel(args + options + QStringList{file}, scratch.path());
        ASSERT_EQ(r.exit_code, 0) << r.err.toStdString();
        const QImage batch(png);
        const test::PictureDiff d = test::compare_pictures(window, batch);
        ASSERT_TRUE(d.same_size) << "batch " << batch.width() << "x" << batch.height();
        if (d.differing != 0) {
            d.mask.save(scratch.filePath(name + "-diff.png"));
            scratch.setAutoRemove(false);
        }
        EXPECT_EQ(d.differing, 0) << "largest channel difference " << d.max_channel << "; pictures in "
                                  << scratch.path().toStdString();
    }
}

// "Lista" of the viewer and --history write the same bytes under the same name.
TEST_F(BatchVsViewer, HistoryFileIsTheViewersListFile) {
    const QString file = test::data_path("output/twelve_lists.txt");
    open(file);
    TForm3 chart;
    set_chart_form(&chart);
    TForm3::set_modal_hook([](TForm3&) {});
    const QString old_cwd = QDir::currentPath();
    QDir::setCurrent(scratch.path());
    form->Edit9->setText(" 7");
    form->Edit10->setText("B");
    form->SpinEdit4->setValue(2);
    form->SpinEdit5->setValue(11);
    form->SpinEdit6->setValue(3);
    form->Button3Click();
    QDir::setCurrent(old_cwd);
    TForm3::set_modal_hook({});
    set_chart_form(nullptr);

    QFile viewer_file(scratch.filePath("twelve_lists_B.lst"));
    ASSERT_TRUE(viewer_file.open(QIODevice::ReadOnly));
    const QByteArray viewer_bytes = viewer_file.readAll();
    viewer_file.close();
    viewer_file.remove();

    const test::BatchRun r =
        test::run_orvanel({"--history", " 7", "--lists", "2:11:3", "--tag", "B", file}, scratch.path());
    ASSERT_EQ(r.exit_code, 0) << r.err.toStdString();
    QFile batch_file(scratch.filePath("twelve_lists_B.lst"));
    ASSERT_TRUE(batch_file.open(QIODevice::ReadOnly));
    EXPECT_EQ(batch_file.readAll(), viewer_bytes);
    EXPECT_TRUE(viewer_bytes.startsWith("N\xF3:  7\r\n"));
}

} // namespace
} // namespace orv
