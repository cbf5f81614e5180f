#include "common/NumberText.h"

#include <cmath>
#include <cstdio>
#include <limits>
#include <string>

namespace num {

namespace {

bool isBlank(QChar c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// Digits of |value| to 15 significant places as an exact decimal:
// digits without a point, and the power of ten of the first digit.
struct Decimal {
    bool negative = false;
    std::string digits;  // no leading zeros, at least one digit
    int exponent = 0;    // value = 0.d1d2d3... * 10^(exponent)
};

Decimal toDecimal(double value) {
    Decimal d;
    if (value == 0 || !std::isfinite(value)) {
        d.digits = "0";
        d.exponent = 1;
        return d;
    }
    d.negative = value < 0;
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.14e", std::fabs(value));  // d.dddddddddddddde±xx
    std::string s(buf);
    if (!std::isfinite(std::strtod(buf, nullptr))) {
        // Rounded up past the largest double: cut the digits instead, so that
        // the text still reads back as a number.
        std::snprintf(buf, sizeof buf, "%.15e", std::fabs(value));
        s = buf;
        s.erase(s.find('e') - 1, 1);
    }
    const auto ePos = s.find('e');
    const int exp10 = std::stoi(s.substr(ePos + 1));
    std::string mant = s.substr(0, ePos);
    mant.erase(1, 1);  // drop the point
    while (mant.size() > 1 && mant.back() == '0') mant.pop_back();
    d.digits = mant;
    d.exponent = exp10 + 1;
    return d;
}

std::string plainText(const Decimal& d) {
    std::string out;
    if (d.digits == "0") return "0";
    if (d.negative) out += '-';
    const int n = static_cast<int>(d.digits.size());
    if (d.exponent <= 0) {
        out += "0.";
        out.append(static_cast<size_t>(-d.exponent), '0');
        out += d.digits;
    } else if (d.exponent >= n) {
        out += d.digits;
        out.append(static_cast<size_t>(d.exponent - n), '0');
    } else {
        out += d.digits.substr(0, static_cast<size_t>(d.exponent));
        out += '.';
        out += d.digits.substr(static_cast<size_t>(d.exponent));
    }
    return out;
}

}  // namespace

double LeadingNumber(const QString& text) {
    std::string s;
    int i = 0;
    const int n = text.size();
    auto skip = [&] { while (i < n && isBlank(text[i])) ++i; };
    skip();
    if (i < n && (text[i] == '-' || text[i] == '+')) {
        if (text[i] == '-') s += '-';
        ++i;
    }
    bool anyDigit = false;
    bool point = false;
    for (; i < n; ++i) {
        const QChar c = text[i];
        if (isBlank(c)) continue;
        if (c >= '0' && c <= '9') {
            s += static_cast<char>(c.unicode());
            anyDigit = true;
        } else if (c == '.' && !point) {
            s += '.';
            point = true;
        } else {
            break;
        }
    }
    if (!anyDigit) return 0;
    // An exponent only counts when digits follow it.
    if (i < n && (text[i] == 'e' || text[i] == 'E')) {
        int j = i + 1;
        std::string e = "e";
        while (j < n && isBlank(text[j])) ++j;
        if (j < n && (text[j] == '-' || text[j] == '+')) e += static_cast<char>(text[j++].unicode());
        bool expDigit = false;
        for (; j < n; ++j) {
            if (isBlank(text[j])) continue;
            if (text[j] >= '0' && text[j] <= '9') {
                e += static_cast<char>(text[j].unicode());
                expDigit = true;
            } else {
                break;
            }
        }
        if (expDigit) s += e;
    }
    const double v = std::strtod(s.c_str(), nullptr);
    return std::isfinite(v) ? v : 0;
}

std::optional<double> WholeTextNumber(const QString& text) {
    const QString t = text.trimmed();
    if (t.isEmpty()) return std::nullopt;
    int i = 0;
    const int n = t.size();
    if (t[i] == '-' || t[i] == '+') ++i;
    bool digits = false;
    bool point = false;
    for (; i < n; ++i) {
        if (t[i].isDigit() && t[i].unicode() < 128) digits = true;
        else if (t[i] == '.' && !point) point = true;
        else break;
    }
    if (!digits) return std::nullopt;
    if (i < n && (t[i] == 'e' || t[i] == 'E')) {
        ++i;
        if (i < n && (t[i] == '-' || t[i] == '+')) ++i;
        bool expDigits = false;
        while (i < n && t[i].isDigit() && t[i].unicode() < 128) { ++i; expDigits = true; }
        if (!expDigits) return std::nullopt;
    }
    if (i != n) return std::nullopt;
    const double v = std::strtod(t.toLatin1().constData(), nullptr);
    if (!std::isfinite(v)) return std::nullopt;
    return v;
}

double RoundHalfEven(double value, int decimals) {
    if (!std::isfinite(value) || value == 0) return value;
    Decimal d = toDecimal(value);
    // Position (within digits) of the first digit that is cut away.
    const int keep = d.exponent + decimals;
    const int n = static_cast<int>(d.digits.size());
    // Nothing to cut: the value of the 15-digit text, so that 0.3 / 0.1 is 3
    // and not the 2.9999999999999996 below it that whole-number cuts take as 2.
    if (keep >= n) return std::strtod(plainText(d).c_str(), nullptr);
    if (keep < 0) return 0.0;
    std::string kept = d.digits.substr(0, static_cast<size_t>(keep));
    const std::string rest = d.digits.substr(static_cast<size_t>(keep));
    bool up;
    if (rest[0] > '5') up = true;
    else if (rest[0] < '5') up = false;
    else if (rest.find_first_not_of('0', 1) != std::string::npos) up = true;
    else up = !kept.empty() && ((kept.back() - '0') % 2 == 1);  // an exact half: to even
    if (kept.empty()) kept = "0";
    if (up) {
        int k = static_cast<int>(kept.size()) - 1;
        while (k >= 0 && kept[static_cast<size_t>(k)] == '9') kept[static_cast<size_t>(k--)] = '0';
        if (k < 0) {
            kept.insert(kept.begin(), '1');
            d.exponent += 1;
        } else {
            kept[static_cast<size_t>(k)]++;
        }
    }
    std::string text;
    if (keep == 0)  // rounded into the first place above the value's own digits
        text = std::string(d.negative ? "-" : "") + (up ? "1" : "0") + "e" + std::to_string(-decimals);
    else
        text = std::string(d.negative ? "-" : "") + "0." + kept + "e" + std::to_string(d.exponent);
    return std::strtod(text.c_str(), nullptr);
}

QString Text(double value) {
    if (!std::isfinite(value)) return QStringLiteral("0");
    return QString::fromStdString(plainText(toDecimal(value)));
}

std::optional<int> ToInt16(double value) {
    const double r = RoundHalfEven(value, 0);
    if (!std::isfinite(r) || r < -32768 || r > 32767) return std::nullopt;
    return static_cast<int>(r);
}

std::optional<int> ToInt16(const QString& text) {
    const auto v = WholeTextNumber(text);
    if (!v) return std::nullopt;
    return ToInt16(*v);
}

std::optional<long long> ToInt32(double value) {
    const double r = RoundHalfEven(value, 0);
    if (!std::isfinite(r) || r < -2147483648.0 || r > 2147483647.0) return std::nullopt;
    return static_cast<long long>(r);
}

QString ZeroPrefixed(const QString& numberText) {
    return LeadingNumber(numberText) < 1 ? QStringLiteral("0") + numberText : numberText;
}

}  // namespace num
