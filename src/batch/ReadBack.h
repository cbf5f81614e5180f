#pragma once
// Reading a written file back before it counts.
//
// The encoder's exit status and the output's size say little: it can exit
// with success after failing to write the end of a file, and a file that is
// only a header has a size too. An attempt counts only when its output opens,
// holds the source's streams (same kinds, same number), lasts as long as the
// source (or the trimmed length), adds up to its last byte by its container's
// own layout, and holds exactly one cover by its container's mechanism. An
// MP3 also keeps every other ID3v2 frame byte for byte, by the program's own
// frame reader, its cover holds the chosen picture, and it keeps every byte
// after its ID3v2 tag; trimmed, the tags at its end. An MP4, QuickTime or
// Matroska result also keeps the source's creation time, its chapters (unless
// trimmed) and its pictures and attachments other than the cover; an MP4's
// metadata boxes as bytes (MovieBoxes.h); a Matroska file's track flags,
// languages and names, its title and its tags.
//
//   const readback::Facts source = readback::Read(sourcePath, mechanism);
//   ... the encoder writes output ...
//   if (readback::Judge(source, readback::Read(output, mechanism), expect)) ...
#include "batch/Containers.h"
#include "probe/FileStructure.h"
#include "probe/FrameTimes.h"
#include "probe/MediaProbe.h"

#include <QString>

namespace readback {

struct Facts {
    QString path;
    container::Mechanism mechanism = container::Mechanism::None;
    probe::StreamFacts streams;
    probe::Mp4Layout mp4;
    probe::MatroskaLayout matroska;
    probe::Mp3Layout mp3;
    // Read only when asked for (a join is judged by them).
    probe::FrameTimes frames;
};

// The streams by the media library; the layout by the mechanism's container
// (an MP3's ID3v2 frames with it); with frameTimes, the video's picture times
// as well.
Facts Read(const QString& path, container::Mechanism mechanism, bool frameTimes = false);
// The picture times by the mechanism's container (nothing read for MP3).
probe::FrameTimes ReadFrameTimes(const QString& path, container::Mechanism mechanism);

struct Expectation {
    // Seconds the output must last (0 when unknown: the source states none).
    double duration = 0;
    // The source was cut: the length comes from the trim (at least that,
    // at most the source's), and the audio frames are fewer.
    bool trimmed = false;
    int covers = 1;
    // The cover picture's bytes, where the container keeps them as they are
    // (MP3): the result's cover must hold exactly these.
    QByteArray picture;
    // An opening clip was joined in front of the film: `duration` (the
    // film's length plus the clip's) is held to JoinTolerance whatever the
    // length, and the output's video must end as far from its audio as the
    // film's did (bodyVideoLead: the film's video length minus its audio
    // length), within JoinTolerance as well.
    bool joined = false;
    double bodyVideoLead = 0;
    // A join whose picture times are checked: they must be read, decode in
    // order (probe::DecodeOrderHolds), and every picture follow the one
    // shown before it by between shortestFrame and longestFrame seconds, a
    // tick of either file's clock aside (no hole, no overlap at the join).
    // Spacing is not held when longestFrame is 0 (a film of one picture).
    bool framesChecked = false;
    double shortestFrame = 0, longestFrame = 0, frameTick = 0;
};

// The tolerance on a length of `seconds`: a quarter second, or 1 % of long
// files.
double DurationTolerance(double seconds);
// Two halves copied into one file add up to the second.
constexpr double JoinTolerance = 0.2;

// The source's pictures among its Matroska attachments (ffmpeg reads them as
// pictures, not attachments, so they must be put back by name).
bool IsPictureMime(const QString& mime);

bool Judge(const Facts& source, const Facts& output, const Expectation& expect);

}  // namespace readback
