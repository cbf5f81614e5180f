#pragma once
// Filling the list: the add and cover dialogs, the folder scan, drops and the
// folder pickers.
#include <QObject>
#include <QStringList>

class Form1;

class Intake : public QObject {
    Q_OBJECT
public:
    explicit Intake(Form1& form);

    void CmdAddMp4_Click();
    void CmdCover_Click();
    void CmdReadMp4_Click();
    void CmdIndir_Click();
    void CmdOutDir_Click();
    void MSF_OLEDragDrop(const QStringList& paths);

private:
    Form1& f_;
};
