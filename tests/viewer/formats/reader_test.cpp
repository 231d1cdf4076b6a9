#include "../model/list_dump.h"
#include "viewer/formats/reader.h"
#include "viewer/model/info_report.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
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
    EXPECT_EQ(m.list_displacement(2, 1, 0), 0.01); // displacement of list 1 at node 2
    EXPECT_EQ(m.listas(2, 1), 25.0);
    EXPECT_EQ(m.namefile, fixture("example.txt"));
    // Row 0 exists and is empty.
    EXPECT_EQ(m.coord_data.size(), 3u * 7u);
    EXPECT_EQ(m.listas(0, 1), 0.0);
    EXPECT_EQ(m.values(1).size(), 3u);
    EXPECT_EQ(m.list_displacement(0, 1, 0), 0.0);
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

// Without a single marker line the bytes are no result file at all.
TEST(Reader, FileWithoutMarkerLinesIsRefused) {
    const std::string png("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16);
    for (const std::string& text : {std::string(), png, std::string("just some text\nand more\n"),
                                    std::string("  # indented, so no marker\n")})
        EXPECT_EQ(read_error(text), "mem.txt is not a result file: it has no line beginning with '#'.")
            << text;
}

TEST(Reader, MarkerLinesWithEmptyBlocksOpenEmpty) {
    const auto r = orv::read_result_bytes("#\n0 0\n#\n#\n", 10, "mem.txt");
    EXPECT_EQ(r.model.nnode, 0);
    EXPECT_EQ(r.model.nelem, 0);
    EXPECT_EQ(r.model.nlista, 0);
    EXPECT_EQ(r.model.scene_scale(), 1.0);
    EXPECT_TRUE(r.warnings.empty());
    // A lone marker: the sizes are missing, and the reader says so.
    const auto lone = orv::read_result_bytes("#\n", 2, "mem.txt");
    EXPECT_EQ(lone.model.nnode, 0);
    EXPECT_EQ(lone.warnings,
              (std::vector<std::string>{"mem.txt ends early: its sizes are missing and read as 0."}));
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
    std::vector<std::string> tokens = {
        "0.1", "0.3", "1e22", "1e23", "9007199254740993", "9007199254740992.5", "2.2250738585072011e-308",
        "4.9e-324", "1.7976931348623157e308", "123456789012345678901234567890",
        "0.000000000000000000000000123", "-7.0000000000000000000000000001", "3.14159265358979323846264338",
        // Too small for a double: 0 of the token's sign, or the nearest subnormal.
        "1e-400", "-1e-400", "2.4e-324", "-2.5e-324", "0.0000001e-320", "123456789e-340", "1e-99999999"};
    std::uniform_int_distribution<int> len(1, 22), digit(0, 9), expo(-360, 310), kind(0, 3);
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
    std::string text;
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
        ErrorCase{
            "beyond double range, negative", "#\n1 0\n#\n0 -1.8e308 0 0 0 0\n", {"Invalid numeric input"}},
        ErrorCase{"number longer than any real",
                  "#\n1 0\n#\n0." + std::string(5000, '0') + "1 0 0 0 0 0\n",
                  {"Invalid numeric input", "line 4"}},
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

TEST(InfoReport, ControlBytesOfNamesAreEscaped) {
    // ESC [ 2 J would clear the terminal that shows --info; a CR would hide
    // what comes before it.
    const std::string text = "t\n# sizes\n1 0\n# nodes\n0 0 0 0 0 0\n# elements\n# list\n"
                             "\x1B[2Jcleared\rback\x7F tab\there \xE9t\xE9\n0 0 0 7\n";
    const auto m = orv::read_result_buffer(text.data(), text.size(), "ctl.txt");
    // Latin-1 letters come out in the terminal's encoding (UTF-8 here).
    const std::string old_ctype = std::setlocale(LC_CTYPE, nullptr);
    ASSERT_NE(std::setlocale(LC_CTYPE, "C.UTF-8"), nullptr);
    const std::string report = orv::info_report(m);
    std::setlocale(LC_CTYPE, old_ctype.c_str());
    EXPECT_NE(report.find("list 1 7 7 \\x1B[2Jcleared\\x0Dback\\x7F tab\\x09here \xC3\xA9t\xC3\xA9\n"),
              std::string::npos)
        << report;
}

// ---- Files that are not regular files: refused at once, before anything can block ----

TEST(Reader, NonRegularFilesAreRefusedAtOnce) {
    const std::string dir = ::testing::TempDir() + "/orv_not_regular_" + std::to_string(::getpid());
    ::mkdir(dir.c_str(), 0700);
    const std::string fifo = dir + "/pipe.txt"; // a FIFO without a writer would block a plain open
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string link = dir + "/random.txt";
    ASSERT_EQ(::symlink("/dev/urandom", link.c_str()), 0);
    struct Case {
        std::string path;
        const char* kind;
    };
    for (const Case& c :
         {Case{fifo, "um FIFO"}, Case{link, "um dispositivo de caracteres"},
          Case{"/dev/zero", "um dispositivo de caracteres"}, Case{dir, "um diret\u00F3rio"}}) {
        try {
            orv::read_result_file(c.path);
            ADD_FAILURE() << c.path << " read";
        } catch (const orv::ReadError& e) {
            EXPECT_EQ(std::string(e.what()), "N\u00E3o foi poss\u00EDvel abrir " + c.path + ": \u00E9 " +
                                                 c.kind + ", n\u00E3o um arquivo comum");
        }
    }
    std::remove(fifo.c_str());
    std::remove(link.c_str());
    ::rmdir(dir.c_str());
}

// ---- Files that end early: zeros for what is missing, and a warning ----

struct EarlyCase {
    const char* what;
    std::string text;
    std::string warning; // "" for none
};

class ReaderEarlyEnd : public ::testing::TestWithParam<EarlyCase> {};

TEST_P(ReaderEarlyEnd, WarnsOnceAndReadsTheRestAsZero) {
    const EarlyCase& c = GetParam();
    for (int threads : {1, 3}) {
        orv::ReaderOptions o;
        o.threads = threads;
        o.chunk_bytes = 8;
        const auto r = orv::read_result_bytes(c.text.data(), c.text.size(), "mem.txt", o);
        if (c.warning.empty())
            EXPECT_TRUE(r.warnings.empty()) << r.warnings[0];
        else
            EXPECT_EQ(r.warnings, std::vector<std::string>{c.warning}) << threads << " threads";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, ReaderEarlyEnd,
    ::testing::Values(
        EarlyCase{"complete", "#\n2 1\n#\n0 0 0 0 0 0\n1 0 0 0 0 0\n#\n1 1 1 2\n#\nlist\n0 0 0 1\n0 0 0 2",
                  ""},
        EarlyCase{"inside the node block", "#\n3 1\n#\n1 2 3 4 5 6\n7 8",
                  "mem.txt ends early: 3 nodes announced, 1 read; the rest read as 0."},
        EarlyCase{"right after the node marker", "#\n3 1\n#\n",
                  "mem.txt ends early: 3 nodes announced, 0 read; the rest read as 0."},
        EarlyCase{"inside the element block", "#\n2 3\n#\n0 0 0 0 0 0\n1 0 0 0 0 0\n#\n1 1 1 2\n",
                  "mem.txt ends early: 3 elements announced, 1 read; the rest read as 0."},
        EarlyCase{"inside an element without nodes", "#\n2 3\n#\n0 0 0 0 0 0\n1 0 0 0 0 0\n#\n1 1 1 2\n5",
                  "mem.txt ends early: 3 elements announced, 1 read; the rest read as 0."},
        EarlyCase{"inside a result list", "#\n2 0\n#\n0 0 0 0 0 0\n1 0 0 0 0 0\n#\n#\nname\n0 0 0 5\n0.5",
                  "mem.txt ends early in result list 1 of 1: 2 nodes announced, 1 read; the rest read as 0."},
        EarlyCase{"at a list's marker", "#\n1 0\n#\n0 0 0 0 0 0\n#\n#\na\n0 0 0 1\n#",
                  "mem.txt ends early in result list 2 of 2: 1 nodes announced, 0 read; the rest read as 0."},
        EarlyCase{"no nodes to miss", "#\n0 0\n#\n#\n#", ""}),
    [](const auto& info) {
        std::string name = info.param.what;
        for (char& ch : name)
            if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
        return name;
    });

TEST(Reader, EarlyEndValuesAndRanges) {
    const std::string text = "#\n3 3\n#\n1 2 3 4 5 6\n7 8";
    const auto m = read_text(text);
    EXPECT_EQ(m.coord(2, 1), 7.0);
    EXPECT_EQ(m.coord(2, 2), 8.0);
    EXPECT_EQ(m.coord(2, 3), 0.0);
    EXPECT_EQ(m.coord(3, 1), 0.0);
    for (int e = 1; e <= 3; ++e)
        EXPECT_EQ(row(m, e), std::vector<std::int32_t>{0}); // family 0, order 0: no nodes
    // Missing values of a list read as 0 and count in its range.
    const auto l =
        read_text("#\n3 0\n#\n0 0 0 0 0 0\n1 0 0 0 0 0\n2 0 0 0 0 0\n#\n#\nname\n0 0 0 5\n0 0 0 7\n");
    EXPECT_EQ(l.maxlista[1], (std::array<double, 2>{0, 7}));
    EXPECT_EQ(l.listas(3, 1), 0.0);
}

// A file far shorter than it announces (a solver stopped by a full disk):
// the records that are there, zeros for the rest, on any number of threads.
TEST(Reader, LongAnnouncedBlockCutShort) {
    std::string text = "#\n10000 0\n#\n";
    for (int i = 1; i <= 1000; ++i)
        text += std::to_string(i) + " 1 2 3 4 5\n";
    text += "1001 1 2";
    for (int threads : {1, 2, 7}) {
        orv::ReaderOptions o;
        o.threads = threads;
        o.chunk_bytes = 100;
        const auto r = orv::read_result_bytes(text.data(), text.size(), "cut.txt", o);
        EXPECT_EQ(r.warnings,
                  std::vector<std::string>{
                      "cut.txt ends early: 10000 nodes announced, 1000 read; the rest read as 0."});
        EXPECT_EQ(r.model.coord(1000, 1), 1000.0);
        EXPECT_EQ(r.model.coord(1001, 1), 1001.0);
        EXPECT_EQ(r.model.coord(1001, 3), 2.0);
        EXPECT_EQ(r.model.coord(1001, 4), 0.0);
        EXPECT_EQ(r.model.coord(10000, 6), 0.0);
        EXPECT_EQ(r.model.maxscale, 1001.0);
    }
}

// ---- Parallel reading gives what one thread gives ----

// Everything a read produces, byte for byte: arrays, names, ranges,
// warnings, or the error message.
std::string fingerprint(const char* data, std::size_t size, const orv::ReaderOptions& options) {
    try {
        const auto r = orv::read_result_bytes(data, size, "gen.txt", options);
        const auto& m = r.model;
        std::string s;
        const auto put = [&](const void* p, std::size_t n) { s.append(static_cast<const char*>(p), n); };
        put(&m.nnode, 4);
        put(&m.nelem, 4);
        put(&m.nlista, 4);
        put(&m.maxscale, 8);
        put(&m.valmin, 8);
        put(&m.valmax, 8);
        put(m.coord_data.data(), m.coord_data.size() * 8);
        const std::vector<double> values = orv::test::all_list_values(m);
        const std::vector<double> displacements = orv::test::all_list_displacements(m);
        put(values.data(), values.size() * 8);
        put(displacements.data(), displacements.size() * 8);
        put(m.conec_data.data(), m.conec_data.size() * 4);
        put(m.conec_start.data(), m.conec_start.size() * 8);
        for (const auto& n : m.namelista)
            s += n + '\0';
        for (const auto& range : m.maxlista)
            put(range.data(), 16);
        for (const auto& w : r.warnings)
            s += "warning: " + w + '\n';
        return s;
    } catch (const orv::ReadError& e) {
        return std::string("error: ") + e.what();
    }
}

// A random result file with the awkward layouts a solver or an editor can
// leave: records over several lines with blank lines between, text after a
// record, CR LF, long names and names beginning with '#', comment lines that
// add lists, elements of every kind; then, for some, a cut at a random byte,
// a bad token or a stray marker line somewhere.
std::string awkward_file(std::uint32_t seed) {
    std::mt19937 rng(seed);
    const auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    const auto chance = [&](int percent) { return pick(0, 99) < percent; };
    const char* const nl = chance(30) ? "\r\n" : "\n";
    const auto real = [&] {
        static const char* const odd[] = {"-0", "0.0",    ".5",        "3.",
                                          "+7", "1e-400", "-2.5e-324", "1.7976931348623157e308"};
        switch (pick(0, 4)) {
        case 0:
            return std::to_string(pick(-5, 5));
        case 1:
            return std::string(odd[pick(0, 7)]);
        case 2: {
            char b[40];
            std::snprintf(b, sizeof b, "%.17g", std::uniform_real_distribution<double>(-1, 1)(rng));
            return std::string(b);
        }
        default: {
            char b[40];
            std::snprintf(b, sizeof b, "%.*f", pick(0, 6),
                          std::uniform_real_distribution<double>(-100, 100)(rng));
            return std::string(b);
        }
        }
    };
    std::string text;
    const auto record = [&](const std::vector<std::string>& tokens) {
        for (std::size_t i = 0; i < tokens.size(); ++i) {
            text += tokens[i];
            if (i + 1 < tokens.size() && chance(15)) {
                text += nl;
                while (chance(10))
                    text += std::string(chance(50) ? "" : "  \t") + nl;
            } else if (i + 1 < tokens.size()) {
                text += ' ';
            }
        }
        if (chance(15)) text += chance(50) ? " trailing words" : " # no marker";
        text += nl;
    };
    const int nnode = pick(0, 60), nelem = pick(0, 30), lists = pick(0, 4);
    if (chance(50)) text += std::string("title") + nl;
    text += std::string("# sizes") + nl;
    record({std::to_string(nnode), std::to_string(nelem)});
    text += std::string("# nodes") + nl;
    for (int i = 0; i < nnode; ++i)
        record({real(), real(), real(), real(), real(), real()});
    if (chance(20)) text += std::string("filler") + nl;
    text += std::string("# elements") + nl;
    for (int e = 0; e < nelem; ++e) {
        const int family = std::vector<int>{1, 2, 3, 3, 0, 5}[static_cast<std::size_t>(pick(0, 5))];
        const int order = pick(0, 2);
        std::vector<std::string> tokens{std::to_string(family), std::to_string(order)};
        for (std::int64_t j = orv::element_node_count(family, order); j > 0; --j)
            tokens.push_back(std::to_string(pick(1, std::max(nnode, 1))));
        record(tokens);
    }
    for (int k = 0; k < lists; ++k) {
        text += std::string("# list") + nl;
        if (chance(15)) text += std::string("# a comment line: one more list") + nl;
        text += (chance(20) ? std::string(static_cast<std::size_t>(pick(0, 300)), 'n')
                            : "name " + std::to_string(k)) +
                nl;
        for (int i = 0; i < nnode; ++i)
            record({real(), real(), real(), real()});
    }
    switch (pick(0, 9)) {
    case 0:
    case 1:
    case 2:
        text.resize(static_cast<std::size_t>(pick(0, static_cast<int>(text.size()))));
        break;
    case 3:
        text.insert(static_cast<std::size_t>(pick(0, static_cast<int>(text.size()))),
                    std::vector<std::string>{" abc ", "\n#\n", "\n", " 1e999 ",
                                             " 5 "}[static_cast<std::size_t>(pick(0, 4))]);
        break;
    default:
        break;
    }
    return text;
}

TEST(ReaderThreads, SameResultsAsOneThreadOnAwkwardFiles) {
    int errors = 0, warnings = 0;
    for (std::uint32_t seed = 1; seed <= 300; ++seed) {
        const std::string text = awkward_file(seed);
        orv::ReaderOptions one;
        one.threads = 1;
        const std::string expected = fingerprint(text.data(), text.size(), one);
        errors += expected.rfind("error: ", 0) == 0;
        warnings += expected.find("warning: ") != std::string::npos;
        for (int threads : {2, 3, 7})
            for (std::size_t chunk : {1, 16, 61, 256}) {
                orv::ReaderOptions o;
                o.threads = threads;
                o.chunk_bytes = chunk;
                const std::string got = fingerprint(text.data(), text.size(), o);
                ASSERT_EQ(got == expected, true)
                    << "seed " << seed << ", " << threads << " threads, chunk " << chunk << "\n"
                    << (expected.rfind("error", 0) == 0 ? expected : "(model)") << "\n"
                    << (got.rfind("error", 0) == 0 ? got : "(model)");
            }
    }
    // The table holds errors, warnings and clean files alike.
    EXPECT_GT(errors, 20);
    EXPECT_GT(warnings, 20);
}

TEST(ReaderThreads, SameResultsOnTheFixturesFromAFile) {
    for (const char* name :
         {"example.txt", "two_lines_crlf.txt", "comment_adds_list.txt", "element_kinds.txt", "ranges.txt",
          "no_lists.txt", "ends_early.txt", "all_zero.txt"}) {
        orv::ReaderOptions one;
        one.threads = 1;
        const auto expected = orv::read_result(fixture(name), one);
        for (int threads : {2, 3, 7}) {
            orv::ReaderOptions o;
            o.threads = threads;
            o.chunk_bytes = 5;
            const auto got = orv::read_result(fixture(name), o);
            EXPECT_EQ(got.model.coord_data, expected.model.coord_data) << name;
            EXPECT_EQ(orv::test::all_list_values(got.model), orv::test::all_list_values(expected.model))
                << name;
            EXPECT_EQ(orv::test::all_list_displacements(got.model),
                      orv::test::all_list_displacements(expected.model))
                << name;
            EXPECT_EQ(got.model.conec_data, expected.model.conec_data) << name;
            EXPECT_EQ(got.model.conec_start, expected.model.conec_start) << name;
            EXPECT_EQ(got.model.namelista, expected.model.namelista) << name;
            EXPECT_EQ(got.model.maxlista, expected.model.maxlista) << name;
            EXPECT_EQ(got.warnings, expected.warnings) << name;
        }
    }
}

// A bad token near the end of a long block: the message names its line
// whichever chunk finds it, and an earlier error wins over a later one.
TEST(ReaderThreads, ErrorInTheLastChunkKeepsItsLine) {
    std::string text = "#\n3000 1\n#\n";
    for (int i = 1; i <= 3000; ++i)
        text += (i == 2990 ? std::string("1 2 x3") : std::to_string(i) + " 0 0") + " 0 0 0\n";
    text += "#\n3 1 1 2 3 4\n";
    const std::string late = "Invalid numeric input at line 2993 of mem.txt"; // 3 lines before node 1
    std::string early = text;
    early.replace(early.find("\n2 0 0"), 6, "\n2 0 ?");
    for (int threads : {1, 2, 3, 7}) {
        orv::ReaderOptions o;
        o.threads = threads;
        o.chunk_bytes = 64;
        try {
            orv::read_result_bytes(text.data(), text.size(), "mem.txt", o);
            ADD_FAILURE() << "no error";
        } catch (const orv::ReadError& e) {
            EXPECT_EQ(std::string(e.what()), late) << threads;
        }
        try {
            orv::read_result_bytes(early.data(), early.size(), "mem.txt", o);
            ADD_FAILURE() << "no error";
        } catch (const orv::ReadError& e) {
            EXPECT_EQ(std::string(e.what()), "Invalid numeric input at line 5 of mem.txt") << threads;
        }
    }
}

TEST(ReaderThreads, EnvironmentSetsTheDefault) {
    const char* saved = std::getenv("ORVANEL_THREADS");
    const std::string keep = saved ? saved : "";
    ::setenv("ORVANEL_THREADS", "3", 1);
    EXPECT_EQ(orv::default_reader_threads(), 3);
    ::setenv("ORVANEL_THREADS", "1", 1);
    EXPECT_EQ(orv::default_reader_threads(), 1);
    ::unsetenv("ORVANEL_THREADS");
    const int machine = orv::default_reader_threads();
    EXPECT_GE(machine, 1);
    for (const char* bad : {"0", "-2", "two", ""}) {
        ::setenv("ORVANEL_THREADS", bad, 1);
        EXPECT_EQ(orv::default_reader_threads(), machine) << bad;
    }
    if (saved)
        ::setenv("ORVANEL_THREADS", keep.c_str(), 1);
    else
        ::unsetenv("ORVANEL_THREADS");
}

TEST(ReaderThreads, EnvironmentValueTable) {
    struct Case {
        const char* value;
        unsigned hardware;
        int threads;
        bool warns;
    };
    const Case cases[] = {
        {nullptr, 2, 2, false},   {"", 2, 2, false},
        {"1", 2, 1, false},       {"2", 2, 2, false},
        {"8", 2, 8, false},       {"9", 2, 8, false},
        {"100000", 4, 16, false}, {"99999999999999999999", 2, 8, false},
        {"0", 2, 2, true},        {"-3", 2, 2, true},
        {"two", 2, 2, true},      {"3x", 2, 2, true},
        {"2.5", 2, 2, true},      {"\x1b[2J", 1, 1, true},
        {nullptr, 0, 1, false},   {"5", 0, 4, false},
    };
    for (const Case& c : cases) {
        const orv::ThreadSetting s = orv::reader_threads_from(c.value, c.hardware);
        const std::string shown = c.value ? c.value : "(unset)";
        EXPECT_EQ(s.threads, c.threads) << shown;
        EXPECT_EQ(!s.warning.empty(), c.warns) << shown;
        if (!s.warning.empty()) {
            EXPECT_EQ(s.warning.find('\n'), std::string::npos) << "one line";
            EXPECT_EQ(s.warning.find('\x1b'), std::string::npos) << "no raw control bytes";
            EXPECT_NE(s.warning.find("ORVANEL_THREADS"), std::string::npos);
        }
    }
}

// A read that takes its threads from a bad ORVANEL_THREADS says so first,
// and still reads; one given its threads says nothing.
TEST(ReaderThreads, BadEnvironmentWarnsOnTheRead) {
    const char* saved = std::getenv("ORVANEL_THREADS");
    const std::string keep = saved ? saved : "";
    ::setenv("ORVANEL_THREADS", "many", 1);
    const std::string text = "#\n3 1\n#\n1 0 0 0 0 0\n0 1 0 0 0 0\n0 0 1\n";
    const orv::ReadResult r = orv::read_result_bytes(text.data(), text.size(), "mem.txt");
    ASSERT_EQ(r.warnings.size(), 2u);
    EXPECT_EQ(r.warnings[0].find("ORVANEL_THREADS=\"many\" is not a positive whole number"), 0u)
        << r.warnings[0];
    EXPECT_NE(r.warnings[1].find("ends early"), std::string::npos) << r.warnings[1];
    orv::ReaderOptions one;
    one.threads = 1;
    EXPECT_EQ(orv::read_result_bytes(text.data(), text.size(), "mem.txt", one).warnings.size(), 1u);
    // Another solver's file: the same warning, first.
    const std::string vtk =
        "# vtk DataFile Version 3.0\nx\nASCII\nDATASET UNSTRUCTURED_GRID\nPOINTS 3 double\n"
        "0 0 0 1 0 0 0 1 0\nCELLS 1 4\n3 0 1 2\nCELL_TYPES 1\n5\n";
    const orv::ReadResult v = orv::read_result_bytes(vtk.data(), vtk.size(), "mem.vtk");
    ASSERT_EQ(v.warnings.size(), 1u);
    EXPECT_EQ(v.warnings[0].find("ORVANEL_THREADS=\"many\" is not a positive whole number"), 0u)
        << v.warnings[0];
    EXPECT_TRUE(orv::read_result_bytes(vtk.data(), vtk.size(), "mem.vtk", one).warnings.empty());
    if (saved)
        ::setenv("ORVANEL_THREADS", keep.c_str(), 1);
    else
        ::unsetenv("ORVANEL_THREADS");
}

// ---- Progress and cancel ----

TEST(ReaderProgress, ReportsGrowingBytesUpToTheSize) {
    std::string text = "#\n2000 0\n#\n";
    for (int i = 0; i < 2000; ++i)
        text += "1.5 2.5 3.5 4.5 5.5 6.5\n";
    for (int threads : {1, 3}) {
        orv::ReaderOptions o;
        o.threads = threads;
        o.chunk_bytes = 1000;
        std::vector<std::uint64_t> seen;
        o.progress = [&](std::uint64_t done, std::uint64_t total) {
            EXPECT_EQ(total, text.size());
            seen.push_back(done);
            return true;
        };
        const auto m = orv::read_result_buffer(text.data(), text.size(), "mem.txt", o);
        EXPECT_EQ(m.coord(2000, 6), 6.5);
        // On several threads only the calling thread reports, so how often depends on the scheduler.
        ASSERT_GE(seen.size(), threads == 1 ? 40u : 1u) << threads;
        EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
        EXPECT_LE(seen.back(), text.size());
        if (threads == 1) {
            EXPECT_GT(seen.back(), text.size() * 8 / 10);
        }
    }
}

// Many short result lists: the reader fetches each list's name with a
// fetch sized to the list, so the bytes it fetches stay within twice the file
// whatever the number of lists, and the progress counts each byte once.
TEST(ReaderProgress, ManyShortListsReadAtFileSize) {
    std::string text = "title\n#\n1 0\n#\n1 2 3 0 0 0\n#\n";
    for (int k = 1; k <= 20000; ++k)
        text += "#\nlist " + std::to_string(k) + "\n0 0 0 " + std::to_string(k) + "\n";
    const std::string path = ::testing::TempDir() + "/many_lists.txt";
    {
        std::FILE* f = std::fopen(path.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        ASSERT_EQ(std::fwrite(text.data(), 1, text.size(), f), text.size());
        std::fclose(f);
    }
    for (int threads : {1, 2}) {
        orv::ReaderOptions o;
        o.threads = threads;
        std::vector<std::uint64_t> seen;
        o.progress = [&](std::uint64_t done, std::uint64_t) {
            seen.push_back(done);
            return true;
        };
        const orv::ReadResult r = orv::read_result(path, o);
        ASSERT_EQ(r.model.nlista, 20000);
        EXPECT_EQ(r.model.namelista[20000], "list 20000");
        EXPECT_EQ(r.model.listas(1, 12345), 12345.0);
        EXPECT_LE(r.bytes_fetched, 2 * text.size()) << threads;
        EXPECT_GE(r.bytes_fetched, text.size()) << threads;
        ASSERT_FALSE(seen.empty());
        EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
        EXPECT_EQ(seen.back(), text.size()) << threads;
        // The count reaches the size only at the end, not after the first lists.
        const auto at_end = std::count(seen.begin(), seen.end(), seen.back());
        EXPECT_LT(static_cast<double>(at_end), 0.01 * static_cast<double>(seen.size())) << threads;
    }
    std::remove(path.c_str());
}

TEST(ReaderProgress, FalseCancelsWithADistinctError) {
    std::string text = "#\n2000 0\n#\n";
    for (int i = 0; i < 2000; ++i)
        text += "1 2 3 4 5 6\n";
    const std::string path = ::testing::TempDir() + "/cancel.txt";
    {
        std::FILE* f = std::fopen(path.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::fwrite(text.data(), 1, text.size(), f);
        std::fclose(f);
    }
    for (int threads : {1, 3})
        for (int stop_at : {1, 5, 20}) {
            if (threads > 1 && stop_at > 1) continue; // the calling thread may have had one chunk only
            orv::ReaderOptions o;
            o.threads = threads;
            o.chunk_bytes = 512;
            int calls = 0;
            o.progress = [&](std::uint64_t, std::uint64_t) { return ++calls < stop_at; };
            EXPECT_THROW(orv::read_result(path, o), orv::ReadCancelled) << threads << " " << stop_at;
            EXPECT_EQ(calls, stop_at);
            try {
                orv::read_result(path, o);
            } catch (const orv::ReadError& e) { // still a ReadError for callers that only know that
                EXPECT_EQ(std::string(e.what()), "Reading cancel.txt was cancelled");
            }
        }
    std::remove(path.c_str());
}

// A file cut short by another program while it is read (here by the
// progress callback, after the first window) is refused, never read as a
// model of what happened to be there, whatever the number of threads.
TEST(ReaderProgress, FileThatBecomesShorterIsRefused) {
    std::string text = "#\n2000 0\n#\n";
    for (int i = 0; i < 2000; ++i)
        text += "1 2 3 4 5 6\n";
    const std::string path = ::testing::TempDir() + "/shrinks.txt";
    for (int threads : {1, 3}) {
        std::FILE* f = std::fopen(path.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::fwrite(text.data(), 1, text.size(), f);
        std::fclose(f);
        orv::ReaderOptions o;
        o.threads = threads;
        o.chunk_bytes = 512;
        bool cut = false;
        o.progress = [&](std::uint64_t, std::uint64_t) {
            if (!cut) cut = ::truncate(path.c_str(), static_cast<off_t>(text.size() / 3)) == 0;
            return true;
        };
        try {
            orv::read_result(path, o);
            ADD_FAILURE() << threads << " threads: read accepted";
        } catch (const orv::ReadError& e) {
            EXPECT_STREQ(e.what(), "shrinks.txt became shorter while it was read") << threads;
        }
        EXPECT_TRUE(cut);
    }
    std::remove(path.c_str());
}

} // namespace
