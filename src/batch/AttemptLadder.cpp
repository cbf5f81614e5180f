#include "batch/AttemptLadder.h"

namespace ladder {

Try Climb(Try first, const covercmd::Commands& commands, bool hardware, bool firstRow, const Rungs& r) {
    if (first == Try::WindowClosed) return first;
    // Falling back only makes sense after a hardware attempt.
    const bool fallback = hardware && r.speedChecked();
    const auto record = [&](result::ProbeOutcome outcome, bool firstRanCuvid) {
        r.record(result::RecordFor(outcome, firstRanCuvid));
    };
    if (first == Try::Ok) {
        r.showSuccess();
        if (fallback && firstRow) record(result::ProbeOutcome::FirstAttemptSucceeded, commands.firstIsCuvid);
        return Try::Ok;
    }
    if (!fallback) return Try::Failed;

    r.clearOutput();
    const Try second = r.attempt(commands.cuvid, CycleOrder::TestYieldUpdate);
    if (second == Try::WindowClosed) return second;
    if (second == Try::Ok) {
        r.showSuccess();
        if (firstRow) record(result::ProbeOutcome::SecondAttemptSucceeded, false);
        return Try::Ok;
    }
    if (firstRow) record(result::ProbeOutcome::SecondAttemptFailed, false);
    const Try third = r.attempt(commands.software, CycleOrder::TestYieldUpdate);
    if (third == Try::Ok) r.showSuccess();
    return third;
}

}  // namespace ladder
