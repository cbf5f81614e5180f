#pragma once
// The opening clip of mode 3: the grabbed frame laid over the video's first
// half second, and that half second joined in front of the whole video.
//
// Up to four encoder runs, each into a work file of the program folder:
//   1. trim and crop of the source into Cut<ext> (only with ChCutTime or
//      ChCutSize; both values are percentages of the duration and the size);
//   2. the first 0.5 s of the source into Temp<ext>;
//   3. the cover over those frames into Head<ext>;
//   4. Head<ext> and the source joined through List.txt into the output.
#include "encoder/EncoderCommand.h"

#include <QString>
#include <optional>

class Form1;
struct RunState;

namespace openingclip {

struct ClipFiles {
    QString ext;         // the source name's extension, dot included
    QString cut;         // <folder>/Cut<ext>
    QString headFrames;  // <folder>/Temp<ext>
    QString headClip;    // <folder>/Head<ext>
    QString list;        // <folder>/List.txt
};
// Nothing when the source's file name has no ".".
std::optional<ClipFiles> FilesFor(const QString& programFolder, const QString& source);

// " -filter_complex crop=x=L:y=T:w=W:h=H " from "left,top,right,bottom"
// percentages of the row's width and height, each rounded halves to even.
// A "%" sign is allowed (the values are percentages anyway). Nothing when a
// part is missing or not a number, or the size cells are not numbers.
std::optional<QString> CropText(const QString& sizeCut, const QString& widthCell, const QString& heightCell);

// "-ss S -t L " from "head,tail" percentages of the duration (taken in single
// precision), S and L rounded to 2 decimals. Nothing when a part is missing
// or not a number.
std::optional<QString> TimeText(const QString& timeCut, double duration);

// The four command lines. fps and kbps are whole numbers.
EncoderCommand CutCommand(const QString& timeText, const QString& source, const QString& cropText, int fps,
                          long kbps, const QString& cutFile);
EncoderCommand HeadFramesCommand(const QString& source, int fps, long kbps, const QString& headFrames);
EncoderCommand HeadOverlayCommand(const QString& headFrames, const QString& cover, int fps, long kbps,
                                  const QString& headClip);
EncoderCommand ConcatCommand(const QString& listFile, const QString& output);

// A path between the list's single quotes, the way the joining step reads
// it: every ' becomes '\'' (close, escaped quote, reopen).
QString ConcatQuoted(const QString& path);
// Two lines, each ended by CR LF: the head clip first, then the source.
QString ConcatListText(const QString& headClip, const QString& source);

// Status and progress texts.
QString CuttingStatus(const QString& sizeMb);
QString SizeMbText(long long bytes);  // bytes / 1024 / 1024, 2 decimals
QString JoiningStatus();
QString ClipProgress(int row, int total);

}  // namespace openingclip

// The row step (the batch run calls it in place of the first cover run).
// Writes the joined clip to `output`; state.LastRunOk tells whether the
// joining run ended well (false when the clip never got that far).
void RunOpeningClip(Form1& form, RunState& state, const QString& source, const QString& cover,
                    const QString& output, int total, int row);
