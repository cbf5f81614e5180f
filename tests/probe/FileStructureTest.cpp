// Container layouts of files written by ffmpeg, whole and cut off.
#include "probe/FileStructure.h"
#include "support/Media.h"
#include "support/TaggedMp3.h"
#include "support/CameraBoxes.h"

#include <QProcess>

#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include <unistd.h>

namespace {

const QStringList kVideo{"-f", "lavfi", "-i", "testsrc=size=160x120:rate=25:duration=2", "-f", "lavfi", "-i",
                         "sine=duration=2", "-c:v", "libx264", "-preset", "ultrafast", "-c:a", "aac", "-shortest"};

QByteArray bytesOf(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeBytes(const QString& path, const QByteArray& b) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(b) == b.size();
}

struct Files : ::testing::Test {
    QTemporaryDir dir;
    QString Path(const QString& n) const { return dir.filePath(n); }
    // A copy of `from` cut to `size` bytes (negative: that many fewer).
    QString Cut(const QString& from, long long size, const QString& name) {
        QByteArray b = bytesOf(from);
        b.truncate(static_cast<int>(size < 0 ? b.size() + size : size));
        EXPECT_TRUE(writeBytes(Path(name), b));
        return Path(name);
    }
};

}  // namespace

TEST_F(Files, Mp4CompleteOnlyWhenEveryBoxIsThereAndCoversCounted) {
    ASSERT_TRUE(media::Ffmpeg(kVideo + QStringList{Path("plain.mp4")}));
    ASSERT_TRUE(media::MakePicture(Path("c.png"), 32, 24));
    ASSERT_TRUE(media::Ffmpeg({"-i", Path("plain.mp4"), "-i", Path("c.png"), "-map", "1", "-map", "0", "-c", "copy",
                               "-disposition:0", "attached_pic", Path("cover.mp4")}));
    const probe::Mp4Layout plain = probe::ReadMp4Layout(Path("plain.mp4"));
    EXPECT_TRUE(plain.complete);
    EXPECT_EQ(plain.covers, 0);
    const probe::Mp4Layout cover = probe::ReadMp4Layout(Path("cover.mp4"));
    EXPECT_TRUE(cover.complete);
    EXPECT_EQ(cover.covers, 1);
    // Written as QuickTime by the MP4 writer: the same layout.
    ASSERT_TRUE(media::Ffmpeg({"-i", Path("cover.mp4"), "-map", "0", "-c", "copy", "-f", "mp4", "-brand", "qt  ",
                               Path("cover.mov")}));
    EXPECT_EQ(probe::ReadMp4Layout(Path("cover.mov")).covers, 1);
    EXPECT_TRUE(probe::ReadMp4Layout(Path("cover.mov")).complete);

    const long long size = bytesOf(Path("cover.mp4")).size();
    for (const long long at : {0LL, 7LL, 30LL, size / 3, size / 2, size - 200, size - 1}) {
        SCOPED_TRACE(at);
        const probe::Mp4Layout cut = probe::ReadMp4Layout(Cut(Path("cover.mp4"), at, "cut.mp4"));
        EXPECT_FALSE(cut.complete);
    }
    // Bytes after the last box, and a file without its movie box.
    QByteArray tail = bytesOf(Path("cover.mp4"));
    ASSERT_TRUE(writeBytes(Path("tail.mp4"), tail + "junk"));
    EXPECT_FALSE(probe::ReadMp4Layout(Path("tail.mp4")).complete);
    ASSERT_TRUE(writeBytes(Path("free.mp4"), QByteArray("\0\0\0\x10" "free" "12345678", 16)));
    EXPECT_FALSE(probe::ReadMp4Layout(Path("free.mp4")).complete);
    // A box that claims more than the file holds.
    ASSERT_TRUE(writeBytes(Path("huge.mp4"), QByteArray("\0\0\0\x01" "moov" "\x7f\xff\xff\xff\xff\xff\xff\xff", 16)));
    EXPECT_FALSE(probe::ReadMp4Layout(Path("huge.mp4")).complete);
    EXPECT_FALSE(probe::ReadMp4Layout(Path("none.mp4")).readable);
}

TEST_F(Files, MatroskaSegmentMustFillTheFileAndAttachmentsAreListed) {
    QFile font(Path("f.ttf"));
    ASSERT_TRUE(font.open(QIODevice::WriteOnly));
    font.write(QByteArray(1234, 'F'));
    font.close();
    ASSERT_TRUE(media::MakePicture(Path("c.jpg"), 32, 24));
    ASSERT_TRUE(media::Ffmpeg(kVideo + QStringList{"-attach", Path("f.ttf"), "-metadata:s:t:0",
                                                   "mimetype=application/x-truetype-font", "-attach", Path("c.jpg"),
                                                   "-metadata:s:t:1", "mimetype=image/jpeg", "-metadata:s:t:1",
                                                   "filename=封面 cover.jpg", Path("a.mkv")}));
    const probe::MatroskaLayout m = probe::ReadMatroskaLayout(Path("a.mkv"));
    EXPECT_TRUE(m.complete);
    ASSERT_EQ(m.attachments.size(), 2u);
    EXPECT_EQ(m.attachments[0].name, "f.ttf");
    EXPECT_EQ(m.attachments[0].mime, "application/x-truetype-font");
    EXPECT_EQ(m.attachments[0].dataSize, 1234);
    EXPECT_EQ(bytesOf(Path("a.mkv")).mid(static_cast<int>(m.attachments[0].dataOffset), 1234), QByteArray(1234, 'F'));
    EXPECT_EQ(m.attachments[1].name, "封面 cover.jpg");
    EXPECT_EQ(m.attachments[1].mime, "image/jpeg");

    const long long size = bytesOf(Path("a.mkv")).size();
    for (const long long at : {3LL, 40LL, size / 2, size - 1}) {
        SCOPED_TRACE(at);
        EXPECT_FALSE(probe::ReadMatroskaLayout(Cut(Path("a.mkv"), at, "cut.mkv")).complete);
    }
    QByteArray more = bytesOf(Path("a.mkv"));
    ASSERT_TRUE(writeBytes(Path("more.mkv"), more + QByteArray(10, '\0')));
    EXPECT_FALSE(probe::ReadMatroskaLayout(Path("more.mkv")).complete);
    // A live file never states its segment's size.
    ASSERT_TRUE(media::Ffmpeg(kVideo + QStringList{"-live", "1", "-f", "matroska", Path("live.mkv")}));
    EXPECT_FALSE(probe::ReadMatroskaLayout(Path("live.mkv")).complete);
    EXPECT_FALSE(probe::ReadMatroskaLayout(Path("a.mp4")).readable);
}

TEST_F(Files, Mp3FramesTagsAndHeaderFrame) {
    const QStringList tone{"-f", "lavfi", "-i", "sine=duration=2", "-c:a", "libmp3lame", "-b:a", "64k"};
    ASSERT_TRUE(media::Ffmpeg(tone + QStringList{"-write_xing", "0", Path("plain.mp3")}));
    ASSERT_TRUE(media::Ffmpeg(tone + QStringList{"-write_id3v1", "1", "-metadata", "title=t", Path("tagged.mp3")}));
    const probe::Mp3Layout plain = probe::ReadMp3Layout(Path("plain.mp3"));
    EXPECT_FALSE(plain.vbrHeader);
    EXPECT_FALSE(plain.id3v1);
    EXPECT_EQ(plain.partialTail, 0);
    // 2 s at 44.1 kHz in frames of 1152 samples, plus the encoder's delay.
    EXPECT_GE(plain.frames, 77);
    EXPECT_LE(plain.frames, 80);
    const probe::Mp3Layout tagged = probe::ReadMp3Layout(Path("tagged.mp3"));
    EXPECT_TRUE(tagged.vbrHeader);
    EXPECT_TRUE(tagged.id3v1);
    EXPECT_TRUE(tagged.id3v2);
    EXPECT_EQ(tagged.frames, plain.frames);  // the header frame is not audio

    ASSERT_TRUE(media::MakePicture(Path("c.png"), 32, 24));
    ASSERT_TRUE(media::Ffmpeg({"-i", Path("plain.mp3"), "-i", Path("c.png"), "-map", "0:0", "-map", "1:0", "-c", "copy",
                               "-id3v2_version", "3", "-metadata:s:v:0", "comment=Cover (front)", "-write_xing", "0",
                               Path("front.mp3")}));
    const probe::Mp3Layout front = probe::ReadMp3Layout(Path("front.mp3"));
    ASSERT_TRUE(front.tag.walkable);
    EXPECT_EQ(probe::CoverFrames(front.tag), std::vector<size_t>{1});  // after the encoder's TSSE
    EXPECT_EQ(probe::PictureOf(front.tag, front.tag.frames[1]).type, 3);
    EXPECT_EQ(front.frames, plain.frames);

    // Cut inside the last frame, and at a frame's end.
    const probe::Mp3Layout cut = probe::ReadMp3Layout(Cut(Path("plain.mp3"), -50, "cut.mp3"));
    EXPECT_EQ(cut.frames, plain.frames - 1);
    EXPECT_GT(cut.partialTail, 0);
    ASSERT_TRUE(writeBytes(Path("noise.mp3"), QByteArray(5000, '\x11')));
    EXPECT_EQ(probe::ReadMp3Layout(Path("noise.mp3")).frames, 0);
}

TEST_F(Files, Mp3TagsAtTheEndAndFilesCutInsideThem) {
    // The same audio by lame, bare and with ID3v2, APE and ID3v1 tags.
    ASSERT_TRUE(media::MakeTaggedMp3(Path("bare.mp3"), 2, {4, {}, {}, false, false, false}));
    ASSERT_TRUE(media::MakeTaggedMp3(Path("tags.mp3"), 2));
    const probe::Mp3Layout bare = probe::ReadMp3Layout(Path("bare.mp3"));
    EXPECT_FALSE(bare.id3v2 || bare.ape || bare.id3v1);
    EXPECT_TRUE(bare.vbrHeader);
    EXPECT_EQ(bare.audioStart, 0);
    EXPECT_EQ(bare.trailingStart, bare.size);
    const probe::Mp3Layout tags = probe::ReadMp3Layout(Path("tags.mp3"));
    EXPECT_TRUE(tags.id3v2 && tags.ape && tags.id3v1 && tags.tagsWhole);
    EXPECT_EQ(tags.id3v2Tags, 1);
    EXPECT_EQ(tags.frames, bare.frames);
    EXPECT_EQ(tags.partialTail, 0);
    EXPECT_EQ(tags.trailingStart - tags.audioStart, bare.size);
    EXPECT_EQ(tags.audioCrc, bare.audioCrc);
    const QByteArray whole = bytesOf(Path("tags.mp3"));
    EXPECT_EQ(tags.size, whole.size());
    const long long apeAt = whole.lastIndexOf("APETAGEX", whole.size() - 128 - 33);  // its header
    EXPECT_EQ(tags.trailingStart, apeAt);

    // Cut inside the APE tag: once its header is there, it is seen cut off;
    // with less of it, there is no APE tag at all (a read-back then misses
    // it). Cut inside the ID3v1 tag, the APE tag is whole but the ID3v1 gone.
    for (const long long at : {apeAt + 40, (apeAt + whole.size() - 128) / 2, whole.size() - 129}) {
        SCOPED_TRACE(at);
        EXPECT_FALSE(probe::ReadMp3Layout(Cut(Path("tags.mp3"), at, "cut.mp3")).tagsWhole);
    }
    const probe::Mp3Layout headless = probe::ReadMp3Layout(Cut(Path("tags.mp3"), apeAt + 5, "cut.mp3"));
    EXPECT_FALSE(headless.ape);
    EXPECT_EQ(headless.frames, bare.frames);
    const probe::Mp3Layout noV1 = probe::ReadMp3Layout(Cut(Path("tags.mp3"), whole.size() - 50, "cut.mp3"));
    EXPECT_TRUE(noV1.ape && noV1.tagsWhole);
    EXPECT_FALSE(noV1.id3v1);
    EXPECT_EQ(noV1.frames, bare.frames);

    // An ID3v2 tag after the audio, without and with a footer, whole and cut:
    // a tag at the end either way.
    const QByteArray tag = whole.left(static_cast<int>(tags.audioStart));
    QByteArray footed = tag;
    footed[5] = static_cast<char>(footed[5] | 0x10);
    footed += "3DI" + footed.mid(3, 7);
    const QByteArray audio = bytesOf(Path("bare.mp3"));
    for (const QByteArray& end : {tag, footed}) {
        SCOPED_TRACE(end.size() - tag.size());
        ASSERT_TRUE(writeBytes(Path("end.mp3"), audio + end));
        const probe::Mp3Layout l = probe::ReadMp3Layout(Path("end.mp3"));
        EXPECT_TRUE(l.tagsWhole);
        EXPECT_FALSE(l.id3v2);
        EXPECT_EQ(l.frames, bare.frames);
        EXPECT_EQ(l.partialTail, 0);
        EXPECT_EQ(l.trailingStart, audio.size());
        EXPECT_EQ(l.audioCrc, bare.audioCrc);
        for (const long long at : {audio.size() + 12LL, audio.size() + end.size() / 2LL, audio.size() + end.size() - 1LL}) {
            SCOPED_TRACE(at);
            EXPECT_FALSE(probe::ReadMp3Layout(Cut(Path("end.mp3"), at, "cut.mp3")).tagsWhole);
        }
    }

    // Lyrics3 blocks (version 2 with its size, version 1 by its words) among
    // an APE tag without a header and an ID3v1 tag are tags, not audio.
    const QByteArray ape = media::ApeWithoutHeader("TITLE", "Song");
    const QByteArray v2 = media::Lyrics3v2("a line");
    const QByteArray v1 = "LYRICSBEGINa line\r\nanother lineLYRICSEND";
    const QByteArray id3v1 = "TAG" + QByteArray(125, ' ');
    for (const QByteArray& end : {ape + v2 + id3v1, v2 + ape + id3v1, ape + v1 + id3v1, v2}) {
        SCOPED_TRACE(end.left(12).toStdString());
        ASSERT_TRUE(writeBytes(Path("end.mp3"), audio + end));
        const probe::Mp3Layout l = probe::ReadMp3Layout(Path("end.mp3"));
        EXPECT_TRUE(l.tagsWhole);
        EXPECT_EQ(l.frames, bare.frames);
        EXPECT_EQ(l.trailingStart, audio.size());
        EXPECT_EQ(l.audioCrc, bare.audioCrc);
        EXPECT_EQ(l.ape, end.contains("APETAGEX"));
    }
}

TEST_F(Files, AnMp3ShortenedWhileItIsReadIsNeverAFault) {
    ASSERT_TRUE(media::Ffmpeg({"-f", "lavfi", "-i", "sine=duration=60", "-c:a", "libmp3lame", "-b:a", "320k",
                               Path("long.mp3")}));
    const QByteArray whole = bytesOf(Path("long.mp3"));
    const probe::Mp3Layout full = probe::ReadMp3Layout(Path("long.mp3"));
    ASSERT_TRUE(full.readable);
    ASSERT_GT(full.size, 2 << 20);
    // Another program cuts the file to a third and writes it again, over and
    // over: every byte there is to read is the file's own.
    std::atomic<bool> done{false};
    std::thread other([&] {
        const QByteArray name = QFile::encodeName(Path("long.mp3"));
        for (int i = 0; i < 200; ++i) {
            EXPECT_EQ(::truncate(name.constData(), whole.size() / 3), 0);
            EXPECT_TRUE(writeBytes(Path("long.mp3"), whole));
        }
        done = true;
    });
    int reads = 0;
    while (!done) {
        const probe::Mp3Layout l = probe::ReadMp3Layout(Path("long.mp3"));
        ++reads;
        if (l.readable && l.size == full.size) {
            EXPECT_EQ(l.audioCrc, full.audioCrc);
            EXPECT_EQ(l.frames, full.frames);
        }
    }
    other.join();
    EXPECT_GT(reads, 0);
}

// ID3v2 tags as taggers write them, walked frame by frame.
TEST(Id3v2, EveryFrameIsFoundAsBytesOrTheTagIsNotWalkable) {
    namespace id3 = media::id3;
    const QByteArray title = id3::Frame(3, "TIT2", id3::Utf16("歌")), year = id3::Frame(3, "TYER", id3::Utf16("2019"));
    const QByteArray empty = id3::Frame(3, "TPE2", {}), odd = id3::Frame(3, "x!z1", "what");
    struct Case {
        const char* what;
        QByteArray tag;
        QList<QByteArray> frames;  // empty: not walkable
    };
    const QByteArray ext = id3::Extended23(8, true, title + year);
    // A frame whose last byte is 0xFF just before the padding, and one with
    // a false sync inside: both change under unsynchronisation.
    const QByteArray ff = id3::Frame(3, "TXXX", QByteArray("\0a\0\xFF", 4)), sync = id3::Frame(3, "PRIV", "x\xFF\xE2y");
    // 256 written as a plain number, which read as syncsafe is 128.
    QByteArray plainSizes = id3::Bytes({4, 0, {}, {id3::Frame(4, "TIT2", QByteArray(256, 'a')), title}, 0});
    plainSizes.replace(10 + 4, 4, QByteArray("\0\0\x01\0", 4));
    const std::vector<Case> cases{
        {"v2.3", id3::Bytes({3, 0, {}, {title, year}, 30}), {title, year}},
        {"v2.3 extended header", id3::Bytes({3, 0x40, ext, {title, year}, 8}), {title, year}},
        {"empty frame and odd id", id3::Bytes({3, 0, {}, {title, empty, odd, year}, 4}), {title, empty, odd, year}},
        {"v2.4 footer, no padding", id3::Bytes({4, 0x10, {}, {id3::Frame(4, "TRCK", id3::Text(0, "7"))}, 0}),
         {id3::Frame(4, "TRCK", id3::Text(0, "7"))}},
        {"v2.2", id3::Bytes({2, 0, {}, {id3::Frame(2, "TT2", id3::Text(0, "t")), id3::Frame(2, "TP1", "")}, 5}),
         {id3::Frame(2, "TT2", id3::Text(0, "t")), id3::Frame(2, "TP1", "")}},
        {"unsynchronised", id3::Bytes({3, 0x80, {}, {sync, ff}, 6}), {sync, ff}},
        {"v2.4 plain sizes", plainSizes, {}},
        {"frame past the tag", id3::Bytes({3, 0, {}, {title, title.left(title.size() - 2)}, 0}), {}},
        {"bytes before the padding", id3::Bytes({3, 0, {}, {title, "\x01\x02"}, 20}), {}},
        {"a header cut short", id3::Bytes({3, 0, {}, {title, "TIT2\0\0"}, 0}), {}},
        {"compressed v2.2 tag", id3::Bytes({2, 0x40, {}, {id3::Frame(2, "TT2", "t")}, 0}), {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const probe::Id3Tag t = probe::ReadId3v2(c.tag);
        ASSERT_TRUE(t.found);
        if (QString(c.what) == "v2.4 plain sizes") {
            ASSERT_TRUE(t.walkable);
            ASSERT_EQ(t.frames.size(), 2u);
            EXPECT_EQ(t.frames[1].bytes, title);
            continue;
        }
        EXPECT_EQ(t.walkable, !c.frames.isEmpty());
        if (c.frames.isEmpty()) continue;
        QList<QByteArray> got;
        QByteArray stored;
        for (const probe::Id3Frame& f : t.frames) {
            got << f.bytes;
            stored += c.tag.mid(static_cast<int>(f.at), static_cast<int>(f.length));
        }
        EXPECT_EQ(got, c.frames);
        // The stored pieces and the padding are the whole body, in order.
        const long long from = t.frames.front().at;
        const int footer = t.hasFooter() ? 10 : 0;
        EXPECT_EQ(stored, c.tag.mid(static_cast<int>(from), c.tag.size() - footer - static_cast<int>(from + t.padding)));
        EXPECT_EQ(c.tag.mid(c.tag.size() - footer - static_cast<int>(t.padding), static_cast<int>(t.padding)),
                  QByteArray(static_cast<int>(t.padding), '\0'));
    }
    EXPECT_FALSE(probe::ReadId3v2("ID3\x05\0\0\0\0\0\0").found);
    EXPECT_FALSE(probe::ReadId3v2(id3::Bytes({3, 0, {}, {title}, 0}) + "x").found);  // not the tag's length
}

TEST(Id3v2, PicturesAndWhichOfThemAreTheCover) {
    namespace id3 = media::id3;
    const QByteArray jpeg("\xFF\xD8\xFF\xE0 picture", 12);
    const auto compress = [](const QByteArray& b) { return qCompress(b).mid(4); };  // zlib, without Qt's length
    const QByteArray body = id3::Picture(3, "image/jpeg", 3, jpeg);
    const QByteArray size4(QByteArray("\0\0\0", 3) + char(body.size()));
    const QByteArray utf16 = QByteArray("\x01image/png\0\x03\xFF\xFEx\0\0\0", 18) + jpeg;
    const QByteArray dli(QByteArray("\0\0\0", 3) + char(body.size()));
    struct Case {
        const char* what;
        int major;
        QList<QByteArray> frames;
        std::vector<size_t> covers;
    };
    const std::vector<Case> cases{
        {"front covers", 3,
         {id3::Frame(3, "APIC", id3::Picture(3, "image/png", 4, "b")), id3::Frame(3, "APIC", body),
          id3::Frame(3, "TIT2", "\0t"), id3::Frame(3, "APIC", utf16)},
         {1, 3}},
        {"the first 'other'", 3,
         {id3::Frame(3, "APIC", id3::Picture(3, "image/png", 4, "b")), id3::Frame(3, "APIC", id3::Picture(3, "image/png", 0, "o")),
          id3::Frame(3, "APIC", id3::Picture(3, "image/png", 0, "p"))},
         {1}},
        {"compressed", 3, {id3::Frame(3, "APIC", size4 + compress(body), 0x0080)}, {0}},
        {"v2.4 compressed, unsynchronised", 4,
         {id3::Frame(4, "APIC", dli + probe::Unsynchronise(compress(body)), 0x000B)}, {0}},
        {"v2.4 grouped", 4, {id3::Frame(4, "APIC", "g" + body, 0x0040)}, {0}},
        {"encrypted", 3, {id3::Frame(3, "APIC", "e" + body, 0x0040)}, {}},
        {"v2.2", 2, {id3::Frame(2, "PIC", id3::Picture(2, "JPG", 3, jpeg))}, {0}},
        {"none", 3, {id3::Frame(3, "TIT2", "\0t")}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const probe::Id3Tag t = probe::ReadId3v2(id3::Bytes({c.major, 0, {}, c.frames, 0}));
        ASSERT_TRUE(t.walkable);
        EXPECT_EQ(probe::CoverFrames(t), c.covers);
        if (c.covers.empty()) continue;
        const probe::Id3Picture p = probe::PictureOf(t, t.frames[c.covers.back()]);
        EXPECT_TRUE(p.readable);
        EXPECT_EQ(p.data, QString(c.what) == "the first 'other'" ? QByteArray("o") : jpeg);
    }
}

TEST_F(Files, TheVideoTracksTimeBaseAndDecoderConfiguration) {
    const QStringList phone{"-f", "lavfi", "-i", "testsrc=size=160x120:rate=30:duration=1", "-f", "lavfi", "-i",
                            "sine=duration=1", "-c:v", "libx264", "-preset", "ultrafast", "-c:a", "aac"};
    // Audio first: the video track is found by its handler, not its place.
    ASSERT_TRUE(media::Ffmpeg(phone + QStringList{"-map", "1", "-map", "0", "-video_track_timescale", "90000",
                                                  Path("phone.mp4")}));
    ASSERT_TRUE(media::Ffmpeg(phone + QStringList{Path("clip.mov")}));
    ASSERT_TRUE(media::Ffmpeg(phone + QStringList{Path("clip.mkv")}));
    const probe::VideoTrack mp4 = probe::ReadMp4Layout(Path("phone.mp4")).video;
    ASSERT_TRUE(mp4.found);
    EXPECT_EQ(mp4.timescale, 90000);
    ASSERT_GT(mp4.config.size(), 7);
    EXPECT_EQ(mp4.config.at(0), 1);  // an avcC record
    const probe::VideoTrack mov = probe::ReadMp4Layout(Path("clip.mov")).video;
    // The writer's own choice for 30 frames a second, as ffprobe reads it.
    const QJsonObject stream = media::Probe(Path("clip.mov")).value("streams").toArray().at(0).toObject();
    EXPECT_EQ("1/" + QString::number(mov.timescale), stream.value("time_base").toString());
    EXPECT_EQ(mov.config, mp4.config);
    const probe::VideoTrack mkv = probe::ReadMatroskaLayout(Path("clip.mkv")).video;
    ASSERT_TRUE(mkv.found);
    EXPECT_EQ(mkv.config, mp4.config);  // CodecPrivate holds the same record
    ASSERT_TRUE(media::MakeMp3(Path("tone.mp3"), 1));
    ASSERT_TRUE(media::Ffmpeg({"-i", Path("tone.mp3"), "-c:a", "aac", Path("tone.m4a")}));
    EXPECT_FALSE(probe::ReadMp4Layout(Path("tone.m4a")).video.found);
}

namespace {

uint32_t be32At(const QByteArray& b, long long at) {
    const auto* u = reinterpret_cast<const unsigned char*>(b.constData() + at);
    return (uint32_t(u[0]) << 24) | (uint32_t(u[1]) << 16) | (uint32_t(u[2]) << 8) | uint32_t(u[3]);
}

// Where each top-level box of an MP4 starts, by type.
std::vector<std::pair<QByteArray, long long>> topBoxes(const QByteArray& b) {
    std::vector<std::pair<QByteArray, long long>> boxes;
    for (long long at = 0; at + 8 <= b.size() && be32At(b, at) >= 8; at += be32At(b, at))
        boxes.emplace_back(b.mid(static_cast<int>(at) + 4, 4), at);
    return boxes;
}

// kVideo with the chapters of `meta` (ffmpeg's metadata file) and a creation
// date.
QStringList datedVideo(const QString& meta) {
    QStringList args = kVideo;
    const int codecs = static_cast<int>(args.indexOf("-c:v"));
    const QStringList inputs{"-f", "ffmetadata", "-i", meta};
    for (int i = 0; i < inputs.size(); ++i) args.insert(codecs + i, inputs[i]);
    return args << "-map" << "0" << "-map" << "1" << "-map_chapters" << "2" << "-metadata"
                << "creation_time=2021-05-06T07:08:09Z";
}

// Two chapters and a title for ffmpeg's metadata input.
const char* kChapters =
    ";FFMETADATA1\ntitle=Film\n[CHAPTER]\nTIMEBASE=1/1000\nSTART=0\nEND=1000\ntitle=One\n"
    "[CHAPTER]\nTIMEBASE=1/1000\nSTART=1000\nEND=2000\ntitle=Two\n";

}  // namespace

TEST_F(Files, Mp4DateChaptersAndTheTracksTheWriterMakesAnew) {
    ASSERT_TRUE(writeBytes(Path("meta.txt"), kChapters));
    ASSERT_TRUE(media::Ffmpeg(datedVideo(Path("meta.txt")) + QStringList{"-movflags", "+faststart", Path("fast.mp4")}));
    ASSERT_TRUE(media::Ffmpeg(kVideo + QStringList{"-timecode", "01:02:03:04", Path("tc.mov")}));
    const probe::Mp4Layout fast = probe::ReadMp4Layout(Path("fast.mp4"));
    EXPECT_TRUE(fast.complete);
    EXPECT_TRUE(fast.moovFirst);
    EXPECT_EQ(fast.creationTime, 1620284889);
    EXPECT_EQ(fast.chapters, 2);
    EXPECT_EQ(fast.chapterTracks, std::vector<int>{2});  // after the video and the sound
    EXPECT_TRUE(fast.timecodeTracks.empty());
    const probe::Mp4Layout tc = probe::ReadMp4Layout(Path("tc.mov"));
    EXPECT_TRUE(tc.complete);
    EXPECT_FALSE(tc.moovFirst);
    EXPECT_EQ(tc.creationTime, 0);
    EXPECT_EQ(tc.chapters, 0);
    EXPECT_TRUE(tc.chapterTracks.empty());
    EXPECT_EQ(tc.timecodeTracks, std::vector<int>{2});

    // Cut right after the leading movie box, or inside the media after it:
    // the boxes chain, the media is missing.
    const QByteArray bytes = bytesOf(Path("fast.mp4"));
    long long moovEnd = 0;
    for (const auto& [type, at] : topBoxes(bytes))
        if (type == "moov") moovEnd = at + be32At(bytes, at);
    ASSERT_GT(moovEnd, 0);
    for (const long long at : {moovEnd, moovEnd + 8, moovEnd + 100}) {
        SCOPED_TRACE(at);
        EXPECT_FALSE(probe::ReadMp4Layout(Cut(Path("fast.mp4"), at, "cut.mp4")).complete);
    }
    // An empty media box of the right size where the media was.
    QByteArray hollow = bytes.left(static_cast<int>(moovEnd));
    hollow += QByteArray("\0\0\0\x08" "mdat", 8);
    ASSERT_TRUE(writeBytes(Path("hollow.mp4"), hollow));
    EXPECT_FALSE(probe::ReadMp4Layout(Path("hollow.mp4")).complete);
}

TEST_F(Files, AFragmentedMp4IsWholeOnlyWithEveryFragmentItsIndexLists) {
    ASSERT_TRUE(media::Ffmpeg(kVideo + QStringList{"-movflags", "frag_keyframe", "-frag_duration", "400000",
                                                   "-g", "10", Path("frag.mp4")}));
    EXPECT_TRUE(probe::ReadMp4Layout(Path("frag.mp4")).complete);
    const QByteArray bytes = bytesOf(Path("frag.mp4"));
    std::vector<long long> cuts;  // at a fragment's start, and before the index
    for (const auto& [type, at] : topBoxes(bytes))
        if (type == "moof" || type == "mfra") cuts.push_back(at);
    ASSERT_GE(cuts.size(), 3u);
    for (const long long at : cuts) {
        SCOPED_TRACE(at);
        EXPECT_FALSE(probe::ReadMp4Layout(Cut(Path("frag.mp4"), at, "cut.mp4")).complete);
    }
    // A fragment taken out of the middle: the index lists a box that is gone.
    const long long first = cuts[0], second = cuts[1];
    QByteArray holed = bytes.left(static_cast<int>(first)) + bytes.mid(static_cast<int>(second));
    ASSERT_TRUE(writeBytes(Path("holed.mp4"), holed));
    EXPECT_FALSE(probe::ReadMp4Layout(Path("holed.mp4")).complete);
}

TEST_F(Files, MatroskaDateAndChapters) {
    ASSERT_TRUE(writeBytes(Path("meta.txt"), kChapters));
    ASSERT_TRUE(media::Ffmpeg(datedVideo(Path("meta.txt")) << Path("dated.mkv")));
    ASSERT_TRUE(media::Ffmpeg(kVideo + QStringList{Path("plain.mkv")}));
    const probe::MatroskaLayout dated = probe::ReadMatroskaLayout(Path("dated.mkv"));
    EXPECT_TRUE(dated.complete);
    EXPECT_TRUE(dated.hasDate);
    EXPECT_EQ(dated.date, 1620284889);
    EXPECT_EQ(dated.chapters, 2);
    const probe::MatroskaLayout plain = probe::ReadMatroskaLayout(Path("plain.mkv"));
    EXPECT_FALSE(plain.hasDate);
    EXPECT_EQ(plain.chapters, 0);
}

TEST_F(Files, Mp4MetadataBoxesByPlaceWithoutTheCover) {
    ASSERT_TRUE(writeBytes(Path("meta.txt"), kChapters));
    ASSERT_TRUE(media::MakePicture(Path("c.png"), 32, 24));
    // A cover and nothing else (no writer's name either).
    ASSERT_TRUE(media::Ffmpeg(kVideo + QStringList{Path("plain.mp4")}));
    ASSERT_TRUE(media::Ffmpeg({"-i", Path("plain.mp4"), "-i", Path("c.png"), "-map", "1", "-map", "0", "-c", "copy",
                               "-disposition:0", "attached_pic", "-map_metadata", "-1", "-fflags", "+bitexact",
                               Path("bare.mp4")}));
    const probe::Mp4Layout bare = probe::ReadMp4Layout(Path("bare.mp4"));
    ASSERT_EQ(bare.covers, 1);
    EXPECT_TRUE(bare.metadata.empty());

    // Chapters (a chapter track and a chapter list), a title, named tracks.
    ASSERT_TRUE(media::Ffmpeg(datedVideo(Path("meta.txt")) << Path("film.mp4")));
    media::MovieExtras names;
    names.trackNames = {"Bild", "Ton", "Kapitel"};
    ASSERT_TRUE(media::AddMovieBoxes(Path("film.mp4"), names));
    const probe::Mp4Layout film = probe::ReadMp4Layout(Path("film.mp4"));
    ASSERT_TRUE(film.complete);
    ASSERT_EQ(film.chapterTracks, std::vector<int>{2});
    QByteArrayList places;
    for (const auto& [place, bytes] : film.metadata) {
        places << place;
        EXPECT_EQ(bytes.mid(4, 4), place == "udta/meta" ? QByteArray() : place.right(4).mid(0, 4)) << place.constData();
    }
    // The chapter track's name goes with the track the writer makes anew.
    EXPECT_EQ(places, (QByteArrayList{"trak v0/udta", "trak a0/udta", "udta/meta", "udta/meta/hdlr",
                                      "udta/meta/ilst/\xa9too", "udta/chpl"}));
    EXPECT_TRUE(film.metadata[0].second.endsWith("Bild"));
}

TEST_F(Files, MatroskaTracksTitleAndTagsByWhatTheyAimAt) {
    ASSERT_TRUE(media::Ffmpeg(kVideo + QStringList{Path("plain.mp4")}));
    ASSERT_TRUE(writeBytes(Path("ch.txt"), "CHAPTER01=00:00:00.000\nCHAPTER01NAME=Eins\n"));
    ASSERT_TRUE(writeBytes(Path("tags.xml"),
                           "<?xml version=\"1.0\"?>\n<Tags><Tag><Targets><TargetTypeValue>70</TargetTypeValue>"
                           "<TargetType>COLLECTION</TargetType></Targets><Simple><Name>ARTIST</Name><String>Jemand"
                           "</String><Simple><Name>URL</Name><String>http://x</String></Simple></Simple></Tag>"
                           "</Tags>\n"));
    ASSERT_TRUE(writeBytes(Path("track.xml"),
                           "<?xml version=\"1.0\"?>\n<Tags><Tag><Targets></Targets><Simple><Name>COMMENT</Name>"
                           "<String>Ton</String><TagLanguage>ger</TagLanguage><DefaultLanguage>0</DefaultLanguage>"
                           "</Simple></Tag></Tags>\n"));
    QProcess mkvmerge;
    mkvmerge.start("mkvmerge", {"-q", "-o", Path("a.mkv"), "--title", "Heimkino", "--chapters", Path("ch.txt"),
                                "--global-tags", Path("tags.xml"), "--disable-track-statistics-tags",
                                "--default-track-flag", "1:0", "--forced-display-flag", "1:1", "--language", "1:ger",
                                "--track-name", "1:Ton", "--hearing-impaired-flag", "1:1", "--tags", "1:" + Path("track.xml"),
                                Path("plain.mp4")});
    ASSERT_TRUE(mkvmerge.waitForFinished(60000));
    ASSERT_EQ(mkvmerge.exitCode(), 0) << mkvmerge.readAll().toStdString();
    const probe::MatroskaLayout m = probe::ReadMatroskaLayout(Path("a.mkv"));
    ASSERT_TRUE(m.complete);
    ASSERT_EQ(m.tracks.size(), 2u);
    const probe::MatroskaTrack& v = m.tracks[0];
    const probe::MatroskaTrack& a = m.tracks[1];
    EXPECT_EQ(v.key + a.key, "v0a0");
    EXPECT_TRUE(v.isDefault && !v.forced && !v.hearingImpaired);
    EXPECT_EQ(v.language, "und");
    EXPECT_TRUE(!a.isDefault && a.forced && a.hearingImpaired && !a.visualImpaired && a.original == -1);
    EXPECT_EQ(a.language, "ger");
    EXPECT_EQ(a.name, "Ton");
    EXPECT_TRUE(m.hasTitle);
    EXPECT_EQ(m.title, "Heimkino");
    QStringList tags = m.tags;
    tags.replaceInStrings(QChar(0x1F), "|");
    tags.replaceInStrings(QChar(0x1E), ">");
    tags.sort();
    EXPECT_EQ(tags, (QStringList{"level 70 COLLECTION|ARTIST>URL|und|1|http://x", "level 70 COLLECTION|ARTIST|und|1|Jemand",
                                 "track a0|COMMENT|ger|0|Ton"}));
}
