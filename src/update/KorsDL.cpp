#include "update/KorsDL.h"

#include "update/CurlTransfer.h"
#include "update/DownloadStatus.h"
#include "update/PartFile.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>

void KorsDLHost::YieldOnce() { QCoreApplication::processEvents(); }

KorsDL::KorsDL(KorsDLHost& host, int connectionWaitSeconds, const TransferLimits& limits, QObject* parent)
    : QObject(parent), host_(host), wait_(connectionWaitSeconds), limits_(limits) {}

KorsDL::~KorsDL() = default;

std::optional<bool> KorsDL::StartTheStinkinDownLoad(const QString& File2DownLoad, const QString& File2Save) {
    if (binding_) return std::nullopt;
    Binding binding;

    TransferOptions opt;
    opt.url = File2DownLoad;
    opt.limits = limits_;
    opt.progress = [&](qint64 received, qint64 total) {
        if (binding.abort) return false;
        return OnProgress(dlstatus::As32(received), total > 0 ? dlstatus::As32(total) : 0) && !binding.abort;
    };
    opt.idle = [&] {
        HostTurn();
        return !binding.abort;
    };

    // The start report comes before any network work.
    GetBindInfo();
    binding_ = &binding;
    OnStartBinding();
    GetPriority();

    PartFile file(File2Save);
    file_ = &file;
    const TransferResult r = RunTransfer(opt, file);
    file_ = nullptr;
    const qint32 status =
        r.localFileFailed ? dlstatus::DownloadFailure : dlstatus::StopStatus(r.curlCode, r.httpStatus, r.aborted || binding.abort);
    OnStopBinding(status);
    return status == dlstatus::S_Ok;
}

void KorsDL::KillKor() {
    if (binding_) binding_->abort = true;
    else host_.AppendTrace(QStringLiteral("Binding Error Ignored"));
    emit KorDLCancelled();
    binding_ = nullptr;
}

void KorsDL::SettleCancelledFile(bool keep) {
    if (!file_) return;
    if (keep) file_->Commit();
    else file_->Discard();
}

qint32 KorsDL::DeleteKorCache(QString&) {
    host_.SetLabel1(QStringLiteral("正在检查文件下载相关信息中...删除缓存文件"));
    return 0;
}

void KorsDL::OnStartBinding() { emit KorDLStart(); }

qint32 KorsDL::GetPriority() {
    host_.AppendTrace(QStringLiteral("GetPriority."));
    return 0;
}

void KorsDL::OnLowResource() { host_.AppendTrace(QStringLiteral("OnLowResource.")); }

bool KorsDL::OnProgress(qint32 ulProgress, qint32 ulProgressMax) {
    if (ulProgressMax < 1) {
        host_.SetLabel1(dlstatus::ConnectingText(ulProgressMax));
        const qint64 now = QDateTime::currentSecsSinceEpoch();
        // Data still arriving means the connection is alive, not waiting.
        if (ulProgress != lastBytes_) {
            lastBytes_ = ulProgress;
            if (timeOutCur_) timeOutCur_ = now;
            heldMs_ = 0;
        }
        if (!timeOutCur_) {
            timeOutCur_ = now;
            heldMs_ = 0;
        } else if (now - *timeOutCur_ - heldMs_ / 1000 > wait_) {
            host_.EchoCancelRequest();
        }
    } else {
        emit KorDLProg(ulProgress, ulProgressMax);
        host_.SetProgressBar1(dlstatus::ProgressFraction(ulProgress, ulProgressMax));
        host_.SetLabel1(dlstatus::ProgressText(ulProgress, ulProgressMax));
    }
    HostTurn();
    return binding_ != nullptr && !binding_->abort;
}

void KorsDL::HostTurn() {
    QElapsedTimer held;
    held.start();
    host_.YieldOnce();
    heldMs_ += held.elapsed();
}

void KorsDL::OnStopBinding(qint32 hresult) {
    if (hresult == dlstatus::S_Ok || hresult == dlstatus::S_False) {
        emit KorDLDone();
    } else {
        QString descr = dlstatus::BindErrorText(hresult);
        bool cancelled = binding_ == nullptr;
        emit KorDLCrash(hresult, descr, cancelled);
    }
    binding_ = nullptr;
}

void KorsDL::GetBindInfo() {}

void KorsDL::OnDataAvailable() { host_.AppendTrace(QStringLiteral("OnDataAvailable.")); }

void KorsDL::OnObjectAvailable() { host_.AppendTrace(QStringLiteral("OnObjectAvailable.")); }
