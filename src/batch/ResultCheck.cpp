#include "batch/ResultCheck.h"

#include "batch/RowTexts.h"
#include "common/NumberText.h"
#include "platform/FileOps.h"

namespace result {

double OutSizeMBFromBytes(long long bytes) {
    if (bytes <= 0) return 0;
    return num::RoundHalfEven(static_cast<double>(bytes) / 1024.0 / 1024.0, 3);
}

double MeasureOutSizeMB(const QString& file) { return OutSizeMBFromBytes(fileops::FileSize(file)); }

bool AttemptSucceeded(double outSizeMB, bool encoderSucceeded) { return outSizeMB > 0 && encoderSucceeded; }

QString ReplacingText(double outSizeMB, const QString& elapsed) {
    return rowtext::StatusReplacing + num::Text(outSizeMB) + rowtext::SizeUnit + elapsed;
}

QString OkText(double outSizeMB, const QString& elapsed) {
    return rowtext::StatusOkSized + num::Text(outSizeMB) + rowtext::SizeUnit + elapsed;
}

ProbeRecord RecordFor(ProbeOutcome outcome, bool firstRanCuvid) {
    ProbeRecord r;
    switch (outcome) {
    case ProbeOutcome::FirstAttemptSucceeded:
        r.accIndex = firstRanCuvid ? 1 : 0;
        r.canAcc = true;
        break;
    case ProbeOutcome::SecondAttemptSucceeded:
        r.accIndex = 1;
        r.canAcc = true;
        break;
    case ProbeOutcome::SecondAttemptFailed:
        r.accIndex = 0;
        r.canAcc = false;
        r.switchSpeedOff = true;
        break;
    }
    r.accIndexSetting = QString::number(r.accIndex);
    r.canAccSetting = r.canAcc ? QStringLiteral("1") : QStringLiteral("0");
    return r;
}

}  // namespace result
