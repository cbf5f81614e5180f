#pragma once
// The run started by the main button: one encoder job per row.
#include <QObject>

class Form1;

class BatchRun : public QObject {
    Q_OBJECT
public:
    explicit BatchRun(Form1& form);

    void CmdDo_Click();
    void CmdStop_Click();

private:
    Form1& f_;
};
