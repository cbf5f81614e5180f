#pragma once
// An MP4 or QuickTime source's metadata boxes put into the encoder's result.
//
// The encoder writes what it understands of a movie's tags anew and leaves
// out the rest: QuickTime keys, camera boxes, freeform items, track names; it
// turns a ©xyz location into a loci box. After its run the result's movie box
// is put together again from the encoder's (the tracks with their tables, the
// new cover item) and the source's metadata boxes as they were (MovieBoxes.h),
// so that only the cover item differs. The result is then laid out as the
// source was: its movie box after the media, or in front of it (faststart),
// which moves the media and every chunk offset with it.
#include <QByteArray>
#include <QString>
#include <optional>

namespace mp4boxes {

struct Carry {
    // The source was cut: the Nero chapter list is the encoder's, fitted to
    // the cut, and not the source's.
    bool trimmed = false;
    // The source's movie box lay before its media.
    bool movieFirst = false;
};

// Rewrites `output` so. The new file is put together under a work name
// beside it and takes the output's name only when whole; false when that
// cannot be done (a file that is not one movie, a source without a movie
// box, a write that fails), the output then gone or as the encoder left it.
bool CarryOver(const QString& source, const QString& output, const Carry& how);

// The movie box `output` with the metadata boxes of `source`, the cover item
// of `output` in the place of the source's, and every chunk offset moved by
// `shift` bytes (a table whose offsets then pass 4 GiB becomes a 64-bit
// one). Nothing when `output` holds no cover item or an offset would fall
// before the file's start.
std::optional<QByteArray> MovieWith(const QByteArray& source, const QByteArray& output, bool trimmed,
                                    long long shift);

}  // namespace mp4boxes
