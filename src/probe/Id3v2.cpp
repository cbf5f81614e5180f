#include "probe/Id3v2.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

namespace probe {

namespace {

const unsigned char* bytesOf(const QByteArray& b) { return reinterpret_cast<const unsigned char*>(b.constData()); }

long long be32(const unsigned char* p) {
    return (static_cast<long long>(p[0]) << 24) | (p[1] << 16) | (p[2] << 8) | p[3];
}

// Every zero that unsynchronisation put after a 0xFF taken out again.
QByteArray resynchronised(const QByteArray& stored) {
    QByteArray out;
    out.reserve(stored.size());
    const unsigned char* s = bytesOf(stored);
    for (int i = 0; i < stored.size(); ++i)
        if (!(i > 0 && s[i] == 0 && s[i - 1] == 0xFF)) out.append(static_cast<char>(s[i]));
    return out;
}

// Where each of the resynchronised offsets `wanted` (ascending) stands in
// the stored bytes: a zero taken out belongs to the byte before it.
std::vector<long long> storedOffsets(const QByteArray& stored, const std::vector<long long>& wanted) {
    std::vector<long long> at(wanted.size(), stored.size());
    const unsigned char* s = bytesOf(stored);
    size_t k = 0;
    long long d = 0;
    for (int i = 0; i < stored.size() && k < wanted.size(); ++i) {
        if (i > 0 && s[i] == 0 && s[i - 1] == 0xFF) continue;
        while (k < wanted.size() && wanted[k] == d) at[k++] = i;
        ++d;
    }
    return at;
}

bool idChar(unsigned char c) { return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'); }

// Ids that are not the letters and digits the standard names are still
// frames (taggers write such); control bytes and zeros are not.
bool frameId(const unsigned char* id, int length) {
    if (id[0] <= 0x20 || id[0] >= 0x7F) return false;
    return std::all_of(id + 1, id + length, [](unsigned char c) { return c >= 0x20 && c < 0x7F; });
}

// The size of the frame whose header is at `pos`. ID3v2.4 sizes are
// syncsafe, but some writers put plain ones there: the reading that lands on
// the next frame, the padding or the end is taken.
long long frameSize(const QByteArray& body, long long pos, int major) {
    const unsigned char* h = bytesOf(body) + pos;
    if (major == 2) return (h[3] << 16) | (h[4] << 8) | h[5];
    const long long plain = be32(h + 4);
    if (major == 3 || ((h[4] | h[5] | h[6] | h[7]) & 0x80)) return plain;
    const long long safe = Syncsafe(h + 4);
    if (safe == plain) return safe;
    const long long end = body.size();
    const auto landsWell = [&](long long size) {
        const long long next = pos + 10 + size;
        if (next == end) return true;
        if (next > end) return false;
        const unsigned char* n = bytesOf(body) + next;
        return n[0] == 0 || (next + 4 <= end && idChar(n[0]) && idChar(n[1]) && idChar(n[2]) && idChar(n[3]));
    };
    if (landsWell(safe) || !landsWell(plain)) return safe;
    return plain;
}

QByteArray inflated(const QByteArray& packed, long long size) {
    // A picture is not larger than the largest tag.
    if (size <= 0 || size > (256LL << 20)) return {};
    QByteArray out(static_cast<int>(size), Qt::Uninitialized);
    uLongf got = static_cast<uLongf>(size);
    if (::uncompress(reinterpret_cast<Bytef*>(out.data()), &got, reinterpret_cast<const Bytef*>(packed.constData()),
                     static_cast<uLong>(packed.size())) != Z_OK ||
        got != static_cast<uLongf>(size))
        return {};
    return out;
}

}  // namespace

long long Syncsafe(const unsigned char* p, int bytes) {
    long long n = 0;
    for (int i = 0; i < bytes; ++i) n = (n << 7) | (p[i] & 0x7F);
    return n;
}

QByteArray Unsynchronise(const QByteArray& bytes) {
    QByteArray out;
    out.reserve(bytes.size() + bytes.size() / 64 + 1);
    const unsigned char* b = bytesOf(bytes);
    const int n = bytes.size();
    for (int i = 0; i < n; ++i) {
        out.append(static_cast<char>(b[i]));
        if (b[i] == 0xFF && (i + 1 == n || b[i + 1] == 0 || b[i + 1] >= 0xE0)) out.append('\0');
    }
    return out;
}

Id3Tag ReadId3v2(const QByteArray& raw) {
    Id3Tag t;
    const unsigned char* u = bytesOf(raw);
    if (raw.size() < 10 || std::memcmp(u, "ID3", 3) != 0 || u[3] < 2 || u[3] > 4 || u[4] == 0xFF) return t;
    if ((u[6] | u[7] | u[8] | u[9]) & 0x80) return t;
    const long long size = Syncsafe(u + 6);
    const bool footer = u[3] == 4 && (u[5] & 0x10);
    if (10 + size + (footer ? 10 : 0) != raw.size()) return t;
    t.found = true;
    t.major = u[3];
    t.revision = u[4];
    t.flags = u[5];
    t.raw = raw;
    // No compression was ever defined for whole ID3v2.2 tags.
    if (t.major == 2 && (t.flags & 0x40)) return t;

    const QByteArray stored = raw.mid(10, static_cast<int>(size));
    const bool resync = t.unsynchronised() && t.major <= 3;
    const QByteArray body = resync ? resynchronised(stored) : stored;
    const unsigned char* b = bytesOf(body);
    const long long end = body.size();
    long long pos = 0;
    if (t.major >= 3 && (t.flags & 0x40)) {
        // ID3v2.3 counts the extended header's size without its own four
        // bytes; ID3v2.4 counts them, syncsafe.
        if (end < 6) return t;
        const long long length = t.major == 3 ? 4 + be32(b) : Syncsafe(b);
        if (length < 6 || length > end) return t;
        t.extended = body.left(static_cast<int>(length));
        pos = length;
    }

    const int idLength = t.major == 2 ? 3 : 4;
    const int headLength = t.frameHeaderLength();
    std::vector<long long> starts;
    while (pos < end && b[pos] != 0) {
        if (pos + headLength > end || !frameId(b + pos, idLength)) return t;
        const long long frame = headLength + frameSize(body, pos, t.major);
        if (pos + frame > end) return t;
        starts.push_back(pos);
        t.frames.push_back({QByteArray(body.constData() + pos, idLength), 0, 0, body.mid(pos, static_cast<int>(frame))});
        pos += frame;
    }
    // Padding is zeros to the end; anything else there is not a tag this
    // reader can vouch for.
    for (long long p = pos; p < end; ++p)
        if (b[p] != 0) return t;

    starts.push_back(pos);
    const std::vector<long long> at = resync ? storedOffsets(stored, starts) : starts;
    for (size_t i = 0; i < t.frames.size(); ++i) {
        t.frames[i].at = 10 + at[i];
        t.frames[i].length = at[i + 1] - at[i];
    }
    t.padding = stored.size() - at.back();
    t.walkable = true;
    return t;
}

Id3Picture PictureOf(const Id3Tag& tag, const Id3Frame& frame) {
    Id3Picture p;
    const bool picture = tag.major == 2 ? frame.id == "PIC" : frame.id == "APIC";
    if (!picture) return p;
    QByteArray d = frame.bytes.mid(tag.frameHeaderLength());
    if (tag.major >= 3) {
        const unsigned char format = static_cast<unsigned char>(frame.bytes[9]);
        bool compressed = false, encrypted = false, unsynchronised = false;
        long long before = 0, size = -1;
        if (tag.major == 3) {
            // decompressed size, encryption method, group: in that order
            compressed = format & 0x80;
            encrypted = format & 0x40;
            if (compressed && d.size() >= 4) size = be32(bytesOf(d));
            before = (compressed ? 4 : 0) + (encrypted ? 1 : 0) + ((format & 0x20) ? 1 : 0);
        } else {
            // group, encryption method, data length: in that order
            const int group = (format & 0x40) ? 1 : 0;
            compressed = format & 0x08;
            encrypted = format & 0x04;
            unsynchronised = format & 0x02;
            const bool length = format & 0x01;
            before = group + (encrypted ? 1 : 0) + (length ? 4 : 0);
            if (length && d.size() >= before) size = Syncsafe(bytesOf(d) + before - 4);
        }
        if (encrypted || d.size() < before) return p;
        d = d.mid(static_cast<int>(before));
        if (unsynchronised) d = resynchronised(d);
        if (compressed) {
            d = inflated(d, size);
            if (d.isEmpty()) return p;
        }
    }
    const unsigned char* f = bytesOf(d);
    const long long n = d.size();
    long long at = 1;
    if (n < 2) return p;
    const int encoding = f[0];
    if (tag.major == 2) {
        if (n < 5) return p;
        p.mime = d.mid(1, 3);
        at = 4;
    } else {
        while (at < n && f[at] != 0) ++at;
        if (at >= n) return p;
        p.mime = d.mid(1, static_cast<int>(at - 1));
        ++at;
    }
    if (at >= n) return p;
    p.type = f[at++];
    // The description ends with one zero, or two on a two-byte boundary in
    // the UTF-16 encodings.
    if (encoding == 1 || encoding == 2) {
        while (at + 1 < n && !(f[at] == 0 && f[at + 1] == 0)) at += 2;
        if (at + 1 >= n) return p;
        at += 2;
    } else {
        while (at < n && f[at] != 0) ++at;
        if (at >= n) return p;
        ++at;
    }
    p.data = d.mid(static_cast<int>(at));
    p.readable = true;
    return p;
}

std::vector<size_t> CoverFrames(const Id3Tag& tag) {
    std::vector<size_t> fronts;
    long long firstOther = -1;
    for (size_t i = 0; i < tag.frames.size(); ++i) {
        const Id3Picture p = PictureOf(tag, tag.frames[i]);
        if (!p.readable) continue;
        if (p.type == 3) fronts.push_back(i);
        if (p.type == 0 && firstOther < 0) firstOther = static_cast<long long>(i);
    }
    if (fronts.empty() && firstOther >= 0) fronts.push_back(static_cast<size_t>(firstOther));
    return fronts;
}

}  // namespace probe
