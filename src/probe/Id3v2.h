#pragma once
// An ID3v2 tag read frame by frame as bytes, by the program's own reader.
//
// Tag libraries re-read and re-render what they understand, and stop or
// guess where they do not (extended headers, empty frames, unknown ids,
// dates and genres of one version written as another). Here a frame is only
// a header and a length: what the MP3 carrying keeps and the read-back
// compares is each frame's bytes, whatever they hold.
#include <QByteArray>
#include <cstddef>
#include <vector>

namespace probe {

struct Id3Frame {
    QByteArray id;  // "TIT2", "PIC": the header's id as stored
    // Where the frame stands in the tag as stored, from the tag's first
    // byte, header included (and a zero byte the tag's unsynchronisation
    // put after its last byte).
    long long at = 0, length = 0;
    // The frame, header included, with the tag's own unsynchronisation
    // (ID3v2.2 and 2.3) undone: what two tags are compared by.
    QByteArray bytes;
};

struct Id3Tag {
    bool found = false;
    // Every frame ends inside the tag and nothing but zeros follows the last.
    bool walkable = false;
    int major = 0, revision = 0;
    unsigned char flags = 0;
    QByteArray raw;        // the whole tag as stored: header, body, footer
    QByteArray extended;   // the extended header, unsynchronisation undone
    long long padding = 0;  // zeros after the frames, as stored
    std::vector<Id3Frame> frames;

    // The whole tag's unsynchronisation (ID3v2.2 and 2.3; in ID3v2.4 the
    // flag says every frame carries its own).
    bool unsynchronised() const { return (flags & 0x80) != 0; }
    bool hasFooter() const { return major == 4 && (flags & 0x10) != 0; }
    int frameHeaderLength() const { return major == 2 ? 6 : 10; }
};

// The tag whose bytes, header to footer, are `tag`; not found when they do
// not start with an ID3v2 header of versions 2 to 4.
Id3Tag ReadId3v2(const QByteArray& tag);

// A picture frame's fields (APIC, or PIC in ID3v2.2), its own
// unsynchronisation and compression undone; not readable for other frames,
// encrypted ones and ones cut short.
struct Id3Picture {
    bool readable = false;
    int type = -1;
    QByteArray mime;  // APIC's MIME type; PIC's three-letter format
    QByteArray data;
};
Id3Picture PictureOf(const Id3Tag& tag, const Id3Frame& frame);

// The frames that are the file's cover, in tag order: every picture of type
// 3 (front cover); where there is none, the first of type 0 ("other"), as
// ffmpeg writes covers.
std::vector<size_t> CoverFrames(const Id3Tag& tag);

// Unsynchronisation as ID3v2 defines it: a zero after every 0xFF that is
// followed by a zero or by 0xE0 or more, and after a last 0xFF.
QByteArray Unsynchronise(const QByteArray& bytes);

// Syncsafe numbers: seven bits a byte.
long long Syncsafe(const unsigned char* p, int bytes = 4);

}  // namespace probe
