// Two real program processes on a private X display; the refusal of the
// second is answered with keys: Return is "是" (the default), Escape gives
// "是" as well, and only "否" (its key N) kills the running copy.
// Both run in a PID namespace of their own, so that they see each other and
// nothing else: another copy of the program on the machine is neither counted
// nor killed.
#include "support/FormFixture.h"
#include "support/OwnProcesses.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

#include <csignal>
#include <functional>

namespace {

bool waitFor(const std::function<bool()>& cond, int ms) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) {
        if (cond()) return true;
        QThread::msleep(100);
    }
    return cond();
}

struct Display {
    QProcess xvfb;
    QString name;
    bool Start() {
        for (int n = 91; n < 120; ++n) {
            if (QFile::exists(QString("/tmp/.X11-unix/X%1").arg(n)) || QFile::exists(QString("/tmp/.X%1-lock").arg(n)))
                continue;
            xvfb.start("Xvfb", {QString(":%1").arg(n), "-screen", "0", "1280x800x24", "-nolisten", "tcp"});
            if (!xvfb.waitForStarted(5000)) return false;
            name = QString(":%1").arg(n);
            return waitFor([&] { return QFile::exists(QString("/tmp/.X11-unix/X%1").arg(n)); }, 10000);
        }
        return false;
    }
    ~Display() {
        xvfb.terminate();
        xvfb.waitForFinished(5000);
    }
};

// A PID namespace held open by a sleeping first process; programs are
// started inside it with nsenter. Ending the holder ends everything inside.
struct Namespace {
    QProcess holder;
    long long inner = 0;  // the holder's sleep, as the machine sees it
    bool Start() {
        if (QStandardPaths::findExecutable("unshare").isEmpty() || QStandardPaths::findExecutable("nsenter").isEmpty())
            return false;
        holder.start("unshare", {"--pid", "--fork", "--mount-proc", "--kill-child", "sleep", "3600"});
        if (!holder.waitForStarted(5000)) return false;
        const QString children = QString("/proc/%1/task/%1/children").arg(holder.processId());
        waitFor([&] {
            QFile f(children);
            inner = f.open(QIODevice::ReadOnly) ? f.readAll().trimmed().toLongLong() : 0;
            return inner > 0;
        }, 5000);
        return inner > 0 && holder.state() == QProcess::Running;
    }
    ~Namespace() {
        if (holder.state() != QProcess::NotRunning) {
            holder.kill();
            holder.waitForFinished(5000);
        }
    }
};

struct Program {
    QProcess p;
    // Inside the namespace; nsenter passes on how the program ended.
    void Start(const Namespace& ns, const QString& exe, const QString& display, const QString& config) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DISPLAY", display);
        env.insert("QT_QPA_PLATFORM", "xcb");
        env.insert("XDG_CONFIG_HOME", config);
        env.insert("PLINDOR_UPDATE_BASE", "http://127.0.0.1:9/");
        p.setProcessEnvironment(env);
        p.start("nsenter", {"--target", QString::number(ns.inner), "--pid", "--mount", "--", exe});
        p.waitForStarted(5000);
    }
    // Still running after `ms`: QProcess learns of an end only while it waits.
    bool RunningAfter(int ms) { return !p.waitForFinished(ms) && p.state() == QProcess::Running; }
    ~Program() {
        if (p.state() != QProcess::NotRunning) {
            p.kill();
            p.waitForFinished(5000);
        }
    }
};

// Window ids whose title is exactly this text.
QString findWindow(const QString& display, const QString& title) {
    QProcess x;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DISPLAY", display);
    x.setProcessEnvironment(env);
    x.start("xdotool", {"search", "--onlyvisible", "--name", "^" + title + "$"});
    x.waitForFinished(5000);
    return QString::fromUtf8(x.readAllStandardOutput()).trimmed();
}

void sendKey(const QString& display, const QString& window, const QString& key) {
    QProcess x;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DISPLAY", display);
    x.setProcessEnvironment(env);
    x.start("xdotool", {"windowfocus", "--sync", window, "key", "--clearmodifiers", key});
    x.waitForFinished(5000);
}

}  // namespace

TEST(SingleInstance, SecondRealProcessIsRefused) {
    if (QStandardPaths::findExecutable("xdotool").isEmpty() || QStandardPaths::findExecutable("Xvfb").isEmpty())
        GTEST_SKIP() << "xdotool and Xvfb are needed";
    Display display;
    ASSERT_TRUE(display.Start());
    QTemporaryDir config;
    // Another copy of the program elsewhere on the machine: not ours to count or kill.
    ForeignProcess stranger("plindor");

    for (const QString key : {"Return", "Escape", "n"}) {
        SCOPED_TRACE(key.toStdString());
        QTemporaryDir dir;
        const QString exe = dir.path() + "/plindor";
        ASSERT_TRUE(QFile::copy(QStringLiteral(PLINDOR_BIN_DIR) + "/plindor", exe));
        QFile::setPermissions(exe, QFile::permissions(exe) | QFile::ExeOwner);
        ASSERT_TRUE(PlaceEncoderLibrary(dir.path()));

        Namespace ns;
        if (!ns.Start()) GTEST_SKIP() << "no private PID namespace here (unshare/nsenter)";
        Program first;
        first.Start(ns, exe, display.name, config.path());
        ASSERT_TRUE(waitFor([&] { return !findWindow(display.name, "沃岑视频封面批量替换器").isEmpty(); }, 30000));

        Program second;
        second.Start(ns, exe, display.name, config.path());
        QString box;
        ASSERT_TRUE(waitFor([&] { return !(box = findWindow(display.name, "消息")).isEmpty(); }, 30000));
        EXPECT_TRUE(first.RunningAfter(0));
        sendKey(display.name, box.split('\n').first(), key);
        ASSERT_TRUE(second.p.waitForFinished(20000));
        EXPECT_EQ(second.p.exitStatus(), QProcess::NormalExit);
        if (key != "n") {
            // "是": the running copy is left alone.
            EXPECT_TRUE(first.RunningAfter(1500));
        } else {
            // "否": the first listed copy, the running one, is killed.
            ASSERT_TRUE(first.p.waitForFinished(20000));
            EXPECT_EQ(first.p.exitStatus(), QProcess::CrashExit);
        }
        EXPECT_TRUE(stranger.Alive());
    }
}
