// The probes over the real library, on media made at test time and checked
// against ffprobe.
#include "probe/MediaInfoLibrary.h"
#include "probe/MediaProbe.h"
#include "support/Media.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QTemporaryDir>
#include <clocale>
#include <cmath>
#include <gtest/gtest.h>
#include <memory>
#include <string>

using namespace probe;

namespace {

struct ProbeMedia : ::testing::Test {
    static std::unique_ptr<QTemporaryDir> dir;
    static QString path(const QString& name) { return dir->filePath(name); }

    static void SetUpTestSuite() {
        dir = std::make_unique<QTemporaryDir>();
        const QStringList highRate{"-b:v", "15M", "-minrate", "15M", "-maxrate", "15M", "-bufsize", "2M",
                                   "-x264-params", "nal-hrd=cbr"};
        const bool made =
            media::MakeVideo(path("plain.mp4"), 640, 360, 25, 12.36) &&
            media::MakeVideo(path("full_hd.mp4"), 1920, 1080, 29.97, 1) &&
            media::MakeVideo(path("high_rate.mp4"), 640, 360, 25, 1, highRate) &&
            media::MakeVideo(path("clip.mkv"), 320, 240, 25, 2) && media::MakeMp3(path("tone.mp3"), 3) &&
            media::MakePicture(path("cover.png"), 200, 100) &&
            media::Ffmpeg({"-i", path("plain.mp4"), "-i", path("cover.png"), "-map", "0", "-map", "1", "-c", "copy",
                           "-disposition:v:1", "attached_pic", path("covered.mp4")}) &&
            media::Ffmpeg({"-i", path("tone.mp3"), "-i", path("cover.png"), "-map", "0", "-map", "1", "-c", "copy",
                           "-id3v2_version", "3", "-disposition:v:0", "attached_pic", path("covered.mp3")}) &&
            QFile::copy(path("clip.mkv"), path("视频 封面.mkv")) && QFile::copy(path("plain.mp4"), path(".hidden.mp4")) &&
            QFile::link(path("plain.mp4"), path("link.mp4")) && QFile::link(path("plain.mp4"), path(".link.mp4")) &&
            // How phones keep portrait video: stored wide, turned a quarter for showing.
            media::Ffmpeg({"-i", path("plain.mp4"), "-c", "copy", "-metadata:s:v:0", "rotate=90", path("portrait.mp4")}) &&
            media::Ffmpeg({"-i", path("plain.mp4"), "-c", "copy", "-metadata:s:v:0", "rotate=270",
                           path("portrait270.mp4")}) &&
            media::Ffmpeg({"-i", path("plain.mp4"), "-c", "copy", "-metadata:s:v:0", "rotate=180", path("upside.mp4")}) &&
            // Four seconds of picture, ten of sound.
            media::Ffmpeg({"-f", "lavfi", "-i", "testsrc=size=160x120:rate=25:duration=4", "-f", "lavfi", "-i",
                           "sine=duration=10", "-c:v", "libx264", "-pix_fmt", "yuv420p", "-c:a", "aac",
                           path("short_picture.mp4")});
        QFile junk(path("junk.mp4"));
        ASSERT_TRUE(made && junk.open(QIODevice::WriteOnly) && junk.write(QByteArray(4096, '\x5a')) == 4096);
    }
    static void TearDownTestSuite() { dir.reset(); }

    // ffprobe's first video stream that is not an attached picture.
    static QJsonObject videoStream(const QString& file) {
        for (const auto& s : media::Probe(file).value("streams").toArray()) {
            const QJsonObject o = s.toObject();
            if (o.value("codec_type") == "video" && o.value("disposition").toObject().value("attached_pic").toInt() == 0)
                return o;
        }
        return {};
    }
};
std::unique_ptr<QTemporaryDir> ProbeMedia::dir;

}  // namespace

TEST_F(ProbeMedia, VideoFilesReadLikeFfprobe) {
    const struct { const char* file; int fps; } cases[] = {
        {"plain.mp4", 25}, {"full_hd.mp4", 30}, {"high_rate.mp4", 25}, {"clip.mkv", 25}, {"covered.mp4", 25},
    };
    ASSERT_EQ(media::CountAttachedPictures(path("covered.mp4")), 1);
    // The high-rate file is the one the library states in megabits.
    ASSERT_TRUE(FetchReport(SystemMediaInfo(), path("high_rate.mp4"), ReportKind::Normal).contains(" Mb/s"));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const QJsonObject stream = videoStream(path(c.file));
        QString w, h;
        const auto sizeRate = GetVideoSizeAndBitrate(path(c.file), w, h);
        ASSERT_TRUE(sizeRate.has_value());
        EXPECT_EQ(w, QString::number(stream.value("width").toInt()));
        EXPECT_EQ(h, QString::number(stream.value("height").toInt()));

        int fps = -1;
        const auto rate = GetVideoFrameRateAndBitrate(path(c.file), fps);
        ASSERT_TRUE(rate.has_value());
        EXPECT_EQ(fps, c.fps);
        EXPECT_EQ(*rate, *sizeRate);
        // MKV states no stream bit rate: then 0, never some other number of the report.
        // A constant-rate stream is stated at its nominal rate, a little off ffprobe's count.
        const double ffKbps = stream.value("bit_rate").toString().toDouble() / 1000;
        EXPECT_NEAR(*rate, ffKbps, std::max(1.0, ffKbps * 0.03));

        EXPECT_NEAR(GetMediaDuration(path(c.file)), media::Duration(path(c.file)), 0.05);
    }
    EXPECT_DOUBLE_EQ(GetMediaDuration(path("plain.mp4")), 12.36);
    EXPECT_DOUBLE_EQ(GetMediaDuration(path("link.mp4")), 12.36);
}

TEST_F(ProbeMedia, SizesAreAsPlayersShowThem) {
    const struct { const char* file; const char* size; } cases[] = {
        {"plain.mp4", "640x360"}, {"portrait.mp4", "360x640"}, {"portrait270.mp4", "360x640"},
        {"upside.mp4", "640x360"},
    };
    for (const auto& c : cases) {
        QString w = "1", h = "2";
        EXPECT_TRUE(GetVideoSizeAndBitrate(path(c.file), w, h).has_value()) << c.file;
        EXPECT_EQ(w + "x" + h, c.size) << c.file;
    }
}

TEST_F(ProbeMedia, PictureDurationIsTheVideoStreamsOwn) {
    EXPECT_NEAR(GetMediaDuration(path("short_picture.mp4")), 10, 0.1);
    EXPECT_NEAR(GetVideoDuration(path("short_picture.mp4")), 4, 0.05);
    EXPECT_NEAR(GetVideoDuration(path("short_picture.mp4")), media::StreamEnd(path("short_picture.mp4"), "v"), 0.05);
    // Where picture and file agree, or the library states no stream duration.
    EXPECT_DOUBLE_EQ(GetVideoDuration(path("plain.mp4")), GetMediaDuration(path("plain.mp4")));
    EXPECT_NEAR(GetVideoDuration(path("clip.mkv")), GetMediaDuration(path("clip.mkv")), 0.05);
    for (const char* file : {"missing.mp4", ".hidden.mp4", "junk.mp4", "tone.mp3"})
        EXPECT_DOUBLE_EQ(GetVideoDuration(path(file)), GetMediaDuration(path(file))) << file;
}

TEST_F(ProbeMedia, AudioFilesFailTheVideoProbesButHaveADuration) {
    for (const char* file : {"tone.mp3", "covered.mp3"}) {
        SCOPED_TRACE(file);
        QString w = "w", h = "h";
        int fps = -1;
        EXPECT_EQ(GetVideoSizeAndBitrate(path(file), w, h), std::nullopt);
        EXPECT_EQ(GetVideoFrameRateAndBitrate(path(file), fps), std::nullopt);
        // Nothing of the caller's earlier file stays behind as this one's size.
        EXPECT_EQ(w + h, "");
        EXPECT_EQ(fps, -1);
        EXPECT_NEAR(GetMediaDuration(path(file)), media::Duration(path(file)), 0.05);
    }
}

TEST_F(ProbeMedia, MissingHiddenAndUnreadableFilesGiveNothing) {
    for (const char* file : {"missing.mp4", ".hidden.mp4", ".link.mp4", "junk.mp4", ""}) {
        SCOPED_TRACE(file);
        const QString p = *file ? path(file) : dir->path();
        EXPECT_DOUBLE_EQ(GetMediaDuration(p), 0);
        if (QString(file).startsWith('.')) continue;  // only the duration treats hidden files as missing
        QString w = "w", h = "h";
        EXPECT_EQ(GetVideoSizeAndBitrate(p, w, h), std::nullopt);
        EXPECT_EQ(w + h, "");
    }
}

TEST_F(ProbeMedia, ChineseNamesOpenUnderTheCLocale) {
    const std::string saved = std::setlocale(LC_ALL, nullptr);
    std::setlocale(LC_ALL, "C");
    QString w, h;
    const auto rate = GetVideoSizeAndBitrate(path("视频 封面.mkv"), w, h);
    const double seconds = GetMediaDuration(path("视频 封面.mkv"));
    std::setlocale(LC_ALL, saved.c_str());
    EXPECT_TRUE(rate.has_value());
    EXPECT_EQ(w + "x" + h, "320x240");
    EXPECT_NEAR(seconds, media::Duration(path("clip.mkv")), 0.05);
}

// What the opening clip relies on the library stating, as 23.04 states it.
TEST_F(ProbeMedia, TheCodingOfAVideoStream) {
    const QStringList x264{"-c:v", "libx264", "-pix_fmt", "yuv420p"};
    const auto make = [](const QString& name, const QString& rate, const QStringList& coding) {
        return media::Ffmpeg(QStringList{"-f", "lavfi", "-i", "testsrc=size=160x120:rate=" + rate + ":duration=1"} +
                             coding + QStringList{path(name)});
    };
    ASSERT_TRUE(make("ntsc.mp4", "30000/1001", x264));
    ASSERT_TRUE(make("half.mkv", "12.5", x264 + QStringList{"-color_range", "pc"}));
    ASSERT_TRUE(make("deep.mp4", "25", {"-c:v", "libx265", "-pix_fmt", "yuv422p10le", "-tag:v", "hvc1", "-x265-params",
                                        "log-level=error"}));
    ASSERT_TRUE(
        media::Ffmpeg({"-i", path("ntsc.mp4"), "-c", "copy", "-metadata:s:v:0", "rotate=90", path("turned.mp4")}));

    const VideoCoding ntsc = ReadVideoCoding(path("ntsc.mp4"));
    ASSERT_TRUE(ntsc.found);
    EXPECT_EQ(ntsc.format.toStdString(), "AVC");
    EXPECT_EQ(ntsc.profile.toStdString(), "High@L1.1");
    EXPECT_EQ(ntsc.codecId.toStdString(), "avc1");
    EXPECT_EQ(ntsc.frameRateNum.toStdString(), "30000");
    EXPECT_EQ(ntsc.frameRateDen.toStdString(), "1001");
    EXPECT_EQ(ntsc.width.toStdString(), "160");
    EXPECT_EQ(ntsc.height.toStdString(), "120");
    EXPECT_EQ(ntsc.colorSpace.toStdString(), "YUV");
    EXPECT_EQ(ntsc.chromaSubsampling.toStdString(), "4:2:0");
    EXPECT_EQ(ntsc.bitDepth.toStdString(), "8");
    EXPECT_TRUE(ntsc.chromaPosition.isEmpty());
    EXPECT_TRUE(ntsc.rotation.isEmpty() || ntsc.rotation.toDouble() == 0);

    // 12.5 comes without a fraction, as a decimal.
    const VideoCoding half = ReadVideoCoding(path("half.mkv"));
    EXPECT_EQ(half.frameRate.toStdString(), "12.500");
    EXPECT_TRUE(half.frameRateNum.isEmpty());
    EXPECT_EQ(half.colourRange.toStdString(), "Full");
    EXPECT_EQ(half.codecId.toStdString(), "V_MPEG4/ISO/AVC");

    const VideoCoding deep = ReadVideoCoding(path("deep.mp4"));
    EXPECT_EQ(deep.format.toStdString(), "HEVC");
    EXPECT_EQ(deep.profile.left(13).toStdString(), "Format Range@");
    EXPECT_TRUE(deep.profile.endsWith("@Main"));
    EXPECT_EQ(deep.codecId.toStdString(), "hvc1");
    EXPECT_EQ(deep.chromaSubsampling.toStdString(), "4:2:2");
    EXPECT_EQ(deep.bitDepth.toStdString(), "10");

    EXPECT_NE(ReadVideoCoding(path("turned.mp4")).rotation.toDouble(), 0);
    EXPECT_FALSE(ReadVideoCoding(path("tone.mp3")).found);
    EXPECT_FALSE(ReadVideoCoding(path("missing.mp4")).found);
}
