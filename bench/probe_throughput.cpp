// Probing throughput on the intake path: the three probes over 200 small
// generated files, against the mediainfo command line over the same files.
#include "probe/MediaInfoLibrary.h"
#include "probe/MediaProbe.h"
#include "probe/ReportReading.h"
#include "support/Media.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <cstdio>

namespace {

constexpr int kFiles = 200;

double ms(const QElapsedTimer& t) { return t.nsecsElapsed() / 1e6; }

void line(const char* what, double totalMs) {
    std::printf("  %-48s %9.1f ms total  %7.2f ms/file\n", what, totalMs, totalMs / kFiles);
}

bool runMediainfo(const QString& exe, const QStringList& args) {
    QProcess p;
    p.setStandardOutputFile(QProcess::nullDevice());
    p.start(exe, args);
    return p.waitForFinished(600000) && p.exitCode() == 0;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    QStringList files;
    std::printf("generating %d files...\n", kFiles);
    for (int i = 0; i < kFiles; ++i) {
        // Mostly MP4, some MKV and MP3, as a user's folder might hold.
        const QString ext = i % 10 == 9 ? "mp3" : i % 5 == 4 ? "mkv" : "mp4";
        const QString file = dir.filePath(QString("clip%1.%2").arg(i, 3, 10, QChar('0')).arg(ext));
        const bool ok = ext == "mp3" ? media::MakeMp3(file, 1) : media::MakeVideo(file, 160 + 16 * (i % 8), 120, 25, 1);
        if (!ok) {
            std::fprintf(stderr, "could not make %s\n", qPrintable(file));
            return 1;
        }
        files << file;
    }

    QElapsedTimer t;
    t.start();
    if (!probe::SystemMediaInfo().Loaded()) {
        std::fprintf(stderr, "libmediainfo.so.0 could not be loaded\n");
        return 1;
    }
    const double loadMs = ms(t);

    std::printf("\n%d files (%d MP4, %d MKV, %d MP3):\n", kFiles, kFiles * 7 / 10, kFiles / 5, kFiles / 10);
    std::printf("  %-48s %9.1f ms\n", "loading libmediainfo", loadMs);
    for (int round = 1; round <= 2; ++round) {
        double size = 0, rate = 0, duration = 0;
        int videos = 0;
        for (const QString& f : files) {
            QString w, h;
            int fps = 0;
            t.restart();
            if (probe::GetVideoSizeAndBitrate(f, w, h)) ++videos;
            size += ms(t);
            t.restart();
            probe::GetVideoFrameRateAndBitrate(f, fps);
            rate += ms(t);
            t.restart();
            probe::GetMediaDuration(f);
            duration += ms(t);
        }
        std::printf(" round %d (%d files read as video):\n", round, videos);
        line("GetVideoSizeAndBitrate", size);
        line("GetVideoFrameRateAndBitrate", rate);
        line("GetMediaDuration", duration);
        line("all three probes", size + rate + duration);
    }

    // The share of that time spent reading the text, not parsing the media.
    QStringList normal, complete;
    for (const QString& f : files) {
        normal << probe::FetchReport(probe::SystemMediaInfo(), f, probe::ReportKind::Normal);
        complete << probe::FetchReport(probe::SystemMediaInfo(), f, probe::ReportKind::Complete);
    }
    t.restart();
    for (int i = 0; i < kFiles; ++i) {
        probe::ReadVideoSize(normal[i]);
        probe::ReadFrameRate(normal[i]);
        probe::ReadBitRate(normal[i]);
        probe::ReadDuration(complete[i]);
    }
    line("report reading alone (pure functions)", ms(t));

    const QString cli = QStandardPaths::findExecutable("mediainfo");
    if (cli.isEmpty()) {
        std::printf("  mediainfo command line not installed (apt-get install mediainfo): no comparison\n");
        return 0;
    }
    t.restart();
    for (const QString& f : files) runMediainfo(cli, {f});
    line("mediainfo command line, one run per file", ms(t));
    t.restart();
    for (const QString& f : files) runMediainfo(cli, {"--Full", f});
    line("mediainfo --Full, one run per file", ms(t));
    t.restart();
    runMediainfo(cli, files);
    line("mediainfo command line, one run for all files", ms(t));
    return 0;
}
