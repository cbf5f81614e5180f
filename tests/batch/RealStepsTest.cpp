// The frame steps with the real encoder on generated clips, checked with
// ffprobe and by comparing pictures.
#include "RealEncoderSupport.h"

#include "app/VbCombo.h"
#include "batch/FrameToPicture.h"
#include "batch/BatchRun.h"
#include "batch/RowSteps.h"
#include "batch/RunState.h"
#include "filelist/FileGrid.h"
#include "filelist/FileListController.h"

#include <QCheckBox>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QSet>
#include <QLineEdit>
#include <QProcess>
#include <gtest/gtest.h>

using namespace frames_test;

namespace {

RunState stateFor(const RealWindow& w) {
    RunState s;
    s.FirstRow = "1";
    s.GrabbedFrameFile = w.AppPath() + "/Tmp.png";
    s.TextCoverFile = w.AppPath() + "/Back.bmp";
    return s;
}

}  // namespace

TEST(RealFrameGrab, TheGrabbedFrameIsTheFrameAtTheCaptureTime) {
    RealWindow w;
    ASSERT_TRUE(w.f);
    const QString video = w.MediaPath("clip.mp4");
    ASSERT_TRUE(media::MakeVideo(video, 160, 120, 25, 3));
    w.f->CmbType->SetListIndex(3);
    FileListController::AddRow(*w.f, "clip.mp4\t" + w.media.path() + "\t160\t120\t");
    w.f->TPos->setText("2");

    RunState s = stateFor(w);
    s.LastRow = "1";
    s.CurrentRow = 1;
    s.SourceFile = video;
    GrabFrame(w.f->batch->Context(), s);

    ASSERT_EQ(s.CoverFile, w.AppPath() + "/Tmp.png");
    const QImage grabbed(s.CoverFile);
    ASSERT_EQ(grabbed.size(), QSize(160, 120));
    const QImage at2 = FrameAt(video, "2", w.MediaPath("ref2.png"));
    const QImage at0 = FrameAt(video, "0", w.MediaPath("ref0.png"));
    EXPECT_LT(PictureDistance(grabbed, at2), 2.0);
    EXPECT_GT(PictureDistance(grabbed, at0), 4.0);  // the comparison tells frames apart

    // A failing grab after a good one leaves no frame behind.
    s.SourceFile = w.MediaPath("missing.mp4");
    GrabFrame(w.f->batch->Context(), s);
    EXPECT_FALSE(QFile::exists(s.CoverFile));
}

TEST(RealOpeningClip, TheCoverIsJoinedInFrontAsHalfASecond) {
    RealWindow w;
    ASSERT_TRUE(w.f);
    // An apostrophe in the name: the join list must still find the file.
    const QString video = w.MediaPath("Tom's clip.mp4");
    ASSERT_TRUE(media::MakeVideo(video, 160, 120, 25, 2, {"-preset", "medium"}));
    const QString cover = w.MediaPath("cover.png");
    ASSERT_TRUE(media::MakePicture(cover, 160, 120, "red"));
    w.f->CmbType->SetListIndex(3);
    FileListController::AddRow(*w.f, "Tom's clip.mp4\t" + w.media.path() + "\t160\t120\t");

    RunState s = stateFor(w);
    s.LastRow = "1";
    s.CurrentRow = 1;
    const QString out = w.MediaPath("out.mp4");
    PreprocessVideo(w.f->batch->Context(), s, video, cover, out, 1, 1);

    EXPECT_TRUE(s.LastRunOk);
    EXPECT_EQ(w.f->MSF->TextMatrix(1, 5), "Ok");
    EXPECT_EQ(w.f->ProgressText(), "状态：生成附加片头封面视频中...已处理：1/1");
    EXPECT_EQ(w.shell.starts, 3);  // no trim or crop: three runs
    ASSERT_TRUE(QFileInfo(out).size() > 0);
    EXPECT_NEAR(media::Duration(out) - media::Duration(video), 0.5, 0.15);
    const QImage first = FrameAt(out, "0", w.MediaPath("first.png"));
    EXPECT_LT(PictureDistance(first, QImage(cover)), 12.0);
    // After the head the source follows.
    const QImage later = FrameAt(out, "1.5", w.MediaPath("later.png"));
    EXPECT_LT(PictureDistance(later, FrameAt(video, "1", w.MediaPath("src1.png"))), 12.0);

    QFile list(w.AppPath() + "/List.txt");
    ASSERT_TRUE(list.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(list.readAll()),
              "file '" + w.AppPath() + "/Head.mp4'\r\nduration 0.520000\r\nfile '" + w.media.path() +
                  "/Tom'\\''s clip.mp4'\r\n");  // 13 frames at 25 fps: the last one shown at 0.48 s
}

TEST(RealOpeningClip, TrimAndCropRunFirst) {
    RealWindow w;
    ASSERT_TRUE(w.f);
    const QString video = w.MediaPath("long.mp4");
    ASSERT_TRUE(media::MakeVideo(video, 200, 100, 25, 4, {"-preset", "medium"}));
    const QString cover = w.MediaPath("cover.png");
    ASSERT_TRUE(media::MakePicture(cover, 200, 100, "blue"));
    w.f->CmbType->SetListIndex(3);
    FileListController::AddRow(*w.f, "long.mp4\t" + w.media.path() + "\t200\t100\t");
    w.f->ChCutTime->setChecked(true);
    w.f->TTimeCut->setText("25,25");
    w.f->ChCutSize->setChecked(true);
    w.f->TSizeCut->setText("10,0,10,0");

    RunState s = stateFor(w);
    s.LastRow = "1";
    s.CurrentRow = 1;
    const QString out = w.MediaPath("out.mp4");
    PreprocessVideo(w.f->batch->Context(), s, video, cover, out, 1, 1);

    EXPECT_EQ(w.shell.starts, 4);
    EXPECT_TRUE(s.LastRunOk);
    // Half of the 4 s is kept, cropped to 80 % of the width, plus the head.
    EXPECT_NEAR(media::Duration(out), 2.5, 0.2);
    const QJsonObject probe = media::Probe(out);
    const QJsonObject v = probe.value("streams").toArray().at(0).toObject();
    EXPECT_EQ(v.value("width").toInt(), 160);
    EXPECT_EQ(v.value("height").toInt(), 100);
}

TEST(RealOpeningClip, AClipThatCannotStartMakesNoOutput) {
    RealWindow w;
    ASSERT_TRUE(w.f);
    w.f->CmbType->SetListIndex(3);
    FileListController::AddRow(*w.f, "gone.mp4\t" + w.media.path() + "\t160\t120\t");
    RunState s = stateFor(w);
    s.CurrentRow = 1;
    s.LastRunOk = true;
    PreprocessVideo(w.f->batch->Context(), s, w.MediaPath("gone.mp4"), w.MediaPath("none.png"), w.MediaPath("out.mp4"), 1, 1);
    EXPECT_FALSE(s.LastRunOk);
    EXPECT_EQ(w.shell.starts, 0);  // the probe failed: nothing was run
    EXPECT_FALSE(QFile::exists(w.MediaPath("out.mp4")));
}

TEST(RealFrameToPicture, AJpegBesideEachVideoWithinTheLimit) {
    RealWindow w;
    ASSERT_TRUE(w.f);
    w.f->CmbType->SetListIndex(4);
    const QString master = w.MediaPath("master.mp4");
    ASSERT_TRUE(media::MakeVideo(master, 96, 64, 5, 12));  // longer than the 10 s the times come from
    QStringList videos;
    for (int i = 0; i < 10; ++i) {
        const QString name = QString("v%1").arg(i);
        ASSERT_TRUE(QFile::copy(master, w.MediaPath(name + ".mp4")));
        FileListController::AddRow(*w.f, name + ".jpg\t" + w.media.path() + "\t\t\t" + w.MediaPath(name + ".mp4"));
        videos << w.MediaPath(name + ".mp4");
    }
    QFile old(w.MediaPath("v0.jpg"));
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("not a picture");
    old.close();

    w.f->batch->Slots().SetLimit(2);
    RunState s = stateFor(w);
    s.LastRow = "10";
    for (int r = 1; r <= 10; ++r) {
        s.CurrentRow = r;
        GrabRandomFrame(w.f->batch->Context(), s);
        EXPECT_EQ(w.f->MSF->TextMatrix(r, 5), "OK!");
    }
    ASSERT_TRUE(w.WaitForEncoders());
    EXPECT_EQ(w.shell.starts, 10);
    EXPECT_LE(w.shell.most, 2);
    EXPECT_GE(w.shell.most, 1);  // the count does see the encoders
    for (int i = 0; i < 10; ++i) {
        const QString jpg = w.MediaPath(QString("v%1.jpg").arg(i));
        const QJsonArray streams = media::Probe(jpg).value("streams").toArray();
        ASSERT_EQ(streams.size(), 1) << i;
        EXPECT_EQ(streams.at(0).toObject().value("codec_name").toString(), "mjpeg") << i;
        EXPECT_EQ(streams.at(0).toObject().value("width").toInt(), 96) << i;
    }
}

TEST(RealFrameToPicture, WithoutALimitSetNoMoreEncodersThanCores) {
    RealWindow w;
    ASSERT_TRUE(w.f);
    w.f->CmbType->SetListIndex(4);
    const QString master = w.MediaPath("master.mp4");
    ASSERT_TRUE(media::MakeVideo(master, 96, 64, 5, 12));
    const int rows = framepicture::CoreCount() + 4;
    for (int i = 0; i < rows; ++i) {
        const QString name = QString("v%1").arg(i);
        ASSERT_TRUE(QFile::copy(master, w.MediaPath(name + ".mp4")));
        FileListController::AddRow(*w.f, name + ".jpg\t" + w.media.path() + "\t\t\t" + w.MediaPath(name + ".mp4"));
    }
    RunState s = stateFor(w);
    s.LastRow = QString::number(rows);
    for (int r = 1; r <= rows; ++r) {
        s.CurrentRow = r;
        GrabRandomFrame(w.f->batch->Context(), s);
    }
    ASSERT_TRUE(w.WaitForEncoders());
    EXPECT_EQ(w.shell.starts, rows);
    EXPECT_LE(w.shell.most, framepicture::CoreCount());
    for (int i = 0; i < rows; ++i) EXPECT_TRUE(QFileInfo(w.MediaPath(QString("v%1.jpg").arg(i))).size() > 0) << i;
}

TEST(RealFrameToPicture, ShortClipsGetTheirPictureAndAFakeVideoFails) {
    RealWindow w;
    ASSERT_TRUE(w.f);
    w.f->CmbType->SetListIndex(4);
    // Clips of ten seconds or less: the moment comes from the whole video.
    ASSERT_TRUE(media::MakeVideo(w.MediaPath("one.mp4"), 160, 120, 25, 1.0));
    ASSERT_TRUE(media::MakeVideo(w.MediaPath("short.mp4"), 160, 120, 25, 0.6));
    QStringList names;
    for (const QString master : {"one", "short"})
        for (int i = 0; i < 20; ++i) {
            const QString name = QString("%1_%2").arg(master).arg(i);
            ASSERT_TRUE(QFile::copy(w.MediaPath(master + ".mp4"), w.MediaPath(name + ".mp4")));
            names << name;
        }
    QFile fake(w.MediaPath("fake.mp4"));
    ASSERT_TRUE(fake.open(QIODevice::WriteOnly));
    fake.write("not a video at all");
    fake.close();
    names << "fake";
    for (const QString& n : names)
        FileListController::AddRow(*w.f, n + ".jpg\t" + w.media.path() + "\t\t\t" + w.MediaPath(n + ".mp4"));

    RunState s = stateFor(w);
    s.LastRow = QString::number(names.size());
    for (int r = 1; r <= names.size(); ++r) {
        s.CurrentRow = r;
        GrabRandomFrame(w.f->batch->Context(), s);
    }
    ASSERT_TRUE(w.WaitForEncoders());
    EXPECT_EQ(w.shell.starts, names.size());
    for (int r = 1; r < names.size(); ++r) {
        const QString jpg = w.MediaPath(names[r - 1] + ".jpg");
        EXPECT_EQ(w.f->MSF->TextMatrix(r, 5), "OK!") << r;
        const QJsonArray streams = media::Probe(jpg).value("streams").toArray();
        ASSERT_EQ(streams.size(), 1) << r;
        EXPECT_EQ(streams.at(0).toObject().value("width").toInt(), 160) << r;
        EXPECT_EQ(streams.at(0).toObject().value("height").toInt(), 120) << r;
    }
    EXPECT_EQ(w.f->MSF->TextMatrix(names.size(), 5), "更换失败");
    EXPECT_FALSE(QFile::exists(w.MediaPath("fake.jpg")));
}

// Run in a child process by the restart test: prints the command of each row
// of a fresh program's first mode-4 run.
TEST(FrameTimesAfterStart, ChildPrintsTheFirstRunsTimes) {
    const QString video = qEnvironmentVariable("PLINDOR_FRAMES_CHILD_VIDEO");
    if (video.isEmpty()) GTEST_SKIP() << "runs only as the restart test's child";
    FormFixture fx;
    ASSERT_TRUE(fx.Load());
    fx.form->CmbType->SetListIndex(4);
    for (int i = 0; i < 5; ++i) FileListController::AddRow(*fx.form, QString("p%1.jpg\t/out\t\t\t").arg(i) + video);
    RunState s;
    s.LastRow = "5";
    for (int r = 1; r <= 5; ++r) {
        s.CurrentRow = r;
        GrabRandomFrame(fx.form->batch->Context(), s);
    }
    for (const ShellCall& c : fx.shell.calls) printf("TIME %s\n", qPrintable(c.args.value(1)));
}

TEST(FrameTimesAfterStart, ARestartedProgramDrawsTheSameTimes) {
    QTemporaryDir dir;
    const QString video = dir.filePath("twelve.mp4");
    ASSERT_TRUE(media::MakeVideo(video, 64, 48, 10, 12));
    auto childTimes = [&] {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("PLINDOR_FRAMES_CHILD_VIDEO", video);
        p.setProcessEnvironment(env);
        p.start(QCoreApplication::applicationFilePath(),
                {"--gtest_filter=FrameTimesAfterStart.ChildPrintsTheFirstRunsTimes"});
        p.waitForFinished(120000);
        QStringList times;
        for (const QString& line : QString::fromUtf8(p.readAllStandardOutput()).split('\n'))
            if (line.startsWith("TIME ")) times << line.mid(5);
        return times;
    };
    const QStringList first = childTimes();
    const QStringList second = childTimes();
    ASSERT_EQ(first.size(), 5);
    EXPECT_EQ(first, second);
    // Within the first ten seconds, and not all alike.
    for (const QString& t : first) {
        EXPECT_GE(t.toDouble(), 0);
        EXPECT_LE(t.toDouble(), 10);
    }
    EXPECT_GT(QSet<QString>(first.begin(), first.end()).size(), 1);
    // The same sequence a fresh generator gives.
    framepicture::FrameRandom fresh;
    for (const QString& t : first) EXPECT_EQ(t, framepicture::FrameTime(fresh.Next(), 12));
}
