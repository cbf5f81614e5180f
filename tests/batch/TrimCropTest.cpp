#include "batch/FastPng.h"
#include "batch/TrimCrop.h"
#include "filelist/IntakeRules.h"
#include "support/Media.h"

#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QTemporaryDir>
#include <gtest/gtest.h>

TEST(TrimCrop, CutOptionsKeepEmptyPiecesAndDropPercentSigns) {
    EXPECT_EQ(trimcrop::CutParts(""), QStringList{});
    EXPECT_EQ(trimcrop::CutParts("5,,3"), (QStringList{"5", "", "3"}));
    EXPECT_EQ(trimcrop::CutParts("10%,10%"), (QStringList{"10", "10"}));
    EXPECT_EQ(trimcrop::CutParts("%"), QStringList{});
    const trimcrop::CutOptions o = trimcrop::ReadCutOptions("5,3", "5,5,5,5%");
    EXPECT_FALSE(o.timeCutInPercent);
    EXPECT_TRUE(o.sizeCutInPercent);
    EXPECT_EQ(o.timeCutParts, (QStringList{"5", "3"}));
    EXPECT_EQ(o.sizeCutParts, (QStringList{"5", "5", "5", "5"}));
}

TEST(TrimCrop, TimeCutArguments) {
    struct Case {
        QStringList parts;
        bool percent;
        double duration;
        QString args;
    };
    const std::vector<Case> cases{
        {{"5", "3"}, false, 63.5, "-ss 5 -t 55.5 "},
        {{"10", "10"}, true, 100, "-ss 10 -t 80 "},
        {{".5", "0"}, false, 10, "-ss 0.5 -t 9.5 "},   // the "0" goes in front of the typed text
        {{"0.5", "0"}, false, 10, "-ss 00.5 -t 9.5 "},
        {{"0", "0"}, false, 10, "-ss 0 -t 10 "},
        {{"70", "5"}, false, 60, "-ss 0 -t 55 "},      // a head past the end counts as none
        {{"5", "70"}, false, 60, "-ss 5 -t 55 "},
        {{"1", "0"}, true, 50, "-ss 00.5 -t 49.5 "},   // percent head of half a second
        {{"6", "5"}, false, 10, "-ss 6 -t -1 "},       // written unchanged; the size check judges it
        {{"5", "3"}, false, 0, "-ss 0 -t 0 "},         // no duration
        {{"10", "10"}, true, 0, "-ss 0 -t 0 "},
        // Missing or unreadable parts count as 0.
        {{"5"}, false, 20, "-ss 5 -t 15 "},
        {{}, false, 20, "-ss 0 -t 20 "},
        {{"abc", "x"}, false, 20, "-ss 0 -t 20 "},
        {{"10"}, true, 20, "-ss 2 -t 18 "},
        {{"1", "1"}, true, 33.3333, "-ss 00.333 -t 32.6673 "},
    };
    for (const auto& c : cases)
        EXPECT_EQ(trimcrop::TimeCut(c.parts, c.percent, c.duration).args, c.args)
            << c.parts.join(",").toStdString() << (c.percent ? "%" : "") << " of " << c.duration;

    // Only a trim that keeps more than a frame of a known length may run.
    struct Keep {
        QStringList parts;
        bool percent;
        double duration, frame;
        bool keeps;
    };
    const std::vector<Keep> keeps{
        {{"3", "3"}, false, 6, 0.04, false},    // nothing left
        {{"5", "3"}, false, 6, 0.04, false},    // less than nothing
        {{"50", "50"}, true, 6, 0.04, false},
        {{"1", "1"}, false, 0, 0, false},       // no duration read
        {{"0", "0"}, true, 0, 0, false},
        {{"2.97", "3"}, false, 6, 0.04, false}, // less than one frame
        {{"2.9", "3"}, false, 6, 0.04, true},
        {{"2.99", "3"}, false, 6, 0, true},     // no picture: any length counts
        {{"1", "1"}, false, 6, 0.04, true},
    };
    for (const auto& k : keeps)
        EXPECT_EQ(trimcrop::KeepsSomething(trimcrop::TimeCut(k.parts, k.percent, k.duration), k.duration, k.frame),
                  k.keeps)
            << k.parts.join(",").toStdString() << (k.percent ? "%" : "") << " of " << k.duration;

    const trimcrop::Trim t = trimcrop::TimeCut({"5", "3"}, false, 63.5);
    EXPECT_EQ(t.head, "5");
    EXPECT_EQ(t.tail, "3");
    EXPECT_DOUBLE_EQ(t.length, 55.5);
}

TEST(TrimCrop, PictureCrop) {
    struct Case {
        QStringList parts;
        bool percent;
        double w, h;
        QString args;  // empty: refused
    };
    const std::vector<Case> cases{
        {{"1", "2", "3", "4"}, false, 1920, 1080, " -vf crop=x=1:y=2:w=1916:h=1074 "},
        {{"1", "2", "2", "4"}, false, 1920, 1080, " -vf crop=x=1:y=2:w=1918:h=1074 "},  // odd width grows
        {{"5", "5", "5", "5"}, true, 1920, 1080, " -vf crop=x=96:y=54:w=1728:h=972 "},
        {{"30", "0", "37", "0"}, false, 100, 100, " -vf crop=x=30:y=0:w=34:h=100 "},   // 33 -> 34 passes
        {{"30", "0", "38", "0"}, false, 100, 100, ""},                                  // 32 fails
        {{"30", "0", "39", "0"}, false, 100, 100, ""},                                  // 31 -> 32 fails
        {{"0", "30", "0", "38"}, false, 100, 100, ""},
        {{"2.5", "3.5", "0", "0"}, false, 100, 100, " -vf crop=x=2:y=4:w=98:h=96 "},    // halves to even
        {{"10"}, false, 100, 100, " -vf crop=x=10:y=0:w=90:h=100 "},                    // missing parts are 0
        {{}, false, 100, 100, " -vf crop=x=0:y=0:w=100:h=100 "},
        {{"1", "2", "3", "4"}, false, 0, 0, ""},  // the probe gave no size
    };
    for (const auto& c : cases) {
        const trimcrop::Crop r = trimcrop::PictureCrop(c.parts, c.percent, c.w, c.h);
        EXPECT_EQ(r.args, c.args) << c.parts.join(",").toStdString() << " on " << c.w << "x" << c.h;
        EXPECT_EQ(r.tooLarge, c.args.isEmpty());
    }
}

TEST(TrimCrop, ZoomPicWritesAPngOfExactlyTheAskedSize) {
    QTemporaryDir dir;
    const QString src = dir.path() + "/cover.jpg";
    const QString out = dir.path() + "/Cover.png";
    QImage img(64, 48, QImage::Format_RGB32);
    img.fill(Qt::red);
    ASSERT_TRUE(img.save(src, "JPG"));

    ASSERT_TRUE(trimcrop::ZoomPic(src, out, 321, 181));
    QImageReader r(out);
    EXPECT_EQ(r.format(), "png");
    EXPECT_EQ(r.size(), QSize(321, 181));

    // No usable size: the picture keeps its own.
    ASSERT_TRUE(trimcrop::ZoomPic(src, out, 0, 180));
    EXPECT_EQ(QImageReader(out).size(), QSize(64, 48));

    // An unreadable picture leaves no file, not the previous row's picture.
    QFile bad(dir.path() + "/bad.png");
    ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
    bad.write("not a picture");
    bad.close();
    EXPECT_FALSE(trimcrop::ZoomPic(bad.fileName(), out, 320, 240));
    EXPECT_FALSE(QFile::exists(out));
    EXPECT_FALSE(trimcrop::ZoomPic(dir.path() + "/missing.png", out, 320, 240));
}

TEST(TrimCrop, EveryOfferedCoverFormatScales) {
    QTemporaryDir dir;
    const QString out = dir.filePath("Cover.png");
    // The cover dialog offers the same extensions the name matching looks for.
    for (const QString& e : intake::AddCoverExtensions() + intake::ScanCoverExtensions()) {
        SCOPED_TRACE(e.toStdString());
        const QString src = dir.filePath("cover." + e);
        ASSERT_TRUE(media::MakePicture(src, 64, 48, "blue"));  // written by the encoder, not by Qt
        ASSERT_TRUE(trimcrop::ZoomPic(src, out, 320, 240));
        const QImage scaled(out);
        ASSERT_EQ(scaled.size(), QSize(320, 240));
        const QColor mid = scaled.pixelColor(160, 120);
        EXPECT_LT(mid.red(), 40);
        EXPECT_GT(mid.blue(), 200);
    }
}

TEST(FastPng, EveryPixelReadsBackAsItWasWritten) {
    QTemporaryDir dir;
    // Small (one strip) and large (several), odd sizes, with and without alpha.
    for (const QSize size : {QSize(7, 3), QSize(1921, 1081), QSize(1, 700)}) {
        for (const bool alpha : {false, true}) {
            SCOPED_TRACE(QString("%1x%2 alpha %3").arg(size.width()).arg(size.height()).arg(alpha).toStdString());
            QImage img(size, alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
            for (int y = 0; y < size.height(); ++y)
                for (int x = 0; x < size.width(); ++x)
                    img.setPixel(x, y, qRgba((x * 7 + y) & 255, (x * y) & 255, (y * 3) & 255, alpha ? (x + y) & 255 : 255));
            const QString path = dir.filePath("p.png");
            ASSERT_TRUE(fastpng::Save(img, path));
            QImage back(path);
            ASSERT_FALSE(back.isNull());
            EXPECT_EQ(back.hasAlphaChannel(), alpha);
            const QImage::Format f = alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32;
            EXPECT_TRUE(back.convertToFormat(f) == img.convertToFormat(f));
            // The encoder reads it too.
            EXPECT_TRUE(media::Ffmpeg({"-i", path, "-f", "null", "-"}));
        }
    }
    EXPECT_FALSE(fastpng::Save(QImage(), dir.filePath("none.png")));
    EXPECT_FALSE(fastpng::Save(QImage(4, 4, QImage::Format_RGB32), dir.filePath("no/such/folder/x.png")));
}
