// CPU used by the program itself while it waits for a real encoder run.
//
// Runs the encoder paced to real time for a few seconds and compares the
// process's own CPU time (getrusage, children excluded) with the wall time of
// the wait; then does the same with a wait that never sleeps, for contrast.
#include "encoder/EncoderRun.h"
#include "platform/FileOps.h"
#include "support/OwnProcesses.h"
#include "platform/LinuxShell.h"
#include "support/FormFixture.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <sys/resource.h>

namespace {

double cpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

struct Sample {
    double wall = 0, cpu = 0;
    int cycles = 0;
    bool ok = false;
};

EncoderCommand pacedRun(const QString& out, int seconds) {
    EncoderCommand cmd(QStringLiteral("-re -f lavfi -i testsrc=size=320x240:rate=25:duration=%1 -y -q:v 0 ").arg(seconds));
    cmd.AddPath(out);
    return cmd;
}

enum class Mode { OwnRun, ForeignRun, NoSleep };

Sample measure(const EncoderHost& host, const EncoderCommand& cmd, Mode mode) {
    Sample s;
    QElapsedTimer wall;
    const double cpu0 = cpuSeconds();
    wall.start();
    EncoderRun run;
    LinuxShell elsewhere;
    if (mode == Mode::ForeignRun) {
        // Started by someone else: the wait can only watch the process list.
        EncoderHost other = host;
        other.shell = &elsewhere;
        const EncoderRun foreign = StartEncoder(other, cmd);
        run = WaitForEncoder(host, EncoderRun{}, CycleOrder::YieldUpdateTest, [&] { ++s.cycles; });
        // It may still be on its way out when it leaves the list.
        while (foreign.Started() && !elsewhere.ExitStatus(foreign.pid)) YieldToWindow(1);
        run.startCode = foreign.startCode;
        run.exitStatus = elsewhere.ExitStatus(foreign.pid);
    } else if (mode == Mode::NoSleep) {
        run = StartEncoder(host, cmd);
        // The same cycle without the sleep in the yield.
        bool running = true;
        do {
            YieldToWindow(0);
            ++s.cycles;
            run.exitStatus = host.shell->ExitStatus(run.pid);
            running = !run.exitStatus || IsProcessRunning(*host.processes, QStringLiteral("Mezzor.exe"));
        } while (running);
    } else {
        run = WaitForEncoder(host, StartEncoder(host, cmd), CycleOrder::YieldUpdateTest, [&] { ++s.cycles; });
    }
    s.wall = wall.nsecsElapsed() / 1e9;
    s.cpu = cpuSeconds() - cpu0;
    s.ok = run.Succeeded();
    if (!s.ok) std::printf("start %d, exit status %d\n", run.startCode, run.exitStatus.value_or(-1));
    return s;
}

void report(const char* what, const Sample& s) {
    std::printf("%-28s wall %6.2f s  cpu %6.3f s  = %5.1f %% of one core  cycles %6d  (%s)\n", what, s.wall, s.cpu,
                100.0 * s.cpu / s.wall, s.cycles, s.ok ? "encoder ok" : "ENCODER FAILED");
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int seconds = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 4;

    QTemporaryDir dir;
    if (!PlaceEncoderLibrary(dir.path()) ||
        fileops::CopyFile(dir.path() + "/Mezzor.dll", dir.path() + "/Mezzor.exe") != fileops::CopyResult::Ok) {
        std::fprintf(stderr, "cannot place the encoder\n");
        return 1;
    }
    QFile::setPermissions(dir.path() + "/Mezzor.exe", QFile::permissions(dir.path() + "/Mezzor.dll") |
                                                          QFile::ExeOwner);
    LinuxShell shell;
    OwnProcessList processes;
    EncoderHost host;
    host.shell = &shell;
    host.processes = &processes;
    host.programFolder = dir.path();

    // Cost of one process test alone.
    QElapsedTimer t;
    const double cpu0 = cpuSeconds();
    t.start();
    const int probes = 200;
    for (int i = 0; i < probes; ++i) IsProcessRunning(processes, QStringLiteral("Mezzor.exe"));
    std::printf("process test: %.3f ms wall, %.3f ms cpu per call over %zu processes\n",
                t.nsecsElapsed() / 1e6 / probes, (cpuSeconds() - cpu0) * 1e3 / probes,
                LinuxProcessList::Snapshot().size());

    report("wait, own encoder", measure(host, pacedRun(dir.path() + "/a.mp4", seconds), Mode::OwnRun));
    report("wait, encoder by name only", measure(host, pacedRun(dir.path() + "/b.mp4", seconds), Mode::ForeignRun));
    report("wait without sleeping", measure(host, pacedRun(dir.path() + "/c.mp4", seconds), Mode::NoSleep));
    return 0;
}
