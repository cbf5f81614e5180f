#pragma once
// When each picture of a file's first video track is decoded and shown, as
// its container's tables and blocks state it.
//
// Two files joined by copying their streams are only as good as the
// timestamps the join gave them: a hole between the halves, or one half
// laid over the other, shows here and nowhere in a media library's report.
#include <QString>
#include <vector>

namespace probe {

struct FrameTimes {
    // The video track's times were read to the end.
    bool read = false;
    // Seconds, one entry per picture in decode (storage) order: when it is
    // shown, and when it is decoded (MP4 and QuickTime only; Matroska stores
    // no decode times).
    std::vector<double> shown;
    std::vector<double> decoded;
    // The container's clock: seconds per tick.
    double tick = 0;
    // Where the video starts after the file's earliest stream, in seconds
    // (0 when the video comes first).
    double videoLead = 0;
};

// MP4 and QuickTime: the sample tables (stts, ctts) and the edit lists of
// the first video track, and the edit lists of the other tracks.
FrameTimes ReadMp4FrameTimes(const QString& path);
// Matroska: the blocks of every cluster.
FrameTimes ReadMatroskaFrameTimes(const QString& path);

// Seconds between neighbouring pictures in the order they are shown.
std::vector<double> FrameSpacing(const FrameTimes& times);

// The decode times move forward from picture to picture, and no picture is
// shown before one decoded more than sixteen pictures ahead of it (no H.264
// or HEVC decoder holds back more).
bool DecodeOrderHolds(const FrameTimes& times);

}  // namespace probe
