#include "update/frmDemo.h"

#include "update/RunningDownload.h"

#include <QCoreApplication>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

frmDemo::frmDemo(RunningDownload& download, Services services)
    : QWidget(nullptr), download_(download), services_(services) {
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
    download_.ShowDownLoad(download_.Url() + "|" + download_.Target() + "|1|");
}

void frmDemo::CmdCancel_Click() {
    download_.EchoCancelRequest();
    QCoreApplication::processEvents();
    // A nearly finished file is kept under the target's name; anything less
    // is dropped. An earlier file stays unless replaced by a kept one.
    download_.SettleCancelledFile(download_.BarPercent() >= 98);
    services_.app->EndNow();
}

void frmDemo::AppendTrace(const QString& line) {
    // The log is one text with a line break after every entry.
    Text3->moveCursor(QTextCursor::End);
    Text3->insertPlainText(line + "\r\n");
}
