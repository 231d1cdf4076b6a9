// The viewer window driven through its widgets: the controls as created,
// the plot list, the chooser and collapsing, the start-up timer, and mouse
// rotation, panning and wheel zoom in the 3D view.

#include "gui_test_support.h"

#include "ui/gl_scene_viewer.h"
#include "ui/panel_widgets.h"
#include "viewer/Unit2.h"
#include "viewer/legend/colour_scale.h"
#include "viewer/view/interaction.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QTimer>
#include <QToolTip>

#include <gtest/gtest.h>

#include <memory>

namespace orv {
namespace {

class ViewerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        test::dialogs().reset();
        ui::set_status_sink([this](const QString& text) { status = text; });
    }
    void TearDown() override {
        form.reset();
        ui::set_status_sink(nullptr);
        test::settle();
    }
    // Opens `file` in a viewer of the given size; `ready` waits for the
    // start-up timer (mouse rotation and panning active).
    TForm2* open(const QString& file, bool ready = true, QSize size = QSize(1000, 720)) {
        form = std::make_unique<TForm2>(file);
        form->resize(size);
        form->show();
        if (ready) {
            EXPECT_TRUE(test::wait_until([&] { return form->auxiliar; }));
            EXPECT_TRUE(test::wait_until([&] { return form->GLSceneViewer1->frames() > 0; }));
        }
        return form.get();
    }
    TForm2* open_sample(bool ready = true) { return open(test::data_path("viewer/four_lists.txt"), ready); }

    template <class W> W* child(const char* name) {
        W* w = form->findChild<W*>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }

    std::unique_ptr<TForm2> form;
    QString status;
};

// ---- Layout and initial values ----

TEST_F(ViewerTest, CheckBoxesAtTheirPlaces) {
    open_sample(false);
    struct Case {
        const char* name;
        const char* caption;
        int left, top;
        bool checked;
    };
    const Case cases[] = {
        {"CheckBox3", "Legenda", 8, 16, false},
        {"CheckBox8", "Faixas de Cores", 25, 32, false},
        {"CheckBox1", "Legenda Negativa", 25, 48, false},
        {"CheckBox9", "Notação Científica", 25, 64, false},
        {"CheckBox7", "Eixos", 8, 80, true},
        {"CheckBox2", "Tela Inteira", 25, 96, false},
        {"CheckBox5", "> Valores Máximos", 8, 112, false},
        {"CheckBox4", "Clip Plane", 8, 157, false},
    };
    for (const Case& c : cases) {
        auto* box = child<QCheckBox>(c.name);
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->text(), QString::fromUtf8(c.caption)) << c.name;
        EXPECT_EQ(box->pos(), QPoint(c.left, c.top)) << c.name;
        EXPECT_EQ(box->isChecked(), c.checked) << c.name;
        EXPECT_EQ(box->parentWidget(), form->GroupBox3) << c.name;
    }
    auto* solid = child<QCheckBox>("CheckBox6");
    EXPECT_EQ(solid->text(), QStringLiteral("Malha Sólida"));
    EXPECT_FALSE(solid->isChecked());
}

TEST_F(ViewerTest, EditFieldsWithTheirTexts) {
    open_sample(false);
    struct Case {
        const char* name;
        const char* text;
        int left, top; // -1: anywhere in its group
    };
    const Case cases[] = {
        {"Edit5", "0", 12, 131}, {"Edit6", "0", 72, 131}, {"Edit1", "0", 12, 177}, {"Edit2", "0", 72, 177},
        {"Edit3", "0", 12, 201}, {"Edit4", "0", 72, 201}, {"Edit7", "1", -1, -1},  {"Edit8", "25", -1, -1},
        {"Edit9", "0", -1, -1},  {"Edit10", "0", -1, -1},
    };
    for (const Case& c : cases) {
        auto* e = child<QLineEdit>(c.name);
        ASSERT_NE(e, nullptr);
        EXPECT_EQ(e->text(), QString::fromUtf8(c.text)) << c.name;
        if (c.left >= 0) {
            EXPECT_EQ(e->pos(), QPoint(c.left, c.top)) << c.name;
        }
    }
    EXPECT_EQ(form->Edit5->width(), 53);
    EXPECT_EQ(form->Edit5->statusTip(), QStringLiteral("Valor Mínimo da Legenda"));
    EXPECT_EQ(form->Edit6->statusTip(), QStringLiteral("Valor Máximo da Legenda"));
    EXPECT_TRUE(form->Edit5->toolTip().isEmpty());
}

TEST_F(ViewerTest, SpinEditsAndSlidersWithTheirRanges) {
    open_sample(false);
    struct Range {
        const char* name;
        int lo, hi, value;
    };
    const Range spins[] = {{"SpinEdit1", -1, 10, -1},    {"SpinEdit2", -1, 10, -1},
                           {"SpinEdit3", -1, 10, -1},    {"SpinEdit4", 1, 1000000, 1},
                           {"SpinEdit5", 1, 1000000, 1}, {"SpinEdit6", 1, 1000000, 1},
                           {"SpinEdit7", 1, 100, 5}};
    for (const Range& r : spins) {
        auto* s = child<QSpinBox>(r.name);
        ASSERT_NE(s, nullptr);
        EXPECT_EQ(s->minimum(), r.lo) << r.name;
        EXPECT_EQ(s->maximum(), r.hi) << r.name;
        EXPECT_EQ(s->value(), r.value) << r.name;
    }
    const Range sliders[] = {{"TrackBar1", 0, 100, 50}, {"TrackBar2", 0, 100, 0}, {"TrackBar3", 0, 100, 50},
                             {"TrackBar4", 0, 2, 0},    {"TrackBar5", 0, 20, 0},  {"TrackBar6", 0, 2, 0},
                             {"TrackBar7", 0, 20, 0}};
    for (const Range& r : sliders) {
        auto* s = child<QSlider>(r.name);
        ASSERT_NE(s, nullptr);
        EXPECT_EQ(s->minimum(), r.lo) << r.name;
        EXPECT_EQ(s->maximum(), r.hi) << r.name;
        EXPECT_EQ(s->value(), r.value) << r.name;
    }
    for (const char* name : {"TrackBar1", "TrackBar2", "TrackBar3"})
        EXPECT_EQ(child<QSlider>(name)->tickInterval(), 10);
}

TEST_F(ViewerTest, ButtonsLabelsAndGroups) {
    open_sample(false);
    struct Caption {
        const char* name;
        const char* text;
        bool enabled;
    };
    const Caption buttons[] = {
        {"Button1", "Adicionar Frame", true}, {"BitBtn3", "IMG", true},      {"BitBtn4", "LEG", false},
        {"Button2", "Gerar", true},           {"Button3", "Lista", true},    {"BitBtn9", "Carregar", false},
        {"BitBtn10", "Salvar", false},        {"BitBtn6", "Aplicar", true},  {"BitBtn7", "Escala 1", true},
        {"BitBtn8", "Escala 2", true},        {"Button4", "&Aplicar", true},
    };
    for (const Caption& c : buttons) {
        auto* b = child<QPushButton>(c.name);
        ASSERT_NE(b, nullptr);
        EXPECT_EQ(b->text(), QString::fromUtf8(c.text)) << c.name;
        EXPECT_EQ(b->isEnabled(), c.enabled) << c.name;
    }
    for (const char* name : {"BitBtn1", "BitBtn2", "BitBtn5"})
        EXPECT_EQ(child<QPushButton>(name)->size(), QSize(17, 17));

    const Caption labels[] = {
        {"Label1", "ETp 1", true},
        {"Label2", "ETp 2", true},
        {"Label3", "ETp 3", true},
        {"Label4", "Fator de Multiplicação", true},
        {"Label5", "FPS", true},
        {"Label6", "Lista inicial:", true},
        {"Label7", "Lista final:", true},
        {"Label8", "Passo:", true},
        {"Label9", "FPS:", true},
        {"Label11", "Nó", true},
        {"Label12", "Arquivo", true},
        {"Label14", "Espessura:", true},
        {"Label15", "Transparência:", true},
        {"Label17", "Espessura:", true},
        {"Label18", "Transparência:", true},
    };
    for (const Caption& c : labels)
        EXPECT_EQ(child<QLabel>(c.name)->text(), QString::fromUtf8(c.text)) << c.name;

    struct Group {
        const char* name;
        const char* title;
        int height;
        bool visible;
    };
    const Group groups[] = {
        {"GroupBox3", "Menu Geral", 230, true},
        {"GroupBox4", "Lista de Plotagem", 289, true},
        {"GroupBox5", "Escala Deslocamento", -1, false},
        {"GroupBox2", "Transparência", -1, false},
        {"GroupBox1", "Velocidade do Mouse", -1, false},
        {"GroupBox6", "Arquivo AVI", -1, false},
        {"GroupBox7", "Captura Imagem", -1, false},
        {"GroupBox8", "Gerador Vídeo/Lista", -1, false},
        {"GroupBox9", "Legenda", 337, false},
        {"GroupBox10", "Linhas", -1, false},
    };
    for (const Group& g : groups) {
        auto* box = child<QGroupBox>(g.name);
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->title(), QString::fromUtf8(g.title)) << g.name;
        if (g.height > 0) {
            EXPECT_EQ(box->height(), g.height) << g.name;
        }
        EXPECT_EQ(!box->isHidden(), g.visible) << g.name;
    }
    // The colour editor's nine panels, top (row 8) to bottom (row 0).
    for (int k = 0; k < 9; ++k) {
        const QByteArray name = "Panel" + QByteArray::number(k + 2);
        auto* p = child<ClickPanel>(name.constData());
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(p->geometry(), QRect(16, 16 + 24 * k, 105, 25)) << name.constData();
        EXPECT_EQ(p, form->colour_panels[static_cast<std::size_t>(k)]);
    }
}

TEST_F(ViewerTest, PanelViewsAndFloatingParts) {
    open_sample();
    EXPECT_EQ(form->Panel1->width(), 152);
    EXPECT_TRUE(form->Panel1->isVisible());
    EXPECT_EQ(form->GLSceneViewer1->width() + form->Panel1->width(), form->width());
    EXPECT_EQ(form->GLSceneViewer1->cursor().shape(), Qt::SizeAllCursor);
    EXPECT_FALSE(form->GLSceneViewer2->isVisible());
    EXPECT_EQ(form->GLSceneViewer2->geometry(), QRect(0, 0, 115, 233));
    EXPECT_EQ(form->GLSceneViewer2->background(), QColor(243, 250, 252));
    EXPECT_FALSE(form->Panel12->isVisible());
    EXPECT_EQ(form->Panel12->text(), QStringLiteral("Carregando..."));
    // Every pass centres the notice over the 3D view as it was at that pass.
    const int w = form->GLSceneViewer1->width(), h = form->GLSceneViewer1->height();
    EXPECT_EQ(form->Panel12->geometry(),
              QRect(static_cast<int>(w / 2.0 - 209 / 2.0), static_cast<int>(h / 2.0 - 49 / 2.0), 209, 49));
    EXPECT_TRUE(form->Panel12->font().bold());
    EXPECT_EQ(form->Panel12->font().pixelSize(), 16);
    EXPECT_EQ(form->ComboBox1->count(), 9);
    EXPECT_EQ(form->ComboBox1->currentIndex(), 0);
    EXPECT_EQ(form->ComboBox1->maxVisibleItems(), 9);
    EXPECT_EQ(form->ComboBox1->itemText(0), QStringLiteral("Exibir/Ocultar..."));
    EXPECT_EQ(form->ComboBox1->itemText(6), QStringLiteral("Gerador Vídeo/Lista"));
    EXPECT_EQ(form->CheckListBox1->geometry(), QRect(8, 16, 126, 265));
}

TEST_F(ViewerTest, FieldsAndScenesAfterCreation) {
    open_sample(false);
    EXPECT_TRUE(form->loaded());
    EXPECT_EQ(form->model.nnode, 4);
    EXPECT_EQ(form->model.nlista, 4);
    EXPECT_EQ(form->chbox, 0);
    EXPECT_EQ(form->fixlist, form->GLSceneViewer1->frames() > 0 ? 5 : 0); // set by the first pass
    EXPECT_FALSE(form->changes);
    EXPECT_FALSE(form->changes1);
    EXPECT_FALSE(form->auxiliar);
    EXPECT_TRUE(form->mouse_wheel);
    EXPECT_FALSE(form->avi);
    EXPECT_EQ(form->tur, 0);
    EXPECT_EQ(form->line_undef_w, 1);
    EXPECT_EQ(form->line_def_t, 1);
    EXPECT_TRUE(form->Timer1->isActive());
    EXPECT_EQ(form->Timer1->interval(), 10);
    // Largest coordinate 1000: the model is drawn at scale 0.002.
    for (int a = 0; a < 3; ++a) {
        EXPECT_FLOAT_EQ(form->DirectOpenGL1->scale(a), 0.002f);
        EXPECT_EQ(form->DirectOpenGL3->scale(a), 0.0025f);
    }
    EXPECT_NEAR(form->DirectOpenGL1->to_world({1000, 0, 0})[0], 2, 1e-6);
    EXPECT_TRUE(form->DirectOpenGL3->show_axes());
    EXPECT_FALSE(form->DummyCube1->show_axes());
    EXPECT_EQ(form->DirectOpenGL1->parent(), form->DummyCube1);
    EXPECT_EQ(form->DirectOpenGL3->parent(), form->DummyCube1);
    EXPECT_EQ(form->GLCamera1->position(), (view::Vec3f{0, 0, 30}));
    EXPECT_EQ(form->GLCamera1->target(), form->DummyCube1);
    EXPECT_EQ(form->GLCamera1->depth_of_view(), 100.0f);
    EXPECT_EQ(form->GLCamera1->focal_length(), 10.0f);
    EXPECT_EQ(form->GLCamera1->scene_scale(), 1.0f);
    EXPECT_EQ(form->GLCamera2->position(), (view::Vec3f{0, 0, 50}));
    EXPECT_EQ(form->GLCamera2->target(), form->DirectOpenGL2);
    EXPECT_EQ(form->GLCamera2->depth_of_view(), 500.0f);
    EXPECT_EQ(form->GLCamera2->focal_length(), 25.0f);
    EXPECT_EQ(form->GLDirectOpenGL1->parent(), form->DirectOpenGL2);
}

TEST_F(ViewerTest, PlotListHasTheFixedItemsThenTheListsAllUnchecked) {
    open_sample(false);
    const QStringList expected = {"Nós",
                                  "Malha Indeformada",
                                  "Malha Deformada",
                                  "Numerção dos Nós",
                                  "Num. dos Elementos",
                                  "First",
                                  "Second",
                                  "Third",
                                  "Fourth"};
    ASSERT_EQ(form->CheckListBox1->count(), expected.size());
    for (int i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(form->CheckListBox1->item(i)->text(), expected[i]);
        EXPECT_EQ(form->CheckListBox1->item(i)->checkState(), Qt::Unchecked);
        EXPECT_TRUE(form->CheckListBox1->item(i)->flags() & Qt::ItemIsUserCheckable);
    }
}

TEST_F(ViewerTest, ListNamesInUtf8OrLatin1) {
    open(test::data_path("viewer/names_two_encodings.txt"), false);
    ASSERT_EQ(form->CheckListBox1->count(), 7);
    EXPECT_EQ(form->CheckListBox1->item(5)->text(), QStringLiteral("Tensão é máxima"));
    EXPECT_EQ(form->CheckListBox1->item(6)->text(), QStringLiteral("Deformação específica"));
}

// The panel is 152 pixels wide and cuts long names off ("Deslocamento w - pa"
// four times over): every item tells its full name as a tooltip.
TEST_F(ViewerTest, PlotListItemsShowTheirFullNamesAsTooltips) {
    open(test::example_path(QStringLiteral("placa.txt")));
    QListWidget* list = form->CheckListBox1;
    ASSERT_GT(list->count(), 6);
    EXPECT_EQ(list->item(5)->text(), QStringLiteral("Deslocamento w - passo 1"));
    EXPECT_LT(list->viewport()->width(), list->fontMetrics().horizontalAdvance(list->item(5)->text()) + 30)
        << "the name does not fit the list";
    for (int i = 0; i < list->count(); ++i) {
        QListWidgetItem* item = list->item(i);
        EXPECT_EQ(item->toolTip(), item->text()) << i;
    }
    // The pointer resting on an item shows its name.
    list->scrollToItem(list->item(6));
    const QRect r = list->visualItemRect(list->item(6));
    QHelpEvent help(QEvent::ToolTip, r.center(), list->viewport()->mapToGlobal(r.center()));
    QApplication::sendEvent(list->viewport(), &help);
    EXPECT_TRUE(test::wait_until([] { return QToolTip::isVisible(); }, 2000));
    EXPECT_EQ(QToolTip::text(), QStringLiteral("Deslocamento w - passo 2"));
    QToolTip::hideText();
}

TEST_F(ViewerTest, UnreadableFileIsReportedAndLeavesTheWindowUnloaded) {
    form = std::make_unique<TForm2>(test::data_path("viewer/bad_number.txt"));
    EXPECT_FALSE(form->loaded());
    EXPECT_EQ(test::dialogs().count(ui::DialogKind::Error), 1);
    EXPECT_EQ(test::dialogs().last_text(ui::DialogKind::Error),
              QStringLiteral("Invalid numeric input at line 6 of bad_number.txt"));
    EXPECT_FALSE(form->Timer1->isActive());
}

// The colour table is one for the process: a new viewer resets it to the
// built-in scale for every open viewer.
TEST_F(ViewerTest, OpeningAViewerResetsTheSharedColoursToScaleOne) {
    open_sample(false);
    load_legend(0);
    const LegendTable scale_one = legcolor;
    legcolor[0] = {0.25, 0.5, 0.75}; // as edited in the first viewer
    legcolor[8] = {1, 1, 1};
    TForm2 second(test::data_path("viewer/four_lists.txt"));
    ASSERT_TRUE(second.loaded());
    EXPECT_EQ(legcolor, scale_one);
}

// ---- Chooser, collapsing, timer ----

TEST_F(ViewerTest, ChooserShowsOneGroupUnderTheChooser) {
    open_sample();
    const std::array<QGroupBox*, 9> shown = {nullptr,         form->GroupBox5, form->GroupBox2,
                                             form->GroupBox1, form->GroupBox6, form->GroupBox7,
                                             form->GroupBox8, form->GroupBox9, form->GroupBox10};
    for (int item : {3, 1, 2, 4, 5, 6, 7, 8, 0, 6}) {
        form->ComboBox1->setCurrentIndex(item);
        form->ComboBox1Change();
        int visible = 0;
        for (QGroupBox* g : form->optional_groups())
            visible += !g->isHidden();
        QGroupBox* expected = shown[static_cast<std::size_t>(item)];
        EXPECT_EQ(visible, expected ? 1 : 0) << "item " << item;
        if (expected) {
            EXPECT_FALSE(expected->isHidden()) << "item " << item;
            EXPECT_EQ(expected->y(), form->Panel11->y() + form->Panel11->height()) << "item " << item;
            EXPECT_EQ(expected->width(), 142);
        }
        // The window's focus widget: tests running side by side on one
        // display take the active window from each other.
        EXPECT_EQ(form->focusWidget(), form->CheckBox1) << "focus parking";
    }
    // "Gerador Vídeo/Lista" limits "Lista final:" to the number of result lists.
    EXPECT_EQ(form->SpinEdit5->maximum(), 4);
    // "Arquivo AVI" shows the recorder's frames per second.
    form->Edit8->setText(QStringLiteral("7"));
    form->ComboBox1->setCurrentIndex(4);
    form->ComboBox1Change();
    EXPECT_EQ(form->Edit8->text(), QStringLiteral("25"));
}

TEST_F(ViewerTest, LinesGroupShowsTheAppliedLineSettings) {
    open_sample();
    form->line_undef_w = 3;
    form->line_undef_rgb = 0.15;
    form->line_def_w = 2;
    form->line_def_rgb = 1;
    form->ComboBox1->setCurrentIndex(8);
    form->ComboBox1Change();
    EXPECT_EQ(form->TrackBar4->value(), 2);
    EXPECT_EQ(form->TrackBar5->value(), 3);
    EXPECT_EQ(form->TrackBar6->value(), 1);
    EXPECT_EQ(form->TrackBar7->value(), 20);
    EXPECT_EQ(form->Label14->text(), QStringLiteral("Espessura: 3 px"));
    EXPECT_EQ(form->Label15->text(), QStringLiteral("Cor: R=G=B= 0.15"));
    EXPECT_EQ(form->Label17->text(), QStringLiteral("Espessura: 2 px"));
    EXPECT_EQ(form->Label18->text(), QStringLiteral("Cor: R=G=B= 1"));
}

TEST_F(ViewerTest, DoubleClickCollapsesAndRestoresTheFirstTwoGroups) {
    open_sample();
    form->ComboBox1->setCurrentIndex(3);
    form->ComboBox1Change();
    struct Case {
        QGroupBox* group;
        int full;
    };
    for (const Case c : {Case{form->GroupBox3, 230}, Case{form->GroupBox4, 289}}) {
        for (int expected : {15, c.full, 15, c.full}) {
            test::mouse_double_click(c.group, QPointF(60, 6));
            EXPECT_EQ(c.group->height(), expected);
            // The blocks below follow.
            EXPECT_EQ(form->GroupBox4->y(), form->GroupBox3->y() + form->GroupBox3->height());
            EXPECT_EQ(form->Panel11->y(), form->GroupBox4->y() + form->GroupBox4->height());
            EXPECT_EQ(form->GroupBox1->y(), form->Panel11->y() + form->Panel11->height());
        }
        test::mouse_double_click(c.group, QPointF(60, 6), Qt::RightButton);
        EXPECT_EQ(c.group->height(), c.full) << "only the left button's double click";
    }
}

TEST_F(ViewerTest, StartUpTimerEnablesTheMouseAndParksTheFocus) {
    open_sample(false);
    EXPECT_FALSE(form->auxiliar);
    EXPECT_EQ(form->focusWidget(), form->SpinEdit1) << "the window opens with the focus on SpinEdit1";
    ASSERT_TRUE(test::wait_until([&] { return form->auxiliar; }));
    EXPECT_FALSE(form->Timer1->isActive());
    EXPECT_EQ(form->focusWidget(), form->CheckBox1);
    EXPECT_FALSE(form->CheckBox1->isChecked()) << "parking the focus does not click the box";
}

// ---- Mouse and wheel ----

TEST_F(ViewerTest, DragsDoNothingBeforeTheStartUpTimer) {
    open_sample(false);
    ASSERT_FALSE(form->auxiliar);
    QWidget* view = form->GLSceneViewer1;
    test::mouse_press(view, {100, 100}, Qt::LeftButton);
    test::mouse_move(view, {60, 130}, Qt::LeftButton);
    test::mouse_release(view, {60, 130}, Qt::LeftButton);
    test::mouse_press(view, {100, 100}, Qt::RightButton);
    test::mouse_move(view, {160, 30}, Qt::RightButton);
    EXPECT_EQ(form->GLCamera1->position(), (view::Vec3f{0, 0, 30}));
    EXPECT_EQ(form->DirectOpenGL1->position(), (view::Vec3f{0, 0, 0}));
    EXPECT_EQ(form->mx, 160);
    EXPECT_EQ(form->my, 30);
    EXPECT_EQ(view->cursor().shape(), Qt::SizeAllCursor);
    // The wheel already zooms.
    test::wheel(view, {100, 100}, -120);
    EXPECT_NEAR(form->GLCamera1->scene_scale(), 1.05, 1e-6);
}

TEST_F(ViewerTest, LeftDragOrbitsOneDegreePerPixel) {
    open_sample();
    QWidget* view = form->GLSceneViewer1;
    test::mouse_press(view, {200, 200}, Qt::LeftButton);
    test::mouse_move(view, {190, 203}, Qt::LeftButton);
    const view::Vec3d expected = view::orbit_position({0, 0, 30}, {0, 0, 0}, {0, 1, 0}, -3, 10);
    const view::Vec3f p = form->GLCamera1->position();
    for (std::size_t a = 0; a < 3; ++a)
        EXPECT_NEAR(p[a], expected[a], 1e-4);
    EXPECT_DOUBLE_EQ(form->tur, 10);
    EXPECT_EQ(form->mx, 190);
    EXPECT_EQ(form->my, 203);
    test::mouse_release(view, {190, 203}, Qt::LeftButton);
}

TEST_F(ViewerTest, ButtonsAreComparedExactly) {
    open_sample();
    QWidget* view = form->GLSceneViewer1;
    struct Case {
        const char* what;
        Qt::MouseButtons buttons;
        Qt::KeyboardModifiers mods;
    };
    const Case cases[] = {
        {"left with shift", Qt::LeftButton, Qt::ShiftModifier},
        {"left with control", Qt::LeftButton, Qt::ControlModifier},
        {"right with alt", Qt::RightButton, Qt::AltModifier},
        {"left and right", Qt::LeftButton | Qt::RightButton, Qt::NoModifier},
        {"middle", Qt::MiddleButton, Qt::NoModifier},
    };
    for (const Case& c : cases) {
        test::mouse_move(view, {300, 300}, Qt::NoButton);
        test::mouse_move(view, {250, 340}, c.buttons, c.mods);
        EXPECT_EQ(form->GLCamera1->position(), (view::Vec3f{0, 0, 30})) << c.what;
        EXPECT_EQ(form->DirectOpenGL1->position(), (view::Vec3f{0, 0, 0})) << c.what;
        EXPECT_EQ(form->tur, 0) << c.what;
    }
}

TEST_F(ViewerTest, SpeedZeroStopsDraggingAndShowsZeroPercent) {
    open_sample();
    form->TrackBar1->setValue(0);
    EXPECT_EQ(status, QStringLiteral(" Velocidade do Mouse: 0 %"));
    QWidget* view = form->GLSceneViewer1;
    test::mouse_move(view, {300, 300}, Qt::NoButton);
    test::mouse_move(view, {250, 340}, Qt::LeftButton);
    test::mouse_move(view, {200, 300}, Qt::RightButton);
    EXPECT_EQ(form->GLCamera1->position(), (view::Vec3f{0, 0, 30}));
    EXPECT_EQ(form->DirectOpenGL1->position(), (view::Vec3f{0, 0, 0}));
    const std::pair<int, const char*> cases[] = {{50, " Velocidade do Mouse: 100 %"},
                                                 {1, " Velocidade do Mouse: 2 %"},
                                                 {100, " Velocidade do Mouse: 200 %"}};
    for (const auto& [v, text] : cases) {
        form->TrackBar1->setValue(v);
        EXPECT_EQ(status, QString::fromUtf8(text));
    }
    // Moving over the option groups clears the status line.
    form->ComboBox1->setCurrentIndex(3);
    form->ComboBox1Change();
    test::mouse_move(form->GroupBox1, {20, 5}, Qt::NoButton);
    EXPECT_TRUE(status.isEmpty());
}

TEST_F(ViewerTest, RightButtonShowsThePointingHandWhileHeld) {
    open_sample();
    QWidget* view = form->GLSceneViewer1;
    test::mouse_press(view, {50, 60}, Qt::RightButton);
    EXPECT_EQ(view->cursor().shape(), Qt::PointingHandCursor);
    EXPECT_EQ(form->mx, 50);
    EXPECT_EQ(form->my, 60);
    test::mouse_release(view, {50, 60}, Qt::RightButton);
    EXPECT_EQ(view->cursor().shape(), Qt::SizeAllCursor);
}

// The point of the model seen under the pointer stays under it while the
// right button drags, whatever the camera and the zoom.
TEST_F(ViewerTest, PanningKeepsTheModelPointUnderThePointer) {
    open_sample();
    QWidget* view = form->GLSceneViewer1;
    const int w = view->width(), h = view->height();
    const view::Vec3d node{1000, 0, 0}; // node 2 of the file
    auto seen_at = [&] {
        return view::project_to_pixel(*form->GLCamera1, w, h, form->DirectOpenGL1->to_world(node));
    };
    auto drag = [&](const char* when) {
        const view::PixelPoint start = seen_at();
        QPointF p(start.x, start.y);
        test::mouse_press(view, p, Qt::RightButton);
        for (const QPointF step : {QPointF(17, -9), QPointF(-33, 41), QPointF(5, 5), QPointF(60, -2)}) {
            p += step;
            test::mouse_move(view, p, Qt::RightButton);
            const view::PixelPoint now = seen_at();
            EXPECT_NEAR(now.x, p.x(), 1.0) << when;
            EXPECT_NEAR(now.y, p.y(), 1.0) << when;
        }
        test::mouse_release(view, p, Qt::RightButton);
        EXPECT_EQ(form->DirectOpenGL3->position(), form->DirectOpenGL1->position()) << when;
    };
    drag("front view");
    test::wheel(view, {200, 200}, -240);
    drag("zoomed in");
    form->apply_preset(1);
    drag("front right above");
    EXPECT_NEAR(form->pit, 30, 1e-4);
    form->apply_preset(4);
    drag("back right below");
    form->apply_preset(-1);
    drag("left");
    // After a left-button orbit as well.
    test::mouse_press(view, {300, 300}, Qt::LeftButton);
    test::mouse_move(view, {277, 288}, Qt::LeftButton);
    test::mouse_release(view, {277, 288}, Qt::LeftButton);
    drag("turned by the mouse");
    // The centre command undoes the pan.
    form->centre_model();
    EXPECT_EQ(form->DirectOpenGL1->position(), (view::Vec3f{0, 0, 0}));
}

TEST_F(ViewerTest, WheelZoomsOnlyOverTheView) {
    open_sample();
    QWidget* view = form->GLSceneViewer1;
    test::enter(view);
    EXPECT_TRUE(form->mouse_wheel);
    test::wheel(view, {100, 100}, -120);
    EXPECT_NEAR(form->GLCamera1->scene_scale(), 1.05, 1e-6);
    EXPECT_FLOAT_EQ(form->DirectOpenGL3->scale(0), 0.0025f / form->GLCamera1->scene_scale());
    test::wheel(view, {100, 100}, 120);
    EXPECT_NEAR(form->GLCamera1->scene_scale(), 1.0, 1e-6);
    form->zoom_reset();
    for (int i = 0; i < 12; ++i)
        test::wheel(view, {100, 100}, 120);
    EXPECT_EQ(form->GLCamera1->scene_scale(), 0.39999986f);
    test::wheel(view, {100, 100}, 120);
    EXPECT_EQ(form->GLCamera1->scene_scale(), 0.39999986f);
    test::wheel(view, {100, 100}, -120);
    EXPECT_NEAR(form->GLCamera1->scene_scale(), 0.45, 1e-6);
    // A fine wheel adds up to whole notches.
    form->zoom_reset();
    test::wheel(view, {100, 100}, -60);
    EXPECT_EQ(form->GLCamera1->scene_scale(), 1.0f);
    test::wheel(view, {100, 100}, -60);
    EXPECT_NEAR(form->GLCamera1->scene_scale(), 1.05, 1e-6);

    // Over the control panel or the legend view the wheel does nothing.
    test::leave(view);
    EXPECT_FALSE(form->mouse_wheel);
    const float s = form->GLCamera1->scene_scale();
    test::wheel(view, {50, 50}, -120);
    test::wheel(form.get(), {900, 50}, 120); // as passed on from the control panel
    EXPECT_EQ(form->GLCamera1->scene_scale(), s);
}

// The pointer over the panel: a wheel turned there to zoom neither zooms nor
// changes the chooser, a slider or a spin edit under the pointer; a control
// takes the wheel only while it has the focus.
TEST_F(ViewerTest, WheelOverThePanelChangesNoSetting) {
    open_sample();
    test::leave(form->GLSceneViewer1);
    form->ComboBox1->setCurrentIndex(3); // "Velocidade do Mouse"
    form->ComboBox1Change();
    status.clear();
    QWidget* controls[] = {form->ComboBox1, form->TrackBar1, form->SpinEdit1};
    for (QWidget* w : controls) {
        ASSERT_FALSE(w->hasFocus());
        // A wheel from the window system would give a wheel-focus control the focus first.
        EXPECT_NE(w->focusPolicy() & Qt::WheelFocus, Qt::WheelFocus) << w->objectName().toStdString();
        for (int delta : {120, -120, -120})
            test::wheel(w, QPointF(w->rect().center()), delta);
    }
    EXPECT_EQ(form->ComboBox1->currentIndex(), 3);
    EXPECT_FALSE(form->GroupBox1->isHidden());
    EXPECT_EQ(form->TrackBar1->value(), 50);
    EXPECT_EQ(form->SpinEdit1->value(), -1);
    EXPECT_TRUE(status.isEmpty());
    EXPECT_EQ(form->GLCamera1->scene_scale(), 1.0f);

    // The slider with the focus takes it.
    form->activateWindow();
    ASSERT_TRUE(test::wait_until([&] { return form->isActiveWindow(); }));
    form->TrackBar1->setFocus();
    ASSERT_TRUE(form->TrackBar1->hasFocus());
    test::wheel(form->TrackBar1, QPointF(form->TrackBar1->rect().center()), 120);
    EXPECT_NE(form->TrackBar1->value(), 50);
    EXPECT_EQ(status.left(22), QStringLiteral(" Velocidade do Mouse: "));
}

TEST_F(ViewerTest, DoubleClickHidesAndShowsTheControlPanel) {
    open_sample();
    QWidget* view = form->GLSceneViewer1;
    const int narrow = view->width();
    test::mouse_double_click(view, {100, 100});
    EXPECT_FALSE(form->Panel1->isVisible());
    EXPECT_TRUE(test::wait_until([&] { return view->width() == form->width(); }));
    EXPECT_GT(view->width(), narrow);
    test::mouse_double_click(view, {100, 100});
    EXPECT_TRUE(form->Panel1->isVisible());
    EXPECT_TRUE(test::wait_until([&] { return view->width() == narrow; }));
    // Two quick clicks of the other buttons leave the panel alone.
    for (Qt::MouseButton b : {Qt::RightButton, Qt::MiddleButton}) {
        test::mouse_double_click(view, {100, 100}, b);
        EXPECT_TRUE(form->Panel1->isVisible()) << b;
    }
}

TEST_F(ViewerTest, RepaintRequestPaintsTheView) {
    open_sample();
    const long before = form->GLSceneViewer1->frames();
    form->request_repaint(form->DirectOpenGL1);
    EXPECT_TRUE(form->DirectOpenGL1->changed());
    ASSERT_TRUE(test::wait_until([&] { return form->GLSceneViewer1->frames() > before; }));
    EXPECT_FALSE(form->DirectOpenGL1->changed());
    const long now = form->GLSceneViewer1->frames();
    form->render_now();
    EXPECT_EQ(form->GLSceneViewer1->frames(), now + 1) << "render_now paints before it returns";
}

} // namespace
} // namespace orv
