#pragma once
// A window in a temporary program folder that runs the real encoder, and
// picture comparisons for the frame tests.
#include "support/OwnProcesses.h"
#include "encoder/EncoderRun.h"
#include "platform/LinuxShell.h"
#include "batch/BatchRun.h"
#include "support/FormFixture.h"
#include "support/Media.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QImage>
#include <QJsonArray>
#include <QJsonObject>
#include <QTemporaryDir>
#include <cmath>

namespace frames_test {

// Live processes running this executable file (other test programs on the
// machine may run encoders of their own, from their own folders).
inline int LiveProcessesOf(const QString& exePath) {
    int n = 0;
    for (const ProcessEntry& e : LinuxProcessList::Snapshot())
        if (!e.zombie && QFileInfo(QString("/proc/%1/exe").arg(e.pid)).symLinkTarget() == exePath) ++n;
    return n;
}

// Counts the live encoder processes each time one is started.
class CountingShell : public LinuxShell {
public:
    int most = 0;
    int starts = 0;
    int Start(const QString& program, const QStringList& args, const QString& workDir, long long* pid) override {
        const int rc = LinuxShell::Start(program, args, workDir, pid);
        if (rc == 42) {
            ++starts;
            most = std::max(most, LiveProcessesOf(QDir(workDir).filePath(program)));
        }
        return rc;
    }
};

struct RealWindow {
    FormFixture fx{true};
    CountingShell shell;
    OwnProcessList processes;
    QTemporaryDir media;
    Form1* f = nullptr;

    RealWindow() {
        Services s = fx.FakeServices();
        s.shell = &shell;
        s.processes = &processes;
        if (fx.Load(s)) f = fx.form.get();
    }
    QString AppPath() const { return fx.AppPath(); }
    QString MediaPath(const QString& name) const { return media.filePath(name); }
    // Lets background encoders finish (mode 4 does not wait for them) and
    // their ends be judged.
    bool WaitForEncoders(int maxMs = 120000) {
        QElapsedTimer t;
        t.start();
        while (processes.IsRunning("Mezzor.exe")) {
            if (t.elapsed() > maxMs) return false;
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        }
        shell.Reap();
        while (BackgroundEncoders(f->batch->Host()) > 0) {
            if (t.elapsed() > maxMs) return false;
            YieldToWindow();
        }
        return true;
    }
};

// Mean absolute difference of two pictures per channel (0-255); 255 when the
// sizes differ or one cannot be read.
inline double PictureDistance(const QImage& a, const QImage& b) {
    if (a.isNull() || b.isNull() || a.size() != b.size()) return 255;
    const QImage x = a.convertToFormat(QImage::Format_RGB32);
    const QImage y = b.convertToFormat(QImage::Format_RGB32);
    double sum = 0;
    for (int r = 0; r < x.height(); ++r)
        for (int c = 0; c < x.width(); ++c) {
            const QRgb p = x.pixel(c, r), q = y.pixel(c, r);
            sum += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) + std::abs(qBlue(p) - qBlue(q));
        }
    return sum / (3.0 * x.width() * x.height());
}

// One frame of a video at a time, decoded by ffmpeg into a PNG.
inline QImage FrameAt(const QString& video, const QString& seconds, const QString& png) {
    if (!media::Ffmpeg({"-i", video, "-ss", seconds, "-frames:v", "1", png})) return {};
    return QImage(png);
}

// The attached picture of a file, decoded into a PNG; null when it has none.
inline QImage AttachedPicture(const QString& file, const QString& png) {
    for (const auto& s : media::Probe(file).value("streams").toArray()) {
        const QJsonObject o = s.toObject();
        if (o.value("disposition").toObject().value("attached_pic").toInt() != 1) continue;
        const QString map = QString("0:%1").arg(o.value("index").toInt());
        if (!media::Ffmpeg({"-i", file, "-map", map, "-frames:v", "1", png})) return {};
        return QImage(png);
    }
    return {};
}

}  // namespace frames_test
