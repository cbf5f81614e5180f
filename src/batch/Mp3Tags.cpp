#include "batch/Mp3Tags.h"

#include "platform/FileOps.h"

#include <QFile>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

namespace mp3tags {

namespace {

// What a tag's size field can state.
constexpr long long kLargestTag = (1LL << 28) - 1;
// Room a new tag leaves for later edits.
constexpr int kNewTagPadding = 1024;

QByteArray be32(long long v) {
    QByteArray b(4, '\0');
    for (int i = 0; i < 4; ++i) b[i] = static_cast<char>((v >> (8 * (3 - i))) & 0xFF);
    return b;
}

QByteArray syncsafe(long long v, int bytes) {
    QByteArray b(bytes, '\0');
    for (int i = 0; i < bytes; ++i) b[i] = static_cast<char>((v >> (7 * (bytes - 1 - i))) & 0x7F);
    return b;
}

unsigned long crcOf(const QByteArray& b, unsigned long crc = ::crc32(0, nullptr, 0)) {
    return ::crc32(crc, reinterpret_cast<const Bytef*>(b.constData()), static_cast<uInt>(b.size()));
}

// ID3v2.2 names a picture's format in three letters.
QByteArray formatOf(const QByteArray& mime) {
    const QByteArray type = mime.mid(mime.indexOf('/') + 1).toUpper();
    if (type == "JPEG" || type == "JPG") return "JPG";
    return (type + "XXX").left(3);
}

// One front cover frame: Latin-1, no description. In an ID3v2.4 tag whose
// frames are all unsynchronised it is unsynchronised as well.
QByteArray pictureFrame(int major, bool unsynchronisedFrames, const QByteArray& mime, const QByteArray& picture) {
    QByteArray body(1, '\0');
    body += major == 2 ? formatOf(mime) : mime + '\0';
    body += '\x03';
    body += '\0';
    body += picture;
    if (major == 2) {
        if (body.size() > 0xFFFFFF) return {};
        return "PIC" + be32(body.size()).mid(1) + body;
    }
    const bool unsync = major == 4 && unsynchronisedFrames;
    if (unsync) body = probe::Unsynchronise(body);
    if (body.size() > kLargestTag) return {};
    return "APIC" + (major == 4 ? syncsafe(body.size(), 4) : be32(body.size())) + '\0' + (unsync ? '\x02' : '\0') +
           body;
}

bool isPicture(const probe::Id3Tag& tag, const probe::Id3Frame& f) { return f.id == (tag.major == 2 ? "PIC" : "APIC"); }

QByteArray header(const char* magic, int major, int revision, unsigned char flags, long long bodyLength) {
    QByteArray h(magic, 3);
    h += static_cast<char>(major);
    h += static_cast<char>(revision);
    h += static_cast<char>(flags);
    return h + syncsafe(bodyLength, 4);
}

// The extended header with the padding size and CRC of the new tag. ID3v2.3
// sums the frames before unsynchronisation; ID3v2.4 the frames and padding.
QByteArray extendedHeader(const probe::Id3Tag& tag, const QByteArray& plainFrames, const QByteArray& frames,
                          long long padding) {
    QByteArray ext = tag.extended;
    if (ext.isEmpty()) return ext;
    if (tag.major == 3) {
        // size, flags, padding size, then the CRC where the flags say so
        if (ext.size() >= 10) ext.replace(6, 4, be32(padding));
        if ((ext[4] & 0x80) && ext.size() >= 14) ext.replace(10, 4, be32(static_cast<long long>(crcOf(plainFrames))));
        return tag.unsynchronised() ? probe::Unsynchronise(ext) : ext;
    }
    // size, flag bytes (1), flags, then a length and data for each flag set:
    // "update", CRC, restrictions
    const unsigned char flags = static_cast<unsigned char>(ext[5]);
    if (!(flags & 0x20)) return ext;
    int at = 6;
    if (flags & 0x40) at += 1 + static_cast<unsigned char>(ext[at]);
    if (at + 6 > ext.size() || ext[at] != 5) return ext;
    unsigned long crc = crcOf(frames);
    const QByteArray zeros(64 * 1024, '\0');
    for (long long left = padding; left > 0; left -= zeros.size())
        crc = crcOf(zeros.left(static_cast<int>(std::min<long long>(left, zeros.size()))), crc);
    ext.replace(at + 1, 5, syncsafe(static_cast<long long>(crc), 5));
    return ext;
}

// A file for the result beside `output`, written whole before it takes its name.
bool writeBeside(const QString& output, const std::function<bool(int fd)>& write) {
    const fileops::WorkFile work = fileops::CreateWorkFile(fileops::FolderOf(output));
    if (work.fd < 0) return false;
    bool written = write(work.fd);
    // The permissions the encoder's file was given, not the work file's.
    struct stat st;
    if (written && ::stat(QFile::encodeName(output).constData(), &st) == 0) ::fchmod(work.fd, st.st_mode & 07777);
    written = ::close(work.fd) == 0 && written;
    if (!written || std::rename(QFile::encodeName(work.path).constData(), QFile::encodeName(output).constData()) != 0) {
        fileops::DeleteFile(work.path);
        return false;
    }
    return true;
}

}  // namespace

QByteArray TagWithCover(const probe::Id3Tag& source, const QByteArray& mime, const QByteArray& picture) {
    if (!source.found) {
        const QByteArray frame = pictureFrame(3, false, mime, picture);
        if (frame.isEmpty() || frame.size() + kNewTagPadding > kLargestTag) return {};
        return header("ID3", 3, 0, 0, frame.size() + kNewTagPadding) + frame + QByteArray(kNewTagPadding, '\0');
    }
    if (!source.walkable) return {};
    const QByteArray frame = pictureFrame(source.major, source.unsynchronised(), mime, picture);
    if (frame.isEmpty()) return {};
    const bool wholeUnsync = source.unsynchronised() && source.major <= 3;

    // The new cover where the first old one stood, else where the first
    // picture stands, else last.
    const std::vector<size_t> covers = probe::CoverFrames(source);
    const size_t count = source.frames.size();
    size_t place = count;
    if (!covers.empty()) {
        place = covers.front();
    } else {
        for (size_t i = 0; i < count && place == count; ++i)
            if (isPicture(source, source.frames[i])) place = i;
    }
    QByteArray frames;  // as stored
    QByteArray plain;   // unsynchronisation undone
    for (size_t i = 0; i <= count; ++i) {
        if (i == place) {
            frames += wholeUnsync ? probe::Unsynchronise(frame) : frame;
            plain += frame;
        }
        if (i == count) break;
        if (std::find(covers.begin(), covers.end(), i) != covers.end()) continue;
        const probe::Id3Frame& f = source.frames[i];
        frames += source.raw.mid(static_cast<int>(f.at), static_cast<int>(f.length));
        plain += f.bytes;
    }
    // A last 0xFF is followed by a zero, so that no reader takes it and what
    // follows for a sync.
    if (wholeUnsync && frames.endsWith('\xFF')) frames += '\0';

    const bool footer = source.hasFooter();
    const long long oldBody = source.raw.size() - 10 - (footer ? 10 : 0);
    const long long bare = extendedHeader(source, plain, frames, 0).size() + frames.size();
    // A footer leaves no room for padding.
    const long long padding = footer ? 0 : bare <= oldBody ? oldBody - bare : source.padding;
    const QByteArray body =
        extendedHeader(source, plain, frames, padding) + frames + QByteArray(static_cast<int>(padding), '\0');
    if (body.size() > kLargestTag) return {};
    QByteArray tag = header("ID3", source.major, source.revision, source.flags, body.size()) + body;
    if (footer) tag += header("3DI", source.major, source.revision, source.flags, body.size());
    return tag;
}

bool CarryOver(const QString& source, const probe::Mp3Layout& layout, const QString& output, bool trimmed) {
    if (!layout.readable || !layout.tagsWhole || layout.id3v2Tags > 1 || (layout.id3v2 && !layout.tag.walkable))
        return false;

    // The picture as the encoder took it in: its one front cover.
    const probe::Mp3Layout encoded = probe::ReadMp3Layout(output);
    if (!encoded.readable || !encoded.tagsWhole || !encoded.tag.walkable) return false;
    probe::Id3Picture cover;
    int fronts = 0;
    for (const probe::Id3Frame& f : encoded.tag.frames) {
        const probe::Id3Picture p = probe::PictureOf(encoded.tag, f);
        if (p.readable && p.type == 3) cover = p, ++fronts;
    }
    if (fronts != 1) return false;
    const QByteArray tag = TagWithCover(layout.tag, cover.mime, cover.data);
    if (tag.isEmpty()) return false;

    // The source must still hold the tag its layout was read from.
    fileops::Pread in(source);
    if (!in.opened() || in.size() != layout.size || in.bytes(0, layout.audioStart) != layout.tag.raw) return false;
    return writeBeside(output, [&](int fd) {
        if (!fileops::WriteAll(fd, tag.constData(), tag.size())) return false;
        if (!trimmed) return fileops::CopyRange(in, layout.audioStart, layout.size - layout.audioStart, fd);
        // The encoder's audio without its own tags, then the source's tags at the end.
        fileops::Pread audio(output);
        return audio.opened() && audio.size() == encoded.size &&
               fileops::CopyRange(audio, encoded.audioStart, encoded.trailingStart - encoded.audioStart, fd) &&
               fileops::CopyRange(in, layout.trailingStart, layout.size - layout.trailingStart, fd);
    });
}

}  // namespace mp3tags
