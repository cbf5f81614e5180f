#include "batch/RowSteps.h"

#include "batch/FrameGrab.h"
#include "batch/FrameToPicture.h"
#include "batch/OpeningClip.h"
#include "batch/RunContext.h"
#include "batch/RunState.h"
#include "batch/TextCover.h"
#include "common/ProgramFiles.h"
#include "encoder/EncoderRun.h"
#include "platform/FileOps.h"
#include "platform/OwnFiles.h"
#include "probe/MediaProbe.h"

namespace {

QString workFile(const RunContext& run, const QString& set, const char* name) {
    return set.isEmpty() ? workfiles::In(run.options.programFolder, name) : set;
}

}  // namespace

void PrepareCoverCanvas(const RunContext& run, RunState& state) {
    state.CoverTile = textcover::PrepareCoverCanvas(run.options.colour);
}

void BuildTextCover(const RunContext& run, RunState& state) {
    if (state.CoverTile.isNull()) state.CoverTile = textcover::PrepareCoverCanvas(run.options.colour);
    const filelist::RowCells row = run.window->Cells(state.CurrentRow);
    state.TextCoverMade = textcover::BuildTextCoverFile(row.fileName, row.width, row.height, run.options.colour,
                                                        state.CoverTile,
                                                        workFile(run, state.TextCoverFile, workfiles::TextCover));
}

void GrabFrame(const RunContext& run, RunState& state) {
    const QString picture = workFile(run, state.GrabbedFrameFile, workfiles::GrabbedFrame);
    state.CoverFile = picture;
    if (run.options.TextCoverOn()) return;  // the file name is the cover: nothing to grab

    framegrab::SeekInputs in;
    in.delRecover = run.options.delRecover;
    in.asHead = run.options.asHead;
    in.percent = run.options.percent;
    in.position = run.options.position;
    // Positions count on the picture: sound may run on past the last frame.
    const QString seek = framegrab::SeekTime(in, probe::GetVideoDuration(state.SourceFile));

    // A frame of an earlier row must never serve this one; a user's file
    // of that name is neither removed nor written.
    if (!ownfiles::Fresh(picture)) {
        state.CoverFile.clear();
        return;
    }
    const int row = state.CurrentRow;
    const QString lastRow = state.LastRow;
    RunWindow* window = run.window;
    RunEncoderAndWait(run.host, framegrab::FrameAsCoverCommand(state.SourceFile, seek, picture),
                      CycleOrder::TestYieldUpdate, [window, row, lastRow] {
                          window->SetStatus(row, framegrab::GrabbingStatus());
                          window->SetProgress(framegrab::GrabbingProgress(row, lastRow));
                      });
    // Nothing grabbed: no picture, so the row gate fails the row.
    if (fileops::FileSize(picture) <= 0) ownfiles::Free(picture);
}

void ChooseFrameCover(const RunContext& run, RunState& state) {
    if (!run.options.TextCoverOn()) return;
    const QString cover = workFile(run, state.TextCoverFile, workfiles::TextCover);
    // Without this row's own drawing there is no cover: the row gate fails it.
    state.CoverFile = state.TextCoverMade ? cover : QString();
    state.CommandCover = cover;
}

void PreprocessVideo(const RunContext& run, RunState& state, const QString& source, const QString& cover,
                     const QString& output, int total, int row) {
    RunOpeningClip(run, state, source, cover, output, total, row);
}

void GrabRandomFrame(const RunContext& run, RunState& state) { GrabRandomFramePicture(run, state); }
