#pragma once
#include "platform/Dialogs.h"

class QWidget;

class QtDialogs : public Dialogs {
public:
    explicit QtDialogs(QWidget* parent = nullptr) : parent_(parent) {}
    void SetParent(QWidget* parent) { parent_ = parent; }
    MsgResult Message(const QString& text, const QString& title, MsgIcon icon, MsgButtons buttons,
                      int defaultButton, int escapeButton) override;
    QString OpenFile(const FileDialogRequest& request) override;
    QString PickFolder(const QString& prompt, const QString& startFolder) override;
    void Beep() override;

private:
    QWidget* parent_;
};
