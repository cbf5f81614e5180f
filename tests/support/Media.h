#pragma once
// Test media made with the system's ffmpeg, and facts read back with ffprobe.
#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

#include <vector>

namespace media {

// Runs ffmpeg (quiet, overwriting) with these arguments; true on exit status 0.
bool Ffmpeg(const QStringList& args);
// An H.264/AAC video from lavfi test sources. extra goes before the output.
bool MakeVideo(const QString& path, int width = 320, int height = 240, double fps = 25, double seconds = 1,
               const QStringList& extra = {});
// A video with detail in every frame (moving pattern and noise) and stereo
// noise for sound, so that a rate control can reach a chosen bit rate.
bool MakeDetailedVideo(const QString& path, int width, int height, double seconds);
// An MP3 tone.
bool MakeMp3(const QString& path, double seconds = 1);
// A picture of one colour (format by extension).
bool MakePicture(const QString& path, int width, int height, const QString& colour = "red");

// ffprobe's JSON for the file's streams and format; empty on failure.
QJsonObject Probe(const QString& path);
// The streams of a file, by codec type ("video", "audio") and attached pictures.
int CountStreams(const QString& path, const QString& codecType);
int CountAttachedPictures(const QString& path);
// Packets of one stream (by index), counted by ffprobe.
int CountPackets(const QString& path, int streamIndex);
double Duration(const QString& path);
// Bit rate in bit/s of the first stream of a type that is not an attached
// picture, as ffprobe reports it; 0 when there is none.
double StreamBitRate(const QString& path, const QString& codecType);

// The packets of the first stream of a kind ("v", "a"), in file order:
// presentation time and length in seconds.
struct Packet {
    double time = 0, length = 0;
};
std::vector<Packet> Packets(const QString& path, const QString& kind);
// Where that stream ends: its latest packet's time plus length; -1 when it
// has none.
double StreamEnd(const QString& path, const QString& kind);
// SHA-256 of a file's bytes, hex; empty when unreadable.
QString Checksum(const QString& path);

// One hash per real stream (attached pictures left out) over its packets'
// bytes, in stream order, each prefixed by its kind ("v", "a", "s"): equal
// lists mean every stream was carried over unchanged.
QStringList StreamHashes(const QString& path);

// The file's Matroska attachments (and attached pictures) as ffprobe lists
// them.
struct Attachment {
    QString name, mime;
};
QList<Attachment> Attachments(const QString& path);
// The bytes of the attachment named `name`; empty when there is none.
QByteArray AttachmentBytes(const QString& path, const QString& name);

// One MD5 per decoded picture of the first video stream, in decode output
// order; empty when the file does not decode.
QStringList FrameHashes(const QString& path);

// Whether ffmpeg decodes every stream of the file without a single error.
bool DecodesCleanly(const QString& path);
// Audio samples per channel that ffmpeg decodes; -1 on failure.
long long DecodedSamples(const QString& path);

}  // namespace media
