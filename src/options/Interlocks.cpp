#include "options/Interlocks.h"

#include "app/Form1.h"

#include <QCheckBox>

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
    connect(f_.ChSwap, &QCheckBox::toggled, this, &Interlocks::ChSwap_Click);
}

void Interlocks::ChAsHead_Click() {}
void Interlocks::ChAutoMatch_Click() {}
void Interlocks::ChCutSize_Click() {}
void Interlocks::ChCutTime_Click() {}
void Interlocks::ChDelRecover_Click() {}
void Interlocks::ChFileNameAs_Click() {}
void Interlocks::ChMp3_Click() {}
void Interlocks::ChOther_Click() {}
void Interlocks::ChPercent_Click() {}
void Interlocks::ChSwap_Click() {}
