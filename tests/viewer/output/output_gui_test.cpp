// The viewer window's output commands, driven through their buttons on a real
// window with a real OpenGL view (Xvfb, software GL): pictures to the
// clipboard, "Salvar Figura", "Adicionar Frame", the video generator and the node history.
// AVI files are read back with ffprobe and ffmpeg, as a player would.
//
// Each test runs in its own temporary working directory, since every output
// file goes to the working directory. Message boxes and questions go to the
// scripted dialogs of the test support (a question with no answer queued is
// answered No).

#include "gui_test_support.h"
#include "output_test_files.h"

#include "ui/gl_scene_viewer.h"
#include "viewer/Unit2.h"
#include "viewer/Unit3.h"
#include "viewer/output/avi_recorder.h"

#include <QApplication>
#include <QChart>
#include <QChartView>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLegendMarker>
#include <QLineEdit>
#include <QLineSeries>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QSpinBox>
#include <QTest>
#include <QValueAxis>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using orv::TForm2;
using orv::TForm3;
using orv::test::decode;
using orv::test::file_bytes;
using orv::test::Frame;
using orv::test::have_ffprobe;
using orv::test::make_scratch_dir;
using orv::test::probe;

namespace {

// 12 nodes on a 4 x 3 grid, 6 linear quadrilaterals, 12 result lists; list k
// peaks (2.5) at node k, so every list is coloured differently.
const fs::path kTwelveLists = fs::path(ORVANEL_TEST_DATA) / "output" / "twelve_lists.txt";

// The top-left width x height of a view picture, as a decoded frame would hold it.
Frame frame_of(const QImage& picture, int width, int height) {
    Frame f(static_cast<std::size_t>(width) * height * 3);
    const QImage rgb = picture.convertToFormat(QImage::Format_RGB888);
    for (int y = 0; y < height; ++y)
        std::copy_n(rgb.constScanLine(y), width * 3, f.begin() + static_cast<std::ptrdiff_t>(y) * width * 3);
    return f;
}

// Pixels whose colour differs by more than `tolerance` in some channel.
// Microsoft Video 1 keeps 5 bits per channel and at most two colours per
// 2 x 2 quarter block, so a frame is compared with a picture at a tolerance
// and by the share of pixels that differ.
double share_differing(const Frame& a, const Frame& b, int tolerance = 40) {
    if (a.size() != b.size() || a.empty()) return 1.0;
    std::size_t differing = 0;
    for (std::size_t i = 0; i < a.size(); i += 3) {
        for (std::size_t c = 0; c < 3; ++c) {
            if (std::abs(int(a[i + c]) - int(b[i + c])) > tolerance) {
                ++differing;
                break;
            }
        }
    }
    return static_cast<double>(differing) / static_cast<double>(a.size() / 3);
}

// The history line of list k with value v: k in 10 characters, two spaces,
// the value with 10 decimals in 20 characters, CR LF.
std::string line(int k, const char* value) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%10d  %20s\r\n", k, value);
    return buf;
}

class OutputGui : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(have_ffprobe()) << "ffprobe is needed by these tests";
        dir_ = make_scratch_dir("orvanel-outgui");
        ASSERT_FALSE(dir_.empty());
        old_cwd_ = fs::current_path();
        fs::current_path(dir_);

        orv::test::dialogs().reset();
        orv::set_chart_form(&chart_); // as the program's start-up does
        TForm3::set_modal_hook([this](TForm3& chart) {
            ++charts_shown_;
            chart_was_modal_ = chart.isModal() || chart.windowModality() != Qt::NonModal;
            chart_was_visible_ = chart.isVisible();
            chart_points_ = chart.Series1->points();
        });
    }

    void TearDown() override {
        form_.reset();
        TForm3::set_modal_hook({});
        orv::set_chart_form(nullptr);
        orv::test::settle();
        fs::current_path(old_cwd_);
        fs::remove_all(dir_);
    }

    // Opens the fixture in a viewer whose 3D view is 807 x 721 pixels (the
    // window's design size), shown and painted once.
    TForm2& open(const fs::path& file = kTwelveLists) {
        form_ = std::make_unique<TForm2>(QString::fromStdString(file.string()));
        EXPECT_TRUE(form_->loaded()) << (errors().empty() ? "" : errors()[0]);
        form_->resize(959, 721);
        form_->show();
        EXPECT_TRUE(orv::test::wait_until([&] { return form_->GLSceneViewer1->frames() > 0; }));
        EXPECT_EQ(form_->GLSceneViewer1->width(), 807);
        EXPECT_EQ(form_->GLSceneViewer1->height(), 721);
        return *form_;
    }

    void choose(int item) {
        form_->ComboBox1->setCurrentIndex(item);
        form_->ComboBox1Change();
    }

    // Runs the video generator over a..b step s.
    void generate(int a, int b, int s) {
        choose(6);
        form_->SpinEdit4->setValue(a);
        form_->SpinEdit5->setValue(b);
        form_->SpinEdit6->setValue(s);
        form_->Button2->click();
    }

    // The picture of the model view with result list k checked alone.
    QImage picture_of_list(int k) {
        TForm2& f = *form_;
        for (int i = 5; i < f.CheckListBox1->count(); ++i)
            f.CheckListBox1->item(i)->setCheckState(Qt::Unchecked);
        f.CheckListBox1->item(4 + k)->setCheckState(Qt::Checked);
        f.chbox = 3 * k;
        f.changes1 = true;
        f.GLSceneViewer1->render_now();
        QImage image = f.GLSceneViewer1->last_image();
        f.CheckListBox1->item(4 + k)->setCheckState(Qt::Unchecked);
        return image;
    }

    bool result_lists_unchecked() const {
        for (int i = 5; i < form_->CheckListBox1->count(); ++i)
            if (form_->CheckListBox1->item(i)->checkState() != Qt::Unchecked) return false;
        return true;
    }

    // Texts of the error boxes and of the questions shown so far.
    static std::vector<std::string> texts(orv::ui::DialogKind kind) {
        std::vector<std::string> out;
        for (const auto& r : orv::test::dialogs().requests)
            if (r.kind == kind) out.push_back(r.text.toStdString());
        return out;
    }
    static std::vector<std::string> errors() { return texts(orv::ui::DialogKind::Error); }
    static std::vector<std::string> questions() { return texts(orv::ui::DialogKind::Confirm); }
    static void clear_dialogs() { orv::test::dialogs().requests.clear(); }

    TForm3 chart_;
    std::unique_ptr<TForm2> form_;
    fs::path dir_, old_cwd_;
    int charts_shown_ = 0;
    bool chart_was_modal_ = false, chart_was_visible_ = false;
    QList<QPointF> chart_points_;
};

// ---- Pictures to the clipboard ----

// One test for both buttons: the clipboard belongs to the X display, which
// other test processes may share, so it is used by one process only.
TEST_F(OutputGui, ImgAndLegPutThePictureOfTheirViewOnTheClipboard) {
    TForm2& f = open();
    f.CheckListBox1->item(5)->setCheckState(Qt::Checked);
    f.changes1 = true;
    f.GLSceneViewer1->render_now();
    choose(5);

    // "IMG": the model view.
    QApplication::clipboard()->clear();
    f.BitBtn3->click();
    QImage clip = QApplication::clipboard()->image();
    ASSERT_FALSE(clip.isNull());
    EXPECT_EQ(clip.size(), QSize(807, 721));
    EXPECT_EQ(clip.depth(), 32);
    EXPECT_EQ(clip.convertToFormat(QImage::Format_RGB32), f.GLSceneViewer1->last_image());
    // It is the picture on screen: the background in a corner, the coloured
    // plate in the middle.
    EXPECT_EQ(clip.pixelColor(2, 2).rgb(), f.GLSceneViewer1->background().rgb());
    int coloured = 0;
    for (int y = 0; y < clip.height(); y += 4)
        for (int x = 0; x < clip.width(); x += 4) {
            const QColor c = clip.pixelColor(x, y);
            coloured += std::abs(c.red() - c.blue()) > 100;
        }
    EXPECT_GT(coloured, 100);

    // "LEG": enabled only while the legend shows; the legend view.
    EXPECT_FALSE(f.BitBtn4->isEnabled());
    f.CheckBox3->click(); // "Legenda"
    ASSERT_TRUE(f.GLSceneViewer2->isVisible());
    EXPECT_TRUE(f.BitBtn4->isEnabled());
    ASSERT_TRUE(orv::test::wait_until([&] { return f.GLSceneViewer2->frames() > 0; }));
    f.BitBtn4->click();
    clip = QApplication::clipboard()->image();
    EXPECT_EQ(clip.size(), QSize(115, 233));
    EXPECT_EQ(clip.depth(), 32);
    EXPECT_EQ(clip.convertToFormat(QImage::Format_RGB32), f.GLSceneViewer2->last_image());
    f.CheckBox3->click();
    EXPECT_FALSE(f.BitBtn4->isEnabled());
    EXPECT_TRUE(errors().empty());
}

// ---- "Adicionar Frame" ----

TEST_F(OutputGui, ThreeFramesOf800x720At44FpsFromAViewOf807x721) {
    TForm2& f = open();
    choose(4);
    EXPECT_EQ(f.Edit8->text(), "25"); // the recorder's rate, shown with the group
    f.Edit8->setText("300");          // kept in 8 bits: 44
    f.Button1->click();
    EXPECT_TRUE(f.avi);
    EXPECT_TRUE(fs::exists("twelve_lists.avi"));
    f.Edit8->setText("10"); // the open file keeps its rate
    f.Button1->click();
    f.Button1->click();
    EXPECT_TRUE(f.Button1->isEnabled());
    EXPECT_TRUE(questions().empty());
    EXPECT_TRUE(errors().empty());
    EXPECT_EQ(f.AVIRecorder1.frame_count(), 3);

    form_.reset(); // closing the window finishes the open recording
    auto info = probe("twelve_lists.avi");
    EXPECT_EQ(info["codec_name"], "msvideo1");
    EXPECT_EQ(info["width"], "800");
    EXPECT_EQ(info["height"], "720");
    EXPECT_EQ(info["r_frame_rate"], "44/1");
    EXPECT_EQ(info["nb_read_frames"], "3");
}

TEST_F(OutputGui, ClosingTheWindowFinishesAnOpenRecording) {
    TForm2& f = open();
    choose(4);
    f.Button1->click();
    f.Button1->click();
    ASSERT_TRUE(f.AVIRecorder1.is_recording());
    f.close();
    EXPECT_TRUE(f.is_closed());
    EXPECT_FALSE(f.avi);
    EXPECT_FALSE(f.AVIRecorder1.is_recording());
    auto info = probe("twelve_lists.avi");
    EXPECT_EQ(info["codec_name"], "msvideo1");
    EXPECT_EQ(info["nb_read_frames"], "2");
    EXPECT_TRUE(errors().empty());
}

TEST_F(OutputGui, AFrameRefusedByAFullDiskIsReportedAndTheNextOneRecords) {
    TForm2& f = open();
    choose(4);
    f.Button1->click();
    ASSERT_EQ(f.AVIRecorder1.frame_count(), 1);
    {
        // A full disk: the file may not grow by a whole frame.
        orv::test::FileSizeLimit limit(static_cast<rlim_t>(fs::file_size("twelve_lists.avi")) + 100);
        const std::string before = file_bytes("twelve_lists.avi");
        f.Button1->click();
        ASSERT_EQ(errors().size(), 1u);
        EXPECT_EQ(errors()[0], "Add Frame Error");
        EXPECT_EQ(file_bytes("twelve_lists.avi"), before);
    }
    EXPECT_TRUE(f.avi);
    EXPECT_TRUE(f.Button1->isEnabled());
    EXPECT_EQ(f.AVIRecorder1.frame_count(), 1);
    // Room again: the next press appends to the same file, without a question.
    clear_dialogs();
    f.Button1->click();
    EXPECT_TRUE(errors().empty());
    EXPECT_TRUE(questions().empty());
    EXPECT_EQ(f.AVIRecorder1.frame_count(), 2);
    form_.reset();
    auto info = probe("twelve_lists.avi");
    EXPECT_EQ(info["nb_frames"], "2");
    EXPECT_EQ(info["nb_read_frames"], "2");
}

TEST_F(OutputGui, TheGroupShowsTheRateTheRecorderKeeps) {
    TForm2& f = open();
    choose(4);
    f.Edit8->setText("300");
    f.Button1->click();
    choose(0);
    choose(4);
    EXPECT_EQ(f.Edit8->text(), "44");
}

TEST_F(OutputGui, AnsweringNoKeepsTheOldFileAndRecordsNothing) {
    { std::ofstream("twelve_lists.avi", std::ios::binary) << "old bytes"; }
    TForm2& f = open();
    choose(4);
    orv::test::dialogs().answer_cancel();
    f.Button1->click();
    ASSERT_EQ(questions().size(), 1u);
    EXPECT_EQ(questions()[0], "Overwrite file twelve_lists.avi?");
    ASSERT_EQ(errors().size(), 1u);
    EXPECT_EQ(errors()[0], "Cannot add frame to AVI. AVI file not created.");
    EXPECT_EQ(file_bytes("twelve_lists.avi"), "old bytes");
    EXPECT_FALSE(f.avi);
    EXPECT_FALSE(f.AVIRecorder1.is_recording());
    EXPECT_TRUE(f.Button1->isEnabled());

    // Yes replaces it.
    orv::test::dialogs().answer_yes();
    f.Button1->click();
    EXPECT_TRUE(f.avi);
    EXPECT_EQ(errors().size(), 1u);
    form_.reset();
    EXPECT_EQ(probe("twelve_lists.avi")["nb_read_frames"], "1");
}

TEST_F(OutputGui, AFifoNamedLikeTheVideoIsRefusedWithoutWaiting) {
    // "Adicionar Frame" and "Gerar" once blocked for good opening it, after
    // the overwrite question.
    ASSERT_EQ(::mkfifo("twelve_lists.avi", 0644), 0);
    TForm2& f = open();
    const std::string message = "Cannot create AVI file. Disk full or file in use?\nCannot write file "
                                "'twelve_lists.avi': it is a FIFO, not a regular file";
    choose(4);
    f.Button1->click();
    choose(6);
    f.Button2->click();
    EXPECT_TRUE(questions().empty());
    ASSERT_EQ(errors().size(), 2u);
    EXPECT_EQ(errors()[0], message);
    EXPECT_EQ(errors()[1], message);
    EXPECT_FALSE(f.avi);
    EXPECT_TRUE(f.Button1->isEnabled());
    EXPECT_TRUE(f.Button2->isEnabled());
    EXPECT_TRUE(fs::is_fifo("twelve_lists.avi"));
}

TEST_F(OutputGui, BadRatesAreRefusedWithAMessageAndNoFile) {
    struct Case {
        const char* text;
        const char* message;
    };
    const Case cases[] = {
        {"abc", "'abc' is not a valid integer value"},
        {"", "'' is not a valid integer value"},
        {"256", orv::kAviZeroFps}, // 256 kept in 8 bits is 0
        {"0", orv::kAviZeroFps},
    };
    TForm2& f = open();
    choose(4);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        clear_dialogs();
        f.Edit8->setText(c.text);
        f.Button1->click();
        ASSERT_EQ(errors().size(), 1u);
        EXPECT_EQ(errors()[0], c.message);
        EXPECT_FALSE(fs::exists("twelve_lists.avi"));
        EXPECT_FALSE(f.avi);
        EXPECT_TRUE(f.Button1->isEnabled());
    }
}

// ---- Video generator ----

TEST_F(OutputGui, GeneratorRecordsOneFramePerListOfTheSequence) {
    struct Case {
        int a, b, s;
        std::vector<int> lists;
    };
    const Case cases[] = {
        {1, 10, 3, {1, 4, 7, 10}},
        {1, 10, 4, {1, 5, 9, 10}},
        {3, 4, 1, {3, 4}},
    };
    TForm2& f = open();
    f.CheckBox3->click(); // the legend shows; the generator hides it
    long paints = 0;
    QObject::connect(f.GLSceneViewer1, &orv::GLSceneViewer::painted, &f, [&] { ++paints; });
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.a << ".." << c.b << " step " << c.s);
        fs::remove("twelve_lists.avi");
        clear_dialogs();
        paints = 0;
        generate(c.a, c.b, c.s);
        // Two paints after clearing the checks, then four per frame, all
        // before the command returned.
        EXPECT_EQ(paints, 2 + 4 * static_cast<long>(c.lists.size()));
        EXPECT_TRUE(errors().empty()) << (errors().empty() ? "" : errors()[0]);
        EXPECT_EQ(f.Button2->text(), "Gerar!");
        EXPECT_TRUE(f.Button2->isEnabled());
        EXPECT_FALSE(f.CheckBox3->isChecked());
        EXPECT_FALSE(f.GLSceneViewer2->isVisible());
        EXPECT_FALSE(f.BitBtn4->isEnabled());
        EXPECT_FALSE(f.avi);
        EXPECT_FALSE(f.AVIRecorder1.is_recording());
        EXPECT_TRUE(result_lists_unchecked());
        EXPECT_EQ(f.chbox, 3 * c.b);
        for (const int k : c.lists)
            EXPECT_FALSE(f.render_state.lists.exists(5 + k)) << "list " << k << " still compiled";

        auto info = probe("twelve_lists.avi");
        EXPECT_EQ(info["codec_name"], "msvideo1");
        EXPECT_EQ(info["width"], "800");
        EXPECT_EQ(info["height"], "720");
        EXPECT_EQ(info["r_frame_rate"], "5/1"); // "FPS:" starts at 5
        EXPECT_EQ(info["nb_read_frames"], std::to_string(c.lists.size()));

        // Frame i shows list lists[i]: it matches that list's picture, and
        // differs from the pictures of the other lists of the run. The plate
        // covers about 3 % of the frame; the codec's block edges leave about
        // 0.1 % of a frame off its picture, another list changes 0.6 % or more.
        const std::vector<Frame> frames = decode("twelve_lists.avi", 800, 720);
        ASSERT_EQ(frames.size(), c.lists.size());
        std::vector<Frame> pictures;
        for (const int k : c.lists)
            pictures.push_back(frame_of(picture_of_list(k), 800, 720));
        for (std::size_t i = 0; i < frames.size(); ++i) {
            SCOPED_TRACE(testing::Message() << "frame " << i << " (list " << c.lists[i] << ")");
            EXPECT_LT(share_differing(frames[i], pictures[i]), 0.002);
            for (std::size_t j = 0; j < frames.size(); ++j) {
                if (c.lists[j] != c.lists[i]) {
                    EXPECT_GT(share_differing(frames[i], pictures[j]), 0.004) << "list " << c.lists[j];
                }
            }
        }
    }
}

TEST_F(OutputGui, GeneratorReleasesTheDisplayListOfEveryFrame) {
    TForm2& f = open();
    // List 2 checked by the user and drawn: the run unchecks it first.
    f.CheckListBox1->item(6)->setCheckState(Qt::Checked);
    f.changes1 = true;
    f.GLSceneViewer1->render_now();
    ASSERT_TRUE(f.render_state.lists.exists(7));
    f.render_state.log.clear();

    generate(1, 10, 3);
    EXPECT_TRUE(errors().empty()) << (errors().empty() ? "" : errors()[0]);
    // Each list is compiled for its frame and deleted by the paint after it
    // is unchecked; the list checked before the run goes with the first paint.
    EXPECT_EQ(to_string(f.render_state.log), "D7 C6 D6 C9 D9 C12 D12 C15 D15");
    for (int k = 1; k <= f.model.nlista; ++k)
        EXPECT_FALSE(f.render_state.lists.exists(5 + k)) << "list " << k;
    EXPECT_TRUE(f.render_state.release.empty());
    EXPECT_EQ(probe("twelve_lists.avi")["nb_read_frames"], "4");
}

TEST_F(OutputGui, GeneratorStoppedByAFailureReleasesTheListItWasShowing) {
    TForm2& f = open();
    // The recording is finished behind the generator's back once list 2 is
    // drawn (two paints to clear, four for list 1, two for list 2), so its
    // frame cannot be added and the run stops with list 2 compiled and checked.
    int paints = 0;
    QObject::connect(f.GLSceneViewer1, &orv::GLSceneViewer::painted, &f, [&] {
        if (++paints == 8) f.AVIRecorder1.close();
    });
    f.render_state.log.clear();
    generate(1, 3, 1);
    ASSERT_EQ(errors().size(), 1u);
    EXPECT_EQ(errors()[0], orv::kAviNotCreated);
    EXPECT_TRUE(result_lists_unchecked());
    EXPECT_EQ(probe("twelve_lists.avi")["nb_read_frames"], "1");

    f.GLSceneViewer1->render_now();
    EXPECT_EQ(to_string(f.render_state.log), "C6 D6 C7 D7");
    for (int k = 1; k <= f.model.nlista; ++k)
        EXPECT_FALSE(f.render_state.lists.exists(5 + k)) << "list " << k;
}

TEST_F(OutputGui, GeneratorAppendsToAManualRecordingAndClosesIt) {
    TForm2& f = open();
    choose(4);
    f.Button1->click();
    f.Button1->click();
    ASSERT_TRUE(f.avi);
    generate(3, 4, 1);
    EXPECT_TRUE(questions().empty());
    EXPECT_FALSE(f.avi);
    EXPECT_FALSE(f.AVIRecorder1.is_recording());
    EXPECT_EQ(probe("twelve_lists.avi")["nb_read_frames"], "4");
    EXPECT_EQ(probe("twelve_lists.avi")["r_frame_rate"], "25/1"); // the rate of the manual start

    // The video file now exists: the next frame starts a new file after the question.
    choose(4);
    orv::test::dialogs().answer_yes();
    f.Button1->click();
    EXPECT_EQ(questions().size(), 1u);
    EXPECT_TRUE(f.avi);
}

TEST_F(OutputGui, GeneratorLeavesResultChecksClearedAndFixedItemsAlone) {
    TForm2& f = open();
    f.CheckListBox1->item(1)->setCheckState(Qt::Checked); // "Malha Indeformada"
    f.CheckListBox1->item(7)->setCheckState(Qt::Checked); // list 3
    generate(1, 2, 1);
    EXPECT_EQ(f.CheckListBox1->item(1)->checkState(), Qt::Checked);
    EXPECT_TRUE(result_lists_unchecked());
    EXPECT_EQ(probe("twelve_lists.avi")["nb_read_frames"], "2");
}

TEST_F(OutputGui, FirstListBeyondTheFileIsRefusedBeforeAnythingChanges) {
    TForm2& f = open();
    f.CheckBox3->click();
    f.CheckListBox1->item(6)->setCheckState(Qt::Checked);
    choose(6);
    EXPECT_EQ(f.SpinEdit5->maximum(), 12);
    generate(13, 12, 1); // "Lista final:" cannot go above 12
    ASSERT_EQ(errors().size(), 1u);
    EXPECT_EQ(errors()[0], "Result list 13 does not exist: the lists are numbered 1 to 12.");
    EXPECT_FALSE(fs::exists("twelve_lists.avi"));
    EXPECT_EQ(f.Button2->text(), "Gerar");
    EXPECT_TRUE(f.Button2->isEnabled());
    EXPECT_TRUE(f.CheckBox3->isChecked());
    EXPECT_EQ(f.CheckListBox1->item(6)->checkState(), Qt::Checked);
}

TEST_F(OutputGui, NoToOverwriteStopsTheGeneratorWithTheWindowReady) {
    { std::ofstream("twelve_lists.avi", std::ios::binary) << "old bytes"; }
    TForm2& f = open();
    f.CheckListBox1->item(6)->setCheckState(Qt::Checked);
    orv::test::dialogs().answer_cancel();
    generate(1, 3, 1);
    ASSERT_EQ(errors().size(), 1u);
    EXPECT_EQ(errors()[0], "Cannot add frame to AVI. AVI file not created.");
    EXPECT_EQ(file_bytes("twelve_lists.avi"), "old bytes");
    EXPECT_EQ(f.Button2->text(), "Gerar!");
    EXPECT_TRUE(f.Button2->isEnabled());
    EXPECT_FALSE(f.avi);
    // Nothing had been touched yet: the user's checks stay.
    EXPECT_EQ(f.CheckListBox1->item(6)->checkState(), Qt::Checked);
}

TEST_F(OutputGui, FailureInTheMiddleOfARunLeavesAPlayableFileAndAReadyWindow) {
    TForm2& f = open();
    // After the first frame (two paints to clear, two to show list 1, two to
    // hide it) the displacement factor becomes text that is no number, so
    // the next list cannot be drawn.
    int paints = 0;
    QObject::connect(f.GLSceneViewer1, &orv::GLSceneViewer::painted, &f, [&] {
        if (++paints == 6) f.Edit7->setText("abc");
    });
    generate(1, 3, 1);
    ASSERT_FALSE(errors().empty());
    EXPECT_EQ(f.Button2->text(), "Gerar!");
    EXPECT_TRUE(f.Button2->isEnabled());
    EXPECT_TRUE(result_lists_unchecked());
    EXPECT_EQ(f.chbox, 0);
    EXPECT_TRUE(f.changes1);
    EXPECT_FALSE(f.avi);
    EXPECT_FALSE(f.AVIRecorder1.is_recording());
    auto info = probe("twelve_lists.avi");
    EXPECT_EQ(info["codec_name"], "msvideo1");
    EXPECT_EQ(info["nb_read_frames"], "1");

    // The window works again once the factor is a number.
    f.Edit7->setText("1");
    clear_dialogs();
    orv::test::dialogs().answer_yes();
    generate(1, 3, 1);
    orv::test::settle(); // let queued error reports of the failed pass arrive
    EXPECT_EQ(probe("twelve_lists.avi")["nb_read_frames"], "3");
}

TEST_F(OutputGui, LastListFollowsTheFirst) {
    // Applied in this order; with 12 lists "Lista final:" has the maximum 12
    // once the group shows. Its minimum is the first list + 1, and its value
    // rises to that minimum, but never above the maximum.
    struct Case {
        int a, expected_min, expected_value;
    };
    const Case cases[] = {{5, 6, 6}, {1, 2, 6}, {12, 12, 12}, {3, 4, 12}};
    TForm2& f = open();
    choose(6);
    EXPECT_EQ(f.SpinEdit5->maximum(), 12);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.a);
        f.SpinEdit4->setValue(c.a);
        EXPECT_EQ(f.SpinEdit5->maximum(), 12);
        EXPECT_EQ(f.SpinEdit5->minimum(), c.expected_min);
        EXPECT_EQ(f.SpinEdit5->value(), c.expected_value);
    }
    // The last list cannot be set below the minimum.
    f.SpinEdit5->setValue(2);
    EXPECT_EQ(f.SpinEdit5->value(), 4);
}

// ---- Node history ----

TEST_F(OutputGui, HistoryFileAndChart) {
    struct Case {
        const char* node;
        const char* tag;
        int a, b, s;
        const char* file;
        std::string body; // after the header lines
        std::vector<double> values;
    };
    const Case cases[] = {
        // The initial values: node 0 (a row of zeros), lists 1 to 1.
        {"0", "0", 1, 1, 1, "twelve_lists_0.lst", line(1, "0.0000000000") + line(1, "0.0000000000"), {0, 0}},
        // Negative values, and -0.0 written as 0.
        {"7",
         "3",
         2,
         11,
         3,
         "twelve_lists_3.lst",
         line(2, "-0.1250000000") + line(5, "0.0000000000") + line(8, "-0.3750000000") +
             line(11, "-0.2500000000"),
         {-0.125, 0, -0.375, -0.25}},
        {" 7",
         "A",
         7,
         8,
         1,
         "twelve_lists_A.lst",
         line(7, "2.5000000000") + line(8, "-0.3750000000"),
         {2.5, -0.375}},
    };
    TForm2& f = open();
    choose(6);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        f.Edit9->setText(c.node);
        f.Edit10->setText(c.tag);
        f.SpinEdit4->setValue(c.a);
        f.SpinEdit5->setValue(c.b);
        f.SpinEdit6->setValue(c.s);
        const int shown = charts_shown_;
        f.Button3->click();
        EXPECT_TRUE(errors().empty()) << (errors().empty() ? "" : errors()[0]);
        EXPECT_EQ(file_bytes(c.file),
                  std::string("N\xF3: ") + c.node + "\r\n\r\nLista      Valor\r\n" + c.body);
        ASSERT_EQ(charts_shown_, shown + 1);
        EXPECT_TRUE(chart_was_modal_);
        EXPECT_TRUE(chart_was_visible_);
        // The chart holds this run's points only: x counts them.
        ASSERT_EQ(chart_points_.size(), static_cast<qsizetype>(c.values.size()));
        for (qsizetype i = 0; i < chart_points_.size(); ++i) {
            EXPECT_EQ(chart_points_[i].x(), static_cast<double>(i));
            EXPECT_EQ(chart_points_[i].y(), c.values[static_cast<std::size_t>(i)]);
        }
        // Both views repaint afterwards.
        EXPECT_TRUE(f.DirectOpenGL1->changed());
        EXPECT_TRUE(f.DirectOpenGL2->changed());
    }
}

TEST_F(OutputGui, ChartAxesFitTheData) {
    TForm2& f = open();
    choose(6);
    f.Edit9->setText("7");
    f.SpinEdit4->setValue(2);
    f.SpinEdit5->setValue(11);
    f.SpinEdit6->setValue(3);
    f.Button3->click();
    TForm3* chart = orv::chart_form();
    EXPECT_EQ(chart->AxisX->min(), 0.0);
    EXPECT_EQ(chart->AxisX->max(), 3.0);
    EXPECT_EQ(chart->AxisY->min(), -0.375);
    EXPECT_EQ(chart->AxisY->max(), 0.0);
}

TEST_F(OutputGui, ChartWindowLooks) {
    TForm3* chart = orv::chart_form();
    EXPECT_EQ(chart->windowTitle(), QString::fromUtf8("Gráfico"));
    EXPECT_EQ(chart->size(), QSize(656, 372));
    EXPECT_EQ(chart->minimumSize(), chart->maximumSize());
    EXPECT_EQ(chart->Chart1->geometry(), QRect(8, 8, 641, 353));
    EXPECT_EQ(chart->Series1->pen().color(), QColor(Qt::red));
    EXPECT_EQ(chart->Series1->pen().width(), 3);
    EXPECT_FALSE(chart->Series1->pointsVisible());
    EXPECT_FALSE(chart->Series1->pointLabelsVisible());
    QChart* c = chart->Chart1->chart();
    EXPECT_EQ(c->series().size(), 1);
    EXPECT_TRUE(c->title().isEmpty());
    for (QLegendMarker* m : c->legend()->markers(chart->Series1))
        EXPECT_FALSE(m->isVisible());
}

TEST_F(OutputGui, ReadOnlyHistoryFileIsRefusedAndKept) {
    { std::ofstream("twelve_lists_0.lst", std::ios::binary) << "earlier"; }
    fs::permissions("twelve_lists_0.lst", fs::perms(0444), fs::perm_options::replace);
    TForm2& f = open();
    choose(6);
    f.Button3->click();
    ASSERT_EQ(errors().size(), 1u);
    EXPECT_EQ(errors()[0], "Cannot write file 'twelve_lists_0.lst': Permission denied");
    EXPECT_EQ(charts_shown_, 0);
    EXPECT_EQ(file_bytes("twelve_lists_0.lst"), "earlier");
    EXPECT_EQ(fs::status("twelve_lists_0.lst").permissions(), fs::perms(0444));

    // Writable again (group-readable only): replaced, and the mode stays.
    fs::permissions("twelve_lists_0.lst", fs::perms(0640), fs::perm_options::replace);
    clear_dialogs();
    f.Button3->click();
    EXPECT_TRUE(errors().empty());
    EXPECT_EQ(charts_shown_, 1);
    EXPECT_EQ(file_bytes("twelve_lists_0.lst").substr(0, 7), "N\xF3: 0\r\n");
    EXPECT_EQ(fs::status("twelve_lists_0.lst").permissions(), fs::perms(0640));
}

TEST_F(OutputGui, BadNodeOrListIsRefusedBeforeAnyFileIsWritten) {
    struct Case {
        const char* node;
        int a, b;
        const char* message;
    };
    const Case cases[] = {
        {"13", 1, 1, "Node 13 does not exist: the node number must be from 0 to 12."},
        {"-1", 1, 1, "Node -1 does not exist: the node number must be from 0 to 12."},
        {"x1", 1, 1, "'x1' is not a valid integer value"},
        {"1", 13, 12, "Result list 13 does not exist: the lists are numbered 1 to 12."},
    };
    TForm2& f = open();
    choose(6);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.node);
        clear_dialogs();
        f.Edit9->setText(c.node);
        f.SpinEdit4->setValue(c.a);
        f.SpinEdit5->setValue(c.b);
        f.Button3->click();
        ASSERT_EQ(errors().size(), 1u);
        EXPECT_EQ(errors()[0], c.message);
        EXPECT_FALSE(fs::exists("twelve_lists_0.lst"));
        EXPECT_EQ(charts_shown_, 0);
    }
    // An earlier file of that name is left as it was.
    { std::ofstream("twelve_lists_0.lst", std::ios::binary) << "earlier"; }
    f.Edit9->setText("99");
    f.Button3->click();
    EXPECT_EQ(file_bytes("twelve_lists_0.lst"), "earlier");
}

// ---- "Salvar Figura" ----

// The figure's parts: the title strip (black text on white) and the view.
struct FigureParts {
    int black = 0, other = 0;  // pixels of the strip
    int left = -1, right = -1; // first and last columns with text
    QImage view;
};

FigureParts parts_of(const QImage& figure, int strip) {
    FigureParts p;
    const QImage image = figure.convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < strip; ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QRgb c = image.pixel(x, y);
            if (c == qRgb(0, 0, 0)) {
                ++p.black;
                p.left = p.left < 0 ? x : std::min(p.left, x);
                p.right = std::max(p.right, x);
            } else if (c != qRgb(255, 255, 255)) {
                ++p.other;
            }
        }
    p.view = image.copy(0, strip, image.width(), image.height() - strip);
    return p;
}

class SaveFigure : public OutputGui {
  protected:
    // Checks result list k and the mesh, shows "Captura Imagem".
    TForm2& open_with_list(int k) {
        TForm2& f = open();
        choose(5);
        f.CheckListBox1->item(1)->setCheckState(Qt::Checked); // "Malha Indeformada"
        f.CheckListBox1->item(4 + k)->setCheckState(Qt::Checked);
        f.CheckListBox1MouseUp();
        return f;
    }
    // Saves through `act` with the dialog answered `answer` (empty: cancelled);
    // returns the path the dialog proposed.
    QString save(const std::function<void()>& act, const fs::path& answer) {
        if (answer.empty()) {
            orv::test::dialogs().answer_cancel();
        } else {
            orv::test::dialogs().answer_open(QString::fromStdString(answer.string()));
        }
        const int before = orv::test::dialogs().count(orv::ui::DialogKind::SaveFile);
        act();
        orv::test::settle();
        EXPECT_EQ(orv::test::dialogs().count(orv::ui::DialogKind::SaveFile), before + 1);
        return orv::test::dialogs().last_text(orv::ui::DialogKind::SaveFile);
    }
    std::vector<std::string> folder_files() const {
        std::vector<std::string> names;
        for (const auto& e : fs::recursive_directory_iterator(dir_))
            if (e.is_regular_file()) names.push_back(fs::relative(e.path(), dir_).string());
        std::sort(names.begin(), names.end());
        return names;
    }
};

TEST_F(SaveFigure, TheViewUnderATitleLineWithTheListName) {
    TForm2& f = open_with_list(3);
    const QString proposed = save([&] { f.save_figure_button->click(); }, dir_ / "a.png");
    EXPECT_EQ(QFileInfo(proposed).fileName().toStdString(), "twelve_lists_3.png");
    ASSERT_TRUE(errors().empty()) << errors()[0];
    const QImage figure(QString::fromStdString((dir_ / "a.png").string()));
    ASSERT_EQ(figure.size(), QSize(807, 721 + 28));
    const FigureParts p = parts_of(figure, 28);
    EXPECT_EQ(p.other, 0);
    EXPECT_GT(p.black, 60);
    // "Passo 3", centred.
    EXPECT_NEAR((p.left + p.right) / 2.0, 807 / 2.0, 3);
    // Below it, exactly what the view shows.
    EXPECT_EQ(p.view, f.GLSceneViewer1->last_image());
}

TEST_F(SaveFigure, TheLegendStandsWhereTheUserLeftIt) {
    TForm2& f = open_with_list(2);
    f.CheckBox3->setChecked(true); // "Legenda"
    // Dragged partly out of the view, to the left and below.
    f.GLSceneViewer2->move(f.GLSceneViewer1->pos() + QPoint(-40, 600));
    f.raise();
    f.activateWindow();
    orv::test::settle();
    ASSERT_TRUE(f.GLSceneViewer1->render_now());
    ASSERT_TRUE(f.GLSceneViewer2->render_now());
    orv::test::settle();
    const QPoint at = f.GLSceneViewer1->mapToGlobal(QPoint(0, 0));
    const QImage screen = QGuiApplication::primaryScreen()->grabWindow(0, at.x(), at.y(), 807, 721).toImage();
    int legend_background = 0;
    for (int y = 600; y < 721; ++y)
        for (int x = 0; x < 75; ++x)
            legend_background += screen.pixel(x, y) == qRgb(243, 250, 252);
    EXPECT_GT(legend_background, 3000) << "the legend shows in the corner";
    save([&] { f.save_figure_button->click(); }, dir_ / "legend.png");
    ASSERT_TRUE(errors().empty()) << errors()[0];
    const FigureParts p = parts_of(QImage(QString::fromStdString((dir_ / "legend.png").string())), 28);
    EXPECT_EQ(p.view, screen.convertToFormat(QImage::Format_RGB32));
}

TEST_F(SaveFigure, TwiceTheSizeDrawsTheViewAnewAndDoublesTheTitle) {
    TForm2& f = open_with_list(3);
    save([&] { f.save_figure_button->click(); }, dir_ / "one.png");
    f.figure_scale_box->setCurrentIndex(1); // "2×"
    save([&] { f.save_figure_button->click(); }, dir_ / "two.png");
    ASSERT_TRUE(errors().empty()) << errors()[0];
    const QImage one(QString::fromStdString((dir_ / "one.png").string()));
    const QImage two(QString::fromStdString((dir_ / "two.png").string()));
    ASSERT_EQ(two.size(), QSize(2 * 807, 2 * (721 + 28)));
    const FigureParts p1 = parts_of(one, 28), p2 = parts_of(two, 56);
    EXPECT_EQ(p2.other, 0);
    EXPECT_EQ(p2.black, 4 * p1.black); // every pixel of a glyph as 2 x 2
    // An enlarged bitmap would repeat every pixel in 2 x 2 blocks; the mesh
    // lines drawn anew, one pixel wide, split many of them.
    const QImage view = p2.view.convertToFormat(QImage::Format_RGB32);
    int split = 0;
    for (int y = 0; y + 1 < view.height(); y += 2)
        for (int x = 0; x + 1 < view.width(); x += 2) {
            const QRgb c = view.pixel(x, y);
            split += view.pixel(x + 1, y) != c || view.pixel(x, y + 1) != c || view.pixel(x + 1, y + 1) != c;
        }
    EXPECT_GT(split, 500);
}

TEST_F(SaveFigure, CtrlSGoesTheSameWayAndTheDialogStartsInTheFolderLastUsed) {
    TForm2& f = open_with_list(3);
    fs::create_directory(dir_ / "sub");
    save([&] { f.save_figure_button->click(); }, dir_ / "sub" / "button"); // no extension: .png added
    // The key goes to the active window's focus widget, as a user's would.
    f.raise();
    f.activateWindow();
    f.CheckListBox1->setFocus();
    ASSERT_TRUE(orv::test::wait_until([&] { return QApplication::activeWindow() == &f; }));
    orv::test::settle();
    const QString proposed =
        save([&] { QTest::keyClick(f.CheckListBox1, Qt::Key_S, Qt::ControlModifier); }, dir_ / "key.png");
    EXPECT_EQ(proposed.toStdString(), (dir_ / "sub" / "twelve_lists_3.png").string());
    ASSERT_TRUE(errors().empty()) << errors()[0];
    EXPECT_EQ(folder_files(), (std::vector<std::string>{"key.png", "sub/button.png"}));
    EXPECT_EQ(QImage(QString::fromStdString((dir_ / "key.png").string())),
              QImage(QString::fromStdString((dir_ / "sub" / "button.png").string())));
}

TEST_F(SaveFigure, WithoutACheckedListTheFileNamesTheFigure) {
    TForm2& f = open();
    const QString proposed = save([&] { f.save_figure_button->click(); }, dir_ / "plain.png");
    EXPECT_EQ(QFileInfo(proposed).fileName().toStdString(), "twelve_lists.png");
    const FigureParts p = parts_of(QImage(QString::fromStdString((dir_ / "plain.png").string())), 28);
    EXPECT_GT(p.black, 100); // "twelve_lists.txt"
}

TEST_F(SaveFigure, CancelledOrRefusedWritesNothing) {
    TForm2& f = open_with_list(1);
    save([&] { f.save_figure_button->click(); }, {});
    EXPECT_TRUE(errors().empty());
    EXPECT_TRUE(folder_files().empty());

    { std::ofstream(dir_ / "kept.png", std::ios::binary) << "earlier"; }
    fs::permissions(dir_ / "kept.png", fs::perms(0444), fs::perm_options::replace);
    save([&] { f.save_figure_button->click(); }, dir_ / "kept.png");
    ASSERT_EQ(errors().size(), 1u);
    EXPECT_EQ(errors()[0], "Cannot write file '" + (dir_ / "kept.png").string() + "': Permission denied");
    EXPECT_EQ(file_bytes(dir_ / "kept.png"), "earlier");
    EXPECT_EQ(folder_files(), std::vector<std::string>{"kept.png"}); // nothing left behind
}

} // namespace
