#include "common/NumberText.h"
#include "probe/ReportReading.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>

using namespace num;

TEST(NumberText, WritesPlainDecimalWithFifteenDigits) {
    const struct { double v; const char* text; } cases[] = {
        {0.5, "0.5"},          {0, "0"},
        {-0.25, "-0.25"},      {12.36, "12.36"},
        {1e-7, "0.0000001"},   {1e15, "1000000000000000"},
        {1e20, "100000000000000000000"},
        {123456789012345678.0, "123456789012346000"},
        {1.0 / 3, "0.333333333333333"},
        {2.0 / 3, "0.666666666666667"},
        {0.1 + 0.2, "0.3"},    {124.567, "124.567"},
        {1920, "1920"},        {-1e-5, "-0.00001"},
    };
    for (const auto& c : cases) EXPECT_EQ(Text(c.v), QString(c.text)) << c.v;
}

TEST(NumberText, ExtremeValuesWriteTextsThatReadBack) {
    for (const double v : {DBL_MAX, -DBL_MAX, 1e308, -1.7976931348623e308}) {
        const QString text = Text(v);
        const auto back = WholeTextNumber(text);
        ASSERT_TRUE(back) << text.left(20).toStdString();
        EXPECT_NE(*back, 0);
        EXPECT_LE(std::fabs(*back - v), std::fabs(v) * 1e-14) << v;
        EXPECT_EQ(Text(*back), text) << v;
        EXPECT_DOUBLE_EQ(RoundHalfEven(v, 2), *back) << v;
    }
}

TEST(NumberText, RoundsHalvesToEven) {
    EXPECT_EQ(RoundHalfEven(2.5), 2);
    EXPECT_EQ(RoundHalfEven(3.5), 4);
    EXPECT_EQ(RoundHalfEven(0.5), 0);
    EXPECT_EQ(RoundHalfEven(1.5), 2);
    EXPECT_EQ(RoundHalfEven(-2.5), -2);
    EXPECT_EQ(RoundHalfEven(12.5), 12);
    EXPECT_EQ(RoundHalfEven(13.5), 14);
    EXPECT_EQ(RoundHalfEven(29.97), 30);
    EXPECT_EQ(RoundHalfEven(9.5), 10);
    EXPECT_EQ(RoundHalfEven(0.7), 1);
    EXPECT_EQ(RoundHalfEven(0.49), 0);
    EXPECT_DOUBLE_EQ(RoundHalfEven(0.125, 2), 0.12);
    EXPECT_DOUBLE_EQ(RoundHalfEven(0.135, 2), 0.14);
    EXPECT_DOUBLE_EQ(RoundHalfEven(2.675, 2), 2.68);  // a half in its decimal text
    EXPECT_DOUBLE_EQ(RoundHalfEven(1843.2), 1843);
    EXPECT_DOUBLE_EQ(RoundHalfEven(0.004, 2), 0);
    EXPECT_DOUBLE_EQ(RoundHalfEven(0.005, 2), 0);
    EXPECT_DOUBLE_EQ(RoundHalfEven(0.015, 2), 0.02);
    EXPECT_DOUBLE_EQ(RoundHalfEven(99.995, 2), 100);
    EXPECT_DOUBLE_EQ(RoundHalfEven(0.6666, 4), 0.6666);
    EXPECT_DOUBLE_EQ(RoundHalfEven(1e15 + 0.5), 1e15);
    EXPECT_EQ(Text(RoundHalfEven(0.1 + 0.2, 2)), "0.3");
}

// A value a hair below a whole number (a decimal product or quotient) rounds
// to that number, as its text shows it.
TEST(NumberText, WholeNumbersOfDecimalArithmeticAreTheShownOnes) {
    const struct { double v; long long whole; const char* text; } cases[] = {
        {0.3 / 0.1, 3, "3"},
        {32.3 * 1e3, 32300, "32300"},
        {64.1 * 1e3, 64100, "64100"},
        {128.2 * 1e3, 128200, "128200"},
        {0.7 * 10, 7, "7"},
        {1.1 * 3, 3, "3.3"},
        {-32.3 * 1e3, -32300, "-32300"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ToInt32(c.v), c.whole) << c.text;
        EXPECT_EQ(Text(c.v), c.text);
        EXPECT_EQ(Text(RoundHalfEven(c.v)), QString::number(c.whole));
    }
    EXPECT_EQ(ToInt16(0.3 / 0.1), 3);
    EXPECT_EQ(ToInt16(4.35 * 100), 435);
}

// Every one-decimal rate MediaInfo writes in Mb/s reads as its exact kb/s.
TEST(NumberText, EveryOneDecimalMegabitRateReadsExactly) {
    int wrong = 0;
    for (int tenths = 1; tenths <= 9999; ++tenths) {
        const QString text = QStringLiteral("%1.%2 Mb/s").arg(tenths / 10).arg(tenths % 10);
        const auto kbps = probe::BitRateKbps(text);
        if (!kbps || *kbps != tenths * 100L) {
            if (++wrong <= 5) ADD_FAILURE() << text.toStdString() << " read as " << kbps.value_or(-1);
        }
    }
    EXPECT_EQ(wrong, 0);
}

TEST(NumberText, ReadsTheLeadingNumber) {
    EXPECT_EQ(LeadingNumber("1 615 kb/s"), 1615);
    EXPECT_EQ(LeadingNumber(" 1080p"), 1080);
    EXPECT_EQ(LeadingNumber(":12"), 0);
    EXPECT_EQ(LeadingNumber(""), 0);
    EXPECT_EQ(LeadingNumber("abc"), 0);
    EXPECT_EQ(LeadingNumber("300k"), 300);
    EXPECT_EQ(LeadingNumber("-2,3"), -2);
    EXPECT_DOUBLE_EQ(LeadingNumber("12.5 fps"), 12.5);
    EXPECT_DOUBLE_EQ(LeadingNumber("\t1\n2.5"), 12.5);
    EXPECT_DOUBLE_EQ(LeadingNumber(".5"), 0.5);
    EXPECT_DOUBLE_EQ(LeadingNumber("1e3x"), 1000);
    EXPECT_DOUBLE_EQ(LeadingNumber("2ex"), 2);  // an exponent needs digits
    EXPECT_DOUBLE_EQ(LeadingNumber("1.2.3"), 1.2);
}

TEST(NumberText, WholeTextNumbersAndSixteenBitIntegers) {
    EXPECT_EQ(WholeTextNumber(" 25 "), 25);
    EXPECT_FALSE(WholeTextNumber("25x"));
    EXPECT_FALSE(WholeTextNumber(""));
    EXPECT_FALSE(WholeTextNumber("?"));
    EXPECT_FALSE(WholeTextNumber("1e"));
    EXPECT_EQ(WholeTextNumber("-1.5e2"), -150);
    EXPECT_EQ(ToInt16(QString("721")), 721);
    EXPECT_EQ(ToInt16(QString("2.5")), 2);
    EXPECT_EQ(ToInt16(QString("32767")), 32767);
    EXPECT_FALSE(ToInt16(QString("32768")));
    EXPECT_FALSE(ToInt16(QString("99999")));
    EXPECT_EQ(ToInt16(QString("-32768")), -32768);
    EXPECT_FALSE(ToInt16(QString("abc")));
    EXPECT_EQ(ToInt32(36000.4), 36000);
    EXPECT_FALSE(ToInt32(3e9));
}

TEST(NumberText, ZeroPrefixForEncoderTimes) {
    EXPECT_EQ(ZeroPrefixed("0.5"), "00.5");
    EXPECT_EQ(ZeroPrefixed("0"), "00");
    EXPECT_EQ(ZeroPrefixed("1"), "1");
    EXPECT_EQ(ZeroPrefixed("12.4"), "12.4");
}
