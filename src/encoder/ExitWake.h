#pragma once
// Wakes the window's event loop the moment a started process ends.
//
// The encoder wait sleeps in the event loop between its checks; without an
// event at the encoder's end it notices only when its sleep runs out, which
// on short jobs adds a noticeable share to every row. Linux only (pidfd); where
// that is unavailable this does nothing and the wait keeps its own pace.
#include <memory>

class QSocketNotifier;

class ExitWake {
public:
    explicit ExitWake(long long pid);
    ~ExitWake();
    ExitWake(const ExitWake&) = delete;
    ExitWake& operator=(const ExitWake&) = delete;

    bool Armed() const { return fd_ >= 0; }
    // The process has ended and the event loop was woken for it.
    bool Fired() const { return *fired_; }

private:
    int fd_ = -1;
    std::unique_ptr<QSocketNotifier> notifier_;
    std::shared_ptr<bool> fired_ = std::make_shared<bool>(false);
};
