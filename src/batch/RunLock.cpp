#include "batch/RunLock.h"

#include "app/Form1.h"
#include "filelist/FileGrid.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QPushButton>

void RunLock::Enter() {
    f_.Busy = true;
    f_.CmdStop->show();
    f_.StopRequested = false;
    f_.CmdDo->setEnabled(false);

    chOtherWasEnabled_ = f_.ChOther->isEnabled();
    f_.Frame2->setEnabled(false);
    f_.Frame1->setEnabled(false);
    f_.ChOther->setEnabled(false);
    f_.Frame4->setEnabled(false);
    // The window buttons outside the frames rest too: the update flow or the
    // About box would otherwise run inside a row's wait.
    windowButtonsWereEnabled_ = {f_.CmdAbout->isEnabled(), f_.CmdUpdate->isEnabled()};
    f_.CmdAbout->setEnabled(false);
    f_.CmdUpdate->setEnabled(false);
}

void RunLock::Leave() {
    f_.Busy = false;
    f_.Frame2->setEnabled(true);
    f_.MSF->SetRow(1);
    f_.MSF->SetColSel(f_.MSF->Cols() - 1);
    f_.MSF->SetTopRow(1);
    f_.CmdDo->setEnabled(true);
    f_.Frame1->setEnabled(true);
    f_.CmdStop->hide();
    f_.Frame4->setEnabled(f_.ChOther->isChecked());
    f_.ChOther->setEnabled(chOtherWasEnabled_);
    f_.CmdAbout->setEnabled(windowButtonsWereEnabled_.first);
    f_.CmdUpdate->setEnabled(windowButtonsWereEnabled_.second);
}
