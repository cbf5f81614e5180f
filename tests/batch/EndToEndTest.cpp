// Whole runs with the real encoder on generated media, checked with ffprobe.
#include "BatchFixture.h"

#include "filelist/Intake.h"
#include "platform/Settings.h"
#include "support/TaggedMp3.h"

#include <QTimer>
#include <gtest/gtest.h>

using namespace batch_test;

namespace {

// What a replacement must leave alone: each real stream's codec and packets.
struct StreamFacts {
    QString videoCodec, audioCodec;
    int videoPackets = -1, audioPackets = -1;
    bool operator==(const StreamFacts& o) const {
        return videoCodec == o.videoCodec && audioCodec == o.audioCodec && videoPackets == o.videoPackets &&
               audioPackets == o.audioPackets;
    }
};

StreamFacts FactsOf(const QString& path) {
    StreamFacts f;
    const int v = StreamIndex(path, "video");
    const int a = StreamIndex(path, "audio");
    if (v >= 0) f.videoCodec = CodecOf(path, v), f.videoPackets = media::CountPackets(path, v);
    if (a >= 0) f.audioCodec = CodecOf(path, a), f.audioPackets = media::CountPackets(path, a);
    return f;
}

// The attached picture's codec.
QString PictureCodec(const QString& path) {
    for (const auto& s : Streams(path)) {
        const QJsonObject o = s.toObject();
        if (o.value("disposition").toObject().value("attached_pic").toInt() == 1)
            return o.value("codec_name").toString();
    }
    return {};
}

void ModeTwo(BatchWindow& w, const QStringList& videos, bool inPlace, const QString& colour = "red") {
    ASSERT_TRUE(w.CoverForAll(!inPlace, "cover.jpg", colour, 200, 150));
    for (const QString& v : videos) {
        ASSERT_TRUE(PlaceVideo(w.Path(v)));
        w.AddVideo(v, w.Path("cover.jpg"));
    }
}

}  // namespace

TEST(EndToEnd, ModeTwoInPlaceReplacesTheCoverAndKeepsEveryStream) {
    BatchWindow w(true);
    ASSERT_TRUE(w.loaded);
    ModeTwo(w, {"a.mp4", "b.mp4"}, true);
    const StreamFacts before = FactsOf(w.Path("a.mp4"));
    ASSERT_EQ(before.videoCodec, "h264");
    ASSERT_EQ(before.audioCodec, "aac");

    w.Run();
    for (const QString v : {"a.mp4", "b.mp4"}) {
        SCOPED_TRACE(v.toStdString());
        const QString p = w.Path(v);
        EXPECT_EQ(media::CountAttachedPictures(p), 1);
        EXPECT_EQ(StreamSize(p, true), QSize(320, 240));
        EXPECT_EQ(FactsOf(p), before);
        EXPECT_EQ(WorkLeftovers(w.work.path()), QStringList());
    }
    EXPECT_EQ(w.Status(1), "Ok");
    EXPECT_EQ(w.Status(2), "Ok");

    // A second replacement replaces: still one cover, and the new one.
    const QString firstCover = media::Checksum(w.Path("a.mp4"));
    ASSERT_TRUE(PlacePicture(w.Path("cover.jpg"), "blue", 200, 150));
    w.Run();
    EXPECT_EQ(media::CountAttachedPictures(w.Path("a.mp4")), 1);
    EXPECT_EQ(Streams(w.Path("a.mp4")).size(), 3);
    EXPECT_EQ(FactsOf(w.Path("a.mp4")), before);
    EXPECT_NE(media::Checksum(w.Path("a.mp4")), firstCover);
}

TEST(EndToEnd, ModeZeroWritesNumberedAndCoverNamedSeries) {
    for (const bool numbered : {true, false}) {
        SCOPED_TRACE(numbered ? "numbered" : "cover-named");
        BatchWindow w(true);
        ASSERT_TRUE(w.loaded);
        w.Mode(0);
        w.form().ChNum->setChecked(numbered);
        ASSERT_TRUE(PlaceVideo(w.Path("base.mp4")));
        const QString baseSum = media::Checksum(w.Path("base.mp4"));
        w.form().LBase->setText(w.Path("base.mp4"));
        for (const QString pic : {"star.png", "sun.jpg", "moon.png"}) {
            ASSERT_TRUE(PlacePicture(w.Path(pic), "green", 40, 30));
            w.AddRow(pic, w.work.path(), "320", "240", w.Path("base.mp4"));
        }
        w.form().ChDoSels->setChecked(true);
        w.form().MSF->SetRow(3);
        w.form().MSF->SetRowSel(2);
        w.Run();
        const QStringList made = numbered ? QStringList{"base(2).mp4", "base(3).mp4"}
                                          : QStringList{"base_sun.mp4", "base_moon.mp4"};
        for (const QString& m : made) {
            EXPECT_EQ(media::CountAttachedPictures(w.Out(m)), 1) << m.toStdString();
            EXPECT_EQ(StreamSize(w.Out(m), true), QSize(320, 240));
        }
        EXPECT_FALSE(QFileInfo::exists(w.Out(numbered ? "base(1).mp4" : "base_star.mp4")));
        EXPECT_EQ(QDir(w.work.path() + "/out").entryList(QDir::Files).size(), 2);
        EXPECT_EQ(media::Checksum(w.Path("base.mp4")), baseSum);
    }
}

TEST(EndToEnd, ModeOneSaveAsWritesBesideAndKeepsTheSource) {
    BatchWindow w(true);
    ASSERT_TRUE(w.loaded);
    w.Mode(1);
    w.form().ChSaveAs->setChecked(true);
    ASSERT_TRUE(PlaceVideo(w.Path("clip.mp4")));
    ASSERT_TRUE(PlacePicture(w.Path("front.png"), "yellow", 100, 100));
    const QString sum = media::Checksum(w.Path("clip.mp4"));
    w.AddVideo("clip.mp4", w.Path("front.png"));
    w.Run();
    EXPECT_EQ(w.Status(1), "Ok");
    EXPECT_EQ(media::CountAttachedPictures(w.Out("clip_front.mp4")), 1);
    EXPECT_EQ(StreamSize(w.Out("clip_front.mp4"), true), QSize(320, 240));
    EXPECT_EQ(FactsOf(w.Out("clip_front.mp4")), FactsOf(w.Path("clip.mp4")));
    EXPECT_EQ(media::Checksum(w.Path("clip.mp4")), sum);
}

TEST(EndToEnd, Mp3GetsAnId3v23PictureAndKeepsOnlyOne) {
    BatchWindow w(true);
    ASSERT_TRUE(w.loaded);
    w.Mode(2);
    w.form().ChMp3->setChecked(true);
    ASSERT_TRUE(PlacePicture(w.Path("cover.jpg"), "red", 120, 90));
    w.form().LBase->setText(w.Path("cover.jpg"));
    w.form().ChSaveAs->setChecked(false);
    ASSERT_TRUE(PlaceMp3(w.Path("song.mp3")));
    const int audioPackets = media::CountPackets(w.Path("song.mp3"), 0);
    w.AddRow("song.mp3", w.work.path(), "0", "0", w.Path("cover.jpg"));
    for (int pass = 0; pass < 2; ++pass) {
        w.Run();
        EXPECT_EQ(w.Status(1), "Ok");
        EXPECT_EQ(media::CountAttachedPictures(w.Path("song.mp3")), 1);
        EXPECT_EQ(StreamSize(w.Path("song.mp3"), true), QSize(120, 90));  // MP3 covers are not scaled
        EXPECT_EQ(media::CountPackets(w.Path("song.mp3"), 0), audioPackets);
        // The source's own tag version (the encoder's default, 2.4) is kept.
        EXPECT_EQ(media::Id3v2Version(w.Path("song.mp3")), 4);
    }
}

TEST(EndToEnd, Mp3KeepsItsTagsAndEverySampleAndGetsAFrontCover) {
    BatchWindow w(true);
    ASSERT_TRUE(w.loaded);
    w.Mode(2);
    w.form().ChMp3->setChecked(true);
    ASSERT_TRUE(PlacePicture(w.Path("cover.jpg"), "red", 60, 40));
    ASSERT_TRUE(PlacePicture(w.Path("old.png"), "green", 30, 20));
    w.form().LBase->setText(w.Path("cover.jpg"));
    w.form().ChSaveAs->setChecked(false);
    // Without a VBR header frame, with an ID3v1 tag and an old picture of type "other".
    ASSERT_TRUE(media::Ffmpeg({"-f", "lavfi", "-i", "sine=frequency=300:duration=3", "-i", w.Path("old.png"), "-map",
                               "0", "-map", "1", "-c:a", "libmp3lame", "-b:a", "96k", "-c:v", "copy", "-write_xing",
                               "0", "-write_id3v1", "1", "-id3v2_version", "3", "-metadata", "title=歌名",
                               "-metadata", "artist=Someone", w.Path("plain.mp3")}));
    // With a header frame.
    ASSERT_TRUE(media::Ffmpeg({"-f", "lavfi", "-i", "sine=frequency=500:duration=2", "-c:a", "libmp3lame", "-b:a",
                               "128k", w.Path("vbr.mp3")}));
    const long long samples = media::DecodedSamples(w.Path("plain.mp3"));
    const long long vbrSamples = media::DecodedSamples(w.Path("vbr.mp3"));
    ASSERT_GT(samples, 0);
    w.AddRow("plain.mp3", w.work.path(), "0", "0", w.Path("cover.jpg"));
    w.AddRow("vbr.mp3", w.work.path(), "0", "0", w.Path("cover.jpg"));
    w.Run();
    EXPECT_EQ(w.Status(1), "Ok");
    EXPECT_EQ(w.Status(2), "Ok");
    for (const QString name : {"plain.mp3", "vbr.mp3"}) {
        SCOPED_TRACE(name.toStdString());
        const QString p = w.Path(name);
        QStringList pictures;
        for (const auto& s : Streams(p)) {
            const QJsonObject o = s.toObject();
            if (o.value("disposition").toObject().value("attached_pic").toInt() != 1) continue;
            pictures << QString("%1 %2x%3")
                            .arg(o.value("tags").toObject().value("comment").toString())
                            .arg(o.value("width").toInt())
                            .arg(o.value("height").toInt());
        }
        // The new front cover, and the old picture of another type where it was.
        QStringList want{"Cover (front) 60x40"};
        if (name == "plain.mp3") want << "Other 30x20";
        EXPECT_EQ(pictures, want);
    }
    EXPECT_EQ(media::DecodedSamples(w.Path("plain.mp3")), samples);
    EXPECT_EQ(media::DecodedSamples(w.Path("vbr.mp3")), vbrSamples);
    QFile f(w.Path("plain.mp3"));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray bytes = f.readAll();
    EXPECT_EQ(bytes.right(128).left(3), "TAG");
    EXPECT_TRUE(bytes.right(128).contains("Someone"));
    EXPECT_EQ(media::Probe(w.Path("plain.mp3")).value("format").toObject().value("tags").toObject().value("title").toString(),
              "歌名");
}

namespace {

QByteArray FileBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// What an MP3 replacement must keep of a source, read with TagLib and as bytes.
struct Mp3Kept {
    QStringList tags;  // every frame but the front cover, the APE items, ID3v1
    QByteArray afterTag;
    int version = 0;
};

Mp3Kept KeptOf(const QString& path) {
    return {media::DescribeTags(path), media::AfterId3v2(path), media::Id3v2Version(path)};
}

void ExpectKept(const QString& path, const Mp3Kept& source, const QString& cover) {
    const Mp3Kept now = KeptOf(path);
    EXPECT_EQ(now.tags, source.tags);
    EXPECT_TRUE(now.afterTag == source.afterTag) << "the bytes after the ID3v2 tag changed";
    EXPECT_EQ(now.version, source.version ? source.version : 3);
    EXPECT_EQ(media::FrontCovers(path), (QList<QByteArray>{FileBytes(cover)}));
}

}  // namespace

TEST(EndToEnd, Mp3KeepsEveryFrameAndEveryByteButItsFrontCover) {
    BatchWindow w(true);
    ASSERT_TRUE(w.loaded);
    w.Mode(2);
    w.form().ChMp3->setChecked(true);
    w.form().ChSaveAs->setChecked(false);
    ASSERT_TRUE(PlacePicture(w.Path("old.png"), "green", 40, 30));
    ASSERT_TRUE(PlacePicture(w.Path("back.png"), "yellow", 30, 30));
    ASSERT_TRUE(PlacePicture(w.Path("cover.jpg"), "red", 60, 40));
    w.form().LBase->setText(w.Path("cover.jpg"));
    const QString old = w.Path("old.png"), back = w.Path("back.png");
    const std::vector<std::pair<QString, media::Mp3Tags>> sources{
        {"v24.mp3", {4, old, back}},
        {"v23.mp3", {3, old, back}},
        {"nofront.mp3", {4, {}, back, false, false}},  // the new cover goes in front of the back cover
        {"untagged.mp3", {4, {}, {}, false, false, false}},
    };
    std::map<QString, Mp3Kept> kept;
    for (const auto& [name, tags] : sources) {
        ASSERT_TRUE(media::MakeTaggedMp3(w.Path(name), 3, tags)) << name.toStdString();
        kept[name] = KeptOf(w.Path(name));
        w.AddRow(name, w.work.path(), "0", "0", w.Path("cover.jpg"));
    }
    ASSERT_TRUE(kept["v24.mp3"].tags.filter("APE REPLAYGAIN").size() == 2 && kept["v24.mp3"].tags.size() > 12);
    ASSERT_TRUE(kept["untagged.mp3"].tags.isEmpty());

    // In place, twice; then saved as.
    for (const QString colour : {"red", "blue", "white"}) {
        SCOPED_TRACE(colour.toStdString());
        const bool saveAs = colour == "white";
        w.form().ChSaveAs->setChecked(saveAs);
        ASSERT_TRUE(PlacePicture(w.Path("cover.jpg"), colour, 60, 40));
        std::map<QString, QString> sums;
        for (const auto& s : sources) sums[s.first] = media::Checksum(w.Path(s.first));
        w.Run();
        for (size_t i = 0; i < sources.size(); ++i) {
            const QString& name = sources[i].first;
            SCOPED_TRACE(name.toStdString());
            EXPECT_EQ(w.Status(static_cast<int>(i) + 1), "Ok");
            ExpectKept(saveAs ? w.Out(name) : w.Path(name), kept[name], w.Path("cover.jpg"));
            if (saveAs) EXPECT_EQ(media::Checksum(w.Path(name)), sums[name]);
        }
    }
    for (const QString& f : QDir(w.work.path()).entryList(QDir::Files | QDir::Hidden) +
                                QDir(w.work.path() + "/out").entryList(QDir::Files | QDir::Hidden))
        EXPECT_FALSE(f.startsWith(".")) << f.toStdString();
}

TEST(EndToEnd, ATrimmedMp3TakesTheEncodersAudioAndKeepsItsTags) {
    BatchWindow w(true);
    ASSERT_TRUE(w.loaded);
    w.Mode(2);
    w.form().ChMp3->setChecked(true);
    w.form().ChSaveAs->setChecked(false);
    ASSERT_TRUE(PlacePicture(w.Path("cover.jpg"), "red", 60, 40));
    ASSERT_TRUE(PlacePicture(w.Path("back.png"), "yellow", 30, 30));
    w.form().LBase->setText(w.Path("cover.jpg"));
    ASSERT_TRUE(media::MakeTaggedMp3(w.Path("talk.mp3"), 6, {3, w.Path("cover.jpg"), w.Path("back.png")}));
    const QStringList tags = media::DescribeTags(w.Path("talk.mp3"));
    const QByteArray after = media::AfterId3v2(w.Path("talk.mp3"));
    // The APE tag (from its header) and the ID3v1 tag that follows it.
    const int ape = after.lastIndexOf("APETAGEX", after.size() - 128 - 32 - 1);
    ASSERT_GT(ape, 0);
    const QByteArray ending = after.mid(ape);
    w.AddRow("talk.mp3", w.work.path(), "0", "0", w.Path("cover.jpg"));
    w.form().ChCutTime->setChecked(true);
    w.form().TTimeCut->setText("2,2");
    w.Run();
    EXPECT_EQ(w.Status(1), "Ok");
    const QString p = w.Path("talk.mp3");
    EXPECT_GT(media::Duration(p), 1.5);
    EXPECT_LT(media::Duration(p), 3);
    EXPECT_TRUE(media::DecodesCleanly(p));
    EXPECT_EQ(media::DescribeTags(p), tags);
    EXPECT_EQ(media::FrontCovers(p), (QList<QByteArray>{FileBytes(w.Path("cover.jpg"))}));
    EXPECT_EQ(media::Id3v2Version(p), 3);
    EXPECT_TRUE(media::AfterId3v2(p).endsWith(ending));
}

TEST(EndToEnd, TrimShortensAndPixelCropResizesPictureAndFrame) {
    BatchWindow w(true);
    ASSERT_TRUE(w.loaded);
    ASSERT_TRUE(w.CoverForAll(false, "cover.jpg"));
    ASSERT_TRUE(PlaceVideo(w.Path("long.mp4"), 320, 240, 10, {"-g", "5"}));
    ASSERT_TRUE(PlaceVideo(w.Path("crop.mp4")));
    w.AddVideo("long.mp4");
    w.AddVideo("crop.mp4");

    // Row 1 trimmed only; row 2 cropped only.
    w.form().ChCutTime->setChecked(true);
    w.form().TTimeCut->setText("5,3");
    w.form().ChDoSels->setChecked(true);
    w.form().MSF->SetRow(1);
    w.Run();
    EXPECT_EQ(w.Status(1), "Ok");
    const double d = media::Duration(w.Path("long.mp4"));
    EXPECT_GT(d, 1.5);
    EXPECT_LT(d, 3.5);
    EXPECT_EQ(media::CountAttachedPictures(w.Path("long.mp4")), 1);

    w.form().ChCutTime->setChecked(false);
    w.form().ChCutSize->setChecked(true);
    w.form().TSizeCut->setText("1,2,3,4");
    w.form().MSF->SetRow(2);
    w.Run();
    EXPECT_EQ(w.Status(2), "Ok");
    EXPECT_EQ(StreamSize(w.Path("crop.mp4"), false), QSize(316, 234));
    EXPECT_EQ(StreamSize(w.Path("crop.mp4"), true), QSize(316, 234));
    EXPECT_EQ(PictureCodec(w.Path("crop.mp4")), "png");
    EXPECT_EQ(media::CountAttachedPictures(w.Path("crop.mp4")), 1);
    EXPECT_EQ(StreamIndex(w.Path("crop.mp4"), "audio") >= 0, true);
}

TEST(EndToEnd, CropThatLeavesTooLittleEndsOnlyThatRow) {
    BatchWindow w(true);
    ASSERT_TRUE(w.loaded);
    w.Mode(2);
    ASSERT_TRUE(PlacePicture(w.Path("cover.jpg")));
    w.form().LBase->setText(w.Path("cover.jpg"));
    ASSERT_TRUE(PlaceVideo(w.Path("small.mp4"), 64, 64));
    ASSERT_TRUE(PlaceVideo(w.Path("big.mp4")));
    w.AddVideo("small.mp4", {}, "64", "64");
    w.AddVideo("big.mp4");
    w.form().ChCutSize->setChecked(true);
    w.form().TSizeCut->setText("16,0,16,0");
    w.Run();
    EXPECT_EQ(w.Status(1), "失败：画面裁剪量太大");
    EXPECT_EQ(w.Status(2), "Ok");
    EXPECT_EQ(w.realShell.starts.size(), 1u);
    EXPECT_EQ(StreamSize(w.Out("big.mp4"), false), QSize(288, 240));
}

TEST(EndToEnd, ChOtherReencodesVideoAndCoverAlike) {
    BatchWindow w(true);
    ASSERT_TRUE(w.loaded);
    ASSERT_TRUE(w.CoverForAll(false, "cover.jpg"));
    ASSERT_TRUE(PlaceVideo(w.Path("v.mp4"), 640, 360));
    w.AddVideo("v.mp4", {}, "640", "360");
    w.form().ChOther->setChecked(true);  // frame rate 20, compression 33
    w.form().CmbSize->SetText("320x240");
    ASSERT_GT(w.form().CmbSize->ListIndex(), 9);
    w.Run();
    EXPECT_TRUE(w.Status(1).startsWith("Ok！")) << w.Status(1).toStdString();
    const QString p = w.Path("v.mp4");
    EXPECT_EQ(StreamSize(p, false), QSize(320, 240));
    EXPECT_EQ(StreamSize(p, true), QSize(320, 240));
    EXPECT_EQ(PictureCodec(p), "png");
    EXPECT_EQ(media::CountAttachedPictures(p), 1);
    for (const auto& s : Streams(p))
        if (s.toObject().value("index").toInt() == StreamIndex(p, "video"))
            EXPECT_EQ(s.toObject().value("r_frame_rate").toString(), "20/1");
}

TEST(EndToEnd, ATypedSizeIsAppliedOrItsRowsRefused) {
    BatchWindow w(true);
    ASSERT_TRUE(w.loaded);
    ASSERT_TRUE(w.CoverForAll(false, "cover.jpg"));
    ASSERT_TRUE(PlaceVideo(w.Path("v.mp4"), 640, 360));
    w.AddVideo("v.mp4", {}, "640", "360");
    w.form().ChOther->setChecked(true);
    w.form().CmbSize->SetText("500x300");
    ASSERT_EQ(w.form().CmbSize->ListIndex(), -1);
    w.Run();
    EXPECT_TRUE(w.Status(1).startsWith("Ok！")) << w.Status(1).toStdString();
    EXPECT_EQ(StreamSize(w.Path("v.mp4"), false), QSize(500, 300));
    EXPECT_EQ(media::CountAttachedPictures(w.Path("v.mp4")), 1);

    // A typed text that is no size: refused, the file as it was.
    const QString sum = media::Checksum(w.Path("v.mp4"));
    const size_t started = w.realShell.starts.size();
    w.form().CmbSize->SetText("500 by 300");
    w.Run();
    EXPECT_EQ(w.Status(1), "更换失败");
    EXPECT_EQ(media::Checksum(w.Path("v.mp4")), sum);
    EXPECT_EQ(w.realShell.starts.size(), started);
}

// Rows listed by the add dialog carry the probed size: the cover takes the
// shape players show, and audio-only files keep the picture's own shape.
TEST(EndToEnd, CoversTakeTheShownShapeAndAudioFilesThePicturesOwn) {
    BatchWindow w(true);
    ASSERT_TRUE(w.loaded);
    ASSERT_TRUE(w.CoverForAll(false, "cover.jpg", "red", 200, 200));
    ASSERT_TRUE(PlaceVideo(w.Path("wide.mp4"), 640, 360));
    ASSERT_TRUE(media::Ffmpeg({"-i", w.Path("wide.mp4"), "-c", "copy", "-metadata:s:v:0", "rotate=90",
                               w.Path("portrait.mp4")}));
    ASSERT_TRUE(media::Ffmpeg({"-f", "lavfi", "-i", "sine=duration=1", "-c:a", "aac", w.Path("song.m4a")}));
    ASSERT_TRUE(media::Ffmpeg({"-f", "lavfi", "-i", "sine=duration=1", "-c:a", "aac", w.Path("song.mka")}));
    for (const QString name : {"wide.mp4", "portrait.mp4", "song.m4a", "wide.mp4", "song.mka"}) {
        w.dialogs().fileAnswers = {w.Path(name)};
        w.form().CmdAddMp4->click();
    }
    ASSERT_EQ(w.form().MSF->Rows(), 6);
    EXPECT_EQ(w.form().MSF->TextMatrix(2, ColWidth) + "x" + w.form().MSF->TextMatrix(2, ColHeight), "360x640");
    EXPECT_EQ(w.form().MSF->TextMatrix(3, ColWidth) + w.form().MSF->TextMatrix(3, ColHeight), "");
    EXPECT_EQ(w.form().MSF->TextMatrix(5, ColWidth) + w.form().MSF->TextMatrix(5, ColHeight), "");
    w.form().MSF->RemoveItem(4);  // listed twice only to stand before the MKA

    w.Run();
    for (int row = 1; row <= 4; ++row) EXPECT_EQ(w.Status(row), "Ok") << row;
    EXPECT_EQ(StreamSize(w.Path("song.mka"), true), QSize(200, 200));  // its attachment, read as a picture
    EXPECT_EQ(StreamSize(w.Path("wide.mp4"), true), QSize(640, 360));
    EXPECT_EQ(StreamSize(w.Path("portrait.mp4"), true), QSize(360, 640));
    EXPECT_EQ(StreamSize(w.Path("portrait.mp4"), false), QSize(640, 360));  // the film itself untouched
    EXPECT_EQ(media::CountAttachedPictures(w.Path("song.m4a")), 1);
    EXPECT_EQ(StreamSize(w.Path("song.m4a"), true), QSize(200, 200));

    // Re-encoded to a size relative to the video: the audio file, which has
    // none, keeps the picture's shape rather than the row before's size.
    w.form().ChOther->setChecked(true);
    w.form().CmbSize->SetText("?x320");
    w.Run();
    for (int row = 1; row <= 4; ++row) EXPECT_TRUE(w.Status(row).startsWith("Ok！")) << row;
    EXPECT_EQ(StreamSize(w.Path("wide.mp4"), false), QSize(570, 320));
    EXPECT_EQ(media::CountAttachedPictures(w.Path("song.m4a")), 1);
    EXPECT_EQ(StreamSize(w.Path("song.m4a"), true), QSize(200, 200));
}

TEST(EndToEnd, MissingCoverFailsTheRowAndTheNextStillRuns) {
    BatchWindow w(true);
    ASSERT_TRUE(w.loaded);
    w.Mode(1);
    w.form().ChSaveAs->setChecked(false);
    for (int i = 1; i <= 2; ++i) {
        ASSERT_TRUE(PlaceVideo(w.Path(QString("v%1.mp4").arg(i))));
        ASSERT_TRUE(PlacePicture(w.Path(QString("c%1.png").arg(i))));
        w.AddVideo(QString("v%1.mp4").arg(i), w.Path(QString("c%1.png").arg(i)));
    }
    const QString sum = media::Checksum(w.Path("v1.mp4"));
    QFile::remove(w.Path("c1.png"));
    w.Run();
    EXPECT_EQ(w.Status(1), "更换失败");
    EXPECT_EQ(media::Checksum(w.Path("v1.mp4")), sum);
    EXPECT_EQ(w.Status(2), "Ok");
    EXPECT_EQ(media::CountAttachedPictures(w.Path("v2.mp4")), 1);
}

TEST(EndToEnd, ATiffCoverReplacesInPlaceAndAnUnreadableOneFailsItsRow) {
    BatchWindow w(true);
    ASSERT_TRUE(w.loaded);
    ASSERT_TRUE(w.CoverForAll(false, "cover.tif", "green", 200, 150));
    ASSERT_TRUE(PlaceVideo(w.Path("a.mp4")));
    w.AddVideo("a.mp4", w.Path("cover.tif"));
    w.Run();
    EXPECT_EQ(w.Status(1), "Ok");
    EXPECT_EQ(media::CountAttachedPictures(w.Path("a.mp4")), 1);
    EXPECT_EQ(StreamSize(w.Path("a.mp4"), true), QSize(320, 240));

    // A cover that names a picture format but holds none: nothing is replaced.
    ASSERT_TRUE(WriteBytes(w.Path("cover.tif"), "not a picture"));
    const QString sum = media::Checksum(w.Path("a.mp4"));
    w.Run();
    EXPECT_EQ(w.Status(1), "更换失败");
    EXPECT_EQ(media::Checksum(w.Path("a.mp4")), sum);
}

TEST(EndToEnd, StopDuringRowTwoOfFiveLeavesTheRestUntouched) {
    BatchWindow w(true);
    ASSERT_TRUE(w.loaded);
    QStringList names;
    for (int i = 1; i <= 5; ++i) names << QString("v%1.mp4").arg(i);
    ModeTwo(w, names, true);
    QStringList sums;
    for (const QString& n : names) sums << media::Checksum(w.Path(n));

    QTimer poll;
    bool stopped = false;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (stopped || w.State().CurrentRow != 2 || w.Status(2) != "封面更换中...") return;
        stopped = true;
        w.dialogs().answers = {MsgResult::Ok};
        w.form().CmdStop->click();
    });
    poll.start(1);
    w.Run();
    poll.stop();
    ASSERT_TRUE(stopped);
    EXPECT_EQ(w.Status(2), "Ok");
    EXPECT_EQ(media::CountAttachedPictures(w.Path("v2.mp4")), 1);
    for (int i = 3; i <= 5; ++i) {
        EXPECT_EQ(w.Status(i), "");
        EXPECT_EQ(media::Checksum(w.Path(names[i - 1])), sums[i - 1]);
    }
    EXPECT_TRUE(w.dialogs().Shown("处理完毕！\r\n要打开输出目录吗？"));
}

TEST(EndToEnd, WithoutHardwareDecodersTheSoftwareAttemptSucceeds) {
    BatchWindow w(true);
    ASSERT_TRUE(w.loaded);
    ModeTwo(w, {"a.mp4", "b.mp4"}, true);
    const StreamFacts before = FactsOf(w.Path("a.mp4"));
    w.form().ChOther->setChecked(true);
    w.form().CmbSize->SetListIndex(0);
    w.form().ChSpeed->setChecked(true);
    ASSERT_EQ(w.form().AccIndex, -1);
    w.Run();

    ASSERT_EQ(w.realShell.starts.size(), 4u);
    EXPECT_EQ(w.realShell.starts[0].mid(0, 2), (QStringList{"-c:v", "h264_qsv"}));
    EXPECT_EQ(w.realShell.starts[1].mid(0, 2), (QStringList{"-c:v", "h264_cuvid"}));
    EXPECT_EQ(w.realShell.starts[2].first(), "-threads");
    EXPECT_EQ(w.realShell.starts[3].first(), "-threads");  // the second row: one attempt
    EXPECT_EQ(w.fx.settings.values.value(settings_names::AccIndex), "0");
    EXPECT_EQ(w.fx.settings.values.value(settings_names::CanAcc), "0");
    EXPECT_FALSE(w.form().ChSpeed->isChecked());
    EXPECT_FALSE(OwnEnabled(w.form().ChSpeed));
    for (const QString v : {"a.mp4", "b.mp4"}) {
        const StreamFacts after = FactsOf(w.Path(v));
        EXPECT_EQ(after.videoCodec, "h264") << v.toStdString();  // video, not an audio-only leftover
        EXPECT_EQ(after.audioPackets, before.audioPackets);
        EXPECT_GT(after.videoPackets, 0);
        EXPECT_EQ(media::CountAttachedPictures(w.Path(v)), 1);
    }
    EXPECT_TRUE(w.Status(1).startsWith("Ok！"));
}

TEST(EndToEnd, OnlyThePickedFilesChangeAndALinkStaysALink) {
    BatchWindow w(true);
    ASSERT_TRUE(w.loaded);
    ASSERT_TRUE(w.CoverForAll(false, "cover.jpg"));
    for (const QString d : {"videos", "sub", "other", "real"}) ASSERT_TRUE(QDir().mkpath(w.Path(d)));
    for (const QString v : {"videos/base.mp4", "sub/in_sub.mp4", "other/tiny.mp4", "videos/tiny.mp4", "real/film.mp4"})
        ASSERT_TRUE(PlaceVideo(w.Path(v)));
    ASSERT_TRUE(QFile::link("../real/film.mp4", w.Path("videos/link.mp4")));
    const QString unpicked = media::Checksum(w.Path("videos/tiny.mp4"));

    // One add across three folders (whole paths typed into the dialog), then
    // the link on its own.
    w.dialogs().fileAnswers = {
        QStringList{w.Path("videos"), "base.mp4", w.Path("sub/in_sub.mp4"), w.Path("other/tiny.mp4")}.join(QChar(0)),
        w.Path("videos/link.mp4")};
    w.form().intake->CmdAddMp4_Click();
    w.form().intake->CmdAddMp4_Click();
    ASSERT_EQ(w.form().MSF->Rows(), 5);
    QStringList listed;
    for (int r = 1; r <= 4; ++r) listed << w.form().MSF->Cells(r).Path();
    EXPECT_EQ(listed, (QStringList{w.Path("videos/base.mp4"), w.Path("sub/in_sub.mp4"), w.Path("other/tiny.mp4"),
                                   w.Path("videos/link.mp4")}));

    w.Run();
    for (int r = 1; r <= 4; ++r) EXPECT_EQ(w.Status(r), "Ok") << r;
    for (const QString v : {"videos/base.mp4", "sub/in_sub.mp4", "other/tiny.mp4", "real/film.mp4"})
        EXPECT_EQ(media::CountAttachedPictures(w.Path(v)), 1) << v.toStdString();
    EXPECT_EQ(media::Checksum(w.Path("videos/tiny.mp4")), unpicked);
    EXPECT_TRUE(QFileInfo(w.Path("videos/link.mp4")).isSymLink());
    EXPECT_EQ(QFileInfo(w.Path("videos/link.mp4")).symLinkTarget(), w.Path("real/film.mp4"));
}
