// The lists' value ranges after an open: the reader leaves them to measure
// (model/list_ranges.h), so that the first picture costs the mesh and the
// lists it shows. A list that gets checked has its range measured at once;
// the rest are measured on threads of a RangeJob while the window is used,
// with their progress in the status line. What needs every range ("> Valores
// Máximos") waits for them under a progress box that can be cancelled. The
// job reads the store only; its results are put into the model here, on the
// window's thread, so nothing draws from a model that changes under it.

#include "viewer/Unit2.h"

#include "ui/dialogs.h"
#include "viewer/model/list_ranges.h"

#include <QCheckBox>
#include <QPointer>
#include <QSignalBlocker>
#include <QTimer>

#include <algorithm>
#include <exception>

namespace orv {

namespace {

// Lists times nodes below which every range is measured at open, before the
// window shows: the wait is too short to notice.
std::int64_t background_from = std::int64_t{1} << 18;
bool background_held = false;

QString what_of(const std::exception_ptr& e) {
    try {
        std::rethrow_exception(e);
    } catch (const std::exception& x) {
        return QString::fromLocal8Bit(x.what());
    } catch (...) {
        return QStringLiteral("Erro inesperado.");
    }
}

} // namespace

void TForm2::set_background_ranges_from(std::int64_t values) {
    background_from = values;
}

void TForm2::hold_background_ranges(bool held) {
    background_held = held;
}

bool TForm2::ranges_at_open(const ResultModel& m) {
    return static_cast<std::int64_t>(pending_lists(m).size()) * m.nnode < background_from;
}

bool TForm2::complete_all_ranges(QWidget* parent, ResultModel& m) {
    if (m.range_pending.empty()) return true;
    ui::ProgressBox box(parent, QStringLiteral("Calculando faixas de valores..."));
    const RangeCompletion done = complete_ranges(m, {}, 0, [&](int done, int total) {
        return box.step(static_cast<std::uint64_t>(done), static_cast<std::uint64_t>(total));
    });
    return done.complete;
}

bool TForm2::ranges_pending() const {
    return !model.range_pending.empty();
}

bool TForm2::ranges_working() const {
    return range_job_ && !range_job_->finished();
}

void TForm2::start_range_job() {
    stop_range_job();
    const std::vector<int> lists = pending_lists(model);
    if (lists.empty()) return;
    if (ranges_at_open(model)) {
        const RangeCompletion done = complete_ranges(model, lists, 1);
        take_range_warnings(done.warnings);
        return;
    }
    run_range_job(lists);
    poll_range_job();
}

void TForm2::run_range_job(const std::vector<int>& lists) {
    if (background_held) return;
    range_job_ = std::make_unique<RangeJob>(model.store, lists, 0);
    range_total_ = range_job_->total();
    range_shown_ = -1;
    if (!range_timer_) {
        range_timer_ = new QTimer(this);
        range_timer_->setInterval(200);
        connect(range_timer_, &QTimer::timeout, this,
                [this] { ui::guarded(this, [this] { poll_range_job(); }); });
    }
    range_timer_->start();
}

void TForm2::stop_range_job() {
    if (range_timer_) range_timer_->stop();
    // Cancelled and joined: whatever it measured belonged to this model
    // only, and goes with the job.
    range_job_.reset();
}

bool TForm2::suspend_range_job() {
    if (!range_job_) return false;
    range_job_->cancel();
    take_job_ranges();
    stop_range_job();
    return true;
}

void TForm2::take_job_ranges() {
    std::vector<std::pair<int, ListRange>> measured = range_job_->take();
    // Lists measured meanwhile because they were checked are known already.
    std::erase_if(measured, [this](const auto& m) {
        const auto k = static_cast<std::size_t>(m.first);
        return k >= model.range_pending.size() || !model.range_pending[k];
    });
    apply_measured_ranges(measured);
}

// Takes what the job measured; once it has finished, says how it ended.
// False while it runs.
bool TForm2::range_job_ended() {
    const bool finished = range_job_->finished();
    take_job_ranges();
    if (!finished) return false;
    const std::exception_ptr error = range_job_->error();
    stop_range_job();
    if (error) {
        ui::show_status(QStringLiteral("Faixas de valores: ") + what_of(error));
        range_error_ = what_of(error);
    } else {
        ui::show_status(QStringLiteral("Faixas de valores calculadas: %1 listas.").arg(range_total_));
        request_repaint(DirectOpenGL2);
    }
    return true;
}

void TForm2::poll_range_job() {
    if (!range_job_ || range_job_ended()) return;
    const int done = range_job_->done();
    if (done != range_shown_) {
        range_shown_ = done;
        ui::show_status(
            QStringLiteral("Calculando faixas de valores: %1 de %2 listas").arg(done).arg(range_total_));
    }
}

void TForm2::apply_measured_ranges(const std::vector<std::pair<int, ListRange>>& measured) {
    if (measured.empty()) return;
    // Row 0 is the common range the legend settings chose while it is in
    // use; the lists' measures only change the file's overall range then.
    const std::array<double, 2> row0 =
        model.maxlista.empty() ? std::array<double, 2>{0, 0} : model.maxlista[0];
    take_range_warnings(apply_list_ranges(model, measured));
    if (legmax == 1) model.maxlista[0] = row0;
}

void TForm2::take_range_warnings(const std::vector<std::string>& warnings) {
    for (const std::string& w : warnings) {
        read_warnings_.push_back(w);
        ui::show_status(QString::fromLocal8Bit(w));
    }
}

bool TForm2::ensure_ranges(const std::vector<int>& lists) {
    const std::vector<int> todo = pending_lists(model, lists);
    if (todo.empty()) return true;
    try {
        apply_measured_ranges([&] {
            std::vector<std::pair<int, ListRange>> measured;
            for (const int k : todo)
                measured.emplace_back(k, measure_list(*model.store, k));
            return measured;
        }());
    } catch (const std::exception& e) {
        // The picture's own read of the list will say what is wrong.
        ui::show_status(QStringLiteral("Faixas de valores: ") + QString::fromLocal8Bit(e.what()));
        return false;
    }
    return true;
}

bool TForm2::wait_for_all_ranges() {
    if (model.range_pending.empty()) return true;
    // Stopped by an error before: once more, for those left.
    if (!range_job_) run_range_job(pending_lists(model));
    if (range_timer_) range_timer_->stop(); // this loop polls while it waits
    range_error_.clear();
    const QPointer<TForm2> alive(this);
    ui::ProgressBox box(this, QStringLiteral("Calculando faixas de valores..."));
    for (;;) {
        const int done = range_job_ ? range_job_->done() : 0;
        if (range_job_ && range_job_ended()) {
            if (!range_error_.isEmpty()) ui::error_box(this, range_error_);
            return model.range_pending.empty();
        }
        if (!box.step(static_cast<std::uint64_t>(done), static_cast<std::uint64_t>(range_total_))) {
            // Cancelled: the job goes on in the background.
            if (alive && !closed_ && range_job_) range_timer_->start();
            return false;
        }
        // The window may have been closed while the box kept events going.
        if (!alive || closed_) return false;
        if (range_job_)
            range_job_->wait(std::chrono::milliseconds(30));
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(30)); // held (tests)
    }
}

} // namespace orv
