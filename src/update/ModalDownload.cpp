#include "update/ModalDownload.h"

#include "update/frmDemo.h"
#include "update/frmDnLoad.h"

ModalDownload::ModalDownload(Services svc) : services(svc) {}

ModalDownload::~ModalDownload() { UnloadWindows(); }

frmDemo& ModalDownload::Demo() {
    if (!demo_) demo_ = std::make_unique<frmDemo>(*this);
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

    dnLoad_ = std::make_unique<frmDnLoad>(*this);
    {
        // The window stays on top: its questions must come up over it.
        DialogParent overWindow(*services.dialogs, dnLoad_.get());
        dnLoad_->show();
        dnLoad_->CmdDL_Click();
    }
    UnloadWindows();
    return DownloadPercent > 99;
}
