// Handlers of the viewer window's output groups: pictures to the clipboard
// and figures to PNG files ("Captura Imagem"), frame-by-frame AVI recording ("Arquivo AVI"), the video
// generator and the node history ("Gerador Vídeo/Lista").
//
// The plain work (file names, list sequences, the AVI recorder, the history
// file) lives in viewer/output/'s core library; these handlers read the
// controls, call it and keep the window consistent when it fails.
//
// Video generator: for every list of the sequence the list is checked alone,
// the model view is painted twice at once, the picture becomes one frame,
// the list is unchecked and the view painted twice again. A failure in the
// middle ends the run with the window as after a finished run: the file
// closed (playable, with the frames written so far), no result list checked,
// and the button ready for the next run.
//
// A result list the generator unchecks has its display list released by the
// next paint. The run never sets `changes`, which would otherwise free it,
// and keeping one compiled list per frame exhausts memory on a large model.

#include "viewer/Unit2.h"

#include "ui/dialogs.h"
#include "ui/gl_scene_viewer.h"
#include "ui/png_bytes.h"
#include "viewer/Unit3.h"
#include "viewer/model/number_text.h"
#include "viewer/output/avi_recorder.h"
#include "viewer/output/figure_gl.h"
#include "viewer/output/list_sequence.h"
#include "viewer/output/node_history.h"
#include "viewer/output/output_error.h"
#include "viewer/output/output_file.h"
#include "viewer/output/output_names.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QKeySequence>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QShortcut>
#include <QSpinBox>

#include <algorithm>
#include <string>
#include <vector>

namespace orv {
namespace {

// The picture a view shows, as last rendered. A view that has not painted
// yet (just opened) is painted first, so there is always a picture to take.
QImage view_picture(GLSceneViewer* view) {
    QImage image = view->last_image();
    if (image.isNull() && view->render_now()) image = view->last_image();
    return image;
}

FramePicture frame_of(const QImage& image) {
    // Format_RGB32 is B, G, R, X in memory on the little-endian machines we
    // build for; rows top first.
    return FramePicture{image.constBits(),    image.width(),     image.height(),
                        image.bytesPerLine(), PixelLayout::Bgra, false};
}

QString local_text(const std::string& bytes) {
    return QFile::decodeName(QByteArray::fromStdString(bytes));
}

// The folder of the last figure saved in this run, by any viewer (empty:
// the working folder, where the other outputs land).
QString& figure_folder() {
    static QString folder;
    return folder;
}

// Enables a button again when the command ends, however it ends.
struct ReenableOnExit {
    QPushButton* button;
    ~ReenableOnExit() { button->setEnabled(true); }
};

} // namespace

void TForm2::connect_output_handlers() {
    connect(BitBtn3, &QPushButton::clicked, this, ui::guarded_slot(this, &TForm2::BitBtn3Click));
    connect(BitBtn4, &QPushButton::clicked, this, ui::guarded_slot(this, &TForm2::BitBtn4Click));
    connect(save_figure_button, &QPushButton::clicked, this, ui::guarded_slot(this, &TForm2::save_figure));
    auto* save = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_S), this);
    save->setContext(Qt::WidgetWithChildrenShortcut);
    connect(save, &QShortcut::activated, this, ui::guarded_slot(this, &TForm2::save_figure));
    connect(Button1, &QPushButton::clicked, this, ui::guarded_slot(this, &TForm2::Button1Click));
    connect(Button2, &QPushButton::clicked, this, ui::guarded_slot(this, &TForm2::Button2Click));
    connect(Button3, &QPushButton::clicked, this, ui::guarded_slot(this, &TForm2::Button3Click));
    connect(SpinEdit4, &QSpinBox::valueChanged, this, ui::guarded_slot(this, &TForm2::SpinEdit4Change));
    connect(SpinEdit5, &QSpinBox::valueChanged, this, ui::guarded_slot(this, &TForm2::SpinEdit5Change));
}

// ---- "Captura Imagem" ----

void TForm2::copy_view_to_clipboard(GLSceneViewer* view) {
    settle_level_of_detail();
    const QImage image = view_picture(view);
    if (image.isNull()) throw OutputError("There is no picture to copy: the view has not been drawn yet.");
    QApplication::clipboard()->setImage(image);
}

void TForm2::BitBtn3Click() {
    copy_view_to_clipboard(GLSceneViewer1);
}

void TForm2::BitBtn4Click() {
    // The button is enabled only while the legend shows; a hidden legend has
    // no current picture.
    if (GLSceneViewer2->isVisible()) copy_view_to_clipboard(GLSceneViewer2);
}

// ---- "Captura Imagem": "Salvar Figura" ----

QImage TForm2::figure_image(int scale) {
    // Whatever is pending is drawn (and compiled) on screen first, so that
    // the off-screen pass only replays what the user sees.
    GLSceneViewer1->render_now();
    if (GLSceneViewer1->frames() == 0 || changes || changes1)
        throw OutputError("The 3D view could not be drawn; no figure written.");
    FigureLayout layout;
    layout.scale = scale;
    layout.view_width = GLSceneViewer1->width();
    layout.view_height = GLSceneViewer1->height();
    layout.title = true;
    layout.legend = GLSceneViewer2->isVisible();
    const QPoint legend_at = GLSceneViewer2->pos() - GLSceneViewer1->pos();
    layout.legend_x = legend_at.x();
    layout.legend_y = legend_at.y();
    if (layout.width() > figure::kMaxSide || layout.height() > figure::kMaxSide)
        throw OutputError("The figure would be " + std::to_string(layout.width()) + "x" +
                          std::to_string(layout.height()) + " pixels, more than " +
                          std::to_string(figure::kMaxSide) + " a side; no figure written.");
    const std::u16string title = bitmap_text(figure_title(model, lowest_checked_list()));
    const FigureScene shown{GLSceneViewer1->scene(), GLSceneViewer1->camera(), GLSceneViewer1->style()};
    const FigureScene legend{GLSceneViewer2->scene(), GLSceneViewer2->camera(), GLSceneViewer2->style()};
    const QImage image = GLSceneViewer1->render_offscreen(QSize(layout.width(), layout.height()),
                                                          [&] { draw_figure(layout, shown, legend, title); });
    if (image.isNull())
        throw OutputError("Cannot draw the figure off-screen (" + std::to_string(layout.width()) + "x" +
                          std::to_string(layout.height()) + " pixels); no figure written.");
    return image;
}

void TForm2::save_figure() {
    const int scale = figure_scale_box->currentIndex() == 1 ? 2 : 1;
    const QString name = QFile::decodeName(figure_file_name(model.namefile, lowest_checked_list()).c_str());
    const QString& folder = figure_folder();
    QString path = ui::save_file_name(this, QStringLiteral("Salvar Figura"),
                                      folder.isEmpty() ? name : QDir(folder).filePath(name),
                                      QStringLiteral("Imagens PNG (*.png)"));
    if (path.isEmpty()) return;
    if (QFileInfo(path).suffix().isEmpty()) path += QStringLiteral(".png");
    const std::string target = QFile::encodeName(path).toStdString();
    // Refused before anything is drawn; replaced as a whole or not at all.
    check_replaceable(target);
    write_file_atomically(target, png_bytes(figure_image(scale)));
    figure_folder() = QFileInfo(path).absolutePath();
    ui::show_status(QStringLiteral("Figura salva em %1").arg(path));
}

// ---- "Arquivo AVI" ----

void TForm2::fill_avi_group() {
    Edit8->setText(QString::number(AVIRecorder1.fps()));
}

void TForm2::size_recorder_to_view() {
    // In device pixels, the size of the picture the view reads back (the
    // same as its size in pixels unless the screen scales). No effect while a
    // file is open: the frame size is that of its creation.
    const double scale = GLSceneViewer1->devicePixelRatioF();
    AVIRecorder1.set_height(static_cast<int>(GLSceneViewer1->height() * scale));
    AVIRecorder1.set_width(static_cast<int>(GLSceneViewer1->width() * scale));
}

void TForm2::create_avi_file() {
    AVIRecorder1.set_filename(avi_file_name(model.namefile));
    AVIRecorder1.create(
        [this](const std::string& question) { return ui::confirm(this, local_text(question)); });
}

void TForm2::add_avi_frame() {
    settle_level_of_detail();
    const QImage image = view_picture(GLSceneViewer1);
    if (!AVIRecorder1.is_recording()) throw AviError(kAviNotCreated);
    if (image.isNull()) throw AviError(kAviAddFrameError);
    AVIRecorder1.add_frame(frame_of(image));
}

void TForm2::Button1Click() {
    Button1->setEnabled(false);
    const ReenableOnExit reenable{Button1};
    size_recorder_to_view();
    AVIRecorder1.set_fps(parse_integer_text(Edit8->text().toStdString()));
    if (!avi) {
        create_avi_file();
        // The file is open from here on: should the first frame fail, the next
        // press appends to it instead of asking to overwrite a file of no frames.
        avi = true;
    }
    try {
        add_avi_frame();
    } catch (...) {
        // A failed frame keeps the file open, unless the recorder had to
        // finish it: the next press then starts a new file (with the overwrite question).
        avi = AVIRecorder1.is_recording();
        throw;
    }
}

void TForm2::finish_recording_on_close() {
    // A recording begun with "Adicionar Frame" has no command that ends it;
    // when the window closes the file is finished so that it stays playable.
    if (!AVIRecorder1.is_recording()) return;
    avi = false;
    ui::guarded(this, [this] { AVIRecorder1.close(); });
}

// ---- "Gerador Vídeo/Lista": video generator ----

void TForm2::SpinEdit4Change() {
    // "Lista final:" starts after "Lista inicial:". A minimum above the
    // maximum (the first list is the last one) leaves the value at the maximum.
    const int lowest = std::min(SpinEdit4->value() + 1, SpinEdit5->maximum());
    SpinEdit5->setMinimum(lowest);
    if (SpinEdit5->value() < lowest) SpinEdit5->setValue(lowest);
}

void TForm2::SpinEdit5Change() {
    SpinEdit4Change();
}

void TForm2::repaint_views_now() {
    request_repaint(DirectOpenGL1);
    request_repaint(DirectOpenGL2);
    // Two paints in a row, as the toolkit's repaint followed by its refresh.
    GLSceneViewer1->render_now();
    GLSceneViewer1->render_now();
}

void TForm2::set_result_list_checked(int k, bool checked) {
    QListWidgetItem* item = CheckListBox1->item(kFixList + k - 1);
    if (!item) return;
    if (checked) ensure_ranges({k});
    item->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
    if (!checked) render_state.release.push_back(kFixList + k);
}

void TForm2::uncheck_result_lists() {
    for (int k = 1; kFixList + k - 1 < CheckListBox1->count(); ++k)
        if (plot_item_checked(kFixList + k - 1)) set_result_list_checked(k, false);
}

void TForm2::record_result_list(int k) {
    chbox = 3 * k;
    changes1 = true;
    set_result_list_checked(k, true);
    repaint_views_now();
    // The render pass clears changes1 once it has drawn everything; still set,
    // the pass did not run or stopped on an error, and the frame would not
    // show list k.
    if (changes1)
        throw OutputError("Result list " + std::to_string(k) +
                          " could not be drawn; the video stops before its frame.");
    add_avi_frame();
}

void TForm2::Button2Click() {
    const int a = SpinEdit4->value();
    const int b = SpinEdit5->value();
    const int s = SpinEdit6->value();
    const std::vector<int> lists = list_sequence(a, b, s, CheckListBox1->count());
    // A list the file does not have would check a plot item that does not
    // exist: refused before anything changes.
    check_lists(lists, model.nlista);

    // "Legenda" unchecked as a click would, so that its handler hides the legend.
    if (CheckBox3->isChecked()) CheckBox3->click();
    Button2->setEnabled(false);
    Button2->setText(QStringLiteral("Criando..."));

    bool checks_changed = false;
    try {
        size_recorder_to_view();
        AVIRecorder1.set_fps(SpinEdit7->value());
        if (!avi) create_avi_file();
        avi = AVIRecorder1.is_recording();
        // From here on a request to stop (the program is ending) is heeded;
        // it arrives while a paint lets events through.
        generating_ = true;
        stop_requested_ = false;
        checks_changed = true;
        uncheck_result_lists();
        repaint_views_now();
        for (std::size_t i = 0; i < lists.size(); ++i) {
            const int k = lists[i];
            record_result_list(k);
            // The last list (b), or a request to stop, closes the file before its check goes.
            const bool last = i + 1 == lists.size() || stop_requested_;
            if (last) {
                avi = false;
                AVIRecorder1.close();
            }
            set_result_list_checked(k, false);
            repaint_views_now();
            if (last) break;
            if (stop_requested_) { // asked while the check went
                avi = false;
                AVIRecorder1.close();
                break;
            }
        }
    } catch (const std::exception& e) {
        const QString message = QString::fromUtf8(e.what());
        const QString close_error = stop_generator_after_failure(checks_changed);
        end_generator_run();
        ui::error_box(this, message);
        if (!close_error.isEmpty()) ui::error_box(this, close_error);
        return;
    } catch (...) {
        stop_generator_after_failure(checks_changed);
        end_generator_run();
        throw;
    }
    Button2->setText(QStringLiteral("Terminado!"));
    Button2->setText(QStringLiteral("Gerar!"));
    Button2->setEnabled(true);
    end_generator_run();
}

void TForm2::stop_generator() {
    if (generating_) stop_requested_ = true;
}

void TForm2::end_generator_run() {
    // Before any error box, so that a program ending meanwhile is not held up.
    if (!generating_) return;
    generating_ = false;
    stop_requested_ = false;
    emit generator_stopped();
}

QString TForm2::stop_generator_after_failure(bool checks_changed) {
    // The state a finished run leaves, with the frames recorded so far kept
    // in a playable file; the plot list is left alone when the run stopped
    // before touching it (the file could not be created). Returns the message
    // of a failure to finish the file, if any, to be shown after the one that
    // stopped the run.
    avi = false;
    QString close_error;
    try {
        AVIRecorder1.close();
    } catch (const std::exception& e) {
        close_error = QString::fromUtf8(e.what());
    }
    if (checks_changed) {
        uncheck_result_lists();
        chbox = 0;
        changes1 = true;
        request_repaint(DirectOpenGL1);
        request_repaint(DirectOpenGL2);
    }
    Button2->setText(QStringLiteral("Gerar!"));
    Button2->setEnabled(true);
    return close_error;
}

// ---- "Gerador Vídeo/Lista": node history ----

void TForm2::Button3Click() {
    const std::string path = list_file_name(model.namefile, QFile::encodeName(Edit10->text()).toStdString());
    const std::vector<int> lists =
        list_sequence(SpinEdit4->value(), SpinEdit5->value(), SpinEdit6->value(), CheckListBox1->count());
    // Node and lists are checked before the file is touched; the file is
    // replaced as a whole or not at all.
    const NodeHistory history = write_node_history(path, model, Edit9->text().toStdString(), lists);

    if (TForm3* chart = chart_form()) {
        chart->set_history(history.values);
        chart->show_modal();
    } else {
        // A viewer opened without the program's start-up (no chart window):
        // a chart of its own for this command.
        TForm3 own(this);
        own.set_history(history.values);
        own.show_modal();
    }
    request_repaint(DirectOpenGL1);
    request_repaint(DirectOpenGL2);
}

} // namespace orv
