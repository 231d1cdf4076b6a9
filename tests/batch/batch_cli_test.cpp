// The batch modes through the real program, with no display (DISPLAY unset
// for the program): the video against the pictures of its lists, the chart,
// and every error path with its exit status, its message and no file left.
#include "../viewer/output/output_test_files.h"
#include "batch_files.h"

#include "viewer/legend/colour_scale.h"
#include "viewer/output/avi_recorder.h"

#include <QCoreApplication>
#include <QRegularExpression>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <filesystem>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

namespace orv {
namespace {

namespace fs = std::filesystem;

const QString kTwelve = QStringLiteral(ORVANEL_TEST_DATA "/output/twelve_lists.txt");
const QString kViga = QStringLiteral(ORVANEL_SOURCE_DIR "/examples/viga.txt");
const QString kBeam20 = QStringLiteral(ORVANEL_TEST_DATA "/import/calculix/beam20.frd");
const QString kSeries = QStringLiteral(ORVANEL_TEST_DATA "/import/vtk_xml/series.pvd");
const QString kBricks = QStringLiteral(ORVANEL_TEST_DATA "/volume/brick_block.vtk");
const QString kPlate = QStringLiteral(ORVANEL_TEST_DATA "/import/exodus/offset64_quad2d.exo");

class BatchCli : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(scratch.isValid()); }
    QString in_scratch(const QString& name) const { return scratch.filePath(name); }
    test::BatchRun run(const QStringList& args) { return test::run_orvanel(args, scratch.path()); }
    // Names of the files in the scratch folder, hidden ones included.
    QStringList files() const {
        return QDir(scratch.path()).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
    }
    QTemporaryDir scratch;
};

// The picture as one key frame of an AVI written by the same recorder, decoded.
test::Frame encoded(const QString& png, const std::string& avi) {
    QImage image(png);
    image = image.convertToFormat(QImage::Format_RGB32);
    AviRecorder r;
    r.set_width(image.width());
    r.set_height(image.height());
    r.set_filename(avi);
    r.create({});
    r.add_frame(
        {image.constBits(), image.width(), image.height(), image.bytesPerLine(), PixelLayout::Bgra, false});
    r.close();
    const auto frames = test::decode(avi, image.width(), image.height());
    fs::remove(avi);
    return frames.size() == 1 ? frames[0] : test::Frame{};
}

TEST_F(BatchCli, VideoFramesAreThePicturesOfTheirLists) {
    ASSERT_TRUE(test::have_ffprobe());
    const QString avi = in_scratch("run.avi");
    const QStringList view{"--size", "320x240", "--mesh", "--bands", "--orbit", "-30,20"};
    const test::BatchRun r =
        run(QStringList{"--video", avi, "--lists", "1:10:3", "--fps", "7"} + view + QStringList{kTwelve});
    ASSERT_EQ(r.exit_code, 0) << r.err.toStdString();
    EXPECT_EQ(r.err.count(QRegularExpression("^frame [1-4]/4$", QRegularExpression::MultilineOption)), 4)
        << r.err.toStdString();

    const auto p = test::probe(avi.toStdString());
    EXPECT_EQ(p.at("codec_name"), "msvideo1");
    EXPECT_EQ(p.at("nb_read_frames"), "4");
    EXPECT_EQ(p.at("width"), "320");
    EXPECT_EQ(p.at("height"), "240");
    EXPECT_EQ(p.at("r_frame_rate"), "7/1");

    const auto frames = test::decode(avi.toStdString(), 320, 240);
    ASSERT_EQ(frames.size(), 4u);
    const int lists[] = {1, 4, 7, 10};
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(lists[i]);
        const QString png = in_scratch(QString("list%1.png").arg(lists[i]));
        const test::BatchRun pr = run(QStringList{"--picture", png, "--list", QString::number(lists[i])} +
                                      view + QStringList{kTwelve});
        ASSERT_EQ(pr.exit_code, 0) << pr.err.toStdString();
        const test::Frame want = encoded(png, in_scratch("one.avi").toStdString());
        ASSERT_FALSE(want.empty());
        EXPECT_TRUE(frames[static_cast<std::size_t>(i)] == want);
        if (i > 0) {
            EXPECT_FALSE(frames[static_cast<std::size_t>(i)] == frames[static_cast<std::size_t>(i - 1)]);
        }
    }
}

// Largest channel difference between two colours.
int channel_distance(QRgb a, QRgb b) {
    return std::max(
        {std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)), std::abs(qBlue(a) - qBlue(b))});
}

QRgb rgb_of(const Rgb& c) {
    return qRgb(static_cast<int>(std::lround(c.r * 255)), static_cast<int>(std::lround(c.g * 255)),
                static_cast<int>(std::lround(c.b * 255)));
}

TEST_F(BatchCli, PicturesShowNoColourTheLegendLacks) {
    // Every example, continuous and in bands: a pixel is the background or
    // within 4 levels of the scale's colours (the continuous map sampled
    // finely, or the nine band rows). The allowance: edges blended with the
    // background, at most 1 % of the model's pixels, and the small axes
    // symbol at the origin (a few dozen pixels).
    load_legend(0);
    std::vector<QRgb> continuous, bands;
    for (int i = 0; i <= 2048; ++i)
        continuous.push_back(rgb_of(value_color(0, 1, 0, i / 2048.0)));
    for (int row = 0; row < 9; ++row)
        bands.push_back(rgb_of(value_color(0, 1, 0, row / 8.0)));
    for (const char* example : {"casca.txt", "placa.txt", "viga.txt"}) {
        for (const bool banded : {false, true}) {
            SCOPED_TRACE(std::string(example) + (banded ? " bands" : " continuous"));
            const QString png = in_scratch("scan.png");
            QStringList args{"--picture", png,       "--list", "1",      "--size",
                             "400x300",   "--orbit", "-30,20", "--zoom", "2"};
            if (banded) args << "--bands";
            const test::BatchRun r =
                run(args + QStringList{QStringLiteral(ORVANEL_SOURCE_DIR "/examples/") + example});
            ASSERT_EQ(r.exit_code, 0) << r.err.toStdString();
            const QImage image = QImage(png).convertToFormat(QImage::Format_RGB32);
            ASSERT_FALSE(image.isNull());
            const QRgb background = image.pixel(0, 0);
            const std::vector<QRgb>& palette = banded ? bands : continuous;
            long model = 0, off = 0;
            for (int y = 0; y < image.height(); ++y)
                for (int x = 0; x < image.width(); ++x) {
                    const QRgb p = image.pixel(x, y);
                    if (channel_distance(p, background) <= 4) continue;
                    ++model;
                    int best = 255;
                    for (const QRgb c : palette)
                        best = std::min(best, channel_distance(p, c));
                    off += best > 4;
                }
            EXPECT_GT(model, 200);
            EXPECT_LE(off, model / 100 + 40) << off << " of " << model;
        }
    }
}

TEST_F(BatchCli, HistoryWithChart) {
    const QString chart = in_scratch("chart.png");
    // A plain shell may have no runtime folder: Qt's chatter about it is not the program's to print.
    const test::BatchRun r = test::run_orvanel({"--history", "21", "--lists", "1:5", "--chart", chart, kViga},
                                               scratch.path(), {"XDG_RUNTIME_DIR"});
    ASSERT_EQ(r.exit_code, 0) << r.err.toStdString();
    EXPECT_EQ(r.err.toStdString(), "");
    EXPECT_EQ(r.out.toStdString(), "");
    EXPECT_EQ(files(), (QStringList{"chart.png", "viga_1.lst"}));
    const QImage image(chart);
    ASSERT_EQ(image.size(), QSize(641, 353));
    int red = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) == qRgb(255, 0, 0)) ++red;
    EXPECT_GT(red, 300); // the line, width 3, across the chart
}

// Values along a line through 2 x 2 x 2 bricks carrying T = x + 2 y + 3 z:
// the points inside get T, those past the block empty fields.
TEST_F(BatchCli, PlotLineWritesTheValuesAlongTheLine) {
    const QString csv = in_scratch("line.csv");
    const test::BatchRun r = run(
        {"--plot-line", csv, "--line", "0.5,0.5,0.5:3,0.5,0.5", "--samples", "6", "--lists", "1:1", kBricks});
    ASSERT_EQ(r.exit_code, 0) << r.err.toStdString();
    EXPECT_EQ(files(), QStringList{"line.csv"});
    QFile f(csv);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QStringList rows = QString::fromUtf8(f.readAll()).split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(rows.size(), 7);
    EXPECT_TRUE(rows[0].startsWith("distance,x,y,z,T")) << rows[0].toStdString();
    for (int i = 1; i < rows.size(); ++i) {
        const QStringList field = rows[i].split(',');
        ASSERT_EQ(field.size(), 5) << rows[i].toStdString();
        const double x = 0.5 + 0.5 * (i - 1);
        EXPECT_DOUBLE_EQ(field[0].toDouble(), x - 0.5);
        EXPECT_DOUBLE_EQ(field[1].toDouble(), x);
        EXPECT_EQ(field[2], "0.5");
        if (x <= 2)
            EXPECT_NEAR(field[4].toDouble(), x + 2.5, 1e-12) << rows[i].toStdString();
        else
            EXPECT_EQ(field[4], "") << rows[i].toStdString();
    }
}

// With --chart, the CSV and the chart: the block's values in red, the points
// past the block leaving the line short of the right edge.
TEST_F(BatchCli, PlotLineWithChart) {
    const QString csv = in_scratch("line.csv"), chart = in_scratch("line.png");
    const test::BatchRun r = test::run_orvanel(
        {"--plot-line", csv, "--line", "0,1,1:3,1,1", "--lists", "1:1", "--chart", chart, kBricks},
        scratch.path(), {"XDG_RUNTIME_DIR"});
    ASSERT_EQ(r.exit_code, 0) << r.err.toStdString();
    EXPECT_EQ(r.err.toStdString(), "");
    EXPECT_EQ(files(), (QStringList{"line.csv", "line.png"}));
    const QImage image(chart);
    ASSERT_EQ(image.size(), QSize(641, 353));
    int red = 0, right = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) == qRgb(255, 0, 0)) {
                ++red;
                right = std::max(right, x);
            }
    EXPECT_GT(red, 300);
    // Values up to distance 2 of 3: the line ends about two thirds across.
    EXPECT_LT(right, image.width() * 5 / 6);
}

// A cache of one list (ORVANEL_CACHE_MB=0) reads lists again and again, and
// changes no byte of what the batch modes write.
TEST_F(BatchCli, ACacheOfOneListWritesTheSameFiles) {
    struct Mode {
        const char* what;
        QStringList args; // "OUT" stands for the output file
        const char* out;
    };
    const Mode modes[] = {
        {"picture of the last list",
         {"--picture", "OUT", "--list", "12", "--size", "320x240", "--bands", "--deformed-mesh", "--extremes",
          kTwelve},
         "out.png"},
        {"video of every list",
         {"--video", "OUT", "--lists", "1:12", "--size", "160x120", kTwelve},
         "out.avi"},
        {"history over every list", {"--history", "21", "--lists", "1:10", kViga}, "viga_1.lst"},
        // Imported steps come from their files as the native lists do.
        {"picture of a CalculiX step",
         {"--picture", "OUT", "--list", "7", "--size", "320x240", "--bands", "--deformed-mesh", kBeam20},
         "out.png"},
        {"video of a .pvd series",
         {"--video", "OUT", "--lists", "1:3", "--size", "160x120", kSeries},
         "out.avi"},
        {"history of a CalculiX node", {"--history", "21", "--lists", "1:28", kBeam20}, "beam20_1.lst"},
    };
    for (const Mode& m : modes) {
        SCOPED_TRACE(m.what);
        QByteArray written[2];
        for (int budget = 0; budget < 2; ++budget) {
            const QString out = in_scratch(QString::fromLatin1(m.out));
            QStringList args = m.args;
            args.replaceInStrings(QRegularExpression("^OUT$"), out);
            if (budget == 0)
                qputenv("ORVANEL_CACHE_MB", "0");
            else
                qunsetenv("ORVANEL_CACHE_MB");
            const test::BatchRun r = run(args);
            qunsetenv("ORVANEL_CACHE_MB");
            ASSERT_EQ(r.exit_code, 0) << r.err.toStdString();
            QFile f(out);
            ASSERT_TRUE(f.open(QIODevice::ReadOnly)) << out.toStdString();
            written[budget] = f.readAll();
            f.remove();
        }
        EXPECT_FALSE(written[0].isEmpty());
        EXPECT_TRUE(written[0] == written[1]);
    }
}

struct ErrorCase {
    const char* what;
    QStringList args;
    int exit_code;
    QString message;
};

TEST_F(BatchCli, ErrorsExitWithTheirStatusAndWriteNothing) {
    const QString missing = in_scratch("no-such-folder/out.png");
    const std::vector<ErrorCase> cases = {
        {"unknown option", {"--picture", "a.png", "--colour", kViga}, 2, "orvanel: unknown option --colour"},
        {"bad value",
         {"--picture", "a.png", "--size", "10by10", kViga},
         2,
         "orvanel: bad value '10by10' for --size"},
        {"bad value of --video",
         {"--video", "a.avi", "--lists", "1:x", kViga},
         2,
         "orvanel: bad value '1:x' for --lists"},
        {"read error",
         {"--picture", "a.png", ORVANEL_TEST_DATA "/viewer/bad_number.txt"},
         1,
         "Invalid numeric input"},
        {"missing file", {"--video", "a.avi", "--lists", "1:2", in_scratch("none.txt")}, 1, "none.txt"},
        {"list out of range",
         {"--picture", "a.png", "--list", "11", kViga},
         1,
         "Result list 11 does not exist: the lists are numbered 1 to 10."},
        {"video list out of range",
         {"--video", "a.avi", "--lists", "8:12:2", kViga},
         1,
         "Result list 12 does not exist: the lists are numbered 1 to 10."},
        {"history list out of range",
         {"--history", "3", "--lists", "0:3", kViga},
         2,
         "orvanel: bad value '0:3'"},
        {"history list beyond the file",
         {"--history", "3", "--lists", "9:11", "--chart", "c.png", kViga},
         1,
         "Result list 11 does not exist: the lists are numbered 1 to 10."},
        {"node out of range",
         {"--history", "22", "--lists", "1:3", "--chart", "c.png", kViga},
         1,
         "Node 22 does not exist: the node number must be from 0 to 21."},
        {"bad legend range", {"--picture", "a.png", "--range", "1:2", "--list", "1", kViga}, 0, ""},
        {"unwritable picture", {"--picture", missing, kViga}, 1, "Cannot write file '" + missing + "'"},
        {"figure too large",
         {"--picture", "a.png", "--size", "4000x4090", "--title", "--scale-figure", "2", kViga},
         1,
         "Picture size out of range: 8000x8236 pixels, at most 8192 a side."},
        {"unwritable video",
         {"--video", in_scratch("no-such-folder/v.avi"), "--lists", "1:2", kViga},
         1,
         "Cannot create AVI file"},
        {"unknown displacement field",
         {"--picture", "a.png", "--displacement-field", "Deformation", kViga},
         1,
         "No three-component nodal field named 'Deformation'; the file has none"},
        {"unknown block",
         {"--picture", "a.png", "--list", "1", "--blocks", "plate,web", kPlate},
         1,
         "No element block named 'web'; the blocks are plate, tip"},
        {"block of a file without blocks",
         {"--video", "v.avi", "--lists", "1:2", "--blocks", "plate", kViga},
         1,
         "No element block named 'plate'; the file has none"},
        {"line through a file without volume cells",
         {"--plot-line", "l.csv", "--line", "0,0,0:1,1,1", "--lists", "1:2", kViga},
         1,
         "viga.txt has no volume cells"},
        {"line list beyond the file",
         {"--plot-line", "l.csv", "--line", "0,0,0:1,1,1", "--lists", "1:2", kBricks},
         1,
         "Result list 2 does not exist: the lists are numbered 1 to 1."},
        {"unwritable line",
         {"--plot-line", missing, "--line", "0,0,0:1,1,1", "--lists", "1:1", kBricks},
         1,
         "Cannot write file '" + missing + "'"},
        {"unwritable line chart",
         {"--plot-line", "l.csv", "--line", "0,0,0:1,1,1", "--lists", "1:1", "--chart", missing, kBricks},
         1,
         "Cannot write file '" + missing + "'"},
        {"unknown arrow field",
         {"--picture", "a.png", "--arrows=FORC", kViga},
         1,
         "No three-component nodal field named 'FORC' for the arrows; the file has none"},
        {"unwritable chart",
         {"--history", "1", "--lists", "1:2", "--chart", missing, kViga},
         1,
         "Cannot write file '" + missing + "'"},
    };
    for (const ErrorCase& c : cases) {
        SCOPED_TRACE(c.what);
        const test::BatchRun r = run(c.args);
        EXPECT_EQ(r.exit_code, c.exit_code) << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(c.message)) << r.err.toStdString();
        if (c.exit_code == 2) {
            EXPECT_TRUE(r.err.contains("Usage: orvanel")) << r.err.toStdString();
        }
        if (c.exit_code != 0) {
            EXPECT_EQ(files(), QStringList{}) << c.what;
        }
        for (const QString& f : files())
            QFile::remove(in_scratch(f));
    }
}

// --title puts a strip of 28 rows above the view, --scale-figure 2 draws all
// of it at twice the size; the view below the strip is the plain picture.
TEST_F(BatchCli, FigureOptionsGrowThePicture) {
    const QStringList view{"--size", "300x200", "--list", "2", "--mesh", "--legend", kTwelve};
    const struct {
        QStringList figure;
        QSize size;
        int strip; // rows of the title strip
    } cases[] = {
        {{}, {300, 200}, 0},
        {{"--title"}, {300, 228}, 28},
        {{"--scale-figure", "2"}, {600, 400}, 0},
        {{"--title", "--scale-figure", "2"}, {600, 456}, 56},
    };
    QImage plain;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.figure.join(' ').toStdString());
        const QString png = in_scratch("figure.png");
        const test::BatchRun r = run(QStringList{"--picture", png} + c.figure + view);
        ASSERT_EQ(r.exit_code, 0) << r.err.toStdString();
        const QImage image = QImage(png).convertToFormat(QImage::Format_RGB32);
        ASSERT_EQ(image.size(), c.size);
        if (c.figure.isEmpty()) plain = image;
        if (c.strip > 0) {
            // Black text on white, nothing else, in the strip.
            int black = 0, other = 0;
            for (int y = 0; y < c.strip; ++y)
                for (int x = 0; x < image.width(); ++x) {
                    const QRgb p = image.pixel(x, y);
                    black += p == qRgb(0, 0, 0);
                    other += p != qRgb(0, 0, 0) && p != qRgb(255, 255, 255);
                }
            EXPECT_GT(black, 40);
            EXPECT_EQ(other, 0);
        }
        if (c.figure == QStringList{"--title"}) {
            EXPECT_EQ(image.copy(0, 28, 300, 200), plain);
        }
    }
}

// Outputs that are not regular files (a device, a FIFO, a socket, a folder)
// are refused before anything is read and left as they were: replacing one
// would turn /dev/null into a video. The chart of a history whose list
// cannot be written keeps its older bytes.
TEST_F(BatchCli, TargetsThatAreNotFilesAreRefusedAndUntouched) {
    const QString dev = in_scratch("dev.png"), fifo = in_scratch("fifo.avi"), sock = in_scratch("sock.png");
    const bool device = ::mknod(dev.toLocal8Bit().constData(), S_IFCHR | 0666, makedev(1, 3)) == 0;
    ASSERT_EQ(::mkfifo(fifo.toLocal8Bit().constData(), 0644), 0);
    {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        const QByteArray path = sock.toLocal8Bit();
        ASSERT_LT(static_cast<std::size_t>(path.size()), sizeof addr.sun_path);
        std::memcpy(addr.sun_path, path.constData(), static_cast<std::size_t>(path.size()));
        ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
        ::close(fd);
    }
    QDir(scratch.path()).mkdir("viga_9.lst");
    {
        QFile chart(in_scratch("c.png"));
        ASSERT_TRUE(chart.open(QIODevice::WriteOnly));
        chart.write("old chart");
    }
    const QStringList before =
        QDir(scratch.path()).entryList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot);
    struct Case {
        const char* what;
        QStringList args;
        QString message;
    };
    std::vector<Case> cases = {
        {"FIFO video", {"--video", fifo, "--lists", "1:2", kViga}, "it is a FIFO, not a regular file"},
        {"FIFO picture", {"--picture", fifo, kViga}, "it is a FIFO, not a regular file"},
        {"socket picture", {"--picture", sock, kViga}, "it is a socket, not a regular file"},
        {"socket chart",
         {"--history", "1", "--lists", "1:2", "--chart", sock, kViga},
         "it is a socket, not a regular file"},
        {"list is a folder, older chart kept",
         {"--history", "1", "--lists", "1:2", "--tag", "9", "--chart", "c.png", kViga},
         "Cannot write file 'viga_9.lst': Is a directory"},
    };
    if (device) {
        cases.push_back({"device video", {"--video", dev, "--lists", "1:2", kViga}, "it is a device"});
        cases.push_back({"device picture", {"--picture", dev, kViga}, "it is a device"});
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const test::BatchRun r = run(c.args);
        EXPECT_EQ(r.exit_code, 1) << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(c.message)) << r.err.toStdString();
    }
    EXPECT_EQ(
        QDir(scratch.path()).entryList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot),
        before);
    EXPECT_TRUE(fs::is_fifo(fifo.toStdString()));
    EXPECT_TRUE(fs::is_socket(sock.toStdString()));
    if (device) {
        EXPECT_TRUE(fs::is_character_file(dev.toStdString()));
    }
    QFile chart(in_scratch("c.png"));
    ASSERT_TRUE(chart.open(QIODevice::ReadOnly));
    EXPECT_EQ(chart.readAll(), "old chart");
}

// An existing output without write permission is refused and left alone.
TEST_F(BatchCli, ReadOnlyOutputsAreLeftAlone) {
    const std::vector<QStringList> commands = {
        {"--picture", "out.png", kViga},
        {"--video", "out.avi", "--lists", "1:2", kViga},
        {"--history", "21", "--lists", "1:2", "--chart", "out.png", kViga},
        {"--history", "21", "--lists", "1:2", "--tag", "T", kViga},
    };
    for (const QStringList& args : commands) {
        SCOPED_TRACE(args.join(' ').toStdString());
        const QString name = args.contains("--tag")     ? "viga_T.lst"
                             : args.contains("--video") ? "out.avi"
                                                        : "out.png";
        {
            QFile old(in_scratch(name));
            ASSERT_TRUE(old.open(QIODevice::WriteOnly));
            old.write("old bytes");
        }
        QFile::setPermissions(in_scratch(name), QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
        const test::BatchRun r = run(args);
        EXPECT_EQ(r.exit_code, 1) << r.err.toStdString();
        EXPECT_TRUE(r.err.contains("Permission denied")) << r.err.toStdString();
        EXPECT_EQ(files(), QStringList{name});
        QFile old(in_scratch(name));
        ASSERT_TRUE(old.open(QIODevice::ReadOnly));
        EXPECT_EQ(old.readAll(), "old bytes");
        old.close();
        QFile::setPermissions(in_scratch(name), QFile::ReadOwner | QFile::WriteOwner);
        old.remove();
    }
}

// A disk that fills up while the file is written: the run fails, and neither
// a partial file nor a temporary one is left; an older file keeps its bytes.
TEST_F(BatchCli, FullDiskLeavesNoPartialFile) {
    const std::vector<QStringList> commands = {
        {"--picture", "out.png", "--list", "1", "--size", "1000x1000", kViga},
        {"--video", "out.avi", "--lists", "1:10", "--size", "1000x1000", kViga},
        {"--history", "21", "--lists", "1:10", "--chart", "out.png", kViga},
        // Written by the launcher itself, which was killed by the limit.
        {"--convert", "out.txt", kViga},
    };
    for (const QStringList& args : commands) {
        SCOPED_TRACE(args.front().toStdString());
        {
            QFile old(in_scratch(args.front() == "--video"     ? "out.avi"
                                 : args.front() == "--convert" ? "out.txt"
                                                               : "out.png"));
            ASSERT_TRUE(old.open(QIODevice::WriteOnly));
            old.write("old bytes");
        }
        test::BatchRun r;
        {
            const test::FileSizeLimit limit(4000); // inherited by the program
            // SIGXFSZ as a shell leaves it, so that only the program's own
            // start-up keeps the limit from killing it.
            const auto ignored = std::signal(SIGXFSZ, SIG_DFL);
            r = run(args);
            std::signal(SIGXFSZ, ignored);
        }
        EXPECT_EQ(r.exit_code, 1) << r.err.toStdString();
        EXPECT_FALSE(r.err.isEmpty());
        EXPECT_EQ(files().size(), 1) << files().join(' ').toStdString();
        for (const QString& f : files()) {
            QFile old(in_scratch(f));
            ASSERT_TRUE(old.open(QIODevice::ReadOnly));
            EXPECT_EQ(old.readAll(), "old bytes");
            old.close();
            old.remove();
        }
    }
}

// A video run with SIGHUP ignored (nohup) is not stopped by it; a closed
// standard error (a pipe into a reader that went away) does not kill it.
TEST_F(BatchCli, IgnoredHangupAndClosedErrorPipeLetTheVideoFinish) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("DISPLAY");
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(scratch.path());
    p.start("nohup", {QStringLiteral(ORVANEL_BINARY), "--video", "hup.avi", "--lists", "1:12", "--size",
                      "1600x1600", "--bands", kTwelve});
    p.setReadChannel(QProcess::StandardError);
    QByteArray err;
    while (!err.contains("frame 1/") && p.waitForReadyRead(60000))
        err += p.readAllStandardError();
    ASSERT_TRUE(err.contains("frame 1/")) << err.toStdString();
    ::kill(static_cast<pid_t>(p.processId()), SIGHUP);
    ASSERT_TRUE(p.waitForFinished(300000));
    err += p.readAllStandardError();
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p.exitCode(), 0) << err.toStdString();
    EXPECT_TRUE(err.contains("frame 12/12")) << err.toStdString();
    EXPECT_EQ(test::probe(in_scratch("hup.avi").toStdString()).at("nb_read_frames"), "12");

    // The reader of standard error closes its end at once.
    QProcess piped;
    piped.setProcessEnvironment(env);
    piped.setWorkingDirectory(scratch.path());
    piped.start("bash", {"-c",
                         "\"$0\" --video pipe.avi --lists 1:3 --size 320x240 \"$1\" 2>&1 >/dev/null | "
                         "(exec <&-; sleep 1); exit \"${PIPESTATUS[0]}\"",
                         QStringLiteral(ORVANEL_BINARY), kTwelve});
    ASSERT_TRUE(piped.waitForFinished(300000));
    EXPECT_EQ(piped.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(piped.exitCode(), 0);
    EXPECT_EQ(files(), (QStringList{"hup.avi", "pipe.avi"}));
}

// Without /proc the launcher finds the full program beside itself from the
// path it was started by, or through the absolute folders of PATH; never in
// the working folder, where a planted orvanel-app must not run.
TEST_F(BatchCli, LauncherWithoutProcNeverRunsAProgramOfTheWorkingFolder) {
    if (std::system("unshare -m sh -c 'mount -t tmpfs none /proc' 2>/dev/null") != 0)
        GTEST_SKIP() << "needs a mount namespace to hide /proc";
    const QDir dir(scratch.path());
    dir.mkpath("bin");
    dir.mkpath("work");
    const auto script = [&](const QString& path, const QByteArray& says) {
        QFile f(in_scratch(path));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("#!/bin/sh\necho " + says + "\n");
        f.close();
        f.setPermissions(f.permissions() | QFile::ExeOwner);
    };
    script("bin/orvanel-app", "installed");
    script("work/orvanel-app", "planted");
    ASSERT_TRUE(QFile::copy(QStringLiteral(ORVANEL_BINARY), in_scratch("bin/orvanel")));
    ASSERT_TRUE(QFile::copy(QStringLiteral(ORVANEL_BINARY), in_scratch("work/orvanel")));
    struct Case {
        const char* what;
        QString path; // PATH for the shell that starts `orvanel`
        QString command;
        QString out;
        int exit_code;
    } cases[] = {
        {"found through an absolute PATH folder", in_scratch("bin"), "orvanel viga.txt", "installed\n", 0},
        {"started by its path", "/usr/bin:/bin", "../bin/orvanel viga.txt", "installed\n", 0},
        {"found through a relative PATH folder", ".", "orvanel viga.txt", "", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QProcess p;
        p.setWorkingDirectory(in_scratch("work"));
        p.start("unshare",
                {"-m", "sh", "-c", "mount -t tmpfs none /proc && PATH=\"$0\" exec " + c.command, c.path});
        ASSERT_TRUE(p.waitForFinished(60000));
        const QString err = QString::fromUtf8(p.readAllStandardError());
        EXPECT_EQ(QString::fromUtf8(p.readAllStandardOutput()), c.out) << err.toStdString();
        EXPECT_EQ(p.exitCode(), c.exit_code) << err.toStdString();
        if (c.exit_code != 0) {
            EXPECT_TRUE(err.contains("cannot find orvanel-app")) << err.toStdString();
        }
    }
}

// The full program starts with the allocator's huge-page advice added to
// the caller's tunables, and a choice the caller made of that one kept.
TEST_F(BatchCli, LauncherAddsHugePageAdviceToTheTunables) {
    const QDir dir(scratch.path());
    dir.mkpath("bin");
    {
        QFile f(in_scratch("bin/orvanel-app"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("#!/bin/sh\necho \"$GLIBC_TUNABLES\"\n");
        f.close();
        f.setPermissions(f.permissions() | QFile::ExeOwner);
    }
    ASSERT_TRUE(QFile::copy(QStringLiteral(ORVANEL_BINARY), in_scratch("bin/orvanel")));
    const struct {
        const char* given; // nullptr: unset
        const char* seen;
    } cases[] = {
        {nullptr, "glibc.malloc.hugetlb=1"},
        {"", "glibc.malloc.hugetlb=1"},
        {"glibc.malloc.arena_max=2", "glibc.malloc.arena_max=2:glibc.malloc.hugetlb=1"},
        {"glibc.malloc.hugetlb=0", "glibc.malloc.hugetlb=0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.given ? c.given : "(unset)");
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("GLIBC_TUNABLES");
        if (c.given) env.insert("GLIBC_TUNABLES", c.given);
        QProcess p;
        p.setProcessEnvironment(env);
        p.start(in_scratch("bin/orvanel"), {"viga.txt"});
        ASSERT_TRUE(p.waitForFinished(60000));
        EXPECT_EQ(QString::fromUtf8(p.readAllStandardOutput()), QString::fromUtf8(c.seen) + "\n");
        EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    }
}

// SIGTERM during a video: it stops after the frame in hand, exit status 1,
// and no file is left (neither the video nor its temporary file).
TEST_F(BatchCli, SignalStopsTheVideoAndLeavesNothing) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("DISPLAY");
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(scratch.path());
    p.start(QStringLiteral(ORVANEL_BINARY),
            {"--video", "out.avi", "--lists", "1:12", "--size", "2400x2400", "--bands", kTwelve});
    p.setReadChannel(QProcess::StandardError);
    QByteArray err;
    while (!err.contains("frame 1/") && p.waitForReadyRead(60000))
        err += p.readAllStandardError();
    ASSERT_TRUE(err.contains("frame 1/")) << err.toStdString();
    p.terminate(); // SIGTERM
    ASSERT_TRUE(p.waitForFinished(60000));
    err += p.readAllStandardError();
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p.exitCode(), 1);
    EXPECT_TRUE(err.contains("Stopped by signal 15")) << err.toStdString();
    EXPECT_FALSE(err.contains("frame 12/12")) << err.toStdString();
    EXPECT_EQ(files(), QStringList{});
}

} // namespace
} // namespace orv

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
