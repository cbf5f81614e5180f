#pragma once
// The topmost download window: status line, bar, cancel button.
#include "platform/Services.h"
#include "update/KorsDL.h"
#include "update/StallThrottle.h"

#include <QProgressBar>
#include <QVariant>
#include <QWidget>
#include <memory>

class RunningDownload;
class QCheckBox;
class QLabel;
class QPushButton;

// A progress bar whose value is a fraction from 0 to 1 (its maximum is 1).
class FractionBar : public QProgressBar {
    Q_OBJECT
public:
    explicit FractionBar(QWidget* parent = nullptr);
    double Value() const { return value_; }
    double Max() const { return 1; }
    void SetValue(double fraction);

private:
    double value_ = 0;
};

class frmDnLoad : public QWidget, public KorsDLHost {
    Q_OBJECT
public:
    // The window takes its caption and its transfer's limits when it opens.
    frmDnLoad(RunningDownload& download, Services services, const QString& caption, int connectionWaitSeconds,
              const TransferLimits& limits);
    ~frmDnLoad() override;

    // Runs the first job of "URL|target|flag|..." and blocks while it downloads.
    QVariant ShowDownLoad(const QString& FileList, QWidget* CallingForm, QObject* Owner);
    // The hidden start button: resets the throttle and runs the single job.
    void CmdDL_Click();
    // Asks whether to cancel; yes ends the program.
    void CmdCancel_Click();

    // KorsDLHost.
    void SetLabel1(const QString& text) override;
    void SetProgressBar1(double fraction) override;
    void EchoCancelRequest() override;
    void AppendTrace(const QString& line) override;

    // A confirmed cancel's end of the running job's file (see KorsDL).
    void SettleCancelledFile(bool keep);
    // The local file of the running job, after its "?" cut.
    QString Target() const { return target_; }

    QLabel* Label1;
    FractionBar* ProgressBar1;
    QPushButton* CmdCancel;
    QPushButton* CmdDL;
    QCheckBox* ChHide;
    std::unique_ptr<KorsDL> mydl;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void mydl_KorDLStart();
    void mydl_KorDLDone();
    void mydl_KorDLCrash(qint32 KorErrNum, QString& KorErrDescr, bool& Cancelled);
    void mydl_KorDLCancelled();
    void mydl_KorDLProg(qint32 KorBytesIn, qint32 KorTotalBytes);

    RunningDownload& download_;
    Services services_;
    int connectionWaitSeconds_;
    TransferLimits limits_;
    StallThrottle throttle_;
    QString target_;
};

// Splits a job text at every "|": the first job's URL, target and cache flag.
struct DownloadJob {
    QString url, target, cacheFlag;
};
DownloadJob FirstJob(const QString& fileList);
// A target with a "?" is cut before its last "?".
QString CutAtQuestionMark(const QString& target);
