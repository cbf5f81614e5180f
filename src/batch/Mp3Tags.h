#pragma once
// An MP3 result put together around the cover the encoder wrote.
//
// The encoder cannot write every ID3v2 frame, drops APE tags and Lyrics3
// blocks and rewrites the audio's header frame; a tag library re-renders
// every frame it reads, in its own way. So the result is put together from
// bytes: the source's ID3v2 tag with its header, extended header, frames and
// padding as they were, its covers (probe::CoverFrames) taken out and one new
// front cover frame, holding the picture the encoder accepted, put where the
// first of them stood; then every byte the source held after its tag. A
// trimmed file takes its audio from the encoder, followed by the source's
// tags at its end as they were.
#include "probe/FileStructure.h"

#include <QByteArray>
#include <QString>

namespace mp3tags {

// The source's tag with its covers replaced by one front cover frame holding
// `picture` of MIME type `mime`, written in the tag's version and, where the
// tag is unsynchronised, unsynchronised too. An extended header gets its
// padding size and CRC anew. The tag keeps its length where the frames fit,
// so the audio need not move; otherwise it keeps its amount of padding (none
// with a footer). A source without a tag gets an ID3v2.3 tag. Empty when the
// tag cannot be walked or the result would be larger than a tag can be.
QByteArray TagWithCover(const probe::Id3Tag& source, const QByteArray& mime, const QByteArray& picture);

// Replaces `output`, what the encoder wrote from `source`, with the result
// described above. False when it cannot be: the source's tag cannot be
// walked (or there are several), the output holds other than one front
// cover, the source changed since `sourceLayout` was read, or a read or write
// fails; `output` is then left as the encoder wrote it.
bool CarryOver(const QString& source, const probe::Mp3Layout& sourceLayout, const QString& output, bool trimmed);

}  // namespace mp3tags
