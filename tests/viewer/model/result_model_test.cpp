#include "viewer/formats/reader.h"
#include "viewer/model/result_model.h"

#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>
#include <string>

namespace {

std::string fixture(const std::string& name) {
    return std::string(ORVANEL_TEST_DATA) + "/reader/" + name;
}

// A model of `nodes` nodes and `lists` lists, all zeros, sized through the model's API.
orv::ResultModel sized(std::int32_t nodes, std::int32_t lists) {
    orv::ResultModel m;
    m.nnode = nodes;
    m.nlista = lists;
    m.coord_data.resize((static_cast<std::size_t>(nodes) + 1) * m.coord_cols());
    m.reset_lists();
    m.conec_start.assign(2, 1);
    m.conec_data.assign(1, 0);
    return m;
}

TEST(FinishModel, RangesScaleAndTheCommonRange) {
    orv::ResultModel m = sized(3, 2);
    const double list1[] = {2.0, -1.0, 5.0}, list2[] = {-7.0, 0.5, 0.25};
    for (std::size_t i = 1; i <= 3; ++i) {
        m.listas_ref(i, 1) = list1[i - 1];
        m.listas_ref(i, 2) = list2[i - 1];
        m.coord(i, 1) = static_cast<double>(i);
    }
    m.coord(2, 6) = -9.5;                               // the node's own displacement counts in maxscale
    m.store->resident_own_displacement(1)[3 * 3] = 100; // a list's displacement does not
    orv::finish_model(m);
    EXPECT_EQ(m.maxscale, 9.5);
    EXPECT_EQ(m.maxlista[1], (std::array<double, 2>{-1.0, 5.0}));
    EXPECT_EQ(m.maxlista[2], (std::array<double, 2>{-7.0, 0.5}));
    EXPECT_EQ(m.maxlista[0], (std::array<double, 2>{-7.0, 5.0}));
    EXPECT_EQ(m.valmin, -7.0);
    EXPECT_EQ(m.valmax, 5.0);
}

// Of equal values the first stays, except in the common range of the
// first list, which ends at the last node's value.
TEST(FinishModel, TiesOfSignedZeros) {
    orv::ResultModel m = sized(2, 2);
    m.listas_ref(1, 1) = 0.0;
    m.listas_ref(2, 1) = -0.0;
    m.listas_ref(1, 2) = -0.0;
    m.listas_ref(2, 2) = 0.0;
    orv::finish_model(m);
    EXPECT_FALSE(std::signbit(m.maxlista[1][0]));
    EXPECT_FALSE(std::signbit(m.maxlista[1][1]));
    EXPECT_TRUE(std::signbit(m.maxlista[2][0]));
    EXPECT_TRUE(std::signbit(m.maxlista[2][1]));
    EXPECT_TRUE(std::signbit(m.maxlista[0][0])) << "the last node's -0 of list 1";
    EXPECT_TRUE(std::signbit(m.valmax));
}

TEST(FinishModel, NoNodesGivesZeroRanges) {
    orv::ResultModel m = sized(0, 2);
    m.maxscale = 3;
    orv::finish_model(m);
    ASSERT_EQ(m.maxlista.size(), 3u);
    for (const auto& r : m.maxlista)
        EXPECT_EQ(r, (std::array<double, 2>{0.0, 0.0}));
    EXPECT_EQ(m.maxscale, 0.0);
}

// What the native reader finds while it parses equals what the model
// computes from its arrays, fixture by fixture.
TEST(FinishModel, NativeReaderAgreesWithTheArrays) {
    for (const char* name : {"example.txt", "ranges.txt", "ends_early.txt", "all_zero.txt", "no_lists.txt"}) {
        const orv::ResultModel read = orv::read_result_file(fixture(name));
        orv::ResultModel again = read;
        again.maxlista.clear();
        again.maxscale = -1;
        orv::finish_model(again);
        EXPECT_EQ(again.maxlista, read.maxlista) << name;
        EXPECT_EQ(again.maxscale, read.maxscale) << name;
        EXPECT_EQ(again.valmin, read.valmin) << name;
        EXPECT_EQ(again.valmax, read.valmax) << name;
    }
}

TEST(FinishModel, LabelsMustFitTheSizes) {
    orv::ResultModel m = sized(3, 0);
    m.node_labels = {0, 10, 20}; // one short
    EXPECT_THROW(orv::finish_model(m), std::logic_error);
    m.node_labels = {0, 10, 20, 30};
    m.element_labels = {0, 5, 6}; // the model has no elements
    EXPECT_THROW(orv::finish_model(m), std::logic_error);
    m.element_labels.clear();
    EXPECT_NO_THROW(orv::finish_model(m));
}

TEST(Labels, NativeNumberingIsTheIdentity) {
    const orv::ResultModel m = orv::read_result_file(fixture("example.txt"));
    EXPECT_TRUE(m.node_labels.empty()) << "native files store no labels";
    EXPECT_TRUE(m.element_labels.empty());
    EXPECT_EQ(m.node_label(2), 2);
    EXPECT_EQ(m.element_label(1), 1);
    EXPECT_EQ(m.node_with_label(m.nnode), m.nnode);
    EXPECT_EQ(m.node_with_label(0), 0);
    EXPECT_EQ(m.node_with_label(m.nnode + 1), 0);
}

TEST(Labels, SparseNumbering) {
    orv::ResultModel m = sized(4, 0);
    m.node_labels = {0, 101, 7, 3000000000LL, 7};
    struct Case {
        std::int64_t label;
        std::int32_t node;
    };
    for (const Case& c :
         {Case{101, 1}, Case{7, 2}, Case{3000000000LL, 3}, Case{1, 0}, Case{4, 0}, Case{0, 0}})
        EXPECT_EQ(m.node_with_label(c.label), c.node) << c.label;
    EXPECT_EQ(m.node_label(3), 3000000000LL);
}

} // namespace

// Large blocks come mapped and 2 MiB-aligned, small ones from calloc; both
// zeroed and writable to their last byte; a zeroed vector keeps its contents
// when it grows into a new block.
TEST(PageMemory, ZeroedWritableAndAligned) {
    for (const std::size_t bytes : {std::size_t{1}, std::size_t{4096}, (std::size_t{1} << 20) - 1,
                                    std::size_t{1} << 20, (std::size_t{2} << 20) + 1, std::size_t{9} << 20}) {
        auto* p = static_cast<unsigned char*>(orv::allocate_pages(bytes));
        ASSERT_NE(p, nullptr) << bytes;
        EXPECT_EQ(p[0], 0) << bytes;
        EXPECT_EQ(p[bytes / 2], 0) << bytes;
        EXPECT_EQ(p[bytes - 1], 0) << bytes;
        p[0] = p[bytes - 1] = 7;
        if (bytes >= (std::size_t{1} << 20)) {
            EXPECT_EQ(reinterpret_cast<std::uintptr_t>(p) % (std::size_t{2} << 20), 0u) << bytes;
        }
        orv::free_pages(p, bytes);
    }
    orv::ZeroedVector<double> v;
    v.resize(1u << 20); // 8 MiB: mapped
    for (std::size_t i = 0; i < v.size(); i += 4099)
        EXPECT_EQ(v[i], 0.0);
    v.back() = 3.5;
    v.push_back(1.0); // grows: the old contents move over
    EXPECT_EQ(v[v.size() - 2], 3.5);
    EXPECT_EQ(v.back(), 1.0);
}
