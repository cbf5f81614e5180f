#pragma once
// The window while a run goes on: only the stop button, the list, the status
// bar and the close box act. Entering and leaving in one place, so that what
// the run takes away it gives back as it found it.
#include <utility>

class Form1;

class RunLock {
public:
    explicit RunLock(Form1& form) : f_(form) {}
    // Busy, the stop button shown, CmdDo and the frames disabled.
    void Enter();
    // Everything back, the list's first row selected and scrolled to.
    void Leave();

private:
    Form1& f_;
    // ChOther has no frame of its own; it gets its state back at the end.
    bool chOtherWasEnabled_ = true;
    // CmdAbout and CmdUpdate as the run found them.
    std::pair<bool, bool> windowButtonsWereEnabled_{true, false};
};
