// One large video replaced in place: the program's row against a plain
// script doing the same work.
//
// A 1080p, 60 s, 25 Mb/s H.264 video (about 190 MB) is made at run time. Each
// round puts a fresh copy in place, runs a mode-2 in-place row through the
// main window (cover scaling, the read-back, the boxes carried over, the
// flush and the rename included), then puts another fresh copy in place and
// runs the very same encoder command followed by a flush and a rename, as
// `ffmpeg ... && sync && mv` would. Prints both wall times per round and the
// median ratio. The same again for the video written web-ready (its movie
// box in front), which the row keeps so by moving the encoder's movie box in
// front of the media; the plain command asks the encoder for that itself
// (-movflags +faststart), which writes the file a second time too.
#include "app/Form1.h"
#include "app/VbCombo.h"
#include "batch/BatchRun.h"
#include "filelist/FileGrid.h"
#include "filelist/FileListController.h"
#include "platform/FileOps.h"
#include "BenchSupport.h"
#include "support/Fakes.h"
#include "support/FormFixture.h"
#include "support/Headless.h"
#include "support/Media.h"
#include "support/OwnProcesses.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include <fcntl.h>
#include <unistd.h>

namespace {

struct Round {
    double program = 0, plain = 0;
    bool ok = false;
};

// The file's data on disk, as a script's `sync` of it would leave it.
void flush(const QString& path) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return;
    ::fdatasync(fd);
    ::close(fd);
}

Round measure(const QString& master, const QString& cover, const QString& workDir, bool faststart) {
    Round r;
    BenchWindow w(cover, true);
    if (!w.loaded) return r;
    Form1& form = w.form();
    BenchShell& shell = w.shell;
    const QString video = workDir + "/big.mp4";
    fileops::CopyFile(master, video);
    FileListController::AddRow(form, QStringList{"big.mp4", workDir, "1920", "1080", cover}.join('\t'));

    QElapsedTimer wall;
    wall.start();
    form.batch->CmdDo_Click();
    r.program = wall.nsecsElapsed() / 1e9;
    r.ok = form.MSF->TextMatrix(1, 5) == "Ok" && shell.starts.size() == 1;

    // The same command (asking the encoder itself for the movie box in front
    // where the source had it there), the flush and the rename, over a fresh
    // copy.
    fileops::CopyFile(master, video);
    const QString exe = w.ProgramFolder() + "/Mezzor.exe";
    const QString tmp = w.ProgramFolder() + "/Tmp.mp4";
    QStringList args = shell.starts.front();
    if (faststart) {
        const QString output = args.takeLast();
        args << "-movflags" << "+faststart" << output;
    }
    wall.restart();
    if (RunPlain(exe, args, w.ProgramFolder())) {
        flush(tmp);
        std::rename(QFile::encodeName(tmp).constData(), QFile::encodeName(video).constData());
    }
    r.plain = wall.nsecsElapsed() / 1e9;
    return r;
}

}  // namespace

int main(int argc, char** argv) {
    QTemporaryDir config;
    UseHeadlessEnvironment(config.path());
    QApplication app(argc, argv);

    QTemporaryDir store;
    const QString master = store.path() + "/master.mp4";
    const QString cover = store.path() + "/cover.jpg";
    std::printf("making the 1080p, 60 s, 25 Mb/s video...\n");
    std::fflush(stdout);
    if (!media::Ffmpeg({"-f", "lavfi", "-i", "testsrc2=size=1920x1080:rate=25:duration=60", "-f", "lavfi", "-i",
                        "sine=duration=60", "-c:v", "libx264", "-preset", "ultrafast", "-b:v", "25M", "-maxrate",
                        "25M", "-bufsize", "50M", "-c:a", "aac", "-shortest", master}) ||
        !media::MakePicture(cover, 400, 300)) {
        std::fprintf(stderr, "could not make the test media\n");
        return 1;
    }
    std::printf("video: %.1f MB\n", fileops::FileSize(master) / 1e6);

    const QString fastMaster = store.path() + "/fast.mp4";
    if (!media::Ffmpeg({"-i", master, "-c", "copy", "-movflags", "+faststart", fastMaster})) {
        std::fprintf(stderr, "could not make the web-ready copy\n");
        return 1;
    }

    // The work folder and the program folder share the temporary file system,
    // as a program beside the user's videos would.
    QTemporaryDir work;
    const int rounds = argc > 1 ? qMax(1, atoi(argv[1])) : 5;
    double medianProgram[2] = {0, 0};
    for (int layout = 0; layout < 2; ++layout) {
        const QString& source = layout == 0 ? master : fastMaster;
        std::printf("%s\n", layout == 0 ? "movie box at the end" : "movie box in front (faststart)");
        measure(source, cover, work.path(), layout == 1);  // warm the caches
        std::vector<Round> all;
        for (int i = 0; i < rounds; ++i) {
            const Round r = measure(source, cover, work.path(), layout == 1);
            std::printf("  round %d: program %.3f s, plain %.3f s, ratio %.3f%s\n", i + 1, r.program, r.plain,
                        r.program / r.plain, r.ok ? "" : "  (row not Ok)");
            all.push_back(r);
        }
        std::sort(all.begin(), all.end(),
                  [](const Round& a, const Round& b) { return a.program / a.plain < b.program / b.plain; });
        const Round& m = all[all.size() / 2];
        std::printf("in place, one 190 MB video, median of %d rounds\n", rounds);
        std::printf("  program's row    %.3f s\n", m.program);
        std::printf("  ffmpeg, sync, mv %.3f s\n", m.plain);
        std::printf("  ratio           %.3f  (target <= 1.15)\n", m.program / m.plain);
        std::printf("  ratio spread    %.3f .. %.3f\n", all.front().program / all.front().plain,
                    all.back().program / all.back().plain);
        std::vector<double> times;
        for (const Round& r : all) times.push_back(r.program);
        std::sort(times.begin(), times.end());
        medianProgram[layout] = times[times.size() / 2];
    }
    std::printf("keeping faststart: the row takes %.3f of its time with the movie box at the end (%.3f s against "
                "%.3f s)\n",
                medianProgram[1] / medianProgram[0], medianProgram[1], medianProgram[0]);
    double load[3] = {0, 0, 0};
    if (getloadavg(load, 3) > 0) std::printf("  load average    %.2f\n", load[0]);
    return 0;
}
