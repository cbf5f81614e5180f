#pragma once
// A combo box with a list index that turns -1 when text is typed and stays -1
// until an item is picked (a typed text equal to an item stays typed), and two
// notifications: Clicked after an item is selected (by the user or by code,
// re-selecting the current item included) and Changed after the text changes.
#include <QComboBox>

class VbCombo : public QComboBox {
    Q_OBJECT
public:
    explicit VbCombo(bool editable, QWidget* parent = nullptr);

    int ListIndex() const { return listIndex_; }
    // Selects an item (or nothing with -1) and runs Clicked.
    void SetListIndex(int index);
    QString Text() const;
    // Sets the text; the list index follows an item with exactly this text,
    // else -1. Runs Changed.
    void SetText(const QString& text);
    // Sets the text of an editable combo and leaves the list index as it is
    // (a listed size shown with its sides swapped still counts as that
    // item). Runs Changed.
    void SetTextKeepIndex(const QString& text);

Q_SIGNALS:
    void Clicked();
    void Changed();

protected:
    // Leaving the box, or Enter, with a typed text that equals an item makes
    // Qt select that item; only a pick from the list counts as one.
    void focusOutEvent(QFocusEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;

private:
    int listIndex_ = -1;
    bool finishingEdit_ = false;
};
