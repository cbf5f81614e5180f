#include "batch/Mp4Boxes.h"

#include "platform/FileOps.h"
#include "probe/MovieBoxes.h"

#include <QFile>

#include <cerrno>
#include <cstdint>
#include <algorithm>
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
using probe::bytes::childOf;
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
        if (k.type == "ilst" && childOf(d, k.payload, k.end, "covr")) return true;
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
        if (const auto item = childOf(moov, ilst->payload, ilst->end, type.constData())) {
            const Box* hdlr = find(kids, "hdlr");
            return {bytesOf(moov, *item), hdlr ? bytesOf(moov, *hdlr) : QByteArray()};
        }
    }
    return {};
}

// The first child of moov/udta of `type`, whole; empty when there is none.
QByteArray udtaChild(const QByteArray& moov, const char* type) {
    if (const auto u = childOf(moov, 8, moov.size(), "udta"))
        if (const auto c = childOf(moov, u->payload, u->end, type)) return bytesOf(moov, *c);
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
        // Of several meta boxes, the one with the cover, else the one with
        // an item list.
        udtaKids = childrenOf(source, srcUdta->payload, srcUdta->end);
        for (const Box& k : udtaKids) {
            if (k.type != "meta") continue;
            const auto ilst = [&](const Box& m) {
                return childOf(source, probe::movie::metaChildren(source, m), m.end, "ilst").has_value();
            };
            if (!udtaMeta || (holdsCover(source, k) && !holdsCover(source, *udtaMeta)) ||
                (ilst(k) && !ilst(*udtaMeta) && !holdsCover(source, *udtaMeta)))
                udtaMeta = &k;
        }
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
            if (const auto u = childOf(source, srcTop[i].payload, srcTop[i].end, "udta"))
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


// The encoder's file by its top-level boxes: where its movie box and its
// first media box are.
struct Layout {
    const std::vector<Box>& top;
    int moov, firstMedia;
};

// A movie box for media that moves as one to `mediaAt(movie size)`: its
// size decides where the media lands, and where it lands the width of its
// offsets; settled in a round or two.
template <typename MediaAt>
std::optional<QByteArray> settledMovie(const QByteArray& source, const QByteArray& movie, bool trimmed,
                                       long long mediaWas, MediaAt mediaAt) {
    long long shift = 0;
    for (int round = 0; round < 4; ++round) {
        const std::optional<QByteArray> m = MovieWith(source, movie, trimmed, shift);
        if (!m || mediaWas < 0) return m;
        const long long now = mediaAt(m->size()) - mediaWas;
        if (now == shift) return m;
        shift = now;
    }
    return std::nullopt;
}

// The movie box put in front of the media without moving it: the file
// system inserts room at the file's start (whole blocks), which takes the
// file type box, the movie box and a free box over what stood before the
// media. False, the file as it was, where the file system cannot, or
// anything but free boxes stood between the file type box and the media;
// Failed once the file has changed.
enum class Room { Untried, Made, Failed };

Room roomInFront(int fd, const Layout& l, const QByteArray& source, const QByteArray& movie, const Carry& how,
                 long long block) {
    if (l.firstMedia < 0 || block <= 0) return Room::Untried;
    const bool typed = l.top.front().type == "ftyp";
    for (int i = typed ? 1 : 0; i < l.firstMedia; ++i)
        if (l.top[i].type != "free" && l.top[i].type != "skip") return Room::Untried;
    QByteArray head;
    if (typed) {
        head.resize(static_cast<int>(l.top.front().end));
        if (::pread(fd, head.data(), head.size(), 0) != head.size()) return Room::Untried;
    }
    const long long mediaWas = l.top[l.firstMedia].start;
    const auto room = [&](long long movieSize) {
        const long long need = head.size() + movieSize + 8 - mediaWas;
        return std::max(block, (need + block - 1) / block * block);
    };
    const std::optional<QByteArray> m =
        settledMovie(source, movie, how.trimmed, mediaWas, [&](long long size) { return room(size) + mediaWas; });
    if (!m) return Room::Untried;
    const long long inserted = room(m->size());
    if (::fallocate(fd, FALLOC_FL_INSERT_RANGE, 0, inserted) != 0) return Room::Untried;
    QByteArray front = head + *m;
    putBe32(front, static_cast<uint32_t>(inserted + mediaWas - front.size()));
    front += "free";
    const bool written = ::ftruncate(fd, l.top[l.moov].start + inserted) == 0 &&
                         ::pwrite(fd, front.constData(), front.size(), 0) == front.size();
    return written ? Room::Made : Room::Failed;
}

// The boxes copied into `to` in their new order: the movie box after the
// file type box, or last.
bool copyInOrder(int from, const Layout& l, const QByteArray& source, const QByteArray& movie, const Carry& how,
                 int to) {
    const std::vector<Box>& top = l.top;
    std::vector<int> order;
    for (int i = 0; i < static_cast<int>(top.size()); ++i)
        if (i != l.moov) order.push_back(i);
    const int at = how.movieFirst ? (top.front().type == "ftyp" ? 1 : 0) : static_cast<int>(order.size());
    order.insert(order.begin() + at, l.moov);
    const auto mediaAt = [&](long long movieSize) {
        long long pos = 0;
        for (const int i : order) {
            if (i == l.firstMedia) break;
            pos += i == l.moov ? movieSize : top[i].end - top[i].start;
        }
        return pos;
    };
    const std::optional<QByteArray> m = settledMovie(
        source, movie, how.trimmed, l.firstMedia < 0 ? -1 : top[l.firstMedia].start, mediaAt);
    if (!m) return false;
    for (size_t k = 0; k < order.size(); ++k) {
        const Box& b = top[order[k]];
        if (order[k] == l.moov) {
            if (!fileops::WriteAll(to, m->constData(), m->size())) return false;
            continue;
        }
        // Neighbouring boxes go in one copy.
        long long end = b.end;
        while (k + 1 < order.size() && order[k + 1] != l.moov && top[order[k + 1]].start == end)
            end = top[order[++k]].end;
        if (!copyRange(from, b.start, end - b.start, to)) return false;
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

    f.close();

    // Under a work name until whole: the output's name never holds a file
    // that is neither the encoder's nor the finished one.
    const QString folder = fileops::FolderOf(output);
    fileops::WorkFile work = fileops::CreateWorkFile(folder);
    if (work.fd < 0) return false;
    ::close(work.fd);
    const QByteArray workName = QFile::encodeName(work.path);
    if (std::rename(name.constData(), workName.constData()) != 0) {
        ::unlink(workName.constData());
        return false;
    }
    const bool moovLast = moov == static_cast<int>(top.size()) - 1;
    bool ok = false;
    QByteArray finished = workName;
    if (!how.movieFirst && moovLast) {
        // Only the movie box at the end changes: finished where it lies.
        const std::optional<QByteArray> rebuilt = MovieWith(sourceMovie, movie, how.trimmed, 0);
        ok = rebuilt && ::lseek(out.fd, top[moov].start, SEEK_SET) == top[moov].start &&
             fileops::WriteAll(out.fd, rebuilt->constData(), rebuilt->size()) &&
             ::ftruncate(out.fd, top[moov].start + rebuilt->size()) == 0;
    } else {
        const Layout layout{top, moov, firstMedia};
        const Room room = how.movieFirst && moovLast
                              ? roomInFront(out.fd, layout, sourceMovie, movie, how, st.st_blksize)
                              : Room::Untried;
        ok = room == Room::Made;
        if (room == Room::Untried) {
            // A new file with the boxes in their new order.
            fileops::WorkFile copy = fileops::CreateWorkFile(folder);
            Descriptor copyFd(copy.fd);
            if (copy.fd >= 0) {
                finished = QFile::encodeName(copy.path);
                ok = ::fchmod(copy.fd, st.st_mode & 07777) == 0 &&
                     copyInOrder(out.fd, layout, sourceMovie, movie, how, copy.fd);
            }
        }
    }
    if (ok) ok = std::rename(finished.constData(), name.constData()) == 0;
    if (finished != workName) ::unlink(workName.constData());
    if (!ok) ::unlink(finished.constData());
    return ok;
}

}  // namespace mp4boxes
