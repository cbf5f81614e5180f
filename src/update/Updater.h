#pragma once
// The version check at start-up and the update button's flow.
#include <QObject>

class Form1;

class Updater : public QObject {
    Q_OBJECT
public:
    explicit Updater(Form1& form);

    // Start-up: may offer an update on CmdUpdate and in the window caption.
    void VersionCheck();
    void CmdUpdate_Click();

private:
    Form1& f_;
};
