#include "batch/OutputNaming.h"
#include "batch/SourceReplace.h"
#include "platform/FileOps.h"
#include "ScratchMounts.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <functional>

#include <unistd.h>
#include <sys/stat.h>
#include <sys/xattr.h>

namespace {

bool Write(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

QByteArray Read(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

fileops::FileStamp Stamp(const QString& path) { return fileops::StampOf(path).value_or(fileops::FileStamp{}); }

QStringList Names(const QString& folder) {
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

// An ACL in the kernel's form: the owner's, the group's and the others'
// bits, with one more user and the mask when `user` is set.
QByteArray Acl(unsigned owner, unsigned group, unsigned other, unsigned user = 0, unsigned bits = 0) {
    QByteArray a;
    const auto u16 = [&](unsigned v) { a.append(char(v & 0xff)).append(char(v >> 8)); };
    const auto entry = [&](unsigned tag, unsigned perm, unsigned id) { u16(tag), u16(perm), u16(id & 0xffff), u16(id >> 16); };
    u16(2), u16(0);
    entry(0x01, owner, ~0u);
    if (user) entry(0x02, bits, user);
    entry(0x04, group, ~0u);
    if (user) entry(0x10, bits | group, ~0u);
    entry(0x20, other, ~0u);
    return a;
}

QByteArray Attribute(const QString& path, const char* name) {
    char value[512];
    const ssize_t n = ::lgetxattr(QFile::encodeName(path).constData(), name, value, sizeof value);
    return n < 0 ? QByteArray() : QByteArray(value, static_cast<int>(n));
}

bool SetAttribute(const QString& path, const char* name, const QByteArray& value) {
    return ::lsetxattr(QFile::encodeName(path).constData(), name, value.constData(), value.size(), 0) == 0;
}

// The replacement's work files left in a folder.
QStringList WorkNames(const QString& folder) { return Names(folder).filter(QRegularExpression("^\\.plw-")); }

}  // namespace

TEST(OutputNaming, StemsAndExtensions) {
    struct Case {
        QString path, stem, ext;
    };
    for (const Case& c : {Case{"clip.mp4", "clip", ".mp4"}, Case{"a.b.c.MP4", "a.b.c", ".MP4"},
                          Case{"noext", "noext", ""}, Case{".hidden", "", ".hidden"}, Case{"end.", "end", "."}}) {
        EXPECT_EQ(naming::StemOf(c.path), c.stem) << c.path.toStdString();
        EXPECT_EQ(naming::ExtensionOf(c.path), c.ext) << c.path.toStdString();
    }
    // A dot in a folder is no extension.
    EXPECT_EQ(naming::ExtensionOf("/v/x.y/noext"), "");
    EXPECT_EQ(naming::BaseStemOf("/v/base.mp4"), "base");
    EXPECT_EQ(naming::BaseStemOf("/v/my.base.mp4"), "my.base");
    EXPECT_EQ(naming::BaseStemOf("基准视频未指定"), "基准视频未指定");
    EXPECT_EQ(naming::TempOutputFile("/app", "/v/Clip.Final.MP4"), "/app/Tmp.MP4");
}

TEST(OutputNaming, PathsPerMode) {
    naming::PathInputs in;
    in.outputDir = "/out/";
    in.baseStem = "base";
    in.grabbedFrameFile = "/app/Tmp.png";

    // Mode 0: the base video for every row, named by row number or by cover.
    in.mode = 0;
    in.baseCaption = "/v/base.mp4";
    in.fileName = "sun.jpg";
    in.folder = "/pics";
    in.currentRow = 3;
    in.chNum = true;
    in.chSaveAs = true;
    naming::RowPaths p = naming::ChoosePaths(in);
    EXPECT_EQ(p.sourceFile, "/v/base.mp4");
    EXPECT_EQ(p.coverFile, "/pics/sun.jpg");
    EXPECT_EQ(p.outputPath, "/out//base(3).mp4");
    in.chNum = false;
    EXPECT_EQ(naming::ChoosePaths(in).outputPath, "/out//base_sun.mp4");
    in.fileName = "sun.png";  // same stem, same output: the later row wins
    EXPECT_EQ(naming::ChoosePaths(in).outputPath, "/out//base_sun.mp4");

    // Mode 1: the row's own cover.
    in.mode = 1;
    in.fileName = "clip.mp4";
    in.folder = "/v";
    in.partnerFile = "/c/front.png";
    in.chSaveAs = true;
    p = naming::ChoosePaths(in);
    EXPECT_EQ(p.sourceFile, "/v/clip.mp4");
    EXPECT_EQ(p.coverFile, "/c/front.png");
    EXPECT_EQ(p.outputPath, "/out//clip_front.mp4");
    in.chSaveAs = false;
    EXPECT_EQ(naming::ChoosePaths(in).outputPath, "/v/clip.mp4");

    // Mode 2: the one cover of LBase.
    in.mode = 2;
    in.baseCaption = "/c/one.jpg";
    in.chSaveAs = true;
    p = naming::ChoosePaths(in);
    EXPECT_EQ(p.coverFile, "/c/one.jpg");
    EXPECT_EQ(p.outputPath, "/out//clip.mp4");

    // Mode 3: the grabbed frame.
    in.mode = 3;
    in.chSaveAs = false;
    p = naming::ChoosePaths(in);
    EXPECT_EQ(p.coverFile, "/app/Tmp.png");
    EXPECT_EQ(p.outputPath, "/v/clip.mp4");

    EXPECT_EQ(naming::ChoosePaths({4}).outputPath, "");
}

TEST(OutputNaming, SameFileSeesThroughDoubledSlashesAndLinks) {
    QTemporaryDir dir;
    const QString a = dir.path() + "/a.mp4";
    ASSERT_TRUE(Write(a, "x"));
    ASSERT_TRUE(QFile::link(a, dir.path() + "/link.mp4"));
    EXPECT_TRUE(naming::SameFile(dir.path() + "//a.mp4", a));
    EXPECT_TRUE(naming::SameFile(dir.path() + "/./a.mp4", a));
    EXPECT_TRUE(naming::SameFile(dir.path() + "/link.mp4", a));
    EXPECT_FALSE(naming::SameFile(dir.path() + "/b.mp4", a));
    EXPECT_FALSE(naming::SameFile("", a));
}

TEST(SourceReplace, PutsTheNewContentInPlaceKeepingPermissions) {
    QTemporaryDir dir;
    const QString target = dir.path() + "/v.mp4";
    const QString fresh = dir.path() + "/Tmp.mp4";
    ASSERT_TRUE(Write(target, "old"));
    ASSERT_TRUE(Write(fresh, "new content"));
    QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup);

    int asked = 0;
    EXPECT_EQ(replace::PutInPlace(fresh, target, Stamp(target), [&](const QString&) { return ++asked, false; }),
              replace::Outcome::Placed);
    EXPECT_EQ(asked, 0);
    EXPECT_EQ(Read(target), "new content");
    EXPECT_FALSE(QFileInfo::exists(fresh));  // on one file system the work file itself moved
    struct stat st;
    ASSERT_EQ(::stat(QFile::encodeName(target).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);

    // The owner too, where it may be set.
    if (::geteuid() == 0) {
        ASSERT_TRUE(Write(fresh, "newer"));
        ASSERT_EQ(::chown(QFile::encodeName(target).constData(), 65534, 65534), 0);
        EXPECT_EQ(replace::PutInPlace(fresh, target, Stamp(target), {}), replace::Outcome::Placed);
        ASSERT_EQ(::stat(QFile::encodeName(target).constData(), &st), 0);
        EXPECT_EQ(st.st_uid, 65534u);
        EXPECT_EQ(st.st_gid, 65534u);
        EXPECT_EQ(Read(target), "newer");
    }
    EXPECT_EQ(Names(dir.path()), QStringList{"v.mp4"});
}

TEST(SourceReplace, ALinkStaysALinkAndTheFileBehindItChanges) {
    QTemporaryDir dir;
    QDir().mkpath(dir.path() + "/real");
    const QString real = dir.path() + "/real/v.mp4";
    const QString link = dir.path() + "/v.mp4";
    const QString fresh = dir.path() + "/Tmp.mp4";
    ASSERT_TRUE(Write(real, "old"));
    QFile::setPermissions(real, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup);
    ASSERT_TRUE(QFile::link("real/v.mp4", link));  // relative, as users make them
    ASSERT_TRUE(Write(fresh, "new content"));
    EXPECT_EQ(replace::PutInPlace(fresh, link, Stamp(link), {}), replace::Outcome::Placed);
    EXPECT_EQ(QFileInfo(link).symLinkTarget(), real);
    EXPECT_EQ(Read(real), "new content");
    struct stat st;
    ASSERT_EQ(::stat(QFile::encodeName(real).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_EQ(Names(dir.path() + "/real"), QStringList{"v.mp4"});

    // A link that leads nowhere, or to a folder, is left as it is.
    ASSERT_TRUE(QFile::link(dir.path() + "/gone.mp4", dir.path() + "/dangling.mp4"));
    ASSERT_TRUE(QFile::link(dir.path() + "/real", dir.path() + "/folder.mp4"));
    for (const QString& bad : {dir.path() + "/dangling.mp4", dir.path() + "/folder.mp4"}) {
        ASSERT_TRUE(Write(fresh, "newer"));
        EXPECT_EQ(replace::PutInPlace(fresh, bad, fileops::FileStamp{}, {}), replace::Outcome::Failed)
            << bad.toStdString();
        EXPECT_TRUE(QFileInfo(bad).isSymLink());
    }
    EXPECT_EQ(QFileInfo(dir.path() + "/dangling.mp4").symLinkTarget(), dir.path() + "/gone.mp4");
    EXPECT_FALSE(QFileInfo::exists(dir.path() + "/gone.mp4"));
}

TEST(SourceReplace, OnlyTheFileThatWasReadIsReplaced) {
    QTemporaryDir dir;
    const QString target = dir.path() + "/v.mp4";
    const QString fresh = dir.path() + "/Tmp.mp4";
    const QString other = dir.path() + "/other.mp4";
    struct Case {
        const char* what;
        std::function<void()> change;
        QByteArray left;  // at the target afterwards; empty: nothing there
    };
    const std::vector<Case> cases{
        // Another program's copy renamed over it.
        {"replaced",
         [&] {
             Write(other, "newer file");
             ::rename(QFile::encodeName(other).constData(), QFile::encodeName(target).constData());
         },
         "newer file"},
        {"deleted", [&] { QFile::remove(target); }, ""},
        {"rewritten", [&] { Write(target, "old, longer"); }, "old, longer"},
        // A second name: the result would reach one name only.
        {"linked", [&] { ::link(QFile::encodeName(target).constData(), QFile::encodeName(other).constData()); }, "old"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QFile::remove(other);
        ASSERT_TRUE(Write(target, "old"));
        ASSERT_TRUE(Write(fresh, "result"));
        const fileops::FileStamp read = Stamp(target);
        c.change();
        EXPECT_EQ(replace::PutInPlace(fresh, target, read, {}), replace::Outcome::Failed);
        EXPECT_EQ(QFileInfo::exists(target), !c.left.isEmpty());
        if (!c.left.isEmpty()) EXPECT_EQ(Read(target), c.left);
        EXPECT_EQ(WorkNames(dir.path()), QStringList());
    }
    // Unchanged, it is replaced.
    QFile::remove(other);
    ASSERT_TRUE(Write(fresh, "result"));
    EXPECT_EQ(replace::PutInPlace(fresh, target, Stamp(target), {}), replace::Outcome::Placed);
    EXPECT_EQ(Read(target), "result");
}

TEST(SourceReplace, NoOneGainsAccessThroughTheReplacement) {
    ScratchMount m(512);
    QTemporaryDir dir;
    QStringList results{dir.path()};  // on the target's file system, and on another
    if (m.ok()) results << m.path();
    const QString folder = dir.path() + "/shared";
    ASSERT_TRUE(QDir().mkpath(folder));
    // New files in the folder would let user 1001 write them.
    ASSERT_TRUE(SetAttribute(folder, "system.posix_acl_default", Acl(7, 7, 5, 1001, 7)));
    const QString target = folder + "/v.mp4";
    for (const QString& from : results) {
        SCOPED_TRACE(from.toStdString());
        QFile::remove(target);
        ASSERT_TRUE(Write(target, "old"));
        ASSERT_EQ(::removexattr(QFile::encodeName(target).constData(), "system.posix_acl_access"), 0);
        ASSERT_EQ(::chmod(QFile::encodeName(target).constData(), 0600), 0);
        // The result carries an ACL and a mark of its own.
        const QString fresh = from + "/Tmp.mp4";
        ASSERT_TRUE(Write(fresh, "new"));
        ASSERT_TRUE(SetAttribute(fresh, "system.posix_acl_access", Acl(6, 6, 4, 1002, 6)));
        ASSERT_TRUE(SetAttribute(fresh, "user.plindor.own", "1"));
        EXPECT_EQ(replace::PutInPlace(fresh, target, Stamp(target), {}), replace::Outcome::Placed);
        EXPECT_EQ(Read(target), "new");
        EXPECT_EQ(Attribute(target, "system.posix_acl_access"), QByteArray());
        EXPECT_EQ(Attribute(target, "user.plindor.own"), QByteArray());
        struct stat st;
        ASSERT_EQ(::stat(QFile::encodeName(target).constData(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0600u);
        QFile::remove(fresh);
    }
}

TEST(SourceReplace, AFailedCopyLeavesTheTargetAsItWas) {
    QTemporaryDir dir;
    const QString target = dir.path() + "/v.mp4";
    ASSERT_TRUE(Write(target, "old"));
    EXPECT_EQ(replace::PutInPlace(dir.path() + "/missing.mp4", target, Stamp(target), {}), replace::Outcome::Failed);
    EXPECT_EQ(Read(target), "old");
    EXPECT_EQ(Names(dir.path()), QStringList{"v.mp4"});
}

TEST(SourceReplace, ReadOnlyFolderFailsWithoutTouchingTheTarget) {
    ScratchMount m(512);
    if (!m.ok()) GTEST_SKIP() << "needs the right to mount a tmpfs";
    QTemporaryDir dir;
    const QString fresh = dir.path() + "/Tmp.mp4";
    ASSERT_TRUE(Write(fresh, "new"));
    const QString target = m.path() + "/v.mp4";
    ASSERT_TRUE(Write(target, "old"));
    ASSERT_TRUE(m.MakeReadOnly());
    EXPECT_EQ(replace::PutInPlace(fresh, target, Stamp(target), {}), replace::Outcome::Failed);
    EXPECT_EQ(Read(target), "old");
}

TEST(SourceReplace, DiskFullAsksAndRetriesOrGivesUp) {
    ScratchMount m(256);
    if (!m.ok()) GTEST_SKIP() << "needs the right to mount a tmpfs";
    QTemporaryDir dir;
    const QString fresh = dir.path() + "/Tmp.mp4";
    ASSERT_TRUE(Write(fresh, QByteArray(100 * 1024, 'n')));
    const QString target = m.path() + "/v.mp4";
    ASSERT_TRUE(Write(target, "old"));
    ASSERT_TRUE(m.Fill("filler", 16));

    QStringList asked;
    EXPECT_EQ(replace::PutInPlace(fresh, target, Stamp(target), [&](const QString& mp) { return asked << mp, false; }),
              replace::Outcome::Cancelled);
    EXPECT_EQ(asked, QStringList{m.path()});
    EXPECT_EQ(Read(target), "old");
    EXPECT_EQ(WorkNames(m.path()), QStringList());

    // Retry after space was freed.
    asked.clear();
    EXPECT_EQ(replace::PutInPlace(fresh, target, Stamp(target),
                                  [&](const QString& mp) {
                                      asked << mp;
                                      return QFile::remove(m.path() + "/filler");
                                  }),
              replace::Outcome::Placed);
    EXPECT_EQ(asked.size(), 1);
    EXPECT_EQ(Read(target), QByteArray(100 * 1024, 'n'));
    EXPECT_EQ(Names(m.path()), QStringList{"v.mp4"});
    EXPECT_EQ(replace::DiskFullText("/mnt/x"), "/mnt/x盘磁盘空间不足，请释放空间后重试保存！");
}
