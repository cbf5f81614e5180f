#pragma once
// The download's hidden helper form: it builds the job text, relays a
// confirmed cancel and keeps the trace log. Never shown.
#include "platform/Services.h"

#include <QWidget>

class RunningDownload;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

class frmDemo : public QWidget {
    Q_OBJECT
public:
    frmDemo(RunningDownload& download, Services services);

    // Builds "URL|target|1|" from the current download and runs it.
    void cmdDoSingleDownLoad_Click();
    // Aborts the transfer, drops an unfinished file that is not nearly
    // complete, and ends the program.
    void CmdCancel_Click();
    void AppendTrace(const QString& line);

    QPushButton* cmdDoSingleDownLoad;
    QPushButton* CmdCancel;
    QLineEdit* Text2;
    QPlainTextEdit* Text3;

private:
    RunningDownload& download_;
    Services services_;
};
