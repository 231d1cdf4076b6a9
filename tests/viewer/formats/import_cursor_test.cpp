#include "viewer/formats/import_cursor.h"

#include <gtest/gtest.h>

#include <bit>

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <numeric>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

namespace {

// A file of `bytes` bytes of 'x' in the test's temporary folder.
std::string make_file(const std::string& name, std::size_t bytes) {
    const std::string path = testing::TempDir() + name;
    std::FILE* f = std::fopen(path.c_str(), "wb");
    const std::string block(bytes, 'x');
    std::fwrite(block.data(), 1, block.size(), f);
    std::fclose(f);
    return path;
}

// Every byte, as a parser reads them.
long sum_bytes(orv::input::Input& file) {
    const char* data = file.data();
    return std::accumulate(data, data + file.size(), 0L);
}

TEST(InputWhole, ReadsAFileThatStaysWhole) {
    const std::string path = make_file("whole.txt", 3 * 4096 + 17);
    orv::input::Input file(path);
    EXPECT_EQ(file.checked([&] { return sum_bytes(file); }), 'x' * long{3 * 4096 + 17});
    std::remove(path.c_str());
}

// A file cut short by another program between mapping and parsing: the
// pages past its new end read as zeros instead of killing the process with
// SIGBUS, and the read is refused, whether the parse finished or failed on
// the zeros.
TEST(InputWhole, FileThatBecomesShorterIsRefusedWithoutSigbus) {
    constexpr std::size_t kBytes = 64 * 4096 + 100;
    struct Case {
        std::size_t new_size;
        bool parse_fails;
    };
    for (const Case c : {Case{0, false}, Case{4096, false}, Case{10 * 4096 + 7, false},
                         Case{kBytes - 1, false}, Case{10 * 4096, true}}) {
        SCOPED_TRACE(c.new_size);
        const std::string path = make_file("shrinks.txt", kBytes);
        orv::input::Input file(path);
        ASSERT_NE(file.data(), nullptr); // mapped
        ASSERT_EQ(::truncate(path.c_str(), static_cast<off_t>(c.new_size)), 0);
        try {
            file.checked([&] {
                const long sum = sum_bytes(file);
                if (c.parse_fails) throw orv::ReadError("Invalid input at line 1 of shrinks.txt");
                return sum;
            });
            ADD_FAILURE() << "read accepted";
        } catch (const orv::ReadError& e) {
            EXPECT_STREQ(e.what(), "shrinks.txt became shorter while it was read");
        }
        std::remove(path.c_str());
    }
}

TEST(InputWhole, SeveralMappingsShrinkIndependently) {
    const std::string a = make_file("a.txt", 8 * 4096), b = make_file("b.txt", 8 * 4096);
    orv::input::Input fa(a), fb(b);
    ASSERT_NE(fa.data(), nullptr);
    ASSERT_NE(fb.data(), nullptr);
    ASSERT_EQ(::truncate(a.c_str(), 4096), 0);
    EXPECT_THROW(fa.checked([&] { return sum_bytes(fa); }), orv::ReadError);
    EXPECT_EQ(fb.checked([&] { return sum_bytes(fb); }), 'x' * long{8 * 4096});
    std::remove(a.c_str());
    std::remove(b.c_str());
}

// The guard covers only the reader's own mappings: any other SIGBUS still
// ends the process as it would without it.
TEST(InputWholeDeathTest, OtherBusErrorsStayFatal) {
    const std::string path = make_file("other.txt", 4 * 4096);
    orv::input::Input guarded(path);
    ASSERT_NE(guarded.data(), nullptr); // the handler is in place
    EXPECT_EXIT(
        {
            const int fd = ::open(path.c_str(), O_RDONLY);
            auto* p =
                static_cast<volatile const char*>(::mmap(nullptr, 4 * 4096, PROT_READ, MAP_PRIVATE, fd, 0));
            if (::ftruncate(::open(path.c_str(), O_WRONLY), 0) != 0) std::_Exit(3);
            std::_Exit(p[2 * 4096] == 'x' ? 4 : 5);
        },
        testing::KilledBySignal(SIGBUS), "");
    std::remove(path.c_str());
}

} // namespace

// The inline paths for common tokens give what the general paths give, bit
// for bit, and hand every other token on to them.
TEST(ImportNumbers, ShortTokensReadAsTheGeneralPathReadsThem) {
    const char* reals[] = {"0",
                           "-0",
                           "+0",
                           "-0.0",
                           "1",
                           "1.",
                           ".5",
                           "-.5",
                           "+-2.5",
                           "-+2.5",
                           "1e5",
                           "1E+05",
                           "2.5e-3",
                           "1.00000E+00",
                           "-9.99999E-01",
                           "0.1",
                           "0.3",
                           "123456789012345678",
                           "9007199254740993",
                           "1234567890123456789",
                           "12345678901234567890",
                           "1e22",
                           "1e23",
                           "1e-22",
                           "1e-23",
                           "4.9406564584124654e-324",
                           "1e-400",
                           "1e400",
                           "1.5-3",
                           "1.23456-100",
                           "1.5+2",
                           "1e",
                           "1e+",
                           "e5",
                           ".",
                           "-",
                           "+",
                           "",
                           "1.5x",
                           "0x10",
                           "nan",
                           "inf",
                           "1e0005",
                           "00000000000000000000001.5",
                           "1..5",
                           "1.5e3.0",
                           " 1",
                           "1 "};
    for (const char* t : reals) {
        SCOPED_TRACE(t);
        double a = 7, b = 7;
        const bool ok_a = orv::import::parse_real(t, a), ok_b = orv::import::parse_real_text(t, b);
        EXPECT_EQ(ok_a, ok_b);
        if (ok_a && ok_b) {
            EXPECT_EQ(std::bit_cast<std::uint64_t>(a), std::bit_cast<std::uint64_t>(b));
        }
    }
    const char* integers[] = {"0",
                              "-0",
                              "+7",
                              "+-7",
                              "-+7",
                              "123456789012345678",
                              "-123456789012345678",
                              "1234567890123456789",
                              "9223372036854775807",
                              "9223372036854775808",
                              "-9223372036854775808",
                              "1.0",
                              "1e3",
                              "",
                              "-",
                              "+",
                              "12a",
                              " 1"};
    for (const char* t : integers) {
        SCOPED_TRACE(t);
        std::int64_t a = 7, b = 7;
        const bool ok_a = orv::import::parse_integer(t, a), ok_b = orv::import::parse_integer_text(t, b);
        EXPECT_EQ(ok_a, ok_b);
        if (ok_a && ok_b) {
            EXPECT_EQ(a, b);
        }
    }
}
