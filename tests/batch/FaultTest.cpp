// Faults during a run with the real encoder: whatever happens, no source is
// lost or changed unless its new content is complete.
#include "BatchFixture.h"
#include "ScratchMounts.h"

#include "batch/SourceReplace.h"
#include "probe/FileStructure.h"
#include "probe/MediaProbe.h"

#include <QTimer>
#include <gtest/gtest.h>
#include <csignal>

using namespace batch_test;

namespace {

const QString kDiskFull = "盘磁盘空间不足，请释放空间后重试保存！";

// Mode 2 in place over videos in `folder`.
void InPlaceRows(BatchWindow& w, const QString& folder, const QStringList& videos, int seconds = 1,
                 const QSize& size = {320, 240}, const QStringList& extra = {}) {
    ASSERT_TRUE(w.CoverForAll(false, "cover.jpg"));
    for (const QString& v : videos) {
        ASSERT_TRUE(PlaceVideo(folder + "/" + v, size.width(), size.height(), seconds, extra));
        w.AddRow(v, folder, QString::number(size.width()), QString::number(size.height()), w.Path("cover.jpg"));
    }
}

// Large enough that a small file system cannot hold a result.
void LargeRows(BatchWindow& w, const QStringList& videos) {
    InPlaceRows(w, w.work.path(), videos, 3, {640, 480}, {"-b:v", "800k"});
}

QStringList Sums(const QString& folder, const QStringList& names) {
    QStringList s;
    for (const QString& n : names) s << media::Checksum(folder + "/" + n);
    return s;
}

}  // namespace

TEST(Faults, BrokenInputFailsWithoutTouchingIt) {
    // The broken file first: with believable cells, and with the empty cells
    // the probe leaves for it; an audio-only file first is an ordinary row.
    // None of them is a broken installation: the run goes on.
    struct Case {
        const char* first;
        QString width, height;
        const char* status;
    };
    const std::vector<Case> cases{
        {"broken.mp4", "320", "240", "更换失败"},
        {"broken.mp4", "", "", "更换失败"},
        {"sound.m4a", "", "", "Ok"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.first) + " " + c.height.toStdString());
        BatchWindow w(true);
        ASSERT_TRUE(w.loaded);
        InPlaceRows(w, w.work.path(), {"good.mp4"});
        ASSERT_TRUE(WriteBytes(w.Path("broken.mp4"), QByteArray(4000, 'b')));
        ASSERT_TRUE(media::Ffmpeg({"-f", "lavfi", "-i", "sine=d=1", "-c:a", "aac", w.Path("sound.m4a")}));
        w.form().MSF->SetRows(1);
        w.AddRow(c.first, w.work.path(), c.width, c.height, w.Path("cover.jpg"));
        w.AddVideo("good.mp4", w.Path("cover.jpg"));
        const QString sum = media::Checksum(w.Path(c.first));
        w.Run();
        EXPECT_EQ(w.fx.control.ended, 0);
        for (const auto& call : w.realShell.calls) EXPECT_FALSE(call.target.contains("Plindor_Setup"));
        EXPECT_EQ(w.Status(1), c.status);
        if (QString(c.status) != "Ok") EXPECT_EQ(media::Checksum(w.Path(c.first)), sum);
        EXPECT_EQ(w.Status(2), "Ok");
        EXPECT_EQ(media::CountAttachedPictures(w.Path("good.mp4")), 1);
    }
}

TEST(Faults, ATrimThatKeepsNothingLeavesTheSourceAsItWas) {
    BatchWindow w(true);
    ASSERT_TRUE(w.loaded);
    InPlaceRows(w, w.work.path(), {"six.mp4"}, 6, {320, 240}, {"-g", "5"});
    // Matroska written as a live stream states no duration.
    ASSERT_TRUE(media::MakeVideo(w.Path("live.mkv"), 320, 240, 25, 3, {"-live", "1"}));
    ASSERT_DOUBLE_EQ(probe::GetMediaDuration(w.Path("live.mkv")), 0);
    w.AddVideo("live.mkv", w.Path("cover.jpg"));
    w.form().ChCutTime->setChecked(true);
    const QStringList sums = Sums(w.work.path(), {"six.mp4", "live.mkv"});
    for (const QString cut : {"3,3", "5,3", "50,50%", "2.99,3"}) {
        SCOPED_TRACE(cut.toStdString());
        w.form().TTimeCut->setText(cut);
        w.Run();
        EXPECT_EQ(w.Status(1), "更换失败");
        EXPECT_EQ(w.Status(2), "更换失败");
        EXPECT_TRUE(w.realShell.starts.empty());
        EXPECT_EQ(Sums(w.work.path(), {"six.mp4", "live.mkv"}), sums);
    }
    // A trim that keeps something still runs, and lasts what it kept.
    w.form().TTimeCut->setText("1,1");
    w.Run();
    EXPECT_EQ(w.Status(1), "Ok");
    EXPECT_NEAR(media::Duration(w.Path("six.mp4")), 4, 0.3);
    EXPECT_EQ(media::CountAttachedPictures(w.Path("six.mp4")), 1);
    EXPECT_EQ(w.Status(2), "更换失败");
    EXPECT_EQ(media::Checksum(w.Path("live.mkv")), sums[1]);
}

TEST(Faults, EncoderKilledMidRow) {
    BatchWindow w(true);
    ASSERT_TRUE(w.loaded);
    InPlaceRows(w, w.work.path(), {"long.mp4", "next.mp4"}, 20);
    w.form().ChOther->setChecked(true);  // a slow re-encode
    w.form().CmbSize->SetListIndex(0);
    const QStringList before = Sums(w.work.path(), {"long.mp4", "next.mp4"});
    bool killed = false;
    QTimer watch;
    w.realShell.onStart = [&](const QStringList&, long long pid) {
        if (w.State().CurrentRow != 1) return;
        // Kill it as soon as it has started writing: the size alone would then
        // pass for success.
        const QString tmp = w.fx.AppPath() + "/Tmp.mp4";
        QObject::disconnect(&watch, nullptr, nullptr, nullptr);
        QObject::connect(&watch, &QTimer::timeout, [&, pid, tmp] {
            if (QFileInfo(tmp).size() <= 0) return;
            watch.stop();
            killed = ::kill(static_cast<pid_t>(pid), SIGKILL) == 0;
        });
        watch.start(5);
    };
    w.Run();
    ASSERT_TRUE(killed);
    EXPECT_EQ(w.Status(1), "更换失败");
    EXPECT_EQ(Sums(w.work.path(), {"long.mp4"}), before.mid(0, 1));
    EXPECT_TRUE(w.Status(2).startsWith("Ok！"));
}

TEST(Faults, ReadOnlyTargetFolderFailsTheRow) {
    ScratchMount m(4096);
    if (!m.ok()) GTEST_SKIP() << "needs the right to mount a tmpfs";
    BatchWindow w(true);
    ASSERT_TRUE(w.loaded);
    InPlaceRows(w, m.path(), {"a.mp4", "b.mp4"});
    const QStringList before = Sums(m.path(), {"a.mp4", "b.mp4"});
    ASSERT_TRUE(m.MakeReadOnly());
    w.Run();
    EXPECT_EQ(w.Status(1), "更换失败");  // never "Ok" for a result that could not be put in place
    EXPECT_EQ(w.Status(2), "更换失败");
    EXPECT_EQ(Sums(m.path(), {"a.mp4", "b.mp4"}), before);
}

TEST(Faults, DiskFullCancelKeepsTheSourceAndEndsTheRun) {
    ScratchMount m(1024);
    if (!m.ok()) GTEST_SKIP() << "needs the right to mount a tmpfs";
    BatchWindow w(true);
    ASSERT_TRUE(w.loaded);
    InPlaceRows(w, m.path(), {"a.mp4", "b.mp4"});
    const QStringList before = Sums(m.path(), {"a.mp4", "b.mp4"});
    ASSERT_TRUE(m.Fill("filler", 4));
    w.dialogs().answers = {MsgResult::Cancel};
    w.Run();
    ASSERT_GE(w.dialogs().messages.size(), 2u);
    const RecordedMessage& q = w.dialogs().messages[0];
    EXPECT_EQ(q.text, m.path() + kDiskFull);
    EXPECT_EQ(q.icon, MsgIcon::Critical);
    EXPECT_EQ(q.buttons, MsgButtons::RetryCancel);
    EXPECT_EQ(q.defaultButton, 0);
    EXPECT_EQ(w.Status(1), "更换失败");
    EXPECT_EQ(w.Status(2), "");  // no later row
    EXPECT_EQ(w.realShell.starts.size(), 1u);
    EXPECT_EQ(Sums(m.path(), {"a.mp4", "b.mp4"}), before);
    EXPECT_FALSE(QFileInfo::exists(replace::StagingPathFor(m.path() + "/a.mp4")));
    EXPECT_TRUE(w.dialogs().Shown("处理完毕！\r\n要打开输出目录吗？"));
}

TEST(Faults, DiskFullRetryAfterFreeingSpace) {
    ScratchMount m(1024);
    if (!m.ok()) GTEST_SKIP() << "needs the right to mount a tmpfs";
    BatchWindow w(true);
    ASSERT_TRUE(w.loaded);
    InPlaceRows(w, m.path(), {"a.mp4", "b.mp4"});
    ASSERT_TRUE(m.Fill("filler", 4));
    int asked = 0;
    w.dialogs().onMessage = [&](const RecordedMessage& msg) {
        if (!msg.text.endsWith(kDiskFull)) return;
        if (++asked == 2) QFile::remove(m.path() + "/filler");  // the first Retry still finds it full
    };
    w.Run();
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(w.Status(1), "Ok");
    EXPECT_EQ(w.Status(2), "Ok");
    for (const QString v : {"a.mp4", "b.mp4"}) {
        EXPECT_EQ(media::CountAttachedPictures(m.path() + "/" + v), 1);
        EXPECT_EQ(StreamIndex(m.path() + "/" + v, "video") >= 0, true);
    }
}

TEST(Faults, OutputFolderEqualToTheSourceFolder) {
    BatchWindow w(true);
    ASSERT_TRUE(w.loaded);
    InPlaceRows(w, w.work.path(), {"a.mp4"});
    ASSERT_TRUE(WriteBytes(w.Path("broken.mp4"), QByteArray(3000, 'b')));
    w.AddVideo("broken.mp4");
    w.form().ChSaveAs->setChecked(true);
    w.form().LDir->setText(w.work.path() + "/");
    const QString brokenSum = media::Checksum(w.Path("broken.mp4"));
    const int packets = media::CountPackets(w.Path("a.mp4"), StreamIndex(w.Path("a.mp4"), "video"));
    w.Run();
    EXPECT_EQ(w.Status(1), "Ok");
    EXPECT_EQ(media::CountAttachedPictures(w.Path("a.mp4")), 1);
    EXPECT_EQ(media::CountPackets(w.Path("a.mp4"), StreamIndex(w.Path("a.mp4"), "video")), packets);
    EXPECT_EQ(w.Status(2), "更换失败");
    EXPECT_EQ(media::Checksum(w.Path("broken.mp4")), brokenSum);
}

TEST(Faults, ClosingTheWindowDuringARealWait) {
    // The shutdown kills the first encoder it finds; this window's list holds
    // only the test's own.
    BatchWindow w(true);
    ASSERT_TRUE(w.loaded);
    InPlaceRows(w, w.work.path(), {"long.mp4", "b.mp4"}, 20);
    w.form().ChOther->setChecked(true);
    w.form().CmbSize->SetListIndex(0);
    const QStringList before = Sums(w.work.path(), {"long.mp4", "b.mp4"});
    ASSERT_TRUE(w.RunClosingWhen([&] { return w.Status(1).startsWith("封面更换中..."); }));
    EXPECT_TRUE(w.form().IsClosed());
    EXPECT_FALSE(w.dialogs().Shown("处理完毕！\r\n要打开输出目录吗？"));
    EXPECT_EQ(w.realShell.starts.size(), 1u);
    EXPECT_EQ(Sums(w.work.path(), {"long.mp4", "b.mp4"}), before);
    EXPECT_FALSE(QFileInfo::exists(w.fx.AppPath() + "/Mezzor.exe"));
}

TEST(Faults, AFullProgramFolderCutsTheEncodersOutputAndNoRowCounts) {
    // The program, its encoder and its work files on a small file system.
    ScratchMount m(1400);
    if (!m.ok()) GTEST_SKIP() << "needs the right to mount a tmpfs";
    BatchWindow w(true, m.path());
    ASSERT_TRUE(w.loaded);
    const QStringList videos{"a.mp4", "b.mp4", "c.mkv"};
    LargeRows(w, videos);
    const QStringList before = Sums(w.work.path(), videos);
    // Room for the scaled cover, not for a whole result.
    ASSERT_TRUE(m.Fill("filler", 40));
    w.Run();
    for (int r = 1; r <= 3; ++r) EXPECT_EQ(w.Status(r), "更换失败") << r;
    EXPECT_EQ(Sums(w.work.path(), videos), before);
    EXPECT_FALSE(QFileInfo::exists(m.path() + "/Tmp.mp4"));
    EXPECT_FALSE(QFileInfo::exists(m.path() + "/Tmp.mkv"));
}

TEST(Faults, AFullOutputFolderLeavesNoBrokenOutput) {
    ScratchMount m(300);
    if (!m.ok()) GTEST_SKIP() << "needs the right to mount a tmpfs";
    BatchWindow w(true);
    ASSERT_TRUE(w.loaded);
    const QStringList videos{"a.mp4", "b.mkv"};
    LargeRows(w, videos);
    w.form().ChSaveAs->setChecked(true);
    w.form().LDir->setText(m.path() + "/");
    const QStringList before = Sums(w.work.path(), videos);
    ASSERT_TRUE(m.Fill("filler", 60));
    w.Run();
    EXPECT_EQ(w.Status(1), "更换失败");
    EXPECT_EQ(w.Status(2), "更换失败");
    EXPECT_EQ(Sums(w.work.path(), videos), before);
    EXPECT_EQ(QDir(m.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"filler"});
}

TEST(Faults, TwoRowsOfOneNameNeverWriteOverEachOthersSource) {
    // Mode 2 into the input folder, which holds x.mp4 and sub/x.mp4.
    BatchWindow w(true);
    ASSERT_TRUE(w.loaded);
    ASSERT_TRUE(w.CoverForAll(true, "cover.jpg"));
    w.form().LDir->setText(w.work.path() + "/");
    ASSERT_TRUE(QDir().mkpath(w.Path("sub")));
    ASSERT_TRUE(PlaceVideo(w.Path("x.mp4"), 320, 240, 1));
    ASSERT_TRUE(PlaceVideo(w.Path("sub/x.mp4"), 160, 120, 2));
    const QString other = media::Checksum(w.Path("sub/x.mp4"));
    w.AddRow("x.mp4", w.work.path(), "320", "240", w.Path("cover.jpg"));
    w.AddRow("x.mp4", w.Path("sub"), "160", "120", w.Path("cover.jpg"));
    w.Run();
    // The first row's output is its own source: replaced through the work file.
    EXPECT_EQ(w.Status(1), "Ok");
    EXPECT_EQ(media::CountAttachedPictures(w.Path("x.mp4")), 1);
    EXPECT_EQ(StreamSize(w.Path("x.mp4"), false), QSize(320, 240));
    // The second would write over the first row's source: refused.
    EXPECT_EQ(w.Status(2), "更换失败");
    EXPECT_EQ(media::Checksum(w.Path("sub/x.mp4")), other);
    EXPECT_EQ(w.realShell.starts.size(), 1u);

    // The other way round: the first row would write over the second's source.
    w.form().MSF->SetTextMatrix(1, ColFolder, w.Path("sub"));
    w.form().MSF->SetTextMatrix(2, ColFolder, w.work.path());
    const QString first = media::Checksum(w.Path("x.mp4"));
    w.Run();
    EXPECT_EQ(w.Status(1), "更换失败");
    EXPECT_EQ(w.Status(2), "Ok");
    EXPECT_EQ(media::Checksum(w.Path("sub/x.mp4")), other);
    EXPECT_NE(media::Checksum(w.Path("x.mp4")), first);
    EXPECT_EQ(StreamSize(w.Path("x.mp4"), false), QSize(320, 240));
}

TEST(Faults, ClosingTheWindowLeavesNoPartOfAnOutput) {
    BatchWindow w(true);
    ASSERT_TRUE(w.loaded);
    ASSERT_TRUE(w.CoverForAll(true, "cover.jpg"));
    ASSERT_TRUE(PlaceVideo(w.Path("long.mp4"), 320, 240, 20));
    w.AddVideo("long.mp4", w.Path("cover.jpg"));
    w.form().ChOther->setChecked(true);  // re-encoding takes a while
    w.form().CmbSize->SetListIndex(0);
    ASSERT_TRUE(w.RunClosingWhen([&] { return fileops::FileSize(w.Out("long.mp4")) > 0; }));
    EXPECT_TRUE(w.form().IsClosed());
    EXPECT_FALSE(QFileInfo::exists(w.Out("long.mp4")));
}

TEST(Faults, AWebReadyVideoWhoseMovieBoxCannotGoInFrontStaysAsItWas) {
    // The program folder on a file system that inserts no room in a file:
    // the encoder's result is copied with its movie box in front.
    ScratchMount m(6000);
    if (!m.ok()) GTEST_SKIP() << "needs the right to mount a tmpfs";
    BatchWindow w(true, m.path());
    ASSERT_TRUE(w.loaded);
    InPlaceRows(w, w.work.path(), {"fast.mp4"}, 3, {640, 480}, {"-b:v", "800k", "-movflags", "+faststart"});
    const QString p = w.Path("fast.mp4");
    ASSERT_TRUE(probe::ReadMp4Layout(p).moovFirst);
    const QStringList hashes = media::StreamHashes(p);
    w.Run();
    EXPECT_EQ(w.Status(1), "Ok");
    EXPECT_TRUE(probe::ReadMp4Layout(p).moovFirst);
    EXPECT_EQ(media::StreamHashes(p), hashes);
    EXPECT_TRUE(media::DecodesCleanly(p));

    // Room for the encoder's result, not for the copy.
    const QString sum = media::Checksum(p);
    ASSERT_TRUE(QFile::remove(m.path() + "/Tmp.mp4"));
    ASSERT_TRUE(m.Fill("filler", static_cast<int>(QFileInfo(p).size() * 3 / 2 / 1024)));
    w.Run();
    EXPECT_EQ(w.Status(1), "更换失败");
    EXPECT_EQ(media::Checksum(p), sum);
    EXPECT_TRUE(QDir(m.path()).entryList(QStringList{".plw-*"}, QDir::Files | QDir::Hidden).isEmpty());
}
