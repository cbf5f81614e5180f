#include "support/Fakes.h"

#include <QWidget>

namespace {
MsgResult defaultAnswer(MsgButtons buttons, int def) {
    const std::vector<MsgResult> list = AnswersOf(buttons);
    return def >= 0 && def < static_cast<int>(list.size()) ? list[static_cast<size_t>(def)] : list.front();
}
}  // namespace

MsgResult FakeDialogs::Message(const QString& text, const QString& title, MsgIcon icon, MsgButtons buttons,
                               int defaultButton, int escapeButton) {
    messages.push_back(
        {text, title, icon, buttons, defaultButton, escapeButton, parent_, parent_ && parent_->isVisible()});
    if (onMessage) onMessage(messages.back());
    if (escapes > 0) {
        --escapes;
        return EscapeAnswer(buttons, escapeButton);
    }
    if (!answers.empty()) {
        const MsgResult r = answers.front();
        answers.pop_front();
        return r;
    }
    return defaultAnswer(buttons, defaultButton);
}

QString FakeDialogs::OpenFile(const FileDialogRequest& request) {
    fileRequests.push_back(request);
    if (fileAnswers.empty()) return {};
    const QString r = fileAnswers.front();
    fileAnswers.pop_front();
    return r;
}

QString FakeDialogs::PickFolder(const QString& prompt, const QString&) {
    folderPrompts << prompt;
    if (folderAnswers.empty()) return {};
    const QString r = folderAnswers.front();
    folderAnswers.pop_front();
    return r;
}

bool FakeDialogs::Shown(const QString& text) const {
    for (const auto& m : messages)
        if (m.text == text) return true;
    return false;
}

int FakeProcessList::Count(const QString& exeName) {
    int n = 0;
    for (const QString& r : running)
        if (r.compare(exeName, Qt::CaseInsensitive) == 0) ++n;
    return n;
}

int FakeProcessList::KillFirstByPrefix(const QString& exeName) {
    for (int i = 0; i < running.size(); ++i) {
        if (running[i].toLower().startsWith(exeName.toLower())) {
            killed << running[i];
            running.removeAt(i);
            return 1;
        }
    }
    return 0;
}
