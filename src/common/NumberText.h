#pragma once
// Number texts as the whole program writes and reads them: "." as the decimal
// point, plain decimal form, at most 15 significant digits, halves to even.
#include <QString>
#include <optional>

namespace num {

// The number a text starts with; blanks, tabs and line breaks are ignored
// anywhere inside it; 0 when the text does not start with a number.
double LeadingNumber(const QString& text);

// The value of a text that must be a number as a whole (blanks around it are
// allowed); nothing when it is not one.
std::optional<double> WholeTextNumber(const QString& text);

// Rounds to `decimals` places, halves to the even neighbour. The decision is
// taken on the value's 15-digit decimal text, so 2.675 counts as a half, and
// the result is the value of the rounded text (32.3 * 1000 gives 32300, not
// the 32299.999999999996 the product holds).
double RoundHalfEven(double value, int decimals = 0);

// Plain decimal text: "0.5", "1234", "-2.25", "0.0000001"; never an exponent.
QString Text(double value);

// A whole number in the 16-bit signed range, halves to even; nothing when the
// text is no number or the result does not fit.
std::optional<int> ToInt16(const QString& text);
std::optional<int> ToInt16(double value);

// A whole number in the 32-bit signed range, halves to even.
std::optional<long long> ToInt32(double value);

// Encoder times put one "0" in front of a value below 1: 0.5 -> "00.5", 0 -> "00".
QString ZeroPrefixed(const QString& numberText);

}  // namespace num
