#include "support/Media.h"

#include <QCryptographicHash>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>

#include <algorithm>
#include <optional>

namespace media {

namespace {
QString ffprobe() {
    QString ff = QStringLiteral(PLINDOR_FFMPEG);
    const int slash = ff.lastIndexOf('/');
    return (slash >= 0 ? ff.left(slash + 1) : QString()) + "ffprobe";
}
}  // namespace

bool Ffmpeg(const QStringList& args) {
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(QStringLiteral(PLINDOR_FFMPEG), QStringList{"-hide_banner", "-loglevel", "error", "-nostdin", "-y"} + args);
    if (!p.waitForFinished(120000)) {
        p.kill();
        p.waitForFinished();
        return false;
    }
    return p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

bool MakeVideo(const QString& path, int width, int height, double fps, double seconds, const QStringList& extra) {
    const QString size = QString("%1x%2").arg(width).arg(height);
    QStringList args{"-f", "lavfi", "-i", QString("testsrc=size=%1:rate=%2:duration=%3").arg(size).arg(fps).arg(seconds),
                     "-f", "lavfi", "-i", QString("sine=frequency=440:duration=%1").arg(seconds),
                     "-c:v", "libx264", "-preset", "ultrafast", "-pix_fmt", "yuv420p", "-c:a", "aac", "-shortest"};
    args << extra << path;
    return Ffmpeg(args);
}

bool MakeDetailedVideo(const QString& path, int width, int height, double seconds) {
    const QString size = QString("%1x%2").arg(width).arg(height);
    return Ffmpeg({"-f", "lavfi", "-i", QString("testsrc2=size=%1:rate=25:duration=%2").arg(size).arg(seconds),
                   "-f", "lavfi", "-i", QString("anoisesrc=duration=%1:color=white:amplitude=0.3").arg(seconds),
                   "-vf", "noise=alls=20:allf=t", "-ac", "2", "-c:v", "libx264", "-preset", "ultrafast", "-crf", "23",
                   "-pix_fmt", "yuv420p", "-c:a", "aac", "-b:a", "256k", "-shortest", path});
}

bool MakeMp3(const QString& path, double seconds) {
    return Ffmpeg({"-f", "lavfi", "-i", QString("sine=frequency=440:duration=%1").arg(seconds), "-c:a", "libmp3lame",
                   "-b:a", "64k", path});
}

bool MakePicture(const QString& path, int width, int height, const QString& colour) {
    return Ffmpeg({"-f", "lavfi", "-i", QString("color=c=%1:size=%2x%3:duration=1").arg(colour).arg(width).arg(height),
                   "-frames:v", "1", path});
}

QJsonObject Probe(const QString& path) {
    QProcess p;
    p.start(ffprobe(), {"-v", "error", "-print_format", "json", "-show_streams", "-show_format", path});
    if (!p.waitForFinished(60000) || p.exitCode() != 0) return {};
    return QJsonDocument::fromJson(p.readAllStandardOutput()).object();
}

int CountStreams(const QString& path, const QString& codecType) {
    int n = 0;
    for (const auto& s : Probe(path).value("streams").toArray()) {
        const QJsonObject o = s.toObject();
        const bool attached = o.value("disposition").toObject().value("attached_pic").toInt() == 1;
        if (o.value("codec_type").toString() == codecType && !attached) ++n;
    }
    return n;
}

int CountAttachedPictures(const QString& path) {
    int n = 0;
    for (const auto& s : Probe(path).value("streams").toArray())
        if (s.toObject().value("disposition").toObject().value("attached_pic").toInt() == 1) ++n;
    return n;
}

int CountPackets(const QString& path, int streamIndex) {
    QProcess p;
    p.start(ffprobe(), {"-v", "error", "-select_streams", QString::number(streamIndex), "-count_packets",
                        "-show_entries", "stream=nb_read_packets", "-of", "csv=p=0", path});
    if (!p.waitForFinished(60000) || p.exitCode() != 0) return -1;
    bool ok = false;
    const int n = QString::fromUtf8(p.readAllStandardOutput()).trimmed().toInt(&ok);
    return ok ? n : -1;
}

double Duration(const QString& path) {
    return Probe(path).value("format").toObject().value("duration").toString().toDouble();
}

double StreamBitRate(const QString& path, const QString& codecType) {
    for (const auto& s : Probe(path).value("streams").toArray()) {
        const QJsonObject o = s.toObject();
        if (o.value("codec_type").toString() == codecType &&
            o.value("disposition").toObject().value("attached_pic").toInt() == 0)
            return o.value("bit_rate").toString().toDouble();
    }
    return 0;
}

std::vector<Packet> Packets(const QString& path, const QString& kind) {
    QProcess p;
    p.start(ffprobe(), {"-v", "error", "-select_streams", kind + ":0", "-show_entries", "packet=pts_time,duration_time",
                        "-of", "csv=p=0", path});
    std::vector<Packet> packets;
    if (!p.waitForFinished(60000) || p.exitCode() != 0) return packets;
    for (const QString& line : QString::fromUtf8(p.readAllStandardOutput()).split('\n')) {
        const QStringList parts = line.trimmed().split(',');
        bool ok = false;
        const double time = parts.value(0).toDouble(&ok);
        if (ok) packets.push_back({time, parts.value(1).toDouble()});
    }
    return packets;
}

double StreamEnd(const QString& path, const QString& kind) {
    double end = -1;
    for (const Packet& p : Packets(path, kind)) end = std::max(end, p.time + p.length);
    return end;
}

QString Checksum(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    QCryptographicHash h(QCryptographicHash::Sha256);
    h.addData(&f);
    return QString::fromLatin1(h.result().toHex());
}

namespace {
// ffmpeg's own output of a run, or nothing when it failed.
std::optional<QByteArray> ffmpegOutput(const QStringList& args, bool errors = false) {
    QProcess p;
    if (errors) p.setReadChannel(QProcess::StandardError);
    p.start(QStringLiteral(PLINDOR_FFMPEG), QStringList{"-hide_banner", "-nostdin", "-y"} + args);
    if (!p.waitForFinished(120000)) {
        p.kill();
        p.waitForFinished();
        return std::nullopt;
    }
    if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) return std::nullopt;
    return errors ? p.readAllStandardError() : p.readAllStandardOutput();
}
}  // namespace

QStringList StreamHashes(const QString& path) {
    const auto out = ffmpegOutput({"-loglevel", "error", "-i", path, "-map", "0:V?", "-map", "0:a?", "-map", "0:s?",
                                   "-c", "copy", "-f", "streamhash", "-hash", "sha256", "-"});
    if (!out) return {};
    QStringList lines;
    for (const QByteArray& line : out->split('\n'))
        if (!line.trimmed().isEmpty()) lines << QString::fromLatin1(line.mid(line.indexOf(',') + 1)).trimmed();
    return lines;
}

QList<Attachment> Attachments(const QString& path) {
    QList<Attachment> list;
    for (const auto& s : Probe(path).value("streams").toArray()) {
        const QJsonObject o = s.toObject();
        const QJsonObject tags = o.value("tags").toObject();
        const bool attachment = o.value("codec_type").toString() == "attachment" ||
                                o.value("disposition").toObject().value("attached_pic").toInt() == 1;
        if (!attachment) continue;
        // Matroska writes the tag names in capitals on some streams.
        const auto tag = [&](const char* key) {
            return tags.value(key).toString().isEmpty() ? tags.value(QString(key).toUpper()).toString()
                                                        : tags.value(key).toString();
        };
        list.push_back({tag("filename"), tag("mimetype")});
    }
    return list;
}

QByteArray AttachmentBytes(const QString& path, const QString& name) {
    const QString out = path + ".attachment";
    QFile::remove(out);
    ffmpegOutput({"-loglevel", "error", "-dump_attachment:m:filename:" + name, out, "-i", path, "-f", "null", "-"});
    QFile f(out);
    if (!f.open(QIODevice::ReadOnly)) return {};
    const QByteArray bytes = f.readAll();
    f.remove();
    return bytes;
}

QStringList FrameHashes(const QString& path) {
    const auto out = ffmpegOutput(
        {"-loglevel", "error", "-i", path, "-map", "0:v:0", "-fps_mode", "passthrough", "-f", "framemd5", "-"});
    QStringList hashes;
    if (!out) return hashes;
    for (const QByteArray& line : out->split('\n'))
        if (!line.startsWith('#') && !line.trimmed().isEmpty())
            hashes << QString::fromLatin1(line.mid(line.lastIndexOf(',') + 1)).trimmed();
    return hashes;
}

bool DecodesCleanly(const QString& path) {
    const auto err = ffmpegOutput({"-v", "error", "-i", path, "-map", "0:V?", "-map", "0:a?", "-f", "null", "-"}, true);
    return err && err->trimmed().isEmpty();
}

long long DecodedSamples(const QString& path) {
    const auto out = ffmpegOutput({"-loglevel", "error", "-i", path, "-map", "0:a:0", "-f", "s16le", "-ac", "1", "-"});
    return out ? out->size() / 2 : -1;
}

}  // namespace media
