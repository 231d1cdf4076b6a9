// The list store: lists read when asked, a cache with a budget, pinned handles.
#include "viewer/model/list_store.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace orv {
namespace {

struct SourceFault : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Value of node i in list k: 100k + i; list k's own displacement at node i:
// (k, i, -i); shared field d: (1000d + i, 0, 0). Counts every call.
class CountingSource : public ListSource {
  public:
    std::atomic<int> list_loads{0}, displacement_loads{0}, single_reads{0};
    std::atomic<int> failing{0}; // list that throws, 0 none
    bool single_values = false;
    std::chrono::milliseconds delay{0};

    void load_list(int k, std::span<double> values, std::span<double> displacement) override {
        ++list_loads;
        std::this_thread::sleep_for(delay);
        if (k == failing) throw SourceFault("list " + std::to_string(k) + " cannot be read");
        for (std::size_t i = 1; i < values.size(); ++i)
            values[i] = 100.0 * k + static_cast<double>(i);
        for (std::size_t i = 1; 3 * i < displacement.size(); ++i) {
            displacement[3 * i] = k;
            displacement[3 * i + 1] = static_cast<double>(i);
            displacement[3 * i + 2] = -static_cast<double>(i);
        }
    }
    void load_displacement(int d, std::span<double> xyz) override {
        ++displacement_loads;
        for (std::size_t i = 1; 3 * i < xyz.size(); ++i)
            xyz[3 * i] = 1000.0 * d + static_cast<double>(i);
    }
    std::optional<double> value_at(int k, std::int32_t node) override {
        if (!single_values) return std::nullopt;
        ++single_reads;
        return 100.0 * k + node;
    }
};

constexpr std::int32_t kNodes = 1000;
constexpr std::size_t kListBytes = (kNodes + 1) * sizeof(double);

struct Fixture {
    std::shared_ptr<CountingSource> source = std::make_shared<CountingSource>();
    ListStore store{kNodes, 10};
    Fixture() { store.set_source(source); }
};

TEST(ListStore, ValuesComeFromTheSourceOnceWhileCached) {
    Fixture f;
    f.store.set_budget(100 * kListBytes);
    for (int round = 0; round < 3; ++round)
        for (int k = 1; k <= 10; ++k) {
            const ListValues v = f.store.values(k);
            ASSERT_EQ(v.size(), std::size_t(kNodes) + 1);
            EXPECT_EQ(v[0], 0.0);
            EXPECT_EQ(v[7], 100.0 * k + 7);
        }
    EXPECT_EQ(f.source->list_loads, 10);
    EXPECT_EQ(f.store.loaded_bytes(), 10 * kListBytes);
}

TEST(ListStore, BudgetDropsTheLeastRecentlyUsedUnpinnedFirst) {
    Fixture f;
    f.store.set_budget(3 * kListBytes);
    f.store.values(1);
    f.store.values(2);
    f.store.values(3);
    f.store.values(1); // 2 is now the oldest
    f.store.values(4); // drops 2
    EXPECT_EQ(f.source->list_loads, 4);
    f.store.values(1);
    f.store.values(3);
    EXPECT_EQ(f.source->list_loads, 4) << "1 and 3 stayed";
    f.store.values(2);
    EXPECT_EQ(f.source->list_loads, 5) << "2 was dropped";
    EXPECT_LE(f.store.loaded_bytes(), 3 * kListBytes);
}

// A pass over every list (measuring ranges) reads past the cache: the lists
// on show stay, and nothing is added; a list in memory is not read again.
TEST(ListStore, APassingReadLeavesTheCacheAsItWas) {
    Fixture f;
    f.store.set_budget(2 * kListBytes);
    f.store.values(1);
    f.store.values(2);
    for (int k = 1; k <= 10; ++k) {
        const ListValues v = f.store.values_passing(k);
        EXPECT_EQ(v[7], 100.0 * k + 7);
    }
    EXPECT_EQ(f.source->list_loads, 10) << "1 and 2 came from the cache";
    EXPECT_EQ(f.store.loaded_bytes(), 2 * kListBytes);
    f.store.values(1);
    f.store.values(2);
    EXPECT_EQ(f.source->list_loads, 10) << "1 and 2 are still there";
}

TEST(ListStore, APinnedBlockOutlivesEveryEviction) {
    Fixture f;
    f.store.set_budget(0); // one list at a time
    const ListValues held = f.store.values(1);
    for (int k = 2; k <= 10; ++k)
        EXPECT_EQ(f.store.values(k)[5], 100.0 * k + 5);
    EXPECT_EQ(held[5], 105.0);
    // Held, list 1 is still the cached block: no second read.
    EXPECT_EQ(f.store.values(1).data(), held.data());
    EXPECT_EQ(f.source->list_loads, 10);
    // What no handle holds goes at the next load, or when asked.
    EXPECT_LE(f.store.loaded_bytes(), 2 * kListBytes);
    f.store.drop_unpinned();
    EXPECT_EQ(f.store.loaded_bytes(), kListBytes);
}

TEST(ListStore, TwoThreadsAskingForOneListLoadItOnce) {
    for (const int threads : {2, 8}) {
        Fixture f;
        f.source->delay = std::chrono::milliseconds(30);
        std::vector<std::thread> pool;
        std::vector<double> seen(static_cast<std::size_t>(threads));
        for (int t = 0; t < threads; ++t)
            pool.emplace_back([&, t] { seen[static_cast<std::size_t>(t)] = f.store.values(4)[9]; });
        for (std::thread& t : pool)
            t.join();
        EXPECT_EQ(f.source->list_loads, 1) << threads << " threads";
        for (const double v : seen)
            EXPECT_EQ(v, 409.0);
    }
}

TEST(ListStore, AFailedLoadPassesTheSourcesErrorAndKeepsNothing) {
    Fixture f;
    f.source->failing = 3;
    f.source->delay = std::chrono::milliseconds(20);
    // Every waiting thread sees the same error.
    std::atomic<int> faults{0};
    std::vector<std::thread> pool;
    for (int t = 0; t < 3; ++t)
        pool.emplace_back([&] {
            try {
                f.store.values(3);
            } catch (const SourceFault&) {
                ++faults;
            }
        });
    for (std::thread& t : pool)
        t.join();
    EXPECT_EQ(faults, 3);
    EXPECT_EQ(f.store.loaded_bytes(), 0u);
    // Mended (the file back as it was): the next ask reads it.
    f.source->failing = 0;
    EXPECT_EQ(f.store.values(3)[1], 301.0);
}

TEST(ListStore, DisplacementsOwnSharedMadeOfListsOrNone) {
    Fixture f;
    f.store.set_displacement(1, {DisplacementRef::Kind::own, 0, {}});
    const int d = f.store.add_shared_displacement();
    f.store.set_displacement(2, {DisplacementRef::Kind::shared, d, {}});
    f.store.set_displacement(3, {DisplacementRef::Kind::shared, d, {}});
    f.store.set_displacement(4, {DisplacementRef::Kind::lists, 0, {5, 6, 7}});

    // Own: read with the list's values, in one call.
    const DisplacementValues own = f.store.displacement(1);
    EXPECT_EQ(own[3 * 8], 1.0);
    EXPECT_EQ(own[3 * 8 + 1], 8.0);
    EXPECT_EQ(own[3 * 8 + 2], -8.0);
    EXPECT_EQ(f.store.values(1)[8], 108.0);
    EXPECT_EQ(f.source->list_loads, 1);

    // Shared: one block for every list of the step.
    const DisplacementValues a = f.store.displacement(2), b = f.store.displacement(3);
    EXPECT_EQ(a.data(), b.data());
    EXPECT_EQ(a[3 * 5], 1005.0);
    EXPECT_EQ(f.source->displacement_loads, 1);

    // Made of three lists' values, node by node.
    const DisplacementValues c = f.store.displacement(4);
    EXPECT_EQ(c[3 * 2], 502.0);
    EXPECT_EQ(c[3 * 2 + 1], 602.0);
    EXPECT_EQ(c[3 * 2 + 2], 702.0);

    EXPECT_TRUE(f.store.displacement(5).empty()) << "none: zeros";
}

TEST(ListStore, ResidentListsNeedNoSourceAndAreNeverDropped) {
    ListStore store(4, 2);
    store.set_budget(0);
    const std::span<double> v = store.resident_values(1);
    v[3] = 2.5;
    EXPECT_EQ(store.values(1)[3], 2.5);
    EXPECT_EQ(store.value_at(1, 3), 2.5);
    EXPECT_EQ(store.loaded_bytes(), 0u) << "resident lists are not the cache's";
    // Nothing set: zeros.
    EXPECT_EQ(store.values(2)[3], 0.0);
    store.drop_unpinned();
    EXPECT_EQ(store.values(1)[3], 2.5);
    EXPECT_THROW(store.values(3), std::out_of_range);
    EXPECT_THROW(store.values(0), std::out_of_range);
}

TEST(ListStore, OneValueWithoutLoadingTheList) {
    Fixture f;
    f.source->single_values = true;
    EXPECT_EQ(f.store.value_at(6, 17), 617.0);
    EXPECT_EQ(f.source->single_reads, 1);
    EXPECT_EQ(f.source->list_loads, 0);
    // A loaded list answers from memory.
    const ListValues held = f.store.values(6);
    EXPECT_EQ(f.store.value_at(6, 18), 618.0);
    EXPECT_EQ(f.source->single_reads, 1);
    EXPECT_THROW(f.store.value_at(6, kNodes + 1), std::out_of_range);
}

TEST(ListStore, BudgetFromTheEnvironment) {
    struct Case {
        const char* value;
        std::size_t bytes; // 0 with `fallback`: the default from available memory
        bool fallback;
    };
    const Case cases[] = {{"0", 0, false}, {"12", 12u << 20, false}, {"abc", 0, true}, {"", 0, true}};
    for (const Case& c : cases) {
        setenv("ORVANEL_CACHE_MB", c.value, 1);
        const std::size_t got = ListStore::default_budget();
        if (c.fallback)
            EXPECT_GE(got, std::size_t{256} << 20) << c.value;
        else
            EXPECT_EQ(got, c.bytes) << c.value;
    }
    unsetenv("ORVANEL_CACHE_MB");
}

// The budget comes from the one memory probe, which also honours the
// process's address-space limit (ulimit -v): with 1 GiB left to map, a
// quarter of what the system has free would not fit.
TEST(ListStore, BudgetKeepsWithinTheAddressSpaceLimit) {
    unsetenv("ORVANEL_CACHE_MB");
    rlimit before{};
    ASSERT_EQ(::getrlimit(RLIMIT_AS, &before), 0);
    unsigned long long pages = 0;
    if (std::FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%llu", &pages) != 1) pages = 0;
        std::fclose(f);
    }
    ASSERT_GT(pages, 0u);
    const rlim_t used = static_cast<rlim_t>(pages) * static_cast<rlim_t>(::sysconf(_SC_PAGESIZE));
    rlimit tight = before;
    tight.rlim_cur = used + (rlim_t{1} << 30);
    if (before.rlim_max != RLIM_INFINITY && tight.rlim_cur > before.rlim_max) GTEST_SKIP() << "hard limit";
    ASSERT_EQ(::setrlimit(RLIMIT_AS, &tight), 0);
    const std::uint64_t memory = machine_memory();
    const std::size_t budget = ListStore::default_budget();
    ASSERT_EQ(::setrlimit(RLIMIT_AS, &before), 0);
    EXPECT_LE(memory, std::uint64_t{1} << 30);
    EXPECT_EQ(budget, std::size_t{256} << 20); // the floor: a quarter of at most 1 GiB is less
}

} // namespace
} // namespace orv
