#include "batch/BatchRun.h"

#include "app/Form1.h"
#include "batch/OutputNaming.h"
#include "batch/RowSteps.h"
#include "batch/RowTexts.h"
#include "batch/TrimCrop.h"
#include "common/NumberText.h"
#include "common/ProgramFiles.h"
#include "filelist/FileGrid.h"
#include "options/ProcessingMode.h"
#include "platform/FileOps.h"
#include "probe/MediaInfoLibrary.h"
#include "update/UpdateHost.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

using namespace filelist;

BatchRun::BatchRun(Form1& form)
    : f_(form),
      window_(form),
      reaper_(form.services.shell),
      slots_(EncoderHostOf(form, &reaper_), framepicture::CoreCount()),
      lock_(form) {
    connect(f_.CmdDo, &QPushButton::clicked, this, [this] { CmdDo_Click(); });
    connect(f_.CmdStop, &QPushButton::clicked, this, [this] { CmdStop_Click(); });
}

EncoderHost BatchRun::Host() { return EncoderHostOf(f_, &reaper_); }

RunContext BatchRun::Context() {
    RunContext run;
    run.options = RunOptionsOf(f_);
    run.window = &window_;
    run.host = Host();
    run.dialogs = f_.services.dialogs;
    run.startSlots = &slots_;
    return run;
}

void BatchRun::SetStatus(const QString& text) { window_.SetStatus(s_.CurrentRow, text); }

QString BatchRun::OfRun() const { return QString::number(s_.CurrentRow) + "/" + s_.LastRow; }

// ---------------------------------------------------------------- refusals

void BatchRun::ReadCutOptions() {
    const trimcrop::CutOptions o = trimcrop::ReadCutOptions(f_.TTimeCut->text(), f_.TSizeCut->text());
    s_.TimeCutInPercent = o.timeCutInPercent;
    s_.SizeCutInPercent = o.sizeCutInPercent;
    s_.SizeCutParts = o.sizeCutParts;
    s_.TimeCutParts = o.timeCutParts;
}

bool BatchRun::CheckRunPreconditions() {
    Dialogs& d = *f_.services.dialogs;
    if (!f_.IsWow64Flag) {
        d.Message(QStringLiteral("本程序必须在64位操作系统下使用！\r\n"
                                 "如果非要在32位系统下使用，则须报告定制，并且只能处理文件不大于250M的MP4"),
                  rowtext::Title, MsgIcon::Critical, MsgButtons::Ok);
        return false;
    }
    ReadCutOptions();
    if (f_.MSF->Rows() == 1) {
        d.Message(QStringLiteral("请先加载文件列表！"), rowtext::Title, MsgIcon::Critical, MsgButtons::Ok);
        return false;
    }
    // A first row without a picture height is a broken installation only when
    // the media library itself fails; a damaged or audio-only file is just a
    // row that fails or is covered on its own.
    if (num::LeadingNumber(f_.MSF->TextMatrix(1, ColHeight)) == 0 && !f_.ChMp3->isChecked() &&
        !(libraryWorks_ ? libraryWorks_() : probe::ReadsKnownMedia(probe::SystemMediaInfo()))) {
        d.Message(QStringLiteral("本机缺失资源文件，请重新下载安装包，然后以管理员权限重新覆盖安装！"), rowtext::Title,
                  MsgIcon::Critical, MsgButtons::Ok);
        f_.services.shell->Open(updatehost::Base() + QString::fromLatin1(updatehost::SetupPackagePath));
        f_.services.app->EndNow();
        return false;
    }
    return true;
}

// ----------------------------------------------------------------- set-up

void BatchRun::EnterRunState() {
    s_.FirstRow = QStringLiteral("1");
    s_.LastRow = QString::number(f_.MSF->Rows() - 1);
    s_.GrabbedFrameFile = workfiles::In(f_.AppPathGlobal, workfiles::GrabbedFrame);
    s_.TextCoverFile = workfiles::In(f_.AppPathGlobal, workfiles::TextCover);
    s_.ScaledCoverFile = workfiles::In(f_.AppPathGlobal, workfiles::ScaledCover);

    lock_.Enter();
    // The options stay as they are now: their frames rest until the end.
    run_ = Context();

    if (run_.options.mode == SeriesFromOneVideo) {
        s_.BaseStem = naming::BaseStemOf(run_.options.baseCaption);
        s_.SourceFile = run_.options.baseCaption;
    }
    if (run_.options.TextCoverOn()) PrepareCoverCanvas(run_, s_);
}

void BatchRun::ComputeRowRange() {
    if (!f_.ChDoSels->isChecked()) return;
    const int row = f_.MSF->Row();
    const int sel = f_.MSF->RowSel();
    s_.FirstRow = QString::number(sel > row ? row : sel);
    s_.LastRow = QString::number(sel > row ? sel : row);
}

void BatchRun::CollectRunSources() {
    const int mode = run_.options.mode;
    QStringList sources;
    if (mode == SeriesFromOneVideo) sources << run_.options.baseCaption;
    const int last = qMin(s_.LastRow.toInt(), f_.MSF->Rows() - 1);
    for (int row = s_.FirstRow.toInt(); mode != SeriesFromOneVideo && mode != FrameToPicture && row <= last; ++row)
        sources << f_.MSF->Cells(row).Path();
    sources_.Collect(sources, run_.options.programFolder);
}

// ---------------------------------------------------------------- the run

void BatchRun::CmdDo_Click() {
    // CmdDo is disabled while a run goes on; a call from code must not nest.
    if (running_) return;
    // An add or a folder scan is still filling the list (it sits suspended
    // below this click): running now would work on a half-filled list.
    if (f_.Busy) {
        f_.services.dialogs->Beep();
        return;
    }
    running_ = true;
    struct Done {
        bool& flag;
        ~Done() { flag = false; }
    } done{running_};

    s_ = RunState{};
    if (!CheckRunPreconditions()) return;
    EnterRunState();
    ComputeRowRange();
    CollectRunSources();
    // A window closed during a wait is gone: nothing more may touch it.
    if (!RunRows()) return;
    FinishBatch();
}

void BatchRun::CmdStop_Click() {
    if (f_.services.dialogs->Message(QStringLiteral("终止运行？"), rowtext::Title, MsgIcon::Exclamation,
                                     MsgButtons::OkCancel, 1) != MsgResult::Ok)
        return;
    f_.StopRequested = true;
    f_.CmdStop->hide();
}

bool BatchRun::RunRows() {
    const int first = s_.FirstRow.toInt();
    const int last = s_.LastRow.toInt();
    const RunOptions& o = run_.options;
    const int mode = o.mode;

    for (int row = first; row <= last; ++row) {
        if (f_.IsClosed()) return false;
        if (row > f_.MSF->Rows() - 1) break;  // the list cannot shrink during a run; be safe anyway
        s_.CurrentRow = row;
        s_.RowStart = QDateTime::currentDateTime();

        f_.MSF->SetRow(row);
        f_.MSF->SetColSel(f_.MSF->Cols() - 1);
        f_.MSF->SetTopRow(f_.MSF->Row() > 10 ? f_.MSF->Row() - 5 : 1);

        if (o.TextCoverOn()) BuildTextCover(run_, s_);

        f_.SetProgressText((mode == FrameToPicture ? rowtext::ProgressFrames : rowtext::ProgressReplacing) + OfRun());

        if (mode != FrameToPicture) {
            const RowCells cells = f_.MSF->Cells(row);
            naming::PathInputs in;
            in.mode = mode;
            in.fileName = cells.fileName;
            in.folder = cells.folder;
            in.partnerFile = cells.partnerFile;
            in.currentRow = row;
            in.baseCaption = o.baseCaption;
            in.outputDir = o.outputDir;
            in.baseStem = s_.BaseStem;
            in.chNum = o.numbered;
            in.chSaveAs = o.saveAs;
            in.grabbedFrameFile = s_.GrabbedFrameFile;
            const naming::RowPaths p = naming::ChoosePaths(in);
            s_.SourceFile = p.sourceFile;
            if (sources_.Refused(p)) {
                SetStatus(rowtext::StatusFailed);
                if (f_.StopRequested) break;
                continue;
            }
            s_.CoverFile = p.coverFile;
            if (mode == FrameAsCover) {
                GrabFrame(run_, s_);
                if (f_.IsClosed()) return false;
                s_.OutputPath = p.outputPath;
                ChooseFrameCover(run_, s_);
            } else {
                s_.OutputPath = p.outputPath;
            }
        }

        if (mode != FrameToPicture && fileops::IsOrdinaryFile(s_.CoverFile)) {
            const RowEnd end = ReplaceCover(run_, s_, finish_, check_);
            if (end == RowEnd::WindowClosed || f_.IsClosed()) return false;
            if (end == RowEnd::EndLoop) break;
            if (end == RowEnd::CropRefused) continue;
        } else if (mode == FrameToPicture) {
            GrabRandomFrame(run_, s_);
        } else {
            SetStatus(rowtext::StatusFailed);
        }

        if (f_.StopRequested) break;
    }
    return !f_.IsClosed();
}

// -------------------------------------------------------------------- end

void BatchRun::FinishBatch() {
    const int mode = f_.ProcessingMode();
    Dialogs& d = *f_.services.dialogs;
    if (mode == SeriesFromOneVideo || mode == OneCoverForAllVideos) {
        if (d.Message(QStringLiteral("处理完毕！\r\n要打开输出目录吗？"), rowtext::Title, MsgIcon::Information,
                      MsgButtons::YesNo, 0) == MsgResult::Yes)
            f_.services.shell->Open(f_.LDir->text());
    } else {
        if (d.Message(QStringLiteral("处理完毕！\r\n要打开第一个视频的目录吗？"), rowtext::Title, MsgIcon::Information,
                      MsgButtons::YesNo, 0) == MsgResult::Yes) {
            if (f_.ChSaveAs->isChecked())
                f_.services.shell->Open(f_.LDir->text());
            else
                f_.services.shell->SelectInFileManager(f_.MSF->TextMatrix(1, ColFolder) + "/" +
                                                       f_.MSF->TextMatrix(1, ColFileName));
        }
    }
    if (f_.IsClosed()) return;

    f_.SetProgressText(mode == FrameToPicture ? rowtext::ProgressFramesDone : rowtext::ProgressDone);
    lock_.Leave();
}
