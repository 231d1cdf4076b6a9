// "Recarregar" in a real viewer window, seen on the screen: an unchanged file
// comes back as the same picture (camera, checks, legend settings kept), a
// file that grew shows its new steps with the checked list kept by name, and
// a file that is damaged or gone leaves the window as it was.
//
// Fixtures: tests/data/viewer/transient_2.txt and transient_3.txt, a block of
// 2 x 2 x 2 bricks with 2 and 3 steps of seven stress lists (the second file
// is the first with a step appended), and transient_finer.txt, 3 x 3 x 3
// bricks and one step, written by
//   build/bench/make_transient --cells 2 --steps 2 --format txt transient_2.txt
//   build/bench/make_transient --cells 2 --steps 3 --format txt transient_3.txt
//   build/bench/make_transient --cells 3 --steps 1 --format txt transient_finer.txt
#include "../render/viewer_fixture.h"

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QGuiApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>

#include <array>
#include <string>
#include <vector>

namespace orv {
namespace {

const std::string kStep2 = "STRESS von Mises - passo 2";

class ReloadWindow : public test::ViewerTest {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        file = dir.filePath("running.txt");
    }

    // The analysis writes `fixture` as the file (a new file, as solvers do).
    void write(const QString& fixture) {
        QFile::remove(file);
        QFile from(test::data_path(fixture));
        ASSERT_TRUE(from.open(QIODevice::ReadOnly));
        QFile to(file);
        ASSERT_TRUE(to.open(QIODevice::WriteOnly));
        ASSERT_EQ(to.write(from.readAll()), from.size());
    }

    void open_active() {
        open(file, 760, 520);
        form->raise();
        form->activateWindow();
        ASSERT_TRUE(test::wait_until([&] { return QApplication::activeWindow() == form.get(); }));
        test::settle();
    }

    // The 3D view as the screen shows it (the legend view floats over it).
    QImage screen() {
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

    std::vector<std::string> checked_names() const {
        std::vector<std::string> names;
        for (int k = 1; k <= form->model.nlista; ++k)
            if (form->plot_item_checked(kFixList + k - 1))
                names.push_back(form->model.namelista[static_cast<std::size_t>(k)]);
        return names;
    }

    int list_named(const std::string& name) const {
        for (int k = 1; k <= form->model.nlista; ++k)
            if (form->model.namelista[static_cast<std::size_t>(k)] == name) return k;
        return 0;
    }

    // A view nobody opens with: the mesh and step 2's von Mises in bands,
    // against a typed common range, with the legend; turned, zoomed, moved.
    void set_up_view() {
        check_item(1, true); // "Malha Indeformada"
        ASSERT_TRUE(form->check_result_list(list_named(kStep2)));
        form->CheckBox8->setChecked(true); // "Faixas de Cores"
        form->Edit5->setText("20");
        form->Edit6->setText("120");
        form->CheckBox5->setChecked(true); // "> Valores Máximos"
        form->CheckBox3->setChecked(true); // "Legenda"
        form->apply_preset(1);
        form->zoom_in();
        form->move_model(0, 0.5f);
        test::settle();
    }

    struct Camera {
        view::Vec3f camera, model_position, model_scale;
        float zoom = 0;
        double turn = 0;
        friend bool operator==(const Camera&, const Camera&) = default;
    };
    Camera camera() const {
        return {form->GLCamera1->position(), form->DirectOpenGL1->position(), form->DirectOpenGL1->scale(),
                form->GLCamera1->scene_scale(), form->tur};
    }

    QTemporaryDir dir;
    QString file;
};

TEST_F(ReloadWindow, AnUnchangedFileComesBackAsTheSamePicture) {
    write("viewer/transient_2.txt");
    open_active();
    set_up_view();
    const QImage before = screen();
    const Camera seen = camera();

    form->reload_button->click();
    test::settle();

    EXPECT_EQ(test::dialogs().count(ui::DialogKind::Error), 0);
    EXPECT_EQ(camera(), seen);
    EXPECT_EQ(checked_names(), std::vector<std::string>{kStep2});
    EXPECT_TRUE(form->plot_item_checked(1));
    EXPECT_TRUE(form->CheckBox8->isChecked());
    EXPECT_EQ(form->legmax, 1);
    EXPECT_EQ(form->model.maxlista[0], (std::array<double, 2>{20, 120}));
    EXPECT_TRUE(screen() == before) << "the picture after the reread differs";
}

TEST_F(ReloadWindow, AFileThatGrewShowsItsNewStepsAndKeepsTheCheckedListByName) {
    write("viewer/transient_2.txt");
    open_active();
    set_up_view();
    const QImage step2 = screen();
    ASSERT_EQ(form->model.nlista, 14);

    write("viewer/transient_3.txt"); // the analysis wrote step 3
    ASSERT_TRUE(form->reload());

    EXPECT_EQ(form->model.nlista, 21);
    ASSERT_EQ(form->CheckListBox1->count(), kFixList + 21);
    EXPECT_EQ(form->CheckListBox1->item(kFixList + 20)->text(), QStringLiteral("STRESS von Mises - passo 3"));
    EXPECT_EQ(checked_names(), std::vector<std::string>{kStep2});
    EXPECT_TRUE(screen() == step2) << "step 2 is drawn as before";

    // Page Down walks on into the new step.
    for (int k = list_named(kStep2); k < 21; ++k)
        ASSERT_TRUE(form->step_result_list(+1));
    EXPECT_EQ(checked_names(), std::vector<std::string>{"STRESS von Mises - passo 3"});
    EXPECT_FALSE(screen() == step2) << "step 3 shows other values";
}

// The blocks unchecked in "Blocos" stay unchecked, by name, and the reread
// is drawn with them hidden.
TEST_F(ReloadWindow, UncheckedBlocksStayUncheckedByName) {
    file = dir.filePath("running.exo");
    write("import/exodus/offset64_quad2d.exo");
    open_active();
    ASSERT_TRUE(form->check_result_list(1));
    ASSERT_EQ(form->blocks_list->count(), 2);
    form->blocks_list->item(1)->setCheckState(Qt::Unchecked); // "tip"
    form->BitBtn5->click();
    const QImage plate_only = screen();

    write("import/exodus/offset64_quad2d.exo");
    ASSERT_TRUE(form->reload());
    ASSERT_EQ(form->blocks_list->count(), 2);
    EXPECT_EQ(form->blocks_list->item(0)->checkState(), Qt::Checked);
    EXPECT_EQ(form->blocks_list->item(1)->checkState(), Qt::Unchecked);
    EXPECT_EQ(form->view_settings().hidden_blocks, (std::vector<std::uint8_t>{0, 1}));
    EXPECT_TRUE(screen() == plate_only) << "the reread shows the same blocks coloured";
}

TEST_F(ReloadWindow, AFileWithAnotherMeshIsDrawnAsAFreshOpenDrawsIt) {
    // The nodes and their numbers, drawn once and kept while the mesh stays,
    // must follow a remeshed file.
    const auto check = [&] {
        check_item(0, true); // "Nós"
        check_item(3, true); // "Numerção dos Nós"
        ASSERT_TRUE(form->check_result_list(list_named("STRESS von Mises - passo 1")));
    };
    write("viewer/transient_2.txt");
    open_active();
    check();
    screen();
    write("viewer/transient_finer.txt");
    ASSERT_TRUE(form->reload());
    const QImage reread = screen();

    form.reset();
    test::settle();
    open_active();
    check();
    EXPECT_TRUE(screen() == reread) << "the reread shows what an open of the new file shows";
}

TEST_F(ReloadWindow, AFileDamagedOrGoneGivesTheMessageAndKeepsTheWindow) {
    struct Case {
        const char* what;
        QString replacement; // what the file becomes; empty: it is deleted
        const char* message_part;
    };
    const std::vector<Case> cases = {
        {"damaged", "viewer/bad_number.txt", "running.txt"},
        {"gone", "", "running.txt"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        write("viewer/transient_2.txt");
        open_active();
        set_up_view();
        const QImage before = screen();
        const Camera seen = camera();

        if (c.replacement.isEmpty()) {
            ASSERT_TRUE(QFile::remove(file));
        } else {
            write(c.replacement);
        }
        test::dialogs().reset();
        EXPECT_FALSE(form->reload());

        EXPECT_EQ(test::dialogs().count(ui::DialogKind::Error), 1);
        EXPECT_TRUE(test::dialogs().last_text(ui::DialogKind::Error).contains(c.message_part))
            << test::dialogs().last_text(ui::DialogKind::Error).toStdString();
        EXPECT_EQ(form->model.nlista, 14);
        EXPECT_EQ(form->CheckListBox1->count(), kFixList + 14);
        EXPECT_EQ(checked_names(), std::vector<std::string>{kStep2});
        EXPECT_EQ(camera(), seen);
        EXPECT_TRUE(screen() == before) << "the old picture stays";
        form.reset();
        test::settle();
    }
}

} // namespace
} // namespace orv
