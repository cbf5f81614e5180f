#include "encoder/EncoderRun.h"
#include "encoder/ExitWake.h"

#include "common/ProgramFiles.h"
#include "platform/ProcessList.h"
#include "platform/Shell.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QTimer>

#include <map>
#include <utility>
#include <vector>

BackgroundReaper::BackgroundReaper(Shell* shell, QObject* parent) : QObject(parent), shell_(shell) {
    timer_.setInterval(250);
    connect(&timer_, &QTimer::timeout, this, &BackgroundReaper::poll);
}

void BackgroundReaper::Watch(long long pid, EncoderEnded onEnded) {
    pids_[pid] = std::move(onEnded);
    if (!timer_.isActive()) timer_.start();
}

void BackgroundReaper::poll() {
    std::vector<std::pair<EncoderRun, EncoderEnded>> ended;
    for (auto it = pids_.begin(); it != pids_.end();) {
        if (const auto status = shell_->ExitStatus(it->first)) {
            if (it->second) ended.push_back({EncoderRun{42, it->first, status}, std::move(it->second)});
            it = pids_.erase(it);
        } else {
            ++it;
        }
    }
    if (pids_.empty()) timer_.stop();
    // Told only after the sweep, so a listener may start encoders again.
    for (auto& [run, onEnded] : ended) onEnded(run);
}

EncoderRun StartEncoder(const EncoderHost& host, const EncoderCommand& command, EncoderEnded onEnded) {
    EncoderRun run;
    if (!host.shell) return run;
    run.startCode = host.shell->Start(QString::fromLatin1(program::EncoderExe), command.Arguments(),
                                      host.programFolder, &run.pid);
    if (run.Started()) {
        if (host.reaper) host.reaper->Watch(run.pid, std::move(onEnded));
    } else {
        run.pid = 0;
    }
    return run;
}

int BackgroundEncoders(const EncoderHost& host) { return host.reaper ? host.reaper->Watched() : 0; }

EncoderRun WaitForEncoder(const EncoderHost& host, EncoderRun run, CycleOrder order,
                          const std::function<void()>& statusUpdate) {
    const QString name = QString::fromLatin1(program::EncoderExe);
    // The yield sleeps until an event comes; the end of our own encoder is one,
    // so a short job is noticed at once rather than when the sleep runs out.
    const ExitWake wake(run.Started() ? run.pid : 0);

    // The process this wait started counts as running until it has been
    // reaped, even where the process list cannot see it.
    auto ownRunning = [&] {
        if (!host.shell) return false;
        host.shell->Reap();
        if (!run.Started() || run.exitStatus) return false;
        run.exitStatus = host.shell->ExitStatus(run.pid);
        return !run.exitStatus.has_value();
    };
    auto test = [&] {
        const bool own = ownRunning();
        // A closed window waits only for its own encoder, never for strangers.
        if (host.Closed()) return own;
        return own || (host.processes && IsProcessRunning(*host.processes, name));
    };
    auto update = [&] {
        if (statusUpdate && !host.Closed()) statusUpdate();
    };

    bool running = false;
    do {
        switch (order) {
        case CycleOrder::YieldUpdateTest:
            YieldToWindow();
            update();
            running = test();
            break;
        case CycleOrder::TestYieldUpdate:
            running = test();
            YieldToWindow();
            update();
            break;
        case CycleOrder::TestUpdateYield:
            running = test();
            update();
            YieldToWindow();
            break;
        }
    } while (running);

    if (run.Started() && host.reaper) host.reaper->Forget(run.pid);
    return run;
}

EncoderRun RunEncoderAndWait(const EncoderHost& host, const EncoderCommand& command, CycleOrder order,
                             const std::function<void()>& statusUpdate) {
    return WaitForEncoder(host, StartEncoder(host, command), order, statusUpdate);
}

bool IsProcessRunning(ProcessList& processes, const QString& name, bool moreThanOne) {
    if (moreThanOne) return processes.Count(name) >= 2;
    return processes.IsRunning(name);
}

void YieldToWindow(int maxWaitMs) {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
    if (!dispatcher || maxWaitMs <= 0) return;
    // Sleep in the dispatcher until an event comes; the timer bounds the sleep.
    // (QCoreApplication::processEvents drops WaitForMoreEvents, and a nested
    // QEventLoop::exec returns at once after the application was told to quit.)
    QTimer wake;
    wake.setSingleShot(true);
    wake.start(maxWaitMs);
    dispatcher->processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

QString ElapsedText(long long seconds) {
    if (seconds < 0) seconds = 0;
    const long long minutes = (seconds / 60) % 60;
    const long long secs = seconds % 60;
    return QStringLiteral("00:%1:%2")
        .arg(minutes, 2, 10, QLatin1Char('0'))
        .arg(secs, 2, 10, QLatin1Char('0'));
}

QString ElapsedText(const QDateTime& start, const QDateTime& now) {
    const qint64 ms = start.msecsTo(now);
    return ElapsedText(ms < 0 ? -1 : ms / 1000);
}
