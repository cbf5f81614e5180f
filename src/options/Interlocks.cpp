#include "options/Interlocks.h"

#include "app/Form1.h"
#include "app/UpDown.h"
#include "app/VbCombo.h"
#include "filelist/FileGrid.h"
#include "filelist/FileListController.h"
#include "options/ModeSwitch.h"
#include "options/OptionValidators.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

Interlocks::Interlocks(Form1& form) : f_(form) {
    // toggled fires for changes by code too, and not when the state stays.
    connect(f_.ChAsHead, &QCheckBox::toggled, this, &Interlocks::ChAsHead_Click);
    connect(f_.ChAutoMatch, &QCheckBox::toggled, this, &Interlocks::ChAutoMatch_Click);
    connect(f_.ChCutSize, &QCheckBox::toggled, this, &Interlocks::ChCutSize_Click);
    connect(f_.ChCutTime, &QCheckBox::toggled, this, &Interlocks::ChCutTime_Click);
    connect(f_.ChDelRecover, &QCheckBox::toggled, this, &Interlocks::ChDelRecover_Click);
    connect(f_.ChFileNameAs, &QCheckBox::toggled, this, &Interlocks::ChFileNameAs_Click);
    connect(f_.ChMp3, &QCheckBox::toggled, this, &Interlocks::ChMp3_Click);
    connect(f_.ChOther, &QCheckBox::toggled, this, &Interlocks::ChOther_Click);
    connect(f_.ChPercent, &QCheckBox::toggled, this, &Interlocks::ChPercent_Click);
}

// Each reaction re-reads its own box: a nested reaction may have changed it.

void Interlocks::ChAsHead_Click() {
    f_.TPos->setText(QStringLiteral("1"));
    f_.ChPercent->setChecked(false);
    f_.Frame3->setEnabled(f_.ProcessingMode() == FrameAsCover && !f_.ChAsHead->isChecked());
    f_.ChOther->setChecked(false);
    if (f_.ChAsHead->isChecked()) {
        f_.ChDelRecover->setChecked(false);
        f_.ChFileNameAs->setChecked(false);
    }
    f_.ChOther->setEnabled(!f_.ChAsHead->isChecked());
}

void Interlocks::ChAutoMatch_Click() {
    if (f_.ChAutoMatch->isChecked()) {
        f_.CmdCover->setText(QStringLiteral("指定封面图来源..."));
    } else {
        f_.CmdCover->setText(QStringLiteral("指定封面图..."));
        f_.LBase->setText(QStringLiteral("未指定"));
    }
}

void Interlocks::ChCutSize_Click() {
    f_.TSizeCut->setEnabled(f_.ChCutSize->isChecked());
    f_.validators->TSizeCut_Validate();
}

void Interlocks::ChCutTime_Click() { f_.TTimeCut->setEnabled(f_.ChCutTime->isChecked()); }

void Interlocks::ChDelRecover_Click() {
    if (f_.ChDelRecover->isChecked()) {
        f_.ChFileNameAs->setChecked(false);
        f_.ChFileNameAs->setEnabled(false);
        f_.ChDoSels->setEnabled(true);
        f_.ChAsHead->setChecked(false);
    } else {
        f_.ChFileNameAs->setEnabled(true);
        f_.ChDoSels->setEnabled(false);
        f_.ChDoSels->setChecked(false);
    }
}

void Interlocks::ChFileNameAs_Click() {
    f_.ChColor->setEnabled(f_.ChFileNameAs->isChecked());
    if (f_.ChFileNameAs->isChecked()) f_.ChAsHead->setChecked(false);
}

void Interlocks::ChMp3_Click() {
    FileListController::ClearList(f_);
    auto recaption = [](QPushButton* b, const QString& from, const QString& to) {
        b->setText(b->text().replace(from, to, Qt::CaseSensitive));
    };
    if (f_.ChMp3->isChecked()) {
        f_.ChOther->setChecked(false);
        f_.ChOther->setEnabled(false);
        f_.ChCutSize->setChecked(false);
        f_.ChCutSize->setEnabled(false);
        recaption(f_.CmdAddMp4, QStringLiteral("视频"), QStringLiteral("Mp3"));
        recaption(f_.CmdReadMp4, QStringLiteral("视频"), QStringLiteral("Mp3"));
    } else {
        f_.ChOther->setEnabled(true);
        f_.ChCutSize->setEnabled(true);
        recaption(f_.CmdAddMp4, QStringLiteral("Mp3"), QStringLiteral("视频"));
        recaption(f_.CmdReadMp4, QStringLiteral("Mp3"), QStringLiteral("视频"));
    }
    const int mode = f_.ProcessingMode();
    if (mode == SeriesFromOneVideo || mode == OneCoverPerVideo || mode == OneCoverForAllVideos)
        ModeSwitch::ShowFileHeaders(*f_.MSF, mode, f_.ChMp3->isChecked());
}

void Interlocks::ChOther_Click() {
    f_.Frame4->setEnabled(f_.ChOther->isChecked());
    if (f_.ChOther->isChecked()) {
        f_.CmbFrms->SetListIndex(4);
        f_.CmbComp->SetListIndex(33);
    } else {
        f_.CmbComp->SetListIndex(0);
        f_.CmbFrms->SetListIndex(0);
    }
}

void Interlocks::ChPercent_Click() {
    f_.LPos->setText(f_.ChPercent->isChecked() ? QStringLiteral("%") : QStringLiteral("秒"));
    // The spinner steps 0..100, which only makes sense for a percentage.
    f_.UpDown1->setEnabled(f_.ChPercent->isChecked());
    f_.validators->TPos_Validate();
}
