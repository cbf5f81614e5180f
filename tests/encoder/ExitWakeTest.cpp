#include "encoder/ExitWake.h"

#include "platform/LinuxShell.h"

#include <QAbstractEventDispatcher>
#include <QTimer>
#include <gtest/gtest.h>

TEST(ExitWake, TheEndOfAStartedProcessWakesTheEventLoop) {
    LinuxShell shell;
    long long pid = 0;
    ASSERT_EQ(shell.Start("/bin/sleep", {"0.2"}, "/", &pid), 42);
    ExitWake wake(pid);
    if (!wake.Armed()) GTEST_SKIP() << "no pidfd on this system";
    EXPECT_FALSE(wake.Fired());

    // Sleep in the event loop with nothing else due: only the end wakes it
    // (the guard timer just keeps a broken build from hanging).
    QTimer guard;
    guard.setSingleShot(true);
    guard.start(30000);
    while (!wake.Fired() && guard.isActive())
        QAbstractEventDispatcher::instance()->processEvents(QEventLoop::WaitForMoreEvents);
    EXPECT_TRUE(wake.Fired());
    shell.Reap();
    EXPECT_EQ(shell.ExitStatus(pid), 0);
}

TEST(ExitWake, NothingToWatch) {
    EXPECT_FALSE(ExitWake(0).Armed());
    EXPECT_FALSE(ExitWake(-5).Armed());
}
