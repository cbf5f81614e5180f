#include "probe/FileStructure.h"
#include "platform/FileOps.h"
#include "probe/ContainerBytes.h"
#include "probe/MatroskaMetadata.h"
#include "probe/MovieBoxes.h"

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

using namespace bytes;

namespace {

// ------------------------------------------------------------------- MP4

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

// The movie header's creation time, as the demuxer reads it: seconds since
// 1904, or since 1970 from writers that got the epoch wrong.
long long creationTimeIn(const QByteArray& moov, const std::vector<Box>& top) {
    const Box* mvhd = find(top, "mvhd");
    if (!mvhd || mvhd->end - mvhd->payload < 12) return 0;
    const char* p = moov.constData() + mvhd->payload;
    long long t = 0;
    if (p[0] == 1) {
        t = static_cast<long long>(be64(p + 4) & 0x3FFFFFFFFFFFFFFFULL);
    } else {
        t = be32(p + 4);
    }
    constexpr long long kFrom1904 = 2082844800LL;
    return t >= kFrom1904 ? t - kFrom1904 : t;
}

// Entries of a Nero chapter list (moov/udta/chpl).
int chplEntriesIn(const QByteArray& moov, const std::vector<Box>& top) {
    const Box* udta = find(top, "udta");
    if (!udta) return 0;
    const std::vector<Box> inUdta = childrenOf(moov, udta->payload, udta->end);
    const Box* chpl = find(inUdta, "chpl");
    if (!chpl) return 0;
    if (chpl->end - chpl->payload < 5) return 0;
    const auto* u = reinterpret_cast<const unsigned char*>(moov.constData());
    const long long at = chpl->payload + (u[chpl->payload] ? 8 : 4);  // version 1 has 4 more bytes
    return at < chpl->end ? u[at] : 0;
}

// What the layout needs of one track.
struct TrackTables {
    uint32_t id = 0;
    QByteArray handler;
    std::vector<uint32_t> chapterRefs;  // tref/chap
    long long samples = 0;
    long long sampleBytes = 0;
    std::vector<long long> chunkOffsets;
    bool readable = true;  // the tables fit their boxes
};

TrackTables tablesOf(const QByteArray& moov, const Box& trak) {
    TrackTables t;
    const char* d = moov.constData();
    const movie::TrackHead head = movie::HeadOf(moov, trak);
    t.id = head.id;
    t.handler = head.handler;
    t.chapterRefs = head.chapters;
    const std::vector<Box> inTrak = childrenOf(moov, trak.payload, trak.end);
    const Box* mdia = find(inTrak, "mdia");
    if (!mdia) return t;
    const std::vector<Box> inMdia = childrenOf(moov, mdia->payload, mdia->end);
    const Box* minf = find(inMdia, "minf");
    const std::vector<Box> inMinf = minf ? childrenOf(moov, minf->payload, minf->end) : std::vector<Box>();
    const Box* stbl = find(inMinf, "stbl");
    if (!stbl) return t;
    const std::vector<Box> inStbl = childrenOf(moov, stbl->payload, stbl->end);
    if (const Box* stsz = find(inStbl, "stsz")) {
        // version and flags, the common size, the count, then sizes when none is common
        if (stsz->payload + 12 > stsz->end) return t.readable = false, t;
        const long long common = be32(d + stsz->payload + 4);
        t.samples = be32(d + stsz->payload + 8);
        if (common != 0) {
            // Held below 2^62, so that no claim overflows the sums.
            t.sampleBytes = t.samples > (1LL << 62) / common ? (1LL << 62) : common * t.samples;
        } else if (stsz->payload + 12 + 4 * t.samples > stsz->end) {
            t.readable = false;
        } else {
            for (long long i = 0; i < t.samples; ++i) t.sampleBytes += be32(d + stsz->payload + 12 + 4 * i);
        }
    } else if (const Box* stz2 = find(inStbl, "stz2")) {
        if (stz2->payload + 12 > stz2->end) return t.readable = false, t;
        const int bits = static_cast<unsigned char>(d[stz2->payload + 7]);
        t.samples = be32(d + stz2->payload + 8);
        const auto* u = reinterpret_cast<const unsigned char*>(d + stz2->payload + 12);
        if ((bits != 4 && bits != 8 && bits != 16) || stz2->payload + 12 + (t.samples * bits + 7) / 8 > stz2->end)
            return t.readable = false, t;
        for (long long i = 0; i < t.samples; ++i)
            t.sampleBytes += bits == 16 ? (u[2 * i] << 8 | u[2 * i + 1])
                             : bits == 8 ? u[i]
                                         : (i % 2 ? u[i / 2] & 15 : u[i / 2] >> 4);
    }
    for (const char* type : {"stco", "co64"}) {
        const Box* co = find(inStbl, type);
        if (!co) continue;
        const int width = type[1] == 'o' ? 8 : 4;
        if (co->payload + 8 > co->end) return t.readable = false, t;
        const long long n = be32(d + co->payload + 4);
        if (co->payload + 8 + width * n > co->end) return t.readable = false, t;
        for (long long i = 0; i < n; ++i) {
            const char* e = d + co->payload + 8 + width * i;
            t.chunkOffsets.push_back(width == 8 ? static_cast<long long>(be64(e)) : be32(e));
        }
    }
    return t;
}

// What the movie box says about the tracks and the file.
struct MovieFacts {
    std::vector<TrackTables> tracks;
    bool fragmented = false;  // it announces movie fragments (mvex)
};

MovieFacts movieFactsIn(const QByteArray& moov, const std::vector<Box>& top, Mp4Layout& out) {
    MovieFacts m;
    for (const Box& b : top) {
        if (b.type == "trak") m.tracks.push_back(tablesOf(moov, b));
        if (b.type == "mvex") m.fragmented = true;
    }
    std::vector<uint32_t> chapterIds;
    for (const TrackTables& t : m.tracks) chapterIds.insert(chapterIds.end(), t.chapterRefs.begin(), t.chapterRefs.end());
    int trackChapters = 0;
    for (int i = 0; i < static_cast<int>(m.tracks.size()); ++i) {
        const TrackTables& t = m.tracks[i];
        // A chapter track of pictures is read as pictures, not as chapters.
        if (t.handler != "vide" && std::find(chapterIds.begin(), chapterIds.end(), t.id) != chapterIds.end()) {
            out.chapterTracks.push_back(i);
            if (out.chapterTracks.size() == 1) trackChapters = static_cast<int>(t.samples);
        }
        if (t.handler == "tmcd") out.timecodeTracks.push_back(i);
    }
    out.chapters = std::max(trackChapters, chplEntriesIn(moov, top));
    out.creationTime = creationTimeIn(moov, top);
    return m;
}

// Each track's chunks start inside a media data box, and all samples fit in
// them: a file cut right after a leading movie box has no media at all.
bool mediaInside(const MovieFacts& m, const std::vector<std::pair<long long, long long>>& mdats) {
    long long room = 0, needed = 0;
    for (const auto& [from, to] : mdats) room += to - from;
    for (const TrackTables& t : m.tracks) {
        if (!t.readable) return false;
        needed = std::min(needed + t.sampleBytes, 1LL << 62);
        for (const long long o : t.chunkOffsets) {
            const auto inside = [o](const std::pair<long long, long long>& r) { return o >= r.first && o <= r.second; };
            if (std::none_of(mdats.begin(), mdats.end(), inside)) return false;
        }
    }
    return needed <= room;
}

// A fragmented file proves itself whole only by its closing fragment index
// (mfra): it comes last, its mfro states its size, and every fragment it
// lists starts a moof box of the file.
bool fragmentIndexHolds(const QByteArray& mfra, const std::vector<long long>& moofs) {
    const std::vector<Box> inMfra = childrenOf(mfra, 8, mfra.size());
    if (inMfra.empty() || inMfra.back().type != "mfro" || inMfra.back().end - inMfra.back().payload < 8 ||
        be32(mfra.constData() + inMfra.back().payload + 4) != static_cast<uint32_t>(mfra.size()))
        return false;
    const auto* u = reinterpret_cast<const unsigned char*>(mfra.constData());
    for (const Box& tfra : inMfra) {
        if (tfra.type != "tfra") continue;
        if (tfra.payload + 16 > tfra.end) return false;
        const bool wide = u[tfra.payload] == 1;
        const uint32_t sizes = be32(mfra.constData() + tfra.payload + 8);
        const long long tail = ((sizes >> 4) & 3) + ((sizes >> 2) & 3) + (sizes & 3) + 3;
        const long long n = be32(mfra.constData() + tfra.payload + 12);
        const long long entry = (wide ? 16 : 8) + tail;
        if (tfra.payload + 16 + n * entry > tfra.end) return false;
        for (long long i = 0; i < n; ++i) {
            const char* e = mfra.constData() + tfra.payload + 16 + i * entry;
            const long long moof = wide ? static_cast<long long>(be64(e + 8)) : be32(e + 4);
            if (!std::binary_search(moofs.begin(), moofs.end(), moof)) return false;
        }
    }
    return true;
}

// ------------------------------------------------------------- Matroska

constexpr uint32_t kFileMime = 0x4660;
constexpr uint32_t kFileData = 0x465C;
constexpr uint32_t kCodecPrivate = 0x63A2;
constexpr uint32_t kDateUtc = 0x4461;
constexpr uint32_t kVoid = 0xEC;
constexpr uint32_t kCrc32 = 0xBF;

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

// The children of a master element, each whole inside it; false when one
// does not fit.
template <typename Visit>
bool eachChild(QFile& f, const Element& parent, Visit visit) {
    for (long long at = parent.payload; at < parent.end();) {
        Element e;
        if (!elementAt(f, at, e) || e.size < 0 || e.end() > parent.end()) return false;
        visit(e);
        at = e.end();
    }
    return true;
}

// DateUTC: nanoseconds since 2001-01-01, as seconds since 1970.
void dateIn(QFile& f, const Element& info, MatroskaLayout& out) {
    eachChild(f, info, [&](const Element& e) {
        if (e.id != kDateUtc || e.size != 8) return;
        const QByteArray b = readAt(f, e.payload, 8);
        if (b.size() != 8) return;
        const long long ns = static_cast<long long>(be64(b.constData()));
        const long long s = ns / 1000000000LL - (ns % 1000000000LL < 0 ? 1 : 0);
        out.hasDate = true;
        out.date = s + 978307200LL;
    });
}

int atomsIn(QFile& f, const Element& parent, int depth) {
    int n = 0;
    if (depth > 16) return 0;
    eachChild(f, parent, [&](const Element& e) {
        if (e.id == kChapterAtom) n += 1 + atomsIn(f, e, depth + 1);
    });
    return n;
}

int chaptersIn(QFile& f, const Element& chapters) {
    int n = 0;
    eachChild(f, chapters, [&](const Element& e) {
        if (e.id == kEditionEntry) n += atomsIn(f, e, 0);
    });
    return n;
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

using fileops::Pread;

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
    return 10 + Syncsafe(p + 6) + (footer ? 10 : 0);
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

// The length of a Lyrics3 block that ends at `end` after `from`: version 2
// states its size before its closing word; version 1 is found by its opening
// word, at most 5100 bytes of lyrics before its closing one.
long long lyrics3Length(Pread& file, long long from, long long end) {
    if (end - from < 20) return 0;
    const QByteArray last = file.bytes(end - 9, 9);
    if (last == "LYRICS200") {
        const QByteArray digits = file.bytes(end - 15, 6);
        if (digits.size() != 6 || !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
            return 0;
        const long long length = digits.toLongLong() + 15;
        return end - length >= from && file.bytes(end - length, 11) == "LYRICSBEGIN" ? length : 0;
    }
    if (last == "LYRICSEND") {
        const long long reach = std::min(end - from, 5100LL + 11 + 9);
        const int begin = file.bytes(end - reach, reach).lastIndexOf("LYRICSBEGIN");
        return begin >= 0 ? reach - begin : 0;
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
    bool moov = false, movieRead = false, mdatSeen = false;
    MovieFacts movie;
    std::vector<std::pair<long long, long long>> mdats;
    std::vector<long long> moofs;
    Box last;
    QByteArray mfra;
    long long at = 0;
    while (at < size) {
        // A box that runs past the end means the file was cut off; a read
        // that comes back short, that it shrank while being read.
        const long long want = qMin<long long>(16, size - at);
        const QByteArray h = readAt(f, at, want);
        Box b;
        if (h.size() != want || !boxAt(h, 0, size - at, b)) return out;
        b = {b.type, at, at + (b.payload - b.start), at + (b.end - b.start)};
        if (b.type == "moov") {
            moov = true;
            out.moovFirst = !mdatSeen;
            if (b.end - b.start <= (64 << 20)) {
                const QByteArray box = readAt(f, at, b.end - b.start);
                if (box.isEmpty()) return out;
                out.covers = coversIn(box);
                out.metadata = movie::keptBoxes(box);
                out.video = videoTrackIn(box);
                movie = movieFactsIn(box, childrenOf(box, 8, box.size()), out);
                movieRead = true;
            }
        }
        if (b.type == "mdat") {
            mdatSeen = true;
            mdats.emplace_back(b.payload, b.end);
        }
        if (b.type == "moof") moofs.push_back(b.start);
        if (b.type == "mfra" && b.end - b.start <= (16 << 20)) {
            mfra = readAt(f, at, b.end - b.start);
            if (mfra.isEmpty()) return out;
        }
        last = b;
        at = b.end;
    }
    bool whole = moov && at == size;
    if (whole && movieRead) whole = mediaInside(movie, mdats);
    if (whole && movie.fragmented) whole = last.type == "mfra" && !mfra.isEmpty() && fragmentIndexHolds(mfra, moofs);
    out.complete = whole;
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
    MatroskaMetadataReader metadata;
    while (at < end) {
        Element e;
        if (!elementAt(f, at, e) || e.size < 0 || e.end() > end) {
            filled = false;
            break;
        }
        metadata.Read(f, e);
        if (e.id == kAttachments) out.attachments = attachmentsIn(f, e);
        if (e.id == kTracks && !out.video.found) out.video = videoTrackIn(f, e);
        if (e.id == kInfo) dateIn(f, e, out);
        if (e.id == kChapters) out.chapters += chaptersIn(f, e);
        at = e.end();
    }
    metadata.Into(out);
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
        if (++out.id3v2Tags == 1) {
            const QByteArray tag = file.bytes(at, length);
            if (tag.size() != length) return {};
            out.tag = ReadId3v2(tag);
        }
        at += length;
    }
    out.audioStart = at;

    // Tags after the audio, peeled off from the end: ID3v1, then APE tags,
    // Lyrics3 blocks and ID3v2 tags with a footer in any order.
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
        if (const long long length = lyrics3Length(file, at, end)) {
            end -= length;
            continue;
        }
        break;
    }
    if (!file.intact()) return {};
    out.trailingStart = end;

    Region audio(file, at, end);
    bool first = true;
    long long appended = -1;  // an ID3v2 tag without a footer that closes the audio
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
                if (h[0] == 'I' && at + length == end) appended = at;
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
    if (appended >= 0) {
        // It belongs to the tags at the end: summed again on either side of
        // it, which only such rare files pay for.
        Region before(file, out.audioStart, appended), after(file, appended, n);
        if (!before.finish() || !after.finish() || !file.intact()) return {};
        out.trailingStart = appended;
        out.audioCrc = before.crc();
        out.trailingCrc = after.crc();
    }
    return out;
}

}  // namespace probe
