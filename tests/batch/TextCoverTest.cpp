#include "batch/TextCover.h"

#include <QFile>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace textcover;

namespace {

// Every character 10 px wide: widths are then length x 10.
double tenPerChar(const QString& s) { return s.size() * 10.0; }

QStringList lengths(const QStringList& pieces) {
    QStringList l;
    for (const QString& p : pieces) l << QString::number(p.size());
    return l;
}

bool near(QRgb a, QColor b, int tol) {
    return std::abs(qRed(a) - b.red()) <= tol && std::abs(qGreen(a) - b.green()) <= tol &&
           std::abs(qBlue(a) - b.blue()) <= tol;
}

struct Ink {
    int left = INT_MAX, right = -1, top = INT_MAX, bottom = -1, count = 0;
};
// Pixels that are not the background colour.
Ink inkOf(const QImage& img, QColor background) {
    Ink k;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (!near(img.pixel(x, y), background, 8)) {
                k.left = std::min(k.left, x);
                k.right = std::max(k.right, x);
                k.top = std::min(k.top, y);
                k.bottom = std::max(k.bottom, y);
                ++k.count;
            }
    return k;
}

}  // namespace

TEST(TextCoverLayout, LineCountRoundsHalvesToEven) {
    struct Case {
        double textWidth, canvasWidth;
        int lines;
    } cases[] = {
        {0, 100, 0},     // no text
        {1, 100, 1},     {99, 100, 1},
        {100, 100, 2},   // exactly as wide: 1.5 goes to 2
        {150, 100, 2},   {200, 100, 2},  // twice as wide: 2.5 goes to 2, not 3
        {201, 100, 3},   {300, 100, 4},  // 3.5 goes to 4
        {250, 100, 3},
        {50, 0, 0},      // no canvas: nothing to fit
    };
    for (const auto& c : cases)
        EXPECT_EQ(LineCountFor(c.textWidth, c.canvasWidth), c.lines) << c.textWidth << "/" << c.canvasWidth;
}

TEST(TextCoverLayout, CutsIntoPiecesOfEqualLengthWithTheRestLast) {
    struct Case {
        QString text;
        int lineCount;
        QStringList pieceLengths;
    } cases[] = {
        {"abcdefg", 2, {"3", "3", "1"}},
        {"abcdefghij", 3, {"3", "3", "3", "1"}},
        {"abcdef", 2, {"3", "3"}},
        {"abcdef", 1, {"6"}},
        {"abcdef", 0, {"6"}},
        {"", 0, {"0"}},
        // More lines than characters: one character per piece, and it ends.
        {"ab", 5, {"1", "1"}},
        {"视频封面", 3, {"1", "1", "1", "1"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(lengths(CutCoverText(c.text, c.lineCount)), c.pieceLengths) << c.text.toStdString();
    EXPECT_EQ(CutCoverText("ab cd ef", 2), (QStringList{"ab c", "d ef"}));  // blanks stay inside
}

TEST(TextCoverLayout, PlacesTheBlockAndCentresEachLine) {
    // Narrower than the canvas: one line, top at (H - LineHeight + 5) / 2.
    CoverLayout one = LayoutCover("abc", 200, 100, tenPerChar, 20);
    ASSERT_EQ(one.lines.size(), 1u);
    EXPECT_EQ(one.lineCount, 1);
    EXPECT_DOUBLE_EQ(one.lines[0].y, (100 - 20 + 5) / 2.0);
    EXPECT_DOUBLE_EQ(one.lines[0].x, (200 - 30) / 2.0);

    // Exactly as wide: two lines by count, three pieces drawn, top for two.
    CoverLayout seven = LayoutCover("abcdefg", 70, 300, tenPerChar, 40);
    EXPECT_EQ(seven.lineCount, 2);
    ASSERT_EQ(seven.lines.size(), 3u);
    EXPECT_DOUBLE_EQ(seven.blockTop, (300 - 2 * 40 + 5) / 2.0);
    EXPECT_DOUBLE_EQ(seven.lines[1].y, seven.blockTop + 40);
    EXPECT_DOUBLE_EQ(seven.lines[2].y, seven.blockTop + 80);
    EXPECT_DOUBLE_EQ(seven.lines[2].x, (70 - 10) / 2.0);

    // A piece of blanks only takes no line; blanks at the ends count in the width.
    CoverLayout gaps = LayoutCover("ab    cd", 40, 200, tenPerChar, 30);
    ASSERT_EQ(gaps.lineCount, 2);
    EXPECT_EQ(gaps.pieces, (QStringList{"ab  ", "  cd"}));
    CoverLayout blank = LayoutCover("abc   def", 36, 200, tenPerChar, 30);
    EXPECT_EQ(blank.pieces, (QStringList{"abc", "   ", "def"}));
    ASSERT_EQ(blank.lines.size(), 2u);
    EXPECT_EQ(blank.lines[1].text, "def");
    EXPECT_DOUBLE_EQ(blank.lines[1].y, blank.lines[0].y + 30);

    // No text at all: nothing drawn.
    EXPECT_TRUE(LayoutCover("", 100, 100, tenPerChar, 20).lines.empty());
}

TEST(TextCoverLayout, CoverTextIsTheNameWithoutItsExtension) {
    EXPECT_EQ(CoverTextOf("clip.part1.mp4"), "clip.part1");
    EXPECT_EQ(CoverTextOf(".mp4"), "");
    EXPECT_EQ(CoverTextOf("无扩展名"), "无扩展名");
    EXPECT_EQ(CoverTextOf("我的视频.MP4"), "我的视频");
}

TEST(TextCoverLayout, CanvasLengthNeedsAPositiveNumber) {
    EXPECT_EQ(CanvasLength("640"), 640);
    EXPECT_EQ(CanvasLength(" 360 "), 360);
    EXPECT_EQ(CanvasLength("359.5"), 360);
    for (const char* bad : {"", "0", "-5", "abc", "12px"}) EXPECT_EQ(CanvasLength(bad), 0) << bad;
}

TEST(TextCoverPicture, BackgroundTileAndColours) {
    const QImage white = PrepareCoverCanvas(false);
    const QImage black = PrepareCoverCanvas(true);
    ASSERT_EQ(white.size(), QSize(50, 50));
    for (const QPoint p : {QPoint(0, 0), QPoint(49, 49), QPoint(25, 0)}) {
        EXPECT_EQ(white.pixel(p), qRgb(255, 255, 255));
        EXPECT_EQ(black.pixel(p), qRgb(0, 0, 0));
    }
    // Red lives in the lowest byte of a colour value.
    EXPECT_EQ(ColorOf(0x0000FF), QColor(255, 0, 0));
    EXPECT_EQ(ColorOf(0xFF0000), QColor(0, 0, 255));
}

TEST(TextCoverPicture, TheFontIsBoldAndEightyPixelsHigh) {
    const QFont f = CoverFont();
    EXPECT_TRUE(f.bold());
    EXPECT_EQ(f.pixelSize(), 80);
    // The missing family falls back to an installed CJK font, which has the glyphs.
    EXPECT_TRUE(QFontMetricsF(f).inFont(QChar(0x89C6)));  // 视
}

namespace {

// Darkness summed over a picture drawn black on white.
long long darkness(const QImage& img) {
    long long sum = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) sum += 255 - qGray(img.pixel(x, y));
    return sum;
}

// The lines of a layout drawn again in the cover font at regular weight.
QImage drawnRegular(const CoverLayout& layout, QSize size) {
    QImage img(size, QImage::Format_RGB32);
    img.fill(Qt::white);
    QFont regular = CoverFont();
    regular.setBold(false);
    QPainter p(&img);
    p.setFont(regular);
    p.setPen(Qt::black);
    const QFontMetricsF fm(regular, &img);
    for (const CoverLine& line : layout.lines) p.drawText(QPointF(line.x, line.y + fm.ascent()), line.text);
    return img;
}

}  // namespace

TEST(TextCoverPicture, TheLettersAreDrawnBold) {
    const QSize size(900, 240);
    for (const QString name : {QStringLiteral("短名视频"), QStringLiteral("Sample Ab")}) {
        CoverLayout layout;
        const QImage bold = DrawTextCover(name, size.width(), size.height(), false, PrepareCoverCanvas(false), &layout);
        ASSERT_EQ(layout.lines.size(), 1u) << name.toStdString();
        const long long regularInk = darkness(drawnRegular(layout, size));
        ASSERT_GT(regularInk, 0) << name.toStdString();
        // A face with a real bold weight lays down clearly more ink; a font
        // without one draws both alike.
        EXPECT_GT(static_cast<double>(darkness(bold)) / regularInk, 1.2) << name.toStdString();
    }
}

TEST(TextCoverPicture, DrawsCentredTextInTheRowsOfTheBlock) {
    for (bool whiteOnBlack : {false, true}) {
        const QColor bg = whiteOnBlack ? Qt::black : Qt::white;
        const QColor fg = whiteOnBlack ? Qt::white : Qt::black;
        CoverLayout layout;
        const QImage img = DrawTextCover("视频", 640, 360, whiteOnBlack, PrepareCoverCanvas(whiteOnBlack), &layout);
        ASSERT_EQ(img.size(), QSize(640, 360));
        for (const QPoint p : {QPoint(0, 0), QPoint(639, 0), QPoint(0, 359), QPoint(639, 359)})
            EXPECT_TRUE(near(img.pixel(p), bg, 0)) << whiteOnBlack;
        ASSERT_EQ(layout.lines.size(), 1u);
        const Ink ink = inkOf(img, bg);
        ASSERT_GT(ink.count, 100);
        // Inside the line's rows, and centred within a pixel or two.
        EXPECT_GE(ink.top, layout.blockTop - 1);
        EXPECT_LE(ink.bottom, layout.blockTop + layout.lineHeight + 1);
        EXPECT_NEAR((ink.left + ink.right) / 2.0, 320, 3) << whiteOnBlack;
        // Solid text pixels of the text colour exist.
        int solid = 0;
        for (int y = ink.top; y <= ink.bottom; ++y)
            for (int x = ink.left; x <= ink.right; ++x)
                if (near(img.pixel(x, y), fg, 0)) ++solid;
        EXPECT_GT(solid, 100);
    }
}

TEST(TextCoverPicture, LongNamesWrapIntoSeveralLines) {
    const QString name = "一二三四五六七八九十一二三四五六七八九十";
    CoverLayout layout;
    const QImage img = DrawTextCover(name, 400, 600, false, PrepareCoverCanvas(false), &layout);
    ASSERT_GE(layout.lineCount, 3);
    const Ink ink = inkOf(img, Qt::white);
    EXPECT_GE(ink.top, layout.blockTop - 1);
    EXPECT_LE(ink.bottom, layout.blockTop + layout.lines.size() * layout.lineHeight + 1);
    // Lines of different rows: ink spans more than two line heights.
    EXPECT_GT(ink.bottom - ink.top, 2 * layout.lineHeight * 0.8);
}

TEST(TextCoverFile, SavesABitmapOfTheRowsSize) {
    QTemporaryDir dir;
    const QString out = dir.filePath("Back.bmp");
    ASSERT_TRUE(BuildTextCoverFile("片头 sample.mp4", "320", "240", true, PrepareCoverCanvas(true), out));
    QFile f(out);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.read(2), "BM");
    f.close();
    const QImage back(out);
    EXPECT_EQ(back.size(), QSize(320, 240));
    EXPECT_EQ(back.pixel(0, 0), qRgb(0, 0, 0));

    // A name that is only an extension: the plain background.
    ASSERT_TRUE(BuildTextCoverFile(".mp4", "64", "48", false, PrepareCoverCanvas(false), out));
    const QImage plain(out);
    EXPECT_EQ(plain.size(), QSize(64, 48));
    EXPECT_EQ(inkOf(plain, Qt::white).count, 0);
}

TEST(TextCoverFile, ARowWithoutASizeLeavesNoPictureBehind) {
    QTemporaryDir dir;
    const QString out = dir.filePath("Back.bmp");
    const QImage tile = PrepareCoverCanvas(false);
    struct Case {
        const char *w, *h;
    } cases[] = {{"0", "240"}, {"320", ""}, {"abc", "240"}, {"-320", "240"}};
    for (const auto& c : cases) {
        // The picture of an earlier row is in place...
        ASSERT_TRUE(BuildTextCoverFile("earlier.mp4", "32", "32", false, tile, out));
        // ...and must be gone when this row cannot be drawn.
        EXPECT_FALSE(BuildTextCoverFile("this.mp3", c.w, c.h, false, tile, out)) << c.w << "x" << c.h;
        EXPECT_FALSE(QFile::exists(out)) << c.w << "x" << c.h;
    }
    // An unwritable place: no file, false.
    EXPECT_FALSE(BuildTextCoverFile("a.mp4", "32", "32", false, tile, dir.filePath("missing/Back.bmp")));
}
