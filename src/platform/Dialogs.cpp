#include "platform/Dialogs.h"

#include <algorithm>

std::vector<MsgResult> AnswersOf(MsgButtons buttons) {
    switch (buttons) {
        case MsgButtons::Ok: return {MsgResult::Ok};
        case MsgButtons::OkCancel: return {MsgResult::Ok, MsgResult::Cancel};
        case MsgButtons::YesNo: return {MsgResult::Yes, MsgResult::No};
        case MsgButtons::YesNoCancel: return {MsgResult::Yes, MsgResult::No, MsgResult::Cancel};
        case MsgButtons::RetryCancel: return {MsgResult::Retry, MsgResult::Cancel};
        case MsgButtons::AbortRetryIgnore: return {MsgResult::Abort, MsgResult::Retry, MsgResult::Ignore};
    }
    return {MsgResult::Ok};
}

MsgResult EscapeAnswer(MsgButtons buttons, int escapeButton) {
    const std::vector<MsgResult> answers = AnswersOf(buttons);
    if (escapeButton >= 0 && escapeButton < static_cast<int>(answers.size()))
        return answers[static_cast<size_t>(escapeButton)];
    for (MsgResult cancelling : {MsgResult::Cancel, MsgResult::No, MsgResult::Abort})
        if (std::find(answers.begin(), answers.end(), cancelling) != answers.end()) return cancelling;
    return answers.front();
}
