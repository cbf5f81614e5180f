#include "update/frmDemo.h"

#include "update/ModalDownload.h"
#include "update/frmDnLoad.h"

#include <QCoreApplication>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

frmDemo::frmDemo(ModalDownload& owner) : QWidget(nullptr), owner_(owner) {
    setObjectName("frmDemo");
    cmdDoSingleDownLoad = new QPushButton(QStringLiteral("Single"), this);
    cmdDoSingleDownLoad->setObjectName("cmdDoSingleDownLoad");
    CmdCancel = new QPushButton(QStringLiteral("Cancel"), this);
    CmdCancel->setObjectName("CmdCancel");
    Text2 = new QLineEdit(QStringLiteral("Text2"), this);
    Text2->setObjectName("Text2");
    Text3 = new QPlainTextEdit(this);
    Text3->setObjectName("Text3");
    Text3->setReadOnly(true);
}

void frmDemo::cmdDoSingleDownLoad_Click() {
    const QString job = owner_.DownloadUrl + "|" + owner_.DownloadTarget + "|1|";
    if (frmDnLoad* w = owner_.DnLoad()) w->ShowDownLoad(job, nullptr, nullptr);
}

void frmDemo::CmdCancel_Click() {
    frmDnLoad* w = owner_.DnLoad();
    if (w) w->EchoCancelRequest();
    QCoreApplication::processEvents();
    // A nearly finished file is kept under the target's name; anything less
    // is dropped. An earlier file stays unless replaced by a kept one.
    if (w) w->SettleCancelledFile(w->ProgressBar1->Value() * 100 / w->ProgressBar1->Max() >= 98);
    owner_.services.app->EndNow();
}

void frmDemo::AppendTrace(const QString& line) {
    // The log is one text with a line break after every entry.
    Text3->moveCursor(QTextCursor::End);
    Text3->insertPlainText(line + "\r\n");
}
