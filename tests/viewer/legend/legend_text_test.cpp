// Label texts of the legend and reading of typed reals.
#include "viewer/legend/legend_format.h"
#include "viewer/model/number_text.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <limits>
#include <string>

namespace orv {
namespace {

struct TextCase {
    long double value;
    const char* fixed;
    const char* scientific;
};

TEST(LegendText, FixedAndScientificForms) {
    const TextCase cases[] = {
        {0.00123456L, "0.00123", "1.2346E-003"},
        {0.0L, "0.00000", "0.0000E+000"},
        {-0.5L, "-0.50000", "-5.0000E-001"},
        {0.5L, "0.50000", "5.0000E-001"},
        {2.5L, "2.50000", "2.5000E+000"},
        {9.0L, "9.00000", "9.0000E+000"},
        {100.0L, "100.00000", "1.0000E+002"},
        {-1234567.891L, "-1234567.89100", "-1.2346E+006"},
        {1e-10L, "0.00000", "1.0000E-010"},
        {-1e-10L, "0.00000", "-1.0000E-010"}, // rounds to zero: no sign in fixed form
        {6.02214076e23L, "602214076000000000000000.00000", "6.0221E+023"},
        {1.5e-300L, "0.00000", "1.5000E-300"},
        {1e300L, nullptr, "1.0000E+300"},
        {1e1000L, nullptr, "1.0000E+1000"},             // long double range: four exponent digits
        {99999.999996L, "100000.00000", "1.0000E+005"}, // carry through every digit
        {9.99995L, "9.99995", "1.0000E+001"},
        {0.0000051L, "0.00001", "5.1000E-006"},
        {0.000005L, "0.00000", "5.0000E-006"}, // the binary value lies just below 5E-6
        {0.0000049L, "0.00000", "4.9000E-006"},
    };
    for (const TextCase& c : cases) {
        if (c.fixed) {
            EXPECT_EQ(fixed5_text(c.value), c.fixed) << static_cast<double>(c.value);
        }
        EXPECT_EQ(scientific5_text(c.value), c.scientific) << static_cast<double>(c.value);
    }
}

TEST(LegendText, ExactHalvesRoundAwayFromZero) {
    // 1/64 = 0.015625 and 33/32 = 1.03125 are exact binary values half-way
    // between two texts; round-half-even would give ...62 and 1.0312.
    EXPECT_EQ(fixed5_text(1.0L / 64), "0.01563");
    EXPECT_EQ(fixed5_text(-1.0L / 64), "-0.01563");
    EXPECT_EQ(fixed5_text(3.0L / 64), "0.04688");
    EXPECT_EQ(scientific5_text(33.0L / 32), "1.0313E+000");
    EXPECT_EQ(scientific5_text(-33.0L / 32), "-1.0313E+000");
    // Just below a half-way point rounds down, just above rounds up.
    EXPECT_EQ(fixed5_text(0.015625L - 1e-15L), "0.01562");
    EXPECT_EQ(fixed5_text(0.015625L + 1e-15L), "0.01563");
}

TEST(LegendText, LongDoubleDigitsBeyondDouble) {
    // 0.1 + 0.2 in long double prints as 0.30000; the double 0.1 itself
    // prints exactly five decimals of its own binary value.
    EXPECT_EQ(fixed5_text(0.1L + 0.2L), "0.30000");
    EXPECT_EQ(fixed5_text(static_cast<long double>(0.1)), "0.10000");
    EXPECT_EQ(scientific5_text(static_cast<long double>(1.0 / 3.0)), "3.3333E-001");
}

TEST(LegendText, NonFiniteValuesHaveAText) {
    EXPECT_EQ(fixed5_text(std::numeric_limits<long double>::infinity()), "INF");
    EXPECT_EQ(scientific5_text(-std::numeric_limits<long double>::infinity()), "-INF");
    EXPECT_EQ(fixed5_text(std::numeric_limits<long double>::quiet_NaN()), "NAN");
}

TEST(LegendText, SeparatorIgnoresTheLocale) {
    // Whatever locale the process runs in (Qt takes it from the environment),
    // the texts use ".".
    const char* old = std::setlocale(LC_ALL, nullptr);
    const std::string saved = old ? old : "C";
    for (const char* name : {"de_DE.UTF-8", "pt_BR.UTF-8", "fr_FR.UTF-8", "C.UTF-8"}) {
        if (!std::setlocale(LC_ALL, name)) continue;
        EXPECT_EQ(fixed5_text(2.5L), "2.50000") << name;
        EXPECT_EQ(scientific5_text(-0.5L), "-5.0000E-001") << name;
        EXPECT_EQ(parse_real_text("1.5"), 1.5) << name;
    }
    std::setlocale(LC_ALL, saved.c_str());
}

struct ParseCase {
    const char* text;
    double value;
};

TEST(RealText, AcceptedForms) {
    const ParseCase cases[] = {
        {"0", 0},
        {"1", 1},
        {"-2.5", -2.5},
        {"+3", 3},
        {" 4 ", 4},
        {"\t5\t", 5},
        {".5", 0.5},
        {"5.", 5},
        {"1e3", 1000},
        {"1E-3", 0.001},
        {"-1.5e+2", -150},
        {"0.1", 0.1},
        {"100", 100},
        {"1e-400", 0},
        {"007", 7},
        {"-0", -0.0},
        {"1.7976931348623157e308", 1.7976931348623157e308},
        // A decimal comma when there is no dot.
        {"1,5", 1.5},
        {"-0,25", -0.25},
        {",5", 0.5},
        {"2,5e-1", 0.25},
        {" 3,0 ", 3},
    };
    for (const ParseCase& c : cases)
        EXPECT_EQ(parse_real_text(c.text), c.value) << c.text;
}

TEST(RealText, RejectedFormsGiveTheToolkitMessage) {
    const char* texts[] = {"",      " ",      "abc",  "1.2.3", "--1",     "+-1", "+",    "-",
                           ".",     "e5",     "1e",   "1e+",   "inf",     "nan", "0x10", "1 2",
                           "1e400", "-1e400", "1.5x", "1,2,3", "1.000,5", ",",   "1,5.2"};
    for (const char* t : texts) {
        try {
            parse_real_text(t);
            ADD_FAILURE() << "accepted '" << t << "'";
        } catch (const InvalidReal& e) {
            EXPECT_EQ(std::string(e.what()), "'" + std::string(t) + "' is not a valid floating point value");
            EXPECT_EQ(e.text(), t);
        }
    }
}

} // namespace
} // namespace orv
