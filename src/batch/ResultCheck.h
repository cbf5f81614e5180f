#pragma once
// Judging an encoder attempt, the row's size and time texts, and the record of
// which hardware decoder worked.
#include <QString>

namespace result {

// Output size in MB rounded to 3 decimals; 0 for a missing file, and for 524
// bytes or less.
double OutSizeMBFromBytes(long long bytes);
double MeasureOutSizeMB(const QString& file);

// An attempt succeeded when it left output and the encoder itself reported
// success (started, ended, exit status 0). Size alone is not enough: an
// encoder that dies mid-way can leave a large but broken file.
bool AttemptSucceeded(double outSizeMB, bool encoderSucceeded);

// "封面更换中..." / "Ok！" with the size, "mb；" and the elapsed time.
QString ReplacingText(double outSizeMB, const QString& elapsed);
QString OkText(double outSizeMB, const QString& elapsed);

// What the run's first row learnt about the hardware decoders.
enum class ProbeOutcome { FirstAttemptSucceeded, SecondAttemptSucceeded, SecondAttemptFailed };

struct ProbeRecord {
    int accIndex = 0;
    bool canAcc = false;
    QString accIndexSetting;
    QString canAccSetting;
    bool switchSpeedOff = false;  // uncheck and disable ChSpeed
};
// firstRanCuvid: the first attempt ran the CUVID command.
ProbeRecord RecordFor(ProbeOutcome outcome, bool firstRanCuvid);

}  // namespace result
