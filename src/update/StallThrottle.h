#pragma once
// Slows a download a little while its whole percentage does not move, so a
// stalled transfer does not flood the window with progress reports.
#include <QtGlobal>

class StallThrottle {
public:
    enum class Action {
        Ignore,           // counts out of range: nothing at all, not even a yield
        Yield,            // one turn of the message loop
        DelayThenYield,   // Delay(0.2), then one turn
        ReturnAtOnce,     // the counter wrapped: no yield this time
    };

    void Reset();
    Action OnProgress(qint32 bytesIn, qint32 totalBytes);

    // The whole percentage: bytesIn * 100 / total to 2 decimals, then whole,
    // both halves to even; exact for any 32-bit counts.
    static double WholePercent(qint32 bytesIn, qint32 totalBytes);

    double LastPercent() const { return last_; }
    int RepeatCount() const { return count_; }

private:
    double last_ = 0;
    qint16 count_ = 0;
};

namespace delay {
// Seconds since midnight of a moment, as Delay reads the clock.
// Delay(seconds) is over when now - start > seconds, or when the clock went
// back below start (midnight has passed); start is the clock when Delay began,
// rounded to a whole second (halves to even).
double StartValue(double clockAtStart);
bool Over(double start, double now, double seconds);
}  // namespace delay

// Waits while giving the message loop turns; see delay::Over.
void Delay(float seconds);
// Seconds since midnight, local time.
double ClockSeconds();
