#pragma once
// The run started by the main button: one encoder job per row.
//
// The frame of the run lives here: the refusals, the set-up, the row loop
// with its gate, the stop and the end report. The row steps (RowSteps.h,
// CoverRow.h) get the run's context (RunContext.h): the options read once at
// the start, the window's narrow view and the encoder, and the helpers that
// outlive one row, which this class owns.
#include "batch/CoverRow.h"
#include "batch/FrameToPicture.h"
#include "batch/RunContext.h"
#include "batch/RunLock.h"
#include "batch/RunSources.h"
#include "batch/RunState.h"
#include "batch/WindowRead.h"
#include "encoder/EncoderRun.h"

#include <QObject>
#include <utility>

class Form1;

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
    // The row steps' context with the options as the window holds them now.
    RunContext Context();
    // Where the program's encoders start, reaped in the background.
    EncoderHost Host();
    // Mode 4's limit on encoders at once, kept from run to run.
    framepicture::StartSlots& Slots() { return slots_; }

    using OutputCheck = ::OutputCheck;
    void SetOutputCheck(OutputCheck check) { check_ = std::move(check); }
    // Empty: the encoder's file is read back as it is.
    void SetOutputFinish(OutputFinish finish) { finish_ = std::move(finish); }
    // Whether the media library is there and reads; asked only when the first
    // row has no picture height.
    void SetLibraryCheck(std::function<bool()> check) { libraryWorks_ = std::move(check); }

private:
    bool CheckRunPreconditions();
    void ReadCutOptions();
    void EnterRunState();
    void ComputeRowRange();
    void CollectRunSources();
    // False when the window was closed during the run.
    bool RunRows();
    void FinishBatch();
    void SetStatus(const QString& text);
    QString OfRun() const;

    Form1& f_;
    RunState s_;
    bool running_ = false;
    FormRunWindow window_;
    BackgroundReaper reaper_;
    framepicture::StartSlots slots_;
    RunLock lock_;
    RunSources sources_;
    RunContext run_;
    OutputFinish finish_ = CarryOverFinish();
    OutputCheck check_ = ReadBackCheck();
    std::function<bool()> libraryWorks_;
};
