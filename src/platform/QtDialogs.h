#pragma once
#include "platform/Dialogs.h"

class QWidget;

class QtDialogs : public Dialogs {
public:
    explicit QtDialogs(QWidget* parent = nullptr) { SetParent(parent); }
    MsgResult Message(const QString& text, const QString& title, MsgIcon icon, MsgButtons buttons,
                      int defaultButton, int escapeButton) override;
    QString OpenFile(const FileDialogRequest& request) override;
    QString PickFolder(const QString& prompt, const QString& startFolder) override;
    void Beep() override;
};
