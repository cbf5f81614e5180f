#include "update/ModalDownload.h"

#include "update/frmDemo.h"
#include "update/frmDnLoad.h"

ModalDownload::ModalDownload(Services svc) : services(svc) {}

ModalDownload::~ModalDownload() { UnloadWindows(); }

frmDemo& ModalDownload::Demo() {
    if (!demo_) demo_ = std::make_unique<frmDemo>(static_cast<RunningDownload&>(*this), services);
    return *demo_;
}

void ModalDownload::UnloadWindows() {
    dnLoad_.reset();
    demo_.reset();
}

bool ModalDownload::DownloadWithProgress(const QString& Url, const QString& Target) {
    // A second download while one runs would replace the window under it.
    if (dnLoad_) return false;
    DownloadPercent = 0;
    DownloadUrl = Url;
    DownloadTarget = Target;

    dnLoad_ = std::make_unique<frmDnLoad>(static_cast<RunningDownload&>(*this), services, DownloadWindowCaption,
                                          ConnectionWaitSeconds, Limits);
    {
        // The window stays on top: its questions must come up over it.
        DialogParent overWindow(*services.dialogs, dnLoad_.get());
        dnLoad_->show();
        dnLoad_->CmdDL_Click();
    }
    UnloadWindows();
    return DownloadPercent > 99;
}

void ModalDownload::ShowDownLoad(const QString& job) {
    if (dnLoad_) dnLoad_->ShowDownLoad(job, nullptr, nullptr);
}

void ModalDownload::EchoCancelRequest() {
    if (dnLoad_) dnLoad_->EchoCancelRequest();
}

double ModalDownload::BarPercent() const {
    return dnLoad_ ? dnLoad_->ProgressBar1->Value() * 100 / dnLoad_->ProgressBar1->Max() : 0;
}

void ModalDownload::SettleCancelledFile(bool keep) {
    if (dnLoad_) dnLoad_->SettleCancelledFile(keep);
}

void ModalDownload::RunSingleJob() { Demo().cmdDoSingleDownLoad_Click(); }

void ModalDownload::RelayCancel() { Demo().CmdCancel_Click(); }

void ModalDownload::AppendTrace(const QString& line) { Demo().AppendTrace(line); }
