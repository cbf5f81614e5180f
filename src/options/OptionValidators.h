#pragma once
// Value checks of the free-text option controls: each validate handler runs
// when the focus leaves its control, rewrites the text and lets the focus go.
#include <QObject>

class Form1;

class OptionValidators : public QObject {
    Q_OBJECT
public:
    explicit OptionValidators(Form1& form);

    void CmbSize_Validate();
    void CmbVBit_Validate();
    // KeyAscii is set to 0 when the key is dropped.
    void TPos_KeyPress(int& KeyAscii);
    void TPos_Validate();
    void TSizeCut_Validate();
    void TTimeCut_Validate();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    Form1& f_;
};
