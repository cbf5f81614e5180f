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
        // The old picture of type "other", as ffmpeg writes covers, was the
        // cover: only the new one is there.
        EXPECT_EQ(pictures, QStringList{"Cover (front) 60x40"});
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

namespace {

namespace id3 = media::id3;

// An MP3 whose ID3v2 tag the test writes byte by byte, as taggers, phones
// and ffmpeg leave them, around lame's audio.
struct HandTagged {
    QString name;
    id3::Tag tag;  // major 0: no ID3v2 tag
    std::vector<int> covers;  // the frames a new cover replaces
    int place = 0;            // where the new cover goes
    QByteArray after;         // after the audio
    bool refused = false;
};

// What a replacement must make of `t`: its covers out, the new front cover
// at `place`, the tag's length kept where the frames fit, else its padding
// (none with a footer), and an extended header's padding size and CRC anew.
id3::Tag Replaced(id3::Tag t, const std::vector<int>& covers, int place, const QByteArray& picture) {
    const bool v22 = t.major == 2;
    const QByteArray body = id3::Picture(t.major, v22 ? "JPG" : "image/jpeg", 3, picture);
    // In an ID3v2.4 tag flagged unsynchronised, every frame is.
    const bool unsync = t.major == 4 && (t.flags & 0x80);
    const QByteArray frame = unsync ? id3::Frame(4, "APIC", id3::Unsynchronised(body), 0x0002)
                                    : id3::Frame(t.major, v22 ? "PIC" : "APIC", body);
    const bool footer = t.major == 4 && (t.flags & 0x10);
    const int length = id3::Bytes(t).size() - 10 - (footer ? 10 : 0);
    QList<QByteArray> frames;
    for (int i = 0; i <= t.frames.size(); ++i) {
        if (i == place) frames << frame;
        if (i < t.frames.size() && std::find(covers.begin(), covers.end(), i) == covers.end()) frames << t.frames[i];
    }
    t.frames = frames;
    const bool crc = t.extended.size() == 14;
    const auto withPadding = [&](int padding) {
        if (!t.extended.isEmpty())
            t.extended = t.major == 3 ? id3::Extended23(padding, crc, frames.join())
                                      : id3::Extended24(frames.join() + QByteArray(padding, '\0'));
        t.padding = padding;
    };
    const int oldPadding = t.padding;
    withPadding(0);
    const int bare = id3::Bytes(t).size() - 10 - (footer ? 10 : 0);
    withPadding(footer ? 0 : bare <= length ? length - bare : oldPadding);
    return t;
}

}  // namespace

// Tags as taggers write them keep every frame as it was; only the cover
// changes, in place (twice) and saved as.
TEST(EndToEnd, Mp3TagsWrittenByHandKeepEveryByteButTheirCover) {
    BatchWindow w(true);
    ASSERT_TRUE(w.loaded);
    w.Mode(2);
    w.form().ChMp3->setChecked(true);
    ASSERT_TRUE(PlacePicture(w.Path("old.jpg"), "green", 30, 20));
    ASSERT_TRUE(media::MakeTaggedMp3(w.Path("audio.mp3"), 2, {4, {}, {}, false, false, false}));
    const QByteArray audio = FileBytes(w.Path("audio.mp3")), old = FileBytes(w.Path("old.jpg"));
    const auto u16 = [](const char* id, const QString& text, int major = 3) { return id3::Frame(major, id, id3::Utf16(text)); };
    const auto latin = [](const char* id, const QByteArray& text, int major = 3) {
        return id3::Frame(major, id, id3::Text(0, text));
    };
    const auto picture = [&](int major, int type, int flags = 0) {
        return id3::Frame(major, major == 2 ? "PIC" : "APIC",
                          id3::Picture(major, major == 2 ? "JPG" : "image/jpeg", type, old, "x"), flags);
    };
    const QByteArray back = id3::Frame(3, "APIC", id3::Picture(3, "image/png", 4, "back"));
    const QByteArray id3v1 = "TAG" + QByteArray("Song").leftJustified(125, ' ');
    QByteArray pastTag = latin("TIT2", "t");
    pastTag[7] = 7;  // five bytes more than the tag holds
    const QByteArray comment = QByteArray("\0eng\0a comment", 15);
    const QByteArray pictureBody = id3::Picture(3, "image/jpeg", 3, old);
    const QByteArray tail = id3::Frame(3, "TXXX", QByteArray("\0a\0\xFF", 4));

    std::vector<HandTagged> sources{
        {"utf16.mp3",
         {3, 0, {}, {u16("TIT2", "一首歌"), u16("TPE1", "Someone"), u16("TALB", "Album"), u16("TYER", "2019"),
                     u16("TDAT", "0912"), u16("TIME", "1230"), u16("TORY", "2018"), u16("TCON", "(17)Rock"),
                     u16("TRCK", "7"), u16("IPLS", "producer"), id3::Frame(3, "RVAD", "\x03\x10\x01\x02\x03\x04"),
                     u16("TSIZ", "12345"), id3::Frame(3, "EQUA", "\x10\x80\x01\x02"), u16("TRDA", "9 Dec"),
                     picture(3, 3), back}, 100},
         {14}, 14, id3v1},
        {"extended.mp3", {3, 0x40, {}, {latin("TIT2", "t"), picture(3, 3), id3::Frame(3, "COMM", comment)}, 50},
         {1}, 1},
        {"empty.mp3",
         {4, 0, {}, {latin("TIT2", "t", 4), id3::Frame(4, "TPE2", {}), id3::Frame(4, "xyz1", "?"),
                     latin("TALB", "a", 4), picture(4, 3)}, 200},
         {4}, 4},
        {"footer.mp3",
         {4, 0x10, {}, {picture(4, 3), latin("TIT2", "t", 4), latin("TDRC", "2019", 4), latin("TRCK", "7", 4)}, 0},
         {0}, 0},
        {"v22.mp3",
         {2, 0, {}, {latin("TT2", "t", 2), latin("TP1", "p", 2), id3::Frame(2, "COM", comment), picture(2, 3)}, 300},
         {3}, 3},
        {"other.mp3", {3, 0, {}, {latin("TIT2", "t"), latin("TSSE", "Lavf59"), picture(3, 0)}, 0}, {2}, 2},
        {"unsync.mp3",
         {3, 0x80, {}, {latin("TIT2", "t"), id3::Frame(3, "PRIV", "x\xFF\xE2y"), picture(3, 3), tail}, 10},
         {2}, 2},
        // qCompress: the decompressed size, big-endian, then zlib's stream
        {"compressed.mp3",
         {3, 0, {}, {id3::Frame(3, "COMM", qCompress(comment), 0x0080), back,
                     id3::Frame(3, "APIC", qCompress(pictureBody), 0x0080)}, 64},
         {2}, 2},
        {"padded.mp3", {4, 0, {}, {latin("TIT2", "t", 4), picture(4, 3)}, 64 * 1024}, {1}, 1},
        {"v24crc.mp3",
         {4, 0xC0, {}, {id3::Frame(4, "TIT2", id3::Unsynchronised(QByteArray("\0t\xFF", 3)), 0x0002),
                        id3::Frame(4, "APIC", id3::Unsynchronised(pictureBody), 0x0002)}, 30},
         {1}, 1},
        {"untagged.mp3", {0}, {}, 0, id3v1},
        {"pasttag.mp3", {3, 0, {}, {picture(3, 3), pastTag}, 0}, {}, 0, {}, true},
        {"garbage.mp3", {3, 0, {}, {latin("TIT2", "t"), "\x01\x02\x03", picture(3, 3)}, 20}, {}, 0, {}, true},
        {"twotags.mp3", {3, 0, {}, {latin("TIT2", "t")}, 10}, {}, 0, {}, true},
    };
    for (HandTagged& h : sources) {
        if (h.tag.flags & 0x40)
            h.tag.extended = h.tag.major == 3 ? id3::Extended23(h.tag.padding, true, h.tag.frames.join())
                                              : id3::Extended24(h.tag.frames.join() + QByteArray(h.tag.padding, '\0'));
        QByteArray tag = h.tag.major ? id3::Bytes(h.tag) : QByteArray();
        if (h.name == "twotags.mp3") tag += tag;
        ASSERT_TRUE(WriteBytes(w.Path(h.name), tag + audio + h.after)) << h.name.toStdString();
        w.AddRow(h.name, w.work.path(), "0", "0", w.Path("cover.jpg"));
    }
    w.form().LBase->setText(w.Path("cover.jpg"));
    const QStringList audioHashes = media::StreamHashes(w.Path("untagged.mp3"));
    ASSERT_EQ(audioHashes.size(), 1);

    for (const QString colour : {"red", "blue", "white"}) {
        SCOPED_TRACE(colour.toStdString());
        const bool saveAs = colour == "white";
        w.form().ChSaveAs->setChecked(saveAs);
        ASSERT_TRUE(PlacePicture(w.Path("cover.jpg"), colour, 60, 40));
        const QByteArray cover = FileBytes(w.Path("cover.jpg"));
        std::vector<QByteArray> before;
        for (const HandTagged& h : sources) before.push_back(FileBytes(w.Path(h.name)));
        w.Run();
        for (size_t i = 0; i < sources.size(); ++i) {
            HandTagged& h = sources[i];
            SCOPED_TRACE(h.name.toStdString());
            const QString result = saveAs ? w.Out(h.name) : w.Path(h.name);
            if (h.refused) {
                EXPECT_EQ(w.Status(static_cast<int>(i) + 1), "更换失败");
                EXPECT_TRUE(FileBytes(w.Path(h.name)) == before[i]);
                continue;
            }
            EXPECT_EQ(w.Status(static_cast<int>(i) + 1), "Ok");
            id3::Tag want = h.tag.major ? Replaced(h.tag, h.covers, h.place, cover)
                                        : id3::Tag{3, 0, {}, {id3::Frame(3, "APIC", id3::Picture(3, "image/jpeg", 3, cover))}, 1024};
            const QByteArray got = FileBytes(result);
            const QByteArray wanted = id3::Bytes(want) + audio + h.after;
            EXPECT_TRUE(got == wanted) << "the result is not the source's tag with the new cover, byte for byte: "
                                       << got.size() << " bytes against " << wanted.size();
            EXPECT_EQ(media::StreamHashes(result), audioHashes);
            if (saveAs) {
                EXPECT_TRUE(FileBytes(w.Path(h.name)) == before[i]);
                continue;
            }
            // The result is the next run's source.
            h.tag = want;
            h.covers = {h.place};
        }
    }
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
    // A tag written by hand, and at the end an APE tag without a header, a
    // Lyrics3 block and an ID3v1 tag.
    const id3::Tag tag{3, 0, {}, {id3::Frame(3, "TIT2", id3::Utf16("讲话")), id3::Frame(3, "TLEN", id3::Text(0, "6000")),
                                  id3::Frame(3, "APIC", id3::Picture(3, "image/png", 0, FileBytes(w.Path("back.png"))))},
                       40};
    const QByteArray ends = media::ApeWithoutHeader("REPLAYGAIN_TRACK_GAIN", "-6.48 dB") + media::Lyrics3v2("一行") +
                            "TAG" + QByteArray("Talk").leftJustified(125, ' ');
    ASSERT_TRUE(media::MakeTaggedMp3(w.Path("audio.mp3"), 6, {4, {}, {}, false, false, false}));
    ASSERT_TRUE(WriteBytes(w.Path("hand.mp3"), id3::Bytes(tag) + FileBytes(w.Path("audio.mp3")) + ends));
    w.AddRow("hand.mp3", w.work.path(), "0", "0", w.Path("cover.jpg"));
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

    // The length frame stays as it was (the README says so).
    EXPECT_EQ(w.Status(2), "Ok");
    const QString hand = w.Path("hand.mp3");
    const QByteArray got = FileBytes(hand);
    const QByteArray wantTag = id3::Bytes(Replaced(tag, {2}, 2, FileBytes(w.Path("cover.jpg"))));
    EXPECT_TRUE(got.startsWith(wantTag));
    EXPECT_TRUE(got.endsWith(ends));
    EXPECT_GT(media::Duration(hand), 1.5);
    EXPECT_LT(media::Duration(hand), 3);
    // ffmpeg takes an APE tag before a Lyrics3 block for audio: the audio
    // between the tags is judged on its own.
    ASSERT_TRUE(WriteBytes(w.Path("between.mp3"), got.mid(wantTag.size(), got.size() - wantTag.size() - ends.size())));
    EXPECT_TRUE(media::DecodesCleanly(w.Path("between.mp3")));
    EXPECT_GT(media::Duration(w.Path("between.mp3")), 1.5);
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
