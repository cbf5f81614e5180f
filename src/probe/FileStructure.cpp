#include "probe/FileStructure.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <limits>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

namespace probe {

namespace {

// Reads exactly n bytes at offset; empty when the file has fewer.
QByteArray readAt(QFile& f, long long offset, long long n) {
    if (offset < 0 || n < 0 || !f.seek(offset)) return {};
    QByteArray b = f.read(n);
    return b.size() == n ? b : QByteArray();
}

uint32_t be32(const char* p) {
    const auto* u = reinterpret_cast<const unsigned char*>(p);
    return (uint32_t(u[0]) << 24) | (uint32_t(u[1]) << 16) | (uint32_t(u[2]) << 8) | uint32_t(u[3]);
}

uint64_t be64(const char* p) { return (uint64_t(be32(p)) << 32) | be32(p + 4); }

// ------------------------------------------------------------------- MP4

struct Box {
    QByteArray type;
    long long start = 0;    // of the header
    long long payload = 0;  // first byte after the header
    long long end = 0;      // one past the last byte
};

// The box whose header starts at `at` inside [at, limit); false when it does
// not fit. A size of 0 runs to the limit.
bool boxAt(const QByteArray& data, long long at, long long limit, Box& box) {
    if (at + 8 > limit) return false;
    const char* p = data.constData() + at;
    uint64_t size = be32(p);
    long long header = 8;
    if (size == 1) {
        if (at + 16 > limit) return false;
        size = be64(p + 8);
        header = 16;
    } else if (size == 0) {
        size = static_cast<uint64_t>(limit - at);
    }
    if (size < static_cast<uint64_t>(header) || size > static_cast<uint64_t>(limit - at)) return false;
    box = {QByteArray(p + 4, 4), at, at + header, at + static_cast<long long>(size)};
    return true;
}

// Children of [from, to) in memory; stops at the first that does not fit.
std::vector<Box> childrenOf(const QByteArray& data, long long from, long long to) {
    std::vector<Box> boxes;
    Box b;
    while (from < to && boxAt(data, from, to, b)) {
        boxes.push_back(b);
        from = b.end;
    }
    return boxes;
}

const Box* find(const std::vector<Box>& boxes, const char* type) {
    for (const Box& b : boxes)
        if (b.type == type) return &b;
    return nullptr;
}

// moov is read into memory (its tables are small next to the media); the
// cover sits in udta/meta/ilst/covr, or in meta/ilst/covr of moov itself.
int coversIn(const QByteArray& moov) {
    const std::vector<Box> top = childrenOf(moov, 8, moov.size());
    std::vector<Box> metas;
    if (const Box* udta = find(top, "udta")) {
        const std::vector<Box> inUdta = childrenOf(moov, udta->payload, udta->end);
        if (const Box* meta = find(inUdta, "meta")) metas.push_back(*meta);
    }
    if (const Box* meta = find(top, "meta")) metas.push_back(*meta);
    int covers = 0;
    for (const Box& meta : metas) {
        // ISO meta boxes carry a version and flags; QuickTime's do not.
        long long first = meta.payload;
        if (first + 8 <= meta.end && std::memcmp(moov.constData() + first + 4, "hdlr", 4) != 0) first += 4;
        const std::vector<Box> inMeta = childrenOf(moov, first, meta.end);
        if (const Box* ilst = find(inMeta, "ilst"))
            for (const Box& item : childrenOf(moov, ilst->payload, ilst->end))
                if (item.type == "covr")
                    for (const Box& d : childrenOf(moov, item.payload, item.end)) covers += d.type == "data";
    }
    return covers;
}

// The first track whose handler is 'vide': its media timescale, and the
// configuration box of its first sample entry.
VideoTrack videoTrackIn(const QByteArray& moov) {
    VideoTrack v;
    for (const Box& trak : childrenOf(moov, 8, moov.size())) {
        if (trak.type != "trak") continue;
        const std::vector<Box> inTrak = childrenOf(moov, trak.payload, trak.end);
        const Box* mdia = find(inTrak, "mdia");
        if (!mdia) continue;
        const std::vector<Box> inMdia = childrenOf(moov, mdia->payload, mdia->end);
        const Box* hdlr = find(inMdia, "hdlr");
        // version and flags, pre_defined, then the handler type
        if (!hdlr || hdlr->end - hdlr->payload < 12 ||
            std::memcmp(moov.constData() + hdlr->payload + 8, "vide", 4) != 0)
            continue;
        v.found = true;
        const Box* mdhd = find(inMdia, "mdhd");
        if (mdhd && mdhd->end > mdhd->payload) {
            const char* p = moov.constData() + mdhd->payload;
            const long long at = p[0] == 1 ? 20 : 12;  // after the creation and modification times
            if (mdhd->payload + at + 4 <= mdhd->end) v.timescale = be32(p + at);
        }
        const Box* minf = find(inMdia, "minf");
        const std::vector<Box> inMinf = minf ? childrenOf(moov, minf->payload, minf->end) : std::vector<Box>();
        const Box* stbl = find(inMinf, "stbl");
        const std::vector<Box> inStbl = stbl ? childrenOf(moov, stbl->payload, stbl->end) : std::vector<Box>();
        const Box* stsd = find(inStbl, "stsd");
        Box entry;
        // version, flags and entry count, then the first visual sample entry,
        // whose boxes follow its 78 bytes of fixed fields
        if (stsd && boxAt(moov, stsd->payload + 8, stsd->end, entry) && entry.payload + 78 <= entry.end)
            for (const Box& b : childrenOf(moov, entry.payload + 78, entry.end))
                if (b.type == "avcC" || b.type == "hvcC") v.config = moov.mid(b.payload, b.end - b.payload);
        return v;
    }
    return v;
}

// ------------------------------------------------------------- Matroska

constexpr uint32_t kEbml = 0x1A45DFA3;
constexpr uint32_t kSegment = 0x18538067;
constexpr uint32_t kAttachments = 0x1941A469;
constexpr uint32_t kAttachedFile = 0x61A7;
constexpr uint32_t kFileName = 0x466E;
constexpr uint32_t kFileMime = 0x4660;
constexpr uint32_t kFileData = 0x465C;
constexpr uint32_t kTracks = 0x1654AE6B;
constexpr uint32_t kTrackEntry = 0xAE;
constexpr uint32_t kTrackType = 0x83;
constexpr uint32_t kCodecPrivate = 0x63A2;
constexpr uint32_t kVoid = 0xEC;
constexpr uint32_t kCrc32 = 0xBF;

struct Element {
    uint32_t id = 0;
    long long payload = 0;
    long long size = -1;  // -1: unknown
    long long end() const { return size < 0 ? -1 : payload + size; }
};

// Element header at `at`: an id of 1 to 4 bytes (marker kept) and a size of
// 1 to 8 bytes (marker dropped, all ones meaning unknown).
bool elementAt(QFile& f, long long at, Element& e) {
    const QByteArray head = readAt(f, at, qMin<long long>(12, f.size() - at));
    if (head.isEmpty()) return false;
    const auto* u = reinterpret_cast<const unsigned char*>(head.constData());
    const int n = head.size();
    int idLen = 1;
    while (idLen <= 4 && !(u[0] & (0x80 >> (idLen - 1)))) ++idLen;
    if (idLen > 4 || idLen >= n) return false;
    uint32_t id = 0;
    for (int i = 0; i < idLen; ++i) id = (id << 8) | u[i];
    const unsigned char first = u[idLen];
    int sizeLen = 1;
    while (sizeLen <= 8 && !(first & (0x80 >> (sizeLen - 1)))) ++sizeLen;
    if (sizeLen > 8 || idLen + sizeLen > n) return false;
    uint64_t size = first & (0xFF >> sizeLen);
    bool allOnes = size == (0xFFu >> sizeLen);
    for (int i = 1; i < sizeLen; ++i) {
        size = (size << 8) | u[idLen + i];
        allOnes = allOnes && u[idLen + i] == 0xFF;
    }
    e.id = id;
    e.payload = at + idLen + sizeLen;
    e.size = allOnes ? -1 : static_cast<long long>(size);
    return true;
}

QString utf8At(QFile& f, const Element& e) {
    if (e.size < 0 || e.size > 4096) return {};
    QByteArray b = readAt(f, e.payload, e.size);
    while (b.endsWith('\0')) b.chop(1);
    return QString::fromUtf8(b);
}

std::vector<MatroskaAttachment> attachmentsIn(QFile& f, const Element& list) {
    std::vector<MatroskaAttachment> out;
    for (long long at = list.payload; at < list.end();) {
        Element file;
        if (!elementAt(f, at, file) || file.size < 0 || file.end() > list.end()) break;
        if (file.id == kAttachedFile) {
            MatroskaAttachment a;
            for (long long p = file.payload; p < file.end();) {
                Element part;
                if (!elementAt(f, p, part) || part.size < 0 || part.end() > file.end()) break;
                if (part.id == kFileName) a.name = utf8At(f, part);
                if (part.id == kFileMime) a.mime = utf8At(f, part);
                if (part.id == kFileData) a.dataOffset = part.payload, a.dataSize = part.size;
                p = part.end();
            }
            out.push_back(a);
        }
        at = file.end();
    }
    return out;
}

// The first track of type 1 (video) and its CodecPrivate.
VideoTrack videoTrackIn(QFile& f, const Element& tracks) {
    VideoTrack v;
    for (long long at = tracks.payload; at < tracks.end();) {
        Element entry;
        if (!elementAt(f, at, entry) || entry.size < 0 || entry.end() > tracks.end()) break;
        if (entry.id == kTrackEntry) {
            bool video = false;
            QByteArray config;
            for (long long p = entry.payload; p < entry.end();) {
                Element part;
                if (!elementAt(f, p, part) || part.size < 0 || part.end() > entry.end()) break;
                if (part.id == kTrackType && part.size >= 1 && part.size <= 8) {
                    const QByteArray b = readAt(f, part.payload, part.size);
                    video = !b.isEmpty() && b.back() == 1 && b.count('\0') == b.size() - 1;
                }
                if (part.id == kCodecPrivate && part.size <= (1 << 20)) config = readAt(f, part.payload, part.size);
                p = part.end();
            }
            if (video) {
                v.found = true;
                v.config = config;
                return v;
            }
        }
        at = entry.end();
    }
    return v;
}

// ------------------------------------------------------------------ MP3

// Length and samples of the MPEG audio frame whose header is h; 0 when h is
// no frame header.
struct FrameInfo {
    int length = 0;
    int sideInfo = 0;  // bytes of side information after the header (layer III)
};

FrameInfo frameOf(const unsigned char* h) {
    FrameInfo fi;
    if (h[0] != 0xFF || (h[1] & 0xE0) != 0xE0) return fi;
    const int version = (h[1] >> 3) & 3;  // 0: 2.5, 2: 2, 3: 1
    const int layer = (h[1] >> 1) & 3;    // 1: III, 2: II, 3: I
    const int rateIndex = (h[2] >> 4) & 15;
    const int srIndex = (h[2] >> 2) & 3;
    const int padding = (h[2] >> 1) & 1;
    if (version == 1 || layer == 0 || rateIndex == 0 || rateIndex == 15 || srIndex == 3) return fi;
    static const int kRates[2][3][15] = {
        {{0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
         {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
         {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320}},
        {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
         {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
         {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160}}};
    static const int kSampleRates[3] = {44100, 48000, 32000};
    const bool mpeg1 = version == 3;
    const int layerIndex = 3 - layer;  // 0: I, 1: II, 2: III
    const int kbps = kRates[mpeg1 ? 0 : 1][layerIndex][rateIndex];
    int rate = kSampleRates[srIndex];
    if (version == 2) rate /= 2;
    if (version == 0) rate /= 4;
    if (layerIndex == 0) {
        fi.length = (12 * kbps * 1000 / rate + padding) * 4;
    } else {
        const int coeff = (layerIndex == 2 && !mpeg1) ? 72 : 144;
        fi.length = coeff * kbps * 1000 / rate + padding;
    }
    if (layerIndex == 2) {
        const bool mono = ((h[3] >> 6) & 3) == 3;
        fi.sideInfo = mpeg1 ? (mono ? 17 : 32) : (mono ? 9 : 17);
    }
    return fi;
}

long long syncsafe(const unsigned char* p) { return (p[0] & 0x7F) << 21 | (p[1] & 0x7F) << 14 | (p[2] & 0x7F) << 7 | (p[3] & 0x7F); }

// The picture frames of an ID3v2 tag (without its ten-byte header).
std::vector<int> pictureTypesIn(const QByteArray& tag, int major) {
    std::vector<int> types;
    const auto* u = reinterpret_cast<const unsigned char*>(tag.constData());
    const long long n = tag.size();
    const int idLen = major == 2 ? 3 : 4;
    const int headLen = major == 2 ? 6 : 10;
    for (long long at = 0; at + headLen <= n;) {
        if (u[at] == 0) break;  // padding
        long long size = 0;
        if (major == 2) size = (u[at + 3] << 16) | (u[at + 4] << 8) | u[at + 5];
        else if (major == 4) size = syncsafe(u + at + 4);
        else size = be32(tag.constData() + at + 4);
        const long long body = at + headLen;
        if (size < 0 || body + size > n) break;
        const QByteArray id(tag.constData() + at, idLen);
        if (id == "APIC" && size >= 2) {
            // encoding, MIME type up to its NUL, then the picture type
            long long p = body + 1;
            while (p < body + size && u[p] != 0) ++p;
            if (p + 1 < body + size) types.push_back(u[p + 1]);
        } else if (id == "PIC" && size >= 5) {
            types.push_back(u[body + 4]);
        }
        at = body + size;
    }
    return types;
}

// A file read through pread at stated offsets: a file cut short while it is
// read gives a short read, which the reader reports, never a fault.
class Pread {
public:
    explicit Pread(const QString& path) : fd_(::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC)) {
        struct stat st;
        if (fd_ >= 0 && ::fstat(fd_, &st) == 0) size_ = st.st_size;
    }
    ~Pread() {
        if (fd_ >= 0) ::close(fd_);
    }
    Pread(const Pread&) = delete;
    Pread& operator=(const Pread&) = delete;

    bool opened() const { return fd_ >= 0 && size_ >= 0; }
    // The size when it was opened: what the file must still hold at the end.
    long long size() const { return size_; }
    // False once a read fell short of what the file held when opened.
    bool intact() const { return intact_; }

    // Exactly n bytes at `at` into `to`; false (and not intact) when fewer came.
    bool read(long long at, long long n, unsigned char* to) {
        if (at < 0 || n < 0 || at + n > size_) return false;
        while (n > 0) {
            const ssize_t got = ::pread(fd_, to, static_cast<size_t>(n), at);
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) {
                intact_ = false;
                return false;
            }
            to += got;
            at += got;
            n -= got;
        }
        return true;
    }
    QByteArray bytes(long long at, long long n) {
        if (at < 0 || n < 0 || at + n > size_ || n > std::numeric_limits<int>::max()) return {};
        QByteArray b(static_cast<int>(n), Qt::Uninitialized);
        return read(at, n, reinterpret_cast<unsigned char*>(b.data())) ? b : QByteArray();
    }

private:
    int fd_ = -1;
    long long size_ = -1;
    bool intact_ = true;
};

// The bytes of [from, to) read once each, in order, a megabyte at a time, and
// summed as they come; a window of the last megabyte stays readable.
class Region {
public:
    Region(Pread& file, long long from, long long to) : file_(file), start_(from), end_(from), to_(to) {}

    // Bytes [at, at + n) for n up to a megabyte, at no earlier than the
    // window; null past the region's end or when the file fell short.
    const unsigned char* bytes(long long at, long long n) {
        if (at < start_ || at + n > to_) return nullptr;
        while (at + n > end_)
            if (!loadNext()) return nullptr;
        return buffer_.data() + (at - start_);
    }
    // Reads the rest; false when the file fell short.
    bool finish() {
        while (end_ < to_)
            if (!loadNext()) return false;
        return true;
    }
    uint32_t crc() const { return static_cast<uint32_t>(crc_); }

private:
    static constexpr long long kChunk = 1 << 20;
    bool loadNext() {
        const long long n = std::min(kChunk, to_ - end_);
        if (n <= 0) return false;
        const long long keep = std::min<long long>(kChunk, end_ - start_);
        buffer_.erase(buffer_.begin(), buffer_.end() - keep);
        start_ = end_ - keep;
        buffer_.resize(static_cast<size_t>(keep + n));
        if (!file_.read(end_, n, buffer_.data() + keep)) return false;
        crc_ = ::crc32(crc_, buffer_.data() + keep, static_cast<uInt>(n));
        end_ += n;
        return true;
    }

    Pread& file_;
    long long start_, end_, to_;
    std::vector<unsigned char> buffer_;
    uLong crc_ = ::crc32(0, nullptr, 0);
};

uint32_t le32(const unsigned char* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

// The whole length of the ID3v2 tag whose ten-byte header is at p, its
// footer included; 0 when p holds no such header.
long long id3v2Length(const unsigned char* p) {
    if (std::memcmp(p, "ID3", 3) != 0 || p[3] < 2 || p[3] > 4 || p[4] == 0xFF) return 0;
    for (int i = 6; i < 10; ++i)
        if (p[i] & 0x80) return 0;
    const bool footer = p[3] == 4 && (p[5] & 0x10);
    return 10 + syncsafe(p + 6) + (footer ? 10 : 0);
}

// The whole length of the APE tag whose 32-byte header or footer is at p: its
// items and footer, and its header where it has one; 0 when p holds neither.
long long apeLength(const unsigned char* p) {
    if (std::memcmp(p, "APETAGEX", 8) != 0) return 0;
    const long long size = le32(p + 12);  // items and footer
    if (size < 32) return 0;
    return size + ((le32(p + 20) & 0x80000000u) ? 32 : 0);
}

// The length of an ID3v2 tag or an APE tag (by its header) that starts at
// `at` before `end`; 0 when none does.
long long tagLengthAt(Region& region, long long at, long long end, unsigned char first) {
    if (first == 'I' && at + 10 <= end) {
        const unsigned char* p = region.bytes(at, 10);
        return p ? id3v2Length(p) : 0;
    }
    if (first == 'A' && at + 32 <= end) {
        const unsigned char* p = region.bytes(at, 32);
        // A header says so in its flags; a footer here ends a tag that began earlier.
        return p && (le32(p + 20) & 0x20000000u) ? apeLength(p) : 0;
    }
    return 0;
}

}  // namespace

Mp4Layout ReadMp4Layout(const QString& path) {
    Mp4Layout out;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return out;
    out.readable = true;
    const long long size = f.size();
    bool moov = false;
    long long at = 0;
    while (at < size) {
        // A box that runs past the end means the file was cut off.
        const QByteArray h = readAt(f, at, qMin<long long>(16, size - at));
        Box b;
        if (!boxAt(h, 0, size - at, b)) return out;
        if (b.type == "moov") {
            moov = true;
            if (b.end - b.start <= (64 << 20)) {
                const QByteArray box = readAt(f, at, b.end - b.start);
                out.covers = coversIn(box);
                out.video = videoTrackIn(box);
            }
        }
        at += b.end - b.start;
    }
    out.complete = moov && at == size;
    return out;
}

MatroskaLayout ReadMatroskaLayout(const QString& path) {
    MatroskaLayout out;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return out;
    const long long size = f.size();
    Element ebml, segment;
    if (!elementAt(f, 0, ebml) || ebml.id != kEbml || ebml.size < 0) return out;
    if (!elementAt(f, ebml.end(), segment) || segment.id != kSegment) return out;
    out.readable = true;
    const long long end = segment.size < 0 ? size : qMin(segment.end(), size);
    long long at = segment.payload;
    bool filled = true;
    while (at < end) {
        Element e;
        if (!elementAt(f, at, e) || e.size < 0 || e.end() > end) {
            filled = false;
            break;
        }
        if (e.id == kAttachments) out.attachments = attachmentsIn(f, e);
        if (e.id == kTracks && !out.video.found) out.video = videoTrackIn(f, e);
        at = e.end();
    }
    out.complete = segment.size >= 0 && segment.end() == size && filled && at == end;
    return out;
}

Mp3Layout ReadMp3Layout(const QString& path) {
    Mp3Layout out;
    // Read rather than mapped: a mapped file that another program shortens
    // faults on the first page past its new end.
    Pread file(path);
    if (!file.opened()) return out;
    out.readable = true;
    const long long n = file.size();
    out.size = n;
    long long at = 0;
    // ID3v2 tags (sometimes more than one) before the audio.
    for (;;) {
        const QByteArray head = file.bytes(at, 10);
        if (head.isEmpty()) break;
        const auto* h = reinterpret_cast<const unsigned char*>(head.constData());
        const long long length = id3v2Length(h);
        if (length == 0) break;
        if (at + length > n) {
            if (!file.intact()) return {};
            out.tagsWhole = false;
            return out;
        }
        out.id3v2 = true;
        ++out.id3v2Tags;
        if (!(h[5] & 0x80)) {  // not unsynchronised
            const long long body = syncsafe(h + 6);
            const QByteArray tag = file.bytes(at + 10, body);
            if (tag.size() != body) return {};
            const auto types = pictureTypesIn(tag, h[3]);
            out.pictureTypes.insert(out.pictureTypes.end(), types.begin(), types.end());
        }
        at += length;
    }
    out.audioStart = at;

    // Tags after the audio, peeled off from the end: ID3v1, then APE tags and
    // ID3v2 tags with a footer in any order.
    long long end = n;
    if (end - at >= 128 && file.bytes(end - 128, 3) == "TAG") {
        out.id3v1 = true;
        end -= 128;
    }
    for (;;) {
        if (end - at >= 32) {
            const QByteArray foot = file.bytes(end - 32, 32);
            const long long length = foot.isEmpty() ? 0 : apeLength(reinterpret_cast<const unsigned char*>(foot.constData()));
            if (length > 0 && end - length >= at) {
                out.ape = true;
                end -= length;
                continue;
            }
        }
        if (end - at >= 20) {
            const QByteArray foot = file.bytes(end - 10, 10);
            if (foot.startsWith("3DI")) {
                QByteArray asHeader = foot;
                asHeader.replace(0, 3, "ID3");
                const long long length = id3v2Length(reinterpret_cast<const unsigned char*>(asHeader.constData()));
                const QByteArray head = length > 0 && end - length >= at ? file.bytes(end - length, 10) : QByteArray();
                if (!head.isEmpty() && id3v2Length(reinterpret_cast<const unsigned char*>(head.constData())) == length) {
                    end -= length;
                    continue;
                }
            }
        }
        break;
    }
    if (!file.intact()) return {};
    out.trailingStart = end;

    Region audio(file, at, end);
    bool first = true;
    while (at + 4 <= end) {
        const unsigned char* h = audio.bytes(at, 4);
        if (!h) break;
        const FrameInfo fi = frameOf(h);
        if (fi.length == 0) {
            // A tag amid the audio is stepped over whole; one that runs past
            // the end is the start of a tag the file was cut in.
            const long long length = tagLengthAt(audio, at, end, h[0]);
            if (length > 0 && at + length > end) {
                out.tagsWhole = false;
                break;
            }
            if (length > 0) {
                out.ape = out.ape || h[0] == 'A';
                at += length;
            } else {
                ++at;  // not a frame: look for the next one
            }
            continue;
        }
        if (at + fi.length > end) {
            out.partialTail = end - at;
            break;
        }
        const unsigned char* u = audio.bytes(at, fi.length);
        if (!u) break;
        bool header = false;
        if (first) {
            const long long tagAt = 4 + fi.sideInfo;
            header = (tagAt + 4 <= fi.length &&
                      (std::memcmp(u + tagAt, "Xing", 4) == 0 || std::memcmp(u + tagAt, "Info", 4) == 0)) ||
                     (40 <= fi.length && std::memcmp(u + 36, "VBRI", 4) == 0);
            out.vbrHeader = header;
            first = false;
        }
        if (!header) ++out.frames;
        at += fi.length;
    }
    Region trailing(file, end, n);
    if (!audio.finish() || !trailing.finish() || !file.intact()) return {};
    out.audioCrc = audio.crc();
    out.trailingCrc = trailing.crc();
    return out;
}

HevcParameterSets ReadHevcParameterSets(const QByteArray& hvcC) {
    HevcParameterSets out;
    const auto* u = reinterpret_cast<const unsigned char*>(hvcC.constData());
    const long long n = hvcC.size();
    // 22 bytes of profile, level and format fields, then the array count.
    if (n < 23 || u[0] != 1) return {};
    const int lengthSize = (u[21] & 3) + 1;
    long long at = 23;
    for (int array = 0; array < u[22]; ++array) {
        if (at + 3 > n) return {};
        const int type = u[at] & 0x3F;
        const int count = (u[at + 1] << 8) | u[at + 2];
        at += 3;
        for (int i = 0; i < count; ++i) {
            if (at + 2 > n) return {};
            const int length = (u[at] << 8) | u[at + 1];
            if (at + 2 + length > n) return {};
            if (type >= 32 && type <= 34) out.units.push_back(hvcC.mid(at + 2, length));
            at += 2 + length;
        }
    }
    out.nalLengthSize = lengthSize;
    return out;
}

}  // namespace probe
