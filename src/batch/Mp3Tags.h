#pragma once
// An MP3 result put together around the cover the encoder wrote.
//
// The encoder cannot write every ID3v2 frame (lyrics, ratings and file ids
// are dropped or turned into other frames), drops APE tags and rewrites the
// audio's header frame. So the result is: the source's ID3v2 frames with the
// encoder's front cover in place of the old front covers, in the source's
// tag version (ID3v2.3 when it had none), followed by every byte the source
// held after its ID3v2 tag. A trimmed file takes its audio from the encoder
// and the tags at its end (APE, ID3v1) from the source. The tag library
// writes the frames, keeping those it does not know as they were.
#include "probe/FileStructure.h"

#include <QByteArray>
#include <QString>
#include <vector>

namespace mp3tags {

// An MP3 file's ID3v2 frames as the tag library reads them.
struct Frames {
    bool readable = false;
    int frontCovers = 0;  // pictures of type 3
    // Every other frame, other pictures included, in one form whichever tag
    // version it came from, sorted; the encoder's name (TSSE), which the
    // writer stamps, left out.
    std::vector<QByteArray> others;
};
Frames Read(const QString& path);

// Replaces `output`, what the encoder wrote from `source`, with the result
// put together as above. False when it cannot be: the output holds other
// than one front cover, the source's tag is not where its layout says (or
// there are several), the source changed since `sourceLayout` was read, or a
// read or write fails; `output` is then left as the encoder wrote it.
bool CarryOver(const QString& source, const probe::Mp3Layout& sourceLayout, const QString& output, bool trimmed);

}  // namespace mp3tags
