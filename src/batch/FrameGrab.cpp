#include "batch/FrameGrab.h"

#include "common/NumberText.h"

#include <cmath>

namespace framegrab {

namespace {

double usableDuration(double d) { return std::isfinite(d) && d > 0 ? d : 0; }

QString threeDecimals(double v) { return num::ZeroPrefixed(num::Text(num::RoundHalfEven(v, 3))); }

// The key filter lets only digits and "." into the box; a text that got other
// characters in anyway (a paste) must not reach the command line as options.
QString asTyped(const QString& position) {
    for (const QChar c : position)
        if (!(c == '.' || (c >= '0' && c <= '9'))) return num::Text(num::LeadingNumber(position));
    return position;
}

}  // namespace

QString SeekTime(const SeekInputs& in, double duration) {
    const double d = usableDuration(duration);
    if (in.delRecover) return QStringLiteral("0");
    if (in.asHead) return QStringLiteral("0.5");
    if (in.percent) return threeDecimals(num::WholeTextNumber(in.position).value_or(0) * d / 100);
    if (num::LeadingNumber(in.position) > d) return threeDecimals(d * 0.95);
    return asTyped(in.position);
}

EncoderCommand FrameAsCoverCommand(const QString& source, const QString& seekTime, const QString& picture) {
    EncoderCommand cmd;
    cmd.Add(QStringLiteral("-i "))
        .AddPath(source)
        .Add(QStringLiteral(" -y -ss ") + seekTime + QStringLiteral(" -vframes 1 -f image2  -y "))
        .AddPath(picture);
    return cmd;
}

QString GrabbingStatus() { return QStringLiteral("截取视频帧做封面中..."); }

QString GrabbingProgress(int row, const QString& lastRow) {
    return QStringLiteral("状态：截取视频帧做封面中...已处理：") + QString::number(row) + QLatin1Char('/') + lastRow;
}

}  // namespace framegrab
