#pragma once
// Value checks of the free-text options, as plain functions: a control's text
// (and list index) in, the text (and list index) it must show out.
#include <QString>
#include <optional>

namespace validators {

// A combo box's state. index -1 is a typed text.
struct ComboState {
    QString text;
    int index = -1;
};

// What the size combo must show after its check.
struct SizeResult {
    enum class Apply {
        Unchanged,   // leave text and index alone
        KeepSize,    // select item 0 ("keep the source size")
        Typed,       // set the text; the index follows an item with that text
        SameIndex,   // set the text and keep the index (a listed size, maybe swapped)
    };
    Apply apply = Apply::Unchanged;
    QString text;
};

// Output frame size: "?xH", "Wx?", a listed size W x H, a percentage or item 0.
// Texts whose numbers cannot be read (or do not fit 16 bits) end at item 0.
SizeResult CheckSize(const ComboState& size);

// Whether the width/height swap is available for this size: only for a listed
// fixed size (index above 9) without "?".
bool SwapAvailable(const ComboState& size);

// "WxH" read as two whole numbers, each raised to 200 and made even, written
// as "HxW"; nothing when the text is not two whole numbers joined by one "x".
std::optional<QString> SwappedSize(const QString& text);

// Video bit rate: item 0-9 stay; "自定义..." becomes 200; anything else its
// leading number within 200..50000, as a typed text.
ComboState CheckVideoBitRate(const ComboState& bitRate);

// Capture moment, seconds (0..9000, beyond that 1) or percent (0..100).
QString CheckMoment(const QString& text, bool percent);

// Whether a key may enter the capture-moment box: digits, "." and Backspace.
bool MomentKeyAllowed(int keyAscii);

// Crop amounts "l,t,r,b" in pixels, or percent when the text holds "%".
QString CheckCrop(const QString& text);

// Trim amounts "head,tail" in seconds, or percent when the text holds "%".
QString CheckTrim(const QString& text);

}  // namespace validators
