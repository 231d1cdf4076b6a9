// Builds the viewer window's widgets: the 3D view, the floating legend view
// and loading notice, and the control panel with every group and control at
// its place, caption, range and initial value. Behaviour is wired in Unit2.cpp.
//
// The panel's blocks are placed by hand, top to bottom, each as wide as the
// panel (layout_panel in Unit2.cpp); their heights are fixed, so a block that
// does not fit is cut off at the bottom, as the user expects from a panel of
// fixed width, and collapsing the first two groups makes room.

#include "viewer/Unit2.h"

#include "ui/event_hook.h"
#include "ui/gl_scene_viewer.h"
#include "ui/panel_widgets.h"
#include "viewer/view/viewer_scenes.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QSplitter>
#include <QStyle>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

namespace orv {
namespace {

template <class W> W* make(QWidget* parent, const char* name, int left, int top, int width, int height) {
    auto* w = new W(parent);
    w->setObjectName(QString::fromLatin1(name));
    w->setGeometry(left, top, width, height);
    return w;
}

QCheckBox* check_box(QWidget* parent, const char* name, const QString& caption, int left, int top,
                     int width) {
    // Reaching to the group's inner edge, so that no caption is cut short
    // by a font wider than the one the widths were chosen for.
    auto* c = make<QCheckBox>(parent, name, left, top, std::max(width, 138 - left), 17);
    c->setText(caption);
    return c;
}

QLineEdit* edit(QWidget* parent, const char* name, const QString& text, int left, int top, int width) {
    auto* e = make<QLineEdit>(parent, name, left, top, width, 21);
    e->setText(text);
    return e;
}

QLabel* label(QWidget* parent, const char* name, const QString& caption, int left, int top, int width = 126) {
    auto* l = make<QLabel>(parent, name, left, top, width, 14);
    l->setText(caption);
    return l;
}

QSpinBox* spin_edit(QWidget* parent, const char* name, int left, int top, int width, int lo, int hi,
                    int value) {
    auto* s = make<QSpinBox>(parent, name, left, top, width, 21);
    s->setRange(lo, hi);
    s->setValue(value);
    return s;
}

QSlider* track_bar(QWidget* parent, const char* name, int left, int top, int width, int lo, int hi,
                   int position, int tick_interval) {
    auto* t = make<QSlider>(parent, name, left, top, width, 28);
    t->setOrientation(Qt::Horizontal);
    t->setRange(lo, hi);
    t->setValue(position);
    t->setTickPosition(QSlider::TicksBelow);
    t->setTickInterval(tick_interval);
    t->setPageStep(tick_interval);
    return t;
}

QPushButton* button(QWidget* parent, const char* name, const QString& caption, int left, int top, int width,
                    int height = 25) {
    auto* b = make<QPushButton>(parent, name, left, top, width, height);
    b->setText(caption);
    return b;
}

// The small apply buttons beside the sliders (17 x 17, a picture, no caption).
QPushButton* apply_button(QWidget* parent, const char* name, int left, int top) {
    auto* b = make<QPushButton>(parent, name, left, top, 17, 17);
    b->setIcon(b->style()->standardIcon(QStyle::SP_DialogApplyButton));
    b->setIconSize(QSize(11, 11));
    return b;
}

QGroupBox* group(QWidget* parent, const char* name, const QString& caption, int height) {
    auto* g = make<QGroupBox>(parent, name, 0, 0, 142, height);
    g->setTitle(caption);
    return g;
}

} // namespace

void TForm2::build_layout() {
    auto* top = new QHBoxLayout(this);
    top->setContentsMargins(0, 0, 0, 0);
    top->setSpacing(0);

    GLSceneViewer1 = new GLSceneViewer(this);
    GLSceneViewer1->setObjectName("GLSceneViewer1");
    GLSceneViewer1->setCursor(Qt::SizeAllCursor);
    GLSceneViewer1->setMouseTracking(true);
    GLSceneViewer1->set_background(palette().color(QPalette::Base));
    GLSceneViewer1->set_depth_test(true);
    GLSceneViewer1->set_face_culling(false);
    panel_splitter = new QSplitter(Qt::Horizontal, this);
    panel_splitter->setObjectName("panel_splitter");
    panel_splitter->setChildrenCollapsible(false);
    // A handle of no width of its own (Qt widens its grab area over the
    // neighbours), so that the 3D view keeps the window's width less the panel's.
    panel_splitter->setHandleWidth(0);
    top->addWidget(panel_splitter);
    panel_splitter->addWidget(GLSceneViewer1);

    Panel1 = new QFrame(this);
    Panel1->setObjectName("Panel1");
    Panel1->setFrameShape(QFrame::StyledPanel);
    QFont small = Panel1->font();
    small.setPixelSize(11);
    small.setStretch(QFont::SemiCondensed);
    Panel1->setFont(small);
    panel_scroll = new PanelScroll(Panel1, kPanelWidth, this);
    panel_scroll->setMinimumWidth(kPanelWidth);
    panel_scroll->setMaximumWidth(QWIDGETSIZE_MAX);
    panel_splitter->addWidget(panel_scroll);
    panel_splitter->setStretchFactor(0, 1);
    panel_splitter->setStretchFactor(1, 0);
    // The blocks move in by the scroll bar's width while it shows.
    Panel1->installEventFilter(new EventHook(Panel1, [this](QObject*, QEvent* event) {
        if (event->type() == QEvent::Resize) layout_panel();
        return false;
    }));

    // ---- "Menu Geral" ----
    GroupBox3 = group(Panel1, "GroupBox3", QStringLiteral("Menu Geral"), 230);
    CheckBox3 = check_box(GroupBox3, "CheckBox3", QStringLiteral("Legenda"), 8, 16, 62);
    CheckBox3->resize(62, CheckBox3->height());
    // Beside "Legenda", where the group's first row has room.
    reload_button = button(GroupBox3, "reload_button", QStringLiteral("Recarregar"), 72, 14, 62, 18);
    reload_button->setToolTip(
        QStringLiteral("Lê o arquivo de novo, mantendo a vista, as listas marcadas e a legenda (F5)"));
    reload_button->setStatusTip(reload_button->toolTip());
    CheckBox8 = check_box(GroupBox3, "CheckBox8", QStringLiteral("Faixas de Cores"), 25, 32, 110);
    CheckBox1 = check_box(GroupBox3, "CheckBox1", QStringLiteral("Legenda Negativa"), 25, 48, 110);
    CheckBox9 = check_box(GroupBox3, "CheckBox9", QStringLiteral("Notação Científica"), 25, 64, 110);
    CheckBox7 = check_box(GroupBox3, "CheckBox7", QStringLiteral("Eixos"), 8, 80, 110);
    CheckBox7->setChecked(true);
    CheckBox7->resize(60, CheckBox7->height());
    CheckBox10 = check_box(GroupBox3, "CheckBox10", QStringLiteral("Extremos"), 70, 80, 60);
    CheckBox10->setToolTip(
        QStringLiteral("Marca os nós do mínimo e do máximo da lista de plotagem com seus valores"));
    CheckBox10->setStatusTip(CheckBox10->toolTip());
    CheckBox2 = check_box(GroupBox3, "CheckBox2", QStringLiteral("Tela Inteira"), 25, 96, 110);
    CheckBox5 = check_box(GroupBox3, "CheckBox5", QStringLiteral("> Valores Máximos"), 8, 112, 121);
    Edit5 = edit(GroupBox3, "Edit5", QStringLiteral("0"), 12, 131, 53);
    Edit6 = edit(GroupBox3, "Edit6", QStringLiteral("0"), 72, 131, 53);
    // These hints go to the status bar only, like every hint of the panel.
    Edit5->setStatusTip(QStringLiteral("Valor Mínimo da Legenda"));
    Edit6->setStatusTip(QStringLiteral("Valor Máximo da Legenda"));
    CheckBox4 = check_box(GroupBox3, "CheckBox4", QStringLiteral("Clip Plane"), 8, 157, 110);
    Edit1 = edit(GroupBox3, "Edit1", QStringLiteral("0"), 12, 177, 53);
    Edit2 = edit(GroupBox3, "Edit2", QStringLiteral("0"), 72, 177, 53);
    Edit3 = edit(GroupBox3, "Edit3", QStringLiteral("0"), 12, 201, 53);
    Edit4 = edit(GroupBox3, "Edit4", QStringLiteral("0"), 72, 201, 53);

    // ---- "Lista de Plotagem" ----
    GroupBox4 = group(Panel1, "GroupBox4", QStringLiteral("Lista de Plotagem"), 289);
    // The element-type filter row lies under the plot list, uncovered by a
    // right click on the list.
    Label1 = label(GroupBox4, "Label1", QStringLiteral("ETp 1"), 8, 16, 34);
    Label2 = label(GroupBox4, "Label2", QStringLiteral("ETp 2"), 44, 16, 34);
    Label3 = label(GroupBox4, "Label3", QStringLiteral("ETp 3"), 80, 16, 34);
    SpinEdit1 = spin_edit(GroupBox4, "SpinEdit1", 8, 31, 34, -1, 10, -1);
    SpinEdit2 = spin_edit(GroupBox4, "SpinEdit2", 44, 31, 34, -1, 10, -1);
    SpinEdit3 = spin_edit(GroupBox4, "SpinEdit3", 80, 31, 34, -1, 10, -1);
    for (QSpinBox* s : {SpinEdit1, SpinEdit2, SpinEdit3})
        s->setButtonSymbols(QAbstractSpinBox::NoButtons);
    BitBtn5 = apply_button(GroupBox4, "BitBtn5", 117, 33);
    // "Blocos…" above the apply button: the file's element blocks in a popup.
    blocks_button = make<QPushButton>(GroupBox4, "blocks_button", 117, 16, 17, 16);
    blocks_button->setIcon(blocks_button->style()->standardIcon(QStyle::SP_FileDialogListView));
    blocks_button->setIconSize(QSize(11, 11));
    blocks_button->setToolTip(QStringLiteral("Blocos…: colore só os elementos dos blocos marcados do "
                                             "arquivo; o botão abaixo aplica"));
    blocks_button->setStatusTip(blocks_button->toolTip());
    blocks_button->setEnabled(false);
    blocks_popup = new QFrame(this, Qt::Popup);
    blocks_popup->setObjectName("blocks_popup");
    blocks_popup->setFrameStyle(QFrame::Box | QFrame::Plain);
    {
        auto* column = new QVBoxLayout(blocks_popup);
        column->setContentsMargins(4, 4, 4, 4);
        column->setSpacing(2);
        auto* title = new QLabel(QStringLiteral("Blocos"), blocks_popup);
        title->setObjectName("blocks_title");
        column->addWidget(title);
        blocks_list = new QListWidget(blocks_popup);
        blocks_list->setObjectName("blocks_list");
        column->addWidget(blocks_list);
    }
    CheckListBox1 = make<QListWidget>(GroupBox4, "CheckListBox1", 8, 16, 126, 265);
    CheckListBox1->setMouseTracking(true);
    CheckListBox1->raise();
    list_up_button = button(GroupBox4, "list_up_button", QStringLiteral("▲"), 92, 0, 15, 14);
    list_down_button = button(GroupBox4, "list_down_button", QStringLiteral("▼"), 108, 0, 15, 14);
    play_button = button(GroupBox4, "play_button", QStringLiteral("▶"), 124, 0, 15, 14);
    list_up_button->setToolTip(QStringLiteral("Lista anterior (Page Up)"));
    list_down_button->setToolTip(QStringLiteral("Próxima lista (Page Down)"));
    play_button->setToolTip(QStringLiteral("Mostra as listas do Gerador Vídeo/Lista no seu FPS, sem gravar; "
                                           "um clique para"));
    for (QPushButton* b : {list_up_button, list_down_button, play_button})
        b->setStatusTip(b->toolTip());
    const QString filter_hint =
        QStringLiteral("Filtro dos elementos da família %1 (%2): 0 oculta a família, um valor igual à "
                       "ordem oculta essa ordem, -1 não oculta nada");
    const struct {
        QLabel* label;
        QSpinBox* spin;
        const char* family;
    } filters[] = {{Label1, SpinEdit1, "linhas"},
                   {Label2, SpinEdit2, "triângulos"},
                   {Label3, SpinEdit3, "quadriláteros"}};
    for (int f = 0; f < 3; ++f)
        for (QWidget* w : {static_cast<QWidget*>(filters[f].label), static_cast<QWidget*>(filters[f].spin)}) {
            w->setToolTip(filter_hint.arg(f + 1).arg(QString::fromUtf8(filters[f].family)));
            w->setStatusTip(w->toolTip());
        }

    // ---- Chooser ----
    Panel11 = new QFrame(Panel1);
    Panel11->setObjectName("Panel11");
    Panel11->setGeometry(0, 0, 142, 28);
    ComboBox1 = make<QComboBox>(Panel11, "ComboBox1", 0, 2, 142, 24);
    ComboBox1->addItems({QStringLiteral("Exibir/Ocultar..."), QStringLiteral("Escala Deslocamento"),
                         QStringLiteral("Transparência"), QStringLiteral("Velocidade do Mouse"),
                         QStringLiteral("Arquivo AVI"), QStringLiteral("Captura Imagem"),
                         QStringLiteral("Gerador Vídeo/Lista"), QStringLiteral("Legenda"),
                         QStringLiteral("Linhas")});
    ComboBox1->setMaxVisibleItems(9);
    ComboBox1->setCurrentIndex(0);

    // ---- Optional groups ----
    GroupBox5 = group(Panel1, "GroupBox5", QStringLiteral("Escala Deslocamento"), 194);
    TrackBar3 = track_bar(GroupBox5, "TrackBar3", 6, 18, 108, 0, 100, 50, 10);
    BitBtn2 = apply_button(GroupBox5, "BitBtn2", 117, 22);
    Label4 = label(GroupBox5, "Label4", QStringLiteral("Fator de Multiplicação"), 8, 52);
    Edit7 = edit(GroupBox5, "Edit7", QStringLiteral("1"), 8, 70, 70);
    displacement_label = label(GroupBox5, "displacement_label", QStringLiteral("Deslocamento:"), 8, 95);
    displacement_box = make<QComboBox>(GroupBox5, "displacement_box", 8, 111, 126, 22);
    displacement_box->setToolTip(
        QStringLiteral("Campo nodal de três componentes que desloca as listas do seu "
                       "passo; \"do arquivo\": a regra dos nomes (U, D, disp...)"));
    displacement_box->setStatusTip(displacement_box->toolTip());
    arrows_check = check_box(GroupBox5, "arrows_check", QStringLiteral("Setas"), 8, 140, 60);
    arrows_factor = edit(GroupBox5, "arrows_factor", QStringLiteral("1"), 72, 138, 62);
    arrows_box = make<QComboBox>(GroupBox5, "arrows_box", 8, 163, 126, 22);
    arrows_check->setToolTip(
        QStringLiteral("Setas nos nós, coloridas pelo módulo; a mais longa mede um décimo "
                       "do modelo vezes o fator ao lado"));
    arrows_factor->setToolTip(QStringLiteral("Fator do comprimento das setas"));
    arrows_box->setToolTip(
        QStringLiteral("Campo nodal de três componentes desenhado pelas setas, no passo da "
                       "lista de plotagem"));
    for (QWidget* w : {static_cast<QWidget*>(arrows_check), static_cast<QWidget*>(arrows_factor),
                       static_cast<QWidget*>(arrows_box)})
        w->setStatusTip(w->toolTip());

    GroupBox2 = group(Panel1, "GroupBox2", QStringLiteral("Transparência"), 80);
    TrackBar2 = track_bar(GroupBox2, "TrackBar2", 6, 18, 108, 0, 100, 0, 10);
    BitBtn1 = apply_button(GroupBox2, "BitBtn1", 117, 22);
    CheckBox6 = check_box(GroupBox2, "CheckBox6", QStringLiteral("Malha Sólida"), 8, 54, 120);

    GroupBox1 = group(Panel1, "GroupBox1", QStringLiteral("Velocidade do Mouse"), 55);
    TrackBar1 = track_bar(GroupBox1, "TrackBar1", 6, 18, 128, 0, 100, 50, 10);

    GroupBox6 = group(Panel1, "GroupBox6", QStringLiteral("Arquivo AVI"), 80);
    Button1 = button(GroupBox6, "Button1", QStringLiteral("Adicionar Frame"), 8, 20, 126);
    Label5 = label(GroupBox6, "Label5", QStringLiteral("FPS"), 8, 54, 30);
    Edit8 = edit(GroupBox6, "Edit8", QStringLiteral("25"), 40, 51, 50);

    GroupBox7 = group(Panel1, "GroupBox7", QStringLiteral("Captura Imagem"), 115);
    BitBtn3 = button(GroupBox7, "BitBtn3", QStringLiteral("IMG"), 8, 20, 60);
    BitBtn4 = button(GroupBox7, "BitBtn4", QStringLiteral("LEG"), 74, 20, 60);
    BitBtn4->setEnabled(false);
    save_figure_button = button(GroupBox7, "save_figure_button", QStringLiteral("Salvar Figura"), 8, 52, 126);
    save_figure_button->setToolTip(
        QStringLiteral("Salvar a vista 3D com a legenda e o título em PNG (Ctrl+S)"));
    save_figure_button->setStatusTip(save_figure_button->toolTip());
    figure_scale_label = label(GroupBox7, "figure_scale_label", QStringLiteral("Tamanho:"), 8, 88, 50);
    figure_scale_box = make<QComboBox>(GroupBox7, "figure_scale_box", 62, 84, 72, 22);
    figure_scale_box->addItems({QStringLiteral("1×"), QStringLiteral("2×")});
    figure_scale_box->setToolTip(QStringLiteral(
        "Figura do tamanho da vista (1×) ou desenhada no dobro do tamanho, para impressão (2×)"));
    figure_scale_box->setStatusTip(figure_scale_box->toolTip());

    GroupBox8 = group(Panel1, "GroupBox8", QStringLiteral("Gerador Vídeo/Lista"), 255);
    Label6 = label(GroupBox8, "Label6", QStringLiteral("Lista inicial:"), 8, 20, 62);
    SpinEdit4 = spin_edit(GroupBox8, "SpinEdit4", 72, 17, 62, 1, 1000000, 1);
    Label7 = label(GroupBox8, "Label7", QStringLiteral("Lista final:"), 8, 44, 62);
    SpinEdit5 = spin_edit(GroupBox8, "SpinEdit5", 72, 41, 62, 1, 1000000, 1);
    Label8 = label(GroupBox8, "Label8", QStringLiteral("Passo:"), 8, 68, 62);
    SpinEdit6 = spin_edit(GroupBox8, "SpinEdit6", 72, 65, 62, 1, 1000000, 1);
    Label9 = label(GroupBox8, "Label9", QStringLiteral("FPS:"), 8, 92, 62);
    SpinEdit7 = spin_edit(GroupBox8, "SpinEdit7", 72, 89, 62, 1, 100, 5);
    Button2 = button(GroupBox8, "Button2", QStringLiteral("Gerar"), 8, 116, 126);
    Label10 = label(GroupBox8, "Label10", QStringLiteral("Lista"), 8, 150);
    QFont bold = Label10->font();
    bold.setBold(true);
    Label10->setFont(bold);
    Label11 = label(GroupBox8, "Label11", QStringLiteral("Nó"), 8, 172, 62);
    Edit9 = edit(GroupBox8, "Edit9", QStringLiteral("0"), 72, 169, 62);
    Label12 = label(GroupBox8, "Label12", QStringLiteral("Arquivo"), 8, 196, 62);
    Edit10 = edit(GroupBox8, "Edit10", QStringLiteral("0"), 72, 193, 62);
    Button3 = button(GroupBox8, "Button3", QStringLiteral("Lista"), 8, 220, 126);

    GroupBox9 = group(Panel1, "GroupBox9", QStringLiteral("Legenda"), 337);
    static const char* const kPanelNames[9] = {"Panel2", "Panel3", "Panel4", "Panel5", "Panel6",
                                               "Panel7", "Panel8", "Panel9", "Panel10"};
    QFont panel_font = GroupBox9->font();
    panel_font.setBold(true);
    panel_font.setPixelSize(11);
    for (int k = 0; k < 9; ++k) {
        ClickPanel* p = make<ClickPanel>(GroupBox9, kPanelNames[k], 16, 16 + 24 * k, 105, 25);
        p->setText(QString::fromLatin1(kPanelNames[k]));
        p->setAlignment(Qt::AlignCenter);
        p->setFrameShape(QFrame::Panel);
        p->setFrameShadow(QFrame::Raised);
        p->setAutoFillBackground(true);
        p->setFont(panel_font);
        p->setCursor(Qt::PointingHandCursor);
        colour_panels[static_cast<std::size_t>(k)] = p;
    }
    Panel2 = colour_panels[0];
    Panel3 = colour_panels[1];
    Panel4 = colour_panels[2];
    Panel5 = colour_panels[3];
    Panel6 = colour_panels[4];
    Panel7 = colour_panels[5];
    Panel8 = colour_panels[6];
    Panel9 = colour_panels[7];
    Panel10 = colour_panels[8];
    BitBtn9 = button(GroupBox9, "BitBtn9", QStringLiteral("Carregar"), 8, 240, 57);
    BitBtn10 = button(GroupBox9, "BitBtn10", QStringLiteral("Salvar"), 72, 240, 57);
    BitBtn9->setEnabled(false);
    BitBtn10->setEnabled(false);
    BitBtn6 = button(GroupBox9, "BitBtn6", QStringLiteral("Aplicar"), 16, 272, 105);
    BitBtn7 = button(GroupBox9, "BitBtn7", QStringLiteral("Escala 1"), 8, 304, 57);
    BitBtn8 = button(GroupBox9, "BitBtn8", QStringLiteral("Escala 2"), 72, 304, 57);

    GroupBox10 = group(Panel1, "GroupBox10", QStringLiteral("Linhas"), 252);
    Label13 = label(GroupBox10, "Label13", QStringLiteral("Malha Indeformada:"), 8, 16);
    Label13->setFont(bold);
    TrackBar4 = track_bar(GroupBox10, "TrackBar4", 6, 30, 128, 0, 2, 0, 1);
    Label14 = label(GroupBox10, "Label14", QStringLiteral("Espessura:"), 8, 58);
    TrackBar5 = track_bar(GroupBox10, "TrackBar5", 6, 72, 128, 0, 20, 0, 1);
    Label15 = label(GroupBox10, "Label15", QStringLiteral("Transparência:"), 8, 100);
    Label16 = label(GroupBox10, "Label16", QStringLiteral("Malha Deformada:"), 8, 120);
    Label16->setFont(bold);
    TrackBar6 = track_bar(GroupBox10, "TrackBar6", 6, 134, 128, 0, 2, 0, 1);
    Label17 = label(GroupBox10, "Label17", QStringLiteral("Espessura:"), 8, 162);
    TrackBar7 = track_bar(GroupBox10, "TrackBar7", 6, 176, 128, 0, 20, 0, 1);
    Label18 = label(GroupBox10, "Label18", QStringLiteral("Transparência:"), 8, 204);
    Button4 = button(GroupBox10, "Button4", QStringLiteral("&Aplicar"), 8, 222, 126);

    for (QGroupBox* g : optional_groups())
        g->hide();

    // ---- Floating over the 3D view ----
    GLSceneViewer2 = new GLSceneViewer(this);
    GLSceneViewer2->setObjectName("GLSceneViewer2");
    GLSceneViewer2->setGeometry(0, 0, view::kLegendViewWidth, view::kLegendViewHeight);
    GLSceneViewer2->setFixedSize(view::kLegendViewWidth, view::kLegendViewHeight);
    GLSceneViewer2->set_background(QColor(243, 250, 252));
    GLSceneViewer2->set_face_culling(true);
    GLSceneViewer2->hide();

    Panel12 = new ClickPanel(this);
    Panel12->setObjectName("Panel12");
    Panel12->setGeometry(384, 536, 209, 49);
    Panel12->setText(QStringLiteral("Carregando..."));
    Panel12->setAlignment(Qt::AlignCenter);
    Panel12->setFrameShape(QFrame::Panel);
    Panel12->setFrameShadow(QFrame::Raised);
    Panel12->setAutoFillBackground(true);
    QFont notice = Panel12->font();
    notice.setBold(true);
    notice.setPixelSize(16);
    Panel12->setFont(notice);
    Panel12->hide();

    Timer1 = new QTimer(this);
    Timer1->setObjectName("Timer1");
    Timer1->setInterval(10);
    Timer1->setSingleShot(true);
}

} // namespace orv
