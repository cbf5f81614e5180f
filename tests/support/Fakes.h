#pragma once
// Scripted stand-ins for the platform services.
#include "platform/AppControl.h"
#include "platform/Dialogs.h"
#include "platform/ProcessList.h"
#include "platform/Settings.h"
#include "platform/Shell.h"

#include <QMap>
#include <QString>
#include <QStringList>
#include <deque>
#include <functional>
#include <stdexcept>
#include <vector>

class QWidget;

struct RecordedMessage {
    QString text, title;
    MsgIcon icon;
    MsgButtons buttons;
    int defaultButton;
    int escapeButton;
    // The window the box was shown over, and whether it was showing then.
    QWidget* parent = nullptr;
    bool parentVisible = false;
};

class FakeDialogs : public Dialogs {
public:
    // Answers given in order; when none is queued, the default button's answer.
    std::deque<MsgResult> answers;
    // How many of the next messages are dismissed with Escape (before any
    // queued answer is used).
    int escapes = 0;
    // Called when a message is shown, before it is answered (e.g. to act meanwhile).
    std::function<void(const RecordedMessage&)> onMessage;
    std::vector<RecordedMessage> messages;
    std::deque<QString> fileAnswers;
    std::vector<FileDialogRequest> fileRequests;
    std::deque<QString> folderAnswers;
    QStringList folderPrompts;
    int beeps = 0;

    MsgResult Message(const QString& text, const QString& title, MsgIcon icon, MsgButtons buttons,
                      int defaultButton, int escapeButton) override;
    QString OpenFile(const FileDialogRequest& request) override;
    QString PickFolder(const QString& prompt, const QString& startFolder) override;
    void Beep() override { ++beeps; }

    bool Shown(const QString& text) const;
    QString LastText() const { return messages.empty() ? QString() : messages.back().text; }
};

struct ShellCall {
    QString what;  // "open", "select", "start"
    QString target;
    QStringList args;
    QString workDir;
};

class FakeShell : public Shell {
public:
    std::vector<ShellCall> calls;
    int startResult = 42;
    void Open(const QString& target, const QString& workDir) override {
        calls.push_back({"open", target, {}, workDir});
    }
    void SelectInFileManager(const QString& file) override { calls.push_back({"select", file, {}, {}}); }
    int Start(const QString& program, const QStringList& args, const QString& workDir, long long* pid) override {
        calls.push_back({"start", program, args, workDir});
        if (pid) *pid = 0;
        return startResult;
    }
    void Reap() override {}
    std::optional<int> ExitStatus(long long) override { return 0; }
};

class FakeProcessList : public ProcessList {
public:
    QStringList running;  // names, in "id" order
    QStringList killed;
    bool IsRunning(const QString& exeName) override { return Count(exeName) > 0; }
    int Count(const QString& exeName) override;
    int KillFirstByPrefix(const QString& exeName) override;
};

class FakeSettings : public Settings {
public:
    QMap<QString, QString> values;
    std::optional<QString> Get(const QString& key) override {
        if (!values.contains(key)) return std::nullopt;
        return values.value(key);
    }
    void Set(const QString& key, const QString& value) override { values[key] = value; }
};

class FakeAppControl : public AppControl {
public:
    int ended = 0;
    void EndNow() override { ++ended; }
};
