#include "update/StallThrottle.h"

#include "common/NumberText.h"

#include <QCoreApplication>
#include <QThread>
#include <QTime>

void StallThrottle::Reset() {
    last_ = 0;
    count_ = 0;
}

double StallThrottle::WholePercent(qint32 bytesIn, qint32 totalBytes) {
    const double pct = static_cast<double>(static_cast<qint64>(bytesIn) * 100) / static_cast<double>(totalBytes);
    return num::RoundHalfEven(num::RoundHalfEven(pct, 2), 0);
}

StallThrottle::Action StallThrottle::OnProgress(qint32 bytesIn, qint32 totalBytes) {
    if (bytesIn < 0 || bytesIn > totalBytes || totalBytes <= 0) return Action::Ignore;
    const double pct = WholePercent(bytesIn, totalBytes);
    if (pct == last_) {
        if (count_ < 1000) {
            ++count_;
            return count_ % 50 == 0 ? Action::DelayThenYield : Action::Yield;
        }
        count_ = 0;
        return Action::ReturnAtOnce;
    }
    last_ = pct;
    count_ = 0;
    return Action::Yield;
}

namespace delay {

double StartValue(double clockAtStart) { return num::RoundHalfEven(clockAtStart, 0); }

bool Over(double start, double now, double seconds) { return now - start > seconds || now < start; }

}  // namespace delay

double ClockSeconds() { return QTime::currentTime().msecsSinceStartOfDay() / 1000.0; }

void Delay(float seconds) {
    const double start = delay::StartValue(ClockSeconds());
    while (!delay::Over(start, ClockSeconds(), seconds)) {
        QCoreApplication::processEvents();
        QThread::msleep(5);  // a turn, not a busy spin
    }
}
