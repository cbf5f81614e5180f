// The wait's cycle, the process test and the elapsed text, on fake services.
#include "encoder/EncoderRun.h"
#include "support/Printing.h"

#include "support/Fakes.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QObject>
#include <gtest/gtest.h>

namespace {

// A process list that logs each test and answers "running" a given number of times.
class CountingProcessList : public FakeProcessList {
public:
    QString* log = nullptr;
    int runningAnswers = 0;
    QStringList asked;
    bool IsRunning(const QString& exeName) override {
        asked << exeName;
        if (log) *log += "T";
        return runningAnswers-- > 0;
    }
};

// Marks where the wait yields: a queued call that only a yield can deliver.
struct YieldMarker {
    QObject context;
    QString* log;
    bool armed = false;
    void arm() {
        if (armed) return;
        armed = true;
        QMetaObject::invokeMethod(
            &context,
            [this] {
                armed = false;
                *log += "Y";
            },
            Qt::QueuedConnection);
    }
};

}  // namespace

TEST(EncoderWait, CyclesInTheCallersOrder) {
    const struct {
        CycleOrder order;
        int running;
        QString expected;
    } cases[] = {
        {CycleOrder::YieldUpdateTest, 0, "YUT"},
        {CycleOrder::TestYieldUpdate, 0, "TYU"},
        {CycleOrder::TestUpdateYield, 0, "TUY"},
        {CycleOrder::YieldUpdateTest, 2, "YUTYUTYUT"},
        {CycleOrder::TestYieldUpdate, 2, "TYUTYUTYU"},
        {CycleOrder::TestUpdateYield, 1, "TUYTUY"},
    };
    for (const auto& c : cases) {
        QString log;
        FakeShell shell;
        CountingProcessList processes;
        processes.log = &log;
        processes.runningAnswers = c.running;
        YieldMarker marker{{}, &log};
        EncoderHost host;
        host.shell = &shell;
        host.processes = &processes;
        marker.arm();
        const EncoderRun run = WaitForEncoder(host, EncoderRun{}, c.order, [&] {
            log += "U";
            marker.arm();
        });
        EXPECT_EQ(log, c.expected) << int(c.order);
        // Every test asks for the encoder by its name.
        for (const QString& name : processes.asked) EXPECT_EQ(name, "Mezzor.exe");
        EXPECT_FALSE(run.Started());
        QCoreApplication::processEvents();  // drop a marker left armed
    }
}

TEST(EncoderWait, StartsTheEncoderFromTheProgramFolder) {
    FakeShell shell;
    FakeProcessList processes;
    EncoderHost host;
    host.shell = &shell;
    host.processes = &processes;
    host.programFolder = "/opt/prog";
    EncoderCommand cmd("-i ");
    cmd.AddPath("/v/a\" b.mp4").Add(" -y ").AddPath("/o/x.mp4");
    int updates = 0;
    const EncoderRun run = RunEncoderAndWait(host, cmd, CycleOrder::TestYieldUpdate, [&] { ++updates; });
    ASSERT_EQ(shell.calls.size(), 1u);
    EXPECT_EQ(shell.calls[0].what, "start");
    EXPECT_EQ(shell.calls[0].target, "Mezzor.exe");
    EXPECT_EQ(shell.calls[0].workDir, "/opt/prog");
    EXPECT_EQ(shell.calls[0].args, (QStringList{"-i", "/v/a\" b.mp4", "-y", "/o/x.mp4"}));
    EXPECT_EQ(updates, 1);
    EXPECT_TRUE(run.Started());
    EXPECT_TRUE(run.Succeeded());

    // A refused start: one cycle, nothing succeeded.
    shell.startResult = 2;
    updates = 0;
    const EncoderRun refused = RunEncoderAndWait(host, cmd, CycleOrder::YieldUpdateTest, [&] { ++updates; });
    EXPECT_EQ(refused.startCode, 2);
    EXPECT_FALSE(refused.Succeeded());
    EXPECT_EQ(updates, 1);

    // Starting without a wait.
    shell.startResult = 42;
    const EncoderRun started = StartEncoder(host, cmd);
    EXPECT_TRUE(started.Started());
    EXPECT_EQ(shell.calls.size(), 3u);
}

TEST(EncoderWait, AClosedWindowIsNotUpdatedAndStopsWaitingForStrangers) {
    FakeShell shell;
    FakeProcessList processes;
    processes.running = {"mezzor.exe"};  // a stranger that never ends
    bool closed = false;
    EncoderHost host;
    host.shell = &shell;
    host.processes = &processes;
    host.windowClosed = [&] { return closed; };
    int updates = 0;
    WaitForEncoder(host, EncoderRun{}, CycleOrder::YieldUpdateTest, [&] {
        if (++updates == 3) closed = true;
    });
    EXPECT_EQ(updates, 3);
}

TEST(EncoderWait, ProcessTestIgnoresCase) {
    FakeProcessList processes;
    processes.running = {"bash", "MEZZOR.EXE"};
    EXPECT_TRUE(IsProcessRunning(processes, "Mezzor.exe"));
    EXPECT_FALSE(IsProcessRunning(processes, "Mezzor.exe", true));
    processes.running << "mezzor.exe";
    EXPECT_TRUE(IsProcessRunning(processes, "Mezzor.exe", true));
    processes.running = {"Mezzor.exe.bak", "xMezzor.exe"};
    EXPECT_FALSE(IsProcessRunning(processes, "Mezzor.exe"));
}

TEST(ElapsedText, MinutesAndSecondsOfTheHour) {
    const struct {
        long long seconds;
        const char* text;
    } cases[] = {
        {0, "00:00:00"},     {59, "00:00:59"},      {60, "00:01:00"},       {3599, "00:59:59"},
        {3600, "00:00:00"},  {3723, "00:02:03"},    {86399, "00:59:59"},    {86400, "00:00:00"},
        {90061, "00:01:01"}, {400000, "00:06:40"},  {-5, "00:00:00"},
    };
    for (const auto& c : cases) EXPECT_EQ(ElapsedText(c.seconds), c.text) << c.seconds;

    const QDateTime start(QDate(2024, 3, 1), QTime(10, 0, 0));
    EXPECT_EQ(ElapsedText(start, start.addMSecs(3723900)), "00:02:03");  // whole seconds only
    EXPECT_EQ(ElapsedText(start, start.addDays(2).addSecs(61)), "00:01:01");
    EXPECT_EQ(ElapsedText(start, start.addMSecs(-300)), "00:00:00");
    // Across a change of the UTC offset the real elapsed time counts.
    const QDateTime utc(QDate(2024, 3, 1), QTime(10, 0, 0), Qt::UTC);
    const QDateTime later = utc.addSecs(125).toOffsetFromUtc(3600 * 8);
    EXPECT_EQ(ElapsedText(utc, later), "00:02:05");
}
