#pragma once
// Running the batch program from a test: `orvanel` with DISPLAY removed from
// its environment (the batch modes must not need a display), in a scratch
// folder, and the pictures it writes compared with others.

#include <QDir>
#include <QImage>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace orv::test {

struct BatchRun {
    int exit_code = -1;
    QString out, err;
};

// Runs build/src/orvanel with `args` in `folder`, DISPLAY and WAYLAND_DISPLAY
// unset, and the variables named in `unset` too.
inline BatchRun run_orvanel(const QStringList& args, const QString& folder, const QStringList& unset = {}) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const QString& name : unset)
        env.remove(name);
    env.remove("DISPLAY");
    env.remove("WAYLAND_DISPLAY");
    env.remove("QT_QPA_PLATFORM");
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(folder);
    p.start(QStringLiteral(ORVANEL_BINARY), args);
    BatchRun r;
    if (!p.waitForFinished(300000)) {
        p.kill();
        p.waitForFinished();
        r.err = QStringLiteral("did not finish");
        return r;
    }
    r.exit_code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

// Pixels that differ between two pictures of the same size (RGB only).
struct PictureDiff {
    bool same_size = false;
    long differing = 0;
    int max_channel = 0; // largest difference of one channel
    QImage mask;         // differing pixels in red
};

inline PictureDiff compare_pictures(const QImage& a0, const QImage& b0) {
    PictureDiff d;
    const QImage a = a0.convertToFormat(QImage::Format_RGB32), b = b0.convertToFormat(QImage::Format_RGB32);
    if (a.size() != b.size()) return d;
    d.same_size = true;
    d.mask = QImage(a.size(), QImage::Format_RGB32);
    d.mask.fill(Qt::white);
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            const int m = std::max({std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                                    std::abs(qBlue(p) - qBlue(q))});
            if (m == 0) continue;
            ++d.differing;
            d.max_channel = std::max(d.max_channel, m);
            d.mask.setPixel(x, y, qRgb(255, 0, 0));
        }
    return d;
}

} // namespace orv::test
