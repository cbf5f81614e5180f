#pragma once
// Message boxes, file dialogs, the folder picker and the beep, behind one
// interface so tests can answer them from a script.
#include <QString>
#include <vector>

class QWidget;

enum class MsgIcon { None, Critical, Question, Exclamation, Information };
enum class MsgButtons { Ok, OkCancel, YesNo, YesNoCancel, RetryCancel, AbortRetryIgnore };
enum class MsgResult { Ok, Cancel, Yes, No, Retry, Abort, Ignore };

// Open-file dialog flags as the program uses them.
namespace ofn {
constexpr long AllowMultiSelect = 0x200;
constexpr long SingleSelection = 528388;
constexpr long MultipleSelection = 528900;
}  // namespace ofn

struct FileDialogRequest {
    QString title;
    QString filter;  // "描述|*.a;*.b|描述2|*.*"
    long flags = ofn::SingleSelection;
    QString startFolder;
};

class Dialogs {
public:
    virtual ~Dialogs() = default;
    // defaultButton: index of the default among the buttons, from 0.
    // escapeButton: index of the button that Escape and closing the box
    // choose; -1 for the box's cancelling button (see EscapeAnswer).
    virtual MsgResult Message(const QString& text, const QString& title, MsgIcon icon,
                              MsgButtons buttons, int defaultButton = 0, int escapeButton = -1) = 0;
    // The FileName text: "" on cancel; one full path; or with multiple
    // selection the folder and the names separated by NUL characters.
    virtual QString OpenFile(const FileDialogRequest& request) = 0;
    // The chosen folder as the picker gives it, "" on cancel.
    virtual QString PickFolder(const QString& prompt, const QString& startFolder) = 0;
    virtual void Beep() = 0;

    // The window boxes and dialogs are shown over; null: a window of their own.
    void SetParent(QWidget* parent) { parent_ = parent; }
    QWidget* Parent() const { return parent_; }

protected:
    QWidget* parent_ = nullptr;
};

// Shows boxes over another window (or over none) for one scope.
class DialogParent {
public:
    DialogParent(Dialogs& dialogs, QWidget* parent) : dialogs_(dialogs), old_(dialogs.Parent()) {
        dialogs.SetParent(parent);
    }
    ~DialogParent() { dialogs_.SetParent(old_); }
    DialogParent(const DialogParent&) = delete;
    DialogParent& operator=(const DialogParent&) = delete;

private:
    Dialogs& dialogs_;
    QWidget* old_;
};

// The answers of a box's buttons, in their order.
std::vector<MsgResult> AnswersOf(MsgButtons buttons);
// What Escape or closing the box answers: the button at escapeButton, else
// Cancel, else No, else Abort, else the box's only button.
MsgResult EscapeAnswer(MsgButtons buttons, int escapeButton = -1);

// Converts a "描述|*.a;*.b|..." filter to the form of Qt's file dialog.
QString ToQtFilter(const QString& filter);
// Builds the FileName text from the selected paths.
QString FileNameText(const QStringList& paths, bool multiSelect);
