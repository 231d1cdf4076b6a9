#include "viewer/model/info_report.h"
#include "viewer/model/reader.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

std::string fixture(const std::string& name) {
    return std::string(ORVANEL_TEST_DATA) + "/reader/" + name;
}

orv::ResultModel read_text(const std::string& text) {
    return orv::read_result_buffer(text.data(), text.size(), "mem.txt");
}

std::string read_error(const std::string& text) {
    try {
        read_text(text);
    } catch (const orv::ReadError& e) {
        return e.what();
    }
    return "(no error)";
}

std::vector<std::int32_t> row(const orv::ResultModel& m, int e) {
    auto r = m.conec(e);
    return {r.begin(), r.end()};
}

TEST(Reader, ExampleFile) {
    const auto m = orv::read_result_file(fixture("example.txt"));
    EXPECT_EQ(m.nnode, 2);
    EXPECT_EQ(m.nelem, 1);
    EXPECT_EQ(m.nlista, 1);
    EXPECT_EQ(row(m, 1), (std::vector<std::int32_t>{101, 1, 2}));
    EXPECT_EQ(m.maxscale, 1.0);
    EXPECT_EQ(m.scene_scale(), 2.0);
    EXPECT_EQ(m.maxlista[1], (std::array<double, 2>{0, 25}));
    EXPECT_EQ(m.maxlista[0], (std::array<double, 2>{0, 25}));
    EXPECT_EQ(m.namelista[1], "the list's name");
    EXPECT_EQ(m.coord(2, 7), 0.01); // displacement of list 1 at node 2
    EXPECT_EQ(m.listas(2, 1), 25.0);
    EXPECT_EQ(m.namefile, fixture("example.txt"));
    // Row and column 0 exist and are empty.
    EXPECT_EQ(m.coord_data.size(), 3u * 10u);
    EXPECT_EQ(m.listas(0, 1), 0.0);
    EXPECT_EQ(m.listas(1, 0), 0.0);
}

TEST(Reader, RecordsOverTwoLinesTrailingTextAndCrLf) {
    const auto m = orv::read_result_file(fixture("two_lines_crlf.txt"));
    ASSERT_EQ(m.nnode, 3);
    ASSERT_EQ(m.nelem, 1);
    ASSERT_EQ(m.nlista, 1);
    // Node 1 spans two lines; the rest of its second line is skipped.
    for (int j = 1; j <= 6; ++j)
        EXPECT_EQ(m.coord(1, j), 0.0) << j;
    EXPECT_EQ(m.coord(2, 1), 4.0);
    EXPECT_EQ(m.coord(3, 2), 2.0);
    EXPECT_EQ(m.coord(3, 4), 0.5);
    EXPECT_EQ(row(m, 1), (std::vector<std::int32_t>{201, 1, 2, 3}));
    EXPECT_EQ(m.namelista[1], "   Tensao  "); // leading and trailing blanks kept, CR LF stripped
    EXPECT_EQ(m.listas(1, 1), 1.5);
    EXPECT_EQ(m.listas(2, 1), -2.0);
    EXPECT_EQ(m.listas(3, 1), 7.0); // value on the next line
    EXPECT_EQ(m.maxscale, 4.0);
}

TEST(Reader, CommentLineAfterElementsAddsAList) {
    const auto m = orv::read_result_file(fixture("comment_adds_list.txt"));
    ASSERT_EQ(m.nlista, 2);
    EXPECT_EQ(m.namelista[1], "real list");
    EXPECT_EQ(m.namelista[2], "written by the solver");
    // Its values are missing at end of file and read as 0.
    EXPECT_EQ(m.maxlista[2], (std::array<double, 2>{0, 0}));
    EXPECT_EQ(m.maxlista[0], (std::array<double, 2>{0, 4}));
}

TEST(Reader, ElementKindsAndCodes) {
    const auto m = orv::read_result_file(fixture("element_kinds.txt"));
    ASSERT_EQ(m.nelem, 3);
    EXPECT_EQ(row(m, 1), (std::vector<std::int32_t>{507}));
    EXPECT_EQ(row(m, 2), (std::vector<std::int32_t>{202, 1, 2, 3, 5, 6, 9}));
    EXPECT_EQ(m.conec(3).size(), 17u);
    EXPECT_EQ(m.element_code(3), 303);
    EXPECT_EQ(m.conec(3)[16], 16);
    EXPECT_EQ(orv::decode_element(303).family, 3);
    EXPECT_EQ(orv::decode_element(303).order, 3);
}

TEST(Reader, RangesAreExactPerListAndEnvelopeOverAll) {
    const auto m = orv::read_result_file(fixture("ranges.txt"));
    ASSERT_EQ(m.nlista, 3);
    EXPECT_EQ(m.maxlista[1], (std::array<double, 2>{100, 200}));
    EXPECT_EQ(m.maxlista[2], (std::array<double, 2>{-3, -1}));
    EXPECT_EQ(m.maxlista[3], (std::array<double, 2>{5, 5}));
    EXPECT_EQ(m.maxlista[0], (std::array<double, 2>{-3, 200}));
    EXPECT_EQ(m.valmin, -3);
    EXPECT_EQ(m.valmax, 200);
    // Displacements of the lists (9) never count towards maxscale.
    EXPECT_EQ(m.maxscale, 2.0);
}

TEST(Reader, NoResultLists) {
    const auto m = orv::read_result_file(fixture("no_lists.txt"));
    EXPECT_EQ(m.nlista, 0);
    EXPECT_EQ(m.coord_cols(), 7u);
    ASSERT_EQ(m.maxlista.size(), 1u);
    EXPECT_EQ(m.maxlista[0], (std::array<double, 2>{0, 0}));
    EXPECT_EQ(m.valmin, 0);
    EXPECT_EQ(m.valmax, 0);
    EXPECT_EQ(m.maxscale, 3);
}

TEST(Reader, FileEndingEarlyReadsZeros) {
    const auto m = orv::read_result_file(fixture("ends_early.txt"));
    EXPECT_EQ(m.nnode, 3);
    EXPECT_EQ(m.coord(2, 1), 7.0);
    EXPECT_EQ(m.coord(2, 2), 8.0);
    EXPECT_EQ(m.coord(2, 3), 0.0);
    EXPECT_EQ(m.coord(3, 1), 0.0);
    EXPECT_EQ(m.element_code(1), 0); // family 0, order 0: no nodes to read
}

TEST(Reader, AllZeroNodeBlockFallsBackToScaleOne) {
    const auto m = orv::read_result_file(fixture("all_zero.txt"));
    EXPECT_EQ(m.maxscale, 0.0);
    EXPECT_EQ(m.scene_scale(), 1.0);
    ASSERT_EQ(m.nlista, 1);
    EXPECT_EQ(m.namelista[1], ""); // name missing at end of file
}

TEST(Reader, EmptyInputIsAnEmptyModel) {
    const auto m = read_text("");
    EXPECT_EQ(m.nnode, 0);
    EXPECT_EQ(m.nelem, 0);
    EXPECT_EQ(m.nlista, 0);
    EXPECT_EQ(m.scene_scale(), 1.0);
}

TEST(Reader, NumbersAcceptedInEveryWrittenForm) {
    const auto m = read_text("#\n1 0\n#\n+1.5 -2e3 .25 3. 1E-2 -0\n");
    EXPECT_EQ(m.coord(1, 1), 1.5);
    EXPECT_EQ(m.coord(1, 2), -2000.0);
    EXPECT_EQ(m.coord(1, 3), 0.25);
    EXPECT_EQ(m.coord(1, 4), 3.0);
    EXPECT_EQ(m.coord(1, 5), 0.01);
    EXPECT_TRUE(std::signbit(m.coord(1, 6)));
}

// Every real must come out bit-identical to strtod, also for long mantissas,
// tiny and huge exponents and values that round half-way.
TEST(Reader, RealsAreBitExactWithStrtod) {
    std::mt19937_64 rng(12345);
    std::vector<std::string> tokens = {"0.1",
                                       "0.3",
                                       "1e22",
                                       "1e23",
                                       "9007199254740993",
                                       "9007199254740992.5",
                                       "2.2250738585072011e-308",
                                       "4.9e-324",
                                       "1.7976931348623157e308",
                                       "123456789012345678901234567890",
                                       "0.000000000000000000000000123",
                                       "-7.0000000000000000000000000001",
                                       "3.14159265358979323846264338"};
    std::uniform_int_distribution<int> len(1, 22), digit(0, 9), expo(-320, 310), kind(0, 3);
    for (int n = 0; n < 20000; ++n) {
        std::string t;
        if (kind(rng) == 0) t += '-';
        const int l = len(rng);
        const int dot = std::uniform_int_distribution<int>(0, l)(rng);
        for (int i = 0; i < l; ++i) {
            if (i == dot) t += '.';
            t += static_cast<char>('0' + digit(rng));
        }
        if (kind(rng) >= 2) t += (kind(rng) & 1 ? "e" : "E") + std::to_string(expo(rng) / (kind(rng) + 1));
        const double ref = std::strtod(t.c_str(), nullptr);
        if (std::isfinite(ref)) tokens.push_back(t);
    }
    std::string text = "#\n" + std::to_string(tokens.size()) + " 0\n#\n";
    for (const auto& t : tokens)
        text += t + " 0 0 0 0 0\n";
    const auto m = read_text(text);
    for (std::size_t i = 0; i < tokens.size(); ++i) {
        const double ref = std::strtod(tokens[i].c_str(), nullptr);
        const double got = m.coord(i + 1, 1);
        ASSERT_EQ(std::memcmp(&ref, &got, sizeof ref), 0) << tokens[i] << " read as " << got;
    }
}

// Read from a file, tokens straddle the reader's 1 MiB chunks: long digit
// runs, exponents and signs land on every offset around a chunk boundary.
TEST(Reader, TokensAcrossChunkBoundariesInAFile) {
    std::vector<std::string> tokens;
    const char* shapes[] = {"1234567890123456789012345.5",
                            "-0.000123456789",
                            "+7.25e-3",
                            "42",
                            "9.999999999999999e22",
                            "3.",
                            ".5",
                            "123456789012345678"};
    std::string body;
    int n = 0;
    while (body.size() < (3u << 20)) {
        std::string t = shapes[n % 8];
        if (t.find('e') == std::string::npos) t += std::string(n % 3, '0'); // trailing zeros shift alignments
        tokens.push_back(t);
        body += t + std::string(1 + n % 5, ' ') + "0 0 0 0 0\n";
        ++n;
    }
    const std::string path = ::testing::TempDir() + "/chunks.txt";
    {
        std::FILE* f = std::fopen(path.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        const std::string head = "#\n" + std::to_string(tokens.size()) + " 0\n#\n";
        std::fwrite(head.data(), 1, head.size(), f);
        std::fwrite(body.data(), 1, body.size(), f);
        std::fclose(f);
    }
    const auto m = orv::read_result_file(path);
    ASSERT_EQ(m.nnode, static_cast<int>(tokens.size()));
    for (std::size_t i = 0; i < tokens.size(); ++i) {
        const double ref = std::strtod(tokens[i].c_str(), nullptr);
        ASSERT_EQ(m.coord(i + 1, 1), ref) << tokens[i] << " at node " << i + 1;
        ASSERT_EQ(m.coord(i + 1, 2), 0.0);
    }
    std::remove(path.c_str());
}

struct ErrorCase {
    const char* what;
    const char* text;
    std::vector<const char*> expected; // substrings of the message
};

class ReaderErrors : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(ReaderErrors, AreReportedWithAClearMessage) {
    const ErrorCase& c = GetParam();
    const std::string message = read_error(c.text);
    for (const char* part : c.expected)
        EXPECT_NE(message.find(part), std::string::npos) << message;
}

INSTANTIATE_TEST_SUITE_P(
    Table, ReaderErrors,
    ::testing::Values(
        ErrorCase{"letters in a node", "#\n1 0\n#\n0 0 abc 0 0 0\n", {"Invalid numeric input", "line 4"}},
        ErrorCase{"number glued to text", "#\n1 0\n#\n0 0 1.5x 0 0 0\n", {"Invalid numeric input", "line 4"}},
        ErrorCase{"real where an integer is due", "#\n2.5 0\n", {"Invalid numeric input", "line 2"}},
        ErrorCase{"integer beyond 32 bits", "#\n99999999999 0\n", {"Invalid numeric input"}},
        ErrorCase{"infinity", "#\n1 0\n#\ninf 0 0 0 0 0\n", {"Invalid numeric input"}},
        ErrorCase{"nan", "#\n1 0\n#\n0 nan 0 0 0 0\n", {"Invalid numeric input"}},
        ErrorCase{"beyond double range", "#\n1 0\n#\n1e999 0 0 0 0 0\n", {"Invalid numeric input"}},
        ErrorCase{"fewer node records than announced",
                  "#\n3 0\n#\n0 0 0 0 0 0\n1 0 0 0 0 0\n#\n",
                  {"Invalid numeric input", "line 6"}},
        ErrorCase{"order 100",
                  "#\n2 1\n#\n0 0 0 0 0 0\n1 0 0 0 0 0\n#\n1 100 1 2\n",
                  {"Element 1", "line 7", "order 100"}},
        ErrorCase{"negative order",
                  "#\n2 2\n#\n0 0 0 0 0 0\n1 0 0 0 0 0\n#\n1 1 1 2\n\n1 -1\n",
                  {"Element 2", "line 9", "order -1"}},
        ErrorCase{"node beyond nnode",
                  "#\n2 1\n#\n0 0 0 0 0 0\n1 0 0 0 0 0\n#\n1 1 1 3\n",
                  {"Element 1", "line 7", "node 3"}},
        ErrorCase{"node 0", "#\n2 1\n#\n0 0 0 0 0 0\n1 0 0 0 0 0\n#\n2 1 1 2 0\n", {"Element 1", "node 0"}},
        ErrorCase{"element cut by end of file",
                  "#\n2 1\n#\n0 0 0 0 0 0\n1 0 0 0 0 0\n#\n1 1 1\n",
                  {"Element 1", "node 0"}},
        ErrorCase{"negative family", "#\n1 1\n#\n0 0 0 0 0 0\n#\n-1 1\n", {"Element 1", "family -1"}},
        ErrorCase{"negative sizes", "#\n-5 1\n", {"Invalid sizes", "-5"}},
        ErrorCase{"absurd node count", "#\n2000000000 5\n", {"2000000000 nodes", "holds only 15 bytes"}},
        ErrorCase{"absurd element count", "#\n1 2000000000\n", {"2000000000 elements", "holds only"}}),
    [](const auto& info) {
        std::string name = info.param.what;
        for (char& ch : name)
            if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
        return name;
    });

TEST(Reader, MissingFileNamesFileAndReason) {
    try {
        orv::read_result_file("/nonexistent/dir/viga.txt");
        FAIL() << "no error";
    } catch (const orv::ReadError& e) {
        EXPECT_NE(std::string(e.what()).find("/nonexistent/dir/viga.txt"), std::string::npos);
        EXPECT_NE(std::string(e.what()).find("No such file or directory"), std::string::npos);
    }
}

TEST(Reader, DirectoryIsReportedNotCrashed) {
    EXPECT_THROW(orv::read_result_file(ORVANEL_TEST_DATA), orv::ReadError);
}

TEST(Reader, MemoryLimitRefusesBeforeAllocating) {
    orv::ReaderOptions small;
    small.memory_limit = 1 << 20;
    const std::string text = "#\n100000 0\n" + std::string(100000, ' ');
    EXPECT_THROW(orv::read_result_buffer(text.data(), text.size(), "m", small), orv::ReadError);
    EXPECT_NO_THROW(orv::read_result_buffer(text.data(), text.size(), "m"));
    try {
        orv::read_result_buffer(text.data(), text.size(), "m", small);
    } catch (const orv::ReadError& e) {
        EXPECT_NE(std::string(e.what()).find("MiB of memory"), std::string::npos) << e.what();
    }
}

TEST(InfoReport, ListsSizesRangesAndCodes) {
    const auto m = orv::read_result_file(fixture("element_kinds.txt"));
    EXPECT_EQ(orv::info_report(m),
              "nnode 16\nnelem 3\nnlista 0\nmaxscale 3\nrange 0 0\ncodes 202:1 303:1 507:1\n");
    const auto r = orv::read_result_file(fixture("ranges.txt"));
    EXPECT_EQ(orv::info_report(r), "nnode 3\nnelem 0\nnlista 3\nmaxscale 2\nrange -3 200\n"
                                   "list 1 100 200 big\nlist 2 -3 -1 negative\nlist 3 5 5 constant\ncodes\n");
}

} // namespace
