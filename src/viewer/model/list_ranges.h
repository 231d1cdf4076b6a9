#pragma once
// Value ranges of result lists that a reader left uncomputed (the model's
// range_pending), measured later through the list store: each list read once
// through a handle dropped right after it, so the store's budget holds, and
// several lists at a time on threads of their own. Folded into the model,
// the ranges are those a read that computed them at open gives: the same
// running minimum and maximum, NaN (a node without a value) left out, a list
// of nothing else (0, 0), and row 0, valmin and valmax as finish_model()
// makes them.

#include "viewer/model/result_model.h"

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace orv {

// One list's range as finish_model() keeps it, and how many of its nodes
// have no value (NaN).
struct ListRange {
    std::array<double, 2> range{0.0, 0.0};
    std::int64_t missing = 0;
};

// List k (1..nlista) of the store, read once. Safe on any thread (the
// store's accessors are); a failure of the store (file changed, bad number)
// passes through.
ListRange measure_list(const ListStore& store, int k);

// The lists among `lists` (empty: every list) whose range is pending, in
// the order given; numbers outside 1..nlista are left out.
std::vector<int> pending_lists(const ResultModel& m, std::span<const int> lists = {});

// Puts each measured range in its row and clears its pending mark (an
// empty range_pending once none is left), then makes row 0, valmin and
// valmax again from the known rows. Returns the warnings the importers give
// for lists with nodes without a value ("NAME: list K \"LIST\" has N nodes
// without a value ..."), NAME being the base name of m.namefile.
std::vector<std::string> apply_list_ranges(ResultModel& m,
                                           std::span<const std::pair<int, ListRange>> measured);

// Measures lists of a store on threads of its own while the caller goes on;
// the caller takes the results and applies them to its model (the job never
// touches a model, so a window may draw while it runs). Destroying the job
// cancels it and waits for the lists under way.
class RangeJob {
  public:
    // `threads` 0: the machine's threads; never more threads than lists.
    RangeJob(std::shared_ptr<const ListStore> store, std::vector<int> lists, int threads = 0);
    ~RangeJob();
    RangeJob(const RangeJob&) = delete;
    RangeJob& operator=(const RangeJob&) = delete;

    // Hands out no more lists and waits for those under way; what they
    // measured can still be taken.
    void cancel();
    int total() const { return static_cast<int>(lists_.size()); }
    int done() const;
    // Every thread has stopped: all lists measured, cancelled, or failed.
    bool finished() const;
    // Returns once a list more is measured, the job has finished, or
    // `timeout` has passed.
    void wait(std::chrono::milliseconds timeout) const;
    // The lists measured since the last call, in the order they finished.
    std::vector<std::pair<int, ListRange>> take();
    // The first failure of a list (the store's exception), which stopped
    // the job; null when none.
    std::exception_ptr error() const;

  private:
    void work();
    void join();

    std::shared_ptr<const ListStore> store_;
    std::vector<int> lists_;
    std::atomic<std::size_t> next_{0};
    std::atomic<bool> stop_{false};
    mutable std::mutex mu_;
    mutable std::condition_variable changed_;
    std::vector<std::pair<int, ListRange>> measured_; // not yet taken
    int done_ = 0;
    int running_ = 0;
    std::exception_ptr error_;
    std::vector<std::thread> threads_;
};

// done and total lists; false stops the work.
using RangeProgress = std::function<bool(int done, int total)>;

struct RangeCompletion {
    bool complete = true; // false: stopped by the progress callback, rows left pending
    std::vector<std::string> warnings;
};

// Fills the pending rows of `lists` (empty: every list) of m, on `threads`
// threads (0: the machine's), calling `progress` on the calling thread as
// lists finish. Stopped, the rows measured so far stay and the rest stay
// pending. A list that fails to read stops the work: the rows measured
// before it are kept and its exception is rethrown.
RangeCompletion complete_ranges(ResultModel& m, std::span<const int> lists = {}, int threads = 0,
                                const RangeProgress& progress = {});

} // namespace orv
