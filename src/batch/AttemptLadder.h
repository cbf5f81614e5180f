#pragma once
// The attempts of one cover row and what the run's first row learns from
// them about the hardware decoders.
//
// After a failed first attempt on the hardware command set, with ChSpeed
// checked, the CUVID command is tried, then plain software decoding. On the
// run's first row the outcome is recorded: before the third attempt, so that
// record does not depend on it. Whoever climbs supplies the attempts (start,
// wait, judge the output) and takes the record; the ladder itself touches
// neither the window nor the encoder.
#include "batch/CoverCommands.h"
#include "batch/ResultCheck.h"
#include "encoder/EncoderRun.h"

#include <functional>

namespace ladder {

enum class Try { Ok, Failed, WindowClosed };

struct Rungs {
    // Runs one command and judges what it wrote.
    std::function<Try(const EncoderCommand& command, CycleOrder order)> attempt;
    // Before a fallback attempt: the failed attempt's output goes.
    std::function<void()> clearOutput;
    // Whether ChSpeed is checked now (the first row's record may clear it).
    std::function<bool()> speedChecked;
    std::function<void()> showSuccess;
    std::function<void(const result::ProbeRecord& record)> record;
};

// Goes on from the first attempt's result (made by the caller: an encoder
// run, or the opening clip). hardware: the row's commands are the hardware
// set; firstRow: the row is the run's first.
Try Climb(Try first, const covercmd::Commands& commands, bool hardware, bool firstRow, const Rungs& rungs);

}  // namespace ladder
