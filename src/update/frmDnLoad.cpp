#include "update/frmDnLoad.h"

#include "update/RunningDownload.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QLabel>
#include <QPushButton>

#include <cmath>

namespace {
// Twips to pixels at normal resolution.
constexpr int px(int twips) { return twips / 15; }
constexpr int kBarSteps = 10000;
}  // namespace

FractionBar::FractionBar(QWidget* parent) : QProgressBar(parent) {
    setRange(0, kBarSteps);
    setValue(0);
    setTextVisible(false);
}

void FractionBar::SetValue(double fraction) {
    if (!std::isfinite(fraction)) fraction = 0;
    value_ = fraction;
    const double shown = fraction < 0 ? 0 : (fraction > 1 ? 1 : fraction);
    setValue(static_cast<int>(std::lround(shown * kBarSteps)));
}

DownloadJob FirstJob(const QString& fileList) {
    const QStringList f = fileList.split('|');
    DownloadJob job;
    if (f.size() > 0) job.url = f[0];
    if (f.size() > 1) job.target = f[1];
    if (f.size() > 2) job.cacheFlag = f[2];
    return job;
}

QString CutAtQuestionMark(const QString& target) {
    const int q = target.lastIndexOf('?');
    return q < 0 ? target : target.left(q);
}

frmDnLoad::frmDnLoad(RunningDownload& download, Services services, const QString& caption,
                     int connectionWaitSeconds, const TransferLimits& limits)
    : QWidget(nullptr, Qt::Window | Qt::WindowStaysOnTopHint),
      download_(download),
      services_(services),
      connectionWaitSeconds_(connectionWaitSeconds),
      limits_(limits) {
    setObjectName("frmDnLoad");
    setWindowTitle(caption);
    setFixedSize(px(10230), px(1215));

    Label1 = new QLabel(QStringLiteral("正在检查文件下载相关信息中..."), this);
    Label1->setObjectName("Label1");
    Label1->setGeometry(px(120), px(120), px(9135), px(495));

    ProgressBar1 = new FractionBar(this);
    ProgressBar1->setObjectName("ProgressBar1");
    ProgressBar1->setGeometry(px(120), px(720), px(9135), px(375));

    CmdCancel = new QPushButton(QStringLiteral("取消"), this);
    CmdCancel->setObjectName("CmdCancel");
    CmdCancel->setGeometry(px(9480), px(240), px(735), px(735));
    CmdCancel->setStyleSheet(QStringLiteral("background-color: rgb(255, 255, 192);"));
    CmdCancel->setEnabled(false);

    // Never seen: outside the client area.
    CmdDL = new QPushButton(QStringLiteral("下载"), this);
    CmdDL->setObjectName("CmdDL");
    CmdDL->setGeometry(px(10560), px(240), px(735), px(735));
    CmdDL->setEnabled(false);
    CmdDL->hide();

    ChHide = new QCheckBox(QStringLiteral("隐藏"), this);
    ChHide->setObjectName("ChHide");
    ChHide->setToolTip(QStringLiteral("隐藏本窗体"));
    ChHide->hide();

    connect(CmdCancel, &QPushButton::clicked, this, &frmDnLoad::CmdCancel_Click);
}

// Closing the window deletes nothing: an unfinished download never took the
// target's name.
frmDnLoad::~frmDnLoad() = default;

void frmDnLoad::CmdDL_Click() {
    throttle_.Reset();
    download_.RunSingleJob();
}

QVariant frmDnLoad::ShowDownLoad(const QString& FileList, QWidget*, QObject*) {
    mydl = std::make_unique<KorsDL>(*this, connectionWaitSeconds_, limits_);
    connect(mydl.get(), &KorsDL::KorDLStart, this, &frmDnLoad::mydl_KorDLStart);
    connect(mydl.get(), &KorsDL::KorDLDone, this, &frmDnLoad::mydl_KorDLDone);
    connect(mydl.get(), &KorsDL::KorDLCrash, this, &frmDnLoad::mydl_KorDLCrash);
    connect(mydl.get(), &KorsDL::KorDLCancelled, this, &frmDnLoad::mydl_KorDLCancelled);
    connect(mydl.get(), &KorsDL::KorDLProg, this, &frmDnLoad::mydl_KorDLProg);
    QCoreApplication::processEvents();
    CmdDL->setEnabled(false);
    CmdCancel->setEnabled(true);

    const DownloadJob job = FirstJob(FileList);
    target_ = CutAtQuestionMark(job.target);
    ProgressBar1->SetValue(0);
    QString url = job.url;
    if (job.cacheFlag == QLatin1String("1")) mydl->DeleteKorCache(url);
    mydl->StartTheStinkinDownLoad(url, target_);
    return {};
}

void frmDnLoad::CmdCancel_Click() {
    if (services_.dialogs->Message(QStringLiteral("取消下载？"), QStringLiteral("消息"), MsgIcon::Exclamation,
                                   MsgButtons::OkCancel, 1) != MsgResult::Ok)
        return;
    download_.RelayCancel();
}

void frmDnLoad::EchoCancelRequest() {
    if (mydl) mydl->KillKor();
}

void frmDnLoad::SettleCancelledFile(bool keep) {
    if (mydl) mydl->SettleCancelledFile(keep);
}

void frmDnLoad::SetLabel1(const QString& text) { Label1->setText(text); }

void frmDnLoad::SetProgressBar1(double fraction) { ProgressBar1->SetValue(fraction); }

void frmDnLoad::AppendTrace(const QString& line) { download_.AppendTrace(line); }

void frmDnLoad::closeEvent(QCloseEvent* event) {
    // The close box is the cancel button: the same question, the same end.
    event->ignore();
    if (CmdCancel->isEnabled()) CmdCancel_Click();
}

void frmDnLoad::mydl_KorDLStart() { Label1->setText(QStringLiteral("下载动作开始启动中...")); }

void frmDnLoad::mydl_KorDLDone() {
    AppendTrace(QStringLiteral("KorDLDone Event Occurred"));
    Label1->setText(QStringLiteral("下载完毕！"));
    download_.MarkDone();
}

void frmDnLoad::mydl_KorDLCrash(qint32, QString&, bool& Cancelled) {
    // A plain failure is the caller's to report.
    if (Cancelled) Label1->setText(QStringLiteral("成功取消下载！"));
}

void frmDnLoad::mydl_KorDLCancelled() { Label1->setText(QStringLiteral("取消下载中..")); }

void frmDnLoad::mydl_KorDLProg(qint32 KorBytesIn, qint32 KorTotalBytes) {
    switch (throttle_.OnProgress(KorBytesIn, KorTotalBytes)) {
        case StallThrottle::Action::Ignore:
        case StallThrottle::Action::ReturnAtOnce: return;
        case StallThrottle::Action::DelayThenYield: Delay(0.2f); break;
        case StallThrottle::Action::Yield: break;
    }
    YieldOnce();
}
