// Ranges measured after the open must be the ranges a read that computes
// them at open gives, bit for bit (0 and -0 told apart), with the same
// warnings, however many threads measure them and whatever the cache keeps.
#include "viewer/formats/reader.h"
#include "viewer/model/list_ranges.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace orv {
namespace {

namespace fs = std::filesystem;

bool same_bits(double a, double b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// Every result file among the test data and the examples that reads.
std::vector<std::string> fixtures() {
    static const std::set<std::string> kinds = {".txt", ".vtk", ".vtu", ".pvtu", ".pvd", ".vtp",
                                                ".msh", ".frd", ".exo", ".xdmf", ".xmf"};
    std::vector<std::string> out;
    for (const char* dir :
         {ORVANEL_TEST_DATA "/reader", ORVANEL_TEST_DATA "/import", ORVANEL_TEST_DATA "/output",
          ORVANEL_TEST_DATA "/ranges", ORVANEL_SOURCE_DIR "/examples"})
        for (const auto& e : fs::recursive_directory_iterator(dir))
            if (e.is_regular_file() && kinds.count(e.path().extension().string()) &&
                e.file_size() < (4u << 20))
                out.push_back(e.path().string());
    std::sort(out.begin(), out.end());
    return out;
}

void expect_same_ranges(const ResultModel& got, const ResultModel& want) {
    ASSERT_EQ(got.maxlista.size(), want.maxlista.size());
    for (std::size_t k = 0; k < want.maxlista.size(); ++k)
        for (int j = 0; j < 2; ++j)
            EXPECT_TRUE(same_bits(got.maxlista[k][static_cast<std::size_t>(j)],
                                  want.maxlista[k][static_cast<std::size_t>(j)]))
                << "row " << k << "[" << j << "]: " << got.maxlista[k][static_cast<std::size_t>(j)] << " vs "
                << want.maxlista[k][static_cast<std::size_t>(j)];
    EXPECT_TRUE(same_bits(got.valmin, want.valmin)) << got.valmin << " vs " << want.valmin;
    EXPECT_TRUE(same_bits(got.valmax, want.valmax)) << got.valmax << " vs " << want.valmax;
    EXPECT_EQ(got.maxscale, want.maxscale);
    EXPECT_TRUE(got.range_pending.empty());
}

std::vector<std::string> sorted(std::vector<std::string> v) {
    std::sort(v.begin(), v.end());
    return v;
}

TEST(ListRanges, DeferredThenCompletedEqualsAReadOfEveryRange) {
    struct Way {
        int threads;
        bool no_cache; // a budget of 0: every list dropped as soon as it is measured
    };
    const Way ways[] = {{1, false}, {2, false}, {2, true}, {1, true}};
    int read = 0, deferred = 0;
    for (const std::string& path : fixtures()) {
        SCOPED_TRACE(path);
        ReadResult want;
        try {
            want = read_result(path);
        } catch (const ReadError&) {
            continue; // refused files are other tests' business
        }
        ++read;
        for (const Way& w : ways) {
            SCOPED_TRACE(testing::Message() << w.threads << " threads" << (w.no_cache ? ", no cache" : ""));
            ReaderOptions o;
            o.defer_ranges = true;
            ReadResult got = read_result(path, o);
            if (!got.model.range_pending.empty()) ++deferred;
            if (w.no_cache) got.model.store->set_budget(0);
            const RangeCompletion done = complete_ranges(got.model, {}, w.threads);
            EXPECT_TRUE(done.complete);
            expect_same_ranges(got.model, want.model);
            std::vector<std::string> warnings = got.warnings;
            warnings.insert(warnings.end(), done.warnings.begin(), done.warnings.end());
            EXPECT_EQ(sorted(warnings), sorted(want.warnings));
            // Each list dropped once measured: at most the last one read
            // (values and displacement) waits for the next load to evict it.
            if (w.no_cache) {
                EXPECT_LE(got.model.store->loaded_bytes(),
                          4 * (static_cast<std::size_t>(got.model.nnode) + 1) * sizeof(double));
            }
        }
    }
    EXPECT_GT(read, 40);
    EXPECT_GT(deferred, 0); // the native reader at least leaves ranges to measure
}

// Whatever a reader does with the flag: every range forgotten, the finish
// of the model leaves them alone, and measuring them gives them back.
TEST(ListRanges, ForgottenRangesComeBackWithTheirWarnings) {
    int with_no_value = 0;
    for (const std::string& path : fixtures()) {
        SCOPED_TRACE(path);
        ReadResult want;
        try {
            want = read_result(path);
        } catch (const ReadError&) {
            continue;
        }
        if (want.model.nlista == 0) continue;
        ResultModel m = read_result(path).model;
        m.range_pending.assign(static_cast<std::size_t>(m.nlista) + 1, 1);
        m.range_pending[0] = 0;
        finish_model(m);
        for (std::size_t k = 0; k < m.maxlista.size(); ++k)
            EXPECT_EQ(m.maxlista[k], (std::array<double, 2>{0, 0})) << "row " << k;
        EXPECT_EQ(m.valmin, 0);
        EXPECT_EQ(m.valmax, 0);
        const RangeCompletion done = complete_ranges(m, {}, 2);
        expect_same_ranges(m, want.model);
        // The warnings of nodes without a value are those of the open.
        std::vector<std::string> no_value;
        for (const std::string& w : want.warnings)
            if (w.find("without a value") != std::string::npos) no_value.push_back(w);
        EXPECT_EQ(done.warnings, no_value);
        if (!no_value.empty()) ++with_no_value;
    }
    EXPECT_GT(with_no_value, 0); // ranges/no_value.vtk at least
}

// A store whose lists are given in code and that refuses to load `refused`.
class CodeLists final : public ListSource {
  public:
    std::vector<std::vector<double>> lists; // by list - 1, nnode values each
    std::set<int> refused;
    int loads = 0;
    void load_list(int k, std::span<double> values, std::span<double>) override {
        if (refused.count(k)) throw std::runtime_error("list " + std::to_string(k) + " was read");
        ++loads;
        const auto& v = lists[static_cast<std::size_t>(k - 1)];
        std::copy(v.begin(), v.end(), values.begin() + 1);
    }
};

ResultModel model_of(std::shared_ptr<CodeLists> source) {
    ResultModel m;
    m.nnode = static_cast<std::int32_t>(source->lists.front().size());
    m.nlista = static_cast<std::int32_t>(source->lists.size());
    m.coord_data.resize((static_cast<std::size_t>(m.nnode) + 1) * ResultModel::coord_cols());
    m.coord(1, 1) = 2;
    m.reset_lists();
    m.store->set_source(source);
    m.namelista.assign(static_cast<std::size_t>(m.nlista) + 1, "L");
    m.namefile = "/some/folder/model.txt";
    return m;
}

TEST(ListRanges, PendingListsAreNeitherReadNorCounted) {
    auto source = std::make_shared<CodeLists>();
    source->lists = {{-4, 8}, {5, 7}, {6, 9}, {1, 100}};
    source->refused = {1, 4};
    ResultModel m = model_of(source);
    m.range_pending = {0, 1, 0, 0, 1};
    finish_model(m);
    EXPECT_EQ(m.maxlista[1], (std::array<double, 2>{0, 0}));
    EXPECT_EQ(m.maxlista[2], (std::array<double, 2>{5, 7}));
    EXPECT_EQ(m.maxlista[3], (std::array<double, 2>{6, 9}));
    // The common range of the known lists only: not pulled to 0 by list 1's empty row.
    EXPECT_EQ(m.maxlista[0], (std::array<double, 2>{5, 9}));
    EXPECT_EQ(m.valmin, 5);
    EXPECT_EQ(m.valmax, 9);
    EXPECT_EQ(m.maxscale, 2);
    EXPECT_EQ(pending_lists(m), (std::vector<int>{1, 4}));
    EXPECT_EQ(pending_lists(m, std::vector<int>{4, 2, 9, 4}), (std::vector<int>{4}));

    source->refused.clear();
    const RangeCompletion done = complete_ranges(m, std::vector<int>{1}, 1);
    EXPECT_TRUE(done.complete);
    EXPECT_EQ(m.maxlista[1], (std::array<double, 2>{-4, 8}));
    EXPECT_EQ(m.maxlista[0], (std::array<double, 2>{-4, 9}));
    EXPECT_EQ(m.range_pending, (std::vector<std::uint8_t>{0, 0, 0, 0, 1}));
    complete_ranges(m);
    EXPECT_TRUE(m.range_pending.empty());
    EXPECT_EQ(m.maxlista[0], (std::array<double, 2>{-4, 100}));

    // A list known already is not read again.
    const int loads = source->loads;
    complete_ranges(m);
    EXPECT_EQ(source->loads, loads);
}

TEST(ListRanges, WarningsNameTheFileAndTheList) {
    auto source = std::make_shared<CodeLists>();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    source->lists = {{1, nan, 3}, {nan, nan, nan}};
    ResultModel m = model_of(source);
    m.namelista[2] = "SXX";
    m.range_pending = {0, 1, 1};
    finish_model(m);
    const RangeCompletion done = complete_ranges(m, {}, 2);
    EXPECT_EQ(done.warnings, (std::vector<std::string>{
                                 "model.txt: list 1 \"L\" has 1 node without a value (a number that is not "
                                 "finite in the file); they are left out of its range.",
                                 "model.txt: list 2 \"SXX\" has 3 nodes without a value (a number that is "
                                 "not finite in the file); they are left out of its range."}));
    EXPECT_EQ(m.maxlista[1], (std::array<double, 2>{1, 3}));
    EXPECT_EQ(m.maxlista[2], (std::array<double, 2>{0, 0}));
    // As an open folds it: the empty list's (0, 0) counts in the common range.
    EXPECT_EQ(m.maxlista[0], (std::array<double, 2>{0, 3}));
}

TEST(ListRanges, StoppedHalfWayKeepsWhatItMeasured) {
    const std::string path = ORVANEL_TEST_DATA "/output/twelve_lists.txt";
    const ResultModel want = read_result(path).model;
    ReaderOptions o;
    o.defer_ranges = true;
    ResultModel m = read_result(path, o).model;
    ASSERT_EQ(m.nlista, 12);
    ASSERT_EQ(pending_lists(m).size(), 11u); // the last list is read at open
    std::vector<std::pair<int, int>> calls;
    const RangeCompletion stopped = complete_ranges(m, {}, 1, [&](int done, int total) {
        calls.emplace_back(done, total);
        return done < 3;
    });
    EXPECT_FALSE(stopped.complete);
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.front(), (std::pair<int, int>{0, 11}));
    EXPECT_EQ(calls.back(), (std::pair<int, int>{3, 11}));
    // On one thread it stops right after the third list.
    EXPECT_EQ(pending_lists(m), (std::vector<int>{4, 5, 6, 7, 8, 9, 10, 11}));
    ResultModel known = want;
    known.range_pending = m.range_pending;
    for (int k = 1; k <= m.nlista; ++k) {
        const auto at = static_cast<std::size_t>(k);
        if (m.range_pending[at]) {
            EXPECT_EQ(m.maxlista[at], (std::array<double, 2>{0, 0})) << "list " << k;
        } else {
            EXPECT_EQ(m.maxlista[at], want.maxlista[at]) << "list " << k;
        }
        if (known.range_pending[at]) known.maxlista[at] = {0, 0};
    }
    fold_common_range(known);
    EXPECT_EQ(m.maxlista[0], known.maxlista[0]);
    EXPECT_EQ(m.valmin, known.valmin);

    const RangeCompletion rest = complete_ranges(m, {}, 2);
    EXPECT_TRUE(rest.complete);
    expect_same_ranges(m, want);
}

// A bad number in a list a deferred open did not parse: found when the
// ranges are measured, with the message of a full read; what was measured
// before it stays.
TEST(ListRanges, AListThatFailsStopsTheWorkWithItsError) {
    const std::string path = ORVANEL_TEST_DATA "/ranges/bad_number.txt";
    std::string full_read_error;
    try {
        read_result(path);
    } catch (const ReadError& e) {
        full_read_error = e.what();
    }
    ASSERT_FALSE(full_read_error.empty());
    ReaderOptions o;
    o.defer_ranges = true;
    ResultModel m = read_result(path, o).model;
    ASSERT_EQ(pending_lists(m), (std::vector<int>{1, 2}));
    try {
        complete_ranges(m, {}, 1);
        ADD_FAILURE() << "no error";
    } catch (const ReadError& e) {
        EXPECT_EQ(std::string(e.what()), full_read_error);
    }
    EXPECT_EQ(m.maxlista[1], (std::array<double, 2>{1, 3}));
    EXPECT_EQ(pending_lists(m), (std::vector<int>{2}));
    EXPECT_EQ(m.maxlista[0], (std::array<double, 2>{1, 7})); // lists 1 and 3
}

// The job alone, as the window runs it: destroyed while it works, it stops
// and joins without touching anything after.
TEST(ListRanges, AJobDestroyedWhileItWorksStopsCleanly) {
    const std::string path = ORVANEL_SOURCE_DIR "/examples/placa.txt";
    ReaderOptions o;
    o.defer_ranges = true;
    for (int round = 0; round < 20; ++round) {
        ResultModel m = read_result(path, o).model;
        m.store->set_budget(0);
        auto job = std::make_unique<RangeJob>(m.store, pending_lists(m), 2);
        if (round % 2) job->wait(std::chrono::milliseconds(1));
        job.reset();
    }
    ResultModel m = read_result(path, o).model;
    RangeJob job(m.store, pending_lists(m), 2);
    while (!job.finished())
        job.wait(std::chrono::milliseconds(50));
    EXPECT_EQ(job.done(), job.total());
    EXPECT_EQ(static_cast<int>(job.take().size()), job.total());
    EXPECT_TRUE(job.take().empty());
    EXPECT_FALSE(job.error());
}

} // namespace
} // namespace orv
