#include "batch/FastPng.h"

#include <QFile>
#include <QImage>

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <thread>
#include <vector>

namespace fastpng {

namespace {

constexpr size_t kStrips = 4;

void put32(std::vector<unsigned char>& out, uint32_t v) {
    out.push_back(static_cast<unsigned char>(v >> 24));
    out.push_back(static_cast<unsigned char>(v >> 16));
    out.push_back(static_cast<unsigned char>(v >> 8));
    out.push_back(static_cast<unsigned char>(v));
}

void chunk(std::vector<unsigned char>& out, const char* type, const unsigned char* data, size_t size) {
    put32(out, static_cast<uint32_t>(size));
    const size_t at = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data, data + size);
    put32(out, static_cast<uint32_t>(crc32(0, out.data() + at, static_cast<uInt>(size + 4))));
}

}  // namespace

bool Save(const QImage& image, const QString& path) {
    if (image.isNull()) return false;
    const bool alpha = image.hasAlphaChannel();
    const QImage::Format format = alpha ? QImage::Format_RGBA8888 : QImage::Format_RGB888;
    const int w = image.width(), h = image.height(), bpp = alpha ? 4 : 3;
    const size_t rowBytes = static_cast<size_t>(w) * bpp;

    // Large pictures go in strips side by side, each converted, filtered and
    // deflated on its own; every strip but the last ends on a byte boundary,
    // so their streams join into one.
    const size_t strips = static_cast<size_t>(h) * rowBytes < (1u << 20) ? 1 : std::min<size_t>(kStrips, h);
    const int rowsPer = static_cast<int>((static_cast<size_t>(h) + strips - 1) / strips);
    std::vector<std::vector<unsigned char>> parts(strips);
    std::vector<uLong> checks(strips);
    std::vector<size_t> lengths(strips);
    std::vector<char> ok(strips, 0);
    const auto packStrip = [&](size_t i) {
        const int from = std::min(h, static_cast<int>(i) * rowsPer);
        const int to = std::min(h, from + rowsPer);
        const QImage rows = image.copy(0, from, w, to - from).convertToFormat(format);
        // Every row: filter type 1 ("Sub"), then each byte less the one a
        // pixel to its left.
        std::vector<unsigned char> raw(static_cast<size_t>(to - from) * (rowBytes + 1));
        for (int y = 0; y < to - from; ++y) {
            const unsigned char* src = rows.constScanLine(y);
            unsigned char* dst = raw.data() + static_cast<size_t>(y) * (rowBytes + 1);
            dst[0] = 1;
            std::memcpy(dst + 1, src, static_cast<size_t>(bpp));
            for (size_t b = bpp; b < rowBytes; ++b) dst[1 + b] = static_cast<unsigned char>(src[b] - src[b - bpp]);
        }
        lengths[i] = raw.size();
        checks[i] = adler32(1, raw.data(), static_cast<uInt>(raw.size()));
        z_stream z{};
        if (deflateInit2(&z, 1, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) return;
        parts[i].resize(deflateBound(&z, static_cast<uLong>(raw.size())) + 16);
        z.next_in = raw.data();
        z.avail_in = static_cast<uInt>(raw.size());
        z.next_out = parts[i].data();
        z.avail_out = static_cast<uInt>(parts[i].size());
        const bool last = i + 1 == strips;
        const int r = deflate(&z, last ? Z_FINISH : Z_SYNC_FLUSH);
        ok[i] = last ? r == Z_STREAM_END : (r == Z_OK && z.avail_in == 0);
        parts[i].resize(z.total_out);
        deflateEnd(&z);
    };
    std::vector<std::thread> workers;
    for (size_t i = 1; i < strips; ++i) workers.emplace_back(packStrip, i);
    packStrip(0);
    for (auto& t : workers) t.join();

    std::vector<unsigned char> packed{0x78, 0x01};  // zlib header, fastest level
    uLong check = checks[0];
    for (size_t i = 0; i < strips; ++i) {
        if (!ok[i]) return false;
        packed.insert(packed.end(), parts[i].begin(), parts[i].end());
        if (i > 0) check = adler32_combine(check, checks[i], static_cast<z_off_t>(lengths[i]));
    }
    put32(packed, static_cast<uint32_t>(check));

    std::vector<unsigned char> out{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<unsigned char> header;
    put32(header, static_cast<uint32_t>(w));
    put32(header, static_cast<uint32_t>(h));
    header.insert(header.end(), {8, static_cast<unsigned char>(alpha ? 6 : 2), 0, 0, 0});
    chunk(out, "IHDR", header.data(), header.size());
    chunk(out, "IDAT", packed.data(), packed.size());
    chunk(out, "IEND", nullptr, 0);

    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
    const bool written = f.write(reinterpret_cast<const char*>(out.data()), static_cast<qint64>(out.size())) ==
                         static_cast<qint64>(out.size());
    f.close();
    if (!written || f.error() != QFileDevice::NoError) {
        f.remove();
        return false;
    }
    return true;
}

}  // namespace fastpng
