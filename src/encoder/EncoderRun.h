#pragma once
// Starting the external encoder and waiting for it while the window stays live.
//
// Every encoder run of the batch goes through here:
//
//   const EncoderRun run = RunEncoderAndWait(host, cmd, CycleOrder::TestYieldUpdate, [&] {
//       window.SetStatus(row, "截取视频帧做封面中...");
//   });
//   if (host.Closed()) return;              // the window went away during the wait
//   const bool ok = outputSize > 0 && run.Succeeded();
//
// or, when something else happens between the start and the wait:
//
//   EncoderRun run = StartEncoder(host, cmd);
//   ...
//   run = WaitForEncoder(host, run, CycleOrder::YieldUpdateTest, update);
//
// The encoder is "Mezzor.exe" in the program folder, started without a shell
// with the command's argument list, stdio on /dev/null, working folder = the
// program folder. A wait repeats cycles of three steps (yield to the window,
// the caller's status update, the process test) in the caller's order until a
// cycle's test finds no encoder; every wait makes at least one full cycle.
// The test answers "running" while any live process named Mezzor.exe (case
// ignored) is listed, or while the process this wait started has not ended.
// Each yield handles the pending window events and then sleeps until the next
// event, at most about 20 ms, so a wait costs a few percent of one core
// instead of spinning. Finished encoders are reaped, never left as zombies.
//
// Once the window has been closed (host.Closed()) the wait no longer calls
// the status update and no longer waits for foreign encoder processes: it ends
// as soon as its own process is gone. Callers must check that after a wait
// before touching the window again.
#include "encoder/EncoderCommand.h"

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>
#include <map>
#include <optional>

class ProcessList;
class Shell;
class BackgroundReaper;

// Where and how encoders are started.
struct EncoderHost {
    Shell* shell = nullptr;
    ProcessList* processes = nullptr;
    QString programFolder;
    // True once the window is gone for good; may be empty (never closed).
    std::function<bool()> windowClosed;
    // Collects the starts nobody waits for; may be null (no background
    // reaping). The batch run owns the program's one.
    BackgroundReaper* reaper = nullptr;

    bool Closed() const { return windowClosed && windowClosed(); }
};

// The outcome of one start, and of its wait.
struct EncoderRun {
    // The start's code: 42 started, 2 encoder file missing, other values up to
    // 32 other failures; 0 when nothing was started.
    int startCode = 0;
    long long pid = 0;
    // Exit status once the process has ended and it is known: the exit code,
    // or 128 + signal when it was killed.
    std::optional<int> exitStatus;

    bool Started() const { return startCode == 42; }
    // Started, ended, exit status 0. The output file must still be judged.
    bool Succeeded() const { return Started() && exitStatus && *exitStatus == 0; }
};

// The order of the three steps inside one wait cycle.
enum class CycleOrder {
    YieldUpdateTest,  // first cover-replacement attempt
    TestYieldUpdate,  // frame grab; second and third cover-replacement attempts
    TestUpdateYield,  // the opening clip's steps
};

namespace encoder {
inline constexpr int kYieldMaxWaitMs = 20;
}

// Told once, from the event loop, that a started encoder nobody waited for
// has ended; `ended` carries its exit status.
using EncoderEnded = std::function<void(const EncoderRun& ended)>;

// Collects encoders that nobody waits for (mode 4 starts one per row and moves
// on), so they do not stay zombies until the next start, and tells whoever
// asked when each ended. Reaping stops when it is destroyed.
class BackgroundReaper : public QObject {
public:
    explicit BackgroundReaper(Shell* shell, QObject* parent = nullptr);
    void Watch(long long pid, EncoderEnded onEnded);
    // A wait collected it after all.
    void Forget(long long pid) { pids_.erase(pid); }
    int Watched() const { return static_cast<int>(pids_.size()); }

private:
    void poll();
    Shell* shell_;
    QTimer timer_;
    std::map<long long, EncoderEnded> pids_;
};

// Starts the encoder with the command; does not wait (mode 4, and the start
// before a separate WaitForEncoder). A started process that is never waited
// for is reaped in the background by host.reaper, and onEnded (if any) is
// called when that reaping sees it end; never when a wait collects it, when
// the start fails, or without a reaper.
EncoderRun StartEncoder(const EncoderHost& host, const EncoderCommand& command, EncoderEnded onEnded = {});

// Started encoders the background reaping has not yet seen end.
int BackgroundEncoders(const EncoderHost& host);

// Waits as described above. `started` is the run to wait for (its exit status
// is filled in); a default EncoderRun waits for encoder processes by name only.
// statusUpdate may be empty.
EncoderRun WaitForEncoder(const EncoderHost& host, EncoderRun started, CycleOrder order,
                          const std::function<void()>& statusUpdate);

// StartEncoder followed by WaitForEncoder.
EncoderRun RunEncoderAndWait(const EncoderHost& host, const EncoderCommand& command, CycleOrder order,
                             const std::function<void()>& statusUpdate);

// Whether a live process with this executable name is listed, case ignored;
// with moreThanOne, whether two or more are. False when the list is unreadable.
bool IsProcessRunning(ProcessList& processes, const QString& name, bool moreThanOne = false);

// One yield to the window: handles every pending event, then sleeps until the
// next event arrives or maxWaitMs have passed.
void YieldToWindow(int maxWaitMs = encoder::kYieldMaxWaitMs);

// "00:" followed by the minutes and seconds of the elapsed whole seconds, two
// digits each: 59 s -> 00:00:59, 3723 s -> 00:02:03. Hours are not shown, so
// the text repeats every hour, 24 h and more included (90061 s -> 00:01:01);
// a negative time (the clock was set back) reads 00:00:00.
QString ElapsedText(long long seconds);
QString ElapsedText(const QDateTime& start, const QDateTime& now = QDateTime::currentDateTime());
