// List sequences, output file names and typed integers.

#include "viewer/model/number_text.h"
#include "viewer/output/list_sequence.h"
#include "viewer/output/output_error.h"
#include "viewer/output/output_names.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

namespace {

using orv::OutputError;

constexpr long long kNoLimit = LLONG_MAX;

TEST(ListSequence, FirstThenStepsBelowLastThenLast) {
    struct Case {
        int a, b, s;
        long long plot_items;
        std::vector<int> expected;
    } cases[] = {
        {1, 10, 3, kNoLimit, {1, 4, 7, 10}},
        {1, 10, 4, kNoLimit, {1, 5, 9, 10}},
        {3, 4, 1, kNoLimit, {3, 4}},
        {2, 11, 3, kNoLimit, {2, 5, 8, 11}},
        {1, 1, 1, kNoLimit, {1, 1}},                           // a = b: a, then b again
        {5, 5, 1, kNoLimit, {5, 5}},                           // nlista 5, first list 5: recorded twice
        {7, 3, 2, kNoLimit, {7, 3}},                           // a > b: a, then b
        {1, 3, 10, kNoLimit, {1, 3}},                          // step past the end
        {1, 4, 3, kNoLimit, {1, 4}},                           // a + s = b is not repeated
        {1, 10, 0, kNoLimit, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}}, // step below 1 counts as 1
        {1, 10, -4, kNoLimit, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}},
        {1, 20, 3, 9, {1, 4, 7, 20}}, // the walk stops where the plot list ends
        {1, 20, 3, 10, {1, 4, 7, 10, 20}},
        {INT_MAX - 2, INT_MAX, 2, kNoLimit, {INT_MAX - 2, INT_MAX}},
        {1, INT_MAX, INT_MAX, kNoLimit, {1, INT_MAX}}, // a + s overflows 32 bits
    };
    for (const Case& c : cases)
        EXPECT_EQ(orv::list_sequence(c.a, c.b, c.s, c.plot_items), c.expected)
            << "a=" << c.a << " b=" << c.b << " s=" << c.s << " items=" << c.plot_items;
}

TEST(ListSequence, ListsOutsideTheFileAreNamed) {
    EXPECT_NO_THROW(orv::check_lists({1, 4, 7, 10}, 10));
    struct Case {
        std::vector<int> lists;
        int nlista;
        std::string message;
    } cases[] = {
        {{12, 10}, 10, "Result list 12 does not exist: the lists are numbered 1 to 10."},
        {{1, 11}, 10, "Result list 11 does not exist: the lists are numbered 1 to 10."},
        {{0, 3}, 10, "Result list 0 does not exist: the lists are numbered 1 to 10."},
        {{1, 1}, 0, "Result list 1 does not exist: the file has no result lists."},
    };
    for (const Case& c : cases) {
        try {
            orv::check_lists(c.lists, c.nlista);
            ADD_FAILURE() << c.message;
        } catch (const OutputError& e) {
            EXPECT_EQ(std::string(e.what()), c.message);
        }
    }
}

TEST(OutputNames, ExtensionOfTheBaseNameIsReplaced) {
    struct Case {
        std::string namefile, avi, list_tag, list;
    } cases[] = {
        {"viga.txt", "viga.avi", "3", "viga_3.lst"},
        {"/home/ana/casos/viga.txt", "viga.avi", "3", "viga_3.lst"},
        {"placa.dat", "placa.avi", "A", "placa_A.lst"},
        {"placa", "placa.avi", "A", "placa_A.lst"},             // no extension: suffix appended
        {"/data/run.1/placa", "placa.avi", "0", "placa_0.lst"}, // dot in a folder only
        {"/data/run.1/v2.0/viga.res.txt", "viga.res.avi", "x", "viga.res_x.lst"},
        {"./viga.txt", "viga.avi", "0", "viga_0.lst"},
        {"viga.", "viga.avi", "1", "viga_1.lst"},
        {"/data/.hidden", ".hidden.avi", "1", ".hidden_1.lst"}, // a leading dot is no extension
        {"ponte com espaço.txt", "ponte com espaço.avi", "nó 2", "ponte com espaço_nó 2.lst"},
        {"viga.txt", "viga.avi", "", "viga_.lst"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(orv::avi_file_name(c.namefile), c.avi) << c.namefile;
        EXPECT_EQ(orv::list_file_name(c.namefile, c.list_tag), c.list) << c.namefile;
    }
}

TEST(OutputNames, FigureNameCarriesTheListNumber) {
    const struct {
        std::string namefile;
        int list;
        std::string figure;
    } cases[] = {
        {"/home/ana/casos/placa.txt", 3, "placa_3.png"},
        {"placa.txt", 0, "placa.png"}, // no list checked
        {"/data/run.1/placa", 12, "placa_12.png"},
        {"viga.res.txt", 1, "viga.res_1.png"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(orv::figure_file_name(c.namefile, c.list), c.figure) << c.namefile;
}

TEST(IntegerText, WholeIntegersOnly) {
    const std::pair<std::string, int> good[] = {
        {"0", 0},
        {"17", 17},
        {"-3", -3},
        {"+8", 8},
        {" 12", 12},
        {"12 ", 12},
        {"\t5\t", 5},
        {"2147483647", 2147483647},
        {"-2147483648", INT_MIN},
        {"007", 7},
    };
    for (const auto& [text, value] : good)
        EXPECT_EQ(orv::parse_integer_text(text), value) << text;

    const std::string bad[] = {"",           " ", "abc", "1.5", "1,5", "12a",  "1 2",
                               "2147483648", "-", "+",   "+-1", "++1", "0x10", "1e3"};
    for (const std::string& text : bad) {
        try {
            orv::parse_integer_text(text);
            ADD_FAILURE() << "accepted '" << text << "'";
        } catch (const orv::InvalidInteger& e) {
            EXPECT_EQ(std::string(e.what()), "'" + text + "' is not a valid integer value");
        }
    }
}

} // namespace
