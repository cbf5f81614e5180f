// Reads a folder of small generated videos into the list with the read
// button (every file probed), on a headless main window. Reports the time,
// the longest stretch the window went without handling events, and the peak
// memory of the process.
#include "support/Headless.h"
#include "app/Form1.h"
#include "app/VbCombo.h"
#include "filelist/FileGrid.h"
#include "filelist/Intake.h"
#include "support/FormFixture.h"
#include "support/Media.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <sys/resource.h>

namespace {
long peakKiB() {
    struct rusage ru {};
    getrusage(RUSAGE_SELF, &ru);
    return ru.ru_maxrss;
}
}  // namespace

int main(int argc, char** argv) {
    QTemporaryDir config;
    UseHeadlessEnvironment(config.path());
    QApplication app(argc, argv);
    const int count = argc > 1 ? QString(argv[1]).toInt() : 2000;

    QTemporaryDir work;
    const QString in = work.path() + "/in";
    QDir().mkpath(in);
    const QString master = work.path() + "/master.mp4";
    if (!media::MakeVideo(master, 320, 240, 10, 0.5)) {
        std::fprintf(stderr, "could not make the sample video\n");
        return 1;
    }
    for (int i = 0; i < count; ++i) QFile::copy(master, QString("%1/v%2.mp4").arg(in).arg(i, 5, 10, QChar('0')));

    FormFixture fx;
    if (!fx.Load()) return 1;
    Form1& f = *fx.form;
    f.CmbType->SetListIndex(3);
    f.LInDir->setText(in + "/");
    const long before = peakKiB();

    // A ticking timer shows how long the window goes without handling events.
    QElapsedTimer sinceTick;
    qint64 longestGap = 0;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        longestGap = std::max(longestGap, sinceTick.restart());
    });
    tick.start(0);
    sinceTick.start();

    QElapsedTimer clock;
    clock.start();
    f.intake->CmdReadMp4_Click();
    const qint64 ms = clock.elapsed();
    tick.stop();

    const int rows = f.MSF->Rows() - 1;
    std::printf("files: %d, rows: %d, first row %s x %s\n", count, rows,
                qPrintable(f.MSF->TextMatrix(1, 2)), qPrintable(f.MSF->TextMatrix(1, 3)));
    std::printf("time: %lld ms (%.2f ms per file)\n", static_cast<long long>(ms), count ? double(ms) / count : 0.0);
    std::printf("longest time between handled events: %lld ms\n", static_cast<long long>(longestGap));
    std::printf("peak memory: %ld KiB before the scan, %ld KiB after\n", before, peakKiB());
    return rows == count ? 0 : 2;
}
