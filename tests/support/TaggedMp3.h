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

}  // namespace media
