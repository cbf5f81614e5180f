#pragma once
// Reactions of the option check boxes. Each runs after every change of its
// box's state, by the user or by code, and nests inside the code that made it.
#include <QObject>

class Form1;

class Interlocks : public QObject {
    Q_OBJECT
public:
    explicit Interlocks(Form1& form);

    void ChAsHead_Click();
    void ChAutoMatch_Click();
    void ChCutSize_Click();
    void ChCutTime_Click();
    void ChDelRecover_Click();
    void ChFileNameAs_Click();
    void ChMp3_Click();
    void ChOther_Click();
    void ChPercent_Click();

private:
    Form1& f_;
};
