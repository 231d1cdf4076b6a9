// Display option controls of a real viewer: the plot list's mouse handlers
// and chbox, the filter row, the status messages of the sliders, the line
// settings, the axes options and the flags the buttons set.
#include "../render/viewer_fixture.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QStyle>
#include <QStyleOptionViewItem>

#include <GL/gl.h>

namespace orv {
namespace {

using test::colour_near;
using test::dialogs;
using ui::DialogKind;

class DisplayOptions : public test::ViewerTest {
  protected:
    void SetUp() override {
        ui::set_status_sink([this](const QString& text) { status = text; });
        open(test::data_path("viewer/four_lists.txt"));
    }
    // A left click on the check box of plot item i, as the user makes it.
    void click_check(int item) { test::click_check(form->CheckListBox1, item); }
    bool checked(int item) const { return form->CheckListBox1->item(item)->checkState() == Qt::Checked; }
    QString status;
};

TEST_F(DisplayOptions, ChboxFollowsTheLowestCheckedList) {
    // four_lists.txt: result lists 1..4 are items 5..8.
    click_check(6); // list 2
    click_check(8); // list 4
    ASSERT_TRUE(checked(6));
    ASSERT_TRUE(checked(8));
    EXPECT_EQ(form->chbox, 6);
    EXPECT_TRUE(form->changes1);
    click_check(6);
    ASSERT_FALSE(checked(6));
    EXPECT_EQ(form->chbox, 12);
    click_check(8);
    EXPECT_EQ(form->chbox, 0);
    // Any button released over the list recomputes it.
    form->CheckListBox1->item(5)->setCheckState(Qt::Checked);
    test::mouse_release(form->CheckListBox1->viewport(), {60, 200}, Qt::RightButton);
    EXPECT_EQ(form->chbox, 3);
}

TEST_F(DisplayOptions, RightClickUncoversTheFilterRow) {
    QListWidget* list = form->CheckListBox1;
    EXPECT_EQ(list->y(), 16);
    EXPECT_EQ(list->height(), 265);
    test::mouse_press(list->viewport(), {50, 100}, Qt::RightButton);
    test::mouse_release(list->viewport(), {50, 100}, Qt::RightButton);
    EXPECT_EQ(list->y(), 56);
    EXPECT_EQ(list->height(), 225);
    EXPECT_FALSE(form->Label1->visibleRegion().isEmpty());
    EXPECT_EQ(form->Label1->text(), "ETp 1");
    test::mouse_press(list->viewport(), {50, 100}, Qt::RightButton);
    EXPECT_EQ(list->y(), 16);
    EXPECT_EQ(list->height(), 265);
    // The left button, or the right one with a key held, moves nothing.
    test::mouse_press(list->viewport(), {50, 100}, Qt::LeftButton);
    test::mouse_press(list->viewport(), {50, 100}, Qt::RightButton, Qt::ShiftModifier);
    EXPECT_EQ(list->y(), 16);

    // The filters' apply button.
    form->changes = false;
    form->BitBtn5->click();
    EXPECT_TRUE(form->changes);
    EXPECT_TRUE(form->CheckBox1->hasFocus() || !form->isActiveWindow());
}

// "Blocos…" beside the filter row: disabled for a file without blocks; for
// an Exodus file its popup lists the blocks checked, and an unchecked block
// reaches the render pass's filter once applied.
TEST_F(DisplayOptions, BlocksPopupListsTheFileBlocks) {
    EXPECT_FALSE(form->blocks_button->isEnabled()); // four_lists.txt has none
    EXPECT_TRUE(form->view_settings().hidden_blocks.empty());

    open(test::data_path("import/exodus/offset64_quad2d.exo"));
    QPushButton* button = form->blocks_button;
    ASSERT_TRUE(button->isEnabled());
    // In the filter row, clear of the spin edits and the apply button, and
    // covered by the plot list until it is uncovered.
    for (QWidget* w : {static_cast<QWidget*>(form->SpinEdit3), static_cast<QWidget*>(form->Label3),
                       static_cast<QWidget*>(form->BitBtn5)})
        EXPECT_FALSE(button->geometry().intersects(w->geometry())) << w->objectName().toStdString();
    const auto where = [&] {
        const QRect l = form->CheckListBox1->geometry(), b = button->geometry();
        return QString("list %1,%2 %3x%4, button %5,%6 %7x%8")
            .arg(l.x())
            .arg(l.y())
            .arg(l.width())
            .arg(l.height())
            .arg(b.x())
            .arg(b.y())
            .arg(b.width())
            .arg(b.height())
            .toStdString();
    };
    EXPECT_TRUE(form->CheckListBox1->geometry().contains(button->geometry())) << where();
    test::mouse_press(form->CheckListBox1->viewport(), {50, 100}, Qt::RightButton);
    EXPECT_FALSE(form->CheckListBox1->geometry().intersects(button->geometry())) << where();

    button->click();
    ASSERT_TRUE(form->blocks_popup->isVisible());
    EXPECT_EQ(form->blocks_popup->findChild<QLabel*>("blocks_title")->text(), "Blocos");
    QListWidget* list = form->blocks_list;
    ASSERT_EQ(list->count(), 2);
    EXPECT_EQ(list->item(0)->text(), "plate");
    EXPECT_EQ(list->item(1)->text(), "tip");
    EXPECT_EQ(list->item(0)->checkState(), Qt::Checked);
    EXPECT_EQ(list->item(1)->checkState(), Qt::Checked);
    EXPECT_TRUE(form->view_settings().hidden_blocks.empty());

    form->blocks_popup->hide();
    click_check(kFixList); // list 1 coloured over both blocks
    const QImage both = pass();

    list->item(1)->setCheckState(Qt::Unchecked);
    EXPECT_EQ(pass(), both) << "a check alone changes nothing until applied";
    form->changes = false;
    form->BitBtn5->click();
    EXPECT_TRUE(form->changes);
    EXPECT_EQ(form->view_settings().hidden_blocks, (std::vector<std::uint8_t>{0, 1}));
    const QImage plate_only = pass();
    EXPECT_NE(plate_only, both) << "the triangle of \"tip\" is no longer coloured";
    // Checked again and applied: the picture of both blocks.
    list->item(1)->setCheckState(Qt::Checked);
    form->BitBtn5->click();
    EXPECT_EQ(pass(), both);
}

TEST_F(DisplayOptions, SliderStatusMessages) {
    form->TrackBar2->setValue(30);
    EXPECT_EQ(status, " Transparência: 30 %");
    form->TrackBar3->setValue(49);
    form->TrackBar3->setValue(50);
    EXPECT_EQ(status, " Escala Deslocamento: 100 %");
    form->Edit7->setText("2");
    form->TrackBar3->setValue(51);
    form->TrackBar3->setValue(50);
    EXPECT_EQ(status, " Escala Deslocamento: 200 %");
    form->Edit7->setText("0.5");
    form->TrackBar3->setValue(25);
    EXPECT_EQ(status, " Escala Deslocamento: 25 %");
    form->Edit7->setText("-1"); // slider at 0: zero, not "-0"
    form->TrackBar3->setValue(0);
    EXPECT_EQ(status, " Escala Deslocamento: 0 %");
    // A factor that is no number: the conversion message, no status.
    form->Edit7->setText("dois");
    status.clear();
    form->TrackBar3->setValue(60);
    EXPECT_EQ(status, "");
    EXPECT_EQ(dialogs().count(DialogKind::Error), 1);
    EXPECT_EQ(dialogs().last_text(DialogKind::Error),
              QStringLiteral("'dois' is not a valid floating point value"));
    // Moving the sliders sets no flag.
    EXPECT_FALSE(form->changes);
    form->BitBtn2->click();
    EXPECT_TRUE(form->changes);
}

TEST_F(DisplayOptions, Edit7ExitSetsChangesWithoutRepaint) {
    pass();
    form->changes = false;
    form->Edit7->setText("3");
    form->Edit7Exit();
    EXPECT_TRUE(form->changes);
    EXPECT_FALSE(form->DirectOpenGL1->changed());
}

TEST_F(DisplayOptions, LineSettings) {
    form->ComboBox1->setCurrentIndex(8);
    form->ComboBox1Change();
    EXPECT_EQ(form->Label14->text(), "Espessura: 1 px");
    EXPECT_EQ(form->Label15->text(), "Cor: R=G=B= 0");
    form->TrackBar4->setValue(2);
    form->TrackBar5->setValue(3);
    form->TrackBar6->setValue(1);
    form->TrackBar7->setValue(20);
    EXPECT_EQ(form->Label14->text(), "Espessura: 3 px");
    EXPECT_EQ(form->Label15->text(), "Cor: R=G=B= 0.15");
    EXPECT_EQ(form->Label17->text(), "Espessura: 2 px");
    EXPECT_EQ(form->Label18->text(), "Cor: R=G=B= 1");
    EXPECT_EQ(form->line_undef_w, 1) << "nothing applies before \"&Aplicar\"";
    form->changes1 = false;
    form->Button4->click();
    EXPECT_EQ(form->line_undef_w, 3);
    EXPECT_DOUBLE_EQ(form->line_undef_rgb, 0.15);
    EXPECT_EQ(form->line_def_w, 2);
    EXPECT_DOUBLE_EQ(form->line_def_rgb, 1.0);
    EXPECT_EQ(form->line_undef_t, 1.0);
    EXPECT_TRUE(form->changes1);

    // Unapplied positions are discarded; the group reloads the applied values.
    form->TrackBar5->setValue(10);
    form->ComboBox1->setCurrentIndex(0);
    form->ComboBox1Change();
    form->ComboBox1->setCurrentIndex(8);
    form->ComboBox1Change();
    EXPECT_EQ(form->TrackBar5->value(), 3);
    EXPECT_EQ(form->Label15->text(), "Cor: R=G=B= 0.15");
}

TEST_F(DisplayOptions, WidthThreeWhiteLinesAreDrawnSo) {
    // The undeformed mesh, 3 pixels wide in white, on a dark background.
    form->GLSceneViewer1->set_background(QColor(0, 0, 0));
    form->ComboBox1->setCurrentIndex(8);
    form->ComboBox1Change();
    form->TrackBar4->setValue(2);
    form->TrackBar5->setValue(20);
    form->Button4->click();
    form->CheckListBox1->item(1)->setCheckState(Qt::Checked);
    form->CheckListBox1MouseUp();
    const QImage image = pass();
    // The triangle's first edge runs from node 1 (0, 0) to node 2 (1000, 0)
    // along y = 0: count the white rows in a column crossing it.
    const QPoint p = model_pixel(500, 0);
    int white = 0;
    for (int y = p.y() - 8; y <= p.y() + 8; ++y)
        if (colour_near(image.pixel(p.x(), y), {255, 255, 255})) ++white;
    EXPECT_EQ(white, 3);
}

TEST_F(DisplayOptions, AxesOptions) {
    EXPECT_TRUE(form->DirectOpenGL3->show_axes());
    EXPECT_FALSE(form->DummyCube1->show_axes());
    form->CheckBox7->setChecked(false);
    EXPECT_FALSE(form->DirectOpenGL3->show_axes());
    form->CheckBox2->setChecked(true);
    EXPECT_TRUE(form->DummyCube1->show_axes());
    // "Tela Inteira": the long dashed axes reach the edges of the view.
    const QImage image = pass();
    const QPoint centre = model_pixel(0, 0);
    int coloured = 0;
    for (int x = 0; x < 20; ++x) {
        const QRgb c = image.pixel(x, centre.y());
        if (qRed(c) > 100 && qGreen(c) < 60 && qBlue(c) < 60) ++coloured;
    }
    EXPECT_GT(coloured, 0);
}

} // namespace
} // namespace orv
