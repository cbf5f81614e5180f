#include "platform/FileOps.h"
#include "platform/OwnFiles.h"
#include "support/OwnProcesses.h"
#include "platform/LinuxShell.h"
#include "platform/QtDialogs.h"
#include "platform/QtSettings.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QUrl>
#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <dlfcn.h>
#include <functional>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <string>
#include <vector>

// A file system without extended attributes (FAT, some network ones), on
// demand: the program's own calls come here before the system's.
namespace {
std::atomic<bool> noAttributes{false};
}  // namespace

extern "C" int fsetxattr(int fd, const char* name, const void* value, size_t size, int flags) {
    using Real = int (*)(int, const char*, const void*, size_t, int);
    static const Real real = reinterpret_cast<Real>(::dlsym(RTLD_NEXT, "fsetxattr"));
    if (noAttributes) return errno = ENOTSUP, -1;
    return real(fd, name, value, size, flags);
}

extern "C" ssize_t lgetxattr(const char* path, const char* name, void* value, size_t size) {
    using Real = ssize_t (*)(const char*, const char*, void*, size_t);
    static const Real real = reinterpret_cast<Real>(::dlsym(RTLD_NEXT, "lgetxattr"));
    if (noAttributes) return errno = ENOTSUP, -1;
    return real(path, name, value, size);
}

namespace {

// A copy of a system program under another name, so the process list shows that name.
QString namedCopy(const QTemporaryDir& dir, const QString& program, const QString& name) {
    const QString dst = dir.path() + "/" + name;
    QFile::copy(QStandardPaths::findExecutable(program), dst);
    QFile::setPermissions(dst, QFile::permissions(dst) | QFile::ExeOwner);
    return dst;
}

bool eventually(const std::function<bool()>& cond) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < 10000) {
        if (cond()) return true;
        QThread::msleep(20);
    }
    return false;
}

}  // namespace

TEST(ProcessList, SeesLiveProcessesByNameCaseIgnoredAndNotZombies) {
    QTemporaryDir dir;
    const QString sleeper = namedCopy(dir, "sleep", "Mezzor.exe");
    LinuxShell shell;
    OwnProcessList list;
    EXPECT_FALSE(list.IsRunning("Mezzor.exe"));
    long long pid = 0;
    ASSERT_EQ(shell.Start(sleeper, {"0.3"}, dir.path(), &pid), 42);
    EXPECT_TRUE(list.IsRunning("MEZZOR.EXE"));
    EXPECT_EQ(list.Count("mezzor.exe"), 1);
    EXPECT_FALSE(list.IsRunning("Mezzor"));  // the whole name, not a prefix
    // Unreaped, the ended child is a zombie: not running any more.
    ASSERT_TRUE(eventually([&] { return !list.IsRunning("Mezzor.exe"); }));
    EXPECT_FALSE(shell.ExitStatus(pid) == std::nullopt);
    EXPECT_EQ(*shell.ExitStatus(pid), 0);
}

TEST(ProcessList, KillsTheFirstByPrefixInIdOrder) {
    QTemporaryDir dir;
    // Started first, so its id comes before ours: a scoped list must pass it by.
    ForeignProcess stranger("plindortest0");
    ASSERT_TRUE(stranger.Alive());
    const QString a = namedCopy(dir, "sleep", "plindortestA");
    const QString b = namedCopy(dir, "sleep", "PlindorTestB");
    LinuxShell shell;
    OwnProcessList list;
    long long pa = 0, pb = 0;
    ASSERT_EQ(shell.Start(a, {"30"}, dir.path(), &pa), 42);
    ASSERT_EQ(shell.Start(b, {"30"}, dir.path(), &pb), 42);
    ASSERT_LT(pa, pb);
    EXPECT_EQ(list.KillFirstByPrefix("PLINDORTEST"), 1);
    ASSERT_TRUE(eventually([&] { return shell.ExitStatus(pa).has_value(); }));
    EXPECT_EQ(*shell.ExitStatus(pa), 128 + SIGKILL);
    EXPECT_FALSE(shell.ExitStatus(pb).has_value());  // only one per call
    EXPECT_EQ(list.KillFirstByPrefix("plindortest"), 1);
    ASSERT_TRUE(eventually([&] { return shell.ExitStatus(pb).has_value(); }));
    EXPECT_EQ(list.KillFirstByPrefix("plindortest"), 0);
    EXPECT_TRUE(stranger.Alive());
}

TEST(ProcessList, AScopedListSeesOnlyItsOwnTree) {
    ForeignProcess encoder("Mezzor.exe");
    ForeignProcess program("plindor");
    ASSERT_TRUE(encoder.Alive() && program.Alive());
    // The machine-wide list, as the program uses it, sees both.
    LinuxProcessList machine;
    EXPECT_TRUE(machine.IsRunning("Mezzor.exe"));
    EXPECT_GE(machine.Count("plindor"), 1);
    OwnProcessList own;
    EXPECT_FALSE(own.IsRunning("Mezzor.exe"));
    EXPECT_EQ(own.Count("plindor"), 0);
    EXPECT_EQ(own.KillFirstByPrefix("Mezzor"), 0);
    EXPECT_EQ(own.KillFirstByPrefix("plindor"), 0);
    EXPECT_TRUE(encoder.Alive() && program.Alive());

    // A grandchild is still ours.
    QTemporaryDir dir;
    const QString sleeper = namedCopy(dir, "sleep", "Mezzor.exe");
    LinuxShell shell;
    long long pid = 0;
    ASSERT_EQ(shell.Start(QStandardPaths::findExecutable("sh"), {"-c", "\"$0\" 30; :", sleeper}, dir.path(), &pid), 42);
    ASSERT_TRUE(eventually([&] { return own.IsRunning("Mezzor.exe"); }));
    EXPECT_EQ(own.KillFirstByPrefix("mezzor"), 1);
    ASSERT_TRUE(eventually([&] { return shell.ExitStatus(pid).has_value(); }));
    EXPECT_TRUE(encoder.Alive());
}

TEST(Shell, StartReportsMissingProgramsAndKeepsArgumentsWhole) {
    QTemporaryDir dir;
    LinuxShell shell;
    EXPECT_EQ(shell.Start("nothing-here", {}, dir.path(), nullptr), 2);
    // Arguments reach the program exactly, quotes and blanks included.
    const QString out = dir.path() + "/out.txt";
    long long pid = 0;
    const QString sh = QStandardPaths::findExecutable("sh");
    ASSERT_EQ(shell.Start(sh, {"-c", "printf '%s|' \"$@\" > out.txt", "x", "a\" -y \"b", " lead", "名字 😀"},
                          dir.path(), &pid), 42);
    ASSERT_TRUE(eventually([&] { return shell.ExitStatus(pid).has_value(); }));
    QFile f(out);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));  // written inside the working folder
    EXPECT_EQ(QString::fromUtf8(f.readAll()), "a\" -y \"b| lead|名字 😀|");
}

namespace {
// Takes the desktop's opening of addresses, so nothing is really opened.
class UrlRecorder : public QObject {
    Q_OBJECT
public:
    explicit UrlRecorder(const QStringList& schemes) : schemes_(schemes) {
        for (const QString& s : schemes_) QDesktopServices::setUrlHandler(s, this, "take");
    }
    ~UrlRecorder() override {
        for (const QString& s : schemes_) QDesktopServices::unsetUrlHandler(s);
    }
    std::vector<std::string> urls;
public slots:
    void take(const QUrl& url) { urls.push_back(url.toString().toStdString()); }

private:
    QStringList schemes_;
};
}  // namespace

TEST(Shell, OpenTakesALocalPathAsAFileWhateverItsName) {
    UrlRecorder recorder({"file", "http", "https", "re", "clip"});
    LinuxShell shell;
    shell.Open("Re: x.mp4", "/v");
    shell.Open("clip:final.mp4", "/v");
    shell.Open("a.mp4", "");     // a file in the root
    shell.Open("/out/", "");     // a folder
    shell.Open("https://example.invalid/downs/x.rar", "");
    EXPECT_EQ(recorder.urls, (std::vector<std::string>{"file:///v/Re: x.mp4", "file:///v/clip:final.mp4",
                                                        "file:///a.mp4", "file:///out/",
                                                        "https://example.invalid/downs/x.rar"}));
}

TEST(FileOps, OrdinaryFilesFoldersAndPaths) {
    QTemporaryDir dir;
    const QString a = dir.path() + "/a.mp4";
    const QString hidden = dir.path() + "/.h.mp4";
    QFile(a).open(QIODevice::WriteOnly);
    QFile(hidden).open(QIODevice::WriteOnly);
    QFile::link(a, dir.path() + "/link.mp4");
    EXPECT_TRUE(fileops::IsOrdinaryFile(a));
    EXPECT_TRUE(fileops::IsOrdinaryFile(dir.path() + "/link.mp4"));
    EXPECT_FALSE(fileops::IsOrdinaryFile(hidden));
    EXPECT_FALSE(fileops::IsOrdinaryFile(dir.path()));
    EXPECT_FALSE(fileops::IsOrdinaryFile(""));
    EXPECT_TRUE(fileops::FolderExists(dir.path()));
    EXPECT_FALSE(fileops::FolderExists(a));
    EXPECT_EQ(fileops::FileSize(a), 0);
    EXPECT_EQ(fileops::FileSize(dir.path() + "/none"), -1);
    EXPECT_EQ(fileops::FolderOf("/a.mp4"), "");
    EXPECT_EQ(fileops::NameOf("/a.mp4"), "a.mp4");
    EXPECT_EQ(fileops::FolderOf("/v/x/a.b.mp4"), "/v/x");
    EXPECT_EQ(fileops::NameOf("plain"), "plain");
    EXPECT_TRUE(fileops::DeleteFile(a));
    EXPECT_TRUE(fileops::DeleteFile(a));  // already gone counts as done
    EXPECT_TRUE(fileops::MakePath(dir.path() + "/x/y/z/"));
    EXPECT_EQ(fileops::MountPointOf(dir.path() + "/x/y/none.mp4").isEmpty(), false);

    // Work files: new each time, short, hidden, the owner's alone.
    const fileops::WorkFile w1 = fileops::CreateWorkFile(dir.path());
    const fileops::WorkFile w2 = fileops::CreateWorkFile(dir.path());
    ASSERT_GE(w1.fd, 0);
    ASSERT_GE(w2.fd, 0);
    EXPECT_NE(w1.path, w2.path);
    EXPECT_EQ(fileops::FolderOf(w1.path), dir.path());
    EXPECT_TRUE(fileops::NameOf(w1.path).startsWith('.'));
    EXPECT_LE(fileops::NameOf(w1.path).size(), 12);
    EXPECT_EQ(QFile::permissions(w1.path) & ~(QFile::ReadUser | QFile::WriteUser | QFile::ReadOwner | QFile::WriteOwner),
              QFile::Permissions());
    ::close(w1.fd);
    ::close(w2.fd);
    EXPECT_EQ(fileops::CreateWorkFile(dir.path() + "/none").fd, -1);

    // With the extension a writer goes by, and the access of any new file.
    const mode_t mask = ::umask(022);
    const fileops::WorkFile w3 = fileops::CreateWorkFile(dir.path(), ".mp4", 0666);
    ::umask(mask);
    ASSERT_GE(w3.fd, 0);
    ::close(w3.fd);
    EXPECT_TRUE(fileops::NameOf(w3.path).startsWith(".plw-"));
    EXPECT_TRUE(w3.path.endsWith(".mp4"));
    EXPECT_EQ(fileops::NameOf(w3.path).size(), 15);
    struct stat st;
    ASSERT_EQ(::stat(QFile::encodeName(w3.path).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644u);
}

TEST(OwnFiles, OnlyWhatTheProgramMadeIsClearedAndNothingIsFollowed) {
    for (bool attributes : {true, false}) {
        SCOPED_TRACE(attributes ? "marked" : "recorded");
        QTemporaryDir dir;
        const QString own = dir.path() + "/Tmp.mp4";
        const QString users = dir.path() + "/Cover.png";
        const QString aim = dir.path() + "/aim.txt";
        const auto write = [](const QString& path, const QByteArray& bytes) {
            QFile f(path);
            return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
        };
        ASSERT_TRUE(write(users, "the user's"));
        ASSERT_TRUE(write(aim, "aim"));
        ASSERT_TRUE(QFile::link(aim, dir.path() + "/Head.mp4"));
        noAttributes = !attributes;

        ASSERT_TRUE(ownfiles::Make(own));
        EXPECT_TRUE(ownfiles::IsOwn(own));
        EXPECT_EQ(fileops::FileSize(own), 0);
        EXPECT_EQ(QFileInfo::exists(dir.path() + "/.plindor-own"), !attributes);
        // Written in place it stays the program's; made again it is refused.
        ASSERT_TRUE(write(own, "half a result"));
        EXPECT_TRUE(ownfiles::IsOwn(own));
        EXPECT_FALSE(ownfiles::Make(own));
        EXPECT_TRUE(ownfiles::Fresh(own));
        EXPECT_EQ(fileops::FileSize(own), 0);
        EXPECT_TRUE(ownfiles::Free(own));
        EXPECT_FALSE(QFileInfo::exists(own));
        EXPECT_TRUE(ownfiles::Free(own));  // nothing there is free

        // A user's file, a link, a folder: never cleared, never written.
        for (const QString& other : {users, dir.path() + "/Head.mp4", dir.path()}) {
            EXPECT_FALSE(ownfiles::IsOwn(other)) << other.toStdString();
            EXPECT_FALSE(ownfiles::Free(other));
            EXPECT_FALSE(ownfiles::Fresh(other));
            EXPECT_TRUE(QFileInfo::exists(other));
        }
        EXPECT_TRUE(QFileInfo(dir.path() + "/Head.mp4").isSymLink());
        QFile kept(aim);
        ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
        EXPECT_EQ(kept.readAll(), "aim");
        EXPECT_EQ(fileops::FileSize(users), 10);

        // The user's file put under the name of one the program made is the user's.
        ASSERT_TRUE(ownfiles::Make(own));
        ASSERT_TRUE(ownfiles::Make(dir.path() + "/Cut.mp4"));
        ASSERT_TRUE(QFile::remove(own));
        ASSERT_TRUE(QFile::copy(users, own));
        EXPECT_FALSE(ownfiles::IsOwn(own));
        EXPECT_FALSE(ownfiles::Free(own));
        EXPECT_TRUE(ownfiles::IsOwn(dir.path() + "/Cut.mp4"));
        noAttributes = false;
    }
}

TEST(FileOps, CopyKeepsBytesAndRunBitAndReportsFailures) {
    QTemporaryDir dir;
    const QString src = dir.path() + "/src.bin";
    QFile f(src);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    QByteArray data(300000, 'x');
    data[12345] = 'y';
    f.write(data);
    f.close();
    QFile::setPermissions(src, QFile::permissions(src) | QFile::ExeOwner);
    const QString dst = dir.path() + "/dst.bin";
    EXPECT_EQ(fileops::CopyFile(src, dst), fileops::CopyResult::Ok);
    QFile d(dst);
    ASSERT_TRUE(d.open(QIODevice::ReadOnly));
    EXPECT_EQ(d.readAll(), data);
    EXPECT_TRUE(QFileInfo(dst).isExecutable());
    EXPECT_EQ(fileops::CopyFile(dir.path() + "/none", dst), fileops::CopyResult::SourceMissing);
    EXPECT_EQ(fileops::CopyFile(src, dir.path() + "/no/such/folder/x"), fileops::CopyResult::Failed);
}

TEST(Settings, StoredPerUserInGroupDefault) {
    QtSettings s;
    EXPECT_FALSE(s.Get("AccIndex").has_value());
    s.Set("AccIndex", "1");
    s.Set("CanAcc", "0");
    EXPECT_EQ(s.Get("AccIndex"), QString("1"));
    // The file lives under the test's own XDG config folder.
    const QString ini = qEnvironmentVariable("XDG_CONFIG_HOME") + "/Plindor/Plindor.ini";
    ASSERT_TRUE(QFile::exists(ini));
    QSettings raw(ini, QSettings::IniFormat);
    EXPECT_EQ(raw.value("Default/CanAcc").toString(), "0");
}

TEST(Dialogs, FiltersAndFileNameTexts) {
    EXPECT_EQ(ToQtFilter("图片文件|*.bmp;*.jpg"), "图片文件 (*.bmp *.jpg)");
    EXPECT_EQ(ToQtFilter("mp3|*.mp3;*.mp2"), "mp3 (*.mp3 *.mp2)");
    EXPECT_EQ(ToQtFilter("媒体文件|*.mp4|其他|*.*"), "媒体文件 (*.mp4);;其他 (*.*)");
    EXPECT_EQ(FileNameText({}, true), "");
    EXPECT_EQ(FileNameText({"/v/a.mp4"}, true), "/v/a.mp4");
    EXPECT_EQ(FileNameText({"/v/a.mp4", "/v/b.mp4"}, true), QString("/v") + QChar(0) + "a.mp4" + QChar(0) + "b.mp4");
    EXPECT_EQ(FileNameText({"/a.mp4", "/b.mp4"}, true), QString("/") + QChar(0) + "a.mp4" + QChar(0) + "b.mp4");
    // Files from other folders come whole.
    EXPECT_EQ(FileNameText({"/v/a.mp4", "/v/sub/b.mp4", "/w/c.mp4"}, true),
              QStringList({"/v", "a.mp4", "/v/sub/b.mp4", "/w/c.mp4"}).join(QChar(0)));
}

namespace {

// Shows a real box and, once it is up, lets `act` answer it.
MsgResult answerBox(MsgButtons buttons, int defaultButton, int escapeButton,
                    const std::function<void(QWidget*)>& act) {
    QtDialogs dialogs;
    bool acted = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        QWidget* box = QApplication::activeModalWidget();
        if (!box || acted) return;
        acted = true;
        act(box);
    });
    poll.start(10);
    return dialogs.Message("?", "消息", MsgIcon::Exclamation, buttons, defaultButton, escapeButton);
}

void key(QWidget* box, Qt::Key k) { QTest::keyClick(box, k); }

}  // namespace

TEST(Dialogs, EscapeAndClosingChooseTheEscapeButton) {
    // The pure rule, for every set of buttons.
    EXPECT_EQ(EscapeAnswer(MsgButtons::Ok), MsgResult::Ok);
    EXPECT_EQ(EscapeAnswer(MsgButtons::OkCancel), MsgResult::Cancel);
    EXPECT_EQ(EscapeAnswer(MsgButtons::YesNo), MsgResult::No);
    EXPECT_EQ(EscapeAnswer(MsgButtons::YesNoCancel), MsgResult::Cancel);
    EXPECT_EQ(EscapeAnswer(MsgButtons::RetryCancel), MsgResult::Cancel);
    EXPECT_EQ(EscapeAnswer(MsgButtons::AbortRetryIgnore), MsgResult::Abort);
    EXPECT_EQ(EscapeAnswer(MsgButtons::YesNo, 0), MsgResult::Yes);
    EXPECT_EQ(EscapeAnswer(MsgButtons::YesNo, 5), MsgResult::No);  // out of range: the cancelling one

    // Real boxes answered by keys and by closing.
    const auto escape = [](QWidget* b) { key(b, Qt::Key_Escape); };
    const auto close = [](QWidget* b) { b->close(); };
    EXPECT_EQ(answerBox(MsgButtons::YesNo, 0, 0, escape), MsgResult::Yes);
    EXPECT_EQ(answerBox(MsgButtons::YesNo, 0, 0, close), MsgResult::Yes);
    EXPECT_EQ(answerBox(MsgButtons::YesNo, 0, 0, [](QWidget* b) { key(b, Qt::Key_N); }), MsgResult::No);
    EXPECT_EQ(answerBox(MsgButtons::YesNo, 0, 0, [](QWidget* b) { key(b, Qt::Key_Return); }), MsgResult::Yes);
    // Every other box keeps its cancelling answer.
    EXPECT_EQ(answerBox(MsgButtons::YesNo, 0, -1, escape), MsgResult::No);
    EXPECT_EQ(answerBox(MsgButtons::YesNo, 0, -1, close), MsgResult::No);
    EXPECT_EQ(answerBox(MsgButtons::OkCancel, 1, -1, escape), MsgResult::Cancel);
    EXPECT_EQ(answerBox(MsgButtons::Ok, 0, -1, escape), MsgResult::Ok);
}

#include "PlatformTest.moc"
