// Whole runs of modes 3 and 4 from the main button, with the real encoder on
// generated clips; results read back with ffprobe and compared as pictures.
#include "RealEncoderSupport.h"

#include "app/VbCombo.h"
#include "batch/BatchRun.h"
#include "batch/FrameToPicture.h"
#include "batch/TextCover.h"
#include "filelist/FileGrid.h"
#include "filelist/FileListController.h"

#include <QApplication>
#include <QCheckBox>
#include <QImage>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <gtest/gtest.h>

using namespace frames_test;

namespace {

struct Mode3Run : RealWindow {
    QString video;
    explicit Mode3Run(const QString& name = "clip.mp4", double seconds = 2) {
        video = MediaPath(name);
        EXPECT_TRUE(media::MakeVideo(video, 160, 120, 25, seconds, {"-preset", "medium"}));
        f->CmbType->SetListIndex(3);
        FileListController::AddRow(*f, name + "\t" + media.path() + "\t160\t120\t");
    }
    // Runs the list and answers the end question with No.
    void run() {
        fx.dialogs.answers = {MsgResult::No};
        f->batch->CmdDo_Click();
    }
    QString status() const { return f->MSF->TextMatrix(1, 5); }
    QString output() const { return f->LDir->text() + QFileInfo(video).fileName(); }
};

}  // namespace

TEST(FrameCoverRun, TheFrameAtTheCaptureTimeBecomesTheAttachedPicture) {
    Mode3Run r;
    ASSERT_TRUE(r.f);
    r.f->TPos->setText("1");
    r.run();
    EXPECT_EQ(r.status(), "Ok");
    ASSERT_EQ(media::CountAttachedPictures(r.output()), 1);
    EXPECT_EQ(media::CountStreams(r.output(), "video"), 1);
    EXPECT_EQ(media::CountStreams(r.output(), "audio"), 1);
    const QImage cover = AttachedPicture(r.output(), r.MediaPath("cover.png"));
    EXPECT_LT(PictureDistance(cover, FrameAt(r.video, "1", r.MediaPath("at1.png"))), 2.0);
    EXPECT_GT(PictureDistance(cover, FrameAt(r.video, "0", r.MediaPath("at0.png"))), 4.0);
}

// Sound running on past the picture: the percentage counts on the picture.
TEST(FrameCoverRun, APercentageCountsOnThePicturesOwnDuration) {
    Mode3Run r;
    ASSERT_TRUE(r.f);
    ASSERT_TRUE(media::Ffmpeg({"-f", "lavfi", "-i", "testsrc=size=160x120:rate=25:duration=4", "-f", "lavfi", "-i",
                               "sine=frequency=440:duration=10", "-c:v", "libx264", "-preset", "medium", "-pix_fmt",
                               "yuv420p", "-c:a", "aac", r.video}));
    ASSERT_NEAR(media::Duration(r.video), 10, 0.1);
    r.f->ChPercent->setChecked(true);
    r.f->TPos->setText("90");
    r.run();
    EXPECT_EQ(r.status(), "Ok");
    ASSERT_EQ(media::CountAttachedPictures(r.output()), 1);
    const QImage cover = AttachedPicture(r.output(), r.MediaPath("cover.png"));
    EXPECT_LT(PictureDistance(cover, FrameAt(r.video, "3.6", r.MediaPath("at3.6.png"))), 2.0);
    EXPECT_GT(PictureDistance(cover, FrameAt(r.video, "3", r.MediaPath("at3.png"))), 4.0);
}

TEST(FrameCoverRun, TheFirstFrameWithDeleteRestore) {
    Mode3Run r;
    ASSERT_TRUE(r.f);
    r.f->TPos->setText("1");
    r.f->ChDelRecover->setChecked(true);
    r.run();
    EXPECT_EQ(r.status(), "Ok");
    const QImage cover = AttachedPicture(r.output(), r.MediaPath("cover.png"));
    EXPECT_LT(PictureDistance(cover, FrameAt(r.video, "0", r.MediaPath("at0.png"))), 2.0);
}

TEST(FrameCoverRun, TheFileNameDrawnAsTheCover) {
    Mode3Run r("第3集 片段.mp4");
    ASSERT_TRUE(r.f);
    r.f->ChFileNameAs->setChecked(true);
    r.f->ChColor->setChecked(true);
    r.run();
    EXPECT_EQ(r.status(), "Ok");
    EXPECT_FALSE(QFileInfo::exists(r.AppPath() + "/Tmp.png"));  // no frame was grabbed
    const QImage cover = AttachedPicture(r.output(), r.MediaPath("cover.png"));
    ASSERT_EQ(cover.size(), QSize(160, 120));
    const QImage drawn =
        textcover::DrawTextCover("第3集 片段", 160, 120, true, textcover::PrepareCoverCanvas(true));
    EXPECT_LT(PictureDistance(cover, drawn), 1.0);
    EXPECT_EQ(cover.pixel(0, 0), qRgb(0, 0, 0));
}

TEST(FrameCoverRun, TheOpeningClipReplacesTheSourceWithAHalfSecondLongerVideo) {
    Mode3Run r;
    ASSERT_TRUE(r.f);
    // Red up to 0.4 s, green around the 0.5 s the cover is taken at, then blue.
    QStringList args;
    for (const char* part : {"red:d=0.4", "lime:d=0.2", "blue:d=1.4"})
        args << "-f" << "lavfi" << "-i" << QString("color=c=%1:s=160x120:r=25").arg(part);
    args << "-f" << "lavfi" << "-i" << "sine=frequency=440:duration=2" << "-filter_complex"
         << "[0:v][1:v][2:v]concat=n=3:v=1:a=0[v]" << "-map" << "[v]" << "-map" << "3:a" << "-c:v" << "libx264"
         << "-pix_fmt" << "yuv420p" << "-c:a" << "aac" << r.video;
    ASSERT_TRUE(media::Ffmpeg(args));
    r.f->ChAsHead->setChecked(true);
    r.f->ChSaveAs->setChecked(false);  // the source itself is replaced
    const double before = media::Duration(r.video);
    const QImage red = FrameAt(r.video, "0.1", r.MediaPath("red.png"));
    const QImage green = FrameAt(r.video, "0.5", r.MediaPath("green.png"));
    r.run();
    EXPECT_EQ(r.status(), "Ok");
    EXPECT_NEAR(media::Duration(r.video) - before, 0.5, 0.15);
    // The head is the cover; the source's own start follows it.
    EXPECT_LT(PictureDistance(FrameAt(r.video, "0", r.MediaPath("o0.png")), green), 10.0);
    EXPECT_LT(PictureDistance(FrameAt(r.video, "0.3", r.MediaPath("o3.png")), green), 10.0);
    EXPECT_LT(PictureDistance(FrameAt(r.video, "0.6", r.MediaPath("o6.png")), red), 10.0);
    EXPECT_GT(PictureDistance(red, green), 50.0);
}

TEST(FrameCoverRun, ARowWithoutAPictureSizeFailsWithTheFileNameCover) {
    Mode3Run r;
    ASSERT_TRUE(r.f);
    FileListController::AddRow(*r.f, "broken.mp4\t" + r.media.path() + "\t\t\t");
    r.f->ChFileNameAs->setChecked(true);
    r.run();
    EXPECT_EQ(r.f->MSF->TextMatrix(1, 5), "Ok");
    EXPECT_EQ(r.f->MSF->TextMatrix(2, 5), "更换失败");
    EXPECT_FALSE(QFileInfo::exists(r.f->LDir->text() + "broken.mp4"));
}

// Random moments fall within the picture, not within the longer sound.
TEST(FrameToPictureRun, MomentsStayWithinThePicture) {
    RealWindow w;
    ASSERT_TRUE(w.f);
    w.f->CmbType->SetListIndex(4);
    const QString video = w.MediaPath("short_picture.mp4");
    ASSERT_TRUE(media::Ffmpeg({"-f", "lavfi", "-i", "testsrc=size=96x64:rate=5:duration=2", "-f", "lavfi", "-i",
                               "sine=duration=12", "-c:v", "libx264", "-preset", "ultrafast", "-pix_fmt", "yuv420p",
                               "-c:a", "aac", video}));
    for (int i = 0; i < 8; ++i)
        FileListController::AddRow(*w.f, QString("p%1.jpg\t%2\t96\t64\t%3").arg(i).arg(w.media.path(), video));
    w.fx.dialogs.answers = {MsgResult::No};
    w.f->batch->CmdDo_Click();
    ASSERT_TRUE(w.WaitForEncoders());
    QApplication::processEvents();
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(w.f->MSF->TextMatrix(i + 1, 5), "OK!") << i;
        EXPECT_FALSE(QImage(w.MediaPath(QString("p%1.jpg").arg(i))).isNull()) << i;
    }
}

TEST(FrameToPictureRun, TenVideosGetTheirPicturesWithinTheCoreLimit) {
    RealWindow w;
    ASSERT_TRUE(w.f);
    w.f->CmbType->SetListIndex(4);
    const QString master = w.MediaPath("master.mp4");
    ASSERT_TRUE(media::MakeVideo(master, 96, 64, 5, 12));
    for (int i = 0; i < 10; ++i) {
        const QString name = QString("视频%1").arg(i);
        ASSERT_TRUE(QFile::copy(master, w.MediaPath(name + ".mp4")));
        FileListController::AddRow(*w.f, name + ".jpg\t" + w.media.path() + "\t96\t64\t" + w.MediaPath(name + ".mp4"));
    }
    w.fx.dialogs.answers = {MsgResult::No};
    w.f->batch->CmdDo_Click();
    for (int r = 1; r <= 10; ++r) EXPECT_EQ(w.f->MSF->TextMatrix(r, 5), "OK!") << r;
    EXPECT_EQ(w.f->ProgressText(), "状态：视频封面图提取完毕！");
    ASSERT_TRUE(w.WaitForEncoders());
    EXPECT_EQ(w.shell.starts, 10);
    EXPECT_LE(w.shell.most, framepicture::CoreCount());
    for (int i = 0; i < 10; ++i) {
        const QJsonObject probe = media::Probe(w.MediaPath(QString("视频%1.jpg").arg(i)));
        EXPECT_EQ(probe.value("streams").toArray().at(0).toObject().value("codec_name").toString(), "mjpeg") << i;
    }
}
