#pragma once
// The download object: one URL into one local file, reporting its start,
// progress and end as events, and writing its progress texts into the
// download window it was made for.
#include "update/DownloadLimits.h"

#include <QObject>
#include <QString>
#include <QVariant>
#include <optional>

class PartFile;

// What the download object uses of its window: the status line, the bar, the
// cancel relay and the trace log.
class KorsDLHost {
public:
    virtual ~KorsDLHost() = default;
    virtual void SetLabel1(const QString& text) = 0;
    virtual void SetProgressBar1(double fraction) = 0;
    virtual void EchoCancelRequest() = 0;
    virtual void AppendTrace(const QString& line) = 0;
    // One turn of the message loop.
    virtual void YieldOnce();
};

class KorsDL : public QObject {
    Q_OBJECT
public:
    // connectionWaitSeconds: how long a transfer may go on without a known
    // total and without new data before it is aborted.
    explicit KorsDL(KorsDLHost& host, int connectionWaitSeconds = dllimits::kConnectionWaitSeconds,
                    const TransferLimits& limits = dllimits::WindowDownload(), QObject* parent = nullptr);
    ~KorsDL() override;

    // True when the transfer completed, false when it did not; nothing when
    // a transfer is already running (then nothing is started). Blocks until
    // the transfer has stopped; every event runs inside this call.
    std::optional<bool> StartTheStinkinDownLoad(const QString& File2DownLoad, const QString& File2Save);
    void KillKor();
    // For a cancel from inside the running transfer, before the program ends:
    // keep gives what has arrived the target's name, otherwise it is dropped.
    // The target is never touched when no transfer is running.
    void SettleCancelledFile(bool keep);
    // There is no download cache here: always 0.
    qint32 DeleteKorCache(QString& filename);

    // Callback operations, in the order a URL download reports them.
    void OnStartBinding();
    qint32 GetPriority();
    void OnLowResource();
    // Returns false when the transfer is to stop.
    bool OnProgress(qint32 ulProgress, qint32 ulProgressMax);
    void OnStopBinding(qint32 hresult);
    void GetBindInfo();
    void OnDataAvailable();
    void OnObjectAvailable();

    bool Transferring() const { return binding_ != nullptr; }
    int ConnectionWaitSeconds() const { return wait_; }

signals:
    void KorDLStart();
    void KorDLDone();
    void KorDLCrash(qint32 KorErrNum, QString& KorErrDescr, bool& Cancelled);
    void KorDLCancelled();
    void KorDLProg(qint32 KorBytesIn, qint32 KorTotalBytes);

private:
    struct Binding {
        bool abort = false;
    };

    KorsDLHost& host_;
    int wait_;
    TransferLimits limits_;
    Binding* binding_ = nullptr;  // the active transfer's, or null
    PartFile* file_ = nullptr;    // the running transfer's file, or null
    // Start of the connection wait, in whole seconds; unset until the first
    // report without a total.
    std::optional<qint64> timeOutCur_;
    qint32 lastBytes_ = 0;
    // Milliseconds of that wait spent in the window's turns (a question open
    // over it): they do not count as waiting.
    qint64 heldMs_ = 0;

    // One turn of the host's message loop, timed.
    void HostTurn();
};
