#pragma once
// Reading MP4 boxes and Matroska elements straight from the bytes: the pieces
// every layout reader of the probe shares.
#include <QByteArray>
#include <QFile>

#include <cstdint>
#include <optional>
#include <vector>

namespace probe::bytes {

// Reads exactly n bytes at offset; empty when the file has fewer.
inline QByteArray readAt(QFile& f, long long offset, long long n) {
    if (offset < 0 || n < 0 || !f.seek(offset)) return {};
    QByteArray b = f.read(n);
    return b.size() == n ? b : QByteArray();
}

inline uint32_t be32(const char* p) {
    const auto* u = reinterpret_cast<const unsigned char*>(p);
    return (uint32_t(u[0]) << 24) | (uint32_t(u[1]) << 16) | (uint32_t(u[2]) << 8) | uint32_t(u[3]);
}

inline uint64_t be64(const char* p) { return (uint64_t(be32(p)) << 32) | be32(p + 4); }

struct Box {
    QByteArray type;
    long long start = 0;    // of the header
    long long payload = 0;  // first byte after the header
    long long end = 0;      // one past the last byte
};

// The box whose header starts at `at` inside [at, limit); false when it does
// not fit. A size of 0 runs to the limit.
inline bool boxAt(const QByteArray& data, long long at, long long limit, Box& box) {
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
inline std::vector<Box> childrenOf(const QByteArray& data, long long from, long long to) {
    std::vector<Box> boxes;
    Box b;
    while (from < to && boxAt(data, from, to, b)) {
        boxes.push_back(b);
        from = b.end;
    }
    return boxes;
}

inline const Box* find(const std::vector<Box>& boxes, const char* type) {
    for (const Box& b : boxes)
        if (b.type == type) return &b;
    return nullptr;
}
// The list must outlive the pointer: a list made in the call is gone by the
// next statement. childOf gives a copy instead.
const Box* find(std::vector<Box>&& boxes, const char* type) = delete;

// The first child of `type` in [from, to).
inline std::optional<Box> childOf(const QByteArray& data, long long from, long long to, const char* type) {
    for (const Box& b : childrenOf(data, from, to))
        if (b.type == type) return b;
    return std::nullopt;
}


// Matroska element ids more than one reader looks for.
constexpr uint32_t kEbml = 0x1A45DFA3;
constexpr uint32_t kSegment = 0x18538067;
constexpr uint32_t kInfo = 0x1549A966;
constexpr uint32_t kTracks = 0x1654AE6B;
constexpr uint32_t kTrackEntry = 0xAE;
constexpr uint32_t kTrackType = 0x83;
constexpr uint32_t kChapters = 0x1043A770;
constexpr uint32_t kEditionEntry = 0x45B9;
constexpr uint32_t kChapterAtom = 0xB6;
constexpr uint32_t kAttachments = 0x1941A469;
constexpr uint32_t kAttachedFile = 0x61A7;
constexpr uint32_t kFileName = 0x466E;

struct Element {
    uint32_t id = 0;
    long long payload = 0;
    long long size = -1;  // -1: unknown
    long long end() const { return size < 0 ? -1 : payload + size; }
};

// An EBML variable-length number: its value with the marker dropped, and
// its length; 0 length when it does not parse.
inline int vint(const unsigned char* u, int n, uint64_t& value, bool& allOnes) {
    if (n < 1) return 0;
    int len = 1;
    while (len <= 8 && !(u[0] & (0x80 >> (len - 1)))) ++len;
    if (len > 8 || len > n) return 0;
    value = u[0] & (0xFF >> len);
    allOnes = value == (0xFFu >> len);
    for (int i = 1; i < len; ++i) {
        value = (value << 8) | u[i];
        allOnes = allOnes && u[i] == 0xFF;
    }
    return len;
}

// Element header at `at`: an id of 1 to 4 bytes (marker kept) and a size of
// 1 to 8 bytes (marker dropped, all ones meaning unknown).
inline bool elementAt(QFile& f, long long at, Element& e) {
    const QByteArray head = readAt(f, at, qMin<long long>(12, f.size() - at));
    if (head.isEmpty()) return false;
    const auto* u = reinterpret_cast<const unsigned char*>(head.constData());
    int idLen = 1;
    while (idLen <= 4 && !(u[0] & (0x80 >> (idLen - 1)))) ++idLen;
    if (idLen > 4 || idLen >= head.size()) return false;
    uint32_t id = 0;
    for (int i = 0; i < idLen; ++i) id = (id << 8) | u[i];
    uint64_t size = 0;
    bool unknown = false;
    const int sizeLen = vint(u + idLen, head.size() - idLen, size, unknown);
    if (sizeLen == 0) return false;
    e.id = id;
    e.payload = at + idLen + sizeLen;
    e.size = unknown ? -1 : static_cast<long long>(size);
    return true;
}

inline uint64_t unsignedAt(QFile& f, const Element& e) {
    if (e.size < 1 || e.size > 8) return 0;
    const QByteArray b = readAt(f, e.payload, e.size);
    uint64_t v = 0;
    for (const char c : b) v = (v << 8) | static_cast<unsigned char>(c);
    return v;
}

}  // namespace probe::bytes
