#include "app/VbCombo.h"

#include <QKeyEvent>
#include <QLineEdit>

VbCombo::VbCombo(bool editable, QWidget* parent) : QComboBox(parent) {
    setEditable(editable);
    setInsertPolicy(QComboBox::NoInsert);
    connect(this, qOverload<int>(&QComboBox::activated), this, [this](int i) {
        if (finishingEdit_) return;  // the edit's own end, not a pick
        listIndex_ = i;
        Q_EMIT Clicked();
    });
    if (editable) {
        // No inline completion: a completed item text would stand there as a
        // typed text (index -1) that the run reads differently from the item.
        setCompleter(nullptr);
        connect(lineEdit(), &QLineEdit::textEdited, this, [this] {
            listIndex_ = -1;
            Q_EMIT Changed();
        });
    }
}

void VbCombo::SetListIndex(int index) {
    if (index < -1 || index >= count()) return;
    listIndex_ = index;
    {
        const QSignalBlocker block(this);
        setCurrentIndex(index);
        if (isEditable() && index < 0) setEditText(QString());
    }
    Q_EMIT Clicked();
}

QString VbCombo::Text() const { return isEditable() ? currentText() : (listIndex_ >= 0 ? itemText(listIndex_) : QString()); }

void VbCombo::SetText(const QString& text) {
    const int match = findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive);
    listIndex_ = match;
    {
        const QSignalBlocker block(this);
        if (match >= 0) setCurrentIndex(match);
        if (isEditable()) setEditText(text);
    }
    Q_EMIT Changed();
}

void VbCombo::SetTextKeepIndex(const QString& text) {
    if (isEditable()) {
        const QSignalBlocker block(this);
        setEditText(text);
    }
    Q_EMIT Changed();
}

void VbCombo::focusOutEvent(QFocusEvent* e) {
    const bool was = finishingEdit_;
    finishingEdit_ = true;
    QComboBox::focusOutEvent(e);
    finishingEdit_ = was;
}

void VbCombo::keyPressEvent(QKeyEvent* e) {
    const bool ends = e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter;
    const bool was = finishingEdit_;
    if (ends) finishingEdit_ = true;
    QComboBox::keyPressEvent(e);
    finishingEdit_ = was;
}
