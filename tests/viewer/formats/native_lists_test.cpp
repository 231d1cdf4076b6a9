// Native files' lists read when they are needed: the same values however
// and whenever they are read, and never a value of a file that changed.
#include "../model/list_dump.h"
#include "viewer/formats/reader.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace orv {
namespace {

namespace fs = std::filesystem;

const char* const kFixtures[] = {
    ORVANEL_TEST_DATA "/reader/all_zero.txt",      ORVANEL_TEST_DATA "/reader/comment_adds_list.txt",
    ORVANEL_TEST_DATA "/reader/element_kinds.txt", ORVANEL_TEST_DATA "/reader/ends_early.txt",
    ORVANEL_TEST_DATA "/reader/example.txt",       ORVANEL_TEST_DATA "/reader/no_lists.txt",
    ORVANEL_TEST_DATA "/reader/ranges.txt",        ORVANEL_TEST_DATA "/reader/two_lines_crlf.txt",
    ORVANEL_TEST_DATA "/output/twelve_lists.txt",  ORVANEL_SOURCE_DIR "/examples/viga.txt",
};

std::string file_bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// The reference: one thread, every list loaded in order as soon as the file is open.
struct Reference {
    std::vector<double> values, displacements;
};
Reference reference_of(const std::string& path) {
    ReaderOptions one;
    one.threads = 1;
    const ResultModel m = read_result(path, one).model;
    return {test::all_list_values(m), test::all_list_displacements(m)};
}

TEST(NativeLists, EveryListReadLaterEqualsTheFirstRead) {
    struct Way {
        int threads;
        std::size_t chunk_bytes; // 0: the default
        std::size_t budget;      // bytes of the cache
        bool reverse;            // lists asked for last first
    };
    const Way ways[] = {{1, 0, 0, false},
                        {2, 0, 0, true},
                        {2, 7, 0, false},
                        {2, 7, std::numeric_limits<std::size_t>::max(), true},
                        {1, 5, std::numeric_limits<std::size_t>::max(), false}};
    for (const char* path : kFixtures) {
        SCOPED_TRACE(path);
        const Reference ref = reference_of(path);
        for (const Way& w : ways) {
            SCOPED_TRACE(testing::Message() << w.threads << " threads, chunk " << w.chunk_bytes << ", budget "
                                            << w.budget << (w.reverse ? ", reversed" : ""));
            ReaderOptions o;
            o.threads = w.threads;
            o.chunk_bytes = w.chunk_bytes;
            const ResultModel m = read_result(path, o).model;
            m.store->set_budget(w.budget);
            const std::size_t rows = static_cast<std::size_t>(m.nnode) + 1;
            for (int i = 1; i <= m.nlista; ++i) {
                const int k = w.reverse ? m.nlista + 1 - i : i;
                const auto at = static_cast<std::size_t>(k - 1);
                const ListValues v = m.values(k);
                const DisplacementValues d = m.displacement(k);
                ASSERT_EQ(v.size(), rows);
                ASSERT_EQ(d.size(), 3 * rows);
                EXPECT_TRUE(
                    test::same_bits({v.data(), v.data() + rows},
                                    {ref.values.begin() + static_cast<std::ptrdiff_t>(at * rows),
                                     ref.values.begin() + static_cast<std::ptrdiff_t>((at + 1) * rows)}))
                    << "list " << k;
                EXPECT_TRUE(test::same_bits(
                    {d.data(), d.data() + 3 * rows},
                    {ref.displacements.begin() + static_cast<std::ptrdiff_t>(3 * at * rows),
                     ref.displacements.begin() + static_cast<std::ptrdiff_t>(3 * (at + 1) * rows)}))
                    << "list " << k;
                // The range found at open is the range of what is read now.
                double lo = v[1], hi = v[1];
                for (std::size_t n = 2; n < rows; ++n)
                    lo = std::min(lo, v[n]), hi = std::max(hi, v[n]);
                if (rows > 1) {
                    EXPECT_EQ(m.maxlista[static_cast<std::size_t>(k)][0], lo) << "list " << k;
                    EXPECT_EQ(m.maxlista[static_cast<std::size_t>(k)][1], hi) << "list " << k;
                }
            }
        }
    }
}

// A node's value alone (histories): the same value as the whole list's,
// with no list loaded where every record is one line.
TEST(NativeLists, OneNodesValueWithoutTheList) {
    for (const char* path : kFixtures) {
        SCOPED_TRACE(path);
        const Reference ref = reference_of(path);
        const ResultModel m = read_result(path).model;
        const std::size_t rows = static_cast<std::size_t>(m.nnode) + 1;
        for (int k = 1; k <= m.nlista; ++k)
            for (std::size_t n = 1; n < rows; ++n) {
                const double want = ref.values[static_cast<std::size_t>(k - 1) * rows + n];
                const double got = m.listas(n, static_cast<std::size_t>(k));
                EXPECT_TRUE(got == want || (std::isnan(got) && std::isnan(want)))
                    << "list " << k << " node " << n;
            }
    }
    const ResultModel viga = read_result(ORVANEL_SOURCE_DIR "/examples/viga.txt").model;
    for (int k = 1; k <= viga.nlista; ++k)
        viga.listas(static_cast<std::size_t>(viga.nnode), static_cast<std::size_t>(k));
    EXPECT_EQ(viga.store->bytes_held(), 0u) << "one row each, no list loaded";
}

// Bytes read from memory are copied: the lists read later need not the caller's buffer.
TEST(NativeLists, BytesFromMemoryOutliveTheCallersBuffer) {
    const std::string path = ORVANEL_TEST_DATA "/output/twelve_lists.txt";
    const Reference ref = reference_of(path);
    ResultModel m;
    {
        std::string bytes = file_bytes(path);
        m = read_result_bytes(bytes.data(), bytes.size(), "twelve_lists.txt").model;
        bytes.assign(bytes.size(), '#');
    }
    EXPECT_TRUE(test::same_bits(test::all_list_values(m), ref.values));
}

TEST(NativeLists, AFileChangedAfterOpeningIsNeverMixedIn) {
    const fs::path dir = fs::temp_directory_path() / ("orvanel_native_lists_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const std::string path = (dir / "viga run.txt").string();
    const std::string original = file_bytes(ORVANEL_SOURCE_DIR "/examples/viga.txt");
    struct Change {
        const char* what;
        std::string bytes;
    };
    std::string same_size = original;
    // Another solver step: the same layout, other digits.
    for (char& c : same_size)
        if (c == '7') c = '3';
    const Change changes[] = {{"same size, other values", same_size},
                              {"appended", original + "#\nnew list\n"},
                              {"cut short", original.substr(0, original.size() / 2)}};
    for (const Change& c : changes) {
        SCOPED_TRACE(c.what);
        std::ofstream(path, std::ios::binary) << original;
        const ResultModel m = read_result(path).model;
        m.store->set_budget(0);
        const ListValues kept = m.values(1);
        const double first = kept[5];
        std::ofstream(path, std::ios::binary | std::ios::trunc) << c.bytes;
        // The same size may keep the same time stamp within a tick: move it on.
        const timespec times[2] = {{0, UTIME_OMIT}, {1, 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
        for (const int k : {2, m.nlista}) {
            try {
                m.values(k);
                ADD_FAILURE() << "list " << k << " read from the changed file";
            } catch (const ReadError& e) {
                EXPECT_EQ(std::string(e.what()), "viga run.txt changed since it was opened; reopen it");
            }
        }
        EXPECT_THROW(m.listas(3, 4), ReadError);
        EXPECT_EQ(kept[5], first) << "what was read stays as it was";
    }
    fs::remove_all(dir);
}

} // namespace
} // namespace orv
