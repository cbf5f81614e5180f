#pragma once
// The running modal download as its two forms reach it. The download window
// and the hidden helper form never call each other: each asks this for the
// other's part.
#include <QString>

class RunningDownload {
public:
    virtual ~RunningDownload() = default;

    // The job the caller asked for.
    virtual QString Url() const = 0;
    virtual QString Target() const = 0;
    // The transfer's done event has been handled: the download finished.
    virtual void MarkDone() = 0;

    // The window's part; nothing happens while no window is open.
    virtual void ShowDownLoad(const QString& job) = 0;
    virtual void EchoCancelRequest() = 0;
    // The bar's value × 100 / its maximum.
    virtual double BarPercent() const = 0;
    virtual void SettleCancelledFile(bool keep) = 0;

    // The helper form's part: it builds the job and runs it in the window,
    // relays a confirmed cancel and keeps the trace log.
    virtual void RunSingleJob() = 0;
    virtual void RelayCancel() = 0;
    virtual void AppendTrace(const QString& line) = 0;
};
