// Real encoder runs in a temporary program folder, and foreign processes that
// carry the encoder's name.
#include "encoder/EncoderRun.h"
#include "batch/WindowRead.h"
#include "support/Printing.h"

#include "platform/FileOps.h"
#include "support/OwnProcesses.h"
#include "platform/LinuxShell.h"
#include "support/FormFixture.h"
#include "support/Media.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QSet>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <csignal>

namespace {

bool procExists(long long pid) { return QFileInfo::exists(QStringLiteral("/proc/%1").arg(pid)); }

// Copies an executable under a new name and makes it runnable.
bool placeExecutable(const QString& from, const QString& to) {
    if (fileops::CopyFile(from, to) != fileops::CopyResult::Ok) return false;
    return QFile::setPermissions(to, QFile::permissions(to) | QFile::ExeOwner | QFile::ReadOwner);
}

int videoWidth(const QString& file) {
    for (const auto& s : media::Probe(file).value("streams").toArray()) {
        const QJsonObject o = s.toObject();
        if (o.value("codec_type").toString() == "video") return o.value("width").toInt();
    }
    return 0;
}

// A program folder with the encoder in place, and the real services.
struct RealEncoder : ::testing::Test {
    QTemporaryDir programDir;
    QTemporaryDir mediaDir;
    LinuxShell shell;
    OwnProcessList processes;
    EncoderHost host;

    void SetUp() override {
        ASSERT_TRUE(programDir.isValid() && mediaDir.isValid());
        ASSERT_TRUE(PlaceEncoderLibrary(programDir.path()));
        ASSERT_TRUE(placeExecutable(programDir.path() + "/Mezzor.dll", programDir.path() + "/Mezzor.exe"));
        ASSERT_FALSE(processes.IsRunning("Mezzor.exe")) << "an encoder from elsewhere is running";
        host.shell = &shell;
        host.processes = &processes;
        host.programFolder = programDir.path();
    }
    QString clip() {
        const QString path = mediaDir.path() + "/clip.mp4";
        if (!QFileInfo::exists(path)) EXPECT_TRUE(media::MakeVideo(path, 320, 240, 25, 1));
        return path;
    }
};

}  // namespace

TEST_F(RealEncoder, ConvertsAClipAndReturnsOnceTheProcessIsGone) {
    const QString out = mediaDir.path() + "/small.mp4";
    EncoderCommand cmd("-i ");
    cmd.AddPath(clip()).Add(" -y -q:v 0 -s 160:120 -acodec copy ").AddPath(out);
    int updates = 0;
    const EncoderRun run = RunEncoderAndWait(host, cmd, CycleOrder::YieldUpdateTest, [&] { ++updates; });
    ASSERT_TRUE(run.Started());
    EXPECT_GE(updates, 1);
    EXPECT_FALSE(processes.IsRunning("Mezzor.exe"));
    EXPECT_FALSE(procExists(run.pid)) << "the finished encoder was left a zombie";
    ASSERT_TRUE(run.exitStatus.has_value());
    EXPECT_EQ(*run.exitStatus, 0);
    EXPECT_TRUE(run.Succeeded());
    EXPECT_EQ(videoWidth(out), 160);
    EXPECT_GT(media::Duration(out), 0.5);
}

TEST_F(RealEncoder, AFailedRunReportsItsExitStatus) {
    EncoderCommand cmd("-i ");
    cmd.AddPath(mediaDir.path() + "/missing.mp4").Add(" -y ").AddPath(mediaDir.path() + "/out.mp4");
    const EncoderRun run = RunEncoderAndWait(host, cmd, CycleOrder::TestYieldUpdate, {});
    ASSERT_TRUE(run.Started());
    ASSERT_TRUE(run.exitStatus.has_value());
    EXPECT_NE(*run.exitStatus, 0);
    EXPECT_FALSE(run.Succeeded());
    EXPECT_FALSE(QFileInfo::exists(mediaDir.path() + "/out.mp4"));
}

TEST_F(RealEncoder, AMissingEncoderEndsTheWaitAfterOneCycle) {
    ASSERT_TRUE(QFile::remove(programDir.path() + "/Mezzor.exe"));
    int updates = 0;
    const EncoderRun run = RunEncoderAndWait(host, EncoderCommand("-version"), CycleOrder::TestUpdateYield,
                                             [&] { ++updates; });
    EXPECT_EQ(run.startCode, 2);
    EXPECT_FALSE(run.exitStatus.has_value());
    EXPECT_EQ(updates, 1);
}

TEST_F(RealEncoder, NamesWithQuotesBlanksDashesAndCjkReachTheEncoderWhole) {
    const QStringList names{
        "a\" -f null -y \"x.mp4", "it's.mp4", "two  blanks .mp4", "-lead.mp4", "封面 测试.mp4", "😀 emoji.mp4",
    };
    QDir dir(mediaDir.path());
    const QString source = clip();
    for (const QString& name : names) {
        const QString in = dir.filePath("in " + name);
        ASSERT_EQ(fileops::CopyFile(source, in), fileops::CopyResult::Ok) << name.toStdString();
        const QString out = dir.filePath(name);
        EncoderCommand cmd("-i ");
        cmd.AddPath(in).Add(" -y -q:v 0 -q:a 0 -c copy ").AddPath(out);
        const EncoderRun run = RunEncoderAndWait(host, cmd, CycleOrder::TestYieldUpdate, {});
        EXPECT_TRUE(run.Succeeded()) << name.toStdString();
        EXPECT_EQ(videoWidth(out), 320) << name.toStdString();
    }
    // A relative name beginning with "-", inside the working folder.
    ASSERT_EQ(fileops::CopyFile(source, programDir.path() + "/-rel in.mp4"), fileops::CopyResult::Ok);
    EncoderCommand rel("-i ");
    rel.AddPath("-rel in.mp4").Add(" -y -c copy ").AddPath("-rel out.mp4");
    EXPECT_TRUE(RunEncoderAndWait(host, rel, CycleOrder::TestYieldUpdate, {}).Succeeded());
    EXPECT_EQ(videoWidth(programDir.path() + "/-rel out.mp4"), 320);

    // Nothing but the intended files was written: the quote did not split.
    QStringList expected{"clip.mp4"};
    for (const QString& n : names) expected << n << "in " + n;
    QStringList written = dir.entryList(QDir::Files | QDir::Hidden);
    written.sort();
    expected.sort();
    EXPECT_EQ(written, expected);
}

TEST_F(RealEncoder, ElapsedStatusUpdatesDuringTheWait) {
    // -re paces the encoder to real time, so this run lasts two seconds.
    const QString out = mediaDir.path() + "/paced.mp4";
    EncoderCommand cmd("-re -f lavfi -i testsrc=size=64x64:rate=10:duration=2 -y -q:v 0 ");
    cmd.AddPath(out);
    const QDateTime start = QDateTime::currentDateTime();
    QStringList texts;
    const EncoderRun run = RunEncoderAndWait(host, cmd, CycleOrder::YieldUpdateTest, [&] {
        const QString t = ElapsedText(start);
        if (texts.isEmpty() || texts.back() != t) texts << t;
    });
    EXPECT_TRUE(run.Succeeded());
    ASSERT_GE(texts.size(), 2) << "the status did not change while the encoder ran";
    EXPECT_EQ(texts.front(), "00:00:00");
    for (int i = 1; i < texts.size(); ++i) EXPECT_GT(texts[i], texts[i - 1]);
    EXPECT_GT(media::Duration(out), 1.5);
}

TEST_F(RealEncoder, AForeignProcessWithTheEncodersNameKeepsTheWaitGoing) {
    // A copy of sleep named like the encoder, in capitals, not started by the wait.
    QTemporaryDir elsewhere;
    const QString sleeper = elsewhere.path() + "/MEZZOR.EXE";
    ASSERT_TRUE(placeExecutable("/bin/sleep", sleeper));
    LinuxShell otherShell;
    long long foreign = 0;
    ASSERT_EQ(otherShell.Start(sleeper, {"1.5"}, elsewhere.path(), &foreign), 42);
    ASSERT_TRUE(processes.IsRunning("Mezzor.exe"));

    int updates = 0;
    const EncoderRun run =
        RunEncoderAndWait(host, EncoderCommand("-version"), CycleOrder::YieldUpdateTest, [&] { ++updates; });
    EXPECT_TRUE(run.Succeeded());
    // The wait ended only after the stranger did.
    EXPECT_TRUE(otherShell.ExitStatus(foreign).has_value());
    EXPECT_FALSE(processes.IsRunning("Mezzor.exe"));
    EXPECT_GT(updates, 1);
}

TEST_F(RealEncoder, ClosingTheWindowDuringTheWaitEndsItsEncoder) {
    FormFixture fx;
    Services services = fx.FakeServices();
    services.shell = &shell;
    services.processes = &processes;
    fx.form = std::make_unique<Form1>(programDir.path(), services);
    fx.dialogs.answers = {MsgResult::Ok};  // "确定关闭程序？"

    const QString out = mediaDir.path() + "/long.mp4";
    EncoderCommand cmd("-re -f lavfi -i testsrc=size=64x64:rate=10:duration=60 -y ");
    cmd.AddPath(out);
    int updates = 0;
    bool updatedAfterClose = false;
    const EncoderRun run = RunEncoderAndWait(EncoderHostOf(*fx.form), cmd, CycleOrder::TestYieldUpdate, [&] {
        if (fx.form->IsClosed()) updatedAfterClose = true;
        if (++updates == 3) fx.form->close();
    });
    EXPECT_TRUE(fx.form->IsClosed());
    EXPECT_FALSE(updatedAfterClose);
    ASSERT_TRUE(run.exitStatus.has_value());
    EXPECT_EQ(*run.exitStatus, 128 + SIGKILL);
    EXPECT_FALSE(run.Succeeded());
    EXPECT_FALSE(processes.IsRunning("Mezzor.exe"));
}

TEST_F(RealEncoder, ARunThatIsNotWaitedForIsReapedInTheBackground) {
    BackgroundReaper reaper(&shell);
    host.reaper = &reaper;
    const QString out = mediaDir.path() + "/frame.jpg";
    EncoderCommand cmd("-ss 00.5 -i ");
    cmd.AddPath(clip()).Add("  -vframes 1 -f image2   -q:v 0 -y ").AddPath(out);
    const EncoderRun run = StartEncoder(host, cmd);
    ASSERT_TRUE(run.Started());
    // Let the window's loop run until the process has been collected.
    const QDateTime giveUp = QDateTime::currentDateTime().addSecs(60);
    while (procExists(run.pid) && QDateTime::currentDateTime() < giveUp) YieldToWindow();
    EXPECT_FALSE(procExists(run.pid)) << "the encoder was left a zombie";
    EXPECT_EQ(shell.ExitStatus(run.pid), 0);
    EXPECT_EQ(videoWidth(out), 320);
}
