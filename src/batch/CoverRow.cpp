#include "batch/CoverRow.h"

#include "batch/AttemptLadder.h"
#include "batch/Containers.h"
#include "batch/CoverCommands.h"
#include "batch/Mp3Tags.h"
#include "batch/Mp4Boxes.h"
#include "batch/OpeningClip.h"
#include "batch/OutputNaming.h"
#include "batch/ResultCheck.h"
#include "batch/RowSteps.h"
#include "batch/RowTexts.h"
#include "batch/RunContext.h"
#include "batch/RunState.h"
#include "batch/SourceReplace.h"
#include "batch/TrimCrop.h"
#include "common/NumberText.h"
#include "platform/Dialogs.h"
#include "platform/FileOps.h"
#include "platform/OwnFiles.h"
#include "probe/MediaInfoLibrary.h"
#include "probe/MediaProbe.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <optional>
#include <unistd.h>

namespace {

constexpr int kWritebackMs = 100;

// Seconds of one frame of the first video stream; 0 when there is none.
double frameSeconds(const QString& file) {
    const probe::Fields got =
        probe::FetchFields(probe::SystemMediaInfo(), file, {{1, QStringLiteral("FrameRate")}});
    if (!got.opened || got.counts[1] < 1) return 0;
    const double rate = num::LeadingNumber(got.values[0][0]);
    return rate > 0 ? 1 / rate : 0;
}

// One row's replacement: the run's context, the row's variables, and what
// its output is read back against.
class CoverRow {
public:
    CoverRow(const RunContext& run, RunState& state, const OutputFinish& finish, const OutputCheck& check)
        : run_(run), s_(state), finish_(finish), check_(check) {}
    RowEnd Replace();

private:
    std::optional<RowEnd> PrepareTrimAndCrop();
    void PrepareCoverAndOptions();
    void ScaleCover(int width, int height);
    readback::Facts ReadSource(container::Mechanism mechanism);
    void PrepareContainer(covercmd::Inputs& in);
    ladder::Try Attempt(const EncoderCommand& command, CycleOrder order);
    void JudgeOutput(bool encoderSucceeded);
    void ShowSuccess();
    RowEnd CloseRow(bool succeeded, bool throughTemp);
    void DropOutput() { fileops::DeleteFile(s_.RunOutputFile); }
    void SetStatus(const QString& text) { run_.window->SetStatus(s_.CurrentRow, text); }
    QString OfRun() const { return QString::number(s_.CurrentRow) + "/" + s_.LastRow; }

    const RunContext& run_;
    RunState& s_;
    const OutputFinish& finish_;
    const OutputCheck& check_;
    // The source as read before the first attempt, and what the output must
    // be to count.
    readback::Facts source_;
    readback::Expectation expect_;
    // The file an in-place row replaces, as it was when the row began.
    std::optional<fileops::FileStamp> read_;
    // The work output could not be emptied for a further attempt.
    bool outputLost_ = false;
};

std::optional<RowEnd> CoverRow::PrepareTrimAndCrop() {
    s_.TimeCutArgs.clear();
    if (run_.options.cutTime) {
        const double duration = probe::GetMediaDuration(s_.SourceFile);
        const trimcrop::Trim t = trimcrop::TimeCut(s_.TimeCutParts, s_.TimeCutInPercent, duration);
        s_.TrimHead = t.head;
        s_.TrimTail = t.tail;
        s_.TrimLength = t.length;
        s_.TimeCutArgs = t.args;
        // A trim that keeps nothing would put an empty file in the source's
        // place: the row fails before any encoder runs.
        if (!trimcrop::KeepsSomething(t, duration, frameSeconds(s_.SourceFile))) {
            SetStatus(rowtext::StatusFailed);
            return RowEnd::Done;
        }
    }
    s_.CropArgs.clear();
    if (run_.options.cutSize) {
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
            return RowEnd::CropRefused;
        }
        s_.CropArgs = c.args;
    }
    return std::nullopt;
}

void CoverRow::PrepareCoverAndOptions() {
    if (run_.options.mp3) {
        s_.CommandCover = s_.CoverFile;
    } else if (run_.options.mode <= OneCoverForAllVideos) {
        const auto whole = [](const QString& text) {
            const auto n = num::ToInt32(num::LeadingNumber(text));
            return n ? static_cast<int>(*n) : 0;
        };
        const filelist::RowCells cells = run_.window->Cells(s_.CurrentRow);
        ScaleCover(whole(cells.width), whole(cells.height));
        // A user's picture under the scaled cover's name is no cover: the row fails.
        s_.CommandCover = ownfiles::IsOwn(s_.ScaledCoverFile) ? s_.ScaledCoverFile : QString();
    } else {
        s_.CommandCover = run_.options.TextCoverOn() ? s_.TextCoverFile : s_.GrabbedFrameFile;
    }
    const EncodeProbes probes = EncodeProbes::ForFile(s_.SourceFile);
    std::optional<QString> options = BuildEncodeOptions(run_.options.encode, probes);
    if (!options) {
        // A size or rate relative to a video this file does not have (an
        // audio file's) is kept as the file's own, never taken over from the
        // row before.
        EncodeControls own = run_.options.encode;
        own.sizeIndex = 0;
        own.sizeText.clear();
        own.vbitIndex = 0;
        options = BuildEncodeOptions(own, probes);
    }
    if (options) s_.EncodeOptions = *options;
}

void CoverRow::ScaleCover(int width, int height) {
    const QFileInfo src(s_.CoverFile);
    const QFileInfo dst(s_.ScaledCoverFile);
    const RunState::ScaledCover& c = s_.LastScaled;
    if (c.source == src.absoluteFilePath() && c.width == width && c.height == height && src.exists() &&
        c.sourceSize == src.size() && c.sourceTime == src.lastModified() && dst.exists() &&
        c.targetSize == dst.size() && c.targetTime == dst.lastModified())
        return;
    s_.LastScaled = RunState::ScaledCover{};
    if (!trimcrop::ZoomPic(s_.CoverFile, s_.ScaledCoverFile, width, height)) return;
    const QFileInfo made(s_.ScaledCoverFile);
    s_.LastScaled = {src.absoluteFilePath(), src.lastModified(), made.lastModified(), src.size(), made.size(), width,
                     height};
}

readback::Facts CoverRow::ReadSource(container::Mechanism mechanism) {
    const QFileInfo info(s_.SourceFile);
    RunState::ReadSource& last = s_.LastSource;
    if (last.path != info.absoluteFilePath() || last.size != info.size() || last.modified != info.lastModified() ||
        last.facts.mechanism != mechanism)
        last = {info.absoluteFilePath(), info.lastModified(), info.size(), readback::Read(s_.SourceFile, mechanism)};
    return last.facts;
}

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
        if (!in.seek(a.dataOffset) || !ownfiles::Fresh(file) || !w.open(QIODevice::WriteOnly | QIODevice::Truncate))
            continue;
        const QByteArray bytes = in.read(a.dataSize);
        // A picture that cannot be put back leaves the row to fail its check.
        if (bytes.size() == a.dataSize && w.write(bytes) == bytes.size()) out.push_back({file, a.name, a.mime});
    }
    return out;
}

void CoverRow::PrepareContainer(covercmd::Inputs& in) {
    in.mechanism = source_.mechanism;
    switch (in.mechanism) {
    case container::Mechanism::Matroska:
        // The attachment must be the PNG it is named: the file-name cover is
        // a bitmap and the grabbed frame lies under another name.
        if (s_.CommandCover != s_.ScaledCoverFile) trimcrop::ZoomPic(s_.CommandCover, s_.ScaledCoverFile, 0, 0);
        in.attachCover = ownfiles::IsOwn(s_.ScaledCoverFile) ? s_.ScaledCoverFile : QString();
        for (const probe::MatroskaAttachment& a : source_.matroska.attachments)
            if (container::IsCoverAttachmentName(a.name)) in.dropAttachments << a.name;
        in.reattach = extractPictures(s_.SourceFile, source_.matroska, run_.options.programFolder);
        in.dispositions = covercmd::Dispositions(source_.matroska.tracks);
        break;
    case container::Mechanism::Mp4:
    case container::Mechanism::QuickTime:
        in.dropStreams = source_.mp4.chapterTracks;
        in.dropStreams.insert(in.dropStreams.end(), source_.mp4.timecodeTracks.begin(),
                              source_.mp4.timecodeTracks.end());
        // A Nero chapter list alone is carried over as it was, unless a cut
        // asks the writer to fit it.
        in.writeChapters = source_.mp4.chapters > 0 && (!source_.mp4.chapterTracks.empty() || run_.options.cutTime);
        break;
    case container::Mechanism::Mp3:
        in.keepId3v1 = source_.mp3.id3v1;
        in.writeVbrHeader = source_.mp3.vbrHeader;
        break;
    default:
        break;
    }
}

void CoverRow::JudgeOutput(bool encoderSucceeded) {
    s_.OutSizeMB = 0;
    const double size = result::MeasureOutSizeMB(s_.RunOutputFile);
    s_.LastRunOk = encoderSucceeded;
    bool ok = result::AttemptSucceeded(size, encoderSucceeded);
    // The file is put together anew before it is read back: an MP3 around
    // its source's tag and bytes, an MP4 with its source's boxes.
    if (ok && finish_) ok = finish_(source_, s_.RunOutputFile, expect_);
    if (ok) ok = check_(source_, s_.RunOutputFile, expect_);
    s_.OutSizeMB = ok ? result::MeasureOutSizeMB(s_.RunOutputFile) : 0;
}

ladder::Try CoverRow::Attempt(const EncoderCommand& command, CycleOrder order) {
    if (outputLost_) return ladder::Try::Failed;
    const bool showSize = run_.options.encode.other;
    // A result that will replace its source is flushed before it does; what
    // the encoder has written so far goes to disk while it works on.
    const bool replaces = !run_.options.saveAs || s_.RunOutputFile != s_.OutputPath;
    QElapsedTimer sinceWriteback;
    sinceWriteback.start();
    const EncoderRun started = StartEncoder(run_.host, command);
    const EncoderRun ended = WaitForEncoder(run_.host, started, order, [&] {
        if (replaces && sinceWriteback.elapsed() >= kWritebackMs) {
            fileops::StartWriteback(s_.RunOutputFile);
            sinceWriteback.restart();
        }
        if (!showSize) return;
        if (fileops::FileSize(s_.RunOutputFile) >= 0) s_.OutSizeMB = result::MeasureOutSizeMB(s_.RunOutputFile);
        SetStatus(result::ReplacingText(s_.OutSizeMB, ElapsedText(s_.RowStart)));
    });
    if (run_.window->Closed()) return ladder::Try::WindowClosed;
    JudgeOutput(ended.Succeeded());
    return s_.OutSizeMB > 0 ? ladder::Try::Ok : ladder::Try::Failed;
}

void CoverRow::ShowSuccess() {
    if (run_.options.encode.other) {
        const double size = result::MeasureOutSizeMB(s_.RunOutputFile);
        if (size > 0) s_.OutSizeMB = size;
        SetStatus(result::OkText(s_.OutSizeMB, ElapsedText(s_.RowStart)));
    } else {
        SetStatus(rowtext::StatusOk);
    }
}

RowEnd CoverRow::Replace() {
    read_ = fileops::StampOf(s_.OutputPath);
    if (const auto refused = PrepareTrimAndCrop()) return *refused;
    // A typed size that cannot be read is refused, not dropped: the row would
    // otherwise pass at the source's size.
    if (!SizeTextApplies(run_.options.encode)) {
        SetStatus(rowtext::StatusFailed);
        return RowEnd::Done;
    }
    PrepareCoverAndOptions();

    const RunOptions& o = run_.options;
    const bool openingClip = o.OpeningClip();
    // An output that is the source itself goes through the work file like an
    // in-place row, so the encoder never writes the file it reads.
    const bool throughTemp = !o.saveAs || naming::SameFile(s_.OutputPath, s_.SourceFile);
    if (throughTemp) {
        s_.RunOutputFile = naming::TempOutputFile(o.programFolder, s_.SourceFile);
        // Only a file with one name is replaced, and a file of the user's
        // under the work file's name stays as it is.
        if (!read_ || read_->links != 1 || !ownfiles::Fresh(s_.RunOutputFile)) s_.RunOutputFile.clear();
    } else {
        // The encoder writes beside the output; the result takes its name
        // only at the end, and only while no other file has.
        const fileops::WorkFile w = fileops::CreateWorkFile(fileops::FolderOf(s_.OutputPath),
                                                            naming::ExtensionOf(s_.OutputPath), 0666);
        if (w.fd >= 0) ::close(w.fd);
        s_.RunOutputFile = w.path;
    }
    if (s_.RunOutputFile.isEmpty()) {
        SetStatus(rowtext::StatusFailed);
        return RowEnd::Done;
    }

    // What the output must hold to count, read while the source is untouched.
    source_ = ReadSource(container::MechanismFor(s_.OutputPath));
    expect_ = readback::Expectation{};
    expect_.trimmed = o.cutTime;
    expect_.duration = expect_.trimmed ? s_.TrimLength : source_.streams.duration;
    if (source_.mechanism == container::Mechanism::Mp3) {
        // The picture goes in as it is, never scaled.
        QFile cover(s_.CommandCover);
        if (cover.open(QIODevice::ReadOnly)) expect_.picture = cover.readAll();
    }

    const HardwareState hw = run_.window->Hardware();
    covercmd::Inputs in;
    in.sourceFile = s_.SourceFile;
    in.commandCover = s_.CommandCover;
    in.timeCutArgs = s_.TimeCutArgs;
    in.cropArgs = s_.CropArgs;
    in.encodeOptions = s_.EncodeOptions;
    in.runOutputFile = s_.RunOutputFile;
    in.saveAs = o.saveAs;
    in.hardware = covercmd::UsesHardwareSet(o.encode.other, hw.canAcc, hw.speedChecked);
    if (!openingClip) PrepareContainer(in);
    covercmd::Commands cmds = covercmd::BuildAll(in, hw.accIndex);
    if (covercmd::Reencodes(in.mechanism, s_.CropArgs, o.encode.other))
        for (EncoderCommand* c : {&cmds.software, &cmds.qsv, &cmds.cuvid, &cmds.first}) *c = covercmd::Reencoding(*c);

    run_.window->SetProgress((o.mp3 ? rowtext::ProgressMp3Cover : rowtext::ProgressVideoCover) + OfRun());
    SetStatus(rowtext::StatusReplacing);
    s_.OutSizeMB = 0;
    // An older file of the output's name makes way for this row's result.
    if (!throughTemp) fileops::DeleteFile(s_.OutputPath);

    ladder::Try first = ladder::Try::Failed;
    if (openingClip) {
        s_.LastRunOk = false;
        PreprocessVideo(run_, s_, s_.SourceFile, s_.GrabbedFrameFile, s_.RunOutputFile, run_.window->DataRows(),
                        s_.CurrentRow);
        if (run_.window->Closed()) {
            first = ladder::Try::WindowClosed;
        } else {
            // The cover is put in front of the film, not into its tags: the
            // output is judged as the head and the film it was joined to.
            expect_ = openingclip::JoinExpectation(source_.streams, s_.ClipBody, source_.mechanism,
                                                   s_.ClipTrimLength);
            JudgeOutput(s_.LastRunOk);
            first = s_.OutSizeMB > 0 ? ladder::Try::Ok : ladder::Try::Failed;
        }
    } else {
        first = Attempt(cmds.first, CycleOrder::YieldUpdateTest);
    }

    ladder::Rungs rungs;
    rungs.attempt = [this](const EncoderCommand& c, CycleOrder order) { return Attempt(c, order); };
    rungs.clearOutput = [this] { outputLost_ = !fileops::Truncate(s_.RunOutputFile); };
    rungs.speedChecked = [this] { return run_.window->Hardware().speedChecked; };
    rungs.showSuccess = [this] { ShowSuccess(); };
    rungs.record = [this](const result::ProbeRecord& r) { run_.window->Record(r); };
    const ladder::Try last = ladder::Climb(first, cmds, in.hardware, s_.CurrentRow == s_.FirstRow.toInt(), rungs);
    if (last == ladder::Try::WindowClosed) {
        DropOutput();
        return RowEnd::WindowClosed;
    }
    return CloseRow(last == ladder::Try::Ok, throughTemp);
}

RowEnd CoverRow::CloseRow(bool succeeded, bool throughTemp) {
    if (!succeeded) {
        s_.OutSizeMB = 0;
        SetStatus(rowtext::StatusFailed);
        // A broken result must not pass for a good one, in the output folder
        // or as the next row's leftover.
        DropOutput();
        return RowEnd::Done;
    }
    Dialogs* dialogs = run_.dialogs;
    const replace::Outcome placed =
        !throughTemp ? replace::PutNew(s_.RunOutputFile, s_.OutputPath)
                     : replace::PutInPlace(s_.RunOutputFile, s_.OutputPath, *read_, [dialogs](const QString& mountPoint) {
                           return dialogs && dialogs->Message(replace::DiskFullText(mountPoint), rowtext::Title,
                                                              MsgIcon::Critical, MsgButtons::RetryCancel,
                                                              0) == MsgResult::Retry;
                       });
    // Placed or not, no copy of the result stays behind.
    DropOutput();
    if (placed == replace::Outcome::Placed) return RowEnd::Done;
    SetStatus(rowtext::StatusFailed);
    if (placed == replace::Outcome::Cancelled) {
        s_.EndLoop = true;
        return RowEnd::EndLoop;
    }
    return RowEnd::Done;
}

}  // namespace

OutputCheck ReadBackCheck() {
    return [](const readback::Facts& source, const QString& output, const readback::Expectation& expect) {
        return readback::Judge(source, readback::Read(output, source.mechanism, expect.framesChecked), expect);
    };
}

OutputFinish CarryOverFinish() {
    return [](const readback::Facts& source, const QString& output, const readback::Expectation& expect) {
        // A join is the clip's and the film's, judged as such.
        if (expect.joined) return true;
        switch (source.mechanism) {
        case container::Mechanism::Mp3:
            return mp3tags::CarryOver(source.path, source.mp3, output, expect.trimmed);
        case container::Mechanism::Mp4:
        case container::Mechanism::QuickTime:
            return mp4boxes::CarryOver(source.path, output, {expect.trimmed, source.mp4.moovFirst});
        default:
            return true;
        }
    };
}

RowEnd ReplaceCover(const RunContext& run, RunState& state, const OutputFinish& finish, const OutputCheck& check) {
    return CoverRow(run, state, finish, check).Replace();
}
