// Every container the add dialog and the folder scan accept, run in place
// with the real encoder: the kinds that can carry a cover get exactly one by
// their own mechanism, everything else in them unchanged; the others are
// refused and stay byte for byte as they were.
#include "BatchFixture.h"
#include "support/Printing.h"

#include "batch/Containers.h"
#include "batch/Mp4Boxes.h"
#include "probe/MovieBoxes.h"
#include "support/CameraBoxes.h"

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
        for (const char* k : {"language", "track_name", "default_track", "forced_track", "enabled_track", "codec_id",
                              "flag_hearing_impaired", "flag_visual_impaired", "flag_original", "flag_commentary"})
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

TEST(Containers, WhatTheEncoderCannotWriteBackLeavesTheFileAlone) {
    BatchWindow w(true);
    ASSERT_TRUE(w.loaded);
    ASSERT_TRUE(w.CoverForAll(false, "cover.png", "red", 80, 60));
    const QString make = w.Path("make");
    ASSERT_TRUE(QDir().mkpath(make));
    ASSERT_TRUE(media::Ffmpeg(kVideo + kAudio + QStringList{"-c:v", "libx264", "-preset", "ultrafast", "-c:a", "aac",
                                                            "-shortest", make + "/plain.mkv"}));
    // A chapter inside a chapter, and a second edition: the encoder reads
    // the first edition's outer chapters only.
    ASSERT_TRUE(WriteBytes(make + "/ch.xml",
                           "<?xml version=\"1.0\"?>\n<Chapters><EditionEntry><ChapterAtom>"
                           "<ChapterTimeStart>00:00:00.000</ChapterTimeStart><ChapterDisplay><ChapterString>A"
                           "</ChapterString></ChapterDisplay><ChapterAtom><ChapterTimeStart>00:00:00.500"
                           "</ChapterTimeStart><ChapterDisplay><ChapterString>A1</ChapterString></ChapterDisplay>"
                           "</ChapterAtom></ChapterAtom><ChapterAtom><ChapterTimeStart>00:00:01.000"
                           "</ChapterTimeStart><ChapterDisplay><ChapterString>B</ChapterString></ChapterDisplay>"
                           "</ChapterAtom></EditionEntry><EditionEntry><ChapterAtom><ChapterTimeStart>00:00:01.500"
                           "</ChapterTimeStart><ChapterDisplay><ChapterString>X</ChapterString></ChapterDisplay>"
                           "</ChapterAtom></EditionEntry></Chapters>\n"));
    QProcess mkvmerge;
    mkvmerge.start("mkvmerge", {"-q", "-o", w.Path("nested.mkv"), "--chapters", make + "/ch.xml", make + "/plain.mkv"});
    ASSERT_TRUE(mkvmerge.waitForFinished(60000));
    ASSERT_EQ(mkvmerge.exitCode(), 0);
    // An MP4 with a second picture in its cover entry.
    ASSERT_TRUE(PlacePicture(make + "/front.png", "green", 40, 30));
    ASSERT_TRUE(PlacePicture(make + "/back.png", "yellow", 40, 30));
    ASSERT_TRUE(media::Ffmpeg(kVideo + kAudio +
                              QStringList{"-i", make + "/front.png", "-i", make + "/back.png", "-map", "2", "-map", "3",
                                          "-map", "0", "-map", "1", "-c:v:1", "libx264", "-c:a", "aac", "-c:v:0",
                                          "copy", "-c:v:1", "copy", "-c:v:2", "libx264", "-disposition:0",
                                          "attached_pic", "-disposition:1", "attached_pic", "-shortest",
                                          w.Path("pictures.mp4")}));
    ASSERT_EQ(media::CountAttachedPictures(w.Path("pictures.mp4")), 2);
    // A title that differs from the TITLE tag, which the encoder makes the
    // title; an album's tags, which it moves to the file's level.
    ASSERT_TRUE(media::Ffmpeg(kAudio + QStringList{"-c:a", "libvorbis", make + "/plain.mka"}));
    ASSERT_TRUE(WriteBytes(make + "/title.xml", "<?xml version=\"1.0\"?>\n<Tags><Tag><Targets></Targets><Simple>"
                                                "<Name>TITLE</Name><String>Tag Titel</String></Simple></Tag></Tags>\n"));
    ASSERT_TRUE(WriteBytes(make + "/album.xml", "<?xml version=\"1.0\"?>\n<Tags><Tag><Targets><TargetTypeValue>70"
                                                "</TargetTypeValue></Targets><Simple><Name>ALBUM</Name><String>Platte"
                                                "</String></Simple></Tag></Tags>\n"));
    for (const auto& [file, tags] : {std::pair<QString, QString>{"titled.mka", "title.xml"}, {"album.mka", "album.xml"}}) {
        QProcess p;
        p.start("mkvmerge", {"-q", "-o", w.Path(file), "--title", "Segment Titel", "--global-tags", make + "/" + tags,
                             make + "/plain.mka"});
        ASSERT_TRUE(p.waitForFinished(60000));
        ASSERT_EQ(p.exitCode(), 0);
    }
    const QStringList files{"nested.mkv", "pictures.mp4", "titled.mka", "album.mka"};
    std::map<QString, QString> sums;
    for (const QString& f : files) {
        sums[f] = media::Checksum(w.Path(f));
        w.AddVideo(f, w.Path("cover.png"));
    }
    w.Run();
    for (int row = 1; row <= files.size(); ++row) {
        SCOPED_TRACE(files[row - 1].toStdString());
        EXPECT_EQ(w.Status(row), "更换失败");
        EXPECT_EQ(media::Checksum(w.Path(files[row - 1])), sums[files[row - 1]]);
    }
}

TEST(Containers, WhatPhonesCamerasAndTaggersWriteIntoMovieBoxesStaysAsBytes) {
    BatchWindow w(true);
    ASSERT_TRUE(w.loaded);
    ASSERT_TRUE(w.CoverForAll(false, "cover.png", "red", 80, 60));
    const QStringList h264{"-c:v", "libx264", "-preset", "ultrafast", "-pix_fmt", "yuv420p", "-c:a", "aac", "-shortest"};
    const QStringList av = kVideo + kAudio;
    // Written web-ready with room after the movie box for what is added.
    const QStringList fast{"-moov_size", "60000"};
    using media::Box;
    using media::QtText;

    // A phone's QuickTime keys.
    ASSERT_TRUE(media::Ffmpeg(av + h264 + QStringList{"-metadata", "creation_time=2023-05-06T05:08:09Z",
                                                      w.Path("phone.mov")}));
    media::MovieExtras phone;
    phone.meta = media::QuickTimeKeys({{"com.apple.quicktime.location.ISO6709", "+52.5200+013.4050+034.000/"},
                                       {"com.apple.quicktime.make", "Apple"},
                                       {"com.apple.quicktime.model", "iPhone 12"},
                                       {"com.apple.quicktime.software", "16.5"},
                                       {"com.apple.quicktime.creationdate", "2023-05-06T07:08:09+0200"}});
    ASSERT_TRUE(media::AddMovieBoxes(w.Path("phone.mov"), phone));
    // An action camera's boxes with highlight marks, web-ready.
    ASSERT_TRUE(media::Ffmpeg(av + h264 + fast + QStringList{w.Path("action.mp4")}));
    media::MovieExtras action;
    action.udta = Box("FIRM", "HD9.01.01.60.00") + Box("LENS", "LAJ8052417600401") +
                  Box("CAME", QByteArray(16, '\x5a')) + Box("MUID", QByteArray(32, '\x11')) +
                  Box("HMMT", QByteArray("\0\0\0\x02\0\0\x01\xf4\0\0\x05\xdc", 12));
    ASSERT_TRUE(media::AddMovieBoxes(w.Path("action.mp4"), action));
    // A phone's location and an older camera's make and model, no marks.
    ASSERT_TRUE(media::Ffmpeg(av + h264 + QStringList{w.Path("android.mp4")}));
    media::MovieExtras android;
    android.udta = QtText("\xa9xyz", "+52.5200+013.4050/") + QtText("\xa9mak", "Kamera AG") +
                   QtText("\xa9mod", "Modell 7") + Box("CAME", QByteArray(16, '\x33'));
    ASSERT_TRUE(media::AddMovieBoxes(w.Path("android.mp4"), android));
    // A tagger's freeform items and a track's name.
    ASSERT_TRUE(media::Ffmpeg(kAudio + QStringList{"-c:a", "aac", "-metadata", "title=Lied", "-metadata",
                                                   "artist=Jemand", w.Path("music.m4a")}));
    media::MovieExtras music;
    music.items = media::Freeform("MusicBrainz Track Id", "0f1e2d3c-aaaa-bbbb-cccc-0123456789ab") +
                  media::Freeform("replaygain_track_gain", "-6.20 dB");
    music.trackNames = {"English stereo"};
    ASSERT_TRUE(media::AddMovieBoxes(w.Path("music.m4a"), music));
    // Named tracks, web-ready.
    ASSERT_TRUE(media::Ffmpeg(av + QStringList{"-f", "lavfi", "-i", "sine=frequency=300:duration=2", "-map", "0",
                                               "-map", "1", "-map", "2"} +
                              h264 + fast + QStringList{w.Path("film.mp4")}));
    media::MovieExtras film;
    film.trackNames = {"Bild", "English stereo", "Commentary"};
    ASSERT_TRUE(media::AddMovieBoxes(w.Path("film.mp4"), film));

    const QStringList files{"phone.mov", "action.mp4", "android.mp4", "music.m4a", "film.mp4"};
    std::map<QString, QByteArrayList> boxes;
    std::map<QString, QStringList> hashes;
    std::map<QString, bool> first;
    for (const QString& f : files) {
        boxes[f] = media::MovieMetadata(w.Path(f));
        hashes[f] = media::StreamHashes(w.Path(f));
        first[f] = MoovFirst(w.Path(f));
        ASSERT_FALSE(hashes[f].isEmpty()) << f.toStdString();
        w.AddVideo(f, w.Path("cover.png"));
    }
    const auto count = [](const QByteArrayList& list, const char* part) {
        return std::count_if(list.begin(), list.end(), [part](const QByteArray& b) { return b.contains(part); });
    };
    ASSERT_EQ(count(boxes["phone.mov"], "meta "), 1);
    ASSERT_EQ(count(boxes["action.mp4"], "HMMT"), 1);
    ASSERT_EQ(count(boxes["music.m4a"], "----"), 2);
    ASSERT_TRUE(first["action.mp4"] && first["film.mp4"] && !first["phone.mov"] && !first["music.m4a"]);
    // The encoder reads the highlight marks as chapters.
    ASSERT_FALSE(JsonOf(Ffprobe(), {"-v", "error", "-print_format", "json", "-show_chapters", w.Path("action.mp4")})
                     .value("chapters").toArray().isEmpty());

    // In place twice, saved as, and re-encoded.
    for (const QString pass : {"red", "blue", "saved", "other"}) {
        SCOPED_TRACE(pass.toStdString());
        const bool saveAs = pass == "saved", other = pass == "other";
        ASSERT_TRUE(PlacePicture(w.Path("cover.png"), saveAs ? "yellow" : pass == "blue" ? "blue" : "red", 80, 60));
        w.form().ChSaveAs->setChecked(saveAs);
        w.form().ChOther->setChecked(other);
        std::map<QString, QString> sums;
        for (const QString& f : files) sums[f] = media::Checksum(w.Path(f));
        w.Run();
        for (int row = 1; row <= files.size(); ++row) {
            const QString& f = files[row - 1];
            const QString p = saveAs ? w.Out(f) : w.Path(f);
            SCOPED_TRACE(f.toStdString());
            EXPECT_TRUE(other ? w.Status(row).startsWith("Ok！") : w.Status(row) == "Ok") << w.Status(row).toStdString();
            EXPECT_EQ(media::MovieMetadata(p), boxes[f]);
            EXPECT_EQ(MoovFirst(p), first[f]);
            EXPECT_EQ(media::CountAttachedPictures(p), 1);
            if (!other) EXPECT_EQ(media::StreamHashes(p), hashes[f]);
            if (saveAs) EXPECT_EQ(media::Checksum(w.Path(f)), sums[f]);
        }
    }
    EXPECT_TRUE(media::DecodesCleanly(w.Path("film.mp4")));
    for (const QString& f : QDir(w.work.path()).entryList(QDir::Files | QDir::Hidden) +
                                QDir(w.work.path() + "/out").entryList(QDir::Files | QDir::Hidden))
        EXPECT_FALSE(f.startsWith(".")) << f.toStdString();
}

TEST(Containers, MatroskaTracksKeepTheirFlagsAndTheFileItsTitleAndTags) {
    BatchWindow w(true);
    ASSERT_TRUE(w.loaded);
    ASSERT_TRUE(w.CoverForAll(false, "cover.png", "red", 80, 60));
    const QString make = w.Path("make");
    ASSERT_TRUE(QDir().mkpath(make));
    // Two sounds and two subtitles, none of them default; one forced, one
    // for the hard of hearing; languages, names, a title and tags.
    ASSERT_TRUE(media::Ffmpeg(kVideo + kAudio + QStringList{"-f", "lavfi", "-i", "sine=frequency=300:duration=2",
                                                            "-map", "0", "-map", "1", "-map", "2", "-c:v", "libx264",
                                                            "-preset", "ultrafast", "-c:a", "aac", "-shortest",
                                                            make + "/two.mp4"}));
    ASSERT_TRUE(WriteBytes(make + "/de.srt", "1\n00:00:00,200 --> 00:00:01,500\nHallo\n"));
    ASSERT_TRUE(WriteBytes(make + "/en.srt", "1\n00:00:00,200 --> 00:00:01,500\nHello\n"));
    ASSERT_TRUE(WriteBytes(make + "/tags.xml", "<?xml version=\"1.0\"?>\n<Tags><Tag><Targets></Targets><Simple>"
                                               "<Name>ARTIST</Name><String>Jemand</String></Simple><Simple><Name>"
                                               "COMMENT</Name><String>Kommentar</String><TagLanguage>ger"
                                               "</TagLanguage></Simple></Tag></Tags>\n"));
    QProcess mkvmerge;
    mkvmerge.start("mkvmerge", {"-q", "-o", w.Path("two.mkv"), "--title", "Heimkino", "--global-tags",
                                make + "/tags.xml", "--default-track-flag", "1:0", "--default-track-flag", "2:0",
                                "--language", "1:ger", "--language", "2:eng", "--track-name", "2:Commentary",
                                "--hearing-impaired-flag", "2:1", "--track-enabled-flag", "2:1", make + "/two.mp4", "--default-track-flag", "0:0",
                                "--language", "0:ger", "--forced-display-flag", "0:1", make + "/de.srt",
                                "--default-track-flag", "0:0", "--language", "0:eng", make + "/en.srt"});
    ASSERT_TRUE(mkvmerge.waitForFinished(60000));
    ASSERT_EQ(mkvmerge.exitCode(), 0) << mkvmerge.readAll().toStdString();
    const QJsonObject view = MkvmergeView(w.Path("two.mkv"));
    const Kept kept = KeptOf(w.Path("two.mkv"));
    int defaults = 0;
    for (const auto& t : view.value("tracks").toArray())
        defaults += t.toObject().value("properties").toObject().value("default_track").toBool();
    ASSERT_EQ(defaults, 1);  // the video's
    w.AddVideo("two.mkv", w.Path("cover.png"));

    for (const QString pass : {"red", "blue", "other"}) {
        SCOPED_TRACE(pass.toStdString());
        ASSERT_TRUE(PlacePicture(w.Path("cover.png"), pass == "blue" ? "blue" : "red", 80, 60));
        w.form().ChOther->setChecked(pass == "other");
        w.Run();
        const QString p = w.Path("two.mkv");
        EXPECT_TRUE(pass == "other" ? w.Status(1).startsWith("Ok！") : w.Status(1) == "Ok") << w.Status(1).toStdString();
        EXPECT_EQ(MkvmergeView(p), view) << QJsonDocument(MkvmergeView(p)).toJson(QJsonDocument::Compact).toStdString();
        const Kept now = KeptOf(p);
        EXPECT_EQ(now.formatTags, kept.formatTags);
        EXPECT_EQ(now.streams.size(), kept.streams.size());
        if (pass != "other") EXPECT_TRUE(now == kept) << Shown(now) << "\n" << Shown(kept);
        EXPECT_EQ(coversOf(p, true), 1);
    }
}

TEST(Containers, TheRebuiltMovieBoxHoldsTheSourcesBoxesAndItsOwnMovedOffsets) {
    using media::Box;
    const QByteArray zero4(4, '\0');
    const auto be32 = [](uint32_t v) { return QByteArray(1, char(v >> 24)) + char(v >> 16) + char(v >> 8) + char(v); };
    const auto hdlr = [&](const char* kind) { return Box("hdlr", zero4 + zero4 + kind + QByteArray(13, '\0')); };
    const auto track = [&](const QByteArray& offsets, int count, const QByteArray& udta) {
        const QByteArray stbl = Box("stbl", Box("stco", zero4 + be32(count) + offsets));
        return Box("trak", Box("tkhd", QByteArray(24, '\0')) +
                               Box("mdia", hdlr("soun") + Box("minf", Box("smhd", QByteArray(8, '\0')) + stbl)) + udta);
    };
    const auto cover = [&](const QByteArray& picture) { return Box("covr", Box("data", be32(14) + zero4 + picture)); };
    const auto meta = [&](const QByteArray& items) {
        return Box("meta", zero4 + hdlr("mdir") + Box("ilst", items));
    };
    const QByteArray name = Box("udta", Box("name", "Commentary"));
    const QByteArray title = Box("\xa9nam", Box("data", be32(1) + zero4 + "Lied"));
    const QByteArray source = Box("moov", Box("mvhd", QByteArray(100, '\0')) + track(be32(48), 1, name) +
                                              Box("udta", Box("FIRM", "HD9") + meta(title + cover("old")) +
                                                              Box("HMMT", QByteArray(8, '\1'))) +
                                              media::QuickTimeKeys({{"com.apple.quicktime.make", "Apple"}}));
    // The encoder's: its own tags, a loci box, offsets close to 4 GiB.
    const QByteArray output =
        Box("moov", Box("mvhd", QByteArray(100, '\0')) + track(be32(40) + be32(0xFFFFF000u), 2, QByteArray()) +
                        Box("udta", meta(Box("\xa9too", Box("data", be32(1) + zero4 + "Lavf")) + cover("new")) +
                                        Box("loci", QByteArray(20, '\0'))));

    const std::optional<QByteArray> moved = mp4boxes::MovieWith(source, output, false, 0x2000);
    ASSERT_TRUE(moved.has_value());
    probe::movie::Kept want = probe::movie::keptBoxes(source);
    EXPECT_EQ(probe::movie::keptBoxes(*moved), want);
    EXPECT_TRUE(moved->contains(cover("new")));
    EXPECT_FALSE(moved->contains("old") || moved->contains("loci") || moved->contains("Lavf"));
    // The table no longer fits 32 bits.
    const int co64 = moved->indexOf("co64");
    ASSERT_GT(co64, 0);
    EXPECT_EQ(moved->mid(co64 + 8, 20), be32(2) + zero4 + be32(0x2028) + be32(1) + be32(0x1000));
    // Offsets that would fall before the file's start, and no cover to put in.
    EXPECT_FALSE(mp4boxes::MovieWith(source, output, false, -41).has_value());
    EXPECT_FALSE(mp4boxes::MovieWith(source, Box("moov", Box("mvhd", QByteArray(100, '\0'))), false, 0).has_value());
}

TEST(Containers, ACutFilmKeepsItsCameraBoxesAndGetsItsChaptersFitted) {
    BatchWindow w(true);
    ASSERT_TRUE(w.loaded);
    ASSERT_TRUE(w.CoverForAll(false, "cover.png", "red", 80, 60));
    ASSERT_TRUE(WriteBytes(w.Path("chapters.txt"), ";FFMETADATA1\n[CHAPTER]\nTIMEBASE=1/1000\nSTART=0\nEND=1000\n"
                                                   "title=Anfang\n[CHAPTER]\nTIMEBASE=1/1000\nSTART=1000\n"
                                                   "END=2000\ntitle=Ende\n"));
    ASSERT_TRUE(media::Ffmpeg(kVideo + kAudio +
                              QStringList{"-f", "ffmetadata", "-i", w.Path("chapters.txt"), "-map", "0", "-map", "1",
                                          "-map_chapters", "2", "-c:v", "libx264", "-preset", "ultrafast", "-g", "5",
                                          "-c:a", "aac", "-shortest", w.Path("cut.mp4")}));
    media::MovieExtras camera;
    camera.udta = media::Box("FIRM", "HD9.01") + media::QtText("\xa9xyz", "+52.5200+013.4050/");
    ASSERT_TRUE(media::AddMovieBoxes(w.Path("cut.mp4"), camera));
    QByteArrayList kept;
    for (const QByteArray& b : media::MovieMetadata(w.Path("cut.mp4")))
        if (!b.contains("chpl")) kept << b;
    w.AddVideo("cut.mp4", w.Path("cover.png"));
    w.form().ChCutTime->setChecked(true);
    w.form().TTimeCut->setText("0.5,0");
    w.Run();
    EXPECT_EQ(w.Status(1), "Ok");
    QByteArrayList now;
    for (const QByteArray& b : media::MovieMetadata(w.Path("cut.mp4")))
        if (!b.contains("chpl")) now << b;
    EXPECT_EQ(now, kept);
    // The second chapter starts half a second earlier, in both of the
    // writer's chapter forms.
    const QJsonArray chapters =
        JsonOf(Ffprobe(), {"-v", "error", "-print_format", "json", "-show_chapters", w.Path("cut.mp4")})
            .value("chapters").toArray();
    ASSERT_EQ(chapters.size(), 2);
    EXPECT_NEAR(chapters.at(1).toObject().value("start_time").toString().toDouble(), 0.5, 0.05);
    QByteArray chpl;
    for (const QByteArray& b : media::MovieMetadata(w.Path("cut.mp4")))
        if (b.mid(9, 4) == "chpl") chpl = b.mid(5);
    // Version 1: four more bytes, the count, then each start (in 100 ns) and
    // title.
    ASSERT_GT(chpl.size(), 26);
    const int second = 26 + static_cast<unsigned char>(chpl[25]);
    ASSERT_GT(chpl.size(), second + 8);
    long long start = 0;
    for (int i = 0; i < 8; ++i) start = start << 8 | static_cast<unsigned char>(chpl[second + i]);
    EXPECT_NEAR(start / 1e7, 0.5, 0.05);
}
