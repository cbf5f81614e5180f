#pragma once
// The boxes of an MP4 or QuickTime movie that hold what its owner keeps about
// the file rather than its media: moov/udta and its children (camera boxes,
// ©xyz, the item list in udta/meta/ilst, a Nero chapter list), moov/meta (the
// QuickTime keys and their items) and each track's udta (its name). A cover
// replacement changes only the cover item (covr) among them: the result's
// writer carries the rest over as bytes, and the read-back compares them as
// read here.
#include "probe/ContainerBytes.h"

#include <QString>
#include <utility>
#include <vector>

namespace probe::movie {

using bytes::Box;

// What a track box says of itself: its handler, its id and the tracks it
// names as its chapters (tref/chap).
struct TrackHead {
    QByteArray handler;
    uint32_t id = 0;
    std::vector<uint32_t> chapters;
};
TrackHead HeadOf(const QByteArray& moov, const Box& trak);

// Where a meta box's children begin: ISO meta boxes carry a version and
// flags, QuickTime's do not.
long long metaChildren(const QByteArray& data, const Box& meta);

// For each child of moov, the key of a track that a cover command carries
// over: its kind as the demuxer maps it (v, a, s, d) and its place among the
// carried tracks of that kind ("a1"). Empty for the other children and for
// chapter text tracks and timecode tracks, which the encoder writes anew.
std::vector<QByteArray> trackKeys(const QByteArray& moov, const std::vector<Box>& top);

// The boxes that must come through a replacement unchanged, each whole as
// bytes with the place it was found at ("udta/FIRM", "udta/meta/ilst/©nam",
// "meta/keys", "trak a0/udta"), in file order. The cover items are left out,
// and so is a meta box that holds nothing but them (the writer makes one to
// hold a new cover); the version and flags of a kept meta box count as one
// more entry ("udta/meta").
using Kept = std::vector<std::pair<QByteArray, QByteArray>>;
Kept keptBoxes(const QByteArray& moov);

// The file's top-level boxes, from the first byte on; stops at the first
// that does not fit the file.
std::vector<Box> topLevel(QFile& f);

}  // namespace probe::movie
