#pragma once
// The cover replacement of one row (modes 0 to 3, once the row gate has let
// it through): trim and crop, the cover at the video's size, the options and
// the container's share of the commands, the attempts, and closing the row:
// "更换失败", or the result in place of its source.
#include "batch/ReadBack.h"

#include <QString>
#include <functional>

struct RunContext;
struct RunState;

enum class RowEnd {
    Done,
    CropRefused,   // the crop leaves too little: on to the next row, no stop test
    EndLoop,       // Cancel at the disk-full question
    WindowClosed,  // the window went away during a wait
};

// How a written file is read back before it counts: the real reader unless a
// stand-in encoder (whose files no reader understands) is in use. It only
// reads.
using OutputCheck = std::function<bool(const readback::Facts& source, const QString& output,
                                       const readback::Expectation& expect)>;
OutputCheck ReadBackCheck();

// What is put into a written file after the encoder's run and before it is
// read back: an MP3's source tag and bytes around the new cover (Mp3Tags.h),
// an MP4's metadata boxes from its source (Mp4Boxes.h). False fails the
// attempt. A stand-in encoder's files are left as they are.
using OutputFinish = std::function<bool(const readback::Facts& source, const QString& output,
                                        const readback::Expectation& expect)>;
OutputFinish CarryOverFinish();

RowEnd ReplaceCover(const RunContext& run, RunState& state, const OutputFinish& finish, const OutputCheck& check);
