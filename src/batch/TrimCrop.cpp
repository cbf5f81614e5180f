#include "batch/TrimCrop.h"

#include "batch/FastPng.h"
#include "common/NumberText.h"
#include "platform/FileOps.h"
#include "platform/OwnFiles.h"

#include <QImage>
#include <QImageReader>
#include <cmath>

namespace trimcrop {

namespace {

// The number a cut piece stands for; a missing piece or one that is not a
// number counts as 0.
double PartValue(const QStringList& parts, int i) {
    if (i >= parts.size()) return 0;
    return num::WholeTextNumber(parts[i]).value_or(0);
}

// A piece as typed when it is a number, else "0".
QString PartText(const QStringList& parts, int i) {
    if (i >= parts.size() || !num::WholeTextNumber(parts[i])) return QStringLiteral("0");
    return parts[i];
}

// Encoder times below one second get a "0" in front: 0.5 -> 00.5, .5 -> 0.5.
QString ZeroBelowOne(const QString& text) {
    const double v = num::LeadingNumber(text);
    return v > 0 && v < 1 ? "0" + text : text;
}

int WholePixels(double v) {
    const auto n = num::ToInt32(v);
    return n ? static_cast<int>(*n) : 0;
}

}  // namespace

QStringList CutParts(const QString& text) {
    const QString plain = QString(text).remove('%');
    if (plain.isEmpty()) return {};
    return plain.split(',', Qt::KeepEmptyParts);
}

CutOptions ReadCutOptions(const QString& timeCutText, const QString& sizeCutText) {
    CutOptions o;
    o.timeCutInPercent = timeCutText.contains('%');
    o.sizeCutInPercent = sizeCutText.contains('%');
    o.sizeCutParts = CutParts(sizeCutText);
    o.timeCutParts = CutParts(timeCutText);
    return o;
}

Trim TimeCut(const QStringList& parts, bool inPercent, double d) {
    Trim t;
    if (inPercent) {
        t.head = num::Text(num::RoundHalfEven(PartValue(parts, 0) * d / 100, 3));
        t.tail = num::Text(num::RoundHalfEven(PartValue(parts, 1) * d / 100, 3));
        t.length = d - num::LeadingNumber(t.head) - num::LeadingNumber(t.tail);
        t.head = ZeroBelowOne(t.head);
    } else {
        t.head = PartText(parts, 0);
        if (num::LeadingNumber(t.head) >= d) t.head = QStringLiteral("0");
        t.head = ZeroBelowOne(t.head);
        t.tail = PartText(parts, 1);
        if (num::LeadingNumber(t.tail) >= d) t.tail = QStringLiteral("0");
        t.length = d - num::LeadingNumber(t.head) - num::LeadingNumber(t.tail);
    }
    t.args = "-ss " + t.head + " -t " + num::Text(t.length) + " ";
    return t;
}

bool KeepsSomething(const Trim& trim, double duration, double frameSeconds) {
    return duration > 0 && trim.length > 0 && trim.length > frameSeconds;
}

Crop PictureCrop(const QStringList& parts, bool inPercent, double W, double H) {
    Crop c;
    if (inPercent) {
        c.left = WholePixels(PartValue(parts, 0) * W / 100);
        c.top = WholePixels(PartValue(parts, 1) * H / 100);
        c.right = WholePixels(PartValue(parts, 2) * W / 100);
        c.bottom = WholePixels(PartValue(parts, 3) * H / 100);
    } else {
        c.left = WholePixels(PartValue(parts, 0));
        c.top = WholePixels(PartValue(parts, 1));
        c.right = WholePixels(PartValue(parts, 2));
        c.bottom = WholePixels(PartValue(parts, 3));
    }
    c.width = WholePixels(W) - c.left - c.right;
    c.height = WholePixels(H) - c.top - c.bottom;
    // The encoder wants even sizes; the frame grows rather than shrinks.
    if (c.width % 2 != 0) c.width += 1;
    if (c.height % 2 != 0) c.height += 1;
    c.tooLarge = c.width <= 32 || c.height <= 32;
    if (!c.tooLarge)
        c.args = " -vf crop=x=" + QString::number(c.left) + ":y=" + QString::number(c.top) +
                 ":w=" + QString::number(c.width) + ":h=" + QString::number(c.height) + " ";
    return c;
}

bool ZoomPic(const QString& source, const QString& target, int width, int height) {
    // A failed scale must not leave an earlier row's picture to be used.
    if (!ownfiles::Free(target)) return false;
    QImageReader reader(source);
    reader.setAutoTransform(true);
    QImage img = reader.read();
    if (img.isNull()) return false;
    if (width >= 1 && height >= 1 && (img.width() != width || img.height() != height))
        img = img.scaled(width, height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    if (!ownfiles::Make(target)) return false;
    if (fastpng::Save(img, target)) return true;
    ownfiles::Free(target);
    return false;
}

}  // namespace trimcrop
