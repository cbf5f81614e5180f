#include "platform/QtDialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QStringList>

QString ToQtFilter(const QString& filter) {
    const QStringList parts = filter.split('|');
    QStringList out;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QString patterns = parts[i + 1];
        patterns.replace(';', ' ');
        out << parts[i] + " (" + patterns + ")";
    }
    if (out.isEmpty() && !filter.isEmpty()) out << filter;
    return out.join(";;");
}

QString FileNameText(const QStringList& paths, bool multiSelect) {
    if (paths.isEmpty()) return {};
    if (!multiSelect || paths.size() == 1) return paths.first();
    // Folder first, then the names, each separated by NUL: bare names in that
    // folder, whole paths for files picked elsewhere.
    const QString folder = QFileInfo(paths.first()).absolutePath();
    QStringList parts{folder};
    for (const QString& p : paths) {
        const QFileInfo info(p);
        parts << (info.absolutePath() == folder ? info.fileName() : info.absoluteFilePath());
    }
    return parts.join(QChar(0));
}

namespace {
QMessageBox::StandardButton standardOf(MsgResult answer) {
    switch (answer) {
        case MsgResult::Ok: return QMessageBox::Ok;
        case MsgResult::Cancel: return QMessageBox::Cancel;
        case MsgResult::Yes: return QMessageBox::Yes;
        case MsgResult::No: return QMessageBox::No;
        case MsgResult::Retry: return QMessageBox::Retry;
        case MsgResult::Abort: return QMessageBox::Abort;
        case MsgResult::Ignore: return QMessageBox::Ignore;
    }
    return QMessageBox::NoButton;
}
}  // namespace

MsgResult QtDialogs::Message(const QString& text, const QString& title, MsgIcon icon,
                             MsgButtons buttons, int defaultButton, int escapeButton) {
    QMessageBox box(parent_);
    // Over a window that stays on top, the box must stay on top as well.
    if (parent_ && parent_->windowFlags().testFlag(Qt::WindowStaysOnTopHint))
        box.setWindowFlag(Qt::WindowStaysOnTopHint, true);
    box.setWindowTitle(title);
    box.setText(text);
    switch (icon) {
        case MsgIcon::Critical: box.setIcon(QMessageBox::Critical); break;
        case MsgIcon::Question: box.setIcon(QMessageBox::Question); break;
        case MsgIcon::Exclamation: box.setIcon(QMessageBox::Warning); break;
        case MsgIcon::Information: box.setIcon(QMessageBox::Information); break;
        case MsgIcon::None: break;
    }
    QList<QMessageBox::StandardButton> list;
    switch (buttons) {
        case MsgButtons::Ok: list = {QMessageBox::Ok}; break;
        case MsgButtons::OkCancel: list = {QMessageBox::Ok, QMessageBox::Cancel}; break;
        case MsgButtons::YesNo: list = {QMessageBox::Yes, QMessageBox::No}; break;
        case MsgButtons::YesNoCancel: list = {QMessageBox::Yes, QMessageBox::No, QMessageBox::Cancel}; break;
        case MsgButtons::RetryCancel: list = {QMessageBox::Retry, QMessageBox::Cancel}; break;
        case MsgButtons::AbortRetryIgnore: list = {QMessageBox::Abort, QMessageBox::Retry, QMessageBox::Ignore}; break;
    }
    for (auto b : list) box.addButton(b);
    if (defaultButton >= 0 && defaultButton < list.size()) box.setDefaultButton(list[defaultButton]);
    // Escape and closing the box both choose its escape button.
    box.setEscapeButton(standardOf(EscapeAnswer(buttons, escapeButton)));
    box.exec();
    auto clicked = box.standardButton(box.clickedButton());
    switch (clicked) {
        case QMessageBox::Ok: return MsgResult::Ok;
        case QMessageBox::Yes: return MsgResult::Yes;
        case QMessageBox::No: return MsgResult::No;
        case QMessageBox::Retry: return MsgResult::Retry;
        case QMessageBox::Abort: return MsgResult::Abort;
        case QMessageBox::Ignore: return MsgResult::Ignore;
        case QMessageBox::Cancel: return MsgResult::Cancel;
        default: break;
    }
    return EscapeAnswer(buttons, escapeButton);
}

QString QtDialogs::OpenFile(const FileDialogRequest& request) {
    const bool multi = (request.flags & ofn::AllowMultiSelect) != 0;
    QFileDialog dlg(parent_, request.title, request.startFolder, ToQtFilter(request.filter));
    dlg.setFileMode(multi ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
    dlg.setAcceptMode(QFileDialog::AcceptOpen);
    if (dlg.exec() != QDialog::Accepted) return {};
    return FileNameText(dlg.selectedFiles(), multi);
}

QString QtDialogs::PickFolder(const QString& prompt, const QString& startFolder) {
    return QFileDialog::getExistingDirectory(parent_, prompt, startFolder,
                                             QFileDialog::ShowDirsOnly);
}

void QtDialogs::Beep() { QApplication::beep(); }
