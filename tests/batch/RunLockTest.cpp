// What a user can still reach while a run waits for its encoder: the window
// buttons outside the frames rest with them, and come back as they were.
#include "BatchFixture.h"

#include "update/Updater.h"

#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

using namespace batch_test;

TEST(RunLock, AboutAndUpdateRestDuringAWaitAndComeBackAsTheyWere) {
    for (const bool updateOffered : {true, false}) {
        SCOPED_TRACE(updateOffered);
        BatchWindow w(false);
        ASSERT_TRUE(w.loaded);
        Form1& f = w.form();
        f.show();
        f.CmdUpdate->setEnabled(updateOffered);  // as the version check left it
        // Were the flow to start, it would go straight to a download that fails.
        f.updater->ArchiverLookup = [] { return QString("/usr/bin/unrar"); };
        w.Mode(2);
        ASSERT_TRUE(PlacePicture(w.Path("cover.png")));
        f.LBase->setText(w.Path("cover.png"));
        for (const QString name : {"a.mp4", "b.mp4"}) {
            ASSERT_TRUE(WriteBytes(w.Path(name), "source"));
            w.AddVideo(name, w.Path("cover.png"));
        }

        int clicksDuringAWait = 0;
        w.fakeShell.onStart = [&](const QStringList&) {
            if (w.State().CurrentRow != 1) return;
            // Fires inside the wait's turn of the message loop.
            QTimer::singleShot(0, &f, [&] {
                ++clicksDuringAWait;
                EXPECT_FALSE(f.CmdAbout->isEnabled());
                EXPECT_FALSE(f.CmdUpdate->isEnabled());
                QTest::mouseClick(f.CmdAbout, Qt::LeftButton);
                QTest::mouseClick(f.CmdUpdate, Qt::LeftButton);
                f.updater->CmdUpdate_Click();  // even reached from code it only beeps
                EXPECT_FALSE(f.Frame1->isEnabled());
                EXPECT_TRUE(f.isVisible());
            });
        };
        w.Run();

        EXPECT_EQ(clicksDuringAWait, 1);
        EXPECT_EQ(w.fakeShell.starts.size(), 2u);
        EXPECT_EQ(w.Status(1), "Ok");
        EXPECT_EQ(w.Status(2), "Ok");
        // Nothing but the end question was shown; the update flow never began.
        ASSERT_EQ(w.dialogs().messages.size(), 1u);
        EXPECT_TRUE(w.dialogs().LastText().startsWith("处理完毕！"));
        EXPECT_EQ(w.dialogs().beeps, 1);
        EXPECT_TRUE(f.CmdAbout->isEnabled());
        EXPECT_EQ(f.CmdUpdate->isEnabled(), updateOffered);
        EXPECT_TRUE(f.Frame1->isEnabled());
    }
}
