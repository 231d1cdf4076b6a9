#include "viewer/formats/importer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <new>
#include <numeric>
#include <stdexcept>
#include <string>
#include <unistd.h>

namespace orv {
namespace {

// Importers that end the way any importer may, to see what every read makes
// of it.
ImportData out_of_memory(input::Input&, const ReaderOptions&) {
    throw std::bad_alloc();
}
ImportData too_long(input::Input&, const ReaderOptions&) {
    throw std::length_error("vector::reserve");
}
ImportData stopped(input::Input&, const ReaderOptions&) {
    throw input::Stopped{};
}
ImportData refused(input::Input& in, const ReaderOptions&) {
    throw ReadError("Invalid input at line 3 of " + in.name());
}

// One point in a group, as Exodus files list their blocks.
ImportData grouped(input::Input&, const ReaderOptions&) {
    ImportData d;
    d.mesh.points = {1, 2, 3};
    d.groups = {"nodeset 7 1 corner"};
    d.warnings = {"a warning of the importer"};
    return d;
}

TEST(Importer, EveryReadEndsTheSameWay) {
    const struct {
        Importer import;
        const char* message; // nullptr: cancelled
    } cases[] = {
        {out_of_memory, "Not enough memory to read x.frd"},
        {too_long, "Not enough memory to read x.frd"},
        {stopped, nullptr},
        {refused, "Invalid input at line 3 of x.frd"},
    };
    const std::string text = "    1C\n";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message ? c.message : "cancelled");
        for (const bool whole : {false, true}) {
            try {
                if (whole)
                    read_bytes(c.import, text.data(), text.size(), "some/dir/x.frd");
                else
                    import_bytes(c.import, text.data(), text.size(), "some/dir/x.frd");
                ADD_FAILURE() << "read";
            } catch (const ReadCancelled& e) {
                EXPECT_EQ(c.message, nullptr) << e.what();
                EXPECT_STREQ(e.what(), "Reading x.frd was cancelled");
            } catch (const ReadError& e) {
                ASSERT_NE(c.message, nullptr) << e.what();
                EXPECT_STREQ(e.what(), c.message);
            }
        }
    }
}

TEST(Importer, TheModelKeepsTheGroupsAndTheName) {
    const std::string text = "anything";
    const ReadResult r = read_bytes(grouped, text.data(), text.size(), "some/dir/g.exo");
    EXPECT_EQ(r.model.namefile, "some/dir/g.exo");
    EXPECT_EQ(r.model.file_groups, std::vector<std::string>{"nodeset 7 1 corner"});
    EXPECT_EQ(r.model.nnode, 1);
    EXPECT_EQ(r.warnings, std::vector<std::string>{"a warning of the importer"});
}

// A file cut short by another program while an importer walks its mapped
// bytes: the read is refused, whatever the importer made of the zeros.
ImportData cut_while_read(input::Input& in, const ReaderOptions&) {
    const char* data = in.data();
    EXPECT_EQ(::truncate(in.path().c_str(), 4096), 0);
    const long sum = std::accumulate(data, data + in.size(), 0L);
    ImportData d;
    d.mesh.points = {static_cast<double>(sum), 0, 0};
    return d;
}

TEST(Importer, FileThatBecomesShorterWhileMappedIsRefused) {
    const std::string path = testing::TempDir() + "cut_while_read.frd";
    {
        std::FILE* f = std::fopen(path.c_str(), "wb");
        const std::string bytes(16 * 4096, 'x');
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    }
    try {
        read_file(cut_while_read, path);
        ADD_FAILURE() << "read";
    } catch (const ReadError& e) {
        EXPECT_STREQ(e.what(), "cut_while_read.frd became shorter while it was read");
    }
    std::remove(path.c_str());
}

// Bytes in memory and the same bytes in a file read alike in windows.
TEST(Input, FileAndMemoryGiveTheSameBytes) {
    const std::string bytes = "0123456789abcdef";
    const std::string path = testing::TempDir() + "windows.txt";
    {
        std::FILE* f = std::fopen(path.c_str(), "wb");
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    }
    input::Input file(path);
    input::Input memory(bytes.data(), bytes.size(), "dir/windows.txt");
    EXPECT_EQ(file.name(), "windows.txt");
    EXPECT_EQ(memory.name(), "windows.txt");
    EXPECT_EQ(memory.path(), "dir/windows.txt");
    for (const input::Input* in : {&file, &memory}) {
        EXPECT_EQ(in->size(), bytes.size());
        EXPECT_EQ(in->first_bytes(4), "0123");
        EXPECT_EQ(in->first_bytes(100), bytes);
        char buf[16];
        EXPECT_EQ(std::string(in->view(10, 6, buf), 6), "abcdef");
        // read() stops at the end and says how many there were.
        EXPECT_EQ(in->read(12, 16, buf), 4u);
        EXPECT_EQ(std::string(buf, 4), "cdef");
        EXPECT_EQ(in->read(16, 4, buf), 0u);
        EXPECT_EQ(in->fetched(), 6u + 4u);
    }
    EXPECT_EQ(std::string(file.data(), file.size()), bytes);
    EXPECT_EQ(memory.data(), bytes.data()); // in place, never copied
    // A window the file no longer holds.
    ASSERT_EQ(::truncate(path.c_str(), 8), 0);
    char buf[16];
    try {
        file.view(4, 8, buf);
        ADD_FAILURE() << "read";
    } catch (const ReadError& e) {
        EXPECT_STREQ(e.what(), "windows.txt became shorter while it was read");
    }
    std::remove(path.c_str());
}

} // namespace
} // namespace orv
