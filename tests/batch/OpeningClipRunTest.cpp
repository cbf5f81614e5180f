// Mode 3 with the opening clip, run from the main button with the real
// encoder on the kinds of films people have: phone videos, NTSC rates, odd
// rates, HEVC, Matroska, CD-rate audio. Every result is read back with
// ffprobe and by decoding.
//
// The films are a noisy picture whose mean brightness grows with time
// (Y = 16 + 50 t), so any decoded frame tells which moment of the film it
// is; the noise gives them the bit rate of real footage.
#include "RealEncoderSupport.h"

#include "app/VbCombo.h"
#include "batch/BatchRun.h"
#include "batch/OpeningClip.h"
#include "batch/ReadBack.h"
#include "filelist/FileGrid.h"
#include "filelist/FileListController.h"
#include "support/Printing.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QLabel>
#include <QLineEdit>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>

using namespace frames_test;

namespace {

constexpr double kSeconds = 3;
// Brightness in RGB per second of film (limited-range Y decoded to RGB).
constexpr double kLevelPerSecond = 50 * 255.0 / 219;

struct Film {
    QString name;
    QString rate;
    QStringList video;  // the encoder options of the picture
    int audioRate = 48000;
};

const QStringList kX264{"-c:v", "libx264", "-pix_fmt", "yuv420p"};

bool MakeTimedFilm(const QString& path, const Film& film) {
    QStringList args{"-f", "lavfi", "-i",
                     QString("color=c=black:s=160x120:r=%1:d=%2,format=yuv420p,geq=lum=16+50*T:cb=128:cr=128,"
                             "noise=c0s=12:c0f=t+u")
                         .arg(film.rate)
                         .arg(kSeconds),
                     "-f", "lavfi", "-i",
                     QString("sine=frequency=440:duration=%1:sample_rate=%2").arg(kSeconds).arg(film.audioRate)};
    args << film.video << "-c:a" << "aac" << "-shortest" << path;
    return media::Ffmpeg(args);
}

// NaN for a missing picture, so that no comparison passes on nothing.
double Brightness(const QImage& image) {
    if (image.isNull()) return std::numeric_limits<double>::quiet_NaN();
    const QImage x = image.convertToFormat(QImage::Format_RGB32);
    double sum = 0;
    for (int r = 0; r < x.height(); ++r)
        for (int c = 0; c < x.width(); ++c) sum += qGray(x.pixel(c, r));
    return sum / (double(x.width()) * x.height());
}

// The moments of the film that the frames shown at these times come from,
// decoded in one pass.
std::vector<double> FilmTimes(const QString& file, const std::vector<double>& at, const QString& scratch) {
    QStringList args{"-i", file};
    for (std::size_t i = 0; i < at.size(); ++i)
        args << "-ss" << QString::number(at[i]) << "-frames:v" << "1" << QString("%1/at%2.png").arg(scratch).arg(i);
    for (std::size_t i = 0; i < at.size(); ++i) QFile::remove(QString("%1/at%2.png").arg(scratch).arg(i));
    EXPECT_TRUE(media::Ffmpeg(args));
    std::vector<double> times;
    for (std::size_t i = 0; i < at.size(); ++i)
        times.push_back(Brightness(QImage(QString("%1/at%2.png").arg(scratch).arg(i))) / kLevelPerSecond);
    return times;
}

QJsonObject FirstStream(const QJsonObject& probe, const QString& type) {
    for (const auto& s : probe.value("streams").toArray())
        if (s.toObject().value("codec_type").toString() == type) return s.toObject();
    return {};
}

double Seconds(const QJsonObject& probe) {
    return probe.value("format").toObject().value("duration").toString().toDouble();
}

double End(const std::vector<media::Packet>& packets) {
    double end = -1;
    for (const media::Packet& p : packets) end = std::max(end, p.time + p.length);
    return end;
}

double Rate(const QString& fraction) {
    const QStringList p = fraction.split('/');
    return p.size() == 2 && p[1].toDouble() > 0 ? p[0].toDouble() / p[1].toDouble() : 0;
}

// The film behind a half-second head of its own 0.5 s frame, coded as the
// film is coded, with no seam and no drift: every picture of the film comes
// out as it was, the head's sound ends where the film's begins.
void ExpectJoined(const QString& out, const QString& original, const QString& scratch) {
    EXPECT_TRUE(media::DecodesCleanly(out));
    const QJsonObject probe = media::Probe(out), source = media::Probe(original);
    EXPECT_NEAR(Seconds(probe), Seconds(source) + 0.5, 0.2);
    const std::vector<media::Packet> pictures = media::Packets(out, "v");
    const std::vector<media::Packet> sound = media::Packets(out, "a");
    EXPECT_NEAR(End(pictures), End(sound), 0.2);

    const QStringList filmFrames = media::FrameHashes(original), joined = media::FrameHashes(out);
    ASSERT_FALSE(filmFrames.isEmpty());
    ASSERT_GT(joined.size(), filmFrames.size());
    EXPECT_EQ(joined.mid(joined.size() - filmFrames.size()), filmFrames) << "the film's pictures";

    // Sound packets follow one another without overlap; at the join the
    // film's may begin up to one packet after the head's last one ends.
    for (std::size_t i = 1; i < sound.size(); ++i) {
        const double end = sound[i - 1].time + sound[i - 1].length;
        EXPECT_GE(sound[i].time, end - 0.0015) << "sound overlaps at " << sound[i].time;
        EXPECT_LE(sound[i].time, end + sound[i - 1].length + 0.0015) << "a hole in the sound at " << sound[i].time;
    }

    const QJsonObject v = FirstStream(probe, "video"), sv = FirstStream(source, "video");
    for (const char* key : {"codec_name", "profile", "pix_fmt", "time_base"})
        EXPECT_EQ(v.value(key).toString(), sv.value(key).toString()) << key;
    // Each half brings its own parameter sets, as the MP4 sample entry says.
    const QString tag = sv.value("codec_tag_string").toString();
    const QString inStream = tag == "avc1" ? "avc3" : tag == "hvc1" ? "hev1" : tag;
    EXPECT_EQ(v.value("codec_tag_string").toString(), inStream);
    EXPECT_EQ(v.value("width").toInt(), sv.value("width").toInt());
    EXPECT_EQ(v.value("height").toInt(), sv.value("height").toInt());
    const QJsonObject a = FirstStream(probe, "audio"), sa = FirstStream(source, "audio");
    for (const char* key : {"codec_name", "sample_rate", "channel_layout"})
        EXPECT_EQ(a.value(key).toString(), sa.value(key).toString()) << key;

    // Every frame lasts one frame of the film, the head's last as well.
    std::vector<double> times;
    for (const media::Packet& p : pictures) times.push_back(p.time);
    std::sort(times.begin(), times.end());
    const double period = 1 / Rate(sv.value("r_frame_rate").toString());
    // Exact to the tick, but where ticks are milliseconds (Matroska), which
    // round every time.
    const double tick = Rate(v.value("time_base").toString());
    const double slack = tick < 0.001 ? tick / 2 : tick;
    for (std::size_t i = 1; i < times.size(); ++i)
        EXPECT_NEAR(times[i] - times[i - 1], period, slack) << "a seam at " << times[i];
    EXPECT_GT(times.size(), 4 * kSeconds);

    // The head shows the cover, the film's frame at 0.5 s; then comes the
    // film, half a second later, at its start and at its end.
    const double early = 0.6, late = kSeconds - 0.6;
    const std::vector<double> shown = FilmTimes(out, {0.25, early + 0.5, late + 0.5}, scratch);
    const std::vector<double> film = FilmTimes(original, {0.5, early, late}, scratch);
    EXPECT_NEAR(shown[0], film[0], 0.05) << "the cover";
    EXPECT_NEAR(shown[1], film[1], 0.12) << "early";
    EXPECT_NEAR(shown[2], film[2], 0.12) << "late";
}

const QStringList kPhone = kX264 + QStringList{"-video_track_timescale", "90000"};
// HEVC the way cameras and hardware encoders make it: other settings than
// x265's own (no SAO, no weighted prediction, another GOP).
const QStringList kFastX265{"-c:v",    "libx265", "-preset", "ultrafast", "-pix_fmt",
                            "yuv420p", "-x265-params", "log-level=error"};

const std::vector<Film>& EverydayFilms() {
    static const std::vector<Film> films = {
        {"h264 25.mp4", "25", kX264},
        {"phone.mp4", "30", kPhone},
        {"ntsc.mp4", "30000/1001", kX264},
        {"half pal.mp4", "12.5", kX264},
        {"hevc.mp4", "25",
         {"-c:v", "libx265", "-pix_fmt", "yuv420p", "-tag:v", "hvc1", "-x265-params", "log-level=error"}},
        {"film.mkv", "24000/1001", kX264},
        {"cd audio.mp4", "25", kX264, 44100},
        // From here on films only the in-place run takes (the saved-as run
        // differs only in where the result goes). Phones at CD rate: the
        // sound's packets do not end with the half second.
        {"phone 44k.mp4", "30", kPhone, 44100},
        {"phone ntsc 44k.mov", "30000/1001", kPhone, 44100},
        {"fast hevc.mp4", "30", kFastX265 + QStringList{"-tag:v", "hvc1"}, 44100},
        {"fast hevc.mkv", "30000/1001", kFastX265, 44100},
        {"own hevc.mp4", "25",
         {"-c:v", "libx265", "-pix_fmt", "yuv420p", "-tag:v", "hev1", "-x265-params",
          "log-level=error:bframes=0:ref=1:no-sao=1"}},
    };
    return films;
}
constexpr std::size_t kSavedAsFilms = 7;

struct ClipRun : RealWindow {
    QTemporaryDir originals;

    // One row per film, with its own copy kept aside.
    bool AddFilms(const std::vector<Film>& films) {
        f->CmbType->SetListIndex(3);
        f->ChAsHead->setChecked(true);
        for (const Film& film : films) {
            if (!MakeTimedFilm(MediaPath(film.name), film)) return false;
            if (!QFile::copy(MediaPath(film.name), Original(film.name))) return false;
            FileListController::AddRow(*f, film.name + "\t" + media.path() + "\t160\t120\t");
        }
        return true;
    }
    QString Original(const QString& name) const { return originals.filePath(name); }
    void Run() {
        fx.dialogs.answers = {MsgResult::No};
        f->batch->CmdDo_Click();
    }
    QString Status(int row) const { return f->MSF->TextMatrix(row, 5); }
    QString SavedAs(const QString& name) const { return f->LDir->text() + name; }
};

// Every film gets its head; in place the file is replaced, saved as the
// source stays as it was.
void RunEverydayFilms(bool saveAs) {
    ClipRun r;
    ASSERT_TRUE(r.f);
    std::vector<Film> films = EverydayFilms();
    if (saveAs) films.resize(kSavedAsFilms);
    ASSERT_TRUE(r.AddFilms(films));
    r.f->ChSaveAs->setChecked(saveAs);
    r.Run();
    int row = 1;
    for (const Film& film : films) {
        SCOPED_TRACE(film.name.toStdString());
        EXPECT_EQ(r.Status(row++), "Ok");
        const bool untouched = media::Checksum(r.MediaPath(film.name)) == media::Checksum(r.Original(film.name));
        EXPECT_EQ(untouched, saveAs);
        ExpectJoined(saveAs ? r.SavedAs(film.name) : r.MediaPath(film.name), r.Original(film.name),
                     r.originals.path());
    }
}

}  // namespace

TEST(OpeningClipRun, EverydayFilmsGetAHeadThatPlaysInPlace) { RunEverydayFilms(false); }

TEST(OpeningClipRun, EverydayFilmsGetAHeadThatPlaysSavedAs) { RunEverydayFilms(true); }

TEST(OpeningClipRun, ACroppedAndTrimmedFilmsHeadShowsTheCoverCroppedLikeIt) {
    RealWindow w;
    ASSERT_TRUE(w.f);
    // A picture with detail everywhere, so any part of it tells where it lies.
    const QString video = w.MediaPath("detail.mp4");
    ASSERT_TRUE(media::Ffmpeg({"-f", "lavfi", "-i", "testsrc2=s=160x120:r=25:d=3", "-f", "lavfi", "-i",
                               "sine=duration=3:sample_rate=48000", "-c:v", "libx264", "-pix_fmt", "yuv420p", "-c:a",
                               "aac", "-shortest", video}));
    w.f->CmbType->SetListIndex(3);
    w.f->ChAsHead->setChecked(true);
    w.f->ChSaveAs->setChecked(true);
    w.f->ChCutSize->setChecked(true);
    w.f->TSizeCut->setText("10,10,10,10");
    w.f->ChCutTime->setChecked(true);
    w.f->TTimeCut->setText("20,20");  // 0.6 s off each end: 1.8 s kept
    FileListController::AddRow(*w.f, "detail.mp4\t" + w.media.path() + "\t160\t120\t");
    w.fx.dialogs.answers = {MsgResult::No};
    w.f->batch->CmdDo_Click();
    EXPECT_EQ(w.f->MSF->TextMatrix(1, 5), "Ok");

    const QString out = w.f->LDir->text() + "detail.mp4";
    EXPECT_TRUE(media::DecodesCleanly(out));
    EXPECT_NEAR(media::Duration(out), 1.8 + 0.5, 0.2);
    const QImage head = FrameAt(out, "0.25", w.MediaPath("head.png"));
    const QImage body = FrameAt(out, "1.5", w.MediaPath("body.png"));
    EXPECT_EQ(head.size(), QSize(128, 96));
    EXPECT_EQ(body.size(), QSize(128, 96));
    // The grabbed frame, cut by the same 10 % on every side.
    const QImage grabbed(w.AppPath() + "/Tmp.png");
    ASSERT_EQ(grabbed.size(), QSize(160, 120));
    EXPECT_LT(PictureDistance(head, grabbed.copy(16, 12, 128, 96)), 6.0);
    EXPECT_GT(PictureDistance(head, grabbed.copy(0, 0, 128, 96)), 20.0);
}

TEST(OpeningClipRun, FilmsWhoseCodingCannotBeRepeatedFailBeforeAnythingIsReplaced) {
    for (const bool saveAs : {false, true}) {
        SCOPED_TRACE(saveAs ? "saved as" : "in place");
        ClipRun r;
        ASSERT_TRUE(r.f);
        const std::vector<Film> films = {
            {"mpeg4.mp4", "25", {"-c:v", "mpeg4"}},
            {"good.mp4", "25", kX264},
        };
        ASSERT_TRUE(r.AddFilms(films));
        // A phone video held upright by rotation metadata.
        const QString turned = r.MediaPath("turned.mp4");
        ASSERT_TRUE(
            media::Ffmpeg({"-i", r.MediaPath("good.mp4"), "-c", "copy", "-metadata:s:v:0", "rotate=90", turned}));
        ASSERT_TRUE(QFile::copy(turned, r.Original("turned.mp4")));
        FileListController::AddRow(*r.f, "turned.mp4\t" + r.media.path() + "\t160\t120\t");
        // Subtitles would be coded anew in the head, and lose their text.
        QFile srt(r.MediaPath("words.srt"));
        ASSERT_TRUE(srt.open(QIODevice::WriteOnly));
        srt.write("1\n00:00:00,000 --> 00:00:02,000\nhello\n\n2\n00:00:02,500 --> 00:00:03,500\nworld\n");
        srt.close();
        const QString subtitled = r.MediaPath("subtitled.mkv");
        ASSERT_TRUE(media::Ffmpeg({"-i", r.MediaPath("good.mp4"), "-i", srt.fileName(), "-map", "0", "-map", "1", "-c",
                                   "copy", "-c:s", "srt", subtitled}));
        ASSERT_TRUE(QFile::copy(subtitled, r.Original("subtitled.mkv")));
        FileListController::AddRow(*r.f, "subtitled.mkv\t" + r.media.path() + "\t160\t120\t");
        r.f->ChSaveAs->setChecked(saveAs);
        r.Run();

        const QStringList names{"mpeg4.mp4", "good.mp4", "turned.mp4", "subtitled.mkv"};
        for (int row = 1; row <= names.size(); ++row) {
            const QString name = names[row - 1];
            SCOPED_TRACE(name.toStdString());
            const bool good = name == "good.mp4";
            EXPECT_EQ(r.Status(row), good ? "Ok" : "更换失败");
            if (good) continue;
            EXPECT_EQ(media::Checksum(r.MediaPath(name)), media::Checksum(r.Original(name)));
            EXPECT_FALSE(QFileInfo::exists(r.SavedAs(name)));
        }
        EXPECT_FALSE(QFileInfo::exists(r.AppPath() + "/Tmp.mp4"));  // no work file passes for a result
        // A grab per row; only the good film gets its three runs.
        EXPECT_EQ(r.shell.starts, 4 + 3);
    }
}

// Joins made without the head's care, by the encoder alone: the read-back
// takes neither a hole at the seam nor a film laid over the head, though
// lengths and streams are as they should be.
TEST(OpeningClipRun, AJoinWithAHoleOrAnOverlapIsNoResult) {
    QTemporaryDir dir;
    for (const QString ext : {"mp4", "mkv"}) {
        SCOPED_TRACE(ext.toStdString());
        const container::Mechanism m = container::MechanismFor("a." + ext);
        const QString film = dir.filePath("film." + ext), head = dir.filePath("head." + ext);
        const QStringList ticks = ext == "mp4" ? QStringList{"-video_track_timescale", "90000"} : QStringList{};
        ASSERT_TRUE(MakeTimedFilm(film, {"film", "30", kX264 + ticks, 44100}));
        // The head's sound as whole packets: it outlasts the picture.
        ASSERT_TRUE(media::Ffmpeg(QStringList{"-t", "0.5", "-i", film} + kX264 + ticks + QStringList{"-c:a", "copy", head}));
        const probe::FrameTimes own = readback::ReadFrameTimes(film, m);
        ASSERT_TRUE(own.read);
        EXPECT_EQ(own.shown.size(), 90u);
        for (const double step : probe::FrameSpacing(own)) EXPECT_NEAR(step, 1 / 30.0, 0.0011);

        const readback::Facts source = readback::Read(film, m);
        const readback::Expectation expect = openingclip::JoinExpectation(source.streams, film, m, 0);
        EXPECT_TRUE(expect.framesChecked);
        for (const QString list : {"", "duration 0.4\n"}) {
            SCOPED_TRACE(list.toStdString());
            QFile text(dir.filePath("list.txt"));
            ASSERT_TRUE(text.open(QIODevice::WriteOnly | QIODevice::Truncate));
            text.write(("file '" + head + "'\n" + list + "file '" + film + "'\n").toUtf8());
            text.close();
            const QString out = dir.filePath("out." + ext);
            ASSERT_TRUE(media::Ffmpeg({"-f", "concat", "-safe", "0", "-i", text.fileName(), "-c", "copy", out}));
            const readback::Facts joined = readback::Read(out, m, true);
            EXPECT_FALSE(readback::Judge(source, joined, expect));
            readback::Expectation lengthsOnly = expect;
            lengthsOnly.framesChecked = false;
            EXPECT_TRUE(readback::Judge(source, joined, lengthsOnly));
        }
    }
}
