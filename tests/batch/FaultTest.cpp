// Faults during a run with the real encoder: whatever happens, no source is
// lost or changed unless its new content is complete.
#include "BatchFixture.h"
#include "ScratchMounts.h"

#include "batch/SourceReplace.h"
#include "platform/OwnFiles.h"
#include "probe/FileStructure.h"
#include "probe/MediaProbe.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QThread>
#include <QTimer>
#include <gtest/gtest.h>
#include <atomic>
#include <csignal>
#include <dlfcn.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

// Write errors disks seldom give, on demand: the program's own calls come
// here before the system's.
namespace {
std::atomic<bool> failDataFlush{false};
std::atomic<bool> failFolderSync{false};
}  // namespace

extern "C" int fdatasync(int fd) {
    using Real = int (*)(int);
    static const Real real = reinterpret_cast<Real>(::dlsym(RTLD_NEXT, "fdatasync"));
    if (failDataFlush) {
        errno = EIO;
        return -1;
    }
    return real(fd);
}

extern "C" int fsync(int fd) {
    using Real = int (*)(int);
    static const Real real = reinterpret_cast<Real>(::dlsym(RTLD_NEXT, "fsync"));
    struct stat st;
    if (failFolderSync && ::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        errno = EIO;
        return -1;
    }
    return real(fd);
}

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

// Waits until the encoder holds `file` open, then stops it, lets `change`
// act and lets it go on; false when it never opened the file.
bool ChangeWhileOpen(long long pid, const QString& file, const std::function<void()>& change) {
    const QByteArray target = QFile::encodeName(QFileInfo(file).canonicalFilePath());
    const QString fds = QString("/proc/%1/fd").arg(pid);
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < 10000) {
        for (const QString& fd : QDir(fds).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)) {
            char to[4096];
            const ssize_t n = ::readlink(QFile::encodeName(fds + "/" + fd).constData(), to, sizeof to);
            if (n <= 0 || QByteArray(to, static_cast<int>(n)) != target) continue;
            ::kill(static_cast<pid_t>(pid), SIGSTOP);
            change();
            ::kill(static_cast<pid_t>(pid), SIGCONT);
            return true;
        }
        QThread::usleep(100);
    }
    return false;
}

bool Rename(const QString& from, const QString& to) {
    return ::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0;
}

QByteArray Attribute(const QString& path, const char* name) {
    char value[1024];
    const ssize_t n = ::lgetxattr(QFile::encodeName(path).constData(), name, value, sizeof value);
    return n < 0 ? QByteArray() : QByteArray(value, static_cast<int>(n));
}

bool SetAttribute(const QString& path, const char* name, const QByteArray& value) {
    return ::lsetxattr(QFile::encodeName(path).constData(), name, value.constData(), value.size(), 0) == 0;
}

// A POSIX ACL as the kernel keeps it: user::rw-, user:1001:rw-, group::---,
// mask::rw-, other::---.
QByteArray AclGivingOneUser() {
    QByteArray a;
    const auto u16 = [&](unsigned v) { a.append(char(v & 0xff)).append(char(v >> 8)); };
    const auto u32 = [&](unsigned v) { u16(v & 0xffff), u16(v >> 16); };
    u32(2);  // version
    const unsigned entries[][3] = {{0x01, 6, 0xffffffffu}, {0x02, 6, 1001}, {0x04, 0, 0xffffffffu},
                                   {0x10, 6, 0xffffffffu}, {0x20, 0, 0xffffffffu}};
    for (const auto& e : entries) u16(e[0]), u16(e[1]), u32(e[2]);
    return a;
}

struct Owner {
    unsigned uid = 0, gid = 0, mode = 0;
};
Owner OwnerOf(const QString& path) {
    struct stat st {};
    ::lstat(QFile::encodeName(path).constData(), &st);
    return {st.st_uid, st.st_gid, st.st_mode & 07777u};
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
    EXPECT_EQ(WorkLeftovers(m.path()), QStringList());
    EXPECT_FALSE(QFileInfo::exists(w.fx.AppPath() + "/Tmp.mp4"));
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
    ASSERT_TRUE(w.RunClosingWhen([&] { return fileops::FileSize(w.State().RunOutputFile) > 0; }));
    EXPECT_TRUE(WorkFileOf(w.State().RunOutputFile, w.Out("long.mp4")));
    EXPECT_TRUE(w.form().IsClosed());
    EXPECT_FALSE(QFileInfo::exists(w.Out("long.mp4")));
    EXPECT_EQ(WorkLeftovers(w.Out("")), QStringList());
}

TEST(Faults, ASourceChangedWhileItsRowRunsIsLeftAsItIsNow) {
    BatchWindow w(true);
    ASSERT_TRUE(w.loaded);
    // Long enough that the encoder holds each file open a while.
    const QStringList videos{"replaced.mp4", "deleted.mp4", "linked.mp4", "kept.mp4"};
    InPlaceRows(w, w.work.path(), videos, 3, {640, 480}, {"-b:v", "800k"});
    ASSERT_TRUE(PlaceVideo(w.Path("newer.mp4"), 160, 120, 1));
    const QString newer = media::Checksum(w.Path("newer.mp4"));
    ASSERT_EQ(::link(QFile::encodeName(w.Path("linked.mp4")).constData(),
                     QFile::encodeName(w.Path("second name.mp4")).constData()), 0);
    const QStringList before = Sums(w.work.path(), videos);
    bool changed[2] = {false, false};
    w.realShell.onStart = [&](const QStringList&, long long pid) {
        const int row = w.State().CurrentRow;
        // Another program's copy renamed over the source; the source deleted.
        if (row == 1)
            changed[0] = ChangeWhileOpen(pid, w.Path("replaced.mp4"),
                                         [&] { Rename(w.Path("newer.mp4"), w.Path("replaced.mp4")); });
        if (row == 2) changed[1] = ChangeWhileOpen(pid, w.Path("deleted.mp4"), [&] { QFile::remove(w.Path("deleted.mp4")); });
    };
    w.Run();
    ASSERT_TRUE(changed[0] && changed[1]);
    EXPECT_EQ(w.Status(1), "更换失败");
    EXPECT_EQ(media::Checksum(w.Path("replaced.mp4")), newer);
    EXPECT_EQ(w.Status(2), "更换失败");
    EXPECT_FALSE(QFileInfo::exists(w.Path("deleted.mp4")));
    // A file with a second name is not split from it: refused before any run.
    EXPECT_EQ(w.Status(3), "更换失败");
    EXPECT_EQ(Sums(w.work.path(), {"linked.mp4", "second name.mp4"}), QStringList(2, before[2]));
    EXPECT_EQ(w.realShell.starts.size(), 3u);
    EXPECT_EQ(w.Status(4), "Ok");
    EXPECT_EQ(media::CountAttachedPictures(w.Path("kept.mp4")), 1);
    EXPECT_EQ(WorkLeftovers(w.work.path()), QStringList());
    EXPECT_FALSE(QFileInfo::exists(w.fx.AppPath() + "/Tmp.mp4"));

    // An MP3 swapped for one of its own size, whose tags read the same.
    BatchWindow m(true);
    ASSERT_TRUE(m.loaded);
    m.Mode(2);
    m.form().ChMp3->setChecked(true);
    ASSERT_TRUE(PlacePicture(m.Path("cover.jpg"), "red", 60, 40));
    m.form().LBase->setText(m.Path("cover.jpg"));
    m.form().ChSaveAs->setChecked(false);
    ASSERT_TRUE(media::MakeMp3(m.Path("song.mp3"), 3));
    ASSERT_TRUE(QFile::copy(m.Path("song.mp3"), m.Path("twin.mp3")));
    QFile twin(m.Path("twin.mp3"));
    ASSERT_TRUE(twin.open(QIODevice::ReadWrite) && twin.seek(twin.size() - 200) && twin.write("x") == 1);
    twin.close();
    const QString twinSum = media::Checksum(m.Path("twin.mp3"));
    m.AddRow("song.mp3", m.work.path(), "0", "0", m.Path("cover.jpg"));
    bool swapped = false;
    m.realShell.onStart = [&](const QStringList&, long long pid) {
        swapped = ChangeWhileOpen(pid, m.Path("song.mp3"), [&] { Rename(m.Path("twin.mp3"), m.Path("song.mp3")); });
    };
    m.Run();
    ASSERT_TRUE(swapped);
    EXPECT_EQ(m.Status(1), "更换失败");
    EXPECT_EQ(media::Checksum(m.Path("song.mp3")), twinSum);
    EXPECT_EQ(WorkLeftovers(m.work.path()), QStringList());
}

TEST(Faults, AFileThatAppearsInTheOutputFolderMeanwhileIsNotReplaced) {
    BatchWindow w(true);
    ASSERT_TRUE(w.loaded);
    InPlaceRows(w, w.work.path(), {"a.mp4", "b.mp4"}, 3, {640, 480}, {"-b:v", "800k"});
    w.form().ChSaveAs->setChecked(true);
    // An older output of the same name is replaced: the same-name rule.
    ASSERT_TRUE(WriteBytes(w.Out("b.mp4"), "an older output"));
    bool planted = false;
    w.realShell.onStart = [&](const QStringList&, long long pid) {
        if (w.State().CurrentRow != 1) return;
        planted = ChangeWhileOpen(pid, w.Path("a.mp4"), [&] { WriteBytes(w.Out("a.mp4"), "the user's"); });
    };
    w.Run();
    ASSERT_TRUE(planted);
    EXPECT_EQ(w.Status(1), "更换失败");
    QFile kept(w.Out("a.mp4"));
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), "the user's");
    EXPECT_EQ(w.Status(2), "Ok");
    EXPECT_EQ(media::CountAttachedPictures(w.Out("b.mp4")), 1);
    EXPECT_EQ(WorkLeftovers(w.Out("")), QStringList());
}

TEST(Faults, WorkFileNamesInTheProgramFolderThatAreTheUsersStayAsTheyAre) {
    BatchWindow w(true);
    ASSERT_TRUE(w.loaded);
    const QString app = w.fx.AppPath();
    InPlaceRows(w, w.work.path(), {"b.mp4"});
    // A video of the user's named like the work output, listed, and in the
    // way of another row's work output.
    ASSERT_TRUE(PlaceVideo(app + "/Tmp.mp4", 320, 240, 1));
    w.form().MSF->SetRows(1);
    w.AddVideo("b.mp4", w.Path("cover.jpg"));
    w.AddRow("Tmp.mp4", app, "320", "240", w.Path("cover.jpg"));
    const QString tmp = media::Checksum(app + "/Tmp.mp4");
    const QString b = media::Checksum(w.Path("b.mp4"));
    w.Run();
    EXPECT_EQ(w.Status(1), "更换失败");
    EXPECT_EQ(w.Status(2), "更换失败");
    EXPECT_TRUE(w.realShell.starts.empty());
    EXPECT_EQ(media::Checksum(app + "/Tmp.mp4"), tmp);
    EXPECT_EQ(media::Checksum(w.Path("b.mp4")), b);

    // A picture of the user's under the scaled cover's name is neither
    // overwritten nor taken as the cover.
    QFile::remove(app + "/Tmp.mp4");
    w.form().MSF->SetRows(1);
    w.AddVideo("b.mp4", w.Path("cover.jpg"));
    QFile::remove(app + "/Cover.png");  // the program's, from the run before
    ASSERT_TRUE(PlacePicture(app + "/Cover.png", "blue", 20, 20));
    const QString cover = media::Checksum(app + "/Cover.png");
    w.Run();
    EXPECT_EQ(w.Status(1), "更换失败");
    EXPECT_EQ(media::Checksum(app + "/Cover.png"), cover);
    EXPECT_EQ(media::Checksum(w.Path("b.mp4")), b);

    // The program's own, left by a run that ended abruptly, are cleared.
    for (const QString name : {"Cover.png", "Tmp.mp4"}) {
        QFile::remove(app + "/" + name);
        ASSERT_TRUE(ownfiles::Make(app + "/" + name));
        ASSERT_TRUE(WriteBytes(app + "/" + name, "half a result"));
    }
    w.Run();
    EXPECT_EQ(w.Status(1), "Ok");
    EXPECT_EQ(media::CountAttachedPictures(w.Path("b.mp4")), 1);
    EXPECT_FALSE(QFileInfo::exists(app + "/Tmp.mp4"));
    EXPECT_TRUE(ownfiles::IsOwn(app + "/Cover.png"));
}

TEST(Faults, LinksPlantedInTheProgramFolderAreNeverWrittenThrough) {
    BatchWindow w(true);
    ASSERT_TRUE(w.loaded);
    const QString tmp = w.fx.AppPath() + "/Tmp.mp4";
    InPlaceRows(w, w.work.path(), {"a.mp4"});
    ASSERT_TRUE(WriteBytes(w.Path("victim.txt"), "precious"));
    const QString a = media::Checksum(w.Path("a.mp4"));
    for (bool symbolic : {true, false}) {
        SCOPED_TRACE(symbolic ? "symbolic" : "hard");
        QFile::remove(tmp);
        const QByteArray from = QFile::encodeName(w.Path("victim.txt")), to = QFile::encodeName(tmp);
        ASSERT_EQ(symbolic ? ::symlink(from.constData(), to.constData()) : ::link(from.constData(), to.constData()), 0);
        w.Run();
        EXPECT_EQ(w.Status(1), "更换失败");
        EXPECT_EQ(media::Checksum(w.Path("a.mp4")), a);
        EXPECT_EQ(QFileInfo(tmp).isSymLink(), symbolic);
        QFile victim(w.Path("victim.txt"));
        ASSERT_TRUE(victim.open(QIODevice::ReadOnly));
        EXPECT_EQ(victim.readAll(), "precious");
    }
}

TEST(Faults, LinksPlantedBesideASourceOnAnotherFileSystemAreNeverWrittenThrough) {
    ScratchMount m(20000);
    if (!m.ok()) GTEST_SKIP() << "needs the right to mount a tmpfs";
    BatchWindow w(true);
    ASSERT_TRUE(w.loaded);
    InPlaceRows(w, m.path(), {"a.mp4"});
    ASSERT_TRUE(WriteBytes(w.Path("victim.txt"), "precious"));
    // The names a work file beside it once had.
    const QString planted = m.path() + "/.a.mp4.plindor-new";
    ASSERT_TRUE(QFile::link(w.Path("victim.txt"), planted));
    w.Run();
    EXPECT_EQ(w.Status(1), "Ok");
    EXPECT_EQ(media::CountAttachedPictures(m.path() + "/a.mp4"), 1);
    EXPECT_FALSE(QFileInfo(m.path() + "/a.mp4").isSymLink());
    EXPECT_EQ(QFileInfo(planted).symLinkTarget(), w.Path("victim.txt"));
    QFile victim(w.Path("victim.txt"));
    ASSERT_TRUE(victim.open(QIODevice::ReadOnly));
    EXPECT_EQ(victim.readAll(), "precious");
    EXPECT_EQ(WorkLeftovers(m.path()), QStringList());
    EXPECT_FALSE(QFileInfo::exists(w.fx.AppPath() + "/Tmp.mp4"));  // no copy stays behind
}

TEST(Faults, AReplacementKeepsOwnerPermissionsAclAndAttributes) {
    ScratchMount m(20000);
    BatchWindow w(true);
    ASSERT_TRUE(w.loaded);
    QStringList folders{w.work.path()};
    if (m.ok()) folders << m.path();
    else std::cout << "[ SKIPPED  ] another file system: needs the right to mount a tmpfs\n";
    ASSERT_TRUE(w.CoverForAll(false, "cover.jpg"));
    const bool root = ::geteuid() == 0;
    const QByteArray acl = AclGivingOneUser();
    for (const QString& folder : folders) {
        const QString v = folder + "/v.mp4";
        ASSERT_TRUE(PlaceVideo(v));
        // Another user's, where the test may give it one.
        if (root) ASSERT_EQ(::chown(QFile::encodeName(v).constData(), 1000, 1000), 0);
        ASSERT_EQ(::chmod(QFile::encodeName(v).constData(), 0640), 0);
        ASSERT_TRUE(SetAttribute(v, "system.posix_acl_access", acl)) << folder.toStdString();
        ASSERT_TRUE(SetAttribute(v, "user.note", "kept"));
        w.AddRow("v.mp4", folder, "320", "240", w.Path("cover.jpg"));
    }
    const Owner before = OwnerOf(folders[0] + "/v.mp4");
    ASSERT_EQ(before.mode, 0660u);  // the group bits show the mask
    w.Run();
    for (int row = 1; row <= folders.size(); ++row) {
        const QString v = folders[row - 1] + "/v.mp4";
        SCOPED_TRACE(v.toStdString());
        EXPECT_EQ(w.Status(row), "Ok");
        EXPECT_EQ(media::CountAttachedPictures(v), 1);
        const Owner after = OwnerOf(v);
        EXPECT_EQ(after.uid, before.uid);
        EXPECT_EQ(after.gid, before.gid);
        EXPECT_EQ(after.mode, 0660u);
        EXPECT_EQ(Attribute(v, "system.posix_acl_access"), acl);
        EXPECT_EQ(Attribute(v, "user.note"), "kept");
        EXPECT_EQ(Attribute(v, "user.plindor.own"), QByteArray());
        EXPECT_EQ(WorkLeftovers(folders[row - 1]), QStringList());
    }
}

TEST(Faults, AFailedWriteStepFailsTheRowAndLeavesNothing) {
    struct Case {
        const char* what;
        std::function<bool(const QString& source, bool on)> fault;
        bool saveAs;
    };
    const auto flag = [](std::atomic<bool>& f) {
        return [&f](const QString&, bool on) { return f = on, true; };
    };
    // A source that cannot be renamed over, even by its owner.
    const auto immutable = [](const QString& source, bool on) {
        const int fd = ::open(QFile::encodeName(source).constData(), O_RDONLY);
        int flags = 0;
        const bool ok = fd >= 0 && ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0 &&
                        (flags = on ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL,
                         ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0);
        if (fd >= 0) ::close(fd);
        return ok;
    };
    const std::vector<Case> cases{{"file flush", flag(failDataFlush), false},
                                  {"folder flush", flag(failFolderSync), false},
                                  {"rename", immutable, false},
                                  {"file flush, saved as", flag(failDataFlush), true},
                                  {"folder flush, saved as", flag(failFolderSync), true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        BatchWindow w(true);
        ASSERT_TRUE(w.loaded);
        InPlaceRows(w, w.work.path(), {"a.mp4"});
        w.form().ChSaveAs->setChecked(c.saveAs);
        const QString before = media::Checksum(w.Path("a.mp4"));
        if (!c.fault(w.Path("a.mp4"), true)) {
            std::cout << "[ SKIPPED  ] " << c.what << ": needs the right to make a file immutable\n";
            continue;
        }
        w.Run();
        c.fault(w.Path("a.mp4"), false);
        EXPECT_EQ(w.Status(1), "更换失败");
        EXPECT_EQ(media::Checksum(w.Path("a.mp4")), before);
        EXPECT_FALSE(QFileInfo::exists(w.Out("a.mp4")));
        EXPECT_EQ(WorkLeftovers(w.work.path()), QStringList());
        EXPECT_EQ(WorkLeftovers(w.Out("")), QStringList());
        EXPECT_FALSE(QFileInfo::exists(w.fx.AppPath() + "/Tmp.mp4"));
        // With the disk well again, the same row goes through.
        w.Run();
        EXPECT_EQ(w.Status(1), "Ok");
        EXPECT_EQ(media::CountAttachedPictures(c.saveAs ? w.Out("a.mp4") : w.Path("a.mp4")), 1);
    }
}

TEST(Faults, LongNamesAcrossFileSystems) {
    ScratchMount m(20000);
    if (!m.ok()) GTEST_SKIP() << "needs the right to mount a tmpfs";
    BatchWindow w(true);
    ASSERT_TRUE(w.loaded);
    // 243 bytes replaced in place from another file system.
    const QString video = QString(239, 'v') + ".mp4";
    ASSERT_EQ(QFile::encodeName(video).size(), 243);
    InPlaceRows(w, m.path(), {video});
    w.Run();
    EXPECT_EQ(w.Status(1), "Ok");
    EXPECT_EQ(media::CountAttachedPictures(m.path() + "/" + video), 1);
    EXPECT_EQ(WorkLeftovers(m.path()), QStringList());

    // 242 bytes of an MP3 saved into an output folder on another file system.
    BatchWindow s(true);
    ASSERT_TRUE(s.loaded);
    s.Mode(2);
    s.form().ChMp3->setChecked(true);
    ASSERT_TRUE(PlacePicture(s.Path("cover.jpg"), "red", 60, 40));
    s.form().LBase->setText(s.Path("cover.jpg"));
    s.form().ChSaveAs->setChecked(true);
    s.form().LDir->setText(m.path() + "/");
    const QString song = QString(238, 's') + ".mp3";
    ASSERT_TRUE(PlaceMp3(s.Path(song)));
    s.AddRow(song, s.work.path(), "0", "0", s.Path("cover.jpg"));
    s.Run();
    EXPECT_EQ(s.Status(1), "Ok");
    EXPECT_EQ(media::CountAttachedPictures(m.path() + "/" + song), 1);
    EXPECT_EQ(QDir(m.path()).entryList(QDir::Files | QDir::Hidden), (QStringList{song, video}));
}

// The program in a child process, killed while its encoder works: the
// encoder goes with it, the source stays whole, and the next run clears
// the work file it left.
TEST(Faults, DISABLED_RunUntilKilled) {
    const QString base = qEnvironmentVariable("PLINDOR_KILLED_RUN");
    if (base.isEmpty()) GTEST_SKIP() << "run by Faults.AKilledProgramLeavesNoEncoderRunning";
    BatchWindow w(true, base + "/program");
    ASSERT_TRUE(w.loaded);
    InPlaceRows(w, base, {"long.mp4"});
    // The encoder is held, so that it cannot finish before the program is killed.
    w.realShell.onStart = [&](const QStringList&, long long pid) {
        ::kill(static_cast<pid_t>(pid), SIGSTOP);
        WriteBytes(base + "/encoder.pid", QByteArray::number(pid));
    };
    w.Run();
}

TEST(Faults, AKilledProgramLeavesNoEncoderRunning) {
    QTemporaryDir base;
    ASSERT_TRUE(QDir().mkpath(base.path() + "/program"));
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("PLINDOR_KILLED_RUN", base.path());
    env.insert("TMPDIR", base.path());  // whatever it leaves is ours to remove
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(),
                {"--gtest_filter=Faults.DISABLED_RunUntilKilled", "--gtest_also_run_disabled_tests"});
    ASSERT_TRUE(child.waitForStarted());
    const QString pidFile = base.path() + "/encoder.pid";
    QElapsedTimer t;
    t.start();
    while (!QFileInfo(pidFile).size() && t.elapsed() < 60000) QThread::msleep(20);
    ASSERT_GT(QFileInfo(pidFile).size(), 0);
    QFile f(pidFile);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const long long encoder = f.readAll().toLongLong();
    const QString exe = base.path() + "/program/Mezzor.exe";
    ASSERT_EQ(QFileInfo(QString("/proc/%1/exe").arg(encoder)).symLinkTarget(), exe);
    const QString sum = media::Checksum(base.path() + "/long.mp4");
    child.kill();
    ASSERT_TRUE(child.waitForFinished(10000));
    const auto alive = [&] {
        QFile stat(QString("/proc/%1/stat").arg(encoder));
        if (!stat.open(QIODevice::ReadOnly)) return false;
        const QByteArray s = stat.readAll();
        const int close = s.lastIndexOf(')');
        return close > 0 && s.size() > close + 2 && s[close + 2] != 'Z' && s[close + 2] != 'X' &&
               QFileInfo(QString("/proc/%1/exe").arg(encoder)).symLinkTarget() == exe;
    };
    t.restart();
    while (alive() && t.elapsed() < 5000) QThread::msleep(20);
    EXPECT_FALSE(alive());
    if (alive()) ::kill(static_cast<pid_t>(encoder), SIGKILL);
    EXPECT_EQ(media::Checksum(base.path() + "/long.mp4"), sum);
    // The run it left behind: its work output, its own, is cleared by the next.
    EXPECT_TRUE(ownfiles::IsOwn(base.path() + "/program/Tmp.mp4"));
    BatchWindow w(true, base.path() + "/program");
    ASSERT_TRUE(w.loaded);
    ASSERT_TRUE(w.CoverForAll(false, "cover.jpg"));
    ASSERT_TRUE(PlaceVideo(w.Path("a.mp4")));
    w.AddVideo("a.mp4", w.Path("cover.jpg"));
    w.Run();
    EXPECT_EQ(w.Status(1), "Ok");
    EXPECT_FALSE(QFileInfo::exists(base.path() + "/program/Tmp.mp4"));
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
    EXPECT_FALSE(QFileInfo::exists(m.path() + "/Tmp.mp4"));  // nothing stays behind
    ASSERT_TRUE(m.Fill("filler", static_cast<int>(QFileInfo(p).size() * 3 / 2 / 1024)));
    w.Run();
    EXPECT_EQ(w.Status(1), "更换失败");
    EXPECT_EQ(media::Checksum(p), sum);
    EXPECT_TRUE(QDir(m.path()).entryList(QStringList{".plw-*"}, QDir::Files | QDir::Hidden).isEmpty());
}
