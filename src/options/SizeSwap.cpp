#include "options/SizeSwap.h"

#include "app/VbCombo.h"
#include "options/Validators.h"

#include <QCheckBox>

SizeSwap::SizeSwap(QCheckBox& ChSwap, VbCombo& CmbSize) : box_(ChSwap), size_(CmbSize) {
    // toggled fires for changes by code too, and not when the state stays.
    connect(&box_, &QCheckBox::toggled, this, &SizeSwap::ChSwap_Click);
    connect(&size_, &VbCombo::Changed, this, &SizeSwap::CmbSize_Change);
    connect(&size_, &VbCombo::Clicked, this, &SizeSwap::CmbSize_Click);
}

void SizeSwap::ChSwap_Click() {
    if (leaveSizeText_) return;
    if (size_.ListIndex() == 0) return;
    swapSides();
}

void SizeSwap::swapSides() {
    const auto swapped = validators::SwappedSize(size_.Text());
    if (!swapped) return;  // a percentage, a "?" size, text being typed
    // The swapped size keeps its item's index, so it still counts as a listed
    // size: the change rule keeps ChSwap checked and a second click swaps back.
    size_.SetTextKeepIndex(*swapped);
}

void SizeSwap::uncheckLeavingText() {
    const bool was = leaveSizeText_;
    leaveSizeText_ = true;
    box_.setChecked(false);
    leaveSizeText_ = was;
}

void SizeSwap::applySwapRule() {
    if (!validators::SwapAvailable({size_.Text(), size_.ListIndex()})) {
        uncheckLeavingText();
        box_.setEnabled(false);
    } else {
        box_.setEnabled(true);
    }
}

void SizeSwap::CmbSize_Change() { applySwapRule(); }

void SizeSwap::CmbSize_Click() {
    applySwapRule();
    // A size picked while ChSwap stays checked is shown swapped as well, so
    // that a checked ChSwap always means the sides are swapped.
    if (box_.isChecked() && validators::SwapAvailable({size_.Text(), size_.ListIndex()})) swapSides();
}
