#include "batch/RowSteps.h"

#include "app/Form1.h"
#include "batch/FrameGrab.h"
#include "batch/FrameToPicture.h"
#include "batch/OpeningClip.h"
#include "batch/RunState.h"
#include "batch/TextCover.h"
#include "encoder/EncoderRun.h"
#include "filelist/FileGrid.h"
#include "options/ProcessingMode.h"
#include "platform/FileOps.h"
#include "probe/MediaProbe.h"

#include <QCheckBox>
#include <QImage>
#include <QLineEdit>

namespace {


// What the file-name cover keeps between the run's set-up and its rows: the
// background tile, and whether the current row's picture was made.
class CoverCanvas : public QObject {
public:
    explicit CoverCanvas(QObject* parent) : QObject(parent) { setObjectName(QStringLiteral("textCoverCanvas")); }
    static CoverCanvas& For(Form1& form) {
        if (auto* c = form.findChild<CoverCanvas*>(QStringLiteral("textCoverCanvas"), Qt::FindDirectChildrenOnly))
            return *c;
        return *new CoverCanvas(&form);
    }
    QImage tile;
    bool rowMade = false;
};

bool textCoverOn(const Form1& form) {
    return form.ProcessingMode() == FrameAsCover && form.ChFileNameAs->isChecked() && !form.ChDelRecover->isChecked();
}

QString workFile(const Form1& form, const QString& set, const char* name) {
    return set.isEmpty() ? form.AppPathGlobal + QLatin1Char('/') + QLatin1String(name) : set;
}

}  // namespace

void PrepareCoverCanvas(Form1& form, RunState&) {
    CoverCanvas::For(form).tile = textcover::PrepareCoverCanvas(form.ChColor->isChecked());
}

void BuildTextCover(Form1& form, RunState& state) {
    CoverCanvas& canvas = CoverCanvas::For(form);
    if (canvas.tile.isNull()) canvas.tile = textcover::PrepareCoverCanvas(form.ChColor->isChecked());
    const int row = state.CurrentRow;
    canvas.rowMade = textcover::BuildTextCoverFile(
        form.MSF->TextMatrix(row, filelist::ColFileName), form.MSF->TextMatrix(row, filelist::ColWidth),
        form.MSF->TextMatrix(row, filelist::ColHeight), form.ChColor->isChecked(), canvas.tile,
        workFile(form, state.TextCoverFile, "Back.bmp"));
}

void GrabFrame(Form1& form, RunState& state) {
    const QString picture = workFile(form, state.GrabbedFrameFile, "Tmp.png");
    state.CoverFile = picture;
    if (textCoverOn(form)) return;  // the file name is the cover: nothing to grab

    framegrab::SeekInputs in;
    in.delRecover = form.ChDelRecover->isChecked();
    in.asHead = form.ChAsHead->isChecked();
    in.percent = form.ChPercent->isChecked();
    in.position = form.TPos->text();
    const QString seek = framegrab::SeekTime(in, probe::GetMediaDuration(state.SourceFile));

    // A frame of an earlier row must never serve this one.
    if (!fileops::DeleteFile(picture)) {
        state.CoverFile.clear();
        return;
    }
    const int row = state.CurrentRow;
    const QString lastRow = state.LastRow;
    RunEncoderAndWait(form, framegrab::FrameAsCoverCommand(state.SourceFile, seek, picture),
                      CycleOrder::TestYieldUpdate, [&form, row, lastRow] {
                          form.MSF->SetTextMatrix(row, filelist::ColStatus, framegrab::GrabbingStatus());
                          form.SetProgressText(framegrab::GrabbingProgress(row, lastRow));
                      });
}

void ChooseFrameCover(Form1& form, RunState& state) {
    if (!textCoverOn(form)) return;
    const QString cover = workFile(form, state.TextCoverFile, "Back.bmp");
    // Without this row's own drawing there is no cover: the row gate fails it.
    state.CoverFile = CoverCanvas::For(form).rowMade ? cover : QString();
    state.CommandCover = cover;
}

void PreprocessVideo(Form1& form, RunState& state, const QString& source, const QString& cover,
                     const QString& output, int total, int row) {
    RunOpeningClip(form, state, source, cover, output, total, row);
}

void GrabRandomFrame(Form1& form, RunState& state) { GrabRandomFramePicture(form, state); }
