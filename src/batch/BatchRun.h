#pragma once
// The run started by the main button: one encoder job per row.
#include "batch/ReadBack.h"
#include "batch/ResultCheck.h"
#include "batch/RunState.h"
#include "platform/FileOps.h"

#include <QDateTime>
#include <QObject>
#include <functional>
#include <set>
#include <utility>

class Form1;
class EncoderCommand;
namespace covercmd {
struct Inputs;
}
namespace naming {
struct RowPaths;
}
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

    // How a written file is read back before it counts: the real reader
    // unless a stand-in encoder (whose files no reader understands) is in use.
    using OutputCheck = std::function<bool(const readback::Facts& source, const QString& output,
                                           const readback::Expectation& expect)>;
    void SetOutputCheck(OutputCheck check) { check_ = std::move(check); }

private:
    enum class RowEnd { Done, CropRefused, EndLoop, WindowClosed };

    bool CheckRunPreconditions();
    void ReadCutOptions();
    void EnterRunState();
    void ComputeRowRange();
    // The files the run's rows read, so no row writes over one of them.
    void CollectRunSources();
    // A row whose target cannot carry a cover, or whose output would replace
    // the source of another row of the run, is refused before it writes.
    bool Refused(const naming::RowPaths& paths) const;
    // The container's share of the row's commands, from the source as read.
    void PrepareContainer(covercmd::Inputs& in);
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
    // The row's output is not complete: it must not stay behind.
    void DropOutput();
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
    // By identity (links) and by path (a source replaced in place is a new
    // file under its old name).
    std::set<fileops::FileId> runSources_;
    std::set<QString> runSourcePaths_;
    // The row's source as read before its first attempt, and what its output
    // must be to count.
    readback::Facts source_;
    readback::Expectation expect_;
    OutputCheck check_;
};
