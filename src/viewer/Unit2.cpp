// The viewer window's handlers. Each is short: it sets fields of the window
// and calls into the subsystem folders. The rest of TForm2 lives beside this
// file, one file per panel group: widgets in Unit2_layout.cpp, display options
// in Unit2_options.cpp, the legend in Unit2_legend.cpp and Unit2_colours.cpp,
// output in Unit2_output.cpp, the render callbacks in Unit2_render.cpp.

#include "viewer/Unit2.h"

#include "ui/dialogs.h"
#include "ui/event_hook.h"
#include "ui/gl_scene_viewer.h"
#include "ui/panel_widgets.h"
#include "viewer/formats/reader.h"
#include "viewer/legend/colour_scale.h"
#include "viewer/model/displacement_fields.h"
#include "viewer/model/number_text.h"
#include "viewer/view/framing.h"
#include "viewer/view/interaction.h"
#include "viewer/view/viewer_scenes.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMdiSubWindow>
#include <QMouseEvent>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QSplitter>
#include <QStringDecoder>
#include <QTimer>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <type_traits>

namespace orv {
namespace {

// List names are 8-bit text of unknown code page: UTF-8 when they are valid
// UTF-8, otherwise Latin-1, which maps every byte to a character.
QString decode_name(const std::string& bytes) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
    if (utf8.hasError()) text = QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
    return text;
}

bool alone(const QMouseEvent* e, Qt::MouseButton button) {
    return e->buttons() == button && e->modifiers() == Qt::NoModifier;
}

QString qtext(double v) {
    return QString::fromStdString(shortest_text(v));
}

} // namespace

TForm2::TForm2(const QString& file, QWidget* parent) : QWidget(parent) {
    setObjectName("Form2");
    resize(959, 721);
    build_scenes();
    build_layout();
    GLSceneViewer1->set_scene(&GLScene1, GLCamera1.get());
    GLSceneViewer2->set_scene(&GLScene2, GLCamera2.get());
    layout_panel();
    connect_handlers();
    FormCreate(file);
}

TForm2::~TForm2() {
    stop_range_job();
    // The views go first: they hold the scenes, which are members and would
    // otherwise be destroyed before the child widgets.
    delete GLSceneViewer2;
    delete GLSceneViewer1;
}

void TForm2::build_scenes() {
    view::ModelScene model_scene = view::build_model_scene(GLScene1);
    DummyCube1 = model_scene.DummyCube1;
    DirectOpenGL1 = model_scene.DirectOpenGL1;
    DirectOpenGL3 = model_scene.DirectOpenGL3;
    GLCamera1 = std::move(model_scene.GLCamera1);
    DirectOpenGL1->render = [this] { DirectOpenGL1Render(); };

    view::LegendScene legend_scene = view::build_legend_scene(GLScene2);
    DummyCube2 = legend_scene.DummyCube2;
    DirectOpenGL2 = legend_scene.DirectOpenGL2;
    GLDirectOpenGL1 = legend_scene.GLDirectOpenGL1;
    GLCamera2 = std::move(legend_scene.GLCamera2);
    DirectOpenGL2->render = [this] { DirectOpenGL2Render(); };
}

void TForm2::connect_handlers() {
    connect(Timer1, &QTimer::timeout, this, ui::guarded_slot(this, [this] { Timer1Timer(); }));
    connect(ComboBox1, &QComboBox::activated, this,
            ui::guarded_slot(this, [this](int) { ComboBox1Change(); }));
    connect(GLSceneViewer1, &GLSceneViewer::mouse_pressed, this,
            ui::guarded_slot(this, [this](QMouseEvent* e) { GLSceneViewer1MouseDown(e); }));
    connect(GLSceneViewer1, &GLSceneViewer::mouse_moved, this,
            ui::guarded_slot(this, [this](QMouseEvent* e) { GLSceneViewer1MouseMove(e); }));
    connect(GLSceneViewer1, &GLSceneViewer::mouse_released, this,
            ui::guarded_slot(this, [this](QMouseEvent* e) { GLSceneViewer1MouseUp(e); }));
    // A double click is one of the left button: two quick right clicks are
    // two short pans, not a request to hide the panel.
    connect(GLSceneViewer1, &GLSceneViewer::double_clicked, this,
            ui::guarded_slot(this, [this](QMouseEvent* e) {
                if (e->button() == Qt::LeftButton) GLSceneViewer1DblClick();
            }));
    connect(GLSceneViewer1, &GLSceneViewer::entered, this,
            ui::guarded_slot(this, [this] { GLSceneViewer1MouseEnter(); }));
    connect(GLSceneViewer1, &GLSceneViewer::left, this,
            ui::guarded_slot(this, [this] { GLSceneViewer1MouseLeave(); }));
    // Handed over explicitly: Qt passes only window-system wheel events on to the parent.
    connect(GLSceneViewer1, &GLSceneViewer::wheel_turned, this, [this](QWheelEvent* e) { wheelEvent(e); });
    connect(TrackBar1, &QSlider::valueChanged, this,
            ui::guarded_slot(this, [this](int) { TrackBar1Change(); }));
    connect(reload_button, &QPushButton::clicked, this, ui::guarded_slot(this, [this] { reload(); }));
    connect_display_options();
    connect_legend_handlers();
    for (GLSceneViewer* v : {GLSceneViewer1, GLSceneViewer2}) {
        connect(v, &GLSceneViewer::painted, this, [this] {
            if (close_pending_) {
                close_pending_ = false;
                QTimer::singleShot(0, this, [this] { close_viewer(); });
            }
        });
    }
    connect_output_handlers();
    connect_keys();
    // Over the panel the wheel changes a slider, spin edit or the chooser
    // only while that control has the focus: a wheel turned to zoom with the
    // pointer just off the 3D view must not switch groups or move a setting.
    // Their focus policy loses the wheel bit, or Qt would give them the focus
    // on the first notch.
    auto* wheel_guard = new EventHook(this, [](QObject* watched, QEvent* event) {
        return event->type() == QEvent::Wheel && !static_cast<QWidget*>(watched)->hasFocus();
    });
    for (QWidget* w : Panel1->findChildren<QWidget*>()) {
        if (qobject_cast<QAbstractSlider*>(w) || qobject_cast<QAbstractSpinBox*>(w) ||
            qobject_cast<QComboBox*>(w)) {
            if ((w->focusPolicy() & Qt::WheelFocus) == Qt::WheelFocus) w->setFocusPolicy(Qt::StrongFocus);
            w->installEventFilter(wheel_guard);
        }
    }
    for (QGroupBox* g : {GroupBox3, GroupBox4})
        g->installEventFilter(this);
    // A framed file stays framed while the view takes its size (the window
    // shown, tiled, resized), until the user moves the camera.
    GLSceneViewer1->installEventFilter(new EventHook(this, [this](QObject*, QEvent* event) {
        if (event->type() == QEvent::Resize && fit_pending_) ui::guarded(this, [this] { frame_model(); });
        return false;
    }));
    for (QGroupBox* g : {GroupBox1, GroupBox2, GroupBox5}) {
        g->setMouseTracking(true);
        g->installEventFilter(this);
    }
}

bool TForm2::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonDblClick &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        if (watched == GroupBox3) ui::guarded(this, [this] { GroupBox3DblClick(); });
        if (watched == GroupBox4) ui::guarded(this, [this] { GroupBox4DblClick(); });
    } else if (event->type() == QEvent::MouseMove) {
        if (watched == GroupBox1 || watched == GroupBox2 || watched == GroupBox5)
            ui::guarded(this, [this] { GroupBox1MouseMove(); });
    } else if (event->type() == QEvent::Close && watched == mdi_window()) {
        frame_closing_ = true;
    }
    return QWidget::eventFilter(watched, event);
}

std::array<QGroupBox*, 8> TForm2::optional_groups() const {
    return {GroupBox5, GroupBox2, GroupBox1, GroupBox6, GroupBox7, GroupBox8, GroupBox9, GroupBox10};
}

void TForm2::layout_panel() {
    int y = 5;
    // Blocks are 142 wide: 5 pixels in, or 1 when the scroll bar narrows the panel.
    const int x = Panel1->width() >= kPanelWidth ? 5 : std::max(0, (Panel1->width() - 142) / 2);
    auto place = [&](QWidget* block, int width = 142) {
        if (block->isHidden()) return;
        block->setGeometry(x, y, width, block->height());
        y += block->height();
    };
    place(GroupBox3);
    // The plot list takes the width the user gave the panel, its buttons at its right.
    const int list_width = std::max(142, Panel1->width() - 2 * x);
    place(GroupBox4, list_width);
    CheckListBox1->resize(list_width - 16, CheckListBox1->height());
    list_up_button->move(list_width - 50, list_up_button->y());
    list_down_button->move(list_width - 34, list_down_button->y());
    play_button->move(list_width - 18, play_button->y());
    place(Panel11);
    for (QGroupBox* g : optional_groups())
        place(g);
    // The panel is never shorter than its blocks: a shorter window scrolls it.
    Panel1->setMinimumHeight(y + 5);
}

QMdiSubWindow* TForm2::mdi_window() const {
    return qobject_cast<QMdiSubWindow*>(parentWidget());
}

int TForm2::window_number() const {
    const QString caption = windowTitle();
    const qsizetype space = caption.indexOf(QLatin1Char(' '));
    // "Janela N - file": the digits after the first space.
    qsizetype end = space + 1;
    while (end < caption.size() && caption[end].isDigit())
        ++end;
    return caption.mid(space + 1, end - space - 1).toInt();
}

bool TForm2::event(QEvent* event) {
    // Watch the MDI frame's close, so that a close begun by the frame (its
    // close button, the window menu) is told apart from a direct close.
    if (event->type() == QEvent::ParentChange)
        if (QMdiSubWindow* sub = mdi_window()) sub->installEventFilter(this);
    return QWidget::event(event);
}

void TForm2::close_viewer() {
    if (QMdiSubWindow* sub = mdi_window()) {
        sub->close();
    } else {
        close();
    }
}

// ---- Creation and closing ----

void TForm2::FormCreate(const QString& file) {
    changes = false;
    changes1 = false;
    chbox = 0;
    avi = false;
    model.namefile = QFile::encodeName(file).toStdString();
    try {
        readfile();
    } catch (const ReadCancelled&) {
        loaded_ = false; // the user cancelled: nothing to say
        return;
    } catch (const std::exception& e) {
        // The caller destroys a window whose file did not read: no viewer is
        // left half initialised, and its number is freed at once.
        loaded_ = false;
        ui::error_box(QApplication::activeWindow(), QString::fromLocal8Bit(e.what()));
        return;
    }
    tur = 0;
    pit = 0;
    auxiliar = false;
    Timer1->start();
    load_legend(0);
    panel_splitter->setSizes({std::max(1, width() - kPanelWidth), kPanelWidth});
    mouse_wheel = true;
    line_def_w = 1;
    line_undef_w = 1;
    line_def_rgb = 0;
    line_undef_rgb = 0;
    line_def_t = 1;
    line_undef_t = 1;
    SpinEdit1->setFocus();
    loaded_ = true;
}

void TForm2::readfile() {
    ReadResult result = read_with_progress(model.namefile);
    // A small file's ranges are all measured now, as part of the open: a
    // list that does not read fails the open as a full read would.
    if (ranges_at_open(result.model)) {
        const RangeCompletion done = complete_ranges(result.model, {}, 0);
        result.warnings.insert(result.warnings.end(), done.warnings.begin(), done.warnings.end());
    }
    model = std::move(result.model);
    read_warnings_ = std::move(result.warnings);
    start_range_job();
    fill_plot_list();
    const float s = static_cast<float>(model.scene_scale());
    DirectOpenGL1->set_scale({s, s, s});
    home_position_ = {0, 0, 0};
    // Solvers' models start at the origin: shown about it they would sit in
    // a corner, so every format but the native one opens framed.
    fit_pending_ = !result.native;
    if (fit_pending_) frame_model();
    fill_displacement_box();
    fill_blocks_list();
}

ReadResult TForm2::read_with_progress(const std::string& namefile) {
    // A long read shows "Lendo FILE..." with a cancel button and keeps the windows painting.
    ui::ProgressBox progress(
        QApplication::activeWindow(),
        QStringLiteral("Lendo %1...").arg(QFileInfo(QFile::decodeName(namefile.c_str())).fileName()));
    ReaderOptions options;
    options.progress = [&](std::uint64_t done, std::uint64_t total) { return progress.step(done, total); };
    // The ranges come later (Unit2_ranges.cpp): the open costs the mesh.
    options.defer_ranges = true;
    return read_result(namefile, options);
}

void TForm2::fill_plot_list() {
    CheckListBox1->clear();
    QStringList items{QStringLiteral("Nós"), QStringLiteral("Malha Indeformada"),
                      QStringLiteral("Malha Deformada"), QStringLiteral("Numerção dos Nós"),
                      QStringLiteral("Num. dos Elementos")};
    for (std::int32_t k = 1; k <= model.nlista; ++k)
        items << decode_name(model.namelista[static_cast<std::size_t>(k)]);
    CheckListBox1->addItems(items);
    for (int i = 0; i < CheckListBox1->count(); ++i) {
        QListWidgetItem* item = CheckListBox1->item(i);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Unchecked);
        // The panel cuts long names off; the tooltip tells them whole.
        item->setToolTip(item->text());
    }
}

void TForm2::fill_displacement_box() {
    displacement_box->clear();
    displacement_box->addItems({QStringLiteral("do arquivo"), QStringLiteral("nenhum")});
    for (const std::string& field : displacement_fields(model))
        displacement_box->addItem(decode_name(field), QString::fromStdString(field));
    displacement_box->setCurrentIndex(0);
    arrows_box->clear();
    arrows_box->addItem(QStringLiteral("deslocamento"), QString());
    for (const std::string& field : displacement_fields(model))
        arrows_box->addItem(decode_name(field), QString::fromStdString(field));
    arrows_box->setCurrentIndex(0);
    file_displacements_.clear();
    file_displacements_kept_ = false;
    displacement_field_.reset();
}

void TForm2::fill_blocks_list(const std::vector<std::string>& hidden) {
    blocks_list->clear();
    for (const std::string& name : model.block_names) {
        auto* item = new QListWidgetItem(decode_name(name), blocks_list);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        const bool off = std::find(hidden.begin(), hidden.end(), name) != hidden.end();
        item->setCheckState(off ? Qt::Unchecked : Qt::Checked);
        item->setToolTip(item->text());
    }
    blocks_button->setEnabled(!model.block_names.empty());
    if (model.block_names.empty()) blocks_popup->hide();
}

void TForm2::closeEvent(QCloseEvent* event) {
    if (GLSceneViewer1->rendering() || GLSceneViewer2->rendering()) {
        // Not in the middle of a paint: close once it is over.
        close_pending_ = true;
        frame_closing_ = false;
        event->ignore();
        return;
    }
    if (!closed_) {
        closed_ = true;
        FormClose();
    }
    event->accept();
    QMdiSubWindow* sub = mdi_window();
    if (sub && !frame_closing_) {
        // Closed directly rather than through its frame: close the frame too.
        QTimer::singleShot(0, sub, [sub] { sub->close(); });
    }
}

void TForm2::FormClose() {
    stop_range_job();
    finish_recording_on_close();
    emit closing(this);
}

void TForm2::Timer1Timer() {
    auxiliar = true;
    park_focus();
    Timer1->stop();
}

// ---- Control panel ----

void TForm2::park_focus() {
    CheckBox1->setFocus(Qt::OtherFocusReason);
}

bool TForm2::plot_item_checked(int item) const {
    const QListWidgetItem* it = CheckListBox1->item(item);
    return it && it->checkState() == Qt::Checked;
}

void TForm2::request_repaint(view::SceneObject* object) {
    object->mark_changed();
}

void TForm2::render_now() {
    GLSceneViewer1->render_now();
    if (GLSceneViewer2->isVisible()) GLSceneViewer2->render_now();
}

void TForm2::ComboBox1Change() {
    for (QGroupBox* g : optional_groups())
        g->hide();
    switch (ComboBox1->currentIndex()) {
    case 1:
        GroupBox5->show();
        break;
    case 2:
        GroupBox2->show();
        break;
    case 3:
        GroupBox1->show();
        break;
    case 4:
        fill_avi_group();
        GroupBox6->show();
        break;
    case 5:
        GroupBox7->show();
        break;
    case 6:
        SpinEdit5->setMaximum(CheckListBox1->count() - 5);
        GroupBox8->show();
        break;
    case 7:
        GroupBox9->show();
        refresh_legend();
        break;
    case 8:
        load_line_settings();
        GroupBox10->show();
        break;
    default:
        break;
    }
    layout_panel();
    park_focus();
}

void TForm2::load_line_settings() {
    TrackBar4->setValue(line_undef_w - 1);
    TrackBar5->setValue(static_cast<int>(std::lround(line_undef_rgb * 20)));
    TrackBar6->setValue(line_def_w - 1);
    TrackBar7->setValue(static_cast<int>(std::lround(line_def_rgb * 20)));
    // A slider already at its value sends no change: label all four.
    TrackBar4Change();
    TrackBar5Chane();
    TrackBar6Change();
    TrackBar7Change();
}

void TForm2::GroupBox3DblClick() {
    GroupBox3->resize(GroupBox3->width(), GroupBox3->height() != 15 ? 15 : 230);
    layout_panel();
}

void TForm2::GroupBox4DblClick() {
    GroupBox4->resize(GroupBox4->width(), GroupBox4->height() != 15 ? 15 : 289);
    layout_panel();
}

void TForm2::GroupBox1MouseMove() {
    ui::show_status(QString());
}

void TForm2::TrackBar1Change() {
    const double v = TrackBar1->value();
    ui::show_status(QStringLiteral(" Velocidade do Mouse: ") + qtext(v / 50 * 100) + QStringLiteral(" %"));
    park_focus();
}

// ---- Mouse and wheel in the 3D view ----

void TForm2::GLSceneViewer1MouseDown(QMouseEvent* event) {
    probe_mouse_event(event);
    if (auxiliar) fit_pending_ = false;
    if (auxiliar && event->buttons() == Qt::LeftButton && event->modifiers() == Qt::ControlModifier)
        GLSceneViewer1PickNode(event->position().x(), event->position().y());
    if (auxiliar && alone(event, Qt::RightButton)) GLSceneViewer1->setCursor(Qt::PointingHandCursor);
    if (auxiliar) lod_press(event);
    mx = event->position().x();
    my = event->position().y();
}

void TForm2::GLSceneViewer1MouseMove(QMouseEvent* event) {
    probe_mouse_event(event);
    const double x = event->position().x(), y = event->position().y();
    const double speed = TrackBar1->value();
    if (auxiliar && alone(event, Qt::LeftButton)) {
        const view::OrbitDelta d = view::rotation_delta(mx, my, x, y, speed);
        GLCamera1->orbit(d.pitch, d.turn);
        tur += d.turn;
    } else if (auxiliar && alone(event, Qt::RightButton)) {
        view::PanInput in;
        in.camera = GLCamera1->position();
        in.tur = tur;
        in.view_width = GLSceneViewer1->width();
        in.view_height = GLSceneViewer1->height();
        in.scene_scale = GLCamera1->scene_scale();
        in.speed = speed;
        in.mx = mx;
        in.my = my;
        in.x = x;
        in.y = y;
        view::Vec3f model_pos = DirectOpenGL1->position(), axes_pos = DirectOpenGL3->position();
        pit = view::pan_objects(in, model_pos, axes_pos);
        DirectOpenGL1->set_position(model_pos);
        DirectOpenGL3->set_position(axes_pos);
    }
    mx = x;
    my = y;
}

void TForm2::GLSceneViewer1MouseUp(QMouseEvent* event) {
    probe_mouse_event(event);
    if (auxiliar) GLSceneViewer1->setCursor(Qt::SizeAllCursor);
    lod_release(event);
}

void TForm2::GLSceneViewer1DblClick() {
    Panel1->setVisible(!Panel1->isVisible());
}

void TForm2::GLSceneViewer1MouseEnter() {
    mouse_wheel = true;
    probe_pointer_inside(true);
}

void TForm2::GLSceneViewer1MouseLeave() {
    mouse_wheel = false;
    probe_pointer_inside(false);
}

void TForm2::wheelEvent(QWheelEvent* event) {
    if (!mouse_wheel) {
        event->ignore();
        return;
    }
    event->accept();
    fit_pending_ = false;
    // One zoom step per notch (120); finer wheels add up to whole notches.
    wheel_rest_ += event->angleDelta().y();
    ui::guarded(this, [this] {
        for (; wheel_rest_ <= -120; wheel_rest_ += 120)
            FormMouseWheelDown();
        for (; wheel_rest_ >= 120; wheel_rest_ -= 120)
            FormMouseWheelUp();
        lod_wheel_step();
    });
}

void TForm2::FormMouseWheelDown() {
    if (mouse_wheel) zoom_in();
}

void TForm2::FormMouseWheelUp() {
    if (!mouse_wheel) return;
    const float s = GLCamera1->scene_scale();
    const float out = view::zoom_out_scale(s);
    if (out != s) set_zoom(out);
}

// ---- Camera and model commands (wheel and toolbar) ----

void TForm2::set_zoom(float scale) {
    view::set_zoom(*GLCamera1, *DirectOpenGL3, scale);
}

void TForm2::zoom_in() {
    fit_pending_ = false;
    set_zoom(view::zoom_in_scale(GLCamera1->scene_scale()));
}

void TForm2::zoom_out() {
    fit_pending_ = false;
    set_zoom(view::zoom_out_scale(GLCamera1->scene_scale()));
}

void TForm2::zoom_reset() {
    fit_pending_ = false;
    set_zoom(1);
}

void TForm2::move_model(int axis, float step) {
    fit_pending_ = false;
    DirectOpenGL1->set_position(axis, DirectOpenGL1->position(axis) + step);
    DirectOpenGL3->set_position(axis, DirectOpenGL3->position(axis) + step);
}

void TForm2::centre_model() {
    fit_pending_ = false;
    DirectOpenGL1->set_position(home_position_);
    DirectOpenGL3->set_position(home_position_);
}

void TForm2::apply_preset(int code) {
    fit_pending_ = false;
    tur = view::apply_preset_view(*GLCamera1, code);
}

void TForm2::fit_model() {
    fit_pending_ = false;
    frame_model();
}

void TForm2::frame_model() {
    const view::Framing f =
        view::fit_framing(model, *GLCamera1, GLSceneViewer1->width(), GLSceneViewer1->height());
    DirectOpenGL1->set_scale({f.scale, f.scale, f.scale});
    home_position_ = f.position;
    // The axes symbol stays at the file's origin, as panning keeps it.
    DirectOpenGL1->set_position(f.position);
    DirectOpenGL3->set_position(f.position);
    set_zoom(1);
    request_repaint(DirectOpenGL1);
}

} // namespace orv
