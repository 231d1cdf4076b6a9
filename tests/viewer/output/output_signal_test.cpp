// The real program ended by a signal while it records: orvanel is started on
// a sample under the test's display, records through its hidden test options
// (--record-frames N: N presses of "Adicionar Frame" once the window is
// enabled; --generate A:B:S: the video generator over lists A..B by S), and
// gets SIGTERM, SIGINT or SIGHUP. It must end as "Sair" does (exit status 0)
// with the AVI file finished: the frame count in its header equals the
// frames a player decodes.

#include "output_test_files.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace orv::test;
using namespace std::chrono_literals;

namespace {

// A plate of 6 quadrilaterals (12 nodes) with `lists` result lists, list k
// peaking at node (k mod 12) + 1: enough lists for a generator run that lasts.
void write_plate(const fs::path& file, int lists) {
    std::ofstream out(file, std::ios::binary);
    out << "Plate for the signal tests\n# sizes\n12 6\n# nodes\n";
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x)
            out << x << ".0 " << y << ".0 0.0 0.0 0.0 0.0\n";
    out << "# elements\n3 1 1 2 5 6\n3 1 2 3 6 7\n3 1 3 4 7 8\n3 1 5 6 9 10\n3 1 6 7 10 11\n3 1 7 8 11 12\n";
    for (int k = 1; k <= lists; ++k) {
        out << "# list " << k << "\nPasso " << k << "\n";
        for (int n = 1; n <= 12; ++n)
            out << "0.0 0.0 0.0 " << (n == k % 12 + 1 ? "2.5" : "0.0") << "\n";
    }
}

// The program running in `dir`, its standard output readable line by line.
class Orvanel {
  public:
    Orvanel(const fs::path& dir, const std::vector<std::string>& args) {
        int out[2];
        if (pipe(out) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            dup2(out[1], STDOUT_FILENO);
            close(out[0]);
            close(out[1]);
            // ctest may start us with some signals ignored; the program gets the defaults.
            for (const int s : {SIGTERM, SIGINT, SIGHUP})
                std::signal(s, SIG_DFL);
            if (chdir(dir.c_str()) != 0) _exit(127);
            std::vector<char*> argv;
            static std::string program = ORVANEL_PROGRAM;
            argv.push_back(program.data());
            std::vector<std::string> copies = args;
            for (std::string& a : copies)
                argv.push_back(a.data());
            argv.push_back(nullptr);
            execv(argv[0], argv.data());
            _exit(127);
        }
        close(out[1]);
        out_ = out[0];
    }
    ~Orvanel() {
        if (pid_ > 0 && !exited_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        if (out_ >= 0) close(out_);
    }
    Orvanel(const Orvanel&) = delete;
    Orvanel& operator=(const Orvanel&) = delete;

    bool started() const { return pid_ > 0; }

    // Waits up to `limit` for a line of standard output containing `text`.
    bool wait_for_line(const std::string& text, std::chrono::seconds limit) {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < end) {
            if (buffer_.find(text) != std::string::npos) return true;
            pollfd p{out_, POLLIN, 0};
            if (poll(&p, 1, 100) <= 0) continue;
            char buf[4096];
            const ssize_t n = read(out_, buf, sizeof buf);
            if (n <= 0) return false;
            buffer_.append(buf, static_cast<std::size_t>(n));
        }
        return buffer_.find(text) != std::string::npos;
    }

    void send(int signal_number) { kill(pid_, signal_number); }

    // The wait status once the program has ended, or -1 after `limit`.
    int wait_exit(std::chrono::seconds limit) {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < end) {
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                exited_ = true;
                return status;
            }
            std::this_thread::sleep_for(50ms);
        }
        return -1;
    }

  private:
    pid_t pid_ = -1;
    int out_ = -1;
    bool exited_ = false;
    std::string buffer_;
};

std::string decode_errors(const fs::path& file) {
    return run("ffmpeg -v error -i " + quoted(file) + " -f null - 2>&1");
}

// Frames recorded per the header, and checks that it is what a player decodes.
int finished_frames(const fs::path& avi) {
    auto info = probe(avi);
    EXPECT_EQ(info["codec_name"], "msvideo1");
    EXPECT_EQ(info["nb_frames"], info["nb_read_frames"]) << "header frame count against decoded frames";
    EXPECT_EQ(decode_errors(avi), "");
    return std::atoi(info["nb_frames"].c_str());
}

class SignalEndsRecording : public ::testing::Test {
  protected:
    void SetUp() override {
        const char* display = std::getenv("DISPLAY");
        if (!display || !*display) GTEST_SKIP() << "needs a display (run under xvfb-run)";
        ASSERT_TRUE(have_ffprobe()) << "ffprobe is needed by these tests";
        dir_ = make_scratch_dir("orvanel-signal");
        ASSERT_FALSE(dir_.empty());
    }
    void TearDown() override {
        if (!dir_.empty()) fs::remove_all(dir_);
    }
    fs::path dir_;
};

TEST_F(SignalEndsRecording, OpenRecordingIsFinished) {
    write_plate(dir_ / "placa.txt", 4);
    const struct {
        int signal_number;
        const char* name;
    } cases[] = {{SIGTERM, "SIGTERM"}, {SIGINT, "SIGINT"}, {SIGHUP, "SIGHUP"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove(dir_ / "placa.avi");
        Orvanel program(dir_, {"placa.txt", "--check-list", "1", "--record-frames", "3"});
        ASSERT_TRUE(program.started());
        ASSERT_TRUE(program.wait_for_line("3 frames recorded", 60s)) << "the recording did not start";
        program.send(c.signal_number);
        const int status = program.wait_exit(60s);
        ASSERT_NE(status, -1) << "the program did not end";
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "wait status " << status;
        EXPECT_EQ(finished_frames(dir_ / "placa.avi"), 3);
    }
}

TEST_F(SignalEndsRecording, GeneratorStopsAfterItsFrameAndFinishesTheFile) {
    constexpr int kLists = 400;
    write_plate(dir_ / "placa.txt", kLists);
    Orvanel program(dir_, {"placa.txt", "--generate", "1:" + std::to_string(kLists) + ":1"});
    ASSERT_TRUE(program.started());
    ASSERT_TRUE(program.wait_for_line("generator started", 60s));
    // A few frames into the run: the file has grown several times.
    const fs::path avi = dir_ / "placa.avi";
    std::uintmax_t last = 0;
    int growths = 0;
    for (int i = 0; i < 600 && growths < 4; ++i) {
        std::error_code ec;
        const std::uintmax_t size = fs::file_size(avi, ec);
        if (!ec && size != last) {
            ++growths;
            last = size;
        }
        std::this_thread::sleep_for(50ms);
    }
    ASSERT_GE(growths, 4) << "the generator wrote no frames";
    program.send(SIGTERM);
    const int status = program.wait_exit(60s);
    ASSERT_NE(status, -1) << "the program did not end";
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "wait status " << status;
    const int frames = finished_frames(avi);
    EXPECT_GT(frames, 0);
    EXPECT_LT(frames, kLists) << "the generator ran to its end instead of stopping";
}

} // namespace
