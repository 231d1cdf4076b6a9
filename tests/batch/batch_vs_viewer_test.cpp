// `orvanel --picture` (no display) against what a viewer window shows on the
// screen for the same settings and size. Both draw with Mesa's software
// renderer through the same scene, render-pass and legend code, and text with
// the same glyphs (GLUT on screen, the font data in batch), so the pictures
// must agree pixel for pixel: no tolerance. On a mismatch both pictures and a
// mask of the differing pixels are kept in the scratch folder named in the
// failure.
#include "../viewer/render/viewer_fixture.h"
#include "batch_files.h"

#include "viewer/Unit3.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QScreen>
#include <QSpinBox>

namespace orv {
namespace {

class BatchVsViewer : public test::ViewerTest {
  protected:
    void SetUp() override { ASSERT_TRUE(scratch.isValid()); }

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

    void expect_same_as_batch(const QStringList& options, const QString& file, const char* name) {
        const QImage shown = screen_of_view();
        const QString png = scratch.filePath(QString(name) + "-batch.png");
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
            shown.save(scratch.filePath(QString(name) + "-viewer.png"));
            d.mask.save(scratch.filePath(QString(name) + "-diff.png"));
            scratch.setAutoRemove(false);
        }
        EXPECT_EQ(d.differing, 0) << "largest channel difference " << d.max_channel << "; pictures in "
                                  << scratch.path().toStdString();
        // Not a blank picture: the model is there.
        int coloured = 0;
        for (int y = 0; y < batch.height(); y += 2)
            for (int x = 0; x < batch.width(); x += 2)
                if (batch.pixel(x, y) != qRgb(255, 255, 255)) ++coloured;
        EXPECT_GT(coloured, 200);
    }

    void check(int item) {
        form->CheckListBox1->item(item)->setCheckState(Qt::Checked);
        form->CheckListBox1MouseUp();
    }

    QTemporaryDir scratch;
};

TEST_F(BatchVsViewer, BandedShellWithMeshFromATurnedPresetView) {
    const QString file = test::example_path("casca.txt");
    open(file, 700, 520);
    check(1);                          // "Malha Indeformada"
    check(kFixList + 1);               // result list 2
    form->CheckBox8->setChecked(true); // "Faixas de Cores"
    form->apply_preset(-1);            // the toolbar's view from the left
    // A left-button drag: 30 pixels left turns by 30 degrees, 20 down pitches by -20.
    test::mouse_press(form->GLSceneViewer1, QPointF(200, 200), Qt::LeftButton);
    test::mouse_move(form->GLSceneViewer1, QPointF(170, 220), Qt::LeftButton);
    test::mouse_release(form->GLSceneViewer1, QPointF(170, 220), Qt::LeftButton);
    expect_same_as_batch({"--mesh", "--list", "2", "--bands", "--view", "left", "--orbit", "-20,30"}, file,
                         "shell");
}

TEST_F(BatchVsViewer, ContinuousPlateWithLegend) {
    const QString file = test::example_path("placa.txt");
    open(file, 760, 560);
    check(kFixList + 1);               // result list 2, continuous colours
    check(kFixList + 3);               // and list 4 drawn over it; the legend shows list 2
    form->CheckBox3->setChecked(true); // "Legenda"
    form->CheckBox9->setChecked(true); // "Notação Científica"
    ASSERT_EQ(form->GLSceneViewer2->pos(), form->GLSceneViewer1->pos())
        << "the legend stands at the view's corner";
    expect_same_as_batch({"--list", "4", "--list", "2", "--legend", "--scientific"}, file, "plate");
}

TEST_F(BatchVsViewer, BeamWithNumbers) {
    const QString file = test::example_path("viga.txt");
    open(file, 900, 500);
    check(2);                           // "Malha Deformada"
    check(3);                           // "Numerção dos Nós"
    check(4);                           // "Num. dos Elementos"
    check(kFixList + 6);                // result list 7
    form->CheckBox10->setChecked(true); // "Extremos", on the deformed beam
    form->Edit7->setText("0.01");       // "Fator de Multiplicação"
    form->Edit7Exit();
    form->zoom_in(); // one wheel step: scene scale 1.05 (as a float)
    // A right-button drag at the default speed: the model follows the pointer.
    test::mouse_press(form->GLSceneViewer1, QPointF(300, 300), Qt::RightButton);
    test::mouse_move(form->GLSceneViewer1, QPointF(260, 180), Qt::RightButton);
    test::mouse_release(form->GLSceneViewer1, QPointF(260, 180), Qt::RightButton);
    expect_same_as_batch({"--deformed-mesh", "--node-numbers", "--element-numbers", "--list", "7",
                          "--extremes", "--displacement", "0.01", "--zoom", "1.05", "--pan", "-40,-120"},
                         file, "beam");
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
