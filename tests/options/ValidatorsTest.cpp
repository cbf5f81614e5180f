// The value checks as plain functions, over the edge cases of each control.
#include "options/Validators.h"

#include <gtest/gtest.h>

using namespace validators;
using Apply = SizeResult::Apply;

namespace {

struct SizeCase {
    const char* text;
    int index;
    Apply apply;
    const char* out;  // the text for Typed and SameIndex
};

const char* name(Apply a) {
    switch (a) {
        case Apply::Unchanged: return "Unchanged";
        case Apply::KeepSize: return "KeepSize";
        case Apply::Typed: return "Typed";
        case Apply::SameIndex: return "SameIndex";
    }
    return "?";
}

}  // namespace

TEST(SizeCheck, EveryFormEndsReadableOrAtItemZero) {
    const SizeCase cases[] = {
        // "?xH": 100..3000, even.
        {"?x721", -1, Apply::Typed, "?x722"},
        {"?x50", -1, Apply::Typed, "?x100"},
        {"?x99", -1, Apply::Typed, "?x100"},
        {"?x100", -1, Apply::Typed, "?x100"},
        {"?x2999", -1, Apply::Typed, "?x3000"},
        {"?x3001", -1, Apply::Typed, "?x3000"},
        {"?x721.5", -1, Apply::Typed, "?x722"},
        {"?x-7", -1, Apply::Typed, "?x100"},
        {"?x960", 36, Apply::Typed, "?x960"},
        {"?y720", -1, Apply::Typed, "?x720"},
        {"?x0", -1, Apply::KeepSize, ""},
        // Numbers that cannot be read, or do not fit 16 bits.
        {"?x", -1, Apply::KeepSize, ""},
        {"?", -1, Apply::KeepSize, ""},
        {"?xabc", -1, Apply::KeepSize, ""},
        {"?x99999", -1, Apply::KeepSize, ""},
        {"?x?", -1, Apply::KeepSize, ""},
        // "Wx?": the last two characters are dropped.
        {"4000x?", -1, Apply::Typed, "3000x?"},
        {"1280x?", 35, Apply::Typed, "1280x?"},
        {"1281x?", -1, Apply::Typed, "1282x?"},
        {"1280?", -1, Apply::Typed, "128x?"},
        {"10x?", -1, Apply::Typed, "100x?"},
        {"0x?", -1, Apply::KeepSize, ""},
        {"x?", -1, Apply::KeepSize, ""},
        {"1?", -1, Apply::KeepSize, ""},
        {"abcx?", -1, Apply::KeepSize, ""},
        {"40000x?", -1, Apply::KeepSize, ""},
        // A "?" elsewhere.
        {"1x?9", -1, Apply::KeepSize, ""},
        // Typed sizes, percentages and item 0 stay.
        {"100x100", -1, Apply::Unchanged, ""},
        {"abc", -1, Apply::Unchanged, ""},
        {"90%", 1, Apply::Unchanged, ""},
        {"10%", 9, Apply::Unchanged, ""},
        {"保持原尺寸", 0, Apply::Unchanged, ""},
        // Listed sizes (and their swapped forms) keep their index.
        {"640x480", 27, Apply::SameIndex, "640x480"},
        {"720x1280", 13, Apply::SameIndex, "720x1280"},
        {"961x199", 13, Apply::SameIndex, "962x200"},
        {"1280x720x5", 13, Apply::SameIndex, "1280x720"},
        {"1280720", 13, Apply::KeepSize, ""},
        {"abcx720", 13, Apply::KeepSize, ""},
        {"1280x", 13, Apply::KeepSize, ""},
        {"40000x720", 13, Apply::KeepSize, ""},
        {"32767x720", 13, Apply::KeepSize, ""},  // made even it would not fit
    };
    for (const auto& c : cases) {
        const SizeResult r = CheckSize({QString::fromUtf8(c.text), c.index});
        EXPECT_EQ(name(r.apply), std::string(name(c.apply))) << c.text << " @" << c.index;
        if (c.apply == Apply::Typed || c.apply == Apply::SameIndex)
            EXPECT_EQ(r.text.toStdString(), std::string(c.out)) << c.text;
    }
}

TEST(SizeCheck, SwapOnlyForListedFixedSizes) {
    struct Case {
        const char* text;
        int index;
        bool available;
    } cases[] = {
        {"1280x720", 13, true},   {"1024x576", 10, true},   {"960x720", 34, true},
        {"720x1280", 13, true},   {"保持原尺寸", 0, false}, {"90%", 1, false},
        {"10%", 9, false},        {"1280x?", 35, false},    {"?x960", 36, false},
        {"100x100", -1, false},   {"1280x720", -1, false},  {"12?0x720", 13, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SwapAvailable({QString::fromUtf8(c.text), c.index}), c.available) << c.text << " @" << c.index;
}

TEST(SizeCheck, SwappedSizeRaisesAndEvensBothSides) {
    struct Case {
        const char* in;
        const char* out;  // nullptr: nothing to swap
    } cases[] = {
        {"1280x720", "720x1280"}, {"720x1280", "1280x720"}, {"1024x150", "200x1024"},
        {"961x199", "200x962"},   {"200x200", "200x200"},  {"90%", nullptr},
        {"1280x?", nullptr},      {"?x960", nullptr},      {"1x2x3", nullptr},
        {"", nullptr},            {"1280", nullptr},       {"1280x", nullptr},
        {"99999x720", nullptr},   {"32767x720", nullptr},
    };
    for (const auto& c : cases) {
        const auto r = SwappedSize(QString::fromUtf8(c.in));
        if (c.out) {
            ASSERT_TRUE(r.has_value()) << c.in;
            EXPECT_EQ(r->toStdString(), std::string(c.out));
        } else {
            EXPECT_FALSE(r.has_value()) << c.in;
        }
    }
}

TEST(BitRateCheck, TypedRatesAreClampedListedItemsStay) {
    struct Case {
        const char* text;
        int index;
        const char* out;
        int outIndex;
    } cases[] = {
        {"100", -1, "200", -1},
        {"60000", -1, "50000", -1},
        {"300k", -1, "300", -1},
        {"200", -1, "200", -1},
        {"50000", -1, "50000", -1},
        {"1500.5", -1, "1500.5", -1},
        {"", -1, "200", -1},
        {"abc", -1, "200", -1},
        {"-300", -1, "200", -1},
        {"50%", 5, "50%", 5},
        {"90%", 1, "90%", 1},
        {"保持源视频比特率", 0, "保持源视频比特率", 0},
        {"自定义比如200", 10, "200", -1},
        {"自定义", -1, "200", -1},
    };
    for (const auto& c : cases) {
        const ComboState r = CheckVideoBitRate({QString::fromUtf8(c.text), c.index});
        EXPECT_EQ(r.text.toStdString(), std::string(c.out)) << c.text;
        EXPECT_EQ(r.index, c.outIndex) << c.text;
    }
}

TEST(MomentCheck, SecondsAndPercent) {
    struct Case {
        const char* text;
        bool percent;
        const char* out;
    } cases[] = {
        {"9001", false, "1"},   {"9000", false, "9000"}, {"150", true, "100"},  {"100", true, "100"},
        {"9001", true, "100"},  {"", false, "0"},        {"", true, "0"},       {"-5", false, "0"},
        {"2.50", false, "2.5"}, {".5", false, "0.5"},    {"12abc", false, "12"}, {"abc", true, "0"},
        {"1 5", false, "15"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CheckMoment(QString::fromUtf8(c.text), c.percent).toStdString(), std::string(c.out))
            << c.text << (c.percent ? " %" : " s");
}

TEST(MomentCheck, KeyFilterLetsOnlyDigitsPointAndBackspacePass) {
    for (int k : std::initializer_list<int>{'0', '5', '9', '.', 8}) EXPECT_TRUE(MomentKeyAllowed(k)) << k;
    for (int k : std::initializer_list<int>{'a', 'Z', '-', '+', ',', ' ', 13, 27, 22, 0x3002 /* 。 */}) EXPECT_FALSE(MomentKeyAllowed(k)) << k;
}

TEST(CropCheck, PixelsAndPercent) {
    struct Case {
        const char* in;
        const char* out;
    } cases[] = {
        {"1，2，3，4%", "1,2,3,4%"},
        {"60,10,40,10%", "5,10,85,10%"},
        {"0,60,0,40%", "0,5,0,85%"},
        {"45,0,45,0%", "45,0,45,0%"},
        {"100,0,0,0%", "90,0,0,0%"},
        {"%1,2%,3,4", "1,2,3,4%"},
        {"1,2", "1,2,0,0"},
        {"", "0,0,0,0"},
        {"2000,0,1500,0", "5,0,2995,0"},
        {"1500,0,1500,0", "1500,0,1500,0"},
        {"0,2000,0,1001", "0,5,0,2995"},
        {"5000,0,0,0", "3000,0,0,0"},
        {"1,,,2,3,4", "1,2,3,4"},
        {"-1,2,3,4", "0,2,3,4"},
        {"1.5,2.25,a,4", "1.5,2.25,0,4"},
        {"0.1,0,0,0", "0.1,0,0,0"},
        {"1e40,0,0,0", "3000,0,0,0"},
        {" 7 ,8,9,10", "7,8,9,10"},
        {"1,2,3,4,5", "1,2,3,4"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CheckCrop(QString::fromUtf8(c.in)).toStdString(), std::string(c.out)) << c.in;
}

TEST(TrimCheck, SecondsAndPercent) {
    struct Case {
        const char* in;
        const char* out;
    } cases[] = {
        {"20000,10", "5,17995"},  {"5,3%", "5,3%"},       {"-2,3", "0,3"},     {"", "0,0"},
        {"50,50%", "5,85%"},      {"45,45%", "45,45%"},   {"100%,0", "90,0%"}, {"9000,9000", "9000,9000"},
        {"9000,9001", "5,17995"}, {"1.5", "1.5,0"},       {"5，3", "5,3"},     {"5,,,3", "5,3"},
        {"x,3", "0,3"},           {"0.25,0.5", "0.25,0.5"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CheckTrim(QString::fromUtf8(c.in)).toStdString(), std::string(c.out)) << c.in;
}
