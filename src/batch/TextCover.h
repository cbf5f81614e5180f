#pragma once
// The file-name cover of mode 3: the video's name in large bold letters, cut
// into lines that fit the width, each line centred, on a plain background of
// the video's own size, saved as a BMP.
//
// The layout arithmetic is kept apart from the drawing so it can be checked
// with made-up text widths:
//
//   LineCount    = round-half-even(TextWidth / W + 0.5)
//   CharsPerLine = length / LineCount (rounded down, at least 1)
//   BlockTop     = (H - LineCount * LineHeight + 5) / 2
//
// Pieces that are only blanks are not drawn and take no line; the block top
// is always computed for LineCount lines, even when the cutting made more.
#include <QColor>
#include <QFont>
#include <QImage>
#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

namespace textcover {

// Colour values with red in the lowest byte, then green, then blue.
constexpr unsigned kBlack = 0;
constexpr unsigned kWhite = 16777215;
QColor ColorOf(unsigned bgr);

// The size of the background tile that is stretched over every canvas.
constexpr int kTileSize = 50;

// The cover font: "微软雅黑" bold at 60 pt, which is 80 px at 96 dpi; where
// that family is missing, Noto Sans CJK SC (which has a real bold face)
// stands in, for measuring and drawing alike.
QFont CoverFont();

// The name up to, not including, its last "."; a name without "." whole.
QString CoverTextOf(const QString& fileName);

// round-half-even(textWidth / canvasWidth + 0.5); 0 for a text of width 0.
int LineCountFor(double textWidth, double canvasWidth);

// Cuts text from its start into pieces of length / lineCount characters
// (16-bit code units), the last piece taking the rest. A line count of 0 or
// 1 gives the text whole. Every piece holds at least one character, so a
// canvas narrower than one character per line still ends the cutting.
QStringList CutCoverText(const QString& text, int lineCount);

double BlockTop(double canvasHeight, int lineCount, double lineHeight);

// Where each drawn line goes. `measure` gives a text's width in pixels.
struct CoverLine {
    QString text;
    double x = 0;
    double y = 0;  // top of the line
};
struct CoverLayout {
    int lineCount = 0;
    QStringList pieces;           // every piece cut, blank ones included
    std::vector<CoverLine> lines;  // the pieces that are drawn
    double blockTop = 0;
    double lineHeight = 0;
};
CoverLayout LayoutCover(const QString& coverText, double canvasWidth, double canvasHeight,
                        const std::function<double(const QString&)>& measure, double lineHeight);

// Fills every pixel of the picture with the colour (red in the lowest byte).
void ChangeCanvasColor(QImage& backPic, unsigned backColor);
// The background tile of a run: black for white-on-black, else white.
QImage PrepareCoverCanvas(bool whiteOnBlack);

// Draws the cover on a W x H canvas: the tile stretched over it, then the
// lines in the cover font, white on black or black on white. A null image
// when the size is not positive or too large to allocate.
QImage DrawTextCover(const QString& coverText, int width, int height, bool whiteOnBlack, const QImage& tile,
                     CoverLayout* layout = nullptr);

// The size cells of a row as a canvas size: both must be whole positive
// numbers (a fractional cell is rounded, halves to even); 0 otherwise.
int CanvasLength(const QString& cell);

// The row step: removes outFile, then draws the cover of fileName on a canvas
// of the cells' size and saves it as a BMP there. False (and no file) when the
// size cells are not positive numbers or the drawing or saving fails, so the
// row cannot pick up an earlier row's picture.
bool BuildTextCoverFile(const QString& fileName, const QString& widthCell, const QString& heightCell,
                        bool whiteOnBlack, const QImage& tile, const QString& outFile);

}  // namespace textcover
