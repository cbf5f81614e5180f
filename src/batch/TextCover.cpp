#include "batch/TextCover.h"

#include "common/NumberText.h"
#include "platform/FileOps.h"
#include "platform/OwnFiles.h"

#include <QFontMetricsF>
#include <QPainter>

#include <cmath>

namespace textcover {

namespace {

// 96 dots per inch, as pixels per metre (the BMP header stores it).
constexpr int kDotsPerMeter = 3780;

// Blanks at the ends, as a piece is judged for being empty.
QString trimBlanks(const QString& s) {
    int b = 0, e = s.size();
    while (b < e && s[b] == ' ') ++b;
    while (e > b && s[e - 1] == ' ') --e;
    return s.mid(b, e - b);
}

}  // namespace

QColor ColorOf(unsigned bgr) { return QColor(bgr & 0xFF, (bgr >> 8) & 0xFF, (bgr >> 16) & 0xFF); }

QFont CoverFont() {
    QFont f;
    // The stand-ins must have a bold face of their own: Qt does not embolden
    // a regular-only font such as WenQuanYi Micro Hei, so it comes last.
    f.setFamilies({QStringLiteral("微软雅黑"), QStringLiteral("Microsoft YaHei"), QStringLiteral("Noto Sans CJK SC"),
                   QStringLiteral("Noto Sans SC"), QStringLiteral("WenQuanYi Micro Hei")});
    f.setStyleHint(QFont::SansSerif);
    f.setBold(true);
    f.setPixelSize(80);  // 60 pt at 96 dpi
    return f;
}

QString CoverTextOf(const QString& fileName) {
    const int dot = fileName.lastIndexOf('.');
    return dot < 0 ? fileName : fileName.left(dot);
}

int LineCountFor(double textWidth, double canvasWidth) {
    if (!(canvasWidth > 0) || !std::isfinite(textWidth) || textWidth < 0) return 0;
    return static_cast<int>(num::RoundHalfEven(textWidth / canvasWidth + 0.5, 0));
}

QStringList CutCoverText(const QString& text, int lineCount) {
    if (lineCount <= 1) return {text};
    const int perLine = std::max(1, static_cast<int>(text.size()) / lineCount);
    QStringList pieces;
    for (int i = 0; i < text.size(); i += perLine) pieces << text.mid(i, perLine);
    if (pieces.isEmpty()) pieces << QString();
    return pieces;
}

double BlockTop(double canvasHeight, int lineCount, double lineHeight) {
    return (canvasHeight - lineCount * lineHeight + 5) / 2;
}

CoverLayout LayoutCover(const QString& coverText, double canvasWidth, double canvasHeight,
                        const std::function<double(const QString&)>& measure, double lineHeight) {
    CoverLayout l;
    l.lineHeight = lineHeight;
    l.lineCount = LineCountFor(measure(coverText), canvasWidth);
    l.pieces = CutCoverText(coverText, l.lineCount);
    l.blockTop = BlockTop(canvasHeight, l.lineCount, lineHeight);
    double y = l.blockTop;
    for (const QString& p : l.pieces) {
        if (trimBlanks(p).isEmpty()) continue;
        l.lines.push_back({p, (canvasWidth - measure(p)) / 2, y});
        y += lineHeight;
    }
    return l;
}

void ChangeCanvasColor(QImage& backPic, unsigned backColor) {
    const QRgb c = ColorOf(backColor).rgb();
    const int w = backPic.width();
    for (int x = 0; x < w; ++x)
        for (int y = 0; y < backPic.height(); ++y) backPic.setPixel(x, y, c);
}

QImage PrepareCoverCanvas(bool whiteOnBlack) {
    QImage tile(kTileSize, kTileSize, QImage::Format_RGB32);
    ChangeCanvasColor(tile, whiteOnBlack ? kBlack : kWhite);
    return tile;
}

QImage DrawTextCover(const QString& coverText, int width, int height, bool whiteOnBlack, const QImage& tile,
                     CoverLayout* layout) {
    if (width <= 0 || height <= 0) return {};
    QImage canvas(width, height, QImage::Format_RGB32);
    if (canvas.isNull()) return {};
    canvas.setDotsPerMeterX(kDotsPerMeter);
    canvas.setDotsPerMeterY(kDotsPerMeter);

    QPainter p(&canvas);
    if (!p.isActive()) return {};
    if (tile.isNull()) canvas.fill(ColorOf(whiteOnBlack ? kBlack : kWhite));
    else p.drawImage(QRectF(0, 0, width, height), tile);

    const QFont font = CoverFont();
    p.setFont(font);
    const QFontMetricsF fm(font, &canvas);
    const CoverLayout l = LayoutCover(
        coverText, width, height, [&](const QString& s) { return fm.horizontalAdvance(s); }, fm.height());
    p.setPen(ColorOf(whiteOnBlack ? kWhite : kBlack));
    for (const CoverLine& line : l.lines) p.drawText(QPointF(line.x, line.y + fm.ascent()), line.text);
    p.end();
    if (layout) *layout = l;
    return canvas;
}

int CanvasLength(const QString& cell) {
    const auto v = num::WholeTextNumber(cell);
    if (!v) return 0;
    const auto n = num::ToInt32(*v);
    return n && *n > 0 ? static_cast<int>(*n) : 0;
}

bool BuildTextCoverFile(const QString& fileName, const QString& widthCell, const QString& heightCell,
                        bool whiteOnBlack, const QImage& tile, const QString& outFile) {
    // Whatever happens below, an earlier row's picture must not stay behind
    // as this row's cover.
    if (!ownfiles::Free(outFile)) return false;
    const int w = CanvasLength(widthCell);
    const int h = CanvasLength(heightCell);
    if (w <= 0 || h <= 0) return false;
    const QImage cover = DrawTextCover(CoverTextOf(fileName), w, h, whiteOnBlack, tile);
    if (cover.isNull()) return false;
    if (!ownfiles::Make(outFile)) return false;
    if (cover.save(outFile, "BMP")) return true;
    ownfiles::Free(outFile);  // a half-written file is no cover either
    return false;
}

}  // namespace textcover
