#include "probe/MovieBoxes.h"

#include <algorithm>
#include <cstring>
#include <map>

namespace probe::movie {

using namespace bytes;

TrackHead HeadOf(const QByteArray& moov, const Box& trak) {
    TrackHead h;
    const char* d = moov.constData();
    const std::vector<Box> inTrak = childrenOf(moov, trak.payload, trak.end);
    if (const Box* tkhd = find(inTrak, "tkhd"); tkhd && tkhd->end > tkhd->payload) {
        const long long at = tkhd->payload + (d[tkhd->payload] == 1 ? 20 : 12);
        if (at + 4 <= tkhd->end) h.id = be32(d + at);
    }
    if (const Box* tref = find(inTrak, "tref"))
        for (const Box& r : childrenOf(moov, tref->payload, tref->end))
            if (r.type == "chap")
                for (long long at = r.payload; at + 4 <= r.end; at += 4) h.chapters.push_back(be32(d + at));
    if (const Box* mdia = find(inTrak, "mdia")) {
        const std::vector<Box> inMdia = childrenOf(moov, mdia->payload, mdia->end);
        if (const Box* hdlr = find(inMdia, "hdlr"); hdlr && hdlr->end - hdlr->payload >= 12)
            h.handler = QByteArray(d + hdlr->payload + 8, 4);
    }
    return h;
}

long long metaChildren(const QByteArray& data, const Box& meta) {
    const long long first = meta.payload;
    if (first + 8 <= meta.end && std::memcmp(data.constData() + first + 4, "hdlr", 4) != 0) return first + 4;
    return first;
}

namespace {

char kindOf(const QByteArray& handler) {
    if (handler == "vide") return 'v';
    if (handler == "soun") return 'a';
    for (const char* s : {"text", "sbtl", "subt", "subp", "clcp"})
        if (handler == s) return 's';
    return 'd';
}

QByteArray bytesOf(const QByteArray& data, const Box& b) { return data.mid(b.start, b.end - b.start); }

void addMeta(const QByteArray& moov, const Box& meta, const QByteArray& place, Kept& out) {
    const long long first = metaChildren(moov, meta);
    const std::vector<Box> kids = childrenOf(moov, first, meta.end);
    const auto coverOnly = [&] {
        for (const Box& k : kids) {
            if (k.type == "hdlr") continue;
            if (k.type != "ilst") return false;
            for (const Box& item : childrenOf(moov, k.payload, k.end))
                if (item.type != "covr") return false;
        }
        return true;
    };
    if (coverOnly()) return;
    out.emplace_back(place, moov.mid(meta.payload, first - meta.payload));
    for (const Box& k : kids) {
        if (k.type != "ilst") {
            out.emplace_back(place + "/" + k.type, bytesOf(moov, k));
            continue;
        }
        for (const Box& item : childrenOf(moov, k.payload, k.end))
            if (item.type != "covr") out.emplace_back(place + "/ilst/" + item.type, bytesOf(moov, item));
    }
}

}  // namespace

std::vector<QByteArray> trackKeys(const QByteArray& moov, const std::vector<Box>& top) {
    std::vector<TrackHead> heads(top.size());
    std::vector<uint32_t> chapterIds;
    for (size_t i = 0; i < top.size(); ++i) {
        if (top[i].type != "trak") continue;
        heads[i] = HeadOf(moov, top[i]);
        chapterIds.insert(chapterIds.end(), heads[i].chapters.begin(), heads[i].chapters.end());
    }
    std::vector<QByteArray> keys(top.size());
    std::map<char, int> seen;
    for (size_t i = 0; i < top.size(); ++i) {
        if (top[i].type != "trak") continue;
        const TrackHead& h = heads[i];
        // As the layout reads them: a chapter track of pictures is pictures.
        const bool chapter = h.handler != "vide" &&
                             std::find(chapterIds.begin(), chapterIds.end(), h.id) != chapterIds.end();
        if (chapter || h.handler == "tmcd") continue;
        const char kind = kindOf(h.handler);
        keys[i] = QByteArray(1, kind) + QByteArray::number(seen[kind]++);
    }
    return keys;
}

Kept keptBoxes(const QByteArray& moov) {
    Kept out;
    const std::vector<Box> top = childrenOf(moov, 8, moov.size());
    const std::vector<QByteArray> keys = trackKeys(moov, top);
    for (size_t i = 0; i < top.size(); ++i) {
        const Box& b = top[i];
        if (b.type == "udta") {
            for (const Box& c : childrenOf(moov, b.payload, b.end)) {
                if (c.type == "meta") addMeta(moov, c, "udta/meta", out);
                else out.emplace_back("udta/" + c.type, bytesOf(moov, c));
            }
        } else if (b.type == "meta") {
            addMeta(moov, b, "meta", out);
        } else if (b.type == "trak" && !keys[i].isEmpty()) {
            if (const auto udta = childOf(moov, b.payload, b.end, "udta"))
                out.emplace_back("trak " + keys[i] + "/udta", bytesOf(moov, *udta));
        }
    }
    return out;
}

std::vector<Box> topLevel(QFile& f) {
    std::vector<Box> boxes;
    const long long size = f.size();
    for (long long at = 0; at < size;) {
        const long long want = qMin<long long>(16, size - at);
        const QByteArray h = readAt(f, at, want);
        Box b;
        if (h.size() != want || !boxAt(h, 0, size - at, b)) break;
        boxes.push_back({b.type, at, at + (b.payload - b.start), at + (b.end - b.start)});
        at = boxes.back().end;
    }
    return boxes;
}

}  // namespace probe::movie
