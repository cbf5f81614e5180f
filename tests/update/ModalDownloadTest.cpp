// The download window: modal download, its texts, cancel and the connection wait.
#include "FileChecks.h"
#include "LoopbackServer.h"
#include "WindowWatcher.h"
#include "support/Fakes.h"
#include "update/ModalDownload.h"
#include "update/frmDnLoad.h"

#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

namespace {

struct ModalFixture {
    FakeDialogs dialogs;
    FakeShell shell;
    FakeProcessList processes;
    FakeSettings settings;
    FakeAppControl control;
    ModalDownload dl{Services{&dialogs, &shell, &processes, &settings, &control}};
    LoopbackServer server;
    QTemporaryDir dir;
};

}  // namespace

TEST(ModalDownload, CompletesInATopmostWindowThatGoesAway) {
    ModalFixture fx;
    const Reply r = Reply::Trickle(Pattern(120000), 20000, 40);
    fx.server.Set("/downs/Plindor.rar", r);
    fx.dl.DownloadWindowCaption = "标题....升级文件下载中...";

    QString caption;
    bool topmost = false, visible = false, cancelEnabled = false;
    WindowWatcher watch(fx.dl, [&](frmDnLoad& w) {
        caption = w.windowTitle();
        topmost = w.windowFlags().testFlag(Qt::WindowStaysOnTopHint);
        visible = w.isVisible();
        cancelEnabled = w.CmdCancel->isEnabled();
        return cancelEnabled;
    });
    const QString target = fx.dir.path() + "/Plindor.rar";
    EXPECT_TRUE(fx.dl.DownloadWithProgress(fx.server.Base() + "downs/Plindor.rar", target));
    EXPECT_EQ(fx.dl.DownloadPercent, 100);
    EXPECT_EQ(fx.dl.DownloadUrl, fx.server.Base() + "downs/Plindor.rar");
    EXPECT_EQ(fx.dl.DownloadTarget, target);
    EXPECT_TRUE(watch.Done());
    EXPECT_EQ(caption, "标题....升级文件下载中...");
    EXPECT_TRUE(topmost);
    EXPECT_TRUE(visible);
    EXPECT_EQ(fx.dl.DnLoad(), nullptr);
    QFile f(target);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), r.body);
    EXPECT_TRUE(fx.dialogs.messages.empty());
}

TEST(ModalDownload, FailureReturnsFalseWithoutAMessage) {
    ModalFixture fx;
    EXPECT_FALSE(fx.dl.DownloadWithProgress(fx.server.Base() + "downs/missing.rar", fx.dir.path() + "/m.rar"));
    EXPECT_EQ(fx.dl.DownloadPercent, 0);
    EXPECT_TRUE(fx.dialogs.messages.empty());
    EXPECT_EQ(fx.control.ended, 0);
    EXPECT_FALSE(QFile::exists(fx.dir.path() + "/m.rar"));
}

TEST(ModalDownload, TargetIsCutAtItsLastQuestionMark) {
    ModalFixture fx;
    Reply r;
    r.body = "payload";
    fx.server.Set("/f", r);
    EXPECT_TRUE(fx.dl.DownloadWithProgress(fx.server.Base() + "f", fx.dir.path() + "/f.rar?v=2"));
    EXPECT_TRUE(QFile::exists(fx.dir.path() + "/f.rar"));
    EXPECT_FALSE(QFile::exists(fx.dir.path() + "/f.rar?v=2"));
}

TEST(ModalDownload, StalledWithoutLengthTimesOutWithoutEndingTheProgram) {
    ModalFixture fx;
    Reply r;
    r.body = Pattern(500);
    r.sendLength = false;
    r.stallAfter = 20;
    fx.server.Set("/stall", r);
    fx.dl.ConnectionWaitSeconds = 1;
    QString lastLabel;
    WindowWatcher watch(fx.dl, [&](frmDnLoad& w) {
        lastLabel = w.Label1->text();
        return false;
    });
    EXPECT_FALSE(fx.dl.DownloadWithProgress(fx.server.Base() + "stall", fx.dir.path() + "/s"));
    EXPECT_EQ(fx.control.ended, 0);
    EXPECT_TRUE(fx.dialogs.messages.empty());
    EXPECT_EQ(lastLabel, "正在检查文件下载相关信息中...连接中0kb");
}

TEST(ModalDownload, DecliningTheCancelQuestionLetsTheDownloadGoOn) {
    ModalFixture fx;
    const Reply r = Reply::Trickle(Pattern(60000), 6000, 50);
    fx.server.Set("/slow", r);
    fx.dialogs.answers = {MsgResult::Cancel};
    frmDnLoad* window = nullptr;
    WindowWatcher watch(fx.dl, [&](frmDnLoad& w) {
        if (!w.CmdCancel->isEnabled()) return false;
        window = &w;
        w.CmdCancel->click();
        return true;
    });
    EXPECT_TRUE(fx.dl.DownloadWithProgress(fx.server.Base() + "slow", fx.dir.path() + "/slow"));
    ASSERT_EQ(fx.dialogs.messages.size(), 1u);
    const auto& m = fx.dialogs.messages[0];
    EXPECT_EQ(m.text, "取消下载？");
    EXPECT_EQ(m.title, "消息");
    EXPECT_EQ(m.icon, MsgIcon::Exclamation);
    EXPECT_EQ(m.buttons, MsgButtons::OkCancel);
    EXPECT_EQ(m.defaultButton, 1);
    // Over the topmost download window, not behind it.
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(m.parent, window);
    EXPECT_TRUE(m.parentVisible);
    EXPECT_EQ(fx.dialogs.Parent(), nullptr);  // put back once the window is gone
    EXPECT_EQ(fx.control.ended, 0);
    EXPECT_EQ(QFile(fx.dir.path() + "/slow").size(), 60000);
}

// The question standing open longer than the stall limit: going on still
// finishes the download.
TEST(ModalDownload, GoingOnAfterALongLookAtTheCancelQuestion) {
    ModalFixture fx;
    const Reply r = Reply::Trickle(Pattern(60000), 6000, 50);
    fx.server.Set("/slow", r);
    fx.dl.Limits.stallMs = 200;
    fx.dialogs.answers = {MsgResult::Cancel};
    fx.dialogs.onMessage = [&](const RecordedMessage&) { QThread::msleep(4 * fx.dl.Limits.stallMs); };
    WindowWatcher watch(fx.dl, [&](frmDnLoad& w) {
        if (w.ProgressBar1->Value() <= 0) return false;  // under way
        w.CmdCancel->click();
        return true;
    });
    EXPECT_TRUE(fx.dl.DownloadWithProgress(fx.server.Base() + "slow", fx.dir.path() + "/slow"));
    EXPECT_TRUE(watch.Done());
    EXPECT_EQ(fx.dialogs.messages.size(), 1u);
    EXPECT_EQ(fx.control.ended, 0);
    EXPECT_TRUE(ReadAll(fx.dir.path() + "/slow") == r.body);
}

TEST(ModalDownload, ConfirmedCancelEndsTheProgramAndDropsAnUnfinishedFile) {
    struct Case {
        int stallAfter;
        double clickAt;  // bar value at which the user cancels
        bool earlierFile;
        bool partKept;
    } cases[] = {
        {30000, 0.25, false, false},
        {30000, 0.25, true, false},  // the earlier file stays as it was
        {99500, 0.99, true, true},   // 98 % or more: what arrived is kept
    };
    const QByteArray earlier = Pattern(400000, 'a');
    for (const auto& c : cases) {
        ModalFixture fx;
        Reply r;
        r.body = Pattern(100000);
        r.stallAfter = c.stallAfter;
        fx.server.Set("/p", r);
        fx.dialogs.answers = {MsgResult::Ok};
        const QString target = fx.dir.path() + "/p.rar";
        if (c.earlierFile) ASSERT_TRUE(WriteAll(target, earlier));
        QString labelAfterCancel;
        WindowWatcher watch(fx.dl, [&](frmDnLoad& w) {
            if (w.ProgressBar1->Value() < c.clickAt) return false;
            w.CmdCancel->click();
            labelAfterCancel = w.Label1->text();
            return true;
        });
        EXPECT_FALSE(fx.dl.DownloadWithProgress(fx.server.Base() + "p", target));
        EXPECT_TRUE(watch.Done());
        EXPECT_EQ(fx.control.ended, 1);
        EXPECT_EQ(labelAfterCancel, "取消下载中..");
        const bool exists = c.partKept || c.earlierFile;
        EXPECT_EQ(NamesIn(fx.dir.path()), exists ? QStringList{"p.rar"} : QStringList{}) << c.stallAfter;
        if (c.partKept) EXPECT_TRUE(ReadAll(target) == r.body.left(c.stallAfter));
        else if (c.earlierFile) EXPECT_TRUE(ReadAll(target) == earlier);
    }
}

TEST(ModalDownload, TheCloseBoxAsksLikeTheCancelButton) {
    ModalFixture fx;
    const Reply r = Reply::Trickle(Pattern(40000), 4000, 50);
    fx.server.Set("/c", r);
    fx.dialogs.answers = {MsgResult::Cancel};
    bool stillOpen = false;
    WindowWatcher watch(fx.dl, [&](frmDnLoad& w) {
        if (!w.CmdCancel->isEnabled()) return false;
        w.close();
        stillOpen = w.isVisible();
        return true;
    });
    EXPECT_TRUE(fx.dl.DownloadWithProgress(fx.server.Base() + "c", fx.dir.path() + "/c"));
    EXPECT_TRUE(stillOpen);
    ASSERT_EQ(fx.dialogs.messages.size(), 1u);
    EXPECT_EQ(fx.dialogs.messages[0].text, "取消下载？");
}
