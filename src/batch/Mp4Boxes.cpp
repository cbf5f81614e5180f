#include "batch/Mp4Boxes.h"

#include "platform/FileOps.h"
#include "probe/MovieBoxes.h"

#include <QFile>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <map>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace mp4boxes {

using probe::bytes::Box;
using probe::bytes::be32;
using probe::bytes::be64;
using probe::bytes::childrenOf;
using probe::bytes::find;

namespace {

// A movie box is read whole; the layout reader reads no larger ones either.
constexpr long long kLargestMovie = 64 << 20;

void putBe32(QByteArray& b, uint32_t v) {
    const char c[4] = {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
    b.append(c, 4);
}

void putBe64(QByteArray& b, uint64_t v) {
    putBe32(b, static_cast<uint32_t>(v >> 32));
    putBe32(b, static_cast<uint32_t>(v));
}

QByteArray box(const QByteArray& type, const QByteArray& payload) {
    QByteArray b;
    putBe32(b, static_cast<uint32_t>(8 + payload.size()));
    return b + type + payload;
}

QByteArray bytesOf(const QByteArray& d, const Box& b) { return d.mid(b.start, b.end - b.start); }

// The children of a box, each whole, and anything after the last one that is
// no box kept as it was.
std::vector<Box> kidsOf(const QByteArray& d, long long from, long long to, QByteArray* rest = nullptr) {
    std::vector<Box> kids = childrenOf(d, from, to);
    const long long end = kids.empty() ? from : kids.back().end;
    if (rest) *rest = d.mid(end, to - end);
    return kids;
}

bool holdsCover(const QByteArray& d, const Box& meta) {
    for (const Box& k : childrenOf(d, probe::movie::metaChildren(d, meta), meta.end))
        if (k.type == "ilst" && find(childrenOf(d, k.payload, k.end), "covr")) return true;
    return false;
}

// The meta box `meta` of `d` with `cover` in place of its first cover item
// and without the others; with `add`, a meta box without one gets it at the
// end of its item list (made when it has none).
QByteArray withCover(const QByteArray& d, const Box& meta, const QByteArray& cover, bool add) {
    const long long first = probe::movie::metaChildren(d, meta);
    QByteArray rest;
    QByteArray payload = d.mid(meta.payload, first - meta.payload);
    bool placed = false;
    for (const Box& k : kidsOf(d, first, meta.end, &rest)) {
        if (k.type != "ilst" || placed) {
            payload += bytesOf(d, k);
            continue;
        }
        QByteArray items, itemsRest;
        for (const Box& item : kidsOf(d, k.payload, k.end, &itemsRest)) {
            if (item.type != "covr") {
                items += bytesOf(d, item);
            } else if (!placed) {
                items += cover;
                placed = true;
            }
        }
        if (!placed && add) {
            items += cover;
            placed = true;
        }
        payload += box("ilst", items + itemsRest);
    }
    if (!placed && add) payload += box("ilst", cover);
    return box("meta", payload + rest);
}

// The first item (of `type`) in an item list of moov/udta/meta or moov/meta,
// with the handler box of the meta that holds it.
struct Item {
    QByteArray bytes, handler;
};

Item itemIn(const QByteArray& moov, const QByteArray& type) {
    std::vector<Box> metas;
    for (const Box& b : childrenOf(moov, 8, moov.size())) {
        if (b.type == "meta") metas.push_back(b);
        if (b.type == "udta")
            for (const Box& c : childrenOf(moov, b.payload, b.end))
                if (c.type == "meta") metas.push_back(c);
    }
    for (const Box& meta : metas) {
        const std::vector<Box> kids = childrenOf(moov, probe::movie::metaChildren(moov, meta), meta.end);
        const Box* ilst = find(kids, "ilst");
        if (!ilst) continue;
        if (const Box* item = find(childrenOf(moov, ilst->payload, ilst->end), type.constData())) {
            const Box* hdlr = find(kids, "hdlr");
            return {bytesOf(moov, *item), hdlr ? bytesOf(moov, *hdlr) : QByteArray()};
        }
    }
    return {};
}

// The first child of moov/udta of `type`, whole; empty when there is none.
QByteArray udtaChild(const QByteArray& moov, const char* type) {
    if (const Box* u = find(childrenOf(moov, 8, moov.size()), "udta"))
        if (const Box* c = find(childrenOf(moov, u->payload, u->end), type)) return bytesOf(moov, *c);
    return {};
}

// A chunk offset table moved by `shift`: stco stays 32-bit while every
// offset fits, and becomes co64 when one does not.
std::optional<QByteArray> shiftedOffsets(const QByteArray& d, const Box& b, long long shift) {
    const bool wide = b.type == "co64";
    const long long width = wide ? 8 : 4;
    if (b.payload + 8 > b.end) return std::nullopt;
    const long long n = be32(d.constData() + b.payload + 4);
    if (b.payload + 8 + n * width > b.end) return std::nullopt;
    std::vector<long long> offsets(static_cast<size_t>(n));
    bool fits = !wide;
    for (long long i = 0; i < n; ++i) {
        const char* e = d.constData() + b.payload + 8 + i * width;
        const long long o = (wide ? static_cast<long long>(be64(e)) : be32(e)) + shift;
        if (o < 0) return std::nullopt;
        if (o > 0xFFFFFFFFLL) fits = false;
        offsets[static_cast<size_t>(i)] = o;
    }
    const bool narrow = !wide && fits;
    QByteArray payload = d.mid(b.payload, 8);  // version, flags, count
    for (const long long o : offsets)
        if (narrow) putBe32(payload, static_cast<uint32_t>(o));
        else putBe64(payload, static_cast<uint64_t>(o));
    return box(narrow ? "stco" : "co64", payload);
}

// A track's boxes down to its sample tables, rebuilt with their chunk
// offsets moved.
std::optional<QByteArray> shifted(const QByteArray& d, const Box& b, long long shift) {
    if (b.type == "stco" || b.type == "co64") return shiftedOffsets(d, b, shift);
    if (b.type != "mdia" && b.type != "minf" && b.type != "stbl") return bytesOf(d, b);
    QByteArray rest, payload;
    for (const Box& k : kidsOf(d, b.payload, b.end, &rest)) {
        const std::optional<QByteArray> s = shifted(d, k, shift);
        if (!s) return std::nullopt;
        payload += *s;
    }
    return box(b.type, payload + rest);
}

// A track of the result with the udta the source's track had (none when it
// had none) and its chunk offsets moved. The tracks the encoder makes anew
// keep their own udta.
std::optional<QByteArray> trackWith(const QByteArray& d, const Box& trak, const QByteArray* sourceUdta, bool own,
                                    long long shift) {
    QByteArray rest, payload;
    bool udtaPlaced = false;
    for (const Box& k : kidsOf(d, trak.payload, trak.end, &rest)) {
        if (k.type == "udta" && !own) {
            if (sourceUdta && !udtaPlaced) payload += *sourceUdta;
            udtaPlaced = true;
            continue;
        }
        const std::optional<QByteArray> s = shift ? shifted(d, k, shift) : std::optional<QByteArray>(bytesOf(d, k));
        if (!s) return std::nullopt;
        payload += *s;
    }
    if (sourceUdta && !own && !udtaPlaced) payload += *sourceUdta;
    return box("trak", payload + rest);
}

}  // namespace

std::optional<QByteArray> MovieWith(const QByteArray& source, const QByteArray& output, bool trimmed,
                                    long long shift) {
    const Item cover = itemIn(output, "covr");
    if (cover.bytes.isEmpty()) return std::nullopt;
    const std::vector<Box> srcTop = childrenOf(source, 8, source.size());
    const std::vector<Box> outTop = childrenOf(output, 8, output.size());
    const Box* srcUdta = find(srcTop, "udta");
    const Box* srcMeta = find(srcTop, "meta");

    // The cover goes where the source kept its own: in udta/meta, else in
    // moov/meta; a source without one gets it in udta/meta.
    const Box* udtaMeta = nullptr;
    std::vector<Box> udtaKids;
    if (srcUdta) {
        udtaKids = childrenOf(source, srcUdta->payload, srcUdta->end);
        udtaMeta = find(udtaKids, "meta");
    }
    const bool inMovieMeta = srcMeta && holdsCover(source, *srcMeta) && !(udtaMeta && holdsCover(source, *udtaMeta));

    // The source's udta with the cover in its item list (and the encoder's
    // chapter list fitted to a cut); one of its own for a cover with nowhere
    // else to go.
    QByteArray udta;
    bool haveUdta = srcUdta != nullptr;
    if (srcUdta) {
        QByteArray rest;
        kidsOf(source, srcUdta->payload, srcUdta->end, &rest);
        for (const Box& k : udtaKids) {
            if (&k == udtaMeta && !inMovieMeta) udta += withCover(source, k, cover.bytes, true);
            else if (k.type == "chpl" && trimmed) udta += udtaChild(output, "chpl");
            else udta += bytesOf(source, k);
        }
        udta += rest;
    }
    if (!udtaMeta && !inMovieMeta) {
        udta += box("meta", QByteArray(4, '\0') + cover.handler + box("ilst", cover.bytes));
        haveUdta = true;
    }
    if (haveUdta) udta = box("udta", udta);
    QByteArray meta;
    if (srcMeta) meta = inMovieMeta ? withCover(source, *srcMeta, cover.bytes, false) : bytesOf(source, *srcMeta);

    std::map<QByteArray, QByteArray> trackUdta;
    const std::vector<QByteArray> srcKeys = probe::movie::trackKeys(source, srcTop);
    for (size_t i = 0; i < srcTop.size(); ++i)
        if (!srcKeys[i].isEmpty())
            if (const Box* u = find(childrenOf(source, srcTop[i].payload, srcTop[i].end), "udta"))
                trackUdta[srcKeys[i]] = bytesOf(source, *u);

    // The source's order of moov/meta and udta, for a result that has
    // neither where it would go.
    const bool metaFirst = srcMeta && (!srcUdta || srcMeta->start < srcUdta->start);
    const std::vector<QByteArray> outKeys = probe::movie::trackKeys(output, outTop);
    QByteArray rest, payload;
    kidsOf(output, 8, output.size(), &rest);
    bool udtaDone = false, metaDone = false;
    const auto putMeta = [&] {
        if (!metaDone) payload += meta;
        metaDone = true;
    };
    const auto putUdta = [&] {
        if (metaFirst) putMeta();
        if (!udtaDone) payload += udta;
        udtaDone = true;
    };
    for (size_t i = 0; i < outTop.size(); ++i) {
        const Box& b = outTop[i];
        if (b.type == "trak") {
            const auto u = trackUdta.find(outKeys[i]);
            const std::optional<QByteArray> t =
                trackWith(output, b, u == trackUdta.end() ? nullptr : &u->second, outKeys[i].isEmpty(), shift);
            if (!t) return std::nullopt;
            payload += *t;
        } else if (b.type == "udta") {
            putUdta();
        } else if (b.type == "meta") {
            if (!metaFirst) putMeta();
        } else {
            payload += bytesOf(output, b);
        }
    }
    putUdta();
    putMeta();
    return box("moov", payload + rest);
}

namespace {

// The file's movie box, whole; empty when it has none or one too large.
QByteArray movieOf(QFile& f, const std::vector<Box>& top) {
    const Box* moov = find(top, "moov");
    if (!moov || moov->end - moov->start > kLargestMovie) return {};
    return probe::bytes::readAt(f, moov->start, moov->end - moov->start);
}

struct Descriptor {
    int fd = -1;
    explicit Descriptor(int d) : fd(d) {}
    ~Descriptor() {
        if (fd >= 0) ::close(fd);
    }
};

// Bytes [at, at + n) of `in` appended to `out`: in the kernel where it can,
// through a buffer where it cannot. The written part is sent on to the disk
// as it grows, so that the flush before the result replaces anything has
// little left to do.
bool copyRange(int in, long long at, long long n, int out) {
    constexpr long long kStep = 64 << 20;
    bool kernel = true;
    std::vector<char> buffer;
    while (n > 0) {
        const long long step = std::min(n, kStep);
        long long done = 0;
        while (kernel && done < step) {
            loff_t from = at + done;
            const ssize_t c = ::copy_file_range(in, &from, out, nullptr, static_cast<size_t>(step - done), 0);
            if (c < 0 && errno == EINTR) continue;
            if (c == 0) return false;  // the file is shorter than it was
            if (c < 0) {
                if (errno != EXDEV && errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) return false;
                kernel = false;
                break;
            }
            done += c;
        }
        if (done < step) {
            buffer.resize(1 << 20);
            while (done < step) {
                const ssize_t got = ::pread(in, buffer.data(), std::min<size_t>(buffer.size(), step - done), at + done);
                if (got < 0 && errno == EINTR) continue;
                if (got <= 0 || !fileops::WriteAll(out, buffer.data(), got)) return false;
                done += got;
            }
        }
        ::sync_file_range(out, 0, 0, SYNC_FILE_RANGE_WRITE);
        at += step;
        n -= step;
    }
    return true;
}

}  // namespace

bool CarryOver(const QString& source, const QString& output, const Carry& how) {
    QFile src(source);
    if (!src.open(QIODevice::ReadOnly)) return false;
    const QByteArray sourceMovie = movieOf(src, probe::movie::topLevel(src));
    src.close();
    if (sourceMovie.isEmpty()) return false;

    const QByteArray name = QFile::encodeName(output);
    Descriptor out(::open(name.constData(), O_RDWR | O_CLOEXEC));
    struct stat st;
    QFile f;
    if (out.fd < 0 || ::fstat(out.fd, &st) != 0 || !f.open(out.fd, QIODevice::ReadOnly, QFileDevice::DontCloseHandle))
        return false;
    const std::vector<Box> top = probe::movie::topLevel(f);
    const QByteArray movie = movieOf(f, top);
    if (movie.isEmpty() || top.back().end != st.st_size) return false;

    // The media must move as one: the movie box lies before or after it, and
    // there is one movie box and no fragment.
    int moov = -1, firstMedia = -1, lastMedia = -1;
    for (int i = 0; i < static_cast<int>(top.size()); ++i) {
        if (top[i].type == "moov") {
            if (moov >= 0) return false;
            moov = i;
        }
        if (top[i].type == "moof") return false;
        if (top[i].type == "mdat") {
            if (firstMedia < 0) firstMedia = i;
            lastMedia = i;
        }
    }
    if (firstMedia >= 0 && moov > firstMedia && moov < lastMedia) return false;

    // The new order: the movie box after the file type box, or last.
    std::vector<int> order;
    for (int i = 0; i < static_cast<int>(top.size()); ++i)
        if (i != moov) order.push_back(i);
    const int at = how.movieFirst ? (top.front().type == "ftyp" ? 1 : 0) : static_cast<int>(order.size());
    order.insert(order.begin() + at, moov);

    // Where the media lands depends on the new movie box's size, which
    // depends on its offsets' width: settled in a round or two.
    std::optional<QByteArray> rebuilt;
    long long shift = 0;
    for (int round = 0;; ++round) {
        rebuilt = MovieWith(sourceMovie, movie, how.trimmed, shift);
        if (!rebuilt || round == 4) return false;
        if (firstMedia < 0) break;
        long long mediaAt = 0;
        for (const int i : order) {
            if (i == firstMedia) break;
            mediaAt += i == moov ? rebuilt->size() : top[i].end - top[i].start;
        }
        if (mediaAt - top[firstMedia].start == shift) break;
        shift = mediaAt - top[firstMedia].start;
    }

    // Under a work name until whole: the output's name never holds a file
    // that is neither the encoder's nor the finished one.
    fileops::WorkFile work = fileops::CreateWorkFile(fileops::FolderOf(output));
    if (work.fd < 0) return false;
    Descriptor workFd(work.fd);
    const QByteArray workName = QFile::encodeName(work.path);
    bool ok = false;
    if (moov == static_cast<int>(top.size()) - 1 && order.back() == moov) {
        // Only the movie box at the end changes: the encoder's file is
        // finished where it lies, once it has left the output's name.
        ok = std::rename(name.constData(), workName.constData()) == 0 &&
             ::lseek(out.fd, top[moov].start, SEEK_SET) == top[moov].start &&
             fileops::WriteAll(out.fd, rebuilt->constData(), rebuilt->size()) &&
             ::ftruncate(out.fd, top[moov].start + rebuilt->size()) == 0;
    } else {
        ok = ::fchmod(work.fd, st.st_mode & 07777) == 0;
        for (size_t k = 0; ok && k < order.size(); ++k) {
            const Box& b = top[order[k]];
            if (order[k] == moov) {
                ok = fileops::WriteAll(work.fd, rebuilt->constData(), rebuilt->size());
                continue;
            }
            // Neighbouring boxes go in one copy.
            long long end = b.end;
            while (k + 1 < order.size() && order[k + 1] != moov && top[order[k + 1]].start == end)
                end = top[order[++k]].end;
            ok = copyRange(out.fd, b.start, end - b.start, work.fd);
        }
    }
    if (ok) ok = std::rename(workName.constData(), name.constData()) == 0;
    if (!ok) ::unlink(workName.constData());
    return ok;
}

}  // namespace mp4boxes
