#include "batch/BatchRun.h"

#include "app/Form1.h"
#include "batch/Containers.h"
#include "batch/CoverCommands.h"
#include "batch/OpeningClip.h"
#include "batch/OutputNaming.h"
#include "batch/ResultCheck.h"
#include "batch/RowSteps.h"
#include "batch/RowTexts.h"
#include "batch/SourceReplace.h"
#include "batch/TrimCrop.h"
#include "common/NumberText.h"
#include "encoder/EncodeOptions.h"
#include "encoder/EncoderRun.h"
#include "filelist/FileGrid.h"
#include "options/ProcessingMode.h"
#include "platform/FileOps.h"
#include "probe/MediaProbe.h"
#include "update/UpdateHost.h"

#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {

constexpr int kWritebackMs = 100;

using namespace filelist;

}  // namespace

BatchRun::BatchRun(Form1& form)
    : f_(form), check_([](const readback::Facts& source, const QString& output, const readback::Expectation& expect) {
          return readback::Judge(source, readback::Read(output, source.mechanism), expect);
      }) {
    connect(f_.CmdDo, &QPushButton::clicked, this, [this] { CmdDo_Click(); });
    connect(f_.CmdStop, &QPushButton::clicked, this, [this] { CmdStop_Click(); });
}

QString BatchRun::Cell(int col) const { return f_.MSF->TextMatrix(s_.CurrentRow, col); }

void BatchRun::SetStatus(const QString& text) {
    if (!f_.IsClosed()) f_.MSF->SetTextMatrix(s_.CurrentRow, ColStatus, text);
}

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
    if (num::LeadingNumber(f_.MSF->TextMatrix(1, ColHeight)) == 0 && !f_.ChMp3->isChecked()) {
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
    s_.GrabbedFrameFile = f_.AppPathGlobal + "/Tmp.png";
    s_.TextCoverFile = f_.AppPathGlobal + "/Back.bmp";
    s_.ScaledCoverFile = f_.AppPathGlobal + "/Cover.png";

    f_.Busy = true;
    f_.CmdStop->show();
    f_.StopRequested = false;
    f_.CmdDo->setEnabled(false);

    if (f_.ProcessingMode() == SeriesFromOneVideo) {
        s_.BaseStem = naming::BaseStemOf(f_.LBase->text());
        s_.SourceFile = f_.LBase->text();
    }

    // ChOther has no frame of its own; it gets its state back at the end.
    chOtherWasEnabled_ = f_.ChOther->isEnabled();
    f_.Frame2->setEnabled(false);
    f_.Frame1->setEnabled(false);
    f_.ChOther->setEnabled(false);
    f_.Frame4->setEnabled(false);
    // The window buttons outside the frames rest too: the update flow or the
    // About box would otherwise run inside a row's wait.
    windowButtonsWereEnabled_ = {f_.CmdAbout->isEnabled(), f_.CmdUpdate->isEnabled()};
    f_.CmdAbout->setEnabled(false);
    f_.CmdUpdate->setEnabled(false);

    if (f_.ProcessingMode() == FrameAsCover && f_.ChFileNameAs->isChecked() && !f_.ChDelRecover->isChecked())
        PrepareCoverCanvas(f_, s_);
}

void BatchRun::ComputeRowRange() {
    if (!f_.ChDoSels->isChecked()) return;
    const int row = f_.MSF->Row();
    const int sel = f_.MSF->RowSel();
    s_.FirstRow = QString::number(sel > row ? row : sel);
    s_.LastRow = QString::number(sel > row ? sel : row);
}

namespace {

QString pathKey(const QString& path) {
    const QFileInfo info(path);
    const QString canonical = info.canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(info.absoluteFilePath()) : canonical;
}

}  // namespace

void BatchRun::CollectRunSources() {
    runSources_.clear();
    runSourcePaths_.clear();
    const int mode = f_.ProcessingMode();
    if (mode == FrameToPicture) return;
    QStringList sources;
    if (mode == SeriesFromOneVideo) sources << f_.LBase->text();
    const int last = qMin(s_.LastRow.toInt(), f_.MSF->Rows() - 1);
    for (int row = s_.FirstRow.toInt(); mode != SeriesFromOneVideo && row <= last; ++row)
        sources << f_.MSF->TextMatrix(row, ColFolder) + "/" + f_.MSF->TextMatrix(row, ColFileName);
    for (const QString& source : sources) {
        if (const auto id = fileops::IdOf(source)) runSources_.insert(*id);
        runSourcePaths_.insert(pathKey(source));
    }
}

bool BatchRun::Refused(const naming::RowPaths& paths) const {
    if (container::MechanismFor(paths.outputPath) == container::Mechanism::None) return true;
    // Its own source goes through the work file; anybody else's must stay.
    if (naming::SameFile(paths.outputPath, paths.sourceFile)) return false;
    const auto out = fileops::IdOf(paths.outputPath);
    return (out && runSources_.count(*out)) || runSourcePaths_.count(pathKey(paths.outputPath));
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
    lastScaled_ = ScaledCover{};
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
    const int mode = f_.ProcessingMode();
    const bool textCover =
        mode == FrameAsCover && f_.ChFileNameAs->isChecked() && !f_.ChDelRecover->isChecked();

    for (int row = first; row <= last; ++row) {
        if (f_.IsClosed()) return false;
        if (row > f_.MSF->Rows() - 1) break;  // the list cannot shrink during a run; be safe anyway
        s_.CurrentRow = row;
        s_.RowStart = QDateTime::currentDateTime();

        f_.MSF->SetRow(row);
        f_.MSF->SetColSel(f_.MSF->Cols() - 1);
        f_.MSF->SetTopRow(f_.MSF->Row() > 10 ? f_.MSF->Row() - 5 : 1);

        if (textCover) BuildTextCover(f_, s_);

        f_.SetProgressText((mode == FrameToPicture ? rowtext::ProgressFrames : rowtext::ProgressReplacing) + OfRun());

        if (mode != FrameToPicture) {
            naming::PathInputs in;
            in.mode = mode;
            in.fileName = Cell(ColFileName);
            in.folder = Cell(ColFolder);
            in.partnerFile = Cell(ColPartnerFile);
            in.currentRow = row;
            in.baseCaption = f_.LBase->text();
            in.outputDir = f_.LDir->text();
            in.baseStem = s_.BaseStem;
            in.chNum = f_.ChNum->isChecked();
            in.chSaveAs = f_.ChSaveAs->isChecked();
            in.grabbedFrameFile = s_.GrabbedFrameFile;
            const naming::RowPaths p = naming::ChoosePaths(in);
            s_.SourceFile = p.sourceFile;
            if (Refused(p)) {
                SetStatus(rowtext::StatusFailed);
                if (f_.StopRequested) break;
                continue;
            }
            if (mode == FrameAsCover) {
                s_.CoverFile = p.coverFile;
                GrabFrame(f_, s_);
                if (f_.IsClosed()) return false;
                s_.OutputPath = p.outputPath;
                ChooseFrameCover(f_, s_);
            } else {
                s_.CoverFile = p.coverFile;
                s_.OutputPath = p.outputPath;
            }
        }

        if (mode != FrameToPicture && fileops::IsOrdinaryFile(s_.CoverFile)) {
            const RowEnd end = ReplaceCover();
            if (end == RowEnd::WindowClosed || f_.IsClosed()) return false;
            if (end == RowEnd::EndLoop) break;
            if (end == RowEnd::CropRefused) continue;
        } else if (mode == FrameToPicture) {
            GrabRandomFrame(f_, s_);
        } else {
            SetStatus(rowtext::StatusFailed);
        }

        if (f_.StopRequested) break;
    }
    return !f_.IsClosed();
}

// ------------------------------------------------------- one cover replacement

bool BatchRun::PrepareTrimAndCrop() {
    s_.TimeCutArgs.clear();
    if (f_.ChCutTime->isChecked()) {
        const trimcrop::Trim t =
            trimcrop::TimeCut(s_.TimeCutParts, s_.TimeCutInPercent, probe::GetMediaDuration(s_.SourceFile));
        s_.TrimHead = t.head;
        s_.TrimTail = t.tail;
        s_.TrimLength = t.length;
        s_.TimeCutArgs = t.args;
    }
    s_.CropArgs.clear();
    if (f_.ChCutSize->isChecked()) {
        // A source without a readable size has nothing left after any crop.
        QString w, h;
        if (!probe::GetVideoSizeAndBitrate(s_.SourceFile, w, h)) w = h = QString();
        const trimcrop::Crop c = trimcrop::PictureCrop(s_.SizeCutParts, s_.SizeCutInPercent,
                                                       num::WholeTextNumber(w).value_or(0),
                                                       num::WholeTextNumber(h).value_or(0));
        s_.CropLeft = c.left;
        s_.CropTop = c.top;
        s_.CropRight = c.right;
        s_.CropBottom = c.bottom;
        s_.CropWidth = c.width;
        s_.CropHeight = c.height;
        if (c.tooLarge) {
            SetStatus(rowtext::StatusCropTooLarge);
            return false;
        }
        s_.CropArgs = c.args;
    }
    return true;
}

void BatchRun::PrepareCoverAndOptions() {
    const int mode = f_.ProcessingMode();
    if (f_.ChMp3->isChecked()) {
        s_.CommandCover = s_.CoverFile;
    } else if (mode <= OneCoverForAllVideos) {
        const auto whole = [](const QString& text) {
            const auto n = num::ToInt32(num::LeadingNumber(text));
            return n ? static_cast<int>(*n) : 0;
        };
        ScaleCover(whole(Cell(ColWidth)), whole(Cell(ColHeight)));
        s_.CommandCover = s_.ScaledCoverFile;
    } else {
        s_.CommandCover = f_.ChFileNameAs->isChecked() && !f_.ChDelRecover->isChecked() ? s_.TextCoverFile
                                                                                       : s_.GrabbedFrameFile;
    }
    if (const auto options = BuildEncodeOptions(f_, s_.SourceFile)) s_.EncodeOptions = *options;
}

void BatchRun::ScaleCover(int width, int height) {
    const QFileInfo src(s_.CoverFile);
    const QFileInfo dst(s_.ScaledCoverFile);
    const ScaledCover& c = lastScaled_;
    if (c.source == src.absoluteFilePath() && c.width == width && c.height == height && src.exists() &&
        c.sourceSize == src.size() && c.sourceTime == src.lastModified() && dst.exists() &&
        c.targetSize == dst.size() && c.targetTime == dst.lastModified())
        return;
    lastScaled_ = ScaledCover{};
    if (!trimcrop::ZoomPic(s_.CoverFile, s_.ScaledCoverFile, width, height)) return;
    const QFileInfo made(s_.ScaledCoverFile);
    lastScaled_ = {src.absoluteFilePath(), src.lastModified(), made.lastModified(), src.size(), made.size(), width,
                   height};
}

void BatchRun::JudgeOutput(bool encoderSucceeded) {
    s_.OutSizeMB = 0;
    const double size = result::MeasureOutSizeMB(s_.RunOutputFile);
    s_.LastRunOk = encoderSucceeded;
    bool ok = result::AttemptSucceeded(size, encoderSucceeded);
    if (ok) ok = check_(source_, s_.RunOutputFile, expect_);
    s_.OutSizeMB = ok ? size : 0;
}

bool BatchRun::Attempt(const EncoderCommand& command, CycleOrder order) {
    const bool showSize = f_.ChOther->isChecked();
    // A result that will replace its source is flushed before it does; what
    // the encoder has written so far goes to disk while it works on.
    const bool replaces = !f_.ChSaveAs->isChecked() || s_.RunOutputFile != s_.OutputPath;
    QElapsedTimer sinceWriteback;
    sinceWriteback.start();
    const EncoderRun started = StartEncoder(f_, command);
    const EncoderRun run = WaitForEncoder(f_, started, order, [&, this, showSize] {
        if (replaces && sinceWriteback.elapsed() >= kWritebackMs) {
            fileops::StartWriteback(s_.RunOutputFile);
            sinceWriteback.restart();
        }
        if (!showSize) return;
        if (fileops::FileSize(s_.RunOutputFile) >= 0) s_.OutSizeMB = result::MeasureOutSizeMB(s_.RunOutputFile);
        SetStatus(result::ReplacingText(s_.OutSizeMB, ElapsedText(s_.RowStart)));
    });
    if (f_.IsClosed()) return false;
    JudgeOutput(run.Succeeded());
    return s_.OutSizeMB > 0;
}

void BatchRun::ShowSuccess() {
    if (f_.ChOther->isChecked()) {
        const double size = result::MeasureOutSizeMB(s_.RunOutputFile);
        if (size > 0) s_.OutSizeMB = size;
        SetStatus(result::OkText(s_.OutSizeMB, ElapsedText(s_.RowStart)));
    } else {
        SetStatus(rowtext::StatusOk);
    }
}

void BatchRun::RecordProbe(result::ProbeOutcome outcome, bool firstRanCuvid) {
    const result::ProbeRecord r = result::RecordFor(outcome, firstRanCuvid);
    f_.AccIndex = r.accIndex;
    f_.CanAcc = r.canAcc;
    f_.services.settings->Set(QString::fromLatin1(settings_names::AccIndex), r.accIndexSetting);
    f_.services.settings->Set(QString::fromLatin1(settings_names::CanAcc), r.canAccSetting);
    if (r.switchSpeedOff) {
        f_.ChSpeed->setChecked(false);
        f_.ChSpeed->setEnabled(false);
    }
}

namespace {

// The source's pictures other than covers, written out so they can go back
// in as attachments under their own names.
std::vector<covercmd::Inputs::Attachment> extractPictures(const QString& source, const probe::MatroskaLayout& layout,
                                                         const QString& folder) {
    std::vector<covercmd::Inputs::Attachment> out;
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly)) return out;
    for (const probe::MatroskaAttachment& a : layout.attachments) {
        if (container::IsCoverAttachmentName(a.name) || !readback::IsPictureMime(a.mime)) continue;
        const QString ext = naming::ExtensionOf(a.name).toLower();
        const QString file = folder + QStringLiteral("/Picture%1").arg(out.size() + 1) + ext;
        QFile w(file);
        if (!in.seek(a.dataOffset) || !w.open(QIODevice::WriteOnly | QIODevice::Truncate)) continue;
        const QByteArray bytes = in.read(a.dataSize);
        // A picture that cannot be put back leaves the row to fail its check.
        if (bytes.size() == a.dataSize && w.write(bytes) == bytes.size()) out.push_back({file, a.name, a.mime});
    }
    return out;
}

}  // namespace

void BatchRun::PrepareContainer(covercmd::Inputs& in) {
    in.mechanism = source_.mechanism;
    switch (in.mechanism) {
    case container::Mechanism::Matroska:
        // The attachment must be the PNG it is named: the file-name cover is
        // a bitmap and the grabbed frame lies under another name.
        in.attachCover = s_.ScaledCoverFile;
        if (s_.CommandCover != s_.ScaledCoverFile) trimcrop::ZoomPic(s_.CommandCover, s_.ScaledCoverFile, 0, 0);
        for (const probe::MatroskaAttachment& a : source_.matroska.attachments)
            if (container::IsCoverAttachmentName(a.name)) in.dropAttachments << a.name;
        in.reattach = extractPictures(s_.SourceFile, source_.matroska, f_.AppPathGlobal);
        break;
    case container::Mechanism::Mp3:
        in.keepId3v1 = source_.mp3.id3v1;
        in.writeVbrHeader = source_.mp3.vbrHeader;
        break;
    default:
        break;
    }
}

BatchRun::RowEnd BatchRun::ReplaceCover() {
    if (!PrepareTrimAndCrop()) return RowEnd::CropRefused;
    PrepareCoverAndOptions();

    const bool mp3 = f_.ChMp3->isChecked();
    const bool saveAs = f_.ChSaveAs->isChecked();
    const bool other = f_.ChOther->isChecked();
    const bool openingClip = f_.ProcessingMode() == FrameAsCover && f_.ChAsHead->isChecked();
    // An output that is the source itself goes through the work file like an
    // in-place row, so the encoder never writes the file it reads.
    const bool throughTemp = !saveAs || naming::SameFile(s_.OutputPath, s_.SourceFile);
    if (throughTemp) {
        s_.RunOutputFile = naming::TempOutputFile(f_.AppPathGlobal, s_.SourceFile);
        fileops::DeleteFile(s_.RunOutputFile);
    } else {
        s_.RunOutputFile = s_.OutputPath;
    }

    // What the output must hold to count, read while the source is untouched.
    source_ = readback::Read(s_.SourceFile, container::MechanismFor(s_.OutputPath));
    expect_ = readback::Expectation{};
    expect_.trimmed = f_.ChCutTime->isChecked();
    expect_.duration = expect_.trimmed ? s_.TrimLength : source_.streams.duration;

    covercmd::Inputs in;
    in.sourceFile = s_.SourceFile;
    in.commandCover = s_.CommandCover;
    in.timeCutArgs = s_.TimeCutArgs;
    in.cropArgs = s_.CropArgs;
    in.encodeOptions = s_.EncodeOptions;
    in.runOutputFile = s_.RunOutputFile;
    in.saveAs = saveAs;
    in.hardware = covercmd::UsesHardwareSet(other, f_.CanAcc, f_.ChSpeed->isChecked());
    if (!openingClip) PrepareContainer(in);
    const covercmd::Commands cmds = covercmd::BuildAll(in, f_.AccIndex);
    const bool reencode = covercmd::Reencodes(in.mechanism, s_.CropArgs, other);
    const auto attemptForm = [reencode](const EncoderCommand& c) { return reencode ? covercmd::Reencoding(c) : c; };

    f_.SetProgressText((mp3 ? rowtext::ProgressMp3Cover : rowtext::ProgressVideoCover) + OfRun());
    SetStatus(rowtext::StatusReplacing);
    s_.OutSizeMB = 0;
    fileops::DeleteFile(s_.RunOutputFile);

    bool ok = false;
    if (openingClip) {
        s_.LastRunOk = false;
        PreprocessVideo(f_, s_, s_.SourceFile, s_.GrabbedFrameFile, s_.RunOutputFile, f_.MSF->Rows() - 1,
                        s_.CurrentRow);
        if (f_.IsClosed()) return DropOutput(), RowEnd::WindowClosed;
        // The cover is put in front of the film, not into its tags: the
        // output is judged as the head and the film it was joined to.
        expect_ = openingclip::JoinExpectation(source_.streams, probe::ReadStreamFacts(s_.ClipBody), s_.ClipTrimLength);
        JudgeOutput(s_.LastRunOk);
        ok = s_.OutSizeMB > 0;
    } else {
        ok = Attempt(attemptForm(cmds.first), CycleOrder::YieldUpdateTest);
        if (f_.IsClosed()) return DropOutput(), RowEnd::WindowClosed;
    }

    // Falling back only makes sense after a hardware attempt.
    const bool fallback = in.hardware && f_.ChSpeed->isChecked();
    const bool firstRow = s_.CurrentRow == s_.FirstRow.toInt();
    if (ok) {
        ShowSuccess();
        if (fallback && firstRow) RecordProbe(result::ProbeOutcome::FirstAttemptSucceeded, cmds.firstIsCuvid);
    } else if (fallback) {
        fileops::DeleteFile(s_.RunOutputFile);
        ok = Attempt(attemptForm(cmds.cuvid), CycleOrder::TestYieldUpdate);
        if (f_.IsClosed()) return DropOutput(), RowEnd::WindowClosed;
        if (ok) {
            ShowSuccess();
            if (firstRow) RecordProbe(result::ProbeOutcome::SecondAttemptSucceeded, false);
        } else {
            if (firstRow) RecordProbe(result::ProbeOutcome::SecondAttemptFailed, false);
            ok = Attempt(attemptForm(cmds.software), CycleOrder::TestYieldUpdate);
            if (f_.IsClosed()) return DropOutput(), RowEnd::WindowClosed;
            if (ok) ShowSuccess();
        }
    }
    return CloseRow(ok, throughTemp);
}

void BatchRun::DropOutput() { fileops::DeleteFile(s_.RunOutputFile); }

BatchRun::RowEnd BatchRun::CloseRow(bool succeeded, bool throughTemp) {
    if (!succeeded) {
        s_.OutSizeMB = 0;
        SetStatus(rowtext::StatusFailed);
        // A broken result must not pass for a good one, in the output folder
        // or as the next row's leftover.
        DropOutput();
        return RowEnd::Done;
    }
    if (!throughTemp) return RowEnd::Done;

    const replace::Outcome placed =
        replace::PutInPlace(s_.RunOutputFile, s_.OutputPath, [this](const QString& mountPoint) {
            return f_.services.dialogs->Message(replace::DiskFullText(mountPoint), rowtext::Title, MsgIcon::Critical,
                                                MsgButtons::RetryCancel, 0) == MsgResult::Retry;
        });
    if (placed == replace::Outcome::Placed) return RowEnd::Done;
    SetStatus(rowtext::StatusFailed);
    if (placed == replace::Outcome::Cancelled) {
        s_.EndLoop = true;
        return RowEnd::EndLoop;
    }
    return RowEnd::Done;
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

    f_.Busy = false;
    f_.Frame2->setEnabled(true);
    f_.MSF->SetRow(1);
    f_.MSF->SetColSel(f_.MSF->Cols() - 1);
    f_.MSF->SetTopRow(1);
    f_.CmdDo->setEnabled(true);
    f_.Frame1->setEnabled(true);
    f_.CmdStop->hide();
    f_.Frame4->setEnabled(f_.ChOther->isChecked());
    f_.ChOther->setEnabled(chOtherWasEnabled_);
    f_.CmdAbout->setEnabled(windowButtonsWereEnabled_.first);
    f_.CmdUpdate->setEnabled(windowButtonsWereEnabled_.second);
}
