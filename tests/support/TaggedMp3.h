#pragma once
// MP3 files made by lame and tagged with TagLib the way tag editors and
// podcast tools leave them, and what their tags hold, read with TagLib.
#include <QByteArray>
#include <QString>
#include <QStringList>

namespace media {

struct Mp3Tags {
    int id3v2Version = 4;  // 3 or 4
    QString frontPicture;  // a file for the front cover; none when empty
    QString backPicture;   // a file for the back cover
    bool ape = true;       // ReplayGain in an APE tag
    bool id3v1 = true;
    bool frames = true;    // the frames above; without them and pictures, no ID3v2 tag
};

// A VBR tone by lame (with its Xing/LAME header frame) of `seconds`, tagged
// with text frames, COMM, USLT, POPM, UFID, TXXX, two chapters under a table
// of contents, the pictures asked for, an APE tag and an ID3v1 tag, as asked.
bool MakeTaggedMp3(const QString& path, double seconds, const Mp3Tags& tags = {});

// Every ID3v2 frame but the front covers, every APE item and the ID3v1 fields,
// one line each and sorted.
QStringList DescribeTags(const QString& path);
// The pictures of type "front cover" in the ID3v2 tag.
QList<QByteArray> FrontCovers(const QString& path);
// The ID3v2 tag's version (3 or 4; 0 without a tag).
int Id3v2Version(const QString& path);
// Every byte after the ID3v2 tag in front (the whole file without one).
QByteArray AfterId3v2(const QString& path);

// Tags found at the end of MP3 files, written byte by byte: an APE tag of
// one item with a footer and no header, and a Lyrics3 block of version 2.
QByteArray ApeWithoutHeader(const QByteArray& key, const QByteArray& value);
QByteArray Lyrics3v2(const QByteArray& lyrics);

// ID3v2 tags written byte by byte, as the test states them, with nothing
// of the program's own reader or writer.
namespace id3 {

// One frame: id, the two flag bytes (none in ID3v2.2) and the body; the size
// as the version writes it (syncsafe in ID3v2.4).
QByteArray Frame(int major, const QByteArray& id, const QByteArray& body, int flags = 0);
// A text frame's body: UTF-16 with a byte order mark (encoding 1), or as
// the bytes given after an encoding byte.
QByteArray Utf16(const QString& text);
QByteArray Text(char encoding, const QByteArray& bytes);
// A picture frame's body (APIC, or PIC in ID3v2.2): encoding 0, the MIME
// type (PIC: three letters), the picture type, a description, the picture.
QByteArray Picture(int major, const QByteArray& mime, int type, const QByteArray& picture,
                   const QByteArray& description = {});

struct Tag {
    int major = 3;
    unsigned char flags = 0;  // 0x80 unsynchronised, 0x40 extended header, 0x10 footer (ID3v2.4)
    QByteArray extended;      // as it stands before unsynchronisation
    QList<QByteArray> frames;
    int padding = 0;
};
// Header, body (unsynchronised as a whole in ID3v2.2 and 2.3 when flagged)
// and, in ID3v2.4 when flagged, the footer.
QByteArray Bytes(const Tag& tag);
// An ID3v2.3 extended header with a padding size and, when asked, the CRC of
// `frames`; an ID3v2.4 one with the CRC of `framesAndPadding`.
QByteArray Extended23(int padding, bool crc, const QByteArray& frames = {});
QByteArray Extended24(const QByteArray& framesAndPadding);
// A zero after every 0xFF followed by a zero or by 0xE0 or more, and after a
// last 0xFF.
QByteArray Unsynchronised(const QByteArray& bytes);

}  // namespace id3

}  // namespace media
