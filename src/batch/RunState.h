#pragma once
// The variables of one batch run, from the click on CmdDo to the end report.
//
// The row loop (BatchRun) owns one RunState and hands it, with the run's
// context (RunContext.h), to every row step; each step leaves its results
// here for the steps after it.
#include "batch/ReadBack.h"

#include <QDateTime>
#include <QImage>
#include <QString>
#include <QStringList>

struct RunState {
    // Row range as decimal texts, fixed once the loop starts.
    QString FirstRow;
    QString LastRow;
    int CurrentRow = 0;
    QDateTime RowStart;

    // Mode 0: the base video's name without folder and extension.
    QString BaseStem;
    // The media file the row's encoder runs read.
    QString SourceFile;
    // The row's cover picture as chosen by the mode.
    QString CoverFile;

    // Cut settings, read once per run from TTimeCut and TSizeCut.
    bool TimeCutInPercent = false;
    bool SizeCutInPercent = false;
    QStringList TimeCutParts;  // head, tail
    QStringList SizeCutParts;  // left, top, right, bottom

    // Where the row's result must end up.
    QString OutputPath;

    // Trim and crop of the row; empty when the option is off.
    QString TrimHead;
    QString TrimTail;
    double TrimLength = 0;
    QString TimeCutArgs;
    int CropLeft = 0, CropTop = 0, CropRight = 0, CropBottom = 0;
    int CropWidth = 0, CropHeight = 0;
    QString CropArgs;

    // The picture the cover commands take as their second input.
    QString CommandCover;
    // Re-encoding options of the row (ends in " -y ").
    QString EncodeOptions;

    // The file the row's encoder writes: "Tmp" and the extension in the
    // program folder for a source replaced in place, else a work file beside
    // OutputPath; either takes its place once the row succeeded.
    QString RunOutputFile;
    // Size of RunOutputFile in MB, 3 decimals; 0 means the attempt failed.
    double OutSizeMB = 0;
    // Whether the row's last waited encoder run started and exited with
    // status 0 (the opening clip sets it from its joining run). A row succeeds
    // only when this holds and OutSizeMB is above 0.
    bool LastRunOk = false;
    // The opening clip's join: the film behind the head (the source, or its
    // trimmed and cropped copy; empty until the clip gets that far) and the
    // seconds a trim keeps of the source (0 without one).
    QString ClipBody;
    double ClipTrimLength = 0;

    // Work files in the program folder, set at the run's set-up.
    QString GrabbedFrameFile;  // mode 3: the grabbed frame ("Tmp.png")
    QString TextCoverFile;     // mode 3: the file-name picture ("Back.bmp")
    QString ScaledCoverFile;   // modes 0-2: the cover scaled to the frame ("Cover.png")

    // The file-name cover: the background tile made at the run's set-up,
    // and whether the current row's picture was drawn.
    QImage CoverTile;
    bool TextCoverMade = false;

    // The picture last scaled in this run, so rows sharing a cover and a size
    // do not scale it again.
    struct ScaledCover {
        QString source;
        QDateTime sourceTime, targetTime;
        qint64 sourceSize = -1, targetSize = -1;
        int width = 0, height = 0;
    };
    ScaledCover LastScaled;

    // The source as last read back, so that mode 0's rows, which all read
    // the base video, read it once.
    struct ReadSource {
        QString path;
        QDateTime modified;
        qint64 size = -1;
        readback::Facts facts;
    };
    ReadSource LastSource;

    // Set by a step to leave the row loop after the current row (Cancel at
    // the disk-full question).
    bool EndLoop = false;
};
