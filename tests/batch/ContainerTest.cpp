// Every container the add dialog and the folder scan accept, run in place
// with the real encoder: the kinds that can carry a cover get exactly one by
// their own mechanism, everything else in them unchanged; the others are
// refused and stay byte for byte as they were.
#include "BatchFixture.h"
#include "support/Printing.h"

#include "batch/Containers.h"

#include <QImage>
#include <QJsonDocument>
#include <QProcess>
#include <QRegularExpression>
#include <gtest/gtest.h>

using namespace batch_test;

namespace {

const QStringList kVideo{"-f", "lavfi", "-i", "testsrc=size=320x240:rate=25:duration=2"};
const QStringList kAudio{"-f", "lavfi", "-i", "sine=frequency=440:duration=2"};

struct Kind {
    QString file;
    QStringList encode;  // after the inputs
    bool covered;
    bool matroska = false;
    bool subtitles = false;  // an ASS track and a font
    bool oldCover = false;   // a cover.jpg attachment already
};

// A font of our own: only its bytes matter.
QByteArray fontBytes() {
    QByteArray b("\x00\x01\x00\x00", 4);
    for (int i = 0; i < 3000; ++i) b.append(static_cast<char>((i * 37) & 0xFF));
    return b;
}

bool makeMedia(const QString& folder, const Kind& k) {
    QStringList args = kVideo + kAudio;
    if (k.file.endsWith(".m4a") || k.file.endsWith(".mka")) args = kAudio;
    int inputs = args.count("-i");
    if (k.subtitles) {
        QFile ass(folder + "/s.ass");
        if (!ass.open(QIODevice::WriteOnly)) return false;
        ass.write("[Script Info]\nScriptType: v4.00+\n\n[V4+ Styles]\nFormat: Name, Fontname, Fontsize\n"
                  "Style: Default,Own Font,20\n\n[Events]\nFormat: Layer, Start, End, Style, Text\n"
                  "Dialogue: 0,0:00:00.20,0:00:01.50,Default,你好\n");
        ass.close();
        args << "-i" << folder + "/s.ass";
        ++inputs;
        if (!WriteBytes(folder + "/own.ttf", fontBytes())) return false;
    }
    for (int i = 0; i < inputs; ++i) args << "-map" << QString::number(i);
    args << k.encode << "-shortest";
    int t = 0;
    if (k.subtitles)
        args << "-attach" << folder + "/own.ttf" << QString("-metadata:s:t:%1").arg(t++)
             << "mimetype=application/x-truetype-font";
    if (k.oldCover) {
        if (!PlacePicture(folder + "/old.jpg", "green", 60, 40)) return false;
        args << "-attach" << folder + "/old.jpg" << QString("-metadata:s:t:%1").arg(t) << "mimetype=image/jpeg"
             << QString("-metadata:s:t:%1").arg(t) << "filename=cover.jpg";
    }
    return media::Ffmpeg(args << folder + "/" + k.file);
}

// The colour in the middle of the file's cover picture.
QColor coverColour(const QString& file, const QString& png) {
    for (const auto& s : Streams(file)) {
        const QJsonObject o = s.toObject();
        if (o.value("disposition").toObject().value("attached_pic").toInt() != 1) continue;
        QFile::remove(png);
        if (!media::Ffmpeg({"-i", file, "-map", QString("0:%1").arg(o.value("index").toInt()), "-frames:v", "1", png}))
            return {};
        const QImage img(png);
        return img.isNull() ? QColor() : img.pixelColor(img.width() / 2, img.height() / 2);
    }
    return {};
}

// Covers by the container's own mechanism.
int coversOf(const QString& file, bool matroska) {
    if (!matroska) return media::CountAttachedPictures(file);
    int n = 0;
    for (const auto& a : media::Attachments(file)) n += a.mime.startsWith("image/");
    return n;
}

// The JSON a tool prints about a file; empty when it fails.
QJsonObject JsonOf(const QString& program, const QStringList& args) {
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() > 1) return {};
    return QJsonDocument::fromJson(p.readAllStandardOutput()).object();
}

QString Ffprobe() {
    const QString ff = QStringLiteral(PLINDOR_FFMPEG);
    return ff.left(ff.lastIndexOf('/') + 1) + "ffprobe";
}

// What a run must leave of a file besides its cover: the file's and every
// real stream's tags (without what the writer stamps itself), the streams'
// kinds and dispositions, the chapters with their times and titles, and each
// stream's packets.
struct Kept {
    QJsonObject formatTags;
    QJsonArray streams, chapters;
    QStringList hashes;
    bool operator==(const Kept& o) const {
        return formatTags == o.formatTags && streams == o.streams && chapters == o.chapters && hashes == o.hashes;
    }
};

Kept KeptOf(const QString& path) {
    // The writer's name, brands and vendor, and each Matroska track's
    // length, which the writer states anew. A language of "und" says no more
    // than none.
    static const QStringList stamped{"encoder", "major_brand", "minor_version", "compatible_brands", "vendor_id",
                                     "ENCODER", "MAJOR_BRAND", "MINOR_VERSION", "COMPATIBLE_BRANDS", "DURATION"};
    const auto unstamped = [](QJsonObject tags) {
        for (const QString& k : stamped) tags.remove(k);
        if (tags.value("language") == "und") tags.remove("language");
        return tags;
    };
    const QJsonObject all = JsonOf(Ffprobe(), {"-v", "error", "-print_format", "json", "-show_streams", "-show_format",
                                               "-show_chapters", path});
    Kept k;
    k.formatTags = unstamped(all.value("format").toObject().value("tags").toObject());
    k.formatTags.remove("timecode");
    for (const auto& v : all.value("streams").toArray()) {
        QJsonObject s = v.toObject();
        if (s.value("disposition").toObject().value("attached_pic").toInt() == 1) continue;
        // A cover attachment comes and goes; the others are compared with ffprobe's attachment list.
        if (s.value("codec_type").toString() == "attachment") continue;
        QJsonObject tags = unstamped(s.value("tags").toObject());
        // The writer makes a timecode track anew from the video's timecode,
        // named after the video's handler; the reader then also states that
        // timecode for the whole file.
        if (s.value("codec_tag_string") == "tmcd") tags.remove("handler_name");
        k.streams.append(QJsonObject{{"type", s.value("codec_type")},
                                     {"tag", s.value("codec_tag_string")},
                                     {"disposition", s.value("disposition")},
                                     {"tags", tags}});
    }
    k.chapters = all.value("chapters").toArray();
    k.hashes = media::StreamHashes(path);
    return k;
}

std::string Shown(const Kept& k) {
    return QJsonDocument(QJsonObject{{"format", k.formatTags}, {"streams", k.streams}, {"chapters", k.chapters}})
               .toJson(QJsonDocument::Compact)
               .toStdString() +
           " " + k.hashes.join(" ").toStdString();
}

// Whether the file's movie box comes before its media.
bool MoovFirst(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return false;
    const QByteArray b = f.readAll();
    for (long long at = 0; at + 8 <= b.size();) {
        const auto* u = reinterpret_cast<const unsigned char*>(b.constData() + at);
        const long long size = (static_cast<long long>(u[0]) << 24) | (u[1] << 16) | (u[2] << 8) | u[3];
        const QByteArray type = b.mid(static_cast<int>(at) + 4, 4);
        if (type == "moov") return true;
        if (type == "mdat" || size < 8) return false;
        at += size;
    }
    return false;
}

// mkvmerge's view of a Matroska file without what changes with every write
// (its unique ids, the writing programs) and without the cover attachment;
// the tags are compared as ffprobe reads them, without the writer's own.
QJsonObject MkvmergeView(const QString& path) {
    QJsonObject all = JsonOf("mkvmerge", {"-J", path});
    QJsonObject props = all.value("container").toObject().value("properties").toObject();
    for (const char* k : {"segment_uid", "muxing_application", "writing_application"}) props.remove(k);
    QJsonArray tracks;
    for (const auto& t : all.value("tracks").toArray()) {
        const QJsonObject p = t.toObject().value("properties").toObject();
        QJsonObject kept;
        for (const char* k : {"language", "track_name", "default_track", "forced_track", "enabled_track", "codec_id"})
            kept.insert(k, p.value(k));
        tracks.append(QJsonObject{{"type", t.toObject().value("type")}, {"properties", kept}});
    }
    QJsonArray attachments;
    for (const auto& a : all.value("attachments").toArray()) {
        const QJsonObject o = a.toObject();
        if (container::IsCoverAttachmentName(o.value("file_name").toString())) continue;
        attachments.append(QJsonObject{{"name", o.value("file_name")}, {"type", o.value("content_type")},
                                       {"size", o.value("size")}});
    }
    return QJsonObject{{"date_utc", props.value("date_utc")}, {"title", props.value("title")},
                       {"chapters", all.value("chapters")},
                       {"tracks", tracks}, {"attachments", attachments}};
}

}  // namespace

TEST(Containers, EachKindGetsOneCoverByItsOwnMechanismOrIsLeftAlone) {
    const std::vector<Kind> kinds{
        {"a.mp4", {"-c:v", "libx264", "-preset", "ultrafast", "-c:a", "aac"}, true},
        {"b.m4a", {"-c:a", "aac"}, true},
        {"c.mov", {"-c:v", "libx264", "-preset", "ultrafast", "-c:a", "aac"}, true},
        {"d.mkv", {"-c:v", "libx264", "-preset", "ultrafast", "-c:a", "aac", "-c:s", "ass"}, true, true, true},
        {"e.mkv", {"-c:v", "libx264", "-preset", "ultrafast", "-c:a", "aac", "-c:s", "ass"}, true, true, true, true},
        {"f.mka", {"-c:a", "libvorbis"}, true, true},
        {"g.avi", {"-c:v", "mpeg4", "-c:a", "libmp3lame"}, false},
        {"h.wmv", {"-c:v", "wmv2", "-c:a", "wmav2"}, false},
        {"i.mpg", {"-c:v", "mpeg2video", "-c:a", "mp2"}, false},
        {"j.flv", {"-c:v", "flv", "-c:a", "libmp3lame", "-ar", "44100"}, false},
        {"k.ogg", {"-c:v", "libtheora", "-c:a", "libvorbis"}, false},
        {"l.ts", {"-c:v", "libx264", "-preset", "ultrafast", "-c:a", "aac"}, false},
    };
    BatchWindow w(true);
    ASSERT_TRUE(w.loaded);
    ASSERT_TRUE(w.CoverForAll(false, "cover.png", "red", 80, 60));
    std::map<QString, QStringList> hashes;
    std::map<QString, QString> sums;
    int covered = 0;
    for (const Kind& k : kinds) {
        ASSERT_TRUE(makeMedia(w.work.path(), k)) << k.file.toStdString();
        hashes[k.file] = media::StreamHashes(w.Path(k.file));
        ASSERT_FALSE(hashes[k.file].isEmpty()) << k.file.toStdString();
        sums[k.file] = media::Checksum(w.Path(k.file));
        w.AddVideo(k.file, w.Path("cover.png"));
        covered += k.covered;
    }

    for (const QString colour : {"red", "blue"}) {
        SCOPED_TRACE(colour.toStdString());
        ASSERT_TRUE(PlacePicture(w.Path("cover.png"), colour, 80, 60));
        const size_t startsBefore = w.realShell.starts.size();
        w.Run();
        // A refused row never starts the encoder.
        EXPECT_EQ(w.realShell.starts.size() - startsBefore, static_cast<size_t>(covered));
        for (size_t i = 0; i < kinds.size(); ++i) {
            const Kind& k = kinds[i];
            const QString p = w.Path(k.file);
            SCOPED_TRACE(k.file.toStdString());
            const int row = static_cast<int>(i) + 1;
            if (!k.covered) {
                EXPECT_EQ(w.Status(row), "更换失败");
                EXPECT_EQ(media::Checksum(p), sums[k.file]);
                continue;
            }
            EXPECT_EQ(w.Status(row), "Ok");
            EXPECT_EQ(media::StreamHashes(p), hashes[k.file]);
            EXPECT_EQ(coversOf(p, k.matroska), 1);
            const QColor c = coverColour(p, w.Path("seen.png"));
            EXPECT_EQ(colour == "red" ? c.red() > 200 && c.blue() < 60 : c.blue() > 200 && c.red() < 60, true)
                << c.name().toStdString();
            if (k.matroska) {
                QStringList names;
                for (const auto& a : media::Attachments(p)) names << a.name + " " + a.mime;
                names.sort();
                QStringList want{"cover.png image/png"};
                if (k.subtitles) want << "own.ttf application/x-truetype-font";
                EXPECT_EQ(names, want);
                if (k.subtitles) EXPECT_EQ(media::AttachmentBytes(p, "own.ttf"), fontBytes());
            }
            EXPECT_TRUE(media::DecodesCleanly(p));
        }
    }
    // Nothing of the work is left beside the videos.
    for (const QString& f : QDir(w.work.path()).entryList(QDir::Files | QDir::Hidden))
        EXPECT_FALSE(f.startsWith(".")) << f.toStdString();
}

TEST(Containers, OtherPicturesInAMatroskaFileStayUnderTheirNames) {
    BatchWindow w(true);
    ASSERT_TRUE(w.loaded);
    w.Mode(2);
    w.form().ChSaveAs->setChecked(false);
    ASSERT_TRUE(PlacePicture(w.Path("cover.png"), "red", 80, 60));
    ASSERT_TRUE(PlacePicture(w.Path("logo.png"), "yellow", 30, 20));
    ASSERT_TRUE(PlacePicture(w.Path("small.jpg"), "green", 30, 20));
    ASSERT_TRUE(media::Ffmpeg(kVideo + QStringList{"-c:v", "libx264", "-preset", "ultrafast", "-attach",
                                                   w.Path("logo.png"), "-metadata:s:t:0", "mimetype=image/png",
                                                   "-attach", w.Path("small.jpg"), "-metadata:s:t:1",
                                                   "mimetype=image/jpeg", "-metadata:s:t:1",
                                                   "filename=small_cover.jpg", w.Path("v.mkv")}));
    QFile logo(w.Path("logo.png"));
    ASSERT_TRUE(logo.open(QIODevice::ReadOnly));
    const QByteArray logoBytes = logo.readAll();
    w.form().LBase->setText(w.Path("cover.png"));
    w.AddVideo("v.mkv", w.Path("cover.png"));
    w.Run();
    EXPECT_EQ(w.Status(1), "Ok");
    QStringList names;
    for (const auto& a : media::Attachments(w.Path("v.mkv"))) names << a.name + " " + a.mime;
    names.sort();
    EXPECT_EQ(names, (QStringList{"cover.png image/png", "logo.png image/png"}));
    // The picture's own bytes, as the encoder copies them out.
    ASSERT_TRUE(media::Ffmpeg({"-i", w.Path("v.mkv"), "-map", "0:v:m:filename:logo.png", "-c", "copy", "-f", "image2",
                               w.Path("back.png")}));
    QFile back(w.Path("back.png"));
    ASSERT_TRUE(back.open(QIODevice::ReadOnly));
    EXPECT_EQ(back.readAll(), logoBytes);
}

TEST(Containers, TheMechanismFollowsTheExtension) {
    using container::Mechanism;
    const std::vector<std::pair<QString, Mechanism>> cases{
        {"/v/a.mp4", Mechanism::Mp4},         {"/v/a.M4V", Mechanism::Mp4},      {"/v/a.m4a", Mechanism::Mp4},
        {"/v/a.MOV", Mechanism::QuickTime},   {"/v/a.qt", Mechanism::QuickTime}, {"/v/a.mkv", Mechanism::Matroska},
        {"/v/a.Mka", Mechanism::Matroska},    {"/v/a.mks", Mechanism::Matroska}, {"/v/a.mp3", Mechanism::Mp3},
        {"/v/a.avi", Mechanism::None},        {"/v/a.webm", Mechanism::None},    {"/v/a.mp2", Mechanism::None},
        {"/v/x.mp4/none", Mechanism::None},   {"/v/a.", Mechanism::None},        {"", Mechanism::None},
        {"/v/a.mkv.ts", Mechanism::None},     {"/v/a.ts.mkv", Mechanism::Matroska},
    };
    for (const auto& [path, m] : cases) EXPECT_EQ(container::MechanismFor(path), m) << path.toStdString();

    for (const QString name : {"cover.jpg", "COVER.PNG", "small_cover.jpg", "cover_land.png", "small_cover_land.jpg",
                               "cover"})
        EXPECT_TRUE(container::IsCoverAttachmentName(name)) << name.toStdString();
    for (const QString name : {"covers.jpg", "my_cover.jpg", "logo.png", "font.ttf", ""})
        EXPECT_FALSE(container::IsCoverAttachmentName(name)) << name.toStdString();
}

TEST(Containers, TrimCropAndReencodingWorkOnEveryMechanism) {
    BatchWindow w(true);
    ASSERT_TRUE(w.loaded);
    ASSERT_TRUE(w.CoverForAll(false, "cover.png", "red", 80, 60));
    const QStringList h264{"-c:v", "libx264", "-preset", "ultrafast", "-g", "5", "-c:a", "aac"};
    const Kind mkv{"t.mkv", h264 + QStringList{"-c:s", "ass"}, true, true, true};
    const Kind mov{"t.mov", h264, true};
    const auto place = [&](const Kind& k) {
        ASSERT_TRUE(makeMedia(w.work.path(), k));
        FileListController::ClearList(w.form());
        w.AddVideo(k.file, w.Path("cover.png"));
    };

    // A trim by percentages: 10 % off each end of 2 s.
    w.form().ChCutTime->setChecked(true);
    w.form().TTimeCut->setText("10%,10%");
    for (const Kind& k : {mkv, mov}) {
        SCOPED_TRACE("trim " + k.file.toStdString());
        place(k);
        const double d = media::Duration(w.Path(k.file));
        w.Run();
        EXPECT_EQ(w.Status(1), "Ok");
        // Copied from the key frame before the cut, whole subtitle lines kept.
        EXPECT_GE(media::Duration(w.Path(k.file)), 0.8 * d - 0.05);
        EXPECT_LT(media::Duration(w.Path(k.file)), d);
        EXPECT_EQ(coversOf(w.Path(k.file), k.matroska), 1);
    }
    w.form().ChCutTime->setChecked(false);

    // A crop re-encodes through the filter.
    w.form().ChCutSize->setChecked(true);
    w.form().TSizeCut->setText("10,10,10,10");
    for (const Kind& k : {mkv, mov}) {
        SCOPED_TRACE("crop " + k.file.toStdString());
        place(k);
        w.Run();
        EXPECT_EQ(w.Status(1), "Ok");
        EXPECT_EQ(StreamSize(w.Path(k.file), false), QSize(300, 220));
        EXPECT_EQ(coversOf(w.Path(k.file), k.matroska), 1);
        EXPECT_TRUE(media::DecodesCleanly(w.Path(k.file)));
    }
    w.form().ChCutSize->setChecked(false);

    // The re-encoding options.
    w.form().ChOther->setChecked(true);
    w.form().CmbSize->SetText("400x240");
    for (const Kind& k : {mkv, mov}) {
        SCOPED_TRACE("re-encode " + k.file.toStdString());
        place(k);
        w.Run();
        EXPECT_TRUE(w.Status(1).startsWith("Ok！")) << w.Status(1).toStdString();
        EXPECT_EQ(StreamSize(w.Path(k.file), false), QSize(400, 240));
        EXPECT_EQ(coversOf(w.Path(k.file), k.matroska), 1);
        if (k.subtitles) EXPECT_EQ(media::AttachmentBytes(w.Path(k.file), "own.ttf"), fontBytes());
        EXPECT_TRUE(media::DecodesCleanly(w.Path(k.file)));
    }
}

TEST(Containers, EverythingButTheCoverSurvivesRunAfterRunInPlace) {
    BatchWindow w(true);
    ASSERT_TRUE(w.loaded);
    ASSERT_TRUE(w.CoverForAll(false, "cover.png", "red", 80, 60));
    const QString make = w.Path("make");
    ASSERT_TRUE(QDir().mkpath(make));
    const QStringList h264{"-c:v", "libx264", "-preset", "ultrafast", "-pix_fmt", "yuv420p", "-c:a", "aac"};
    const QStringList av = kVideo + kAudio;

    // Two chapters and a creation date, written web-ready.
    ASSERT_TRUE(WriteBytes(make + "/chapters.txt", ";FFMETADATA1\n[CHAPTER]\nTIMEBASE=1/1000\nSTART=0\nEND=1000\n"
                                                   "title=Anfang\n[CHAPTER]\nTIMEBASE=1/1000\nSTART=1000\n"
                                                   "END=2000\ntitle=Ende\n"));
    ASSERT_TRUE(media::Ffmpeg(av + QStringList{"-f", "ffmetadata", "-i", make + "/chapters.txt", "-map", "0", "-map",
                                               "1", "-map_chapters", "2"} +
                              h264 +
                              QStringList{"-shortest", "-metadata", "creation_time=2021-05-06T07:08:09Z", "-metadata",
                                          "title=Geburtstag", "-metadata", "comment=Bei Oma", "-metadata",
                                          "location=+52.5200+013.4050/", "-metadata:s:a:0", "language=ger",
                                          "-metadata:s:v:0", "handler_name=Kamera", "-movflags", "+faststart",
                                          w.Path("dated.mp4")}));
    ASSERT_TRUE(MoovFirst(w.Path("dated.mp4")));
    ASSERT_TRUE(media::Ffmpeg(av + h264 + QStringList{"-shortest", "-metadata", "creation_time=2019-03-04T05:06:07Z",
                                                      "-metadata", "title=Urlaub", w.Path("dated.mov")}));
    // A camera's timecode track.
    ASSERT_TRUE(media::Ffmpeg(av + h264 + QStringList{"-shortest", "-timecode", "01:02:03:04", w.Path("tc.mp4")}));
    // Matroska as mkvmerge writes it: its own date, a title, chapters, tags,
    // a font, track languages, names and flags.
    ASSERT_TRUE(media::Ffmpeg(av + h264 + QStringList{"-shortest", make + "/plain.mp4"}));
    ASSERT_TRUE(WriteBytes(make + "/ch.txt", "CHAPTER01=00:00:00.000\nCHAPTER01NAME=Eins\n"
                                             "CHAPTER02=00:00:01.000\nCHAPTER02NAME=Zwei\n"));
    ASSERT_TRUE(WriteBytes(make + "/tags.xml", "<?xml version=\"1.0\"?>\n<Tags><Tag><Targets></Targets><Simple>"
                                               "<Name>ARTIST</Name><String>Jemand</String></Simple></Tag></Tags>\n"));
    ASSERT_TRUE(WriteBytes(make + "/own.ttf", fontBytes()));
    QProcess mkvmerge;
    mkvmerge.start("mkvmerge", {"-q", "-o", w.Path("made.mkv"), "--title", "Heimkino", "--chapters", make + "/ch.txt",
                                "--global-tags", make + "/tags.xml", "--language", "0:ger", "--language", "1:jpn",
                                "--track-name", "1:Ton", "--forced-display-flag", "1:1", make + "/plain.mp4",
                                "--attachment-mime-type", "application/x-truetype-font", "--attach-file",
                                make + "/own.ttf"});
    ASSERT_TRUE(mkvmerge.waitForFinished(60000));
    ASSERT_EQ(mkvmerge.exitCode(), 0) << mkvmerge.readAll().toStdString();

    const QStringList files{"dated.mp4", "dated.mov", "tc.mp4", "made.mkv"};
    std::map<QString, Kept> kept;
    for (const QString& f : files) {
        kept[f] = KeptOf(w.Path(f));
        ASSERT_FALSE(kept[f].hashes.isEmpty()) << f.toStdString();
        w.AddVideo(f, w.Path("cover.png"));
    }
    const QJsonObject mkv = MkvmergeView(w.Path("made.mkv"));
    ASSERT_FALSE(mkv.value("date_utc").toString().isEmpty());
    ASSERT_EQ(kept["dated.mp4"].chapters.size(), 2);
    ASSERT_EQ(kept["made.mkv"].chapters.size(), 2);

    for (const QString colour : {"red", "blue"}) {
        SCOPED_TRACE(colour.toStdString());
        ASSERT_TRUE(PlacePicture(w.Path("cover.png"), colour, 80, 60));
        w.Run();
        for (int row = 1; row <= files.size(); ++row) {
            const QString& f = files[row - 1];
            const QString p = w.Path(f);
            SCOPED_TRACE(f.toStdString());
            EXPECT_EQ(w.Status(row), "Ok");
            EXPECT_EQ(coversOf(p, f.endsWith(".mkv")), 1);
            const Kept now = KeptOf(p);
            EXPECT_TRUE(now == kept[f]) << Shown(now) << "\n" << Shown(kept[f]);
        }
        EXPECT_TRUE(MoovFirst(w.Path("dated.mp4")));
        EXPECT_FALSE(MoovFirst(w.Path("dated.mov")));
        EXPECT_EQ(MkvmergeView(w.Path("made.mkv")), mkv)
            << QJsonDocument(MkvmergeView(w.Path("made.mkv"))).toJson(QJsonDocument::Compact).toStdString() << "\n"
            << QJsonDocument(mkv).toJson(QJsonDocument::Compact).toStdString();
        // The timecode stays on the video, in one timecode track.
        const QJsonArray tc = Streams(w.Path("tc.mp4"));
        int timecodeTracks = 0;
        for (const auto& s : tc) timecodeTracks += s.toObject().value("codec_tag_string").toString() == "tmcd";
        EXPECT_EQ(timecodeTracks, 1);
        EXPECT_EQ(tc.at(StreamIndex(w.Path("tc.mp4"), "video")).toObject().value("tags").toObject().value("timecode"),
                  "01:02:03:04");
    }
}

TEST(Containers, ReencodingCopiesSubtitlesDataAndAttachments) {
    BatchWindow w(true);
    ASSERT_TRUE(w.loaded);
    ASSERT_TRUE(w.CoverForAll(false, "cover.png", "red", 80, 60));
    ASSERT_TRUE(WriteBytes(w.Path("s.srt"), "1\n00:00:00,200 --> 00:00:01,500\n你好\n\n2\n00:00:01,600 --> "
                                            "00:00:01,900\nAuf Wiedersehen\n"));
    ASSERT_TRUE(media::Ffmpeg(kVideo + kAudio +
                              QStringList{"-i", w.Path("s.srt"), "-map", "0", "-map", "1", "-map", "2", "-c:v",
                                          "libx264", "-preset", "ultrafast", "-c:a", "aac", "-c:s", "mov_text",
                                          "-metadata:s:s:0", "language=chi", "-shortest", w.Path("subs.mp4")}));
    const auto subtitles = [](const QString& path) {
        QStringList s = media::StreamHashes(path).filter(QRegularExpression("^s,"));
        return s;
    };
    const QStringList before = subtitles(w.Path("subs.mp4"));
    ASSERT_EQ(before.size(), 1);
    w.AddVideo("subs.mp4", w.Path("cover.png"));
    w.form().ChOther->setChecked(true);
    w.form().CmbSize->SetText("400x240");
    for (const QString colour : {"red", "blue"}) {
        SCOPED_TRACE(colour.toStdString());
        ASSERT_TRUE(PlacePicture(w.Path("cover.png"), colour, 80, 60));
        w.Run();
        EXPECT_TRUE(w.Status(1).startsWith("Ok！")) << w.Status(1).toStdString();
        EXPECT_EQ(StreamSize(w.Path("subs.mp4"), false), QSize(400, 240));
        EXPECT_EQ(subtitles(w.Path("subs.mp4")), before);
        EXPECT_EQ(media::CountStreams(w.Path("subs.mp4"), "subtitle"), 1);
        EXPECT_EQ(media::CountAttachedPictures(w.Path("subs.mp4")), 1);
        EXPECT_TRUE(media::DecodesCleanly(w.Path("subs.mp4")));
    }
}
