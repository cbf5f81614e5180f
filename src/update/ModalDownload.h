#pragma once
// A download in a small topmost progress window that blocks its caller while
// the message loop keeps running; the update flow's only way to fetch files.
#include "platform/Services.h"
#include "update/DownloadLimits.h"
#include "update/RunningDownload.h"

#include <QString>
#include <memory>

class frmDnLoad;
class frmDemo;

class ModalDownload : private RunningDownload {
public:
    explicit ModalDownload(Services services);
    ~ModalDownload() override;

    // True when the download finished. The window shows while it runs; a
    // confirmed cancel in it ends the program.
    bool DownloadWithProgress(const QString& Url, const QString& Target);

    // State of the current download.
    double DownloadPercent = 0;  // 100 once the download has completed
    QString DownloadUrl;
    QString DownloadTarget;
    // The caption the window takes when it opens.
    QString DownloadWindowCaption;
    // How long a transfer may wait without a known total before it is dropped.
    int ConnectionWaitSeconds = dllimits::kConnectionWaitSeconds;
    TransferLimits Limits = dllimits::WindowDownload();

    // The open download window, or null between downloads.
    frmDnLoad* DnLoad() const { return dnLoad_.get(); }
    // The hidden helper form, made on first use.
    frmDemo& Demo();
    // Closes both windows; nothing is deleted on disk.
    void UnloadWindows();

    Services services;

private:
    // RunningDownload: what each form reaches of the other.
    QString Url() const override { return DownloadUrl; }
    QString Target() const override { return DownloadTarget; }
    void MarkDone() override { DownloadPercent = 100; }
    void ShowDownLoad(const QString& job) override;
    void EchoCancelRequest() override;
    double BarPercent() const override;
    void SettleCancelledFile(bool keep) override;
    void RunSingleJob() override;
    void RelayCancel() override;
    void AppendTrace(const QString& line) override;

    std::unique_ptr<frmDnLoad> dnLoad_;
    std::unique_ptr<frmDemo> demo_;
};
