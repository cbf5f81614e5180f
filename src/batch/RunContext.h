#pragma once
// What a row step sees of the run: the options as they stood when the run
// began, a narrow view of the window, and where encoders start.
//
// The row loop (BatchRun) reads the options once, owns the helpers that live
// beyond one row, and hands every row step the context with the run's
// variables (RunState.h):
//
//   void Step(const RunContext& run, RunState& state);
//
// A step writes only the status cell of state.CurrentRow (and the progress
// panel) through run.window, and leaves its results in `state`. A step that
// waits for the encoder checks run.window->Closed() after the wait and returns
// at once when it is true; the loop then ends without touching the window.
#include "encoder/EncodeOptions.h"
#include "encoder/EncoderRun.h"
#include "filelist/FileColumns.h"
#include "options/ProcessingMode.h"

#include <QString>

class Dialogs;
namespace framepicture {
class StartSlots;
}
namespace result {
struct ProbeRecord;
}

// The option controls as the run found them when it began: the frames that
// hold them stay disabled until it ends.
struct RunOptions {
    int mode = SeriesFromOneVideo;
    bool saveAs = false;      // ChSaveAs
    bool mp3 = false;         // ChMp3
    bool numbered = false;    // ChNum
    bool cutTime = false;     // ChCutTime
    bool cutSize = false;     // ChCutSize
    bool percent = false;     // ChPercent
    bool delRecover = false;  // ChDelRecover
    bool asHead = false;      // ChAsHead
    bool fileNameAs = false;  // ChFileNameAs
    bool colour = false;      // ChColor
    QString position;         // TPos
    QString timeCut;          // TTimeCut
    QString sizeCut;          // TSizeCut
    QString baseCaption;      // LBase
    QString outputDir;        // LDir
    QString programFolder;    // AppPathGlobal
    EncodeControls encode;    // ChOther and the re-encoding lists

    // Mode 3's cover is the row's file name drawn as a picture.
    bool TextCoverOn() const { return mode == FrameAsCover && fileNameAs && !delRecover; }
    // Mode 3 puts the cover in front of the film as a half-second head.
    bool OpeningClip() const { return mode == FrameAsCover && asHead; }
};

// The hardware decoder as the window knows it now: the run's first row may
// change it.
struct HardwareState {
    int accIndex = -1;
    bool canAcc = false;
    bool speedChecked = false;  // ChSpeed
};

// The window, as far as the row steps may touch it.
class RunWindow {
public:
    virtual ~RunWindow() = default;
    // True once the window has been closed for good.
    virtual bool Closed() const = 0;
    virtual void SetStatus(int row, const QString& text) = 0;
    virtual void SetProgress(const QString& text) = 0;
    virtual filelist::RowCells Cells(int row) const = 0;
    // Data rows of the list (the grid's rows less the header).
    virtual int DataRows() const = 0;
    virtual HardwareState Hardware() const = 0;
    // Takes in what the first row learnt about the hardware decoders.
    virtual void Record(const result::ProbeRecord& record) = 0;
};

struct RunContext {
    RunOptions options;
    RunWindow* window = nullptr;
    EncoderHost host;
    Dialogs* dialogs = nullptr;
    // Mode 4's limit on encoders at once; lives beyond one run.
    framepicture::StartSlots* startSlots = nullptr;
};
