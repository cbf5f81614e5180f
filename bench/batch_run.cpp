// Overhead of the batch run over its encoder jobs.
//
// A mode-2 run of 50 generated rows (stream copy, the default output folder)
// driven headless through the main window, against a plain loop that runs the
// same 50 encoder commands back to back. Prints both wall times, their ratio,
// and the CPU time the program itself used during the run (getrusage,
// children excluded). The same is then measured for an in-place run, which
// also puts each result in place of its source. Last, the read-back each
// result gets before it counts is timed on its own. The same again for MP3
// rows (a tagged 3 s song), whose results are put together from the source's
// tag and bytes after the encoder has run.
#include "support/Headless.h"
#include "app/Form1.h"
#include "app/VbCombo.h"
#include "batch/BatchRun.h"
#include "batch/ReadBack.h"
#include "filelist/FileGrid.h"
#include "filelist/FileListController.h"
#include "support/OwnProcesses.h"
#include "BenchSupport.h"
#include "support/Fakes.h"
#include "support/FormFixture.h"
#include "support/Media.h"
#include "support/TaggedMp3.h"

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
#include <sys/resource.h>
#include <unistd.h>

namespace {

constexpr int kRows = 50;

double cpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

struct Result {
    double formWall = 0, formCpu = 0, plainWall = 0;
    double readBackMs = 0;  // per row: the source and the result read and judged
    int ok = 0;
};

Result measure(bool inPlace, const QString& master, const QString& cover) {
    Result res;
    QTemporaryDir work;
    BenchWindow w(cover, inPlace);
    if (!w.loaded) return res;
    Form1& form = w.form();
    const bool mp3 = master.endsWith(".mp3");
    const QString ext = mp3 ? ".mp3" : ".mp4";
    const container::Mechanism mechanism = mp3 ? container::Mechanism::Mp3 : container::Mechanism::Mp4;
    form.ChMp3->setChecked(mp3);
    form.ChSaveAs->setChecked(!inPlace);
    QFile coverFile(cover);
    const QByteArray picture = coverFile.open(QIODevice::ReadOnly) ? coverFile.readAll() : QByteArray();
    BenchShell& shell = w.shell;
    form.LDir->setText(work.path() + "/out/");
    QDir().mkpath(work.path() + "/out");
    for (int i = 1; i <= kRows; ++i) {
        const QString name = QString("v%1").arg(i, 2, 10, QLatin1Char('0')) + ext;
        QFile::copy(master, work.path() + "/" + name);
        FileListController::AddRow(form, QStringList{name, work.path(), mp3 ? "0" : "320", mp3 ? "0" : "240", cover}.join('\t'));
    }

    QElapsedTimer wall;
    const double cpu0 = cpuSeconds();
    wall.start();
    form.batch->CmdDo_Click();
    res.formWall = wall.nsecsElapsed() / 1e9;
    res.formCpu = cpuSeconds() - cpu0;
    for (int i = 1; i <= kRows; ++i) res.ok += form.MSF->TextMatrix(i, 5) == "Ok";

    // The read-back alone, as each row does it once its encoder has ended.
    wall.restart();
    for (int i = 1; i <= kRows; ++i) {
        const QString name = QString("v%1").arg(i, 2, 10, QLatin1Char('0')) + ext;
        const QString source = work.path() + "/" + name;
        const QString output = inPlace ? source : work.path() + "/out/" + name;
        const readback::Facts facts = readback::Read(source, mechanism);
        readback::Expectation e;
        e.duration = facts.streams.duration;
        e.covers = inPlace ? 1 : 0;
        e.picture = picture;
        readback::Judge(facts, readback::Read(output, mechanism), e);
    }
    res.readBackMs = wall.nsecsElapsed() / 1e6 / kRows;

    // The same commands, back to back.
    const QString exe = w.ProgramFolder() + "/Mezzor.exe";
    wall.restart();
    for (const QStringList& args : shell.starts) RunPlain(exe, args);
    res.plainWall = wall.nsecsElapsed() / 1e9;
    return res;
}

}  // namespace

int main(int argc, char** argv) {
    QTemporaryDir config;
    UseHeadlessEnvironment(config.path());
    QApplication app(argc, argv);

    QTemporaryDir media;
    const QString master = media.path() + "/master.mp4";
    const QString song = media.path() + "/master.mp3";
    const QString cover = media.path() + "/cover.jpg";
    const QString old = media.path() + "/old.jpg";
    if (!media::MakeVideo(master, 320, 240, 25, 1) || !media::MakePicture(cover, 200, 150) ||
        !media::MakePicture(old, 300, 300, "blue") || !media::MakeTaggedMp3(song, 3, {3, old, old})) {
        std::fprintf(stderr, "could not make the test media\n");
        return 1;
    }

    // Other encoders on the machine lengthen the run's waits (it waits for
    // every encoder by name) but not the plain loop, and the disk is shared:
    // run a few rounds and report the median one, with the machine's load.
    // Arguments: rounds; then "mp4" or "mp3", and "out" or "in", to measure
    // one kind or one layout only.
    const int rounds = argc > 1 ? qMax(1, atoi(argv[1])) : 5;
    const QString only = argc > 2 ? QString(argv[2]) : QString();
    const QString where = argc > 3 ? QString(argv[3]) : QString();
    for (const QString& kind : {master, song})
    for (const bool inPlace : {false, true}) {
        if ((!only.isEmpty() && !kind.endsWith(only)) || (!where.isEmpty() && (where == "in") != inPlace)) continue;
        measure(inPlace, kind, cover);  // warm the caches
        std::vector<Result> all;
        for (int i = 0; i < rounds; ++i) {
            const Result r = measure(inPlace, kind, cover);
            std::printf("  round %d: batch %.3f s, plain %.3f s, ratio %.3f, own CPU %.3f s, %d Ok\n", i + 1,
                        r.formWall, r.plainWall, r.formWall / r.plainWall, r.formCpu, r.ok);
            all.push_back(r);
        }
        std::sort(all.begin(), all.end(),
                  [](const Result& a, const Result& b) { return a.formWall / a.plainWall < b.formWall / b.plainWall; });
        const Result& m = all[all.size() / 2];
        std::printf("%s %s, %d rows (%d Ok), median of %d rounds\n", kind.endsWith(".mp3") ? "MP3" : "MP4",
                    inPlace ? "mode 2 in place" : "mode 2 into the output folder", kRows, m.ok, rounds);
        std::printf("  batch run wall      %.3f s\n", m.formWall);
        std::printf("  plain loop wall     %.3f s\n", m.plainWall);
        std::printf("  ratio               %.3f  (target <= 1.10)\n", m.formWall / m.plainWall);
        std::printf("  program's own CPU   %.3f s = %.1f %% of the run's wall time\n", m.formCpu,
                    100.0 * m.formCpu / m.formWall);
        std::printf("  read-back per row   %.2f ms\n", m.readBackMs);
        double load[3] = {0, 0, 0};
        if (getloadavg(load, 3) > 0) std::printf("  load average        %.2f\n", load[0]);
    }
    return 0;
}
