#pragma once
// The width/height swap box ChSwap and the size combo CmbSize: the box is
// usable only while a listed fixed size is shown, and checking or unchecking
// it swaps the two sides of the size text.
#include <QObject>

class QCheckBox;
class VbCombo;

class SizeSwap : public QObject {
    Q_OBJECT
public:
    SizeSwap(QCheckBox& ChSwap, VbCombo& CmbSize);

    // Runs after every change of ChSwap's state, by the user or by code.
    void ChSwap_Click();
    void CmbSize_Change();
    void CmbSize_Click();

private:
    // Takes the box away unless a listed fixed size is shown.
    void applySwapRule();
    // Shows the size text with its sides swapped, when it is two sides.
    void swapSides();
    // Unchecks ChSwap because the size text is no longer a listed size (the
    // user typed or picked something else): that text is the user's and is
    // not swapped back.
    void uncheckLeavingText();

    QCheckBox& box_;
    VbCombo& size_;
    bool leaveSizeText_ = false;
};
