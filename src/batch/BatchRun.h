#pragma once
// The run started by the main button: one encoder job per row.
#include "batch/ResultCheck.h"
#include "batch/RunState.h"

#include <QDateTime>
#include <QObject>
#include <utility>

class Form1;
class EncoderCommand;
struct EncoderRun;
enum class CycleOrder;

class BatchRun : public QObject {
    Q_OBJECT
public:
    explicit BatchRun(Form1& form);

    // The whole run: returns when it is over, refused, or the window closed.
    void CmdDo_Click();
    // Asks to stop; the row in progress is finished first.
    void CmdStop_Click();

    // The variables of the current (or last) run.
    RunState& State() { return s_; }

private:
    enum class RowEnd { Done, CropRefused, EndLoop, WindowClosed };

    bool CheckRunPreconditions();
    void ReadCutOptions();
    void EnterRunState();
    void ComputeRowRange();
    // False when the window was closed during the run.
    bool RunRows();
    RowEnd ReplaceCover();
    bool PrepareTrimAndCrop();
    void PrepareCoverAndOptions();
    // Runs one attempt and judges it; sets OutSizeMB (0 when it failed).
    bool Attempt(const EncoderCommand& command, CycleOrder order);
    void JudgeOutput(bool encoderSucceeded);
    void ShowSuccess();
    void RecordProbe(result::ProbeOutcome outcome, bool firstRanCuvid);
    RowEnd CloseRow(bool succeeded, bool throughTemp);
    void FinishBatch();

    QString Cell(int col) const;
    void SetStatus(const QString& text);
    QString OfRun() const;

    // The picture last scaled in this run, so rows sharing a cover and a size
    // do not scale it again.
    struct ScaledCover {
        QString source;
        QDateTime sourceTime, targetTime;
        qint64 sourceSize = -1, targetSize = -1;
        int width = 0, height = 0;
    };
    void ScaleCover(int width, int height);

    Form1& f_;
    RunState s_;
    bool chOtherWasEnabled_ = true;
    // CmdAbout and CmdUpdate as the run found them.
    std::pair<bool, bool> windowButtonsWereEnabled_{true, false};
    bool running_ = false;
    ScaledCover lastScaled_;
};
