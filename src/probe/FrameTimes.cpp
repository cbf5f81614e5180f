#include "probe/FrameTimes.h"
#include "probe/ContainerBytes.h"

#include <QByteArray>
#include <QFile>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <map>

namespace probe {

using namespace bytes;

namespace {

// ------------------------------------------------------------------- MP4

// The full box's entries start after version, flags and the entry count.
struct FullBox {
    int version = 0;
    uint32_t count = 0;
    long long entries = 0, end = 0;
};
bool fullBox(const QByteArray& moov, const Box* b, FullBox& out) {
    if (!b || b->end - b->payload < 8) return false;
    out.version = static_cast<unsigned char>(moov.at(b->payload));
    out.count = be32(moov.constData() + b->payload + 4);
    out.entries = b->payload + 8;
    out.end = b->end;
    return true;
}

// An edit list: the movie ticks of empty edits before the first that shows
// media, and where in the media that one starts.
struct Edits {
    long long emptyTicks = 0;
    long long mediaStart = 0;
};
Edits editsOf(const QByteArray& moov, const std::vector<Box>& inTrak) {
    Edits e;
    const Box* edts = find(inTrak, "edts");
    if (!edts) return e;
    FullBox elst;
    const auto elstBox = childOf(moov, edts->payload, edts->end, "elst");
    if (!fullBox(moov, elstBox ? &*elstBox : nullptr, elst)) return e;
    const long long size = elst.version == 1 ? 20 : 12;
    for (uint32_t i = 0; i < elst.count && elst.entries + (i + 1) * size <= elst.end; ++i) {
        const char* p = moov.constData() + elst.entries + i * size;
        const long long duration = elst.version == 1 ? static_cast<long long>(be64(p)) : be32(p);
        const long long mediaTime = elst.version == 1 ? static_cast<int64_t>(be64(p + 8))
                                                      : static_cast<int32_t>(be32(p + 4));
        if (mediaTime == -1) {
            e.emptyTicks += duration;
            continue;
        }
        e.mediaStart = mediaTime;
        break;
    }
    return e;
}

}  // namespace

FrameTimes ReadMp4FrameTimes(const QString& path) {
    FrameTimes out;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return out;
    const long long size = f.size();
    QByteArray moov;
    for (long long at = 0; at + 8 <= size;) {
        const QByteArray h = readAt(f, at, qMin<long long>(16, size - at));
        if (h.size() < 8) return out;
        uint64_t boxSize = be32(h.constData());
        if (boxSize == 1 && h.size() >= 16) boxSize = be64(h.constData() + 8);
        else if (boxSize == 0) boxSize = static_cast<uint64_t>(size - at);
        if (boxSize < 8 || boxSize > static_cast<uint64_t>(size - at)) return out;
        if (h.mid(4, 4) == "moov") {
            if (boxSize > (64u << 20)) return out;
            moov = readAt(f, at, static_cast<long long>(boxSize));
            break;
        }
        at += static_cast<long long>(boxSize);
    }
    if (moov.isEmpty()) return out;

    const std::vector<Box> top = childrenOf(moov, 8, moov.size());
    long long movieScale = 0;
    FullBox mvhd;
    if (fullBox(moov, find(top, "mvhd"), mvhd)) {
        const long long at = mvhd.entries - 4 + (mvhd.version == 1 ? 16 : 8);  // after the two times
        if (at + 4 <= mvhd.end) movieScale = be32(moov.constData() + at);
    }
    if (movieScale <= 0) return out;

    double earliest = std::numeric_limits<double>::infinity();
    double videoStart = 0;
    bool video = false;
    for (const Box& trak : top) {
        if (trak.type != "trak") continue;
        const std::vector<Box> inTrak = childrenOf(moov, trak.payload, trak.end);
        const Edits edits = editsOf(moov, inTrak);
        const double start = double(edits.emptyTicks) / movieScale;
        earliest = std::min(earliest, start);
        const Box* mdia = find(inTrak, "mdia");
        if (video || !mdia) continue;
        const std::vector<Box> inMdia = childrenOf(moov, mdia->payload, mdia->end);
        const Box* hdlr = find(inMdia, "hdlr");
        if (!hdlr || hdlr->end - hdlr->payload < 12 || std::memcmp(moov.constData() + hdlr->payload + 8, "vide", 4) != 0)
            continue;
        video = true;
        videoStart = start;

        FullBox mdhd;
        if (!fullBox(moov, find(inMdia, "mdhd"), mdhd)) return out;
        const long long scaleAt = mdhd.entries - 4 + (mdhd.version == 1 ? 16 : 8);
        if (scaleAt + 4 > mdhd.end) return out;
        const long long scale = be32(moov.constData() + scaleAt);
        if (scale <= 0) return out;
        const Box* minf = find(inMdia, "minf");
        const std::vector<Box> inMinf = minf ? childrenOf(moov, minf->payload, minf->end) : std::vector<Box>();
        const Box* stbl = find(inMinf, "stbl");
        const std::vector<Box> inStbl = stbl ? childrenOf(moov, stbl->payload, stbl->end) : std::vector<Box>();

        FullBox stts;
        if (!fullBox(moov, find(inStbl, "stts"), stts)) return out;
        std::vector<long long> dts;
        long long t = 0;
        for (uint32_t i = 0; i < stts.count; ++i) {
            const long long at = stts.entries + i * 8LL;
            if (at + 8 > stts.end) return out;
            const uint32_t count = be32(moov.constData() + at);
            const uint32_t delta = be32(moov.constData() + at + 4);
            if (dts.size() + count > (1u << 24)) return out;
            for (uint32_t k = 0; k < count; ++k, t += delta) dts.push_back(t);
        }
        std::vector<long long> offsets(dts.size(), 0);
        FullBox ctts;
        if (fullBox(moov, find(inStbl, "ctts"), ctts)) {
            std::size_t n = 0;
            for (uint32_t i = 0; i < ctts.count && n < offsets.size(); ++i) {
                const long long at = ctts.entries + i * 8LL;
                if (at + 8 > ctts.end) return out;
                const uint32_t count = be32(moov.constData() + at);
                const int32_t offset = static_cast<int32_t>(be32(moov.constData() + at + 4));
                for (uint32_t k = 0; k < count && n < offsets.size(); ++k) offsets[n++] = offset;
            }
        }
        for (std::size_t i = 0; i < dts.size(); ++i) {
            out.decoded.push_back(double(dts[i] - edits.mediaStart) / scale + start);
            out.shown.push_back(double(dts[i] + offsets[i] - edits.mediaStart) / scale + start);
        }
        out.tick = 1.0 / scale;
    }
    if (!video) return out;
    out.videoLead = videoStart - earliest;
    out.read = true;
    return out;
}

// ------------------------------------------------------------- Matroska

namespace {

constexpr uint32_t kTimestampScale = 0x2AD7B1;
constexpr uint32_t kTrackNumber = 0xD7;
constexpr uint32_t kCluster = 0x1F43B675;
constexpr uint32_t kClusterTimestamp = 0xE7;
constexpr uint32_t kSimpleBlock = 0xA3;
constexpr uint32_t kBlockGroup = 0xA0;
constexpr uint32_t kBlock = 0xA1;

bool isTopLevel(uint32_t id) {
    switch (id) {
    case kCluster: case kInfo: case kTracks: case 0x1C53BB6B: case 0x1254C367: case 0x1941A469:
    case 0x1043A770: case 0x114D9B74:
        return true;
    default:
        return false;
    }
}

}  // namespace

FrameTimes ReadMatroskaFrameTimes(const QString& path) {
    FrameTimes out;
    QFile f(path);
    // A few bytes at every block: a buffer would read far more than that.
    if (!f.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) return out;
    const long long size = f.size();
    Element ebml, segment;
    if (!elementAt(f, 0, ebml) || ebml.id != kEbml || ebml.size < 0) return out;
    if (!elementAt(f, ebml.end(), segment) || segment.id != kSegment) return out;
    const long long end = segment.size < 0 ? size : qMin(segment.end(), size);

    uint64_t scale = 1000000;  // nanoseconds per tick
    uint64_t videoTrack = 0;
    std::map<uint64_t, long long> firstOfTrack;  // the earliest block of every track
    std::vector<long long> shown;

    // One block: its track and its time relative to the cluster's.
    const auto block = [&](const Element& b, long long clusterTime) {
        const QByteArray head = readAt(f, b.payload, qMin<long long>(b.size, 11));
        uint64_t track = 0;
        bool ones = false;
        const auto* u = reinterpret_cast<const unsigned char*>(head.constData());
        const int len = vint(u, head.size(), track, ones);
        if (len == 0 || len + 2 > head.size()) return false;
        const int16_t relative = static_cast<int16_t>((u[len] << 8) | u[len + 1]);
        const long long t = clusterTime + relative;
        auto first = firstOfTrack.find(track);
        if (first == firstOfTrack.end()) firstOfTrack[track] = t;
        else first->second = std::min(first->second, t);
        if (track == videoTrack) shown.push_back(t);
        return true;
    };

    for (long long at = segment.payload; at < end;) {
        Element e;
        if (!elementAt(f, at, e)) return out;
        if (e.id == kInfo && e.size >= 0) {
            for (long long p = e.payload; p < e.end();) {
                Element part;
                if (!elementAt(f, p, part) || part.size < 0) break;
                if (part.id == kTimestampScale) scale = unsignedAt(f, part);
                p = part.end();
            }
        } else if (e.id == kTracks && e.size >= 0 && videoTrack == 0) {
            for (long long p = e.payload; p < e.end();) {
                Element entry;
                if (!elementAt(f, p, entry) || entry.size < 0) break;
                if (entry.id == kTrackEntry) {
                    uint64_t number = 0, type = 0;
                    for (long long q = entry.payload; q < entry.end();) {
                        Element part;
                        if (!elementAt(f, q, part) || part.size < 0) break;
                        if (part.id == kTrackNumber) number = unsignedAt(f, part);
                        if (part.id == kTrackType) type = unsignedAt(f, part);
                        q = part.end();
                    }
                    if (type == 1 && videoTrack == 0) videoTrack = number;
                }
                p = entry.end();
            }
        } else if (e.id == kCluster) {
            // A cluster of unknown size (a file written live) ends where the
            // next top-level element begins.
            const long long clusterEnd = e.size < 0 ? end : qMin(e.end(), end);
            long long clusterTime = 0;
            long long p = e.payload;
            while (p < clusterEnd) {
                Element part;
                if (!elementAt(f, p, part)) return out;
                if (e.size < 0 && isTopLevel(part.id)) break;
                if (part.size < 0) return out;
                if (part.id == kClusterTimestamp) clusterTime = static_cast<long long>(unsignedAt(f, part));
                if (part.id == kSimpleBlock && !block(part, clusterTime)) return out;
                if (part.id == kBlockGroup) {
                    for (long long q = part.payload; q < part.end();) {
                        Element inner;
                        if (!elementAt(f, q, inner) || inner.size < 0) return out;
                        if (inner.id == kBlock && !block(inner, clusterTime)) return out;
                        q = inner.end();
                    }
                }
                p = part.end();
            }
            if (e.size < 0) {
                at = p;
                continue;
            }
        }
        if (e.size < 0) return out;
        at = e.end();
    }
    if (videoTrack == 0 || scale == 0) return out;
    out.tick = scale / 1e9;
    for (const long long t : shown) out.shown.push_back(t * out.tick);
    long long earliest = std::numeric_limits<long long>::max();
    for (const auto& [track, first] : firstOfTrack) earliest = std::min(earliest, first);
    if (!shown.empty()) out.videoLead = (firstOfTrack[videoTrack] - earliest) * out.tick;
    out.read = true;
    return out;
}

std::vector<double> FrameSpacing(const FrameTimes& times) {
    std::vector<double> shown = times.shown;
    std::sort(shown.begin(), shown.end());
    std::vector<double> spacing;
    for (std::size_t i = 1; i < shown.size(); ++i) spacing.push_back(shown[i] - shown[i - 1]);
    return spacing;
}

bool DecodeOrderHolds(const FrameTimes& times) {
    for (std::size_t i = 1; i < times.decoded.size(); ++i)
        if (!(times.decoded[i] > times.decoded[i - 1])) return false;
    constexpr std::size_t held = 17;
    double before = -std::numeric_limits<double>::infinity();
    for (std::size_t i = held; i < times.shown.size(); ++i) {
        before = std::max(before, times.shown[i - held]);
        if (!(times.shown[i] > before)) return false;
    }
    return true;
}

}  // namespace probe
