#pragma once
// Value checks of the free-text option controls.
#include <QObject>

class Form1;

class OptionValidators : public QObject {
    Q_OBJECT
public:
    explicit OptionValidators(Form1& form);

    void CmbSize_Change();
    void CmbSize_Click();
    void CmbSize_Validate();
    void CmbVBit_Validate();
    void TPos_Validate();
    void TSizeCut_Validate();
    void TTimeCut_Validate();

private:
    Form1& f_;
};
