#pragma once
// Time trim, picture crop and cover scaling of a row: the pieces the cover
// commands carry. Missing or unreadable numbers count as 0.
#include <QString>
#include <QStringList>

namespace trimcrop {

// TTimeCut / TSizeCut as read once per run.
struct CutOptions {
    bool timeCutInPercent = false;
    bool sizeCutInPercent = false;
    QStringList timeCutParts;  // head, tail
    QStringList sizeCutParts;  // left, top, right, bottom
};

// A cut text without its "%" signs, cut at every ","; empty pieces are kept
// and an empty text gives an empty list.
QStringList CutParts(const QString& text);
CutOptions ReadCutOptions(const QString& timeCutText, const QString& sizeCutText);

struct Trim {
    QString head;        // as it goes into the command
    QString tail;
    double length = 0;   // seconds kept
    QString args;        // "-ss <head> -t <length> "
};
// The trim of a source lasting `duration` seconds.
Trim TimeCut(const QStringList& parts, bool inPercent, double duration);
// Whether a trim keeps anything: a duration was read and more than one frame
// (frameSeconds, 0 when unknown) remains.
bool KeepsSomething(const Trim& trim, double duration, double frameSeconds);

struct Crop {
    int left = 0, top = 0, right = 0, bottom = 0;
    int width = 0, height = 0;
    bool tooLarge = false;  // 32 pixels or less would remain
    QString args;           // " -vf crop=x=..:y=..:w=..:h=.. ", empty when tooLarge
};
// The crop of a W x H frame.
Crop PictureCrop(const QStringList& parts, bool inPercent, double width, double height);

// Writes the picture at `source` to `target` as a PNG of exactly width x
// height pixels (its own size when either is below 1). False, and no target,
// when the picture cannot be read or written.
bool ZoomPic(const QString& source, const QString& target, int width, int height);

}  // namespace trimcrop
