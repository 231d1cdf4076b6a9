// The AVI recorder, checked from outside: files are probed with ffprobe and
// decoded with ffmpeg, as any player would read them.

#include "viewer/output/avi_recorder.h"

#include "output_test_files.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;
using orv::AviError;
using orv::AviRecorder;
using orv::FramePicture;
using orv::PixelLayout;
using namespace orv::test;

namespace {

struct Rgb {
    int r, g, b;
};

// A 32-bit picture in memory, stored top row first in RGBA order.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> px;

    Picture(int w, int h, Rgb fill) : width(w), height(h), px(static_cast<std::size_t>(w) * h * 4) {
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                set(x, y, fill);
    }
    void set(int x, int y, Rgb c) {
        std::uint8_t* p = &px[(static_cast<std::size_t>(y) * width + x) * 4];
        p[0] = static_cast<std::uint8_t>(c.r);
        p[1] = static_cast<std::uint8_t>(c.g);
        p[2] = static_cast<std::uint8_t>(c.b);
        p[3] = 255;
    }
    FramePicture view() const { return {px.data(), width, height, 0, PixelLayout::Rgba, false}; }

    // The same picture in another byte order and/or row order, as the
    // recorder's callers hand it over (QImage: BGRA top-down; glReadPixels:
    // RGBA bottom-up). `store` keeps the converted bytes alive.
    FramePicture as(PixelLayout layout, bool bottom_up, std::vector<std::uint8_t>& store) const {
        store.assign(px.size(), 0);
        const std::size_t row = static_cast<std::size_t>(width) * 4;
        for (int y = 0; y < height; ++y) {
            const std::uint8_t* s = &px[y * row];
            std::uint8_t* d = &store[(bottom_up ? height - 1 - y : y) * row];
            for (int x = 0; x < width; ++x) {
                const bool swap = layout == PixelLayout::Bgra;
                d[4 * x + 0] = s[4 * x + (swap ? 2 : 0)];
                d[4 * x + 1] = s[4 * x + 1];
                d[4 * x + 2] = s[4 * x + (swap ? 0 : 2)];
                d[4 * x + 3] = s[4 * x + 3];
            }
        }
        return {store.data(), width, height, 0, layout, bottom_up};
    }
};

// Packet flags ("K_", "__", ...) of every packet, in file order.
std::vector<std::string> packet_flags(const fs::path& file) {
    std::vector<std::string> flags;
    std::istringstream lines(
        run("ffprobe -v error -select_streams v:0 -show_entries packet=flags -of csv=p=0 " + quoted(file)));
    for (std::string line; std::getline(lines, line);)
        if (!line.empty()) flags.push_back(line);
    return flags;
}

// dwSuggestedBufferSize of the main header (avih) and of the stream header (strh).
std::pair<std::uint32_t, std::uint32_t> suggested_buffer_sizes(const fs::path& file) {
    const std::string bytes = file_bytes(file);
    const auto u32 = [&](std::size_t at) {
        std::uint32_t v = 0;
        for (int i = 3; i >= 0; --i)
            v = v << 8 | static_cast<unsigned char>(bytes.at(at + static_cast<std::size_t>(i)));
        return v;
    };
    const std::size_t avih = bytes.find("avih"), strh = bytes.find("strh");
    if (avih == std::string::npos || strh == std::string::npos) return {0, 0};
    return {u32(avih + 8 + 28), u32(strh + 8 + 36)};
}

Rgb pixel(const std::vector<std::uint8_t>& frame, int width, int x, int y) {
    const std::size_t i = (static_cast<std::size_t>(y) * width + x) * 3;
    return {frame[i], frame[i + 1], frame[i + 2]};
}

// RGB555 keeps 5 bits per channel, so a decoded channel is within 8 of the original.
::testing::AssertionResult near(Rgb got, Rgb want) {
    const auto close = [](int a, int b) { return a - b <= 8 && b - a <= 8; };
    if (close(got.r, want.r) && close(got.g, want.g) && close(got.b, want.b))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "got (" << got.r << "," << got.g << "," << got.b << ") want ("
                                         << want.r << "," << want.g << "," << want.b << ")";
}

const auto yes = [](const std::string&) { return true; };

class AviRecorderTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(have_ffprobe()) << "ffprobe is needed by these tests";
        dir_ = make_scratch_dir("orvanel-avi");
        ASSERT_FALSE(dir_.empty());
    }
    void TearDown() override { fs::remove_all(dir_); }
    fs::path dir_;
};

TEST(AviRecorderSettings, StartsAt320x200And25Fps) {
    AviRecorder rec;
    EXPECT_EQ(rec.width(), 320);
    EXPECT_EQ(rec.height(), 200);
    EXPECT_EQ(rec.fps(), 25);
    EXPECT_EQ(rec.filename(), "");
    EXPECT_FALSE(rec.is_recording());
    EXPECT_EQ(rec.frame_count(), 0);
}

TEST(AviRecorderSettings, FrameSizeRoundsDownToMultiplesOf8) {
    struct Case {
        int value;
        int expected; // starting from 320 (width) / 200 (height)
    } cases[] = {{807, 800}, {721, 720}, {800, 800}, {8, 8},   {15, 8},
                 {7, -1},    {1, -1},    {0, -1},    {-5, -1}, {-800, -1}}; // -1: ignored, initial kept
    for (const Case& c : cases) {
        AviRecorder rec;
        rec.set_width(c.value);
        rec.set_height(c.value);
        EXPECT_EQ(rec.width(), c.expected < 0 ? 320 : c.expected) << c.value;
        EXPECT_EQ(rec.height(), c.expected < 0 ? 200 : c.expected) << c.value;
    }
}

TEST(AviRecorderSettings, FramesPerSecondKeptIn8Bits) {
    const std::pair<int, int> cases[] = {{300, 44}, {25, 25},  {255, 255}, {256, 0},
                                         {0, 0},    {-1, 255}, {1000, 232}};
    for (const auto& [value, kept] : cases) {
        AviRecorder rec;
        rec.set_fps(value);
        EXPECT_EQ(rec.fps(), kept) << value;
    }
}

TEST_F(AviRecorderTest, ThreeFramesFromAn807x721ViewAt300Fps) {
    AviRecorder rec;
    rec.set_width(807);
    rec.set_height(721);
    rec.set_fps(300);
    rec.set_filename((dir_ / "viga.avi").string());
    rec.create(yes);
    EXPECT_TRUE(rec.is_recording());
    const Rgb colours[] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}};
    for (const Rgb c : colours)
        rec.add_frame(Picture(807, 721, c).view());
    EXPECT_EQ(rec.frame_count(), 3);
    rec.close();
    EXPECT_FALSE(rec.is_recording());

    auto info = probe(dir_ / "viga.avi");
    EXPECT_EQ(info["codec_name"], "msvideo1");
    EXPECT_EQ(info["codec_tag_string"], "MSVC");
    EXPECT_EQ(info["width"], "800");
    EXPECT_EQ(info["height"], "720");
    EXPECT_EQ(info["r_frame_rate"], "44/1");
    EXPECT_EQ(info["nb_frames"], "3");
    EXPECT_EQ(info["nb_read_frames"], "3");
    // Readers are told to expect frames up to the size of one uncompressed 24-bit frame.
    const auto [file_buffer, stream_buffer] = suggested_buffer_sizes(dir_ / "viga.avi");
    EXPECT_EQ(file_buffer, 800u * 720u * 3u);
    EXPECT_EQ(stream_buffer, 800u * 720u * 3u);

    const auto flags = packet_flags(dir_ / "viga.avi");
    ASSERT_EQ(flags.size(), 3u);
    for (const std::string& f : flags)
        EXPECT_EQ(f.substr(0, 1), "K") << "every frame is a key frame";
}

TEST_F(AviRecorderTest, IdenticalFramesAreStillKeyFrames) {
    // The codec would code unchanged blocks as skips against the previous
    // frame; every frame must nevertheless stand on its own.
    AviRecorder rec;
    rec.set_filename((dir_ / "same.avi").string());
    rec.create(yes);
    const Picture p(320, 200, {10, 200, 30});
    for (int i = 0; i < 4; ++i)
        rec.add_frame(p.view());
    rec.close();
    const auto flags = packet_flags(dir_ / "same.avi");
    ASSERT_EQ(flags.size(), 4u);
    for (const std::string& f : flags)
        EXPECT_EQ(f.substr(0, 1), "K");
}

TEST_F(AviRecorderTest, FrameIsCutFromTopLeftInEveryPixelOrder) {
    // 807 x 721 picture: red top half and blue bottom half inside the 800 x 720
    // frame, green in the 7 columns and the row that the frame leaves out.
    Picture pic(807, 721, {0, 255, 0});
    for (int y = 0; y < 720; ++y)
        for (int x = 0; x < 800; ++x)
            pic.set(x, y, y < 360 ? Rgb{255, 0, 0} : Rgb{0, 0, 255});

    struct Case {
        PixelLayout layout;
        bool bottom_up;
    } cases[] = {{PixelLayout::Rgba, false},
                 {PixelLayout::Rgba, true},
                 {PixelLayout::Bgra, false},
                 {PixelLayout::Bgra, true}};
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE("case " + std::to_string(n));
        const fs::path file = dir_ / ("cut" + std::to_string(n++) + ".avi");
        AviRecorder rec;
        rec.set_width(807);
        rec.set_height(721);
        rec.set_filename(file.string());
        rec.create(yes);
        std::vector<std::uint8_t> store;
        rec.add_frame(pic.as(c.layout, c.bottom_up, store));
        rec.close();

        const auto frames = decode(file, 800, 720);
        ASSERT_EQ(frames.size(), 1u);
        const auto& f = frames[0];
        EXPECT_TRUE(near(pixel(f, 800, 0, 0), {255, 0, 0}));
        EXPECT_TRUE(near(pixel(f, 800, 799, 359), {255, 0, 0}));
        EXPECT_TRUE(near(pixel(f, 800, 0, 360), {0, 0, 255}));
        EXPECT_TRUE(near(pixel(f, 800, 799, 719), {0, 0, 255}));
        int green = 0;
        for (int y = 0; y < 720; ++y)
            for (int x = 0; x < 800; ++x)
                green += pixel(f, 800, x, y).g > 64;
        EXPECT_EQ(green, 0) << "pixels from outside the frame leaked in";
    }
}

TEST_F(AviRecorderTest, DecodedFramesFollowThePictures) {
    AviRecorder rec;
    rec.set_filename((dir_ / "lists.avi").string());
    rec.create(yes);
    const Rgb colours[] = {{200, 40, 40}, {40, 200, 40}, {200, 40, 40}};
    for (const Rgb c : colours)
        rec.add_frame(Picture(320, 200, c).view());
    rec.close();

    const auto frames = decode(dir_ / "lists.avi", 320, 200);
    ASSERT_EQ(frames.size(), 3u);
    EXPECT_NE(frames[0], frames[1]);
    EXPECT_EQ(frames[0], frames[2]);
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(near(pixel(frames[i], 320, 160, 100), colours[i])) << i;
}

TEST_F(AviRecorderTest, PictureSmallerThanFrameIsPaddedWithBlack) {
    // The view may shrink while a file is open; the frame size stays.
    AviRecorder rec;
    rec.set_filename((dir_ / "small.avi").string());
    rec.create(yes);
    rec.add_frame(Picture(100, 50, {255, 255, 255}).view());
    rec.close();
    const auto frames = decode(dir_ / "small.avi", 320, 200);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_TRUE(near(pixel(frames[0], 320, 10, 10), {255, 255, 255}));
    EXPECT_TRUE(near(pixel(frames[0], 320, 200, 150), {0, 0, 0}));
}

TEST_F(AviRecorderTest, SizeAndRateOfAnOpenFileDoNotChange) {
    AviRecorder rec;
    rec.set_fps(10);
    rec.set_filename((dir_ / "frozen.avi").string());
    rec.create(yes);
    rec.set_width(640);
    rec.set_height(480);
    rec.set_fps(30);
    EXPECT_EQ(rec.width(), 320);
    EXPECT_EQ(rec.height(), 200);
    EXPECT_EQ(rec.fps(), 30) << "the setting is kept for the next file";
    rec.add_frame(Picture(640, 480, {1, 2, 3}).view());
    rec.close();
    auto info = probe(dir_ / "frozen.avi");
    EXPECT_EQ(info["width"], "320");
    EXPECT_EQ(info["height"], "200");
    EXPECT_EQ(info["r_frame_rate"], "10/1");
}

TEST_F(AviRecorderTest, DestructorFinishesAnOpenFile) {
    {
        AviRecorder rec;
        rec.set_filename((dir_ / "open.avi").string());
        rec.create(yes);
        rec.add_frame(Picture(320, 200, {9, 9, 9}).view());
        rec.add_frame(Picture(320, 200, {99, 99, 99}).view());
    }
    auto info = probe(dir_ / "open.avi");
    EXPECT_EQ(info["nb_frames"], "2") << "the header's frame count is written when the file is finished";
    EXPECT_EQ(info["nb_read_frames"], "2");
}

TEST_F(AviRecorderTest, CreateWhileRecordingFinishesTheFirstFile) {
    AviRecorder rec;
    rec.set_filename((dir_ / "first.avi").string());
    rec.create(yes);
    rec.add_frame(Picture(320, 200, {9, 9, 9}).view());
    rec.set_filename((dir_ / "second.avi").string());
    rec.create(yes);
    EXPECT_EQ(rec.frame_count(), 0);
    rec.close();
    EXPECT_EQ(probe(dir_ / "first.avi")["nb_frames"], "1");
    auto second = probe(dir_ / "second.avi");
    EXPECT_EQ(second["codec_name"], "msvideo1") << "a finished file without frames is still a valid AVI";
    EXPECT_TRUE(decode(dir_ / "second.avi", 320, 200).empty());
}

TEST_F(AviRecorderTest, OverwriteDeclinedLeavesOldFileAndRefusesFrames) {
    const fs::path file = dir_ / "viga.avi";
    std::ofstream(file, std::ios::binary) << "not a video, keep me";
    const std::string before = file_bytes(file);

    AviRecorder rec;
    rec.set_filename(file.string());
    std::vector<std::string> questions;
    const auto no = [&](const std::string& q) {
        questions.push_back(q);
        return false;
    };
    EXPECT_EQ(message_of<AviError>([&] { rec.create(no); }),
              "Cannot add frame to AVI. AVI file not created.");
    ASSERT_EQ(questions.size(), 1u);
    EXPECT_EQ(questions[0], "Overwrite file " + file.string() + "?");
    EXPECT_FALSE(rec.is_recording());
    EXPECT_EQ(message_of<AviError>([&] {
                  rec.add_frame(Picture(320, 200, {0, 0, 0}).view());
              }),
              "Cannot add frame to AVI. AVI file not created.");
    // Without a way to ask, the answer is No.
    EXPECT_EQ(message_of<AviError>([&] { rec.create(nullptr); }),
              "Cannot add frame to AVI. AVI file not created.");
    EXPECT_EQ(file_bytes(file), before);
}

TEST_F(AviRecorderTest, OverwriteAcceptedReplacesOldFile) {
    const fs::path file = dir_ / "viga.avi";
    std::ofstream(file, std::ios::binary) << std::string(100000, 'x');
    AviRecorder rec;
    rec.set_filename(file.string());
    int asked = 0;
    rec.create([&](const std::string&) { return ++asked > 0; });
    rec.add_frame(Picture(320, 200, {50, 60, 70}).view());
    rec.close();
    EXPECT_EQ(asked, 1);
    auto info = probe(file);
    EXPECT_EQ(info["codec_name"], "msvideo1");
    EXPECT_EQ(info["nb_read_frames"], "1");
}

TEST_F(AviRecorderTest, FileThatCannotBeCreatedLeavesNothing) {
    std::ofstream(dir_ / "plain", std::ios::binary) << "a file, not a folder";
    const struct {
        fs::path path;
        std::string reason;
    } cases[] = {{dir_ / "missing" / "viga.avi", "No such file or directory"},
                 {dir_ / "plain" / "viga.avi", "Not a directory"},
                 {"", "No such file or directory"}};
    for (const auto& [p, reason] : cases) {
        AviRecorder rec;
        rec.set_filename(p.string());
        EXPECT_EQ(message_of<AviError>([&] { rec.create(yes); }),
                  "Cannot create AVI file. Disk full or file in use?\nCannot write file '" + p.string() +
                      "': " + reason)
            << p;
        EXPECT_FALSE(rec.is_recording());
        EXPECT_FALSE(fs::exists(p)) << p;
    }
    EXPECT_FALSE(fs::exists(dir_ / "missing"));
}

TEST_F(AviRecorderTest, TargetThatIsNotAFileIsRefusedAtOnceWithoutAQuestion) {
    // A FIFO named like the video once made create() wait for a reader for
    // good, after the overwrite question. The target is never opened now.
    ASSERT_EQ(::mkfifo((dir_ / "viga.avi").c_str(), 0644), 0);
    fs::create_directory(dir_ / "folder.avi");
    const struct {
        const char* name;
        const char* reason;
    } cases[] = {{"viga.avi", "it is a FIFO, not a regular file"}, {"folder.avi", "Is a directory"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path file = dir_ / c.name;
        AviRecorder rec;
        rec.set_filename(file.string());
        int asked = 0;
        auto created = std::async(std::launch::async, [&] {
            return message_of<AviError>([&] { rec.create([&](const std::string&) { return ++asked > 0; }); });
        });
        if (created.wait_for(std::chrono::seconds(1)) != std::future_status::ready) {
            // A reader at the other end lets a blocked open go, so the test can end.
            const int fd = ::open(file.c_str(), O_RDONLY | O_NONBLOCK);
            created.wait();
            if (fd >= 0) ::close(fd);
            FAIL() << "create() waited on " << c.name;
        }
        EXPECT_EQ(created.get(),
                  std::string("Cannot create AVI file. Disk full or file in use?\nCannot write file '") +
                      file.string() + "': " + c.reason);
        EXPECT_EQ(asked, 0);
        EXPECT_FALSE(rec.is_recording());
    }
    EXPECT_TRUE(fs::is_fifo(dir_ / "viga.avi"));
    EXPECT_TRUE(fs::is_empty(dir_ / "folder.avi"));
}

TEST_F(AviRecorderTest, FileNamedOnlyWhenFinishedLeavesTheOlderOneUntilThen) {
    // Nothing of a recording that is discarded (a batch run stopped) or
    // never finished shows in the folder; the older file stays whole.
    const fs::path file = dir_ / "viga.avi";
    std::ofstream(file, std::ios::binary) << "older video";
    fs::permissions(file, fs::perms(0600), fs::perm_options::replace);
    AviRecorder rec;
    EXPECT_TRUE(rec.named_while_recording());
    rec.set_named_while_recording(false);
    rec.set_filename(file.string());
    rec.create(yes);
    rec.add_frame(Picture(320, 200, {50, 60, 70}).view());
    EXPECT_EQ(file_bytes(file), "older video");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator{}), 1);
    rec.discard();
    EXPECT_FALSE(rec.is_recording());
    EXPECT_EQ(file_bytes(file), "older video");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator{}), 1);
    // Finished, the new video takes the older one's place and its permissions.
    rec.create(yes);
    rec.add_frame(Picture(320, 200, {50, 60, 70}).view());
    rec.close();
    EXPECT_EQ(probe(file)["nb_read_frames"], "1");
    EXPECT_EQ(fs::status(file).permissions(), fs::perms(0600));
}

TEST_F(AviRecorderTest, FullDiskWhileCreatingRemovesTheUnfinishedFile) {
    const fs::path file = dir_ / "full.avi";
    AviRecorder rec;
    rec.set_filename(file.string());
    {
        FileSizeLimit limit(100); // smaller than the AVI headers
        EXPECT_EQ(message_of<AviError>([&] { rec.create(yes); }),
                  "Cannot create AVI file. Disk full or file in use?\nFile: '" + file.string() + "'");
    }
    EXPECT_FALSE(rec.is_recording());
    EXPECT_FALSE(fs::exists(file));
}

// What ffmpeg says while decoding the whole file; empty for a sound file.
std::string decode_errors(const fs::path& file) {
    return run("ffmpeg -v error -i " + quoted(file) + " -f null - 2>&1");
}

// A noisy picture does not compress to a few bytes.
Picture noise_picture() {
    Picture noise(320, 200, {0, 0, 0});
    unsigned seed = 1;
    for (int y = 0; y < 200; ++y)
        for (int x = 0; x < 320; ++x) {
            seed = seed * 1103515245u + 12345u;
            noise.set(x, y,
                      {static_cast<int>(seed >> 24), static_cast<int>((seed >> 16) & 255),
                       static_cast<int>((seed >> 8) & 255)});
        }
    return noise;
}

TEST_F(AviRecorderTest, FullDiskFrameLeavesNothingAndRecordingGoesOn) {
    // A frame refused by a full disk (a file-size limit here) leaves the file
    // byte for byte as it was. Whether the disk then has room again (the
    // limit lifted, the next frame recorded) or is still full when the file
    // is closed, the file ends playable with the header counting exactly the
    // frames that decode.
    struct Case {
        const char* name;
        bool lift_before_next_frame;
        bool still_full_at_close;
    } cases[] = {{"space freed, next frame recorded", true, false},
                 {"disk still full at close", false, true},
                 {"space freed, file closed", false, false}};
    const Picture red(320, 200, {220, 30, 30}), green(320, 200, {30, 220, 30});
    const Picture noise = noise_picture();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path file = dir_ / (std::string(c.name) + ".avi");
        AviRecorder rec;
        rec.set_filename(file.string());
        rec.create(yes);
        rec.add_frame(red.view());
        {
            std::optional<FileSizeLimit> limit;
            limit.emplace(static_cast<rlim_t>(fs::file_size(file)) + 100);
            const std::string before = file_bytes(file);
            for (int attempt = 0; attempt < 2; ++attempt) { // the error does not stick to the file
                EXPECT_EQ(message_of<AviError>([&] { rec.add_frame(noise.view()); }), "Add Frame Error");
                EXPECT_TRUE(rec.is_recording());
                EXPECT_EQ(rec.frame_count(), 1);
                EXPECT_EQ(file_bytes(file), before) << "the failed frame left bytes in the file";
            }
            if (c.lift_before_next_frame) {
                limit.reset();
                rec.add_frame(green.view());
                EXPECT_EQ(rec.frame_count(), 2);
            }
            if (c.still_full_at_close) {
                EXPECT_NO_THROW(rec.close());
            }
        }
        EXPECT_NO_THROW(rec.close());
        EXPECT_FALSE(rec.is_recording());

        const int expected = c.lift_before_next_frame ? 2 : 1;
        auto info = probe(file);
        EXPECT_EQ(info["nb_frames"], std::to_string(expected)) << "frame count in the header";
        EXPECT_EQ(info["nb_read_frames"], std::to_string(expected));
        EXPECT_EQ(decode_errors(file), "");
        // The room set aside for finishing is cut off: the file ends where its RIFF list does.
        const std::string bytes = file_bytes(file);
        ASSERT_GE(bytes.size(), 8u);
        std::uint64_t riff = 0;
        for (int i = 7; i >= 4; --i)
            riff = riff << 8 | static_cast<unsigned char>(bytes[static_cast<std::size_t>(i)]);
        EXPECT_EQ(riff + 8, bytes.size());
        const auto frames = decode(file, 320, 200);
        ASSERT_EQ(frames.size(), static_cast<std::size_t>(expected));
        EXPECT_TRUE(near(pixel(frames[0], 320, 160, 100), {220, 30, 30}));
        if (expected == 2) {
            EXPECT_TRUE(near(pixel(frames[1], 320, 160, 100), {30, 220, 30}));
        }
    }
}

TEST_F(AviRecorderTest, ZeroFramesPerSecondIsRefusedBeforeAnythingIsTouched) {
    const fs::path file = dir_ / "viga.avi";
    std::ofstream(file, std::ios::binary) << "old";
    for (const int fps : {0, 256, 512}) {
        AviRecorder rec;
        rec.set_fps(fps);
        rec.set_filename(file.string());
        bool asked = false;
        const std::string msg =
            message_of<AviError>([&] { rec.create([&](const std::string&) { return asked = true; }); });
        EXPECT_EQ(msg, orv::kAviZeroFps) << fps;
        EXPECT_FALSE(asked);
        EXPECT_FALSE(rec.is_recording());
        EXPECT_EQ(file_bytes(file), "old");
    }
    AviRecorder fresh;
    fresh.set_fps(0);
    fresh.set_filename((dir_ / "new.avi").string());
    EXPECT_EQ(message_of<AviError>([&] { fresh.create(yes); }), orv::kAviZeroFps);
    EXPECT_FALSE(fs::exists(dir_ / "new.avi"));
}

TEST_F(AviRecorderTest, AddingAFrameWithoutAFileIsRefused) {
    AviRecorder rec;
    const Picture p(320, 200, {0, 0, 0});
    EXPECT_EQ(message_of<AviError>([&] { rec.add_frame(p.view()); }),
              "Cannot add frame to AVI. AVI file not created.");
    rec.set_filename((dir_ / "closed.avi").string());
    rec.create(yes);
    rec.add_frame(p.view());
    rec.close();
    EXPECT_EQ(message_of<AviError>([&] { rec.add_frame(p.view()); }),
              "Cannot add frame to AVI. AVI file not created.");
    EXPECT_EQ(rec.frame_count(), 1);
    EXPECT_NO_THROW(rec.close()) << "closing twice does nothing";
}

TEST_F(AviRecorderTest, MalformedPictureGivesAddFrameErrorAndKeepsRecording) {
    AviRecorder rec;
    rec.set_filename((dir_ / "bad.avi").string());
    rec.create(yes);
    const Picture good(320, 200, {5, 6, 7});
    FramePicture bad[4] = {good.view(), good.view(), good.view(), good.view()};
    bad[0].data = nullptr;
    bad[1].width = 0;
    bad[2].height = -3;
    bad[3].stride = 320 * 4 - 1; // rows overlap
    for (const FramePicture& b : bad) {
        EXPECT_EQ(message_of<AviError>([&] { rec.add_frame(b); }), "Add Frame Error");
        EXPECT_TRUE(rec.is_recording());
        EXPECT_EQ(rec.frame_count(), 0);
    }
    rec.add_frame(good.view());
    EXPECT_EQ(rec.frame_count(), 1);
    rec.close();
    EXPECT_EQ(probe(dir_ / "bad.avi")["nb_read_frames"], "1");
}

} // namespace
