#pragma once
// Where a file can carry a cover, chosen by the target's extension.
//
//   .mp4 .m4v .m4a    the attached picture (an item of the movie's tags)
//   .mov .qt          the same, written by the MP4 writer with a QuickTime
//                     brand (the QuickTime writer drops attached pictures)
//   .mkv .mka .mks    an attachment "cover.png" of type image/png, in place
//                     of earlier cover attachments; other attachments stay
//   .mp3              an ID3v2 picture of type "front cover" among the
//                     source's own frames (Mp3Tags.h)
//
// Every other container has no cover the encoder can write, or would take the
// picture for a video track: such a row is refused before any encoder runs.
#include <QString>

namespace container {

enum class Mechanism { None, Mp4, QuickTime, Matroska, Mp3 };

// Case ignored; "" and unknown extensions give None.
Mechanism MechanismFor(const QString& path);

// Matroska's cover-art names: cover, small_cover, cover_land and
// small_cover_land, with any extension, case ignored.
bool IsCoverAttachmentName(const QString& name);

// The name and type the new cover attachment gets.
inline const QString CoverAttachmentName = QStringLiteral("cover.png");
inline const QString CoverAttachmentMime = QStringLiteral("image/png");

}  // namespace container
