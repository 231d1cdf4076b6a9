// The writer of every output file: what it refuses, what it keeps, and that
// a failure at any point leaves the folder as it was.
#include "viewer/output/output_file.h"

#include "output_test_files.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

namespace fs = std::filesystem;
using orv::OutputError;
using orv::OutputFile;
using namespace orv::test;

namespace {

class OutputFileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = make_scratch_dir("orvanel-out");
        ASSERT_FALSE(dir_.empty());
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    // Every name in the folder.
    std::set<std::string> names() const {
        std::set<std::string> out;
        for (const auto& e : fs::directory_iterator(dir_))
            out.insert(e.path().filename().string());
        return out;
    }
    std::string at(const std::string& name) const { return (dir_ / name).string(); }
    void put(const std::string& name, const std::string& bytes) const {
        std::ofstream(dir_ / name, std::ios::binary) << bytes;
    }
    fs::path dir_;
};

// A socket bound at `path` (it stays as a socket file after the descriptor closes).
bool make_socket(const std::string& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    if (fd < 0) return false;
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (path.size() >= sizeof addr.sun_path) return false;
    path.copy(addr.sun_path, path.size());
    const bool ok = ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    ::close(fd);
    return ok;
}

TEST_F(OutputFileTest, TargetsThatAreNotRegularFilesAreRefusedAndLeftAlone) {
    // Replacing one of these by a rename would destroy it: /dev/null turned
    // into a picture. Each is refused before anything is made.
    ASSERT_EQ(::mkfifo(at("pipe.png").c_str(), 0644), 0);
    ASSERT_TRUE(make_socket(at("sock.png")));
    fs::create_directory(dir_ / "folder.png");
    fs::create_symlink(dir_ / "pipe.png", dir_ / "link-to-pipe.png");
    // Written through, it would make a file wherever it points; replaced, it would be lost.
    fs::create_symlink(dir_ / "gone.png", dir_ / "dangling.png");
    // A device node needs the right to make one (the superuser in most containers).
    const bool device = ::mknod(at("null.png").c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0;
    struct Case {
        std::string name;
        std::string reason;
    };
    std::vector<Case> cases = {
        {"pipe.png", "it is a FIFO, not a regular file"},
        {"sock.png", "it is a socket, not a regular file"},
        {"folder.png", "Is a directory"},
        {"link-to-pipe.png", "it is a FIFO, not a regular file"},
        {"dangling.png", "it is a symbolic link to a file that does not exist"},
    };
    if (device) cases.push_back({"null.png", "it is a device, not a regular file"});
    const std::set<std::string> before = names();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string expected = "Cannot write file '" + at(c.name) + "': " + c.reason;
        EXPECT_EQ(message_of<OutputError>([&] { orv::check_replaceable(at(c.name)); }), expected);
        EXPECT_EQ(message_of<OutputError>([&] { orv::write_file_atomically(at(c.name), "PNG"); }), expected);
        EXPECT_EQ(message_of<OutputError>([&] { OutputFile f(at(c.name)); }), expected);
    }
    EXPECT_EQ(names(), before);
    EXPECT_TRUE(fs::is_fifo(dir_ / "pipe.png"));
    EXPECT_TRUE(fs::is_socket(dir_ / "sock.png"));
    EXPECT_TRUE(fs::is_empty(dir_ / "folder.png"));
    EXPECT_TRUE(fs::is_symlink(dir_ / "link-to-pipe.png"));
    EXPECT_TRUE(fs::is_symlink(dir_ / "dangling.png"));
    EXPECT_FALSE(fs::exists(dir_ / "gone.png"));
    if (device) {
        EXPECT_TRUE(fs::is_character_file(dir_ / "null.png"));
    }
}

// A name with a line break and an ESC is shown with them escaped, on one line.
TEST_F(OutputFileTest, ControlBytesOfTheNameAreEscapedInTheMessage) {
    const std::string name = "pipe\n\x1b[2J.png";
    ASSERT_EQ(::mkfifo(at(name).c_str(), 0644), 0);
    EXPECT_EQ(message_of<OutputError>([&] { orv::check_replaceable(at(name)); }),
              "Cannot write file '" + dir_.string() +
                  "/pipe\\x0A\\x1B[2J.png': it is a FIFO, not a regular file");
}

TEST_F(OutputFileTest, ReplacedFileKeepsItsModeAndALinkStaysALink) {
    put("private.lst", "old");
    fs::permissions(dir_ / "private.lst", fs::perms(0600), fs::perm_options::replace);
    put("real.png", "old picture");
    fs::create_symlink("real.png", dir_ / "link.png");

    orv::write_file_atomically(at("private.lst"), "new");
    orv::write_file_atomically(at("link.png"), "new picture");

    EXPECT_EQ(file_bytes(dir_ / "private.lst"), "new");
    EXPECT_EQ(fs::status(dir_ / "private.lst").permissions(), fs::perms(0600));
    EXPECT_TRUE(fs::is_symlink(dir_ / "link.png"));
    EXPECT_EQ(file_bytes(dir_ / "real.png"), "new picture");
    EXPECT_EQ(names(), (std::set<std::string>{"private.lst", "real.png", "link.png"}));
}

TEST_F(OutputFileTest, LongestNamesAreWritten) {
    // The new file's own name is short whatever the target's is.
    const std::string name = std::string(251, 'v') + ".avi"; // 255 bytes, the longest a name may be
    put(name, "old");
    orv::write_file_atomically(at(name), "new");
    EXPECT_EQ(file_bytes(dir_ / name), "new");
    EXPECT_EQ(names(), (std::set<std::string>{name}));
}

TEST_F(OutputFileTest, NothingAppearsUntilCommitAndNothingStaysWithoutIt) {
    put("viga.avi", "old");
    {
        OutputFile f(at("viga.avi"));
        f.write("half a video");
        EXPECT_EQ(names(), (std::set<std::string>{"viga.avi"}));
        EXPECT_EQ(file_bytes(dir_ / "viga.avi"), "old");
    } // destroyed without commit: a failed run
    EXPECT_EQ(names(), (std::set<std::string>{"viga.avi"}));
    EXPECT_EQ(file_bytes(dir_ / "viga.avi"), "old");

    OutputFile f(at("viga.avi"));
    f.write("whole video");
    f.commit();
    EXPECT_EQ(f.fd(), -1);
    EXPECT_EQ(file_bytes(dir_ / "viga.avi"), "whole video");
    EXPECT_EQ(names(), (std::set<std::string>{"viga.avi"}));
}

TEST_F(OutputFileTest, FilesCommittedTogetherAllStayOrAllGoBack) {
    // The second target turns into a folder before the commit, so that its
    // rename fails after the first file is already in place.
    struct Case {
        const char* name;
        bool first_existed;
    } cases[] = {{"older list kept", true}, {"no older list", false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(dir_);
        fs::create_directory(dir_);
        if (c.first_existed) put("viga_1.lst", "older list");
        OutputFile list(at("viga_1.lst"));
        list.write("new list");
        OutputFile chart(at("chart.png"));
        chart.write("new chart");
        fs::create_directory(dir_ / "chart.png");

        EXPECT_NE(message_of<OutputError>([&] {
                      OutputFile::commit_together({&list, &chart});
                  }),
                  "(nothing thrown)");
        if (c.first_existed) {
            EXPECT_EQ(file_bytes(dir_ / "viga_1.lst"), "older list");
            EXPECT_EQ(names(), (std::set<std::string>{"viga_1.lst", "chart.png"}));
        } else {
            EXPECT_EQ(names(), (std::set<std::string>{"chart.png"}));
        }
    }
    OutputFile list(at("viga_1.lst")), chart(at("chart2.png"));
    list.write("list");
    chart.write("chart");
    OutputFile::commit_together({&list, &chart});
    EXPECT_EQ(file_bytes(dir_ / "viga_1.lst"), "list");
    EXPECT_EQ(file_bytes(dir_ / "chart2.png"), "chart");
}

} // namespace
