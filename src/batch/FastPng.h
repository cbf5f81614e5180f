#pragma once
// Writing a picture as PNG quickly.
//
// A cover is scaled to the video's frame, so a 1080p video gets an
// 8-megapixel picture before its encoder can start; the general PNG writer
// spends longer on that than the encoder spends copying a large video. This
// one filters every row by its left neighbour and deflates at the fastest
// level, which costs a fraction of the time for a somewhat larger file.
#include <QString>

class QImage;

namespace fastpng {

// 8-bit RGB, or RGBA when the picture has an alpha channel. False (and no
// file) when the picture is empty or the file cannot be written.
bool Save(const QImage& image, const QString& path);

}  // namespace fastpng
