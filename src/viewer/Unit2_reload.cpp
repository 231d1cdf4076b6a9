// "Recarregar": the viewer reads its file again in place. The read runs as an
// open does (progress, cancel) while the old model stays on screen; only a
// read that succeeded replaces it. What depends on the model (the checked
// lists by name, the common range, the displacement choice) is worked out by
// view/reload.h; the camera and the panel's controls are simply left alone.

#include "viewer/Unit2.h"

#include "ui/dialogs.h"
#include "ui/gl_scene_viewer.h"
#include "viewer/formats/reader.h"
#include "viewer/model/displacement_fields.h"
#include "viewer/view/reload.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QListWidget>
#include <QOpenGLContext>
#include <QPointer>
#include <QScrollBar>
#include <QSpinBox>

#include <algorithm>
#include <array>

namespace orv {

bool TForm2::reload() {
    if (generating_) {
        ui::show_status(QStringLiteral("Recarregar: aguarde o fim do Gerador Vídeo/Lista."));
        return false;
    }
    if (reloading_) return false;
    stop_playing();
    ReadResult result;
    const QPointer<TForm2> alive(this);
    reloading_ = true;
    try {
        result = read_with_progress(model.namefile);
        // The common range in use needs every range before it is applied;
        // a small file's are measured at once, as at an open. Cancelled, the
        // reload is.
        if ((CheckBox5->isChecked() || ranges_at_open(result.model)) &&
            !complete_all_ranges(this, result.model)) {
            if (alive) reloading_ = false;
            return false;
        }
    } catch (const ReadCancelled&) {
        if (alive) reloading_ = false;
        return false; // the user cancelled: nothing to say, nothing changes
    } catch (const std::exception& e) {
        if (!alive) return false;
        reloading_ = false;
        ui::error_box(this, QString::fromLocal8Bit(e.what()));
        return false;
    }
    // The program may have begun to end while the file was read.
    if (!alive || closed_) return false;
    reloading_ = false;
    take_reread_model(std::move(result.model));
    for (const std::string& warning : result.warnings)
        ui::warning_box(this, QString::fromLocal8Bit(warning));
    read_warnings_ = std::move(result.warnings);
    return true;
}

void TForm2::take_reread_model(ResultModel&& fresh) {
    // The old model's measuring goes first: its results are of the old lists.
    stop_range_job();
    const view::ReloadCarry carry = view::carry_over(model, view_settings(), fresh);
    std::array<bool, kFixList> fixed{};
    for (int i = 0; i < kFixList; ++i)
        fixed[static_cast<std::size_t>(i)] = plot_item_checked(i);
    const int first = view::same_list_in(model.namelista, SpinEdit4->value(), fresh.namelista);
    const int last = view::same_list_in(model.namelista, SpinEdit5->value(), fresh.namelista);

    const std::vector<std::string> hidden_blocks = hidden_block_names();
    fresh.namefile = model.namefile;
    model = std::move(fresh);
    fill_blocks_list(hidden_blocks); // the blocks unchecked stay so by name
    forget_drawn_lists();

    const int scrolled = CheckListBox1->verticalScrollBar()->value();
    fill_plot_list();
    for (int i = 0; i < kFixList; ++i)
        if (fixed[static_cast<std::size_t>(i)]) CheckListBox1->item(i)->setCheckState(Qt::Checked);
    for (const int k : carry.lists)
        set_result_list_checked(k, true);
    CheckListBox1->verticalScrollBar()->setValue(scrolled);
    chbox = carry.lists.empty() ? 0 : 3 * carry.lists.front();
    legmax = carry.legmax;
    if (model.maxlista.empty()) model.maxlista.push_back({0, 0});
    model.maxlista[0] = carry.common_row;

    fill_displacement_box();
    if (carry.displacement_field) {
        const std::string& field = *carry.displacement_field;
        const int index = field.empty() ? 1 : displacement_box->findData(QString::fromStdString(field));
        displacement_box->setCurrentIndex(index);
        displacement_box_change();
    } else if (carry.displacement_field_lost) {
        ui::show_status(QStringLiteral("O campo de deslocamento escolhido não está mais no arquivo: "
                                       "deslocamento do arquivo."));
    }

    // The generator's range follows its lists by name where they remain.
    const int lists = std::max(1, static_cast<int>(model.nlista));
    if (GroupBox8->isVisible() || SpinEdit5->maximum() < lists) SpinEdit5->setMaximum(lists);
    if (first > 0) SpinEdit4->setValue(first);
    if (last > 0) SpinEdit5->setValue(last);

    start_range_job();
    changes = true;
    changes1 = true;
    request_repaint(DirectOpenGL1);
    request_repaint(DirectOpenGL2);
}

void TForm2::forget_drawn_lists() {
    // The display lists and buffers describe the old model, and their block
    // of names was sized for its list count: all of them go.
    QOpenGLContext* context = GLSceneViewer1->context();
    if (context && context->isValid()) {
        GLSceneViewer1->makeCurrent();
        render_pass.wait_for_coarse_builds();
        render_pass.free_lists();
        GLSceneViewer1->doneCurrent();
    } else {
        render_pass.forget_lists();
    }
    render_state.release.clear();
    render_state.content.clear();
    render_state.extremes = {};
    render_state.clip.reset();
    node_picker.clear();
    probe_shown_.reset();
}

} // namespace orv
