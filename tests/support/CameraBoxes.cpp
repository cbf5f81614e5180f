#include "support/CameraBoxes.h"

#include <QFile>

namespace media {

namespace {

uint32_t be32(const QByteArray& b, long long at) {
    const auto* u = reinterpret_cast<const unsigned char*>(b.constData() + at);
    return (uint32_t(u[0]) << 24) | (uint32_t(u[1]) << 16) | (uint32_t(u[2]) << 8) | uint32_t(u[3]);
}

QByteArray be32Bytes(uint32_t v) {
    const char c[4] = {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
    return QByteArray(c, 4);
}

struct Child {
    QByteArray type;
    long long start, end;
};

// 32-bit sizes only: the files here are small.
std::vector<Child> children(const QByteArray& b, long long from, long long to) {
    std::vector<Child> out;
    while (from + 8 <= to) {
        const long long size = be32(b, from);
        if (size < 8 || from + size > to) break;
        out.push_back({b.mid(static_cast<int>(from) + 4, 4), from, from + size});
        from += size;
    }
    return out;
}

QByteArray whole(const QByteArray& b, const Child& c) { return b.mid(static_cast<int>(c.start), c.end - c.start); }

// The payload of a container with `add` at its end, as a box of its type.
QByteArray grown(const QByteArray& b, const Child& c, int header, const QByteArray& add) {
    return Box(c.type, b.mid(static_cast<int>(c.start) + 8, header - 8) +
                           b.mid(static_cast<int>(c.start) + header, c.end - c.start - header) + add);
}

QByteArray withItems(const QByteArray& m, const Child& meta, const QByteArray& items) {
    QByteArray inner;
    for (const Child& k : children(m, meta.start + 12, meta.end))
        inner += k.type == "ilst" ? grown(m, k, 8, items) : whole(m, k);
    return Box("meta", m.mid(static_cast<int>(meta.start) + 8, 4) + inner);
}

}  // namespace

QByteArray Box(const QByteArray& type, const QByteArray& payload) {
    return be32Bytes(8 + payload.size()) + type + payload;
}

QByteArray QtText(const QByteArray& type, const QByteArray& text) {
    return Box(type, QByteArray("\0", 1) + char(text.size()) + QByteArray("\x15\xc7", 2) + text);
}

QByteArray Freeform(const QByteArray& name, const QByteArray& value) {
    const QByteArray zero(4, '\0');
    return Box("----", Box("mean", zero + "com.apple.iTunes") + Box("name", zero + name) +
                           Box("data", be32Bytes(1) + zero + value));
}

QByteArray QuickTimeKeys(const std::vector<std::pair<QByteArray, QByteArray>>& keysAndValues) {
    QByteArray keys = QByteArray(4, '\0') + be32Bytes(static_cast<uint32_t>(keysAndValues.size()));
    QByteArray items;
    uint32_t index = 0;
    for (const auto& [key, value] : keysAndValues) {
        keys += Box("mdta", key);
        items += Box(be32Bytes(++index), Box("data", be32Bytes(1) + QByteArray(4, '\0') + value));
    }
    const QByteArray hdlr = Box("hdlr", QByteArray(8, '\0') + "mdta" + QByteArray(13, '\0'));
    return Box("meta", hdlr + Box("keys", keys) + Box("ilst", items));
}

bool AddMovieBoxes(const QString& path, const MovieExtras& x) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return false;
    const QByteArray b = f.readAll();
    f.close();
    const std::vector<Child> top = children(b, 0, b.size());
    int moov = -1;
    for (int i = 0; i < static_cast<int>(top.size()); ++i)
        if (top[i].type == "moov") moov = i;
    if (moov < 0) return false;
    const Child& mv = top[moov];
    QByteArray inner;
    int track = 0;
    bool udtaSeen = false;
    for (const Child& c : children(b, mv.start + 8, mv.end)) {
        if (c.type == "trak" && track < x.trackNames.size()) {
            inner += grown(b, c, 8, Box("udta", Box("name", x.trackNames[track++])));
        } else if (c.type == "udta") {
            QByteArray u;
            for (const Child& k : children(b, c.start + 8, c.end))
                u += k.type == "meta" && !x.items.isEmpty() ? withItems(b, k, x.items) : whole(b, k);
            inner += Box("udta", u + x.udta);
            udtaSeen = true;
        } else {
            inner += whole(b, c);
        }
    }
    if (!udtaSeen && !x.udta.isEmpty()) inner += Box("udta", x.udta);
    const QByteArray movie = Box("moov", inner + x.meta);
    QByteArray out;
    if (moov == static_cast<int>(top.size()) - 1) {
        out = b.left(static_cast<int>(mv.start)) + movie;
    } else {
        // The free box after it gives up what the movie box grows by.
        if (moov + 1 >= static_cast<int>(top.size()) || top[moov + 1].type != "free") return false;
        const long long room = top[moov + 1].end - mv.start - movie.size();
        if (room < 8) return false;
        out = b.left(static_cast<int>(mv.start)) + movie + Box("free", QByteArray(room - 8, '\0')) +
              b.mid(static_cast<int>(top[moov + 1].end));
    }
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(out) == out.size();
}

QByteArrayList MovieMetadata(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    const QByteArray b = f.readAll();
    QByteArrayList out;
    for (const Child& mv : children(b, 0, b.size())) {
        if (mv.type != "moov") continue;
        for (const Child& c : children(b, mv.start + 8, mv.end)) {
            if (c.type == "trak") {
                QByteArray t = "trak";
                for (const Child& k : children(b, c.start + 8, c.end)) {
                    if (k.type == "tref") t += " tref";
                    if (k.type == "udta") t += " " + whole(b, k);
                }
                out << t;
            } else if (c.type == "udta") {
                for (const Child& k : children(b, c.start + 8, c.end)) {
                    if (k.type != "meta") {
                        out << "udta " + whole(b, k);
                        continue;
                    }
                    for (const Child& m : children(b, k.start + 12, k.end)) {
                        if (m.type != "ilst") continue;
                        for (const Child& item : children(b, m.start + 8, m.end))
                            if (item.type != "covr") out << "ilst " + whole(b, item);
                    }
                }
            } else if (c.type == "meta") {
                out << "meta " + whole(b, c);
            }
        }
    }
    return out;
}

}  // namespace media
