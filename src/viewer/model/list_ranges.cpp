#include "viewer/model/list_ranges.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace orv {

ListRange measure_list(const ListStore& store, int k) {
    ListRange out;
    const std::size_t nnode = static_cast<std::size_t>(store.nnode());
    if (nnode == 0) return out;
    const ListValues v = store.values_passing(k);
    // As finish_model: a running minimum and maximum from node 1, where the
    // comparisons leave a NaN out.
    constexpr double inf = std::numeric_limits<double>::infinity();
    std::array<double, 2> range =
        std::isnan(v[1]) ? std::array<double, 2>{inf, -inf} : std::array<double, 2>{v[1], v[1]};
    std::int64_t missing = 0;
    for (std::size_t i = 1; i <= nnode; ++i) {
        const double x = v[i];
        if (x < range[0]) range[0] = x;
        if (x > range[1]) range[1] = x;
        if (std::isnan(x)) ++missing;
    }
    out.range = range[0] > range[1] ? std::array<double, 2>{0.0, 0.0} : range;
    out.missing = missing;
    return out;
}

std::vector<int> pending_lists(const ResultModel& m, std::span<const int> lists) {
    std::vector<int> out;
    if (m.range_pending.empty()) return out;
    const auto pending = [&](int k) {
        return k >= 1 && k <= m.nlista && static_cast<std::size_t>(k) < m.range_pending.size() &&
               m.range_pending[static_cast<std::size_t>(k)];
    };
    if (lists.empty()) {
        for (int k = 1; k <= m.nlista; ++k)
            if (pending(k)) out.push_back(k);
        return out;
    }
    for (const int k : lists)
        if (pending(k) && std::find(out.begin(), out.end(), k) == out.end()) out.push_back(k);
    return out;
}

std::vector<std::string> apply_list_ranges(ResultModel& m,
                                           std::span<const std::pair<int, ListRange>> measured) {
    std::vector<std::string> warnings;
    if (measured.empty()) return warnings;
    const std::size_t lists = static_cast<std::size_t>(m.nlista) + 1;
    if (m.maxlista.size() != lists) m.maxlista.resize(lists, {0.0, 0.0});
    const std::size_t slash = m.namefile.rfind('/');
    const std::string name = slash == std::string::npos ? m.namefile : m.namefile.substr(slash + 1);
    // In list order, as a read that measures every list at open warns.
    std::vector<std::pair<int, ListRange>> sorted(measured.begin(), measured.end());
    std::sort(sorted.begin(), sorted.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    for (const auto& [k, r] : sorted) {
        if (k < 1 || static_cast<std::size_t>(k) >= lists) continue;
        const auto at = static_cast<std::size_t>(k);
        m.maxlista[at] = r.range;
        if (at < m.range_pending.size()) m.range_pending[at] = 0;
        if (r.missing > 0)
            warnings.push_back(name + ": list " + std::to_string(k) + " \"" + m.namelista[at] + "\" has " +
                               std::to_string(r.missing) + (r.missing == 1 ? " node" : " nodes") +
                               " without a value (a number that is not finite in the file); "
                               "they are left out of its range.");
    }
    if (std::find(m.range_pending.begin(), m.range_pending.end(), std::uint8_t{1}) == m.range_pending.end())
        m.range_pending.clear();
    fold_common_range(m);
    return warnings;
}

RangeJob::RangeJob(std::shared_ptr<const ListStore> store, std::vector<int> lists, int threads)
    : store_(std::move(store)), lists_(std::move(lists)) {
    if (lists_.empty()) return;
    if (threads <= 0) threads = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    const int n = std::min(threads, total());
    threads_.reserve(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) {
        {
            std::lock_guard lock(mu_);
            ++running_;
        }
        try {
            threads_.emplace_back([this] { work(); });
        } catch (...) {
            // No thread more to be had: those started do the work.
            std::lock_guard lock(mu_);
            --running_;
            if (threads_.empty()) error_ = std::current_exception();
            break;
        }
    }
}

RangeJob::~RangeJob() {
    cancel();
}

void RangeJob::cancel() {
    stop_ = true;
    join();
}

void RangeJob::join() {
    for (std::thread& t : threads_)
        if (t.joinable()) t.join();
}

void RangeJob::work() {
    for (;;) {
        if (stop_) break;
        const std::size_t i = next_++;
        if (i >= lists_.size()) break;
        const int k = lists_[i];
        try {
            const ListRange r = measure_list(*store_, k);
            std::lock_guard lock(mu_);
            measured_.emplace_back(k, r);
            ++done_;
            changed_.notify_all();
        } catch (...) {
            std::lock_guard lock(mu_);
            if (!error_) error_ = std::current_exception();
            stop_ = true;
            break;
        }
    }
    std::lock_guard lock(mu_);
    --running_;
    changed_.notify_all();
}

int RangeJob::done() const {
    std::lock_guard lock(mu_);
    return done_;
}

bool RangeJob::finished() const {
    std::lock_guard lock(mu_);
    return running_ == 0;
}

void RangeJob::wait(std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mu_);
    const int done = done_;
    changed_.wait_for(lock, timeout, [&] { return done_ != done || running_ == 0; });
}

std::vector<std::pair<int, ListRange>> RangeJob::take() {
    std::lock_guard lock(mu_);
    std::vector<std::pair<int, ListRange>> out;
    out.swap(measured_);
    return out;
}

std::exception_ptr RangeJob::error() const {
    std::lock_guard lock(mu_);
    return error_;
}

RangeCompletion complete_ranges(ResultModel& m, std::span<const int> lists, int threads,
                                const RangeProgress& progress) {
    RangeCompletion out;
    std::vector<int> todo = pending_lists(m, lists);
    if (todo.empty()) return out;
    const int total = static_cast<int>(todo.size());
    if (threads <= 0) threads = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    std::vector<std::pair<int, ListRange>> measured;
    std::exception_ptr error;
    if (threads == 1 || total == 1) {
        // On this thread: the callback sees every list and stops right after one.
        for (int i = 0; i < total; ++i) {
            if (progress && !progress(i, total)) break;
            try {
                measured.emplace_back(todo[static_cast<std::size_t>(i)],
                                      measure_list(*m.store, todo[static_cast<std::size_t>(i)]));
            } catch (...) {
                error = std::current_exception();
                break;
            }
            if (i + 1 == total && progress) progress(total, total);
        }
    } else {
        RangeJob job(m.store, std::move(todo), threads);
        int shown = -1;
        while (!job.finished()) {
            const int done = job.done();
            if (progress && done != shown) {
                shown = done;
                if (!progress(done, total)) break;
            }
            job.wait(std::chrono::milliseconds(100));
        }
        job.cancel(); // stops handing out lists and joins
        measured = job.take();
        error = job.error();
        if (!error && progress && shown != total && static_cast<int>(measured.size()) == total)
            progress(total, total);
    }
    out.warnings = apply_list_ranges(m, measured);
    if (error) std::rethrow_exception(error);
    out.complete = pending_lists(m, lists).empty();
    return out;
}

} // namespace orv
