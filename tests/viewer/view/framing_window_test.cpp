// Framing and the plot list in a real viewer window, seen on the screen:
// files of other formats open framed, F frames a native one, the panel
// widens with its splitter and the plot list with it, Enter applies the
// displacement factor, "▶" at the generator's first range plays the checked
// list through the steps, "Deslocamento" offers the model's fields.
#include "../render/viewer_fixture.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QSpinBox>
#include <QSplitter>
#include <QTest>

#include <algorithm>
#include <vector>

namespace orv {
namespace {

class FramingWindow : public test::ViewerTest {
  protected:
    void open_active(const QString& file) {
        open(file, 760, 520);
        // The axes symbol stands at the file's origin: out of the pictures.
        form->CheckBox7->setChecked(false);
        form->CheckBox7Click();
        form->raise();
        form->activateWindow();
        ASSERT_TRUE(test::wait_until([&] { return QApplication::activeWindow() == form.get(); }));
        test::settle();
    }

    // The 3D view as the screen shows it.
    QImage screen() {
        test::settle();
        EXPECT_TRUE(form->GLSceneViewer1->render_now());
        test::settle();
        const QPoint at = form->GLSceneViewer1->mapToGlobal(QPoint(0, 0));
        return QGuiApplication::primaryScreen()
            ->grabWindow(0, at.x(), at.y(), form->GLSceneViewer1->width(), form->GLSceneViewer1->height())
            .toImage();
    }

    // The box of the pixels that are not background (white).
    static QRect drawn_box(const QImage& image) {
        int x0 = image.width(), y0 = image.height(), x1 = -1, y1 = -1;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if ((image.pixel(x, y) & 0xFFFFFF) != 0xFFFFFF) {
                    x0 = std::min(x0, x);
                    y0 = std::min(y0, y);
                    x1 = std::max(x1, x);
                    y1 = std::max(y1, y);
                }
        return x1 < 0 ? QRect() : QRect(QPoint(x0, y0), QPoint(x1, y1));
    }

    // The model's drawing is centred in the view and fills 90 % of its width
    // or its height.
    void expect_framed(const QImage& image) {
        const QRect box = drawn_box(image);
        ASSERT_FALSE(box.isNull());
        EXPECT_NEAR(box.center().x(), image.width() / 2.0, 3) << box.x() << " " << box.width();
        EXPECT_NEAR(box.center().y(), image.height() / 2.0, 3) << box.y() << " " << box.height();
        const double fill =
            std::max(box.width() / double(image.width()), box.height() / double(image.height()));
        EXPECT_NEAR(fill, 0.9, 0.02);
    }

    std::vector<int> checked_lists() const {
        std::vector<int> lists;
        for (int k = 1; k <= form->model.nlista; ++k)
            if (form->plot_item_checked(kFixList + k - 1)) lists.push_back(k);
        return lists;
    }
};

TEST_F(FramingWindow, AnImportedFileOpensFramedAndStaysFramedWhileTheViewTakesItsSize) {
    // A strip at x 100..109, y 50..53: shown about the file's origin it lies
    // outside the view.
    open_active(test::data_path("viewer/deformation.vtu"));
    check_item(1, true); // "Malha Indeformada"
    expect_framed(screen());
    EXPECT_TRUE(form->fit_pending());

    form->resize(600, 700); // tall: now the width limits
    test::settle();
    expect_framed(screen());

    // Turned by the user, the framing stays as it was; F frames again.
    form->apply_preset(1);
    form->resize(700, 500);
    test::settle();
    EXPECT_FALSE(form->fit_pending());
    form->GLSceneViewer1->setFocus();
    QTest::keyClick(form->GLSceneViewer1, Qt::Key_F);
    expect_framed(screen());
    // "Centralizar" goes back to the framed position, not the file's origin.
    form->move_model(0, 0.5f);
    form->centre_model();
    expect_framed(screen());
}

TEST_F(FramingWindow, ANativeFileKeepsItsFirstViewUntilF) {
    open_active(test::example_path("viga.txt"));
    check_item(1, true);
    EXPECT_FALSE(form->fit_pending());
    EXPECT_EQ(form->DirectOpenGL1->position(), (view::Vec3f{0, 0, 0}));
    EXPECT_FLOAT_EQ(form->DirectOpenGL1->scale()[0], static_cast<float>(form->model.scene_scale()));
    const QImage first = screen();
    // F in a text field is a letter, not the command.
    form->Edit9->setFocus();
    QTest::keyClick(form->Edit9, Qt::Key_F);
    EXPECT_EQ(form->DirectOpenGL1->position(), (view::Vec3f{0, 0, 0}));
    form->zoom_in();
    form->GLSceneViewer1->setFocus();
    QTest::keyClick(form->GLSceneViewer1, Qt::Key_F);
    EXPECT_FLOAT_EQ(form->GLCamera1->scene_scale(), 1.0f);
    const QImage framed = screen();
    EXPECT_NE(drawn_box(first), drawn_box(framed));
    expect_framed(framed);
}

TEST_F(FramingWindow, ThePlotListFollowsTheWidenedPanelAndTellsWholeNames) {
    open_active(test::data_path("import/calculix/beam20.frd"));
    const int narrow = form->CheckListBox1->width();
    const int panel = form->panel_scroll->width();
    EXPECT_EQ(panel, TForm2::kPanelWidth);
    form->panel_splitter->setSizes({form->width() - 400, 400});
    test::settle();
    EXPECT_EQ(form->panel_scroll->width(), 400);
    // The list fills its group, 5 pixels in from the panel's sides.
    EXPECT_EQ(form->CheckListBox1->width(), form->Panel1->width() - 10 - 16);
    EXPECT_GT(form->CheckListBox1->width(), narrow + 200);
    EXPECT_EQ(form->GLSceneViewer1->width(), form->width() - 400);
    // The list's buttons move to its right edge.
    EXPECT_EQ(form->play_button->geometry().right(), form->GroupBox4->width() - 4);
    // Every name whole in its item's tooltip.
    const QListWidgetItem* item = form->CheckListBox1->item(kFixList + 19);
    EXPECT_EQ(item->toolTip(), QStringLiteral("DISP Magnitude - passo 2 (t = 2)"));
    // Wide enough, the name is no longer cut off.
    const QRect text = form->CheckListBox1->visualItemRect(item);
    EXPECT_GE(text.width(), form->CheckListBox1->fontMetrics().horizontalAdvance(item->text()) + 20);
}

TEST_F(FramingWindow, EnterAppliesTheDisplacementFactor) {
    open_active(test::example_path("viga.txt"));
    check_item(2, true); // "Malha Deformada"
    check_item(kFixList + 4, true);
    const QImage before = screen();
    form->Edit7->setFocus();
    form->Edit7->selectAll();
    QTest::keyClicks(form->Edit7, "0,2");
    QTest::keyClick(form->Edit7, Qt::Key_Return);
    EXPECT_FALSE(form->Edit7->hasFocus()) << "the focus is parked as the button parks it";
    const QImage after = screen();
    EXPECT_NE(drawn_box(before), drawn_box(after)) << "the deformed mesh moved";
}

TEST_F(FramingWindow, PlayAtTheFirstRangeWalksTheCheckedListThroughTheSteps) {
    open_active(test::data_path("import/calculix/beam20.frd"));
    ASSERT_EQ(form->SpinEdit4->value(), 1);
    ASSERT_EQ(form->SpinEdit5->value(), 1);
    form->SpinEdit7->setValue(100);
    check_item(kFixList + 3, true); // DISP Magnitude, step 1
    form->CheckListBox1MouseUp();
    std::vector<std::vector<int>> seen;
    QObject::connect(form->GLSceneViewer1, &GLSceneViewer::painted, form.get(),
                     [&] { seen.push_back(checked_lists()); });
    form->play_button->click();
    ASSERT_TRUE(test::wait_until([&] { return !form->playing(); }, 5000));
    EXPECT_EQ(checked_lists(), (std::vector<int>{20})); // DISP Magnitude, step 2
}

TEST_F(FramingWindow, DisplacementChoicesAreTheModelsFields) {
    open_active(test::data_path("viewer/deformation.vtu"));
    QStringList items;
    for (int i = 0; i < form->displacement_box->count(); ++i)
        items << form->displacement_box->itemText(i);
    EXPECT_EQ(items, (QStringList{"do arquivo", "nenhum", "Deformation"}));
    check_item(2, true);
    check_item(kFixList + 4, true);
    const QRect undeformed = drawn_box(screen());
    form->displacement_box->setCurrentIndex(2);
    form->displacement_box_change();
    const QRect deformed = drawn_box(screen());
    EXPECT_GT(deformed.height(), undeformed.height()) << "the strip bends down";
    form->displacement_box->setCurrentIndex(0);
    form->displacement_box_change();
    EXPECT_EQ(drawn_box(screen()), undeformed) << "the file's own displacement is back";
}

} // namespace
} // namespace orv
