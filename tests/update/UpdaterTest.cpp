// The version check at start-up and the update button's flow, against a
// loopback host, with scripted dialogs and a fake shell.
#include "FileChecks.h"
#include "LoopbackServer.h"
#include "WindowWatcher.h"
#include "support/FormFixture.h"
#include "update/UpdateHost.h"
#include "update/Updater.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

const QString kCaption = QStringLiteral("沃岑视频封面批量替换器");
const QString kIntro = QStringLiteral(
    "如果自动更新失败，或者人工下载升级包之后解压覆盖原来的，\r\n报告压缩包损坏，请更改的解压缩软件后再尝试解压！");
const QString kInstall = QStringLiteral(
    "资源文件缺失，请先安装默认经典的WinRAR解压缩应用程序！\r\n"
    "对不起！有意不支持您本机安装的非经典的360、2345、便压等等解压缩程序。"
    "如果您的系统为win7及以上版本，WinRAR安装完毕之后，请务必： \r\n"
    "右键WinRAR.exe->属性->兼容性->兼容xp3且勾选始终以管理员权限运行");
const QString kStillMissing = QStringLiteral("资源文件缺失，请先安装WinRAR解压缩应用程序！");
const QString kDownloaded = QStringLiteral(
    "更新升级文件包下载完毕！即将自动解压覆盖原文件以完成更新升级！\r\n"
    "如果自动解压以完成更新升级失败，请人工右键选中的【Plindor.rar】，\r\n"
    "执行解压到当前文件夹下覆盖所有即可成功完成更新升级！");
const QString kFailed = QStringLiteral("更新升级文件包下载失败，请稍后重试！");

bool green(const QPushButton* b) { return b->styleSheet().contains("rgb(0, 255, 0)"); }

Reply body(const QByteArray& b) {
    Reply r;
    r.body = b;
    return r;
}

QStringList texts(const FakeDialogs& d) {
    QStringList l;
    for (const auto& m : d.messages) l << m.text;
    return l;
}

// A window loaded against the loopback host, with an update on offer.
struct UpdateFixture {
    LoopbackServer server;
    std::unique_ptr<ScopedEnv> base;
    FormFixture fx;
    Form1* f = nullptr;
    QByteArray package = QByteArray(70000, 'P');

    explicit UpdateFixture(bool archiver) {
        base = std::make_unique<ScopedEnv>("PLINDOR_UPDATE_BASE", server.Base().toUtf8());
        server.Set("/downs/Plindor.txt", body("24"));
        server.Set("/downs/Plindor.rar", body(package));
        server.Set("/downs/wrar411sc.rar", body("installer"));
        EXPECT_TRUE(fx.Load());
        f = fx.form.get();
        f->updater->ArchiverLookup = [archiver] { return archiver ? QString("/usr/bin/unrar") : QString(); };
        f->updater->ArchiverWaitSeconds = 1;
        f->show();
    }
};

}  // namespace

TEST(VersionCheck, OffersAnUpdateOnlyForADifferentNumber) {
    struct Case {
        QByteArray file;
        bool offered;
        bool green;
    } cases[] = {
        {"023", false, false}, {"23", false, false},  {" 23 ", false, false}, {"23\r\n24\r\n", false, false},
        {"24", true, true},    {"22", true, true},    {"abc", true, true},   {"\n", true, true},
        {"", false, true},  // no line at all: nothing learnt, nothing offered
    };
    for (const auto& c : cases) {
        LoopbackServer server;
        ScopedEnv base("PLINDOR_UPDATE_BASE", server.Base().toUtf8());
        server.Set("/downs/Plindor.txt", body(c.file));
        FormFixture fx;
        ASSERT_TRUE(fx.Load());
        Form1& f = *fx.form;
        const std::string name = c.file.toStdString();
        EXPECT_EQ(server.Requests("/downs/Plindor.txt"), 1) << name;
        EXPECT_EQ(f.CmdUpdate->isEnabled(), c.offered) << name;
        EXPECT_EQ(green(f.CmdUpdate), c.green) << name;
        EXPECT_EQ(f.windowTitle(), c.offered ? kCaption + "    发现有更新版本" : kCaption) << name;
        EXPECT_TRUE(QFileInfo::exists(fx.AppPath() + "/Plindor.txt"));
        EXPECT_TRUE(fx.dialogs.messages.empty());
    }
}

TEST(VersionCheck, UnreachableHostKeepsTheDesignState) {
    {
        FormFixture fx;  // the default test base: nothing listens there
        ASSERT_TRUE(fx.Load());
        EXPECT_FALSE(fx.form->CmdUpdate->isEnabled());
        EXPECT_TRUE(green(fx.form->CmdUpdate));
        EXPECT_EQ(fx.form->windowTitle(), kCaption);
    }
    {
        LoopbackServer server;  // host up, file missing
        ScopedEnv base("PLINDOR_UPDATE_BASE", server.Base().toUtf8());
        FormFixture fx;
        ASSERT_TRUE(fx.Load());
        EXPECT_FALSE(fx.form->CmdUpdate->isEnabled());
        EXPECT_TRUE(green(fx.form->CmdUpdate));
        EXPECT_TRUE(fx.dialogs.messages.empty());
    }
}

TEST(VersionCheck, SilentHostIsGivenUpOnInsteadOfHoldingStartUp) {
    LoopbackServer server;
    ScopedEnv base("PLINDOR_UPDATE_BASE", server.Base().toUtf8());
    Reply r;
    r.body = "24";
    r.stallAfter = 0;
    server.Set("/downs/Plindor.txt", r);
    QTemporaryDir dir;
    TransferLimits limits;
    limits.totalMs = 1000;
    EXPECT_FALSE(DownloadFileNoCache(server.Base() + "downs/Plindor.txt", dir.path() + "/v.txt", limits));
}

TEST(VersionCheck, StartUpShowsTheWindowSoonWhateverTheHostDoes) {
    Reply silent;  // accepts and never answers
    silent.silent = true;
    Reply trickle;  // 2 bytes a second
    trickle.body = "24\r\n# the latest version\r\n";
    trickle.pieceSize = 2;
    trickle.pieceDelayMs = 1000;
    Reply stalled;  // 100 bytes, then silence
    stalled.body = QByteArray("24\r\n") + QByteArray(300, '#');
    stalled.stallAfter = 100;
    Reply huge;  // 512 MiB, of which only the first line matters
    huge.body = "24\r\n";
    huge.fillTo = 512ll << 20;
    struct Case {
        const char* name;
        Reply reply;
        bool offered;
    } cases[] = {{"silent", silent, false}, {"trickle", trickle, false}, {"stalled", stalled, false}, {"huge", huge, true}};

    for (const auto& c : cases) {
        LoopbackServer server;
        ScopedEnv base("PLINDOR_UPDATE_BASE", server.Base().toUtf8());
        server.Set("/downs/Plindor.txt", c.reply);
        FormFixture fx;
        const QString versionFile = fx.AppPath() + "/Plindor.txt";
        ASSERT_TRUE(WriteAll(versionFile, "22\r\n"));  // from an earlier start
        QElapsedTimer t;
        t.start();
        ASSERT_TRUE(fx.Load());
        // The check gives up after 2 s; the bound leaves room for a busy machine.
        EXPECT_LT(t.elapsed(), 4000) << c.name;
        Form1& f = *fx.form;
        EXPECT_EQ(f.CmdUpdate->isEnabled(), c.offered) << c.name;
        EXPECT_TRUE(green(f.CmdUpdate));
        if (c.offered) {
            const QByteArray kept = ReadAll(versionFile);
            EXPECT_TRUE(kept.startsWith("24\r\n")) << c.name;
            EXPECT_LE(kept.size(), 4096) << c.name;
        } else {
            EXPECT_EQ(ReadAll(versionFile), "22\r\n") << c.name;
        }
        for (const QString& name : NamesIn(fx.AppPath())) EXPECT_FALSE(name.startsWith('.')) << name.toStdString();
        EXPECT_TRUE(fx.dialogs.messages.empty());
    }
}

TEST(UpdateFlow, WithArchiverGoesStraightToThePackageAndHandsItOver) {
    UpdateFixture u(true);
    Form1& f = *u.f;
    ASSERT_TRUE(f.CmdUpdate->isEnabled());
    u.fx.shell.startResult = 33;
    bool hiddenWhileDownloading = false, frameOffWhileDownloading = false;
    u.fx.dialogs.onMessage = [&](const RecordedMessage& m) {
        if (m.text != kDownloaded) return;
        hiddenWhileDownloading = !f.isVisible();
        frameOffWhileDownloading = !f.Frame1->isEnabled();
    };
    f.CmdUpdate->click();

    EXPECT_EQ(texts(u.fx.dialogs), (QStringList{kIntro, kDownloaded}));
    EXPECT_EQ(u.fx.dialogs.messages[0].icon, MsgIcon::Information);
    EXPECT_EQ(u.fx.dialogs.messages[0].title, "消息");
    EXPECT_TRUE(hiddenWhileDownloading);
    EXPECT_TRUE(frameOffWhileDownloading);
    EXPECT_EQ(u.server.Requests("/downs/wrar411sc.rar"), 0);

    const QString package = u.fx.AppPath() + "/Plindor.rar";
    QFile pf(package);
    ASSERT_TRUE(pf.open(QIODevice::ReadOnly));
    EXPECT_EQ(pf.readAll(), u.package);
    ASSERT_EQ(u.fx.shell.calls.size(), 2u);
    EXPECT_EQ(u.fx.shell.calls[0].what, "select");
    EXPECT_EQ(u.fx.shell.calls[0].target, package);
    EXPECT_EQ(u.fx.shell.calls[1].what, "start");
    EXPECT_EQ(u.fx.shell.calls[1].target, "Vorbel.exe");
    EXPECT_EQ(u.fx.shell.calls[1].workDir, u.fx.AppPath());
    EXPECT_EQ(u.fx.shell.calls[1].args,
              QStringList{package + "\t1\tPlindor\t" + kCaption + "    发现有更新版本"});
    // Not 42: the window comes back usable.
    EXPECT_EQ(u.fx.control.ended, 0);
    EXPECT_TRUE(f.isVisible());
    EXPECT_TRUE(f.Frame1->isEnabled());
    EXPECT_TRUE(f.CmdUpdate->isEnabled());
}

TEST(UpdateFlow, RestarterStartedEndsTheProgram) {
    UpdateFixture u(true);
    u.fx.shell.startResult = 42;
    u.f->updater->CmdUpdate_Click();
    EXPECT_EQ(u.fx.control.ended, 1);
    EXPECT_FALSE(u.f->isVisible());
}

TEST(UpdateFlow, PackageInTheDataFolderWhenTheProgramLiesUnderProgramFiles) {
    UpdateFixture u(true);
    u.f->ProgramFilesDir = QFileInfo(u.fx.AppPath()).absolutePath() + "/" + QFileInfo(u.fx.AppPath()).fileName();
    u.f->HasProgramData = true;
    u.fx.shell.startResult = 33;
    u.f->updater->CmdUpdate_Click();
    const QString package = updatehost::UpdateDataFolder() + "/Plindor.rar";
    EXPECT_TRUE(QFileInfo::exists(package));
    ASSERT_FALSE(u.fx.shell.calls.empty());
    EXPECT_EQ(u.fx.shell.calls[0].target, package);
    QFile::remove(package);
}

TEST(UpdateFlow, FailedPackageDownloadIsReportedAndTheWindowReturns) {
    UpdateFixture u(true);
    u.server.Set("/downs/Plindor.rar", Reply{404, "gone"});
    u.f->updater->CmdUpdate_Click();
    EXPECT_EQ(texts(u.fx.dialogs), (QStringList{kIntro, kFailed}));
    EXPECT_EQ(u.fx.dialogs.messages[1].icon, MsgIcon::Exclamation);
    EXPECT_TRUE(u.fx.shell.calls.empty());
    EXPECT_TRUE(u.f->isVisible());
    EXPECT_TRUE(u.f->Frame1->isEnabled());
    EXPECT_TRUE(u.f->CmdUpdate->isEnabled());
    EXPECT_EQ(u.fx.control.ended, 0);
}

TEST(UpdateFlow, MissingArchiverIsFetchedAndTheFlowGoesOnOnceItAppears) {
    UpdateFixture u(false);
    int lookups = 0;
    u.f->updater->ArchiverLookup = [&lookups] { return ++lookups > 3 ? QString("/usr/bin/unar") : QString(); };
    u.f->updater->ArchiverWaitSeconds = 30;  // found well before
    u.fx.shell.startResult = 33;
    u.f->updater->CmdUpdate_Click();

    EXPECT_EQ(texts(u.fx.dialogs), (QStringList{kIntro, kInstall, kDownloaded}));
    EXPECT_EQ(u.server.Requests("/downs/wrar411sc.rar"), 1);
    const QString installer = updatehost::UpdateDataFolder() + "/WinRAR.exe";
    QFile inst(installer);
    ASSERT_TRUE(inst.open(QIODevice::ReadOnly));
    EXPECT_EQ(inst.readAll(), "installer");
    ASSERT_EQ(u.fx.shell.calls.size(), 3u);
    EXPECT_EQ(u.fx.shell.calls[0].what, "open");
    EXPECT_EQ(u.fx.shell.calls[0].target, installer);
    EXPECT_EQ(u.fx.shell.calls[2].what, "start");
    QFile::remove(installer);
}

TEST(UpdateFlow, ArchiverStillMissingAsksRetryOrCancel) {
    UpdateFixture u(false);
    // Intro, install notice, Retry, install notice again, Cancel.
    u.fx.dialogs.answers = {MsgResult::Ok, MsgResult::Ok, MsgResult::Retry, MsgResult::Ok, MsgResult::Cancel};
    u.f->updater->CmdUpdate_Click();

    EXPECT_EQ(texts(u.fx.dialogs), (QStringList{kIntro, kInstall, kStillMissing, kInstall, kStillMissing}));
    EXPECT_EQ(u.fx.dialogs.messages[2].buttons, MsgButtons::RetryCancel);
    EXPECT_EQ(u.fx.dialogs.messages[2].icon, MsgIcon::Information);
    // Fetched once, started on every round.
    EXPECT_EQ(u.server.Requests("/downs/wrar411sc.rar"), 1);
    ASSERT_EQ(u.fx.shell.calls.size(), 2u);
    EXPECT_EQ(u.fx.shell.calls[0].what, "open");
    EXPECT_EQ(u.fx.shell.calls[1].what, "open");
    EXPECT_EQ(u.server.Requests("/downs/Plindor.rar"), 0);
    EXPECT_TRUE(u.f->isVisible());
    EXPECT_TRUE(u.f->Frame1->isEnabled());
    QFile::remove(updatehost::UpdateDataFolder() + "/WinRAR.exe");
}

TEST(UpdateFlow, DisabledButtonOnlyBeeps) {
    FormFixture fx;
    ASSERT_TRUE(fx.Load());
    fx.form->updater->CmdUpdate_Click();
    EXPECT_EQ(fx.dialogs.beeps, 1);
    EXPECT_TRUE(fx.dialogs.messages.empty());
}

TEST(UpdateHost, BaseAddressAndArchiverLookup) {
    {
        ScopedEnv base("PLINDOR_UPDATE_BASE", "http://127.0.0.1:8080/x");
        EXPECT_EQ(updatehost::Base(), "http://127.0.0.1:8080/x/");
    }
    {
        ScopedEnv base("PLINDOR_UPDATE_BASE", "");
        EXPECT_EQ(updatehost::Base(), QString::fromLatin1(updatehost::DefaultBase));
    }
    QTemporaryDir bin;
    {
        ScopedEnv path("PATH", bin.path().toUtf8());
        EXPECT_EQ(updatehost::FindArchiver(), "");
        QFile unar(bin.path() + "/unar");
        ASSERT_TRUE(unar.open(QIODevice::WriteOnly));
        unar.write("#!/bin/sh\n");
        unar.close();
        unar.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        EXPECT_EQ(updatehost::FindArchiver(), bin.path() + "/unar");
    }
    EXPECT_TRUE(updatehost::UpdateDataFolder().endsWith("/Plindor"));
    EXPECT_FALSE(updatehost::UpdateDataFolder().startsWith(QDir::homePath() + "/.local"));
}

TEST(UpdateFlow, StalledPackageDownloadFailsAndTheEarlierPackageStays) {
    UpdateFixture u(true);
    Reply stalled;  // 100 of 300 000 bytes, then silence
    stalled.body = Pattern(300000);
    stalled.stallAfter = 100;
    u.server.Set("/downs/Plindor.rar", stalled);
    u.f->updater->downloads.Limits.stallMs = 1000;
    const QString package = u.fx.AppPath() + "/Plindor.rar";
    const QByteArray earlier = Pattern(400000, 'A');
    ASSERT_TRUE(WriteAll(package, earlier));

    QElapsedTimer t;
    t.start();
    u.f->updater->CmdUpdate_Click();
    EXPECT_LT(t.elapsed(), 15000);
    EXPECT_EQ(texts(u.fx.dialogs), (QStringList{kIntro, kFailed}));
    EXPECT_TRUE(ReadAll(package) == earlier);
    for (const QString& name : NamesIn(u.fx.AppPath())) EXPECT_FALSE(name.startsWith('.')) << name.toStdString();
    EXPECT_TRUE(u.fx.shell.calls.empty());
    EXPECT_TRUE(u.f->isVisible());
    EXPECT_TRUE(u.f->Frame1->isEnabled());
    EXPECT_EQ(u.fx.control.ended, 0);
}

TEST(UpdateFlow, EveryBoxComesUpOverTheWindowTheUserSees) {
    UpdateFixture u(false);
    u.fx.dialogs.SetParent(u.f);  // as the program sets it up
    const Reply slow = Reply::Trickle(Pattern(60000), 6000, 50);
    u.server.Set("/downs/Plindor.rar", slow);
    int lookups = 0;
    u.f->updater->ArchiverLookup = [&lookups] { return ++lookups > 3 ? QString("/usr/bin/unar") : QString(); };
    u.fx.shell.startResult = 33;
    // The user presses the download window's cancel once and declines.
    const QWidget* window = nullptr;
    WindowWatcher watch(u.f->updater->downloads, [&](frmDnLoad& w) {
        if (!w.CmdCancel->isEnabled() || !w.windowTitle().contains("升级文件下载中")) return false;
        window = &w;
        w.CmdCancel->click();
        return true;
    });
    u.f->updater->CmdUpdate_Click();

    const QString kCancel = QStringLiteral("取消下载？");
    ASSERT_EQ(texts(u.fx.dialogs), (QStringList{kIntro, kInstall, kCancel, kDownloaded}));
    const auto& m = u.fx.dialogs.messages;
    EXPECT_EQ(m[0].parent, u.f);  // the main window, still showing
    EXPECT_TRUE(m[0].parentVisible);
    // While the main window is hidden and no download window shows: a box of its own.
    EXPECT_EQ(m[1].parent, nullptr);
    EXPECT_EQ(m[3].parent, nullptr);
    // Over the topmost download window while it shows.
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(m[2].parent, window);
    EXPECT_TRUE(m[2].parentVisible);
    EXPECT_EQ(u.fx.dialogs.Parent(), u.f);
    EXPECT_TRUE(u.f->isVisible());
    QFile::remove(updatehost::UpdateDataFolder() + "/WinRAR.exe");
}
