#include "batch/RowSteps.h"

#include "batch/RunState.h"

// Placeholders until the mode-3 and mode-4 steps are built.
void PrepareCoverCanvas(Form1&, RunState&) {}
void BuildTextCover(Form1&, RunState&) {}
void GrabFrame(Form1&, RunState&) {}
void ChooseFrameCover(Form1&, RunState&) {}
void PreprocessVideo(Form1&, RunState&, const QString&, const QString&, const QString&, int, int) {}
void GrabRandomFrame(Form1&, RunState&) {}
