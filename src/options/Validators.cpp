#include "options/Validators.h"

#include "common/NumberText.h"

#include <QStringList>
#include <cstdio>
#include <cstdlib>

namespace validators {

namespace {

// One side of a "?" size: 100..3000, even.
int clampAutoSide(int v) {
    if (v < 100) v = 100;
    if (v > 3000) v = 3000;
    if (v % 2 != 0) ++v;
    return v;
}

// One side of a fixed size: at least 200, even; nothing when it would leave
// the 16-bit range the option builder reads sizes in.
std::optional<int> fixedSide(const QString& part) {
    const auto v = num::ToInt16(part);
    if (!v) return std::nullopt;
    int s = *v < 200 ? 200 : *v;
    if (s % 2 != 0) ++s;
    if (s > 32767) return std::nullopt;
    return s;
}

// A comma-separated part read in single precision; 0 when missing or no number.
float partNumber(const QStringList& parts, int i) {
    if (i >= parts.size()) return 0.0f;
    const auto v = num::WholeTextNumber(parts[i]);
    if (!v) return 0.0f;
    // Far beyond every bound anyway; keeps the conversion to float defined.
    double d = *v;
    if (d > 1e9) d = 1e9;
    if (d < -1e9) d = -1e9;
    return static_cast<float>(d);
}

// A single-precision value in its shortest decimal form (7 significant digits).
QString singleText(float v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.7g", static_cast<double>(v));
    return num::Text(std::strtod(buf, nullptr));
}

float clampTo(float v, float high) {
    if (v < 0.0f) return 0.0f;
    if (v > high) return high;
    return v;
}

// Drops "%", turns full-width commas into commas and folds runs of commas.
QStringList cleanedParts(QString t) {
    t.remove(QLatin1Char('%'));
    t.replace(QStringLiteral("，"), QStringLiteral(","));
    for (int i = 0; i < 10; ++i) t.replace(QStringLiteral(",,"), QStringLiteral(","));
    return t.split(QLatin1Char(','));
}

}  // namespace

SizeResult CheckSize(const ComboState& size) {
    const QString& t = size.text;
    SizeResult r;
    if (t.contains(QLatin1Char('?'))) {
        if (t.startsWith(QLatin1Char('?'))) {
            const auto h = num::ToInt16(t.mid(2));
            if (!h || *h == 0) {
                r.apply = SizeResult::Apply::KeepSize;
                return r;
            }
            r.apply = SizeResult::Apply::Typed;
            r.text = QStringLiteral("?x") + QString::number(clampAutoSide(*h));
            return r;
        }
        if (t.endsWith(QLatin1Char('?'))) {
            const auto w = num::ToInt16(t.left(t.size() - 2));
            if (!w || *w == 0) {
                r.apply = SizeResult::Apply::KeepSize;
                return r;
            }
            r.apply = SizeResult::Apply::Typed;
            r.text = QString::number(clampAutoSide(*w)) + QStringLiteral("x?");
            return r;
        }
        r.apply = SizeResult::Apply::KeepSize;
        return r;
    }
    if (size.index > 9) {
        const QStringList parts = t.split(QLatin1Char('x'));
        const auto w = parts.size() >= 2 ? fixedSide(parts[0]) : std::nullopt;
        const auto h = parts.size() >= 2 ? fixedSide(parts[1]) : std::nullopt;
        if (!w || !h) {
            r.apply = SizeResult::Apply::KeepSize;
            return r;
        }
        r.apply = SizeResult::Apply::SameIndex;
        r.text = QString::number(*w) + QLatin1Char('x') + QString::number(*h);
        return r;
    }
    return r;  // typed, a percentage or item 0: as it stands
}

bool SwapAvailable(const ComboState& size) {
    return !size.text.contains(QLatin1Char('?')) && size.index > 9;
}

std::optional<QString> SwappedSize(const QString& text) {
    const QStringList parts = text.split(QLatin1Char('x'));
    if (parts.size() != 2) return std::nullopt;
    const auto w = fixedSide(parts[0]);
    const auto h = fixedSide(parts[1]);
    if (!w || !h) return std::nullopt;
    return QString::number(*h) + QLatin1Char('x') + QString::number(*w);
}

ComboState CheckVideoBitRate(const ComboState& bitRate) {
    if (bitRate.text.contains(QStringLiteral("自定义"))) return {QStringLiteral("200"), -1};
    if (bitRate.index >= 0 && bitRate.index <= 9) return bitRate;
    double v = num::LeadingNumber(bitRate.text);
    if (v < 200) v = 200;
    if (v > 50000) v = 50000;
    return {num::Text(v), -1};
}

QString CheckMoment(const QString& text, bool percent) {
    double v = num::LeadingNumber(text);
    if (v < 0) v = 0;
    if (percent && v > 100) v = 100;
    // Far beyond any video's length: back to the first second.
    if (!percent && v > 9000) v = 1;
    return num::Text(v);
}

bool MomentKeyAllowed(int keyAscii) {
    return (keyAscii >= '0' && keyAscii <= '9') || keyAscii == '.' || keyAscii == 8;
}

QString CheckCrop(const QString& text) {
    const QStringList parts = cleanedParts(text);
    float l = partNumber(parts, 0), t = partNumber(parts, 1), r = partNumber(parts, 2), b = partNumber(parts, 3);
    const bool percent = text.contains(QLatin1Char('%'));
    const float high = percent ? 90.0f : 3000.0f;
    l = clampTo(l, high);
    t = clampTo(t, high);
    r = clampTo(r, high);
    b = clampTo(b, high);
    // Two opposite sides together may not eat the whole picture.
    if (l + r > high) {
        l = 5.0f;
        r = high - 5.0f;
    }
    if (t + b > high) {
        t = 5.0f;
        b = high - 5.0f;
    }
    const QString out = singleText(l) + ',' + singleText(t) + ',' + singleText(r) + ',' + singleText(b);
    return percent ? out + '%' : out;
}

QString CheckTrim(const QString& text) {
    const QStringList parts = cleanedParts(text);
    float head = partNumber(parts, 0), tail = partNumber(parts, 1);
    const bool percent = text.contains(QLatin1Char('%'));
    const float high = percent ? 90.0f : 18000.0f;
    head = clampTo(head, high);
    tail = clampTo(tail, high);
    if (head + tail > high) {
        head = 5.0f;
        tail = high - 5.0f;
    }
    const QString out = singleText(head) + ',' + singleText(tail);
    return percent ? out + '%' : out;
}

}  // namespace validators
