#include "encoder/EncodeOptions.h"

#include "common/NumberText.h"
#include "probe/MediaProbe.h"

#include <QStringList>
#include <cmath>

namespace {

struct Dimensions {
    double width = 0, height = 0;
};

std::optional<Dimensions> probeSize(const EncodeProbes& probes) {
    if (!probes.videoSize) return std::nullopt;
    const auto size = probes.videoSize();
    if (!size) return std::nullopt;
    const auto w = num::WholeTextNumber(size->width);
    const auto h = num::WholeTextNumber(size->height);
    if (!w || !h || *w <= 0 || *h <= 0) return std::nullopt;
    return Dimensions{*w, *h};
}

long long evenUp(long long v) { return v % 2 != 0 ? v + 1 : v; }

// One side of a "?" size: a positive whole number, else 0 (not given).
long long givenSide(const QString& part) {
    const auto v = num::WholeTextNumber(part);
    if (!v) return 0;
    const auto n = num::ToInt32(*v);
    return n && *n > 0 ? *n : 0;
}

// The "?" rule; nothing when the source cannot be measured or a side
// overflows; an empty text when neither side is given (size kept).
std::optional<QString> autoSizePiece(const QString& text, const EncodeProbes& probes) {
    const auto size = probeSize(probes);
    if (!size) return std::nullopt;
    const double ratio = size->width / size->height;
    const QStringList parts = text.split(QLatin1Char('x'));
    long long a = givenSide(parts.value(0));
    long long b = parts.size() > 1 ? givenSide(parts.value(1)) : 0;
    if (a == 0 && b == 0) return QString();
    if (a != 0) {
        const auto v = num::ToInt32(a / ratio);
        if (!v) return std::nullopt;
        b = evenUp(*v);
    } else {
        const auto v = num::ToInt32(b * ratio);
        if (!v) return std::nullopt;
        a = evenUp(*v);
    }
    if (a > 2147483647LL || b > 2147483647LL) return std::nullopt;
    return QStringLiteral(" -s %1:%2 ").arg(a).arg(b);
}

std::optional<QString> percentSizePiece(const QString& text, const EncodeProbes& probes) {
    const auto size = probeSize(probes);
    if (!size) return std::nullopt;
    QString p = text;
    p.remove(QLatin1Char('%'));
    const auto percent = num::WholeTextNumber(p);
    if (!percent) return std::nullopt;
    // The quotient first: 1370 at 70 % is 1370 * 0.7 = 958.999..., so 958.
    const double share = *percent / 100.0;
    const auto w = num::ToInt32(std::floor(size->width * share));
    const auto h = num::ToInt32(std::floor(size->height * share));
    if (!w || !h) return std::nullopt;
    const long long w2 = evenUp(*w), h2 = evenUp(*h);
    if (w2 > 2147483647LL || h2 > 2147483647LL) return std::nullopt;
    return QStringLiteral(" -s %1:%2 ").arg(w2).arg(h2);
}

// A typed "W x H": two whole numbers above 0 around one "x" ("X", "×" or "*"
// do as well; blanks around the numbers are allowed). Odd sides are made even
// as in the other size rules: the encoders take no odd sizes.
std::optional<QString> typedFixedSize(const QString& text) {
    QString t = text;
    for (const QChar other : {QChar('X'), QChar(0x00D7), QChar('*')}) t.replace(other, QLatin1Char('x'));
    const QStringList parts = t.split(QLatin1Char('x'));
    if (parts.size() != 2) return std::nullopt;
    const auto w = num::ToInt16(parts[0]);
    const auto h = num::ToInt16(parts[1]);
    if (!w || !h || *w <= 0 || *h <= 0) return std::nullopt;
    return QStringLiteral(" -s %1:%2 ").arg(evenUp(*w)).arg(evenUp(*h));
}

// A typed "N%": a whole percentage from 1 to 100.
bool typedPercentage(const QString& text) {
    const QString t = text.trimmed();
    if (!t.endsWith(QLatin1Char('%'))) return false;
    const auto p = num::ToInt16(t.chopped(1));
    return p && *p >= 1 && *p <= 100;
}

bool keepsSize(const QString& text) {
    const QString t = text.trimmed();
    return t.isEmpty() || t == QStringLiteral("保持原尺寸");
}

std::optional<long long> videoBitrate(const EncodeControls& c, const EncodeProbes& probes) {
    if (c.vbitIndex >= 1 && c.vbitIndex <= 10) {
        if (!probes.videoBitrateKbps) return std::nullopt;
        const auto source = probes.videoBitrateKbps();
        if (!source) return std::nullopt;
        return num::ToInt32(static_cast<double>(*source) * (10 - c.vbitIndex) / 10.0);
    }
    const auto typed = num::WholeTextNumber(c.vbitText);
    if (!typed) return std::nullopt;
    return num::ToInt32(*typed);
}

}  // namespace

bool SizeTextApplies(const EncodeControls& c) {
    if (!c.other || c.sizeIndex >= 0 || c.sizeText.contains(QLatin1Char('?'))) return true;
    return keepsSize(c.sizeText) || typedFixedSize(c.sizeText) || typedPercentage(c.sizeText);
}

EncodeProbes EncodeProbes::ForFile(const QString& file) {
    EncodeProbes p;
    p.videoSize = [file]() -> std::optional<Size> {
        Size s;
        if (!probe::GetVideoSizeAndBitrate(file, s.width, s.height)) return std::nullopt;
        return s;
    };
    p.videoBitrateKbps = [file]() -> std::optional<long> {
        int frameRate = 0;
        return probe::GetVideoFrameRateAndBitrate(file, frameRate);
    };
    return p;
}

std::optional<QString> BuildEncodeOptions(const EncodeControls& c, const EncodeProbes& probes) {
    if (!c.other) return QStringLiteral(" -q:v 0 -q:a 0 -c copy -y ");

    QString out;
    QString audioCopy = QStringLiteral(" -acodec copy ");
    // Once a "?" size has been worked out, later failures only drop their piece.
    bool lenient = false;

    if (c.sizeText.contains(QLatin1Char('?'))) {
        const auto piece = autoSizePiece(c.sizeText, probes);
        if (!piece) return std::nullopt;
        out += *piece;
        lenient = true;
    } else if (c.sizeIndex > 9) {
        out += QStringLiteral(" -s ") + QString(c.sizeText).replace(QLatin1Char('x'), QLatin1Char(':')) +
               QStringLiteral(" ");
    } else if (c.sizeIndex >= 1) {
        const auto piece = percentSizePiece(c.sizeText, probes);
        if (!piece) return std::nullopt;
        out += *piece;
    } else if (c.sizeIndex < 0 && !keepsSize(c.sizeText)) {
        // Typed, not picked: applied as what it reads as, never dropped.
        std::optional<QString> piece = typedFixedSize(c.sizeText);
        if (!piece && typedPercentage(c.sizeText)) piece = percentSizePiece(c.sizeText.trimmed(), probes);
        if (!piece) return std::nullopt;
        out += *piece;
    }

    // A chosen rate must govern: the encoder's quality mode (-crf) would
    // override it, and a plain average overshoots on short clips, so the rate
    // also caps the peaks. A rate of 0 asks for nothing and keeps the
    // compression.
    bool rateGoverns = false;
    if (c.vbitIndex != 0) {
        const auto br = videoBitrate(c, probes);
        if (br && *br > 0) {
            out += QStringLiteral(" -b:v %1k -maxrate %1k -bufsize %2k ").arg(*br).arg(2 * *br);
            rateGoverns = true;
        } else if (br) {
            out += QStringLiteral(" -b:v %1k ").arg(*br);
        } else if (!lenient) {
            return std::nullopt;
        }
    }

    // A list without a chosen item has no text to pass on.
    if (c.frmsIndex != 0 && !c.frmsText.trimmed().isEmpty())
        out += QStringLiteral(" -r ") + c.frmsText + QStringLiteral(" ");

    const bool audioRate = c.abitIndex >= 1;
    if (audioRate) {
        out += QStringLiteral(" -b:a ") + c.abitText + QStringLiteral("k ");
        audioCopy.clear();
    }
    if (c.arateIndex >= 1) {
        out += QStringLiteral(" -ar ") + c.arateText + QStringLiteral(" ");
        audioCopy.clear();
    }

    // -q:a puts the audio encoder into its quality mode, which ignores -b:a.
    out += QStringLiteral(" -preset fast") + (rateGoverns ? QString() : QStringLiteral(" -crf ") + c.compText) +
           QStringLiteral(" -q:v 0") + (audioRate ? QString() : QStringLiteral(" -q:a 0")) + QStringLiteral(" ") +
           audioCopy + QStringLiteral(" -y ");
    return out;
}
