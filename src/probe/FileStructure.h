#pragma once
// What a container's own structure says about a file: whether every byte is
// accounted for (the encoder finished writing it), and where it keeps its
// cover pictures.
//
// The encoder can exit with success after failing to write the end of a file
// (a full disk while it writes the index), and a media library then still
// reads the header's duration. These readers walk the file's top-level layout
// instead: a file that was cut off anywhere does not add up.
#include "probe/Id3v2.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <utility>
#include <vector>

namespace probe {

// The first video track as its container describes it.
struct VideoTrack {
    bool found = false;
    // MP4 and QuickTime: the track's media ticks per second (0 elsewhere).
    long long timescale = 0;
    // The decoder configuration: the avcC or hvcC record of an MP4 sample
    // entry, or a Matroska track's CodecPrivate (the same records).
    QByteArray config;
};

// MP4 and QuickTime: top-level boxes from the first byte to the last.
struct Mp4Layout {
    bool readable = false;
    // The boxes chain exactly to the end of the file, a movie box exists and
    // its tracks' data lies in the file's media data boxes; a fragmented file
    // also ends with its fragment index, and every fragment it lists is there.
    bool complete = false;
    // Pictures in the item list's cover entry (moov/udta/meta/ilst/covr).
    int covers = 0;
    VideoTrack video;
    // The movie header's creation time in seconds since 1970 (0: not set).
    long long creationTime = 0;
    // Chapters: the entries of the chapter track or of a Nero chapter list.
    int chapters = 0;
    // The movie box comes before the first media data box (faststart).
    bool moovFirst = false;
    // Tracks by their place among the movie's tracks (the demuxer's stream
    // index): the chapter text tracks, and the timecode tracks.
    std::vector<int> chapterTracks;
    std::vector<int> timecodeTracks;
    // The metadata boxes a replacement keeps as they were, the cover items
    // left out: place and bytes, in file order (MovieBoxes.h).
    std::vector<std::pair<QByteArray, QByteArray>> metadata;
};
Mp4Layout ReadMp4Layout(const QString& path);

struct MatroskaAttachment {
    QString name;
    QString mime;
    long long dataOffset = 0;  // the file's bytes inside the container
    long long dataSize = 0;
};

// A track as its entry states it, each flag at its default where the entry
// leaves it out.
struct MatroskaTrack {
    int type = 0;  // 1 video, 2 audio, 17 subtitles...
    uint64_t uid = 0;
    // Its kind as the demuxer maps it and its place among the tracks of that
    // kind ("v0", "a1", "s0"): the same track in a result the encoder wrote.
    QString key;
    bool enabled = true, isDefault = true, forced = false;
    bool hearingImpaired = false, visualImpaired = false, textDescriptions = false, commentary = false;
    int original = -1;  // FlagOriginal; -1 when not stated
    QString language = QStringLiteral("eng");
    QString name;
};

// Matroska: the segment's stated size and its top-level elements.
struct MatroskaLayout {
    bool readable = false;
    // The segment has a known size, its elements fill it exactly and it ends
    // where the file ends.
    bool complete = false;
    std::vector<MatroskaAttachment> attachments;
    VideoTrack video;
    // The segment's DateUTC, in seconds since 1970, when it states one.
    bool hasDate = false;
    long long date = 0;
    // Chapter atoms of every edition, nested ones included.
    int chapters = 0;
    std::vector<MatroskaTrack> tracks;
    // The segment's title.
    bool hasTitle = false;
    QString title;
    // Every simple tag as one text: what it is aimed at ("level 50" and the
    // target type's name for the file, "track a1", "chapter 2", "edition 0",
    // "attachment font.ttf"), its name (a nested tag's with its parents'),
    // language, default flag and value, in file order (MatroskaMetadata.h).
    QStringList tags;
};
MatroskaLayout ReadMatroskaLayout(const QString& path);

// MP3: optional ID3v2 tags, MPEG audio frames, optional tags at the end (APE
// tags, Lyrics3 blocks, ID3v2 tags, an ID3v1 tag). A file that gets shorter
// while it is read reads as not readable.
struct Mp3Layout {
    bool readable = false;
    bool id3v2 = false;
    int id3v2Tags = 0;  // ID3v2 tags in front of the audio
    Id3Tag tag;         // the first of them, frame by frame
    bool id3v1 = false;
    bool ape = false;
    // No tag runs past the end of the file.
    bool tagsWhole = true;
    // A Xing, Info or VBRI header frame opens the audio.
    bool vbrHeader = false;
    // Whole audio frames (the header frame not counted), and the bytes of a
    // frame cut short at the end (0 when the last frame is whole).
    long long frames = 0;
    long long partialTail = 0;
    // The file's size; where the audio starts (after the ID3v2 tags in front)
    // and where the tags at the end start; the CRC-32 of the bytes between
    // and of the bytes after.
    long long size = 0;
    long long audioStart = 0;
    long long trailingStart = 0;
    uint32_t audioCrc = 0;
    uint32_t trailingCrc = 0;
};
Mp3Layout ReadMp3Layout(const QString& path);

}  // namespace probe
