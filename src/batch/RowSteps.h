#pragma once
// Row steps of processing modes 3 and 4 that the batch loop calls at their
// places in a row (RunContext.h says what a step sees).
#include <QString>

struct RunContext;
struct RunState;

// Once at the run's set-up, when the file name is the cover: prepares the
// canvas of the file-name cover.
void PrepareCoverCanvas(const RunContext& run, RunState& state);

// Top of each row, same condition: draws the row's name and saves it as
// state.TextCoverFile.
void BuildTextCover(const RunContext& run, RunState& state);

// Mode 3, after state.SourceFile is set: grabs a frame of the source into
// state.GrabbedFrameFile (unless the file name is the cover) and sets
// state.CoverFile to it.
void GrabFrame(const RunContext& run, RunState& state);

// Mode 3, after the output path is set and before the row gate: puts the
// file-name cover in CoverFile and CommandCover when it is on.
void ChooseFrameCover(const RunContext& run, RunState& state);

// Mode 3 with ChAsHead checked, in place of the first cover run: writes the
// opening clip joined with the source to `output`. Sets state.LastRunOk from
// the joining run (false when it never got that far).
void PreprocessVideo(const RunContext& run, RunState& state, const QString& source, const QString& cover,
                     const QString& output, int total, int row);

// Mode 4, each row: starts the encoder for one still picture, does not wait.
void GrabRandomFrame(const RunContext& run, RunState& state);
