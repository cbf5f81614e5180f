// One opening-clip row on a 1080p film of 60 s.
//
// Mode 3 with "附加为片头", one row saved into the output folder, driven
// headless through the main window with the real encoder: the frame grab,
// the head's runs, the join and the read-back of the joined file, wall time
// from the button to the end of the run. Films of the kinds people have:
// phone-style H.264 at 30 fps with 48 kHz sound, at 29.97 fps with 44.1 kHz
// sound, HEVC from x265's fastest preset (a film whose parameter sets are
// not x265's defaults) and HEVC from x265 as it comes (slow to make). Each is
// timed in a few rounds; the median is printed with the row's status and the
// machine's load.
//
//   bench_opening_clip [rounds [part of a film's name [folder for the films]]]
//
// With a folder, films made before are taken from there (so that two builds
// can be timed in turns on the same films).
//
// Measured on the 8-core machine, this build and the one before the head's
// sound was cut and HEVC films copied with their parameter sets, in turns,
// three rounds each, median (load average 0.4 to 3.9):
//   film                 before             now
//   phone 30 48k         2.75 s  Ok         2.91 s  Ok
//   phone 29.97 44k      2.78 s  Ok         2.76 s  Ok
//   hevc x265            4.14 s  Ok         4.49 s  Ok   (the film's copy)
//   hevc ultrafast       3.80 s  更换失败   4.58 s  Ok
#include "support/Headless.h"
#include "app/Form1.h"
#include "app/VbCombo.h"
#include "batch/BatchRun.h"
#include "filelist/FileGrid.h"
#include "filelist/FileListController.h"
#include "BenchSupport.h"
#include "support/Media.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

struct Film {
    const char* name;
    const char* rate;
    int audioRate;
    QStringList video;
};

bool makeFilm(const QString& path, const Film& film) {
    return media::Ffmpeg(QStringList{"-f", "lavfi", "-i",
                                     QString("testsrc2=s=1920x1080:r=%1:d=60").arg(film.rate), "-f", "lavfi", "-i",
                                     QString("sine=frequency=440:duration=60:sample_rate=%1").arg(film.audioRate)} +
                         film.video + QStringList{"-pix_fmt", "yuv420p", "-c:a", "aac", "-shortest", path});
}

struct Round {
    double seconds = 0;
    QString status;
};

Round runRow(const QString& master, const QString& name) {
    Round r;
    QTemporaryDir work;
    BenchWindow w(QString(), false);
    if (!w.loaded) return r;
    Form1& form = w.form();
    form.CmbType->SetListIndex(3);
    form.ChAsHead->setChecked(true);
    form.ChSaveAs->setChecked(true);
    form.LDir->setText(work.path() + "/out/");
    QDir().mkpath(work.path() + "/out");
    QFile::copy(master, work.path() + "/" + name);
    FileListController::AddRow(form, QStringList{name, work.path(), "1920", "1080", ""}.join('\t'));
    w.fx.dialogs.answers = {MsgResult::No};
    QElapsedTimer wall;
    wall.start();
    form.batch->CmdDo_Click();
    r.seconds = wall.nsecsElapsed() / 1e9;
    r.status = form.MSF->TextMatrix(1, 5);
    return r;
}

}  // namespace

int main(int argc, char** argv) {
    QTemporaryDir config;
    UseHeadlessEnvironment(config.path());
    QApplication app(argc, argv);
    const int rounds = argc > 1 ? qMax(1, atoi(argv[1])) : 3;

    const QStringList phone{"-c:v", "libx264", "-preset", "veryfast", "-b:v", "12M", "-video_track_timescale", "90000"};
    const std::vector<Film> films = {
        {"phone 30 48k.mp4", "30", 48000, phone},
        {"phone 29.97 44k.mp4", "30000/1001", 44100, phone},
        {"hevc ultrafast.mp4", "30", 44100,
         {"-c:v", "libx265", "-preset", "ultrafast", "-b:v", "8M", "-tag:v", "hvc1", "-x265-params", "log-level=error"}},
        {"hevc x265.mp4", "30", 44100,
         {"-c:v", "libx265", "-b:v", "8M", "-tag:v", "hvc1", "-x265-params", "log-level=error"}},
    };
    const QString only = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString();
    QTemporaryDir media;
    const QString folder = argc > 3 ? QString::fromLocal8Bit(argv[3]) : media.path();
    for (const Film& film : films) {
        if (!QString(film.name).contains(only)) continue;
        const QString master = QDir(folder).filePath(film.name);
        if (!QFile::exists(master) && !makeFilm(master, film)) {
            std::fprintf(stderr, "could not make %s\n", film.name);
            return 1;
        }
        runRow(master, film.name);  // warm the caches
        std::vector<Round> all;
        for (int i = 0; i < rounds; ++i) all.push_back(runRow(master, film.name));
        std::sort(all.begin(), all.end(), [](const Round& a, const Round& b) { return a.seconds < b.seconds; });
        const Round& m = all[all.size() / 2];
        std::printf("%-22s %6.1f MB  one row %.2f s (median of %d; fastest %.2f s, slowest %.2f s)  status %s\n",
                    film.name, QFile(master).size() / 1048576.0, m.seconds, rounds, all.front().seconds,
                    all.back().seconds, m.status.toUtf8().constData());
        double load[3] = {0, 0, 0};
        if (getloadavg(load, 3) > 0) std::printf("  load average %.2f\n", load[0]);
        std::fflush(stdout);
    }
    return 0;
}
