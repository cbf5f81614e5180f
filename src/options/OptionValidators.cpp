#include "options/OptionValidators.h"

#include "app/Form1.h"
#include "app/VbCombo.h"
#include "options/Validators.h"

#include <QApplication>
#include <QCheckBox>
#include <QFocusEvent>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLineEdit>

namespace {

void setIfDifferent(QLineEdit* box, const QString& text) {
    if (box->text() != text) box->setText(text);
}

// The character code a key press hands to a key filter; nothing for keys that
// produce no character (arrows, Delete, function keys) or that move the focus.
std::optional<int> keyAscii(const QKeyEvent* e) {
    switch (e->key()) {
        case Qt::Key_Tab:
        case Qt::Key_Backtab:
            return std::nullopt;
        case Qt::Key_Backspace:
            return 8;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            return 13;
        case Qt::Key_Escape:
            return 27;
        default:
            break;
    }
    const QString text = e->text();
    if (!text.isEmpty()) return static_cast<int>(text.at(0).unicode());
    if ((e->modifiers() & Qt::ControlModifier) && e->key() >= Qt::Key_A && e->key() <= Qt::Key_Z)
        return e->key() - Qt::Key_A + 1;
    return std::nullopt;
}

}  // namespace

OptionValidators::OptionValidators(Form1& form) : f_(form) {
    // An editable combo keeps the focus itself (its line edit forwards to it).
    for (QObject* o : std::initializer_list<QObject*>{f_.CmbSize, f_.CmbVBit, f_.TPos, f_.TSizeCut, f_.TTimeCut})
        o->installEventFilter(this);
}

bool OptionValidators::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
        case QEvent::FocusOut: {
            // A popup (the drop-down, a context menu) or another window taking
            // over is no leaving of the control.
            const auto reason = static_cast<QFocusEvent*>(event)->reason();
            if (reason == Qt::PopupFocusReason || reason == Qt::ActiveWindowFocusReason) break;
            if (QApplication::activePopupWidget()) break;
            if (watched == f_.CmbSize) CmbSize_Validate();
            else if (watched == f_.CmbVBit) CmbVBit_Validate();
            else if (watched == f_.TPos) TPos_Validate();
            else if (watched == f_.TSizeCut) TSizeCut_Validate();
            else if (watched == f_.TTimeCut) TTimeCut_Validate();
            break;
        }
        case QEvent::KeyPress: {
            if (watched != f_.TPos) break;
            const auto code = keyAscii(static_cast<QKeyEvent*>(event));
            if (!code) break;
            int key = *code;
            TPos_KeyPress(key);
            if (key == 0) return true;
            break;
        }
        case QEvent::InputMethod: {
            // Text committed by an input method bypasses key presses.
            if (watched != f_.TPos) break;
            auto* im = static_cast<QInputMethodEvent*>(event);
            const QString commit = im->commitString();
            if (commit.isEmpty()) break;
            QString kept;
            bool dropped = false;
            for (const QChar c : commit) {
                int key = c.unicode();
                TPos_KeyPress(key);
                if (key == 0) dropped = true;
                else kept += c;
            }
            if (dropped) im->setCommitString(kept, im->replacementStart(), im->replacementLength());
            break;
        }
        default:
            break;
    }
    return QObject::eventFilter(watched, event);
}

void OptionValidators::CmbSize_Validate() {
    using Apply = validators::SizeResult::Apply;
    const auto r = validators::CheckSize({f_.CmbSize->Text(), f_.CmbSize->ListIndex()});
    switch (r.apply) {
        case Apply::Unchanged:
            break;
        case Apply::KeepSize:
            f_.CmbSize->SetListIndex(0);
            break;
        case Apply::Typed:
            f_.CmbSize->SetText(r.text);
            break;
        case Apply::SameIndex:
            f_.CmbSize->SetTextKeepIndex(r.text);
            break;
    }
}

void OptionValidators::CmbVBit_Validate() {
    const validators::ComboState now{f_.CmbVBit->Text(), f_.CmbVBit->ListIndex()};
    const auto r = validators::CheckVideoBitRate(now);
    if (r.text == now.text && r.index == now.index) return;
    f_.CmbVBit->SetText(r.text);
}

void OptionValidators::TPos_KeyPress(int& KeyAscii) {
    if (validators::MomentKeyAllowed(KeyAscii)) return;
    f_.services.dialogs->Beep();
    KeyAscii = 0;
}

void OptionValidators::TPos_Validate() {
    setIfDifferent(f_.TPos, validators::CheckMoment(f_.TPos->text(), f_.ChPercent->isChecked()));
}

void OptionValidators::TSizeCut_Validate() { setIfDifferent(f_.TSizeCut, validators::CheckCrop(f_.TSizeCut->text())); }

void OptionValidators::TTimeCut_Validate() { setIfDifferent(f_.TTimeCut, validators::CheckTrim(f_.TTimeCut->text())); }
