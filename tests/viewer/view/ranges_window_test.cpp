// The lists' ranges measured after the window opened: a list checked before
// its range was measured is drawn with it, "> Valores Máximos" waits for
// every range (a progress box; cancelled, the box goes back unchecked) and
// then draws what a window that measured them all at open draws; a window
// closed or reread while the measuring runs stops it cleanly.
//
// Fixture: tests/data/viewer/transient_3.txt (21 lists; see reload_window_test.cpp).
#include "../render/viewer_fixture.h"

#include <QCheckBox>
#include <QFile>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>

#include <algorithm>
#include <array>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

namespace orv {
namespace {

const QString kFile = "viewer/transient_3.txt";
const std::string kStep2 = "STRESS von Mises - passo 2";

class RangesWindow : public test::ViewerTest {
  protected:
    void TearDown() override {
        test::ViewerTest::TearDown();
        TForm2::set_background_ranges_from(kAtOpen);
        TForm2::hold_background_ranges(false);
        ui::ProgressBox::set_delay_ms(500);
    }

    // Every range at open (the reference), or all of them left to the background.
    void open_measuring(bool at_open, bool held = false) {
        TForm2::set_background_ranges_from(at_open ? kAtOpen : 0);
        TForm2::hold_background_ranges(held);
        open(test::data_path(kFile), 760, 520);
    }

    int list_named(const std::string& name) const {
        for (int k = 1; k <= form->model.nlista; ++k)
            if (form->model.namelista[static_cast<std::size_t>(k)] == name) return k;
        return 0;
    }

    // The 3D view with the legend view over it, as the screen shows them.
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

    // Step 2's von Mises with the legend: its range is one a deferred open
    // leaves to measure (only the last list is read at open).
    void show_step2() {
        form->CheckBox3->setChecked(true); // "Legenda"
        ASSERT_TRUE(form->check_result_list(list_named(kStep2)));
    }

    static constexpr std::int64_t kAtOpen = std::numeric_limits<std::int64_t>::max();
};

TEST_F(RangesWindow, TheWholeFilesRangeWaitsForEveryListAndDrawsAsBefore) {
    open_measuring(true);
    ASSERT_FALSE(form->ranges_pending());
    show_step2();
    const QImage own_range = screen();
    const std::vector<std::string> own_legend = form->legend_texts;
    form->CheckBox5->setChecked(true);
    ASSERT_EQ(form->legmax, 1);
    const QImage whole_file = screen();
    const std::vector<std::string> whole_legend = form->legend_texts;
    const std::vector<std::array<double, 2>> rows = form->model.maxlista;
    ASSERT_NE(whole_legend, own_legend) << "the fixture should tell the two ranges apart";
    form.reset();
    test::settle();

    open_measuring(false, true);
    ASSERT_TRUE(form->ranges_pending());
    EXPECT_FALSE(form->ranges_working());
    show_step2();
    // Checked, its range is measured at once: the same picture.
    const int k = list_named(kStep2);
    EXPECT_EQ(form->model.maxlista[static_cast<std::size_t>(k)], rows[static_cast<std::size_t>(k)]);
    EXPECT_TRUE(form->ranges_pending());
    EXPECT_TRUE(screen() == own_range);
    EXPECT_EQ(form->legend_texts, own_legend);

    TForm2::hold_background_ranges(false);
    form->CheckBox5->setChecked(true);
    EXPECT_TRUE(form->CheckBox5->isChecked());
    EXPECT_FALSE(form->ranges_pending());
    EXPECT_EQ(form->legmax, 1);
    EXPECT_EQ(form->model.maxlista, rows);
    EXPECT_TRUE(screen() == whole_file);
    EXPECT_EQ(form->legend_texts, whole_legend);
}

TEST_F(RangesWindow, CancellingTheWaitLeavesTheBoxUnchecked) {
    open_measuring(false, true);
    show_step2();
    const QImage own_range = screen();
    const std::vector<std::string> own_legend = form->legend_texts;
    ui::ProgressBox::set_delay_ms(0);
    test::dialogs().answer_cancel();
    form->CheckBox5->setChecked(true);
    EXPECT_EQ(test::dialogs().count(ui::DialogKind::Progress), 1);
    EXPECT_EQ(test::dialogs().count(ui::DialogKind::Error), 0);
    EXPECT_FALSE(form->CheckBox5->isChecked());
    EXPECT_EQ(form->legmax, 0);
    EXPECT_TRUE(form->ranges_pending());
    EXPECT_TRUE(screen() == own_range);
    EXPECT_EQ(form->legend_texts, own_legend);

    // Asked again with the measuring free to run: it completes.
    TForm2::hold_background_ranges(false);
    form->CheckBox5->setChecked(true);
    EXPECT_TRUE(form->CheckBox5->isChecked());
    EXPECT_EQ(form->legmax, 1);
    EXPECT_FALSE(form->ranges_pending());
}

TEST_F(RangesWindow, TheBackgroundFillsEveryRangeAndSaysSo) {
    std::vector<QString> status;
    ui::set_status_sink([&](const QString& s) { status.push_back(s); });
    open_measuring(false);
    ASSERT_TRUE(test::wait_until([&] { return !form->ranges_pending() && !form->ranges_working(); }));
    const auto said = [&](const QString& start, const QString& end = {}) {
        return std::any_of(status.begin(), status.end(),
                           [&](const QString& s) { return s.startsWith(start) && s.endsWith(end); });
    };
    EXPECT_TRUE(said(QStringLiteral("Calculando faixas de valores: "), QStringLiteral(" de 20 listas")));
    EXPECT_TRUE(said(QStringLiteral("Faixas de valores calculadas: 20 listas.")));
    const std::vector<std::array<double, 2>> rows = form->model.maxlista;
    form.reset();
    test::settle();
    open_measuring(true);
    EXPECT_EQ(form->model.maxlista, rows);
}

TEST_F(RangesWindow, ClosingOrRereadingWhileMeasuringStopsCleanly) {
    for (int round = 0; round < 6; ++round) {
        SCOPED_TRACE(round);
        open_measuring(false);
        form->model.store->set_budget(0); // every list read from the file again
        if (round % 3 == 1) {
            ASSERT_TRUE(form->reload());
            EXPECT_EQ(form->model.nlista, 21);
        }
        if (round % 2) {
            form->close_viewer();
            test::settle();
            EXPECT_TRUE(form->is_closed());
            EXPECT_FALSE(form->ranges_working());
        }
        form.reset();
        test::settle();
    }
}

} // namespace
} // namespace orv
