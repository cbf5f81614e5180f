// The update flow gives back only what it took: Frame1 held by an add that is
// still filling the list stays disabled until that add ends.
#include "LoopbackServer.h"
#include "support/FormFixture.h"
#include "update/Updater.h"

#include <QGroupBox>
#include <QPushButton>
#include <gtest/gtest.h>

TEST(UpdateWindow, FrameHeldByAnAddIsNotGivenBackByTheFlow) {
    for (const bool addEndsMeanwhile : {false, true}) {
        SCOPED_TRACE(addEndsMeanwhile);
        LoopbackServer server;
        ScopedEnv base("PLINDOR_UPDATE_BASE", server.Base().toUtf8());
        server.Set("/downs/Plindor.txt", Reply{200, "24"});
        server.Set("/downs/Plindor.rar", Reply{404, "gone"});
        FormFixture fx;
        ASSERT_TRUE(fx.Load());
        Form1& f = *fx.form;
        f.updater->ArchiverLookup = [] { return QString("/usr/bin/unrar"); };
        f.show();
        ASSERT_TRUE(f.CmdUpdate->isEnabled());

        // An add of many files holds Frame1 and yields; the update button is live.
        f.Frame1->setEnabled(false);
        f.Busy = true;
        fx.dialogs.onMessage = [&](const RecordedMessage& m) {
            if (!addEndsMeanwhile || !m.text.startsWith("更新升级文件包下载失败")) return;
            f.Frame1->setEnabled(true);  // the add's end, inside the flow's wait
            f.Busy = false;
        };
        f.updater->CmdUpdate_Click();

        ASSERT_TRUE(fx.dialogs.Shown("更新升级文件包下载失败，请稍后重试！"));
        EXPECT_TRUE(f.isVisible());
        EXPECT_TRUE(f.CmdUpdate->isEnabled());
        EXPECT_EQ(f.Frame1->isEnabled(), addEndsMeanwhile);
    }
}
