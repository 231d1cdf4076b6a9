// The node history file: exact bytes, checks made before writing, and a
// write that either replaces the file completely or leaves it alone.

#include "viewer/output/list_sequence.h"
#include "viewer/output/node_history.h"
#include "viewer/output/output_error.h"
#include "viewer/output/output_names.h"

#include "output_test_files.h"

#include <gtest/gtest.h>

#include <climits>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using orv::NodeHistory;
using orv::OutputError;
using namespace orv::test;

namespace {

constexpr long long kNoLimit = LLONG_MAX;

// nnode nodes and nlista lists, all values 0 until set.
orv::ResultModel make_model(int nnode, int nlista) {
    orv::ResultModel m;
    m.nnode = nnode;
    m.nlista = nlista;
    m.reset_lists();
    m.namefile = "viga.txt";
    return m;
}

class NodeHistoryFile : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = make_scratch_dir("orvanel-lst");
        ASSERT_FALSE(dir_.empty());
    }
    void TearDown() override { fs::remove_all(dir_); }

    // Names in the folder other than `keep`: temporary files left behind.
    std::vector<std::string> strays(const std::string& keep) const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(dir_))
            if (e.path().filename() != keep) names.push_back(e.path().filename().string());
        return names;
    }
    fs::path dir_;
};

TEST(NodeHistoryFormat, ValueLines) {
    struct Case {
        int list;
        double value;
        std::string line;
    } cases[] = {
        {7, -0.125, "         7         -0.1250000000\r\n"},
        {1, 0.0, "         1          0.0000000000\r\n"},
        {1, -0.0, "         1          0.0000000000\r\n"},
        {10, 1e-11, "        10          0.0000000000\r\n"},
        {123456, 2.5, "    123456          2.5000000000\r\n"},
        {2147483647, -1234567.75, "2147483647   -1234567.7500000000\r\n"},
        {3, 1e12, "         3  1000000000000.0000000000\r\n"}, // wider than 20: not cut
    };
    for (const Case& c : cases)
        EXPECT_EQ(orv::format_history_line(c.list, c.value), c.line) << c.value;
    EXPECT_EQ(orv::format_history_line(7, -0.125).size(), 32u + 2u);
}

TEST(NodeHistoryFormat, NodeTextAsLatin1) {
    struct Case {
        std::string utf8, latin1;
    } cases[] = {
        {"12", "12"},
        {" 12 ", " 12 "},
        {"n\xC3\xB3", "n\xF3"},           // ó
        {"\xC3\xA7\xC3\xA3", "\xE7\xE3"}, // çã
        {"\xE2\x82\xAC"
         "5",
         "?5"},                    // € is outside Latin-1
        {"\xF0\x9F\x98\x80", "?"}, // one character, one '?'
        {"a\xC3", "a?"},           // cut short
        {"\x80x", "?x"},           // stray continuation byte
        {"\xC1\x81", "?"},         // overlong form of 'A'
    };
    for (const Case& c : cases)
        EXPECT_EQ(orv::utf8_to_latin1(c.utf8), c.latin1) << c.utf8;
}

TEST_F(NodeHistoryFile, InitialValuesGiveTwoZeroLinesForList1) {
    const orv::ResultModel m = make_model(4, 3);
    const fs::path file = dir_ / "viga_0.lst";
    const NodeHistory h =
        orv::write_node_history(file.string(), m, "0", orv::list_sequence(1, 1, 1, kNoLimit));
    EXPECT_EQ(file_bytes(file), "N\xF3: 0\r\n"
                                "\r\n"
                                "Lista      Valor\r\n"
                                "         1          0.0000000000\r\n"
                                "         1          0.0000000000\r\n");
    EXPECT_EQ(h.lists, (std::vector<int>{1, 1}));
    EXPECT_EQ(h.values, (std::vector<double>{0.0, 0.0}));
    EXPECT_TRUE(strays("viga_0.lst").empty());
}

TEST_F(NodeHistoryFile, StepThroughListsMatchesFixture) {
    orv::ResultModel m = make_model(6, 11);
    for (int k = 1; k <= 11; ++k)
        m.listas_ref(5, k) = 99.0 + k; // lists not walked must not appear
    m.listas_ref(5, 2) = 1234.5;
    m.listas_ref(5, 5) = -0.125;
    m.listas_ref(5, 8) = 0.0;
    m.listas_ref(5, 11) = 3.14159265358979;
    m.listas_ref(4, 5) = 7.0; // a neighbouring node must not appear either
    const fs::path file = dir_ / orv::list_file_name(m.namefile, "3");
    ASSERT_EQ(file.filename(), "viga_3.lst");

    const NodeHistory h =
        orv::write_node_history(file.string(), m, "5", orv::list_sequence(2, 11, 3, kNoLimit));
    EXPECT_EQ(file_bytes(file), file_bytes(fs::path(ORVANEL_TEST_DATA) / "output" / "viga_3.lst"));
    EXPECT_EQ(h.node, 5);
    EXPECT_EQ(h.lists, (std::vector<int>{2, 5, 8, 11}));
    EXPECT_EQ(h.values, (std::vector<double>{1234.5, -0.125, 0.0, 3.14159265358979}));
}

TEST_F(NodeHistoryFile, NodeTextIsWrittenAsTyped) {
    orv::ResultModel m = make_model(3, 1);
    m.listas_ref(2, 1) = 1.5;
    const fs::path file = dir_ / "t.lst";
    const NodeHistory h = orv::write_node_history(file.string(), m, " +2", {1});
    EXPECT_EQ(h.node, 2);
    EXPECT_EQ(file_bytes(file), "N\xF3:  +2\r\n\r\nLista      Valor\r\n         1          1.5000000000\r\n");
}

TEST_F(NodeHistoryFile, SecondRunReplacesTheFile) {
    orv::ResultModel m = make_model(3, 10);
    const fs::path file = dir_ / "viga_0.lst";
    orv::write_node_history(file.string(), m, "1", orv::list_sequence(1, 10, 1, kNoLimit));
    const NodeHistory h =
        orv::write_node_history(file.string(), m, "1", orv::list_sequence(3, 4, 1, kNoLimit));
    EXPECT_EQ(h.values.size(), 2u);
    EXPECT_EQ(file_bytes(file), "N\xF3: 1\r\n\r\nLista      Valor\r\n"
                                "         3          0.0000000000\r\n"
                                "         4          0.0000000000\r\n");
    EXPECT_TRUE(strays("viga_0.lst").empty());
}

TEST_F(NodeHistoryFile, BadRequestsWriteNothing) {
    const orv::ResultModel m = make_model(40, 10);
    struct Case {
        std::string node;
        std::vector<int> lists;
        std::string message;
    } cases[] = {
        {"abc", {1, 2}, "'abc' is not a valid integer value"},
        {"", {1, 2}, "'' is not a valid integer value"},
        {"4.5", {1, 2}, "'4.5' is not a valid integer value"},
        {"-1", {1, 2}, "Node -1 does not exist: the node number must be from 0 to 40."},
        {"41", {1, 2}, "Node 41 does not exist: the node number must be from 0 to 40."},
        {"3", orv::list_sequence(12, 10, 1, kNoLimit),
         "Result list 12 does not exist: the lists are numbered 1 to 10."},
        {"3", orv::list_sequence(1, 11, 5, kNoLimit),
         "Result list 11 does not exist: the lists are numbered 1 to 10."},
    };
    const fs::path fresh = dir_ / "fresh.lst";
    const fs::path old = dir_ / "old.lst";
    std::ofstream(old, std::ios::binary) << "previous run\r\n";
    for (const Case& c : cases) {
        EXPECT_EQ(
            message_of<OutputError>([&] { orv::write_node_history(fresh.string(), m, c.node, c.lists); }),
            c.message);
        EXPECT_EQ(message_of<OutputError>([&] { orv::write_node_history(old.string(), m, c.node, c.lists); }),
                  c.message);
        EXPECT_FALSE(fs::exists(fresh));
        EXPECT_EQ(file_bytes(old), "previous run\r\n");
    }
    EXPECT_TRUE(strays("old.lst").empty());
}

// A solver's file numbers its nodes sparsely: the text is a label, looked up,
// and the file's header shows it as typed.
TEST(NodeHistoryLabels, SparseLabelsAreLookedUp) {
    orv::ResultModel m = make_model(3, 2);
    m.node_labels = {0, 10, 2000, 7};
    for (std::size_t i = 1; i <= 3; ++i)
        m.listas_ref(i, 2) = static_cast<double>(i) / 4;
    struct Case {
        std::string text;
        int node;
        double value;
    };
    for (const Case& c :
         {Case{"2000", 2, 0.5}, Case{" 7", 3, 0.75}, Case{"10", 1, 0.25}, Case{"0", 0, 0.0}}) {
        const NodeHistory h = orv::read_node_history(m, c.text, {2});
        EXPECT_EQ(h.node, c.node) << c.text;
        ASSERT_EQ(h.values.size(), 1u);
        EXPECT_EQ(h.values[0], c.value) << c.text;
    }
    EXPECT_EQ(orv::format_node_history("2000", orv::read_node_history(m, "2000", {2})).substr(0, 10),
              "N\xF3: 2000\r\n");
    for (const char* missing : {"2", "3", "11", "-7"})
        EXPECT_EQ(message_of<OutputError>([&] { orv::read_node_history(m, missing, {1}); }),
                  "Node " + std::string(missing) + " does not exist: no node of the model has that number.");
}

TEST_F(NodeHistoryFile, WriteFailuresNameFileAndReasonAndLeaveNoTrace) {
    fs::create_directory(dir_ / "busy.lst"); // a folder where the file should go
    struct Case {
        fs::path path;
        std::string reason;
    } cases[] = {
        {dir_ / "missing" / "viga_0.lst", "No such file or directory"},
        {dir_ / "busy.lst", "Is a directory"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(message_of<OutputError>([&] { orv::write_file_atomically(c.path.string(), "data\r\n"); }),
                  "Cannot write file '" + c.path.string() + "': " + c.reason);
    }
    EXPECT_TRUE(fs::is_directory(dir_ / "busy.lst"));
    EXPECT_TRUE(fs::is_empty(dir_ / "busy.lst"));
    EXPECT_TRUE(strays("busy.lst").empty());
}

TEST_F(NodeHistoryFile, FullDiskLeavesTheOldFileWhole) {
    const fs::path file = dir_ / "viga_0.lst";
    std::ofstream(file, std::ios::binary) << "old contents\r\n";
    const std::string big(10000, 'x');
    std::string message;
    {
        FileSizeLimit limit(1000);
        message = message_of<OutputError>([&] { orv::write_file_atomically(file.string(), big); });
    }
    EXPECT_EQ(message, "Cannot write file '" + file.string() + "': File too large");
    EXPECT_EQ(file_bytes(file), "old contents\r\n");
    EXPECT_TRUE(strays("viga_0.lst").empty());
}

TEST_F(NodeHistoryFile, ExistingFileKeepsItsModeOrIsRefusedWhenReadOnly) {
    // A read-only file is refused whoever runs the program (the tests may run
    // as the superuser, whom the system would let write it); a writable one
    // is replaced and keeps its permission bits, not those of a new file.
    struct Case {
        fs::perms mode;
        bool refused;
    } cases[] = {
        {fs::perms(0444), true},  {fs::perms(0400), true},  {fs::perms(0555), true},
        {fs::perms(0640), false}, {fs::perms(0600), false}, {fs::perms(0664), false},
        {fs::perms(0755), false}, {fs::perms(0200), false},
    };
    const orv::ResultModel m = make_model(3, 2);
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.mode));
        const fs::path file = dir_ / "viga_0.lst";
        fs::remove(file);
        std::ofstream(file, std::ios::binary) << "previous run\r\n";
        fs::permissions(file, c.mode, fs::perm_options::replace);

        const std::string message = message_of<OutputError>([&] {
            orv::write_node_history(file.string(), m, "1", {1, 2});
        });
        if (c.refused) {
            EXPECT_EQ(message, "Cannot write file '" + file.string() + "': Permission denied");
            EXPECT_EQ(file_bytes(file), "previous run\r\n");
        } else {
            EXPECT_EQ(message, "(nothing thrown)");
            fs::permissions(file, fs::perms::owner_read, fs::perm_options::add); // to read it back
            EXPECT_EQ(file_bytes(file).substr(0, 7), "N\xF3: 1\r\n");
            fs::permissions(file, c.mode, fs::perm_options::replace);
        }
        EXPECT_EQ(fs::status(file).permissions(), c.mode);
        EXPECT_TRUE(strays("viga_0.lst").empty());
    }
}

} // namespace
